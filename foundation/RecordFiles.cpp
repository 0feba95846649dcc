#include "foundation/RecordFiles.h"

#include <algorithm>
#include <cstring>

#include "foundation/Exceptions.h"
#include "foundation/FileUtils.h"

namespace kv {

KV_IMPLEMENT_ABSTRACT_CLASS(TSignStream, TFileStream)
KV_IMPLEMENT_ABSTRACT_CLASS(TDataStream, TSignStream)
KV_IMPLEMENT_ABSTRACT_CLASS(TSortedDataStream, TDataStream)

namespace {

// The sign line and headers pass as they are, never through a record
// file's encoding hooks: these call the file stream's own Read and Write.
int64_t ReadPlain(TFileStream& s, void* buffer, int64_t count) {
  auto* p = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    int64_t n = s.TFileStream::Read(p + done, count - done);
    if (n <= 0) break;
    done += n;
  }
  return done;
}

void WritePlain(TFileStream& s, const void* buffer, int64_t count) {
  auto* p = static_cast<const uint8_t*>(buffer);
  while (count > 0) {
    int64_t n = s.TFileStream::Write(p, count);
    if (n <= 0) throw EWriteError("Cannot write \"" + s.FileName() + "\"");
    p += n;
    count -= n;
  }
}

// Restores Secret when leaving a move, also on failure.
class TSecretOff {
public:
  explicit TSecretOff(bool& secret) : secret_(secret), saved_(secret) { secret_ = false; }
  ~TSecretOff() { secret_ = saved_; }
  TSecretOff(const TSecretOff&) = delete;
  TSecretOff& operator=(const TSecretOff&) = delete;

private:
  bool& secret_;
  bool saved_;
};

}  // namespace

std::string SignCheckFailedMessage(const std::string& fileName) { return "文件" + fileName + "标志校验失败"; }

std::string HeaderReadFailedMessage(const std::string& fileName) { return "读" + fileName + "的文件头失败"; }

std::string SignLine(const std::string& sign) { return sign.empty() ? std::string() : sign + "\r\n\x1A"; }

// ---- TSignStream ----------------------------------------------------------------

TSignStream::TSignStream(const std::string& fileName, const std::string& sign, uint16_t mode)
    : TFileStream(fileName, mode) {
  InitSign(sign, mode);
}

TSignStream::TSignStream(const std::string& fileName, uint16_t mode, TDeferSign) : TFileStream(fileName, mode) {}

void TSignStream::InitSign(const std::string& sign, uint16_t mode) {
  sign_ = sign;
  // A file counts as new only when it is empty and the mode may have created it.
  bool newFile = Size() == 0 && (mode == fmCreate || (mode & 0xFF00) == fmOpenOrCreate);
  SetPosition(0);
  if (!newFile) {
    if (!sign.empty()) {
      std::string expected = SignLine(sign);
      std::string found(expected.size(), '\0');
      int64_t n = ReadPlain(*this, found.data(), static_cast<int64_t>(found.size()));
      if (n != static_cast<int64_t>(expected.size()) || found != expected)
        throw EFOpenError(SignCheckFailedMessage(FileName()));
    }
    if (!ReadHeader()) throw EFOpenError(HeaderReadFailedMessage(FileName()));
  } else {
    std::string line = SignLine(sign);
    WritePlain(*this, line.data(), static_cast<int64_t>(line.size()));
    WriteHeader();
  }
}

void TSignStream::LocateHeader(const std::string& sign) {
  SetPosition(static_cast<int64_t>(SignLine(sign).size()));
}

void ModifyStreamSignature(const std::string& fileName, const std::string& oldSign, const std::string& newSign) {
  if (oldSign == newSign || !FileExists(fileName)) return;
  const std::string newLine = SignLine(newSign);
  const auto a = static_cast<int64_t>(SignLine(oldSign).size());
  const auto b = static_cast<int64_t>(newLine.size());
  TSignStream s(fileName, oldSign, fmOpenReadWrite | fmShareDenyWrite);
  if (a < b) {
    // The room is reserved before anything moves; should the new line then
    // fail to be written, the gap is closed again and the old sign stays.
    s.Expand(a, b - a);
    try {
      s.SetPosition(0);
      WritePlain(s, newLine.data(), b);
    } catch (...) {
      try {
        s.Digout(a, b - a);
      } catch (...) {
      }
      throw;
    }
    return;
  }
  if (b > 0) {
    s.SetPosition(0);
    WritePlain(s, newLine.data(), b);
  }
  if (b < a) s.Digout(b, a - b);
}

// ---- TDataStream ----------------------------------------------------------------

TDataStream::TDataStream(const std::string& fileName, const std::string& sign, uint16_t mode)
    : TSignStream(fileName, mode, kDeferSign) {
  InitSign(sign, mode);
}

