#include "expression/Expression.h"

#include <charconv>
#include <cmath>

#include "expression/DateTimeText.h"
#include "foundation/Exceptions.h"
#include "foundation/Format.h"
#include "foundation/LibMessages.h"
#include "foundation/NumUtils.h"
#include "foundation/UserInterface.h"
#include "foundation/CharClass.h"

namespace kv {

KV_IMPLEMENT_CLASS(TExpression, TBaseObject)

namespace {

const TClassRegistrar g_classes{TExpression::StaticClass()};

constexpr std::string_view kDefaultDateTimeFormat = "YYYY.MM.DD hh:nn:ss";
constexpr const char* kSubExpNames[kSubExpCount] = {"SubExp0", "SubExp1", "SubExp2", "SubExp3", "SubExp4",
                                                     "SubExp5", "SubExp6", "SubExp7", "SubExp8", "SubExp9"};


std::string_view BoolWord(bool b) { return b ? std::string_view("Yes") : std::string_view("No"); }
char BoolChar(bool b) { return b ? 'Y' : 'N'; }

// The low byte of x rounded to the nearest integer (0 when x cannot be rounded).
uint8_t LowByteRounded(long double x) {
  int64_t i;
  return RoundToInt64(x, i) ? static_cast<uint8_t>(i) : 0;
}

// The low byte of x truncated toward zero.
uint8_t LowByteTruncated(long double x) {
  const long double t = std::trunc(x);
  if (!(t > -9223372036854775808.0L && t < 9223372036854775808.0L)) return 0;
  return static_cast<uint8_t>(static_cast<int64_t>(t));
}

std::string IntToText(int64_t v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

void ReportFormatError(const std::string& message) {
  UserInterface().MessageDlg(std::string(SExpFormatStringError.c_str()) + ": " + message, mtError, mbOKOnly, mrOk);
}

}  // namespace

// ---- Conversion helpers ----------------------------------------------------------------

bool RoundToInt64(long double x, int64_t& result) noexcept {
  const long double r = std::nearbyint(x);
  if (!(r >= -9223372036854775808.0L && r < 9223372036854775808.0L)) return false;
  result = static_cast<int64_t>(r);
  return true;
}

bool TextToInt64(std::string_view text, int64_t& result) noexcept {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size()) return false;
  uint64_t v = 0;
  if (text[i] == '$') {
    ++i;
    if (i >= text.size()) return false;
    int significant = 0;
    for (; i < text.size(); ++i) {
      const char c = text[i];
      unsigned d;
      if (IsDigit(c))
        d = static_cast<unsigned>(c - '0');
      else if (IsHexDigit(c))
        d = static_cast<unsigned>(AsciiUpper(c) - 'A' + 10);
      else
        return false;
      if (v != 0 || d != 0) ++significant;
      if (significant > 16) return false;
      v = v * 16 + d;
    }
    // Hexadecimal is the bit pattern: $FFFFFFFFFFFFFFFF is -1.
    result = static_cast<int64_t>(negative ? 0 - v : v);
    return true;
  }
  const char* first = text.data() + i;
  const char* last = text.data() + text.size();
  if (*first < '0' || *first > '9') return false;
  auto r = std::from_chars(first, last, v);
  if (r.ec != std::errc() || r.ptr != last) return false;
  const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  if (v > limit) return false;
  result = static_cast<int64_t>(negative ? 0 - v : v);
  return true;
}

// ---- TExpression -----------------------------------------------------------------------

TExpression::TExpression() = default;

TExpression::~TExpression() {
  delete FormatExp_;
  for (TExpression* c : SubExp_) delete c;
}

namespace {

// Lends an owned pointer to the object stream as a typed slot for the length
// of one property call and takes back whatever the slot then holds (the same
// node when writing, a new one when reading, none when freeing).
class TSlotLoan {
public:
  explicit TSlotLoan(TExpression*& owner) : owner_(owner), slot_(owner) {}
  ~TSlotLoan() { owner_ = slot_.release(); }
  TSlotLoan(const TSlotLoan&) = delete;
  TSlotLoan& operator=(const TSlotLoan&) = delete;
  ObjPtr<TExpression>& Slot() { return slot_; }

private:
  TExpression*& owner_;
  ObjPtr<TExpression> slot_;
};

}  // namespace

void TExpression::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptEnum>(proc, param, DataType, "DataType", true, ExpDataTypeNames());
  if (DataType == etString) {
    Prop<ptString>(proc, param, Value.StrValue, "Value", true);
  } else {
    // Every other type is stored as an extended real, which holds each of
    // them exactly (64-bit integers included).
    long double x = 0;
    switch (DataType) {
      case etInteger: x = static_cast<long double>(Value.NumInt()); break;
      case etBoolean:
      case etChar: x = Value.OrdValue; break;
      case etDateTime: x = Value.NumDouble(); break;
      case etReal: x = Value.NumReal(); break;
      default: break;
    }
    Prop<ptExtended>(proc, param, x, "Value", true);
    if (action == paRead) {
      switch (DataType) {
        case etInteger: {
          int64_t i = 0;
          Value.SetNumInt(RoundToInt64(x, i) ? i : 0);
          break;
        }
        case etBoolean: Value.OrdValue = x != 0 ? 1 : 0; break;
        case etChar: Value.OrdValue = LowByteTruncated(x); break;
        case etDateTime: Value.SetNumDouble(static_cast<double>(x)); break;
        case etReal: Value.SetNumReal(x); break;
        default: break;
      }
    }
  }
  {
    const bool has = FormatExp_ != nullptr;
    TSlotLoan loan(FormatExp_);
    Prop<ptObject>(proc, param, loan.Slot(), "FormatExp", has);
  }
  for (int i = 0; i < kSubExpCount; ++i) {
    const bool has = SubExp_[i] != nullptr;
    TSlotLoan loan(SubExp_[i]);
    Prop<ptObject>(proc, param, loan.Slot(), kSubExpNames[i], has);
  }
  if (action != paWrite) UpdateSubEnd();
}

