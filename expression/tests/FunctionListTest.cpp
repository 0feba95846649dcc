// The function registry and the function base classes.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ExpTestUtil.h"
#include "expression/FunctionList.h"
#include "expression/ThreadExp.h"
#include "expression/functions/ControlFunctions.h"
#include "expression/functions/MathFunctions.h"

namespace kv {
namespace {

// Twice(num [, num]): the first argument times two, or times the second.
class TTestTwice : public TN1Function {
  KV_CLASS(TTestTwice, TN1Function)
public:
  int OptionalParamCount() const override { return 1; }
  void Calculate() override {
    const long double factor = Arg(1) ? Arg(1)->GetReal() : 2;
    PutReal(Arg(0)->GetReal() * factor);
  }
};
KV_IMPLEMENT_CLASS(TTestTwice, TN1Function)

// Many(any...): counts its arguments (no limit on their number).
class TTestMany : public TFunction {
  KV_CLASS(TTestMany, TFunction)
public:
  int FixedParamCount() const override { return 0; }
  int OptionalParamCount() const override { return kUnlimitedParams; }
  bool TransOverOK() override {
    DataType = etInteger;
    return true;
  }
  void Calculate() override { PutInteger(ArgCount()); }
};
KV_IMPLEMENT_CLASS(TTestMany, TFunction)

// Counter(): never constant.
class TTestCounter : public TI0Function {
  KV_CLASS(TTestCounter, TI0Function)
public:
  bool IsConst() const override { return false; }
  void Calculate() override { PutInteger(GetInteger() + 1); }
};
KV_IMPLEMENT_CLASS(TTestCounter, TI0Function)

// A table entered into the control batch like the library's own.
const TFunctionBatchRegistrar g_testBatch{fbControl, 99, {{"Twice", TTestTwice::StaticClass()}}};

TEST(FunctionLists, LookupIgnoresCaseAndTheFirstEntryWins) {
  TFunctionList list;
  list.AddFunction("abs", TExp_Abs::StaticClass());
  list.AddFunction("ABS", TExp_Neg::StaticClass());
  list.AddFunction("Bad", TExpression::StaticClass());  // not a function: ignored
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Strings(0), "ABS");
  EXPECT_EQ(list.GetFuncClass("Abs"), TExp_Abs::StaticClass());
  EXPECT_EQ(list.GetFuncClass("aBs"), TExp_Abs::StaticClass());
  EXPECT_EQ(list.GetFuncClass("bad"), nullptr);
  EXPECT_EQ(list.GetFuncClass("none"), nullptr);
  std::unique_ptr<TFunction> f = list.CreateFunction("ABS");
  ASSERT_NE(f, nullptr);
  EXPECT_STREQ(f->ClassName(), "TExp_Abs");
  EXPECT_EQ(list.CreateFunction("none"), nullptr);
  list.AddFunctions({"Iif", "Not"}, {TExp_Iif::StaticClass(), TExp_Not::StaticClass()});
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(list.GetFuncClass("not"), TExp_Not::StaticClass());
}

TEST(FunctionLists, BaseBatchesInOrder) {
  TFunctionList list;
  RegisterBaseFunctions(list);
  ASSERT_GE(list.Count(), 5);
  // Mathematics comes first, control last; within a batch the table order holds.
  EXPECT_LT(list.IndexOf("ABS"), list.IndexOf("NEG"));
  EXPECT_LT(list.IndexOf("NEG"), list.IndexOf("IIF"));
  EXPECT_LT(list.IndexOf("IIF"), list.IndexOf("NOT"));
  EXPECT_LT(list.IndexOf("NOT"), list.IndexOf("TWICE"));  // the table of part 99 after those of part 0
  std::vector<TFunctionDef> control = FunctionBatch(fbControl);
  ASSERT_GE(control.size(), 3u);
  EXPECT_STREQ(control[0].Name, "Beep");  // the control batch starts with Beep
  EXPECT_EQ(list.IndexOf("RECORDNUM"), -1);  // the database batch is no base batch
  // Function classes can be read back from streams by name.
  EXPECT_EQ(FindClass("TExp_Iif"), TExp_Iif::StaticClass());
}

TEST(FunctionLists, ParameterCounts) {
  TExp_Abs abs;
  EXPECT_EQ(abs.FixedParamCount(), 1);
  EXPECT_EQ(abs.OptionalParamCount(), 0);
  TTestMany many;
  EXPECT_EQ(many.MaxParamCount(), kUnlimitedParams);
  TExp_Iif iif;
  EXPECT_EQ(iif.MaxParamCount(), 3);
}

class FunctionCalls : public ::testing::Test {
protected:
  void SetUp() override {
    kvtest::ResetThreadWithVariables();
    TFunctionList& f = *GetTranslator()->FunctionList;
    f.AddFunction("Many", TTestMany::StaticClass());
    f.AddFunction("Counter", TTestCounter::StaticClass());
  }
};

TEST_F(FunctionCalls, OptionalArguments) {
  EXPECT_EQ(kvtest::Eval("Twice(3)"), "etInteger 6");
  EXPECT_EQ(kvtest::Eval("Twice(3.5)"), "etReal 7");
  EXPECT_EQ(kvtest::Eval("Twice(3, 10)"), "etInteger 30");
  EXPECT_EQ(kvtest::Eval("Twice(3, 10, 1)"), "ERROR trNeedBracket 13");
  EXPECT_EQ(kvtest::Eval("Twice('a')"), "ERROR trTypeMismatch 10");
  EXPECT_EQ(kvtest::Eval("Twice(i)"), "etInteger 14");
}

TEST_F(FunctionCalls, ArgumentCountLimits) {
  EXPECT_EQ(kvtest::Eval("Many()"), "etInteger 0");
  EXPECT_EQ(kvtest::Eval("Many(1, 'a', i)"), "etInteger 3");
  EXPECT_EQ(kvtest::Eval("Many(1,2,3,4,5,6,7,8,9,10)"), "etInteger 10");
  // An eleventh argument has no child slot.
  EXPECT_EQ(kvtest::Eval("Many(1,2,3,4,5,6,7,8,9,10,11)"), "ERROR trTypeMismatch 29");
  EXPECT_EQ(kvtest::Eval("Abs(Many(1, 2))"), "etReal 2");
}

TEST_F(FunctionCalls, NonConstantFunctionsAreNotFolded) {
  auto e = kvtest::MustTranslate("Counter() + 0");
  EXPECT_STREQ(e->ClassName(), "TExp_Add");
  e->Evaluate(1);
  e->Evaluate(2);
  e->Evaluate(2);
  e->Evaluate(3);
  EXPECT_EQ(e->GetInteger(), 3);
  // A function over a non-constant argument is not constant either.
  e = kvtest::MustTranslate("Abs(Counter())");
  EXPECT_STREQ(e->ClassName(), "TExp_Abs");
}

TEST_F(FunctionCalls, BlanksAndCommentsAroundCalls) {
  EXPECT_EQ(kvtest::Eval("Abs {the value} ( {of} -2 )"), "etReal 2");
  EXPECT_EQ(kvtest::Eval("Iif(\n 1 > 2,\n 'a',\n 'bc'\n)"), "etString bc");
}

}  // namespace
}  // namespace kv
