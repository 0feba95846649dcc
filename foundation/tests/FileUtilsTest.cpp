#include "foundation/FileUtils.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/Exceptions.h"
#include "testsupport/TempFiles.h"

namespace kv {
namespace {

namespace fs = std::filesystem;

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0);
  return st.st_mode & 07777;
}

// A fresh folder per test, removed afterwards.
class FileUtilsFs : public ::testing::Test {
protected:
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  kvtest::TempFolder folder_{"fileutils"};
  std::string dir_ = folder_.Path() + "/";
};

// Sets or clears an environment variable for one test and restores it.
class ScopedEnv {
public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

private:
  const char* name_;
  std::optional<std::string> old_;
};

void LocalFunction() {}

// ---- Program and modules ------------------------------------------------------------

TEST(FileUtilsProgram, PrgDirPrefersVandrelHome) {
  {
    ScopedEnv env("VANDREL_HOME", "/opt/vandrel");
    EXPECT_EQ(PrgDir(), "/opt/vandrel/");
  }
  {
    ScopedEnv env("VANDREL_HOME", "/opt/vandrel/");
    EXPECT_EQ(PrgDir(), "/opt/vandrel/");
  }
  for (const char* unset : {static_cast<const char*>(nullptr), ""}) {
    ScopedEnv env("VANDREL_HOME", unset);
    const std::string dir = PrgDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    EXPECT_EQ(dir, fs::canonical("/proc/self/exe").parent_path().string() + "/");
  }
}

// The user's program folder of an installed program: $XDG_DATA_HOME/vandrel/
// when that is absolute, else ~/.local/share/vandrel/, made on first use.
TEST(FileUtilsProgram, UserDataDirFollowsXdgDataHomeAndIsCreated) {
  kvtest::TempFolder folder("userdata");
  {
    ScopedEnv xdg("XDG_DATA_HOME", (folder.Path() + "/data").c_str());
    EXPECT_EQ(UserDataDir(), folder.Path() + "/data/vandrel/");
    EXPECT_TRUE(DirectoryExists(folder.Path() + "/data/vandrel"));
  }
  for (const char* ignored : {static_cast<const char*>(nullptr), "", "relative/data"}) {
    ScopedEnv xdg("XDG_DATA_HOME", ignored);
    ScopedEnv home("HOME", (folder.Path() + "/home").c_str());
    EXPECT_EQ(UserDataDir(), folder.Path() + "/home/.local/share/vandrel/");
    EXPECT_TRUE(DirectoryExists(folder.Path() + "/home/.local/share/vandrel"));
  }
  EXPECT_FALSE(DirectoryExists("relative"));
  // The build folder keeps its own program folder: the libraries lie beside the program.
  ScopedEnv vandrelHome("VANDREL_HOME", nullptr);
  ScopedEnv xdg("XDG_DATA_HOME", (folder.Path() + "/data").c_str());
  EXPECT_EQ(PrgDir(), fs::canonical("/proc/self/exe").parent_path().string() + "/");
}

TEST(FileUtilsProgram, SystemDirEndsWithASlash) {
  const std::string dir = SystemDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '/');
  EXPECT_TRUE(DirectoryExists(dir));
}

TEST(FileUtilsProgram, ModuleFileNames) {
  const std::string exe = fs::canonical("/proc/self/exe").string();
  EXPECT_EQ(GetModuleFileName(), exe);
  EXPECT_EQ(GetModuleFileName(reinterpret_cast<const void*>(&LocalFunction)), exe);
  const std::string lib = GetModuleFileName(reinterpret_cast<const void*>(&PrgDir));
  EXPECT_NE(lib, exe);
  EXPECT_NE(ExtractFileName(lib).find("KVLib"), std::string::npos) << lib;
  EXPECT_TRUE(FileExists(lib));
  EXPECT_EQ(GetModuleFileName(reinterpret_cast<const void*>(uintptr_t{16})), "");
}

TEST(FileUtilsProgram, AttachedFiles) {
  std::string exe = fs::canonical("/proc/self/exe").string();
  ReplExt(exe, "env");
  EXPECT_EQ(GetMainAttachedFile("env"), exe);
  std::string lib = GetModuleFileName(reinterpret_cast<const void*>(&PrgDir));
  ReplExt(lib, "ini");
  EXPECT_EQ(GetAttachedFile(reinterpret_cast<const void*>(&PrgDir), "ini"), lib);
  EXPECT_EQ(ExtractFileExt(lib), ".ini");
}

