// Jobs and the job group running: the run slots and the queue, the status
// a job takes from its links, pause, step and stop through the job, the
// error-data re-run, the group's prompts, the file lock and the tickers.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "environment/CoreMessages.h"
#include "environment/Environment.h"
#include "foundation/FileLock.h"
#include "foundation/MainThread.h"
#include "jobs/tests/JobRunFixture.h"
#include "testsupport/RecordingUI.h"

using namespace kv;
using kvtest::JobsFixture;
using kvtest::kJobPatience;

namespace {

// Settings with `maxJobs` run slots and both prompts as given, in force while it lives.
class EnvScope {
public:
  explicit EnvScope(int maxJobs, bool prompts = false) : old_(GlobalEnv) {
    env_.MaxRunJobs = static_cast<uint8_t>(maxJobs);
    env_.Prompting->StopPrompt = prompts;
    env_.Prompting->PausePrompt = prompts;
    GlobalEnv = &env_;
  }
  ~EnvScope() { GlobalEnv = old_; }
  TKVEnvironment env_;

private:
  TKVEnvironment* old_;
};

// Answers every question No, recording it.
class AnswerNo : public kvtest::TRecordingUI {
public:
  int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons b, int d) override {
    TRecordingUI::MessageDlg(text, type, b, d);
    return mrNo;
  }
};

std::string StatusText(TJobStatus s) {
  static const char* const kNames[] = {"stop", "pause", "start", "waiting", "running", "ok", "error"};
  return kNames[s];
}

bool LinkParkedAfter(TDBLink& link, int rows) {
  return PumpMainThreadUntil(
      [&] { return link.Thread() && link.Thread()->Parked() && link.Counters().Statistic.Rows == rows; },
      kJobPatience);
}

}  // namespace

TEST(JobRun, MaxRunJobsTwoRunsTwoAndQueuesTheThirdUntilASlotFrees) {
  EnvScope env(2);
  JobsFixture f;
  std::vector<std::string> events;
  int most = 0;
  for (const char* name : {"A", "B", "C"}) {
    TJob& job = f.AddJob(name, 1, 20);
    job.Selected = true;
    job.OnStatus = [&](TJob& j, TJobStatus s) {
      events.push_back(j.Name + ":" + StatusText(s));
      most = std::max(most, JobGroup->GetRunningCount());
    };
  }
  JobGroup->Run();
  EXPECT_EQ(JobGroup->GetObj(0)->Status(), jsRunning);
  EXPECT_EQ(JobGroup->GetObj(1)->Status(), jsRunning);
  EXPECT_EQ(JobGroup->GetObj(2)->Status(), jsWaiting);
  EXPECT_EQ(JobQueue->Count(), 1);
  ASSERT_TRUE(f.AllEnded());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(JobGroup->GetObj(i)->Status(), jsOk) << i;
  EXPECT_EQ(f.Count("C", 0), 20) << "the queued job ran in the end";
  EXPECT_LE(most, 2);
  const auto at = [&](const std::string& e) { return std::find(events.begin(), events.end(), e) - events.begin(); };
  EXPECT_LT(std::min(at("A:ok"), at("B:ok")), at("C:running")) << "C started only when a slot freed";
  EXPECT_EQ(JobQueue->Count(), 0);
}

TEST(JobRun, StoppingAWaitingJobTakesItOutOfTheQueue) {
  EnvScope env(1);
  JobsFixture f;
  TJob& a = f.AddJob("A", 1, 10);
  TJob& b = f.AddJob("B", 1, 10);
  a.Selected = b.Selected = true;
  JobGroup->Run();
  ASSERT_EQ(b.Status(), jsWaiting);
  b.Stop();
  EXPECT_EQ(b.Status(), jsStop);
  EXPECT_EQ(JobQueue->Count(), 0);
  ASSERT_TRUE(f.AllEnded());
  EXPECT_EQ(a.Status(), jsOk);
  EXPECT_EQ(b.Status(), jsStop) << "never started later";
  EXPECT_EQ(f.Count("B", 0), 0);
}

TEST(JobRun, AJobWithoutLinksEndsStoppedAtItsFirstCheck) {
  JobsFixture f;
  TJob& job = f.AddJob("Empty", 0, 0);
  job.CheckPeriod = std::chrono::milliseconds(1000);
  job.Run();
  EXPECT_EQ(job.Status(), jsRunning);
  ASSERT_TRUE(PumpMainThreadUntil([&] { return job.Thread() == nullptr; }, std::chrono::seconds(10)));
  EXPECT_EQ(job.Status(), jsStop);
}

