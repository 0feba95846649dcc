#include "editors/FunctionTemplates.h"

namespace kv {

namespace {

// Div and Mod separate their parameters with a full-width comma (U+FF0C).
std::vector<const char*> NumberTemplates() {
  return {"Abs(x)", "ArcCos(x)", "ArcCosh(x)", "ArcCot(x)", "ArcCotH(x)", "ArcCsc(x)", "ArcCscH(x)",
          "ArcSec(x)", "ArcSecH(x)", "ArcSin(x)", "ArcSinh(x)", "ArcTan(x)", "ArcTan2(y/x)", "ArcTanh(x)",
          "Ceil(x)", "CompareValue(a,b)", "Cos(x)", "Cosecant(x)", "Cosh(x)", "Cot(x)", "Cotan(x)", "CotH(x)",
          "Csc(x)", "CscH(x)", "Div (Dividend\xEF\xBC\x8C" "Divisor)", "Exp(x)", "Floor(x)", "Frac(x)",
          "Hypot(x,y)", "InRange(AValue, AMin, AMax)", "Int(x)", "Ln(x)", "Log10(x)", "Log2(x)", "LogN(base, x)",
          "Max(A,B)", "Min(A,B)", "Mod (Dividend\xEF\xBC\x8C" "Divisor)", "Neg(x)", "Order(x)", "Pi()",
          "Random(x)", "Round(x)", "Trunc(x)", "Sec(x)", "Secant(x)", "SecH(x)", "Sin(x)", "Sinh(x)", "Sqr(x)",
          "Sqrt(x)", "Tan(x)", "Tanh(x)"};
}

std::vector<const char*> CharacterTemplates() {
  return {"ASC(S)", "ChrS(S,num)", "CompareStr(S1, S2)", "CompareText(S1, S2)",
          "Concat(S1 , S2,[, S3,..., Sn])", "Copy(S, Index, Count)", "Delete(S, Index, Count)",
          "Insert(Source ,S, Index)", "LTrim(S)", "LeftStr(AText, ACount)", "Length(S)", "Lower(S)",
          "MidStr(S,Start, Count)", "Pos(Substr,S)", "RightStr(AText, ACount)", "RPos(C ,S)", "RTrim(S)",
          "SameText(S1, S2)", "SubS(S, Index, Count)", "Trim(S)", "UpLower(S)", "Upper(S)", "WideSameStr(S1, S2)",
          "WideSameText(S1, S2)", "WideUpperCase(S)", "WideLowerCase(S)", "WideCompareStr(S1, S2)",
          "WideCompareText(S1, S2)"};
}

std::vector<const char*> ConversionTemplates() {
  return {"FloatToStr(Value)", "FormatFloat(Format,Value)", "IntToHex(Value, Digits)", "IntToStr(Value)",
          "StrToFloat(Value)", "ToBool(Value)", "ToChar(Value)", "ToInt(Value)", "ToReal(Value)", "ToStr(Value)",
          "ToTime(Value)"};
}

// Parameter names follow the functions' arguments: AValue for one
// date-time, (ANow, AThen) for the between and span functions.
std::vector<const char*> DateTemplates() {
  return {"CompareDate(A,B)", "CompareDateTime(A,B)", "CompareTime(A,B)", "CurrentYear()", "Date()",
          "DateOf(AValue)", "DateTimeToStr(DateTime, Format)", "DateToStr(DateTime, Format)", "DayOf(AValue)",
          "DayOfTheMonth(AValue)", "DayOfTheWeek(AValue)", "DayOfTheYear(AValue)", "DaysBetween(ANow, AThen)",
          "DaysInAMonth(AYear, AMonth)", "DaysInAYear(AYear)", "DaysInMonth(AValue)", "DaysInYear(AValue)",
          "DaySpan(ANow, AThen)", "EncodeDate(Year, Month, Day)", "EncodeDateDay(AYear, ADayOfYear)",
          "EncodeDateMonthWeek(AYear, AMonth, AWeekOfMonth,ADayOfWeek)",
          "EncodeDateTime( AYear, AMonth, ADay, AHour, AMinute, ASecond, AMilliSecond)",
          "EncodeDateWeek(AYear, AWeekOfYear, ADayOfWeek)",
          "EncodeDayOfWeekInMonth(AYear, AMonth, ANthDayOfWeek, ADayOfWeek)", "EncodeTime(Hour, Min, Sec, MSec)",
          "EndOfADay(AYear, ADayOfYear)", "EndOfAMonth(AYear, AMonth)", "EndOfAWeek(AYear, AWeekOfYear)",
          "EndOfAYear(AYear)", "EndOfTheDay(AValue)", "EndOfTheMonth(AValue)", "EndOfTheWeek(AValue)",
          "EndOfTheYear(AValue)", "FormatDateTime(Format, DateTime)", "HourOf(AValue)", "HourOfTheDay(AValue)",
          "HourOfTheMonth(AValue)", "HourOfTheWeek(AValue)", "HourOfTheYear(AValue)", "HoursBetween(ANow, AThen)",
          "HourSpan(ANow, AThen)", "IncDay(AValue, ANumberOfDays)", "IncHour(AValue, ANumberOfHours)",
          "IncMilliSecond(AValue, ANumberOfMilliSeconds)", "IncMinute(AValue, ANumberOfMinutes)",
          "IncMonth(AValue, A NumberOfMonths)", "IncSecond(AValue, ANumberOfSeconds)",
          "IncWeek(AValue, ANumberOfWeeks)", "IncYear(AValue, ANumberOfYears)", "IsInLeapYear(AValue)",
          "IsPM(AValue)", "IsSameDay(AValue, ABasis)", "IsToday(AValue)", "MilliSecondOf(AValue)",
          "MilliSecondOfTheDay(AValue)", "MilliSecondOfTheHour(AValue)", "MilliSecondOfTheMinute(AValue)",
          "MilliSecondOfTheMonth(AValue)", "MilliSecondOfTheSecond(AValue)", "MilliSecondOfTheWeek(AValue)",
          "MilliSecondOfTheYear(AValue)", "MilliSecondsBetween(ANow, AThen)", "MilliSecondSpan(ANow, AThen)",
          "MinuteOf(AValue)", "MinuteOfTheDay(AValue)", "MinuteOfTheHour(AValue)", "MinuteOfTheMonth(AValue)",
          "MinuteOfTheWeek(AValue)", "MinuteOfTheYear(AValue)", "MinutesBetween(ANow, AThen)",
          "MinuteSpan(ANow, AThen)", "MonthOf(AValue)", "MonthOfTheYear(AValue)", "MonthsBetween(ANow, AThen)",
          "MonthSpan(ANow, AThen)", "Now()", "RecodeDate(AValue, AYear, AMonth, ADay)",
          "RecodeDateTime(AValue, AYear, AMonth, ADay, AHour, AMinute, ASecond, AMilliSecond)",
          "RecodeDay(AValue, ADay)", "RecodeHour(AValue, AHour)", "RecodeMilliSecond(AValue, AMilliSecond)",
          "RecodeMinute(AValue, AMinute)", "RecodeMonth(AValue, AMonth)", "RecodeSecond(AValue, ASecond)",
          "RecodeTime(AValue, AHour, AMinute, ASecond, AMilliSecond)", "RecodeYear(AValue, AYear)",
          "SameDate(A, B)", "SameDateTime(A, B)", "SameTime(A, B)", "SecondOf(AValue)", "SecondOfTheDay(AValue)",
          "SecondOfTheHour(AValue)", "SecondOfTheMinute(AValue)", "SecondOfTheMonth(AValue)",
          "SecondOfTheWeek(AValue)", "SecondOfTheYear(AValue)", "SecondsBetween(ANow, AThen)",
          "SecondSpan(ANow, AThen)", "StartOfADay(AYear, ADayOfYear)", "StartOfAMonth(AYear, AMonth)",
          "StartOfAWeek(AYear, AWeekOfYear)", "StartOfAYear(AYear)", "StartOfTheDay(AValue)",
          "StartOfTheMonth(AValue)", "StartOfTheWeek(AValue)", "StartOfTheYear(AValue)",
          "StrToDate(DateTime, [Format, DateSeparator])",
          "StrToDateTime(DateTime, [Format, DateSeparator, TimeSeparator])",
          "StrToTime(Time, [Format, TimeSeparator])", "Time()", "TimeOf(AValue)", "TimeToStr(DateTime, Formats)",
          "Today()", "Tomorrow()", "WeekOf(AValue)", "WeekOfTheMonth(AValue)", "WeekOfTheYear(AValue)",
          "WeeksBetween(ANow, AThen)", "WeekSpan(ANow, AThen)", "WeeksInYear(AValue)",
          "WithinPastDays(ANow, AThen, ADays)", "WithinPastHours(ANow, AThen, AHours)",
          "WithinPastMilliSeconds(ANow, AThen, AMilliSeconds)", "WithinPastMinutes(ANow, AThen, AMinutes)",
          "WithinPastMonths(ANow, AThen, AMonths)", "WithinPastSeconds(ANow, AThen, ASeconds)",
          "WithinPastWeeks(ANow, AThen, AWeeks)", "WithinPastYears(ANow, AThen, AYears)", "YearOf(AValue)",
          "YearsBetween(ANow, AThen)", "YearSpan(ANow, AThen)", "Yesterday()"};
}

std::vector<const char*> MiscellaneousTemplates() {
  return {"Beep()",
          "Case(expr-1, value -1[,...,expr-n, value-n,DefaultExp])",
          "Decode(expr, choice_1,value_1[,...,expr_n,value_n [,DefaultExp]])",
          "Iif(expr, truepart, falsepart)",
          "Like(S,Partten)",
          "LikeAny(S,Partten1[,Partten2,..., Parttenn])",
          "Not(Value)",
          "Void([exp1,exp2,..,exp10])"};
}

std::vector<const char*> DatabaseTemplates() {
  return {"RecordNum(Dataset)", "RecordCount(Dataset)", "DBEOF(Dataset)", "DBBOF(Dataset)",
          "FieldValue(Dataset, FieldName)", "FieldCount(Dataset)", "FieldName(Dataset, FieldName)",
          "FieldLen(Dataset, FieldName)", "FieldDec(Dataset, FieldName)", "FieldPriorValue(Dataset,FieldName)",
          "FieldNextValue(Dataset,FieldName)"};
}

}  // namespace

const std::vector<TFunctionCategory>& FunctionCategories() {
  static const std::vector<TFunctionCategory> categories = {
      {"Number function", NumberTemplates()},
      {"Character function", CharacterTemplates()},
      {"Conversion function", ConversionTemplates()},
      {"Date function", DateTemplates()},
      {"Miscellaneous function", MiscellaneousTemplates()},
      {"Database function", DatabaseTemplates()},
  };
  return categories;
}

}  // namespace kv
