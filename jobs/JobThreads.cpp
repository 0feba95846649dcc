#include "jobs/JobThreads.h"

#include <algorithm>
#include <exception>
#include <thread>

#include "foundation/Exceptions.h"
#include "foundation/MainThread.h"
#include "jobs/Job.h"

namespace kv {

std::unique_ptr<TGlobalThread> GlobalThread;

namespace {
constexpr std::chrono::milliseconds kSleepSlice{10};

std::string ErrorText(const std::exception& e) {
  const auto* k = dynamic_cast<const Exception*>(&e);
  return k ? k->Message() : std::string(e.what());
}
}  // namespace

bool SleepUnlessTerminated(const TThread& thread, std::chrono::milliseconds period) {
  const auto end = std::chrono::steady_clock::now() + period;
  while (!thread.Terminated()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= end) return true;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(end - now, kSleepSlice));
  }
  return false;
}

// ---- TJobThread ----------------------------------------------------------------------------------

TJobThread::TJobThread(TJob& job, std::chrono::milliseconds period)
    : TThread("Job " + job.Name), job_(job), period_(period) {}

TJobThread::~TJobThread() { TerminateAndWait(); }

void TJobThread::Execute() {
  try {
    RunInMainThread([this] {
      // A job stopped before its thread got here starts no link (the stop
      // would be lost and the links would run to their end); one paused
      // meanwhile starts its links paused, so its Run resumes them.
      if (Terminated() || job_.Status() == jsStop) return;
      const bool paused = job_.Status() == jsPause;
      job_.DoBeforeExecuteExp();
      job_.DoBeforeExecute();
      job_.InternalExecute();
      if (paused) job_.Pause();
    });
    Loop();
  } catch (const std::exception& e) {
    const std::string text = ErrorText(e);
    RunInMainThread([&] { job_.RunFailed(text); });
  }
  // The run ends with its links: their threads (and the saving of their
  // error data) are over before the job thread lets its file lock go.
  for (;;) {
    bool busy = false;
    RunInMainThread([&] { busy = job_.LinksBusy(); });
    if (!busy) break;
    std::this_thread::sleep_for(kSleepSlice);
  }
}

void TJobThread::Loop() {
  while (!Terminated()) {
    const TJobStatus status = job_.Status();
    if (status == jsStop || status == jsOk || status == jsError) break;
    SuspensionPoint();
    if (!SleepUnlessTerminated(*this, period_)) break;
    SuspensionPoint();
    if (Terminated()) break;
    RunInMainThread([this] {
      job_.DoTimer();
      if (job_.DBLinks->Count() == 0) job_.SetStatus(jsStop);
    });
  }
}

// ---- Tickers -------------------------------------------------------------------------------------

TTickerThread::TTickerThread(std::string name, std::chrono::milliseconds period, std::function<void()> onTick)
    : TThread(std::move(name)), period_(period), onTick_(std::move(onTick)) {}

TTickerThread::~TTickerThread() { TerminateAndWait(); }
TJobGroupThread::~TJobGroupThread() { TerminateAndWait(); }
TGlobalThread::~TGlobalThread() { TerminateAndWait(); }

void TTickerThread::Execute() {
  try {
    while (SleepUnlessTerminated(*this, period_)) RunInMainThread(onTick_);
  } catch (...) {
    // A failing tick ends the ticker quietly.
  }
}

TJobGroupThread::TJobGroupThread(TJobGroup& group, std::chrono::milliseconds period)
    : TTickerThread("JobGroup", period, [&group] { group.Tick(); }) {}

TGlobalThread::TGlobalThread(std::chrono::milliseconds period)
    : TTickerThread("Global", period, [this] {
        if (OnTimer) OnTimer(*this);
      }) {}

}  // namespace kv
