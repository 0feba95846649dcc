#include "data/Variant.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "foundation/Exceptions.h"
#include "foundation/Format.h"

namespace kv {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

[[noreturn]] void CannotConvert(TVarType from, const char* to) {
  throw EConvertError(Format("Could not convert variant of type (%s) into type (%s)", VarTypeName(from), to));
}

int FoldAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

bool TextEqual(std::string_view a, std::string_view b, bool caseInsensitive) {
  if (a.size() != b.size()) return false;
  if (!caseInsensitive) return a == b;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(static_cast<unsigned char>(a[i])) != FoldAscii(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// Reads exactly `n` digits at `pos`.
bool Digits(std::string_view s, size_t& pos, size_t n, int& out) {
  if (pos + n > s.size()) return false;
  int v = 0;
  for (size_t i = 0; i < n; ++i) {
    char c = s[pos + i];
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  pos += n;
  out = v;
  return true;
}

// "hh:nn[:ss[.zzz]]" from `pos` to the end.
bool ParseTime(std::string_view s, size_t pos, int& h, int& n, int& sec, int& ms) {
  sec = ms = 0;
  if (!Digits(s, pos, 2, h) || pos >= s.size() || s[pos++] != ':' || !Digits(s, pos, 2, n)) return false;
  if (pos < s.size()) {
    if (s[pos++] != ':' || !Digits(s, pos, 2, sec)) return false;
    if (pos < s.size()) {
      if (s[pos++] != '.') return false;
      size_t start = pos;
      int frac = 0, digits = 0;
      while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
        if (digits < 3) {
          frac = frac * 10 + (s[pos] - '0');
          ++digits;
        }
        ++pos;
      }
      if (pos == start || pos != s.size()) return false;
      while (digits < 3) {
        frac *= 10;
        ++digits;
      }
      ms = frac;
    }
  }
  return true;
}

}  // namespace

const char* VarTypeName(TVarType type) {
  switch (type) {
    case varEmpty: return "Empty";
    case varNull: return "Null";
    case varInteger: return "Int64";
    case varFloat: return "Double";
    case varBoolean: return "Boolean";
    case varString: return "String";
    case varDateTime: return "Date";
    case varArray: return "Array";
  }
  return "Unknown";
}

// ---- Text conversions ----------------------------------------------------------

bool TryTextToInteger(std::string_view text, int64_t& out) noexcept {
  std::string_view s = TrimBlanks(text);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  int64_t v = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return false;
  out = v;
  return true;
}

bool TryTextToFloat(std::string_view text, double& out) noexcept {
  std::string_view s = TrimBlanks(text);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  double v = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size() || !std::isfinite(v)) return false;
  out = v;
  return true;
}

bool TryTextToBoolean(std::string_view text, bool& out) noexcept {
  std::string_view s = TrimBlanks(text);
  if (TextEqual(s, "true", true)) {
    out = true;
    return true;
  }
  if (TextEqual(s, "false", true)) {
    out = false;
    return true;
  }
  double d;
  if (TryTextToFloat(s, d)) {
    out = d != 0;
    return true;
  }
  return false;
}

bool TryTextToDateTime(std::string_view text, TDateTime& out) noexcept {
  std::string_view s = TrimBlanks(text);
  size_t pos = 0;
  int y, m, d, h = 0, n = 0, sec = 0, ms = 0;
  TDateTime result;
  if (s.size() >= 10 && s[4] == '-') {
    if (!Digits(s, pos, 4, y) || s[pos++] != '-' || !Digits(s, pos, 2, m) || s[pos++] != '-' || !Digits(s, pos, 2, d))
      return false;
    if (pos < s.size()) {
      if (s[pos] != ' ' && s[pos] != 'T') return false;
      if (!ParseTime(s, pos + 1, h, n, sec, ms)) return false;
    }
    try {
      if (!TryEncodeDateTime(y, m, d, h, n, sec, ms, result)) return false;
    } catch (...) {
      return false;
    }
    out = result;
    return true;
  }
  if (ParseTime(s, 0, h, n, sec, ms)) {
    try {
      if (!TryEncodeTime(h, n, sec, ms, result)) return false;
    } catch (...) {
      return false;
    }
    out = result;
    return true;
  }
  return false;
}

std::string DateTimeToText(TDateTime value) {
  int y, m, d, h, n, s, ms;
  DecodeDateTime(value, y, m, d, h, n, s, ms);
  char buf[40];
  bool hasTime = h || n || s || ms;
  bool hasDate = std::trunc(value) != 0 || !hasTime;
  int len = 0;
  if (hasDate) len += std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
  if (hasTime) {
    len += std::snprintf(buf + len, sizeof buf - len, "%s%02d:%02d:%02d", hasDate ? " " : "", h, n, s);
    if (ms) std::snprintf(buf + len, sizeof buf - len, ".%03d", ms);
  }
  return buf;
}

std::string FloatToText(double value) { return FloatToStrGeneral(value); }

// ---- TVariant ---------------------------------------------------------------------

int64_t TVariant::AsInteger() const {
  switch (type_) {
    case varEmpty:
    case varNull: return 0;
    case varInteger: return num_.i;
    case varBoolean: return num_.b ? 1 : 0;
    case varFloat:
    case varDateTime: {
      double r = std::nearbyint(num_.d);
      if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0)) CannotConvert(type_, "Int64");
      return static_cast<int64_t>(r);
    }
    case varString: {
      int64_t v;
      if (TryTextToInteger(str_, v)) return v;
      double d;
      if (TryTextToFloat(str_, d)) return TVariant(d).AsInteger();
      throw EConvertError(Format("'%s' is not a valid integer value", str_));
    }
    case varArray: break;
  }
  CannotConvert(type_, "Int64");
}

