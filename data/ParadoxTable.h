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
// Keyed tables (the first KeyFieldCount() fields are the primary key):
//   - Records are kept in key order, within and across blocks: Append puts
//     the record at its key's place (splitting a full block), Rewrite moves
//     a record whose key changed, and a key that is there already is refused
//     (EDatabaseError naming the key; nothing is written). Keys compare as
//     their stored bytes (the "ascii" sort order).
//   - The primary index (.px beside the table) is rebuilt whole by Commit
//     (and so after each committed batch, not per record): one entry per
//     data block holding the block's first key, its number and its record
//     count, in as many levels as the entries need (the root in block 1).
//     It is written to a temporary file renamed over the old one.
//   - A keyed table stays read-only, ReadOnlyReason() saying why, when its
//     index cannot be kept: a secondary index (.Xnn/.Ynn/.XGn/.YGn) beside
//     it, a .px that is no primary index of this key, a key with an Alpha
//     field in a sort order other than "ascii", a BLOB key field, or records
//     that are not in strictly increasing key order.
// An unkeyed table with a .px beside it is opened read-only too: the index
// would go stale. The writing calls raise the reason. One writer at a time: a table opened writable holds the file's
// exclusive lock (flock); a second writable open is refused.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "KVCore_export.h"
#include "data/DbfFile.h"
#include "data/FolderTableCodec.h"
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
  // Creates a new, empty version 7 table (and its BLOB file when a field
  // needs one) whose first `keyFields` fields are the primary key (0: no
  // key; a keyed table gets its empty .px); EDatabaseError when the file
  // (or the .px of a keyed table) exists or a field cannot be stored (a
  // name empty, repeated or longer than 25 characters, a size out of range
  // for the type, an unknown type, no field at all, more key fields than
  // fields, a BLOB kind in the key).
  static std::unique_ptr<TParadoxTable> Create(const std::string& path, const std::vector<TParadoxFieldSpec>& fields,
                                               uint16_t codePage, size_t keyFields = 0);
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

  // Keyed tables: the record whose key fields hold `keyValues` (one per key
  // field, none Null), found by binary search; 0 when there is none or a
  // value cannot be stored in its key field.
  uint32_t FindRecord(const std::vector<TVariant>& keyValues);
  // The record bytes for `values` (one per field), starting from `base`
  // (the record being changed; null: a new record). See the contract above.
  TParadoxRecordImage EncodeRecord(const std::vector<TVariant>& values, const uint8_t* base, uint32_t recNo);
  // Returns the new record's number (in a keyed table: its place in key order).
  uint32_t Append(TParadoxRecordImage& image);
  // Returns the record's number afterwards (changed when its key moved it).
  uint32_t Rewrite(uint32_t recNo, TParadoxRecordImage& image);
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
  // A new empty block at chain position `at` (0..chain size), linked in.
  void InsertBlock(size_t at);
  // Moves the upper half of the full block `chainIndex` into a new block after it.
  void SplitBlock(size_t chainIndex);
  // Writes `bytes` as record number `recNo` (1..RecordCount() + 1), moving the later ones down.
  void InsertAt(uint32_t recNo, const std::string& bytes);
  // Keyed tables: the first record whose key is not below `key`, and whether its key is `key`.
  std::pair<uint32_t, bool> FindKey(const uint8_t* key);
  // "ID = 5, NAME = x" for messages.
  std::string KeyText(const uint8_t* record, uint32_t recNo);
  [[noreturn]] void DuplicateKey(const uint8_t* record, uint32_t recNo);
  // Why the key cannot be maintained ("" when it can).
  std::string IndexProblem();
  std::string SecondaryIndex() const;
  bool PrimaryIndexFits(const std::string& indexPath) const;
  // Rebuilds the .px from the block chain.
  void WriteIndex(bool durable);
  static void CheckKey(const std::string& path, const std::vector<TParadoxFieldSpec>& specs, size_t keyFields);
  static void ReplaceFile(const std::string& path, const std::vector<uint8_t>& bytes, bool durable);
  // The header's first block, written at once: readers find the chain from it.
  void WriteFirstBlock();
  // The first key of `block` (a block of the chain holding records), remembered until it is written.
  const std::string& FirstKey(uint16_t block);
  // Forgets the remembered first key of `block` (its records were written).
  void Touched(uint16_t block);
  void Unlink(size_t chainIndex);

  std::unique_ptr<dbf::TDbfFile> file_;
  std::unique_ptr<TParadoxMemoFile> memo_;
  bool writable_ = false;
  std::string readOnlyReason_;
  uint8_t version_ = 0;
  uint8_t fileType_ = 0;
  uint16_t codePage_ = 0;
  size_t keyFields_ = 0;
  size_t keyLength_ = 0;  // bytes of the key fields at the start of a record
  std::string sortOrder_;
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
  std::vector<std::string> firstKeys_;  // by block number: its first key as last read for the index ("": not known)
  TFolderTableCodec codec_;  // of the table's code page
  std::vector<uint8_t> cache_;  // the records of chain block cacheIndex_
  size_t cacheIndex_ = SIZE_MAX;
};

}  // namespace kv::px
