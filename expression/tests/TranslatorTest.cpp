// The translator: results, positions and messages, constant folding, names,
// assignments, binding, and the per-thread functions.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ExpTestUtil.h"
#include "expression/Operators.h"
#include "expression/ThreadExp.h"
#include "expression/Translator.h"
#include "expression/Variables.h"
#include "foundation/Exceptions.h"
#include "foundation/LibMessages.h"

namespace kv {
namespace {

// A function that fails whenever it is computed.
class TTestBoom : public TFunction {
  KV_CLASS(TTestBoom, TFunction)
public:
  int FixedParamCount() const override { return 0; }
  int OptionalParamCount() const override { return 1; }
  void Calculate() override { throw EConvertError("boom"); }
};
KV_IMPLEMENT_CLASS(TTestBoom, TFunction)

class Translation : public ::testing::Test {
protected:
  void SetUp() override { kvtest::ResetThreadWithVariables(); }
};

TEST_F(Translation, ResultOrdinalsAndNames) {
  EXPECT_EQ(trOK, 0);
  EXPECT_EQ(trNoVarName, 1);
  EXPECT_EQ(trQuotNotMatch, 3);
  EXPECT_EQ(trNeedParameters, 11);
  EXPECT_STREQ(TransResultName(trTypeMismatch), "trTypeMismatch");
  EXPECT_STREQ(TransResultName(trTooComplex), "trTooComplex");
  EXPECT_EQ(TransResultMessage(trOK), "Compile complete");
  EXPECT_EQ(TransResultMessage(trNeedOpData), "Need operator");
  EXPECT_EQ(TransResultMessage(trNeedParameters), "Parameter not enough");
  for (int r = 0; r < kTransResultCount; ++r) EXPECT_FALSE(TransResultMessage(TExp_TransResult(r)).empty());
}

TEST_F(Translation, ErrorMessageMarksThePosition) {
  EXPECT_EQ(TranslateExp("1 + Qty"), nullptr);
  EXPECT_EQ(GetTranslateStatus(), trNoVarName);
  EXPECT_EQ(GetExpErrorPos(), 5);
  EXPECT_EQ(GetTranslateStatusMsg(), "Variable have no define");
  EXPECT_EQ(GetExpErrorMsg(), "1 + [Error]Qty (Variable have no define)");
  EXPECT_EQ(TranslateExp("1 +"), nullptr);
  EXPECT_EQ(GetExpErrorMsg(), "1 +[Error] (Need operator)");
}

TEST_F(Translation, MessagesFollowTheLanguage) {
  KVSetKVLibChineseSimp();
  EXPECT_EQ(TranslateExp("1 + Qty"), nullptr);
  const std::string msg = GetExpErrorMsg();
  KVSetKVLibEnglish();
  EXPECT_EQ(msg, "1 + [错误]Qty (变量没定义)");
}

TEST_F(Translation, EmptyTextsAndBlanks) {
  EXPECT_EQ(TranslateExp(""), nullptr);
  EXPECT_EQ(GetTranslateStatus(), trOK);
  std::unique_ptr<TExpression> e;
  EXPECT_TRUE(CalculateExp("", e));
  EXPECT_EQ(e, nullptr);
  EXPECT_FALSE(CheckCondition("", e));
  EXPECT_EQ(TranslateExp(" \t\r\n"), nullptr);
  EXPECT_EQ(GetTranslateStatus(), trNeedOpData);
  EXPECT_EQ(TranslateExp("()"), nullptr);
  EXPECT_EQ(GetTranslateStatus(), trOK);
}

TEST_F(Translation, AnOpenQuoteRunsToTheEnd) {
  EXPECT_EQ(kvtest::Eval("'abc + 1"), "etString abc + 1");
  EXPECT_EQ(kvtest::Eval("\"x"), "etChar x");
}

TEST_F(Translation, ControlCharactersAndCodes) {
  EXPECT_EQ(kvtest::Eval("^a"), std::string("etChar \x01"));
  EXPECT_EQ(kvtest::Eval("^_"), std::string("etChar \x1F"));
  EXPECT_EQ(kvtest::Eval("'a'#13#10'b'").size(), std::string("etString a\r\nb").size());
  EXPECT_EQ(kvtest::Eval("#0"), std::string("etChar ") + '\0');
  EXPECT_EQ(kvtest::Eval("#x"), "ERROR trInvalidOpData 1");
  EXPECT_EQ(kvtest::Eval("^1"), "ERROR trInvalidOpData 1");
}

TEST_F(Translation, ConstantsAreFolded) {
  auto e = kvtest::MustTranslate("1 + 2 * 3");
  EXPECT_STREQ(e->ClassName(), "TExpression");
  EXPECT_EQ(e->GetInteger(), 7);

  e = kvtest::MustTranslate("Abs(-2) + Neg(3)");
  EXPECT_STREQ(e->ClassName(), "TExpression");
  EXPECT_EQ(e->GetString(), "-1");

  e = kvtest::MustTranslate("Iif(1 > 2, 1, 2.5)");
  EXPECT_STREQ(e->ClassName(), "TExpression");
  EXPECT_EQ(e->DataType, etReal);

  e = kvtest::MustTranslate("2 ^ 31");
  EXPECT_STREQ(e->ClassName(), "TExpression");
  EXPECT_EQ(e->DataType, etReal);

  e = kvtest::MustTranslate("i + (1 + 2)");
  EXPECT_STREQ(e->ClassName(), "TExp_Add");
  EXPECT_STREQ(e->GetSubExp(0)->ClassName(), "TExp_VarRef");
  EXPECT_STREQ(e->GetSubExp(1)->ClassName(), "TExpression");

  e = kvtest::MustTranslate("1 + 2 + i");  // (1 + 2) + i: the left part folds
  EXPECT_STREQ(e->ClassName(), "TExp_Add");
  EXPECT_STREQ(e->GetSubExp(0)->ClassName(), "TExpression");
  EXPECT_EQ(e->GetSubExp(0)->GetInteger(), 3);

  e = kvtest::MustTranslate("Iif(i > 1, 1, 2)");
  EXPECT_STREQ(e->ClassName(), "TExp_Iif");
  e = kvtest::MustTranslate("x := 1");
  EXPECT_STREQ(e->ClassName(), "TExp_VarAssign");
}

TEST_F(Translation, FoldedTextsKeepTheirFormatOnce) {
  auto e = kvtest::MustTranslate("'a' + 'b' : '[%s]'");
  EXPECT_STREQ(e->ClassName(), "TExpression");
  EXPECT_EQ(e->GetString(), "[ab]");
}

TEST_F(Translation, ErrorsRaisedByConstantsPassToTheCaller) {
  GetTranslator()->FunctionList->AddFunction("Boom", TTestBoom::StaticClass());
  EXPECT_THROW(TranslateExp("1 + Boom()"), EConvertError);
  // Not constant: the failure comes with the evaluation.
  std::unique_ptr<TExpression> e;
  EXPECT_THROW(CalculateExp("Boom(i)", e), EConvertError);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(kvtest::Eval("Boom(i)"), "EXCEPTION boom");
}

TEST_F(Translation, AssignmentsCreateVariables) {
  EXPECT_EQ(kvtest::Eval("x + 1"), "ERROR trNoVarName 1");
  auto assign = kvtest::MustTranslate("x := 5");
  EXPECT_EQ(kvtest::Eval("x + 1"), "ERROR trNoVarName 1");  // translated, not yet evaluated
  assign->Evaluate(NextStamp(assign->SyncFlag));
  EXPECT_EQ(kvtest::Eval("x + 1"), "etInteger 6");
  EXPECT_EQ(GetPubVarList()->GetVarExp("X")->GetInteger(), 5);
  EXPECT_EQ(kvtest::Eval("x := x * 2"), "etInteger 10");
  EXPECT_EQ(kvtest::Eval("x"), "etInteger 10");
}

TEST_F(Translation, ChainedAssignmentIsNotAChain) {
  EXPECT_EQ(kvtest::Eval("x := y := 1"), "etInteger 1");
  EXPECT_EQ(kvtest::Eval("x"), "etChar y");
  EXPECT_EQ(kvtest::Eval("y"), "etInteger 1");
}

TEST_F(Translation, AssignmentInBracketsIsPartOfAnExpression) {
  EXPECT_EQ(kvtest::Eval("(z := 2) * 3"), "etInteger 6");
  EXPECT_EQ(kvtest::Eval("z"), "etInteger 2");
  EXPECT_EQ(kvtest::Eval("q := 'ab' : '[%s]'"), "etString [ab]");
  EXPECT_EQ(kvtest::Eval("q"), "etString [ab]");
}

TEST_F(Translation, ReferencesBindToTheListOfTheirTranslation) {
  TVarList* pub = GetPubVarList();
  auto other = CreateVarList(nullptr);
  other->SetVarExp("i", CreateIntExp(100));
  auto e = kvtest::MustTranslate("i + 1");  // bound to the public list
  SetVarList(other.get());
  auto f = kvtest::MustTranslate("i + 1");  // bound to `other`
  SetVarList(pub);
  e->Evaluate(NextStamp(e->SyncFlag));
  f->Evaluate(NextStamp(f->SyncFlag));
  EXPECT_EQ(e->GetInteger(), 8);
  EXPECT_EQ(f->GetInteger(), 101);
  auto* ref = ObjCast<TExp_VarRef>(f->GetSubExp(0));
  ASSERT_NE(ref, nullptr);
  EXPECT_EQ(ref->BoundList(), other.get());
  EXPECT_EQ(ref->VarName(), "i");
}

TEST_F(Translation, NamesTakeUtf8DotsAndAts) {
  TVarList* pub = GetPubVarList();
  pub->SetVarExp("\xE4\xBB\xB7\xE6\xA0\xBC", CreateIntExp(3));  // UTF-8 "price" in Chinese
  pub->SetVarExp("Orders.ID", CreateIntExp(42));
  pub->SetVarExp("a@b", CreateIntExp(1));
  pub->SetVarExp("\x81\x82x", CreateIntExp(9));  // a name starting with a byte of 0x81-0xA0
  pub->SetVarExp("_u2", CreateIntExp(2));
  EXPECT_EQ(kvtest::Eval("\xE4\xBB\xB7\xE6\xA0\xBC * 2"), "etInteger 6");
  EXPECT_EQ(kvtest::Eval("orders.id + 1"), "etInteger 43");
  EXPECT_EQ(kvtest::Eval("A@B"), "etInteger 1");
  EXPECT_EQ(kvtest::Eval("\x81\x82x + 1"), "etInteger 10");
  EXPECT_EQ(kvtest::Eval("_u2"), "etInteger 2");
  EXPECT_EQ(kvtest::Eval("\x80"), "ERROR trNoVarName 1");
}

TEST_F(Translation, NameCharacterSetsCanBeChanged) {
  SetIDFirstCharSet(TCharSet{'_'}.AddRange('A', 'Z').AddRange('a', 'z'));
  EXPECT_EQ(kvtest::Eval("\xE4\xBB\xB7"), "ERROR trInvalidOpData 1");
  SetIDCharSet(TCharSet{'_'}.AddRange('A', 'Z').AddRange('a', 'z').AddRange('0', '9'));
  GetPubVarList()->SetVarExp("Orders", CreateIntExp(1));
  EXPECT_EQ(kvtest::Eval("Orders.ID"), "ERROR trInvalidOP 7");
}

TEST_F(Translation, ValidateCalculateAndCheck) {
  TExpression* raw = CreateIntExp(1).release();
  EXPECT_TRUE(ValidateExp("i * 2", raw));
  ASSERT_NE(raw, nullptr);
  EXPECT_STREQ(raw->ClassName(), "TExp_Mul");
  EXPECT_EQ(raw->DataType, etAny);  // not evaluated yet
  EXPECT_TRUE(CalculateExp("i * 2", raw));
  EXPECT_EQ(raw->GetInteger(), 14);
  EXPECT_FALSE(ValidateExp("i *", raw));
  EXPECT_EQ(raw, nullptr);

  ObjPtr<TExpression> slot;
  EXPECT_TRUE(CheckCondition("i > 5", slot));
  EXPECT_FALSE(CheckCondition("i > 50", slot));
  EXPECT_FALSE(CheckCondition("i >", slot));
  EXPECT_FALSE(slot);
  std::unique_ptr<TExpression> u;
  EXPECT_TRUE(CheckCondition("s = 'YES'", u));
}

TEST_F(Translation, TranslatorsOfTheThread) {
  TExpTranslator* first = GetTranslator();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->VarList, GetPubVarList());
  EXPECT_GT(first->FunctionList->Count(), 0);

