// Mathematical functions (registered in the mathematics batch).
#pragma once

#include "KVLib_export.h"
#include "expression/Function.h"

namespace kv {

// Abs(num): the absolute value, as a real.
class KVLIB_EXPORT TExp_Abs : public TMathFunction {
  KV_CLASS(TExp_Abs, TMathFunction)
public:
  void Calculate() override;
};

// Neg(num): the negation, of the argument's type (64-bit wrapping for integers).
class KVLIB_EXPORT TExp_Neg : public TN1Function {
  KV_CLASS(TExp_Neg, TN1Function)
public:
  void Calculate() override;
};

}  // namespace kv
