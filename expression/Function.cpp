#include "expression/Function.h"

#include <algorithm>
#include <cstdint>

namespace kv {

KV_IMPLEMENT_CLASS(TFunction, TExpression)
KV_IMPLEMENT_CLASS(TP2Function, TFunction)
KV_IMPLEMENT_CLASS(TP3Function, TFunction)
KV_IMPLEMENT_CLASS(TI0Function, TFunction)
KV_IMPLEMENT_CLASS(TN1Function, TFunction)
KV_IMPLEMENT_CLASS(TN2Function, TFunction)
KV_IMPLEMENT_CLASS(TMathFunction, TN1Function)
KV_IMPLEMENT_CLASS(TStrFunction, TFunction)
KV_IMPLEMENT_CLASS(TDateTimeFunction, TFunction)
KV_IMPLEMENT_CLASS(TD1DateTimeFunction, TDateTimeFunction)
KV_IMPLEMENT_CLASS(TD2DateTimeFunction, TD1DateTimeFunction)
KV_IMPLEMENT_CLASS(TDateTimeOrdinalFunction, TD1DateTimeFunction)
KV_IMPLEMENT_CLASS(TEncodeDateTimeFunction, TDateTimeFunction)
KV_IMPLEMENT_CLASS(TIncDateTimeFunction, TDateTimeFunction)
KV_IMPLEMENT_CLASS(TRecodeDateTimeFunction, TDateTimeFunction)
KV_IMPLEMENT_CLASS(TStartOfDateTimeFunction, TDateTimeFunction)
KV_IMPLEMENT_CLASS(TWithinPastDateFunction, TDateTimeFunction)

int TFunction::MaxParamCount() const {
  const int64_t sum = int64_t{FixedParamCount()} + int64_t{OptionalParamCount()};
  return sum >= kUnlimitedParams || sum < 0 ? kUnlimitedParams : static_cast<int>(sum);
}

bool TFunction::SetSubExp(int index, std::unique_ptr<TExpression> exp) {
  if (!exp || !ArgTypes(index).Contains(exp->DataType)) return false;
  return TExpression::SetSubExp(index, std::move(exp));
}

bool TFunction::IsConst() const {
  const int n = std::min(MaxParamCount(), kSubExpCount);
  for (int i = 0; i < n; ++i)
    if (const TExpression* a = GetSubExp(i); a && !a->IsConst()) return false;
  return true;
}

int TFunction::ArgCount() const noexcept {
  int n = 0;
  while (n < kSubExpCount && GetSubExp(n)) ++n;
  return n;
}

bool TI0Function::TransOverOK() {
  DataType = etInteger;
  return true;
}

bool TMathFunction::TransOverOK() {
  DataType = etReal;
  return true;
}

bool TStrFunction::TransOverOK() {
  DataType = etString;
  return true;
}

bool TDateTimeFunction::TransOverOK() {
  DataType = etDateTime;
  return true;
}

bool TDateTimeOrdinalFunction::TransOverOK() {
  DataType = etInteger;
  return true;
}

bool TWithinPastDateFunction::TransOverOK() {
  DataType = etBoolean;
  return true;
}

}  // namespace kv
