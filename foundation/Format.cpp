#include "foundation/Format.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "foundation/Exceptions.h"

namespace kv {

namespace {

// ---- Digit generation -------------------------------------------------------
//
// The C library prints the exact binary value correctly rounded to any number
// of significant digits. We ask it for more digits than needed and decide the
// final rounding ourselves; only when the extra digits read "5000..." (which
// may hide a value just below the half) the exact expansion is fetched.

struct Digits {
  std::string d;  // significant digits, first one non-zero
  int exp = 0;    // value = 0.d x 10^exp
};

// `ax` finite and > 0; `count` >= 1 significant digits, correctly rounded.
Digits PrintDigits(long double ax, int count) {
  std::string buf(static_cast<size_t>(count) + 40, '\0');
  int n = std::snprintf(buf.data(), buf.size(), "%.*Le", count - 1, ax);
  if (n < 0 || static_cast<size_t>(n) >= buf.size()) return Digits{"0", 1};
  buf.resize(static_cast<size_t>(n));
  Digits r;
  size_t e = buf.find('e');
  for (size_t i = 0; i < e; ++i)
    if (buf[i] >= '0' && buf[i] <= '9') r.d.push_back(buf[i]);
  r.exp = std::atoi(buf.c_str() + e + 1) + 1;
  return r;
}

// Significant digits of the complete decimal expansion of `ax` (a binary
// fraction always ends after finitely many decimal digits).
int ExactDigitCount(long double ax, int exp10) {
  int e2 = 0;
  std::frexp(ax, &e2);
  int fractionDigits = std::max(0, LDBL_MANT_DIG - e2);
  return std::max(1, exp10 + fractionDigits + 2);
}

}  // namespace

TFloatRec FloatToDecimal(long double value, int precision, int decimals, TDecimalRounding rounding) {
  TFloatRec rec;
  if (std::isnan(value)) {
    rec.Exponent = TFloatRec::kFloatRecNaN;
    return rec;
  }
  if (std::isinf(value)) {
    rec.Exponent = TFloatRec::kFloatRecInf;
    rec.Negative = value < 0;
    return rec;
  }
  if (value == 0) return rec;
  if (precision < 1) precision = 1;
  const long double ax = std::fabs(value);

  Digits dg = PrintDigits(ax, 40);
  const int exact = ExactDigitCount(ax, dg.exp);
  bool isExact = exact <= 40;
  auto keepCount = [&](const Digits& x) -> long long {
    long long byDecimals = static_cast<long long>(x.exp) + decimals;
    return std::min<long long>(precision, byDecimals);
  };
  long long n = keepCount(dg);
  if (!isExact && n + 20 > 40) {
    int want = static_cast<int>(std::min<long long>(n + 25, exact));
    dg = PrintDigits(ax, want);
    isExact = want >= exact;
    n = keepCount(dg);
  }

  for (;;) {
    if (n < 0) return rec;  // below half a unit of the last kept place
    const std::string& d = dg.d;
    const size_t keep = static_cast<size_t>(n);
    // Compare the dropped tail with one half.
    int cmp = -1;  // -1 below, 0 tie, 1 above
    if (keep < d.size()) {
      char first = d[keep];
      if (first > '5') {
        cmp = 1;
      } else if (first == '5') {
        bool rest = false;
        for (size_t i = keep + 1; i < d.size() && !rest; ++i) rest = d[i] != '0';
        if (rest) {
          cmp = 1;
        } else if (!isExact) {
          dg = PrintDigits(ax, exact);
          isExact = true;
          n = keepCount(dg);
          continue;
        } else {
          cmp = 0;
        }
      }
    }
    std::string kept = d.substr(0, std::min(keep, d.size()));
    int exp = dg.exp;
    bool up = cmp > 0;
    if (cmp == 0) {
      if (rounding == drHalfAwayFromZero) {
        up = true;
      } else {
        int last = kept.empty() ? 0 : kept.back() - '0';
        up = (last & 1) != 0;
      }
    }
    if (up) {
      if (kept.empty()) {
        kept = "1";
        exp += 1;
      } else {
        size_t i = kept.size();
        while (i > 0 && kept[i - 1] == '9') kept[--i] = '0';
        if (i == 0) {
          kept.insert(kept.begin(), '1');
          exp += 1;
        } else {
          kept[i - 1] = static_cast<char>(kept[i - 1] + 1);
        }
      }
    }
    while (!kept.empty() && kept.back() == '0') kept.pop_back();
    if (kept.empty()) return rec;
    rec.Digits = std::move(kept);
    rec.Exponent = exp;
    rec.Negative = value < 0;
    return rec;
  }
}

namespace {

const char* SpecialText(const TFloatRec& r) {
  if (r.Exponent == TFloatRec::kFloatRecNaN) return "NAN";
  if (r.Exponent == TFloatRec::kFloatRecInf) return r.Negative ? "-INF" : "INF";
  return nullptr;
}

bool IsSpecial(const TFloatRec& r) {
  return r.Digits.empty() && (r.Exponent == TFloatRec::kFloatRecNaN || r.Exponent == TFloatRec::kFloatRecInf);
}

char DigitAt(const TFloatRec& r, long long index) {
  if (index < 0 || index >= static_cast<long long>(r.Digits.size())) return '0';
  return r.Digits[static_cast<size_t>(index)];
}

void GroupThousands(std::string& intPart) {
  if (intPart.size() <= 3) return;
  std::string out;
  out.reserve(intPart.size() + intPart.size() / 3);
  size_t lead = intPart.size() % 3;
  if (lead == 0) lead = 3;
  out.append(intPart, 0, lead);
  for (size_t i = lead; i < intPart.size(); i += 3) {
    out.push_back(',');
    out.append(intPart, i, 3);
  }
  intPart.swap(out);
}

std::string FixedText(long double value, int decimals, bool thousands) {
  if (decimals < 0) decimals = 0;
  TFloatRec r = FloatToDecimal(value, INT_MAX, decimals);
  if (const char* s = SpecialText(r); s && IsSpecial(r)) return s;
  std::string intPart;
  if (r.Exponent <= 0 || r.Digits.empty()) {
    intPart = "0";
  } else {
    intPart.reserve(static_cast<size_t>(r.Exponent));
    for (int i = 0; i < r.Exponent; ++i) intPart.push_back(DigitAt(r, i));
  }
  if (thousands) GroupThousands(intPart);
  std::string out;
  if (r.Negative) out.push_back('-');
  out += intPart;
  if (decimals > 0) {
    out.push_back('.');
    long long base = r.Digits.empty() ? 0 : r.Exponent;
    for (int k = 0; k < decimals; ++k) out.push_back(DigitAt(r, base + k));
  }
  return out;
}

std::string ExponentText(long double value, int precision, int exponentDigits, bool signedExponent,
                         bool trimZeros) {
  if (precision < 1) precision = 1;
  TFloatRec r = FloatToDecimal(value, precision, kAllDecimals);
  if (const char* s = SpecialText(r); s && IsSpecial(r)) return s;
  std::string out;
  if (r.Negative) out.push_back('-');
  int count = trimZeros ? std::max<int>(1, static_cast<int>(r.Digits.size())) : precision;
  out.push_back(DigitAt(r, 0));
  if (count > 1) {
    out.push_back('.');
    for (int i = 1; i < count; ++i) out.push_back(DigitAt(r, i));
  }
  int exp = r.Digits.empty() ? 0 : r.Exponent - 1;
  out.push_back('E');
  if (exp < 0) {
    out.push_back('-');
  } else if (signedExponent) {
    out.push_back('+');
  }
  std::string digits = std::to_string(exp < 0 ? -static_cast<long long>(exp) : exp);
  if (static_cast<int>(digits.size()) < exponentDigits) out.append(static_cast<size_t>(exponentDigits) - digits.size(), '0');
  out += digits;
  return out;
}

}  // namespace

std::string FloatToStrFixed(long double value, int decimals, bool thousands) {
  return FixedText(value, decimals, thousands);
}

std::string FloatToStrExponent(long double value, int precision, int exponentDigits) {
  return ExponentText(value, precision, std::clamp(exponentDigits, 0, 4), true, false);
}

std::string FloatToStrGeneral(long double value, int precision) {
  if (precision < 1) precision = 1;
  TFloatRec r = FloatToDecimal(value, precision, kAllDecimals);
  if (const char* s = SpecialText(r); s && IsSpecial(r)) return s;
  if (r.Digits.empty()) return "0";
  const int sciExp = r.Exponent - 1;
  if (sciExp >= precision || sciExp < -5) return ExponentText(value, precision, 0, false, true);
  std::string out;
  if (r.Negative) out.push_back('-');
  const int len = static_cast<int>(r.Digits.size());
  if (r.Exponent <= 0) {
    out += "0.";
    out.append(static_cast<size_t>(-r.Exponent), '0');
    out += r.Digits;
  } else if (len <= r.Exponent) {
    out += r.Digits;
    out.append(static_cast<size_t>(r.Exponent - len), '0');
  } else {
    out.append(r.Digits, 0, static_cast<size_t>(r.Exponent));
    out.push_back('.');
    out.append(r.Digits, static_cast<size_t>(r.Exponent), std::string::npos);
  }
  return out;
}

// ---- Format -----------------------------------------------------------------

namespace {

// Width and precision beyond this are treated as a malformed placeholder.
constexpr long kMaxFieldSize = 1000000;

[[noreturn]] void InvalidFormat(std::string_view fmt) {
  throw EConvertError("Format '" + std::string(fmt) + "' invalid or incompatible with argument");
}

class FormatState {
public:
  FormatState(std::string_view fmt, const TFormatArg* args, size_t count) : fmt_(fmt), args_(args), count_(count) {}

