// The mathematics and conversion functions beyond what one evaluation of a
// case row shows: registration order, counters and random draws over many
// evaluations, copies, hostile arguments. The single-evaluation cases are in
// data/functions_math.txt and data/functions_conversion.txt.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ExpTestUtil.h"
#include "expression/FunctionList.h"
#include "expression/ThreadExp.h"
#include "expression/functions/MathFunctions.h"
#include "foundation/Exceptions.h"

namespace kv {
namespace {

std::vector<std::string> BatchNames(TFunctionBatch batch) {
  std::vector<std::string> names;
  for (const TFunctionDef& f : FunctionBatch(batch)) names.emplace_back(f.Name);
  return names;
}

TEST(MathConversionRegistry, MathematicsInRegistrationOrder) {
  const std::vector<std::string> expected = {
      "Abs",     "ArcCos",   "ArcCosh", "ArcCot",  "ArcCotH", "ArcCsc",   "ArcCscH", "ArcSec",   "ArcSecH",
      "ArcSin",  "ArcSinh",  "ArcTan",  "ArcTanh", "ArcTan2", "Ceil",     "CompareValue", "Cos", "Sin",
      "Tan",     "Cosecant", "Csc",     "Cosh",    "Sinh",    "Tanh",     "Cot",     "Cotan",    "CotH",
      "CscH",    "Div",      "Exp",     "Floor",   "Frac",    "Hypot",    "InRange", "Int",      "Ln",
      "Log10",   "Log2",     "LogN",    "Max",     "Min",     "Mod",      "Neg",     "Order",    "Pi",
      "Random",  "Round",    "Trunc",   "Sec",     "Secant",  "SecH",     "Sqr",     "Sqrt"};
  ASSERT_EQ(expected.size(), 53u);
  EXPECT_EQ(BatchNames(fbMath), expected);
}

TEST(MathConversionRegistry, ConversionInRegistrationOrder) {
  const std::vector<std::string> expected = {"FloatToStr", "FormatFloat", "IntToHex", "IntToStr",
                                             "StrToFloat", "ToBool",      "ToChar",   "ToInt",
                                             "ToReal",     "ToStr",       "ToTime"};
  EXPECT_EQ(BatchNames(fbConversion), expected);
}

TEST(MathConversionRegistry, SynonymsShareTheirClass) {
  TFunctionList list;
  RegisterBaseFunctions(list);
  EXPECT_EQ(list.GetFuncClass("Cot"), list.GetFuncClass("Cotan"));
  EXPECT_EQ(list.GetFuncClass("Csc"), list.GetFuncClass("Cosecant"));
  EXPECT_EQ(list.GetFuncClass("Sec"), list.GetFuncClass("Secant"));
  EXPECT_NE(list.GetFuncClass("Sec"), list.GetFuncClass("SecH"));
  // The Div function is not the division operator's node.
  ASSERT_NE(list.GetFuncClass("Div"), nullptr);
  EXPECT_STRNE(list.GetFuncClass("Div")->Name, "TExp_Div");
  // Every class can be found again by name (object streams).
  for (TFunctionBatch b : {fbMath, fbConversion})
    for (const TFunctionDef& f : FunctionBatch(b)) EXPECT_EQ(FindClass(f.Class->Name), f.Class) << f.Name;
}

class MathConversionFunctions : public ::testing::Test {
protected:
  void SetUp() override { kvtest::ResetThreadWithVariables(); }

