// Process-wide locks.
//
// ThreadLock() is one recursive critical section for the whole process; it
// serialises work that must not overlap between jobs (opening datasets,
// error handling of a DB link, detaching handlers at closing).
// ThreadProtect() is one multiple-reader/single-writer lock. Both exist from
// the moment the library is loaded until the process ends and may be used
// from any thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "KVLib_export.h"

namespace kv {

// A recursive critical section: the owning thread may enter it again and
// must leave it as often as it entered.
class KVLIB_EXPORT TCriticalSection {
public:
  TCriticalSection() = default;
  TCriticalSection(const TCriticalSection&) = delete;
  TCriticalSection& operator=(const TCriticalSection&) = delete;

  void Enter() { mutex_.lock(); }
  bool TryEnter() { return mutex_.try_lock(); }
  void Leave() { mutex_.unlock(); }

  // Standard lockable interface, so std::lock_guard and friends work too.
  void lock() { Enter(); }
  bool try_lock() { return TryEnter(); }
  void unlock() { Leave(); }

private:
  std::recursive_mutex mutex_;
};

// Holds a critical section for its lifetime.
class TCriticalSectionGuard {
public:
  explicit TCriticalSectionGuard(TCriticalSection& cs) : cs_(cs) { cs_.Enter(); }
  ~TCriticalSectionGuard() { cs_.Leave(); }
  TCriticalSectionGuard(const TCriticalSectionGuard&) = delete;
  TCriticalSectionGuard& operator=(const TCriticalSectionGuard&) = delete;

private:
  TCriticalSection& cs_;
};

// Many readers or one writer. Writers are preferred: once a writer waits,
// new readers wait too, except threads that already read (so nested reads
// never deadlock). A thread may nest reads and writes in any order; a reader
// that asks to write gives up its read while it waits and gets it back with
// the write. Unbalanced EndRead/EndWrite calls are ignored.
class KVLIB_EXPORT TMultiReadExclusiveWriteSynchronizer {
public:
  TMultiReadExclusiveWriteSynchronizer() = default;
  TMultiReadExclusiveWriteSynchronizer(const TMultiReadExclusiveWriteSynchronizer&) = delete;
  TMultiReadExclusiveWriteSynchronizer& operator=(const TMultiReadExclusiveWriteSynchronizer&) = delete;

  void BeginRead();
  void EndRead();
  // False when the calling thread held a read lock and another thread wrote
  // while it waited, so what it read may have changed.
  bool BeginWrite();
  void EndWrite();

private:
  struct Holder {
    int reads = 0;
    int writes = 0;
  };

  std::mutex mutex_;
  std::condition_variable changed_;
  std::unordered_map<std::thread::id, Holder> holders_;
  std::thread::id writer_;
  int readers_ = 0;         // threads holding a read lock
  int waitingWriters_ = 0;  // threads waiting in BeginWrite
  uint64_t writeCount_ = 0; // completed write locks, to detect writes during a wait
};

class TReadGuard {
public:
  explicit TReadGuard(TMultiReadExclusiveWriteSynchronizer& s) : s_(s) { s_.BeginRead(); }
  ~TReadGuard() { s_.EndRead(); }
  TReadGuard(const TReadGuard&) = delete;
  TReadGuard& operator=(const TReadGuard&) = delete;

private:
  TMultiReadExclusiveWriteSynchronizer& s_;
};

class TWriteGuard {
public:
  explicit TWriteGuard(TMultiReadExclusiveWriteSynchronizer& s) : s_(s) { s_.BeginWrite(); }
  ~TWriteGuard() { s_.EndWrite(); }
  TWriteGuard(const TWriteGuard&) = delete;
  TWriteGuard& operator=(const TWriteGuard&) = delete;

private:
  TMultiReadExclusiveWriteSynchronizer& s_;
};

// The process-wide locks.
KVLIB_EXPORT TCriticalSection& ThreadLock();
KVLIB_EXPORT TMultiReadExclusiveWriteSynchronizer& ThreadProtect();

// Shorthands for the process-wide locks.
class TThreadLockGuard : public TCriticalSectionGuard {
public:
  TThreadLockGuard() : TCriticalSectionGuard(ThreadLock()) {}
};
class TThreadProtectReadGuard : public TReadGuard {
public:
  TThreadProtectReadGuard() : TReadGuard(ThreadProtect()) {}
};
class TThreadProtectWriteGuard : public TWriteGuard {
public:
  TThreadProtectWriteGuard() : TWriteGuard(ThreadProtect()) {}
};

}  // namespace kv