// ---- Names ----------------------------------------------------------------------------

struct ReplCase {
  const char* path;
  const char* ext;
  const char* expected;
};

class FileUtilsReplExt : public ::testing::TestWithParam<ReplCase> {};

TEST_P(FileUtilsReplExt, Replaces) {
  std::string path = GetParam().path;
  ReplExt(path, GetParam().ext);
  EXPECT_EQ(path, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FileUtilsReplExt,
    ::testing::Values(ReplCase{"C:\\dir.d\\file", "INI", "C:\\dir.d\\file.INI"},
                      ReplCase{"C:\\dir.d\\file.", "INI", "C:\\dir.d\\file.INI"},
                      ReplCase{"C:\\dir.d\\file.txt", "INI", "C:\\dir.d\\file.INI"},
                      ReplCase{"/home/u/dir.d/file", "INI", "/home/u/dir.d/file.INI"},
                      ReplCase{"/home/u/file.tar.gz", "bak", "/home/u/file.tar.bak"},
                      ReplCase{"relative/file.job", ".err", "relative/file.err"},
                      ReplCase{"C:/mixed.d\\file", "x", "C:/mixed.d\\file.x"}, ReplCase{"file", "INI", "file.INI"},
                      ReplCase{"", "INI", ".INI"}, ReplCase{"dir.d/", "INI", "dir.d/.INI"},
                      ReplCase{"file.txt", "", "file."}));

TEST(FileUtilsNames, SplittingAcceptsBothSeparators) {
  EXPECT_EQ(ExtractFilePath("C:\\dir\\f.txt"), "C:\\dir\\");
  EXPECT_EQ(ExtractFilePath("/a/b/c.txt"), "/a/b/");
  EXPECT_EQ(ExtractFilePath("c.txt"), "");
  EXPECT_EQ(ExtractFileName("C:\\dir\\f.txt"), "f.txt");
  EXPECT_EQ(ExtractFileName("/a/b/"), "");
  EXPECT_EQ(ExtractFileName("plain"), "plain");
  EXPECT_EQ(ExtractFileExt("/a.b/c"), "");
  EXPECT_EQ(ExtractFileExt("/a/c.tar.gz"), ".gz");
  EXPECT_EQ(ExtractFileExt("Project\\job.job"), ".job");
  EXPECT_EQ(ChangeFileExt("/a.b/c", ".job"), "/a.b/c.job");
  EXPECT_EQ(ChangeFileExt("x.txt", ""), "x");
  EXPECT_EQ(ChangeFileExt("d\\x.txt", ".err"), "d\\x.err");
}

TEST(FileUtilsNames, TrailingDelimiters) {
  EXPECT_EQ(IncludeTrailingPathDelimiter("a"), "a/");
  EXPECT_EQ(IncludeTrailingPathDelimiter("a/"), "a/");
  EXPECT_EQ(IncludeTrailingPathDelimiter("a\\"), "a\\");
  EXPECT_EQ(IncludeTrailingPathDelimiter(""), "");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("a//"), "a");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("a\\"), "a");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("/"), "/");
  EXPECT_EQ(ExcludeTrailingPathDelimiter(""), "");
}

// ---- File system ------------------------------------------------------------------------

TEST_F(FileUtilsFs, GetFileSize) {
  kvtest::WriteFile(dir_ + "data.bin", std::string(1234, 'x'));
  kvtest::WriteFile(dir_ + "empty", "");
  EXPECT_EQ(GetFileSize(dir_ + "data.bin"), 1234);
  EXPECT_EQ(GetFileSize(dir_ + "empty"), 0);
  try {
    (void)GetFileSize(dir_ + "missing.txt");
    FAIL() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode, ENOENT);
    EXPECT_NE(e.Message().find("missing.txt"), std::string::npos) << e.Message();
  }
  try {
    (void)GetFileSize(dir_);
    FAIL() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode, EISDIR);
  }
  EXPECT_THROW((void)GetFileSize(""), EInOutError);
  if (::geteuid() != 0) {  // root reads anything
    kvtest::WriteFile(dir_ + "locked", "abc");
    ::chmod((dir_ + "locked").c_str(), 0);
    EXPECT_THROW((void)GetFileSize(dir_ + "locked"), EInOutError);
  }
}