  // Evaluates `e` with the next stamp and answers its text form.
  static std::string Next(TExpression& e) {
    e.Evaluate(NextStamp(e.SyncFlag));
    return e.GetString();
  }
};

TEST_F(MathConversionFunctions, OrderCountsEvaluationsWithNewStamps) {
  auto e = kvtest::MustTranslate("Order(0)");
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(e->ClassName(), "TExp_Order");  // never folded into a constant
  e->Evaluate(1);
  EXPECT_EQ(e->GetInteger(), 1);
  e->Evaluate(2);
  EXPECT_EQ(e->GetInteger(), 2);
  e->Evaluate(3);
  EXPECT_EQ(e->GetInteger(), 3);
  e->Evaluate(3);  // the same stamp again: no count
  EXPECT_EQ(e->GetInteger(), 3);
  // A copy carries on from the count it was made at.
  std::unique_ptr<TExpression> copy = e->CopySelf();
  EXPECT_EQ(Next(*copy), "4");
  EXPECT_EQ(Next(*e), "4");

  auto real = kvtest::MustTranslate("Order(2.5)");
  EXPECT_EQ(Next(*real), "1");
  EXPECT_EQ(Next(*real), "2");
  EXPECT_EQ(real->DataType, etReal);

  // Inside a larger tree the counter keeps the tree from being folded.
  auto sum = kvtest::MustTranslate("Order(i) * 10");
  EXPECT_EQ(Next(*sum), "10");
  EXPECT_EQ(Next(*sum), "20");
  EXPECT_EQ(Next(*sum), "30");
}

TEST_F(MathConversionFunctions, RandomIsRepeatableFromASeed) {
  auto e = kvtest::MustTranslate("Random(100)");
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(e->ClassName(), "TExp_Random");
  // The draws follow seed := seed * 134775813 + 1, value := (seed * N) >> 32.
  uint32_t seed = 20240607u;
  SetRandomSeed(seed);
  for (int k = 0; k < 20; ++k) {
    seed = seed * 134775813u + 1u;
    const int64_t expected = static_cast<int64_t>((uint64_t{seed} * 100u) >> 32);
    e->Evaluate(NextStamp(e->SyncFlag));
    EXPECT_EQ(e->GetInteger(), expected) << "draw " << k;
  }
  SetRandomSeed(7);
  std::vector<int64_t> first;
  for (int k = 0; k < 10; ++k) first.push_back(RandomBelow(1000));
  SetRandomSeed(7);
  for (int k = 0; k < 10; ++k) EXPECT_EQ(RandomBelow(1000), first[static_cast<size_t>(k)]);
}

TEST_F(MathConversionFunctions, RandomStaysInRange) {
  SetRandomSeed(1);
  auto e = kvtest::MustTranslate("Random(10)");
  std::set<int64_t> seen;
  for (int k = 0; k < 2000; ++k) {
    e->Evaluate(NextStamp(e->SyncFlag));
    const int64_t v = e->GetInteger();
    ASSERT_GE(v, 0);
    ASSERT_LE(v, 9);
    seen.insert(v);
  }
  EXPECT_EQ(seen.size(), 10u);
  for (int64_t n : {int64_t{1}, int64_t{2}, int64_t{4294967296}, int64_t{4294967297}, INT64_MAX}) {
    for (int k = 0; k < 200; ++k) {
      const int64_t v = RandomBelow(n);
      ASSERT_GE(v, 0) << n;
      ASSERT_LT(v, n) << n;
    }
  }
  EXPECT_EQ(RandomBelow(0), 0);
  EXPECT_EQ(RandomBelow(-3), 0);
  EXPECT_EQ(RandomBelow(INT64_MIN), 0);
}

TEST_F(MathConversionFunctions, ConstantCallsAreFolded) {
  for (const char* text : {"Pi()", "Sqrt(16)", "InRange(5, 1, 10)", "FormatFloat('#0.0', 2)", "IntToHex(255, 4)"}) {
    auto e = kvtest::MustTranslate(text);
    ASSERT_NE(e, nullptr) << text;
    EXPECT_STREQ(e->ClassName(), "TExpression") << text;
  }
  auto v = kvtest::MustTranslate("Sqrt(i)");
  EXPECT_STRNE(v->ClassName(), "TExpression");
}

TEST_F(MathConversionFunctions, InRangeKeepsItsComparisonInCopies) {
  // V is an integer at translation: compared as integers, so 7.4 reads as 7.
  GetPubVarList()->SetVarExp("lo", CreateRealExp(7.4L));
  auto e = kvtest::MustTranslate("InRange(7, lo, 8)");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(Next(*e), "Yes");
  std::unique_ptr<TExpression> copy = e->CopySelf();
  EXPECT_EQ(Next(*copy), "Yes");
  // An untyped V compares as reals even when it holds an integer.
  auto r = kvtest::MustTranslate("InRange(i, lo, 8)");
  EXPECT_EQ(Next(*r), "No");
  EXPECT_EQ(Next(*r->CopySelf()), "No");
}

TEST_F(MathConversionFunctions, MaxAndMinFollowAnUntypedArgument) {
  TVarList* v = GetPubVarList();
  v->SetVarExp("a", CreateRealExp(1.5L));
  auto e = kvtest::MustTranslate("Max(a, 2)");
  EXPECT_EQ(e->DataType, etAny);
  EXPECT_EQ(Next(*e), "2");
  EXPECT_EQ(e->DataType, etReal);
  GetPubVarList()->GetVarExp("a")->PutReal(3.25L);
  EXPECT_EQ(Next(*e), "3.25");
  // A boolean A computes nothing: the node keeps what it held.
  v->SetVarExp("f", CreateBoolExp(true));
  auto m = kvtest::MustTranslate("Max(f, 2 < 1)");
  EXPECT_EQ(Next(*m), "No");
}

// Builds Name(arguments...) by hand, so arguments of any size need no text.
std::unique_ptr<TExpression> Call(const char* name, std::vector<std::unique_ptr<TExpression>> args) {
  std::unique_ptr<TFunction> f = GetTranslator()->FunctionList->CreateFunction(name);
  EXPECT_NE(f, nullptr) << name;
  if (!f) return nullptr;
  for (size_t k = 0; k < args.size(); ++k) EXPECT_TRUE(f->SetSubExp(static_cast<int>(k), std::move(args[k]))) << name;
  EXPECT_TRUE(f->TransOverOK()) << name;
  return std::unique_ptr<TExpression>(f.release());
}

std::unique_ptr<TExpression> Text(const std::string& s) {
  auto e = std::make_unique<TExpression>();
  e->DataType = etString;
  e->SetStrValue(s);
  return e;
}

TEST_F(MathConversionFunctions, HugePicturesAndTexts) {
  std::vector<std::unique_ptr<TExpression>> args;
  args.push_back(Text("#,##0." + std::string(10'000'000, '0')));
  args.push_back(CreateRealExp(1234.5L));
  auto f = Call("FormatFloat", std::move(args));
  ASSERT_NE(f, nullptr);
  const std::string text = Next(*f);
  EXPECT_EQ(text.size(), 6u + 10'000'000u);
  EXPECT_EQ(text.substr(0, 9), "1,234.500");

  // A failing conversion names the text, cut to a readable length.
  std::vector<std::unique_ptr<TExpression>> big;
  big.push_back(Text(std::string(5'000'000, 'x')));
  auto s = Call("StrToFloat", std::move(big));
  ASSERT_NE(s, nullptr);
  try {
    s->Evaluate(1);
    ADD_FAILURE() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'" + std::string(64, 'x') + "...' is not a valid floating point value");
  }

  // Padding requests beyond 32 digits are taken as 32.
  for (int64_t digits : {int64_t{33}, int64_t{1'000'000'000}, INT64_MAX}) {
    std::vector<std::unique_ptr<TExpression>> h;
    h.push_back(CreateIntExp(-1));
    h.push_back(CreateIntExp(digits));
    auto x = Call("IntToHex", std::move(h));
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(Next(*x), std::string(16, '0') + std::string(16, 'F')) << digits;
  }
}

// Every mathematics and conversion function with every mix of hostile
// arguments gives a value or a conversion error, never a crash or another error.
TEST_F(MathConversionFunctions, HostileArgumentsGiveDefinedResults) {
  TVarList* v = GetPubVarList();
  const long double inf = std::numeric_limits<long double>::infinity();
  std::vector<std::unique_ptr<TExpression>> values;
  values.push_back(CreateRealExp(std::numeric_limits<long double>::quiet_NaN()));
  values.push_back(CreateRealExp(inf));
  values.push_back(CreateRealExp(-inf));
  values.push_back(CreateRealExp(0.0L));
  values.push_back(CreateRealExp(-0.0L));
  values.push_back(CreateRealExp(-1.0L));
  values.push_back(CreateRealExp(std::numeric_limits<long double>::max()));
  values.push_back(CreateRealExp(std::numeric_limits<long double>::denorm_min()));
  values.push_back(CreateIntExp(INT64_MIN));
  values.push_back(CreateIntExp(INT64_MAX));
  values.push_back(CreateIntExp(-1));
  values.push_back(CreateIntExp(0));
  values.push_back(CreateDateTimeExp(-1E300));
  values.push_back(Text(std::string(300, '9')));
  values.push_back(Text(";;;'\"E+0"));
  values.push_back(CreateBoolExp(true));
  for (TFunctionBatch batch : {fbMath, fbConversion}) {
    for (const TFunctionDef& def : FunctionBatch(batch)) {
      std::unique_ptr<TFunction> probe = GetTranslator()->FunctionList->CreateFunction(def.Name);
      ASSERT_NE(probe, nullptr);
      const int arity = probe->FixedParamCount();
      std::string text = std::string(def.Name) + "(";
      for (int k = 0; k < arity; ++k) text += (k ? ", v" : "v") + std::to_string(k);
      text += ")";
      for (int k = 0; k < arity; ++k) v->SetVarExp("v" + std::to_string(k), CreateIntExp(0));
      // Untyped arguments (variables) are refused where exact types are asked for.
      std::unique_ptr<TExpression> e = TranslateExp(text);
      if (!e) continue;
      const size_t n = values.size();
      size_t combinations = 1;
      for (int k = 0; k < arity; ++k) combinations *= n;
      for (size_t c = 0; c < combinations; ++c) {
        size_t rest = c;
        for (int k = 0; k < arity; ++k) {
          v->SetVarExp("v" + std::to_string(k), values[rest % n]->CopySelf());
          rest /= n;
        }
        try {
          e->Evaluate(NextStamp(e->SyncFlag));
          // (Date-times beyond the calendar have no text; that is the formatter's affair.)
          if (e->DataType != etDateTime) (void)e->GetString();
        } catch (const EConvertError&) {
          // StrToFloat and ToTime refuse texts that are no number or date.
        }
      }
    }
  }
  // The functions that take exact types only, called by hand.
  const char* pictures[] = {"", ";", "#,##0.00;(#,##0.00);'zero'", "0.0E+0000", "'", "E+E-e+e-", ";;;;", "0000000000000000000000000"};
  for (const char* picture : pictures) {
    for (const auto& value : values) {
      if (value->DataType == etString || value->DataType == etBoolean) continue;
      std::vector<std::unique_ptr<TExpression>> args;
      args.push_back(Text(picture));
      args.push_back(value->CopySelf());
      auto f = Call("FormatFloat", std::move(args));
      ASSERT_NE(f, nullptr);
      EXPECT_NO_THROW((void)Next(*f)) << picture;
    }
  }
  for (int64_t x : {INT64_MIN, int64_t{-1}, int64_t{0}, INT64_MAX}) {
    for (int64_t digits : {INT64_MIN, int64_t{-1}, int64_t{0}, int64_t{16}, int64_t{17}, INT64_MAX}) {
      std::vector<std::unique_ptr<TExpression>> args;
      args.push_back(CreateIntExp(x));
      args.push_back(CreateIntExp(digits));
      auto f = Call("IntToHex", std::move(args));
      ASSERT_NE(f, nullptr);
      const std::string hex = Next(*f);
      EXPECT_GE(hex.size(), 1u);
      EXPECT_LE(hex.size(), 32u);
    }
    std::vector<std::unique_ptr<TExpression>> args;
    args.push_back(CreateIntExp(x));
    auto f = Call("IntToStr", std::move(args));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(Next(*f), std::to_string(x));
  }
}

}  // namespace
}  // namespace kv
