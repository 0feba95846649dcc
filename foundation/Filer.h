// The common base of the object-stream writer and readers.
#pragma once

#include <cstdint>

#include "foundation/Streams.h"

namespace kv {

// Reader or writer of one top-level object, with a 4096-byte buffer over its stream.
class KVLIB_EXPORT TFiler {
public:
  explicit TFiler(TStream& stream) : stream_(stream) {}
  virtual ~TFiler();
  TFiler(const TFiler&) = delete;
  TFiler& operator=(const TFiler&) = delete;
  virtual bool IsReader() const = 0;
  TStream& Stream() { return stream_; }

protected:
  // Leaves one level of object nesting when it goes out of scope; the level
  // was entered (and checked against kMaxObjectDepth) just before.
  struct TNestingGuard {
    int& depth;
    explicit TNestingGuard(int& d) : depth(d) {}
    ~TNestingGuard() { --depth; }
    TNestingGuard(const TNestingGuard&) = delete;
    TNestingGuard& operator=(const TNestingGuard&) = delete;
  };

  static constexpr int kBufferSize = 4096;
  TStream& stream_;
  uint8_t buf_[kBufferSize];
  int bufPos_ = 0;
  int bufLen_ = 0;
  int depth_ = 0;  // object records entered and not yet left
};

}  // namespace kv
