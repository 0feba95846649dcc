// TThread: a worker thread with the life cycle the job engine needs.
//
//   - Created suspended: nothing runs until Start. Execute (the body) runs
//     on the new thread, which carries the name given (up to 15 bytes are
//     shown by debuggers and `top -H`).
//   - Terminate only sets a flag the body polls (Terminated); stopping is
//     cooperative. It also wakes a thread parked at a suspension point.
//   - Suspension is cooperative too: Suspend asks the body to park at its
//     next SuspensionPoint (the body calls it between units of work, e.g.
//     records); Resume cancels a request not yet reached or wakes the
//     parked thread. A request and a resume that cross each other never
//     leave the thread parked for nothing: whatever comes last wins.
//   - When the body has returned (or raised: the error is kept in
//     FatalError), OnTerminate runs in the main thread (RunInMainThread)
//     while the worker waits, then the thread ends.
//   - WaitFor waits until the thread has ended; called on the main thread
//     it keeps pumping the main-thread calls meanwhile, so a worker waiting
//     for the main thread (its events, OnTerminate) cannot deadlock it.
//
// Priority: the thread runs at normal priority with an optional nice
// increment (Linux nice values apply per thread); a lowered priority never
// goes as far as SCHED_IDLE, which would starve a transfer on a busy
// machine. The object must outlive the thread: the destructor terminates,
// wakes and waits for it. A derived class whose Execute uses the derived
// class's own members calls TerminateAndWait in its own destructor.
#pragma once

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "KVLib_export.h"

namespace kv {

class KVLIB_EXPORT TThread {
public:
  // `niceIncrement` (0 or more) lowers the thread's priority by that many nice steps.
  explicit TThread(std::string name, int niceIncrement = 0);
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Starts the thread (once; later calls do nothing).
  void Start();
  void Terminate();
  bool Terminated() const noexcept { return terminated_.load(); }
  // Asks the body to park at its next suspension point.
  void Suspend();
  // Cancels a pending suspension request or wakes the parked thread; true
  // when there was one of the two.
  bool Resume();
  // A suspension is requested or the thread is parked.
  bool Suspended() const;
  // The thread is parked at a suspension point right now.
  bool Parked() const;
  // Whether Start was called, and whether the thread has ended (after OnTerminate).
  bool Started() const noexcept { return started_.load(); }
  bool Finished() const noexcept { return finished_.load(); }
  // Waits until the thread has ended (nothing when it never started; not
  // from the thread itself).
  void WaitFor();
  // Terminate, Resume, WaitFor.
  void TerminateAndWait();
  const std::string& Name() const { return name_; }
  // What the body raised (null when it returned normally); valid once Finished.
  std::exception_ptr FatalError() const { return fatalError_; }

  // Runs in the main thread after the body has ended; set it before Start.
  std::function<void(TThread& sender)> OnTerminate;

protected:
  // The body, on the new thread.
  virtual void Execute() = 0;
  // Parks while a suspension is requested and neither Resume nor Terminate came.
  void SuspensionPoint();

private:
  void ThreadMain();
  void Join();

  std::string name_;
  int nice_;
  std::thread thread_;
  std::atomic<bool> started_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> terminated_{false};
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool suspendRequested_ = false;
  bool parked_ = false;
  std::mutex joinMutex_;
  std::exception_ptr fatalError_;
};

}  // namespace kv
