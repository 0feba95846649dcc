#include "data/ExpVariant.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "foundation/Exceptions.h"

namespace kv {

namespace {

std::string RealText(long double x) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6Lg", x);
  return text;
}

}  // namespace

double ExtendedToDouble(long double x) {
  // The conversion rounds to nearest; a finite value only becomes infinite
  // when it is beyond the largest double (by more than half a unit).
  const double d = static_cast<double>(x);
  if (std::isinf(d) && std::isfinite(x))
    throw EConvertError(RealText(x) + " is out of the range of a double-precision number");
  return d;
}

TVariant ExpToVariant(const TExpression& exp) {
  switch (exp.DataType) {
    case etInteger: return TVariant(exp.Value.NumInt());
    case etReal: return TVariant(ExtendedToDouble(exp.Value.NumReal()));
    case etBoolean: return TVariant(exp.Value.OrdValue != 0);
    case etChar:
      return exp.Value.OrdValue == 0 ? TVariant(std::string())
                                     : TVariant(std::string(1, static_cast<char>(exp.Value.OrdValue)));
    case etString: return TVariant(exp.Value.StrValue);
    case etDateTime: return TVariant::FromDateTime(exp.Value.NumDouble());
    case etAny: break;
  }
  return TVariant::Null();
}

void VariantToExp(const TVariant& value, TExpression& exp) {
  // Refused before anything changes.
  if (value.IsArray()) throw EConvertError("An array cannot be an expression value");
  exp.Value.StrValue.clear();
  exp.Value.OrdValue = 0;
  exp.Value.ClearNum();
  switch (value.Type()) {
    case varInteger:
      exp.DataType = etInteger;
      exp.Value.SetNumInt(value.RawInteger());
      return;
    case varFloat:
      exp.DataType = etReal;
      exp.Value.SetNumReal(value.RawFloat());
      return;
    case varBoolean:
      exp.DataType = etBoolean;
      exp.Value.OrdValue = value.RawBoolean() ? 1 : 0;
      return;
    case varString:
      exp.DataType = etString;
      exp.Value.StrValue = value.RawString();
      return;
    case varDateTime:
      exp.DataType = etDateTime;
      exp.Value.SetNumDouble(value.RawFloat());
      return;
    case varArray:
    case varEmpty:
    case varNull: exp.DataType = etString; return;
  }
}

std::unique_ptr<TExpression> CreateVariantExp(const TVariant& value) {
  auto exp = std::make_unique<TExpression>();
  VariantToExp(value, *exp);
  return exp;
}

}  // namespace kv
