#include "jobs/DBLinkThread.h"

#include "environment/CoreMessages.h"
#include "foundation/DateUtils.h"
#include "foundation/Exceptions.h"
#include "foundation/Format.h"
#include "jobs/DBLink.h"

namespace kv {

TDBLinkThread::TDBLinkThread(TDBLink& link) : TThread("DBLink " + link.Name), link_(link) {}

TDBLinkThread::~TDBLinkThread() { TerminateAndWait(); }

// ExecuteRun gives this thread its translator (SetAllVarList) first.
void TDBLinkThread::Execute() { link_.ExecuteRun(*this); }

// ---- The link's commands (main thread) -------------------------------------------------------

void TDBLink::Execute() {
  if (thread_) return;
  oldThread_.reset();
  RunTime = Now();
  SetStatus(jsStart);
  thread_ = std::make_unique<TDBLinkThread>(*this);
  thread_->OnTerminate = [this](TThread&) { DoTerminate(); };
  thread_->Start();
}

void TDBLink::Run() {
  SetRunOperate(roRun);
  if (!thread_) {
    Execute();
  } else if (thread_->Suspended()) {
    SetStatus(jsRunning);
    thread_->Resume();
  }
}

void TDBLink::DebugGo() {
  SetRunOperate(roDebugGo);
  if (!thread_) {
    Execute();
  } else if (thread_->Suspended()) {
    thread_->Resume();
  }
}

void TDBLink::Step() {
  SetRunOperate(roDebugStep);
  if (!thread_) {
    Execute();
  } else if (thread_->Suspended()) {
    thread_->Resume();
  }
}

void TDBLink::Pause() {
  if (!IsRunning()) return;
  SetStatus(jsPause);
  if (thread_ && !thread_->Suspended()) thread_->Suspend();
}

void TDBLink::Stop() {
  if (!IsRunning()) return;
  SetStatus(jsStop);
  if (thread_) thread_->Terminate();
}

void TDBLink::SetStatus(TJobStatus status) {
  if (status_.exchange(status) == status) return;
  if (status == jsStop || status == jsOk || status == jsError) started_.store(false);
  DoStatusEvent();
  DoIntelStatusEvent();
}

void TDBLink::DoTerminate() {
  try {
    // Error data that no run prepared (a run that failed before opening its
    // datasets) would replace the records an earlier run saved with nothing.
    if (errorData_->Active()) SaveErrorDataToFile(GetErrorDataFileName());
  } catch (const std::exception& e) {
    const auto* k = dynamic_cast<const Exception*>(&e);
    AddLog(ltError, Format(SDBLinkErrorMsg.c_str(), Name, k ? k->Message() : std::string(e.what())));
  }
  // The thread object lives on (its thread is just ending) until the next Execute or the link's end.
  oldThread_ = std::move(thread_);
}

void TDBLink::WaitFor() {
  if (TDBLinkThread* thread = thread_.get()) thread->WaitFor();
}

}  // namespace kv
