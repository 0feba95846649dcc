// Conversion functions (registered in the conversion batch): numbers to text
// and back, and the To... family that applies the language's own conversions.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "expression/FunctionList.h"
#include "foundation/Exceptions.h"
#include "foundation/FloatFormat.h"
#include "foundation/Format.h"
#include "foundation/NumUtils.h"
#include "foundation/CharClass.h"

namespace kv {

namespace {

// IntToHex pads to at most this many digits (a 64-bit value has 16); a
// larger request is taken as this one rather than building a huge text.
constexpr int64_t kMaxHexDigits = 32;
// A text quoted in an error message is cut after this many bytes.
constexpr size_t kMaxQuotedText = 64;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// [+|-] (digits [. [digits]] | . digits) [(E|e) [+|-] digits]: the whole of `s`.
bool IsDecimalReal(std::string_view s) {
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  size_t digits = 0;
  while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t expDigits = 0;
    while (i < s.size() && IsDigit(s[i])) ++i, ++expDigits;
    if (expDigits == 0) return false;
  }
  return i == s.size();
}

[[noreturn]] void InvalidFloat(std::string_view text) {
  std::string shown(text.substr(0, kMaxQuotedText));
  if (text.size() > kMaxQuotedText) shown += "...";
  throw EConvertError("'" + shown + "' is not a valid floating point value");
}

}  // namespace

// ---- Numbers to text -------------------------------------------------------------------

// FloatToStr(num): the shortest general text with 15 significant digits.
class TExp_FloatToStr : public TStrFunction {
  KV_CLASS(TExp_FloatToStr, TStrFunction)
public:
  TExpTypeSet ArgTypes(int) const override { return tsNum; }
  void Calculate() override { PutString(FloatToStrGeneral(Arg(0)->GetReal(), 15)); }
};
KV_IMPLEMENT_CLASS(TExp_FloatToStr, TStrFunction)

// FormatFloat(string Picture, num X): X written by the number picture
// (foundation/FloatFormat.h). A one-character literal is a character, not a
// string, so '0' is refused; '#0' writes the same.
class TExp_FormatFloat : public TStrFunction {
  KV_CLASS(TExp_FormatFloat, TStrFunction)
public:
  int FixedParamCount() const override { return 2; }
  TExpTypeSet ArgTypes(int index) const override { return index == 0 ? tsString : tsNum; }
  void Calculate() override {
    TTextBuffer buffer;
    PutString(FormatFloat(Arg(0)->GetText(buffer), Arg(1)->GetReal()));
  }
};
KV_IMPLEMENT_CLASS(TExp_FormatFloat, TStrFunction)

// IntToHex(integer V, integer Digits): upper-case hexadecimal of the 64-bit
// pattern of V (-1 is 16 Fs), padded with 0s to Digits digits. Digits below 1
// ask for no padding; above 32 it is taken as 32.
class TExp_IntToHex : public TStrFunction {
  KV_CLASS(TExp_IntToHex, TStrFunction)
public:
  int FixedParamCount() const override { return 2; }
  TExpTypeSet ArgTypes(int) const override { return tsInteger; }
  void Calculate() override {
    char digits[16];
    auto r = std::to_chars(digits, digits + sizeof digits, static_cast<uint64_t>(Arg(0)->GetInteger()), 16);
    const size_t count = static_cast<size_t>(r.ptr - digits);
    const size_t width = static_cast<size_t>(std::clamp<int64_t>(Arg(1)->GetInteger(), 0, kMaxHexDigits));
    char text[kMaxHexDigits + 16];
    size_t n = 0;
    for (; n + count < width; ++n) text[n] = '0';
    for (size_t i = 0; i < count; ++i) {
      text[n++] = AsciiUpper(digits[i]);
    }
    PutString(std::string_view(text, n));
  }
};
KV_IMPLEMENT_CLASS(TExp_IntToHex, TStrFunction)

// IntToStr(integer): the decimal text.
class TExp_IntToStr : public TStrFunction {
  KV_CLASS(TExp_IntToStr, TStrFunction)
public:
  TExpTypeSet ArgTypes(int) const override { return tsInteger; }
  void Calculate() override {
    char text[24];
    auto r = std::to_chars(text, text + sizeof text, Arg(0)->GetInteger());
    PutString(std::string_view(text, static_cast<size_t>(r.ptr - text)));
  }
};
KV_IMPLEMENT_CLASS(TExp_IntToStr, TStrFunction)

// ---- Text to a number -------------------------------------------------------------------

// StrToFloat(any): the argument's text read as a decimal real (blanks around
// it allowed, "." as the decimal point, an optional exponent). Anything else,
// or a value beyond the range of the reals, raises EConvertError naming the text.
class TExp_StrToFloat : public TFunction {
  KV_CLASS(TExp_StrToFloat, TFunction)
public:
  bool TransOverOK() override {
    DataType = etReal;
    return true;
  }
  void Calculate() override {
    TTextBuffer buffer;
    const std::string_view text = Arg(0)->GetText(buffer);
    size_t first = 0, last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    const std::string_view number = text.substr(first, last - first);
    if (!IsDecimalReal(number)) InvalidFloat(text);
    const long double x = StrToNum(number);
    if (!std::isfinite(x)) InvalidFloat(text);
    PutReal(x);
  }
};
KV_IMPLEMENT_CLASS(TExp_StrToFloat, TFunction)

// ---- The language's conversions ---------------------------------------------------------

// To<Type>(any): the argument read with the Get... of Type and written into
// a node of Type; each function is a row of the table below. ToStr applies
// the argument's own format (ToStr(2.5 : '%.3f') is 2.500); ToTime raises
// EConvertError for a text that is no date, time or date-time.
template <TExpDataType Type>
class TConvertTo : public TFunction {
public:
  bool TransOverOK() override {
    DataType = Type;
    return true;
  }
  void Calculate() override {
    const TExpression* a = Arg(0);
    if constexpr (Type == etBoolean)
      PutBoolean(a->GetBoolean());
    else if constexpr (Type == etChar)
      PutChar(a->GetChar());
    else if constexpr (Type == etInteger)
      PutInteger(a->GetInteger());
    else if constexpr (Type == etReal)
      PutReal(a->GetReal());
    else if constexpr (Type == etString)
      PutString(a->GetString());
    else {
      static_assert(Type == etDateTime, "a To function for a type without one");
      PutDateTime(a->GetDateTime());
    }
  }
};

namespace {

// The conversion batch, in registration order.
const TFunctionBatchRegistrar g_functions{fbConversion, 0, {
    {"FloatToStr", TExp_FloatToStr::StaticClass()},
    {"FormatFloat", TExp_FormatFloat::StaticClass()},
    {"IntToHex", TExp_IntToHex::StaticClass()},
    {"IntToStr", TExp_IntToStr::StaticClass()},
    {"StrToFloat", TExp_StrToFloat::StaticClass()},
    {"ToBool", FunctionClass<TConvertTo<etBoolean>, "TExp_ToBool">()},
    {"ToChar", FunctionClass<TConvertTo<etChar>, "TExp_ToChar">()},
    {"ToInt", FunctionClass<TConvertTo<etInteger>, "TExp_ToInt">()},
    {"ToReal", FunctionClass<TConvertTo<etReal>, "TExp_ToReal">()},
    {"ToStr", FunctionClass<TConvertTo<etString>, "TExp_ToStr">()},
    {"ToTime", FunctionClass<TConvertTo<etDateTime>, "TExp_ToTime">()},
}};

}  // namespace

}  // namespace kv
