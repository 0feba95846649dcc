// One open file of a dBase table (the .dbf or its memo file): positioned
// reads and writes that raise EDatabaseError naming the file and what went
// wrong. The object owns the descriptor and closes it when it goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "KVCore_export.h"

namespace kv::dbf {

class KVCORE_EXPORT TDbfFile {
public:
  enum TMode : uint8_t { ReadOnly, ReadWrite, CreateNew };
  // CreateNew fails when the file exists. EDatabaseError when it cannot be opened.
  TDbfFile(const std::string& path, TMode mode);
  ~TDbfFile();
  TDbfFile(const TDbfFile&) = delete;
  TDbfFile& operator=(const TDbfFile&) = delete;

  const std::string& Path() const { return path_; }
  bool Writable() const { return writable_; }
  uint64_t Size() const;
  // Reads up to `length` bytes at `offset`; returns how many (less only at the end of the file).
  size_t ReadAt(uint64_t offset, void* data, size_t length) const;
  // Reads exactly `length` bytes; EDatabaseError "... is truncated" naming `what` otherwise.
  void ReadExact(uint64_t offset, void* data, size_t length, const char* what) const;
  void WriteAt(uint64_t offset, const void* data, size_t length);
  void Truncate(uint64_t size);
  // Waits until what was written is on the disk.
  void Sync();
  // Takes the file's exclusive lock (flock) without waiting; false when
  // another open of the file (any process or thread) holds it. Released
  // when the file closes.
  bool TryLock();

private:
  [[noreturn]] void Fail(const char* doing) const;

  std::string path_;
  int fd_ = -1;
  bool writable_ = false;
};

}  // namespace kv::dbf
