// Date and time functions, part 1 of the batch: CompareDate .. DaySpan.
#include <cstdint>

#include "expression/FunctionList.h"
#include "expression/functions/DateTimeFunctions.h"
#include "foundation/NumUtils.h"

namespace kv {

namespace {

// The leap-year rule on any year (DaysInAYear, DaysInAMonth take numbers,
// not dates, so any year is answered).
bool LeapYear(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

}  // namespace

// ---- Comparison ------------------------------------------------------------------------------

// CompareDate(date A, date B): -1, 0 or 1 by calendar day.
class TExp_CompareDate : public TDateCompareFunction {
  KV_CLASS(TExp_CompareDate, TDateCompareFunction)
protected:
  int Compare(TDateTime a, TDateTime b) const override { return CompareDate(a, b); }
};
KV_IMPLEMENT_CLASS(TExp_CompareDate, TDateCompareFunction)

// CompareDateTime(date A, date B): values less than a millisecond apart are equal.
class TExp_CompareDateTime : public TDateCompareFunction {
  KV_CLASS(TExp_CompareDateTime, TDateCompareFunction)
protected:
  int Compare(TDateTime a, TDateTime b) const override { return CompareDateTime(a, b); }
};
KV_IMPLEMENT_CLASS(TExp_CompareDateTime, TDateCompareFunction)

// CompareTime(date A, date B): the times of day only.
class TExp_CompareTime : public TDateCompareFunction {
  KV_CLASS(TExp_CompareTime, TDateCompareFunction)
protected:
  int Compare(TDateTime a, TDateTime b) const override { return CompareTime(a, b); }
};
KV_IMPLEMENT_CLASS(TExp_CompareTime, TDateCompareFunction)

// ---- Current ---------------------------------------------------------------------------------

// CurrentYear(): the current year. Like every argument-less function it is
// constant: read once, when the expression is translated.
class TExp_CurrentYear : public TDateFunction<TI0Function> {
  KV_CLASS(TExp_CurrentYear, TI0Function)
protected:
  void Compute() override { PutInteger(YearOf(Now())); }
};
KV_IMPLEMENT_CLASS(TExp_CurrentYear, TI0Function)

// Date() and Today(): today at 00:00.
class TExp_Date : public TCurrentDateTimeFunction {
  KV_CLASS(TExp_Date, TCurrentDateTimeFunction)
protected:
  TDateTime Current() const override { return Date(); }
};
KV_IMPLEMENT_CLASS(TExp_Date, TCurrentDateTimeFunction)

// ---- Parts -----------------------------------------------------------------------------------

// DateOf(date): the date at 00:00.
class TExp_DateOf : public TDateConvertFunction {
  KV_CLASS(TExp_DateOf, TDateConvertFunction)
protected:
  TDateTime Convert(TDateTime v) const override { return DateOf(v); }
};
KV_IMPLEMENT_CLASS(TExp_DateOf, TDateConvertFunction)

// ---- Text ------------------------------------------------------------------------------------

// DateTimeToStr(date X[, string Format]): the short date and, unless the
// time is 00:00:00, the long time; with Format, X formatted by Format.
class TExp_DateTimeToStr : public TDateTextFunction {
  KV_CLASS(TExp_DateTimeToStr, TDateTextFunction)
protected:
  void Compute() override {
    PutString(DateTimeToStr(DateArg(0), DateFunctionSettings(Arg(1), false, nullptr, nullptr, false)));
  }
};
KV_IMPLEMENT_CLASS(TExp_DateTimeToStr, TDateTextFunction)

// DateToStr(date X[, string Format]): the short date (or Format).
class TExp_DateToStr : public TDateTextFunction {
  KV_CLASS(TExp_DateToStr, TDateTextFunction)
protected:
  void Compute() override {
    PutString(DateToStr(DateArg(0), DateFunctionSettings(Arg(1), false, nullptr, nullptr, false)));
  }
};
KV_IMPLEMENT_CLASS(TExp_DateToStr, TDateTextFunction)

// ---- U of, U of the period, lengths ----------------------------------------------------------

// DayOf(date) and DayOfTheMonth(date): the day of the month.
class TExp_DayOf : public TDatePartFunction {
  KV_CLASS(TExp_DayOf, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return DayOf(v); }
};
KV_IMPLEMENT_CLASS(TExp_DayOf, TDatePartFunction)

class TExp_DayOfTheMonth : public TDatePartFunction {
  KV_CLASS(TExp_DayOfTheMonth, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return DayOf(v); }
};
KV_IMPLEMENT_CLASS(TExp_DayOfTheMonth, TDatePartFunction)

// DayOfTheWeek(date): 1 = Monday .. 7 = Sunday.
class TExp_DayOfTheWeek : public TDatePartFunction {
  KV_CLASS(TExp_DayOfTheWeek, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return DayOfTheWeek(v); }
};
KV_IMPLEMENT_CLASS(TExp_DayOfTheWeek, TDatePartFunction)

// DayOfTheYear(date): 1 for 1 January.
class TExp_DayOfTheYear : public TDatePartFunction {
  KV_CLASS(TExp_DayOfTheYear, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return DayOfTheYear(v); }
};
KV_IMPLEMENT_CLASS(TExp_DayOfTheYear, TDatePartFunction)

// DaysInMonth(date), DaysInYear(date): days of the value's month / year.
class TExp_DaysInMonth : public TDatePartFunction {
  KV_CLASS(TExp_DaysInMonth, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return DaysInMonth(v); }
};
KV_IMPLEMENT_CLASS(TExp_DaysInMonth, TDatePartFunction)

class TExp_DaysInYear : public TDatePartFunction {
  KV_CLASS(TExp_DaysInYear, TDatePartFunction)
protected:
  int64_t Part(TDateTime v) const override { return DaysInYear(v); }
};
KV_IMPLEMENT_CLASS(TExp_DaysInYear, TDatePartFunction)

// DaysInAMonth(num Year, num Month): days of that month; a month outside
// 1..12 raises a conversion error. Any year is answered by the leap-year rule.
class TExp_DaysInAMonth : public TDateFunction<TFunction> {
  KV_CLASS(TExp_DaysInAMonth, TFunction)
public:
  int FixedParamCount() const override { return 2; }
  TExpTypeSet ArgTypes(int) const override { return tsNum; }
  bool TransOverOK() override {
    DataType = etInteger;
    return true;
  }

protected:
  void Compute() override {
    const int64_t year = Arg(0)->GetInteger();
    const int64_t month = Arg(1)->GetInteger();
    if (month < 1 || month > 12) RaiseInDateCall(*this, "Month is not between 1 and 12");
    PutInteger(DaysPerMonth[month - 1] + (month == 2 && LeapYear(year) ? 1 : 0));
  }
};
KV_IMPLEMENT_CLASS(TExp_DaysInAMonth, TFunction)

// DaysInAYear(num Year): 365 or 366.
class TExp_DaysInAYear : public TDateFunction<TFunction> {
  KV_CLASS(TExp_DaysInAYear, TFunction)
public:
  TExpTypeSet ArgTypes(int) const override { return tsNum; }
  bool TransOverOK() override {
    DataType = etInteger;
    return true;
  }

protected:
  void Compute() override { PutInteger(LeapYear(Arg(0)->GetInteger()) ? 366 : 365); }
};
KV_IMPLEMENT_CLASS(TExp_DaysInAYear, TFunction)

// ---- Between and span ------------------------------------------------------------------------

// DaysBetween(date A, date B): whole days between them.
class TExp_DaysBetween : public TDateBetweenFunction {
  KV_CLASS(TExp_DaysBetween, TDateBetweenFunction)
protected:
  TDateUnit Unit() const override { return duDay; }
};
KV_IMPLEMENT_CLASS(TExp_DaysBetween, TDateBetweenFunction)

// DaySpan(date A, date B): the difference in days, as a real.
class TExp_DaySpan : public TDateSpanFunction {
  KV_CLASS(TExp_DaySpan, TDateSpanFunction)
protected:
  TDateUnit Unit() const override { return duDay; }
};
KV_IMPLEMENT_CLASS(TExp_DaySpan, TDateSpanFunction)

namespace {

const TFunctionBatchRegistrar g_functions{fbDateTime, 1, {
    {"CompareDate", TExp_CompareDate::StaticClass()},
    {"CompareDateTime", TExp_CompareDateTime::StaticClass()},
    {"CompareTime", TExp_CompareTime::StaticClass()},
    {"CurrentYear", TExp_CurrentYear::StaticClass()},
    {"Date", TExp_Date::StaticClass()},
    {"DateOf", TExp_DateOf::StaticClass()},
    {"DateTimeToStr", TExp_DateTimeToStr::StaticClass()},
    {"DateToStr", TExp_DateToStr::StaticClass()},
    {"DayOf", TExp_DayOf::StaticClass()},
    {"DayOfTheMonth", TExp_DayOfTheMonth::StaticClass()},
    {"DayOfTheWeek", TExp_DayOfTheWeek::StaticClass()},
    {"DayOfTheYear", TExp_DayOfTheYear::StaticClass()},
    {"DaysBetween", TExp_DaysBetween::StaticClass()},
    {"DaysInAMonth", TExp_DaysInAMonth::StaticClass()},
    {"DaysInAYear", TExp_DaysInAYear::StaticClass()},
    {"DaysInMonth", TExp_DaysInMonth::StaticClass()},
    {"DaysInYear", TExp_DaysInYear::StaticClass()},
    {"DaySpan", TExp_DaySpan::StaticClass()},
}};

}  // namespace

}  // namespace kv
