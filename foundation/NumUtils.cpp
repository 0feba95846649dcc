#include "foundation/NumUtils.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <limits>

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
  if (d < 1 && std::fabs(dividend) >= 1.1E4932L * d)
    throw EOverflow(Format(SFlowerUpfDiv.c_str(), dividend, divisor));
  return dividend / divisor;
}

long double rRound(long double x, int digits) {
  if (!std::isfinite(x) || x == 0) return x;
  // Beyond these limits a long double has nothing left to round, or rounds
  // to zero whatever its value.
  if (digits > 20000) return x;
  if (digits < -5000) return 0;
  const TFloatRec r = FloatToDecimal(x, INT_MAX, digits, drHalfEven);
  if (r.Digits.empty()) return 0;
  std::string text = r.Negative ? "-0." : "0.";
  text += r.Digits;
  text += 'e';
  text += std::to_string(r.Exponent);
  long double v = 0;
  std::from_chars(text.data(), text.data() + text.size(), v);
  return v;
}

// ---- Number texts ---------------------------------------------------------------

std::string NumToStr(long double x, int width, int decimals) {
  std::string s = FloatToStrFixed(x, decimals < 0 ? 0 : decimals);
  if (width > 0 && static_cast<size_t>(width) > s.size()) s.insert(0, static_cast<size_t>(width) - s.size(), ' ');
  return s;
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

size_t SkipBlanks(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  return i;
}

// Length of the longest leading real of `s` (no blanks); 0 when none.
size_t RealPrefix(std::string_view s) {
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  size_t intDigits = 0;
  while (i < s.size() && IsDigit(s[i])) ++i, ++intDigits;
  size_t end = intDigits > 0 ? i : 0;
  if (i < s.size() && s[i] == '.') {
    ++i;
    size_t fracDigits = 0;
    while (i < s.size() && IsDigit(s[i])) ++i, ++fracDigits;
    if (intDigits + fracDigits == 0) return 0;
    end = i;
  }
  if (end == 0) return 0;
  i = end;
  if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
    size_t k = i + 1;
    if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
    size_t expDigits = 0;
    while (k < s.size() && IsDigit(s[k])) ++k, ++expDigits;
    if (expDigits > 0) end = k;
  }
  return end;
}

long double ParseReal(std::string_view s) {
  bool neg = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    neg = s[0] == '-';
    s.remove_prefix(1);
  }
  long double v = 0;
  auto res = std::from_chars(s.data(), s.data() + s.size(), v);
  if (res.ec == std::errc::result_out_of_range) {
    // Too large gives infinity; too small gives zero.
    size_t e = s.find_first_of("eE");
    bool tiny = e != std::string_view::npos && e + 1 < s.size() && s[e + 1] == '-';
    v = tiny ? 0 : std::numeric_limits<long double>::infinity();
  }
  return neg ? -v : v;
}

}  // namespace

long double StrToNum(std::string_view text) {
  std::string_view s = text.substr(SkipBlanks(text));
  const size_t n = RealPrefix(s);
  return n == 0 ? 0 : ParseReal(s.substr(0, n));
}

int ParseDataType(std::string_view text) {
  std::string_view s = text.substr(SkipBlanks(text));
  if (s.empty()) return 2;
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
        return significant <= 16 ? 0 : 2;
      }
    } else {
      size_t k = i;
      while (k < s.size() && IsDigit(s[k])) ++k;
      if (k == s.size() && k > i) {
        uint64_t mag = 0;
        auto res = std::from_chars(s.data() + i, s.data() + k, mag);
        const uint64_t limit = neg ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
        if (res.ec == std::errc() && mag <= limit) return 0;
        return 1;  // a whole number beyond 64 bits is still a real
      }
    }
  }
  return RealPrefix(s) == s.size() ? 1 : 2;
}

// ---- Calendar basics --------------------------------------------------------------

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int LastDay(int year, int month) {
  if (month < 1 || month > 12) return 0;
  return DaysPerMonth[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
}

}  // namespace kv
