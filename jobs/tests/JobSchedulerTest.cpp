// The job group's scheduler on a fake clock: due jobs of automatic run mode
// are started (or queued when every run slot is taken), jobs run by hand
// never, and a due time is served once.
#include <gtest/gtest.h>

#include "environment/Environment.h"
#include "foundation/Clock.h"
#include "foundation/DateUtils.h"
#include "jobs/tests/JobRunFixture.h"

using namespace kv;
using kvtest::JobsFixture;

namespace {

// A job of `links` links (of 3 records each) whose schedule is every day at
// 14:00 from 1 March 2027, in run mode `mode`.
TJob& DailyJob(JobsFixture& f, const std::string& name, TRunMode mode, int links = 0) {
  TJob& job = f.AddJob(name, links, 3);
  job.ScheduleMode->RunMode = mode;
  job.ScheduleMode->SetSchedulePeriod(spEveryDay);
  auto* s = static_cast<TScheduleEveryDay*>(job.ScheduleMode->Schedule());
  s->StartDateTime = EncodeDateTime(2027, 3, 1, 14, 0, 0);
  s->EverySomeDay = 1;
  s->LastTime = 0;
  return job;
}

// Walks the clock minute by minute from `from` for `minutes`, calling the
// scheduler each minute and letting every started job end; how often each
// job of the group was started.
std::vector<int> Walk(JobsFixture& f, TFixedClock& clock, double from, int minutes) {
  std::vector<int> starts(static_cast<size_t>(JobGroup->Count()), 0);
  for (int i = 0; i < JobGroup->Count(); ++i) {
    JobGroup->GetObj(i)->OnStatus = [&starts, i](TJob&, TJobStatus s) {
      if (s == jsRunning) ++starts[static_cast<size_t>(i)];
    };
  }
  for (int m = 0; m < minutes; ++m) {
    clock.Set(from + m / (24.0 * 60));
    JobGroup->Scheduler();
    EXPECT_TRUE(f.AllEnded());
  }
  return starts;
}

}  // namespace

TEST(JobScheduler, StartsDueAutomaticJobsOnceAndNeverJobsRunByHand) {
  TFixedClock clock;
  TClockScope scope(clock);
  JobsFixture f;
  DailyJob(f, "Auto", rmByAuto, 1);
  DailyJob(f, "Hand", rmByHand, 1);
  const std::vector<int> starts = Walk(f, clock, EncodeDateTime(2027, 3, 1, 13, 50, 0), 20);
  EXPECT_EQ(starts[0], 1) << "due once around 14:00, whatever the number of ticks in the window";
  EXPECT_EQ(starts[1], 0) << "a job run by hand is never started by the clock";
  EXPECT_EQ(f.Count("Auto", 0), 3);
  EXPECT_EQ(f.Count("Hand", 0), 0);
  const std::vector<int> nextDay = Walk(f, clock, EncodeDateTime(2027, 3, 2, 13, 55, 0), 10);
  EXPECT_EQ(nextDay[0], 1) << "and once again the next day";
  EXPECT_EQ(f.Count("Auto", 0), 6);
}

TEST(JobScheduler, ADueJobIsQueuedWhenEverySlotIsTaken) {
  TKVEnvironment env;
  env.MaxRunJobs = 1;
  TKVEnvironment* old = std::exchange(GlobalEnv, &env);
  {
    TFixedClock clock(EncodeDateTime(2027, 3, 1, 14, 0, 30));
    TClockScope scope(clock);
    JobsFixture f;
    TJob& busy = f.AddJob("Busy", 0, 0);
    busy.CheckPeriod = std::chrono::milliseconds(200);
    TJob& due = DailyJob(f, "Due", rmByAuto);
    busy.Run();
    JobGroup->Scheduler();
    EXPECT_EQ(due.Status(), jsWaiting);
    EXPECT_EQ(JobQueue->Count(), 1);
    JobGroup->Scheduler();
    EXPECT_EQ(JobQueue->Count(), 1) << "a waiting job is not queued twice";
    bool dueRan = false;
    due.OnStatus = [&](TJob&, TJobStatus s) { dueRan = dueRan || s == jsRunning; };
    ASSERT_TRUE(f.AllEnded());
    EXPECT_TRUE(dueRan) << "it started when the running job ended";
    EXPECT_EQ(due.ScheduleMode->Schedule()->LastTime, clock.Now());
  }
  GlobalEnv = old;
}

TEST(JobScheduler, OnceAndMonthlySchedulesStartTheirJobsOnTheirDays) {
  TFixedClock clock;
  TClockScope scope(clock);
  JobsFixture f;
  TJob& once = f.AddJob("Once", 0, 0);
  once.ScheduleMode->RunMode = rmByAuto;
  once.ScheduleMode->SetSchedulePeriod(spOnce);
  static_cast<TScheduleOnce*>(once.ScheduleMode->Schedule())->StartDateTime = EncodeDateTime(2027, 2, 27, 9, 30, 0);
  TJob& monthly = f.AddJob("Monthly", 0, 0);
  monthly.ScheduleMode->RunMode = rmByAuto;
  monthly.ScheduleMode->SetSchedulePeriod(spEveryMonth);
  auto* m = static_cast<TScheduleEveryMonth*>(monthly.ScheduleMode->Schedule());
  m->StartTime = EncodeDateTime(2027, 1, 1, 9, 30, 0);
  m->FNumberDay = 31;
  std::vector<int> total(2, 0);
  // 27 February to 3 March around 9:30 each day: the once job on the 27th,
  // the monthly one on the last day of February (the 28th).
  for (int day = 0; day < 5; ++day) {
    const std::vector<int> s = Walk(f, clock, EncodeDateTime(2027, 2, 27, 9, 25, 0) + day, 10);
    for (size_t i = 0; i < 2; ++i) total[i] += s[i];
    if (day == 0) {
      EXPECT_EQ(s[0], 1);
    }
    if (day == 1) {
      EXPECT_EQ(s[1], 1) << "the 31st falls on the month's last day";
    }
  }
  EXPECT_EQ(total[0], 1) << "the once schedule fires exactly once";
  EXPECT_EQ(total[1], 1);
}
