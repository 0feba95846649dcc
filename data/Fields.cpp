#include "data/Fields.h"

#include "data/DataSet.h"
#include "foundation/Format.h"

namespace kv {

namespace {

std::string Fold(std::string_view name) {
  std::string s(name);
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return s;
}

}  // namespace

TField::TField(TDataSet& dataSet, const TFieldDef& def, int index)
    : dataSet_(&dataSet), def_(def), index_(index), kind_(static_cast<TVarType>(FieldTypeValueKind(def.DataType))) {}

bool TField::IsNull() const {
  TVariant v;
  return !dataSet_->ReadField(*this, v);
}

TVariant TField::Value() const {
  TVariant v;
  if (!dataSet_->ReadField(*this, v)) return TVariant::Null();
  return v;
}

bool TField::ReadValue(TVariant& into) const { return dataSet_->ReadFieldValue(*this, into); }

int64_t TField::AsInteger() const { return Value().AsInteger(); }
double TField::AsFloat() const { return Value().AsFloat(); }
bool TField::AsBoolean() const { return Value().AsBoolean(); }
TDateTime TField::AsDateTime() const { return Value().AsDateTime(); }

std::string TField::AsString() const {
  std::string s;
  ReadText(s);
  return s;
}

bool TField::ReadText(std::string& out) const { return dataSet_->ReadFieldText(*this, out); }

TVariant TField::Convert(const TVariant& value) const {
  if (value.IsNullOrEmpty()) return TVariant::Null();
  switch (kind_) {
    case varInteger: return TVariant(value.AsInteger());
    case varFloat: return TVariant(value.AsFloat());
    case varBoolean: return TVariant(value.AsBoolean());
    case varDateTime: return TVariant::FromDateTime(value.AsDateTime());
    default:
      if (value.Type() == varString) return value;
      return TVariant(value.AsString());
  }
}

void TField::SetValue(const TVariant& value) { dataSet_->WriteField(*this, value); }

// ---- TFields -------------------------------------------------------------------

TField& TFields::operator[](int index) const {
  if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
  return *items_[static_cast<size_t>(index)];
}

TField* TFields::Find(std::string_view name) const {
  if (name.empty()) return nullptr;  // a field without a name is never found by name
  auto it = byName_.find(Fold(name));
  return it == byName_.end() ? nullptr : items_[static_cast<size_t>(it->second)].get();
}

void TFields::Add(std::unique_ptr<TField> field) {
  if (!field->FieldName().empty()) byName_.emplace(Fold(field->FieldName()), Count());
  items_.push_back(std::move(field));
}

void TFields::Clear() {
  items_.clear();
  byName_.clear();
}

}  // namespace kv
