#include "foundation/DateUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <limits>
#include <random>
#include <string>

#include "foundation/Exceptions.h"
#include "testsupport/Errors.h"

namespace kv {
namespace {

struct Parts {
  int y, m, d, h, n, s, ms;
  bool operator==(const Parts&) const = default;
};

Parts Decode(TDateTime v) {
  Parts p{};
  DecodeDateTime(v, p.y, p.m, p.d, p.h, p.n, p.s, p.ms);
  return p;
}

void PrintTo(const Parts& p, std::ostream* os) {
  *os << p.y << '-' << p.m << '-' << p.d << ' ' << p.h << ':' << p.n << ':' << p.s << '.' << p.ms;
}

// ---- Encoding -----------------------------------------------------------------------

TEST(DateUtilsEncode, DayNumbersAroundTheEpoch) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1899, 12, 31), 1.0);
  EXPECT_EQ(EncodeDate(1899, 12, 29), -1.0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
  EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
  EXPECT_EQ(EncodeDate(1, 1, 1), MinDateTime);
  EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465.0);
  EXPECT_EQ(EncodeDate(2024, 2, 29), 45351.0);
}

TEST(DateUtilsEncode, TimesAndTheSignRuleBeforeTheEpoch) {
  EXPECT_EQ(EncodeTime(6, 0, 0, 0), 0.25);
  EXPECT_EQ(EncodeTime(12, 0, 0), 0.5);
  EXPECT_EQ(EncodeTime(23, 59, 59, 999), 86399999.0 / 86400000.0);
  EXPECT_EQ(EncodeDateTime(1899, 12, 30, 6, 0, 0, 0), 0.25);
  EXPECT_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0, 0), -1.25);
  EXPECT_EQ(EncodeDateTime(1899, 12, 28, 18, 0, 0, 0), -2.75);
  EXPECT_EQ(EncodeDateTime(9999, 12, 31, 23, 59, 59, 999), MaxDateTime);
}

TEST(DateUtilsEncode, InvalidComponentsRaise) {
  EXPECT_EQ(kvtest::ErrorOf<EConvertError>([] { EncodeDate(2023, 2, 29); }), "Invalid argument to date encode");
  EXPECT_EQ(kvtest::ErrorOf<EConvertError>([] { EncodeTime(24, 0, 0, 0); }), "Invalid argument to time encode");
  EXPECT_EQ(kvtest::ErrorOf<EConvertError>([] { EncodeDateTime(2024, 1, 1, 0, 60, 0, 0); }), "Invalid argument to time encode");
  EXPECT_EQ(kvtest::ErrorOf<EConvertError>([] { EncodeDateTime(2024, 1, 32, 0, 0, 0, 0); }), "Invalid argument to date encode");
  const int bad[][3] = {{0, 1, 1}, {10000, 1, 1}, {2024, 0, 1}, {2024, 13, 1}, {2024, 1, 0}, {1900, 2, 29},
                        {2024, 4, 31}, {-1, 1, 1}};
  for (const auto& b : bad) {
    EXPECT_THROW(EncodeDate(b[0], b[1], b[2]), EConvertError) << b[0] << '-' << b[1] << '-' << b[2];
    EXPECT_FALSE(IsValidDate(b[0], b[1], b[2]));
    TDateTime r = 123;
    EXPECT_FALSE(TryEncodeDate(b[0], b[1], b[2], r));
    EXPECT_EQ(r, 123);  // untouched on failure
  }
  const int badTime[][4] = {{-1, 0, 0, 0}, {0, 60, 0, 0}, {0, 0, 60, 0}, {0, 0, 0, 1000}, {0, 0, 0, -1}};
  for (const auto& t : badTime) {
    EXPECT_THROW(EncodeTime(t[0], t[1], t[2], t[3]), EConvertError);
    EXPECT_FALSE(IsValidTime(t[0], t[1], t[2], t[3]));
    TDateTime r = 0;
    EXPECT_FALSE(TryEncodeTime(t[0], t[1], t[2], t[3], r));
    EXPECT_FALSE(TryEncodeDateTime(2024, 1, 1, t[0], t[1], t[2], t[3], r));
  }
  EXPECT_TRUE(IsValidDate(2000, 2, 29));
  EXPECT_TRUE(IsValidTime(23, 59, 59, 999));
}

