// Date and time functions on the calendar by numbers: CurrentYear,
// DaysInAMonth and DaysInAYear.
#include <cstdint>

#include "expression/functions/DateTimeFunctions.h"
#include "foundation/NumUtils.h"

namespace kv {

namespace {

// The leap-year rule on any year (DaysInAYear, DaysInAMonth take numbers,
// not dates, so any year is answered).
bool LeapYear(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

}  // namespace

KV_IMPLEMENT_CLASS(TExp_CurrentYear, TI0Function)

void TExp_CurrentYear::Compute() { PutInteger(YearOf(Now())); }

KV_IMPLEMENT_CLASS(TExp_DaysInAMonth, TFunction)

void TExp_DaysInAMonth::Compute() {
  const int64_t year = Arg(0)->GetInteger();
  const int64_t month = Arg(1)->GetInteger();
  if (month < 1 || month > 12) RaiseInDateCall(*this, "Month is not between 1 and 12");
  PutInteger(DaysPerMonth[month - 1] + (month == 2 && LeapYear(year) ? 1 : 0));
}

KV_IMPLEMENT_CLASS(TExp_DaysInAYear, TFunction)

void TExp_DaysInAYear::Compute() { PutInteger(LeapYear(Arg(0)->GetInteger()) ? 366 : 365); }

}  // namespace kv
