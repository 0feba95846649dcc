// Helpers shared by the expression tests.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "expression/Expression.h"
#include "expression/ThreadExp.h"

namespace kvtest {

// A fresh public variable list and translator for the calling thread with
// the variables i = 7, n = -5, r = 2.5, s = 'YES', w = 'hello',
// d = 2003-05-17 08:30:00 and b = true.
void ResetThreadWithVariables();

// The result of translating and evaluating `text` once: "<type> <text>",
// "ERROR <result> <position>" or "EXCEPTION <message>".
std::string Eval(std::string_view text);

// Translates `text` (asserting success) and returns the tree.
std::unique_ptr<kv::TExpression> MustTranslate(std::string_view text);

}  // namespace kvtest
