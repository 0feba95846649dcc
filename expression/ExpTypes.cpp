#include "expression/ExpTypes.h"

namespace kv {

const char* ExpDataTypeName(TExpDataType type) {
  static const char* const names[kExpDataTypeCount] = {"etInteger", "etReal",     "etBoolean", "etChar",
                                                       "etString",  "etDateTime", "etAny"};
  return type < kExpDataTypeCount ? names[type] : "?";
}

const char* ExpDataTypeNames() { return "etInteger,etReal,etBoolean,etChar,etString,etDateTime,etAny"; }

}  // namespace kv
