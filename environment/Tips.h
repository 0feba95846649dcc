// The tips shown by the tip window, in the language in force.
#pragma once

#include <string>
#include <vector>

#include "KVCore_export.h"
#include "foundation/StringLists.h"

namespace kv {

// Appends the tips of the language in force (KVLanguageType) to `list`: 16 in
// English, 17 in Simplified Chinese. Each tip is one entry: a heading line and
// its text, separated by a line break ("\n").
KVCORE_EXPORT void GetTips(TPlainStringList& list);
KVCORE_EXPORT void GetTips(std::vector<std::string>& list);

}  // namespace kv
