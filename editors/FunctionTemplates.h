// The function templates the expression editor offers, by category. A
// template is a display text for the user (the function's name and its
// parameter names); the names and arities the translator accepts are those
// of the function registry.
#pragma once

#include <vector>

#include "KVEditorLib_export.h"

namespace kv {

struct TFunctionCategory {
  const char* Name;                    // "Number function", ... (its translation name too)
  std::vector<const char*> Templates;  // UTF-8, in display order
};

// The six categories in display order: Number, Character, Conversion,
// Date, Miscellaneous and Database functions.
KVEDITORLIB_EXPORT const std::vector<TFunctionCategory>& FunctionCategories();

}  // namespace kv
