// Values crossing between the expression language and datasets: a value an
// expression computed becomes a TVariant (to be stored in a field), and a
// TVariant (a field's or a key's value) becomes an expression value.
//
// Expression value -> TVariant, by the expression's type:
//   etInteger -> varInteger; etBoolean -> varBoolean; etString -> varString;
//   etChar -> a one-byte varString (character 0 -> the empty text);
//   etDateTime -> varDateTime; etAny (nothing computed) -> Null;
//   etReal (an extended real) -> varFloat, by ExtendedToDouble.
// TVariant -> expression value: varInteger -> etInteger, varFloat -> etReal
//   (exact), varBoolean -> etBoolean, varString -> etString, varDateTime ->
//   etDateTime, Null and unassigned -> etString '' (the empty text);
//   an array raises EConvertError.
#pragma once

#include <memory>

#include "KVCore_export.h"
#include "data/Variant.h"
#include "expression/Expression.h"

namespace kv {

// An extended real as a double: rounded to the nearest double (ties to
// even); values too small for a double become the nearest subnormal or a
// signed zero; infinities and NaN stay what they are. EConvertError for a
// finite value beyond the largest double (it is never made infinite).
KVCORE_EXPORT double ExtendedToDouble(long double x);

KVCORE_EXPORT TVariant ExpToVariant(const TExpression& exp);
// Puts `value` into `exp`, which takes the value's type (see above); the
// node's format is kept.
KVCORE_EXPORT void VariantToExp(const TVariant& value, TExpression& exp);
// A new constant holding `value`.
KVCORE_EXPORT std::unique_ptr<TExpression> CreateVariantExp(const TVariant& value);

}  // namespace kv
