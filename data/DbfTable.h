// One dBase III/IV or (Visual) FoxPro table file with its memo file: the
// reader and writer the dBase engine stands on (layout in DbfFormat.h).
//
// Reading never trusts the header beyond the file: a header, descriptor or
// record area that the file does not hold is EDatabaseError naming the
// file and what is wrong ("... is truncated: the header announces 10
// records of 42 bytes, the file holds 7"), as is a field type this reader
// does not know or a field that does not fit its record.
//
// Values (Value): a blank value (a C field of blanks, an empty N, F or D,
// a logical of ' ' or '?', a memo without block) reads as Null, except that
// a Visual FoxPro field flagged nullable is Null only when its bit in
// _NullFlags is set (a blank C is then ""). Text is converted from the
// code page the header's language byte names to UTF-8; bytes that are not
// text of that code page are an error naming the record and field.
//
// Writing (the table opened writable or created):
//   - EncodeRecord turns a row of values into record bytes, refusing the
//     whole row (EDatabaseError naming the file, record and field, nothing
//     written) when a value does not fit: text longer than C(n) in the code
//     page or holding a character the code page has no byte for, a number
//     wider than N(w,d) (decimals beyond d are rounded), an integer out of
//     I's range, a Null in a field that cannot be blank (I, B, Y of tables
//     without nullable fields).
//   - Append writes the record (and its memos) after the last one; the
//     header's record count is updated only by Commit, after the new
//     records are flushed to the disk. A crash loses at most the records
//     appended since the last Commit; the file stays a valid table.
//   - Rewrite and SetDeleted change one record in place.
//   - Zap sets the record count to 0 first, then shortens the files.
// The destructor commits.
//
// One writer at a time: a table opened writable holds the file's exclusive
// lock (flock), and a second writable open, from this process or another
// using the same locks, is refused with an error saying so. Readers take no
// lock and see the records the header counts.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "KVCore_export.h"
#include "data/DbfFile.h"
#include "data/FolderTableCodec.h"
#include "data/DbfMemo.h"
#include "data/Variant.h"

namespace kv::dbf {

enum class TDbfFlavour : uint8_t { DBase, FoxPro };

// A field as it is stored.
struct KVCORE_EXPORT TDbfField {
  std::string name;
  char type = 'C';
  uint8_t length = 0;
  uint8_t decimals = 0;
  uint32_t offset = 0;  // in the record (the flag byte is offset 0)
  int nullBit = -1;     // bit in _NullFlags, -1 when the field is not nullable
  // "C(20)", "N(10,2)", "L", "I", ...
  std::string TypeName() const;
};

// A field to create: name (10 ASCII characters at most, stored upper-case),
// type, length and decimals as stored (lengths of fixed-size types are
// filled in), nullable (FoxPro flavour only).
struct KVCORE_EXPORT TDbfFieldSpec {
  std::string name;
  char type = 'C';
  int length = 0;
  int decimals = 0;
  bool nullable = false;
};

// The record bytes of a row and the memos still to be written for it.
struct TDbfRecordImage {
  std::string bytes;
  std::vector<std::pair<size_t, std::string>> memos;  // field index, bytes in the code page
};

class KVCORE_EXPORT TDbfTable {
public:
  ~TDbfTable();
  TDbfTable(const TDbfTable&) = delete;
  TDbfTable& operator=(const TDbfTable&) = delete;

  // Opens `path` (and its memo file when it has memo fields); writable:
  // takes the lock (see above).
  static std::unique_ptr<TDbfTable> Open(const std::string& path, bool writable);
  // Creates a new, empty table (and memo file) at `path`; EDatabaseError
  // when the file exists or a field cannot be stored (names repeated or
  // longer than 10 characters, a length out of range, a type the flavour
  // has not). dBase: version 0x03 (0x83 with memos, .dbt); FoxPro: Visual
  // FoxPro 0x30 (.fpt). `language`: the header's code page byte.
  static std::unique_ptr<TDbfTable> Create(const std::string& path, const std::vector<TDbfFieldSpec>& fields,
                                           TDbfFlavour flavour, uint8_t language);
  // The memo file of a table file: the same name with .dbt or .fpt
  // (upper-case when the table's extension is).
  static std::string MemoPath(const std::string& tablePath, bool fpt);

