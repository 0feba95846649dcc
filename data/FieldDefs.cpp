#include "data/FieldDefs.h"

#include <unordered_set>

#include "data/DatabaseError.h"
#include "foundation/Format.h"
#include "foundation/KVObject.h"

namespace kv {

namespace {
std::string FoldName(std::string_view name) {
  std::string s(name);
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return s;
}
}  // namespace

// The key function of the error class lives here, with the definitions that raise it first.
EDatabaseError::~EDatabaseError() = default;

const char* FieldTypeName(TFieldType type) {
  static const char* const names[kFieldTypeCount] = {
      "Unknown",    "String",     "Smallint", "Integer",   "Word",        "Boolean",   "Float",     "Currency",
      "BCD",        "Date",       "Time",     "DateTime",  "Bytes",       "VarBytes",  "AutoInc",   "Blob",
      "Memo",       "Graphic",    "FmtMemo",  "ParadoxOle", "DBaseOle",   "TypedBinary", "Cursor",  "FixedChar",
      "WideString", "Largeint",   "ADT",      "Array",     "Reference",   "DataSet",   "OraBlob",   "OraClob",
      "Variant",    "Interface",  "IDispatch", "Guid",     "TimeStamp",   "FMTBcd"};
  return type < kFieldTypeCount ? names[type] : "Unknown";
}

uint8_t FieldTypeValueKind(TFieldType type) {
  switch (type) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
    case ftLargeint: return 2;  // varInteger
    case ftFloat:
    case ftCurrency:
    case ftBCD:
    case ftFMTBcd: return 3;  // varFloat
    case ftBoolean: return 4;  // varBoolean
    case ftDate:
    case ftTime:
    case ftDateTime:
    case ftTimeStamp: return 6;  // varDateTime
    default: return 5;  // varString
  }
}

void TFieldDef::SetRequired(bool value) {
  if (value)
    Attributes = static_cast<TFieldAttributes>(Attributes | (1u << faRequired));
  else
    Attributes = static_cast<TFieldAttributes>(Attributes & ~(1u << faRequired));
}

// ---- TFieldDefs ---------------------------------------------------------------

const TFieldDef& TFieldDefs::operator[](int index) const {
  if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
  return items_[static_cast<size_t>(index)];
}

TFieldDef& TFieldDefs::operator[](int index) {
  if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
  dirty_ = true;  // the caller may rename it
  return items_[static_cast<size_t>(index)];
}

TFieldDef& TFieldDefs::Add(const std::string& name, TFieldType type, int32_t size, bool required) {
  TFieldDef d;
  d.Name = name;
  d.DataType = type;
  d.Size = size;
  d.SetRequired(required);
  return Add(d);
}

TFieldDef& TFieldDefs::Add(const TFieldDef& def) {
  if (IndexOf(def.Name) >= 0) throw EDatabaseError(Format("Duplicate field name '%s'", def.Name));
  if (!def.Name.empty()) byName_.emplace(FoldName(def.Name), Count());
  items_.push_back(def);
  items_.back().FieldNo = Count();
  return items_.back();
}

int TFieldDefs::IndexOf(std::string_view name) const {
  if (dirty_) {
    byName_.clear();
    for (size_t i = 0; i < items_.size(); ++i)
      if (!items_[i].Name.empty()) byName_.emplace(FoldName(items_[i].Name), static_cast<int>(i));
    dirty_ = false;
  }
  if (name.empty()) return -1;
  auto it = byName_.find(FoldName(name));
  return it == byName_.end() ? -1 : it->second;
}

const TFieldDef* TFieldDefs::Find(std::string_view name) const {
  int i = IndexOf(name);
  return i < 0 ? nullptr : &items_[static_cast<size_t>(i)];
}

std::string TFieldDefs::MakeUniqueName(const std::string& name) const {
  if (IndexOf(name) < 0) return name;
  for (int n = 1;; ++n) {
    std::string candidate = name + "_" + std::to_string(n);
    if (IndexOf(candidate) < 0) return candidate;
  }
}

std::vector<std::string> MakeUniqueNames(std::vector<std::string> names) {
  // Every name of the list, folded, so that no name given can be one that
  // comes later; then the names given so far.
  std::unordered_set<std::string> taken;
  taken.reserve(names.size() * 2);
  for (const std::string& n : names)
    if (!n.empty()) taken.insert(FoldName(n));
  std::unordered_set<std::string> seen;
  seen.reserve(names.size());
  std::unordered_map<std::string, int> nextSuffix;  // folded name -> the next suffix to try
  for (std::string& n : names) {
    if (n.empty()) continue;
    std::string folded = FoldName(n);
    if (seen.insert(folded).second) continue;  // the first of its name keeps it
    int& k = nextSuffix.try_emplace(folded, 1).first->second;
    std::string candidate;
    for (;; ++k) {
      candidate = n + "_" + std::to_string(k);
      if (taken.insert(FoldName(candidate)).second) break;
    }
    ++k;
    seen.insert(FoldName(candidate));
    n = std::move(candidate);
  }
  return names;
}

// ---- TIndexDefs ---------------------------------------------------------------

const TIndexDef& TIndexDefs::operator[](int index) const {
  if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
  return items_[static_cast<size_t>(index)];
}

TIndexDef& TIndexDefs::operator[](int index) {
  if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
  return items_[static_cast<size_t>(index)];
}

TIndexDef& TIndexDefs::Add(const std::string& name, const std::string& fields, TIndexOptions options) {
  TIndexDef d;
  d.Name = name;
  d.Fields = fields;
  d.Options = options;
  items_.push_back(std::move(d));
  return items_.back();
}

int TIndexDefs::IndexOf(std::string_view name) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (SameTextAscii(items_[i].Name, name)) return static_cast<int>(i);
  return -1;
}

const TIndexDef* TIndexDefs::Find(std::string_view name) const {
  int i = IndexOf(name);
  return i < 0 ? nullptr : &items_[static_cast<size_t>(i)];
}

const TIndexDef* TIndexDefs::FindByFields(std::string_view fields) const {
  for (const auto& d : items_)
    if (SameTextAscii(d.Fields, fields)) return &d;
  return nullptr;
}

const TIndexDef* TIndexDefs::FindForKeys(std::string_view keyFields) const {
  const std::vector<std::string> keys = SplitFieldNames(keyFields);
  for (const auto& d : items_) {
    if (d.Has(ixExpression)) continue;
    const std::vector<std::string> fields = SplitFieldNames(d.Fields);
    if (fields.empty()) continue;
    for (const std::string& k : keys)
      if (SameTextAscii(k, fields.front())) return &d;
  }
  return nullptr;
}

std::vector<std::string> SplitFieldNames(std::string_view names) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= names.size()) {
    size_t end = names.find(';', start);
    if (end == std::string_view::npos) end = names.size();
    std::string_view part = names.substr(start, end - start);
    while (!part.empty() && (part.front() == ' ' || part.front() == '\t')) part.remove_prefix(1);
    while (!part.empty() && (part.back() == ' ' || part.back() == '\t')) part.remove_suffix(1);
    if (!part.empty()) out.emplace_back(part);
    start = end + 1;
  }
  return out;
}

}  // namespace kv
