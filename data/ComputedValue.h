// The value of an expression computed for a dataset field, as the dataset
// kinds hand it out (TKVCustomDataSet::GetFieldValue) and the DB link run
// computes its mapping values.
#pragma once

#include "KVCore_export.h"
#include "data/Variant.h"

namespace kv {

class TExpression;

// Null for a computed 0, 0.0, character 0, empty text or date-time 0 while
// the global option ZeroAsNull is on (booleans never); otherwise the
// expression's value (ExpToVariant).
KVCORE_EXPORT TVariant ComputedFieldValue(const TExpression& exp);

}  // namespace kv
