// The date and time functions: their registration (names, order, argument
// counts and types, result types), the clock functions that must not be
// folded, and bad arguments of every kind. The results of ordinary calls are
// rows of data/functions_datetime.txt.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ExpTestUtil.h"
#include "expression/DateTimeText.h"
#include "expression/FunctionList.h"
#include "expression/Translator.h"
#include "foundation/DateUtils.h"
#include "foundation/Exceptions.h"

namespace kv {
namespace {

// One function as documented: argument kinds (d date, i integer only,
// n number, s string only, c character only; optional ones after '['),
// and the result type.
struct DateFunctionDef {
  const char* name;
  const char* args;
  TExpDataType result;
};

// The batch in its registration order.
const DateFunctionDef kDateFunctions[] = {
    {"CompareDate", "dd", etInteger},
    {"CompareDateTime", "dd", etInteger},
    {"CompareTime", "dd", etInteger},
    {"CurrentYear", "", etInteger},
    {"Date", "", etDateTime},
    {"DateOf", "d", etDateTime},
    {"DateTimeToStr", "d[s", etString},
    {"DateToStr", "d[s", etString},
    {"DayOf", "d", etInteger},
    {"DayOfTheMonth", "d", etInteger},
    {"DayOfTheWeek", "d", etInteger},
    {"DayOfTheYear", "d", etInteger},
    {"DaysBetween", "dd", etInteger},
    {"DaysInAMonth", "nn", etInteger},
    {"DaysInAYear", "n", etInteger},
    {"DaysInMonth", "d", etInteger},
    {"DaysInYear", "d", etInteger},
    {"DaySpan", "dd", etReal},
    {"EncodeDate", "iii", etDateTime},
    {"EncodeDateDay", "ii", etDateTime},
    {"EncodeDateMonthWeek", "iiii", etDateTime},
    {"EncodeDateTime", "iiiiiii", etDateTime},
    {"EncodeDateWeek", "iii", etDateTime},
    {"EncodeDayOfWeekInMonth", "iiii", etDateTime},
    {"EncodeTime", "iiii", etDateTime},
    {"EndOfADay", "ii[i", etDateTime},
    {"EndOfAMonth", "ii", etDateTime},
    {"EndOfAWeek", "iii", etDateTime},
    {"EndOfAYear", "i", etDateTime},
    {"EndOfTheDay", "d", etDateTime},
    {"EndOfTheMonth", "d", etDateTime},
    {"EndOfTheWeek", "d", etDateTime},
    {"EndOfTheYear", "d", etDateTime},
    {"FormatDateTime", "sd", etString},
    {"HourOf", "d", etInteger},
    {"HourOfTheDay", "d", etInteger},
    {"HourOfTheMonth", "d", etInteger},
    {"HourOfTheWeek", "d", etInteger},
    {"HourOfTheYear", "d", etInteger},
    {"HoursBetween", "dd", etInteger},
    {"HourSpan", "dd", etReal},
    {"IncDay", "di", etDateTime},
    {"IncHour", "di", etDateTime},
    {"IncMilliSecond", "di", etDateTime},
    {"IncMinute", "di", etDateTime},
    {"IncMonth", "di", etDateTime},
    {"IncSecond", "di", etDateTime},
    {"IncWeek", "di", etDateTime},
    {"IncYear", "di", etDateTime},
    {"IsInLeapYear", "d", etBoolean},
    {"IsPM", "d", etBoolean},
    {"IsSameDay", "dd", etBoolean},
    {"IsToday", "d", etBoolean},
    {"MilliSecondOf", "d", etInteger},
    {"MilliSecondOfTheDay", "d", etInteger},
    {"MilliSecondOfTheHour", "d", etInteger},
    {"MilliSecondOfTheMinute", "d", etInteger},
    {"MilliSecondOfTheMonth", "d", etInteger},
    {"MilliSecondOfTheSecond", "d", etInteger},
    {"MilliSecondOfTheWeek", "d", etInteger},
    {"MilliSecondOfTheYear", "d", etInteger},
    {"MilliSecondsBetween", "dd", etInteger},
    {"MilliSecondSpan", "dd", etReal},
    {"MinuteOf", "d", etInteger},
    {"MinuteOfTheDay", "d", etInteger},
    {"MinuteOfTheHour", "d", etInteger},
    {"MinuteOfTheMonth", "d", etInteger},
    {"MinuteOfTheWeek", "d", etInteger},
    {"MinuteOfTheYear", "d", etInteger},
    {"MinutesBetween", "dd", etInteger},
    {"MinuteSpan", "dd", etReal},
    {"MonthOf", "d", etInteger},
    {"MonthOfTheYear", "d", etInteger},
    {"MonthsBetween", "dd", etInteger},
    {"MonthSpan", "dd", etReal},
    {"Now", "", etDateTime},
    {"RecodeDate", "diii", etDateTime},
    {"RecodeDateTime", "diiiiiii", etDateTime},
    {"RecodeDay", "di", etDateTime},
    {"RecodeHour", "di", etDateTime},
    {"RecodeMilliSecond", "di", etDateTime},
    {"RecodeMinute", "di", etDateTime},
    {"RecodeMonth", "di", etDateTime},
    {"RecodeSecond", "di", etDateTime},
    {"RecodeTime", "diiii", etDateTime},
    {"RecodeYear", "di", etDateTime},
    {"SameDate", "dd", etBoolean},
    {"SameDateTime", "dd", etBoolean},
    {"SameTime", "dd", etBoolean},
    {"SecondOf", "d", etInteger},
    {"SecondOfTheDay", "d", etInteger},
    {"SecondOfTheHour", "d", etInteger},
    {"SecondOfTheMinute", "d", etInteger},
    {"SecondOfTheMonth", "d", etInteger},
    {"SecondOfTheWeek", "d", etInteger},
    {"SecondOfTheYear", "d", etInteger},
    {"SecondsBetween", "dd", etInteger},
    {"SecondSpan", "dd", etReal},
    {"StartOfADay", "ii[i", etDateTime},
    {"StartOfAMonth", "ii", etDateTime},
    {"StartOfAWeek", "iii", etDateTime},
    {"StartOfAYear", "i", etDateTime},
    {"StartOfTheDay", "d", etDateTime},
    {"StartOfTheMonth", "d", etDateTime},
    {"StartOfTheWeek", "d", etDateTime},
    {"StartOfTheYear", "d", etDateTime},
    {"StrToDate", "s[sc", etDateTime},
    {"StrToDateTime", "s[scc", etDateTime},
    {"StrToTime", "s[sc", etDateTime},
    {"Time", "", etDateTime},
    {"TimeOf", "d", etDateTime},
    {"TimeToStr", "d[s", etString},
    {"Today", "", etDateTime},
    {"Tomorrow", "", etDateTime},
    {"WeekOf", "d", etInteger},
    {"WeekOfTheMonth", "d", etInteger},
    {"WeekOfTheYear", "d", etInteger},
    {"WeeksBetween", "dd", etInteger},
    {"WeekSpan", "dd", etReal},
    {"WeeksInYear", "d", etInteger},
    {"WithinPastDays", "ddi", etBoolean},
    {"WithinPastHours", "ddi", etBoolean},
    {"WithinPastMilliSeconds", "ddi", etBoolean},
    {"WithinPastMinutes", "ddi", etBoolean},
    {"WithinPastMonths", "ddi", etBoolean},
    {"WithinPastSeconds", "ddi", etBoolean},
    {"WithinPastWeeks", "ddi", etBoolean},
    {"WithinPastYears", "ddi", etBoolean},
    {"YearOf", "d", etInteger},
    {"YearsBetween", "dd", etInteger},
    {"YearSpan", "dd", etReal},
    {"Yesterday", "", etDateTime},
};

// The argument kinds of a definition without the '[' marker.
std::string Kinds(const DateFunctionDef& f) {
  std::string k;
  for (const char* p = f.args; *p; ++p)
    if (*p != '[') k += *p;
  return k;
}

int FixedCount(const DateFunctionDef& f) {
  int n = 0;
  for (const char* p = f.args; *p && *p != '['; ++p) ++n;
  return n;
}

TExpTypeSet KindTypes(char kind) {
  switch (kind) {
    case 'd': return tsDate;
    case 'i': return tsInteger;
    case 'n': return tsNum;
    case 's': return tsString;
    default: return tsChar;
  }
}

TEST(DateTimeFunctions, TheBatchHoldsEveryNameInItsOrder) {
  const std::vector<TFunctionDef> batch = FunctionBatch(fbDateTime);
  constexpr size_t kCount = sizeof kDateFunctions / sizeof kDateFunctions[0];
  static_assert(kCount == 132);
  ASSERT_EQ(batch.size(), kCount);
  for (size_t i = 0; i < kCount; ++i) EXPECT_STREQ(batch[i].Name, kDateFunctions[i].name) << "entry " << i;
}

TEST(DateTimeFunctions, ArgumentCountsTypesAndResults) {
  TFunctionList list;
  RegisterFunctionBatch(list, fbDateTime);
  for (const DateFunctionDef& def : kDateFunctions) {
    SCOPED_TRACE(def.name);
    std::unique_ptr<TFunction> f = list.CreateFunction(def.name);
    ASSERT_NE(f, nullptr);
    const std::string kinds = Kinds(def);
    EXPECT_EQ(f->FixedParamCount(), FixedCount(def));
    EXPECT_EQ(f->FixedParamCount() + f->OptionalParamCount(), static_cast<int>(kinds.size()));
    for (size_t i = 0; i < kinds.size(); ++i) EXPECT_EQ(f->ArgTypes(static_cast<int>(i)), KindTypes(kinds[i])) << i;
    EXPECT_TRUE(f->TransOverOK());
    EXPECT_EQ(f->DataType, def.result);
  }
}

TEST(DateTimeFunctions, DatesRefuseUntypedValuesAndTexts) {
  kvtest::ResetThreadWithVariables();
  for (const char* text : {"DayOf(d)", "DayOf('2003-05-17')", "IncDay(ToTime(d), i)", "EncodeDate(2003, 5, 17.0)",
                           "FormatDateTime('c', ToTime(d))", "StrToDate(ToStr(d), 'yyyy', '--')"}) {
    EXPECT_EQ(TranslateExp(text), nullptr) << text;
    EXPECT_EQ(GetTranslateStatus(), trTypeMismatch) << text;
  }
}

// ---- The clock -------------------------------------------------------------------------

TEST(DateTimeFunctions, ClockFunctionsAreReadOnceAtTranslation) {
  kvtest::ResetThreadWithVariables();
  for (const char* text : {"Now()", "Time()", "Date()", "Today()", "Tomorrow()", "Yesterday()", "CurrentYear()",
                           "IsToday(Now())", "IsToday(EncodeDate(2003, 5, 17))", "Now() + 1", "DateTimeToStr(Now())",
                           "EncodeDate(2003, 5, 17)", "DayOf(37758)", "FormatDateTime('yyyy', 37758)"}) {
    std::unique_ptr<TExpression> e = kvtest::MustTranslate(text);
    ASSERT_NE(e, nullptr) << text;
    EXPECT_EQ(e->ClassType(), TExpression::StaticClass()) << text << " was not folded into a constant";
  }
  // A clock function of a variable follows the variable.
  std::unique_ptr<TExpression> e = kvtest::MustTranslate("IsToday(ToTime(d))");
  ASSERT_NE(e, nullptr);
  EXPECT_NE(e->ClassType(), TExpression::StaticClass());
}

TEST(DateTimeFunctions, NowKeepsTheTimeOfTranslation) {
  kvtest::ResetThreadWithVariables();
  std::unique_ptr<TExpression> e = kvtest::MustTranslate("Now()");
  ASSERT_NE(e, nullptr);
  e->Evaluate(1);
  const TDateTime first = e->GetDateTime();
  EXPECT_LE(std::fabs(first - Now()), 1.0 / 86400);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  e->Evaluate(2);
  EXPECT_EQ(e->GetDateTime(), first);
}

TEST(DateTimeFunctions, ClockValuesAgree) {
  kvtest::ResetThreadWithVariables();
  EXPECT_EQ(kvtest::Eval("DaysBetween(Today(), Date())"), "etInteger 0");
  EXPECT_EQ(kvtest::Eval("CurrentYear() = YearOf(Today())"), "etBoolean Yes");
  EXPECT_EQ(kvtest::Eval("HoursBetween(Now(), IncMilliSecond(Date(), MilliSecondOfTheDay(Time()))) = 0"),
            "etBoolean Yes");
  EXPECT_EQ(kvtest::Eval("DaysBetween(Tomorrow(), Today())"), "etInteger 1");
}

// ---- Bad arguments ------------------------------------------------------------------------

// A constant of the kind an argument takes, holding an extreme value.
std::unique_ptr<TExpression> ExtremeArg(char kind, int variant) {
  static const double kDates[] = {std::numeric_limits<double>::quiet_NaN(),
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  1e300,
                                  -1e300,
                                  MaxDateTime,
                                  MinDateTime,
                                  MaxDateTime + 1,
                                  -0.5,
                                  0};
  static const int64_t kInts[] = {std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::min(),
                                  2147483648LL, -2147483648LL, -1, 0, 1, 9999, 10000, 366};
  static const char* const kTexts[] = {"", "'", "\"", "yyyy'", "c c c", "dddddd", "hh am/pm", "99-99-99",
                                       "2003-05-17 08:30", "\xff\xfe"};
  const int v = variant % 10;
  switch (kind) {
    case 'd':
    case 'n': return CreateDateTimeExp(kDates[v]);
    case 'i': return CreateIntExp(kInts[v]);
    case 's': {
      auto e = std::make_unique<TExpression>();
      e->DataType = etString;
      e->SetStrValue(kTexts[v]);
      return e;
    }
    default: return CreateStrExp(v % 2 ? std::string_view("-") : std::string_view("\0", 1));
  }
}

TEST(DateTimeFunctions, ExtremeArgumentsGiveAResultOrAConversionError) {
  TFunctionList list;
  RegisterFunctionBatch(list, fbDateTime);
  std::mt19937 random(20030517);
  int32_t stamp = 0;
  for (const DateFunctionDef& def : kDateFunctions) {
    const std::string kinds = Kinds(def);
    for (int round = 0; round < 60; ++round) {
      std::unique_ptr<TFunction> f = list.CreateFunction(def.name);
      ASSERT_NE(f, nullptr);
      const size_t count = FixedCount(def) + random() % (kinds.size() - FixedCount(def) + 1);
      for (size_t i = 0; i < count; ++i) {
        std::unique_ptr<TExpression> a = ExtremeArg(kinds[i], static_cast<int>(random() % 1000));
        if (kinds[i] == 'd' && a->DataType == etDateTime && random() % 3 == 0) a = CreateRealExp(a->GetReal());
        ASSERT_TRUE(f->SetSubExp(static_cast<int>(i), std::move(a))) << def.name;
      }
      ASSERT_TRUE(f->TransOverOK());
      try {
        f->Evaluate(++stamp);
      } catch (const EConvertError& e) {
        EXPECT_FALSE(e.Message().empty());
        EXPECT_LT(e.Message().size(), 400u) << e.Message();
        EXPECT_NE(e.Message().find(def.name), std::string::npos) << e.Message();
      }
    }
  }
}

TEST(DateTimeFunctions, ErrorsNameTheCall) {
  kvtest::ResetThreadWithVariables();
  EXPECT_EQ(kvtest::Eval("EncodeDate(2023, 2, 29)"),
            "EXCEPTION Invalid argument to date encode: EncodeDate(2023, 2, 29)");
  EXPECT_EQ(kvtest::Eval("RecodeDay(ToTime(d), 32)"),
            "EXCEPTION Invalid argument to date recode: RecodeDay(2003.05.17 08:30:00, 32)");
  EXPECT_EQ(kvtest::Eval("IncYear(ToTime(d), 2000000000)"),
            "EXCEPTION Date-time result is out of range: IncYear(2003.05.17 08:30:00, 2000000000)");
  // An error raised below a function is not dressed twice.
  EXPECT_EQ(kvtest::Eval("DayOf(EncodeDate(2023, 2, 29))"),
            "EXCEPTION Invalid argument to date encode: EncodeDate(2023, 2, 29)");
  try {
    kvtest::ResetThreadWithVariables();
    std::unique_ptr<TExpression> e = kvtest::MustTranslate("EncodeDate(ToInt(i) + 2016, 2, 29)");
    ASSERT_NE(e, nullptr);
    e->Evaluate(1);
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Invalid argument to date encode: EncodeDate(2023, 2, 29)");
  }
}

TEST(DateTimeFunctions, LongTextsAreCutInMessages) {
  kvtest::ResetThreadWithVariables();
  const std::string garbage(100000, 'g');
  const std::string got = kvtest::Eval("StrToDate('" + garbage + "')");
  EXPECT_EQ(got.rfind("EXCEPTION '", 0), 0u);
  EXPECT_LT(got.size(), 300u);
}

// `pattern` as a literal of the expression language.
std::string Literal(const std::string& pattern) {
  std::string r = "'";
  for (char c : pattern) {
    r += c;
    if (c == '\'') r += c;
  }
  return r + "'";
}

TEST(DateTimeFunctions, HugePatternsFailOrFinishQuickly) {
  kvtest::ResetThreadWithVariables();
  const auto start = std::chrono::steady_clock::now();
  // 10 MB of plain text: longer than any formatted text may be.
  std::string got = kvtest::Eval("FormatDateTime(" + Literal(std::string(10 << 20, 'x')) + ", 37758)");
  EXPECT_EQ(got.rfind("EXCEPTION The formatted date-time text would be longer than", 0), 0u) << got.substr(0, 200);
  // 10 MB of empty literals make nothing.
  std::string empties;
  for (int i = 0; i < (5 << 20); ++i) empties += "\"\"";
  got = kvtest::Eval("FormatDateTime(" + Literal(empties) + ", 37758)");
  EXPECT_EQ(got, "etString ");
  // An unterminated quote runs to the end of a 10 MB pattern.
  got = kvtest::Eval("FormatDateTime(" + Literal("yyyy\"" + std::string(10 << 20, 'y')) + ", 37758)");
  EXPECT_EQ(got.rfind("EXCEPTION The formatted date-time text would be longer than", 0), 0u) << got.substr(0, 200);
  // A date pattern naming itself a million times: its text is made once.
  std::string selfish;
  for (int i = 0; i < (1 << 20); ++i) selfish += "c''";
  got = kvtest::Eval("DateToStr(37758, " + Literal(selfish) + ")");
  EXPECT_EQ(got, "etString ");
  // A pattern of hour tokens each looking ahead for am/pm.
  std::string hours;
  for (int i = 0; i < (1 << 20); ++i) hours += "h\"'\"";
  got = kvtest::Eval("FormatDateTime(" + Literal(hours) + ", 37758.5)");
  EXPECT_EQ(got.rfind("EXCEPTION The formatted date-time text would be longer than", 0), 0u) << got.substr(0, 200);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST(DateTimeFunctions, ReadingGarbageNeverCrashes) {
  std::mt19937 random(17);
  const TDateTimeSettings compact = PatternDateTimeSettings("yyyymmdd", "hh:nn", 0, ':');
  for (int round = 0; round < 20000; ++round) {
    std::string text(random() % 24, ' ');
    for (char& c : text) c = "0123456789-/.: apmAPMx\t"[random() % 23];
    for (const TDateTimeSettings* st : {&DefaultDateTimeSettings(), &compact}) {
      TDateTime r = 0;
      if (TryStrToDateTime(text, r, *st)) {
        EXPECT_GE(r, MinDateTime - 1) << text;
        EXPECT_LE(r, MaxDateTime) << text;
      }
      TryStrToDate(text, r, *st);
      TryStrToTime(text, r, *st);
    }
  }
}

}  // namespace
}  // namespace kv