  const std::string& Path() const { return file_->Path(); }
  bool Writable() const { return file_->Writable(); }
  uint8_t Version() const { return version_; }
  uint8_t Language() const { return language_; }
  const std::string& CodePage() const { return codePage_; }
  bool VisualFoxPro() const { return visualFoxPro_; }
  // The fields a user sees (the _NullFlags field left out).
  const std::vector<TDbfField>& Fields() const { return fields_; }
  // Records stored, deleted ones included, appended ones not committed yet included.
  uint32_t RecordCount() const { return count_; }
  size_t RecordLength() const { return recordLength_; }
  // Records not deleted: counted at the first call (one pass over the
  // records), then kept by Append, SetDeleted and Zap.
  uint32_t LiveCount();

  // The bytes of record `recNo` (1..RecordCount()); valid until the next
  // call on this table.
  const uint8_t* Record(uint32_t recNo);
  static bool IsDeleted(const uint8_t* record) { return record[0] == kDeleted; }
  // The value of field `index` of `record` (of record number `recNo`, for messages).
  TVariant Value(const uint8_t* record, size_t index, uint32_t recNo);
  // Field `index` of `record` is Null / blank (no decoding).
  bool IsNull(const uint8_t* record, size_t index) const;

  // The record bytes for `values` (one per field), starting from `base`
  // (the record being changed; null: a blank record). See the contract above.
  TDbfRecordImage EncodeRecord(const std::vector<TVariant>& values, const uint8_t* base, uint32_t recNo);
  // Field `index` encoded alone, as EncodeRecord would write it: false when
  // the value cannot be stored. Memo fields are not encoded (false).
  bool EncodeFieldBytes(size_t index, const TVariant& value, std::string& bytes);
  // Returns the new record's number.
  uint32_t Append(TDbfRecordImage& image);
  void Rewrite(uint32_t recNo, TDbfRecordImage& image);
  void SetDeleted(uint32_t recNo, bool deleted);
  void Zap();
  // Flushes written records, then updates the header's record count and
  // date; with `durable` the header is flushed too (else the next Commit
  // or the OS does it: a power cut meanwhile keeps the previous count).
  void Commit(bool durable = false);

  // Converts between UTF-8 and the table's code page: EDatabaseError (with
  // `what` in the message) when the text does not convert.
  std::string Decode(std::string_view bytes, const std::string& what) const;
  std::string Encode(std::string_view text, const std::string& what) const;

private:
  static constexpr uint8_t kDeleted = '*';
  TDbfTable() = default;
  void ParseHeader(const std::vector<uint8_t>& header, uint64_t fileSize);
  void ParseField(const uint8_t* desc, uint32_t& offset, int& nullBits);
  void OpenCodec();
  void OpenMemo(bool writable, bool create);
  [[noreturn]] void Corrupt(const std::string& what) const;
  bool NullBit(const uint8_t* record, int bit) const;
  void EncodeField(size_t index, const TVariant& value, uint8_t* out, TDbfRecordImage& image);
  void WriteMemos(TDbfRecordImage& image);
  // Writes `bytes` (a record, maybe followed by the end-of-file byte) at record `recNo`.
  void WriteRecord(uint32_t recNo, const std::string& bytes);
  void WriteHeaderCount();

  std::unique_ptr<TDbfFile> file_;
  std::unique_ptr<TDbfMemoFile> memo_;
  uint8_t version_ = 0;
  uint8_t language_ = 0;
  std::string codePage_;
  bool visualFoxPro_ = false;
  bool fptMemo_ = false;
  uint32_t headerLength_ = 0;
  uint32_t recordLength_ = 0;
  uint32_t count_ = 0;           // records, appended ones included
  uint32_t committedCount_ = 0;  // the count the header holds
  int64_t live_ = -1;            // records not deleted, -1 until counted
  bool dirty_ = false;
  std::vector<TDbfField> fields_;
  int nullFlagsOffset_ = -1;  // of _NullFlags in the record, -1 when none
  int nullFlagsLength_ = 0;
  TFolderTableCodec codec_;  // of the table's code page
  bool singleByte_ = true;
  // Records [cacheFirst_, cacheFirst_ + cacheCount_) as read.
  std::vector<uint8_t> cache_;
  uint32_t cacheFirst_ = 0;
  uint32_t cacheCount_ = 0;
};

}  // namespace kv::dbf
