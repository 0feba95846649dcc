#include "expression/Operators.h"

#include <cmath>
#include <cstring>
#include <string_view>

#include "foundation/Exceptions.h"
#include "foundation/NumUtils.h"

namespace kv {

KV_IMPLEMENT_ABSTRACT_CLASS(TExp_MathCalc, TExpression)
KV_IMPLEMENT_CLASS(TExp_Power, TExp_MathCalc)
KV_IMPLEMENT_CLASS(TExp_Mul, TExp_MathCalc)
KV_IMPLEMENT_CLASS(TExp_Div, TExp_MathCalc)
KV_IMPLEMENT_CLASS(TExp_Sub, TExp_MathCalc)
KV_IMPLEMENT_CLASS(TExp_Add, TExpression)
KV_IMPLEMENT_ABSTRACT_CLASS(TExp_Boolean, TExpression)
KV_IMPLEMENT_CLASS(TExp_Equ, TExp_Boolean)
KV_IMPLEMENT_CLASS(TExp_NotEqu, TExp_Equ)
KV_IMPLEMENT_CLASS(TExp_Great, TExp_Boolean)
KV_IMPLEMENT_CLASS(TExp_LorE, TExp_Great)
KV_IMPLEMENT_CLASS(TExp_GorE, TExp_Boolean)
KV_IMPLEMENT_CLASS(TExp_Less, TExp_GorE)
KV_IMPLEMENT_CLASS(TExp_In, TExp_Boolean)
KV_IMPLEMENT_CLASS(TExp_And, TExpression)
KV_IMPLEMENT_CLASS(TExp_Or, TExpression)

namespace {

const TClassRegistrar g_classes{
    TExp_Power::StaticClass(), TExp_Mul::StaticClass(),  TExp_Div::StaticClass(),  TExp_Sub::StaticClass(),
    TExp_Add::StaticClass(),   TExp_Equ::StaticClass(),  TExp_NotEqu::StaticClass(), TExp_Great::StaticClass(),
    TExp_LorE::StaticClass(),  TExp_GorE::StaticClass(), TExp_Less::StaticClass(), TExp_In::StaticClass(),
    TExp_And::StaticClass(),   TExp_Or::StaticClass()};

constexpr long double kPowerCap = 1.1E4932L;

int64_t WrapAdd(int64_t a, int64_t b) { return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b)); }
int64_t WrapSub(int64_t a, int64_t b) { return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b)); }
int64_t WrapMul(int64_t a, int64_t b) { return static_cast<int64_t>(static_cast<uint64_t>(a) * static_cast<uint64_t>(b)); }
uint8_t Code(const TExpression& e) { return static_cast<uint8_t>(e.GetChar()); }

// Once-per-stamp evaluation of a binary operator whose result type is
// settled from the operands' evaluated types; false when the node lacks an
// operand (the caller falls back to the plain evaluation).
template <class SettleFn>
bool EvaluateSettling(TExpression& node, int32_t stamp, SettleFn settle) {
  TExpression* l = node.GetSubExp(0);
  TExpression* r = node.GetSubExp(1);
  if (!l || !r) return false;
  if (stamp == node.SyncFlag) return true;
  node.SyncFlag = stamp;
  l->Evaluate(stamp);
  r->Evaluate(stamp);
  settle(l->DataType, r->DataType);
  if (node.DataType == etAny) node.DataType = l->DataType;
  node.Calculate();
  return true;
}

bool IsTextLike(TExpDataType t) { return t == etChar || t == etString || t == etDateTime; }

// Both operands of a binary node; false when one is missing (a node built by hand).
bool Operands(const TExpression& node, const TExpression*& left, const TExpression*& right) {
  left = node.GetSubExp(0);
  right = node.GetSubExp(1);
  return left && right;
}

}  // namespace

// ---- Shared arithmetic ---------------------------------------------------------------------