// ---- Reading -------------------------------------------------------------------------------

int64_t TExpression::GetIntegerOther() const noexcept {
  switch (DataType) {
    case etInteger: return Value.NumInt();
    case etReal: {
      int64_t i;
      return RoundToInt64(Value.NumReal(), i) ? i : 0;
    }
    case etBoolean: return Value.OrdValue != 0 ? 1 : 0;
    case etChar: return Value.OrdValue;
    case etString: {
      int64_t i;
      return TextToInt64(Value.StrValue, i) ? i : 0;
    }
    case etDateTime: {
      int64_t i;
      return RoundToInt64(Value.NumDouble(), i) ? i : 0;
    }
    default: return 0;
  }
}

long double TExpression::GetRealOther() const noexcept {
  switch (DataType) {
    case etInteger: return static_cast<long double>(Value.NumInt());
    case etReal: return Value.NumReal();
    case etBoolean: return Value.OrdValue != 0 ? 1 : 0;
    case etChar: return Value.OrdValue;
    case etString: return StrToNum(Value.StrValue);
    case etDateTime: return Value.NumDouble();
    default: return 0;
  }
}

bool TExpression::GetBooleanOther() const noexcept {
  switch (DataType) {
    case etInteger: return Value.NumInt() > 0;
    case etReal: return Value.NumReal() > 0;
    case etBoolean: return Value.OrdValue != 0;
    case etChar: return AsciiUpper(static_cast<char>(Value.OrdValue)) == 'Y';
    case etString: return SameTextAscii(Value.StrValue, "YES");
    case etDateTime: return Value.NumDouble() != 0;
    default: return false;
  }
}

char TExpression::GetChar() const {
  switch (DataType) {
    case etInteger: return static_cast<char>(static_cast<uint8_t>(Value.NumInt()));
    case etReal: return static_cast<char>(LowByteTruncated(Value.NumReal()));
    case etBoolean: return BoolChar(Value.OrdValue != 0);
    case etChar: return static_cast<char>(Value.OrdValue);
    case etString: return Value.StrValue.empty() ? '\0' : Value.StrValue[0];
    case etDateTime: {
      std::string s = GetString();
      return s.empty() ? '\0' : s[0];
    }
    default: return '\0';
  }
}

TDateTime TExpression::GetDateTime() const {
  switch (DataType) {
    case etInteger: return static_cast<TDateTime>(Value.NumInt());
    case etReal: return static_cast<TDateTime>(Value.NumReal());
    case etDateTime: return Value.NumDouble();
    default: break;
  }
  // Booleans, characters, texts and untyped values are read from their text
  // form: a time without a date separator, a date without a time separator,
  // else a date-time.
  const std::string text = GetString();
  if (!HasDateSeparator(text)) return StrToTime(text);
  if (!HasTimeSeparator(text)) return StrToDate(text);
  return StrToDateTime(text);
}

std::string TExpression::GetFormatStr() const {
  if (FormatExp_) {
    std::string f = FormatExp_->GetString();
    if (!f.empty()) return f;
  }
  switch (DataType) {
    case etInteger: return "%d";
    case etReal: return "%g";
    case etDateTime: return std::string(kDefaultDateTimeFormat);
    default: return "%s";
  }
}

