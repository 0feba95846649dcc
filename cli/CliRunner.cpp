#include "CliRunner.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "CliCommand.h"
#include "CliJobs.h"
#include "foundation/DateUtils.h"
#include "foundation/Exceptions.h"
#include "foundation/FileUtils.h"
#include "foundation/MainThread.h"
#include "jobs/HeadlessHandlers.h"

namespace cli {

namespace {
volatile std::sig_atomic_t g_stop = 0;

extern "C" void OnStopSignal(int) { g_stop = 1; }

constexpr std::chrono::milliseconds kProgressPeriod{1000};

const char* TypeName(kv::TLogType type) {
  switch (type) {
    case kv::ltError: return "error";
    case kv::ltWarnint: return "warning";
    default: return "info";
  }
}

bool Idle(const kv::TJob& job) {
  return !job.Thread() && !job.LinksBusy() && !job.IsRunning() && !job.IsWaiting();
}

bool AllIdle() {
  for (int i = 0; i < kv::JobGroup->Count(); ++i) {
    if (const kv::TJob* job = kv::JobGroup->GetObj(i); job && !Idle(*job)) return false;
  }
  return true;
}

// A status stored with a job file says how its last run ended; a job just
// loaded runs nothing and waits for nothing.
void ForgetRunState(kv::TJob& job) {
  if (job.IsRunning() || job.IsWaiting()) job.SetStatusValue(kv::jsStop);
  for (int i = 0; i < job.DBLinks->Count(); ++i) {
    kv::TDBLink* link = job.DBLinks->GetObj(i);
    if (link && (link->IsRunning() || link->IsWaiting())) link->SetStatusValue(kv::jsStop);
  }
}

kv::TRunStatistic JobStatistic(const kv::TJob& job) {
  kv::TRunStatistic total;
  for (int i = 0; i < job.DBLinks->Count(); ++i) {
    if (const kv::TDBLink* link = job.DBLinks->GetObj(i)) total += link->Counters().Statistic;
  }
  return total;
}
}  // namespace

void InstallStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool StopRequested() { return g_stop != 0; }

std::string IsoTime(double time) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
  kv::DecodeDateTime(time, y, mo, d, h, mi, s, ms);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", y, mo, d, h, mi, s);
  return text;
}

// ---- TRunner -----------------------------------------------------------------------------------

TRunner::TRunner(const std::string& home) {
  if (!home.empty()) {
    const std::string folder = std::filesystem::absolute(home).string();
    if (!std::filesystem::is_directory(folder)) throw kv::Exception("The folder " + folder + " does not exist");
    ::setenv("VANDREL_HOME", folder.c_str(), 1);
  }
  env_ = kv::LoadEnvironment(kv::EnvironmentFilePath());
  kv::GlobalEnv = env_.get();
  kv::JobGroup = std::make_unique<kv::TJobGroup>();
  kv::JobQueue = std::make_unique<kv::TJobQueue>();
}

TRunner::~TRunner() {
  if (kv::JobGroup) StopAndDrain();
  kv::JobGroup.reset();
  kv::JobQueue.reset();
  if (kv::GlobalEnv == env_.get()) kv::GlobalEnv = nullptr;
}

void TRunner::Adopt(std::unique_ptr<kv::TJob> job) {
  ForgetRunState(*job);
  Attach(*job);
  const std::string name = job->Name;
  kv::JobGroup->AddOwned(name, std::move(job));
}

void TRunner::AddJobs(const std::vector<std::string>& names, bool all) {
  if (all) return AddGroupJobs();
  std::vector<GroupEntry> group;
  bool groupRead = false;
  for (const std::string& name : names) {
    if (std::filesystem::is_regular_file(name)) {
      Adopt(LoadJobFile(std::filesystem::absolute(name).lexically_normal().string()));
      continue;
    }
    if (!groupRead) group = LoadGroupEntries(GroupLines(GroupFile("")));
    groupRead = true;
    bool found = false;
    for (GroupEntry& e : group) {
      if (!e.job || e.job->Name != name) continue;
      Adopt(std::move(e.job));
      found = true;
      break;
    }
    if (!found) throw kv::Exception("No job file and no job of the job group is named \"" + name + "\"");
  }
}

void TRunner::AddGroupJobs() {
  for (GroupEntry& e : LoadGroupEntries(GroupLines(GroupFile("")))) {
    if (e.job) {
      Adopt(std::move(e.job));
    } else {
      Log(kv::ltError, "", "", "The job file " + e.file + " is left out: " + e.problem);
    }
  }
}

