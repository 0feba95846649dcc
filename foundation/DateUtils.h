// Dates and times. A date-time is a double: whole days since 30 December
// 1899 (local time), the fraction being the time of day. Before that day the
// integral part still counts days and the absolute value of the fraction is
// the time of day, so -1.25 is 29 December 1899, 06:00.
//
// Decoding rounds the time of day to the nearest millisecond; a value within
// half a millisecond of the next midnight decodes as 00:00:00.000 of the next
// day. Valid dates run from 0001-01-01 to 9999-12-31 (proleptic Gregorian);
// encoding outside that range, or decoding a value outside it (or a NaN or
// infinity), raises EConvertError.
#pragma once

#include <cstdint>

#include "KVLib_export.h"

namespace kv {

using TDateTime = double;

inline constexpr int HoursPerDay = 24;
inline constexpr int MinsPerDay = 24 * 60;
inline constexpr int SecsPerDay = 24 * 60 * 60;
inline constexpr int64_t MSecsPerDay = int64_t{24} * 60 * 60 * 1000;
// Days from 0001-01-01 (day 1) to 1899-12-30 (date-time 0).
inline constexpr int DateDelta = 693594;
inline constexpr TDateTime MinDateTime = -693593.0;  // 0001-01-01 00:00
inline constexpr TDateTime MaxDateTime = 2958465.0 + 86399999.0 / 86400000.0;  // 9999-12-31 23:59:59.999

// ---- Encoding -----------------------------------------------------------------

// Date-time of the day (time 00:00); EConvertError "Invalid argument to date
// encode" when the date does not exist.
KVLIB_EXPORT TDateTime EncodeDate(int year, int month, int day);
// Time of day (date part 0); hour 0..23, minute and second 0..59,
// millisecond 0..999, else EConvertError "Invalid argument to time encode".
KVLIB_EXPORT TDateTime EncodeTime(int hour, int minute, int second, int msec = 0);
// Date and time together (the time is subtracted for days before 1899-12-30).
KVLIB_EXPORT TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec = 0);
// The same, reporting failure by the result instead of raising.
KVLIB_EXPORT bool TryEncodeDate(int year, int month, int day, TDateTime& result);
KVLIB_EXPORT bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& result);
KVLIB_EXPORT bool TryEncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec,
                                    TDateTime& result);
// Day `dayOfYear` (1..365/366) of `year`.
KVLIB_EXPORT TDateTime EncodeDateDay(int year, int dayOfYear);
// ISO 8601: day `dayOfWeek` (1 = Monday .. 7 = Sunday) of week `week` of `year`.
KVLIB_EXPORT TDateTime EncodeDateWeek(int year, int week, int dayOfWeek = 1);

KVLIB_EXPORT bool IsValidDate(int year, int month, int day);
KVLIB_EXPORT bool IsValidTime(int hour, int minute, int second, int msec);

// ---- Decoding -------------------------------------------------------------------

KVLIB_EXPORT void DecodeDate(TDateTime value, int& year, int& month, int& day);
KVLIB_EXPORT void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec);
KVLIB_EXPORT void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute,
                                 int& second, int& msec);
// DecodeDate plus the day of the week (1 = Sunday); returns whether the year
// is a leap year.
KVLIB_EXPORT bool DecodeDateFully(TDateTime value, int& year, int& month, int& day, int& dayOfWeek);
// ISO 8601 week of the value: the week's year (which may differ from the
// calendar year near 1 January), week number and day (1 = Monday).
KVLIB_EXPORT void DecodeDateWeek(TDateTime value, int& year, int& week, int& dayOfWeek);

// 1 = Sunday .. 7 = Saturday.
KVLIB_EXPORT int DayOfWeek(TDateTime value);
// ISO: 1 = Monday .. 7 = Sunday.
KVLIB_EXPORT int DayOfTheWeek(TDateTime value);
// 1 for 1 January.
KVLIB_EXPORT int DayOfTheYear(TDateTime value);
// ISO 8601 week number (1..53); the overload also gives the week's year.
KVLIB_EXPORT int WeekOfTheYear(TDateTime value);
KVLIB_EXPORT int WeekOfTheYear(TDateTime value, int& year);
// ISO weeks (52 or 53) of the value's year, or of `year`.
KVLIB_EXPORT int WeeksInYear(TDateTime value);
KVLIB_EXPORT int WeeksInAYear(int year);
KVLIB_EXPORT int DaysInAYear(int year);
KVLIB_EXPORT int DaysInAMonth(int year, int month);

KVLIB_EXPORT int YearOf(TDateTime value);
KVLIB_EXPORT int MonthOf(TDateTime value);
KVLIB_EXPORT int DayOf(TDateTime value);

