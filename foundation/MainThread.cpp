#include "foundation/MainThread.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

namespace kv {

IMainThreadDispatcher::~IMainThreadDispatcher() = default;

namespace {

// The queue the headless main thread empties when it pumps.
class THeadlessDispatcher final : public IMainThreadDispatcher {
public:
  void Post(std::function<void()> call) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      calls_.push_back(std::move(call));
    }
    arrived_.notify_all();
  }

  int ProcessPending() override {
    int ran = 0;
    for (;;) {
      std::function<void()> call;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (calls_.empty()) return ran;
        call = std::move(calls_.front());
        calls_.pop_front();
      }
      call();
      ++ran;
    }
  }

  void WaitForCalls(std::chrono::milliseconds timeout) override {
    std::unique_lock<std::mutex> lock(mutex_);
    arrived_.wait_for(lock, timeout, [this] { return !calls_.empty(); });
  }

private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<std::function<void()>> calls_;
};

THeadlessDispatcher& Headless() {
  static THeadlessDispatcher* dispatcher = new THeadlessDispatcher;  // lives until the process ends
  return *dispatcher;
}

std::atomic<IMainThreadDispatcher*> g_dispatcher{nullptr};
std::thread::id g_mainThread = std::this_thread::get_id();
std::mutex g_mainThreadMutex;

// One handed-over call and its outcome.
struct THandOver {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  std::exception_ptr error;

  void Finish(std::exception_ptr e) {
    {
      // The error moves over whole: only the caller's thread keeps (and
      // finally frees) the exception.
      std::lock_guard<std::mutex> lock(mutex);
      error = std::move(e);
      finished = true;
    }
    done.notify_all();
  }
};

// Held only by the copies of the handed-over call: when the last copy goes
// without the call having run (a dispatcher that drops calls while the
// program closes), the waiting caller is released.
struct TDropGuard {
  explicit TDropGuard(std::shared_ptr<THandOver> h) : handOver(std::move(h)) {}
  ~TDropGuard() {
    if (!ran) handOver->Finish(nullptr);
  }
  std::shared_ptr<THandOver> handOver;
  bool ran = false;
};

constexpr std::chrono::milliseconds kPumpSlice{10};

}  // namespace

bool IsMainThread() noexcept {
  std::lock_guard<std::mutex> lock(g_mainThreadMutex);
  return g_mainThread == std::this_thread::get_id();
}

void SetMainThread() noexcept {
  std::lock_guard<std::mutex> lock(g_mainThreadMutex);
  g_mainThread = std::this_thread::get_id();
}

IMainThreadDispatcher* SetMainThreadDispatcher(IMainThreadDispatcher* dispatcher) {
  return g_dispatcher.exchange(dispatcher);
}

IMainThreadDispatcher& MainThreadDispatcher() {
  IMainThreadDispatcher* d = g_dispatcher.load();
  return d ? *d : Headless();
}

void RunInMainThread(const std::function<void()>& call) {
  if (IsMainThread()) {
    call();
    return;
  }
  auto handOver = std::make_shared<THandOver>();
  // Only the handed-over call holds the guard (no copy stays here).
  MainThreadDispatcher().Post([guard = std::make_shared<TDropGuard>(handOver), &call] {
    guard->ran = true;
    std::exception_ptr error;
    try {
      call();
    } catch (...) {
      error = std::current_exception();
    }
    guard->handOver->Finish(std::move(error));
  });
  std::exception_ptr error;
  {
    std::unique_lock<std::mutex> lock(handOver->mutex);
    handOver->done.wait(lock, [&] { return handOver->finished; });
    error = std::move(handOver->error);
  }
  if (error) std::rethrow_exception(error);
}

int PumpMainThread() { return MainThreadDispatcher().ProcessPending(); }

void PumpMainThreadFor(std::chrono::milliseconds timeout) {
  PumpMainThreadUntil([] { return false; }, timeout);
}

bool PumpMainThreadUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point end = Clock::now() + timeout;
  IMainThreadDispatcher& dispatcher = MainThreadDispatcher();
  for (;;) {
    dispatcher.ProcessPending();
    if (done()) return true;
    const Clock::time_point now = Clock::now();
    if (now >= end) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now);
    dispatcher.WaitForCalls(std::min(left + std::chrono::milliseconds(1), kPumpSlice));
  }
}

}  // namespace kv