TEST(DateUtilsEncode, RoundTripAcrossTheWholeRange) {
  std::mt19937 rng(20240229);
  for (int y = 1; y <= 9999; y += 7) {
    for (int m = 1; m <= 12; m += 5) {
      const int d = (y % 3 == 0) ? DaysInAMonth(y, m) : 1 + static_cast<int>(rng() % 28);
      const Parts p{y, m, d, static_cast<int>(rng() % 24), static_cast<int>(rng() % 60),
                    static_cast<int>(rng() % 60), static_cast<int>(rng() % 1000)};
      const TDateTime v = EncodeDateTime(p.y, p.m, p.d, p.h, p.n, p.s, p.ms);
      ASSERT_EQ(Decode(v), p);
      ASSERT_EQ(DateTimeToMilliseconds(v),
                DateTimeToMilliseconds(EncodeDate(y, m, d)) +
                    ((int64_t{p.h} * 60 + p.n) * 60 + p.s) * 1000 + p.ms);
      ASSERT_EQ(MillisecondsToDateTime(DateTimeToMilliseconds(v)), v);
    }
  }
}

TEST(DateUtilsEncode, DayOfYearAndIsoWeek) {
  EXPECT_EQ(EncodeDateDay(2024, 60), EncodeDate(2024, 2, 29));
  EXPECT_EQ(EncodeDateDay(2023, 365), EncodeDate(2023, 12, 31));
  EXPECT_THROW(EncodeDateDay(2023, 366), EConvertError);
  EXPECT_THROW(EncodeDateDay(2023, 0), EConvertError);
  EXPECT_EQ(EncodeDateWeek(2004, 53, 6), EncodeDate(2005, 1, 1));
  EXPECT_EQ(EncodeDateWeek(2009, 1), EncodeDate(2008, 12, 29));
  EXPECT_EQ(EncodeDateWeek(1, 1), EncodeDate(1, 1, 1));
  EXPECT_THROW(EncodeDateWeek(2021, 53), EConvertError);
  EXPECT_THROW(EncodeDateWeek(2021, 1, 8), EConvertError);
  EXPECT_THROW(EncodeDateWeek(2021, 0, 1), EConvertError);
}

// ---- Decoding -------------------------------------------------------------------------

TEST(DateUtilsDecode, NegativeValuesUseTheAbsoluteFraction) {
  EXPECT_EQ(Decode(-1.25), (Parts{1899, 12, 29, 6, 0, 0, 0}));
  EXPECT_EQ(Decode(-0.5), (Parts{1899, 12, 30, 12, 0, 0, 0}));  // the integral part is -0
  EXPECT_EQ(Decode(-693593.5), (Parts{1, 1, 1, 12, 0, 0, 0}));
  EXPECT_EQ(Decode(0.75), (Parts{1899, 12, 30, 18, 0, 0, 0}));
}

TEST(DateUtilsDecode, RoundsToTheMillisecondAndCarriesIntoTheNextDay) {
  const TDateTime leapDay = EncodeDate(2024, 2, 29);
  EXPECT_EQ(Decode(leapDay + 1 - 1e-10), (Parts{2024, 3, 1, 0, 0, 0, 0}));
  EXPECT_EQ(Decode(leapDay + 86399999.6 / 86400000.0), (Parts{2024, 3, 1, 0, 0, 0, 0}));
  EXPECT_EQ(Decode(leapDay + 86399999.4 / 86400000.0), (Parts{2024, 2, 29, 23, 59, 59, 999}));
  EXPECT_EQ(Decode(EncodeDate(2023, 12, 31) + 0.9999999999), (Parts{2024, 1, 1, 0, 0, 0, 0}));
  // Before the epoch a time of almost 24:00 also moves on to the next calendar day.
  EXPECT_EQ(Decode(-1.9999999999), (Parts{1899, 12, 30, 0, 0, 0, 0}));
  EXPECT_EQ(DateOf(leapDay + 1 - 1e-10), leapDay + 1);
  EXPECT_EQ(TimeOf(leapDay + 1 - 1e-10), 0.0);
  int h = 0, n = 0, s = 0, ms = 0;
  DecodeTime(EncodeTime(13, 14, 15, 16), h, n, s, ms);
  EXPECT_EQ((Parts{0, 0, 0, h, n, s, ms}), (Parts{0, 0, 0, 13, 14, 15, 16}));
}

