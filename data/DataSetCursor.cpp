#include "data/DataSetCursor.h"

#include "data/DatabaseError.h"

namespace kv {

TExpDataType FieldExpType(TFieldType type) {
  switch (static_cast<TVarType>(FieldTypeValueKind(type))) {
    case varInteger: return etInteger;
    case varFloat: return etReal;
    case varBoolean: return etBoolean;
    case varDateTime: return etDateTime;
    default: return etString;
  }
}

int32_t FieldDisplayLength(TFieldType type, int32_t size) {
  switch (type) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftGuid: return size;
    case ftSmallint: return 6;
    case ftInteger:
    case ftAutoInc: return 12;
    case ftWord: return 5;
    case ftLargeint: return 20;
    case ftBoolean: return 2;
    case ftFloat:
    case ftCurrency:
    case ftBCD:
    case ftFMTBcd: return 16;
    case ftDateTime:
    case ftTimeStamp: return 20;
    default: return 10;
  }
}

TDataSetCursor::TDataSetCursor(TDataSet& dataSet) : dataSet_(dataSet), handle_(RegisterDBCursor(this)) {}

TDataSetCursor::~TDataSetCursor() { UnregisterDBCursor(handle_); }

int TDataSetCursor::FieldIndex(std::string_view name) {
  if (!dataSet_.Active()) throw EDatabaseError("Cannot read field '" + std::string(name) + "': the dataset is closed");
  const TField* f = dataSet_.FindField(name);
  return f ? f->Index() : -1;
}

TDBFieldInfo TDataSetCursor::FieldInfo(int index) {
  const TField& f = dataSet_.Fields(index);
  TDBFieldInfo info;
  info.Name = f.FieldName();
  info.Type = FieldExpType(f.DataType());
  info.Size = f.Size();
  info.FieldNo = f.FieldNo();
  const TFieldDef* def = dataSet_.FieldDefs().Find(f.FieldName());
  info.Precision = def ? def->Precision : f.Precision();
  info.DisplayLength = FieldDisplayLength(f.DataType(), f.Size());
  return info;
}

}  // namespace kv
