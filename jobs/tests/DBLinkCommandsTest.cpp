// The DB link's commands on its thread: single steps, pause and run, stop,
// the debug limits, and a link that goes while its thread is paused.
#include <gtest/gtest.h>

#include <chrono>

#include "environment/CoreMessages.h"
#include "foundation/Format.h"
#include "foundation/MainThread.h"
#include "jobs/tests/RunFixture.h"
#include "testsupport/RecordingUI.h"

using namespace kv;
using kvtest::OrdersCsv;
using kvtest::RunFixture;

namespace {

constexpr std::chrono::seconds kPatience{30};

// Pumps until the link's thread is parked after `rows` records.
bool ParkedAfter(RunFixture& f, int rows) {
  return PumpMainThreadUntil(
      [&] {
        TDBLinkThread* t = f.link->Thread();
        return t && t->Parked() && f.link->Counters().Statistic.Rows == rows;
      },
      kPatience);
}

}  // namespace

TEST(DBLinkCommands, EachStepLetsExactlyOneRecordThroughAndRunFinishes) {
  RunFixture f;
  f.WriteSource(OrdersCsv(5));
  f.CreateTable();
  f.link->Step();
  for (int n = 1; n <= 3; ++n) {
    ASSERT_TRUE(ParkedAfter(f, n)) << "step " << n;
    EXPECT_EQ(f.link->Status(), jsPause);
    EXPECT_EQ(f.link->Counters().Statistic.Inserted, n);
    if (n < 3) f.link->Step();
  }
  f.link->Run();
  f.link->WaitFor();
  EXPECT_EQ(f.link->Status(), jsOk);
  EXPECT_EQ(f.link->Counters().Statistic.Inserted, 5);
  EXPECT_EQ(f.Query("SELECT count(DISTINCT ID) FROM t"), std::vector<std::string>{"5"});
  EXPECT_EQ(f.link->Thread(), nullptr) << "DoTerminate let the thread go";
}

TEST(DBLinkCommands, PauseThenRunContinuesWithTheNextRecord) {
  RunFixture f;
  f.WriteSource(OrdersCsv(6));
  f.CreateTable();
  f.link->OnStatus = [&](TDBLink& link, TJobStatus status) {
    if (status == jsRunning && link.Counters().Statistic.Rows == 0) link.Pause();
  };
  f.link->Run();
  ASSERT_TRUE(ParkedAfter(f, 1));
  EXPECT_EQ(f.link->Status(), jsPause);
  EXPECT_TRUE(f.link->IsStop()) << "a paused link counts as stopped";
  f.link->OnStatus = nullptr;
  f.link->Run();
  f.link->WaitFor();
  EXPECT_EQ(f.link->Status(), jsOk);
  EXPECT_EQ(f.link->Counters().Statistic.Rows, 6);
  EXPECT_EQ(f.Query("SELECT group_concat(ID) FROM t"), std::vector<std::string>{"1,2,3,4,5,6"});
}

TEST(DBLinkCommands, StopOnAPausedLinkChangesNothing) {
  RunFixture f;
  f.WriteSource(OrdersCsv(4));
  f.CreateTable();
  f.link->Step();
  ASSERT_TRUE(ParkedAfter(f, 1));
  f.link->Stop();
  EXPECT_EQ(f.link->Status(), jsPause);
  EXPECT_FALSE(f.link->Thread()->Terminated());
  f.link->Step();
  ASSERT_TRUE(ParkedAfter(f, 2)) << "the paused link still steps";
  f.link->Run();
  f.link->WaitFor();
  EXPECT_EQ(f.link->Status(), jsOk);
  EXPECT_EQ(f.Count(), 4);
}

TEST(DBLinkCommands, StopOfARunningLinkEndsItBeforeTheNextRecord) {
  RunFixture f;
  f.WriteSource(OrdersCsv(8));
  f.CreateTable();
  f.link->OnStatus = [&](TDBLink& link, TJobStatus status) {
    if (status == jsRunning) link.Stop();
  };
  f.link->Run();
  f.link->WaitFor();
  EXPECT_EQ(f.link->Status(), jsStop);
  EXPECT_EQ(f.link->Counters().Statistic.Rows, 1);
  EXPECT_EQ(f.Count(), 0) << "a record told to end before its write is not written";
}

