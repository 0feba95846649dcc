// Control functions (registered in the control batch).
#pragma once

#include <cstdint>

#include "KVLib_export.h"
#include "expression/Function.h"

namespace kv {

// Iif(C, A, B): A when C is true, else B. Only the chosen branch is
// evaluated; the node takes that branch's type and value (etAny until then).
class KVLIB_EXPORT TExp_Iif : public TP3Function {
  KV_CLASS(TExp_Iif, TP3Function)
public:
  bool TransOverOK() override;
  void Evaluate(int32_t stamp) override;
};

// Not(any): logical not for a boolean, else the bitwise complement of the
// 64-bit value, written into the argument's type.
class KVLIB_EXPORT TExp_Not : public TFunction {
  KV_CLASS(TExp_Not, TFunction)
public:
  void Calculate() override;
};

}  // namespace kv
