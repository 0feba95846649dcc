// The BLOB file (.mb) of a Paradox table: memo, formatted memo, BLOB, OLE
// and graphic values longer than their field's leader (layout in
// data/ParadoxFormat.h). Values are read from blocks of their own (type 2)
// and from shared blocks (type 3); new values are always written in a
// block of their own at the end of the file, before the record that names
// them. An edited or deleted value leaves its old block unused.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "KVCore_export.h"
#include "data/DbfFile.h"

namespace kv::px {

class KVCORE_EXPORT TParadoxMemoFile {
public:
  // Opens an existing BLOB file; EDatabaseError naming the file when it is
  // missing or does not start with a BLOB file header.
  TParadoxMemoFile(const std::string& path, bool writable);
  // Creates an empty BLOB file (EDatabaseError when it exists).
  static std::unique_ptr<TParadoxMemoFile> Create(const std::string& path);

  const std::string& Path() const { return file_->Path(); }
  // The `length` bytes of the value at `place` (block offset with the slot
  // in its low byte, as the record holds it). EDatabaseError naming the
  // file when the place is not a value of that length.
  std::string Read(uint32_t place, uint32_t length) const;
  // Writes a new value; returns its place and sets its modification number.
  uint32_t Write(std::string_view bytes, uint16_t& modNr);
  // Forgets every value (the table was emptied).
  void Zap();
  void Sync() { file_->Sync(); }

private:
  explicit TParadoxMemoFile(std::unique_ptr<dbf::TDbfFile> file) : file_(std::move(file)) {}
  void WriteHeader();
  std::string ReadShared(uint64_t block, uint8_t slot, uint32_t length) const;
  [[noreturn]] void Corrupt(uint32_t place, const std::string& why) const;

  std::unique_ptr<dbf::TDbfFile> file_;
  uint16_t modCount_ = 0;
};

}  // namespace kv::px
