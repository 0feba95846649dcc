// Dataset handles from several threads at once: each thread registers and
// drops cursors and reads its own fields while the others do the same.
// Handles stay unique and every read sees its own thread's dataset.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "FakeCursor.h"
#include "expression/DBVarList.h"
#include "expression/ThreadExp.h"

namespace kv {
namespace {

constexpr int kThreads = 4;
constexpr int kRounds = 200;

// One thread's work: cursors whose ID is the thread number, read through a
// field variable and FieldValue; the handles it was given, or a failure text.
void Work(int thread, std::vector<int64_t>& handles, std::string& failure) {
  CreatePubVarList();
  RegisterDBFunctions();
  std::unique_ptr<TDBVarList> list = CreateDBVarList(GetPubVarList());
  SetVarList(list.get());
  const std::string id = std::to_string(thread);
  for (int round = 0; round < kRounds && failure.empty(); ++round) {
    kvtest::TFakeCursor cursor(kvtest::OrderFields(), {{id, "1.5"}, {id, "2.5"}});
    handles.push_back(cursor.Handle());
    list->Clear();
    list->DefineFields(cursor.Handle(), "T");
    std::unique_ptr<TExpression> e = TranslateExp("T.ID * 10 + FieldValue(T, 'ID')");
    if (!e) {
      failure = GetExpErrorMsg();
      break;
    }
    e->Evaluate(1);
    if (e->GetInteger() != thread * 11) failure = "read " + e->GetString() + " in thread " + id;
  }
  list->Clear();
  SetVarList(GetPubVarList());
}

TEST(DBHandles, UniqueAcrossThreads) {
  std::vector<std::vector<int64_t>> handles(kThreads);
  std::vector<std::string> failures(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(Work, t + 1, std::ref(handles[t]), std::ref(failures[t]));
  for (std::thread& t : threads) t.join();
  std::vector<int64_t> all;
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(failures[t], "");
    EXPECT_EQ(handles[t].size(), static_cast<size_t>(kRounds));
    all.insert(all.end(), handles[t].begin(), handles[t].end());
  }
  std::sort(all.begin(), all.end());
  EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
  EXPECT_EQ(std::count(all.begin(), all.end(), 0), 0);
  // Every one of them is stale now.
  for (int64_t h : all) EXPECT_EQ(FindDBCursor(h), nullptr);
}

}  // namespace
}  // namespace kv
