#include "expression/functions/MathFunctions.h"

#include <cmath>
#include <cstdint>

#include "expression/FunctionList.h"

namespace kv {

KV_IMPLEMENT_CLASS(TExp_Abs, TMathFunction)
KV_IMPLEMENT_CLASS(TExp_Neg, TN1Function)

namespace {

// The mathematics batch, in registration order.
const TFunctionBatchRegistrar g_functions{fbMath, 0,
                                          {
                                              {"Abs", TExp_Abs::StaticClass()},
                                              {"Neg", TExp_Neg::StaticClass()},
                                          }};

}  // namespace

void TExp_Abs::Calculate() { PutReal(std::fabs(Arg(0)->GetReal())); }

void TExp_Neg::Calculate() {
  const TExpression* a = Arg(0);
  switch (DataType) {
    case etInteger: PutInteger(static_cast<int64_t>(0 - static_cast<uint64_t>(a->GetInteger()))); break;
    case etReal:
    case etDateTime: PutReal(-a->GetReal()); break;
    default: break;
  }
}

}  // namespace kv
