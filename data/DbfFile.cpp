#include "data/DbfFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "data/DatabaseError.h"
#include "foundation/Format.h"

namespace kv::dbf {

TDbfFile::TDbfFile(const std::string& path, TMode mode) : path_(path), writable_(mode != ReadOnly) {
  int flags = O_CLOEXEC | (writable_ ? O_RDWR : O_RDONLY);
  if (mode == CreateNew) flags |= O_CREAT | O_EXCL;
  fd_ = ::open(path.c_str(), flags, 0644);
  if (fd_ < 0) Fail(mode == CreateNew ? "create" : "open");
}

TDbfFile::~TDbfFile() {
  if (fd_ >= 0) ::close(fd_);
}

void TDbfFile::Fail(const char* doing) const {
  throw EDatabaseError(Format("Cannot %s %s: %s", doing, path_, std::strerror(errno)));
}

uint64_t TDbfFile::Size() const {
  struct stat st{};
  if (::fstat(fd_, &st) != 0) Fail("examine");
  return static_cast<uint64_t>(st.st_size);
}

size_t TDbfFile::ReadAt(uint64_t offset, void* data, size_t length) const {
  size_t done = 0;
  auto* out = static_cast<char*>(data);
  while (done < length) {
    const ssize_t n = ::pread(fd_, out + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail("read");
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

void TDbfFile::ReadExact(uint64_t offset, void* data, size_t length, const char* what) const {
  if (ReadAt(offset, data, length) != length)
    throw EDatabaseError(Format("%s is truncated: %s ends before its end", path_, what));
}

void TDbfFile::WriteAt(uint64_t offset, const void* data, size_t length) {
  size_t done = 0;
  const auto* in = static_cast<const char*>(data);
  while (done < length) {
    const ssize_t n = ::pwrite(fd_, in + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail("write");
    done += static_cast<size_t>(n);
  }
}

void TDbfFile::Truncate(uint64_t size) {
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) Fail("truncate");
}

bool TDbfFile::TryLock() {
  while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) return false;
    Fail("lock");
  }
  return true;
}

void TDbfFile::Sync() {
  if (::fdatasync(fd_) != 0) Fail("flush");
}

}  // namespace kv::dbf