TDataStream::TDataStream(const std::string& fileName, uint16_t mode, TDeferSign)
    : TSignStream(fileName, mode, kDeferSign) {}

void TDataStream::InitSign(const std::string& sign, uint16_t mode) {
  TSignStream::InitSign(sign, mode);
  dataStart_ = Position();
  recNo_ = 0;
}

int64_t TDataStream::Read(void* buffer, int64_t count) {
  int64_t n = TFileStream::Read(buffer, count);
  if (Secret && n > 0) UnsecretData(buffer, n);
  return n;
}

int64_t TDataStream::Write(const void* buffer, int64_t count) {
  if (!Secret || count <= 0) return TFileStream::Write(buffer, count);
  // The caller's bytes stay as they are: encode a copy.
  std::vector<uint8_t> copy(static_cast<const uint8_t*>(buffer), static_cast<const uint8_t*>(buffer) + count);
  SecretData(copy.data(), count);
  return TFileStream::Write(copy.data(), count);
}

void TDataStream::Digout(int64_t pos, int64_t count) {
  TSecretOff off(Secret);
  TFileStream::Digout(pos, count);
}

void TDataStream::Expand(int64_t pos, int64_t count) {
  TSecretOff off(Secret);
  TFileStream::Expand(pos, count);
}

void TDataStream::SecretData(void*, int64_t) {}
void TDataStream::UnsecretData(void*, int64_t) {}

int64_t TDataStream::RecordCount() {
  int64_t size = Size();
  return size <= dataStart_ ? 0 : (size - dataStart_) / recSize_;
}

bool TDataStream::CheckEof() { return Position() >= Size(); }

void TDataStream::SeekCurrent() { SetPosition(RecordOffset(recNo_)); }

void TDataStream::GotoRec(int64_t n) {
  int64_t count = RecordCount();
  if (n < 0 || n > count)
    throw EStreamError("Record " + std::to_string(n) + " is out of range: \"" + FileName() + "\" holds " +
                       std::to_string(count) + " records");
  // Seeks even when n is the current record, so a raw seek in between is undone.
  recNo_ = n;
  SeekCurrent();
}

void TDataStream::Skip() {
  if (recNo_ < RecordCount()) GotoRec(recNo_ + 1);
}

void TDataStream::SetDataStart(int64_t offset) {
  if (offset < 0 || offset > Size())
    throw EStreamError("The records of \"" + FileName() + "\" cannot start at " + std::to_string(offset));
  dataStart_ = offset;
  GotoRec(0);
}

void TDataStream::SetRecSize(uint16_t size) {
  if (size == 0) throw EStreamError("The record size of \"" + FileName() + "\" must be at least 1 byte");
  recSize_ = size;
  GotoRec(0);
}

void TDataStream::ReadRec(void* buffer) {
  int64_t offset = RecordOffset(recNo_);
  int64_t available = Size() - offset;
  if (available < recSize_) {
    SeekCurrent();
    if (available <= 0)
      throw EReadError("There is no record " + std::to_string(recNo_) + " in \"" + FileName() + "\"");
    throw EReadError("Record " + std::to_string(recNo_) + " of \"" + FileName() + "\" is incomplete: " +
                     std::to_string(available) + " of " + std::to_string(recSize_) + " bytes");
  }
  SeekCurrent();
  try {
    ReadBuffer(buffer, recSize_);
  } catch (...) {
    SeekCurrent();
    throw;
  }
  ++recNo_;
}

void TDataStream::WriteNewRec(const void* buffer) {
  SeekCurrent();
  WriteBuffer(buffer, recSize_);
  ++recNo_;
}

int64_t TDataStream::WriteRec(const void* buffer) {
  int64_t index = recNo_;
  TDataStream::WriteNewRec(buffer);
  return index;
}

int64_t TDataStream::InsertRec(const void* buffer) {
  int64_t index = recNo_;
  if (index >= RecordCount()) return TDataStream::WriteRec(buffer);
  int64_t offset = RecordOffset(index);
  Expand(offset, recSize_);
  try {
    SetPosition(offset);
    WriteBuffer(buffer, recSize_);
  } catch (...) {
    // Close the gap again, so the file holds what it held before.
    try {
      Digout(offset, recSize_);
    } catch (...) {
    }
    recNo_ = index;
    SetPosition(offset);
    throw;
  }
  recNo_ = index + 1;
  return index;
}

int64_t TDataStream::AppendRec(const void* buffer) {
  GotoRec(RecordCount());
  return TDataStream::WriteRec(buffer);
}

void TDataStream::DeleteRec() {
  if (recNo_ >= RecordCount()) return;
  Digout(RecordOffset(recNo_), recSize_);
  SeekCurrent();
}

// ---- TSortedDataStream ----------------------------------------------------------

TSortedDataStream::TSortedDataStream(const std::string& fileName, const std::string& sign, uint16_t mode)
    : TDataStream(fileName, mode, kDeferSign) {
  InitSign(sign, mode);
}