std::string TExpression::FormatText(const std::string& format) const {
  try {
    switch (DataType) {
      case etInteger: return Format(format, Value.NumInt());
      case etReal: return Format(format, Value.NumReal());
      case etBoolean: return Format(format, BoolWord(Value.OrdValue != 0));
      case etChar: {
        const char c = static_cast<char>(Value.OrdValue);
        return Format(format, std::string_view(&c, 1));
      }
      case etString: return Format(format, Value.StrValue);
      case etDateTime: return FormatDateTime(format, Value.NumDouble());
      default: return std::string();
    }
  } catch (const Exception& e) {
    ReportFormatError(e.Message());
    return format;
  }
}

std::string TExpression::GetString() const {
  if (FormatExp_) {
    std::string f = FormatExp_->GetString();
    if (!f.empty()) return FormatText(f);
  }
  // The default formats, without parsing them.
  switch (DataType) {
    case etInteger: return IntToText(Value.NumInt());
    case etReal: return FloatToStrGeneral(Value.NumReal());
    case etBoolean: return std::string(BoolWord(Value.OrdValue != 0));
    case etChar: return std::string(1, static_cast<char>(Value.OrdValue));
    case etString: return Value.StrValue;
    case etDateTime: return FormatText(std::string(kDefaultDateTimeFormat));
    default: return std::string();
  }
}

std::string_view TExpression::GetText(TTextBuffer& buffer) const {
  if (!FormatExp_) {
    switch (DataType) {
      case etString: return Value.StrValue;
      case etBoolean: return BoolWord(Value.OrdValue != 0);
      case etChar: buffer.Small[0] = static_cast<char>(Value.OrdValue); return std::string_view(buffer.Small, 1);
      case etInteger: {
        auto r = std::to_chars(buffer.Small, buffer.Small + sizeof buffer.Small, Value.NumInt());
        return std::string_view(buffer.Small, static_cast<size_t>(r.ptr - buffer.Small));
      }
      case etAny: return std::string_view();
      default: break;
    }
  }
  buffer.Big = GetString();
  return buffer.Big;
}

// ---- Writing -------------------------------------------------------------------------------

void TExpression::PutIntegerOther(int64_t i) {
  switch (DataType) {
    case etInteger: Value.SetNumInt(i); break;
    case etReal: Value.SetNumReal(static_cast<long double>(i)); break;
    case etBoolean: Value.OrdValue = static_cast<uint8_t>(i) != 0 ? 1 : 0; break;
    case etChar: Value.OrdValue = static_cast<uint8_t>(i); break;
    case etString: Value.StrValue = IntToText(i); break;
    case etDateTime: Value.SetNumDouble(static_cast<double>(i)); break;
    default: break;
  }
}

void TExpression::PutRealOther(long double x) {
  switch (DataType) {
    case etInteger: {
      int64_t i;
      Value.SetNumInt(RoundToInt64(x, i) ? i : 0);
      break;
    }
    case etReal: Value.SetNumReal(x); break;
    case etBoolean: Value.OrdValue = LowByteRounded(x) != 0 ? 1 : 0; break;
    case etChar: Value.OrdValue = LowByteRounded(x); break;
    case etString: Value.StrValue = FloatToStrGeneral(x); break;
    case etDateTime: Value.SetNumDouble(static_cast<double>(x)); break;
    default: break;
  }
}

void TExpression::PutBooleanOther(bool b) {
  switch (DataType) {
    case etInteger: Value.SetNumInt(b ? 1 : 0); break;
    case etReal: Value.SetNumReal(b ? 1 : 0); break;
    case etBoolean: Value.OrdValue = b ? 1 : 0; break;
    case etChar: Value.OrdValue = static_cast<uint8_t>(BoolChar(b)); break;
    case etString: Value.StrValue = BoolWord(b); break;
    case etDateTime: Value.SetNumDouble(b ? 1 : 0); break;
    default: break;
  }
}

void TExpression::PutChar(char c) {
  const uint8_t code = static_cast<uint8_t>(c);
  switch (DataType) {
    case etInteger: Value.SetNumInt(code); break;
    case etReal: Value.SetNumReal(code); break;
    case etBoolean: Value.OrdValue = code != 0 ? 1 : 0; break;
    case etChar: Value.OrdValue = code; break;
    case etString: Value.StrValue.assign(1, c); break;
    case etDateTime: Value.SetNumDouble(code); break;
    default: break;
  }
}

