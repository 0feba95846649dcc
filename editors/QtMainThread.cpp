#include "editors/QtMainThread.h"

#include <QMetaObject>

namespace kv {

TQtMainThreadDispatcher::TQtMainThreadDispatcher(QObject* parent) : QObject(parent) {}

TQtMainThreadDispatcher::~TQtMainThreadDispatcher() { Shutdown(); }

void TQtMainThreadDispatcher::Post(std::function<void()> call) {
  bool accepted = false;
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!shutDown_) {
      calls_.push_back(std::move(call));
      accepted = true;
      wake = !wakePosted_;
      wakePosted_ = true;
    }
  }
  if (!accepted) return;  // the refused call is destroyed here, outside the lock: its caller is released
  arrived_.notify_all();
  if (wake) QMetaObject::invokeMethod(this, [this] { RunQueued(); }, Qt::QueuedConnection);
}

void TQtMainThreadDispatcher::RunQueued() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    wakePosted_ = false;
  }
  ProcessPending();
}

int TQtMainThreadDispatcher::ProcessPending() {
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

void TQtMainThreadDispatcher::WaitForCalls(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  arrived_.wait_for(lock, timeout, [this] { return !calls_.empty() || shutDown_; });
}

void TQtMainThreadDispatcher::Shutdown() {
  std::deque<std::function<void()>> dropped;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    shutDown_ = true;
    dropped.swap(calls_);
  }
  arrived_.notify_all();
  // `dropped` goes here, outside the lock: each call's waiting worker is released.
}

bool TQtMainThreadDispatcher::IsShutDown() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return shutDown_;
}

int TQtMainThreadDispatcher::PendingCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(calls_.size());
}

TQtMainThreadScope::TQtMainThreadScope() {
  SetMainThread();
  previous_ = SetMainThreadDispatcher(&dispatcher_);
}

TQtMainThreadScope::~TQtMainThreadScope() {
  dispatcher_.Shutdown();
  SetMainThreadDispatcher(previous_);
}

}  // namespace kv
