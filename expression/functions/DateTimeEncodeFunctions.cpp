// Date and time functions that build a date-time from numbers: EncodeU,
// StartOfAU and EndOfAU. Each builder answers false for components that
// describe no date-time; the call then raises
// "Invalid argument to date encode: <the call>" (or "... time encode ...").
#include <cstdint>

#include "expression/functions/DateTimeFunctions.h"

namespace kv {

bool ReadDateComponents(const TFunction& f, int* v) {
  bool ok = true;
  for (int i = 0; i < f.ArgCount(); ++i) {
    const int64_t x = f.Arg(i)->GetInteger();
    if (x <= INT32_MIN || x > INT32_MAX) ok = false;
    v[i] = ok ? static_cast<int>(x) : 0;
  }
  return ok;
}

const char* DateTimeEncodeError(const int* v) {
  return IsValidDate(v[0], v[1], v[2]) ? kTimeEncodeError : kDateEncodeError;
}

// ---- Encode ----------------------------------------------------------------------------------

// EncodeDate(Year, Month, Day).
bool BuildEncodeDate(const int* v, int, TDateTime& r) { return TryEncodeDate(v[0], v[1], v[2], r); }

// EncodeDateDay(Year, DayOfYear).
bool BuildEncodeDateDay(const int* v, int, TDateTime& r) { return TryEncodeDateDay(v[0], v[1], r); }

// EncodeDateMonthWeek(Year, Month, WeekOfMonth, DayOfWeek): weeks of a
// month as WeekOfTheMonth counts them, days 1 = Monday .. 7 = Sunday.
bool BuildEncodeDateMonthWeek(const int* v, int, TDateTime& r) {
  return TryEncodeDateMonthWeek(v[0], v[1], v[2], v[3], r);
}

// EncodeDateTime(Year, Month, Day, Hour, Minute, Second, MilliSecond).
bool BuildEncodeDateTime(const int* v, int, TDateTime& r) {
  return TryEncodeDateTime(v[0], v[1], v[2], v[3], v[4], v[5], v[6], r);
}

// EncodeDateWeek(Year, WeekOfYear, DayOfWeek): ISO 8601 weeks.
bool BuildEncodeDateWeek(const int* v, int, TDateTime& r) { return TryEncodeDateWeek(v[0], v[1], v[2], r); }

// EncodeDayOfWeekInMonth(Year, Month, NthOccurrence, DayOfWeek): the Nth
// Monday (1), ..., Sunday (7) of the month.
bool BuildEncodeDayOfWeekInMonth(const int* v, int, TDateTime& r) {
  return TryEncodeDayOfWeekInMonth(v[0], v[1], v[2], v[3], r);
}

// EncodeTime(Hour, Minute, Second, MilliSecond): a time of day (date part 0).
bool BuildEncodeTime(const int* v, int, TDateTime& r) { return TryEncodeTime(v[0], v[1], v[2], v[3], r); }

// ---- Start by number -------------------------------------------------------------------------
// The first instant (00:00:00.000) of the day, month, week or year given.

// StartOfADay(Year, Month, Day) or StartOfADay(Year, DayOfYear).
bool BuildStartOfADay(const int* v, int count, TDateTime& r) {
  return count == 3 ? TryEncodeDate(v[0], v[1], v[2], r) : TryEncodeDateDay(v[0], v[1], r);
}

// StartOfAMonth(Year, Month).
bool BuildStartOfAMonth(const int* v, int, TDateTime& r) { return TryEncodeDate(v[0], v[1], 1, r); }

// StartOfAWeek(Year, WeekOfYear, DayOfWeek): that day of the ISO week.
bool BuildStartOfAWeek(const int* v, int, TDateTime& r) { return TryEncodeDateWeek(v[0], v[1], v[2], r); }

// StartOfAYear(Year).
bool BuildStartOfAYear(const int* v, int, TDateTime& r) { return TryEncodeDate(v[0], 1, 1, r); }

// ---- End by number ---------------------------------------------------------------------------
// The last millisecond (23:59:59.999) of the day, month, week or year given.

// EndOfADay(Year, Month, Day) or EndOfADay(Year, DayOfYear).
bool BuildEndOfADay(const int* v, int count, TDateTime& r) {
  if (!BuildStartOfADay(v, count, r)) return false;
  r = EndOfDayAt(r);
  return true;
}

// EndOfAMonth(Year, Month).
bool BuildEndOfAMonth(const int* v, int, TDateTime& r) {
  if (!TryEncodeDate(v[0], v[1], 1, r)) return false;
  r = EndOfThePeriod(duMonth, r);
  return true;
}

// EndOfAWeek(Year, WeekOfYear, DayOfWeek): the end of that day of the ISO week.
bool BuildEndOfAWeek(const int* v, int, TDateTime& r) {
  if (!TryEncodeDateWeek(v[0], v[1], v[2], r)) return false;
  r = EndOfDayAt(r);
  return true;
}

// EndOfAYear(Year).
bool BuildEndOfAYear(const int* v, int, TDateTime& r) {
  if (!TryEncodeDate(v[0], 12, 31, r)) return false;
  r = EndOfDayAt(r);
  return true;
}

}  // namespace kv