int64_t Int32Quotient(int64_t dividend, int64_t divisor) noexcept {
  const int32_t a = static_cast<int32_t>(dividend);
  const int32_t b = static_cast<int32_t>(divisor);
  if (b == 0 || (a == INT32_MIN && b == -1)) return 0;
  return a / b;
}

bool GuardedRealDiv(long double dividend, long double divisor, long double& quotient) noexcept {
  const long double d = std::fabs(divisor);
  if (d <= 1E-19L) return false;
  if (d < 1 && std::fabs(dividend) >= kPowerCap * d) return false;
  quotient = dividend / divisor;
  return true;
}

long double RealPower(long double x, long double y) noexcept {
  if (x == 0) return y > 0 ? 0.0L : y == 0 ? 1.0L : kPowerCap;
  static const long double lnCap = std::log(kPowerCap);
  const long double product = std::log(std::fabs(x)) * y;
  long double result = product >= lnCap ? kPowerCap : std::exp(product);
  if (x < 0 && std::fmod(y / 2, 1.0L) != 0) result = -result;
  return result;
}

bool ExpEqual(const TExpression& left, const TExpression& right) {
  switch (left.DataType) {
    case etInteger:
    case etChar: return left.GetInteger() == right.GetInteger();
    case etReal:
    case etDateTime: return std::fabs(left.GetReal() - right.GetReal()) <= 1E-19L;
    default: {
      TTextBuffer a, b;
      return left.GetText(a) == right.GetText(b);
    }
  }
}

bool ExpGreater(const TExpression& left, const TExpression& right) {
  switch (left.DataType) {
    case etInteger:
    case etChar: return left.GetInteger() > right.GetInteger();
    case etReal:
    case etDateTime: return left.GetReal() > right.GetReal();
    default: {
      TTextBuffer a, b;
      return left.GetText(a) > right.GetText(b);
    }
  }
}

bool ExpGreaterOrEqual(const TExpression& left, const TExpression& right) {
  switch (left.DataType) {
    case etInteger:
    case etChar: return left.GetInteger() >= right.GetInteger();
    case etReal:
    case etDateTime: return left.GetReal() >= right.GetReal();
    default: {
      TTextBuffer a, b;
      return left.GetText(a) >= right.GetText(b);
    }
  }
}

// ---- TExp_MathCalc ---------------------------------------------------------------------------

bool TExp_MathCalc::SetSubExp(int index, std::unique_ptr<TExpression> exp) {
  if (!exp || !tsNum.Contains(exp->DataType)) return false;
  return TExpression::SetSubExp(index, std::move(exp));
}

void TExp_MathCalc::Settle(TExpDataType lt, TExpDataType rt) {
  if (lt == rt)
    DataType = lt;
  else
    DataType = lt == etInteger ? rt : lt;
  if (turnedReal_ && DataType == etInteger) DataType = etReal;
}

bool TExp_MathCalc::TransOverOK() {
  const TExpression *l, *r;
  if (!Operands(*this, l, r)) return false;
  settleAtEvaluation_ = l->DataType == etAny || r->DataType == etAny;
  Settle(l->DataType, r->DataType);
  return true;
}

namespace {

// The type an operand settled at evaluation counts as in arithmetic: a
// text (a text field's value, say) that holds a number counts as that
// number; an empty text stays a text (the result is empty, as with any
// text); any other text cannot be computed with and fails the evaluation,
// rather than giving an empty result that would pass for a missing value.
TExpDataType ArithmeticTypeOf(const TExpression& operand) {
  if (operand.DataType != etString) return operand.DataType;
  TTextBuffer buffer;
  const std::string_view text = operand.GetText(buffer);
  if (text.empty()) return etString;
  switch (ParseDataType(text)) {
    case tdInteger: return etInteger;
    case tdReal: return etReal;
    default: break;
  }
  std::string shown(text.substr(0, 64));
  if (text.size() > 64) shown += "...";
  throw EConvertError("'" + shown + "' is not a valid floating point value");
}

}  // namespace

