// Date-times as text: the pattern formatter and the readers.
#include <gtest/gtest.h>

#include "expression/DateTimeText.h"
#include "foundation/DateUtils.h"
#include "foundation/Exceptions.h"
#include "testsupport/Errors.h"

namespace kv {
namespace {

const TDateTime kSample = EncodeDateTime(2003, 5, 17, 8, 30, 5, 7);  // a Saturday
const TDateTime kEvening = EncodeDateTime(2003, 5, 17, 20, 5, 0, 0);

TEST(DateTimeFormat, Patterns) {
  EXPECT_EQ(FormatDateTime("YYYY.MM.DD hh:nn:ss", kSample), "2003.05.17 08:30:05");
  EXPECT_EQ(FormatDateTime("yy/m/d", kSample), "03-5-17");
  EXPECT_EQ(FormatDateTime("ddd dddd mmm mmmm", kSample), "Sat Saturday May May");
  EXPECT_EQ(FormatDateTime("h:n:s.z", kSample), "8:30:5.7");
  EXPECT_EQ(FormatDateTime("hh:nn:ss.zzz", kSample), "08:30:05.007");
  EXPECT_EQ(FormatDateTime("hh:mm", kSample), "08:30");  // mm after hh is minutes
  EXPECT_EQ(FormatDateTime("h:nn am/pm", kEvening), "8:05 pm");
  EXPECT_EQ(FormatDateTime("h:nn AM/PM", kSample), "8:30 AM");
  EXPECT_EQ(FormatDateTime("h a/p", kEvening), "8 p");
  EXPECT_EQ(FormatDateTime("hh ampm", kEvening), "08 PM");
  EXPECT_EQ(FormatDateTime("'yyyy' \"mm\" yyyy", kSample), "yyyy mm 2003");
  EXPECT_EQ(FormatDateTime("c", kSample), "2003-05-17 08:30:05");
  EXPECT_EQ(FormatDateTime("c", EncodeDate(2003, 5, 17)), "2003-05-17");
  EXPECT_EQ(FormatDateTime("", EncodeDate(2003, 5, 17)), "2003-05-17");
  EXPECT_EQ(FormatDateTime("ddddd | t | tt", kSample), "2003-05-17 | 08:30 | 08:30:05");
  EXPECT_EQ(FormatDateTime("hh", EncodeTime(0, 0, 0, 0)), "00");
  EXPECT_EQ(FormatDateTime("h am/pm", EncodeTime(0, 0, 0, 0)), "12 am");
  EXPECT_THROW(FormatDateTime("yyyy", 1E10), EConvertError);
}

TEST(DateTimeFormat, NestedPatternsDoNotRecurseForever) {
  TDateTimeSettings s;
  s.ShortDateFormat = "c";
  s.LongTimeFormat = "c";
  EXPECT_NO_THROW(FormatDateTime("c", kSample, s));
}

TEST(DateTimeFormat, StandardTexts) {
  EXPECT_EQ(DateTimeToStr(kSample), "2003-05-17 08:30:05");
  EXPECT_EQ(DateToStr(kSample), "2003-05-17");
  EXPECT_EQ(TimeToStr(kSample), "08:30:05");
}

TEST(DateTimeRead, Dates) {
  TDateTime d = 0;
  EXPECT_TRUE(TryStrToDate("2003-05-17", d));
  EXPECT_EQ(d, EncodeDate(2003, 5, 17));
  EXPECT_TRUE(TryStrToDate(" 2003/5/17 ", d));
  EXPECT_EQ(d, EncodeDate(2003, 5, 17));
  EXPECT_TRUE(TryStrToDate("2003.05.17", d));
  EXPECT_FALSE(TryStrToDate("2003-02-30", d));
  EXPECT_FALSE(TryStrToDate("2003-05-17x", d));
  EXPECT_FALSE(TryStrToDate("17", d));
  EXPECT_FALSE(TryStrToDate("", d));
  EXPECT_TRUE(TryStrToDate("5-17", d));  // this year
  EXPECT_EQ(MonthOf(d), 5);
  EXPECT_EQ(DayOf(d), 17);
  TDateTimeSettings dmy = PatternDateTimeSettings("dd/mm/yyyy", "hh:nn", '/', ':');
  EXPECT_TRUE(TryStrToDate("17/05/2003", d, dmy));
  EXPECT_EQ(d, EncodeDate(2003, 5, 17));
  EXPECT_FALSE(TryStrToDate("17-05-2003", d, dmy));
  EXPECT_TRUE(TryStrToDate("2003/05/17", d, dmy));  // a long first number starts a year
  EXPECT_EQ(d, EncodeDate(2003, 5, 17));
  TDateTimeSettings mdy = PatternDateTimeSettings("m/d/yy", "hh:nn", '/', ':');
  EXPECT_TRUE(TryStrToDate("5/17/03", d, mdy));
  EXPECT_EQ(d, EncodeDate(2003, 5, 17));
}

TEST(DateTimeRead, TimesAndDateTimes) {
  TDateTime t = 0;
  EXPECT_TRUE(TryStrToTime("08:30", t));
  EXPECT_EQ(t, EncodeTime(8, 30, 0, 0));
  EXPECT_TRUE(TryStrToTime("8:30:05.250", t));
  EXPECT_EQ(t, EncodeTime(8, 30, 5, 250));
  EXPECT_TRUE(TryStrToTime("8:30 PM", t));
  EXPECT_EQ(t, EncodeTime(20, 30, 0, 0));
  EXPECT_TRUE(TryStrToTime("12 am", t));
  EXPECT_EQ(t, 0);
  EXPECT_FALSE(TryStrToTime("25:00", t));
  EXPECT_FALSE(TryStrToTime("13:00 PM", t));
  EXPECT_FALSE(TryStrToTime("x", t));
  EXPECT_TRUE(TryStrToDateTime("2003-05-17 08:30:05", t));
  EXPECT_EQ(t, EncodeDateTime(2003, 5, 17, 8, 30, 5, 0));
  EXPECT_TRUE(TryStrToDateTime("2003-05-17", t));
  EXPECT_EQ(t, EncodeDate(2003, 5, 17));
  EXPECT_TRUE(TryStrToDateTime("08:30", t));
  EXPECT_EQ(t, EncodeTime(8, 30, 0, 0));
  EXPECT_FALSE(TryStrToDateTime("2003-05-17 08:30 later", t));
  EXPECT_THROW(StrToDateTime("nonsense"), EConvertError);
  EXPECT_THROW(StrToDate("08:30"), EConvertError);
  EXPECT_THROW(StrToTime("2003-05-17"), EConvertError);
  EXPECT_EQ(kvtest::ErrorOf<EConvertError>([] { StrToDate("abc"); }), "'abc' is not a valid date");
}

TEST(DateTimeRead, SeparatorsInText) {
  EXPECT_TRUE(HasDateSeparator("2003-05-17"));
  EXPECT_TRUE(HasDateSeparator("1.5"));
  EXPECT_FALSE(HasDateSeparator("08:30"));
  EXPECT_TRUE(HasTimeSeparator("08:30"));
  EXPECT_FALSE(HasTimeSeparator("2003-05-17"));
}

}  // namespace
}  // namespace kv