TEST(DateUtilsDecode, OutOfRangeValuesRaise) {
  EXPECT_THROW(Decode(std::numeric_limits<double>::quiet_NaN()), EConvertError);
  EXPECT_THROW(Decode(std::numeric_limits<double>::infinity()), EConvertError);
  EXPECT_THROW(Decode(-693594.0), EConvertError);  // 0000-12-31
  EXPECT_THROW(Decode(2958466.0), EConvertError);  // 10000-01-01
  EXPECT_THROW(Decode(1e300), EConvertError);
  EXPECT_THROW(Decode(MaxDateTime + 0.6 / 86400000.0), EConvertError);  // rounds up past the last day
  EXPECT_EQ(Decode(MaxDateTime), (Parts{9999, 12, 31, 23, 59, 59, 999}));
  EXPECT_THROW(DateOf(std::nan("")), EConvertError);
}

TEST(DateUtilsDecode, DaysOfTheWeek) {
  const TDateTime saturday = EncodeDate(2003, 5, 17);
  EXPECT_EQ(DayOfWeek(saturday), 7);     // Sunday = 1
  EXPECT_EQ(DayOfTheWeek(saturday), 6);  // Monday = 1
  EXPECT_EQ(DayOfWeek(EncodeDate(2024, 1, 1)), 2);
  EXPECT_EQ(DayOfTheWeek(EncodeDate(2024, 1, 1)), 1);
  EXPECT_EQ(DayOfWeek(EncodeDate(1899, 12, 24)), 1);  // a Sunday before the epoch
  EXPECT_EQ(DayOfTheWeek(EncodeDateTime(1899, 12, 24, 23, 0, 0, 0)), 7);
  EXPECT_EQ(DayOfTheWeek(EncodeDate(1, 1, 1)), 1);
  int y = 0, m = 0, d = 0, dow = 0;
  EXPECT_TRUE(DecodeDateFully(EncodeDate(2024, 2, 29), y, m, d, dow));
  EXPECT_EQ(dow, 5);  // Thursday
  EXPECT_FALSE(DecodeDateFully(EncodeDate(1900, 3, 1), y, m, d, dow));
  EXPECT_EQ(y * 10000 + m * 100 + d, 19000301);
}

TEST(DateUtilsDecode, IsoWeeks) {
  int year = 0;
  EXPECT_EQ(WeekOfTheYear(EncodeDate(2005, 1, 1), year), 53);
  EXPECT_EQ(year, 2004);
  EXPECT_EQ(WeekOfTheYear(EncodeDate(2008, 12, 29), year), 1);
  EXPECT_EQ(year, 2009);
  EXPECT_EQ(WeekOfTheYear(EncodeDate(2024, 6, 15)), 24);
  int week = 0, dow = 0;
  DecodeDateWeek(EncodeDate(2010, 1, 3), year, week, dow);
  EXPECT_EQ(year * 1000 + week * 10 + dow, 2009537);
  EXPECT_EQ(WeeksInAYear(2004), 53);  // starts on a Thursday
  EXPECT_EQ(WeeksInAYear(2020), 53);  // leap year starting on a Wednesday
  EXPECT_EQ(WeeksInAYear(2019), 52);  // common year starting on a Tuesday
  EXPECT_EQ(WeeksInAYear(2021), 52);
  EXPECT_EQ(WeeksInYear(EncodeDate(2015, 7, 1)), 53);
  EXPECT_EQ(WeekOfTheYear(EncodeDate(9999, 12, 31), year), 52);
  EXPECT_EQ(year, 9999);
}

