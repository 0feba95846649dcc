// The memo file of a dBase or FoxPro table: .dbt (dBase III and IV) or
// .fpt (FoxPro). Memos are read by their first block number and written
// at the end of the file (an edited memo takes new blocks; the old ones
// stay unused until the table is packed by another program). The file's
// next-free-block number is updated after the memo's bytes are written,
// and before the table record naming the memo is.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "KVCore_export.h"
#include "data/DbfFile.h"

namespace kv::dbf {

enum class TMemoKind : uint8_t { DBase3, DBase4, FoxPro };

class KVCORE_EXPORT TDbfMemoFile {
public:
  // Opens an existing memo file; EDatabaseError naming the file when it is
  // missing or its header is not one of `kind`.
  TDbfMemoFile(const std::string& path, TMemoKind kind, bool writable);
  // Creates an empty memo file (EDatabaseError when it exists).
  static std::unique_ptr<TDbfMemoFile> Create(const std::string& path, TMemoKind kind);

  const std::string& Path() const { return file_->Path(); }
  // The bytes of the memo starting at `block` (> 0), as stored (text in the
  // table's code page). EDatabaseError naming the file and block when the
  // block lies outside the file or its length runs past the end.
  std::string Read(uint32_t block) const;
  // Writes `bytes` as a new text memo; returns its first block.
  uint32_t Write(const std::string& bytes);
  // Forgets every memo (the table was emptied).
  void Zap();
  void Sync() { file_->Sync(); }

private:
  explicit TDbfMemoFile(std::unique_ptr<TDbfFile> file, TMemoKind kind);
  void ReadHeader();
  void WriteHeader();
  uint32_t FirstBlock() const;

  std::unique_ptr<TDbfFile> file_;
  TMemoKind kind_;
  uint32_t blockSize_ = 0;
  uint32_t nextFree_ = 0;
};

}  // namespace kv::dbf
