// When schedules are due: the case table data/schedule_due.txt, and walks
// of a fake clock through days and months counting how often a job that
// runs whenever it is due would be started.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "foundation/Clock.h"
#include "foundation/DateUtils.h"
#include "foundation/StrUtils.h"
#include "expression/DateTimeText.h"
#include "jobs/Job.h"
#include "jobs/Schedule.h"
#include "testsupport/CaseFiles.h"
#include "testsupport/TestData.h"

using namespace kv;

namespace {

// "YYYY-MM-DD HH:MM[:SS]" or "0".
double ParseTime(const std::string& text) {
  if (text == "0") return 0;
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  const int n = std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s);
  if (n < 5) throw std::runtime_error("bad time in case table: " + text);
  return EncodeDateTime(y, mo, d, h, mi, s);
}

// The value of `key` in "key=value; key=value", "" when absent.
std::string Setting(const std::string& settings, const std::string& key) {
  std::istringstream in(settings);
  std::string item;
  while (std::getline(in, item, ';')) {
    item = LTrim(Trim(item));
    if (item.rfind(key + "=", 0) == 0) return item.substr(key.size() + 1);
  }
  return "";
}

std::unique_ptr<TCustomSchedule> MakeSchedule(const std::string& kind, const std::string& settings) {
  const double start = ParseTime(Setting(settings, "start"));
  if (kind == "day") {
    auto s = std::make_unique<TScheduleEveryDay>();
    s->StartDateTime = start;
    s->EverySomeDay = static_cast<uint8_t>(std::stoi(Setting(settings, "every")));
    return s;
  }
  if (kind == "week") {
    auto s = std::make_unique<TScheduleEveryWeek>();
    s->StartTime = start;
    const std::string days = Setting(settings, "days");
    bool* flags[] = {&s->Monday, &s->Tuesday, &s->Wednesday, &s->Thursday, &s->Friday, &s->Saturday, &s->Sunday};
    const char* names[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    for (int i = 0; i < 7; ++i) *flags[i] = days.find(names[i]) != std::string::npos;
    return s;
  }
  if (kind == "month") {
    auto s = std::make_unique<TScheduleEveryMonth>();
    s->StartTime = start;
    s->FNumberDay = static_cast<uint8_t>(std::stoi(Setting(settings, "day")));
    return s;
  }
  if (kind == "once") {
    auto s = std::make_unique<TScheduleOnce>();
    s->StartDateTime = start;
    return s;
  }
  throw std::runtime_error("unknown schedule kind in case table: " + kind);
}

class ScheduleDue : public testing::TestWithParam<kvtest::CaseRow> {};

TEST_P(ScheduleDue, AnswersTheDueTimeOnlyWhileDueAndNotServed) {
  const kvtest::CaseRow& row = GetParam();
  ASSERT_EQ(row.problem, "");
  auto schedule = MakeSchedule(row.fields[0], row.fields[1]);
  schedule->LastTime = ParseTime(row.fields[2]);
  TFixedClock clock(ParseTime(row.fields[3]));
  TClockScope scope(clock);
  const double got = schedule->GetAutoExecTime();
  if (row.fields[4] == "-") {
    EXPECT_EQ(got, 0) << FormatDateTime("yyyy-mm-dd hh:nn:ss", got);
  } else {
    EXPECT_NEAR(got, ParseTime(row.fields[4]), 1e-9) << FormatDateTime("yyyy-mm-dd hh:nn:ss", got);
    // The job group's scheduler starts a job whose answer lies within a minute (whole minutes).
    EXPECT_LE(MinutesBetween(got, clock.Now()), 1);
  }
}

INSTANTIATE_TEST_SUITE_P(File, ScheduleDue,
                         testing::ValuesIn(kvtest::ReadCaseFile(kvtest::TestDataFolder() + "/schedule_due.txt", 5)),
                         [](const auto& info) { return kvtest::CaseName(info.param); });

// Walks the clock in steps of 20 seconds from `from` to `to`; whenever the
// schedule is due the job "runs" (its start becomes LastTime). The times of
// the runs, in order.
std::vector<double> RunsBetween(TCustomSchedule& schedule, double from, double to) {
  std::vector<double> runs;
  TFixedClock clock;
  TClockScope scope(clock);
  const double step = 20.0 / 86400;
  for (double now = from; now < to; now += step) {
    clock.Set(now);
    if (schedule.GetAutoExecTime() != 0) {
      runs.push_back(now);
      schedule.LastTime = now;
    }
  }
  return runs;
}

TEST(ScheduleWalk, OnceFiresExactlyOnce) {
  TScheduleOnce once;
  once.StartDateTime = EncodeDateTime(2026, 12, 24, 18, 30, 0);
  const auto runs = RunsBetween(once, EncodeDate(2026, 12, 23), EncodeDate(2026, 12, 27));
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_LT(std::fabs(runs[0] - once.StartDateTime), kScheduleWindow);
}

TEST(ScheduleWalk, MonthlyOnTheLastDayFiresOncePerMonthAtMonthEnds) {
  TScheduleEveryMonth month;
  month.StartTime = EncodeDateTime(2026, 1, 1, 6, 15, 0);
  month.FNumberDay = 31;
  const auto runs = RunsBetween(month, EncodeDate(2026, 1, 1), EncodeDate(2027, 1, 1));
  ASSERT_EQ(runs.size(), 12u);
  for (size_t i = 0; i < runs.size(); ++i) {
    int y, m, d;
    DecodeDate(runs[i], y, m, d);
    EXPECT_EQ(m, static_cast<int>(i) + 1);
    EXPECT_EQ(d, DaysInAMonth(y, m));
  }
}

TEST(ScheduleWalk, WeeklyFiresOncePerChosenDayAtItsTime) {
  TScheduleEveryWeek week;
  week.StartTime = EncodeDateTime(2026, 12, 1, 22, 0, 0);
  week.Monday = week.Thursday = true;
  const auto runs = RunsBetween(week, EncodeDate(2026, 12, 1), EncodeDate(2026, 12, 15));
  // Thu 3, Mon 7, Thu 10, Mon 14.
  ASSERT_EQ(runs.size(), 4u);
  EXPECT_EQ(DayOf(runs[0]), 3);
  EXPECT_EQ(DayOf(runs[3]), 14);
  for (double r : runs) EXPECT_LT(std::fabs(TimeOf(r) - EncodeTime(22, 0, 0)), kScheduleWindow);
}

TEST(ScheduleWalk, EveryDayRunsDoNotDriftWithTheirStartTimes) {
  TScheduleEveryDay day;
  day.StartDateTime = EncodeDateTime(2026, 12, 1, 3, 0, 0);
  day.EverySomeDay = 2;
  const auto runs = RunsBetween(day, EncodeDate(2026, 12, 1), EncodeDate(2026, 12, 21));
  ASSERT_EQ(runs.size(), 10u);
  // Each run starts up to two minutes early, yet the tenth is still at 03:00 (no drift).
  EXPECT_EQ(DayOf(runs[9]), 19);
  EXPECT_LT(std::fabs(TimeOf(runs[9]) - EncodeTime(3, 0, 0)), kScheduleWindow);
}

TEST(ScheduleDefaults, NewSchedulesStartAtTheClocksTime) {
  TFixedClock clock(EncodeDateTime(2026, 5, 4, 10, 0, 0));
  TClockScope scope(clock);
  TScheduleMode mode;
  mode.SetSchedulePeriod(spOnce);
  EXPECT_EQ(ObjCast<TScheduleOnce>(mode.Schedule())->StartDateTime, clock.Now());
  // A new once schedule is due at once, the moment it is made.
  TJob job;
  job.ScheduleMode->SetSchedulePeriod(spOnce);
  EXPECT_EQ(job.GetAutoExecTime(), clock.Now());
  job.SetRunTime(clock.Now());
  EXPECT_EQ(job.GetAutoExecTime(), 0);
}

}  // namespace