TEST(JobRun, StatusFollowsTheLinksAndAnErrorIsNeverHiddenByAStop) {
  JobsFixture f;
  TJob& job = f.AddJob("J", 3, 2);
  TDBLink& l0 = *job.DBLinks->GetObj(0);
  TDBLink& l1 = *job.DBLinks->GetObj(1);
  TDBLink& l2 = *job.DBLinks->GetObj(2);
  struct Case {
    TJobStatus a, b, c, expected;
  };
  const Case cases[] = {
      {jsOk, jsOk, jsOk, jsOk},          {jsOk, jsError, jsStop, jsError}, {jsError, jsOk, jsOk, jsError},
      {jsOk, jsOk, jsStop, jsStop},      {jsStop, jsOk, jsOk, jsStop},     {jsOk, jsRunning, jsError, jsRunning},
      {jsStart, jsOk, jsOk, jsRunning}, {jsPause, jsError, jsOk, jsPause}, {jsStop, jsStop, jsStop, jsStop},
  };
  for (const Case& c : cases) {
    l0.SetStatusValue(c.a);
    l1.SetStatusValue(c.b);
    l2.SetStatusValue(c.c);
    EXPECT_EQ(job.ComputeStatus(), c.expected) << int(c.a) << int(c.b) << int(c.c);
  }
  TJob& none = f.AddJob("None", 0, 0);
  EXPECT_EQ(none.ComputeStatus(), jsStop);
}

TEST(JobRun, SeveralLinksAllLoadAndAFailingRecordMakesTheJobAnError) {
  JobsFixture f;
  TJob& job = f.AddJob("J", 3, 30);
  kvtest::WriteFile(f.Folder() + "/J_1.csv", kvtest::OrdersCsv(5, {3}));  // NAME NOT NULL refuses row 3
  std::atomic<int> after{0};
  job.OnAfterExecute = [&](TJob&) { ++after; };
  job.Run();
  ASSERT_TRUE(f.AllEnded());
  EXPECT_EQ(job.Status(), jsError);
  EXPECT_EQ(job.DBLinks->GetObj(0)->Status(), jsOk);
  EXPECT_EQ(job.DBLinks->GetObj(1)->Status(), jsError);
  EXPECT_EQ(f.Count("J", 0), 30);
  EXPECT_EQ(f.Count("J", 1), 4);
  EXPECT_EQ(f.Count("J", 2), 30);
  EXPECT_EQ(after.load(), 1) << "the after-execute handler runs once per run";
  EXPECT_TRUE(std::filesystem::exists(job.DBLinks->GetObj(1)->GetErrorDataFileName()));
}

TEST(JobRun, PauseThenRunContinuesWithTheNextRecordAndStepLetsOneThrough) {
  JobsFixture f;
  TJob& job = f.AddJob("J", 1, 6);
  TDBLink& link = *job.DBLinks->GetObj(0);
  link.OnStatus = [&](TDBLink& l, TJobStatus s) {
    if (s == jsRunning && l.Counters().Statistic.Rows == 0) job.Pause();
  };
  job.Run();
  ASSERT_TRUE(LinkParkedAfter(link, 1));
  EXPECT_EQ(job.Status(), jsPause);
  EXPECT_TRUE(job.Thread() != nullptr) << "a paused job keeps its thread";
  link.OnStatus = nullptr;
  link.Step();
  ASSERT_TRUE(LinkParkedAfter(link, 2));
  EXPECT_EQ(link.Counters().Statistic.Inserted, 2) << "the step let exactly one more record through";
  EXPECT_EQ(job.Status(), jsPause);
  job.Run();
  ASSERT_TRUE(f.AllEnded());
  EXPECT_EQ(job.Status(), jsOk);
  EXPECT_EQ(f.Ids("J", 0), "1,2,3,4,5,6");
}

TEST(JobRun, RunOfAPausedJobResumesItsPausedLinkAndNeverRerunsAnEndedOne) {
  JobsFixture f;
  TJob& job = f.AddJob("J", 2, 6);
  TDBLink& done = *job.DBLinks->GetObj(0);
  TDBLink& paused = *job.DBLinks->GetObj(1);
  paused.OnStatus = [&](TDBLink& l, TJobStatus s) {
    if (s == jsRunning && l.Counters().Statistic.Rows == 0) l.Pause();
  };
  job.Run();
  ASSERT_TRUE(LinkParkedAfter(paused, 1));
  ASSERT_TRUE(PumpMainThreadUntil([&] { return done.Status() == jsOk && !done.Thread(); }, kJobPatience));
  EXPECT_EQ(job.Status(), jsPause) << "a paused link, none running";
  paused.OnStatus = nullptr;
  job.Run();
  ASSERT_TRUE(f.AllEnded());
  EXPECT_EQ(job.Status(), jsOk);
  EXPECT_EQ(f.Ids("J", 0), "1,2,3,4,5,6") << "the ended link was not run again";
  EXPECT_EQ(f.Ids("J", 1), "1,2,3,4,5,6");
}