  std::string Run() {
    std::string out;
    out.reserve(fmt_.size() + 16);
    size_t p = 0;
    while (p < fmt_.size()) {
      size_t pct = fmt_.find('%', p);
      if (pct == std::string_view::npos) {
        out.append(fmt_.substr(p));
        break;
      }
      out.append(fmt_.substr(p, pct - p));
      p = pct + 1;
      if (p < fmt_.size() && fmt_[p] == '%') {
        out.push_back('%');
        ++p;
        continue;
      }
      p = Placeholder(p, out);
    }
    return out;
  }

private:
  const TFormatArg& Next() {
    if (argIndex_ >= count_) InvalidFormat(fmt_);
    return args_[argIndex_++];
  }

  long StarValue() {
    const TFormatArg& a = Next();
    long long v = 0;
    if (a.kind() == TFormatArg::kInt) {
      v = a.AsInt();
    } else if (a.kind() == TFormatArg::kUInt) {
      v = a.AsUInt() > static_cast<uint64_t>(LLONG_MAX) ? LLONG_MAX : static_cast<long long>(a.AsUInt());
    } else {
      InvalidFormat(fmt_);
    }
    if (v > kMaxFieldSize || v < -kMaxFieldSize) InvalidFormat(fmt_);
    return static_cast<long>(v);
  }

