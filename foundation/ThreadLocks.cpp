#include "foundation/ThreadLocks.h"

namespace kv {

// ---- TMultiReadExclusiveWriteSynchronizer -------------------------------------

void TMultiReadExclusiveWriteSynchronizer::BeginRead() {
  const std::thread::id me = std::this_thread::get_id();
  std::unique_lock<std::mutex> lock(mutex_);
  Holder& h = holders_[me];
  if (h.reads > 0 || h.writes > 0) {
    // Nested inside this thread's own read or write: never wait.
    if (h.reads++ == 0) ++readers_;
    return;
  }
  changed_.wait(lock, [&] { return writer_ == std::thread::id() && waitingWriters_ == 0; });
  Holder& again = holders_[me];  // the map may have been rehashed meanwhile
  again.reads = 1;
  ++readers_;
}

void TMultiReadExclusiveWriteSynchronizer::EndRead() {
  const std::thread::id me = std::this_thread::get_id();
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = holders_.find(me);
  if (it == holders_.end() || it->second.reads == 0) return;
  if (--it->second.reads == 0) {
    --readers_;
    if (it->second.writes == 0) holders_.erase(it);
    changed_.notify_all();
  }
}

bool TMultiReadExclusiveWriteSynchronizer::BeginWrite() {
  const std::thread::id me = std::this_thread::get_id();
  std::unique_lock<std::mutex> lock(mutex_);
  Holder& h = holders_[me];
  if (h.writes > 0) {
    ++h.writes;
    return true;
  }
  // A reader that wants to write gives up its read while it waits; two
  // readers asking at once would otherwise wait for each other forever.
  const bool wasReading = h.reads > 0;
  if (wasReading) --readers_;
  const uint64_t seen = writeCount_;
  ++waitingWriters_;
  changed_.notify_all();
  changed_.wait(lock, [&] { return writer_ == std::thread::id() && readers_ == 0; });
  --waitingWriters_;
  writer_ = me;
  Holder& again = holders_[me];
  again.writes = 1;
  if (wasReading) ++readers_;  // our own read again; it does not block us
  return !(wasReading && writeCount_ != seen);
}

void TMultiReadExclusiveWriteSynchronizer::EndWrite() {
  const std::thread::id me = std::this_thread::get_id();
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = holders_.find(me);
  if (it == holders_.end() || it->second.writes == 0) return;
  if (--it->second.writes == 0) {
    writer_ = std::thread::id();
    ++writeCount_;
    if (it->second.reads == 0) holders_.erase(it);
    changed_.notify_all();
  }
}

// ---- The process-wide locks -------------------------------------------------------

// Created on first use and never destroyed, so that code running during
// process exit (destructors of other statics, late threads) can still use
// them. The initialisers below make that first use happen at library load.
TCriticalSection& ThreadLock() {
  static TCriticalSection* lock = new TCriticalSection;
  return *lock;
}

TMultiReadExclusiveWriteSynchronizer& ThreadProtect() {
  static TMultiReadExclusiveWriteSynchronizer* sync = new TMultiReadExclusiveWriteSynchronizer;
  return *sync;
}

namespace {
[[maybe_unused]] const bool kLocksCreated = (ThreadLock(), ThreadProtect(), true);
}  // namespace

}  // namespace kv
