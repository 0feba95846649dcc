// Function nodes. Every function an expression can call is a class derived
// from TFunction that states how many arguments it takes, which types it
// accepts for each, what type it yields (TransOverOK) and how it computes
// (Calculate). The intermediate classes below settle the common cases;
// docs/expression-functions.md shows how to add a function.
//
// Arguments are kept in the child slots: argument N (from 1) in slot N-1.
#pragma once

#include <climits>
#include <cstddef>

#include "KVLib_export.h"
#include "expression/Expression.h"

namespace kv {

// An argument count that means "no limit".
inline constexpr int kUnlimitedParams = INT_MAX;

// One argument of any type; the result has the type of argument 1.
class KVLIB_EXPORT TFunction : public TExpression {
  KV_CLASS(TFunction, TExpression)
public:
  virtual int FixedParamCount() const { return 1; }
  virtual int OptionalParamCount() const { return 0; }
  // Fixed + optional, or kUnlimitedParams when the sum does not fit.
  int MaxParamCount() const;
  // The types argument `index` (from 0) may have at translation.
  virtual TExpTypeSet ArgTypes(int /*index*/) const { return tsAll; }
  // Refuses a null argument and one whose type ArgTypes does not allow.
  bool SetSubExp(int index, std::unique_ptr<TExpression> exp) override;
  // True when the first FixedParamCount + OptionalParamCount occupied
  // arguments are constant. Functions whose value may change between
  // evaluations (counters, random numbers, database reads) answer false.
  bool IsConst() const override;

  // Argument `index` (from 0), null when not given.
  TExpression* Arg(int index) const noexcept { return GetSubExp(index); }
  // The number of arguments given (the leading occupied slots).
  int ArgCount() const noexcept;
};

// Two / three arguments of any type; the result has the type of argument 1.
class KVLIB_EXPORT TP2Function : public TFunction {
  KV_CLASS(TP2Function, TFunction)
public:
  int FixedParamCount() const override { return 2; }
};

class KVLIB_EXPORT TP3Function : public TFunction {
  KV_CLASS(TP3Function, TFunction)
public:
  int FixedParamCount() const override { return 3; }
};

// No arguments; an integer result.
class KVLIB_EXPORT TI0Function : public TFunction {
  KV_CLASS(TI0Function, TFunction)
public:
  int FixedParamCount() const override { return 0; }
  bool TransOverOK() override;
};

// One / two numeric arguments (etInteger, etReal, etDateTime or etAny); the
// result has the type of argument 1.
class KVLIB_EXPORT TN1Function : public TFunction {
  KV_CLASS(TN1Function, TFunction)
public:
  TExpTypeSet ArgTypes(int) const override { return tsNum; }
};

class KVLIB_EXPORT TN2Function : public TFunction {
  KV_CLASS(TN2Function, TFunction)
public:
  int FixedParamCount() const override { return 2; }
  TExpTypeSet ArgTypes(int) const override { return tsNum; }
};

// One numeric argument read as a real; a real result.
class KVLIB_EXPORT TMathFunction : public TN1Function {
  KV_CLASS(TMathFunction, TN1Function)
public:
  bool TransOverOK() override;
};

// One argument of any type; a text result.
class KVLIB_EXPORT TStrFunction : public TFunction {
  KV_CLASS(TStrFunction, TFunction)
public:
  bool TransOverOK() override;
};

// One argument of any type; a date-time result.
class KVLIB_EXPORT TDateTimeFunction : public TFunction {
  KV_CLASS(TDateTimeFunction, TFunction)
public:
  bool TransOverOK() override;
};

// One / two date arguments (etInteger, etReal or etDateTime); a date-time result.
class KVLIB_EXPORT TD1DateTimeFunction : public TDateTimeFunction {
  KV_CLASS(TD1DateTimeFunction, TDateTimeFunction)
public:
  TExpTypeSet ArgTypes(int) const override { return tsDate; }
};

class KVLIB_EXPORT TD2DateTimeFunction : public TD1DateTimeFunction {
  KV_CLASS(TD2DateTimeFunction, TD1DateTimeFunction)
public:
  int FixedParamCount() const override { return 2; }
};

// One date argument; an integer result (a part of the date).
class KVLIB_EXPORT TDateTimeOrdinalFunction : public TD1DateTimeFunction {
  KV_CLASS(TDateTimeOrdinalFunction, TD1DateTimeFunction)
public:
  bool TransOverOK() override;
};

// Integer arguments only (each function states how many); a date-time result.
class KVLIB_EXPORT TEncodeDateTimeFunction : public TDateTimeFunction {
  KV_CLASS(TEncodeDateTimeFunction, TDateTimeFunction)
public:
  TExpTypeSet ArgTypes(int) const override { return tsInteger; }
};

// A date and an integer count; a date-time result.
class KVLIB_EXPORT TIncDateTimeFunction : public TDateTimeFunction {
  KV_CLASS(TIncDateTimeFunction, TDateTimeFunction)
public:
  int FixedParamCount() const override { return 2; }
  TExpTypeSet ArgTypes(int index) const override { return index == 0 ? tsDate : tsInteger; }
};

// A date, then integers (each function states how many); a date-time result.
class KVLIB_EXPORT TRecodeDateTimeFunction : public TDateTimeFunction {
  KV_CLASS(TRecodeDateTimeFunction, TDateTimeFunction)
public:
  TExpTypeSet ArgTypes(int index) const override { return index == 0 ? tsDate : tsInteger; }
};

// Integer arguments only (each function states how many); a date-time result.
class KVLIB_EXPORT TStartOfDateTimeFunction : public TDateTimeFunction {
  KV_CLASS(TStartOfDateTimeFunction, TDateTimeFunction)
public:
  TExpTypeSet ArgTypes(int) const override { return tsInteger; }
};

// Two dates and an integer amount; a boolean result.
class KVLIB_EXPORT TWithinPastDateFunction : public TDateTimeFunction {
  KV_CLASS(TWithinPastDateFunction, TDateTimeFunction)
public:
  int FixedParamCount() const override { return 3; }
  TExpTypeSet ArgTypes(int index) const override { return index < 2 ? tsDate : tsInteger; }
  bool TransOverOK() override;
};

// ---- One body, many named functions ---------------------------------------------------
// Functions that differ only by a unit or a flag share one generic body, a
// class template taking that parameter. Each member of such a family is the
// body under the class name it is registered and streamed by, declared in
// one row of its batch table:
//
//   {"YearSpan", FunctionClass<TDateSpan<duYear>, "TExp_YearSpan">()},

// A class name given as a template argument.
template <size_t N>
struct TFunctionClassName {
  char Text[N];
  constexpr TFunctionClassName(const char (&name)[N]) {  // NOLINT: implicit, so a literal can be written
    for (size_t i = 0; i < N; ++i) Text[i] = name[i];
  }
};

// `Body` under the class name `Name`; its parent in the class tree is the
// class Body reports, as a class declared with KV_CLASS on that base would.
template <class Body, TFunctionClassName Name>
class TNamedFunction final : public Body {
public:
  static const TClassInfo* StaticClass() {
    static const TClassInfo info{Name.Text, Body::StaticClass(), []() -> TObject* { return new TNamedFunction(); }};
    return &info;
  }
  const TClassInfo* ClassType() const override { return StaticClass(); }
};

// The class information of `Body` named `Name`, for a row of a batch table.
template <class Body, TFunctionClassName Name>
const TClassInfo* FunctionClass() {
  return TNamedFunction<Body, Name>::StaticClass();
}

}  // namespace kv
