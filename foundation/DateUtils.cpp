#include "foundation/DateUtils.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <string>

#include "foundation/Exceptions.h"
#include "foundation/Format.h"
#include "foundation/NumUtils.h"

namespace kv {

namespace {

constexpr int64_t kMinDay = -693593;  // 0001-01-01
constexpr int64_t kMaxDay = 2958465;  // 9999-12-31
// Days from 1970-01-01 back to 1899-12-30.
constexpr int64_t kUnixDelta = 25569;

[[noreturn]] void DateEncodeError() { throw EConvertError("Invalid argument to date encode"); }
[[noreturn]] void TimeEncodeError() { throw EConvertError("Invalid argument to time encode"); }
[[noreturn]] void DateRangeError(double value) {
  throw EConvertError("Date-time value " + FloatToStrGeneral(value) + " is out of range");
}
[[noreturn]] void ResultRangeError() { throw EConvertError("Date-time result is out of range"); }

// Day count from 1970-01-01 of a proleptic Gregorian date (any year).
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

// Day number of the date-time scale (0 = 1899-12-30).
int64_t DayNumber(int year, int month, int day) { return DaysFromCivil(year, month, day) + kUnixDelta; }

void DateOfDayNumber(int64_t n, int& year, int& month, int& day) { CivilFromDays(n - kUnixDelta, year, month, day); }

// A value split into its calendar day and the time of day in milliseconds.
struct DayTime {
  int64_t day = 0;  // day number, 0 = 1899-12-30
  int64_t ms = 0;   // 0 .. MSecsPerDay - 1
};

DayTime Split(double value) {
  if (!std::isfinite(value) || value < MinDateTime - 1 || value > MaxDateTime + 1) DateRangeError(value);
  const double whole = std::trunc(value);
  const double frac = std::fabs(value - whole);
  DayTime dt;
  dt.day = static_cast<int64_t>(whole);
  dt.ms = std::llround(frac * static_cast<double>(MSecsPerDay));
  if (dt.ms >= MSecsPerDay) {  // within half a millisecond of the next midnight
    dt.ms -= MSecsPerDay;
    dt.day += 1;
  }
  if (dt.day < kMinDay || dt.day > kMaxDay) DateRangeError(value);
  return dt;
}

double Combine(int64_t day, int64_t ms) {
  const double t = static_cast<double>(ms) / static_cast<double>(MSecsPerDay);
  return day >= 0 ? static_cast<double>(day) + t : static_cast<double>(day) - t;
}

int64_t Linear(const DayTime& dt) { return (dt.day - kMinDay) * MSecsPerDay + dt.ms; }

double FromLinear(int64_t msecs) {
  if (msecs < 0 || msecs > (kMaxDay - kMinDay + 1) * MSecsPerDay - 1) ResultRangeError();
  return Combine(msecs / MSecsPerDay + kMinDay, msecs % MSecsPerDay);
}

// ISO day of the week of a day number (1 = Monday).
int IsoDayOfWeek(int64_t n) {
  // 1899-12-30 (day 0) was a Saturday.
  int64_t r = (n + 5) % 7;
  if (r < 0) r += 7;
  return static_cast<int>(r) + 1;
}

int64_t IsoWeekMonday(int year) {
  const int64_t jan4 = DayNumber(year, 1, 4);
  return jan4 - (IsoDayOfWeek(jan4) - 1);
}

void IsoWeek(int64_t n, int& year, int& week, int& dow) {
  dow = IsoDayOfWeek(n);
  const int64_t thursday = n - dow + 4;
  int m = 0, d = 0;
  DateOfDayNumber(thursday, year, m, d);
  week = static_cast<int>((thursday - DayNumber(year, 1, 1)) / 7 + 1);
}

int64_t AddChecked(int64_t base, int64_t count, int64_t unit) {
  int64_t delta = 0, result = 0;
  if (__builtin_mul_overflow(count, unit, &delta) || __builtin_add_overflow(base, delta, &result)) ResultRangeError();
  return result;
}

TDateTime AddMonths(TDateTime value, int64_t months) {
  const DayTime dt = Split(value);
  int y = 0, m = 0, d = 0;
  DateOfDayNumber(dt.day, y, m, d);
  if (months > 12 * 10000 || months < -12 * 10000) ResultRangeError();
  const int64_t total = int64_t{y} * 12 + (m - 1) + months;
  const int64_t ny = total >= 0 ? total / 12 : -((-total + 11) / 12);
  const int nm = static_cast<int>(total - ny * 12) + 1;
  if (ny < 1 || ny > 9999) ResultRangeError();
  const int nd = std::min(d, LastDay(static_cast<int>(ny), nm));
  return Combine(DayNumber(static_cast<int>(ny), nm, nd), dt.ms);
}

int64_t MsBetween(TDateTime a, TDateTime b) {
  const int64_t x = Linear(Split(a));
  const int64_t y = Linear(Split(b));
  return x > y ? x - y : y - x;
}

}  // namespace

// ---- Encoding -----------------------------------------------------------------

bool IsValidDate(int year, int month, int day) {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= LastDay(year, month);
}

bool IsValidTime(int hour, int minute, int second, int msec) {
  return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60 && msec >= 0 &&
         msec < 1000;
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
  if (!IsValidDate(year, month, day)) return false;
  result = static_cast<double>(DayNumber(year, month, day));
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& result) {
  if (!IsValidTime(hour, minute, second, msec)) return false;
  const int64_t ms = ((int64_t{hour} * 60 + minute) * 60 + second) * 1000 + msec;
  result = static_cast<double>(ms) / static_cast<double>(MSecsPerDay);
  return true;
}

bool TryEncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec,
                       TDateTime& result) {
  if (!IsValidDate(year, month, day) || !IsValidTime(hour, minute, second, msec)) return false;
  const int64_t ms = ((int64_t{hour} * 60 + minute) * 60 + second) * 1000 + msec;
  result = Combine(DayNumber(year, month, day), ms);
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime r = 0;
  if (!TryEncodeDate(year, month, day, r)) DateEncodeError();
  return r;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
  TDateTime r = 0;
  if (!TryEncodeTime(hour, minute, second, msec, r)) TimeEncodeError();
  return r;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec) {
  if (!IsValidDate(year, month, day)) DateEncodeError();
  if (!IsValidTime(hour, minute, second, msec)) TimeEncodeError();
  TDateTime r = 0;
  TryEncodeDateTime(year, month, day, hour, minute, second, msec, r);
  return r;
}

