// The main-thread dispatcher (headless pump and an installed one) and the
// worker thread class: created suspended, cooperative suspension and
// termination, the end handler in the main thread, WaitFor pumping.
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "foundation/Exceptions.h"
#include "foundation/MainThread.h"
#include "foundation/Threads.h"

using namespace kv;

namespace {

constexpr std::chrono::seconds kPatience{30};

// A thread whose body is a function of the test.
class FnThread : public TThread {
public:
  explicit FnThread(std::function<void(FnThread&)> body, std::string name = "test")
      : TThread(std::move(name)), body_(std::move(body)) {}
  ~FnThread() override { TerminateAndWait(); }
  void Park() { SuspensionPoint(); }

protected:
  void Execute() override { body_(*this); }

private:
  std::function<void(FnThread&)> body_;
};

}  // namespace

TEST(MainThread, CallsFromTheMainThreadRunAtOnce) {
  EXPECT_TRUE(IsMainThread());
  bool ran = false;
  RunInMainThread([&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_THROW(RunInMainThread([] { throw EConvertError("bad"); }), EConvertError);
}

TEST(MainThread, AWorkerWaitsUntilTheMainThreadPumpsItsCall) {
  std::atomic<bool> onMain{false};
  std::atomic<bool> returned{false};
  std::string error;
  std::thread worker([&] {
    EXPECT_FALSE(IsMainThread());
    RunInMainThread([&] { onMain = IsMainThread(); });
    try {
      RunInMainThread([] { throw EConvertError("refused in main"); });
    } catch (const EConvertError& e) {
      error = e.Message();
    }
    returned = true;
  });
  ASSERT_TRUE(PumpMainThreadUntil([&] { return returned.load(); }, kPatience));
  worker.join();
  EXPECT_TRUE(onMain);
  EXPECT_EQ(error, "refused in main") << "the exception travels back to the worker";
}

TEST(MainThread, PumpUntilAnswersFalseWhenNothingHappens) {
  EXPECT_FALSE(PumpMainThreadUntil([] { return false; }, std::chrono::milliseconds(20)));
  EXPECT_EQ(PumpMainThread(), 0);
}

namespace {
// A dispatcher of the test: a queue it empties itself, counting the calls.
class CountingDispatcher : public IMainThreadDispatcher {
public:
  void Post(std::function<void()> call) override {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(std::move(call));
    ++posted;
  }
  int ProcessPending() override {
    int n = 0;
    for (;;) {
      std::function<void()> call;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (calls_.empty()) return n;
        call = std::move(calls_.front());
        calls_.pop_front();
      }
      call();
      ++n;
    }
  }
  void WaitForCalls(std::chrono::milliseconds timeout) override { std::this_thread::sleep_for(timeout / 10); }
  std::atomic<int> posted{0};

private:
  std::mutex mutex_;
  std::deque<std::function<void()>> calls_;
};
}  // namespace

TEST(MainThread, AnInstalledDispatcherCarriesTheCalls) {
  CountingDispatcher mine;
  EXPECT_EQ(SetMainThreadDispatcher(&mine), nullptr);
  std::atomic<bool> done{false};
  std::thread worker([&] {
    RunInMainThread([] {});
    done = true;
  });
  EXPECT_TRUE(PumpMainThreadUntil([&] { return done.load(); }, kPatience));
  worker.join();
  EXPECT_EQ(SetMainThreadDispatcher(nullptr), &mine);
  EXPECT_EQ(mine.posted, 1);
}

namespace {
// A dispatcher that has stopped accepting calls: it drops each one.
class DroppingDispatcher : public IMainThreadDispatcher {
public:
  void Post(std::function<void()> call) override {
    call = nullptr;
    ++dropped;
  }
  int ProcessPending() override { return 0; }
  void WaitForCalls(std::chrono::milliseconds timeout) override { std::this_thread::sleep_for(timeout / 10); }
  std::atomic<int> dropped{0};
};
}  // namespace

TEST(MainThread, ADroppedCallReleasesTheWaitingWorkerWithoutRunning) {
  DroppingDispatcher closing;
  SetMainThreadDispatcher(&closing);
  std::atomic<bool> ran{false};
  std::thread worker([&] { RunInMainThread([&] { ran = true; }); });
  worker.join();  // would hang if the dropped call kept the worker waiting
  SetMainThreadDispatcher(nullptr);
  EXPECT_FALSE(ran);
  EXPECT_EQ(closing.dropped, 1);
}

TEST(Threads, CreatedSuspendedNamedAndEndedInTheMainThread) {
  std::atomic<int> runs{0};
  std::string name;
  bool endOnMain = false;
  FnThread t(
      [&](FnThread&) {
        ++runs;
        char buffer[32] = {};
        pthread_getname_np(pthread_self(), buffer, sizeof buffer);
        name = buffer;
      },
      "a-very-long-thread-name");
  t.OnTerminate = [&](TThread& sender) {
    endOnMain = IsMainThread() && &sender == &t;
  };
  EXPECT_FALSE(t.Started());
  EXPECT_EQ(runs, 0);
  t.Start();
  t.Start();
  t.WaitFor();
  EXPECT_TRUE(t.Finished());
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(name, "a-very-long-thr") << "cut to the 15 bytes the system keeps";
  EXPECT_TRUE(endOnMain);
  EXPECT_EQ(t.FatalError(), nullptr);
}

TEST(Threads, TheBodysErrorIsKept) {
  FnThread t([](FnThread&) { throw EConvertError("body failed"); });
  t.Start();
  t.WaitFor();
  ASSERT_NE(t.FatalError(), nullptr);
  EXPECT_THROW(std::rethrow_exception(t.FatalError()), EConvertError);
}

TEST(Threads, SuspensionIsCooperativeAndResumeWinsOverALateRequest) {
  std::atomic<int> units{0};
  FnThread t([&](FnThread& self) {
    while (!self.Terminated()) {
      ++units;
      self.Park();
      std::this_thread::yield();
    }
  });
  t.Start();
  t.Suspend();
  ASSERT_TRUE(PumpMainThreadUntil([&] { return t.Parked(); }, kPatience));
  const int parkedAt = units;
  EXPECT_TRUE(t.Suspended());
  EXPECT_TRUE(t.Resume());
  ASSERT_TRUE(PumpMainThreadUntil([&] { return units > parkedAt; }, kPatience));
  // A request cancelled before the body reaches its suspension point.
  t.Suspend();
  EXPECT_TRUE(t.Resume());
  EXPECT_FALSE(t.Resume()) << "nothing left to resume";
  t.Terminate();
  t.WaitFor();
  EXPECT_TRUE(t.Finished());
}

TEST(Threads, TerminateWakesAParkedThread) {
  FnThread t([](FnThread& self) {
    self.Suspend();
    self.Park();
  });
  t.Start();
  ASSERT_TRUE(PumpMainThreadUntil([&] { return t.Parked(); }, kPatience));
  t.Terminate();
  t.WaitFor();
  EXPECT_TRUE(t.Terminated());
  EXPECT_TRUE(t.Finished());
}

TEST(Threads, WaitForFromTheMainThreadServesAWorkerWaitingForIt) {
  int calls = 0;
  FnThread t([&](FnThread&) {
    for (int i = 0; i < 100; ++i) RunInMainThread([&] { ++calls; });
  });
  t.Start();
  t.WaitFor();
  EXPECT_EQ(calls, 100);
}

TEST(Threads, ANeverStartedThreadGoesQuietly) {
  bool ran = false;
  {
    FnThread t([&](FnThread&) { ran = true; });
    t.WaitFor();
  }
  EXPECT_FALSE(ran);
}
