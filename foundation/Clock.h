// The process-wide wall clock. Everything that decides by the time of day
// (schedules, their defaults) asks ClockNow() rather than the system, so
// tests can put a fake clock in place and walk it through days and months.
#pragma once

#include "KVLib_export.h"
#include "foundation/DateUtils.h"

namespace kv {

class KVLIB_EXPORT IClock {
public:
  virtual ~IClock();
  // The local date and time (days since 30 December 1899).
  virtual TDateTime Now() = 0;
};

// Installs `clock` (not owned; null restores the system clock) and returns
// the one it replaces. Install before other threads ask for the time.
KVLIB_EXPORT IClock* SetClock(IClock* clock) noexcept;
// The installed clock's time; the system's local time by default.
KVLIB_EXPORT TDateTime ClockNow();

// A clock that says what it is told (for tests and dry runs).
class KVLIB_EXPORT TFixedClock : public IClock {
public:
  explicit TFixedClock(TDateTime now = 0) : now_(now) {}
  TDateTime Now() override { return now_; }
  void Set(TDateTime now) { now_ = now; }

private:
  TDateTime now_;
};

// Installs a clock for the length of a scope.
class TClockScope {
public:
  explicit TClockScope(IClock& clock) : previous_(SetClock(&clock)) {}
  ~TClockScope() { SetClock(previous_); }
  TClockScope(const TClockScope&) = delete;
  TClockScope& operator=(const TClockScope&) = delete;

private:
  IClock* previous_;
};

}  // namespace kv