TDateTime EncodeDateDay(int year, int dayOfYear) {
  if (year < 1 || year > 9999 || dayOfYear < 1 || dayOfYear > DaysInAYear(year)) DateEncodeError();
  return static_cast<double>(DayNumber(year, 1, 1) + dayOfYear - 1);
}

TDateTime EncodeDateWeek(int year, int week, int dayOfWeek) {
  if (year < 1 || year > 9999 || week < 1 || week > WeeksInAYear(year) || dayOfWeek < 1 || dayOfWeek > 7)
    DateEncodeError();
  const int64_t n = IsoWeekMonday(year) + int64_t{week - 1} * 7 + dayOfWeek - 1;
  if (n < kMinDay || n > kMaxDay) DateEncodeError();
  return static_cast<double>(n);
}

// ---- Decoding -------------------------------------------------------------------

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
  DateOfDayNumber(Split(value).day, year, month, day);
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec) {
  int64_t ms = Split(value).ms;
  msec = static_cast<int>(ms % 1000);
  ms /= 1000;
  second = static_cast<int>(ms % 60);
  ms /= 60;
  minute = static_cast<int>(ms % 60);
  hour = static_cast<int>(ms / 60);
}

void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute, int& second,
                    int& msec) {
  const DayTime dt = Split(value);
  DateOfDayNumber(dt.day, year, month, day);
  DecodeTime(Combine(0, dt.ms), hour, minute, second, msec);
}

bool DecodeDateFully(TDateTime value, int& year, int& month, int& day, int& dayOfWeek) {
  const DayTime dt = Split(value);
  DateOfDayNumber(dt.day, year, month, day);
  dayOfWeek = IsoDayOfWeek(dt.day) % 7 + 1;
  return IsLeapYear(year);
}

