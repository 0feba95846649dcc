// Date and time functions, part 2 of the batch: EncodeDate .. FormatDateTime.
#include "expression/FunctionList.h"
#include "expression/functions/DateTimeFunctions.h"

namespace kv {

// ---- Build -----------------------------------------------------------------------------------
// Integer arguments only; components that describe no date-time raise
// "Invalid argument to date encode: <the call>".

// EncodeDate(Year, Month, Day).
class TExp_EncodeDate : public TDateBuildFunction {
  KV_CLASS(TExp_EncodeDate, TDateBuildFunction)
public:
  int FixedParamCount() const override { return 3; }

protected:
  bool Build(const int* v, TDateTime& r) const override { return TryEncodeDate(v[0], v[1], v[2], r); }
};
KV_IMPLEMENT_CLASS(TExp_EncodeDate, TDateBuildFunction)

// EncodeDateDay(Year, DayOfYear).
class TExp_EncodeDateDay : public TDateBuildFunction {
  KV_CLASS(TExp_EncodeDateDay, TDateBuildFunction)
public:
  int FixedParamCount() const override { return 2; }

protected:
  bool Build(const int* v, TDateTime& r) const override { return TryEncodeDateDay(v[0], v[1], r); }
};
KV_IMPLEMENT_CLASS(TExp_EncodeDateDay, TDateBuildFunction)

// EncodeDateMonthWeek(Year, Month, WeekOfMonth, DayOfWeek): weeks of a
// month as WeekOfTheMonth counts them, days 1 = Monday .. 7 = Sunday.
class TExp_EncodeDateMonthWeek : public TDateBuildFunction {
  KV_CLASS(TExp_EncodeDateMonthWeek, TDateBuildFunction)
public:
  int FixedParamCount() const override { return 4; }

protected:
  bool Build(const int* v, TDateTime& r) const override { return TryEncodeDateMonthWeek(v[0], v[1], v[2], v[3], r); }
};
KV_IMPLEMENT_CLASS(TExp_EncodeDateMonthWeek, TDateBuildFunction)

// EncodeDateTime(Year, Month, Day, Hour, Minute, Second, MilliSecond).
class TExp_EncodeDateTime : public TDateBuildFunction {
  KV_CLASS(TExp_EncodeDateTime, TDateBuildFunction)
public:
  int FixedParamCount() const override { return 7; }

protected:
  bool Build(const int* v, TDateTime& r) const override {
    return TryEncodeDateTime(v[0], v[1], v[2], v[3], v[4], v[5], v[6], r);
  }
  const char* BuildError(const int* v) const override {
    return IsValidDate(v[0], v[1], v[2]) ? kTimeEncodeError : kDateEncodeError;
  }
};
KV_IMPLEMENT_CLASS(TExp_EncodeDateTime, TDateBuildFunction)

// EncodeDateWeek(Year, WeekOfYear, DayOfWeek): ISO 8601 weeks.
class TExp_EncodeDateWeek : public TDateBuildFunction {
  KV_CLASS(TExp_EncodeDateWeek, TDateBuildFunction)
public:
  int FixedParamCount() const override { return 3; }

protected:
  bool Build(const int* v, TDateTime& r) const override { return TryEncodeDateWeek(v[0], v[1], v[2], r); }
};
KV_IMPLEMENT_CLASS(TExp_EncodeDateWeek, TDateBuildFunction)

// EncodeDayOfWeekInMonth(Year, Month, NthOccurrence, DayOfWeek): the Nth
// Monday (1), ..., Sunday (7) of the month.
class TExp_EncodeDayOfWeekInMonth : public TDateBuildFunction {
  KV_CLASS(TExp_EncodeDayOfWeekInMonth, TDateBuildFunction)
public:
  int FixedParamCount() const override { return 4; }

protected:
  bool Build(const int* v, TDateTime& r) const override {
    return TryEncodeDayOfWeekInMonth(v[0], v[1], v[2], v[3], r);
  }
};
KV_IMPLEMENT_CLASS(TExp_EncodeDayOfWeekInMonth, TDateBuildFunction)

// EncodeTime(Hour, Minute, Second, MilliSecond): a time of day (date part 0).
class TExp_EncodeTime : public TDateBuildFunction {
  KV_CLASS(TExp_EncodeTime, TDateBuildFunction)
public:
  int FixedParamCount() const override { return 4; }

protected:
  bool Build(const int* v, TDateTime& r) const override { return TryEncodeTime(v[0], v[1], v[2], v[3], r); }
  const char* BuildError(const int*) const override { return kTimeEncodeError; }
};
KV_IMPLEMENT_CLASS(TExp_EncodeTime, TDateBuildFunction)

// ---- End by number ---------------------------------------------------------------------------
// The last millisecond (23:59:59.999) of the day, month, week or year given.

// EndOfADay(Year, Month, Day) or EndOfADay(Year, DayOfYear).
class TExp_EndOfADay : public TDateStartOfFunction {
  KV_CLASS(TExp_EndOfADay, TDateStartOfFunction)
public:
  int FixedParamCount() const override { return 2; }
  int OptionalParamCount() const override { return 1; }

protected:
  bool Build(const int* v, TDateTime& r) const override {
    const bool ok = ArgCount() == 3 ? TryEncodeDate(v[0], v[1], v[2], r) : TryEncodeDateDay(v[0], v[1], r);
    if (ok) r = EndOfDayAt(r);
    return ok;
  }
};
KV_IMPLEMENT_CLASS(TExp_EndOfADay, TDateStartOfFunction)

// EndOfAMonth(Year, Month).
class TExp_EndOfAMonth : public TDateStartOfFunction {
  KV_CLASS(TExp_EndOfAMonth, TDateStartOfFunction)
public:
  int FixedParamCount() const override { return 2; }

protected:
  bool Build(const int* v, TDateTime& r) const override {
    if (!TryEncodeDate(v[0], v[1], 1, r)) return false;
    r = EndOfThePeriod(duMonth, r);
    return true;
  }
};
KV_IMPLEMENT_CLASS(TExp_EndOfAMonth, TDateStartOfFunction)

// EndOfAWeek(Year, WeekOfYear, DayOfWeek): the end of that day of the ISO week.
class TExp_EndOfAWeek : public TDateStartOfFunction {
  KV_CLASS(TExp_EndOfAWeek, TDateStartOfFunction)
public:
  int FixedParamCount() const override { return 3; }

protected:
  bool Build(const int* v, TDateTime& r) const override {
    if (!TryEncodeDateWeek(v[0], v[1], v[2], r)) return false;
    r = EndOfDayAt(r);
    return true;
  }
};
KV_IMPLEMENT_CLASS(TExp_EndOfAWeek, TDateStartOfFunction)

// EndOfAYear(Year).
class TExp_EndOfAYear : public TDateStartOfFunction {
  KV_CLASS(TExp_EndOfAYear, TDateStartOfFunction)
protected:
  bool Build(const int* v, TDateTime& r) const override {
    if (!TryEncodeDate(v[0], 12, 31, r)) return false;
    r = EndOfDayAt(r);
    return true;
  }
};
KV_IMPLEMENT_CLASS(TExp_EndOfAYear, TDateStartOfFunction)

// ---- End of the value's period ---------------------------------------------------------------

class TExp_EndOfTheDay : public TDateConvertFunction {
  KV_CLASS(TExp_EndOfTheDay, TDateConvertFunction)
protected:
  TDateTime Convert(TDateTime v) const override { return EndOfThePeriod(duDay, v); }
};
KV_IMPLEMENT_CLASS(TExp_EndOfTheDay, TDateConvertFunction)

class TExp_EndOfTheMonth : public TDateConvertFunction {
  KV_CLASS(TExp_EndOfTheMonth, TDateConvertFunction)
protected:
  TDateTime Convert(TDateTime v) const override { return EndOfThePeriod(duMonth, v); }
};
KV_IMPLEMENT_CLASS(TExp_EndOfTheMonth, TDateConvertFunction)

// EndOfTheWeek(date): Sunday 23:59:59.999 of the value's week.
class TExp_EndOfTheWeek : public TDateConvertFunction {
  KV_CLASS(TExp_EndOfTheWeek, TDateConvertFunction)
protected:
  TDateTime Convert(TDateTime v) const override { return EndOfThePeriod(duWeek, v); }
};
KV_IMPLEMENT_CLASS(TExp_EndOfTheWeek, TDateConvertFunction)

class TExp_EndOfTheYear : public TDateConvertFunction {
  KV_CLASS(TExp_EndOfTheYear, TDateConvertFunction)
protected:
  TDateTime Convert(TDateTime v) const override { return EndOfThePeriod(duYear, v); }
};
KV_IMPLEMENT_CLASS(TExp_EndOfTheYear, TDateConvertFunction)

// ---- Pattern ---------------------------------------------------------------------------------

// FormatDateTime(string Format, date X): X formatted by the pattern
// language of FormatDateTime (expression/DateTimeText.h) with the default
// settings.
class TExp_FormatDateTime : public TDateFunction<TFunction> {
  KV_CLASS(TExp_FormatDateTime, TFunction)
public:
  int FixedParamCount() const override { return 2; }
  TExpTypeSet ArgTypes(int index) const override { return index == 0 ? tsString : tsDate; }
  bool TransOverOK() override {
    DataType = etString;
    return true;
  }

protected:
  void Compute() override {
    TTextBuffer buffer;
    PutString(FormatDateTime(Arg(0)->GetText(buffer), DateArg(1)));
  }
};
KV_IMPLEMENT_CLASS(TExp_FormatDateTime, TFunction)

namespace {

const TFunctionBatchRegistrar g_functions{fbDateTime, 2, {
    {"EncodeDate", TExp_EncodeDate::StaticClass()},
    {"EncodeDateDay", TExp_EncodeDateDay::StaticClass()},
    {"EncodeDateMonthWeek", TExp_EncodeDateMonthWeek::StaticClass()},
    {"EncodeDateTime", TExp_EncodeDateTime::StaticClass()},
    {"EncodeDateWeek", TExp_EncodeDateWeek::StaticClass()},
    {"EncodeDayOfWeekInMonth", TExp_EncodeDayOfWeekInMonth::StaticClass()},
    {"EncodeTime", TExp_EncodeTime::StaticClass()},
    {"EndOfADay", TExp_EndOfADay::StaticClass()},
    {"EndOfAMonth", TExp_EndOfAMonth::StaticClass()},
    {"EndOfAWeek", TExp_EndOfAWeek::StaticClass()},
    {"EndOfAYear", TExp_EndOfAYear::StaticClass()},
    {"EndOfTheDay", TExp_EndOfTheDay::StaticClass()},
    {"EndOfTheMonth", TExp_EndOfTheMonth::StaticClass()},
    {"EndOfTheWeek", TExp_EndOfTheWeek::StaticClass()},
    {"EndOfTheYear", TExp_EndOfTheYear::StaticClass()},
    {"FormatDateTime", TExp_FormatDateTime::StaticClass()},
}};

}  // namespace

}  // namespace kv
