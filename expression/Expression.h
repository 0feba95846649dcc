// The node of the expression language. Every value - a literal, a variable's
// value, the result of an operator or function - lives in a TExpression: a
// data type and a value record, an optional format, ten owned child slots and
// the evaluation stamp. Reading and writing a value goes through the
// conversions below, which are the language's coercion rules.
//
// Evaluation: Evaluate(stamp) computes the children and then the node, at
// most once per stamp. Numeric and boolean nodes never allocate while doing so.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "KVLib_export.h"
#include "expression/ExpTypes.h"
#include "foundation/BaseObject.h"
#include "foundation/DateUtils.h"

namespace kv {

inline constexpr int kSubExpCount = 10;
// The stamp of a node that has never been evaluated.
inline constexpr int32_t kInitialSyncFlag = 2147483647;

// The stamp after `stamp`; 2147483647 is followed by -2147483648.
constexpr int32_t NextStamp(int32_t stamp) { return static_cast<int32_t>(static_cast<uint32_t>(stamp) + 1u); }

// The value record: three slots side by side, of which the data type selects
// one. StrValue for etString; OrdValue (one byte) for etBoolean and etChar;
// NumValue for etInteger (64-bit integer), etReal (extended real) and
// etDateTime (double). NumValue is raw storage read through the typed
// accessors, so a node whose type changes reads the bytes it holds.
struct TExpValueRec {
  std::string StrValue;
  uint8_t OrdValue = 0;
  unsigned char NumValue[16] = {};

  int64_t NumInt() const noexcept {
    int64_t v;
    std::memcpy(&v, NumValue, sizeof v);
    return v;
  }
  void SetNumInt(int64_t v) noexcept { std::memcpy(NumValue, &v, sizeof v); }
  long double NumReal() const noexcept {
    long double v;
    std::memcpy(&v, NumValue, sizeof v);
    return v;
  }
  void SetNumReal(long double v) noexcept { std::memcpy(NumValue, &v, sizeof v); }
  double NumDouble() const noexcept {
    double v;
    std::memcpy(&v, NumValue, sizeof v);
    return v;
  }
  void SetNumDouble(double v) noexcept { std::memcpy(NumValue, &v, sizeof v); }
  void ClearNum() noexcept { std::memset(NumValue, 0, sizeof NumValue); }
};

// Scratch space for GetText: short texts are built here without allocating.
struct TTextBuffer {
  char Small[48];
  std::string Big;
};

class KVLIB_EXPORT TExpression : public TBaseObject {
  KV_CLASS(TExpression, TBaseObject)
public:
  TExpression();
  // Frees the format and every child.
  ~TExpression() override;

  // Stored as "DataType", "Value" (text for etString, an extended real for
  // every other type), "FormatExp" and "SubExp0" .. "SubExp9".
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;

  TExpDataType DataType = etInteger;
  TExpValueRec Value;
  int32_t SyncFlag = kInitialSyncFlag;

  // ---- Values -------------------------------------------------------------------
  // Reading converts from the node's type; writing converts into it. Writes
  // into an etAny node are ignored.
  std::string GetString() const;   // the text form, formatted by GetFormatStr
  void PutString(std::string_view s);
  void SetStrValue(std::string_view s) { Value.StrValue.assign(s.data(), s.size()); }
  char GetChar() const;
  void PutChar(char c);
  // The numeric accessors handle the numeric types inline (evaluation reads
  // and writes values constantly) and the rest out of line.
  int64_t GetInteger() const noexcept {  // never fails: 0 when the value does not convert
    return DataType == etInteger ? Value.NumInt() : GetIntegerOther();
  }
  void PutInteger(int64_t i) {
    if (DataType == etInteger)
      Value.SetNumInt(i);
    else
      PutIntegerOther(i);
  }
  long double GetReal() const noexcept {
    switch (DataType) {
      case etReal: return Value.NumReal();
      case etInteger: return static_cast<long double>(Value.NumInt());
      case etDateTime: return Value.NumDouble();
      default: return GetRealOther();
    }
  }
  void PutReal(long double x) {
    if (DataType == etReal)
      Value.SetNumReal(x);
    else
      PutRealOther(x);
  }
  bool GetBoolean() const noexcept {
    return DataType == etBoolean ? Value.OrdValue != 0 : GetBooleanOther();
  }
  void PutBoolean(bool b) {
    if (DataType == etBoolean)
      Value.OrdValue = b ? 1 : 0;
    else
      PutBooleanOther(b);
  }
  TDateTime GetDateTime() const;  // EConvertError for a text that is no date-time
  void PutDateTime(TDateTime d);
  // The format GetString applies: the text of FormatExp when it has a
  // non-empty one, else "%d", "%g", "YYYY.MM.DD hh:nn:ss" or "%s" by type.
  std::string GetFormatStr() const;
  // The text form without allocating where that is possible (texts without
  // a format, booleans, characters, integers); the view lives as long as the
  // node's value and `buffer` stay unchanged.
  std::string_view GetText(TTextBuffer& buffer) const;

  // Raw copies: etInteger 4 bytes (low 32 bits out, sign-extended in),
  // etReal 10 bytes, etBoolean and etChar 1 byte, etDateTime 8 bytes,
  // etString a std::string; nothing for etAny.
  void GetValue(void* buffer) const;
  void PutValue(const void* buffer);

  // Takes the data type and the value of `source`: a text source gives its
  // text form (its format applied); other types copy the record.
  void AssignValue(const TExpression& source) {
    if (source.DataType == etString || &source == this) {
      AssignText(source);
      return;
    }
    // The text slot means nothing for the other types; it is emptied rather
    // than copied so that numeric assignments never allocate.
    DataType = source.DataType;
    std::memcpy(Value.NumValue, source.Value.NumValue, sizeof Value.NumValue);
    Value.OrdValue = source.Value.OrdValue;
    Value.StrValue.clear();
  }
  // AssignValue, then a copy of the source's format when this node has none.
  // A text is then taken unformatted, so that the format applies once.
  void AssignFormatValue(const TExpression& source);

