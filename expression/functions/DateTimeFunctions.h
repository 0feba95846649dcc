// The date and time functions: the pieces their classes share, the generic
// bodies of the families that differ only by a unit or a date function, and
// the functions with bodies of their own. DateTimeFunctionTable.cpp names
// every function of the batch in one table, in registration order; the
// bodies of their own live in DateTimeEncodeFunctions.cpp (building dates
// from numbers), DateTimeTextFunctions.cpp (dates as text and back) and
// DateTimeCalendarFunctions.cpp (the calendar by numbers).
//
// Every date-time is a double of days since 1899-12-30 (foundation/
// DateUtils.h); decoding rounds to the millisecond, and values outside the
// years 1 to 9999, NaN and infinities raise EConvertError. Whatever a date
// function raises is an EConvertError whose message names the call:
//   "Invalid argument to date encode: EncodeDate(2023, 2, 29)".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "expression/DateTimeText.h"
#include "expression/Function.h"
#include "foundation/DateUtils.h"
#include "foundation/Exceptions.h"

namespace kv {

// A conversion error whose message already names the call.
class EDateCallError : public EConvertError {
public:
  using EConvertError::EConvertError;
};

// Raises EDateCallError with `message` followed by ": " and the call as
// text (the function's name and its arguments' values).
[[noreturn]] void RaiseInDateCall(const TFunction& function, const std::string& message);

// Gives a date function class its error handling: Calculate runs Compute
// and adds the call to the message of any conversion error raised there.
template <class Base>
class TDateFunction : public Base {
public:
  void Calculate() final {
    try {
      Compute();
    } catch (const EDateCallError&) {
      throw;
    } catch (const EConvertError& e) {
      RaiseInDateCall(*this, e.Message());
    }
  }

protected:
  virtual void Compute() = 0;

  TDateTime DateArg(int index) const { return this->Arg(index)->GetDateTime(); }