double TVariant::AsFloat() const {
  switch (type_) {
    case varEmpty:
    case varNull: return 0;
    case varInteger: return static_cast<double>(num_.i);
    case varBoolean: return num_.b ? 1 : 0;
    case varFloat:
    case varDateTime: return num_.d;
    case varString: {
      double d;
      if (TryTextToFloat(str_, d)) return d;
      throw EConvertError(Format("'%s' is not a valid floating point value", str_));
    }
    case varArray: break;
  }
  CannotConvert(type_, "Double");
}

bool TVariant::AsBoolean() const {
  switch (type_) {
    case varEmpty:
    case varNull: return false;
    case varInteger: return num_.i != 0;
    case varBoolean: return num_.b;
    case varFloat:
    case varDateTime: return num_.d != 0;
    case varString: {
      bool b;
      if (TryTextToBoolean(str_, b)) return b;
      throw EConvertError(Format("'%s' is not a valid boolean value", str_));
    }
    case varArray: break;
  }
  CannotConvert(type_, "Boolean");
}

std::string TVariant::AsString() const {
  switch (type_) {
    case varEmpty:
    case varNull: return std::string();
    case varInteger: return std::to_string(num_.i);
    case varBoolean: return num_.b ? "True" : "False";
    case varFloat: return FloatToText(num_.d);
    case varDateTime: return DateTimeToText(num_.d);
    case varString: return str_;
    case varArray: break;
  }
  CannotConvert(type_, "String");
}

TDateTime TVariant::AsDateTime() const {
  switch (type_) {
    case varEmpty:
    case varNull: return 0;
    case varInteger: return static_cast<double>(num_.i);
    case varBoolean: CannotConvert(type_, "Date");
    case varFloat:
    case varDateTime: return num_.d;
    case varString: {
      TDateTime d;
      if (TryTextToDateTime(str_, d)) return d;
      throw EConvertError(Format("'%s' is not a valid date and time", str_));
    }
    case varArray: break;
  }
  CannotConvert(type_, "Date");
}

size_t TVariant::ArrayCount() const { return Elements().size(); }

const std::vector<TVariant>& TVariant::Elements() const {
  if (type_ != varArray) throw EConvertError("Variant is not an array");
  return arr_;
}

std::vector<TVariant>& TVariant::Elements() {
  if (type_ != varArray) throw EConvertError("Variant is not an array");
  return arr_;
}

const TVariant& TVariant::Element(size_t index) const {
  const auto& a = Elements();
  if (index >= a.size()) throw EListError(Format("Variant array index out of bounds (%d)", static_cast<int64_t>(index)));
  return a[index];
}

TVariant& TVariant::Element(size_t index) {
  auto& a = Elements();
  if (index >= a.size()) throw EListError(Format("Variant array index out of bounds (%d)", static_cast<int64_t>(index)));
  return a[index];
}

bool TVariant::operator==(const TVariant& other) const noexcept {
  if (type_ != other.type_) return false;
  switch (type_) {
    case varEmpty:
    case varNull: return true;
    case varInteger: return num_.i == other.num_.i;
    case varBoolean: return num_.b == other.num_.b;
    case varFloat:
    case varDateTime: return num_.d == other.num_.d;
    case varString: return str_ == other.str_;
    case varArray: return arr_ == other.arr_;
  }
  return false;
}

// ---- Locate comparison ----------------------------------------------------------

bool VarMatches(const TVariant& stored, const TVariant& searched, bool caseInsensitive, bool partial) {
  if (stored.IsNullOrEmpty() || searched.IsNullOrEmpty()) return stored.IsNullOrEmpty() && searched.IsNullOrEmpty();
  if (searched.IsArray() || stored.IsArray()) return false;
  try {
    switch (stored.Type()) {
      case varString: {
        std::string key = searched.AsString();
        const std::string& s = stored.RawString();
        if (partial) return s.size() >= key.size() && TextEqual(std::string_view(s).substr(0, key.size()), key, caseInsensitive);
        return TextEqual(s, key, caseInsensitive);
      }
      case varInteger:
        if (searched.Type() == varInteger) return stored.RawInteger() == searched.RawInteger();
        return static_cast<double>(stored.RawInteger()) == searched.AsFloat();
      case varFloat: return stored.RawFloat() == searched.AsFloat();
      case varDateTime: return stored.RawFloat() == searched.AsDateTime();
      case varBoolean: return stored.RawBoolean() == searched.AsBoolean();
      default: return false;
    }
  } catch (const Exception&) {
    return false;
  }
}

}  // namespace kv
