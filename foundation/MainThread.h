// The main thread and the calls other threads hand over to it.
//
// Worker threads (the runs of DB links and jobs) never touch the user
// interface or the objects the user interface reads: they hand such work to
// the main thread and wait until it has run there (RunInMainThread). What
// "handing over" means depends on the program: the GUI installs a
// dispatcher that posts the call into its event loop; until one is
// installed, the headless dispatcher keeps a queue that the main thread
// empties whenever it pumps (PumpMainThread, PumpMainThreadFor,
// PumpMainThreadUntil), as vandrel-cli and the tests do. A main thread
// that waits for a worker must keep pumping (TThread::WaitFor does), or a
// worker waiting for it would wait forever.
//
// The main thread is the thread that loaded the library, unless a program
// names another one with SetMainThread before starting any worker.
#pragma once

#include <chrono>
#include <functional>

#include "KVLib_export.h"

namespace kv {

class KVLIB_EXPORT IMainThreadDispatcher {
public:
  virtual ~IMainThreadDispatcher();
  // Hands `call` to the main thread and returns at once (any thread). The
  // call runs at most once, on the main thread; it never raises. A
  // dispatcher that has stopped accepting calls (a program closing) drops
  // the call instead of running it.
  virtual void Post(std::function<void()> call) = 0;
  // Runs the calls handed over so far (main thread only); how many ran.
  virtual int ProcessPending() = 0;
  // Waits until a call is handed over or `timeout` has passed (main thread only).
  virtual void WaitForCalls(std::chrono::milliseconds timeout) = 0;
};

// Whether the calling thread is the main thread.
KVLIB_EXPORT bool IsMainThread() noexcept;
// Makes the calling thread the main thread.
KVLIB_EXPORT void SetMainThread() noexcept;

// Runs `call` on the main thread and returns when it has run: at once when
// called there, else handed over while the caller waits. An exception the
// call raises is raised again in the caller. When the dispatcher drops the
// call (it has stopped accepting calls), returns without it having run.
KVLIB_EXPORT void RunInMainThread(const std::function<void()>& call);

// Installs `dispatcher` (not owned; it must outlive its use; null restores
// the headless one) and returns the one it replaces (null for the headless).
// Install it before any worker starts.
KVLIB_EXPORT IMainThreadDispatcher* SetMainThreadDispatcher(IMainThreadDispatcher* dispatcher);
KVLIB_EXPORT IMainThreadDispatcher& MainThreadDispatcher();

// Pumping (main thread only). PumpMainThread runs what is queued now;
// PumpMainThreadFor keeps running calls for `timeout`; PumpMainThreadUntil
// runs calls until `done` holds (checked after every call and at least
// every 10 ms) or `timeout` has passed, and answers whether `done` holds.
KVLIB_EXPORT int PumpMainThread();
KVLIB_EXPORT void PumpMainThreadFor(std::chrono::milliseconds timeout);
KVLIB_EXPORT bool PumpMainThreadUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

}  // namespace kv
