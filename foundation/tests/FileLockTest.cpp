// Advisory job-file locks: exclusion within a process and across
// processes, release, the holder's description, and surviving a save that
// replaces the locked file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "foundation/Exceptions.h"
#include "foundation/FileLock.h"
#include "foundation/FileUtils.h"
#include "testsupport/TempFiles.h"

using namespace kv;

namespace {

TEST(FileLock, ExcludesASecondHolderUntilReleased) {
  kvtest::TempFolder dir("filelock");
  const std::string job = dir.File("a.job");
  std::string holder;
  {
    auto first = TFileLock::TryAcquire(job, &holder);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(TFileLock::TryAcquire(job, &holder), nullptr);
    EXPECT_NE(holder.find("process " + std::to_string(getpid())), std::string::npos) << holder;
    // Another file of the same folder is free.
    EXPECT_NE(TFileLock::TryAcquire(dir.File("b.job")), nullptr);
  }
  EXPECT_NE(TFileLock::TryAcquire(job), nullptr);
  EXPECT_TRUE(FileExists(dir.File(".a.job.lock")));
}

TEST(FileLock, ReplacingTheLockedFileKeepsTheLock) {
  kvtest::TempFolder dir("filelock");
  const std::string job = dir.File("a.job");
  AtomicWriteFile(job, "one");
  auto lock = TFileLock::TryAcquire(job);
  ASSERT_NE(lock, nullptr);
  AtomicWriteFile(job, "two");  // a save renames a new file over the old one
  EXPECT_EQ(TFileLock::TryAcquire(job), nullptr);
}

TEST(FileLock, AnotherProcessSeesTheJobBusyAndGetsItWhenTheHolderEnds) {
  kvtest::TempFolder dir("filelock");
  const std::string job = dir.File("a.job");
  int toChild[2], toParent[2];
  ASSERT_EQ(pipe(toChild), 0);
  ASSERT_EQ(pipe(toParent), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto lock = TFileLock::TryAcquire(job);
    char c = lock ? 'y' : 'n';
    if (write(toParent[1], &c, 1) != 1 || read(toChild[0], &c, 1) != 1) _exit(2);
    _exit(0);  // ends without releasing: the system does
  }
  char c = 0;
  ASSERT_EQ(read(toParent[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  std::string holder;
  EXPECT_EQ(TFileLock::TryAcquire(job, &holder), nullptr);
  EXPECT_NE(holder.find("process " + std::to_string(child)), std::string::npos) << holder;
  ASSERT_EQ(write(toChild[1], "x", 1), 1);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_NE(TFileLock::TryAcquire(job), nullptr);
  for (int fd : {toChild[0], toChild[1], toParent[0], toParent[1]}) close(fd);
}

TEST(FileLock, AFolderThatCannotBeWrittenIsAClearError) {
  if (geteuid() == 0) {
    // root writes anywhere: use a folder that does not exist instead.
    try {
      TFileLock::TryAcquire("/nonexistent-folder-for-locks/a.job");
      FAIL() << "no error";
    } catch (const EInOutError& e) {
      EXPECT_NE(std::string(e.what()).find("/nonexistent-folder-for-locks/.a.job.lock"), std::string::npos);
    }
    return;
  }
  kvtest::TempFolder dir("filelock");
  ASSERT_EQ(chmod(dir.Path().c_str(), 0500), 0);
  EXPECT_THROW(TFileLock::TryAcquire(dir.File("a.job")), EInOutError);
  chmod(dir.Path().c_str(), 0700);
}

}  // namespace
