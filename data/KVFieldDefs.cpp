#include "data/KVFieldDefs.h"

#include <memory>

#include "data/DatabaseError.h"
#include "foundation/Format.h"

namespace kv {

KV_IMPLEMENT_CLASS(TKVFieldDef, TBaseObject)
KV_IMPLEMENT_CLASS(TKVFieldDefs, TStoredStrList)
KV_IMPLEMENT_CLASS(TKVIndexDef, TBaseObject)
KV_IMPLEMENT_CLASS(TKVIndexDefs, TStoredStrList)

namespace {
const TClassRegistrar g_registrar{TKVFieldDef::StaticClass(), TKVFieldDefs::StaticClass(),
                                  TKVIndexDef::StaticClass(), TKVIndexDefs::StaticClass()};
}

TFieldType FieldTypeOfCode(uint8_t code, std::string_view fieldName) {
  if (code >= kFieldTypeCount)
    throw EDatabaseError(Format("Field '%s' has an unknown field type code %d", fieldName, static_cast<int>(code)));
  return static_cast<TFieldType>(code);
}

// ---- TKVFieldDef ---------------------------------------------------------------------------

void TKVFieldDef::Assign(const TBaseObject* source) {
  if (source == this) return;
  if (auto* s = ObjCast<TKVFieldDef>(source)) {
    Name = s->Name;
    Precision = s->Precision;
    FieldNo = s->FieldNo;
    Size = s->Size;
    InternalCalcField = s->InternalCalcField;
    DataType = s->DataType;
    DataTypeName = s->DataTypeName;
    Attributes = s->Attributes;
    return;
  }
  inherited::Assign(source);
}

// Zeros and empty texts are not stored; they read back as the defaults.
void TKVFieldDef::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptString>(proc, param, Name, "FName", !Name.empty());
  Prop<ptInteger>(proc, param, Precision, "FPrecision", Precision != 0);
  Prop<ptInteger>(proc, param, FieldNo, "FFieldNo", FieldNo != 0);
  Prop<ptInteger>(proc, param, Size, "FSize", Size != 0);
  Prop<ptBoolean>(proc, param, InternalCalcField, "FInternalCalcField");
  Prop<ptByte>(proc, param, DataType, "FDataType", DataType != 0);
  Prop<ptString>(proc, param, DataTypeName, "DataTypeName", !DataTypeName.empty());
  Prop<ptSet8>(proc, param, Attributes, "FAttributes", Attributes != 0);
}

void TKVFieldDef::HandOver(TFieldDefs& defs) const {
  TFieldDef def;
  def.Name = Name;
  def.DataType = FieldTypeOfCode(DataType, Name);
  def.Size = Size;
  // The decimals of a number: without them a re-created NUMERIC column
  // would lose its fraction digits.
  def.Precision = Precision;
  def.SetRequired(Required());
  def.DataTypeName = DataTypeName;
  defs.Add(def);
}

void TKVFieldDef::TakeBack(const TFieldDef& def) {
  Name = def.Name;
  Precision = def.Precision;
  FieldNo = def.FieldNo;
  Size = def.Size;
  InternalCalcField = def.InternalCalcField;
  DataType = def.DataType;
  DataTypeName = def.DataTypeName;
  Attributes = def.Attributes;
}

// ---- TKVFieldDefs --------------------------------------------------------------------------

TKVFieldDef* TKVFieldDefs::GetObj(int index) const { return ObjCast<TKVFieldDef>(TStoredStrList::GetObj(index)); }

TKVFieldDef* TKVFieldDefs::FindField(std::string_view name) const {
  for (int i = 0; i < Count(); ++i) {
    TKVFieldDef* def = GetObj(i);
    if (def && def->Name == name) return def;
  }
  return nullptr;
}

TKVFieldDef* TKVFieldDefs::AddFieldDef(const std::string& name) {
  auto def = std::make_unique<TKVFieldDef>();
  def->Name = name;
  TKVFieldDef* result = def.get();
  AddOwned(name, std::move(def));
  return result;
}

// Items that hold no field definition are left out.
void TKVFieldDefs::HandOver(TFieldDefs& defs) const {
  TFieldDefs built;
  for (int i = 0; i < Count(); ++i)
    if (const TKVFieldDef* def = GetObj(i)) def->HandOver(built);
  defs.Assign(built);
}

void TKVFieldDefs::TakeBack(const TFieldDefs& defs) {
  Clear();
  for (const TFieldDef& def : defs) AddFieldDef(def.Name)->TakeBack(def);
}

// ---- TKVIndexDef ---------------------------------------------------------------------------

void TKVIndexDef::Assign(const TBaseObject* source) {
  if (source == this) return;
  if (auto* s = ObjCast<TKVIndexDef>(source)) {
    Name = s->Name;
    Source = s->Source;
    FieldExpression = s->FieldExpression;
    DescFields = s->DescFields;
    CaseInsFields = s->CaseInsFields;
    Options = s->Options;
    GroupingLevel = s->GroupingLevel;
    return;
  }
  inherited::Assign(source);
}

void TKVIndexDef::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptString>(proc, param, Name, "FName", !Name.empty());
  Prop<ptString>(proc, param, Source, "FSource", !Source.empty());
  Prop<ptString>(proc, param, FieldExpression, "FFieldExpression", !FieldExpression.empty());
  Prop<ptString>(proc, param, DescFields, "FDescFields", !DescFields.empty());
  Prop<ptString>(proc, param, CaseInsFields, "FCaseInsFields", !CaseInsFields.empty());
  Prop<ptSet8>(proc, param, Options, "FOptions", Options != 0);
  Prop<ptInteger>(proc, param, GroupingLevel, "FGroupingLevel", GroupingLevel != 0);
}

void TKVIndexDef::HandOver(TIndexDefs& defs) const { defs.Add(Name + "Indx", FieldExpression, Options); }

void TKVIndexDef::TakeBack(const TIndexDef& def) {
  Name = def.Name;
  Source = def.Source;
  FieldExpression = def.Fields;
  DescFields = def.DescFields;
  CaseInsFields = def.CaseInsFields;
  Options = def.Options;
  GroupingLevel = def.GroupingLevel;
}

// ---- TKVIndexDefs --------------------------------------------------------------------------

TKVIndexDef* TKVIndexDefs::GetObj(int index) const { return ObjCast<TKVIndexDef>(TStoredStrList::GetObj(index)); }

TKVIndexDef* TKVIndexDefs::AddIndexDef() {
  auto def = std::make_unique<TKVIndexDef>();
  TKVIndexDef* result = def.get();
  AddOwned("", std::move(def));
  return result;
}

void TKVIndexDefs::HandOver(TIndexDefs& defs) const {
  TIndexDefs built;
  for (int i = 0; i < Count(); ++i)
    if (const TKVIndexDef* def = GetObj(i)) def->HandOver(built);
  defs.Assign(built);
}

void TKVIndexDefs::TakeBack(const TIndexDefs& defs) {
  Clear();
  for (const TIndexDef& def : defs) {
    auto item = std::make_unique<TKVIndexDef>();
    item->TakeBack(def);
    std::string key = item->Name;
    AddOwned(key, std::move(item));
  }
}

}  // namespace kv