void TExp_MathCalc::Evaluate(int32_t stamp) {
  if (!settleAtEvaluation_ || !EvaluateSettling(*this, stamp, [this](TExpDataType, TExpDataType) {
        Settle(ArithmeticTypeOf(*GetSubExp(0)), ArithmeticTypeOf(*GetSubExp(1)));
      }))
    TExpression::Evaluate(stamp);
}

void TExp_Power::Calculate() {
  const TExpression *l, *r;
  if (!Operands(*this, l, r)) return;
  switch (DataType) {
    case etInteger: {
      const long double p = RealPower(l->GetReal(), r->GetReal());
      int64_t i;
      if (p > 2147483647.0L || !RoundToInt64(p, i)) {
        // Too large for an integer result: the node turns real for good.
        DataType = etReal;
        turnedReal_ = true;
        Value.SetNumReal(p);
      } else {
        Value.SetNumInt(i);
      }
      break;
    }
    case etReal: Value.SetNumReal(RealPower(l->GetReal(), r->GetReal())); break;
    case etDateTime: Value.SetNumDouble(static_cast<double>(RealPower(l->GetReal(), r->GetReal()))); break;
    default: break;
  }
}

void TExp_Mul::Calculate() {
  const TExpression *l, *r;
  if (!Operands(*this, l, r)) return;
  switch (DataType) {
    case etInteger: Value.SetNumInt(WrapMul(l->GetInteger(), r->GetInteger())); break;
    case etReal: Value.SetNumReal(l->GetReal() * r->GetReal()); break;
    case etDateTime: Value.SetNumDouble(static_cast<double>(l->GetReal() * r->GetReal())); break;
    case etBoolean: Value.OrdValue = l->GetBoolean() && r->GetBoolean() ? 1 : 0; break;
    case etChar: Value.OrdValue = static_cast<uint8_t>(Code(*l) * Code(*r)); break;
    case etString: Value.StrValue.clear(); break;
    default: break;
  }
}

void TExp_Div::Calculate() {
  const TExpression *l, *r;
  if (!Operands(*this, l, r)) return;
  switch (DataType) {
    case etInteger: Value.SetNumInt(Int32Quotient(l->GetInteger(), r->GetInteger())); break;
    case etReal: {
      long double q;
      Value.SetNumReal(GuardedRealDiv(l->GetReal(), r->GetReal(), q) ? q : 0);
      break;
    }
    case etDateTime: {
      long double q;
      Value.SetNumDouble(GuardedRealDiv(l->GetReal(), r->GetReal(), q) ? static_cast<double>(q) : 0);
      break;
    }
    case etString: Value.StrValue.clear(); break;
    default: break;
  }
}

void TExp_Sub::Calculate() {
  const TExpression *l, *r;
  if (!Operands(*this, l, r)) return;
  switch (DataType) {
    case etInteger: Value.SetNumInt(WrapSub(l->GetInteger(), r->GetInteger())); break;
    case etReal: Value.SetNumReal(l->GetReal() - r->GetReal()); break;
    case etDateTime: Value.SetNumDouble(static_cast<double>(l->GetDateTime() - r->GetReal())); break;
    case etBoolean: Value.OrdValue = l->GetBoolean() != r->GetBoolean() ? 1 : 0; break;
    case etChar: Value.OrdValue = static_cast<uint8_t>(Code(*l) - Code(*r)); break;
    case etString: Value.StrValue.clear(); break;
    default: break;
  }
}

// ---- TExp_Add ----------------------------------------------------------------------------------

void TExp_Add::Settle(TExpDataType lt, TExpDataType rt) {
  if (IsTextLike(lt) && IsTextLike(rt))
    DataType = etString;
  else if ((lt == etInteger || lt == etReal || lt == etChar) && (rt == etReal || rt == etString || rt == etDateTime))
    DataType = rt;
  else
    DataType = lt;
}