void TRunner::Attach(kv::TJob& job) {
  const std::string jobName = job.Name;
  job.OnLogOccur = [this, jobName](const kv::TKVLog& log) { Log(log.LogType, jobName, "", log.Event); };
  job.OnStatus = [this](kv::TJob& j, kv::TJobStatus status) {
    Log(kv::ltInfo, j.Name, "", "status " + StatusName(status));
  };
  for (int i = 0; i < job.DBLinks->Count(); ++i) {
    kv::TDBLink* link = job.DBLinks->GetObj(i);
    if (!link) continue;
    kv::AttachHeadlessHandlers(*link, [this, jobName](kv::TDBLink& l, const kv::TKVLog& log) {
      Log(log.LogType, jobName, l.Name, log.Event);
    });
  }
}

void TRunner::Log(kv::TLogType type, const std::string& job, const std::string& link, const std::string& text) {
  if (quiet) return;
  ClearProgress();
  std::cout << IsoTime(kv::Now()) << '\t' << TypeName(type) << '\t' << EscapeTerminalField(job) << '\t'
            << EscapeTerminalField(link) << '\t' << EscapeTerminalField(text) << '\n';
  std::cout.flush();
}

bool TRunner::PumpUntilIdle() {
  while (!AllIdle()) {
    kv::PumpMainThreadUntil([] { return StopRequested() || AllIdle(); }, kProgressPeriod);
    if (StopRequested()) {
      StopAndDrain();
      return false;
    }
    DrawProgress();
  }
  ClearProgress();
  return true;
}

void TRunner::PumpUntilSignal() {
  while (!StopRequested()) {
    kv::PumpMainThreadUntil([] { return StopRequested(); }, kProgressPeriod);
    DrawProgress();
  }
  ClearProgress();
}

void TRunner::StopAndDrain() {
  for (int i = 0; i < kv::JobGroup->Count(); ++i) {
    if (kv::TJob* job = kv::JobGroup->GetObj(i); job && !Idle(*job)) job->Stop();
  }
  while (!kv::PumpMainThreadUntil(AllIdle, std::chrono::seconds(1))) {
  }
  ClearProgress();
}

void TRunner::DrawProgress() {
  if (!progress || quiet) return;
  ClearProgress();
  const double now = kv::Now();
  for (int i = 0; i < kv::JobGroup->Count(); ++i) {
    const kv::TJob* job = kv::JobGroup->GetObj(i);
    for (int k = 0; job && job->IsRunning() && k < job->DBLinks->Count(); ++k) {
      const kv::TDBLink* link = job->DBLinks->GetObj(k);
      if (!link || !link->IsRunning()) continue;
      const kv::TRunCounters c = link->Counters();
      const auto elapsed = static_cast<long long>((now - link->RunTime) * 86400.0);
      std::cout << "\033[K" << EscapeTerminalField(job->Name) << '/' << EscapeTerminalField(link->Name)
                << ": rows " << c.Statistic.Rows << ", inserted " << c.Statistic.Inserted << ", updated "
                << c.Statistic.Updated << ", deleted " << c.Statistic.Deleted << ", errors " << c.Statistic.Errors
                << ", " << c.Speed.SourceBrowse << " rows/s, " << elapsed << " s\n";
      ++progressLines_;
    }
  }
  std::cout.flush();
}

void TRunner::ClearProgress() {
  if (progressLines_ == 0) return;
  std::cout << "\033[" << progressLines_ << "A\033[J";
  progressLines_ = 0;
}

bool TRunner::Report() {
  bool allOk = true;
  for (int i = 0; i < kv::JobGroup->Count(); ++i) {
    const kv::TJob* job = kv::JobGroup->GetObj(i);
    if (!job) continue;
    const kv::TRunStatistic s = JobStatistic(*job);
    const bool ok = job->Status() == kv::jsOk;
    allOk = allOk && ok;
    Log(ok ? kv::ltInfo : kv::ltError, job->Name, "",
        "ended " + StatusName(job->Status()) + ": rows=" + std::to_string(s.Rows) + " inserted=" +
            std::to_string(s.Inserted) + " updated=" + std::to_string(s.Updated) + " deleted=" +
            std::to_string(s.Deleted) + " errors=" + std::to_string(s.Errors));
  }
  return allOk;
}

}  // namespace cli
