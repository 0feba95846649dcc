// The stored field and index definitions of a database dataset
// (TKVFieldDef/TKVFieldDefs, TKVIndexDef/TKVIndexDefs) and their
// conversion to and from the engine's TFieldDefs/TIndexDefs.
//
// A stored field type is one byte, the field type code of stored jobs. The
// engine's TFieldType is numbered the same way (ftUnknown = 0 ...
// ftFMTBcd = 37), so a code converts as the same number. A code of 38 or
// more names no type: it is kept as read and written back unchanged, and
// converting it into an engine definition raises EDatabaseError.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "KVCore_export.h"
#include "data/FieldDefs.h"
#include "foundation/BaseObject.h"

namespace kv {

// The engine type of a stored field type code; EDatabaseError "Field '%s'
// has an unknown field type code %d" when the code names no type.
KVCORE_EXPORT TFieldType FieldTypeOfCode(uint8_t code, std::string_view fieldName);

class KVCORE_EXPORT TKVFieldDef : public TBaseObject {
  KV_CLASS(TKVFieldDef, TBaseObject)
public:
  void Assign(const TBaseObject* source) override;
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;

  bool Required() const { return (Attributes >> faRequired) & 1; }

  // Hands the column over as name, size, precision, data type, data type
  // name and required (the other attributes, the field number and the
  // calculated flag belong to the engine).
  void HandOver(TFieldDefs& defs) const;
  // Takes every member of `def`.
  void TakeBack(const TFieldDef& def);

  std::string Name;
  int32_t Precision = 0;
  int32_t FieldNo = 0;
  int32_t Size = 0;
  bool InternalCalcField = false;
  uint8_t DataType = ftUnknown;  // the stored field type code
  std::string DataTypeName;      // the server's name of the type, used to re-create the column
  TFieldAttributes Attributes = 0;
};

// Field definitions keyed by name; the list owns them.
class KVCORE_EXPORT TKVFieldDefs : public TStoredStrList {
  KV_CLASS(TKVFieldDefs, TStoredStrList)
public:
  TKVFieldDef* GetObj(int index) const override;
  // The definition whose name is exactly `name` (letter case counts); null when none.
  TKVFieldDef* FindField(std::string_view name) const;
  // Adds a new definition named `name`, owned by the list, and returns it.
  TKVFieldDef* AddFieldDef(const std::string& name);

  // Replaces `defs` with the definitions of this list, in order. Raises
  // EDatabaseError for an unknown type code or a repeated name; `defs` is
  // left unchanged then.
  void HandOver(TFieldDefs& defs) const;
  // Replaces this list with copies of `defs`.
  void TakeBack(const TFieldDefs& defs);
};

class KVCORE_EXPORT TKVIndexDef : public TBaseObject {
  KV_CLASS(TKVIndexDef, TBaseObject)
public:
  void Assign(const TBaseObject* source) override;
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;

  // Hands the index over under the name Name + "Indx", with its field list and options.
  void HandOver(TIndexDefs& defs) const;
  // Takes all seven members of `def`.
  void TakeBack(const TIndexDef& def);

  std::string Name;
  std::string Source;
  std::string FieldExpression;  // ";"-separated field names
  std::string DescFields;
  std::string CaseInsFields;
  TIndexOptions Options = 0;
  int32_t GroupingLevel = 0;
};

// Index definitions; the list owns them.
class KVCORE_EXPORT TKVIndexDefs : public TStoredStrList {
  KV_CLASS(TKVIndexDefs, TStoredStrList)
public:
  TKVIndexDef* GetObj(int index) const override;
  // Adds an empty definition under an empty name and returns it (the list owns it).
  TKVIndexDef* AddIndexDef();

  // Replaces `defs` with the definitions of this list, in order.
  void HandOver(TIndexDefs& defs) const;
  // Replaces this list with copies of `defs`, each under its name.
  void TakeBack(const TIndexDefs& defs);
};

}  // namespace kv
