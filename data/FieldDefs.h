// Field and index definitions of a dataset: what columns and indexes it
// has, independent of any open cursor. An engine fills them when it opens
// (from a file's layout, a statement's result columns, a table's catalog);
// a caller may fill them before creating a table or an in-memory dataset.
//
// The field type codes are stored in job files (one byte per field
// definition), so their numbers never change.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "KVCore_export.h"

namespace kv {

enum TFieldType : uint8_t {
  ftUnknown = 0,
  ftString = 1,      // text; Size is the declared length in bytes
  ftSmallint = 2,
  ftInteger = 3,
  ftWord = 4,
  ftBoolean = 5,
  ftFloat = 6,
  ftCurrency = 7,
  ftBCD = 8,
  ftDate = 9,
  ftTime = 10,
  ftDateTime = 11,
  ftBytes = 12,
  ftVarBytes = 13,
  ftAutoInc = 14,
  ftBlob = 15,
  ftMemo = 16,
  ftGraphic = 17,
  ftFmtMemo = 18,
  ftParadoxOle = 19,
  ftDBaseOle = 20,
  ftTypedBinary = 21,
  ftCursor = 22,
  ftFixedChar = 23,
  ftWideString = 24,
  ftLargeint = 25,
  ftADT = 26,
  ftArray = 27,
  ftReference = 28,
  ftDataSet = 29,
  ftOraBlob = 30,
  ftOraClob = 31,
  ftVariant = 32,
  ftInterface = 33,
  ftIDispatch = 34,
  ftGuid = 35,
  ftTimeStamp = 36,
  ftFMTBcd = 37,
};
inline constexpr int kFieldTypeCount = 38;

KVCORE_EXPORT const char* FieldTypeName(TFieldType type);
// The kind of value a field of the type holds: varString, varInteger,
// varFloat, varBoolean or varDateTime (binary and unknown types hold text).
KVCORE_EXPORT uint8_t FieldTypeValueKind(TFieldType type);

// Field attributes: a one-byte set, bit n = value n.
enum TFieldAttribute : uint8_t { faHiddenCol = 0, faReadonly = 1, faRequired = 2, faLink = 3, faUnNamed = 4, faFixed = 5 };
using TFieldAttributes = uint8_t;

struct KVCORE_EXPORT TFieldDef {
  std::string Name;
  TFieldType DataType = ftUnknown;
  int32_t Size = 0;       // declared length of texts, digits of BCD numbers; 0 when it does not apply
  int32_t Precision = 0;  // decimals of numbers
  int32_t FieldNo = 0;    // 1-based position
  bool InternalCalcField = false;
  TFieldAttributes Attributes = 0;
  std::string DataTypeName;  // the engine's own name of the type ("VARCHAR2", "NUMERIC"), when it has one

  bool Required() const { return (Attributes >> faRequired) & 1; }
  void SetRequired(bool value);
};

class KVCORE_EXPORT TFieldDefs {
public:
  int Count() const { return static_cast<int>(items_.size()); }
  const TFieldDef& operator[](int index) const;
  TFieldDef& operator[](int index);
  // Adds a definition numbered after the last; EDatabaseError "Duplicate
  // field name '%s'" when a field of that name (any letter case) exists.
  // Empty names may repeat: a field without a name is never found by name.
  TFieldDef& Add(const std::string& name, TFieldType type, int32_t size = 0, bool required = false);
  TFieldDef& Add(const TFieldDef& def);
  // Index of the field named `name` (ASCII letter case ignored); -1 when
  // none, and always for an empty name.
  int IndexOf(std::string_view name) const;
  const TFieldDef* Find(std::string_view name) const;
  // `name` when no field has it, else the first of name_1, name_2, ... that is free.
  std::string MakeUniqueName(const std::string& name) const;
  void Clear() {
    items_.clear();
    byName_.clear();
    dirty_ = false;
  }
  void Reserve(int count) { items_.reserve(static_cast<size_t>(count)); }
  void Assign(const TFieldDefs& other) {
    items_ = other.items_;
    dirty_ = true;
  }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

private:
  std::vector<TFieldDef> items_;
  // Folded name -> first index; rebuilt when a definition may have been renamed.
  mutable std::unordered_map<std::string, int> byName_;
  mutable bool dirty_ = false;
};

// Index options: a one-byte set, bit n = value n.
enum TIndexOption : uint8_t {
  ixPrimary = 0,
  ixUnique = 1,
  ixDescending = 2,
  ixCaseInsensitive = 3,
  ixExpression = 4,
  ixNonMaintained = 5,
};
using TIndexOptions = uint8_t;

struct KVCORE_EXPORT TIndexDef {
  std::string Name;
  std::string Source;
  std::string Fields;         // ";"-separated field names
  std::string DescFields;     // fields sorted descending
  std::string CaseInsFields;  // fields compared ignoring case
  TIndexOptions Options = 0;
  int32_t GroupingLevel = 0;

  bool Has(TIndexOption o) const { return (Options >> o) & 1; }
};

class KVCORE_EXPORT TIndexDefs {
public:
  int Count() const { return static_cast<int>(items_.size()); }
  const TIndexDef& operator[](int index) const;
  TIndexDef& operator[](int index);
  TIndexDef& Add(const std::string& name, const std::string& fields, TIndexOptions options = 0);
  int IndexOf(std::string_view name) const;
  const TIndexDef* Find(std::string_view name) const;
  // The first index whose field list is `fields` (ASCII letter case ignored).
  const TIndexDef* FindByFields(std::string_view fields) const;
  // The first index a Locate by `keyFields` (";"-separated, default
  // options) can search instead of walking every record: one whose first
  // field is one of the key fields (letter case ignored) and that is not an
  // expression index. Null when there is none.
  const TIndexDef* FindForKeys(std::string_view keyFields) const;
  void Clear() { items_.clear(); }
  void Assign(const TIndexDefs& other) { items_ = other.items_; }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

private:
  std::vector<TIndexDef> items_;
};

// Splits a ";"-separated list of names; blanks around names are dropped
// and empty names are left out.
// Names for columns whose names may repeat (a text file's header): the
// first of each name (letter case ignored) keeps it, a repeated one gets
// NAME_k with the next k from 1 up that is no name of the list (letter case
// ignored) and was not given before. Empty names stay empty. A name that
// occurs once always keeps it. Linear in the number of names.
KVCORE_EXPORT std::vector<std::string> MakeUniqueNames(std::vector<std::string> names);

KVCORE_EXPORT std::vector<std::string> SplitFieldNames(std::string_view names);

}  // namespace kv
