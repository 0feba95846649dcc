// Hostile texts: deep nesting, long chains, huge texts, long literals and
// random bytes give a clear result or error, never a crash.
#include <gtest/gtest.h>

#include <pthread.h>

#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <thread>

#include "ExpTestUtil.h"
#include "expression/Translator.h"
#include "foundation/Exceptions.h"

namespace kv {
namespace {

class Robustness : public ::testing::Test {
protected:
  void SetUp() override { kvtest::ResetThreadWithVariables(); }
};

std::string Repeat(std::string_view s, int n) {
  std::string r;
  r.reserve(s.size() * static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) r += s;
  return r;
}

TEST_F(Robustness, HundredThousandNestedBrackets) {
  const std::string text = Repeat("(", 100000) + "1" + Repeat(")", 100000);
  EXPECT_EQ(TranslateExp(text), nullptr);
  EXPECT_EQ(GetTranslateStatus(), trTooComplex);
  EXPECT_EQ(GetExpErrorPos(), kMaxExpNesting);  // at the bracket one level too deep
}

TEST_F(Robustness, NestingUpToTheLimitWorks) {
  const int n = kMaxExpNesting - 1;
  EXPECT_EQ(kvtest::Eval(Repeat("(", n) + "i + 1" + Repeat(")", n)), "etInteger 8");
  EXPECT_EQ(kvtest::Eval(Repeat("Abs(", n - 1) + "n" + Repeat(")", n - 1)), "etReal 5");
}

TEST_F(Robustness, HundredThousandNestedCalls) {
  const std::string text = Repeat("Neg(", 100000) + "1" + Repeat(")", 100000);
  EXPECT_EQ(TranslateExp(text), nullptr);
  EXPECT_EQ(GetTranslateStatus(), trTooComplex);
  EXPECT_EQ(GetExpErrorPos(), 4 * (kMaxExpNesting - 1) + 1);  // at the name of the call one level too deep
}

TEST_F(Robustness, UnbalancedDeepBrackets) {
  EXPECT_EQ(kvtest::Eval(Repeat("(", 100000)), "ERROR trBrktNotMatch 1");
  EXPECT_EQ(kvtest::Eval(Repeat(")", 100000)), "ERROR trInvalidOpData 1");
}

TEST_F(Robustness, LongChainsAreLimited) {
  // x + x + ... is a left-deep tree as deep as the chain is long.
  const int ok = kMaxExpDepth - 10;
  std::string text = "i";
  for (int k = 1; k < ok; ++k) text += "+i";
  auto e = kvtest::MustTranslate(text);
  ASSERT_NE(e, nullptr);
  e->Evaluate(NextStamp(e->SyncFlag));
  EXPECT_EQ(e->GetInteger(), 7LL * ok);
  std::unique_ptr<TExpression> copy = e->CopySelf();
  e.reset();
  copy.reset();

  text = "i" + Repeat("+i", 100000);
  EXPECT_EQ(TranslateExp(text), nullptr);
  EXPECT_EQ(GetTranslateStatus(), trTooComplex);
}

TEST_F(Robustness, DeepTreesEvaluateOnAnotherThread) {
  std::string text = "i";
  for (int k = 1; k < kMaxExpDepth - 10; ++k) text += k % 2 ? "*1" : "-0";
  int64_t result = 0;
  std::thread worker([&] {
    kvtest::ResetThreadWithVariables();
    auto e = kvtest::MustTranslate(text);
    if (e) {
      e->Evaluate(NextStamp(e->SyncFlag));
      result = e->GetInteger();
    }
  });
  worker.join();
  EXPECT_EQ(result, 7);
}

// Runs `fn` on a thread with a stack of `bytes`.
template <class Fn>
void OnSmallStack(size_t bytes, Fn fn) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, bytes);
  pthread_t thread;
  auto trampoline = [](void* arg) -> void* {
    (*static_cast<Fn*>(arg))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, trampoline, &fn), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
}

