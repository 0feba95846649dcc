// The fields of an open dataset. A field is created for every field
// definition when the dataset opens and freed when it closes; it reads the
// value of its column in the dataset's current record (or in the record
// being edited) and, while the dataset is in edit or insert state, sets it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "KVCore_export.h"
#include "data/FieldDefs.h"
#include "data/Variant.h"

namespace kv {

class TDataSet;

class KVCORE_EXPORT TField {
public:
  TField(TDataSet& dataSet, const TFieldDef& def, int index);
  TField(const TField&) = delete;
  TField& operator=(const TField&) = delete;

  TDataSet& DataSet() const { return *dataSet_; }
  const std::string& FieldName() const { return def_.Name; }
  TFieldType DataType() const { return def_.DataType; }
  int32_t Size() const { return def_.Size; }
  int32_t Precision() const { return def_.Precision; }
  int FieldNo() const { return def_.FieldNo; }  // 1-based
  int Index() const { return index_; }          // 0-based position in the dataset's fields
  bool Required() const { return def_.Required(); }
  const TFieldDef& Def() const { return def_; }
  // The kind of value the field holds (varString, varInteger, ...).
  TVarType ValueKind() const { return kind_; }

  // Reading. A null field reads as 0, 0.0, false, "" and date-time 0.
  bool IsNull() const;
  TVariant Value() const;  // Null when the field is null
  // The value into `into` (as into = Value()), reusing its storage; false when null.
  bool ReadValue(TVariant& into) const;
  int64_t AsInteger() const;
  double AsFloat() const;
  bool AsBoolean() const;
  std::string AsString() const;
  TDateTime AsDateTime() const;
  // The text of the value into `out`, reusing its storage; false when null.
  bool ReadText(std::string& out) const;

  // Writing (edit or insert state only): the value is converted to the
  // field's kind; Null and unassigned clear the field. EConvertError when
  // the value does not convert; EDatabaseError outside edit and insert.
  void SetValue(const TVariant& value);
  void SetAsString(std::string_view value) { SetValue(TVariant(value)); }
  void SetAsInteger(int64_t value) { SetValue(TVariant(value)); }
  void SetAsFloat(double value) { SetValue(TVariant(value)); }
  void SetAsBoolean(bool value) { SetValue(TVariant(value)); }
  void SetAsDateTime(TDateTime value) { SetValue(TVariant::FromDateTime(value)); }
  void Clear() { SetValue(TVariant::Null()); }

  // The value converted to the kind of the field (used when a value is stored).
  TVariant Convert(const TVariant& value) const;
  // Whether `value` is stored as it is, without Convert: a value of the
  // field's kind, or any text for a field of a text kind.
  bool StoresAsIs(const TVariant& value) const {
    return value.Type() == kind_ ||
           (value.Type() == varString && kind_ != varInteger && kind_ != varFloat && kind_ != varBoolean &&
            kind_ != varDateTime);
  }

private:
  TDataSet* dataSet_;
  TFieldDef def_;
  int index_;
  TVarType kind_;
};

// The fields of one open dataset, in column order, found by name with the
// ASCII letter case ignored.
class KVCORE_EXPORT TFields {
public:
  int Count() const { return static_cast<int>(items_.size()); }
  TField& operator[](int index) const;
  TField* Find(std::string_view name) const;
  void Add(std::unique_ptr<TField> field);
  void Clear();
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

private:
  std::vector<std::unique_ptr<TField>> items_;
  std::unordered_map<std::string, int> byName_;  // folded name -> first index
};

}  // namespace kv