void DecodeDateWeek(TDateTime value, int& year, int& week, int& dayOfWeek) {
  IsoWeek(Split(value).day, year, week, dayOfWeek);
}

int DayOfWeek(TDateTime value) { return IsoDayOfWeek(Split(value).day) % 7 + 1; }

int DayOfTheWeek(TDateTime value) { return IsoDayOfWeek(Split(value).day); }

int DayOfTheYear(TDateTime value) {
  const int64_t n = Split(value).day;
  int y = 0, m = 0, d = 0;
  DateOfDayNumber(n, y, m, d);
  return static_cast<int>(n - DayNumber(y, 1, 1) + 1);
}

int WeekOfTheYear(TDateTime value) {
  int year = 0;
  return WeekOfTheYear(value, year);
}

int WeekOfTheYear(TDateTime value, int& year) {
  int week = 0, dow = 0;
  IsoWeek(Split(value).day, year, week, dow);
  return week;
}

int WeeksInYear(TDateTime value) { return WeeksInAYear(YearOf(value)); }

int WeeksInAYear(int year) {
  const int jan1 = IsoDayOfWeek(DayNumber(year, 1, 1));
  return (jan1 == 4 || (jan1 == 3 && IsLeapYear(year))) ? 53 : 52;
}

int DaysInAYear(int year) { return IsLeapYear(year) ? 366 : 365; }

int DaysInAMonth(int year, int month) { return LastDay(year, month); }

int YearOf(TDateTime value) {
  int y = 0, m = 0, d = 0;
  DecodeDate(value, y, m, d);
  return y;
}

int MonthOf(TDateTime value) {
  int y = 0, m = 0, d = 0;
  DecodeDate(value, y, m, d);
  return m;
}

int DayOf(TDateTime value) {
  int y = 0, m = 0, d = 0;
  DecodeDate(value, y, m, d);
  return d;
}

// ---- Parts and the clock ------------------------------------------------------------

TDateTime DateOf(TDateTime value) { return static_cast<double>(Split(value).day); }

TDateTime TimeOf(TDateTime value) { return Combine(0, Split(value).ms); }

TDateTime Now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  std::tm tm{};
  const time_t secs = ts.tv_sec;
  localtime_r(&secs, &tm);
  const int64_t ms = ((int64_t{tm.tm_hour} * 60 + tm.tm_min) * 60 + std::min(tm.tm_sec, 59)) * 1000 +
                     ts.tv_nsec / 1000000;
  return Combine(DayNumber(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday), ms);
}

TDateTime Date() { return DateOf(Now()); }

TDateTime Time() { return TimeOf(Now()); }

// ---- A linear millisecond scale -----------------------------------------------------

int64_t DateTimeToMilliseconds(TDateTime value) { return Linear(Split(value)); }

TDateTime MillisecondsToDateTime(int64_t msecs) { return FromLinear(msecs); }

// ---- Increments -----------------------------------------------------------------------

TDateTime IncMonth(TDateTime value, int64_t months) { return AddMonths(value, months); }

TDateTime IncYear(TDateTime value, int64_t years) {
  if (years > 10000 || years < -10000) {
    Split(value);  // a bad value is reported as such
    ResultRangeError();
  }
  return AddMonths(value, years * 12);
}

TDateTime IncWeek(TDateTime value, int64_t weeks) {
  return FromLinear(AddChecked(DateTimeToMilliseconds(value), weeks, 7 * MSecsPerDay));
}

TDateTime IncDay(TDateTime value, int64_t days) {
  return FromLinear(AddChecked(DateTimeToMilliseconds(value), days, MSecsPerDay));
}

TDateTime IncHour(TDateTime value, int64_t hours) {
  return FromLinear(AddChecked(DateTimeToMilliseconds(value), hours, 3600000));
}

TDateTime IncMinute(TDateTime value, int64_t minutes) {
  return FromLinear(AddChecked(DateTimeToMilliseconds(value), minutes, 60000));
}

TDateTime IncSecond(TDateTime value, int64_t seconds) {
  return FromLinear(AddChecked(DateTimeToMilliseconds(value), seconds, 1000));
}

