// The text and control functions beyond the case files: registration order,
// Beep through the user-interface hook, lazy and repeated evaluation, copies
// and stored trees of Case, Decode and LikeAny, and nodes used without
// arguments.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ExpTestUtil.h"
#include "testsupport/RecordingUI.h"
#include "expression/FunctionList.h"
#include "expression/ThreadExp.h"
#include "expression/Translator.h"
#include "expression/VarList.h"
#include "foundation/Exceptions.h"
#include "foundation/UserInterface.h"

namespace kv {
namespace {

std::vector<std::string> Names(TFunctionBatch batch) {
  std::vector<std::string> names;
  for (const TFunctionDef& f : FunctionBatch(batch)) names.emplace_back(f.Name);
  return names;
}

TEST(TextFunctions, RegisteredInOrder) {
  const std::vector<std::string> expected{
      "ASC",      "ChrS",        "CompareStr",    "CompareText",   "Concat",         "Copy",
      "Delete",   "Insert",      "LTrim",         "LeftStr",       "Length",         "Lower",
      "MidStr",   "Pos",         "RightStr",      "RPos",          "RTrim",          "SameText",
      "SubS",     "Trim",        "UpLower",       "Upper",         "WideSameStr",    "WideSameText",
      "WideUpperCase", "WideLowerCase", "WideCompareStr", "WideCompareText"};
  EXPECT_EQ(Names(fbText), expected);
}

TEST(ControlFunctions, RegisteredInOrder) {
  const std::vector<std::string> expected{"Beep", "Case", "Decode", "Iif", "Like", "LikeAny", "Not", "Void"};
  EXPECT_EQ(Names(fbControl), expected);
}

TEST(TextFunctions, EveryNameReachesAFunction) {
  kvtest::ResetThreadWithVariables();
  const TFunctionList& list = *GetTranslator()->FunctionList;
  for (TFunctionBatch batch : {fbText, fbControl})
    for (const TFunctionDef& f : FunctionBatch(batch)) {
      EXPECT_EQ(list.GetFuncClass(f.Name), f.Class) << f.Name;
      // Streams find the class by its name.
      EXPECT_EQ(FindClass(f.Class->Name), f.Class) << f.Name;
    }
}

// Nodes made by name and evaluated without arguments (as a damaged stored
// tree might be) compute something or raise a library error; never more.
TEST(TextFunctions, NodesWithoutArgumentsDoNotCrash) {
  kvtest::ResetThreadWithVariables();
  const TFunctionList& list = *GetTranslator()->FunctionList;
  for (TFunctionBatch batch : {fbText, fbControl})
    for (const TFunctionDef& f : FunctionBatch(batch)) {
      std::unique_ptr<TFunction> node = list.CreateFunction(f.Name);
      ASSERT_TRUE(node) << f.Name;
      node->TransOverOK();
      try {
        node->Evaluate(1);
        (void)node->GetString();
      } catch (const Exception&) {
      }
      std::unique_ptr<TExpression> copy = node->CopySelf();
      EXPECT_STREQ(copy->ClassName(), node->ClassName());
    }
}

TEST(ControlFunctions, BeepSoundsOnceAtTranslation) {
  kvtest::ResetThreadWithVariables();
  kvtest::TRecordingUI ui;
  kvtest::UIScope scope(&ui);
  std::unique_ptr<TExpression> e = kvtest::MustTranslate("Concat(Beep(), Trim(w + '!'))");
  EXPECT_EQ(ui.beeps, 1);
  e->Evaluate(NextStamp(e->SyncFlag));
  e->Evaluate(NextStamp(e->SyncFlag));
  EXPECT_EQ(ui.beeps, 1);
  EXPECT_EQ(e->GetString(), "hello!");
}

TEST(ControlFunctions, CaseIsNeverFoldedAndChoosesAtEachEvaluation) {
  kvtest::ResetThreadWithVariables();
  std::unique_ptr<TExpression> e = kvtest::MustTranslate("Case(1 < 2, 'a', 'b')");
  EXPECT_STREQ(e->ClassName(), "TExp_Case");

  // Count, in variable k, how often each branch runs while b changes.
  GetPubVarList()->SetVarExp("k", CreateIntExp(0));
  e = kvtest::MustTranslate("Case(b, k := k + 1, k := k + 100)");
  int32_t stamp = e->SyncFlag;
  e->Evaluate(stamp = NextStamp(stamp));
  EXPECT_EQ(e->GetInteger(), 1);
  e->Evaluate(stamp);  // the same stamp: nothing runs again
  EXPECT_EQ(GetPubVarList()->GetVarExp("k")->GetInteger(), 1);
  GetPubVarList()->GetVarExp("b")->PutBoolean(false);
  e->Evaluate(stamp = NextStamp(stamp));
  EXPECT_EQ(e->GetInteger(), 101);
  e->Evaluate(stamp = NextStamp(stamp));
  EXPECT_EQ(GetPubVarList()->GetVarExp("k")->GetInteger(), 201);
}

TEST(ControlFunctions, NoMatchFailsEachEvaluationWithTheMessage) {
  kvtest::ResetThreadWithVariables();
  std::unique_ptr<TExpression> e = kvtest::MustTranslate("Decode(i, 1, 'one', 2, 'two')");
  try {
    e->Evaluate(NextStamp(e->SyncFlag));
    ADD_FAILURE() << "no error";
  } catch (const Exception& x) {
    EXPECT_EQ(x.Message(), "Function have no matching result value.");
  }
  GetPubVarList()->GetVarExp("i")->PutInteger(2);
  e->Evaluate(NextStamp(e->SyncFlag));
  EXPECT_EQ(e->GetString(), "two");
}

TEST(ControlFunctions, CopiesCarryBothLists) {
  kvtest::ResetThreadWithVariables();
  for (const char* text : {"Case(i = 1, 'one', i = 7, 'seven', 'other')", "Decode(i, 1, 'one', 7, 'seven', 'other')"}) {
    std::unique_ptr<TExpression> e = kvtest::MustTranslate(text);
    std::unique_ptr<TExpression> copy = e->CopySelf();
    e.reset();  // the copy shares nothing with the original
    copy->Evaluate(NextStamp(copy->SyncFlag));
    EXPECT_EQ(copy->GetString(), "seven") << text;
    GetPubVarList()->GetVarExp("i")->PutInteger(3);
    copy->Evaluate(NextStamp(copy->SyncFlag));
    EXPECT_EQ(copy->GetString(), "other") << text;
    GetPubVarList()->GetVarExp("i")->PutInteger(7);
  }
}

TEST(ControlFunctions, StoredTreesKeepTheirLists) {
  kvtest::ResetThreadWithVariables();
  for (const char* text : {"Case(i = 1, 'one', i = 7, 'seven', 'other')", "Decode(i, 1, 'one', 7, 'seven', 'other')",
                           "LikeAny(w, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'x', 'h*')"}) {
    std::unique_ptr<TExpression> e = kvtest::MustTranslate(text);
    e->Evaluate(NextStamp(e->SyncFlag));
    // Duplicate goes through the object stream: written, then read back.
    std::unique_ptr<TExpression> back = Duplicate(*e);
    ASSERT_TRUE(back) << text;
    EXPECT_STREQ(back->ClassName(), e->ClassName());
    e.reset();
    // A variable reference read back is bound to no list and keeps the value
    // it was stored with, so the stored tree computes the same result.
    back->Evaluate(NextStamp(back->SyncFlag));
    EXPECT_TRUE(back->GetString() == "seven" || back->GetString() == "Yes") << text << ": " << back->GetString();
  }
}

std::string LikeAnyCall(int patterns, const std::string& last) {
  std::string text = "LikeAny('zz'";
  for (int k = 1; k < patterns; ++k) text += ", 'p" + std::to_string(k) + "'";
  return text + ", '" + last + "')";
}

TEST(ControlFunctions, LikeAnyTakesTenThousandPatterns) {
  kvtest::ResetThreadWithVariables();
  EXPECT_EQ(kvtest::Eval(LikeAnyCall(10000, "z*")), "etBoolean Yes");
  EXPECT_EQ(kvtest::Eval(LikeAnyCall(10000, "y*")), "etBoolean No");
  const std::string tooMany = LikeAnyCall(10001, "z*");
  const std::string got = kvtest::Eval(tooMany);
  EXPECT_EQ(got.rfind("ERROR trNeedBracket ", 0), 0u) << got;
  // Patterns read from variables are evaluated at each evaluation.
  std::string text = "LikeAny(w";
  for (int k = 0; k < 20; ++k) text += ", 'x'";
  std::unique_ptr<TExpression> e = kvtest::MustTranslate(text + ", s)");
  EXPECT_STREQ(e->ClassName(), "TExp_LikeAny");
  e->Evaluate(NextStamp(e->SyncFlag));
  EXPECT_FALSE(e->GetBoolean());
  GetPubVarList()->GetVarExp("s")->PutString("h*");
  e->Evaluate(NextStamp(e->SyncFlag));
  EXPECT_TRUE(e->GetBoolean());
  std::unique_ptr<TExpression> copy = e->CopySelf();
  e.reset();
  GetPubVarList()->GetVarExp("s")->PutString("q*");
  copy->Evaluate(NextStamp(copy->SyncFlag));
  EXPECT_FALSE(copy->GetBoolean());
}

TEST(ControlFunctions, CaseTakesManyBranches) {
  kvtest::ResetThreadWithVariables();
  std::string text = "Case(";
  for (int k = 0; k < 3000; ++k) text += "i = " + std::to_string(k) + ", " + std::to_string(k * 2) + ", ";
  text += "-1)";
  EXPECT_EQ(kvtest::Eval(text), "etInteger 14");
  text = "Decode(i";
  for (int k = 0; k < 3000; ++k) text += ", " + std::to_string(k) + ", 'v" + std::to_string(k) + "'";
  text += ")";
  EXPECT_EQ(kvtest::Eval(text), "etString v7");
}

TEST(TextFunctions, ResultsFollowTheirArgumentsAtEachEvaluation) {
  kvtest::ResetThreadWithVariables();
  std::unique_ptr<TExpression> e = kvtest::MustTranslate("Concat(Upper(w), '-', LeftStr(Trim(w), 2))");
  EXPECT_STREQ(e->ClassName(), "TExp_Concat");
  e->Evaluate(NextStamp(e->SyncFlag));
  EXPECT_EQ(e->GetString(), "HELLO-he");
  GetPubVarList()->GetVarExp("w")->PutString("привет");
  e->Evaluate(NextStamp(e->SyncFlag));
  EXPECT_EQ(e->GetString(), "ПРИВЕТ-п");
}

}  // namespace
}  // namespace kv