  TExpression* FormatExp() const noexcept { return FormatExp_; }
  // Frees the present format and takes `exp` (may be null).
  void SetFormatExp(TExpression* exp) noexcept;

  // ---- Tree protocol --------------------------------------------------------------
  // Computes the node's value from its evaluated children; nothing here.
  virtual void Calculate() {}
  // Called by the translator once the children are attached: settles the
  // result type and answers whether the node is complete. Here: the type of
  // child 0 (etReal without children).
  virtual bool TransOverOK();
  TExpression* GetSubExp(int index) const noexcept {
    return index >= 0 && index < kSubExpCount ? SubExp_[index] : nullptr;
  }
  // Stores `exp` in slot `index` (0..9), freeing the previous occupant; an
  // index outside the slots frees `exp`.
  void PutSubExp(int index, TExpression* exp) noexcept;
  // Takes child `index` out of its slot without freeing it.
  TExpression* ReleaseSubExp(int index) noexcept;
  // The translator's way to attach a child. The node always takes `exp`:
  // it keeps it and answers true, or frees it and answers false (a null
  // `exp`, or one the node refuses).
  virtual bool SetSubExp(int index, std::unique_ptr<TExpression> exp);
  // True when every occupied child is constant.
  virtual bool IsConst() const;
  // Deep copy: a node of the same class, copies of the children up to the
  // first empty slot, the value and the format.
  virtual std::unique_ptr<TExpression> CopySelf() const;
  // Computes the tree below this node for `stamp`, once per stamp.
  virtual void Evaluate(int32_t stamp);
  // Sets the stamp of this node and of every node below it.
  void SetSyncFlag(int32_t stamp);
  // One past the highest occupied child slot.
  int SubExpEnd() const noexcept { return subEnd_; }

protected:
  // Copies what CopySelf copies besides the children (value and format);
  // classes with further state extend it.
  virtual void CopyStateTo(TExpression& copy) const;

private:
  friend class TExpTranslator;
  int64_t GetIntegerOther() const noexcept;
  long double GetRealOther() const noexcept;
  bool GetBooleanOther() const noexcept;
  void PutIntegerOther(int64_t i);
  void PutRealOther(long double x);
  void PutBooleanOther(bool b);
  void AssignText(const TExpression& source);
  std::string FormatText(const std::string& format) const;
  void UpdateSubEnd() noexcept;

  // Owned; plain pointers keep the node small (the object stream reaches
  // them through temporary slots, see EnumrateProperties).
  TExpression* FormatExp_ = nullptr;
  TExpression* SubExp_[kSubExpCount] = {};
  int subEnd_ = 0;
  // Marks the operator nodes of one translation step (see the translator).
  uint32_t transTag_ = 0;
};

// ---- Conversions used by the nodes -------------------------------------------------

// x rounded to the nearest integer (ties to even); false when it does not fit in 64 bits.
KVLIB_EXPORT bool RoundToInt64(long double x, int64_t& result) noexcept;
// A decimal or $-hexadecimal integer text ([+|-], leading blanks allowed);
// false when the text is something else or does not fit in 64 bits.
KVLIB_EXPORT bool TextToInt64(std::string_view text, int64_t& result) noexcept;

// ---- Free functions --------------------------------------------------------------------

// A constant holding `s`: etChar when it is exactly one byte long, else etString.
KVLIB_EXPORT std::unique_ptr<TExpression> CreateStrExp(std::string_view s);
KVLIB_EXPORT std::unique_ptr<TExpression> CreateIntExp(int64_t i);
// Constants of the other types (for callers that build values).
KVLIB_EXPORT std::unique_ptr<TExpression> CreateRealExp(long double x);
KVLIB_EXPORT std::unique_ptr<TExpression> CreateBoolExp(bool b);
KVLIB_EXPORT std::unique_ptr<TExpression> CreateDateTimeExp(TDateTime d);
// Destroys `exp` if set and clears the reference.
KVLIB_EXPORT void FreeExp(TExpression*& exp) noexcept;
KVLIB_EXPORT bool IsExpression(const TObject* obj) noexcept;
KVLIB_EXPORT TExpDataType GetExpDataType(const TExpression* exp) noexcept;  // etAny for null
KVLIB_EXPORT void SetExpDataType(TExpression* exp, TExpDataType type) noexcept;
KVLIB_EXPORT std::string ExpAsString(const TExpression* exp);
KVLIB_EXPORT char ExpAsChar(const TExpression* exp);
KVLIB_EXPORT int64_t ExpAsInteger(const TExpression* exp) noexcept;
KVLIB_EXPORT long double ExpAsReal(const TExpression* exp) noexcept;
KVLIB_EXPORT bool ExpAsBoolean(const TExpression* exp) noexcept;
KVLIB_EXPORT TDateTime ExpAsDateTime(const TExpression* exp);

// Stamps of single nodes (SetSyncFlag on a node sets the whole tree).
KVLIB_EXPORT void SetExpSyncFlag(TExpression* exp, int32_t stamp) noexcept;
KVLIB_EXPORT int32_t GetExpSyncFlag(const TExpression* exp) noexcept;
// Evaluate, reporting a failure to the user (an error box titled "Expression
// run error" through the user-interface hook) instead of raising it. Only
// the library's own errors (kv::Exception) are caught.
KVLIB_EXPORT void ExpEvaluate(TExpression* exp, int32_t stamp);

}  // namespace kv
