// One Paradox table file (.db, versions 3.0 to 7) with its BLOB file
// (.mb): the reader and writer the Paradox engine stands on (layout in
// data/ParadoxFormat.h).
//
// Reading never trusts the header beyond the file: a header, field list or
// block that the file does not hold, a block chain that loops or leaves the
// file, a block claiming more records than it holds, an unknown field type
// or a record size that is not the sum of the fields is EDatabaseError
// naming the file and what is wrong. Encrypted tables are refused.
//
// Records are numbered 1..RecordCount() in the order of the block chain.
// Values: a field of zero bytes is Null. Alpha and memo text is converted
// from the code page the header names (437 for version 3 tables) to UTF-8;
// bytes that are not text of that code page are an error naming the
// record and field. BLOB, OLE, graphic and Bytes values are byte strings.
//
// Writing (the table opened writable or created):
//   - EncodeRecord turns a row of values into record bytes, refusing the
//     whole row (EDatabaseError naming the file, record and field, nothing
//     written) when a value does not fit: text longer than the field in the
//     code page or holding a character the code page has no byte for, a
//     number outside a Short's or Long's range (the most negative value is
//     the blank), a BCD with more than 32 digits, bytes longer than Bytes(n).
//     A Null autoincrement of a new record takes the next number.
//   - Append writes the record after the last one (a new block when the
//     last is full); Rewrite changes one record in place; Delete removes a
//     record, moving the later records of its block up (the records after
//     it are numbered one less); an emptied block leaves the chain.
//   - The block chain (with the header's first block) is kept as records
//     are written; the rest of the header (record count, blocks,
//     autoincrement) is written by Commit, after the BLOB file and the
//     blocks are flushed. Readers (this one) count the records of the
//     chain, so a crash before Commit loses no record that reached the disk.
//   - Zap empties the table and its BLOB file.
// Keyed tables (a primary key, kept in the .px index) and tables with a
// .px beside them are opened read-only whatever was asked: the index would
// go stale. ReadOnlyReason() says why, and the writing calls raise it. One writer at a time: a table opened writable holds the file's
// exclusive lock (flock); a second writable open is refused.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "KVCore_export.h"
#include "data/DbfFile.h"
#include "data/ParadoxMemo.h"
#include "data/Variant.h"

namespace kv::px {

// A field as it is stored.
struct KVCORE_EXPORT TParadoxField {
  std::string name;
  uint8_t type = 0;
  uint8_t size = 0;     // the size byte: length, leader + 10, BCD decimals
  uint32_t length = 0;  // bytes in the record
  uint32_t offset = 0;  // in the record
  // "A20", "N", "M30", "#2" ... (see TypeName in ParadoxFormat.h)
  std::string TypeName() const;
};

// A field to create: name (25 characters at most), type and size byte.
struct KVCORE_EXPORT TParadoxFieldSpec {
  std::string name;
  uint8_t type = 0;
  uint8_t size = 0;
};

// The record bytes of a row and the BLOB values still to be written for it.
struct TParadoxRecordImage {
  std::string bytes;
  std::vector<std::pair<size_t, std::string>> blobs;  // field index, bytes as stored
};

class KVCORE_EXPORT TParadoxTable {
public:
  ~TParadoxTable();
  TParadoxTable(const TParadoxTable&) = delete;
  TParadoxTable& operator=(const TParadoxTable&) = delete;

  // Opens `path` (and its BLOB file when it has BLOB fields); writable:
  // takes the lock, unless the table is keyed (see above).
  static std::unique_ptr<TParadoxTable> Open(const std::string& path, bool writable);
  // Creates a new, empty version 7 table without a key (and its BLOB file
  // when a field needs one); EDatabaseError when the file exists or a field
  // cannot be stored (a name empty, repeated or longer than 25 characters,
  // a size out of range for the type, an unknown type, no field at all).
  static std::unique_ptr<TParadoxTable> Create(const std::string& path, const std::vector<TParadoxFieldSpec>& fields,
                                               uint16_t codePage);
  // The BLOB file of a table file: the same name with .mb (.MB when the
  // table's extension is upper-case).
  static std::string MemoPath(const std::string& tablePath);
  // The primary index of a table file: the same name with .px (.PX likewise).
  static std::string IndexPath(const std::string& tablePath);