TEST(JobRun, StopOfAJobEndsItsPausedLinksToo) {
  JobsFixture f;
  TJob& job = f.AddJob("J", 1, 6);
  TDBLink& link = *job.DBLinks->GetObj(0);
  link.OnStatus = [&](TDBLink& l, TJobStatus s) {
    if (s == jsRunning && l.Counters().Statistic.Rows == 0) job.Pause();
  };
  job.Run();
  ASSERT_TRUE(LinkParkedAfter(link, 1));
  link.OnStatus = nullptr;
  link.Stop();
  EXPECT_EQ(link.Status(), jsPause) << "Stop on a paused link changes nothing";
  job.Stop();
  ASSERT_TRUE(f.AllEnded());
  EXPECT_EQ(job.Status(), jsStop);
  EXPECT_EQ(link.Status(), jsStop);
  EXPECT_EQ(f.Count("J", 0), 1) << "what was written stays";
  EXPECT_EQ(TFileLock::TryAcquire(job.SaveFileName) != nullptr, true) << "the lock went with the run";
}

TEST(JobRun, RunErrorDataRerunsTheSelectedJobsFromTheirCapturedRecords) {
  JobsFixture f;
  TJob& job = f.AddJob("J", 1, 5);
  TJob& other = f.AddJob("K", 1, 5);
  kvtest::WriteFile(f.Folder() + "/J_0.csv", kvtest::OrdersCsv(5, {2, 4}));
  kvtest::WriteFile(f.Folder() + "/K_0.csv", kvtest::OrdersCsv(5, {1}));
  JobGroup->RunAll();
  ASSERT_TRUE(f.AllEnded());
  ASSERT_EQ(job.Status(), jsError);
  EXPECT_EQ(f.Ids("J", 0), "1,3,5");
  // The captured records now get a name of their own.
  TPlainStringList& map = job.DBLinks->GetObj(0)->Mappings();
  map.Clear();
  map.Add("ID=ID");
  map.Add("NAME=ID");
  map.Add("BORN=BORN");
  other.Selected = false;
  JobGroup->RunErrorData();
  ASSERT_TRUE(f.AllEnded());
  EXPECT_EQ(job.Status(), jsOk) << ::testing::PrintToString(f.logs);
  EXPECT_EQ(f.Ids("J", 0), "1,3,5,2,4") << "only the captured records were read";
  EXPECT_EQ(other.DBLinks->GetObj(0)->SourceDataType(), sdtOrigin) << "a job not selected keeps its source";
}

TEST(JobRun, GroupPromptAnsweredNoPausesAndStopsNothing) {
  EnvScope env(3, true);
  JobsFixture f;
  TJob& job = f.AddJob("J", 1, 200000);
  job.Selected = true;
  AnswerNo ui;
  kvtest::UIScope scope(&ui);
  JobGroup->Run();
  ASSERT_TRUE(PumpMainThreadUntil([&] { return job.DBLinks->GetObj(0)->Status() == jsRunning; }, kJobPatience));
  JobGroup->Stop();
  JobGroup->StopAll();
  JobGroup->Pause();
  JobGroup->PauseAll();
  ASSERT_EQ(ui.messages.size(), 4u);
  EXPECT_EQ(ui.messages[0], SJobWillStopMsg.Text());
  EXPECT_EQ(ui.messages[2], SJobWillPauseMsg.Text());
  EXPECT_EQ(ui.types[0], mtWarning);
  EXPECT_TRUE(job.IsRunning());
  env.env_.Prompting->StopPrompt = false;
  JobGroup->Stop();
  EXPECT_EQ(ui.messages.size(), 4u) << "no question with the prompt off";
  ASSERT_TRUE(f.AllEnded());
  EXPECT_EQ(job.Status(), jsStop);
}

