// printf-style formatting of message texts, with the placeholder rules of
// the platform's Format: %[index:][-][width][.precision]type where type is
// d, u, x, e, f, g, n, m, p or s ("%%" is a percent sign; "*" takes width or
// precision from the arguments). A placeholder whose argument is missing or
// of the wrong kind raises EConvertError; it never reads past the arguments.
//   %d %u      integers (precision: minimum digits)
//   %x         hexadecimal, upper case
//   %f %n %m   fixed decimals (default precision 2; %n and %m group thousands)
//   %e         scientific (default precision 15, exponent at least 3 digits)
//   %g         general: shortest text of at most `precision` (default 15) digits
//   %s         text (precision: at most that many bytes)
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "KVLib_export.h"

namespace kv {

class KVLIB_EXPORT TFormatArg {
public:
  enum Kind : uint8_t { kInt, kUInt, kFloat, kString, kPointer };

  template <class T, std::enable_if_t<std::is_integral_v<T> && std::is_signed_v<T> && !std::is_same_v<T, char>, int> = 0>
  TFormatArg(T v) : kind_(kInt), i_(v) {}
  template <class T, std::enable_if_t<std::is_integral_v<T> && std::is_unsigned_v<T> && !std::is_same_v<T, bool>, int> = 0>
  TFormatArg(T v) : kind_(kUInt), u_(v) {}
  TFormatArg(char c) : kind_(kString), s_(&c_, 1), c_(c) {}
  TFormatArg(float v) : kind_(kFloat), f_(v) {}
  TFormatArg(double v) : kind_(kFloat), f_(v) {}
  TFormatArg(long double v) : kind_(kFloat), f_(v) {}
  TFormatArg(const char* s) : kind_(kString), s_(s ? s : "") {}
  TFormatArg(std::string_view s) : kind_(kString), s_(s) {}
  TFormatArg(const std::string& s) : kind_(kString), s_(s) {}
  TFormatArg(const void* p) : kind_(kPointer), p_(p) {}
  TFormatArg(const TFormatArg& o) : kind_(o.kind_), i_(o.i_), u_(o.u_), f_(o.f_), s_(o.s_), p_(o.p_), c_(o.c_) {
    if (kind_ == kString && o.s_.data() == &o.c_) s_ = std::string_view(&c_, 1);
  }
  TFormatArg& operator=(const TFormatArg&) = delete;

  Kind kind() const { return kind_; }
  int64_t AsInt() const { return i_; }
  uint64_t AsUInt() const { return u_; }
  long double AsFloat() const { return f_; }
  std::string_view AsString() const { return s_; }
  const void* AsPointer() const { return p_; }

private:
  Kind kind_;
  int64_t i_ = 0;
  uint64_t u_ = 0;
  long double f_ = 0;
  std::string_view s_;
  const void* p_ = nullptr;
  char c_ = 0;
};

// Formats `fmt` with `args`; raises EConvertError on a bad placeholder.
KVLIB_EXPORT std::string FormatV(std::string_view fmt, const TFormatArg* args, size_t count);

template <class... A>
std::string Format(std::string_view fmt, const A&... args) {
  if constexpr (sizeof...(A) == 0) {
    return FormatV(fmt, nullptr, 0);
  } else {
    const TFormatArg list[] = {TFormatArg(args)...};
    return FormatV(fmt, list, sizeof...(A));
  }
}

// Real numbers as text in the platform's general format: up to `precision`
// significant digits (15 by default), fixed notation unless the value is
// below 0.00001 in magnitude or its decimal exponent reaches `precision`,
// then scientific with the shortest mantissa ("1E20", "1.5E-7").
KVLIB_EXPORT std::string FloatToStrGeneral(long double value, int precision = 15);
// Fixed notation with `decimals` decimals (rounded half away from zero on
// the decimal digits, as the platform does).
KVLIB_EXPORT std::string FloatToStrFixed(long double value, int decimals, bool thousands = false);
// Scientific notation with `precision` significant digits and an exponent of
// at least `exponentDigits` digits that always carries its sign
// ("1.50000000000000E+003" for 1500 with the defaults).
KVLIB_EXPORT std::string FloatToStrExponent(long double value, int precision = 15, int exponentDigits = 3);

// ---- Decimal digits of a real ----------------------------------------------

enum TDecimalRounding : uint8_t {
  drHalfAwayFromZero,  // 0.125 -> 0.13, -2.5 -> -3 (what the formatters use)
  drHalfEven           // 0.125 -> 0.12, 2.5 -> 2, 3.5 -> 4
};

// A real as decimal digits: |value| = 0.Digits x 10^Exponent. Digits holds no
// leading or trailing zeros and is empty for zero (Exponent 0, Negative
// false). For infinities Exponent is kFloatRecInf, for NaN kFloatRecNaN, and
// Digits is empty.
struct TFloatRec {
  static constexpr int kFloatRecInf = 0x7FFF;
  static constexpr int kFloatRecNaN = -0x8000;
  int Exponent = 0;
  bool Negative = false;
  std::string Digits;
};

// The exact binary value of `value` rounded to at most `precision`
// significant digits and at most `decimals` digits after the decimal point
// (a negative `decimals` rounds to tens, hundreds, ...). Ties are settled on
// the exact value, so 0.125 is a tie but 1.005 (stored slightly below) is not.
KVLIB_EXPORT TFloatRec FloatToDecimal(long double value, int precision, int decimals,
                                      TDecimalRounding rounding = drHalfAwayFromZero);
// No limit on the decimals: round to `precision` significant digits only.
inline constexpr int kAllDecimals = 1 << 30;

}  // namespace kv
