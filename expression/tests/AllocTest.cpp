// Evaluating numeric and boolean trees allocates nothing: every allocation
// of this program is counted through a replaced global operator new.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "CountingNew.h"
#include "expression/ThreadExp.h"


namespace kv {
namespace {

class Allocations : public ::testing::TestWithParam<const char*> {
protected:
  void SetUp() override {
    CreatePubVarList();
    TVarList* v = GetPubVarList();
    v->SetVarExp("a", CreateRealExp(1.5L));
    v->SetVarExp("b", CreateRealExp(2.25L));
    v->SetVarExp("c", CreateIntExp(7));
    v->SetVarExp("d", CreateDateTimeExp(37758.5));
    v->SetVarExp("f", CreateBoolExp(true));
    v->SetVarExp("ch", CreateStrExp("q"));
  }
};

TEST_P(Allocations, NoneWhileEvaluating) {
  auto e = TranslateExp(GetParam());
  ASSERT_NE(e, nullptr) << GetExpErrorMsg();
  TExpression* a = GetPubVarList()->GetVarExp("a");
  TExpression* c = GetPubVarList()->GetVarExp("c");
  e->Evaluate(NextStamp(e->SyncFlag));  // the first evaluation settles types
  const long before = kvtest::AllocationCount();
  for (int i = 0; i < 10000; ++i) {
    a->PutReal(i * 0.5L);
    c->PutInteger(i % 23);
    e->Evaluate(NextStamp(e->SyncFlag));
    (void)e->GetReal();
    (void)e->GetBoolean();
    (void)e->GetInteger();
  }
  EXPECT_EQ(kvtest::AllocationCount() - before, 0) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(
    Trees, Allocations,
    ::testing::Values("a * 1.16 + b - Iif(c > 10, 1, 0)",
                      "(a ^ 2 + b / 3 - a * b) / (c + 1) + c / 2 * 3 ^ 2 - c",
                      "a > b AND c <> 5 OR Not(c = 1) & (a <= 2) | (b >= a) AND c < 20",
                      "Abs(Neg(a)) + Iif(f, c, a) + (1 < 2) + d + 1",
                      "d - 1 > d - 2 = YES",
                      "ch = 'q' AND ch > 'a' AND f = YES AND (f $ YES) OR c $ 17",
                      "x := a * 2 + c"));

TEST(AllocationCounter, CountsAllocations) {
  const long before = kvtest::AllocationCount();
  std::string* s = new std::string(100, 'x');
  delete s;
  EXPECT_GE(kvtest::AllocationCount() - before, 1);
}

}  // namespace
}  // namespace kv
