// The pattern language of FormatDateTime, the reading of dates and times,
// and the calendar helpers behind the date functions.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "expression/DateTimeText.h"
#include "foundation/DateUtils.h"
#include "foundation/Exceptions.h"
#include "testsupport/Errors.h"

namespace kv {
namespace {

const TDateTime kSat = EncodeDateTime(2003, 5, 17, 8, 30, 5, 7);    // a Saturday morning
const TDateTime kEve = EncodeDateTime(2003, 5, 17, 20, 5, 9, 450);  // the same evening
const TDateTime kNoon = EncodeDateTime(2003, 5, 17, 12, 0, 0, 0);
const TDateTime kMidnight = EncodeDate(2003, 5, 17);

std::string F(const char* pattern, TDateTime v) { return FormatDateTime(pattern, v); }

// ---- Pattern language -------------------------------------------------------------------

TEST(DateTimePattern, YearMonthDay) {
  EXPECT_EQ(F("y yy yyy yyyy yyyyy", kSat), "03 03 2003 2003 2003");
  EXPECT_EQ(F("m mm mmm mmmm mmmmm", kSat), "5 05 May May May");
  EXPECT_EQ(F("d dd ddd dddd", kSat), "17 17 Sat Saturday");
  EXPECT_EQ(F("ddddd", kSat), "2003-05-17");
  EXPECT_EQ(F("dddddd", kSat), "Saturday, May 17, 2003");
  EXPECT_EQ(F("ddddddd", kSat), "Saturday, May 17, 2003");
  EXPECT_EQ(F("d/m/yyyy", EncodeDate(1, 1, 1)), "1-1-0001");
  EXPECT_EQ(F("yy", EncodeDate(2000, 3, 1)), "00");
  EXPECT_EQ(F("mmmm", EncodeDate(2003, 9, 1)), "September");
  EXPECT_EQ(F("dddd", EncodeDate(2003, 5, 18)), "Sunday");
  EXPECT_EQ(F("dddd", EncodeDate(2003, 5, 19)), "Monday");
}

TEST(DateTimePattern, LettersIgnoreCaseButRunsDoNot) {
  EXPECT_EQ(F("YYYY-MM-DD HH:NN:SS", kSat), "2003-05-17 08:30:05");
  EXPECT_EQ(F("Yy", kSat), "0303");  // two runs of one letter each
  EXPECT_EQ(F("Mm", kSat), "55");
  EXPECT_EQ(F("DDDD", kSat), "Saturday");
}

TEST(DateTimePattern, TimeParts) {
  EXPECT_EQ(F("h:n:s.z", kSat), "8:30:5.7");
  EXPECT_EQ(F("hh:nn:ss.zzz", kSat), "08:30:05.007");
  EXPECT_EQ(F("hhh nnn sss zz zzzz", kSat), "08 30 05 07 007");
  EXPECT_EQ(F("hh:nn:ss.zzz", kEve), "20:05:09.450");
  EXPECT_EQ(F("t", kSat), "08:30");
  EXPECT_EQ(F("tt", kSat), "08:30:05");
}

TEST(DateTimePattern, MAfterAnHourIsMinutes) {
  EXPECT_EQ(F("hh:mm", kSat), "08:30");
  EXPECT_EQ(F("h m", kSat), "8 30");
  EXPECT_EQ(F("hh'h'mm", kSat), "08h30");    // quotes do not break the link
  EXPECT_EQ(F("h x m", kSat), "8 x 5");       // another letter between does
  EXPECT_EQ(F("mm/dd hh", kSat), "05-17 08");  // before the hour it is the month
  EXPECT_EQ(F("hh:nn mm", kSat), "08:30 05");  // the n in between is the last letter
}

TEST(DateTimePattern, HalfDays) {
  EXPECT_EQ(F("h:nn am/pm", kEve), "8:05 pm");
  EXPECT_EQ(F("h:nn AM/PM", kSat), "8:30 AM");
  EXPECT_EQ(F("h:nn Am/Pm", kEve), "8:05 Pm");
  EXPECT_EQ(F("h a/p", kEve), "8 p");
  EXPECT_EQ(F("h A/P", kSat), "8 A");
  EXPECT_EQ(F("hh ampm", kEve), "08 PM");
  EXPECT_EQ(F("h am/pm", kNoon), "12 pm");
  EXPECT_EQ(F("h am/pm", kMidnight), "12 am");
  EXPECT_EQ(F("h am/pm", EncodeTime(11, 59, 59, 999)), "11 am");
  // Without a half-day token the clock has 24 hours; the token only counts
  // up to the next hour.
  EXPECT_EQ(F("h", kEve), "20");
  EXPECT_EQ(F("h h am/pm", kEve), "20 8 pm");
  EXPECT_EQ(F("h 'am/pm'", kEve), "20 am/pm");
  EXPECT_EQ(F("h \"it's\" am/pm", kEve), "8 it's pm");  // quote pairs as Append reads them
  EXPECT_EQ(F("a", kEve), "a");                        // no token: copied
  EXPECT_EQ(F("aaa aaaa", kSat), "Sat Saturday");
}

TEST(DateTimePattern, SeparatorsAndLiterals) {
  EXPECT_EQ(F("yyyy/mm/dd hh:nn", kSat), "2003-05-17 08:30");
  TDateTimeSettings dots;
  dots.DateSeparator = '.';
  dots.TimeSeparator = 'h';
  EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn", kSat, dots), "17.05.2003 08h30");
  TDateTimeSettings none = dots;
  none.DateSeparator = 0;
  none.TimeSeparator = 0;
  EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn", kSat, none), "17052003 0830");
  EXPECT_EQ(F("'yyyy' \"mm\" yyyy", kSat), "yyyy mm 2003");
  EXPECT_EQ(F("'it''s'", kSat), "its");  // two adjacent quoted pieces
  EXPECT_EQ(F("\"'\"yyyy\"'\"", kSat), "'2003'");
  EXPECT_EQ(F("yyyy 'open", kSat), "2003 open");
  EXPECT_EQ(F("yyyy '", kSat), "2003 ");
  EXPECT_EQ(F("# 1,5 % [x] \xe6\x97\xa5", kSat), "# 1,5 % [x] \xe6\x97\xa5");
}

TEST(DateTimePattern, StandardPatterns) {
  EXPECT_EQ(F("c", kSat), "2003-05-17 08:30:05");
  EXPECT_EQ(F("c", kMidnight), "2003-05-17");
  EXPECT_EQ(F("", kSat), "2003-05-17 08:30:05");
  EXPECT_EQ(F("c", EncodeDateTime(2003, 5, 17, 0, 0, 0, 500)), "2003-05-17");  // milliseconds alone do not count
  TDateTimeSettings s;
  s.ShortDateFormat = "dd.mm.yyyy";
  s.LongTimeFormat = "";
  EXPECT_EQ(FormatDateTime("c", kSat, s), "17.05.2003");  // no time pattern: no time and no blank
  // Patterns named inside the named patterns are ignored, whatever they name.
  s.ShortDateFormat = "[c|ddddd|t]";
  s.ShortTimeFormat = "<ddddd>";
  EXPECT_EQ(FormatDateTime("ddddd t", kSat, s), "[||] <>");
  s.LongDateFormat = "dddddd";
  EXPECT_EQ(FormatDateTime("dddddd!", kSat, s), "!");
}

TEST(DateTimePattern, MillisecondRounding) {
  EXPECT_EQ(F("hh:nn:ss.zzz", 0.5 + 0.4 / 86400000), "12:00:00.000");
  EXPECT_EQ(F("hh:nn:ss.zzz", 0.5 + 0.6 / 86400000), "12:00:00.001");
  EXPECT_EQ(F("yyyy-mm-dd hh:nn:ss.zzz", 37758 + 86399999.6 / 86400000), "2003-05-18 00:00:00.000");
  EXPECT_EQ(F("yyyy-mm-dd hh:nn:ss.zzz", -1 - 86399999.6 / 86400000), "1899-12-30 00:00:00.000");
  EXPECT_EQ(F("yyyy-mm-dd hh:nn", -1.75), "1899-12-29 18:00");
}

TEST(DateTimePattern, BadValuesAndOverlongTexts) {
  EXPECT_THROW(F("yyyy", std::numeric_limits<double>::quiet_NaN()), EConvertError);
  EXPECT_THROW(F("yyyy", std::numeric_limits<double>::infinity()), EConvertError);
  EXPECT_THROW(F("yyyy", MaxDateTime + 1), EConvertError);
  EXPECT_THROW(F("yyyy", MinDateTime - 1), EConvertError);
  EXPECT_EQ(F("yyyy-mm-dd", MinDateTime), "0001-01-01");
  EXPECT_EQ(F("yyyy-mm-dd hh:nn:ss.zzz", MaxDateTime), "9999-12-31 23:59:59.999");
  std::string big(kMaxDateTimeTextLength, 'x');
  EXPECT_EQ(FormatDateTime(big, kSat).size(), kMaxDateTimeTextLength);
  big += "x";
  EXPECT_THROW(FormatDateTime(big, kSat), EConvertError);
  std::string names;
  for (size_t i = 0; i < kMaxDateTimeTextLength / 8; ++i) names += "dddd ";  // "Saturday " each
  EXPECT_EQ(kvtest::ErrorOf<EConvertError>([&] { FormatDateTime(names, kSat); }),
            "The formatted date-time text would be longer than 1048576 characters");
}

TEST(DateTimePattern, StandardTextsWithASettingsRecord) {
  EXPECT_EQ(DateTimeToStr(kSat), "2003-05-17 08:30:05");
  EXPECT_EQ(DateTimeToStr(kMidnight), "2003-05-17");
  EXPECT_EQ(DateToStr(-1.25), "1899-12-29");
  EXPECT_EQ(TimeToStr(-1.25), "06:00:00");
  const TDateTimeSettings dmy = PatternDateTimeSettings("dd/mm/yyyy hh:nn", "", '/', ':');
  EXPECT_EQ(DateTimeToStr(kSat, dmy), "17/05/2003 08:30");
  EXPECT_EQ(DateToStr(kSat, dmy), "17/05/2003 08:30");
  const TDateTimeSettings named = PatternDateTimeSettings("d mmmm yyyy (ddd)", "h:nn ampm", 0, '.');
  EXPECT_EQ(DateToStr(kSat, named), "17 May 2003 (Sat)");  // the names stay
  EXPECT_EQ(TimeToStr(kEve, named), "8.05 PM");
}

TEST(DateTimePattern, SeparatorsAPatternShows) {
  EXPECT_EQ(PatternDateSeparator("dd.mm.yyyy"), '.');
  EXPECT_EQ(PatternDateSeparator("dd/mm/yyyy"), '/');
  EXPECT_EQ(PatternDateSeparator("yyyy-mm-dd hh:nn"), '-');
  EXPECT_EQ(PatternDateSeparator("yyyymmdd"), 0);
  EXPECT_EQ(PatternDateSeparator("'at' yyyymmdd"), 0);
  EXPECT_EQ(PatternDateSeparator("hh:nn"), 0);
  EXPECT_EQ(PatternDateSeparator(""), 0);
  EXPECT_EQ(PatternTimeSeparator("dd.mm.yyyy hh:nn"), ':');
  EXPECT_EQ(PatternTimeSeparator("hh.nn"), '.');
  EXPECT_EQ(PatternTimeSeparator("'h' hhnn"), 0);
  EXPECT_EQ(PatternTimeSeparator("dd.mm.yyyy"), 0);
}

// ---- Reading --------------------------------------------------------------------------------

TEST(DateTimeReading, DefaultSettings) {
  TDateTime r = 0;
  ASSERT_TRUE(TryStrToDate("2003-05-17", r));
  EXPECT_EQ(r, kMidnight);
  ASSERT_TRUE(TryStrToDate("\t2003/5/17 ", r));
  EXPECT_EQ(r, kMidnight);
  ASSERT_TRUE(TryStrToDate("2003.05.17", r));
  EXPECT_EQ(r, kMidnight);
  ASSERT_TRUE(TryStrToDate("1-1-1", r));  // a one-digit year is windowed
  EXPECT_EQ(MonthOf(r), 1);
  ASSERT_TRUE(TryStrToDate("0001-01-01", r));
  EXPECT_EQ(r, MinDateTime);
  ASSERT_TRUE(TryStrToDateTime("9999-12-31 23:59:59.999", r));
  EXPECT_EQ(r, MaxDateTime);
  ASSERT_TRUE(TryStrToDateTime("1899-12-29 06:00", r));
  EXPECT_EQ(r, -1.25);
  for (const char* bad : {"", " ", "2003", "2003-05", "2003-05-17-1", "2003-02-29", "2000-02-30", "1900-02-29",
                          "2003-00-10", "2003-13-10", "2003-05-00", "2003-05-32", "10000-01-01", "2003-05-17x",
                          "x2003-05-17", "2003--05-17", "-2003-05-17", "2003-05-17 08:30", "1234567890-1-1"})
    EXPECT_FALSE(TryStrToDate(bad, r)) << bad;
  EXPECT_TRUE(TryStrToDate("2000-02-29", r));
  EXPECT_TRUE(TryStrToDate("2024-02-29", r));
}

TEST(DateTimeReading, TwoDigitYearsLandInTheWindow) {
  TDateTime r = 0;
  const int now = YearOf(Now());
  ASSERT_TRUE(TryStrToDate(std::to_string(now % 100) + "-1-1", r, PatternDateTimeSettings("yy-m-d", "", '-', 0)));
  EXPECT_EQ(YearOf(r), now);
  const int old = (now - 50) % 100;  // the oldest year of the window
  ASSERT_TRUE(TryStrToDate(std::to_string(old) + "-1-1", r, PatternDateTimeSettings("yy-m-d", "", '-', 0)));
  EXPECT_EQ(YearOf(r), now - 50);
  const int next = (now - 51 + 100) % 100;  // one before that: the century after
  ASSERT_TRUE(TryStrToDate(std::to_string(next) + "-1-1", r, PatternDateTimeSettings("yy-m-d", "", '-', 0)));
  EXPECT_EQ(YearOf(r), now + 49);
}

TEST(DateTimeReading, PatternsAndSeparators) {
  TDateTime r = 0;
  const TDateTimeSettings dmy = PatternDateTimeSettings("dd.mm.yyyy", "", '.', ':');
  ASSERT_TRUE(TryStrToDate("17.05.2003", r, dmy));
  EXPECT_EQ(r, kMidnight);
  EXPECT_FALSE(TryStrToDate("17-05-2003", r, dmy));  // only the given separator
  EXPECT_FALSE(TryStrToDate("17/05/2003", r, dmy));
  ASSERT_TRUE(TryStrToDateTime("17.05.2003 08:30:05.007", r, dmy));
  EXPECT_EQ(r, kSat);
  const TDateTimeSettings mdy = PatternDateTimeSettings("m/d/yyyy", "", '/', ':');
  ASSERT_TRUE(TryStrToDate("5/17/2003", r, mdy));
  EXPECT_EQ(r, kMidnight);
  EXPECT_FALSE(TryStrToDate("17/5/2003", r, mdy));
  const TDateTimeSettings noSeparator = PatternDateTimeSettings("dd.mm.yyyy", "", 0, 0);
  EXPECT_FALSE(TryStrToDate("17.05.2003", r, noSeparator));
  ASSERT_TRUE(TryStrToDate("17052003", r, noSeparator));  // read by the pattern's field widths
  EXPECT_EQ(r, kMidnight);
}

TEST(DateTimeReading, CompactDates) {
  TDateTime r = 0;
  const TDateTimeSettings ymd = PatternDateTimeSettings("yyyymmdd", "", 0, ':');
  ASSERT_TRUE(TryStrToDate("20030517", r, ymd));
  EXPECT_EQ(r, kMidnight);
  ASSERT_TRUE(TryStrToDate(" 20030517 ", r, ymd));
  ASSERT_TRUE(TryStrToDateTime("20030517 08:30:05.007", r, ymd));
  EXPECT_EQ(r, kSat);
  for (const char* bad : {"2003051", "200305170", "2003-05-17", "20030230", "2003O517", "", "20030517x"})
    EXPECT_FALSE(TryStrToDate(bad, r, ymd)) << bad;
  const TDateTimeSettings dmy = PatternDateTimeSettings("ddmmyy", "", 0, ':');
  ASSERT_TRUE(TryStrToDate("170503", r, dmy));
  EXPECT_EQ(r, kMidnight);
  // A pattern without all three fields, or with names, reads nothing.
  for (const char* pattern : {"yyyymm", "yyyymmmdd", "ddddmmyy", "yyyy", "", "yyyymmddyy"}) {
    const TDateTimeSettings s = PatternDateTimeSettings(pattern, "", 0, ':');
    EXPECT_FALSE(TryStrToDate("20030517", r, s)) << pattern;
  }
}

TEST(DateTimeReading, Times) {
  TDateTime r = 0;
  ASSERT_TRUE(TryStrToTime("8:30", r));
  EXPECT_EQ(r, EncodeTime(8, 30, 0, 0));
  ASSERT_TRUE(TryStrToTime("08:30:05.007", r));
  EXPECT_EQ(r, EncodeTime(8, 30, 5, 7));
  ASSERT_TRUE(TryStrToTime("pm 8:30", r));
  EXPECT_EQ(r, EncodeTime(20, 30, 0, 0));
  ASSERT_TRUE(TryStrToTime("12:00 AM", r));
  EXPECT_EQ(r, 0);
  ASSERT_TRUE(TryStrToTime("12:00 pm", r));
  EXPECT_EQ(r, 0.5);
  ASSERT_TRUE(TryStrToTime("23", r));
  EXPECT_EQ(r, EncodeTime(23, 0, 0, 0));
  for (const char* bad : {"", "24:00", "8:60", "8:30:60", "0:00 pm", "13:00 am", "8:", "8:30:", ":30", "8.30",
                          "8:30 xm", "99999999999:00"})
    EXPECT_FALSE(TryStrToTime(bad, r)) << bad;
  const TDateTimeSettings dot = PatternDateTimeSettings("", "hh.nn", 0, '.');
  ASSERT_TRUE(TryStrToTime("8.30", r, dot));
  EXPECT_EQ(r, EncodeTime(8, 30, 0, 0));
}

TEST(DateTimeReading, ErrorsQuoteTheTextBriefly) {
  EXPECT_EQ(kvtest::ErrorOf<EConvertError>([] { StrToDate(std::string(1000, '7')); }),
            "'" + std::string(100, '7') + "...' is not a valid date");
  EXPECT_THROW(StrToTime("x"), EConvertError);
  EXPECT_THROW(StrToDateTime("2003-05-17 x"), EConvertError);
}

TEST(DateTimeReading, TextsMadeByTheFormatterReadBack) {
  for (TDateTime v = MinDateTime; v < MaxDateTime; v += 1234.56789) {
    TDateTime r = 0;
    const std::string text = FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", v);
    ASSERT_TRUE(TryStrToDateTime(text, r)) << text;
    EXPECT_TRUE(SameDateTime(r, v)) << text;
    const TDateTimeSettings compact = PatternDateTimeSettings("yyyymmdd", "", 0, ':');
    ASSERT_TRUE(TryStrToDateTime(FormatDateTime("yyyymmdd hh:nn:ss.zzz", v), r, compact)) << text;
    EXPECT_TRUE(SameDateTime(r, v)) << text;
  }
}

// ---- Calendar helpers -------------------------------------------------------------------------

TEST(DateCalendar, WeeksOfYearsAndMonthsRoundTrip) {
  for (TDateTime day = EncodeDate(1890, 1, 1); day <= EncodeDate(2040, 12, 31); day += 1) {
    int year = 0, week = 0, dow = 0;
    DecodeDateWeek(day, year, week, dow);
    ASSERT_GE(week, 1);
    ASSERT_LE(week, WeeksInAYear(year));
    ASSERT_EQ(EncodeDateWeek(year, week, dow), day);
    ASSERT_EQ(dow, DayOfTheWeek(day));
    int month = 0, weekOfMonth = 0;
    DecodeDateMonthWeek(day, year, month, weekOfMonth, dow);
    ASSERT_GE(weekOfMonth, 1);
    ASSERT_LE(weekOfMonth, 5);
    ASSERT_EQ(EncodeDateMonthWeek(year, month, weekOfMonth, dow), day);
    ASSERT_EQ(WeekOfTheMonth(day), weekOfMonth);
    // The nth weekday of its month.
    int y = 0, m = 0, d = 0;
    DecodeDate(day, y, m, d);
    ASSERT_EQ(EncodeDayOfWeekInMonth(y, m, (d - 1) / 7 + 1, DayOfTheWeek(day)), day);
  }
  TDateTime r = 0;
  EXPECT_FALSE(TryEncodeDateMonthWeek(9999, 12, 5, 7, r));  // would be in the year 10000
  EXPECT_FALSE(TryEncodeDayOfWeekInMonth(2003, 5, 6, 1, r));
}

TEST(DateCalendar, PositionsWithinPeriods) {
  for (TDateTime v = EncodeDate(1895, 1, 1) + 0.123456; v < EncodeDate(2030, 1, 1); v += 17.3) {
    int y = 0, m = 0, d = 0, h = 0, n = 0, s = 0, ms = 0;
    DecodeDateTime(v, y, m, d, h, n, s, ms);
    const int64_t msOfDay = ((int64_t{h} * 60 + n) * 60 + s) * 1000 + ms;
    ASSERT_EQ(ElapsedInPeriod(v, duMilliSecond, duDay), msOfDay);
    ASSERT_EQ(ElapsedInPeriod(v, duHour, duYear), (DayOfTheYear(v) - 1) * 24 + h);
    ASSERT_EQ(ElapsedInPeriod(v, duMinute, duMonth), (d - 1) * 1440 + h * 60 + n);
    ASSERT_EQ(ElapsedInPeriod(v, duSecond, duWeek), (DayOfTheWeek(v) - 1) * 86400 + msOfDay / 1000);
    ASSERT_EQ(ElapsedInPeriod(v, duMilliSecond, duMinute), s * 1000 + ms);
    ASSERT_EQ(ElapsedInPeriod(v, duHour, duHour), 0);
    ASSERT_EQ(StartOfThePeriod(duMonth, v), EncodeDate(y, m, 1));
    ASSERT_EQ(EndOfThePeriod(duMonth, v), EncodeDateTime(y, m, DaysInAMonth(y, m), 23, 59, 59, 999));
    ASSERT_EQ(DayOfTheWeek(StartOfThePeriod(duWeek, v)), 1);
    ASSERT_EQ(DayOfTheWeek(EndOfThePeriod(duWeek, v)), 7);
    ASSERT_EQ(StartOfThePeriod(duYear, v), EncodeDate(y, 1, 1));
  }
}

TEST(DateCalendar, ComparisonsFollowCalendarTime) {
  // Before 1899-12-30 a larger number can be an earlier time.
  EXPECT_EQ(CompareDateTime(-1.75, -1.25), 1);
  EXPECT_EQ(CompareDateTime(-1.25, -1.75), -1);
  EXPECT_EQ(CompareDateTime(-1.25, -1.25), 0);
  EXPECT_EQ(CompareDateTime(-0.5, 0.5), 0);  // -0.5 is 1899-12-30 12:00 as well
  EXPECT_EQ(CompareDate(-1.75, -1.25), 0);
  EXPECT_EQ(CompareDate(-1.75, -0.75), -1);
  EXPECT_EQ(CompareTime(-1.75, 0.75), 0);
  EXPECT_EQ(CompareDateTime(1.0, 1.0 + 0.9 / 86400000), 0);
  EXPECT_EQ(CompareDateTime(1.0, 1.0 + 1.1 / 86400000), -1);
  EXPECT_TRUE(SameTime(0.25, 5.25));
  EXPECT_TRUE(SameDate(1.999999, 1.0));
  EXPECT_TRUE(SameDate(1.9999999999, 2.0));  // within half a millisecond of midnight
  EXPECT_FALSE(SameDate(1.9999999999, 1.0));
  EXPECT_THROW(CompareDateTime(std::numeric_limits<double>::quiet_NaN(), 0), EConvertError);
}

TEST(DateCalendar, IncrementsClipAndStayInRange) {
  EXPECT_EQ(IncMonth(EncodeDate(2024, 1, 31), 1), EncodeDate(2024, 2, 29));
  EXPECT_EQ(IncMonth(EncodeDate(2024, 1, 31), 13), EncodeDate(2025, 2, 28));
  EXPECT_EQ(IncYear(EncodeDate(2000, 2, 29), 100), EncodeDate(2100, 2, 28));
  EXPECT_EQ(IncYear(EncodeDate(1, 1, 1), 9998), EncodeDate(9999, 1, 1));
  EXPECT_THROW(IncYear(EncodeDate(1, 1, 1), 9999), EConvertError);
  EXPECT_THROW(IncYear(EncodeDate(2003, 1, 1), int64_t{1} << 62), EConvertError);
  EXPECT_THROW(IncMonth(EncodeDate(2003, 1, 1), INT64_MIN), EConvertError);
  EXPECT_THROW(IncYear(std::numeric_limits<double>::quiet_NaN(), 1), EConvertError);
  EXPECT_THROW(IncYear(std::numeric_limits<double>::quiet_NaN(), 100000), EConvertError);
  EXPECT_THROW(IncDay(EncodeDate(2003, 1, 1), INT64_MAX), EConvertError);
  EXPECT_EQ(UnitsBetween(duDay, EncodeDate(2003, 1, 1), EncodeDate(2003, 1, 8)), 7);
  EXPECT_DOUBLE_EQ(UnitSpan(duHour, 0, 0.25), 6);
  EXPECT_TRUE(WithinPast(duWeek, EncodeDate(2003, 1, 1), EncodeDate(2003, 1, 14), 1));
  EXPECT_FALSE(WithinPast(duWeek, EncodeDate(2003, 1, 1), EncodeDate(2003, 1, 15), 1));
}

}  // namespace
}  // namespace kv
