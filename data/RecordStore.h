// Compact storage of text records, for datasets that hold a whole file in
// memory. Records are packed one after another into blocks (growing from
// 4 KiB to 2 MiB): a
// record is its field count followed by each field's length and bytes
// (the counts and lengths as variable-length integers, one byte below
// 128). Nothing is allocated per field or per record; a record costs its
// bytes, one or two bytes per field and eight bytes of position.
//
// TTextData is the view of one stored record. It stays valid while the
// store lives and is not cleared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "KVCore_export.h"

namespace kv {

class KVCORE_EXPORT TTextData {
public:
  TTextData() = default;
  explicit TTextData(const unsigned char* record) : rec_(record) {}

  bool Valid() const { return rec_ != nullptr; }
  int FieldCount() const;
  // Field `index` (0-based); empty when the record has fewer fields. Walks
  // the record: for repeated access decode all fields once with Decode.
  std::string_view Field(int index) const;
  // All fields in order, into `out` (its storage is reused).
  void Decode(std::vector<std::string_view>& out) const;

private:
  const unsigned char* rec_ = nullptr;
};

class KVCORE_EXPORT TTextRecordStore {
public:
  TTextRecordStore();
  ~TTextRecordStore();
  TTextRecordStore(const TTextRecordStore&) = delete;
  TTextRecordStore& operator=(const TTextRecordStore&) = delete;

  // Appends a record whose fields are `bytes` cut at `ends` (the end offset
  // of each field in `bytes`, ascending), followed by `padTo` - count empty
  // fields when `padTo` is larger than the count.
  void Add(std::string_view bytes, const size_t* ends, size_t count, size_t padTo = 0);
  size_t Count() const { return positions_.size(); }
  TTextData Record(size_t index) const;
  void Clear();
  // Moves the records of `other` after this store's own, in order, without
  // copying them; `other` is left empty.
  void Append(TTextRecordStore&& other);
  // Hint: about how many records will be added.
  void Reserve(size_t records) { positions_.reserve(records); }
  // Bytes held (blocks and positions), for reports.
  size_t MemoryUsed() const;

private:
  unsigned char* Allocate(size_t size);

  // Frees a block (allocated with malloc or posix_memalign).
  struct BlockFree {
    void operator()(unsigned char* p) const noexcept;
  };
  struct Block {
    std::unique_ptr<unsigned char, BlockFree> data;
    size_t size = 0;
    size_t used = 0;
  };
  std::vector<Block> blocks_;
  std::vector<uint64_t> positions_;  // block index << 32 | offset in the block
};

}  // namespace kv
