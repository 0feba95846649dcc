// PostgreSQL's types as field definitions and values, both ways.
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "data/PgDataSets.h"
#include "foundation/DateUtils.h"

namespace kv {

namespace {

// Type OIDs of the built-in types (pg_type.dat).
enum : uint32_t {
  kBool = 16, kBytea = 17, kChar = 18, kName = 19, kInt8 = 20, kInt2 = 21, kInt4 = 23, kText = 25, kOid = 26,
  kFloat4 = 700, kFloat8 = 701, kMoney = 790, kBpchar = 1042, kVarchar = 1043, kDate = 1082, kTime = 1083,
  kTimestamp = 1114, kTimestamptz = 1184, kNumeric = 1700, kUuid = 2950,
};

// Type names a CREATE TABLE may carry, by their base name.
struct TNamed {
  const char* name;
  uint32_t oid;
};
constexpr TNamed kNames[] = {
    {"boolean", kBool}, {"bool", kBool}, {"bytea", kBytea}, {"bigint", kInt8}, {"int8", kInt8},
    {"smallint", kInt2}, {"int2", kInt2}, {"integer", kInt4}, {"int", kInt4}, {"int4", kInt4}, {"text", kText},
    {"real", kFloat4}, {"float4", kFloat4}, {"double precision", kFloat8}, {"float8", kFloat8},
    {"money", kMoney}, {"character", kBpchar}, {"char", kBpchar}, {"bpchar", kBpchar},
    {"character varying", kVarchar}, {"varchar", kVarchar}, {"date", kDate},
    {"time without time zone", kTime}, {"time", kTime}, {"timestamp without time zone", kTimestamp},
    {"timestamp", kTimestamp}, {"timestamp with time zone", kTimestamptz}, {"timestamptz", kTimestamptz},
    {"numeric", kNumeric}, {"decimal", kNumeric}, {"uuid", kUuid},
};

bool IsBinary(TFieldType t) {
  return t == ftBlob || t == ftBytes || t == ftVarBytes || t == ftGraphic || t == ftTypedBinary || t == ftOraBlob;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// "numeric(10, 2)" -> oid and typmod; false for names outside kNames.
bool ParseTypeName(const std::string& text, uint32_t& oid, int32_t& typmod) {
  std::string s = Lower(text);
  int a1 = -1, a2 = 0;
  std::string base = s;
  const size_t open = s.find('(');
  if (open != std::string::npos) {
    base = s.substr(0, open);
    const size_t close = s.find(')', open);
    if (close == std::string::npos || close + 1 != s.size()) return false;
    if (std::sscanf(s.c_str() + open + 1, "%d , %d", &a1, &a2) < 1 || a1 <= 0 || a2 < 0) return false;
  }
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (const TNamed& n : kNames) {
    if (base != n.name) continue;
    oid = n.oid;
    typmod = -1;
    if (a1 > 0) {
      if (oid == kNumeric) typmod = ((a1 << 16) | a2) + 4;
      else if (oid == kVarchar || oid == kBpchar) typmod = a1 + 4;
      else return false;
    }
    return true;
  }
  return false;
}

std::string HexOf(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out = "\\x";
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

bool BytesOfHex(const std::string& text, std::string& out) {
  if (text.size() < 2 || text[0] != '\\' || text[1] != 'x' || text.size() % 2) return false;
  out.clear();
  for (size_t i = 2; i < text.size(); i += 2) {
    int hi = std::isdigit(static_cast<unsigned char>(text[i])) ? text[i] - '0' : std::tolower(text[i]) - 'a' + 10;
    int lo = std::isdigit(static_cast<unsigned char>(text[i + 1])) ? text[i + 1] - '0'
                                                                    : std::tolower(text[i + 1]) - 'a' + 10;
    if (hi < 0 || hi > 15 || lo < 0 || lo > 15) return false;
    out += static_cast<char>(hi * 16 + lo);
  }
  return true;
}

// "2024-05-31 13:45:10.123456+00" -> "2024-05-31 13:45:10.123" (the time zone is UTC on our sessions).
std::string DateTimeText(std::string text) {
  const size_t colon = text.find(':');
  if (colon != std::string::npos) {
    const size_t zone = text.find_first_of("+-", colon);
    if (zone != std::string::npos) text.resize(zone);
  }
  const size_t dot = text.find('.');
  if (dot != std::string::npos && text.size() > dot + 4) text.resize(dot + 4);
  return text;
}

}  // namespace

TFieldDef PgFieldDefOf(const std::string& name, uint32_t typeOid, int32_t typmod, const std::string& typeName) {
  TFieldDef d;
  d.Name = name;
  d.DataTypeName = typeName;
  switch (typeOid) {
    case kBool: d.DataType = ftBoolean; break;
    case kInt2: d.DataType = ftSmallint; break;
    case kInt4: d.DataType = ftInteger; break;
    case kInt8: case kOid: d.DataType = ftLargeint; break;
    case kFloat4: case kFloat8: d.DataType = ftFloat; break;
    case kMoney: d.DataType = ftCurrency; break;
    case kNumeric:
      d.DataType = ftFMTBcd;
      if (typmod >= 4) {
        d.Size = ((typmod - 4) >> 16) & 0xffff;
        d.Precision = (typmod - 4) & 0xffff;
      }
      break;
    case kVarchar: case kBpchar: case kChar: case kName:
      d.DataType = typeOid == kBpchar || typeOid == kChar ? ftFixedChar : ftString;
      d.Size = typeOid == kName ? 63 : typeOid == kChar ? 1 : typmod >= 4 ? typmod - 4 : 0;
      if (d.Size == 0) d.DataType = ftMemo;
      break;
    case kText: d.DataType = ftMemo; break;
    case kDate: d.DataType = ftDate; break;
    case kTime: d.DataType = ftTime; break;
    case kTimestamp: case kTimestamptz: d.DataType = ftDateTime; break;
    case kBytea: d.DataType = ftBlob; break;
    case kUuid: d.DataType = ftGuid; d.Size = 38; break;
    default: d.DataType = ftMemo; break;  // json, arrays, ranges, ...: read and written as text
  }
  return d;
}

std::string PgDeclaredTypeOf(const TFieldDef& def) {
  uint32_t oid = 0;
  int32_t typmod = -1;
  if (!def.DataTypeName.empty() && ParseTypeName(def.DataTypeName, oid, typmod)) {
    const TFieldDef same = PgFieldDefOf(def.Name, oid, typmod, def.DataTypeName);
    if (same.DataType == def.DataType && same.Size == def.Size && same.Precision == def.Precision)
      return def.DataTypeName;
  }
  const std::string size = std::to_string(def.Size);
  switch (def.DataType) {
    case ftString: case ftWideString: return def.Size > 0 ? "character varying(" + size + ")" : "text";
    case ftFixedChar: return def.Size > 0 ? "character(" + size + ")" : "text";
    case ftSmallint: return "smallint";
    case ftInteger: case ftWord: case ftAutoInc: return "integer";
    case ftLargeint: return "bigint";
    case ftBoolean: return "boolean";
    case ftFloat: return "double precision";
    case ftCurrency: return "money";
    case ftBCD: case ftFMTBcd:
      if (def.Size <= 0) return "numeric";
      return "numeric(" + size + "," + std::to_string(def.Precision) + ")";
    case ftDate: return "date";
    case ftTime: return "time without time zone";
    case ftDateTime: case ftTimeStamp: return "timestamp without time zone";
    case ftGuid: return "uuid";
    default: return IsBinary(def.DataType) ? "bytea" : "text";
  }
}

std::optional<std::string> PgTextOf(TFieldType type, const TVariant& value) {
  switch (value.Type()) {
    case varEmpty: case varNull: return std::nullopt;
    case varBoolean: return std::string(value.RawBoolean() ? "true" : "false");
    case varInteger: return std::to_string(value.RawInteger());
    case varFloat:
      if (std::isnan(value.RawFloat())) return std::string("NaN");
      if (std::isinf(value.RawFloat())) return std::string(value.RawFloat() > 0 ? "Infinity" : "-Infinity");
      {
        // The shortest text that reads back as the same double (FloatToText keeps 15 digits only).
        char buf[32];
        const auto r = std::to_chars(buf, buf + sizeof buf, value.RawFloat());
        return std::string(buf, r.ptr);
      }
    case varDateTime: {
      std::string text = DateTimeToText(value.RawFloat());
      const size_t blank = text.find(' ');
      if (type == ftDate) return blank == std::string::npos ? text : text.substr(0, blank);
      if (type == ftTime) {
        if (blank != std::string::npos) return text.substr(blank + 1);
        return text.find(':') == std::string::npos ? std::string("00:00:00") : text;
      }
      return text;
    }
    default: break;
  }
  if (IsBinary(type)) return HexOf(value.AsString());
  return value.AsString();
}

void AppendPgCopyText(std::string& out, std::string_view text) {
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '\\' && c != '\n' && c != '\r' && c != '\t') continue;
    out.append(text.data() + start, i - start);
    out += '\\';
    out += c == '\n' ? 'n' : c == '\r' ? 'r' : c == '\t' ? 't' : '\\';
    start = i + 1;
  }
  out.append(text.data() + start, text.size() - start);
}

void AppendPgCopyValue(std::string& out, TFieldType type, const TVariant& value) {
  switch (value.Type()) {
    case varEmpty:
    case varNull: out += "\\N"; return;
    case varInteger: {
      char buf[24];
      const auto r = std::to_chars(buf, buf + sizeof buf, value.RawInteger());
      out.append(buf, r.ptr);
      return;
    }
    case varFloat:
      if (std::isfinite(value.RawFloat())) {
        char buf[32];
        const auto r = std::to_chars(buf, buf + sizeof buf, value.RawFloat());
        out.append(buf, r.ptr);
        return;
      }
      break;
    case varString:
      if (!IsBinary(type)) {
        AppendPgCopyText(out, value.RawString());
        return;
      }
      break;
    default: break;
  }
  const std::optional<std::string> text = PgTextOf(type, value);
  if (text)
    AppendPgCopyText(out, *text);
  else
    out += "\\N";
}

namespace {

// `bytes` bytes of `v`, most significant first (network order, as COPY's binary format has them).
void AppendBigEndian(std::string& out, uint64_t v, int bytes) {
  char buf[8];
  for (int i = 0; i < bytes; ++i) buf[i] = static_cast<char>(v >> (8 * (bytes - 1 - i)));
  out.append(buf, static_cast<size_t>(bytes));
}

void AppendBinaryNumber(std::string& out, uint64_t v, int bytes) {
  AppendBigEndian(out, static_cast<uint64_t>(bytes), 4);
  AppendBigEndian(out, v, bytes);
}

constexpr int64_t kMicrosPerDay = 86400000000;
constexpr double kPgEpoch = 36526;  // 2000-01-01, the day PostgreSQL counts dates and timestamps from

// Date (days) or timestamp (microseconds) since 2000-01-01, as the text
// PgTextOf gives would be read; false where that text holds no date or a
// year outside 1..9999.
bool PgDateTimeOf(TDateTime value, bool timestamp, int64_t& out) {
  if (!std::isfinite(value)) return false;
  int y, m, d, h, n, s, ms;
  DecodeDateTime(value, y, m, d, h, n, s, ms);
  const bool hasTime = h || n || s || ms;
  if ((std::trunc(value) == 0 && hasTime) || y < 1 || y > 9999) return false;
  const int64_t days = static_cast<int64_t>(EncodeDate(y, m, d) - kPgEpoch);
  out = timestamp ? days * kMicrosPerDay + ((int64_t{h} * 3600 + n * 60 + s) * 1000 + ms) * 1000 : days;
  return true;
}

}  // namespace

bool PgBinaryCopyType(uint32_t typeOid) {
  switch (typeOid) {
    case kBool: case kInt2: case kInt4: case kInt8: case kFloat8:
    case kText: case kVarchar: case kBpchar: case kDate: case kTimestamp: return true;
    default: return false;
  }
}

bool AppendPgBinaryValue(std::string& out, uint32_t typeOid, TFieldType type, const TVariant& value) {
  const uint8_t kind = value.Type();
  if (kind == varEmpty || kind == varNull) {
    AppendBigEndian(out, 0xFFFFFFFFu, 4);
    return true;
  }
  switch (typeOid) {
    case kBool:
      if (kind != varBoolean) return false;
      AppendBinaryNumber(out, value.RawBoolean() ? 1 : 0, 1);
      return true;
    case kInt2: case kInt4: case kInt8: {
      if (kind != varInteger) return false;
      const int bytes = typeOid == kInt2 ? 2 : typeOid == kInt4 ? 4 : 8;
      const int64_t v = value.RawInteger();
      if (bytes < 8 && (v < -(int64_t{1} << (8 * bytes - 1)) || v >= (int64_t{1} << (8 * bytes - 1)))) return false;
      AppendBinaryNumber(out, static_cast<uint64_t>(v), bytes);
      return true;
    }
    case kFloat8: {
      double d = 0;
      if (kind == varFloat) d = value.RawFloat();
      else if (kind == varInteger) d = static_cast<double>(value.RawInteger());  // rounded as the server reads its text
      else return false;
      if (std::isnan(d)) d = std::numeric_limits<double>::quiet_NaN();  // the text form keeps no NaN payload
      uint64_t bits = 0;
      std::memcpy(&bits, &d, sizeof bits);
      AppendBinaryNumber(out, bits, 8);
      return true;
    }
    case kText: case kVarchar: case kBpchar: {
      if (kind != varString || IsBinary(type)) return false;
      const std::string& text = value.RawString();
      if (text.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) return false;
      AppendBigEndian(out, text.size(), 4);
      out += text;
      return true;
    }
    case kDate: case kTimestamp: {
      int64_t v = 0;
      if (kind != varDateTime || !PgDateTimeOf(value.RawFloat(), typeOid == kTimestamp, v)) return false;
      AppendBinaryNumber(out, static_cast<uint64_t>(v), typeOid == kTimestamp ? 8 : 4);
      return true;
    }
    default: return false;
  }
}

bool PgValueOf(TFieldType type, uint8_t kind, const std::string& text, TVariant& value) {
  switch (kind) {
    case varInteger: {
      int64_t i = 0;
      if (!TryTextToInteger(text, i)) return false;
      value = TVariant(i);
      return true;
    }
    case varFloat: {
      double d = 0;
      if (!TryTextToFloat(text, d)) return false;
      value = TVariant(d);
      return true;
    }
    case varBoolean:
      value = TVariant(text == "t" || text == "true");
      return text == "t" || text == "f" || text == "true" || text == "false";
    case varDateTime: {
      TDateTime d = 0;
      if (!TryTextToDateTime(DateTimeText(text), d)) return false;
      value = TVariant::FromDateTime(d);
      return true;
    }
    default: break;
  }
  if (IsBinary(type)) {
    std::string bytes;
    if (!BytesOfHex(text, bytes)) return false;
    value = TVariant(std::move(bytes));
    return true;
  }
  value = TVariant(text);
  return true;
}

}  // namespace kv
