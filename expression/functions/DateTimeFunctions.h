// The date and time functions: the pieces their classes share. The classes
// themselves live in DateTimeFunctions1.cpp .. DateTimeFunctions4.cpp, each
// file holding one stretch of the batch's registration order (parts 1 to 4).
//
// Every date-time is a double of days since 1899-12-30 (foundation/
// DateUtils.h); decoding rounds to the millisecond, and values outside the
// years 1 to 9999, NaN and infinities raise EConvertError. Whatever a date
// function raises is an EConvertError whose message names the call:
//   "Invalid argument to date encode: EncodeDate(2023, 2, 29)".
#pragma once

#include <cstdint>
#include <string>

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

inline constexpr const char* kDateEncodeError = "Invalid argument to date encode";
inline constexpr const char* kTimeEncodeError = "Invalid argument to time encode";
inline constexpr const char* kDateRecodeError = "Invalid argument to date recode";

// ---- Shapes shared by several families ---------------------------------------------------

// One date; an integer part of it (U of, U of the period, lengths).
class TDatePartFunction : public TDateFunction<TDateTimeOrdinalFunction> {
protected:
  virtual int64_t Part(TDateTime value) const = 0;
  void Compute() override { PutInteger(Part(DateArg(0))); }
};

// One date; a date-time made from it (parts, start and end of its period).
class TDateConvertFunction : public TDateFunction<TD1DateTimeFunction> {
protected:
  virtual TDateTime Convert(TDateTime value) const = 0;
  void Compute() override { PutDateTime(Convert(DateArg(0))); }
};

// One date; a boolean (tests).
class TDateTestFunction : public TDateFunction<TD1DateTimeFunction> {
public:
  bool TransOverOK() override {
    DataType = etBoolean;
    return true;
  }

protected:
  virtual bool Test(TDateTime value) const = 0;
  void Compute() override { PutBoolean(Test(DateArg(0))); }
};

// Two dates; -1, 0 or 1 (comparison).
class TDateCompareFunction : public TDateFunction<TD2DateTimeFunction> {
public:
  bool TransOverOK() override {
    DataType = etInteger;
    return true;
  }

protected:
  virtual int Compare(TDateTime a, TDateTime b) const = 0;
  void Compute() override { PutInteger(Compare(DateArg(0), DateArg(1))); }
};

// Two dates; a boolean (equality).
class TDateSameFunction : public TDateFunction<TD2DateTimeFunction> {
public:
  bool TransOverOK() override {
    DataType = etBoolean;
    return true;
  }

protected:
  virtual bool Same(TDateTime a, TDateTime b) const = 0;
  void Compute() override { PutBoolean(Same(DateArg(0), DateArg(1))); }
};

// Two dates; the whole units between them (between).
class TDateBetweenFunction : public TDateFunction<TD2DateTimeFunction> {
public:
  bool TransOverOK() override {
    DataType = etInteger;
    return true;
  }

protected:
  virtual TDateUnit Unit() const = 0;
  void Compute() override { PutInteger(UnitsBetween(Unit(), DateArg(0), DateArg(1))); }
};

// Two dates; the difference in units as a real (span).
class TDateSpanFunction : public TDateFunction<TD2DateTimeFunction> {
public:
  bool TransOverOK() override {
    DataType = etReal;
    return true;
  }

protected:
  virtual TDateUnit Unit() const = 0;
  void Compute() override { PutReal(UnitSpan(Unit(), DateArg(0), DateArg(1))); }
};

// Two dates and an integer N; whether the units between them are at most N.
class TDateWithinFunction : public TDateFunction<TWithinPastDateFunction> {
protected:
  virtual TDateUnit Unit() const = 0;
  void Compute() override { PutBoolean(WithinPast(Unit(), DateArg(0), DateArg(1), Arg(2)->GetInteger())); }
};

// A date and an integer N; the date moved by N units (increment).
class TDateIncFunction : public TDateFunction<TIncDateTimeFunction> {
protected:
  virtual TDateUnit Unit() const = 0;
  void Compute() override;
};

// No arguments; the clock. Being argument-less these functions are constant:
// they are read once, when the expression is translated, so every record of
// a run sees the same time (as a database's current time within a statement).
class TCurrentDateTimeFunction : public TDateFunction<TDateTimeFunction> {
public:
  int FixedParamCount() const override { return 0; }

protected:
  virtual TDateTime Current() const = 0;
  void Compute() override { PutDateTime(Current()); }
};

// Integer arguments only; a date-time built from them (build, start and end
// by number). Compute reads the arguments into `v` and calls Build, which
// answers false for components that describe no date-time.
class TDateBuildFunction : public TDateFunction<TEncodeDateTimeFunction> {
protected:
  virtual bool Build(const int* v, TDateTime& result) const = 0;
  // The message when Build fails (kDateEncodeError unless the time is wrong).
  virtual const char* BuildError(const int* /*v*/) const { return kDateEncodeError; }
  void Compute() override;
};

class TDateStartOfFunction : public TDateFunction<TStartOfDateTimeFunction> {
protected:
  virtual bool Build(const int* v, TDateTime& result) const = 0;
  void Compute() override;
};

// A date and an optional pattern; the date as text (DateTimeToStr,
// DateToStr, TimeToStr).
class TDateTextFunction : public TDateFunction<TFunction> {
public:
  int OptionalParamCount() const override { return 1; }
  TExpTypeSet ArgTypes(int index) const override { return index == 0 ? tsDate : tsString; }
  bool TransOverOK() override {
    DataType = etString;
    return true;
  }
};

// A text, an optional pattern and optional separator characters; the
// date-time read from the text (StrToDate, StrToDateTime, StrToTime).
class TDateReadFunction : public TDateFunction<TDateTimeFunction> {
public:
  int OptionalParamCount() const override { return 2; }
  TExpTypeSet ArgTypes(int index) const override { return index < 2 ? tsString : tsChar; }
};

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

}  // namespace kv
