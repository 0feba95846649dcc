// Evaluating the mathematics functions allocates nothing, whatever the
// values (NaN and infinities included): every allocation of this program is
// counted through a replaced global operator new.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "CountingNew.h"
#include "expression/ThreadExp.h"


namespace kv {
namespace {

class MathAllocations : public ::testing::TestWithParam<const char*> {
protected:
  void SetUp() override {
    CreatePubVarList();
    TVarList* v = GetPubVarList();
    v->SetVarExp("a", CreateRealExp(1.5L));
    v->SetVarExp("c", CreateIntExp(7));
    v->SetVarExp("d", CreateDateTimeExp(37758.5));
  }
};

TEST_P(MathAllocations, NoneWhileEvaluating) {
  auto e = TranslateExp(GetParam());
  ASSERT_NE(e, nullptr) << GetExpErrorMsg();
  TExpression* a = GetPubVarList()->GetVarExp("a");
  TExpression* c = GetPubVarList()->GetVarExp("c");
  e->Evaluate(NextStamp(e->SyncFlag));  // the first evaluation settles types
  const long before = kvtest::AllocationCount();
  for (int i = 0; i < 5000; ++i) {
    // Values on both sides of every domain: negatives, zero, huge ones.
    a->PutReal((i % 41 - 20) * 0.37L * ((i % 7 == 0) ? 1E300L : 1.0L));
    c->PutInteger(i % 23 - 11);
    e->Evaluate(NextStamp(e->SyncFlag));
    (void)e->GetReal();
    (void)e->GetInteger();
    (void)e->GetBoolean();
  }
  EXPECT_EQ(kvtest::AllocationCount() - before, 0) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(
    Functions, MathAllocations,
    ::testing::Values(
        "Abs(a) + ArcCos(a) + ArcCosh(a) + ArcCot(a) + ArcCotH(a) + ArcCsc(a) + ArcCscH(a)",
        "ArcSec(a) + ArcSecH(a) + ArcSin(a) + ArcSinh(a) + ArcTan(a) + ArcTanh(a) + ArcTan2(a, c)",
        "Ceil(a) + CompareValue(a, c) + Cos(a) + Sin(a) + Tan(a) + Cosecant(a) + Csc(a)",
        "Cosh(a) + Sinh(a) + Tanh(a) + Cot(a) + Cotan(a) + CotH(a) + CscH(a) + Div(a, c) + Div(c, a)",
        "Exp(a) + Floor(a) + Frac(a) + Hypot(a, c) + Int(a) + Ln(a) + Log10(a) + Log2(a) + LogN(c, a)",
        "Max(a, c) + Min(c, a) + Mod(c, a) + Mod(a, c) + Neg(a) + Order(a) + Pi() + Random(c)",
        "Round(a) + Trunc(a) + Sec(a) + Secant(a) + SecH(a) + Sqr(a) + Sqrt(a)",
        "Max(d, a) - Min(d, c)",
        "InRange(a, c, 10) AND InRange(c, -5, a) OR InRange(d, a, c)",
        "ToInt(a) + ToReal(c) + ToBool(a) + ToChar(c) + ToTime(d) - d + 0"));

}  // namespace
}  // namespace kv
