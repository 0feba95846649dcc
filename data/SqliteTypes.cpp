// The mapping between SQLite's declared column types and field types, both
// ways (see docs/datasets.md, "SQLite database files").
#include <cctype>
#include <cstdlib>

#include "data/SqliteDataSets.h"

namespace kv {

namespace {

std::string Upper(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return r;
}

bool Has(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

// "DECIMAL(10, 2)" -> base "DECIMAL", args {10, 2}; args that are no numbers count as 0.
void SplitType(const std::string& upper, std::string& base, int32_t& a1, int32_t& a2) {
  const size_t open = upper.find('(');
  base = upper.substr(0, open);
  while (!base.empty() && base.back() == ' ') base.pop_back();
  while (!base.empty() && base.front() == ' ') base.erase(base.begin());
  a1 = a2 = 0;
  if (open == std::string::npos) return;
  const char* p = upper.c_str() + open + 1;
  a1 = static_cast<int32_t>(std::strtol(p, nullptr, 10));
  const size_t comma = upper.find(',', open);
  if (comma != std::string::npos) a2 = static_cast<int32_t>(std::strtol(upper.c_str() + comma + 1, nullptr, 10));
  if (a1 < 0) a1 = 0;
  if (a2 < 0) a2 = 0;
}

bool IsOneOf(const std::string& base, std::initializer_list<const char*> names) {
  for (const char* n : names)
    if (base == n) return true;
  return false;
}

// Text types: the length in the parentheses is the field's size.
void TextType(TFieldDef& d, const std::string& base, int32_t size) {
  if (size <= 0) {
    d.DataType = ftMemo;
    return;
  }
  d.Size = size;
  if (IsOneOf(base, {"CHAR", "CHARACTER", "NCHAR", "NATIVE CHARACTER"}))
    d.DataType = ftFixedChar;
  else if (IsOneOf(base, {"NVARCHAR", "NATIONAL VARCHAR", "NATIONAL CHARACTER VARYING"}))
    d.DataType = ftWideString;
  else
    d.DataType = ftString;
}

// A type name that can stand in CREATE TABLE as it is: letters, digits,
// blanks, underscores and one parenthesised list of numbers.
bool IsPlainTypeName(const std::string& name) {
  if (name.empty() || name.size() > 64) return false;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (!std::isalnum(u) && c != ' ' && c != '_' && c != '(' && c != ')' && c != ',') return false;
  }
  const size_t open = name.find('(');
  if (open == std::string::npos) return name.find_first_of("),") == std::string::npos;
  return name.back() == ')' && name.find('(', open + 1) == std::string::npos &&
         name.find(')') == name.size() - 1;
}

std::string Sized(const char* base, int32_t size) { return std::string(base) + "(" + std::to_string(size) + ")"; }

}  // namespace

TFieldDef SqliteFieldDefOf(const std::string& name, const std::string& declared) {
  TFieldDef d;
  d.Name = name;
  d.DataTypeName = declared;
  const std::string upper = Upper(declared);
  std::string base;
  int32_t a1 = 0, a2 = 0;
  SplitType(upper, base, a1, a2);
  if (base.empty()) {
    d.DataType = ftVariant;  // no declared type: the column holds values of any class
  } else if (IsOneOf(base, {"BOOLEAN", "BOOL"})) {
    d.DataType = ftBoolean;
  } else if (base == "DATE") {
    d.DataType = ftDate;
  } else if (base == "DATETIME") {
    d.DataType = ftDateTime;
  } else if (base == "TIMESTAMP") {
    d.DataType = ftTimeStamp;
  } else if (base == "TIME") {
    d.DataType = ftTime;
  } else if (Has(upper, "INT")) {  // SQLite's rule 1: INTEGER affinity
    if (IsOneOf(base, {"SMALLINT", "TINYINT", "INT2"}))
      d.DataType = ftSmallint;
    else if (IsOneOf(base, {"INT", "MEDIUMINT", "INT4"}))
      d.DataType = ftInteger;
    else
      d.DataType = ftLargeint;
  } else if (Has(upper, "CHAR") || Has(upper, "CLOB") || Has(upper, "TEXT")) {  // rule 2: TEXT
    TextType(d, base, a1);
  } else if (Has(upper, "BLOB")) {  // rule 3: BLOB
    d.DataType = ftBlob;
  } else if (Has(upper, "REAL") || Has(upper, "FLOA") || Has(upper, "DOUB")) {  // rule 4: REAL
    d.DataType = ftFloat;
  } else if (IsOneOf(base, {"NUMERIC", "DECIMAL", "NUMBER"})) {  // rule 5: NUMERIC
    d.DataType = ftFMTBcd;
    d.Size = a1;
    d.Precision = a2;
  } else if (IsOneOf(base, {"CURRENCY", "MONEY"})) {
    d.DataType = ftCurrency;
  } else {
    d.DataType = ftVariant;  // NUMERIC affinity of unknown meaning ("STRING", "JSON"): holds anything
  }
  return d;
}

std::string SqliteDeclaredTypeOf(const TFieldDef& def) {
  if (IsPlainTypeName(def.DataTypeName)) {
    const TFieldDef back = SqliteFieldDefOf(def.Name, def.DataTypeName);
    if (back.DataType == def.DataType && back.Size == def.Size && back.Precision == def.Precision)
      return def.DataTypeName;
  }
  switch (def.DataType) {
    case ftString: return def.Size > 0 ? Sized("VARCHAR", def.Size) : "TEXT";
    case ftFixedChar: return def.Size > 0 ? Sized("CHAR", def.Size) : "TEXT";
    case ftWideString: return def.Size > 0 ? Sized("NVARCHAR", def.Size) : "TEXT";
    case ftMemo:
    case ftFmtMemo:
    case ftOraClob: return "TEXT";
    case ftGuid: return "CHAR(38)";
    case ftSmallint:
    case ftWord: return "SMALLINT";
    case ftInteger: return "INT";
    case ftLargeint:
    case ftAutoInc: return "INTEGER";
    case ftBoolean: return "BOOLEAN";
    case ftFloat: return "REAL";
    case ftCurrency: return "CURRENCY";
    case ftBCD:
    case ftFMTBcd:
      if (def.Size <= 0) return "NUMERIC";
      if (def.Precision <= 0) return Sized("DECIMAL", def.Size);
      return "DECIMAL(" + std::to_string(def.Size) + "," + std::to_string(def.Precision) + ")";
    case ftDate: return "DATE";
    case ftTime: return "TIME";
    case ftDateTime: return "DATETIME";
    case ftTimeStamp: return "TIMESTAMP";
    case ftBlob:
    case ftGraphic:
    case ftTypedBinary:
    case ftBytes:
    case ftVarBytes:
    case ftOraBlob:
    case ftParadoxOle:
    case ftDBaseOle: return "BLOB";
    default: return "";
  }
}

}  // namespace kv
