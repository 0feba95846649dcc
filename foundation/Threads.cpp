#include "foundation/Threads.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "foundation/MainThread.h"

namespace kv {

namespace {
constexpr size_t kMaxThreadName = 15;  // pthread_setname_np's limit without the terminating zero
constexpr std::chrono::milliseconds kWaitSlice{10};
}  // namespace

TThread::TThread(std::string name, int niceIncrement) : name_(std::move(name)), nice_(niceIncrement) {}

TThread::~TThread() { TerminateAndWait(); }

void TThread::Start() {
  if (started_.exchange(true)) return;
  thread_ = std::thread([this] { ThreadMain(); });
}

void TThread::ThreadMain() {
  pthread_setname_np(pthread_self(), name_.substr(0, kMaxThreadName).c_str());
  if (nice_ > 0) {
    // Failing to lower the priority is harmless: the thread runs at normal priority.
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), nice_);
  }
  try {
    Execute();
  } catch (...) {
    fatalError_ = std::current_exception();
  }
  if (OnTerminate) {
    try {
      RunInMainThread([this] { OnTerminate(*this); });
    } catch (...) {
      if (!fatalError_) fatalError_ = std::current_exception();
    }
  }
  finished_.store(true);
  changed_.notify_all();
}

void TThread::Terminate() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    terminated_.store(true);
  }
  changed_.notify_all();
}

void TThread::Suspend() {
  std::lock_guard<std::mutex> lock(mutex_);
  suspendRequested_ = true;
}

bool TThread::Resume() {
  bool was = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    was = suspendRequested_ || parked_;
    suspendRequested_ = false;
    // A parked body is released now, even before it wakes: a second Resume
    // finds nothing left to resume.
    parked_ = false;
  }
  changed_.notify_all();
  return was;
}

bool TThread::Suspended() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return suspendRequested_ || parked_;
}

bool TThread::Parked() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return parked_;
}

void TThread::SuspensionPoint() {
  std::unique_lock<std::mutex> lock(mutex_);
  // Parked again after every wake that finds the request standing (a new
  // Suspend may come between a Resume and the wake).
  while (suspendRequested_ && !terminated_.load()) {
    parked_ = true;
    changed_.wait(lock);
  }
  parked_ = false;
}

void TThread::WaitFor() {
  if (!started_.load() || std::this_thread::get_id() == thread_.get_id()) return;
  if (IsMainThread()) {
    IMainThreadDispatcher& dispatcher = MainThreadDispatcher();
    while (!finished_.load()) {
      dispatcher.ProcessPending();
      if (finished_.load()) break;
      dispatcher.WaitForCalls(kWaitSlice);
    }
  }
  Join();
}

void TThread::Join() {
  std::lock_guard<std::mutex> lock(joinMutex_);
  if (thread_.joinable()) thread_.join();
}

void TThread::TerminateAndWait() {
  Terminate();
  Resume();
  WaitFor();
}

}  // namespace kv