// ---- Parts and the clock ------------------------------------------------------------

// The date at 00:00 (after millisecond rounding) and the time with date 0.
KVLIB_EXPORT TDateTime DateOf(TDateTime value);
KVLIB_EXPORT TDateTime TimeOf(TDateTime value);
// Local date and time now, today at 00:00, and the current time of day.
KVLIB_EXPORT TDateTime Now();
KVLIB_EXPORT TDateTime Date();
KVLIB_EXPORT TDateTime Time();

// ---- A linear millisecond scale -----------------------------------------------------

// Milliseconds since 0001-01-01 00:00, increasing with calendar time also
// before 1899-12-30; the basis for spans and increments.
KVLIB_EXPORT int64_t DateTimeToMilliseconds(TDateTime value);
KVLIB_EXPORT TDateTime MillisecondsToDateTime(int64_t msecs);

// ---- Increments -----------------------------------------------------------------------

// Month and year steps keep the day of the month (clipped to the last day of
// the target month) and the time of day.
// Counts beyond the calendar's range raise EConvertError.
KVLIB_EXPORT TDateTime IncMonth(TDateTime value, int64_t months = 1);
KVLIB_EXPORT TDateTime IncYear(TDateTime value, int64_t years = 1);
KVLIB_EXPORT TDateTime IncWeek(TDateTime value, int64_t weeks = 1);
KVLIB_EXPORT TDateTime IncDay(TDateTime value, int64_t days = 1);
KVLIB_EXPORT TDateTime IncHour(TDateTime value, int64_t hours = 1);
KVLIB_EXPORT TDateTime IncMinute(TDateTime value, int64_t minutes = 1);
KVLIB_EXPORT TDateTime IncSecond(TDateTime value, int64_t seconds = 1);
KVLIB_EXPORT TDateTime IncMilliSecond(TDateTime value, int64_t msecs = 1);

// ---- Spans and differences -------------------------------------------------------------

// Absolute difference in days (real).
KVLIB_EXPORT double DaySpan(TDateTime a, TDateTime b);
// Whole units between two values (absolute, truncated). Months and years use
// the average lengths 30.4375 and 365.25 days.
KVLIB_EXPORT int64_t YearsBetween(TDateTime a, TDateTime b);
KVLIB_EXPORT int64_t MonthsBetween(TDateTime a, TDateTime b);
KVLIB_EXPORT int64_t WeeksBetween(TDateTime a, TDateTime b);
KVLIB_EXPORT int64_t DaysBetween(TDateTime a, TDateTime b);
KVLIB_EXPORT int64_t HoursBetween(TDateTime a, TDateTime b);
KVLIB_EXPORT int64_t MinutesBetween(TDateTime a, TDateTime b);
KVLIB_EXPORT int64_t SecondsBetween(TDateTime a, TDateTime b);
KVLIB_EXPORT int64_t MilliSecondsBetween(TDateTime a, TDateTime b);

// ---- Calendar units ---------------------------------------------------------------------

// The units of the calendar, from the longest. Weeks are ISO 8601 weeks,
// Monday to Sunday.
enum TDateUnit : uint8_t {
  duYear,
  duMonth,
  duWeek,
  duDay,
  duHour,
  duMinute,
  duSecond,
  duMilliSecond,
};

// Whole units between two values, absolute and truncated (YearsBetween ...).
KVLIB_EXPORT int64_t UnitsBetween(TDateUnit unit, TDateTime a, TDateTime b);
// The absolute difference in units, as a real: DaySpan converted with 24
// hours, 1440 minutes, 86400 seconds, 86400000 milliseconds to a day and 7,
// 30.4375 and 365.25 days to a week, a month and a year.
KVLIB_EXPORT double UnitSpan(TDateUnit unit, TDateTime a, TDateTime b);
KVLIB_EXPORT double YearSpan(TDateTime a, TDateTime b);
KVLIB_EXPORT double MonthSpan(TDateTime a, TDateTime b);
KVLIB_EXPORT double WeekSpan(TDateTime a, TDateTime b);
KVLIB_EXPORT double HourSpan(TDateTime a, TDateTime b);
KVLIB_EXPORT double MinuteSpan(TDateTime a, TDateTime b);
KVLIB_EXPORT double SecondSpan(TDateTime a, TDateTime b);
KVLIB_EXPORT double MilliSecondSpan(TDateTime a, TDateTime b);
// UnitsBetween(unit, a, b) <= amount.
KVLIB_EXPORT bool WithinPast(TDateUnit unit, TDateTime a, TDateTime b, int64_t amount);

