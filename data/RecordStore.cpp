#include "data/RecordStore.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace kv {

namespace {

// Blocks start small and double up to the largest size (a record that needs
// more gets a block of its own size), so that small files stay small. The
// largest blocks are aligned to, and as large as, a huge page: the kernel
// may then back them with huge pages, and filling a large file costs one
// page fault per 2 MiB instead of one per 4 KiB.
constexpr size_t kFirstBlockSize = size_t{4} << 10;
constexpr size_t kBlockSize = size_t{2} << 20;

unsigned char* NewBlock(size_t size) {
  void* p = nullptr;
  if (size < kBlockSize) {
    p = std::malloc(size);
    if (!p) throw std::bad_alloc();
    return static_cast<unsigned char*>(p);
  }
  if (posix_memalign(&p, kBlockSize, size) != 0) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
  ::madvise(p, size, MADV_HUGEPAGE);  // a hint: without huge pages the block works the same
#endif
  return static_cast<unsigned char*>(p);
}

inline size_t VarLen(uint64_t v) {
  size_t n = 1;
  while (v >= 0x80) {
    v >>= 7;
    ++n;
  }
  return n;
}

inline unsigned char* PutVar(unsigned char* p, uint64_t v) {
  while (v >= 0x80) {
    *p++ = static_cast<unsigned char>(v | 0x80);
    v >>= 7;
  }
  *p++ = static_cast<unsigned char>(v);
  return p;
}

inline const unsigned char* GetVar(const unsigned char* p, uint64_t& v) {
  uint64_t r = 0;
  int shift = 0;
  while (*p & 0x80) {
    r |= static_cast<uint64_t>(*p++ & 0x7F) << shift;
    shift += 7;
  }
  r |= static_cast<uint64_t>(*p++) << shift;
  v = r;
  return p;
}

}  // namespace

void TTextRecordStore::BlockFree::operator()(unsigned char* p) const noexcept { std::free(p); }

// ---- TTextData ----------------------------------------------------------------

int TTextData::FieldCount() const {
  if (!rec_) return 0;
  uint64_t n;
  GetVar(rec_, n);
  return static_cast<int>(n);
}

std::string_view TTextData::Field(int index) const {
  if (!rec_ || index < 0) return {};
  uint64_t n;
  const unsigned char* p = GetVar(rec_, n);
  if (static_cast<uint64_t>(index) >= n) return {};
  uint64_t len;
  for (int i = 0;; ++i) {
    p = GetVar(p, len);
    if (i == index) return std::string_view(reinterpret_cast<const char*>(p), len);
    p += len;
  }
}

void TTextData::Decode(std::vector<std::string_view>& out) const {
  out.clear();
  if (!rec_) return;
  uint64_t n;
  const unsigned char* p = GetVar(rec_, n);
  out.reserve(n);
  uint64_t len;
  for (uint64_t i = 0; i < n; ++i) {
    p = GetVar(p, len);
    out.emplace_back(reinterpret_cast<const char*>(p), len);
    p += len;
  }
}

// ---- TTextRecordStore -----------------------------------------------------------

TTextRecordStore::TTextRecordStore() = default;
TTextRecordStore::~TTextRecordStore() = default;

unsigned char* TTextRecordStore::Allocate(size_t size) {
  if (blocks_.empty() || blocks_.back().size - blocks_.back().used < size) {
    // The unused tail of the previous block stays unused; it is never more than one record.
    Block b;
    size_t grow = blocks_.empty() ? kFirstBlockSize : blocks_.back().size * 2;
    if (grow > kBlockSize) grow = kBlockSize;
    b.size = size > grow ? size : grow;
    b.data.reset(NewBlock(b.size));  // not zeroed: pages are touched only as records fill them
    blocks_.push_back(std::move(b));
  }
  Block& b = blocks_.back();
  positions_.push_back((static_cast<uint64_t>(blocks_.size() - 1) << 32) | b.used);
  unsigned char* p = b.data.get() + b.used;
  b.used += size;
  return p;
}

void TTextRecordStore::Add(std::string_view bytes, const size_t* ends, size_t count, size_t padTo) {
  size_t total = count < padTo ? padTo : count;
  size_t size = VarLen(total) + bytes.size() + (total - count);
  size_t start = 0;
  for (size_t i = 0; i < count; ++i) {
    size += VarLen(ends[i] - start);
    start = ends[i];
  }
  unsigned char* p = Allocate(size);
  p = PutVar(p, total);
  start = 0;
  for (size_t i = 0; i < count; ++i) {
    size_t len = ends[i] - start;
    p = PutVar(p, len);
    if (len) std::memcpy(p, bytes.data() + start, len);
    p += len;
    start = ends[i];
  }
  for (size_t i = count; i < total; ++i) *p++ = 0;
}

TTextData TTextRecordStore::Record(size_t index) const {
  if (index >= positions_.size()) return TTextData();
  uint64_t pos = positions_[index];
  return TTextData(blocks_[pos >> 32].data.get() + (pos & 0xFFFFFFFFu));
}

void TTextRecordStore::Append(TTextRecordStore&& other) {
  const uint64_t base = blocks_.size();
  positions_.reserve(positions_.size() + other.positions_.size());
  for (const uint64_t p : other.positions_) positions_.push_back((((p >> 32) + base) << 32) | (p & 0xFFFFFFFFu));
  blocks_.reserve(blocks_.size() + other.blocks_.size());
  for (Block& b : other.blocks_) blocks_.push_back(std::move(b));
  other.Clear();
}

void TTextRecordStore::Clear() {
  blocks_.clear();
  blocks_.shrink_to_fit();
  positions_.clear();
  positions_.shrink_to_fit();
}

size_t TTextRecordStore::MemoryUsed() const {
  size_t n = positions_.capacity() * sizeof(uint64_t) + blocks_.capacity() * sizeof(Block);
  for (const Block& b : blocks_) n += b.size;
  return n;
}

}  // namespace kv
