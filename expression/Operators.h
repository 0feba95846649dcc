// The binary operators of the expression language. The translator creates
// one node per operator with the left operand in slot 0 and the right one in
// slot 1; TransOverOK settles the result type from the operands' types at
// translation, and Calculate computes by the node's type.
//
//   ^ * / -     TExp_Power, TExp_Mul, TExp_Div, TExp_Sub (numeric operands)
//   +           TExp_Add (any operands; texts are joined)
//   = <> > >= < <= $    the comparisons (a boolean result)
//   & AND  | OR         bit by bit over 64 bits
#pragma once

#include <cstdint>

#include "KVLib_export.h"
#include "expression/Expression.h"

namespace kv {

// ---- Arithmetic shared with the function library ---------------------------------

// Quotient of the low 32 bits of each operand, truncated toward zero; 0 when
// the divisor is 0 or the quotient overflows.
KVLIB_EXPORT int64_t Int32Quotient(int64_t dividend, int64_t divisor) noexcept;
// The guarded real division: false (no quotient) when |divisor| <= 1E-19, or
// when |divisor| < 1 and |dividend| >= 1.1E4932 * |divisor|.
KVLIB_EXPORT bool GuardedRealDiv(long double dividend, long double divisor, long double& quotient) noexcept;
// X ^ Y as e^(ln|X| * Y), capped at 1.1E4932, negated for a negative X when
// Y / 2 has a fraction. 0 ^ Y is 0 for Y > 0, 1 for Y = 0 and the cap for Y < 0.
KVLIB_EXPORT long double RealPower(long double x, long double y) noexcept;

// The comparisons, chosen by the left operand's type: integers and
// characters as 64-bit integers; reals and date-times as reals (equal within
// 1E-19); everything else as texts, byte by byte.
KVLIB_EXPORT bool ExpEqual(const TExpression& left, const TExpression& right);
KVLIB_EXPORT bool ExpGreater(const TExpression& left, const TExpression& right);
KVLIB_EXPORT bool ExpGreaterOrEqual(const TExpression& left, const TExpression& right);

// ---- Arithmetic operators -------------------------------------------------------------

// Base of - * / ^: both operands must be etInteger, etReal, etDateTime or
// etAny. Equal types give that type; otherwise an integer left operand takes
// the right one's type, any other left operand keeps its own.
// An operand whose type is known only at evaluation (a variable or field
// reference) is settled by the same rule once its value is there, so that
// `QTY * 1.5` with an integer QTY mixes to real exactly as `2 * 1.5` does.
class KVLIB_EXPORT TExp_MathCalc : public TExpression {
  KV_CLASS(TExp_MathCalc, TExpression)
public:
  bool SetSubExp(int index, std::unique_ptr<TExpression> exp) override;
  bool TransOverOK() override;
  void Evaluate(int32_t stamp) override;

protected:
  bool turnedReal_ = false;  // an integer power overflowed: real from then on

private:
  void Settle(TExpDataType left, TExpDataType right);
  bool settleAtEvaluation_ = false;
};

// Real power; an integer node whose result exceeds 2147483647 turns etReal for good.
class KVLIB_EXPORT TExp_Power : public TExp_MathCalc {
  KV_CLASS(TExp_Power, TExp_MathCalc)
public:
  void Calculate() override;
};

class KVLIB_EXPORT TExp_Mul : public TExp_MathCalc {
  KV_CLASS(TExp_Mul, TExp_MathCalc)
public:
  void Calculate() override;
};

// Integers: 32-bit quotient; reals: guarded division. A failed division yields 0.
class KVLIB_EXPORT TExp_Div : public TExp_MathCalc {
  KV_CLASS(TExp_Div, TExp_MathCalc)
public:
  void Calculate() override;
};

class KVLIB_EXPORT TExp_Sub : public TExp_MathCalc {
  KV_CLASS(TExp_Sub, TExp_MathCalc)
public:
  void Calculate() override;
};

// + on any operands. Texts, characters and date-times among themselves give
// a text; a number on the left of a real, text or date-time takes the right
// operand's type; otherwise the left operand's type.
// Operands typed only at evaluation are settled then, as for - * / ^.
class KVLIB_EXPORT TExp_Add : public TExpression {
  KV_CLASS(TExp_Add, TExpression)
public:
  bool TransOverOK() override;
  void Calculate() override;
  void Evaluate(int32_t stamp) override;

private:
  void Settle(TExpDataType left, TExpDataType right);
  bool settleAtEvaluation_ = false;
};

// ---- Comparisons ----------------------------------------------------------------------------

class KVLIB_EXPORT TExp_Boolean : public TExpression {
  KV_CLASS(TExp_Boolean, TExpression)
public:
  bool TransOverOK() override;
  void Calculate() override;
  // The comparison of the two evaluated operands.
  virtual bool Compare(const TExpression& left, const TExpression& right) const;
};

class KVLIB_EXPORT TExp_Equ : public TExp_Boolean {
  KV_CLASS(TExp_Equ, TExp_Boolean)
public:
  bool Compare(const TExpression& left, const TExpression& right) const override;
};

class KVLIB_EXPORT TExp_NotEqu : public TExp_Equ {
  KV_CLASS(TExp_NotEqu, TExp_Equ)
public:
  bool Compare(const TExpression& left, const TExpression& right) const override;
};

class KVLIB_EXPORT TExp_Great : public TExp_Boolean {
  KV_CLASS(TExp_Great, TExp_Boolean)
public:
  bool Compare(const TExpression& left, const TExpression& right) const override;
};

// <= : not greater.
class KVLIB_EXPORT TExp_LorE : public TExp_Great {
  KV_CLASS(TExp_LorE, TExp_Great)
public:
  bool Compare(const TExpression& left, const TExpression& right) const override;
};

class KVLIB_EXPORT TExp_GorE : public TExp_Boolean {
  KV_CLASS(TExp_GorE, TExp_Boolean)
public:
  bool Compare(const TExpression& left, const TExpression& right) const override;
};

// < : not greater or equal.
class KVLIB_EXPORT TExp_Less : public TExp_GorE {
  KV_CLASS(TExp_Less, TExp_GorE)
public:
  bool Compare(const TExpression& left, const TExpression& right) const override;
};

// $ : the left text occurs in the right text (an empty left text never does).
class KVLIB_EXPORT TExp_In : public TExp_Boolean {
  KV_CLASS(TExp_In, TExp_Boolean)
public:
  bool Compare(const TExpression& left, const TExpression& right) const override;
};

// ---- Bitwise and logical AND / OR -----------------------------------------------------------

// Both operands read as 64-bit integers and combined bit by bit; the result
// is written into the node's type, which is the left operand's type.
class KVLIB_EXPORT TExp_And : public TExpression {
  KV_CLASS(TExp_And, TExpression)
public:
  bool TransOverOK() override;
  void Calculate() override;
};

class KVLIB_EXPORT TExp_Or : public TExpression {
  KV_CLASS(TExp_Or, TExpression)
public:
  bool TransOverOK() override;
  void Calculate() override;
};

}  // namespace kv
