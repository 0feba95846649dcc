#include "foundation/FloatFormat.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

#include "foundation/Format.h"

namespace kv {

namespace {

// Significant digits a picture can show; further places show 0.
constexpr int kMaxSignificant = 18;
// Integer digits beyond which a non-scientific section gives way to general notation.
constexpr int kMaxIntegerDigits = 18;
// Exponent digits a picture can ask for.
constexpr int kMaxExponentDigits = 4;
// Significant digits of the general notation used as the fallback.
constexpr int kGeneralPrecision = 15;

struct TSection {
  size_t begin = 0;
  size_t end = 0;
  bool present = false;
  bool Usable() const { return present && end > begin; }
};

// What a scan of one section finds.
struct TLayout {
  int64_t digitCount = 0;    // placeholders, 0 and #
  int64_t decimalIndex = -1; // placeholders before the decimal point
  int64_t firstZero = -1;    // index of the first 0 placeholder
  int64_t lastZero = 0;      // one past the index of the last 0 placeholder
  bool thousands = false;
  bool scientific = false;

  int64_t IntPlaces() const { return decimalIndex; }
  int64_t FracPlaces() const { return digitCount - decimalIndex; }
  // Integer digits always shown (from the leftmost 0 to the point).
  int64_t RequiredInt() const { return firstZero >= 0 && firstZero < decimalIndex ? decimalIndex - firstZero : 0; }
  // Decimals always shown (up to the rightmost 0).
  int64_t RequiredFrac() const { return lastZero > decimalIndex ? lastZero - decimalIndex : 0; }
};

bool IsQuote(char c) { return c == '\'' || c == '"'; }

// The index past the quoted run that opens at `i`, at most `limit` (an
// unclosed quote runs to `limit`).
size_t SkipQuoted(std::string_view p, size_t i, size_t limit) {
  const size_t close = p.find(p[i], i + 1);
  return close == std::string_view::npos || close >= limit ? limit : close + 1;
}

bool IsExponentMark(std::string_view p, size_t i, size_t end) {
  return (p[i] == 'E' || p[i] == 'e') && i + 1 < end && (p[i + 1] == '+' || p[i + 1] == '-');
}

// Up to three sections; a fourth and later ones are ignored.
void SplitSections(std::string_view p, TSection (&sections)[3]) {
  int n = 0;
  size_t start = 0;
  size_t i = 0;
  while (i < p.size()) {
    if (IsQuote(p[i])) {
      i = SkipQuoted(p, i, p.size());
      continue;
    }
    if (p[i] == ';') {
      sections[n++] = {start, i, true};
      if (n == 3) return;
      start = i + 1;
    }
    ++i;
  }
  sections[n] = {start, p.size(), true};
}

TLayout ScanSection(std::string_view p, const TSection& s) {
  TLayout l;
  size_t i = s.begin;
  while (i < s.end) {
    const char c = p[i];
    if (c == '#') {
      ++l.digitCount;
    } else if (c == '0') {
      if (l.firstZero < 0) l.firstZero = l.digitCount;
      ++l.digitCount;
      l.lastZero = l.digitCount;
    } else if (c == '.') {
      if (l.decimalIndex < 0) l.decimalIndex = l.digitCount;
    } else if (c == ',') {
      l.thousands = true;
    } else if (IsExponentMark(p, i, s.end)) {
      // The 0s after the sign count exponent digits, not placeholders.
      l.scientific = true;
      i += 2;
      while (i < s.end && p[i] == '0') ++i;
      continue;
    } else if (IsQuote(c)) {
      i = SkipQuoted(p, i, s.end);
      continue;
    }
    ++i;
  }
  if (l.decimalIndex < 0) l.decimalIndex = l.digitCount;
  return l;
}

char DigitAt(const TFloatRec& r, int64_t index) {
  if (index < 0 || index >= static_cast<int64_t>(r.Digits.size())) return '0';
  return r.Digits[static_cast<size_t>(index)];
}

// Writes one section for the decimal digits `r` (empty digits: zero).
class TPictureWriter {
public:
  TPictureWriter(std::string_view picture, const TSection& section, const TLayout& layout, const TFloatRec& r)
      : p_(picture), s_(section), l_(layout), r_(r) {
    const int64_t len = static_cast<int64_t>(r.Digits.size());
    if (l_.scientific) {
      exponent_ = r.Digits.empty() ? 0 : r.Exponent - l_.IntPlaces();
      sigFrac_ = std::max<int64_t>(0, len - l_.IntPlaces());
    } else {
      intDigits_ = r.Digits.empty() ? 0 : std::max(r.Exponent, 0);
      sigFrac_ = r.Digits.empty() ? 0 : std::max<int64_t>(0, len - r.Exponent);
    }
    fracShown_ = std::max(l_.RequiredFrac(), std::min(sigFrac_, l_.FracPlaces()));
  }