TDateTime IncMilliSecond(TDateTime value, int64_t msecs) {
  return FromLinear(AddChecked(DateTimeToMilliseconds(value), msecs, 1));
}

// ---- Spans and differences -------------------------------------------------------------

double DaySpan(TDateTime a, TDateTime b) {
  return static_cast<double>(MsBetween(a, b)) / static_cast<double>(MSecsPerDay);
}

int64_t YearsBetween(TDateTime a, TDateTime b) { return static_cast<int64_t>(DaySpan(a, b) / 365.25); }

int64_t MonthsBetween(TDateTime a, TDateTime b) { return static_cast<int64_t>(DaySpan(a, b) / 30.4375); }

int64_t WeeksBetween(TDateTime a, TDateTime b) { return MsBetween(a, b) / (7 * MSecsPerDay); }

int64_t DaysBetween(TDateTime a, TDateTime b) { return MsBetween(a, b) / MSecsPerDay; }

int64_t HoursBetween(TDateTime a, TDateTime b) { return MsBetween(a, b) / 3600000; }

int64_t MinutesBetween(TDateTime a, TDateTime b) { return MsBetween(a, b) / 60000; }

int64_t SecondsBetween(TDateTime a, TDateTime b) { return MsBetween(a, b) / 1000; }

int64_t MilliSecondsBetween(TDateTime a, TDateTime b) { return MsBetween(a, b); }

// ---- Calendar units ---------------------------------------------------------------------

namespace {

// Milliseconds of the fixed-length units (0 for months and years).
constexpr int64_t UnitMs(TDateUnit unit) {
  switch (unit) {
    case duWeek: return 7 * MSecsPerDay;
    case duDay: return MSecsPerDay;
    case duHour: return 3600000;
    case duMinute: return 60000;
    case duSecond: return 1000;
    case duMilliSecond: return 1;
    default: return 0;
  }
}

// First day (day number) of the year, month or ISO week that holds day `n`.
int64_t PeriodStartDay(TDateUnit period, int64_t n) {
  int y = 0, m = 0, d = 0;
  switch (period) {
    case duYear: DateOfDayNumber(n, y, m, d); return DayNumber(y, 1, 1);
    case duMonth: DateOfDayNumber(n, y, m, d); return DayNumber(y, m, 1);
    case duWeek: return n - (IsoDayOfWeek(n) - 1);
    default: return n;
  }
}

// The day after the last day of that period.
int64_t PeriodEndDay(TDateUnit period, int64_t n) {
  int y = 0, m = 0, d = 0;
  switch (period) {
    case duYear: DateOfDayNumber(n, y, m, d); return DayNumber(y, 12, 31) + 1;
    case duMonth: DateOfDayNumber(n, y, m, d); return DayNumber(y, m, LastDay(y, m)) + 1;
    case duWeek: return n - (IsoDayOfWeek(n) - 1) + 7;
    default: return n + 1;
  }
}

// Calendar time in milliseconds (not rounded), increasing also before
// 1899-12-30; raises for values that are no date-time.
double CalendarMs(TDateTime value) {
  Split(value);
  const double whole = std::trunc(value);
  const double frac = std::fabs(value - whole);
  return whole * static_cast<double>(MSecsPerDay) + frac * static_cast<double>(MSecsPerDay);
}

double TimeOfDayMs(TDateTime value) {
  Split(value);
  return std::fabs(value - std::trunc(value)) * static_cast<double>(MSecsPerDay);
}

int Sign(double x) { return x < 0 ? -1 : (x > 0 ? 1 : 0); }

}  // namespace

int64_t UnitsBetween(TDateUnit unit, TDateTime a, TDateTime b) {
  switch (unit) {
    case duYear: return YearsBetween(a, b);
    case duMonth: return MonthsBetween(a, b);
    default: return MsBetween(a, b) / UnitMs(unit);
  }
}

double UnitSpan(TDateUnit unit, TDateTime a, TDateTime b) {
  const double ms = static_cast<double>(MsBetween(a, b));
  switch (unit) {
    case duYear: return ms / static_cast<double>(MSecsPerDay) / 365.25;
    case duMonth: return ms / static_cast<double>(MSecsPerDay) / 30.4375;
    default: return ms / static_cast<double>(UnitMs(unit));
  }
}

