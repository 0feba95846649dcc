#include "foundation/Streams.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>

#include "foundation/Exceptions.h"
#include "foundation/ObjectStream.h"

namespace kv {

KV_IMPLEMENT_ABSTRACT_CLASS(TStream, TObject)
KV_IMPLEMENT_CLASS(TMemoryStream, TStream)
KV_IMPLEMENT_ABSTRACT_CLASS(TFileStream, TStream)

int64_t TStream::Size() {
  int64_t pos = Seek(0, soCurrent);
  int64_t size = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return size;
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count < 0) throw EReadError("Stream read error");
  auto* p = static_cast<uint8_t*>(buffer);
  while (count > 0) {
    int64_t n = Read(p, count);
    if (n <= 0) throw EReadError("Stream read error");
    p += n;
    count -= n;
  }
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count < 0) throw EWriteError("Stream write error");
  auto* p = static_cast<const uint8_t*>(buffer);
  while (count > 0) {
    int64_t n = Write(p, count);
    if (n <= 0) throw EWriteError("Stream write error");
    p += n;
    count -= n;
  }
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  constexpr int64_t kBuf = 65536;
  std::unique_ptr<uint8_t[]> buf(new uint8_t[kBuf]);
  int64_t done = 0;
  while (done < count) {
    int64_t n = std::min(kBuf, count - done);
    source.ReadBuffer(buf.get(), n);
    WriteBuffer(buf.get(), n);
    done += n;
  }
  return done;
}

// ---- TMemoryStream ----------------------------------------------------------

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || pos_ >= Size()) return 0;
  int64_t n = std::min(count, Size() - pos_);
  std::memcpy(buffer, data_.data() + pos_, static_cast<size_t>(n));
  pos_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  int64_t end = pos_ + count;
  if (end > Size()) data_.resize(static_cast<size_t>(end));
  std::memcpy(data_.data() + pos_, buffer, static_cast<size_t>(count));
  pos_ = end;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? pos_ : Size();
  int64_t p = base + offset;
  if (p < 0) throw EStreamError("Invalid stream position");
  pos_ = p;
  return pos_;
}

void TMemoryStream::SetSize(int64_t newSize) {
  if (newSize < 0) throw EStreamError("Invalid stream size");
  data_.resize(static_cast<size_t>(newSize));
  if (pos_ > newSize) pos_ = newSize;
}

void TMemoryStream::Clear() {
  data_.clear();
  data_.shrink_to_fit();
  pos_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  TFileStream f(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(f);
}

void TMemoryStream::SaveToFile(const std::string& fileName) {
  TFileStream f(fileName, fmCreate);
  SaveToStream(f);
}

void TMemoryStream::LoadFromStream(TStream& source) {
  source.SetPosition(0);
  int64_t n = source.Size();
  SetSize(n);
  source.ReadBuffer(data_.data(), n);
  pos_ = 0;
}

void TMemoryStream::SaveToStream(TStream& dest) { dest.WriteBuffer(data_.data(), Size()); }

void TMemoryStream::WriteStr(const std::string& text) { StreamWriteStr(*this, text); }
std::string TMemoryStream::ReadStr() { return StreamReadStr(*this); }
void TMemoryStream::WriteObject(const TBaseObject* obj) { StreamWriteObject(*this, obj); }
std::unique_ptr<TBaseObject> TMemoryStream::ReadObject() { return StreamReadObject(*this); }
bool TMemoryStream::CopyToFile(const std::string& fileName) { return StreamToFile(*this, fileName); }

// ---- TFileStream ------------------------------------------------------------

namespace {

std::string OsReason(int code) { return std::strerror(code); }

int OpenFlags(uint16_t mode) {
  switch (mode & 0x3) {
    case fmOpenWrite: return O_WRONLY;
    case fmOpenReadWrite: return O_RDWR;
    default: return O_RDONLY;
  }
}

int CreateFile(const std::string& fileName) {
  int fd = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    int code = errno;
    throw EFCreateError("Cannot create file \"" + fileName + "\". " + OsReason(code));
  }
  return fd;
}

int OpenFile(const std::string& fileName, uint16_t mode) {
  int fd = ::open(fileName.c_str(), OpenFlags(mode) | O_CLOEXEC);
  if (fd < 0) {
    int code = errno;
    throw EFOpenError("Cannot open file \"" + fileName + "\". " + OsReason(code));
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    throw EFOpenError("Cannot open file \"" + fileName + "\". " + OsReason(EISDIR));
  }
  return fd;
}

}  // namespace

TFileStream::TFileStream(const std::string& fileName, uint16_t mode) : fileName_(fileName) {
  if (mode == fmCreate) {
    fd_ = CreateFile(fileName);
  } else if ((mode & 0xFF00) == fmOpenOrCreate) {
    if (::access(fileName.c_str(), F_OK) == 0)
      fd_ = OpenFile(fileName, static_cast<uint16_t>(mode & ~fmOpenOrCreate));
    else
      fd_ = CreateFile(fileName);
  } else {
    fd_ = OpenFile(fileName, mode);
  }
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  for (;;) {
    ssize_t n = ::read(fd_, buffer, static_cast<size_t>(count));
    if (n >= 0) return n;
    if (errno != EINTR) return -1;
  }
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  for (;;) {
    ssize_t n = ::write(fd_, buffer, static_cast<size_t>(count));
    if (n >= 0) return n;
    if (errno != EINTR) return -1;
  }
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
  off_t r = ::lseek(fd_, offset, whence);
  if (r < 0) throw EStreamError("Invalid stream position in \"" + fileName_ + "\"");
  return r;
}