bool TExp_Add::TransOverOK() {
  const TExpression *l, *r;
  if (!Operands(*this, l, r)) return false;
  settleAtEvaluation_ = l->DataType == etAny || r->DataType == etAny;
  Settle(l->DataType, r->DataType);
  return true;
}

void TExp_Add::Evaluate(int32_t stamp) {
  if (!settleAtEvaluation_ || !EvaluateSettling(*this, stamp, [this](TExpDataType l, TExpDataType r) { Settle(l, r); }))
    TExpression::Evaluate(stamp);
}

void TExp_Add::Calculate() {
  const TExpression *l, *r;
  if (!Operands(*this, l, r)) return;
  switch (DataType) {
    case etInteger: Value.SetNumInt(WrapAdd(l->GetInteger(), r->GetInteger())); break;
    case etReal: Value.SetNumReal(l->GetReal() + r->GetReal()); break;
    case etDateTime: Value.SetNumDouble(static_cast<double>(l->GetDateTime() + r->GetReal())); break;
    case etBoolean: Value.OrdValue = l->GetBoolean() || r->GetBoolean() ? 1 : 0; break;
    case etChar: Value.OrdValue = static_cast<uint8_t>(Code(*l) + Code(*r)); break;
    case etString: {
      TTextBuffer a, b;
      const std::string_view lv = l->GetText(a);
      const std::string_view rv = r->GetText(b);
      Value.StrValue.reserve(lv.size() + rv.size());
      Value.StrValue.assign(lv);
      Value.StrValue.append(rv);
      break;
    }
    default: break;
  }
}

// ---- Comparisons -------------------------------------------------------------------------------

bool TExp_Boolean::TransOverOK() {
  const TExpression *l, *r;
  if (!Operands(*this, l, r)) return false;
  DataType = etBoolean;
  return true;
}

void TExp_Boolean::Calculate() {
  const TExpression *l, *r;
  if (!Operands(*this, l, r)) return;
  PutBoolean(Compare(*l, *r));
}

bool TExp_Boolean::Compare(const TExpression&, const TExpression&) const { return false; }

bool TExp_Equ::Compare(const TExpression& l, const TExpression& r) const { return ExpEqual(l, r); }
bool TExp_NotEqu::Compare(const TExpression& l, const TExpression& r) const { return !ExpEqual(l, r); }
bool TExp_Great::Compare(const TExpression& l, const TExpression& r) const { return ExpGreater(l, r); }
bool TExp_LorE::Compare(const TExpression& l, const TExpression& r) const { return !ExpGreater(l, r); }
bool TExp_GorE::Compare(const TExpression& l, const TExpression& r) const { return ExpGreaterOrEqual(l, r); }
bool TExp_Less::Compare(const TExpression& l, const TExpression& r) const { return !ExpGreaterOrEqual(l, r); }

bool TExp_In::Compare(const TExpression& l, const TExpression& r) const {
  TTextBuffer a, b;
  const std::string_view sub = l.GetText(a);
  return !sub.empty() && r.GetText(b).find(sub) != std::string_view::npos;
}

// ---- AND / OR -----------------------------------------------------------------------------------

bool TExp_And::TransOverOK() {
  const TExpression *l, *r;
  if (!Operands(*this, l, r)) return false;
  DataType = l->DataType;
  return true;
}

void TExp_And::Calculate() {
  const TExpression *l, *r;
  if (!Operands(*this, l, r)) return;
  PutInteger(l->GetInteger() & r->GetInteger());
}

bool TExp_Or::TransOverOK() {
  const TExpression *l, *r;
  if (!Operands(*this, l, r)) return false;
  DataType = l->DataType;
  return true;
}

void TExp_Or::Calculate() {
  const TExpression *l, *r;
  if (!Operands(*this, l, r)) return;
  PutInteger(l->GetInteger() | r->GetInteger());
}

}  // namespace kv
