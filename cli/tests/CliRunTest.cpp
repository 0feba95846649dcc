// vandrel-cli run and schedule from outside: the sample job end to end,
// the log line format, exit statuses, a busy job, Ctrl-C in the middle of
// a long transfer, and the scheduler service started and stopped.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "cli/tests/RunCli.h"
#include "foundation/DateUtils.h"
#include "foundation/FileLock.h"
#include "testsupport/TempFiles.h"

using kvtest::Lines;
using kvtest::ReadFile;
using kvtest::RunCli;
using kvtest::TempFolder;
using kvtest::WriteFile;

namespace {

std::string Sample(const std::string& name) { return std::string(VANDREL_SAMPLES_DIR) + "/" + name; }

// Writes a file, making its folders first.
void Write(const std::string& file, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(file).parent_path());
  WriteFile(file, text);
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  if (at == std::string::npos) throw std::runtime_error("not in the sample: " + from);
  return text.replace(at, from.size(), to);
}

// The orders CSV with `rows` records; every record in `badEvery` (when
// non-zero) has no amount, which the sample job's filter turns into an error.
std::string OrdersCsv(int rows, int badEvery = 0) {
  std::string text = "ID,CUSTOMER,AMOUNT,ORDER_DATE\r\n";
  for (int i = 1; i <= rows; ++i) {
    const bool bad = badEvery > 0 && i % badEvery == 0;
    text += std::to_string(i) + ",customer " + std::to_string(i) + "," + (bad ? "x" : std::to_string(i % 90 + 1)) +
            ".5,2024-05-0" + std::to_string(i % 9 + 1) + "\r\n";
  }
  return text;
}

// The sample job built into DIR/NAME.job (its CSV data/orders.csv and its
// table orders.db beside it), with `text` changed by `edit`.
std::string BuildJob(const TempFolder& dir, const std::string& name,
                     const std::function<std::string(std::string)>& edit = nullptr) {
  std::string text = ReadFile(Sample("orders-to-sqlite.jobtxt"));
  if (edit) text = edit(text);
  const std::string txt = dir.File(name + ".jobtxt");
  WriteFile(txt, text);
  const auto r = RunCli({"job", "build", txt, "-o", dir.File(name + ".job")});
  EXPECT_EQ(r.status, 0) << r.err;
  return dir.File(name + ".job");
}

std::string Sql(const std::string& db, const std::string& sql) {
  const auto r = RunCli({"sql", db, sql});
  const auto lines = Lines(r.out);
  return lines.size() >= 2 ? lines[1] : "(" + r.err + ")";
}