void TFileStream::SetSize(int64_t newSize) {
  if (newSize < 0 || ::ftruncate(fd_, newSize) != 0)
    throw EStreamError("Cannot set the size of \"" + fileName_ + "\". " + OsReason(errno));
  if (Position() > newSize) SetPosition(newSize);
}

void TFileStream::Flush() {
  if (::fsync(fd_) != 0) throw EWriteError("Cannot write \"" + fileName_ + "\". " + OsReason(errno));
}

void TFileStream::WriteStr(const std::string& text) { StreamWriteStr(*this, text); }
std::string TFileStream::ReadStr() { return StreamReadStr(*this); }
void TFileStream::WriteObject(const TBaseObject* obj) { StreamWriteObject(*this, obj); }
std::unique_ptr<TBaseObject> TFileStream::ReadObject() { return StreamReadObject(*this); }
std::unique_ptr<TBaseObject> TFileStream::ReadObjectOld() { return StreamReadObjectOld(*this); }
bool TFileStream::CopyToFile(const std::string& fileName) { return StreamToFile(*this, fileName); }

// ---- Moving file contents ---------------------------------------------------------
// The moves use positioned reads and writes on the descriptor, so they do not
// depend on the stream position and pass no bytes through an overridden
// Read or Write (a record file's encoding must not touch bytes in transit).

namespace {

// Moves all `count` bytes at `pos` through `io` (pread or pwrite), resuming
// after a signal; a failure raises E saying what could not be done.
template <class E, class Buf, class Io>
void TransferAt(Io io, const char* verb, int fd, const std::string& fileName, Buf* buf, int64_t count, int64_t pos) {
  while (count > 0) {
    ssize_t n = io(fd, buf, static_cast<size_t>(count), pos);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int code = n < 0 ? errno : EIO;
      throw E(std::string("Cannot ") + verb + " \"" + fileName + "\" while moving its contents. " + OsReason(code));
    }
    buf += n;
    pos += n;
    count -= n;
  }
}

void ReadAt(int fd, const std::string& fileName, uint8_t* buf, int64_t count, int64_t pos) {
  TransferAt<EReadError>(::pread, "read", fd, fileName, buf, count, pos);
}

void WriteAt(int fd, const std::string& fileName, const uint8_t* buf, int64_t count, int64_t pos) {
  TransferAt<EWriteError>(::pwrite, "write", fd, fileName, buf, count, pos);
}

void CheckMoveArguments(const std::string& fileName, const char* what, int64_t pos, int64_t count) {
  if (pos < 0 || count < 0 || count > INT64_MAX - pos)
    throw EStreamError(std::string(what) + " of \"" + fileName + "\" at " + std::to_string(pos) + " by " +
                       std::to_string(count) + " bytes is out of range");
}

}  // namespace

void TFileStream::Digout(int64_t pos, int64_t count) {
  CheckMoveArguments(fileName_, "Removing bytes", pos, count);
  int64_t size = Size();
  if (count == 0 || pos >= size) return;
  int64_t oldPos = Position();
  int64_t from = count >= size - pos ? size : pos + count;
  int64_t to = pos;
  std::unique_ptr<uint8_t[]> buf(new uint8_t[kMoveBlockSize]);
  while (from < size) {
    int64_t n = std::min(kMoveBlockSize, size - from);
    ReadAt(fd_, fileName_, buf.get(), n, from);
    WriteAt(fd_, fileName_, buf.get(), n, to);
    from += n;
    to += n;
  }
  if (::ftruncate(fd_, to) != 0) throw EWriteError("Cannot set the size of \"" + fileName_ + "\". " + OsReason(errno));
  SetPosition(std::min(oldPos, to));
}

void TFileStream::Expand(int64_t pos, int64_t count) {
  CheckMoveArguments(fileName_, "Opening a gap", pos, count);
  if (count == 0) return;
  int64_t size = Size();
  int64_t oldPos = Position();
  if (pos >= size) {
    SetSize(pos + count);
    SetPosition(oldPos);
    return;
  }
  if (count > INT64_MAX - size)
    throw EStreamError("Opening a gap of " + std::to_string(count) + " bytes in \"" + fileName_ +
                       "\" would make it too large");
  // Reserve the room first: nothing has moved yet if the disk is full.
  int rc = ::posix_fallocate(fd_, size, count);
  if (rc != 0) {
    if (::ftruncate(fd_, size) != 0) {
      // The file keeps its contents; only its length may be off.
    }
    throw EWriteError("Cannot lengthen \"" + fileName_ + "\" by " + std::to_string(count) + " bytes. " + OsReason(rc));
  }
  std::unique_ptr<uint8_t[]> buf(new uint8_t[kMoveBlockSize]);
  int64_t end = size;  // bytes [pos, end) are still to move
  while (end > pos) {
    int64_t n = std::min(kMoveBlockSize, end - pos);
    int64_t from = end - n;
    ReadAt(fd_, fileName_, buf.get(), n, from);
    WriteAt(fd_, fileName_, buf.get(), n, from + count);
    end = from;
  }
  SetPosition(oldPos);
}

void TFileStream::Truncate() { SetSize(Position()); }

}  // namespace kv
