// Guarded arithmetic, rounding, number texts and the calendar basics.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "KVLib_export.h"

namespace kv {

// ---- Guarded arithmetic -------------------------------------------------------

// Integer quotient truncated toward zero. A zero divisor raises EDivByZero
// with SDivByZeroiDiv; INT64_MIN / -1 wraps to INT64_MIN.
KVLIB_EXPORT int64_t iDiv(int64_t a, int64_t b);
// Remainder of iDiv (sign of `a`). A zero divisor raises EDivByZero with
// SDivByZeroiMod; INT64_MIN mod -1 is 0.
KVLIB_EXPORT int64_t iMod(int64_t a, int64_t b);
// Quotient in extended precision. |divisor| <= 1E-19 raises EZeroDivide
// (SDivByZerofDiv); |divisor| < 1 with |dividend| >= 1.1E4932 * |divisor|
// raises EOverflow (SFlowerUpfDiv). Both messages show the two operands.
KVLIB_EXPORT long double fDiv(long double dividend, long double divisor);

// x rounded to `digits` decimals (negative: to tens, hundreds, ...), ties to
// even. The decision is taken on the exact binary value of x, so 2.5 -> 2,
// 3.5 -> 4, 0.125 -> 0.12 (an exact tie), while 1.015 -> 1.01 and
// 2.675 -> 2.67 because those doubles lie just below the half. The result is
// the long double nearest to the rounded decimal. NaN and infinities are
// returned unchanged.
KVLIB_EXPORT long double rRound(long double x, int digits);

// ---- Number texts ---------------------------------------------------------------

// Fixed notation with `decimals` decimals (half away from zero), right-aligned
// in `width` characters; a longer text is not cut.
KVLIB_EXPORT std::string NumToStr(long double x, int width, int decimals);
// The number at the start of the text (after leading blanks): the longest
// leading part of the form [+|-]digits[.digits][(E|e)[+|-]digits]; 0 when
// there is none ("12abc" gives 12, "1.5e" gives 1.5). Overflow gives +-INF,
// underflow 0 or a subnormal. The decimal point is always ".".
KVLIB_EXPORT long double StrToNum(std::string_view text);
// What a text holds, as ParseDataType tells it.
enum TTextDataType : uint8_t {
  tdInteger = 0,  // [+|-] decimal digits, or [+|-]$hex, within 64 bits
  tdReal = 1,     // [+|-]digits with an optional point, fraction and exponent, or .digits
  tdOther = 2,    // anything else
};
// The kind of number the whole text is. An integer too big for 64 bits is
// a real. Leading blanks are allowed, trailing ones are not.
KVLIB_EXPORT TTextDataType ParseDataType(std::string_view text);

// ---- Calendar basics --------------------------------------------------------------

// Days of each month of a common year, January first.
inline constexpr int DaysPerMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// Divisible by 4, and not by 100 unless by 400.
KVLIB_EXPORT bool IsLeapYear(int year);
// Days of the month (February has 29 in a leap year); 0 for a month outside 1..12.
KVLIB_EXPORT int LastDay(int year, int month);

}  // namespace kv
