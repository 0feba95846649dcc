#include "foundation/FloatFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace kv {
namespace {

const long double kInf = std::numeric_limits<long double>::infinity();
const long double kNaN = std::numeric_limits<long double>::quiet_NaN();

// The classic table of pictures: 1234, -1234, 0.5 and 0 in each.
struct TableRow {
  const char* picture;
  const char* positive;
  const char* negative;
  const char* half;
  const char* zero;
};

TEST(FloatPictures, TheClassicTable) {
  const TableRow rows[] = {
      {"", "1234", "-1234", "0.5", "0"},
      {"0", "1234", "-1234", "1", "0"},
      {"0.00", "1234.00", "-1234.00", "0.50", "0.00"},
      {"#.##", "1234", "-1234", ".5", ""},
      {"#,##0.00", "1,234.00", "-1,234.00", "0.50", "0.00"},
      {"#,##0.00;(#,##0.00)", "1,234.00", "(1,234.00)", "0.50", "0.00"},
      {"#,##0.00;;Zero", "1,234.00", "-1,234.00", "0.50", "Zero"},
      {"0.000E+00", "1.234E+03", "-1.234E+03", "5.000E-01", "0.000E+00"},
      {"#.###E-0", "1.234E3", "-1.234E3", "5E-1", "0E0"},
  };
  for (const TableRow& r : rows) {
    SCOPED_TRACE(r.picture);
    EXPECT_EQ(FormatFloat(r.picture, 1234), r.positive);
    EXPECT_EQ(FormatFloat(r.picture, -1234), r.negative);
    EXPECT_EQ(FormatFloat(r.picture, 0.5L), r.half);
    EXPECT_EQ(FormatFloat(r.picture, 0), r.zero);
  }
}

TEST(FloatPictures, DigitPlaceholders) {
  EXPECT_EQ(FormatFloat("#,##0.00", 1234.567L), "1,234.57");
  EXPECT_EQ(FormatFloat("00000", 42), "00042");
  EXPECT_EQ(FormatFloat("00000", -42), "-00042");
  EXPECT_EQ(FormatFloat("#####", 42), "42");
  EXPECT_EQ(FormatFloat("#0#", 5), "05");  // from the leftmost 0 on, digits are required
  EXPECT_EQ(FormatFloat("0.0#", 2), "2.0");
  EXPECT_EQ(FormatFloat("0.0#", 2.456L), "2.46");
  EXPECT_EQ(FormatFloat("0.#0", 2.5L), "2.50");  // up to the rightmost 0 after the point
  EXPECT_EQ(FormatFloat("#.00", 0.5L), ".50");
  EXPECT_EQ(FormatFloat("0.", 1.5L), "2");  // a point without decimals
  EXPECT_EQ(FormatFloat("0.00.0", 1.25L), "1.250");  // later points are ignored
}

TEST(FloatPictures, IntegerDigitsBeyondThePlaceholdersGoFirst) {
  EXPECT_EQ(FormatFloat("0", 123456), "123456");
  EXPECT_EQ(FormatFloat("00-00", 12345), "123-45");
  EXPECT_EQ(FormatFloat(".00", 12.5L), "12.50");
  EXPECT_EQ(FormatFloat(".##", 12), "12");
  EXPECT_EQ(FormatFloat("x0", 987), "x987");
}

TEST(FloatPictures, Thousands) {
  EXPECT_EQ(FormatFloat("#,##0", 1234567), "1,234,567");
  EXPECT_EQ(FormatFloat("#,##0", -1234567.5L), "-1,234,568");
  EXPECT_EQ(FormatFloat("#,##0", 999.5L), "1,000");
  EXPECT_EQ(FormatFloat("#,##0", 5), "5");
  EXPECT_EQ(FormatFloat("0,000", 5), "0,005");
  EXPECT_EQ(FormatFloat("#,#", 1234567890), "1,234,567,890");
  // Where and how often "," appears does not matter.
  EXPECT_EQ(FormatFloat("0.00,", 1234), "1,234.00");
  EXPECT_EQ(FormatFloat("#,,,0", 1234), "1,234");
  EXPECT_EQ(FormatFloat("#,##0.00", 123456789012345678.0L), "123,456,789,012,345,678.00");
}

TEST(FloatPictures, RoundsHalfAwayFromZeroOnTheExactValue) {
  EXPECT_EQ(FormatFloat("0", 2.5L), "3");
  EXPECT_EQ(FormatFloat("0", -2.5L), "-3");
  EXPECT_EQ(FormatFloat("0", 3.5L), "4");
  EXPECT_EQ(FormatFloat("0.00", 0.125L), "0.13");  // an exact tie
  EXPECT_EQ(FormatFloat("0.00", -0.125L), "-0.13");
  // 1.005 as a double lies below the half.
  EXPECT_EQ(FormatFloat("0.00", static_cast<long double>(1.005)), "1.00");
  EXPECT_EQ(FormatFloat("0.00", 9.995L), "9.99");  // 9.995L lies below the half too
  EXPECT_EQ(FormatFloat("0.00", 9.999L), "10.00");
}

TEST(FloatPictures, AtMostEighteenSignificantDigits) {
  EXPECT_EQ(FormatFloat("0.000000000000000000000", 1.0L / 3), "0.333333333333333333000");
  EXPECT_EQ(FormatFloat("0", 123456789012345678.0L), "123456789012345678");
  // More than 18 integer digits without scientific notation: general notation.
  EXPECT_EQ(FormatFloat("0", 1234567890123456789.0L), "1.23456789012346E18");
  EXPECT_EQ(FormatFloat("#,##0.00", -1E20L), "-1E20");
  EXPECT_EQ(FormatFloat("0.00E+00", 1E20L), "1.00E+20");
  EXPECT_EQ(FormatFloat("0." + std::string(30, '0') + "E+0", 1.0L / 3),
            "3.333333333333333330000000000000E-1");
}

TEST(FloatPictures, Scientific) {
  EXPECT_EQ(FormatFloat("0.00E+00", 1234.567L), "1.23E+03");
  EXPECT_EQ(FormatFloat("00.0E+0", 1234), "12.3E+2");
  EXPECT_EQ(FormatFloat("0.00E-00", 0.000123L), "1.23E-04");
  EXPECT_EQ(FormatFloat("0.00E-00", 12345), "1.23E04");
  EXPECT_EQ(FormatFloat("0.0e+0", 12345), "1.2e+4");
  EXPECT_EQ(FormatFloat("0.0e-0", 12345), "1.2e4");
  EXPECT_EQ(FormatFloat("0.0E+0000", 12345), "1.2E+0004");
  EXPECT_EQ(FormatFloat("0.0E+000000", 12345), "1.2E+0004");  // four exponent digits at most
  EXPECT_EQ(FormatFloat("0.0E+", 12345), "1.2E+4");
  EXPECT_EQ(FormatFloat("0.00E+00", 9.999L), "1.00E+01");
  EXPECT_EQ(FormatFloat("0.00E+00", -1E-300L), "-1.00E-300");
  EXPECT_EQ(FormatFloat("0.0E+0", 1E4000L), "1.0E+4000");
  EXPECT_EQ(FormatFloat(".00E+00", 1234), ".12E+04");
  EXPECT_EQ(FormatFloat("#.##E+0", 1), "1E+0");
  // An E without a sign is a literal.
  EXPECT_EQ(FormatFloat("0 Each", 3), "3 Each");
  EXPECT_EQ(FormatFloat("0E", 3), "3E");
}

TEST(FloatPictures, QuotedText) {
  EXPECT_EQ(FormatFloat("#,##0.00 'EUR'", 1234.5L), "1,234.50 EUR");
  EXPECT_EQ(FormatFloat("\"Total: \"0.0", 3.14159L), "Total: 3.1");
  EXPECT_EQ(FormatFloat("'#,0.;E+'0", 7), "#,0.;E+7");
  EXPECT_EQ(FormatFloat("\"it's \"0", 7), "it's 7");
  EXPECT_EQ(FormatFloat("'say \"'0'\"'", 7), "say \"7\"");
  EXPECT_EQ(FormatFloat("''0", 7), "7");
  EXPECT_EQ(FormatFloat("0 'open", 3), "3 open");  // an unclosed quote runs to the end
  EXPECT_EQ(FormatFloat("0 'a;b'; (0)", -3), " (3)");
  EXPECT_EQ(FormatFloat("$#,##0.00", 5), "$5.00");
  EXPECT_EQ(FormatFloat("$#,##0.00", -5), "-$5.00");  // the sign comes first
  EXPECT_EQ(FormatFloat("[0]", 42), "[42]");
  EXPECT_EQ(FormatFloat("abc", 5), "abc");  // no placeholder: no digits
  EXPECT_EQ(FormatFloat("abc", -5), "-abc");
}

TEST(FloatPictures, Sections) {
  EXPECT_EQ(FormatFloat("0;(0);zero", 3), "3");
  EXPECT_EQ(FormatFloat("0;(0);zero", -3), "(3)");
  EXPECT_EQ(FormatFloat("0;(0);zero", 0), "zero");
  EXPECT_EQ(FormatFloat("0;0", -3), "3");  // the negative section writes no sign
  EXPECT_EQ(FormatFloat("0;(0)", 0), "0");  // two sections: zero uses the first
  EXPECT_EQ(FormatFloat("0;(0);zero;more;sections", -3), "(3)");  // a fourth section is ignored
  // Empty negative and zero sections fall back to the first, with a sign.
  EXPECT_EQ(FormatFloat("0;;", -3), "-3");
  EXPECT_EQ(FormatFloat("0;;", 0), "0");
  EXPECT_EQ(FormatFloat("0;", -3), "-3");
  EXPECT_EQ(FormatFloat("0.0;;'none'", -2.5L), "-2.5");
  // An empty first section means general notation.
  EXPECT_EQ(FormatFloat(";", 5), "5");
  EXPECT_EQ(FormatFloat(";(0)", -5.5L), "-5.5");
  EXPECT_EQ(FormatFloat(";;", 0), "0");
  EXPECT_EQ(FormatFloat(";;zero", 0), "0");
}

TEST(FloatPictures, NegativeZeroAndValuesThatRoundToZero) {
  EXPECT_EQ(FormatFloat("0.00", -0.0L), "0.00");
  EXPECT_EQ(FormatFloat("0.00", -0.001L), "0.00");
  EXPECT_EQ(FormatFloat("0", -0.4L), "0");
  EXPECT_EQ(FormatFloat("#", -0.4L), "");
  EXPECT_EQ(FormatFloat("0.00;(0.00)", -0.001L), "0.00");
  EXPECT_EQ(FormatFloat("0.00;(0.00)", -0.0L), "0.00");
  EXPECT_EQ(FormatFloat("0.00;(0.00);'nil'", -0.001L), "nil");
  EXPECT_EQ(FormatFloat("0.00;(0.00);'nil'", 0.001L), "nil");
  EXPECT_EQ(FormatFloat("0.00;(0.00);'nil'", -0.0L), "nil");
  // Rounding is decided by the section the value's sign selects.
  EXPECT_EQ(FormatFloat("0;(0.000)", -0.001L), "(0.001)");
  EXPECT_EQ(FormatFloat("0.000;(0)", -0.001L), "0.000");
  EXPECT_EQ(FormatFloat("0.00E+00", -0.0L), "0.00E+00");
  EXPECT_EQ(FormatFloat("0.00", 1E-4000L), "0.00");
}

TEST(FloatPictures, SpecialValues) {
  EXPECT_EQ(FormatFloat("0.00", kNaN), "NAN");
  EXPECT_EQ(FormatFloat("0.00", kInf), "INF");
  EXPECT_EQ(FormatFloat("0.00;(0.00)", -kInf), "-INF");
  EXPECT_EQ(FormatFloat("0.00E+00", kInf), "INF");
  EXPECT_EQ(FormatFloat("", kNaN), "NAN");
  EXPECT_EQ(FormatFloat("0", std::numeric_limits<long double>::max()), "1.18973149535723E4932");
  EXPECT_EQ(FormatFloat("0.0E+0", std::numeric_limits<long double>::max()), "1.2E+4932");
  EXPECT_EQ(FormatFloat("0.0E+0", std::numeric_limits<long double>::denorm_min()), "3.6E-4951");
  EXPECT_EQ(FormatFloat("0.00", std::numeric_limits<long double>::denorm_min()), "0.00");
}

TEST(FloatPictures, HugePicturesCostTimeAndSpaceInProportion) {
  // Ten megabytes of required decimals: every one written, nothing more.
  const std::string decimals = "0." + std::string(10'000'000, '0');
  const std::string text = FormatFloat(decimals, 1.5L);
  ASSERT_EQ(text.size(), decimals.size());
  EXPECT_EQ(text.substr(0, 6), "1.5000");
  EXPECT_EQ(text.find_first_not_of('0', 3), std::string::npos);
  // Ten megabytes of optional places: the value's digits only.
  EXPECT_EQ(FormatFloat(std::string(10'000'000, '#') + "." + std::string(10'000'000, '#'), 2.25L), "2.25");
  // Ten megabytes of required integer digits with grouping.
  const std::string grouped = FormatFloat("#," + std::string(3'000'000, '0'), 7);
  EXPECT_EQ(grouped.size(), 3'000'000u + 999'999u);
  EXPECT_EQ(grouped.substr(grouped.size() - 5), "0,007");
  // Ten megabytes of section marks, quotes and exponent marks.
  EXPECT_EQ(FormatFloat(std::string(10'000'000, ';'), -5), "-5");
  EXPECT_EQ(FormatFloat("0" + std::string(10'000'000, '\''), 5), "5");
  const std::string marks = FormatFloat("0" + std::string(1'000'000, 'E') + "+", 5);
  EXPECT_EQ(marks.size(), 1'000'000u + 3u);
  EXPECT_EQ(FormatFloat(std::string(1'000'000, ',') + "0", 5), "5");
}

}  // namespace
}  // namespace kv