TEST(JobRun, AJobLockedElsewhereIsReportedBusyAndDoesNotRun) {
  JobsFixture f;
  TJob& job = f.AddJob("J", 1, 5);
  std::vector<std::string> logged;
  job.OnLogOccur = [&](const TKVLog& log) { logged.push_back(log.Event); };
  {
    auto held = TFileLock::TryAcquire(job.SaveFileName);
    ASSERT_NE(held, nullptr);
    job.Run();
    EXPECT_EQ(job.Status(), jsError);
    EXPECT_EQ(job.Thread(), nullptr);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("busy"), std::string::npos) << logged[0];
  }
  job.Run();
  ASSERT_TRUE(f.AllEnded());
  EXPECT_EQ(job.Status(), jsOk);
  EXPECT_EQ(f.Count("J", 0), 5);
}

TEST(JobRun, GroupStatisticAndSpeedSumTheRunningLinks) {
  JobsFixture f;
  TJob& job = f.AddJob("J", 2, 4);
  JobGroup->RunAll();
  ASSERT_TRUE(f.AllEnded());
  EXPECT_EQ(JobGroup->GetStatistic().Rows, 0) << "nothing runs any more";
  int ticks = 0;
  JobGroup->OnTimer = [&](TObject&) { ++ticks; };
  JobGroup->Tick();
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(JobGroup->Speed.Import, 0);
  EXPECT_EQ(job.DBLinks->GetObj(0)->Counters().Statistic.Inserted, 4);
}

TEST(JobRun, TickersCallTheirHandlersInTheMainThreadUntilStopped) {
  JobsFixture f;
  std::atomic<int> group{0};
  JobGroup->OnTimer = [&](TObject&) {
    EXPECT_TRUE(IsMainThread());
    ++group;
  };
  JobGroup->StartTicker(std::chrono::milliseconds(5));
  TGlobalThread global(std::chrono::milliseconds(5));
  int globalTicks = 0;
  global.OnTimer = [&](TGlobalThread&) { ++globalTicks; };
  global.Start();
  EXPECT_TRUE(PumpMainThreadUntil([&] { return group >= 3 && globalTicks >= 3; }, kJobPatience));
  JobGroup->StopTicker();
  global.TerminateAndWait();
  const int seen = group.load();
  PumpMainThreadFor(std::chrono::milliseconds(30));
  EXPECT_EQ(group.load(), seen) << "a stopped ticker stays quiet";
}

TEST(JobRun, StoppingAJobWhoseWorkerWaitsForTheMainThreadDoesNotDeadlock) {
  JobsFixture f;
  TJob& job = f.AddJob("J", 1, 5);
  std::atomic<bool> timerAsked{false};
  job.OnTimer = [&](TJob&) { timerAsked = true; };
  job.Run();
  // Without pumping, the job thread's before-execute or timer call waits for the main thread.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  job.Stop();
  job.WaitFor();  // pumps: the waiting worker gets its call run and ends
  EXPECT_EQ(job.Thread(), nullptr);
  ASSERT_TRUE(f.AllEnded());
  EXPECT_TRUE(job.IsStop());
}

TEST(JobRun, SeveralJobsOfSeveralLinksRunAtOnce) {
  EnvScope env(4);
  JobsFixture f;
  const char* names[] = {"A", "B", "C", "D", "E"};
  for (const char* name : names) f.AddJob(name, 3, 300);
  JobGroup->StartTicker(std::chrono::milliseconds(5));
  JobGroup->OnTimer = [](TObject&) { (void)JobGroup->GetStatistic(); };
  JobGroup->RunAll();
  ASSERT_TRUE(f.AllEnded());
  JobGroup->StopTicker();
  for (int i = 0; i < JobGroup->Count(); ++i) {
    EXPECT_EQ(JobGroup->GetObj(i)->Status(), jsOk) << names[i];
    for (int l = 0; l < 3; ++l) EXPECT_EQ(f.Count(names[i], l), 300) << names[i] << l;
  }
}

TEST(JobRun, GroupValidateChecksTheSelectedStoppedJobsOnly) {
  JobsFixture f;
  TJob& good = f.AddJob("Good", 0, 0);
  TJob& bad = f.AddJob("Bad", 0, 0);
  good.AfterExecuteExp = "1 + 1";
  bad.AfterExecuteExp = "1 +";
  good.Selected = bad.Selected = true;
  EXPECT_FALSE(JobGroup->Validate());
  ASSERT_GT(bad.Logs->Count(), 0);
  EXPECT_EQ(bad.Logs->GetObj(bad.Logs->Count() - 1)->LogType, ltError);
  bad.Selected = false;
  EXPECT_TRUE(JobGroup->Validate()) << "a job not selected is not checked";
  bad.Selected = true;
  bad.SetStatusValue(jsRunning);
  EXPECT_TRUE(JobGroup->Validate()) << "nor is a running one";
  bad.SetStatusValue(jsStop);
}
