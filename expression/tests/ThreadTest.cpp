// Every thread has its own translator and public variable list; threads
// translate and evaluate at the same time without sharing anything.
#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "expression/FunctionList.h"
#include "expression/ThreadExp.h"

namespace kv {
namespace {

TEST(ExpressionThreads, EachThreadHasItsOwnTranslatorAndVariables) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 300;
  std::vector<TExpTranslator*> translators(kThreads, nullptr);
  std::atomic<int> failures{0};
  std::barrier allMade(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &translators, &failures, &allMade] {
      EXPECT_EQ(GetTranslator(), nullptr);
      CreatePubVarList();
      translators[static_cast<size_t>(t)] = GetTranslator();
      // Every thread's first translator is alive at this point, so their
      // addresses can be compared afterwards.
      allMade.arrive_and_wait();
      GetPubVarList()->SetVarExp("id", CreateIntExp(t));
      std::unique_ptr<TExpression> total;
      if (!CalculateExp("total := 0", total)) ++failures;
      auto step = TranslateExp("total := total + id + Abs(Neg(1))");
      auto text = TranslateExp("'thread ' + id : '%s!'");
      if (!step || !text) {
        ++failures;
        return;
      }
      for (int r = 0; r < kRounds; ++r) {
        step->Evaluate(NextStamp(step->SyncFlag));
        // Translating while other threads do the same.
        std::unique_ptr<TExpression> check;
        if (!CheckCondition("id = " + std::to_string(t) + " AND Iif(total > 0, YES, NO)", check)) ++failures;
      }
      if (step->GetInteger() != int64_t{kRounds} * (t + 1)) ++failures;
      text->Evaluate(NextStamp(text->SyncFlag));
      if (text->GetString() != "thread " + std::to_string(t) + "!") ++failures;
      // A translator handed back by SetTranslator is freed when dropped.
      auto mine = std::make_unique<TExpTranslator>();
      RegisterBaseFunctions(*mine->FunctionList);
      SetTranslator(std::move(mine));
      std::unique_ptr<TExpression> e;
      if (!CalculateExp("Abs(id - 100)", e) || e->GetInteger() != 100 - t) ++failures;
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
  for (int a = 0; a < kThreads; ++a)
    for (int b = a + 1; b < kThreads; ++b) EXPECT_NE(translators[static_cast<size_t>(a)], translators[static_cast<size_t>(b)]);
}

TEST(ExpressionThreads, ListChangesInOneThreadDoNotDisturbAnother) {
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0};
  std::thread churn([&] {
    CreatePubVarList();
    int n = 0;
    while (!stop.load()) {
      GetPubVarList()->SetVarExp("tmp" + std::to_string(n % 50), CreateIntExp(n));
      GetPubVarList()->SetVarExp("tmp" + std::to_string((n + 25) % 50), nullptr);
      ++n;
    }
  });
  std::thread reader([&] {
    CreatePubVarList();
    GetPubVarList()->SetVarExp("v", CreateIntExp(41));
    auto e = TranslateExp("v + 1");
    for (int r = 0; r < 20000; ++r) {
      e->Evaluate(NextStamp(e->SyncFlag));
      if (e->GetInteger() != 42) ++wrong;
    }
  });
  reader.join();
  stop = true;
  churn.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace kv