TEST(DBLinkCommands, DebugLimitsActAfterTheRecordOnceStarted) {
  {
    RunFixture f;
    f.WriteSource(OrdersCsv(8));
    f.CreateTable();
    f.link->DebugMode().PauseOption = poPauseAfterRows;
    f.link->DebugMode().PauseAfterRows = 3;
    f.link->DebugGo();
    ASSERT_TRUE(ParkedAfter(f, 3));
    EXPECT_EQ(f.link->Status(), jsPause);
    f.link->DebugGo();
    ASSERT_TRUE(ParkedAfter(f, 6));
    f.link->Run();
    f.link->WaitFor();
    EXPECT_EQ(f.link->Status(), jsOk);
    EXPECT_EQ(f.Count(), 8);
  }
  {
    RunFixture f;
    f.WriteSource(OrdersCsv(8));
    f.CreateTable();
    f.link->DebugMode().StopOption = soStopAfterRows;
    f.link->DebugMode().StopAfterRows = 4;
    f.link->DebugGo();
    f.link->WaitFor();
    EXPECT_EQ(f.link->Status(), jsStop);
    EXPECT_EQ(f.link->Counters().Statistic.Rows, 4);
    EXPECT_EQ(f.Count(), 4);
  }
}

TEST(DBLinkCommands, ZeroPauseAndWarningRowsMeanNever) {
  RunFixture f;
  f.WriteSource(OrdersCsv(5));
  f.CreateTable();
  kvtest::TRecordingUI ui;
  kvtest::UIScope scope(&ui);
  f.link->DebugMode().PauseOption = poPauseAfterRows;
  f.link->DebugMode().WarningOption = woWarningEverRows;
  f.link->DebugGo();
  f.link->WaitFor();
  EXPECT_EQ(f.link->Status(), jsOk);
  EXPECT_TRUE(ui.messages.empty());
}

TEST(DBLinkCommands, WarningEveryRowsAsksInTheMainThread) {
  RunFixture f;
  f.WriteSource(OrdersCsv(5));
  f.CreateTable();
  kvtest::TRecordingUI ui;
  kvtest::UIScope scope(&ui);
  f.link->DebugMode().WarningOption = woWarningEverRows;
  f.link->DebugMode().WarningAfterRows = 2;
  f.link->DebugGo();
  f.link->WaitFor();
  EXPECT_EQ(ui.messages, (std::vector<std::string>{Format(SSourceDataSetAlreadyBrowseRows.c_str(), 2),
                                                   Format(SSourceDataSetAlreadyBrowseRows.c_str(), 4)}));
  EXPECT_EQ(ui.types.at(0), mtWarning);
}

TEST(DBLinkCommands, HandlerAbortModesPauseAndStopTheRun) {
  RunFixture f;
  f.WriteSource(OrdersCsv(6, {2, 4}));
  f.CreateTable();
  auto headless = f.link->OnError;
  f.link->OnError = [&](TDBLink& l, const std::string& e, TDataSet* d, TAbortMode& abort) {
    headless(l, e, d, abort);
    abort = l.Statistic.Rows < 4 ? amPause : amStop;  // the run waits meanwhile: its own counters are safe to read
  };
  f.link->Run();
  ASSERT_TRUE(ParkedAfter(f, 2));
  EXPECT_EQ(f.link->Status(), jsPause);
  f.link->Run();
  f.link->WaitFor();
  EXPECT_EQ(f.link->Status(), jsStop);
  EXPECT_EQ(f.link->Counters().Statistic.Rows, 4);
  EXPECT_EQ(f.link->Counters().Statistic.Errors, 2);
}

TEST(DBLinkCommands, ALinkThatGoesWhileItsThreadIsPausedEndsTheThread) {
  RunFixture f;
  f.WriteSource(OrdersCsv(5));
  f.CreateTable();
  f.link->Step();
  ASSERT_TRUE(ParkedAfter(f, 1));
  f.link.reset();
  EXPECT_EQ(f.Count(), 1);
}

TEST(DBLinkCommands, ErrorDataIsSavedWhenTheThreadEnds) {
  RunFixture f;
  f.WriteSource(OrdersCsv(6, {1}));
  f.CreateTable();
  f.link->StopExp = "S.ID = '3'";
  f.RunLink();
  EXPECT_EQ(f.link->Status(), jsStop);
  TKVMemDataSet saved;
  saved.LoadFromFile(f.ErrFile());
  EXPECT_EQ(saved.RecordCount(), 1);
}

TEST(DBLinkCommands, ARunFailingBeforeOpeningKeepsTheSavedErrorRecords) {
  RunFixture f;
  f.WriteSource(OrdersCsv(3, {2}));
  f.CreateTable();
  f.RunLink();
  ASSERT_EQ(f.ErrorIds(), std::vector<std::string>{"2"});
  TDBLink fresh;  // a new link of the same job and name: its error data was never prepared
  fresh.Name = "L";
  fresh.Job = &f.job;
  fresh.SetSourceDataSet(&f.source);
  fresh.SetDestDataSet(&f.dest);
  fresh.Run();
  fresh.WaitFor();
  EXPECT_EQ(fresh.Status(), jsError) << "no mapping";
  TKVMemDataSet saved;
  saved.LoadFromFile(f.ErrFile());
  EXPECT_EQ(saved.RecordCount(), 1);
}