void TExpression::PutString(std::string_view s) {
  switch (DataType) {
    case etInteger: {
      int64_t i;
      if (!TextToInt64(s, i)) throw EConvertError("'" + std::string(s) + "' is not a valid integer value");
      Value.SetNumInt(i);
      break;
    }
    case etReal: Value.SetNumReal(StrToNum(s)); break;
    case etBoolean:
      Value.OrdValue = (s.size() == 1 ? AsciiUpper(s[0]) == 'Y' : SameTextAscii(s, "YES")) ? 1 : 0;
      break;
    case etChar: Value.OrdValue = s.empty() ? 0 : static_cast<uint8_t>(s[0]); break;
    case etString: Value.StrValue.assign(s.data(), s.size()); break;
    case etDateTime: Value.SetNumDouble(StrToDateTime(s)); break;
    default: break;
  }
}

void TExpression::PutDateTime(TDateTime d) {
  switch (DataType) {
    case etInteger: {
      int64_t i;
      Value.SetNumInt(RoundToInt64(d, i) ? i : 0);
      break;
    }
    case etReal: Value.SetNumReal(d); break;
    case etBoolean: Value.OrdValue = 0; break;
    case etChar: Value.OrdValue = LowByteRounded(d); break;
    case etString: Value.StrValue = DateTimeToStr(d); break;
    case etDateTime: Value.SetNumDouble(d); break;
    default: break;
  }
}

void TExpression::GetValue(void* buffer) const {
  switch (DataType) {
    case etInteger: {
      const int32_t v = static_cast<int32_t>(Value.NumInt());
      std::memcpy(buffer, &v, 4);
      break;
    }
    case etReal: std::memcpy(buffer, Value.NumValue, 10); break;
    case etBoolean:
    case etChar: std::memcpy(buffer, &Value.OrdValue, 1); break;
    case etString: *static_cast<std::string*>(buffer) = Value.StrValue; break;
    case etDateTime: std::memcpy(buffer, Value.NumValue, 8); break;
    default: break;
  }
}

void TExpression::PutValue(const void* buffer) {
  switch (DataType) {
    case etInteger: {
      int32_t v;
      std::memcpy(&v, buffer, 4);
      Value.SetNumInt(v);
      break;
    }
    case etReal: std::memcpy(Value.NumValue, buffer, 10); break;
    case etBoolean:
    case etChar: std::memcpy(&Value.OrdValue, buffer, 1); break;
    case etString: Value.StrValue = *static_cast<const std::string*>(buffer); break;
    case etDateTime: std::memcpy(Value.NumValue, buffer, 8); break;
    default: break;
  }
}

// AssignValue for a text source, or for the node itself.
void TExpression::AssignText(const TExpression& source) {
  if (&source == this) {
    if (DataType == etString && FormatExp_) Value.StrValue = GetString();
    return;
  }
  DataType = etString;
  if (source.FormatExp_)
    Value.StrValue = source.GetString();
  else
    Value.StrValue = source.Value.StrValue;
  Value.ClearNum();
}

void TExpression::AssignFormatValue(const TExpression& source) {
  const bool takeFormat = !FormatExp_ && source.FormatExp_ && &source != this;
  if (takeFormat && source.DataType == etString) {
    DataType = etString;
    Value.StrValue = source.Value.StrValue;
    Value.ClearNum();
  } else {
    AssignValue(source);
  }
  if (takeFormat) FormatExp_ = source.FormatExp_->CopySelf().release();
}

void TExpression::SetFormatExp(TExpression* exp) noexcept {
  if (exp == FormatExp_) return;
  delete FormatExp_;
  FormatExp_ = exp;
}

// ---- Tree protocol -------------------------------------------------------------------------

bool TExpression::TransOverOK() {
  TExpression* first = GetSubExp(0);
  DataType = first ? first->DataType : etReal;
  return true;
}

void TExpression::UpdateSubEnd() noexcept {
  subEnd_ = kSubExpCount;
  while (subEnd_ > 0 && !SubExp_[subEnd_ - 1]) --subEnd_;
}

void TExpression::PutSubExp(int index, TExpression* exp) noexcept {
  if (index < 0 || index >= kSubExpCount) {
    delete exp;
    return;
  }
  if (SubExp_[index] != exp) {
    delete SubExp_[index];
    SubExp_[index] = exp;
  }
  UpdateSubEnd();
}

TExpression* TExpression::ReleaseSubExp(int index) noexcept {
  if (index < 0 || index >= kSubExpCount) return nullptr;
  TExpression* e = SubExp_[index];
  SubExp_[index] = nullptr;
  UpdateSubEnd();
  return e;
}

