// The value that crosses the dataset interface: a field's value, a key
// value handed to Locate, a value computed for a destination field. It is
// unassigned, null, an integer, a real, a boolean, a text, a date-time or an
// array of such values.
//
// Conversions follow one rule set for every engine:
//   - null and unassigned read as 0, 0.0, false, "" and date-time 0;
//   - a boolean reads as 1 or 0, and "True" or "False" as text;
//   - a text converts to a number when it holds one (blanks around it are
//     ignored), to a boolean when it is "True"/"False" (any letter case) or
//     a number, to a date-time when it is an ISO date ("2024-05-31"), an ISO
//     date and time ("2024-05-31 13:45:10.250", a "T" may stand for the
//     blank) or a time ("13:45[:10[.250]]"); any other text raises
//     EConvertError;
//   - a real converts to an integer rounded to the nearest (halves to even)
//     and raises EConvertError when it is out of the 64-bit range;
//   - a date-time is written as "yyyy-mm-dd", "hh:nn:ss" or both, with
//     ".zzz" when there are milliseconds;
//   - an array converts to nothing but itself (EConvertError).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "KVCore_export.h"
#include "foundation/DateUtils.h"

namespace kv {

enum TVarType : uint8_t {
  varEmpty = 0,     // unassigned
  varNull = 1,
  varInteger = 2,   // 64-bit signed
  varFloat = 3,     // double
  varBoolean = 4,
  varString = 5,    // UTF-8 text
  varDateTime = 6,  // days since 1899-12-30
  varArray = 7,     // elements, lower bound 0
};

KVCORE_EXPORT const char* VarTypeName(TVarType type);

class KVCORE_EXPORT TVariant {
public:
  TVariant() noexcept = default;
  template <class T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char>,
                                      int> = 0>
  TVariant(T v) noexcept : type_(varInteger) {
    num_.i = static_cast<int64_t>(v);
  }
  TVariant(double v) noexcept : type_(varFloat) { num_.d = v; }
  TVariant(bool v) noexcept : type_(varBoolean) { num_.b = v; }
  TVariant(const char* s) : type_(varString), str_(s ? s : "") {}
  TVariant(std::string_view s) : type_(varString), str_(s) {}
  TVariant(std::string s) noexcept : type_(varString), str_(std::move(s)) {}
  TVariant(std::vector<TVariant> elements) noexcept : type_(varArray), arr_(std::move(elements)) {}

  static TVariant Null() noexcept {
    TVariant v;
    v.type_ = varNull;
    return v;
  }
  static TVariant Array(std::initializer_list<TVariant> elements) { return TVariant(std::vector<TVariant>(elements)); }
  static TVariant FromDateTime(TDateTime value) noexcept {
    TVariant v;
    v.type_ = varDateTime;
    v.num_.d = value;
    return v;
  }

  TVarType Type() const noexcept { return type_; }
  bool IsEmpty() const noexcept { return type_ == varEmpty; }
  bool IsNull() const noexcept { return type_ == varNull; }
  bool IsNullOrEmpty() const noexcept { return type_ <= varNull; }
  bool IsArray() const noexcept { return type_ == varArray; }
  bool IsNumeric() const noexcept { return type_ == varInteger || type_ == varFloat; }

  int64_t AsInteger() const;
  double AsFloat() const;
  bool AsBoolean() const;
  std::string AsString() const;
  TDateTime AsDateTime() const;

  // Array access; EConvertError when the value is not an array, EListError
  // for an index out of range.
  size_t ArrayCount() const;
  const TVariant& Element(size_t index) const;
  TVariant& Element(size_t index);
  const std::vector<TVariant>& Elements() const;
  std::vector<TVariant>& Elements();

  // Exchanges the two values (cheaper than std::swap's three moves).
  void Swap(TVariant& other) noexcept {
    std::swap(type_, other.type_);
    std::swap(num_, other.num_);
    str_.swap(other.str_);
    arr_.swap(other.arr_);
  }
  // Becomes the text `s`, reusing this value's text storage.
  void AssignText(std::string_view s) {
    type_ = varString;
    str_.assign(s.data(), s.size());
    arr_.clear();
  }

  // The same type and the same value (arrays element by element).
  bool operator==(const TVariant& other) const noexcept;

  // Direct access for engines that know the type.
  int64_t RawInteger() const noexcept { return num_.i; }
  double RawFloat() const noexcept { return num_.d; }
  bool RawBoolean() const noexcept { return num_.b; }
  const std::string& RawString() const noexcept { return str_; }

private:
  TVarType type_ = varEmpty;
  union {
    int64_t i;
    double d;
    bool b;
  } num_{0};
  std::string str_;
  std::vector<TVariant> arr_;
};

// ---- Text conversions shared by the engines ----------------------------------
// Each returns false (and leaves `out` alone) when the text does not hold a value of the kind.
KVCORE_EXPORT bool TryTextToInteger(std::string_view text, int64_t& out) noexcept;
KVCORE_EXPORT bool TryTextToFloat(std::string_view text, double& out) noexcept;
KVCORE_EXPORT bool TryTextToBoolean(std::string_view text, bool& out) noexcept;
KVCORE_EXPORT bool TryTextToDateTime(std::string_view text, TDateTime& out) noexcept;
KVCORE_EXPORT std::string DateTimeToText(TDateTime value);
KVCORE_EXPORT std::string FloatToText(double value);

// Compares a stored value with a searched one as Locate does: numbers by
// value, texts by bytes (ASCII letters folded with `caseInsensitive`; with
// `partial` the stored text need only begin with the searched one), dates
// by value; null matches only null. Values of different kinds are compared
// through the stored value's kind; a searched value that does not convert
// does not match.
KVCORE_EXPORT bool VarMatches(const TVariant& stored, const TVariant& searched, bool caseInsensitive, bool partial);

}  // namespace kv