  std::string Write(bool minus) {
    std::string out;
    // At most the picture plus one separator per three digits, the integer
    // digits beyond the placeholders and their separators, and a sign.
    out.reserve(std::min<size_t>(s_.end - s_.begin, size_t{1} << 20) + 48);
    if (minus) out.push_back('-');
    int64_t k = 0;  // placeholders met so far
    size_t i = s_.begin;
    while (i < s_.end) {
      const char c = p_[i];
      if (c == '0' || c == '#') {
        Placeholder(out, k++);
      } else if (c == '.' || c == ',') {
        // Marks only: the point and the separators come with the digits.
      } else if (IsExponentMark(p_, i, s_.end)) {
        const bool alwaysSign = p_[i + 1] == '+';
        out.push_back(c);
        i += 2;
        int zeros = 0;
        while (i < s_.end && p_[i] == '0') {
          ++zeros;
          ++i;
        }
        Exponent(out, alwaysSign, std::min(zeros, kMaxExponentDigits));
        continue;
      } else if (IsQuote(c)) {
        const size_t close = p_.find(c, i + 1);
        const bool closed = close != std::string_view::npos && close < s_.end;
        const size_t textEnd = closed ? close : s_.end;
        out.append(p_.substr(i + 1, textEnd - (i + 1)));
        i = closed ? close + 1 : s_.end;
        continue;
      } else {
        out.push_back(c);
      }
      ++i;
    }
    return out;
  }

private:
  // An integer digit at `place` (1 = units), then a separator when one follows.
  void IntDigit(std::string& out, char digit, int64_t place) const {
    out.push_back(digit);
    if (l_.thousands && place > 1 && (place - 1) % 3 == 0) out.push_back(',');
  }

  // The integer digits of the value at places from..to (from >= to), highest first.
  void IntDigits(std::string& out, int64_t from, int64_t to) const {
    for (int64_t place = from; place >= to; --place) IntDigit(out, DigitAt(r_, intDigits_ - place), place);
  }

  void Placeholder(std::string& out, int64_t k) const {
    const int64_t intPlaces = l_.IntPlaces();
    if (k < intPlaces) {
      const int64_t place = intPlaces - k;
      if (l_.scientific) {
        IntDigit(out, DigitAt(r_, k), place);
        return;
      }
      // Digits beyond the placeholders go before the first one.
      if (k == 0 && intDigits_ > intPlaces) IntDigits(out, intDigits_, intPlaces + 1);
      if (place <= intDigits_)
        IntDigit(out, DigitAt(r_, intDigits_ - place), place);
      else if (place <= l_.RequiredInt())
        IntDigit(out, '0', place);
      return;
    }
    // No integer placeholder at all: the integer digits go before the first decimal.
    if (k == 0 && !l_.scientific && intDigits_ > 0) IntDigits(out, intDigits_, 1);
    const int64_t j = k - intPlaces + 1;  // decimal place, from 1
    if (j > fracShown_) return;
    if (j == 1) out.push_back('.');
    const int64_t index = l_.scientific ? k : static_cast<int64_t>(r_.Exponent) + j - 1;
    out.push_back(DigitAt(r_, index));
  }

  void Exponent(std::string& out, bool alwaysSign, int minDigits) const {
    if (exponent_ < 0)
      out.push_back('-');
    else if (alwaysSign)
      out.push_back('+');
    const std::string digits = std::to_string(exponent_ < 0 ? -exponent_ : exponent_);
    if (static_cast<int>(digits.size()) < minDigits) out.append(static_cast<size_t>(minDigits) - digits.size(), '0');
    out += digits;
  }

  std::string_view p_;
  TSection s_;
  const TLayout& l_;
  const TFloatRec& r_;
  int64_t intDigits_ = 0;  // integer digits of the value (non-scientific)
  int64_t sigFrac_ = 0;    // decimals that carry a significant digit
  int64_t fracShown_ = 0;  // decimals written
  int64_t exponent_ = 0;   // scientific: the exponent written
};

}  // namespace

std::string FormatFloat(std::string_view picture, long double value) {
  if (!std::isfinite(value)) return FloatToStrGeneral(value, kGeneralPrecision);
  TSection sections[3];
  SplitSections(picture, sections);
  if (!sections[0].Usable()) return FloatToStrGeneral(value, kGeneralPrecision);

  // 0 positive, 1 negative, 2 zero; a value that rounds to zero starts again as zero.
  int kind = value > 0 ? 0 : value < 0 ? 1 : 2;
  for (;;) {
    const int index = sections[kind].Usable() ? kind : 0;
    const TSection& section = sections[index];
    const TLayout layout = ScanSection(picture, section);
    TFloatRec r;
    if (kind != 2) {
      if (layout.scientific) {
        const int precision = static_cast<int>(std::clamp<int64_t>(layout.digitCount, 1, kMaxSignificant));
        r = FloatToDecimal(value, precision, kAllDecimals, drHalfAwayFromZero);
      } else {
        const int decimals = static_cast<int>(std::min<int64_t>(layout.FracPlaces(), kAllDecimals));
        r = FloatToDecimal(value, kMaxSignificant, decimals, drHalfAwayFromZero);
      }
      if (r.Digits.empty()) {
        kind = 2;
        continue;
      }
      if (!layout.scientific && r.Exponent > kMaxIntegerDigits) return FloatToStrGeneral(value, kGeneralPrecision);
    }
    TPictureWriter writer(picture, section, layout, r);
    return writer.Write(kind == 1 && index == 0);
  }
}

}  // namespace kv
