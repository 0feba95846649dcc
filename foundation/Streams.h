// Byte streams: the abstract stream, memory streams and file streams.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/KVObject.h"

namespace kv {

class TBaseObject;

enum TSeekOrigin : uint8_t { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class KVLIB_EXPORT TStream : public TObject {
  KV_CLASS(TStream, TObject)
public:
  // Reads up to `count` bytes; returns how many were read (0 at the end).
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes `count` bytes; returns how many were written.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t Size();
  virtual void SetSize(int64_t newSize) = 0;

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t pos) { Seek(pos, soBeginning); }
  // All or nothing: a short read raises EReadError, a short write EWriteError.
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
  void WriteString(const std::string& bytes) { WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size())); }
  // Copies `count` bytes from the current position of `source`; with
  // count 0 the whole of `source` from its start. Returns bytes copied.
  int64_t CopyFrom(TStream& source, int64_t count);
};

// A stream over a growable block of memory.
class KVLIB_EXPORT TMemoryStream : public TStream {
  KV_CLASS(TMemoryStream, TStream)
public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string_view bytes) : data_(bytes.begin(), bytes.end()) {}

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }
  void SetSize(int64_t newSize) override;

  void Clear();
  uint8_t* Memory() { return data_.data(); }
  const uint8_t* Memory() const { return data_.data(); }
  std::string Bytes() const { return std::string(data_.begin(), data_.end()); }
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName);
  void LoadFromStream(TStream& source);
  void SaveToStream(TStream& dest);

  // Name strings (length byte, or 0xFF and a 4-byte length, then the bytes).
  void WriteStr(const std::string& text);
  std::string ReadStr();
  // A whole object stream with its signature (StreamWriteObject, StreamReadObject).
  void WriteObject(const TBaseObject* obj);
  std::unique_ptr<TBaseObject> ReadObject();
  bool CopyToFile(const std::string& fileName);

private:
  std::vector<uint8_t> data_;
  int64_t pos_ = 0;
};

// Open modes of TFileStream.
enum : uint16_t {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareCompat = 0x0000,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyRead = 0x0030,
  fmShareDenyNone = 0x0040,
  fmOpenOrCreate = 0x8000,  // the mode's high byte is exactly 0x80: open, or create when missing
  fmCreate = 0xFFFF,        // create or truncate
};

// A stream over a file. Files are opened by their full name; the process's
// current folder is never changed.
class KVLIB_EXPORT TFileStream : public TStream {
  KV_CLASS(TFileStream, TStream)
public:
  TFileStream(const std::string& fileName, uint16_t mode);
  ~TFileStream() override;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t newSize) override;

  const std::string& FileName() const { return fileName_; }
  int Handle() const { return fd_; }
  // Forces written data to the disk.
  void Flush();

  void WriteStr(const std::string& text);
  std::string ReadStr();
  void WriteObject(const TBaseObject* obj);
  std::unique_ptr<TBaseObject> ReadObject();
  std::unique_ptr<TBaseObject> ReadObjectOld();
  bool CopyToFile(const std::string& fileName);

  // Moving file contents, through one buffer of kMoveBlockSize bytes, so a
  // file of any size is never held in memory. Both restore the position.
  //
  // Removes `count` bytes at `pos`: what follows moves down, first block
  // first, and the file ends after the last byte moved. Bytes past the end
  // are not there to remove; a previous position beyond the new end is left
  // at the new end.
  virtual void Digout(int64_t pos, int64_t count);
  // Opens a gap of `count` bytes at `pos` (the gap keeps whatever bytes were
  // there): what follows moves up, last block first. The room is reserved
  // before anything moves, so a full disk fails with the file unchanged.
  // At or past the end the file is just lengthened to pos + count.
  virtual void Expand(int64_t pos, int64_t count);
  // Ends the file at the current position.
  virtual void Truncate();
  static constexpr int64_t kMoveBlockSize = 16384;

private:
  std::string fileName_;
  int fd_ = -1;
};

}  // namespace kv
