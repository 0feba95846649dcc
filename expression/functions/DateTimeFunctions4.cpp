// Date and time functions, part 4 of the batch: Now .. Yesterday.
#include <cstdint>

#include "expression/FunctionList.h"
#include "expression/functions/DateTimeFunctions.h"

namespace kv {

// A date and integers for consecutive components (0 year, 1 month, 2 day,
// 3 hour, 4 minute, 5 second, 6 millisecond), which replace the decoded
// ones; a result that is no valid date-time raises
// "Invalid argument to date recode: <the call>".
class TDateRecodeFunction : public TDateFunction<TRecodeDateTimeFunction> {
public:
  int FixedParamCount() const override { return 1 + FieldCount(); }

protected:
  virtual int FirstField() const = 0;
  virtual int FieldCount() const { return 1; }
  void Compute() override {
    int f[7];
    for (int& x : f) x = kRecodeLeaveFieldAsIs;
    for (int i = 0; i < FieldCount(); ++i) f[FirstField() + i] = IntArg(i + 1, kDateRecodeError);
    TDateTime r = 0;
    if (!TryRecodeDateTime(DateArg(0), f[0], f[1], f[2], f[3], f[4], f[5], f[6], r))
      RaiseInDateCall(*this, kDateRecodeError);
    PutDateTime(r);
  }
};


// Now(): the date and time, read at every evaluation.
class TExp_Now : public TCurrentDateTimeFunction {
  KV_CLASS(TExp_Now, TCurrentDateTimeFunction)
protected:
  TDateTime Current() const override { return Now(); }
};
KV_IMPLEMENT_CLASS(TExp_Now, TCurrentDateTimeFunction)

// ---- Replace --------------------------------------------------------------------------------

// RecodeDate(X, Year, Month, Day).
class TExp_RecodeDate : public TDateRecodeFunction {
  KV_CLASS(TExp_RecodeDate, TDateRecodeFunction)
protected:
  int FirstField() const override { return 0; }
  int FieldCount() const override { return 3; }
};
KV_IMPLEMENT_CLASS(TExp_RecodeDate, TDateRecodeFunction)

// RecodeDateTime(X, Year, Month, Day, Hour, Minute, Second, MilliSecond).
class TExp_RecodeDateTime : public TDateRecodeFunction {
  KV_CLASS(TExp_RecodeDateTime, TDateRecodeFunction)
protected:
  int FirstField() const override { return 0; }
  int FieldCount() const override { return 7; }
};
KV_IMPLEMENT_CLASS(TExp_RecodeDateTime, TDateRecodeFunction)

// RecodeDay(X, Day), RecodeHour(X, Hour), ...: one component replaced.
class TExp_RecodeDay : public TDateRecodeFunction {
  KV_CLASS(TExp_RecodeDay, TDateRecodeFunction)
protected:
  int FirstField() const override { return 2; }
};
KV_IMPLEMENT_CLASS(TExp_RecodeDay, TDateRecodeFunction)

class TExp_RecodeHour : public TDateRecodeFunction {
  KV_CLASS(TExp_RecodeHour, TDateRecodeFunction)
protected:
  int FirstField() const override { return 3; }
};
KV_IMPLEMENT_CLASS(TExp_RecodeHour, TDateRecodeFunction)

class TExp_RecodeMilliSecond : public TDateRecodeFunction {
  KV_CLASS(TExp_RecodeMilliSecond, TDateRecodeFunction)
protected:
  int FirstField() const override { return 6; }
};
KV_IMPLEMENT_CLASS(TExp_RecodeMilliSecond, TDateRecodeFunction)

class TExp_RecodeMinute : public TDateRecodeFunction {
  KV_CLASS(TExp_RecodeMinute, TDateRecodeFunction)
protected:
  int FirstField() const override { return 4; }
};
KV_IMPLEMENT_CLASS(TExp_RecodeMinute, TDateRecodeFunction)

class TExp_RecodeMonth : public TDateRecodeFunction {
  KV_CLASS(TExp_RecodeMonth, TDateRecodeFunction)
protected:
  int FirstField() const override { return 1; }
};
KV_IMPLEMENT_CLASS(TExp_RecodeMonth, TDateRecodeFunction)

class TExp_RecodeSecond : public TDateRecodeFunction {
  KV_CLASS(TExp_RecodeSecond, TDateRecodeFunction)
protected:
  int FirstField() const override { return 5; }
};
KV_IMPLEMENT_CLASS(TExp_RecodeSecond, TDateRecodeFunction)

// RecodeTime(X, Hour, Minute, Second, MilliSecond).
class TExp_RecodeTime : public TDateRecodeFunction {
  KV_CLASS(TExp_RecodeTime, TDateRecodeFunction)
protected:
  int FirstField() const override { return 3; }
  int FieldCount() const override { return 4; }
};
KV_IMPLEMENT_CLASS(TExp_RecodeTime, TDateRecodeFunction)

class TExp_RecodeYear : public TDateRecodeFunction {
  KV_CLASS(TExp_RecodeYear, TDateRecodeFunction)
protected:
  int FirstField() const override { return 0; }
};
KV_IMPLEMENT_CLASS(TExp_RecodeYear, TDateRecodeFunction)

// ---- Equality -------------------------------------------------------------------------------

// SameDate(date A, date B): the same calendar day.
class TExp_SameDate : public TDateSameFunction {
  KV_CLASS(TExp_SameDate, TDateSameFunction)
protected:
  bool Same(TDateTime a, TDateTime b) const override { return SameDate(a, b); }
};
KV_IMPLEMENT_CLASS(TExp_SameDate, TDateSameFunction)

// SameDateTime(date A, date B): less than a millisecond apart.
class TExp_SameDateTime : public TDateSameFunction {
  KV_CLASS(TExp_SameDateTime, TDateSameFunction)
protected:
  bool Same(TDateTime a, TDateTime b) const override { return SameDateTime(a, b); }
};
KV_IMPLEMENT_CLASS(TExp_SameDateTime, TDateSameFunction)

// SameTime(date A, date B): times of day less than a millisecond apart.
class TExp_SameTime : public TDateSameFunction {
  KV_CLASS(TExp_SameTime, TDateSameFunction)
protected:
  bool Same(TDateTime a, TDateTime b) const override { return SameTime(a, b); }
};
KV_IMPLEMENT_CLASS(TExp_SameTime, TDateSameFunction)

// ---- Seconds --------------------------------------------------------------------------------

// SecondOf(date): the second, 0..59.
class TExp_SecondOf : public TDatePartFunction {
  KV_CLASS(TExp_SecondOf, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return SecondOf(v); }
};
KV_IMPLEMENT_CLASS(TExp_SecondOf, TDatePartFunction)

class TExp_SecondOfTheDay : public TDatePartFunction {
  KV_CLASS(TExp_SecondOfTheDay, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return ElapsedInPeriod(v, duSecond, duDay); }
};
KV_IMPLEMENT_CLASS(TExp_SecondOfTheDay, TDatePartFunction)

class TExp_SecondOfTheHour : public TDatePartFunction {
  KV_CLASS(TExp_SecondOfTheHour, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return ElapsedInPeriod(v, duSecond, duHour); }
};
KV_IMPLEMENT_CLASS(TExp_SecondOfTheHour, TDatePartFunction)

class TExp_SecondOfTheMinute : public TDatePartFunction {
  KV_CLASS(TExp_SecondOfTheMinute, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return ElapsedInPeriod(v, duSecond, duMinute); }
};
KV_IMPLEMENT_CLASS(TExp_SecondOfTheMinute, TDatePartFunction)

class TExp_SecondOfTheMonth : public TDatePartFunction {
  KV_CLASS(TExp_SecondOfTheMonth, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return ElapsedInPeriod(v, duSecond, duMonth); }
};
KV_IMPLEMENT_CLASS(TExp_SecondOfTheMonth, TDatePartFunction)

class TExp_SecondOfTheWeek : public TDatePartFunction {
  KV_CLASS(TExp_SecondOfTheWeek, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return ElapsedInPeriod(v, duSecond, duWeek); }
};
KV_IMPLEMENT_CLASS(TExp_SecondOfTheWeek, TDatePartFunction)

class TExp_SecondOfTheYear : public TDatePartFunction {
  KV_CLASS(TExp_SecondOfTheYear, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return ElapsedInPeriod(v, duSecond, duYear); }
};
KV_IMPLEMENT_CLASS(TExp_SecondOfTheYear, TDatePartFunction)

class TExp_SecondsBetween : public TDateBetweenFunction {
  KV_CLASS(TExp_SecondsBetween, TDateBetweenFunction)
protected:
  TDateUnit Unit() const override { return duSecond; }
};
KV_IMPLEMENT_CLASS(TExp_SecondsBetween, TDateBetweenFunction)

class TExp_SecondSpan : public TDateSpanFunction {
  KV_CLASS(TExp_SecondSpan, TDateSpanFunction)
protected:
  TDateUnit Unit() const override { return duSecond; }
};
KV_IMPLEMENT_CLASS(TExp_SecondSpan, TDateSpanFunction)

// ---- Start by number ------------------------------------------------------------------------
// The first instant (00:00:00.000) of the day, month, week or year given.

// StartOfADay(Year, Month, Day) or StartOfADay(Year, DayOfYear).
class TExp_StartOfADay : public TDateStartOfFunction {
  KV_CLASS(TExp_StartOfADay, TDateStartOfFunction)
public:
  int FixedParamCount() const override { return 2; }
  int OptionalParamCount() const override { return 1; }

protected:
  bool Build(const int* v, TDateTime& r) const override {
    return ArgCount() == 3 ? TryEncodeDate(v[0], v[1], v[2], r) : TryEncodeDateDay(v[0], v[1], r);
  }
};
KV_IMPLEMENT_CLASS(TExp_StartOfADay, TDateStartOfFunction)

// StartOfAMonth(Year, Month).
class TExp_StartOfAMonth : public TDateStartOfFunction {
  KV_CLASS(TExp_StartOfAMonth, TDateStartOfFunction)
public:
  int FixedParamCount() const override { return 2; }

protected:
  bool Build(const int* v, TDateTime& r) const override { return TryEncodeDate(v[0], v[1], 1, r); }
};
KV_IMPLEMENT_CLASS(TExp_StartOfAMonth, TDateStartOfFunction)

// StartOfAWeek(Year, WeekOfYear, DayOfWeek): that day of the ISO week.
class TExp_StartOfAWeek : public TDateStartOfFunction {
  KV_CLASS(TExp_StartOfAWeek, TDateStartOfFunction)
public:
  int FixedParamCount() const override { return 3; }

protected:
  bool Build(const int* v, TDateTime& r) const override { return TryEncodeDateWeek(v[0], v[1], v[2], r); }
};
KV_IMPLEMENT_CLASS(TExp_StartOfAWeek, TDateStartOfFunction)

// StartOfAYear(Year).
class TExp_StartOfAYear : public TDateStartOfFunction {
  KV_CLASS(TExp_StartOfAYear, TDateStartOfFunction)
protected:
  bool Build(const int* v, TDateTime& r) const override { return TryEncodeDate(v[0], 1, 1, r); }
};
KV_IMPLEMENT_CLASS(TExp_StartOfAYear, TDateStartOfFunction)

// ---- Start of the value's period ------------------------------------------------------------

class TExp_StartOfTheDay : public TDateConvertFunction {
  KV_CLASS(TExp_StartOfTheDay, TDateConvertFunction)
protected:
  TDateTime Convert(TDateTime v) const override { return StartOfThePeriod(duDay, v); }
};
KV_IMPLEMENT_CLASS(TExp_StartOfTheDay, TDateConvertFunction)

class TExp_StartOfTheMonth : public TDateConvertFunction {
  KV_CLASS(TExp_StartOfTheMonth, TDateConvertFunction)
protected:
  TDateTime Convert(TDateTime v) const override { return StartOfThePeriod(duMonth, v); }
};
KV_IMPLEMENT_CLASS(TExp_StartOfTheMonth, TDateConvertFunction)

// StartOfTheWeek(date): Monday 00:00 of the value's week.
class TExp_StartOfTheWeek : public TDateConvertFunction {
  KV_CLASS(TExp_StartOfTheWeek, TDateConvertFunction)
protected:
  TDateTime Convert(TDateTime v) const override { return StartOfThePeriod(duWeek, v); }
};
KV_IMPLEMENT_CLASS(TExp_StartOfTheWeek, TDateConvertFunction)

class TExp_StartOfTheYear : public TDateConvertFunction {
  KV_CLASS(TExp_StartOfTheYear, TDateConvertFunction)
protected:
  TDateTime Convert(TDateTime v) const override { return StartOfThePeriod(duYear, v); }
};
KV_IMPLEMENT_CLASS(TExp_StartOfTheYear, TDateConvertFunction)

// ---- Reading --------------------------------------------------------------------------------

// StrToDate(string Text[, string Format[, char DateSeparator]]): a date; a text
// that is no date raises a conversion error.
class TExp_StrToDate : public TDateReadFunction {
  KV_CLASS(TExp_StrToDate, TDateReadFunction)
protected:
  void Compute() override {
    TTextBuffer buffer;
    PutDateTime(StrToDate(Arg(0)->GetText(buffer), DateFunctionSettings(Arg(1), false, Arg(2), nullptr, false)));
  }
};
KV_IMPLEMENT_CLASS(TExp_StrToDate, TDateReadFunction)

// StrToDateTime(string Text[, string Format[, char DateSeparator[, char
// TimeSeparator]]]): a date with an optional time, or a time.
class TExp_StrToDateTime : public TDateReadFunction {
  KV_CLASS(TExp_StrToDateTime, TDateReadFunction)
public:
  int OptionalParamCount() const override { return 3; }

protected:
  void Compute() override {
    TTextBuffer buffer;
    PutDateTime(StrToDateTime(Arg(0)->GetText(buffer), DateFunctionSettings(Arg(1), false, Arg(2), Arg(3), true)));
  }
};
KV_IMPLEMENT_CLASS(TExp_StrToDateTime, TDateReadFunction)

// StrToTime(string Text[, string Format[, char TimeSeparator]]): a time of day.
class TExp_StrToTime : public TDateReadFunction {
  KV_CLASS(TExp_StrToTime, TDateReadFunction)
protected:
  void Compute() override {
    TTextBuffer buffer;
    PutDateTime(StrToTime(Arg(0)->GetText(buffer), DateFunctionSettings(Arg(1), true, nullptr, Arg(2), false)));
  }
};
KV_IMPLEMENT_CLASS(TExp_StrToTime, TDateReadFunction)

// ---- Current, parts and text ----------------------------------------------------------------

// Time(): the time of day now (date part 0).
class TExp_Time : public TCurrentDateTimeFunction {
  KV_CLASS(TExp_Time, TCurrentDateTimeFunction)
protected:
  TDateTime Current() const override { return Time(); }
};
KV_IMPLEMENT_CLASS(TExp_Time, TCurrentDateTimeFunction)

// TimeOf(date): the time of day (date part 0).
class TExp_TimeOf : public TDateConvertFunction {
  KV_CLASS(TExp_TimeOf, TDateConvertFunction)
protected:
  TDateTime Convert(TDateTime v) const override { return TimeOf(v); }
};
KV_IMPLEMENT_CLASS(TExp_TimeOf, TDateConvertFunction)

// TimeToStr(date X[, string Format]): the long time (or Format).
class TExp_TimeToStr : public TDateTextFunction {
  KV_CLASS(TExp_TimeToStr, TDateTextFunction)
protected:
  void Compute() override {
    PutString(TimeToStr(DateArg(0), DateFunctionSettings(Arg(1), true, nullptr, nullptr, false)));
  }
};
KV_IMPLEMENT_CLASS(TExp_TimeToStr, TDateTextFunction)

// Today(), Tomorrow(), Yesterday(): the day at 00:00.
class TExp_Today : public TCurrentDateTimeFunction {
  KV_CLASS(TExp_Today, TCurrentDateTimeFunction)
protected:
  TDateTime Current() const override { return Date(); }
};
KV_IMPLEMENT_CLASS(TExp_Today, TCurrentDateTimeFunction)

class TExp_Tomorrow : public TCurrentDateTimeFunction {
  KV_CLASS(TExp_Tomorrow, TCurrentDateTimeFunction)
protected:
  TDateTime Current() const override { return IncDay(Date(), 1); }
};
KV_IMPLEMENT_CLASS(TExp_Tomorrow, TCurrentDateTimeFunction)

// ---- Weeks ----------------------------------------------------------------------------------

// WeekOf(date) and WeekOfTheYear(date): the ISO 8601 week, 1..53 (1 January
// 2005 lies in week 53 of 2004).
class TExp_WeekOf : public TDatePartFunction {
  KV_CLASS(TExp_WeekOf, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return WeekOf(v); }
};
KV_IMPLEMENT_CLASS(TExp_WeekOf, TDatePartFunction)

// WeekOfTheMonth(date): the week of the month, by the ISO rule applied to
// months (see DecodeDateMonthWeek).
class TExp_WeekOfTheMonth : public TDatePartFunction {
  KV_CLASS(TExp_WeekOfTheMonth, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return WeekOfTheMonth(v); }
};
KV_IMPLEMENT_CLASS(TExp_WeekOfTheMonth, TDatePartFunction)

class TExp_WeekOfTheYear : public TDatePartFunction {
  KV_CLASS(TExp_WeekOfTheYear, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return WeekOfTheYear(v); }
};
KV_IMPLEMENT_CLASS(TExp_WeekOfTheYear, TDatePartFunction)

class TExp_WeeksBetween : public TDateBetweenFunction {
  KV_CLASS(TExp_WeeksBetween, TDateBetweenFunction)
protected:
  TDateUnit Unit() const override { return duWeek; }
};
KV_IMPLEMENT_CLASS(TExp_WeeksBetween, TDateBetweenFunction)

class TExp_WeekSpan : public TDateSpanFunction {
  KV_CLASS(TExp_WeekSpan, TDateSpanFunction)
protected:
  TDateUnit Unit() const override { return duWeek; }
};
KV_IMPLEMENT_CLASS(TExp_WeekSpan, TDateSpanFunction)

// WeeksInYear(date): ISO weeks (52 or 53) of the value's year.
class TExp_WeeksInYear : public TDatePartFunction {
  KV_CLASS(TExp_WeeksInYear, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return WeeksInYear(v); }
};
KV_IMPLEMENT_CLASS(TExp_WeeksInYear, TDatePartFunction)

// ---- Within ---------------------------------------------------------------------------------
// WithinPastU(date A, date B, integer N): UsBetween(A, B) <= N.

class TExp_WithinPastDays : public TDateWithinFunction {
  KV_CLASS(TExp_WithinPastDays, TDateWithinFunction)
protected:
  TDateUnit Unit() const override { return duDay; }
};
KV_IMPLEMENT_CLASS(TExp_WithinPastDays, TDateWithinFunction)

class TExp_WithinPastHours : public TDateWithinFunction {
  KV_CLASS(TExp_WithinPastHours, TDateWithinFunction)
protected:
  TDateUnit Unit() const override { return duHour; }
};
KV_IMPLEMENT_CLASS(TExp_WithinPastHours, TDateWithinFunction)

class TExp_WithinPastMilliSeconds : public TDateWithinFunction {
  KV_CLASS(TExp_WithinPastMilliSeconds, TDateWithinFunction)
protected:
  TDateUnit Unit() const override { return duMilliSecond; }
};
KV_IMPLEMENT_CLASS(TExp_WithinPastMilliSeconds, TDateWithinFunction)

class TExp_WithinPastMinutes : public TDateWithinFunction {
  KV_CLASS(TExp_WithinPastMinutes, TDateWithinFunction)
protected:
  TDateUnit Unit() const override { return duMinute; }
};
KV_IMPLEMENT_CLASS(TExp_WithinPastMinutes, TDateWithinFunction)

class TExp_WithinPastMonths : public TDateWithinFunction {
  KV_CLASS(TExp_WithinPastMonths, TDateWithinFunction)
protected:
  TDateUnit Unit() const override { return duMonth; }
};
KV_IMPLEMENT_CLASS(TExp_WithinPastMonths, TDateWithinFunction)

class TExp_WithinPastSeconds : public TDateWithinFunction {
  KV_CLASS(TExp_WithinPastSeconds, TDateWithinFunction)
protected:
  TDateUnit Unit() const override { return duSecond; }
};
KV_IMPLEMENT_CLASS(TExp_WithinPastSeconds, TDateWithinFunction)

class TExp_WithinPastWeeks : public TDateWithinFunction {
  KV_CLASS(TExp_WithinPastWeeks, TDateWithinFunction)
protected:
  TDateUnit Unit() const override { return duWeek; }
};
KV_IMPLEMENT_CLASS(TExp_WithinPastWeeks, TDateWithinFunction)

class TExp_WithinPastYears : public TDateWithinFunction {
  KV_CLASS(TExp_WithinPastYears, TDateWithinFunction)
protected:
  TDateUnit Unit() const override { return duYear; }
};
KV_IMPLEMENT_CLASS(TExp_WithinPastYears, TDateWithinFunction)

// ---- Years ----------------------------------------------------------------------------------

// YearOf(date): the year.
class TExp_YearOf : public TDatePartFunction {
  KV_CLASS(TExp_YearOf, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return YearOf(v); }
};
KV_IMPLEMENT_CLASS(TExp_YearOf, TDatePartFunction)

// YearsBetween and YearSpan use the average year of 365.25 days.
class TExp_YearsBetween : public TDateBetweenFunction {
  KV_CLASS(TExp_YearsBetween, TDateBetweenFunction)
protected:
  TDateUnit Unit() const override { return duYear; }
};
KV_IMPLEMENT_CLASS(TExp_YearsBetween, TDateBetweenFunction)

class TExp_YearSpan : public TDateSpanFunction {
  KV_CLASS(TExp_YearSpan, TDateSpanFunction)
protected:
  TDateUnit Unit() const override { return duYear; }
};
KV_IMPLEMENT_CLASS(TExp_YearSpan, TDateSpanFunction)

class TExp_Yesterday : public TCurrentDateTimeFunction {
  KV_CLASS(TExp_Yesterday, TCurrentDateTimeFunction)
protected:
  TDateTime Current() const override { return IncDay(Date(), -1); }
};
KV_IMPLEMENT_CLASS(TExp_Yesterday, TCurrentDateTimeFunction)

namespace {

const TFunctionBatchRegistrar g_functions{fbDateTime, 4, {
    {"Now", TExp_Now::StaticClass()},
    {"RecodeDate", TExp_RecodeDate::StaticClass()},
    {"RecodeDateTime", TExp_RecodeDateTime::StaticClass()},
    {"RecodeDay", TExp_RecodeDay::StaticClass()},
    {"RecodeHour", TExp_RecodeHour::StaticClass()},
    {"RecodeMilliSecond", TExp_RecodeMilliSecond::StaticClass()},
    {"RecodeMinute", TExp_RecodeMinute::StaticClass()},
    {"RecodeMonth", TExp_RecodeMonth::StaticClass()},
    {"RecodeSecond", TExp_RecodeSecond::StaticClass()},
    {"RecodeTime", TExp_RecodeTime::StaticClass()},
    {"RecodeYear", TExp_RecodeYear::StaticClass()},
    {"SameDate", TExp_SameDate::StaticClass()},
    {"SameDateTime", TExp_SameDateTime::StaticClass()},
    {"SameTime", TExp_SameTime::StaticClass()},
    {"SecondOf", TExp_SecondOf::StaticClass()},
    {"SecondOfTheDay", TExp_SecondOfTheDay::StaticClass()},
    {"SecondOfTheHour", TExp_SecondOfTheHour::StaticClass()},
    {"SecondOfTheMinute", TExp_SecondOfTheMinute::StaticClass()},
    {"SecondOfTheMonth", TExp_SecondOfTheMonth::StaticClass()},
    {"SecondOfTheWeek", TExp_SecondOfTheWeek::StaticClass()},
    {"SecondOfTheYear", TExp_SecondOfTheYear::StaticClass()},
    {"SecondsBetween", TExp_SecondsBetween::StaticClass()},
    {"SecondSpan", TExp_SecondSpan::StaticClass()},
    {"StartOfADay", TExp_StartOfADay::StaticClass()},
    {"StartOfAMonth", TExp_StartOfAMonth::StaticClass()},
    {"StartOfAWeek", TExp_StartOfAWeek::StaticClass()},
    {"StartOfAYear", TExp_StartOfAYear::StaticClass()},
    {"StartOfTheDay", TExp_StartOfTheDay::StaticClass()},
    {"StartOfTheMonth", TExp_StartOfTheMonth::StaticClass()},
    {"StartOfTheWeek", TExp_StartOfTheWeek::StaticClass()},
    {"StartOfTheYear", TExp_StartOfTheYear::StaticClass()},
    {"StrToDate", TExp_StrToDate::StaticClass()},
    {"StrToDateTime", TExp_StrToDateTime::StaticClass()},
    {"StrToTime", TExp_StrToTime::StaticClass()},
    {"Time", TExp_Time::StaticClass()},
    {"TimeOf", TExp_TimeOf::StaticClass()},
    {"TimeToStr", TExp_TimeToStr::StaticClass()},
    {"Today", TExp_Today::StaticClass()},
    {"Tomorrow", TExp_Tomorrow::StaticClass()},
    {"WeekOf", TExp_WeekOf::StaticClass()},
    {"WeekOfTheMonth", TExp_WeekOfTheMonth::StaticClass()},
    {"WeekOfTheYear", TExp_WeekOfTheYear::StaticClass()},
    {"WeeksBetween", TExp_WeeksBetween::StaticClass()},
    {"WeekSpan", TExp_WeekSpan::StaticClass()},
    {"WeeksInYear", TExp_WeeksInYear::StaticClass()},
    {"WithinPastDays", TExp_WithinPastDays::StaticClass()},
    {"WithinPastHours", TExp_WithinPastHours::StaticClass()},
    {"WithinPastMilliSeconds", TExp_WithinPastMilliSeconds::StaticClass()},
    {"WithinPastMinutes", TExp_WithinPastMinutes::StaticClass()},
    {"WithinPastMonths", TExp_WithinPastMonths::StaticClass()},
    {"WithinPastSeconds", TExp_WithinPastSeconds::StaticClass()},
    {"WithinPastWeeks", TExp_WithinPastWeeks::StaticClass()},
    {"WithinPastYears", TExp_WithinPastYears::StaticClass()},
    {"YearOf", TExp_YearOf::StaticClass()},
    {"YearsBetween", TExp_YearsBetween::StaticClass()},
    {"YearSpan", TExp_YearSpan::StaticClass()},
    {"Yesterday", TExp_Yesterday::StaticClass()},
}};

}  // namespace

}  // namespace kv
