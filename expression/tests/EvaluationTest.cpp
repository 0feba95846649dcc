// Evaluation: stamps, lazy Iif, types settled at evaluation, variables.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ExpTestUtil.h"
#include "expression/Operators.h"
#include "expression/ThreadExp.h"
#include "expression/Variables.h"
#include "foundation/Exceptions.h"
#include "foundation/LibMessages.h"
#include "foundation/UserInterface.h"
#include "testsupport/RecordingUI.h"

namespace kv {
namespace {

// A variable whose value is computed each time a reference reads it, like
// a database field.
class TTestCounterVar : public TExpression {
  KV_CLASS(TTestCounterVar, TExpression)
public:
  void Calculate() override { PutInteger(++calls); }
  int calls = 0;
};
KV_IMPLEMENT_CLASS(TTestCounterVar, TExpression)

class TTestFail : public TFunction {
  KV_CLASS(TTestFail, TFunction)
public:
  void Calculate() override { throw EConvertError("failed on purpose"); }
};
KV_IMPLEMENT_CLASS(TTestFail, TFunction)

class Evaluation : public ::testing::Test {
protected:
  void SetUp() override { kvtest::ResetThreadWithVariables(); }
  TVarList* Vars() { return GetPubVarList(); }
  static void Run(TExpression& e) { e.Evaluate(NextStamp(e.SyncFlag)); }
};

TEST_F(Evaluation, OncePerStamp) {
  Vars()->SetVarExp("total", CreateIntExp(0));
  auto e = kvtest::MustTranslate("total := total + i");
  e->Evaluate(1);
  e->Evaluate(1);
  EXPECT_EQ(Vars()->GetVarExp("total")->GetInteger(), 7);
  e->Evaluate(2);
  EXPECT_EQ(Vars()->GetVarExp("total")->GetInteger(), 14);
  e->Evaluate(2);
  EXPECT_EQ(e->GetInteger(), 14);
}

TEST_F(Evaluation, AssignmentEvaluatedTwiceWithTheSameStampAssignsOnce) {
  Vars()->SetVarExp("k", CreateIntExp(1));
  auto e = kvtest::MustTranslate("k := k * 2");
  e->Evaluate(10);
  e->Evaluate(10);
  EXPECT_EQ(Vars()->GetVarExp("k")->GetInteger(), 2);
}

TEST_F(Evaluation, IifEvaluatesOnlyTheChosenBranch) {
  Vars()->SetVarExp("a", CreateIntExp(0));
  Vars()->SetVarExp("c", CreateIntExp(0));
  auto e = kvtest::MustTranslate("Iif(c > 0, a := 1, 'no')");
  Run(*e);
  EXPECT_EQ(e->DataType, etString);
  EXPECT_EQ(e->GetString(), "no");
  EXPECT_EQ(Vars()->GetVarExp("a")->GetInteger(), 0);
  Vars()->GetVarExp("c")->PutInteger(1);
  Run(*e);
  EXPECT_EQ(e->DataType, etInteger);
  EXPECT_EQ(e->GetInteger(), 1);
  EXPECT_EQ(Vars()->GetVarExp("a")->GetInteger(), 1);
}

TEST_F(Evaluation, IntegerPowerTurnsRealForGood) {
  Vars()->SetVarExp("p", CreateIntExp(2));
  Vars()->SetVarExp("q", CreateIntExp(10));
  auto e = kvtest::MustTranslate("p ^ q");
  Run(*e);
  EXPECT_EQ(e->DataType, etInteger);
  EXPECT_EQ(e->GetString(), "1024");
  Vars()->GetVarExp("q")->PutInteger(31);
  Run(*e);
  EXPECT_EQ(e->DataType, etReal);
  EXPECT_EQ(e->GetString(), "2147483648");
  Vars()->GetVarExp("q")->PutInteger(2);
  Run(*e);
  EXPECT_EQ(e->DataType, etReal);
  EXPECT_EQ(e->GetString(), "4");
}

TEST_F(Evaluation, UntypedOperatorsSettleOnTheEvaluatedOperands) {
  auto e = kvtest::MustTranslate("i * 2");
  EXPECT_EQ(e->DataType, etAny);
  Run(*e);
  EXPECT_EQ(e->DataType, etInteger);
  EXPECT_EQ(e->GetInteger(), 14);
  // The operator follows its operands' types at every evaluation, with the
  // rule literals get at translation: integer and real mix to real.
  Vars()->SetVarExp("i", CreateRealExp(1.5L));
  Run(*e);
  EXPECT_EQ(e->DataType, etReal);
  EXPECT_EQ(e->GetString(), "3");
  auto mixed = kvtest::MustTranslate("i + 1");
  Vars()->SetVarExp("i", CreateIntExp(4));
  Run(*mixed);
  EXPECT_EQ(mixed->DataType, etInteger);
  auto real = kvtest::MustTranslate("i * 1.16");
  Run(*real);
  EXPECT_EQ(real->DataType, etReal);
  EXPECT_EQ(real->GetString(), "4.64");
}

TEST_F(Evaluation, ReferencesCallTheVariablesCalculate) {
  auto* field = new TTestCounterVar;
  Vars()->SetVarExp("field", field);
  auto e = kvtest::MustTranslate("field + field");
  Run(*e);
  // One reference node per name occurrence, each reads the field once.
  EXPECT_EQ(field->calls, 2);
  EXPECT_EQ(e->GetInteger(), 3);
  Run(*e);
  EXPECT_EQ(field->calls, 4);
}

TEST_F(Evaluation, ADeletedVariableKeepsTheLastValue) {
  Vars()->SetVarExp("gone", CreateIntExp(5));
  auto e = kvtest::MustTranslate("gone + 1");
  Run(*e);
  EXPECT_EQ(e->GetInteger(), 6);
  Vars()->SetVarExp("gone", nullptr);
  Run(*e);
  EXPECT_EQ(e->GetInteger(), 6);
  // A new variable of the same name is found again.
  Vars()->SetVarExp("GONE", CreateIntExp(10));
  Run(*e);
  EXPECT_EQ(e->GetInteger(), 11);
}

TEST_F(Evaluation, LookupsFollowChangesMadeThroughTheListItself) {
  auto e = kvtest::MustTranslate("i + 0");
  Run(*e);
  EXPECT_EQ(e->GetInteger(), 7);
  TVarList* v = Vars();
  const int at = v->IndexOfVar("i");
  ASSERT_GE(at, 0);
  v->Delete(at);  // the inherited list operation, not SetVarExp
  v->AddObject("I", CreateIntExp(70).release());
  Run(*e);
  EXPECT_EQ(e->GetInteger(), 70);
  v->Clear();
  Run(*e);
  EXPECT_EQ(e->GetInteger(), 70);
}

TEST_F(Evaluation, ShadowingInAChildListIsSeen) {
  auto child = CreateVarList(Vars());
  SetVarList(child.get());
  auto e = kvtest::MustTranslate("i");
  Run(*e);
  EXPECT_EQ(e->GetInteger(), 7);
  child->SetVarExp("i", CreateIntExp(1));
  Run(*e);
  EXPECT_EQ(e->GetInteger(), 1);
  SetVarList(Vars());
}

TEST_F(Evaluation, AssignmentToAParentVariableChangesIt) {
  auto child = CreateVarList(Vars());
  SetVarList(child.get());
  auto e = kvtest::MustTranslate("i := 99");
  Run(*e);
  SetVarList(Vars());
  EXPECT_EQ(child->Count(), 0);
  EXPECT_EQ(Vars()->GetVarExp("i")->GetInteger(), 99);
  // A new name goes to the bound list, not to a parent.
  SetVarList(child.get());
  auto f = kvtest::MustTranslate("fresh := 1");
  Run(*f);
  SetVarList(Vars());
  EXPECT_NE(child->GetVarExp("fresh"), nullptr);
  EXPECT_EQ(Vars()->GetVarExp("fresh"), nullptr);
}

TEST_F(Evaluation, NewVariablesTakeTheFormatOfTheirValue) {
  auto e = kvtest::MustTranslate("m := 2.5 : '%.2f'");
  Run(*e);
  TExpression* m = Vars()->GetVarExp("m");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->GetString(), "2.50");
  EXPECT_EQ(e->GetString(), "2.5");  // the assignment node itself has no format
}

TEST_F(Evaluation, UntypedOperandsReachEveryColumn) {
  // Texts through untyped operands: - * / compute a text that holds a
  // number as that number, fail on any other text (an empty result would
  // pass for a missing value), and keep the empty text empty.
  EXPECT_EQ(kvtest::Eval("w - 1"), "EXCEPTION 'hello' is not a valid floating point value");
  EXPECT_EQ(kvtest::Eval("w * 2"), "EXCEPTION 'hello' is not a valid floating point value");
  EXPECT_EQ(kvtest::Eval("w / 2"), "EXCEPTION 'hello' is not a valid floating point value");
  EXPECT_EQ(kvtest::Eval("t / 2"), "etReal 60.25");
  EXPECT_EQ(kvtest::Eval("e / 2"), "etString ");
  // Booleans: + is OR, - is XOR, * is AND.
  EXPECT_EQ(kvtest::Eval("b + NO"), "etBoolean Yes");
  EXPECT_EQ(kvtest::Eval("b - YES"), "etBoolean No");
  EXPECT_EQ(kvtest::Eval("b * NO"), "etBoolean No");
  EXPECT_EQ(kvtest::Eval("b / NO"), "etBoolean No");  // not computed: the initial value
  // Date-times: * and / compute as reals.
  EXPECT_EQ(kvtest::Eval("d * 1"), "etDateTime 2003.05.17 08:30:00");
  EXPECT_EQ(kvtest::Eval("d / 1"), "etDateTime 2003.05.17 08:30:00");
  EXPECT_EQ(kvtest::Eval("d / 0"), "etDateTime 1899.12.30 00:00:00");
  EXPECT_EQ(kvtest::Eval("d ^ 1"), "etDateTime 2003.05.17 08:30:00");
}

TEST_F(Evaluation, ComparisonsByTheLeftType) {
  EXPECT_EQ(kvtest::Eval("w > 'a'"), "etBoolean Yes");
  EXPECT_EQ(kvtest::Eval("w = 'hello'"), "etBoolean Yes");
  EXPECT_EQ(kvtest::Eval("r = 2.5"), "etBoolean Yes");
  EXPECT_EQ(kvtest::Eval("r = '2.5'"), "etBoolean Yes");
  EXPECT_EQ(kvtest::Eval("i = '07'"), "etBoolean Yes");
  EXPECT_EQ(kvtest::Eval("i = '7'"), "etBoolean No");  // a one-character literal is a character: code 55
  EXPECT_EQ(kvtest::Eval("i = 'x'"), "etBoolean No");
  EXPECT_EQ(kvtest::Eval("'10' < '9'"), "etBoolean Yes");  // texts compare byte by byte
  EXPECT_EQ(kvtest::Eval("'\xE4' > 'z'"), "etBoolean Yes");  // bytes are unsigned
  EXPECT_EQ(kvtest::Eval("w $ 'say hello!'"), "etBoolean Yes");
}

TEST_F(Evaluation, ExpEvaluateReportsFailures) {
  GetTranslator()->FunctionList->AddFunction("Fail", TTestFail::StaticClass());
  auto e = kvtest::MustTranslate("Fail(i) + 1");
  kvtest::TRecordingUI ui;
  IUserInterface* old = SetUserInterface(&ui);
  ExpEvaluate(e.get(), NextStamp(e->SyncFlag));
  SetUserInterface(old);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.types[0], mtError);
  EXPECT_EQ(ui.messages[0], std::string(SExpCalError.c_str()) + ": failed on purpose");
  EXPECT_THROW(e->Evaluate(NextStamp(e->SyncFlag)), EConvertError);
  ExpEvaluate(nullptr, 1);
}

