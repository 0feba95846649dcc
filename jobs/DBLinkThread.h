// TDBLinkThread: the worker thread of one DB link run. Its body is the
// link's run (TDBLink::ExecuteRun), which first gives the thread a
// translator on the link's variable chain (SetAllVarList); when it has ended, the link's DoTerminate
// runs in the main thread. The link owns the thread; the thread refers to
// the link, which must outlive it (the link's destructor stops and waits
// for it).
#pragma once

#include <atomic>
#include <cstdint>

#include "KVCore_export.h"
#include "foundation/Threads.h"

namespace kv {

class TDBLink;

class KVCORE_EXPORT TDBLinkThread : public TThread {
public:
  explicit TDBLinkThread(TDBLink& link);
  ~TDBLinkThread() override;

  TDBLink& Link() const { return link_; }
  // Whole seconds elapsed in the current speed sample (updated with every record).
  int64_t SampleSeconds() const noexcept { return sampleSeconds_.load(); }
  void SetSampleSeconds(int64_t seconds) noexcept { sampleSeconds_.store(seconds); }
  // The run parks here between records while a pause is requested.
  void PauseHere() { SuspensionPoint(); }

protected:
  void Execute() override;

private:
  TDBLink& link_;
  std::atomic<int64_t> sampleSeconds_{0};
};

}  // namespace kv
