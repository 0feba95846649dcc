#include "data/DbfMemo.h"

#include <algorithm>
#include <vector>

#include "data/DatabaseError.h"
#include "data/DbfFormat.h"
#include "foundation/Format.h"

namespace kv::dbf {

namespace {

constexpr size_t kDbtHeaderSize = 512;
constexpr uint8_t kDbt4Marker[4] = {0xFF, 0xFF, 0x08, 0x00};
constexpr uint32_t kMaxMemoBytes = 64u << 20;  // a longer memo is taken for a corrupt length

}  // namespace

TDbfMemoFile::TDbfMemoFile(std::unique_ptr<TDbfFile> file, TMemoKind kind) : file_(std::move(file)), kind_(kind) {}

TDbfMemoFile::TDbfMemoFile(const std::string& path, TMemoKind kind, bool writable)
    : TDbfMemoFile(std::make_unique<TDbfFile>(path, writable ? TDbfFile::ReadWrite : TDbfFile::ReadOnly), kind) {
  ReadHeader();
}

std::unique_ptr<TDbfMemoFile> TDbfMemoFile::Create(const std::string& path, TMemoKind kind) {
  std::unique_ptr<TDbfMemoFile> memo(new TDbfMemoFile(std::make_unique<TDbfFile>(path, TDbfFile::CreateNew), kind));
  memo->blockSize_ = kind == TMemoKind::FoxPro ? kFptBlockSize : kDbtBlockSize;
  memo->nextFree_ = memo->FirstBlock();
  memo->WriteHeader();
  return memo;
}

uint32_t TDbfMemoFile::FirstBlock() const {
  const size_t header = kind_ == TMemoKind::FoxPro ? kFptHeaderSize : kDbtHeaderSize;
  return static_cast<uint32_t>((header + blockSize_ - 1) / blockSize_);
}

void TDbfMemoFile::ReadHeader() {
  uint8_t h[32] = {};
  file_->ReadExact(0, h, sizeof h, "the memo file header");
  if (kind_ == TMemoKind::FoxPro) {
    nextFree_ = GetBE32(h);
    blockSize_ = GetBE16(h + kFptBlockSizeOffset);
  } else {
    nextFree_ = GetLE32(h);
    blockSize_ = kind_ == TMemoKind::DBase4 ? GetLE16(h + kDbt4BlockSizeOffset) : kDbtBlockSize;
    if (blockSize_ == 0) blockSize_ = kDbtBlockSize;
  }
  if (blockSize_ == 0 || blockSize_ > 65536)
    throw EDatabaseError(Format("%s is corrupt: its block size is %d", Path(), blockSize_));
  // A next-free block inside the header or far past the end is not trusted: append at the end instead.
  const uint64_t endBlock = (file_->Size() + blockSize_ - 1) / blockSize_;
  if (nextFree_ < FirstBlock() || nextFree_ > endBlock) nextFree_ = static_cast<uint32_t>(std::max<uint64_t>(endBlock, FirstBlock()));
}

void TDbfMemoFile::WriteHeader() {
  std::vector<uint8_t> h(kind_ == TMemoKind::FoxPro ? kFptHeaderSize : kDbtHeaderSize, 0);
  if (kind_ == TMemoKind::FoxPro) {
    PutBE32(h.data(), nextFree_);
    PutBE16(h.data() + kFptBlockSizeOffset, static_cast<uint16_t>(blockSize_));
  } else {
    PutLE32(h.data(), nextFree_);
    h[16] = kind_ == TMemoKind::DBase4 ? 0x00 : 0x03;
    if (kind_ == TMemoKind::DBase4) PutLE16(h.data() + kDbt4BlockSizeOffset, static_cast<uint16_t>(blockSize_));
  }
  file_->WriteAt(0, h.data(), h.size());
}

std::string TDbfMemoFile::Read(uint32_t block) const {
  const uint64_t size = file_->Size();
  const uint64_t start = static_cast<uint64_t>(block) * blockSize_;
  if (block < FirstBlock() || start >= size)
    throw EDatabaseError(Format("%s is corrupt: memo block %d lies outside the file", Path(), block));
  uint8_t head[8] = {};
  const size_t got = file_->ReadAt(start, head, sizeof head);
  const bool framed = kind_ == TMemoKind::FoxPro || (got == 8 && std::equal(head, head + 4, kDbt4Marker));
  if (framed) {
    if (got < 8) throw EDatabaseError(Format("%s is truncated: memo block %d", Path(), block));
    const uint32_t length = kind_ == TMemoKind::FoxPro ? GetBE32(head + 4) : GetLE32(head + 4) - 8;
    if (kind_ != TMemoKind::FoxPro && GetLE32(head + 4) < 8)
      throw EDatabaseError(Format("%s is corrupt: memo block %d has a bad length", Path(), block));
    if (length > kMaxMemoBytes || start + 8 + length > size)
      throw EDatabaseError(Format("%s is corrupt: the memo at block %d runs past the end of the file", Path(), block));
    std::string bytes(length, '\0');
    file_->ReadExact(start + 8, bytes.data(), length, "a memo");
    return bytes;
  }
  // dBase III: the text runs to 0x1A (two of them when written by dBase).
  std::string bytes;
  std::vector<char> chunk(blockSize_);
  for (uint64_t at = start; at < size && bytes.size() < kMaxMemoBytes; at += chunk.size()) {
    const size_t n = file_->ReadAt(at, chunk.data(), chunk.size());
    const auto end = std::find(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n), static_cast<char>(kEndOfFile));
    bytes.append(chunk.begin(), end);
    if (end != chunk.begin() + static_cast<std::ptrdiff_t>(n) || n < chunk.size()) break;
  }
  return bytes;
}

uint32_t TDbfMemoFile::Write(const std::string& bytes) {
  std::string stored;
  if (kind_ == TMemoKind::FoxPro) {
    uint8_t head[8];
    PutBE32(head, kFptTypeText);
    PutBE32(head + 4, static_cast<uint32_t>(bytes.size()));
    stored.assign(reinterpret_cast<const char*>(head), 8);
    stored += bytes;
  } else if (kind_ == TMemoKind::DBase4) {
    uint8_t head[8];
    std::copy(kDbt4Marker, kDbt4Marker + 4, head);
    PutLE32(head + 4, static_cast<uint32_t>(bytes.size() + 8));
    stored.assign(reinterpret_cast<const char*>(head), 8);
    stored += bytes;
  } else {
    stored = bytes;
    stored += static_cast<char>(kEndOfFile);
    stored += static_cast<char>(kEndOfFile);
  }
  const uint64_t blocks = (stored.size() + blockSize_ - 1) / blockSize_;
  if (static_cast<uint64_t>(nextFree_) + blocks > UINT32_MAX)
    throw EDatabaseError(Format("%s is full: no block number is left for another memo", Path()));
  stored.resize(blocks * blockSize_, '\0');
  const uint32_t block = nextFree_;
  file_->WriteAt(static_cast<uint64_t>(block) * blockSize_, stored.data(), stored.size());
  nextFree_ = static_cast<uint32_t>(block + blocks);
  WriteHeader();
  return block;
}

void TDbfMemoFile::Zap() {
  nextFree_ = FirstBlock();
  WriteHeader();
  file_->Truncate(static_cast<uint64_t>(nextFree_) * blockSize_);
}

}  // namespace kv::dbf
