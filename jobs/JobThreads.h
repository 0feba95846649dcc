// The threads of running jobs and the two one-second tickers.
//
//   - TJobThread: one per running job. Its body runs the job's
//     before-execute expression and event, starts the job's DB links, then
//     checks the job once per period (one second by default): it raises
//     the job's OnTimer, ends when the job has ended (jsStop, jsOk,
//     jsError) or has no DB link (the job becomes jsStop). The job owns
//     the thread; the thread refers to the job, which must outlive it.
//   - TTickerThread: calls a handler in the main thread once per period
//     until told to end; a failure of the handler ends the ticker quietly.
//     TJobGroupThread (the job group's: CalSpeedValue and OnTimer of the
//     group) and TGlobalThread (the program's: its OnTimer) are tickers.
//
// Every wait of these threads is cut short by Terminate, so a thread told
// to end is gone within a few milliseconds, whatever its period.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

#include "KVCore_export.h"
#include "foundation/Threads.h"

namespace kv {

class TJob;
class TJobGroup;

// The period of the job thread's check and of both tickers.
inline constexpr std::chrono::milliseconds kDefaultTickPeriod{1000};

class KVCORE_EXPORT TJobThread : public TThread {
public:
  // `period`: how often the thread checks its job.
  explicit TJobThread(TJob& job, std::chrono::milliseconds period = kDefaultTickPeriod);
  ~TJobThread() override;
  TJob& Job() const { return job_; }

protected:
  void Execute() override;

private:
  void Loop();
  TJob& job_;
  std::chrono::milliseconds period_;
};

// Waits `period` on the calling worker thread, in short slices; false as
// soon as `thread` is told to end.
KVCORE_EXPORT bool SleepUnlessTerminated(const TThread& thread, std::chrono::milliseconds period);

// Calls its handler in the main thread every period until it is told to end.
class KVCORE_EXPORT TTickerThread : public TThread {
public:
  // `onTick` runs in the main thread; it is set for the thread's life.
  TTickerThread(std::string name, std::chrono::milliseconds period, std::function<void()> onTick);
  ~TTickerThread() override;

protected:
  void Execute() override;

private:
  std::chrono::milliseconds period_;
  std::function<void()> onTick_;
};

// The job group's ticker: every period, in the main thread, CalSpeedValue
// of the group and then the group's OnTimer (sender: the group), both only
// while the group's OnTimer is set. The group must outlive the ticker.
class KVCORE_EXPORT TJobGroupThread : public TTickerThread {
public:
  explicit TJobGroupThread(TJobGroup& group, std::chrono::milliseconds period = kDefaultTickPeriod);
  // Ends the thread before any part of the object goes (its virtual calls
  // would otherwise meet the destructors' vtable changes).
  ~TJobGroupThread() override;
};

// The program's one-second ticker: every period, in the main thread, its
// OnTimer when set (set it before Start; the handler gets the ticker).
class KVCORE_EXPORT TGlobalThread : public TTickerThread {
public:
  explicit TGlobalThread(std::chrono::milliseconds period = kDefaultTickPeriod);
  ~TGlobalThread() override;  // ends the thread first, as TJobGroupThread
  std::function<void(TGlobalThread& sender)> OnTimer;
};

// The program's global ticker, made and started by the program's host
// (the main window, `vandrel-cli schedule`); owned by this variable.
// Stop it (reset) before the objects its handler uses go away.
extern KVCORE_EXPORT std::unique_ptr<TGlobalThread> GlobalThread;

}  // namespace kv