  auto mine = std::make_unique<TExpTranslator>();
  TExpTranslator* raw = mine.get();
  EXPECT_EQ(raw->VarList, GetPubVarList());
  EXPECT_EQ(raw->FunctionList->Count(), 0);
  std::unique_ptr<TExpTranslator> old = SetTranslator(std::move(mine));
  EXPECT_EQ(old.get(), first);
  EXPECT_EQ(GetTranslator(), raw);
  EXPECT_EQ(kvtest::Eval("Abs(1)"), "ERROR trNoFuncName 1");  // no functions registered in it
  RegisterBaseFunctions();
  EXPECT_EQ(kvtest::Eval("Abs(1)"), "etReal 1");

  // Without a translator the thread makes one on its public list.
  SetTranslator(nullptr);
  EXPECT_EQ(GetTranslator(), nullptr);
  EXPECT_EQ(GetVarList(), nullptr);
  SetVarList(nullptr);
  EXPECT_EQ(GetTranslateStatus(), trOK);
  EXPECT_EQ(kvtest::Eval("i + Abs(-1)"), "etReal 8");  // Abs gives a real
  ASSERT_NE(GetTranslator(), nullptr);
  EXPECT_EQ(GetTranslator()->VarList, GetPubVarList());
}

TEST_F(Translation, ATranslatorObjectWorksOnItsOwn) {
  TExpTranslator t;
  auto list = CreateVarList(nullptr);
  list->SetVarExp("v", CreateIntExp(4));
  t.VarList = list.get();
  RegisterBaseFunctions(*t.FunctionList);
  std::unique_ptr<TExpression> e = t.Translate("v * Abs(-2)");
  ASSERT_NE(e, nullptr) << t.ErrorMsg();
  auto* mul = e.get();
  auto* ref = ObjCast<TExp_VarRef>(mul->GetSubExp(0));
  ASSERT_NE(ref, nullptr);
  EXPECT_EQ(ref->BoundList(), list.get());
  e->Evaluate(NextStamp(e->SyncFlag));
  EXPECT_EQ(e->GetString(), "8");
  EXPECT_EQ(t.StatusMsg(), "Compile complete");
}

TEST_F(Translation, OperatorClassesCanBeReplaced) {
  GetTranslator()->OperatorClasses[opAdd] = TExp_Sub::StaticClass();
  EXPECT_EQ(kvtest::Eval("5 + 3"), "etInteger 2");
  GetTranslator()->OperatorClasses[opAdd] = TExp_Add::StaticClass();
}

}  // namespace
}  // namespace kv
