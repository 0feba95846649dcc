// The data types of the expression language and sets of them.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "KVLib_export.h"

namespace kv {

// The type of a value. The order is fixed: the ordinal is stored in streams.
enum TExpDataType : uint8_t {
  etInteger = 0,   // signed 64-bit integer
  etReal = 1,      // 80-bit extended real
  etBoolean = 2,   // 0 or 1
  etChar = 3,      // one byte
  etString = 4,    // byte string (UTF-8 in practice)
  etDateTime = 5,  // days since 1899-12-30 as a double
  etAny = 6,       // settled at evaluation
};
inline constexpr int kExpDataTypeCount = 7;

// "etInteger" ... "etAny"; "?" outside the range.
KVLIB_EXPORT const char* ExpDataTypeName(TExpDataType type);
// The comma-separated names in ordinal order, as enumeration properties list them.
KVLIB_EXPORT const char* ExpDataTypeNames();

// A set of data types, used to state which argument types a function accepts.
class TExpTypeSet {
public:
  constexpr TExpTypeSet() = default;
  constexpr TExpTypeSet(std::initializer_list<TExpDataType> types) {
    for (TExpDataType t : types) bits_ = static_cast<uint8_t>(bits_ | (1u << t));
  }
  constexpr bool Contains(TExpDataType t) const { return t < kExpDataTypeCount && ((bits_ >> t) & 1u) != 0; }
  constexpr TExpTypeSet operator|(TExpTypeSet o) const {
    TExpTypeSet r;
    r.bits_ = static_cast<uint8_t>(bits_ | o.bits_);
    return r;
  }
  constexpr bool operator==(const TExpTypeSet&) const = default;
  constexpr uint8_t Bits() const { return bits_; }

private:
  uint8_t bits_ = 0;
};

// Every type.
inline constexpr TExpTypeSet tsAll{etInteger, etReal, etBoolean, etChar, etString, etDateTime, etAny};
// Numbers: what arithmetic accepts (an untyped operand is settled later).
inline constexpr TExpTypeSet tsNum{etInteger, etReal, etDateTime, etAny};
// Dates: numbers known at translation (no etAny: convert a variable first, e.g. with ToTime).
inline constexpr TExpTypeSet tsDate{etInteger, etReal, etDateTime};
// Exactly one type ("integer only", "string only", ...).
inline constexpr TExpTypeSet tsInteger{etInteger};
inline constexpr TExpTypeSet tsString{etString};
inline constexpr TExpTypeSet tsChar{etChar};
inline constexpr TExpTypeSet tsText{etChar, etString};
inline constexpr TExpTypeSet tsBoolean{etBoolean};
// Integer or untyped (dataset handles of the database functions).
inline constexpr TExpTypeSet tsHandle{etInteger, etAny};

}  // namespace kv