TEST(DateUtilsDecode, YearLengthsAndComponents) {
  EXPECT_EQ(DaysInAYear(1900), 365);
  EXPECT_EQ(DaysInAYear(2000), 366);
  EXPECT_EQ(DaysInAYear(2024), 366);
  EXPECT_EQ(DaysInAMonth(2024, 2), 29);
  EXPECT_EQ(DayOfTheYear(EncodeDate(2024, 12, 31)), 366);
  EXPECT_EQ(DayOfTheYear(EncodeDate(2023, 1, 1)), 1);
  const TDateTime v = EncodeDateTime(1850, 7, 4, 9, 30, 0, 0);
  EXPECT_EQ(YearOf(v) * 10000 + MonthOf(v) * 100 + DayOf(v), 18500704);
}

// ---- Parts and the clock ------------------------------------------------------------------

TEST(DateUtilsParts, DateOfAndTimeOf) {
  EXPECT_EQ(DateOf(-1.25), -1.0);
  EXPECT_EQ(TimeOf(-1.25), 0.25);
  EXPECT_EQ(DateOf(36526.75), 36526.0);
  EXPECT_EQ(TimeOf(36526.75), 0.75);
}

TEST(DateUtilsParts, NowFollowsTheLocalClock) {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  const TDateTime expected = EncodeDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                                            std::min(tm.tm_sec, 59), 0);
  const TDateTime now = Now();
  EXPECT_LT(std::fabs(now - expected), 60.0 / SecsPerDay);
  const TDateTime today = Date();
  EXPECT_EQ(today, std::floor(today));
  EXPECT_LE(today, now);
  EXPECT_LT(now - today, 1.0 + 60.0 / SecsPerDay);
  const TDateTime time = Time();
  EXPECT_GE(time, 0.0);
  EXPECT_LT(time, 1.0);
}

// ---- Increments -----------------------------------------------------------------------------

TEST(DateUtilsInc, MonthsClipToTheLastDayAndKeepTheTime) {
  EXPECT_EQ(IncMonth(EncodeDate(2024, 1, 31)), EncodeDate(2024, 2, 29));
  EXPECT_EQ(IncMonth(EncodeDate(2023, 1, 31), 1), EncodeDate(2023, 2, 28));
  EXPECT_EQ(IncMonth(EncodeDate(2024, 3, 31), -1), EncodeDate(2024, 2, 29));
  EXPECT_EQ(IncMonth(EncodeDate(2024, 11, 15), 3), EncodeDate(2025, 2, 15));
  EXPECT_EQ(IncMonth(EncodeDate(2024, 2, 15), -14), EncodeDate(2022, 12, 15));
  EXPECT_EQ(IncMonth(EncodeDateTime(2024, 1, 31, 13, 45, 0, 0), 1), EncodeDateTime(2024, 2, 29, 13, 45, 0, 0));
  EXPECT_EQ(IncMonth(-1.25, 1), EncodeDateTime(1900, 1, 29, 6, 0, 0, 0));
  EXPECT_EQ(IncMonth(EncodeDateTime(1900, 1, 15, 6, 0, 0, 0), -1), EncodeDateTime(1899, 12, 15, 6, 0, 0, 0));
  EXPECT_EQ(IncMonth(EncodeDate(2024, 5, 5), 0), EncodeDate(2024, 5, 5));
  EXPECT_EQ(IncYear(EncodeDate(2024, 2, 29)), EncodeDate(2025, 2, 28));
  EXPECT_EQ(IncYear(EncodeDate(2024, 2, 29), 4), EncodeDate(2028, 2, 29));
  EXPECT_EQ(IncYear(EncodeDate(2024, 2, 29), -2024 + 1), EncodeDate(1, 2, 28));
}

