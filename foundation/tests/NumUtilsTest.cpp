#include "foundation/NumUtils.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <string>
#include <vector>
#include <cstdlib>

#include "foundation/Exceptions.h"
#include "foundation/Format.h"
#include "testsupport/Errors.h"

namespace kv {
namespace {

// ---- Reading decimal texts ---------------------------------------------------------

// StrToNum reads every text as the nearest long double, exactly as the C
// library's strtold does (the common short texts take a path of their own).
TEST(NumUtilsStrToNum, ReadsTheNearestLongDoubleAsStrtoldDoes) {
  std::vector<std::string> texts = {
      "0", "-0", "0.0", "134.36", "-847.43", "0.1", "0.3", "1.16", "00012.500", ".5", "5.", "+7",
      "9999999999999999999", "18446744073709551615", "18446744073709551616", "99999999999999999999",
      "123456789012345678.9", "1234567890123456789.5", "1e27", "1e28", "1e-27", "1e-28", "2.5e-3",
      "0.000000000000000000000000001", "4.9406564584124654e-324", "1.7976931348623157e308", "1e4933",
      "123456789e-27", "3.14159265358979323846264338327950288"};
  uint64_t seed = 88172645463325252ULL;
  auto next = [&seed] {
    seed ^= seed << 13;
    seed ^= seed >> 7;
    seed ^= seed << 17;
    return seed;
  };
  for (int i = 0; i < 20000; ++i) {
    const int digits = static_cast<int>(next() % 20) + 1;
    std::string t = next() % 2 ? "-" : "";
    for (int d = 0; d < digits; ++d) t += static_cast<char>('0' + next() % 10);
    const size_t point = next() % (t.size() + 1);
    if (point > (t[0] == '-' ? 1u : 0u)) t.insert(point, ".");
    if (next() % 4 == 0) t += "e" + std::to_string(static_cast<int>(next() % 61) - 30);
    texts.push_back(t);
  }
  for (const std::string& t : texts) {
    const long double expected = std::strtold(t.c_str(), nullptr);
    const long double got = StrToNum(t);
    EXPECT_TRUE(got == expected && std::signbit(got) == std::signbit(expected)) << t;
  }
}

// ---- Integer division ---------------------------------------------------------------

TEST(NumUtilsIntDiv, TruncatesTowardZero) {
  EXPECT_EQ(iDiv(7, 2), 3);
  EXPECT_EQ(iDiv(-7, 2), -3);
  EXPECT_EQ(iDiv(7, -2), -3);
  EXPECT_EQ(iDiv(0, 5), 0);
  EXPECT_EQ(iMod(7, 2), 1);
  EXPECT_EQ(iMod(-7, 2), -1);
  EXPECT_EQ(iMod(7, -2), 1);
  EXPECT_EQ(iDiv(INT64_MAX, 1), INT64_MAX);
}

TEST(NumUtilsIntDiv, MostNegativeByMinusOneWraps) {
  EXPECT_EQ(iDiv(INT64_MIN, -1), INT64_MIN);
  EXPECT_EQ(iMod(INT64_MIN, -1), 0);
  EXPECT_EQ(iDiv(INT64_MIN, 2), INT64_MIN / 2);
}

TEST(NumUtilsIntDiv, ZeroDivisorRaisesWithTheDividend) {
  EXPECT_THROW(iDiv(1, 0), EDivByZero);
  EXPECT_THROW(iMod(1, 0), EIntError);
  EXPECT_EQ(kvtest::ErrorOf<EDivByZero>([] { iDiv(7, 0); }), "Divide by 0 iDiv(7,0)");
  EXPECT_EQ(kvtest::ErrorOf<EDivByZero>([] { iMod(-7, 0); }), "Divide by 0 iMod(-7,0)");
  EXPECT_EQ(kvtest::ErrorOf<EDivByZero>([] { iDiv(INT64_MIN, 0); }), "Divide by 0 iDiv(-9223372036854775808,0)");
}

// ---- Real division --------------------------------------------------------------------

TEST(NumUtilsRealDiv, Quotients) {
  EXPECT_EQ(fDiv(1, 4), 0.25L);
  EXPECT_EQ(fDiv(-9, 3), -3.0L);
  EXPECT_EQ(fDiv(1, 0x1p-62L), 0x1p62L);         // 2^-62 is just above the zero limit
  EXPECT_EQ(fDiv(1e4930L, 1), 1e4930L);          // a divisor of 1 never overflows
  EXPECT_EQ(fDiv(1e4931L, 0.5L), 2 * 1e4931L);   // below 1.1E4932 times the divisor
}

TEST(NumUtilsRealDiv, TinyDivisorIsDivisionByZero) {
  EXPECT_THROW(fDiv(1, 0), EZeroDivide);
  EXPECT_THROW(fDiv(1, 1e-19L), EZeroDivide);  // the limit itself counts as zero
  EXPECT_THROW(fDiv(0, -1e-20L), EMathError);
  EXPECT_EQ(kvtest::ErrorOf<EZeroDivide>([] { fDiv(1.5L, 0); }), "Divide by 0 fDiv(1.50,0.00)");
  EXPECT_EQ(kvtest::ErrorOf<EZeroDivide>([] { fDiv(-2, 1e-25L); }), "Divide by 0 fDiv(-2.00,0.00)");
}

TEST(NumUtilsRealDiv, HugeQuotientIsOverflow) {
  EXPECT_THROW(fDiv(LDBL_MAX, 0.5L), EOverflow);
  EXPECT_THROW(fDiv(-1e4920L, 1e-15L), EOverflow);
  EXPECT_EQ(kvtest::ErrorOf<EOverflow>([] { fDiv(1e4920L, 1e-15L); }),
            "Float overflow fDiv(" + FloatToStrFixed(1e4920L, 2) + ",0.00)");
}

TEST(NumUtilsRealDiv, NotFiniteOperandsPassThrough) {
  EXPECT_TRUE(std::isnan(fDiv(std::numeric_limits<long double>::quiet_NaN(), 2)));
  EXPECT_EQ(fDiv(1, std::numeric_limits<long double>::infinity()), 0.0L);
}

// ---- Rounding ---------------------------------------------------------------------------

struct RoundCase {
  long double x;
  int digits;
  long double expected;
};

class NumUtilsRound : public ::testing::TestWithParam<RoundCase> {};

TEST_P(NumUtilsRound, TiesToEven) {
  const RoundCase& c = GetParam();
  EXPECT_EQ(rRound(c.x, c.digits), c.expected) << "rRound(" << static_cast<double>(c.x) << ", " << c.digits << ")";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NumUtilsRound,
    ::testing::Values(RoundCase{2.5L, 0, 2.0L}, RoundCase{3.5L, 0, 4.0L}, RoundCase{-2.5L, 0, -2.0L},
                      RoundCase{0.5L, 0, 0.0L}, RoundCase{1.5L, 0, 2.0L}, RoundCase{2.4999L, 0, 2.0L},
                      RoundCase{1234.0L, -2, 1200.0L}, RoundCase{1250.0L, -2, 1200.0L},
                      RoundCase{1350.0L, -2, 1400.0L}, RoundCase{-1250.0L, -2, -1200.0L},
                      RoundCase{49.0L, -2, 0.0L}, RoundCase{50.0L, -2, 0.0L}, RoundCase{51.0L, -2, 100.0L},
                      RoundCase{0.125L, 2, 0.12L},  // exact binary tie
                      RoundCase{0.375L, 2, 0.38L},
                      // doubles stored just below the half round down
                      RoundCase{static_cast<double>(1.005), 2, 1.0L},
                      RoundCase{static_cast<double>(1.015), 2, 1.01L},
                      RoundCase{static_cast<double>(2.675), 2, 2.67L},
                      // and just above the half round up
                      RoundCase{static_cast<double>(0.035), 2, 0.04L},
                      RoundCase{-123.456L, 2, -123.46L}, RoundCase{123.456L, -1, 120.0L},
                      RoundCase{999.95L, 0, 1000.0L}, RoundCase{1e300L, -299, 1e300L},
                      RoundCase{0.0L, 3, 0.0L}, RoundCase{7.0L, 25000, 7.0L}, RoundCase{7.0L, -6000, 0.0L}));

TEST(NumUtilsRound, ManyDigitsKeepTheValue) {
  const long double tenth = static_cast<double>(0.1);
  EXPECT_EQ(rRound(tenth, 30), tenth);
  EXPECT_EQ(rRound(LDBL_MAX, 0), LDBL_MAX);
  const long double tiny = std::numeric_limits<long double>::denorm_min();
  EXPECT_EQ(rRound(tiny, 5000), tiny);
  EXPECT_EQ(rRound(tiny, 10), 0.0L);
}

TEST(NumUtilsRound, NotFiniteValuesAreUnchanged) {
  const long double inf = std::numeric_limits<long double>::infinity();
  EXPECT_EQ(rRound(inf, 2), inf);
  EXPECT_EQ(rRound(-inf, -2), -inf);
  EXPECT_TRUE(std::isnan(rRound(std::numeric_limits<long double>::quiet_NaN(), 0)));
}

// ---- Number texts -------------------------------------------------------------------------

TEST(NumUtilsText, NumToStrRightAligns) {
  EXPECT_EQ(NumToStr(3.14159L, 8, 2), "    3.14");
  EXPECT_EQ(NumToStr(-1.5L, 3, 1), "-1.5");  // wider than asked: not cut
  EXPECT_EQ(NumToStr(1234.5L, 0, 0), "1235");
  EXPECT_EQ(NumToStr(0.125L, 6, 2), "  0.13");
  EXPECT_EQ(NumToStr(2, 4, -3), "   2");
}

struct StrToNumCase {
  const char* text;
  long double value;
};

class NumUtilsStrToNum : public ::testing::TestWithParam<StrToNumCase> {};

TEST_P(NumUtilsStrToNum, LongestLeadingNumber) {
  EXPECT_EQ(StrToNum(GetParam().text), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, NumUtilsStrToNum,
    ::testing::Values(StrToNumCase{"12abc", 12}, StrToNumCase{"12", 12}, StrToNumCase{"  -1.5e3xyz", -1500},
                      StrToNumCase{"1.5e", 1.5L}, StrToNumCase{"1.5e+", 1.5L}, StrToNumCase{".5", 0.5L},
                      StrToNumCase{"-.5", -0.5L}, StrToNumCase{"5.", 5}, StrToNumCase{"+7", 7},
                      StrToNumCase{"1,5", 1}, StrToNumCase{"abc", 0}, StrToNumCase{"", 0}, StrToNumCase{"-", 0},
                      StrToNumCase{".", 0}, StrToNumCase{"$FF", 0}, StrToNumCase{"1e-99999", 0},
                      StrToNumCase{"1e99999", std::numeric_limits<long double>::infinity()},
                      StrToNumCase{"-1e99999", -std::numeric_limits<long double>::infinity()},
                      StrToNumCase{"0.1", 0.1L}, StrToNumCase{"1e-99999999999999999999", 0},
                      StrToNumCase{"3.6451995318824746e-4951", std::numeric_limits<long double>::denorm_min()},
                      StrToNumCase{"000123.4500e2", 12345}));

struct TypeCase {
  const char* text;
  TTextDataType type;
};

class NumUtilsParseDataType : public ::testing::TestWithParam<TypeCase> {};

TEST_P(NumUtilsParseDataType, Classifies) { EXPECT_EQ(ParseDataType(GetParam().text), GetParam().type) << GetParam().text; }

INSTANTIATE_TEST_SUITE_P(
    Texts, NumUtilsParseDataType,
    ::testing::Values(TypeCase{"123", tdInteger}, TypeCase{"-123", tdInteger}, TypeCase{"+0", tdInteger}, TypeCase{" 12", tdInteger},
                      TypeCase{"$FF", tdInteger}, TypeCase{"-$ff", tdInteger}, TypeCase{"$0000000000000000FF", tdInteger},
                      TypeCase{"9223372036854775807", tdInteger}, TypeCase{"-9223372036854775808", tdInteger},
                      TypeCase{"9223372036854775808", tdReal},  // too big for an integer: a real
                      TypeCase{"-9223372036854775809", tdReal}, TypeCase{"1.5", tdReal}, TypeCase{"1e5", tdReal},
                      TypeCase{"-2.5E-3", tdReal}, TypeCase{".5", tdReal}, TypeCase{"5.", tdReal}, TypeCase{"1.2.3", tdOther},
                      TypeCase{"12abc", tdOther}, TypeCase{"12 ", tdOther}, TypeCase{"", tdOther}, TypeCase{" ", tdOther},
                      TypeCase{"$", tdOther}, TypeCase{"$G", tdOther}, TypeCase{"$10000000000000000", tdOther}, TypeCase{"-", tdOther},
                      TypeCase{".", tdOther}, TypeCase{"e5", tdOther}, TypeCase{"1e", tdOther}));

// ---- Calendar basics ------------------------------------------------------------------------

TEST(NumUtilsCalendar, LeapYears) {
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_TRUE(IsLeapYear(2024));
  EXPECT_FALSE(IsLeapYear(2023));
  EXPECT_FALSE(IsLeapYear(2100));
  EXPECT_TRUE(IsLeapYear(2400));
  EXPECT_TRUE(IsLeapYear(4));
  EXPECT_FALSE(IsLeapYear(1));
}

TEST(NumUtilsCalendar, LastDayAndTable) {
  EXPECT_EQ(LastDay(2024, 2), 29);
  EXPECT_EQ(LastDay(2023, 2), 28);
  EXPECT_EQ(LastDay(1900, 2), 28);
  EXPECT_EQ(LastDay(2000, 2), 29);
  EXPECT_EQ(LastDay(2024, 4), 30);
  EXPECT_EQ(LastDay(2024, 1), 31);
  EXPECT_EQ(LastDay(2024, 12), 31);
  EXPECT_EQ(LastDay(2024, 0), 0);
  EXPECT_EQ(LastDay(2024, 13), 0);
  EXPECT_EQ(std::accumulate(std::begin(DaysPerMonth), std::end(DaysPerMonth), 0), 365);
}

}  // namespace
}  // namespace kv
