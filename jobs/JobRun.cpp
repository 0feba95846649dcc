// The run control of jobs and of the job group: the commands, the status
// rule, the queue of jobs waiting for a run slot, and the scheduler.
#include <cmath>
#include <filesystem>

#include "environment/CoreMessages.h"
#include "environment/Environment.h"
#include "expression/Expression.h"
#include "expression/ThreadExp.h"
#include "expression/VarList.h"
#include "foundation/Clock.h"
#include "foundation/DateUtils.h"
#include "foundation/Exceptions.h"
#include "foundation/FileLock.h"
#include "foundation/Format.h"
#include "foundation/MainThread.h"
#include "foundation/UserInterface.h"
#include "jobs/DBLinkThread.h"
#include "jobs/Job.h"
#include "jobs/JobThreads.h"

namespace kv {

namespace {
bool RunEnded(TJobStatus s) { return s == jsStop || s == jsOk || s == jsError; }

std::string ErrorText(const std::exception& e) {
  const auto* k = dynamic_cast<const Exception*>(&e);
  return k ? k->Message() : std::string(e.what());
}
}  // namespace

TJobQueue& TheJobQueue() {
  if (!JobQueue) JobQueue = std::make_unique<TJobQueue>();
  return *JobQueue;
}

int MaxRunJobs() {
  const int n = GlobalEnv ? GlobalEnv->MaxRunJobs : 3;
  return n < 1 ? 1 : n;
}

// ---- TJob: commands --------------------------------------------------------------------------

void TJob::Run() {
  if (IsRunning()) return;
  SetRunTime(ClockNow());
  if (!thread_) {
    if (!TakeFileLock()) return;
    SetStatus(jsRunning);
    Execute();
  } else {
    // Paused (by Pause, or by a link that paused itself): the run goes on.
    SetStatus(jsRunning);
    ResumeLinks();
    thread_->Resume();
  }
}

void TJob::ResumeLinks() {
  // Only the links of this run that are still under way: a link that has
  // already ended is not run a second time.
  for (int i = 0; i < DBLinks->Count(); ++i) {
    TDBLink* link = DBLinks->GetObj(i);
    if (link && link->Thread()) link->Run();
  }
}

bool TJob::TakeFileLock() {
  if (SaveFileName.empty() || lock_) return true;
  std::string holder;
  std::string problem;
  try {
    lock_ = TFileLock::TryAcquire(SaveFileName, &holder);
    if (!lock_) problem = "the job file " + SaveFileName + " is busy: " + holder + " runs it";
  } catch (const std::exception& e) {
    problem = ErrorText(e);
  }
  if (lock_) return true;
  AddLog(ltError, Format(SJobErrorMsg.c_str(), Name, problem));
  SetStatus(jsError);
  return false;
}

void TJob::Execute() {
  if (thread_) return;
  oldThread_.reset();
  afterPending_ = true;
  thread_ = std::make_unique<TJobThread>(*this, CheckPeriod);
  thread_->OnTerminate = [this](TThread&) { DoTerminate(); };
  thread_->Start();
}

void TJob::InternalExecute() {
  if (GlobalEnv && GlobalEnv->LogOption && GlobalEnv->LogOption->Has(dlmDelAtRun)) ClearLog();
  for (int i = 0; i < DBLinks->Count(); ++i) {
    TDBLink* link = DBLinks->GetObj(i);
    if (!link) continue;
    link->VarList().SetVarListParent(VarList.get());
    link->VarList().SetParentEnabled(true);
    link->Job = this;
    link->Run();
  }
}

void TJob::Pause() {
  if (IsStop()) return;
  for (int i = 0; i < DBLinks->Count(); ++i) {
    if (TDBLink* link = DBLinks->GetObj(i)) link->Pause();
  }
  SetStatus(jsPause);
  if (thread_ && !thread_->Suspended()) thread_->Suspend();
}

void TJob::StopLinks() {
  for (int i = 0; i < DBLinks->Count(); ++i) {
    TDBLink* link = DBLinks->GetObj(i);
    if (!link) continue;
    link->Stop();
    // A paused link ignores Stop; its parked thread is ended all the same.
    if (TDBLinkThread* t = link->Thread(); t && link->Status() == jsPause) {
      link->SetStatus(jsStop);
      t->Terminate();
    }
  }
}

void TJob::Stop() {
  StopLinks();
  SetStatus(jsStop);
  if (thread_ && !thread_->Terminated()) {
    thread_->Terminate();
    thread_->Resume();
  }
}

void TJob::Wait() {
  SetStatus(jsWaiting);
  TheJobQueue().Push(this);
}

void TJob::SetStatus(TJobStatus status) {
  const TJobStatus old = Status();
  if (status == old) return;
  if (old == jsWaiting && (status == jsStop || status == jsPause) && JobQueue) JobQueue->DeleteJob(this);
  status_.store(status);
  if (JobGroup) JobGroup->SetRunning(StatusIsRunning(status));
  if (OnStatus) RunInMainThread([&] { OnStatus(*this, status); });
  if (!StatusIsStop(status)) return;
  if (JobQueue && JobQueue->Count() > 0 && (!JobGroup || JobGroup->GetRunningCount() < MaxRunJobs())) {
    if (TJob* next = JobQueue->Pop()) next->Run();
  }
  if (thread_ && afterPending_ && RunEnded(status)) {
    afterPending_ = false;
    DoAfterExecute();
    DoAfterExecuteExp();
  }
}

void TJob::StatusEvent(TDBLink&, TJobStatus) {
  RunInMainThread([this] {
    if (thread_) SetStatus(ComputeStatus());
  });
}

TJobStatus TJob::ComputeStatus() const {
  bool anyPause = false, anyError = false, allOk = true;
  for (int i = 0; i < DBLinks->Count(); ++i) {
    const TDBLink* link = DBLinks->GetObj(i);
    if (!link) continue;
    const TJobStatus s = link->Status();
    if (StatusIsRunning(s)) return jsRunning;
    anyPause = anyPause || s == jsPause;
    anyError = anyError || s == jsError;
    allOk = allOk && s == jsOk;
  }
  if (anyPause) return jsPause;
  if (anyError) return jsError;
  return allOk && DBLinks->Count() > 0 ? jsOk : jsStop;
}

void TJob::DoTerminate() {
  oldThread_ = std::move(thread_);
  lock_.reset();
  afterPending_ = false;
}

void TJob::WaitFor() {
  if (TJobThread* t = thread_.get()) t->WaitFor();
}

bool TJob::LinksBusy() const {
  for (int i = 0; i < DBLinks->Count(); ++i) {
    const TDBLink* link = DBLinks->GetObj(i);
    if (link && link->Thread()) return true;
  }
  return false;
}

void TJob::EndRun() {
  if (!thread_ && !LinksBusy()) return;
  OnStatus = nullptr;
  OnAfterExecute = nullptr;
  if (DBLinks) StopLinks();
  if (thread_) {
    thread_->Terminate();
    thread_->Resume();
    thread_->WaitFor();
  }
  for (int i = 0; DBLinks && i < DBLinks->Count(); ++i) {
    if (TDBLink* link = DBLinks->GetObj(i)) link->WaitFor();
  }
}

void TJob::RunFailed(const std::string& message) {
  AddLog(ltError, Format(SJobErrorMsg.c_str(), Name, message));
  StopLinks();
  SetStatus(jsError);
}

void TJob::DoTimer() {
  if (OnTimer) RunInMainThread([this] { OnTimer(*this); });
}
void TJob::DoBeforeExecute() {
  if (OnBeforeExecute) RunInMainThread([this] { OnBeforeExecute(*this); });
}
void TJob::DoAfterExecute() {
  if (OnAfterExecute) RunInMainThread([this] { OnAfterExecute(*this); });
}

void TJob::DoBeforeExecuteExp() {
  SetAllVarList();
  CalculateExp(BeforeExecuteExp, expression_);
}

void TJob::DoAfterExecuteExp() {
  try {
    SetAllVarList();
    CalculateExp(AfterExecuteExp, expression_);
  } catch (const std::exception& e) {
    AddLog(ltError, Format(SJobErrorMsg.c_str(), Name, ErrorText(e)));
  }
}

void TJob::CalSpeedValue() {
  Speed.Reset();
  for (int i = 0; i < DBLinks->Count(); ++i) {
    const TDBLink* link = DBLinks->GetObj(i);
    if (link && link->Status() == jsRunning) Speed += link->Counters().Speed;
  }
}

// ---- TJobGroup: commands -----------------------------------------------------------------------

TJobGroup::~TJobGroup() {
  StopTicker();
  // Nothing of this group stays queued, and no queued job starts while the group goes.
  ForJobs([](const TJob& j) { return j.IsWaiting(); },
          [](TJob& j) {
            if (JobQueue) JobQueue->DeleteJob(&j);
            j.SetStatusValue(jsStop);
          });
}

void TJobGroup::ForJobs(const std::function<bool(const TJob&)>& pred, const std::function<void(TJob&)>& action) {
  for (int i = 0; i < Count(); ++i) {
    TJob* job = GetObj(i);
    if (job && pred(*job)) action(*job);
  }
}

void TJobGroup::Run() {
  int n = GetRunCount();
  const int limit = MaxRunJobs();
  ForJobs([](const TJob& j) { return j.Selected && j.IsStop(); },
          [&](TJob& j) {
            if (n >= limit) {
              j.Wait();
            } else {
              j.Run();
              ++n;
            }
          });
}

void TJobGroup::RunAll() {
  ForJobs([](const TJob&) { return true; }, [](TJob& j) { j.Selected = true; });
  Run();
}

namespace {
bool Confirmed(bool ask, const TMessage& question) { return !ask || AskYesNo(question.c_str(), true, mtWarning); }
bool PausePrompt() { return GlobalEnv && GlobalEnv->Prompting && GlobalEnv->Prompting->PausePrompt; }
bool StopPrompt() { return GlobalEnv && GlobalEnv->Prompting && GlobalEnv->Prompting->StopPrompt; }
}  // namespace

void TJobGroup::Pause() {
  if (!Confirmed(PausePrompt(), SJobWillPauseMsg)) return;
  ForJobs([](const TJob& j) { return j.Selected; }, [](TJob& j) { j.Pause(); });
}

void TJobGroup::PauseAll() {
  if (!Confirmed(PausePrompt(), SJobWillPauseMsg)) return;
  ForJobs([](const TJob&) { return true; }, [](TJob& j) { j.Pause(); });
}

void TJobGroup::Stop() {
  if (!Confirmed(StopPrompt(), SJobWillStopMsg)) return;
  ForJobs([](const TJob& j) { return j.Selected; }, [](TJob& j) { j.Stop(); });
}

void TJobGroup::StopAll() {
  if (!Confirmed(StopPrompt(), SJobWillStopMsg)) return;
  ForJobs([](const TJob&) { return true; }, [](TJob& j) { j.Stop(); });
}

void TJobGroup::RunErrorData() {
  ForJobs([](const TJob& j) { return j.Selected && j.IsStop(); },
          [](TJob& j) {
            for (int i = 0; i < j.DBLinks->Count(); ++i) {
              TDBLink* link = j.DBLinks->GetObj(i);
              if (!link) continue;
              if (!link->ErrorData().Active()) link->LoadErrorDataFromFile(link->GetErrorDataFileName());
              // Switched back first, so the copy read is the error data as it is now.
              link->SetSourceDataType(sdtOrigin);
              link->SetSourceDataType(sdtError);
            }
          });
  Run();
}

bool TJobGroup::Validate() {
  bool all = true;
  ForJobs([](const TJob& j) { return j.Selected && j.IsStop(); }, [&](TJob& j) { all = j.Validate() && all; });
  return all;
}

TRunStatistic TJobGroup::GetStatistic() const {
  TRunStatistic total;
  for (int i = 0; i < Count(); ++i) {
    const TJob* job = GetObj(i);
    if (!job || !job->IsRunning()) continue;
    for (int k = 0; k < job->DBLinks->Count(); ++k) {
      const TDBLink* link = job->DBLinks->GetObj(k);
      if (link && link->IsRunning()) total += link->Counters().Statistic;
    }
  }
  return total;
}

void TJobGroup::CalSpeedValue() {
  Speed.Reset();
  ForJobs([](const TJob& j) { return j.Status() == jsRunning; },
          [this](TJob& j) {
            j.CalSpeedValue();
            Speed += j.Speed;
          });
}

void TJobGroup::DoTerminate() {
  ForJobs([](const TJob&) { return true; }, [](TJob& j) { j.DoTerminate(); });
}

void TJobGroup::Scheduler() {
  const double now = ClockNow();
  ForJobs([](const TJob& j) { return j.IsStop() && j.ScheduleMode->RunMode == rmByAuto; },
          [&](TJob& j) {
            const double t = j.GetAutoExecTime();
            if (std::floor(std::fabs(t - now) * 24 * 60) > 1) return;
            if (GetRunningCount() >= MaxRunJobs()) {
              j.Wait();
            } else {
              j.Run();
            }
          });
}

void TJobGroup::Tick() {
  if (!OnTimer) return;
  CalSpeedValue();
  OnTimer(*this);
}

void TJobGroup::StartTicker(std::chrono::milliseconds period) {
  StopTicker();
  ticker_ = std::make_unique<TJobGroupThread>(*this, period);
  ticker_->Start();
}

void TJobGroup::StopTicker() { ticker_.reset(); }

}  // namespace kv