double YearSpan(TDateTime a, TDateTime b) { return UnitSpan(duYear, a, b); }
double MonthSpan(TDateTime a, TDateTime b) { return UnitSpan(duMonth, a, b); }
double WeekSpan(TDateTime a, TDateTime b) { return UnitSpan(duWeek, a, b); }
double HourSpan(TDateTime a, TDateTime b) { return UnitSpan(duHour, a, b); }
double MinuteSpan(TDateTime a, TDateTime b) { return UnitSpan(duMinute, a, b); }
double SecondSpan(TDateTime a, TDateTime b) { return UnitSpan(duSecond, a, b); }
double MilliSecondSpan(TDateTime a, TDateTime b) { return UnitSpan(duMilliSecond, a, b); }

bool WithinPast(TDateUnit unit, TDateTime a, TDateTime b, int64_t amount) { return UnitsBetween(unit, a, b) <= amount; }

int64_t ElapsedInPeriod(TDateTime value, TDateUnit unit, TDateUnit period) {
  const DayTime dt = Split(value);
  const int64_t unitMs = UnitMs(unit);
  if (unitMs == 0 || unit <= period) return 0;
  int64_t ms = 0;
  switch (period) {
    case duYear:
    case duMonth:
    case duWeek: ms = (dt.day - PeriodStartDay(period, dt.day)) * MSecsPerDay + dt.ms; break;
    default: ms = dt.ms % UnitMs(period); break;
  }
  return ms / unitMs;
}

TDateTime StartOfThePeriod(TDateUnit period, TDateTime value) {
  const DayTime dt = Split(value);
  const int64_t day = period <= duDay ? PeriodStartDay(period, dt.day) : dt.day;
  if (day < kMinDay) ResultRangeError();
  return Combine(day, 0);
}

TDateTime EndOfThePeriod(TDateUnit period, TDateTime value) {
  const DayTime dt = Split(value);
  const int64_t day = (period <= duDay ? PeriodEndDay(period, dt.day) : dt.day + 1) - 1;
  if (day > kMaxDay) ResultRangeError();
  return Combine(day, MSecsPerDay - 1);
}

// ---- Components ---------------------------------------------------------------------------

int HourOf(TDateTime value) { return static_cast<int>(Split(value).ms / 3600000); }

int MinuteOf(TDateTime value) { return static_cast<int>(Split(value).ms / 60000 % 60); }

int SecondOf(TDateTime value) { return static_cast<int>(Split(value).ms / 1000 % 60); }

int MilliSecondOf(TDateTime value) { return static_cast<int>(Split(value).ms % 1000); }

int WeekOf(TDateTime value) { return WeekOfTheYear(value); }

int DaysInMonth(TDateTime value) {
  int y = 0, m = 0, d = 0;
  DecodeDate(value, y, m, d);
  return LastDay(y, m);
}

int DaysInYear(TDateTime value) { return DaysInAYear(YearOf(value)); }

bool IsInLeapYear(TDateTime value) { return IsLeapYear(YearOf(value)); }

bool IsPM(TDateTime value) { return HourOf(value) >= 12; }

bool IsToday(TDateTime value) { return Split(value).day == Split(Now()).day; }

void DecodeDateMonthWeek(TDateTime value, int& year, int& month, int& weekOfMonth, int& dayOfWeek) {
  const int64_t n = Split(value).day;
  dayOfWeek = IsoDayOfWeek(n);
  // The week belongs to the month of its Thursday.
  int d = 0;
  DateOfDayNumber(n - dayOfWeek + 4, year, month, d);
  weekOfMonth = (d - 1) / 7 + 1;
}

int WeekOfTheMonth(TDateTime value) {
  int y = 0, m = 0, w = 0, dow = 0;
  DecodeDateMonthWeek(value, y, m, w, dow);
  return w;
}

// ---- Further encodings ----------------------------------------------------------------------

bool TryEncodeDateDay(int year, int dayOfYear, TDateTime& result) {
  if (year < 1 || year > 9999 || dayOfYear < 1 || dayOfYear > DaysInAYear(year)) return false;
  result = static_cast<double>(DayNumber(year, 1, 1) + dayOfYear - 1);
  return true;
}