  // Reads decimal digits at p; -1 when there are none.
  long Number(size_t& p) {
    long v = -1;
    while (p < fmt_.size() && fmt_[p] >= '0' && fmt_[p] <= '9') {
      v = (v < 0 ? 0 : v) * 10 + (fmt_[p] - '0');
      if (v > kMaxFieldSize) InvalidFormat(fmt_);
      ++p;
    }
    return v;
  }

  size_t Placeholder(size_t p, std::string& out) {
    // [index:]
    {
      size_t q = p;
      bool haveIndex = false;
      long index = -1;
      if (q < fmt_.size() && fmt_[q] == '*') {
        ++q;
        if (q < fmt_.size() && fmt_[q] == ':') {
          index = StarValue();
          haveIndex = true;
        }
      } else {
        index = Number(q);
        haveIndex = index >= 0 && q < fmt_.size() && fmt_[q] == ':';
      }
      if (haveIndex) {
        if (index < 0 || static_cast<size_t>(index) >= count_) InvalidFormat(fmt_);
        argIndex_ = static_cast<size_t>(index);
        p = q + 1;
      }
    }
    bool left = false;
    if (p < fmt_.size() && fmt_[p] == '-') {
      left = true;
      ++p;
    }
    long width = -1;
    if (p < fmt_.size() && fmt_[p] == '*') {
      ++p;
      width = StarValue();
      if (width < 0) {
        left = true;
        width = -width;
      }
    } else {
      width = Number(p);
    }
    long prec = -1;
    if (p < fmt_.size() && fmt_[p] == '.') {
      ++p;
      if (p < fmt_.size() && fmt_[p] == '*') {
        ++p;
        prec = StarValue();
        if (prec < 0) prec = -1;
      } else {
        prec = Number(p);
        if (prec < 0) prec = 0;
      }
    }
    if (p >= fmt_.size()) InvalidFormat(fmt_);
    char type = fmt_[p++];
    if (type >= 'A' && type <= 'Z') type = static_cast<char>(type - 'A' + 'a');
    std::string text = Convert(type, prec);
    if (width > 0 && static_cast<size_t>(width) > text.size()) {
      size_t pad = static_cast<size_t>(width) - text.size();
      if (left) {
        text.append(pad, ' ');
      } else {
        text.insert(0, pad, ' ');
      }
    }
    out += text;
    return p;
  }

