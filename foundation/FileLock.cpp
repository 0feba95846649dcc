#include "foundation/FileLock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "foundation/Exceptions.h"
#include "foundation/FileUtils.h"

namespace kv {

namespace {

// The calling program's name, from /proc (empty when unknown).
std::string ProgramName() {
  char buffer[256];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return "";
  return ExtractFileName(std::string(buffer, static_cast<size_t>(n)));
}

std::string ReadHolder(int fd) {
  char buffer[256];
  const ssize_t n = pread(fd, buffer, sizeof buffer - 1, 0);
  std::string text = n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text.empty() ? "another process" : text;
}

void WriteHolder(int fd) {
  const std::string text = ProgramName() + ", process " + std::to_string(getpid()) + "\n";
  if (ftruncate(fd, 0) == 0) {
    // The holder's description only serves the busy message: a failed write loses nothing.
    [[maybe_unused]] const ssize_t written = pwrite(fd, text.data(), text.size(), 0);
  }
}

flock WholeFile(short type) {
  flock lock{};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0;
  lock.l_pid = 0;
  return lock;
}

}  // namespace

std::string TFileLock::LockFileName(const std::string& path) {
  return ExtractFilePath(path) + "." + ExtractFileName(path) + ".lock";
}

std::unique_ptr<TFileLock> TFileLock::TryAcquire(const std::string& path, std::string* holder) {
  const std::string lockName = LockFileName(path);
  const int fd = open(lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    const int error = errno;
    throw EInOutError("Cannot create the lock file " + lockName + ": " + std::strerror(error), error);
  }
  flock lock = WholeFile(F_WRLCK);
  if (fcntl(fd, F_OFD_SETLK, &lock) != 0) {
    const int error = errno;
    if (error == EAGAIN || error == EACCES) {
      if (holder) *holder = ReadHolder(fd);
      close(fd);
      return nullptr;
    }
    close(fd);
    throw EInOutError("Cannot lock " + lockName + ": " + std::strerror(error), error);
  }
  WriteHolder(fd);
  return std::unique_ptr<TFileLock>(new TFileLock(path, fd));
}

TFileLock::~TFileLock() {
  flock lock = WholeFile(F_UNLCK);
  fcntl(fd_, F_OFD_SETLK, &lock);
  close(fd_);
}

}  // namespace kv
