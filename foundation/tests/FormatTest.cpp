#include "foundation/Format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "foundation/Exceptions.h"
#include "testsupport/Errors.h"

namespace kv {
namespace {

const long double kInf = std::numeric_limits<long double>::infinity();
const long double kNaN = std::numeric_limits<long double>::quiet_NaN();

// ---- Integers and texts ---------------------------------------------------------

TEST(FormatIntegers, DecimalUnsignedAndHex) {
  EXPECT_EQ(Format("%d", 42), "42");
  EXPECT_EQ(Format("%d", -42), "-42");
  EXPECT_EQ(Format("%d", INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(Format("%d", UINT64_MAX), "18446744073709551615");
  EXPECT_EQ(Format("%u", 7u), "7");
  EXPECT_EQ(Format("%u", -1), "18446744073709551615");
  EXPECT_EQ(Format("%x", 255), "FF");
  EXPECT_EQ(Format("%x", 0), "0");
  EXPECT_EQ(Format("%x", -1), "FFFFFFFFFFFFFFFF");
  EXPECT_EQ(Format("%X", 3054), "BEE");  // type letters in either case
}

TEST(FormatIntegers, PrecisionIsMinimumDigits) {
  EXPECT_EQ(Format("%.5d", 42), "00042");
  EXPECT_EQ(Format("%.5d", -42), "-00042");
  EXPECT_EQ(Format("%.2d", 12345), "12345");
  EXPECT_EQ(Format("%.4x", 10), "000A");
}

TEST(FormatLayout, WidthAndJustification) {
  EXPECT_EQ(Format("[%5d]", 42), "[   42]");
  EXPECT_EQ(Format("[%-5d]", 42), "[42   ]");
  EXPECT_EQ(Format("[%2d]", 12345), "[12345]");
  EXPECT_EQ(Format("[%*d]", 4, 7), "[   7]");
  EXPECT_EQ(Format("[%*d]", -4, 7), "[7   ]");
  EXPECT_EQ(Format("[%.*f]", 3, 1.5), "[1.500]");
  EXPECT_EQ(Format("[%8.3f]", -1.5), "[  -1.500]");
  EXPECT_EQ(Format("[%-8s]", "ab"), "[ab      ]");
}

TEST(FormatLayout, IndexSpecifierResetsTheArgumentOrder) {
  EXPECT_EQ(Format("%1:s %0:s %s", "a", "b"), "b a b");
  EXPECT_EQ(Format("%0:s%0:s", "x"), "xx");
  EXPECT_EQ(Format("%d%%", 50), "50%");
  EXPECT_EQ(Format("100%%"), "100%");
  EXPECT_EQ(Format("no placeholders"), "no placeholders");
}

TEST(FormatTexts, StringsCharsAndPrecision) {
  EXPECT_EQ(Format("%s", std::string("abc")), "abc");
  EXPECT_EQ(Format("%s", std::string_view("xyz")), "xyz");
  EXPECT_EQ(Format("%s", static_cast<const char*>(nullptr)), "");
  EXPECT_EQ(Format("%s", 'c'), "c");
  EXPECT_EQ(Format("%.2s", "abcdef"), "ab");
  EXPECT_EQ(Format("%s", std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(FormatTexts, PointerIsUpperHexOfFullWidth) {
  const void* p = reinterpret_cast<const void*>(uintptr_t{0xABC});
  EXPECT_EQ(Format("%p", p), std::string(sizeof(void*) * 2 - 3, '0') + "ABC");
}

// ---- Reals ------------------------------------------------------------------------

struct RealCase {
  const char* fmt;
  long double value;
  const char* expected;
};

class FormatReals : public ::testing::TestWithParam<RealCase> {};

TEST_P(FormatReals, Text) {
  const RealCase& c = GetParam();
  EXPECT_EQ(Format(c.fmt, c.value), c.expected) << c.fmt;
}

INSTANTIATE_TEST_SUITE_P(
    Fixed, FormatReals,
    ::testing::Values(RealCase{"%f", 1.0L, "1.00"},  // default precision 2
                      RealCase{"%.2f", 0.125L, "0.13"},  // an exact tie: away from zero
                      RealCase{"%.2f", -0.125L, "-0.13"},
                      RealCase{"%.0f", 2.5L, "3"}, RealCase{"%.0f", 0.5L, "1"},
                      RealCase{"%.0f", -2.5L, "-3"}, RealCase{"%.0f", 0.49999999999999994L, "0"},
                      RealCase{"%.2f", static_cast<double>(1.005), "1.00"},  // stored below the half
                      RealCase{"%.2f", -0.001L, "0.00"},                     // no "-0.00"
                      RealCase{"%.3f", 9.9996L, "10.000"},                  // carry into a new digit
                      RealCase{"%.2f", 1e15L, "1000000000000000.00"},
                      RealCase{"%.0f", 123456789012345678.0L, "123456789012345678"},
                      RealCase{"%.2f", 0.0L, "0.00"}, RealCase{"%.1f", 1e-30L, "0.0"},
                      RealCase{"%f", static_cast<double>(0.1) + static_cast<double>(0.2), "0.30"}));

INSTANTIATE_TEST_SUITE_P(
    Thousands, FormatReals,
    ::testing::Values(RealCase{"%n", 1234567.891L, "1,234,567.89"}, RealCase{"%.0n", 999.5L, "1,000"},
                      RealCase{"%n", -1234.5L, "-1,234.50"}, RealCase{"%n", 123.0L, "123.00"},
                      RealCase{"%m", 1234.5L, "1,234.50"}));

INSTANTIATE_TEST_SUITE_P(
    Exponent, FormatReals,
    ::testing::Values(RealCase{"%e", 1.0L, "1.00000000000000E+000"},
                      RealCase{"%e", -1500.0L, "-1.50000000000000E+003"},
                      RealCase{"%.3e", 0.000123456L, "1.23E-004"}, RealCase{"%.3e", 9.9999L, "1.00E+001"},
                      RealCase{"%.1e", 5.0L, "5E+000"}, RealCase{"%.4e", 0.0L, "0.000E+000"},
                      RealCase{"%.2e", 1e300L, "1.0E+300"}, RealCase{"%.2e", 1e4000L, "1.0E+4000"}));

INSTANTIATE_TEST_SUITE_P(
    General, FormatReals,
    ::testing::Values(RealCase{"%g", 1e20L, "1E20"}, RealCase{"%g", 1.5e-7L, "1.5E-7"},
                      RealCase{"%g", 2147483648.0L, "2147483648"},
                      RealCase{"%g", static_cast<double>(0.1) + static_cast<double>(0.2), "0.3"},
                      RealCase{"%g", 3.5L, "3.5"}, RealCase{"%g", 1000.0L, "1000"}, RealCase{"%g", -0.5L, "-0.5"},
                      RealCase{"%g", 0.0L, "0"}, RealCase{"%g", -0.0L, "0"},
                      RealCase{"%g", 1e15L, "1E15"},                // exponent reaches the precision
                      RealCase{"%g", 999999999999999.0L, "999999999999999"},
                      RealCase{"%g", 0.00001L, "0.00001"}, RealCase{"%g", 0.0000099L, "9.9E-6"},
                      RealCase{"%g", 123456.789L, "123456.789"}, RealCase{"%.3g", 1234.0L, "1.23E3"},
                      RealCase{"%.3g", 0.5556L, "0.556"}, RealCase{"%g", 1e-300L, "1E-300"}));

INSTANTIATE_TEST_SUITE_P(
    NotFinite, FormatReals,
    ::testing::Values(RealCase{"%f", kNaN, "NAN"}, RealCase{"%g", kInf, "INF"}, RealCase{"%e", -kInf, "-INF"},
                      RealCase{"%n", kInf, "INF"}, RealCase{"[%5g]", kInf, "[  INF]"}));

TEST(FormatRealArguments, IntegersAreAcceptedByRealTypes) {
  EXPECT_EQ(Format("%f", 3), "3.00");
  EXPECT_EQ(Format("%g", 7u), "7");
  EXPECT_EQ(Format("%e", -2), "-2.00000000000000E+000");
  EXPECT_EQ(Format("%.0f", int64_t{9007199254740993}), "9007199254740993");  // exact in long double
}

TEST(FormatRealArguments, FloatAndDoubleArguments) {
  EXPECT_EQ(Format("%g", 0.1f), "0.100000001490116");
  EXPECT_EQ(Format("%g", 0.1), "0.1");
  EXPECT_EQ(Format("%.20g", 0.1), "0.10000000000000000555");
}

// ---- Helpers ------------------------------------------------------------------------

TEST(FloatToStrGeneral, DefaultAndExplicitPrecision) {
  EXPECT_EQ(FloatToStrGeneral(1.0L / 3), "0.333333333333333");
  EXPECT_EQ(FloatToStrGeneral(2.0L / 3), "0.666666666666667");
  EXPECT_EQ(FloatToStrGeneral(2.0L / 3, 4), "0.6667");
  EXPECT_EQ(FloatToStrGeneral(-123456789012345678.0L), "-1.23456789012346E17");
  EXPECT_EQ(FloatToStrGeneral(100, 2), "1E2");
  EXPECT_EQ(FloatToStrGeneral(99, 2), "99");
  EXPECT_EQ(FloatToStrGeneral(0.5, 0), "0.5");  // precision below 1 means 1
}

TEST(FloatToStrFixed, ThousandsAndNegativeDecimals) {
  EXPECT_EQ(FloatToStrFixed(1234567.0L, 0, true), "1,234,567");
  EXPECT_EQ(FloatToStrFixed(-999.996L, 2, true), "-1,000.00");
  EXPECT_EQ(FloatToStrFixed(12.5L, -1), "13");  // negative decimals mean none
}

TEST(FloatToStrExponent, ExponentDigits) {
  EXPECT_EQ(FloatToStrExponent(1500, 3, 0), "1.50E+3");
  EXPECT_EQ(FloatToStrExponent(1500, 3, 4), "1.50E+0003");
  EXPECT_EQ(FloatToStrExponent(0.015, 2, 2), "1.5E-02");
}

struct DecimalCase {
  long double value;
  int precision;
  int decimals;
  TDecimalRounding rounding;
  const char* digits;
  int exponent;
  bool negative;
};

class FloatToDecimalCases : public ::testing::TestWithParam<DecimalCase> {};

TEST_P(FloatToDecimalCases, DigitsAndExponent) {
  const DecimalCase& c = GetParam();
  const TFloatRec r = FloatToDecimal(c.value, c.precision, c.decimals, c.rounding);
  EXPECT_EQ(r.Digits, c.digits);
  EXPECT_EQ(r.Exponent, c.exponent);
  EXPECT_EQ(r.Negative, c.negative);
}

INSTANTIATE_TEST_SUITE_P(
    Rounding, FloatToDecimalCases,
    ::testing::Values(DecimalCase{0.125L, 18, 2, drHalfAwayFromZero, "13", 0, false},
                      DecimalCase{0.125L, 18, 2, drHalfEven, "12", 0, false},
                      DecimalCase{0.375L, 18, 2, drHalfEven, "38", 0, false},
                      DecimalCase{-2.5L, 18, 0, drHalfEven, "2", 1, true},
                      DecimalCase{1250.0L, 18, -2, drHalfEven, "12", 4, false},
                      DecimalCase{1350.0L, 18, -2, drHalfEven, "14", 4, false},
                      DecimalCase{0.4L, 18, 0, drHalfAwayFromZero, "", 0, false},
                      DecimalCase{0.5L, 18, 0, drHalfEven, "", 0, false},
                      DecimalCase{0.05L, 18, 0, drHalfAwayFromZero, "", 0, false},
                      DecimalCase{999.0L, 2, kAllDecimals, drHalfAwayFromZero, "1", 4, false},
                      // a hair above the half is no tie
                      DecimalCase{0.5L + 0x1p-64L, 18, 0, drHalfEven, "1", 1, false}));

TEST(FloatToDecimal, NotFiniteValues) {
  EXPECT_EQ(FloatToDecimal(kNaN, 15, 2).Exponent, TFloatRec::kFloatRecNaN);
  const TFloatRec inf = FloatToDecimal(-kInf, 15, 2);
  EXPECT_EQ(inf.Exponent, TFloatRec::kFloatRecInf);
  EXPECT_TRUE(inf.Negative);
  EXPECT_TRUE(inf.Digits.empty());
}

TEST(FloatToDecimal, TinyAndHugeValues) {
  const long double tiny = std::numeric_limits<long double>::denorm_min();
  const TFloatRec r = FloatToDecimal(tiny, 3, kAllDecimals);
  EXPECT_EQ(r.Digits, "365");
  EXPECT_EQ(r.Exponent, -4950);
  EXPECT_EQ(FloatToDecimal(tiny, 3, 2).Digits, "");
  EXPECT_EQ(FloatToStrFixed(std::numeric_limits<long double>::max(), 0).size(), 4933u);
}

// ---- Bad placeholders -------------------------------------------------------------

class FormatErrors : public ::testing::TestWithParam<const char*> {};

TEST_P(FormatErrors, RaiseConvertError) {
  const std::string fmt = GetParam();
  EXPECT_EQ(kvtest::ErrorOf<EConvertError>([&] { (void)Format(fmt, 1, 2.5, "s"); }),
            "Format '" + fmt + "' invalid or incompatible with argument");
}

INSTANTIATE_TEST_SUITE_P(
    Placeholders, FormatErrors,
    ::testing::Values("%", "abc%", "%5", "%.", "%q", "%5%",
                      "%d %d",        // a real for %d
                      "%s",           // an integer for %s
                      "%d %f %s %d",  // one argument too many asked for
                      "%3:d",         // index past the arguments
                      "%p",           // not a pointer
                      "%1:*d",        // '*' needs an integer: 2.5 is not
                      "%99999999d"));  // absurd width

TEST(FormatErrorsNoArgs, MissingArgumentsNeverReadPastTheList) {
  EXPECT_THROW((void)Format("%d"), EConvertError);
  EXPECT_THROW((void)Format("%s %s", "one"), EConvertError);
  EXPECT_THROW((void)FormatV("%d", nullptr, 3), EConvertError);
  EXPECT_THROW((void)Format("%*d", 5), EConvertError);
  EXPECT_THROW((void)Format("%x", 1.5), EConvertError);
  EXPECT_THROW((void)Format("%u", "text"), EConvertError);
  EXPECT_THROW((void)Format("%f", "text"), EConvertError);
}

}  // namespace
}  // namespace kv
