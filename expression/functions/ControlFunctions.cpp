#include "expression/functions/ControlFunctions.h"

#include "expression/FunctionList.h"

namespace kv {

KV_IMPLEMENT_CLASS(TExp_Iif, TP3Function)
KV_IMPLEMENT_CLASS(TExp_Not, TFunction)

namespace {

// The control batch, in registration order.
const TFunctionBatchRegistrar g_functions{fbControl, 0,
                                          {
                                              {"Iif", TExp_Iif::StaticClass()},
                                              {"Not", TExp_Not::StaticClass()},
                                          }};

}  // namespace

bool TExp_Iif::TransOverOK() {
  DataType = etAny;
  return true;
}

void TExp_Iif::Evaluate(int32_t stamp) {
  if (stamp == SyncFlag) return;
  SyncFlag = stamp;
  TExpression* condition = Arg(0);
  if (!condition) return;
  condition->Evaluate(stamp);
  TExpression* branch = Arg(condition->GetBoolean() ? 1 : 2);
  if (!branch) return;
  branch->Evaluate(stamp);
  AssignValue(*branch);
}

void TExp_Not::Calculate() {
  const TExpression* a = Arg(0);
  if (DataType == etBoolean)
    PutBoolean(!a->GetBoolean());
  else
    PutInteger(~a->GetInteger());
}

}  // namespace kv
