// Signed files and record files.
//
// A signed file starts with a sign line, the sign text followed by the bytes
// CR LF 0x1A, and then a header of the subclass's making. A record file
// holds fixed-size records after the header; records can be inserted and
// deleted in the middle, the rest of the file moving through the file
// stream's Expand and Digout. A sorted record file keeps its records ordered
// by a key at the start of each record.
//
// Construction in two steps. A constructor cannot reach the overrides of a
// subclass, so the sign check and the header (ReadHeader / WriteHeader) run in
// InitSign, which the most derived constructor calls last. The public
// constructors here do that; a subclass with a header of its own passes
// kDeferSign to its base and calls InitSign at the end of its own body:
//
//   class TIndexFile : public TDataStream {
//   public:
//     TIndexFile(const std::string& name, uint16_t mode) : TDataStream(name, mode, kDeferSign) {
//       InitSign("IDX1", mode);
//     }
//     bool ReadHeader() override;   // and WriteHeader
//   };
//
// A failing InitSign raises out of the constructor, and the file is closed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/Streams.h"

namespace kv {

// Marks the constructors that leave the sign check to the caller's InitSign.
struct TDeferSign {};
inline constexpr TDeferSign kDeferSign{};

// Failure messages. Both raise EFOpenError.
// "文件" + file name + "标志校验失败"
KVLIB_EXPORT std::string SignCheckFailedMessage(const std::string& fileName);
// "读" + file name + "的文件头失败"
KVLIB_EXPORT std::string HeaderReadFailedMessage(const std::string& fileName);

// The sign line of `sign`: the text and CR LF 0x1A; empty for an empty sign.
KVLIB_EXPORT std::string SignLine(const std::string& sign);

class KVLIB_EXPORT TSignStream : public TFileStream {
  KV_CLASS(TSignStream, TFileStream)
public:
  // Opens the file (modes as TFileStream, fmOpenOrCreate included). An
  // existing or non-empty file must start with the sign line of `sign` (not
  // checked for an empty sign) and pass ReadHeader; a new empty file (mode
  // fmCreate, or fmOpenOrCreate on a missing or empty file) gets the sign
  // line and WriteHeader.
  TSignStream(const std::string& fileName, const std::string& sign, uint16_t mode);

  // Positions just after the sign line of `sign` (at 0 for an empty sign).
  void LocateHeader(const std::string& sign);
  const std::string& Sign() const { return sign_; }

  virtual void WriteHeader() {}
  virtual bool ReadHeader() { return true; }

protected:
  TSignStream(const std::string& fileName, uint16_t mode, TDeferSign);
  // The sign check and header step; see the top of this file.
  virtual void InitSign(const std::string& sign, uint16_t mode);

private:
  std::string sign_;
};

// Changes the sign line of a file, keeping the rest byte for byte. Nothing
// happens unless the file exists and the signs differ. The old sign is
// checked first (EFOpenError when the file does not carry it).
KVLIB_EXPORT void ModifyStreamSignature(const std::string& fileName, const std::string& oldSign,
                                        const std::string& newSign);

// Records of RecSize bytes from DataStart on. The record operations work on
// record RecNo() whatever the raw position; after a raw Seek, GotoRec tells
// the stream where it is.
class KVLIB_EXPORT TDataStream : public TSignStream {
  KV_CLASS(TDataStream, TSignStream)
public:
  TDataStream(const std::string& fileName, const std::string& sign, uint16_t mode);

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  // The moves pass bytes as they are: Secret is off while they run.
  void Digout(int64_t pos, int64_t count) override;
  void Expand(int64_t pos, int64_t count) override;

  // Hooks for an encoded file; the base leaves the bytes unchanged.
  virtual void SecretData(void* buffer, int64_t count);
  virtual void UnsecretData(void* buffer, int64_t count);

  // Writes one record at the current record and moves to the next.
  virtual void WriteNewRec(const void* buffer);
  // Reads the current record and moves to the next. A record cut short by the
  // end of the file raises EReadError, and the stream stays on that record.
  virtual void ReadRec(void* buffer);
  // Overwrites the current record (appends at the end); returns its index
  // and moves to the next.
  virtual int64_t WriteRec(const void* buffer);
  // Inserts before the current record (appends at the end); returns the
  // index written and moves past it. If writing fails after the gap has
  // been opened, the gap is closed again.
  virtual int64_t InsertRec(const void* buffer);
  // Writes a new record after the last one; returns its index.
  virtual int64_t AppendRec(const void* buffer);
  // Removes the current record; nothing at the end. The stream then stands
  // on the record that followed.
  virtual void DeleteRec();

  // Goes to record `n`, 0 <= n <= RecordCount() (EStreamError otherwise).
  void GotoRec(int64_t n);
  // Moves to the next record; nothing at the end.
  void Skip();
  int64_t RecordCount();
  bool CheckEof();
  int64_t RecNo() const { return recNo_; }

  int64_t DataStart() const { return dataStart_; }
  // Sets where record 0 starts and goes there (0 <= offset <= size).
  void SetDataStart(int64_t offset);
  uint16_t RecSize() const { return recSize_; }
  // At least 1 (EStreamError for 0); goes to record 0.
  void SetRecSize(uint16_t size);

  bool Secret = false;

protected:
  TDataStream(const std::string& fileName, uint16_t mode, TDeferSign);
  void InitSign(const std::string& sign, uint16_t mode) override;
  int64_t RecordOffset(int64_t n) const { return dataStart_ + n * recSize_; }
  // Seeks to the current record (so raw seeks in between do no harm).
  void SeekCurrent();

private:
  int64_t dataStart_ = 0;
  uint16_t recSize_ = 1;
  int64_t recNo_ = 0;
};

// A record file ordered by a key at the start of each record. The default
// key is the record's first two bytes read as a little-endian unsigned
// 16-bit number.
class KVLIB_EXPORT TSortedDataStream : public TDataStream {
  KV_CLASS(TSortedDataStream, TDataStream)
public:
  TSortedDataStream(const std::string& fileName, const std::string& sign, uint16_t mode);

  // Moves a record whose key changed to its ordered place; see the source.
  int64_t WriteRec(const void* buffer) override;
  // Ordered insert before records of an equal key (AddNewRec, flag off).
  int64_t InsertRec(const void* buffer) override;
  // Ordered insert after every record of an equal key (AddNewRec, flag on).
  int64_t AppendRec(const void* buffer) override;

  virtual int KeySize() const { return 2; }
  // Copies the key of `record` into `key` (KeySize bytes).
  virtual void GetKey(const void* record, void* key) const;
  // Reads the key of the current record without moving.
  virtual void ReadKey(void* key);
  // -1, 0 or 1 for key1 <, =, > key2.
  virtual int CompareKey(const void* key1, const void* key2) const;
  // Binary search. Found: true, on a record of that key (any one of equal
  // keys). Not found: false, on the insertion point.
  virtual bool FindRec(const void* key);

  // Inserts `buffer` in key order; an equal key is overwritten when
  // ReplaceSameKey is on, else the record goes after the last equal one
  // when `afterSame` is set. Returns the index written.
  int64_t AddNewRec(const void* buffer, bool afterSame);

  bool ReplaceSameKey = false;

protected:
  TSortedDataStream(const std::string& fileName, uint16_t mode, TDeferSign);

private:
  std::vector<uint8_t> KeyOf(const void* record) const;
  std::vector<uint8_t> KeyAt(int64_t n);
  void CheckKeySize() const;
};

}  // namespace kv
