#include "data/ParadoxMemo.h"

#include <vector>

#include "data/DatabaseError.h"
#include "data/ParadoxFormat.h"
#include "foundation/Format.h"

namespace kv::px {

namespace {
// The BLOB file header: type 0, chunks (uint16), modification count
// (uint16), then the sizes the format works with.
constexpr size_t kHeaderModCount = 3;         // uint16
constexpr size_t kMbHeaderBaseSize = 0x0B;      // uint16: 4096
constexpr size_t kHeaderSubBlockSize = 0x0D;  // uint16: 4096
constexpr size_t kHeaderSubChunkSize = 0x10;  // byte: 16
constexpr size_t kHeaderSubAlloc = 0x11;      // uint16: 64 slots
constexpr size_t kHeaderSubThreshold = 0x13;  // uint16: 2048
}  // namespace

TParadoxMemoFile::TParadoxMemoFile(const std::string& path, bool writable)
    : file_(std::make_unique<dbf::TDbfFile>(path, writable ? dbf::TDbfFile::ReadWrite : dbf::TDbfFile::ReadOnly)) {
  uint8_t head[5] = {};
  if (file_->ReadAt(0, head, sizeof head) < sizeof head || head[0] != kMbHeaderBlock)
    throw EDatabaseError(Format("%s is not a Paradox BLOB file: its header is missing", path));
  modCount_ = GetLE16(head + kHeaderModCount);
}

std::unique_ptr<TParadoxMemoFile> TParadoxMemoFile::Create(const std::string& path) {
  std::unique_ptr<TParadoxMemoFile> memo(
      new TParadoxMemoFile(std::make_unique<dbf::TDbfFile>(path, dbf::TDbfFile::CreateNew)));
  memo->WriteHeader();
  return memo;
}

void TParadoxMemoFile::WriteHeader() {
  std::vector<uint8_t> head(kMbChunk, 0);
  head[0] = kMbHeaderBlock;
  PutLE16(head.data() + 1, 1);  // chunks in this block
  PutLE16(head.data() + kHeaderModCount, modCount_);
  PutLE16(head.data() + kMbHeaderBaseSize, kMbChunk);
  PutLE16(head.data() + kHeaderSubBlockSize, kMbChunk);
  head[kHeaderSubChunkSize] = 16;
  PutLE16(head.data() + kHeaderSubAlloc, kMbSlots);
  PutLE16(head.data() + kHeaderSubThreshold, kMbChunk / 2);
  file_->WriteAt(0, head.data(), head.size());
}

void TParadoxMemoFile::Corrupt(uint32_t place, const std::string& why) const {
  throw EDatabaseError(Format("%s is corrupt: the value at 0x%x %s", Path(), place, why));
}

std::string TParadoxMemoFile::Read(uint32_t place, uint32_t length) const {
  const uint64_t block = place & 0xFFFFFF00u;
  const auto slot = static_cast<uint8_t>(place & 0xFF);
  if (block == 0 || block % kMbChunk != 0) Corrupt(place, "is not the start of a block");
  if (block + kMbSingleHeaderSize > file_->Size()) Corrupt(place, "lies past the end of the file (truncated?)");
  if (slot != kMbOwnBlockIndex) return ReadShared(block, slot, length);
  uint8_t head[kMbSingleHeaderSize];
  file_->ReadExact(block, head, sizeof head, "a BLOB block header");
  if (head[0] != kMbSingleBlock) Corrupt(place, Format("is in a block of type %d, not a value block", head[0]));
  if (GetLE32(head + 3) != length)
    Corrupt(place, Format("holds %d bytes, the record says %d", GetLE32(head + 3), length));
  if (kMbSingleHeaderSize + uint64_t{length} > uint64_t{GetLE16(head + 1)} * kMbChunk)
    Corrupt(place, "is longer than its block");
  if (block + kMbSingleHeaderSize + length > file_->Size()) Corrupt(place, "runs past the end of the file (truncated?)");
  std::string bytes(length, '\0');
  file_->ReadExact(block + kMbSingleHeaderSize, bytes.data(), length, "a BLOB value");
  return bytes;
}

std::string TParadoxMemoFile::ReadShared(uint64_t block, uint8_t slot, uint32_t length) const {
  const auto place = static_cast<uint32_t>(block | slot);
  if (slot >= kMbSlots) Corrupt(place, "names a slot past the block's table");
  uint8_t type = 0;
  file_->ReadExact(block, &type, 1, "a BLOB block header");
  if (type != kMbSharedBlock) Corrupt(place, Format("is in a block of type %d, not a shared block", type));
  uint8_t entry[kMbSlotSize];
  file_->ReadExact(block + kMbSlotTable + slot * kMbSlotSize, entry, sizeof entry, "a BLOB slot");
  const uint32_t start = entry[0] * 16u;
  const uint32_t stored = entry[1] == 0 ? 0 : (entry[1] - 1u) * 16u + (entry[4] == 0 ? 16u : entry[4]);
  if (start == 0 || stored != length) Corrupt(place, Format("holds %d bytes, the record says %d", stored, length));
  if (start + uint64_t{length} > kMbChunk) Corrupt(place, "runs past its block");
  if (block + start + length > file_->Size()) Corrupt(place, "runs past the end of the file (truncated?)");
  std::string bytes(length, '\0');
  file_->ReadExact(block + start, bytes.data(), length, "a BLOB value");
  return bytes;
}

uint32_t TParadoxMemoFile::Write(std::string_view bytes, uint16_t& modNr) {
  const uint64_t end = file_->Size();
  const uint64_t block = (end + kMbChunk - 1) / kMbChunk * kMbChunk;
  const uint64_t chunks = (kMbSingleHeaderSize + bytes.size() + kMbChunk - 1) / kMbChunk;
  if (block + chunks * kMbChunk > 0xFFFFFF00u || chunks > 0xFFFF)
    throw EDatabaseError(Format("%s: the BLOB file cannot grow past 4 GB", Path()));
  modNr = ++modCount_;
  std::string data(chunks * kMbChunk, '\0');
  auto* p = reinterpret_cast<uint8_t*>(data.data());
  p[0] = kMbSingleBlock;
  PutLE16(p + 1, static_cast<uint16_t>(chunks));
  PutLE32(p + 3, static_cast<uint32_t>(bytes.size()));
  PutLE16(p + 7, modNr);
  data.replace(kMbSingleHeaderSize, bytes.size(), bytes);
  file_->WriteAt(block, data.data(), data.size());
  uint8_t count[2];
  PutLE16(count, modCount_);
  file_->WriteAt(kHeaderModCount, count, sizeof count);
  return static_cast<uint32_t>(block) | kMbOwnBlockIndex;
}

void TParadoxMemoFile::Zap() {
  file_->Truncate(kMbChunk);
  WriteHeader();
}

}  // namespace kv::px