TEST_F(FileUtilsFs, ExistenceChecks) {
  kvtest::WriteFile(dir_ + "f", "1");
  EXPECT_TRUE(FileExists(dir_ + "f"));
  EXPECT_FALSE(FileExists(dir_));
  EXPECT_FALSE(FileExists(dir_ + "nope"));
  EXPECT_FALSE(FileExists(""));
  EXPECT_TRUE(DirectoryExists(dir_));
  EXPECT_TRUE(DirectoryExists(dir_ + "."));
  EXPECT_FALSE(DirectoryExists(dir_ + "f"));
  EXPECT_FALSE(DirectoryExists(""));
}

TEST_F(FileUtilsFs, ForceDirectories) {
  EXPECT_TRUE(ForceDirectories(dir_ + "a/b/c"));
  EXPECT_TRUE(DirectoryExists(dir_ + "a/b/c"));
  EXPECT_TRUE(ForceDirectories(dir_ + "a/b/c/"));  // already there
  EXPECT_TRUE(ForceDirectories(dir_ + "a//d"));
  EXPECT_FALSE(ForceDirectories(""));
  kvtest::WriteFile(dir_ + "file", "x");
  EXPECT_FALSE(ForceDirectories(dir_ + "file/sub"));
}

TEST_F(FileUtilsFs, AtomicWriteCreatesAndReplaces) {
  const std::string path = dir_ + "KVCore.env";
  const std::string bytes("bin\0ary\xff", 8);
  AtomicWriteFile(path, bytes);
  EXPECT_EQ(kvtest::ReadFile(path), bytes);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(ModeOf(path), static_cast<mode_t>(0666 & ~mask));

  ::chmod(path.c_str(), 0640);
  AtomicWriteFile(path, "short");
  EXPECT_EQ(kvtest::ReadFile(path), "short");
  EXPECT_EQ(ModeOf(path), 0640u);  // permission bits kept

  AtomicWriteFile(path, "");
  EXPECT_EQ(kvtest::ReadFile(path), "");
  EXPECT_EQ(Entries(), std::vector<std::string>{"KVCore.env"});  // no temporary left
}

TEST_F(FileUtilsFs, AtomicWriteFollowsSymbolicLinks) {
  kvtest::WriteFile(dir_ + "target.txt", "old");
  fs::create_symlink(dir_ + "target.txt", dir_ + "link.txt");
  AtomicWriteFile(dir_ + "link.txt", "new");
  EXPECT_TRUE(fs::is_symlink(dir_ + "link.txt"));
  EXPECT_EQ(kvtest::ReadFile(dir_ + "target.txt"), "new");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"link.txt", "target.txt"}));
}

TEST_F(FileUtilsFs, AtomicWriteFailuresNameTheFileAndLeaveNothing) {
  try {
    AtomicWriteFile(dir_ + "no/such/dir/out.txt", "x");
    FAIL() << "no error";
  } catch (const EFCreateError& e) {
    EXPECT_NE(e.Message().find("out.txt"), std::string::npos) << e.Message();
  }
  fs::create_directory(dir_ + "sub");
  try {
    AtomicWriteFile(dir_ + "sub", "x");
    FAIL() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_NE(e.Message().find("sub"), std::string::npos) << e.Message();
  }
  EXPECT_THROW(AtomicWriteFile("", "x"), EFCreateError);
  if (::geteuid() != 0) {
    kvtest::WriteFile(dir_ + "sub/keep.txt", "keep");
    ::chmod((dir_ + "sub").c_str(), 0555);
    EXPECT_THROW(AtomicWriteFile(dir_ + "sub/keep.txt", "lost"), EFCreateError);
    ::chmod((dir_ + "sub").c_str(), 0755);
    EXPECT_EQ(kvtest::ReadFile(dir_ + "sub/keep.txt"), "keep");
  }
  EXPECT_EQ(Entries(), std::vector<std::string>{"sub"});
}

TEST_F(FileUtilsFs, AtomicWriteWithLongNames) {
  const std::string name(250, 'n');
  AtomicWriteFile(dir_ + name, "ok");
  EXPECT_EQ(kvtest::ReadFile(dir_ + name), "ok");
  EXPECT_EQ(Entries(), std::vector<std::string>{name});
}

}  // namespace
}  // namespace kv