TEST_F(Evaluation, CopiesOfTreesEvaluateAlike) {
  auto e = kvtest::MustTranslate("Iif(i > 5, w + '!', 'small')");
  std::unique_ptr<TExpression> copy = e->CopySelf();
  Run(*e);
  Run(*copy);
  EXPECT_EQ(copy->GetString(), "hello!");
  EXPECT_EQ(e->GetString(), copy->GetString());
  auto* ref = ObjCast<TExp_VarRef>(copy->GetSubExp(1)->GetSubExp(0));
  ASSERT_NE(ref, nullptr);
  EXPECT_EQ(ref->BoundList(), Vars());
}

TEST_F(Evaluation, SharedArithmeticHelpers) {
  EXPECT_EQ(Int32Quotient(7, 2), 3);
  EXPECT_EQ(Int32Quotient(7, 0), 0);
  EXPECT_EQ(Int32Quotient(INT32_MIN, -1), 0);
  long double q = 0;
  EXPECT_FALSE(GuardedRealDiv(1, 1E-20L, q));
  EXPECT_FALSE(GuardedRealDiv(1E4932L, 0.5L, q));
  EXPECT_TRUE(GuardedRealDiv(7, 2, q));
  EXPECT_EQ(q, 3.5L);
  EXPECT_EQ(RealPower(-2, 3), -8);
  EXPECT_EQ(RealPower(-2, 0.5L) < 0, true);  // a non-whole exponent of a negative base is negated
  EXPECT_EQ(RealPower(0, 0), 1);
  EXPECT_EQ(RealPower(0, -1), 1.1E4932L);
  EXPECT_EQ(RealPower(2, -100000), 0);
}

}  // namespace
}  // namespace kv