// Whole hours, minutes, seconds or milliseconds (`unit`) elapsed from the
// start of the year, month, week, day, hour, minute or second (`period`)
// that holds the value (HourOfTheYear, MilliSecondOfTheWeek, ...); counts
// from 0. A unit not shorter than the period yields 0.
KVLIB_EXPORT int64_t ElapsedInPeriod(TDateTime value, TDateUnit unit, TDateUnit period);

// The first instant (00:00:00.000) and the last millisecond (23:59:59.999)
// of the year, month, week or day (`period`) that holds the value. A result
// outside 0001-01-01 .. 9999-12-31 raises EConvertError.
KVLIB_EXPORT TDateTime StartOfThePeriod(TDateUnit period, TDateTime value);
KVLIB_EXPORT TDateTime EndOfThePeriod(TDateUnit period, TDateTime value);

// ---- Components ---------------------------------------------------------------------------

KVLIB_EXPORT int HourOf(TDateTime value);
KVLIB_EXPORT int MinuteOf(TDateTime value);
KVLIB_EXPORT int SecondOf(TDateTime value);
KVLIB_EXPORT int MilliSecondOf(TDateTime value);
// The ISO 8601 week number, as WeekOfTheYear.
KVLIB_EXPORT int WeekOf(TDateTime value);
// Days of the value's month and year.
KVLIB_EXPORT int DaysInMonth(TDateTime value);
KVLIB_EXPORT int DaysInYear(TDateTime value);
KVLIB_EXPORT bool IsInLeapYear(TDateTime value);
// The time of day is 12:00 or later.
KVLIB_EXPORT bool IsPM(TDateTime value);
// The value's date is the current date.
KVLIB_EXPORT bool IsToday(TDateTime value);

// Weeks of a month follow the ISO rule applied to months: a week (Monday to
// Sunday) belongs to the month that holds its Thursday, and week 1 of a
// month is the week of its first Thursday. So the first days of a month can
// lie in the last week of the month before. DecodeDateMonthWeek gives the
// year and month the value's week belongs to, the week number (1..5) and the
// ISO day (1 = Monday).
KVLIB_EXPORT void DecodeDateMonthWeek(TDateTime value, int& year, int& month, int& weekOfMonth, int& dayOfWeek);
KVLIB_EXPORT int WeekOfTheMonth(TDateTime value);

// ---- Further encodings ----------------------------------------------------------------------

KVLIB_EXPORT bool TryEncodeDateDay(int year, int dayOfYear, TDateTime& result);
KVLIB_EXPORT bool TryEncodeDateWeek(int year, int week, int dayOfWeek, TDateTime& result);
// Day `dayOfWeek` (1 = Monday) of week `weekOfMonth` of a month, by the rule
// of DecodeDateMonthWeek.
KVLIB_EXPORT bool TryEncodeDateMonthWeek(int year, int month, int weekOfMonth, int dayOfWeek, TDateTime& result);
KVLIB_EXPORT TDateTime EncodeDateMonthWeek(int year, int month, int weekOfMonth, int dayOfWeek);
// The `nth` (1..5) occurrence of the ISO weekday `dayOfWeek` in a month;
// fails when the month has no such day.
KVLIB_EXPORT bool TryEncodeDayOfWeekInMonth(int year, int month, int nth, int dayOfWeek, TDateTime& result);
KVLIB_EXPORT TDateTime EncodeDayOfWeekInMonth(int year, int month, int nth, int dayOfWeek);

// The value with some components replaced: DecodeDateTime, the fields that
// are not kRecodeLeaveFieldAsIs replace the decoded ones, then
// TryEncodeDateTime. False when the result is no valid date-time.
inline constexpr int kRecodeLeaveFieldAsIs = -2147483647 - 1;
KVLIB_EXPORT bool TryRecodeDateTime(TDateTime value, int year, int month, int day, int hour, int minute, int second,
                                    int msec, TDateTime& result);

// ---- Comparisons --------------------------------------------------------------------------

// -1, 0 or 1. Values before 1899-12-30 compare by calendar time (where the
// plain numbers would not). CompareDateTime and CompareTime treat values less
// than one millisecond apart as equal; CompareDate compares calendar days
// (after the millisecond rounding of decoding); CompareTime looks at the
// time of day only.
KVLIB_EXPORT int CompareDateTime(TDateTime a, TDateTime b);
KVLIB_EXPORT int CompareDate(TDateTime a, TDateTime b);
KVLIB_EXPORT int CompareTime(TDateTime a, TDateTime b);
KVLIB_EXPORT bool SameDateTime(TDateTime a, TDateTime b);
KVLIB_EXPORT bool SameDate(TDateTime a, TDateTime b);
KVLIB_EXPORT bool SameTime(TDateTime a, TDateTime b);
KVLIB_EXPORT bool IsSameDay(TDateTime a, TDateTime b);

}  // namespace kv