  // Argument `index` as an int; a value outside the int range (which no
  // date component can have) raises `message`.
  int IntArg(int index, const char* message) const {
    const int64_t v = this->Arg(index)->GetInteger();
    if (v <= INT32_MIN || v > INT32_MAX) RaiseInDateCall(*this, message);
    return static_cast<int>(v);
  }
};

// A date function on Base whose result has the type Result.
template <class Base, TExpDataType Result>
class TDateResult : public TDateFunction<Base> {
public:
  bool TransOverOK() override {
    this->DataType = Result;
    return true;
  }
};

inline constexpr const char* kDateEncodeError = "Invalid argument to date encode";
inline constexpr const char* kTimeEncodeError = "Invalid argument to time encode";
inline constexpr const char* kDateRecodeError = "Invalid argument to date recode";

// The settings a date function uses: the defaults without a pattern; with
// one, the pattern as the short date pattern (or, with `timePattern`, the
// long time pattern), no other patterns, and the separators given, else
// those the pattern shows (PatternDateSeparator, PatternTimeSeparator),
// else none - except that a time separator not to be found falls back to
// the default ':' (`defaultTimeSeparator`).
TDateTimeSettings DateFunctionSettings(const TExpression* pattern, bool timePattern, const TExpression* dateSeparator,
                                       const TExpression* timeSeparator, bool defaultTimeSeparator);

// The last millisecond of the day that starts at `day`.
TDateTime EndOfDayAt(TDateTime day);

// ---- Generic bodies -------------------------------------------------------------------------
// One body per family; a member is the body with its parameter, named by its
// row of the table (DateTimeFunctionTable.cpp).

// One date; an integer part of it (DayOf, WeekOfTheMonth, ...).
template <int (*Part)(TDateTime)>
class TDatePart : public TDateFunction<TDateTimeOrdinalFunction> {
protected:
  void Compute() override { PutInteger(Part(DateArg(0))); }
};

// One date; the whole Units elapsed since the start of the Period that
// holds it (HourOfTheYear, MilliSecondOfTheWeek, ...).
template <TDateUnit Unit, TDateUnit Period>
class TDateElapsed : public TDateFunction<TDateTimeOrdinalFunction> {
protected:
  void Compute() override { PutInteger(ElapsedInPeriod(DateArg(0), Unit, Period)); }
};

// One date; a date-time made from it (DateOf, TimeOf).
template <TDateTime (*Convert)(TDateTime)>
class TDateConvert : public TDateFunction<TD1DateTimeFunction> {
protected:
  void Compute() override { PutDateTime(Convert(DateArg(0))); }
};

// One date; the first instant (StartOfTheU) or the last millisecond
// (EndOfTheU) of the Period that holds it.
template <TDateUnit Period>
class TDateStartOfThe : public TDateFunction<TD1DateTimeFunction> {
protected:
  void Compute() override { PutDateTime(StartOfThePeriod(Period, DateArg(0))); }
};

template <TDateUnit Period>
class TDateEndOfThe : public TDateFunction<TD1DateTimeFunction> {
protected:
  void Compute() override { PutDateTime(EndOfThePeriod(Period, DateArg(0))); }
};

// One date; a boolean (IsPM, IsToday, ...).
template <bool (*Test)(TDateTime)>
class TDateTest : public TDateResult<TD1DateTimeFunction, etBoolean> {
protected:
  void Compute() override { PutBoolean(Test(DateArg(0))); }
};

// Two dates; -1, 0 or 1 (CompareDate, CompareDateTime, CompareTime).
template <int (*Compare)(TDateTime, TDateTime)>
class TDateCompare : public TDateResult<TD2DateTimeFunction, etInteger> {
protected:
  void Compute() override { PutInteger(Compare(DateArg(0), DateArg(1))); }
};

// Two dates; a boolean (SameDate, IsSameDay, ...).
template <bool (*Same)(TDateTime, TDateTime)>
class TDateSame : public TDateResult<TD2DateTimeFunction, etBoolean> {
protected:
  void Compute() override { PutBoolean(Same(DateArg(0), DateArg(1))); }
};

// Two dates; the whole Units between them (UsBetween).
template <TDateUnit Unit>
class TDateBetween : public TDateResult<TD2DateTimeFunction, etInteger> {
protected:
  void Compute() override { PutInteger(UnitsBetween(Unit, DateArg(0), DateArg(1))); }
};

// Two dates; the difference in Units as a real (USpan).
template <TDateUnit Unit>
class TDateSpan : public TDateResult<TD2DateTimeFunction, etReal> {
protected:
  void Compute() override { PutReal(UnitSpan(Unit, DateArg(0), DateArg(1))); }
};

// Two dates and an integer N; whether the Units between them are at most N
// (WithinPastUs).
template <TDateUnit Unit>
class TDateWithin : public TDateFunction<TWithinPastDateFunction> {
protected:
  void Compute() override { PutBoolean(WithinPast(Unit, DateArg(0), DateArg(1), Arg(2)->GetInteger())); }
};

// A date X and an integer N; X moved by N units (IncU). N may be negative.
// Month and year steps keep the day of the month, clipped to the last day
// of the target month, and the time; a result outside the years 1..9999
// raises a conversion error.
template <TDateTime (*Inc)(TDateTime, int64_t)>
class TDateInc : public TDateFunction<TIncDateTimeFunction> {
protected:
  void Compute() override { PutDateTime(Inc(DateArg(0), Arg(1)->GetInteger())); }
};

// No arguments; the clock. Being argument-less these functions are constant:
// they are read once, when the expression is translated, so every record of
// a run sees the same time (as a database's current time within a statement).
template <TDateTime (*Current)()>
class TDateCurrent : public TDateFunction<TDateTimeFunction> {
public:
  int FixedParamCount() const override { return 0; }

protected:
  void Compute() override { PutDateTime(Current()); }
};

// The days the clock functions Tomorrow() and Yesterday() answer.
inline TDateTime TomorrowDate() { return IncDay(Date(), 1); }
inline TDateTime YesterdayDate() { return IncDay(Date(), -1); }

// A date and integers for Count consecutive components from First (0 year,
// 1 month, 2 day, 3 hour, 4 minute, 5 second, 6 millisecond), which replace
// the decoded ones (RecodeU); a result that is no valid date-time raises
// "Invalid argument to date recode: <the call>".
template <int First, int Count = 1>
class TDateRecode : public TDateFunction<TRecodeDateTimeFunction> {
  static_assert(First >= 0 && Count >= 1 && First + Count <= 7);

public:
  int FixedParamCount() const override { return 1 + Count; }

protected:
  void Compute() override {
    int f[7];
    for (int& x : f) x = kRecodeLeaveFieldAsIs;
    for (int i = 0; i < Count; ++i) f[First + i] = IntArg(i + 1, kDateRecodeError);
    TDateTime r = 0;
    if (!TryRecodeDateTime(DateArg(0), f[0], f[1], f[2], f[3], f[4], f[5], f[6], r))
      RaiseInDateCall(*this, kDateRecodeError);
    PutDateTime(r);
  }
};

// A date and an optional pattern; the date as text (DateTimeToStr,
// DateToStr, TimeToStr). With a pattern, it stands for the short date
// pattern, or for the long time pattern when TimePattern is set.
template <std::string (*ToText)(TDateTime, const TDateTimeSettings&), bool TimePattern>
class TDateToText : public TDateResult<TFunction, etString> {
public:
  int OptionalParamCount() const override { return 1; }
  TExpTypeSet ArgTypes(int index) const override { return index == 0 ? tsDate : tsString; }

protected:
  void Compute() override {
    PutString(ToText(DateArg(0), DateFunctionSettings(Arg(1), TimePattern, nullptr, nullptr, false)));
  }
};

// ---- Building dates from numbers (DateTimeEncodeFunctions.cpp) -----------------------------

// Reads the integer arguments of `f` into `v`; false when one lies outside
// the int range (no date component can).
bool ReadDateComponents(const TFunction& f, int* v);

// Builds a date-time from the `count` components in `v`; false when they
// describe none.
using TDateBuilder = bool (*)(const int* v, int count, TDateTime& result);
// The message when a builder refuses `v`.
using TDateBuildError = const char* (*)(const int* v);

// Integer arguments only, Fixed of them and up to Optional more; the
// date-time Build makes of them. Components that describe no date-time raise
// Error(components): "Invalid argument to date encode: <the call>" unless
// the time is wrong.
template <class Base, int Fixed, int Optional, TDateBuilder Build, TDateBuildError Error>
class TDateBuild : public TDateFunction<Base> {
public:
  int FixedParamCount() const override { return Fixed; }
  int OptionalParamCount() const override { return Optional; }

protected:
  void Compute() override {
    int v[kSubExpCount] = {};
    TDateTime result = 0;
    if (!ReadDateComponents(*this, v) || !Build(v, this->ArgCount(), result)) RaiseInDateCall(*this, Error(v));
    this->PutDateTime(result);
  }
};

inline const char* DateEncodeError(const int* /*v*/) { return kDateEncodeError; }
inline const char* TimeEncodeError(const int* /*v*/) { return kTimeEncodeError; }
// EncodeDateTime: the time's message when the date part is valid.
const char* DateTimeEncodeError(const int* v);

// EncodeU(components).
template <int Fixed, TDateBuilder Build, TDateBuildError Error = DateEncodeError>
using TDateEncode = TDateBuild<TEncodeDateTimeFunction, Fixed, 0, Build, Error>;
// StartOfAU(components), EndOfAU(components).
template <int Fixed, int Optional, TDateBuilder Build>
using TDateOfNumbers = TDateBuild<TStartOfDateTimeFunction, Fixed, Optional, Build, DateEncodeError>;

// The builders, each named by the function it serves.
bool BuildEncodeDate(const int* v, int count, TDateTime& result);
bool BuildEncodeDateDay(const int* v, int count, TDateTime& result);
bool BuildEncodeDateMonthWeek(const int* v, int count, TDateTime& result);
bool BuildEncodeDateTime(const int* v, int count, TDateTime& result);
bool BuildEncodeDateWeek(const int* v, int count, TDateTime& result);
bool BuildEncodeDayOfWeekInMonth(const int* v, int count, TDateTime& result);
bool BuildEncodeTime(const int* v, int count, TDateTime& result);
bool BuildStartOfADay(const int* v, int count, TDateTime& result);
bool BuildStartOfAMonth(const int* v, int count, TDateTime& result);
bool BuildStartOfAWeek(const int* v, int count, TDateTime& result);
bool BuildStartOfAYear(const int* v, int count, TDateTime& result);
bool BuildEndOfADay(const int* v, int count, TDateTime& result);
bool BuildEndOfAMonth(const int* v, int count, TDateTime& result);
bool BuildEndOfAWeek(const int* v, int count, TDateTime& result);
bool BuildEndOfAYear(const int* v, int count, TDateTime& result);

// ---- Dates as text and back (DateTimeTextFunctions.cpp) --------------------------------------

// Reads the date-time in the text argument of a StrToU call `f`, with the
// pattern and separators it gives.
using TDateReader = TDateTime (*)(const TFunction& f, std::string_view text);

// A text, an optional pattern and Optional - 1 optional separator
// characters; the date-time Read finds in the text (StrToU). A text that is
// no date-time raises a conversion error.
template <int Optional, TDateReader Read>
class TDateRead : public TDateFunction<TDateTimeFunction> {
public:
  int OptionalParamCount() const override { return Optional; }
  TExpTypeSet ArgTypes(int index) const override { return index < 2 ? tsString : tsChar; }

protected:
  void Compute() override {
    TTextBuffer buffer;
    PutDateTime(Read(*this, Arg(0)->GetText(buffer)));
  }
};

TDateTime ReadStrToDate(const TFunction& f, std::string_view text);
TDateTime ReadStrToDateTime(const TFunction& f, std::string_view text);
TDateTime ReadStrToTime(const TFunction& f, std::string_view text);

// FormatDateTime(string Format, date X): X formatted by the pattern
// language of FormatDateTime (expression/DateTimeText.h) with the default
// settings.
class TExp_FormatDateTime : public TDateResult<TFunction, etString> {
  KV_CLASS(TExp_FormatDateTime, TFunction)
public:
  int FixedParamCount() const override { return 2; }
  TExpTypeSet ArgTypes(int index) const override { return index == 0 ? tsString : tsDate; }

protected:
  void Compute() override;
};

// ---- The calendar by numbers (DateTimeCalendarFunctions.cpp) ---------------------------------

// CurrentYear(): the current year. Like every argument-less function it is
// constant: read once, when the expression is translated.
class TExp_CurrentYear : public TDateFunction<TI0Function> {
  KV_CLASS(TExp_CurrentYear, TI0Function)
protected:
  void Compute() override;
};

// DaysInAMonth(num Year, num Month): days of that month; a month outside
// 1..12 raises a conversion error. Any year is answered by the leap-year rule.
class TExp_DaysInAMonth : public TDateResult<TFunction, etInteger> {
  KV_CLASS(TExp_DaysInAMonth, TFunction)
public:
  int FixedParamCount() const override { return 2; }
  TExpTypeSet ArgTypes(int) const override { return tsNum; }

protected:
  void Compute() override;
};

// DaysInAYear(num Year): 365 or 366.
class TExp_DaysInAYear : public TDateResult<TFunction, etInteger> {
  KV_CLASS(TExp_DaysInAYear, TFunction)
public:
  TExpTypeSet ArgTypes(int) const override { return tsNum; }

protected:
  void Compute() override;
};

}  // namespace kv
