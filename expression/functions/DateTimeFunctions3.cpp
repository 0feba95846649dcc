// Date and time functions, part 3 of the batch: HourOf .. MonthSpan.
#include <cstdint>

#include "expression/FunctionList.h"
#include "expression/functions/DateTimeFunctions.h"

namespace kv {

// The "U of the period" functions count days, weeks and months from 1 and
// hours, minutes, seconds and milliseconds from 0, as the whole units
// elapsed since the start of the period (ISO weeks start on Monday).

// ---- Hours -----------------------------------------------------------------------------------

// HourOf(date): the hour, 0..23.
class TExp_HourOf : public TDatePartFunction {
  KV_CLASS(TExp_HourOf, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return HourOf(v); }
};
KV_IMPLEMENT_CLASS(TExp_HourOf, TDatePartFunction)

class TExp_HourOfTheDay : public TDatePartFunction {
  KV_CLASS(TExp_HourOfTheDay, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return HourOf(v); }
};
KV_IMPLEMENT_CLASS(TExp_HourOfTheDay, TDatePartFunction)

class TExp_HourOfTheMonth : public TDatePartFunction {
  KV_CLASS(TExp_HourOfTheMonth, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return ElapsedInPeriod(v, duHour, duMonth); }
};
KV_IMPLEMENT_CLASS(TExp_HourOfTheMonth, TDatePartFunction)

class TExp_HourOfTheWeek : public TDatePartFunction {
  KV_CLASS(TExp_HourOfTheWeek, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return ElapsedInPeriod(v, duHour, duWeek); }
};
KV_IMPLEMENT_CLASS(TExp_HourOfTheWeek, TDatePartFunction)

class TExp_HourOfTheYear : public TDatePartFunction {
  KV_CLASS(TExp_HourOfTheYear, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return ElapsedInPeriod(v, duHour, duYear); }
};
KV_IMPLEMENT_CLASS(TExp_HourOfTheYear, TDatePartFunction)

class TExp_HoursBetween : public TDateBetweenFunction {
  KV_CLASS(TExp_HoursBetween, TDateBetweenFunction)
protected:
  TDateUnit Unit() const override { return duHour; }
};
KV_IMPLEMENT_CLASS(TExp_HoursBetween, TDateBetweenFunction)

class TExp_HourSpan : public TDateSpanFunction {
  KV_CLASS(TExp_HourSpan, TDateSpanFunction)
protected:
  TDateUnit Unit() const override { return duHour; }
};
KV_IMPLEMENT_CLASS(TExp_HourSpan, TDateSpanFunction)

// ---- Increments -----------------------------------------------------------------------------
// IncU(date X, integer N): X moved by N units (N may be negative). Month and
// year steps keep the day of the month, clipped to the last day of the
// target month, and the time; a result outside the years 1..9999 raises a
// conversion error.

class TExp_IncDay : public TDateIncFunction {
  KV_CLASS(TExp_IncDay, TDateIncFunction)
protected:
  TDateUnit Unit() const override { return duDay; }
};
KV_IMPLEMENT_CLASS(TExp_IncDay, TDateIncFunction)

class TExp_IncHour : public TDateIncFunction {
  KV_CLASS(TExp_IncHour, TDateIncFunction)
protected:
  TDateUnit Unit() const override { return duHour; }
};
KV_IMPLEMENT_CLASS(TExp_IncHour, TDateIncFunction)

class TExp_IncMilliSecond : public TDateIncFunction {
  KV_CLASS(TExp_IncMilliSecond, TDateIncFunction)
protected:
  TDateUnit Unit() const override { return duMilliSecond; }
};
KV_IMPLEMENT_CLASS(TExp_IncMilliSecond, TDateIncFunction)

class TExp_IncMinute : public TDateIncFunction {
  KV_CLASS(TExp_IncMinute, TDateIncFunction)
protected:
  TDateUnit Unit() const override { return duMinute; }
};
KV_IMPLEMENT_CLASS(TExp_IncMinute, TDateIncFunction)

class TExp_IncMonth : public TDateIncFunction {
  KV_CLASS(TExp_IncMonth, TDateIncFunction)
protected:
  TDateUnit Unit() const override { return duMonth; }
};
KV_IMPLEMENT_CLASS(TExp_IncMonth, TDateIncFunction)

class TExp_IncSecond : public TDateIncFunction {
  KV_CLASS(TExp_IncSecond, TDateIncFunction)
protected:
  TDateUnit Unit() const override { return duSecond; }
};
KV_IMPLEMENT_CLASS(TExp_IncSecond, TDateIncFunction)

class TExp_IncWeek : public TDateIncFunction {
  KV_CLASS(TExp_IncWeek, TDateIncFunction)
protected:
  TDateUnit Unit() const override { return duWeek; }
};
KV_IMPLEMENT_CLASS(TExp_IncWeek, TDateIncFunction)

class TExp_IncYear : public TDateIncFunction {
  KV_CLASS(TExp_IncYear, TDateIncFunction)
protected:
  TDateUnit Unit() const override { return duYear; }
};
KV_IMPLEMENT_CLASS(TExp_IncYear, TDateIncFunction)

// ---- Tests ----------------------------------------------------------------------------------

// IsInLeapYear(date): the value's year has 366 days.
class TExp_IsInLeapYear : public TDateTestFunction {
  KV_CLASS(TExp_IsInLeapYear, TDateTestFunction)
protected:
  bool Test(TDateTime v) const override { return IsInLeapYear(v); }
};
KV_IMPLEMENT_CLASS(TExp_IsInLeapYear, TDateTestFunction)

// IsPM(date): the time is 12:00 or later.
class TExp_IsPM : public TDateTestFunction {
  KV_CLASS(TExp_IsPM, TDateTestFunction)
protected:
  bool Test(TDateTime v) const override { return IsPM(v); }
};
KV_IMPLEMENT_CLASS(TExp_IsPM, TDateTestFunction)

// IsSameDay(date A, date B): the same calendar day.
class TExp_IsSameDay : public TDateSameFunction {
  KV_CLASS(TExp_IsSameDay, TDateSameFunction)
protected:
  bool Same(TDateTime a, TDateTime b) const override { return IsSameDay(a, b); }
};
KV_IMPLEMENT_CLASS(TExp_IsSameDay, TDateSameFunction)

// IsToday(date): the value's date is today (constant for a constant date:
// the day is the one of translation, as for Today()).
class TExp_IsToday : public TDateTestFunction {
  KV_CLASS(TExp_IsToday, TDateTestFunction)
protected:
  bool Test(TDateTime v) const override { return IsToday(v); }
};
KV_IMPLEMENT_CLASS(TExp_IsToday, TDateTestFunction)

// ---- Milliseconds ---------------------------------------------------------------------------

// MilliSecondOf(date): the millisecond, 0..999.
class TExp_MilliSecondOf : public TDatePartFunction {
  KV_CLASS(TExp_MilliSecondOf, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return MilliSecondOf(v); }
};
KV_IMPLEMENT_CLASS(TExp_MilliSecondOf, TDatePartFunction)

class TExp_MilliSecondOfTheDay : public TDatePartFunction {
  KV_CLASS(TExp_MilliSecondOfTheDay, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return ElapsedInPeriod(v, duMilliSecond, duDay); }
};
KV_IMPLEMENT_CLASS(TExp_MilliSecondOfTheDay, TDatePartFunction)

class TExp_MilliSecondOfTheHour : public TDatePartFunction {
  KV_CLASS(TExp_MilliSecondOfTheHour, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return ElapsedInPeriod(v, duMilliSecond, duHour); }
};
KV_IMPLEMENT_CLASS(TExp_MilliSecondOfTheHour, TDatePartFunction)

class TExp_MilliSecondOfTheMinute : public TDatePartFunction {
  KV_CLASS(TExp_MilliSecondOfTheMinute, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return ElapsedInPeriod(v, duMilliSecond, duMinute); }
};
KV_IMPLEMENT_CLASS(TExp_MilliSecondOfTheMinute, TDatePartFunction)

class TExp_MilliSecondOfTheMonth : public TDatePartFunction {
  KV_CLASS(TExp_MilliSecondOfTheMonth, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return ElapsedInPeriod(v, duMilliSecond, duMonth); }
};
KV_IMPLEMENT_CLASS(TExp_MilliSecondOfTheMonth, TDatePartFunction)

class TExp_MilliSecondOfTheSecond : public TDatePartFunction {
  KV_CLASS(TExp_MilliSecondOfTheSecond, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return ElapsedInPeriod(v, duMilliSecond, duSecond); }
};
KV_IMPLEMENT_CLASS(TExp_MilliSecondOfTheSecond, TDatePartFunction)

class TExp_MilliSecondOfTheWeek : public TDatePartFunction {
  KV_CLASS(TExp_MilliSecondOfTheWeek, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return ElapsedInPeriod(v, duMilliSecond, duWeek); }
};
KV_IMPLEMENT_CLASS(TExp_MilliSecondOfTheWeek, TDatePartFunction)

class TExp_MilliSecondOfTheYear : public TDatePartFunction {
  KV_CLASS(TExp_MilliSecondOfTheYear, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return ElapsedInPeriod(v, duMilliSecond, duYear); }
};
KV_IMPLEMENT_CLASS(TExp_MilliSecondOfTheYear, TDatePartFunction)

class TExp_MilliSecondsBetween : public TDateBetweenFunction {
  KV_CLASS(TExp_MilliSecondsBetween, TDateBetweenFunction)
protected:
  TDateUnit Unit() const override { return duMilliSecond; }
};
KV_IMPLEMENT_CLASS(TExp_MilliSecondsBetween, TDateBetweenFunction)

class TExp_MilliSecondSpan : public TDateSpanFunction {
  KV_CLASS(TExp_MilliSecondSpan, TDateSpanFunction)
protected:
  TDateUnit Unit() const override { return duMilliSecond; }
};
KV_IMPLEMENT_CLASS(TExp_MilliSecondSpan, TDateSpanFunction)

// ---- Minutes --------------------------------------------------------------------------------

// MinuteOf(date): the minute, 0..59.
class TExp_MinuteOf : public TDatePartFunction {
  KV_CLASS(TExp_MinuteOf, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return MinuteOf(v); }
};
KV_IMPLEMENT_CLASS(TExp_MinuteOf, TDatePartFunction)

class TExp_MinuteOfTheDay : public TDatePartFunction {
  KV_CLASS(TExp_MinuteOfTheDay, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return ElapsedInPeriod(v, duMinute, duDay); }
};
KV_IMPLEMENT_CLASS(TExp_MinuteOfTheDay, TDatePartFunction)

class TExp_MinuteOfTheHour : public TDatePartFunction {
  KV_CLASS(TExp_MinuteOfTheHour, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return ElapsedInPeriod(v, duMinute, duHour); }
};
KV_IMPLEMENT_CLASS(TExp_MinuteOfTheHour, TDatePartFunction)

class TExp_MinuteOfTheMonth : public TDatePartFunction {
  KV_CLASS(TExp_MinuteOfTheMonth, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return ElapsedInPeriod(v, duMinute, duMonth); }
};
KV_IMPLEMENT_CLASS(TExp_MinuteOfTheMonth, TDatePartFunction)

class TExp_MinuteOfTheWeek : public TDatePartFunction {
  KV_CLASS(TExp_MinuteOfTheWeek, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return ElapsedInPeriod(v, duMinute, duWeek); }
};
KV_IMPLEMENT_CLASS(TExp_MinuteOfTheWeek, TDatePartFunction)

class TExp_MinuteOfTheYear : public TDatePartFunction {
  KV_CLASS(TExp_MinuteOfTheYear, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return ElapsedInPeriod(v, duMinute, duYear); }
};
KV_IMPLEMENT_CLASS(TExp_MinuteOfTheYear, TDatePartFunction)

class TExp_MinutesBetween : public TDateBetweenFunction {
  KV_CLASS(TExp_MinutesBetween, TDateBetweenFunction)
protected:
  TDateUnit Unit() const override { return duMinute; }
};
KV_IMPLEMENT_CLASS(TExp_MinutesBetween, TDateBetweenFunction)

class TExp_MinuteSpan : public TDateSpanFunction {
  KV_CLASS(TExp_MinuteSpan, TDateSpanFunction)
protected:
  TDateUnit Unit() const override { return duMinute; }
};
KV_IMPLEMENT_CLASS(TExp_MinuteSpan, TDateSpanFunction)

// ---- Months ---------------------------------------------------------------------------------

// MonthOf(date) and MonthOfTheYear(date): the month, 1..12.
class TExp_MonthOf : public TDatePartFunction {
  KV_CLASS(TExp_MonthOf, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return MonthOf(v); }
};
KV_IMPLEMENT_CLASS(TExp_MonthOf, TDatePartFunction)

class TExp_MonthOfTheYear : public TDatePartFunction {
  KV_CLASS(TExp_MonthOfTheYear, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return MonthOf(v); }
};
KV_IMPLEMENT_CLASS(TExp_MonthOfTheYear, TDatePartFunction)

// MonthsBetween and MonthSpan use the average month of 30.4375 days.
class TExp_MonthsBetween : public TDateBetweenFunction {
  KV_CLASS(TExp_MonthsBetween, TDateBetweenFunction)
protected:
  TDateUnit Unit() const override { return duMonth; }
};
KV_IMPLEMENT_CLASS(TExp_MonthsBetween, TDateBetweenFunction)

class TExp_MonthSpan : public TDateSpanFunction {
  KV_CLASS(TExp_MonthSpan, TDateSpanFunction)
protected:
  TDateUnit Unit() const override { return duMonth; }
};
KV_IMPLEMENT_CLASS(TExp_MonthSpan, TDateSpanFunction)

namespace {

const TFunctionBatchRegistrar g_functions{fbDateTime, 3, {
    {"HourOf", TExp_HourOf::StaticClass()},
    {"HourOfTheDay", TExp_HourOfTheDay::StaticClass()},
    {"HourOfTheMonth", TExp_HourOfTheMonth::StaticClass()},
    {"HourOfTheWeek", TExp_HourOfTheWeek::StaticClass()},
    {"HourOfTheYear", TExp_HourOfTheYear::StaticClass()},
    {"HoursBetween", TExp_HoursBetween::StaticClass()},
    {"HourSpan", TExp_HourSpan::StaticClass()},
    {"IncDay", TExp_IncDay::StaticClass()},
    {"IncHour", TExp_IncHour::StaticClass()},
    {"IncMilliSecond", TExp_IncMilliSecond::StaticClass()},
    {"IncMinute", TExp_IncMinute::StaticClass()},
    {"IncMonth", TExp_IncMonth::StaticClass()},
    {"IncSecond", TExp_IncSecond::StaticClass()},
    {"IncWeek", TExp_IncWeek::StaticClass()},
    {"IncYear", TExp_IncYear::StaticClass()},
    {"IsInLeapYear", TExp_IsInLeapYear::StaticClass()},
    {"IsPM", TExp_IsPM::StaticClass()},
    {"IsSameDay", TExp_IsSameDay::StaticClass()},
    {"IsToday", TExp_IsToday::StaticClass()},
    {"MilliSecondOf", TExp_MilliSecondOf::StaticClass()},
    {"MilliSecondOfTheDay", TExp_MilliSecondOfTheDay::StaticClass()},
    {"MilliSecondOfTheHour", TExp_MilliSecondOfTheHour::StaticClass()},
    {"MilliSecondOfTheMinute", TExp_MilliSecondOfTheMinute::StaticClass()},
    {"MilliSecondOfTheMonth", TExp_MilliSecondOfTheMonth::StaticClass()},
    {"MilliSecondOfTheSecond", TExp_MilliSecondOfTheSecond::StaticClass()},
    {"MilliSecondOfTheWeek", TExp_MilliSecondOfTheWeek::StaticClass()},
    {"MilliSecondOfTheYear", TExp_MilliSecondOfTheYear::StaticClass()},
    {"MilliSecondsBetween", TExp_MilliSecondsBetween::StaticClass()},
    {"MilliSecondSpan", TExp_MilliSecondSpan::StaticClass()},
    {"MinuteOf", TExp_MinuteOf::StaticClass()},
    {"MinuteOfTheDay", TExp_MinuteOfTheDay::StaticClass()},
    {"MinuteOfTheHour", TExp_MinuteOfTheHour::StaticClass()},
    {"MinuteOfTheMonth", TExp_MinuteOfTheMonth::StaticClass()},
    {"MinuteOfTheWeek", TExp_MinuteOfTheWeek::StaticClass()},
    {"MinuteOfTheYear", TExp_MinuteOfTheYear::StaticClass()},
    {"MinutesBetween", TExp_MinutesBetween::StaticClass()},
    {"MinuteSpan", TExp_MinuteSpan::StaticClass()},
    {"MonthOf", TExp_MonthOf::StaticClass()},
    {"MonthOfTheYear", TExp_MonthOfTheYear::StaticClass()},
    {"MonthsBetween", TExp_MonthsBetween::StaticClass()},
    {"MonthSpan", TExp_MonthSpan::StaticClass()},
}};

}  // namespace

}  // namespace kv