TEST(DateUtilsInc, MonthsOutOfRangeRaise) {
  EXPECT_THROW(IncMonth(EncodeDate(9999, 12, 1), 1), EConvertError);
  EXPECT_THROW(IncYear(EncodeDate(1, 6, 1), -1), EConvertError);
  EXPECT_THROW(IncMonth(EncodeDate(2000, 1, 1), std::numeric_limits<int>::max()), EConvertError);
  EXPECT_THROW(IncYear(EncodeDate(2000, 1, 1), std::numeric_limits<int>::min()), EConvertError);
}

TEST(DateUtilsInc, SmallUnitsCrossTheEpochCorrectly) {
  // 1899-12-30 06:00 minus one day is 1899-12-29 06:00 (-1.25, not -0.75).
  EXPECT_EQ(IncDay(0.25, -1), -1.25);
  EXPECT_EQ(IncHour(-1.25, 24), 0.25);
  EXPECT_EQ(IncHour(-1.25, -6), -1.0);
  EXPECT_EQ(IncMinute(EncodeDate(2024, 1, 1), -1), EncodeDateTime(2023, 12, 31, 23, 59, 0, 0));
  EXPECT_EQ(IncSecond(EncodeDateTime(2024, 1, 1, 0, 0, 59, 0)), EncodeDateTime(2024, 1, 1, 0, 1, 0, 0));
  EXPECT_EQ(IncMilliSecond(EncodeDateTime(2024, 2, 28, 23, 59, 59, 999)), EncodeDate(2024, 2, 29));
  EXPECT_EQ(IncWeek(EncodeDate(2024, 12, 30), 1), EncodeDate(2025, 1, 6));
  EXPECT_THROW(IncDay(EncodeDate(9999, 12, 31), 1), EConvertError);
  EXPECT_THROW(IncDay(EncodeDate(2000, 1, 1), std::numeric_limits<int64_t>::max()), EConvertError);
  EXPECT_THROW(IncMilliSecond(EncodeDate(1, 1, 1), -1), EConvertError);
  EXPECT_THROW(MillisecondsToDateTime(-1), EConvertError);
}

// ---- Spans ------------------------------------------------------------------------------------

TEST(DateUtilsSpan, WholeUnitsBetween) {
  const TDateTime a = EncodeDate(2000, 1, 1);
  const TDateTime b = EncodeDate(2000, 1, 2);
  EXPECT_EQ(DaysBetween(a, b), 1);
  EXPECT_EQ(DaysBetween(b, a), 1);
  EXPECT_EQ(DaysBetween(a, a), 0);
  EXPECT_EQ(DaySpan(-1.25, 0.25), 1.0);   // one day across the epoch
  EXPECT_EQ(DaysBetween(-1.25, 0.25), 1);
  EXPECT_EQ(HoursBetween(a, a + 0.75), 18);
  EXPECT_EQ(MinutesBetween(a, EncodeDateTime(2000, 1, 1, 0, 59, 59, 999)), 59);
  EXPECT_EQ(SecondsBetween(a, IncMilliSecond(a, 1999)), 1);
  EXPECT_EQ(MilliSecondsBetween(a, IncMilliSecond(a, 1999)), 1999);
  EXPECT_EQ(WeeksBetween(a, EncodeDate(2000, 1, 14)), 1);
  EXPECT_EQ(WeeksBetween(a, EncodeDate(2000, 1, 15)), 2);
  EXPECT_EQ(MonthsBetween(EncodeDate(2024, 1, 1), EncodeDate(2024, 3, 1)), 1);  // 60 days / 30.4375
  EXPECT_EQ(YearsBetween(EncodeDate(2000, 1, 1), EncodeDate(2001, 1, 1)), 1);
  EXPECT_EQ(YearsBetween(EncodeDate(2001, 1, 1), EncodeDate(2002, 1, 1)), 0);  // 365 < 365.25
  EXPECT_EQ(DaysBetween(EncodeDate(1, 1, 1), EncodeDate(9999, 12, 31)), 3652058);
}

}  // namespace
}  // namespace kv
