// The main-thread dispatcher of the desktop program: worker threads hand
// their calls to the GUI thread's event loop.
//
// Calls are queued here and a queued Qt event on a QObject living in the GUI
// thread runs them; ProcessPending (used by a GUI thread that waits for a
// worker, see TThread::WaitFor) runs them directly without entering the
// event loop. Shutdown stops accepting calls: every queued call is dropped
// and every later one too, which releases the workers waiting for them
// (RunInMainThread returns without the call having run), so closing the
// program cannot deadlock on a worker that waits for the GUI.
#pragma once

#include <QObject>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "KVEditorLib_export.h"
#include "foundation/MainThread.h"

namespace kv {

class KVEDITORLIB_EXPORT TQtMainThreadDispatcher final : public QObject, public IMainThreadDispatcher {
  Q_OBJECT
public:
  // Must be created in the GUI thread (the object lives there).
  explicit TQtMainThreadDispatcher(QObject* parent = nullptr);
  ~TQtMainThreadDispatcher() override;

  void Post(std::function<void()> call) override;
  int ProcessPending() override;
  void WaitForCalls(std::chrono::milliseconds timeout) override;

  // Drops what is queued and refuses every later call (any thread).
  void Shutdown();
  bool IsShutDown() const;
  // How many calls wait to run (any thread).
  int PendingCount() const;

private:
  void RunQueued();

  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<std::function<void()>> calls_;
  bool shutDown_ = false;
  bool wakePosted_ = false;
};

// Installs a dispatcher for the GUI thread (the calling thread becomes the
// main thread) and removes it again when the scope ends, after shutting it
// down. One per program, created after the QApplication.
class KVEDITORLIB_EXPORT TQtMainThreadScope {
public:
  TQtMainThreadScope();
  ~TQtMainThreadScope();
  TQtMainThreadScope(const TQtMainThreadScope&) = delete;
  TQtMainThreadScope& operator=(const TQtMainThreadScope&) = delete;
  TQtMainThreadDispatcher& Dispatcher() { return dispatcher_; }

private:
  TQtMainThreadDispatcher dispatcher_;
  IMainThreadDispatcher* previous_;
};

}  // namespace kv