  static std::string ZeroPad(std::string digits, long prec) {
    if (prec > 0 && static_cast<size_t>(prec) > digits.size())
      digits.insert(0, static_cast<size_t>(prec) - digits.size(), '0');
    return digits;
  }

  static std::string Hex(uint64_t v) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string s;
    do {
      s.push_back(kHex[v & 15]);
      v >>= 4;
    } while (v != 0);
    std::reverse(s.begin(), s.end());
    return s;
  }

  long double FloatArg() {
    const TFormatArg& a = Next();
    switch (a.kind()) {
      case TFormatArg::kFloat:
        return a.AsFloat();
      case TFormatArg::kInt:
        return static_cast<long double>(a.AsInt());
      case TFormatArg::kUInt:
        return static_cast<long double>(a.AsUInt());
      default:
        InvalidFormat(fmt_);
    }
  }

  std::string Convert(char type, long prec) {
    switch (type) {
      case 'd': {
        const TFormatArg& a = Next();
        if (a.kind() == TFormatArg::kInt) {
          int64_t v = a.AsInt();
          uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
          std::string s = ZeroPad(std::to_string(mag), prec);
          return v < 0 ? "-" + s : s;
        }
        if (a.kind() == TFormatArg::kUInt) return ZeroPad(std::to_string(a.AsUInt()), prec);
        InvalidFormat(fmt_);
      }
      case 'u':
      case 'x': {
        const TFormatArg& a = Next();
        uint64_t v = 0;
        if (a.kind() == TFormatArg::kInt) {
          v = static_cast<uint64_t>(a.AsInt());
        } else if (a.kind() == TFormatArg::kUInt) {
          v = a.AsUInt();
        } else {
          InvalidFormat(fmt_);
        }
        return ZeroPad(type == 'u' ? std::to_string(v) : Hex(v), prec);
      }
      case 'f':
        return FixedText(FloatArg(), prec < 0 ? 2 : static_cast<int>(prec), false);
      case 'n':
      case 'm':
        return FixedText(FloatArg(), prec < 0 ? 2 : static_cast<int>(prec), true);
      case 'e':
        return ExponentText(FloatArg(), prec < 0 ? 15 : static_cast<int>(prec), 3, true, false);
      case 'g':
        return FloatToStrGeneral(FloatArg(), prec < 0 ? 15 : static_cast<int>(prec));
      case 'p': {
        const TFormatArg& a = Next();
        if (a.kind() != TFormatArg::kPointer) InvalidFormat(fmt_);
        std::string s = Hex(reinterpret_cast<uintptr_t>(a.AsPointer()));
        return ZeroPad(s, static_cast<long>(sizeof(void*) * 2));
      }
      case 's': {
        const TFormatArg& a = Next();
        if (a.kind() != TFormatArg::kString) InvalidFormat(fmt_);
        std::string_view s = a.AsString();
        if (prec >= 0 && static_cast<size_t>(prec) < s.size()) s = s.substr(0, static_cast<size_t>(prec));
        return std::string(s);
      }
      default:
        InvalidFormat(fmt_);
    }
  }

  std::string_view fmt_;
  const TFormatArg* args_;
  size_t count_;
  size_t argIndex_ = 0;
};

}  // namespace

std::string FormatV(std::string_view fmt, const TFormatArg* args, size_t count) {
  if (args == nullptr) count = 0;
  return FormatState(fmt, args, count).Run();
}

}  // namespace kv