// A vandrel-cli started in the background, its output in a file.
struct Background {
  pid_t pid = -1;
  std::string out;
  int Wait() {
    int raw = 0;
    waitpid(pid, &raw, 0);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
};

Background Start(const std::vector<std::string>& args, const std::string& outFile) {
  std::vector<char*> argv{const_cast<char*>(VANDREL_CLI)};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  Background b{fork(), outFile};
  if (b.pid == 0) {
    const int fd = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int null = open("/dev/null", O_RDWR);
    dup2(fd, 1);
    dup2(null, 2);
    dup2(null, 0);
    execv(VANDREL_CLI, argv.data());
    _exit(127);
  }
  return b;
}

bool WaitForText(const std::string& file, const std::string& text) {
  for (int i = 0; i < 3000; ++i) {
    if (ReadFile(file).find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

}  // namespace

TEST(CliRun, TheSampleJobLoadsItsTableAndPrintsTabSeparatedLogLines) {
  TempFolder dir("clirun");
  Write(dir.File("data/orders.csv"), ReadFile(Sample("data/orders.csv")));
  const std::string job = BuildJob(dir, "orders");
  const auto r = RunCli({"run", job});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  const auto lines = Lines(r.out);
  ASSERT_FALSE(lines.empty());
  for (const std::string& line : lines) {
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 4) << line;
    EXPECT_EQ(line[4], '-') << "an ISO date first: " << line;
    EXPECT_EQ(line[10], 'T') << line;
  }
  EXPECT_NE(r.out.find("\tinfo\tOrdersToSqlite\t\tended ok: rows=3 inserted=3"), std::string::npos) << r.out;
  EXPECT_EQ(Sql(dir.File("orders.db"), "SELECT count(*) FROM ORDERS"), "3");
  EXPECT_EQ(RunCli({"run", job, "--quiet"}).out, "") << "quiet prints nothing";
}

TEST(CliRun, ExitStatusesAndUsage) {
  TempFolder dir("clirun");
  Write(dir.File("data/orders.csv"), OrdersCsv(20, 5));
  // Without its filter the bad amounts fail their records.
  const std::string job = BuildJob(dir, "bad", [](std::string t) {
    return Replace(t, "    FilterExp = 'StrToFloat(Orders.AMOUNT) > 0'\n", "");
  });
  const auto bad = RunCli({"run", job});
  EXPECT_EQ(bad.status, 1) << bad.out;
  EXPECT_NE(bad.out.find("\terror\tOrdersToSqlite\tOrdersToTable\t"), std::string::npos) << bad.out;
  EXPECT_NE(bad.out.find("ended error: rows=20 inserted=16"), std::string::npos) << bad.out;
  EXPECT_TRUE(std::filesystem::exists(dir.File("OrdersToSqliteOrdersToTable.err")));
  const auto again = RunCli({"run", job, "--error-data"});
  EXPECT_EQ(again.status, 1) << "the same records fail again: " << again.out;
  EXPECT_NE(again.out.find("ended error: rows=4 inserted=0"), std::string::npos) << again.out;
  for (const std::vector<std::string>& usage :
       std::vector<std::vector<std::string>>{{"run"}, {"run", "--all", job}, {"run", job, "--max-jobs", "0"},
                                             {"run", job, "--max-jobs", "101"}, {"run", job, "--bogus"},
                                             {"run", job, "--max-jobs"}}) {
    EXPECT_EQ(RunCli(usage).status, 2) << usage.back();
  }
  EXPECT_EQ(RunCli({"run", dir.File("nothing.job")}).status, 1);
  const std::string home = dir.File("home");
  std::filesystem::create_directories(home);
  const auto none = RunCli({"run", "--home", home, "--all"});
  EXPECT_EQ(none.status, 1) << "an empty group has nothing to run";
}

TEST(CliRun, AJobRunningElsewhereIsReportedBusy) {
  TempFolder dir("clirun");
  Write(dir.File("data/orders.csv"), OrdersCsv(5));
  const std::string job = BuildJob(dir, "orders");
  auto held = kv::TFileLock::TryAcquire(job);
  ASSERT_NE(held, nullptr);
  const auto r = RunCli({"run", job});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("busy"), std::string::npos) << r.out;
  EXPECT_FALSE(std::filesystem::exists(dir.File("orders.db"))) << "nothing ran";
}

TEST(CliRun, GroupJobsByNameAndAllWithTheJobLimit) {
  TempFolder dir("clirun");
  const std::string home = dir.File("home");
  std::vector<std::string> files;
  for (const char* name : {"A", "B", "C"}) {
    const std::string sub = dir.File(name);
    Write(sub + "/data/orders.csv", OrdersCsv(50));
    std::string text = Replace(ReadFile(Sample("orders-to-sqlite.jobtxt")), "Name = 'OrdersToSqlite'",
                               std::string("Name = 'Job") + name + "'");
    WriteFile(sub + "/job.jobtxt", text);
    ASSERT_EQ(RunCli({"job", "build", sub + "/job.jobtxt", "-o", sub + "/job.job"}).status, 0);
    files.push_back(sub + "/job.job");
  }
  std::filesystem::create_directories(home);
  for (const std::string& f : files) ASSERT_EQ(RunCli({"group", "add", "--home", home, f}).status, 0);
  const auto one = RunCli({"run", "--home", home, "JobB"});
  EXPECT_EQ(one.status, 0) << one.out << one.err;
  EXPECT_EQ(Sql(dir.File("B/orders.db"), "SELECT count(*) FROM ORDERS"), "50");
  EXPECT_FALSE(std::filesystem::exists(dir.File("A/orders.db")));
  EXPECT_EQ(RunCli({"run", "--home", home, "NoSuchJob"}).status, 1);
  const auto all = RunCli({"run", "--home", home, "--all", "--max-jobs", "1"});
  EXPECT_EQ(all.status, 0) << all.out << all.err;
  EXPECT_NE(all.out.find("\tJobC\t\tstatus waiting"), std::string::npos) << "one slot: the others wait\n" << all.out;
  for (const char* name : {"A", "C"}) {
    EXPECT_EQ(Sql(dir.File(std::string(name) + "/orders.db"), "SELECT count(*) FROM ORDERS"), "50");
  }
}

TEST(CliRun, CtrlCStopsCleanlyLeavingAConsistentTableAndTheErrorFile) {
  TempFolder dir("clirun");
  Write(dir.File("data/orders.csv"), OrdersCsv(1500000));
  const std::string job = BuildJob(dir, "big");
  Background b = Start({"run", job}, dir.File("out.txt"));
  ASSERT_TRUE(WaitForText(b.out, "status running"));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  kill(b.pid, SIGINT);
  EXPECT_EQ(b.Wait(), 1) << "stopped";
  const std::string out = ReadFile(b.out);
  const size_t at = out.find("ended stop: rows=");
  ASSERT_NE(at, std::string::npos) << out;
  const size_t ins = out.find("inserted=", at) + 9;
  const std::string inserted = out.substr(ins, out.find(' ', ins) - ins);
  EXPECT_EQ(Sql(dir.File("orders.db"), "SELECT count(*) FROM ORDERS"), inserted)
      << "every row reported is in the table, no other";
  EXPECT_NE(inserted, "1500000") << "the run was cut short";
  EXPECT_TRUE(std::filesystem::exists(dir.File("OrdersToSqliteOrdersToTable.err"))) << "the error records saved";
  EXPECT_EQ(Sql(dir.File("orders.db"), "PRAGMA integrity_check"), "ok");
}

TEST(CliSchedule, StartsADueAutomaticJobOnceAndEndsCleanlyOnSigterm) {
  TempFolder dir("clisched");
  const std::string home = dir.File("home");
  std::filesystem::create_directories(home);
  Write(dir.File("data/orders.csv"), OrdersCsv(10));
  const std::string now = std::to_string(kv::Now());
  const std::string job = BuildJob(dir, "once", [&](std::string t) {
    return Replace(t,
                   "    object FScheduleMode: TScheduleMode\n      object Schedule: TScheduleEveryDay\n"
                   "        StartDateTime = 45413.25\n        EverySomeDay = 1\n",
                   "    object FScheduleMode: TScheduleMode\n      RunMode = 1\n      SchedulePeriod = 3\n"
                   "      object Schedule: TScheduleOnce\n        StartDateTime = " + now + "\n");
  });
  const std::string hand = BuildJob(dir, "hand", [](std::string t) {
    return Replace(Replace(t, "Path = 'orders.db'", "Path = 'hand.db'"), "Name = 'OrdersToSqlite'", "Name = 'Hand'");
  });
  ASSERT_EQ(RunCli({"group", "add", "--home", home, job}).status, 0);
  ASSERT_EQ(RunCli({"group", "add", "--home", home, hand}).status, 0);
  Background b = Start({"schedule", "--home", home, "--tick-ms", "50"}, dir.File("out.txt"));
  ASSERT_TRUE(WaitForText(b.out, "\tOrdersToSqlite\t\tstatus ok"));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // many more ticks within the due window
  kill(b.pid, SIGTERM);
  EXPECT_EQ(b.Wait(), 0);
  const std::string out = ReadFile(b.out);
  EXPECT_NE(out.find("scheduler started: 2 jobs, 1 run automatically"), std::string::npos) << out;
  size_t runs = 0;
  for (size_t at = out.find("\tOrdersToSqlite\t\tstatus running"); at != std::string::npos;
       at = out.find("\tOrdersToSqlite\t\tstatus running", at + 1)) {
    ++runs;
  }
  EXPECT_EQ(runs, 1u) << out;
  EXPECT_EQ(out.find("\tHand\t\tstatus running"), std::string::npos) << "run by hand: never started";
  EXPECT_EQ(Sql(dir.File("orders.db"), "SELECT count(*) FROM ORDERS"), "10");
  EXPECT_FALSE(std::filesystem::exists(dir.File("hand.db")));
}