TSortedDataStream::TSortedDataStream(const std::string& fileName, uint16_t mode, TDeferSign)
    : TDataStream(fileName, mode, kDeferSign) {}

void TSortedDataStream::CheckKeySize() const {
  if (KeySize() < 1 || KeySize() > RecSize())
    throw EStreamError("A key of " + std::to_string(KeySize()) + " bytes does not fit the records of " +
                       std::to_string(RecSize()) + " bytes in \"" + FileName() + "\"");
}

// Key buffers hold at least two bytes (zero-filled), the width the default
// comparison reads, so a subclass may shorten the key without overriding it.
std::vector<uint8_t> TSortedDataStream::KeyOf(const void* record) const {
  std::vector<uint8_t> key(static_cast<size_t>(std::max(KeySize(), 2)), 0);
  GetKey(record, key.data());
  return key;
}

std::vector<uint8_t> TSortedDataStream::KeyAt(int64_t n) {
  GotoRec(n);
  std::vector<uint8_t> key(static_cast<size_t>(std::max(KeySize(), 2)), 0);
  ReadKey(key.data());
  return key;
}

void TSortedDataStream::GetKey(const void* record, void* key) const {
  std::memcpy(key, record, static_cast<size_t>(KeySize()));
}

void TSortedDataStream::ReadKey(void* key) {
  SeekCurrent();
  try {
    ReadBuffer(key, KeySize());
  } catch (...) {
    SeekCurrent();
    throw;
  }
  SeekCurrent();
}

int TSortedDataStream::CompareKey(const void* key1, const void* key2) const {
  auto* a = static_cast<const uint8_t*>(key1);
  auto* b = static_cast<const uint8_t*>(key2);
  unsigned k1 = a[0] | (a[1] << 8);
  unsigned k2 = b[0] | (b[1] << 8);
  return k1 < k2 ? -1 : k1 > k2 ? 1 : 0;
}

bool TSortedDataStream::FindRec(const void* key) {
  CheckKeySize();
  int64_t lo = 0;
  int64_t hi = RecordCount() - 1;
  while (lo <= hi) {
    int64_t mid = lo + (hi - lo) / 2;
    int c = CompareKey(key, KeyAt(mid).data());
    if (c < 0)
      hi = mid - 1;
    else if (c > 0)
      lo = mid + 1;
    else {
      GotoRec(mid);
      return true;
    }
  }
  GotoRec(lo);
  return false;
}

int64_t TSortedDataStream::AddNewRec(const void* buffer, bool afterSame) {
  CheckKeySize();
  std::vector<uint8_t> key = KeyOf(buffer);
  if (!FindRec(key.data())) return TDataStream::InsertRec(buffer);
  if (ReplaceSameKey) return TDataStream::WriteRec(buffer);
  // The search may stop on any of several equal keys: step to the last of
  // them (after-same) or to the first (before-same), so the place is fixed.
  int64_t n = RecNo();
  if (afterSame) {
    int64_t count = RecordCount();
    ++n;
    while (n < count && CompareKey(KeyAt(n).data(), key.data()) == 0) ++n;
  } else {
    while (n > 0 && CompareKey(KeyAt(n - 1).data(), key.data()) == 0) --n;
  }
  GotoRec(n);
  return TDataStream::InsertRec(buffer);
}

int64_t TSortedDataStream::InsertRec(const void* buffer) { return AddNewRec(buffer, false); }

int64_t TSortedDataStream::AppendRec(const void* buffer) { return AddNewRec(buffer, true); }

// At the end a plain write, as long as the key does not come before the last
// record's key (a smaller key is inserted in its place, an equal one goes
// through AddNewRec so ReplaceSameKey is honoured). In the middle an equal
// key overwrites; a different key moves the record to its ordered place:
// the new record is inserted first and the old one removed afterwards, so a
// failure in between leaves the old record in the file rather than losing it.
int64_t TSortedDataStream::WriteRec(const void* buffer) {
  CheckKeySize();
  std::vector<uint8_t> key = KeyOf(buffer);
  const int64_t count = RecordCount();
  const int64_t old = RecNo();
  if (old >= count) {
    if (count == 0 || CompareKey(KeyAt(count - 1).data(), key.data()) < 0) {
      GotoRec(count);
      return TDataStream::WriteRec(buffer);
    }
    return AddNewRec(buffer, true);
  }
  if (CompareKey(key.data(), KeyAt(old).data()) == 0) return TDataStream::WriteRec(buffer);

  int64_t index = AddNewRec(buffer, false);
  bool grew = RecordCount() > count;
  int64_t oldNow = grew && index <= old ? old + 1 : old;
  GotoRec(oldNow);
  TDataStream::DeleteRec();
  int64_t result = index > oldNow ? index - 1 : index;
  GotoRec(result + 1);
  return result;
}

}  // namespace kv
