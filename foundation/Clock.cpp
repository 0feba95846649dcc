#include "foundation/Clock.h"

#include <atomic>

namespace kv {

IClock::~IClock() = default;

namespace {
std::atomic<IClock*> installed{nullptr};
}

IClock* SetClock(IClock* clock) noexcept { return installed.exchange(clock); }

TDateTime ClockNow() {
  IClock* clock = installed.load();
  return clock ? clock->Now() : Now();
}

}  // namespace kv
