// Evaluating the text and control functions that yield numbers or booleans
// allocates nothing: every allocation of this program is counted through a
// replaced global operator new.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#include "CountingNew.h"
#include "expression/ThreadExp.h"


namespace kv {
namespace {

class TextAllocations : public ::testing::TestWithParam<const char*> {
protected:
  void SetUp() override {
    CreatePubVarList();
    TVarList* v = GetPubVarList();
    // Short texts: they live inside the string objects, so copying them
    // into the nodes that read them needs no memory of its own.
    auto text = [](const char* s) {
      auto e = std::make_unique<TExpression>();
      e->DataType = etString;
      e->SetStrValue(s);
      return e;
    };
    v->SetVarExp("t", text("hello w\xc3\xb6rld"));
    v->SetVarExp("u", text("HELLO W\xc3\x96RLD"));
    v->SetVarExp("c", CreateIntExp(7));
  }
};

TEST_P(TextAllocations, NoneWhileEvaluating) {
  auto e = TranslateExp(GetParam());
  ASSERT_NE(e, nullptr) << GetExpErrorMsg();
  TExpression* c = GetPubVarList()->GetVarExp("c");
  e->Evaluate(NextStamp(e->SyncFlag));  // the first evaluation settles types
  const long before = kvtest::AllocationCount();
  for (int i = 0; i < 2000; ++i) {
    c->PutInteger(i % 9 - 3);
    e->Evaluate(NextStamp(e->SyncFlag));
    (void)e->GetInteger();
    (void)e->GetBoolean();
  }
  EXPECT_EQ(kvtest::AllocationCount() - before, 0) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(
    Functions, TextAllocations,
    ::testing::Values("ASC(t) + c", "Length(t) + c", "Pos('l', t) + c", "RPos('l', t) + c", "Pos(c, t)",
                      "CompareStr(t, u) + c", "CompareText(t, u) + c", "SameText(t, u) & (c > 0)",
                      "WideSameStr(t, u) & (c > 0)", "WideSameText(t, u) & (c > 0)", "WideCompareStr(t, u) + c",
                      "WideCompareText(t, u) + c", "Length(c)", "Like(t, 'h*d') & (c > 0)",
                      "LikeAny(t, 'x', c, 'h?llo*') & (c > 0)", "Like(c, '?')",
                      "Case(c > 0, c, c < -1, 0 - c, 100)", "Decode(c, 1, 10, 2, 20, 3, 30, -1)",
                      "Decode(t, 'x', 1, 'hello w\xc3\xb6rld', c, 0)", "Iif(c > 0, c, 0)", "Not(c)",
                      "Length(Void(c, t))"),
    [](const ::testing::TestParamInfo<const char*>& info) { return "case" + std::to_string(info.index); });

}  // namespace
}  // namespace kv