  const std::string& Path() const { return file_->Path(); }
  bool Writable() const { return writable_; }
  // Why a table asked for writing was opened read-only; "" when it was not.
  const std::string& ReadOnlyReason() const { return readOnlyReason_; }
  uint8_t Version() const { return version_; }
  uint16_t CodePage() const { return codePage_; }
  size_t KeyFieldCount() const { return keyFields_; }
  const std::vector<TParadoxField>& Fields() const { return fields_; }
  uint32_t RecordCount() const { return count_; }
  size_t RecordLength() const { return recordLength_; }

  // The bytes of record `recNo` (1..RecordCount()); valid until the next call on this table.
  const uint8_t* Record(uint32_t recNo);
  // The value of field `index` of `record` (of record number `recNo`, for messages).
  TVariant Value(const uint8_t* record, size_t index, uint32_t recNo);

  // The record bytes for `values` (one per field), starting from `base`
  // (the record being changed; null: a new record). See the contract above.
  TParadoxRecordImage EncodeRecord(const std::vector<TVariant>& values, const uint8_t* base, uint32_t recNo);
  // Returns the new record's number.
  uint32_t Append(TParadoxRecordImage& image);
  void Rewrite(uint32_t recNo, TParadoxRecordImage& image);
  void Delete(uint32_t recNo);
  void Zap();
  // Flushes written blocks, then writes the header; with `durable` the
  // header is flushed too.
  void Commit(bool durable = false);

  // Converts between UTF-8 and the table's code page: EDatabaseError (with
  // `what` in the message) when the text does not convert.
  std::string Decode(std::string_view bytes, const std::string& what) const;
  std::string Encode(std::string_view text, const std::string& what) const;

private:
  struct TBlock {
    uint16_t number;
    uint32_t records;
  };
  TParadoxTable() = default;
  void ParseHeader(const std::vector<uint8_t>& header);
  void ParseFields(const std::vector<uint8_t>& header, size_t at);
  void ReadChain();
  // Numbers the records of the chain afresh (firstRecord_).
  void Renumber();
  void OpenCodec();
  [[noreturn]] void Corrupt(const std::string& what) const;
  void CheckWritable() const;
  uint64_t BlockOffset(uint16_t block) const { return headerSize_ + uint64_t{block - 1u} * blockSize_; }
  // The block holding record `recNo` and the record's slot in it.
  std::pair<size_t, uint32_t> Locate(uint32_t recNo) const;
  void LoadBlock(size_t chainIndex);
  void WriteBlockHeader(uint16_t block, uint16_t next, uint16_t prev, uint32_t records);
  TVariant BlobValue(const TParadoxField& f, const uint8_t* p, const std::string& what);
  void EncodeField(size_t index, const TVariant& value, uint8_t* out, TParadoxRecordImage& image, bool inserting);
  // The types of fixed size (numbers, dates, times, logicals, BCD) at `p`.
  void EncodeFixed(const TParadoxField& f, const TVariant& value, uint8_t* p);
  // A BLOB kind: the leader and length now, the place when the image is written.
  void EncodeBlob(size_t index, const TVariant& value, uint8_t* p, TParadoxRecordImage& image);
  void WriteBlobs(TParadoxRecordImage& image);
  uint16_t NewBlock();
  // The header's first block, written at once: readers find the chain from it.
  void WriteFirstBlock();
  void Unlink(size_t chainIndex);

  std::unique_ptr<dbf::TDbfFile> file_;
  std::unique_ptr<TParadoxMemoFile> memo_;
  bool writable_ = false;
  std::string readOnlyReason_;
  uint8_t version_ = 0;
  uint8_t fileType_ = 0;
  uint16_t codePage_ = 0;
  size_t keyFields_ = 0;
  uint32_t headerSize_ = 0;
  uint32_t blockSize_ = 0;
  uint32_t recordLength_ = 0;
  uint16_t fileBlocks_ = 0;
  uint32_t autoInc_ = 0;
  uint32_t count_ = 0;
  bool dirty_ = false;
  std::vector<TParadoxField> fields_;
  std::vector<TBlock> chain_;  // the blocks in chain order
  std::vector<uint32_t> firstRecord_;  // record number of each chain block's first record
  void* toUtf8_ = nullptr;    // iconv_t
  void* fromUtf8_ = nullptr;  // iconv_t
  std::vector<uint8_t> cache_;  // the records of chain block cacheIndex_
  size_t cacheIndex_ = SIZE_MAX;
};

}  // namespace kv::px
