// Every thread that prepares a link gets a translator of its own.
#include <gtest/gtest.h>

#include <latch>
#include <thread>

#include "data/TextDataSet.h"
#include "data/TextFileDataset.h"
#include "expression/ThreadExp.h"
#include "jobs/Job.h"

using namespace kv;

TEST(DBLinkThreads, EachThreadGetsItsOwnTranslatorOnItsLinksSource) {
  TJob job;
  TKVTextDataSet sources[2];
  TDBLink links[2];
  TExpTranslator* seen[2] = {nullptr, nullptr};
  TVarList* lists[2] = {nullptr, nullptr};
  for (int i = 0; i < 2; ++i) {
    sources[i].Name = "S" + std::to_string(i);
    links[i].SetSourceDataSet(&sources[i]);
    links[i].Job = &job;
  }
  // Both translators live until both threads have looked at theirs, so
  // their addresses cannot be reused in between.
  std::latch looked(2);
  std::thread workers[2];
  for (int i = 0; i < 2; ++i) {
    workers[i] = std::thread([&, i] {
      links[i].SetAllVarList();
      seen[i] = GetTranslator();
      lists[i] = seen[i] ? seen[i]->VarList : nullptr;
      looked.arrive_and_wait();
    });
  }
  for (auto& t : workers) t.join();
  ASSERT_NE(seen[0], nullptr);
  ASSERT_NE(seen[1], nullptr);
  EXPECT_NE(seen[0], seen[1]);
  EXPECT_EQ(lists[0], sources[0].GetVarList());
  EXPECT_EQ(lists[1], sources[1].GetVarList());
  EXPECT_EQ(links[0].VarList().VarListParent(), job.VarList.get());
}