bool TExpression::SetSubExp(int index, std::unique_ptr<TExpression> exp) {
  if (!exp || index < 0 || index >= kSubExpCount) return false;
  PutSubExp(index, exp.release());  // the slot owns it from here
  return true;
}

bool TExpression::IsConst() const {
  for (int i = 0; i < subEnd_; ++i)
    if (const TExpression* c = SubExp_[i]; c && !c->IsConst()) return false;
  return true;
}

void TExpression::CopyStateTo(TExpression& copy) const { copy.AssignFormatValue(*this); }

std::unique_ptr<TExpression> TExpression::CopySelf() const {
  std::unique_ptr<TObject> made = ClassType()->Create();
  std::unique_ptr<TExpression> copy = OwnedCast<TExpression>(made);
  if (!copy) copy = std::make_unique<TExpression>();
  for (int i = 0; i < kSubExpCount && SubExp_[i]; ++i) copy->PutSubExp(i, SubExp_[i]->CopySelf().release());
  CopyStateTo(*copy);
  return copy;
}

void TExpression::Evaluate(int32_t stamp) {
  if (stamp == SyncFlag) return;
  SyncFlag = stamp;
  for (int i = 0; i < subEnd_; ++i)
    if (TExpression* c = SubExp_[i]) c->Evaluate(stamp);
  if (DataType == etAny) {
    if (TExpression* first = SubExp_[0]) DataType = first->DataType;
  }
  Calculate();
}

void TExpression::SetSyncFlag(int32_t stamp) {
  SyncFlag = stamp;
  for (int i = 0; i < subEnd_; ++i)
    if (TExpression* c = SubExp_[i]) c->SetSyncFlag(stamp);
}

// ---- Free functions ----------------------------------------------------------------------------

std::unique_ptr<TExpression> CreateStrExp(std::string_view s) {
  auto e = std::make_unique<TExpression>();
  if (s.size() == 1) {
    e->DataType = etChar;
    e->Value.OrdValue = static_cast<uint8_t>(s[0]);
  } else {
    e->DataType = etString;
    e->SetStrValue(s);
  }
  return e;
}

std::unique_ptr<TExpression> CreateIntExp(int64_t i) {
  auto e = std::make_unique<TExpression>();
  e->DataType = etInteger;
  e->Value.SetNumInt(i);
  return e;
}

std::unique_ptr<TExpression> CreateRealExp(long double x) {
  auto e = std::make_unique<TExpression>();
  e->DataType = etReal;
  e->Value.SetNumReal(x);
  return e;
}

std::unique_ptr<TExpression> CreateBoolExp(bool b) {
  auto e = std::make_unique<TExpression>();
  e->DataType = etBoolean;
  e->Value.OrdValue = b ? 1 : 0;
  return e;
}

std::unique_ptr<TExpression> CreateDateTimeExp(TDateTime d) {
  auto e = std::make_unique<TExpression>();
  e->DataType = etDateTime;
  e->Value.SetNumDouble(d);
  return e;
}

void FreeExp(TExpression*& exp) noexcept {
  delete exp;
  exp = nullptr;
}

bool IsExpression(const TObject* obj) noexcept { return obj && obj->Is<TExpression>(); }

TExpDataType GetExpDataType(const TExpression* exp) noexcept { return exp ? exp->DataType : etAny; }

void SetExpDataType(TExpression* exp, TExpDataType type) noexcept {
  if (exp) exp->DataType = type;
}

std::string ExpAsString(const TExpression* exp) { return exp ? exp->GetString() : std::string(); }
char ExpAsChar(const TExpression* exp) { return exp ? exp->GetChar() : '\0'; }
int64_t ExpAsInteger(const TExpression* exp) noexcept { return exp ? exp->GetInteger() : 0; }
long double ExpAsReal(const TExpression* exp) noexcept { return exp ? exp->GetReal() : 0; }
bool ExpAsBoolean(const TExpression* exp) noexcept { return exp && exp->GetBoolean(); }
TDateTime ExpAsDateTime(const TExpression* exp) { return exp ? exp->GetDateTime() : 0; }

void SetExpSyncFlag(TExpression* exp, int32_t stamp) noexcept {
  if (exp) exp->SyncFlag = stamp;
}

int32_t GetExpSyncFlag(const TExpression* exp) noexcept { return exp ? exp->SyncFlag : kInitialSyncFlag; }

void ExpEvaluate(TExpression* exp, int32_t stamp) {
  if (!exp) return;
  try {
    exp->Evaluate(stamp);
  } catch (const Exception& e) {
    UserInterface().MessageDlg(std::string(SExpCalError.c_str()) + ": " + e.Message(), mtError, mbOKOnly, mrOk);
  }
}

}  // namespace kv