bool TryEncodeDateWeek(int year, int week, int dayOfWeek, TDateTime& result) {
  if (year < 1 || year > 9999 || week < 1 || week > WeeksInAYear(year) || dayOfWeek < 1 || dayOfWeek > 7)
    return false;
  const int64_t n = IsoWeekMonday(year) + int64_t{week - 1} * 7 + dayOfWeek - 1;
  if (n < kMinDay || n > kMaxDay) return false;
  result = static_cast<double>(n);
  return true;
}

bool TryEncodeDateMonthWeek(int year, int month, int weekOfMonth, int dayOfWeek, TDateTime& result) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || dayOfWeek < 1 || dayOfWeek > 7 || weekOfMonth < 1)
    return false;
  const int64_t first = DayNumber(year, month, 1);
  const int firstThursday = 1 + (4 - IsoDayOfWeek(first) + 7) % 7;  // day of the month
  const int weeks = (LastDay(year, month) - firstThursday) / 7 + 1;
  if (weekOfMonth > weeks) return false;
  const int64_t n = first + (firstThursday - 1) - 3 + int64_t{weekOfMonth - 1} * 7 + (dayOfWeek - 1);
  if (n < kMinDay || n > kMaxDay) return false;
  result = static_cast<double>(n);
  return true;
}

TDateTime EncodeDateMonthWeek(int year, int month, int weekOfMonth, int dayOfWeek) {
  TDateTime r = 0;
  if (!TryEncodeDateMonthWeek(year, month, weekOfMonth, dayOfWeek, r)) DateEncodeError();
  return r;
}

bool TryEncodeDayOfWeekInMonth(int year, int month, int nth, int dayOfWeek, TDateTime& result) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || dayOfWeek < 1 || dayOfWeek > 7 || nth < 1 || nth > 5)
    return false;
  const int64_t first = DayNumber(year, month, 1);
  const int day = 1 + (dayOfWeek - IsoDayOfWeek(first) + 7) % 7 + (nth - 1) * 7;
  if (day > LastDay(year, month)) return false;
  result = static_cast<double>(first + day - 1);
  return true;
}

TDateTime EncodeDayOfWeekInMonth(int year, int month, int nth, int dayOfWeek) {
  TDateTime r = 0;
  if (!TryEncodeDayOfWeekInMonth(year, month, nth, dayOfWeek, r)) DateEncodeError();
  return r;
}

bool TryRecodeDateTime(TDateTime value, int year, int month, int day, int hour, int minute, int second, int msec,
                       TDateTime& result) {
  int f[7] = {};
  DecodeDateTime(value, f[0], f[1], f[2], f[3], f[4], f[5], f[6]);
  const int given[7] = {year, month, day, hour, minute, second, msec};
  for (int i = 0; i < 7; ++i)
    if (given[i] != kRecodeLeaveFieldAsIs) f[i] = given[i];
  return TryEncodeDateTime(f[0], f[1], f[2], f[3], f[4], f[5], f[6], result);
}

// ---- Comparisons --------------------------------------------------------------------------

int CompareDateTime(TDateTime a, TDateTime b) {
  const double d = CalendarMs(a) - CalendarMs(b);
  return std::fabs(d) < 1.0 ? 0 : Sign(d);
}

int CompareDate(TDateTime a, TDateTime b) {
  const int64_t x = Split(a).day, y = Split(b).day;
  return x < y ? -1 : (x > y ? 1 : 0);
}

int CompareTime(TDateTime a, TDateTime b) {
  const double d = TimeOfDayMs(a) - TimeOfDayMs(b);
  return std::fabs(d) < 1.0 ? 0 : Sign(d);
}

bool SameDateTime(TDateTime a, TDateTime b) { return CompareDateTime(a, b) == 0; }

bool SameDate(TDateTime a, TDateTime b) { return CompareDate(a, b) == 0; }

bool SameTime(TDateTime a, TDateTime b) { return CompareTime(a, b) == 0; }

bool IsSameDay(TDateTime a, TDateTime b) { return CompareDate(a, b) == 0; }

}  // namespace kv