TEST_F(Robustness, TheLimitsFitAWorkerThreadsStack) {
  // The deepest nesting and the deepest tree the translator accepts, on a
  // thread with a 2 MB stack (a quarter of the default).
  std::string nested = Repeat("Abs(", kMaxExpNesting - 2) + "n" + Repeat(")", kMaxExpNesting - 2);
  std::string chain = "i";
  for (int k = 1; k < kMaxExpDepth - 10; ++k) chain += "+i";
  std::string results;
  OnSmallStack(2u << 20, [&] {
    kvtest::ResetThreadWithVariables();
    for (const std::string* text : {&nested, &chain}) {
      std::unique_ptr<TExpression> e;
      if (!CalculateExp(*text, e) || !e) {
        results += "failed ";
        continue;
      }
      std::unique_ptr<TExpression> copy = e->CopySelf();
      copy->Evaluate(NextStamp(copy->SyncFlag));
      results += copy->GetString() + " ";
    }
  });
  EXPECT_EQ(results, "5 " + std::to_string(7 * (kMaxExpDepth - 10)) + " ");
}

TEST_F(Robustness, TenMegabyteTexts) {
  const size_t size = 10u << 20;
  const auto start = std::chrono::steady_clock::now();

  // A flat sum of constants: too deep long before the end.
  std::string sum = "1";
  while (sum.size() < size) sum += "+1";
  EXPECT_EQ(TranslateExp(sum), nullptr);
  EXPECT_EQ(GetTranslateStatus(), trTooComplex);

  // A balanced tree of variable references: too many nodes.
  std::string balanced = "i";
  while (balanced.size() < size) balanced = "(" + balanced + "+" + balanced + ")";
  EXPECT_EQ(TranslateExp(balanced), nullptr);
  EXPECT_EQ(GetTranslateStatus(), trTooComplex);

  // One long text literal is just a value.
  std::string literal = "'" + std::string(size, 'x') + "'";
  auto e = kvtest::MustTranslate(literal);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->GetString().size(), size);

  // A long comment is skipped.
  EXPECT_EQ(kvtest::Eval("{" + std::string(size, 'c') + "} 42"), "etInteger 42");

  // Blanks only.
  EXPECT_EQ(kvtest::Eval(std::string(size, ' ')), "ERROR trNeedOpData " + std::to_string(size + 1));

  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 60.0);
}

TEST_F(Robustness, LongNumbers) {
  EXPECT_EQ(kvtest::Eval("1234567890123456789012345678901234567890"), "ERROR trInvalidOpData 1");
  EXPECT_EQ(kvtest::Eval("i + 99999999999999999999"), "ERROR trInvalidOpData 5");
  EXPECT_EQ(kvtest::Eval("-9223372036854775809"), "ERROR trInvalidOpData 1");
  EXPECT_EQ(kvtest::Eval("1" + std::string(5000, '0') + ".5"), "etReal INF");
  EXPECT_EQ(kvtest::Eval("0." + std::string(5000, '0') + "1"), "etReal 0");
  EXPECT_EQ(kvtest::Eval("1e999999999999"), "etReal INF");
}

TEST_F(Robustness, RandomBytes) {
  std::mt19937 rng(20240601);
  const std::string alphabet = "0123456789abcxyzAND OR()[]{}'\"#^$@!.,:=<>+-*/&|iwsdbrn\t\n\x80\x81\xE4\xFF";
  int translated = 0, failed = 0, raised = 0;
  for (int round = 0; round < 20000; ++round) {
    const int len = static_cast<int>(rng() % 64);
    std::string text;
    for (int k = 0; k < len; ++k) {
      if (rng() % 8 == 0)
        text += static_cast<char>(rng() % 256);
      else
        text += alphabet[rng() % alphabet.size()];
    }
    try {
      std::unique_ptr<TExpression> e;
      if (CalculateExp(text, e)) {
        ++translated;
        if (e) (void)e->GetString();
      } else {
        ++failed;
        EXPECT_NE(GetTranslateStatus(), trOK);
        EXPECT_FALSE(GetExpErrorMsg().empty());
      }
    } catch (const Exception&) {
      ++raised;
    }
  }
  EXPECT_GT(translated, 0);
  EXPECT_GT(failed, 0);
  SUCCEED() << translated << " translated, " << failed << " failed, " << raised << " raised";
}

}  // namespace
}  // namespace kv
