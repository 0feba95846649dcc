#include "foundation/NumUtils.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "foundation/CharClass.h"
#include "foundation/Exceptions.h"
#include "foundation/Format.h"
#include "foundation/LibMessages.h"

namespace kv {

// ---- Guarded arithmetic -------------------------------------------------------

int64_t iDiv(int64_t a, int64_t b) {
  if (b == 0) throw EDivByZero(Format(SDivByZeroiDiv.c_str(), a));
  if (b == -1) return static_cast<int64_t>(0 - static_cast<uint64_t>(a));  // wraps for INT64_MIN
  return a / b;
}

int64_t iMod(int64_t a, int64_t b) {
  if (b == 0) throw EDivByZero(Format(SDivByZeroiMod.c_str(), a));
  if (b == -1) return 0;
  return a % b;
}

long double fDiv(long double dividend, long double divisor) {
  const long double d = std::fabs(divisor);
  if (d <= 1E-19L) throw EZeroDivide(Format(SDivByZerofDiv.c_str(), dividend, divisor));
  // 1.1E4932 * d cannot overflow here because d < 1.
  if (d < 1 && std::fabs(dividend) >= 1.1E4932L * d) throw EOverflow(Format(SFlowerUpfDiv.c_str(), dividend, divisor));
  return dividend / divisor;
}

namespace {

// Powers of ten a long double holds exactly (5^27 still fits its 64-bit significand).
constexpr int kExactPowers = 27;

long double ExactPowerOfTen(int n) {
  static const auto table = [] {
    std::array<long double, kExactPowers + 1> t{};
    t[0] = 1;
    for (int i = 1; i <= kExactPowers; ++i) t[i] = t[i - 1] * 10;
    return t;
  }();
  return table[static_cast<size_t>(n)];
}

// The common case without the C library: at most 19 significant digits
// (an exact 64-bit integer) scaled by an exact power of ten. One
// multiplication or division of two exact operands rounds once, so the
// result is the nearest long double, as strtold's is. False when the
// digits or the exponent are beyond that.
bool FastDecimal(bool negative, std::string_view digits, long long exp10, long double& out) {
  size_t first = 0;
  while (first < digits.size() && digits[first] == '0') ++first;
  digits.remove_prefix(first);
  if (digits.size() > 19 || exp10 < -kExactPowers || exp10 > kExactPowers) return false;
  uint64_t m = 0;
  if (!digits.empty() && std::from_chars(digits.data(), digits.data() + digits.size(), m).ec != std::errc())
    return false;
  long double r = static_cast<long double>(m);
  if (exp10 < 0) r /= ExactPowerOfTen(static_cast<int>(-exp10));
  else if (exp10 > 0) r *= ExactPowerOfTen(static_cast<int>(exp10));
  out = negative ? -r : r;
  return true;
}

// digits x 10^exp10 as the nearest long double. The text handed to the C
// library has no decimal point, so the locale in force cannot change it.
long double DecimalToLongDouble(bool negative, std::string_view digits, long long exp10) {
  long double fast = 0;
  if (FastDecimal(negative, digits, exp10, fast)) return fast;
  std::string text = negative ? "-" : "";
  text += digits.empty() ? std::string_view("0") : digits;
  text += 'e';
  text += std::to_string(std::clamp<long long>(exp10, -1000000, 1000000));
  return std::strtold(text.c_str(), nullptr);  // ERANGE results (0, INF, subnormals) are what we want
}

}  // namespace

long double rRound(long double x, int digits) {
  if (!std::isfinite(x) || x == 0) return x;
  // Beyond these limits a long double has nothing left to round, or rounds
  // to zero whatever its value.
  if (digits > 20000) return x;
  if (digits < -5000) return 0;
  const TFloatRec r = FloatToDecimal(x, INT_MAX, digits, drHalfEven);
  if (r.Digits.empty()) return 0;
  return DecimalToLongDouble(r.Negative, r.Digits,
                             static_cast<long long>(r.Exponent) - static_cast<long long>(r.Digits.size()));
}

// ---- Number texts ---------------------------------------------------------------

std::string NumToStr(long double x, int width, int decimals) {
  std::string s = FloatToStrFixed(x, decimals < 0 ? 0 : decimals);
  if (width > 0 && static_cast<size_t>(width) > s.size()) s.insert(0, static_cast<size_t>(width) - s.size(), ' ');
  return s;
}

namespace {

size_t SkipBlanks(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  return i;
}

// The longest leading real of `s` (no blanks): [+|-]digits[.digits][(E|e)[+|-]digits]
// with at least one digit before or after the point. Returns its length, 0
// when there is none, and its value when `value` is given.
size_t RealPrefix(std::string_view s, long double* value = nullptr) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  std::string digits;
  long long exp10 = 0;
  size_t intDigits = 0;
  for (; i < s.size() && IsDigit(s[i]); ++i, ++intDigits) digits.push_back(s[i]);
  size_t end = intDigits > 0 ? i : 0;
  if (i < s.size() && s[i] == '.') {
    ++i;
    size_t fracDigits = 0;
    for (; i < s.size() && IsDigit(s[i]); ++i, ++fracDigits) digits.push_back(s[i]);
    if (intDigits + fracDigits == 0) return 0;
    exp10 = -static_cast<long long>(fracDigits);
    end = i;
  }
  if (end == 0) return 0;
  i = end;
  if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
    size_t k = i + 1;
    bool expNegative = false;
    if (k < s.size() && (s[k] == '+' || s[k] == '-')) expNegative = s[k++] == '-';
    long long e = 0;
    size_t expDigits = 0;
    for (; k < s.size() && IsDigit(s[k]); ++k, ++expDigits) e = std::min<long long>(e * 10 + (s[k] - '0'), 100000000);
    if (expDigits > 0) {
      end = k;
      exp10 += expNegative ? -e : e;
    }
  }
  if (value != nullptr) *value = DecimalToLongDouble(negative, digits, exp10);
  return end;
}

}  // namespace

long double StrToNum(std::string_view text) {
  long double value = 0;
  return RealPrefix(text.substr(SkipBlanks(text)), &value) == 0 ? 0 : value;
}

TTextDataType ParseDataType(std::string_view text) {
  std::string_view s = text.substr(SkipBlanks(text));
  if (s.empty()) return tdOther;
  // Integer: [+|-] digits, or [+|-] $ hex digits, within 64 bits.
  {
    size_t i = 0;
    bool neg = false;
    if (s[i] == '+' || s[i] == '-') neg = s[i++] == '-';
    if (i < s.size() && s[i] == '$') {
      size_t k = i + 1;
      while (k < s.size() && IsHexDigit(s[k])) ++k;
      if (k == s.size() && k > i + 1) {
        size_t significant = k - i - 1;
        size_t j = i + 1;
        while (j + 1 < k && s[j] == '0') ++j, --significant;
        return significant <= 16 ? tdInteger : tdOther;
      }
    } else {
      size_t k = i;
      while (k < s.size() && IsDigit(s[k])) ++k;
      if (k == s.size() && k > i) {
        uint64_t mag = 0;
        auto res = std::from_chars(s.data() + i, s.data() + k, mag);
        const uint64_t limit = neg ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
        if (res.ec == std::errc() && mag <= limit) return tdInteger;
        return tdReal;  // a whole number beyond 64 bits is still a real
      }
    }
  }
  return RealPrefix(s) == s.size() ? tdReal : tdOther;
}

// ---- Calendar basics --------------------------------------------------------------

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int LastDay(int year, int month) {
  if (month < 1 || month > 12) return 0;
  return DaysPerMonth[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
}

}  // namespace kv
