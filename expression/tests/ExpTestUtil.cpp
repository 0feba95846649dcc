#include "ExpTestUtil.h"

#include <gtest/gtest.h>

#include "foundation/DateUtils.h"
#include "foundation/Exceptions.h"

namespace kvtest {

using namespace kv;

void ResetThreadWithVariables() {
  CreatePubVarList();
  TVarList* v = GetPubVarList();
  v->SetVarExp("i", CreateIntExp(7));
  v->SetVarExp("n", CreateIntExp(-5));
  v->SetVarExp("r", CreateRealExp(2.5L));
  auto s = std::make_unique<TExpression>();
  s->DataType = etString;
  s->SetStrValue("YES");
  v->SetVarExp("s", std::move(s));
  auto w = std::make_unique<TExpression>();
  w->DataType = etString;
  w->SetStrValue("hello");
  v->SetVarExp("w", std::move(w));
  // Texts as a text file's fields hold them.
  for (const auto& [name, text] : {std::pair<const char*, const char*>{"t", "120.50"}, {"k", "12"}, {"e", ""}}) {
    auto x = std::make_unique<TExpression>();
    x->DataType = etString;
    x->SetStrValue(text);
    v->SetVarExp(name, std::move(x));
  }
  v->SetVarExp("d", CreateDateTimeExp(EncodeDateTime(2003, 5, 17, 8, 30, 0, 0)));
  v->SetVarExp("b", CreateBoolExp(true));
}

std::string Eval(std::string_view text) {
  std::unique_ptr<TExpression> exp;
  try {
    if (!CalculateExp(text, exp)) {
      return std::string("ERROR ") + TransResultName(GetTranslateStatus()) + " " + std::to_string(GetExpErrorPos());
    }
    if (!exp) return "NONE";
    return std::string(ExpDataTypeName(exp->DataType)) + " " + exp->GetString();
  } catch (const Exception& e) {
    return "EXCEPTION " + e.Message();
  }
}

std::unique_ptr<TExpression> MustTranslate(std::string_view text) {
  std::unique_ptr<TExpression> exp = TranslateExp(text);
  EXPECT_EQ(GetTranslateStatus(), trOK) << GetExpErrorMsg();
  EXPECT_TRUE(exp) << text;
  return exp;
}

}  // namespace kvtest
