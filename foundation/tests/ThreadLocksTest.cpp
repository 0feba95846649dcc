#include "foundation/ThreadLocks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kv {
namespace {

using namespace std::chrono_literals;

TEST(ThreadLocksCriticalSection, IsRecursiveAndExcludesOtherThreads) {
  TCriticalSection cs;
  cs.Enter();
  cs.Enter();  // the owner may enter again
  bool otherGot = true;
  std::thread([&] { otherGot = cs.TryEnter(); }).join();
  EXPECT_FALSE(otherGot);
  cs.Leave();
  std::thread([&] { otherGot = cs.TryEnter(); }).join();
  EXPECT_FALSE(otherGot);  // still held once
  cs.Leave();
  std::thread([&] {
    otherGot = cs.TryEnter();
    if (otherGot) cs.Leave();
  }).join();
  EXPECT_TRUE(otherGot);
}

TEST(ThreadLocksCriticalSection, ProcessWideLockIsOneObject) {
  TCriticalSection* mine = &ThreadLock();
  TCriticalSection* theirs = nullptr;
  std::thread([&] { theirs = &ThreadLock(); }).join();
  EXPECT_EQ(mine, theirs);
  TMultiReadExclusiveWriteSynchronizer* sync = nullptr;
  std::thread([&] { sync = &ThreadProtect(); }).join();
  EXPECT_EQ(sync, &ThreadProtect());
}

TEST(ThreadLocksCriticalSection, GuardsSerialiseUpdates) {
  int counter = 0;  // deliberately not atomic: the lock must protect it
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 5000; ++i) {
        TThreadLockGuard guard;
        TThreadLockGuard nested;  // recursion through the guard too
        ++counter;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(counter, 6 * 5000);
}

TEST(ThreadLocksReadWrite, WritersAreExclusiveAndReadersShare) {
  TMultiReadExclusiveWriteSynchronizer sync;
  long a = 0, b = 0;  // always equal outside a write
  std::atomic<int> readersInside{0}, writersInside{0}, maxReaders{0};
  std::atomic<bool> broken{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        TReadGuard guard(sync);
        const int now = ++readersInside;
        int seen = maxReaders.load();
        while (now > seen && !maxReaders.compare_exchange_weak(seen, now)) {
        }
        if (writersInside.load() != 0 || a != b) broken = true;
        --readersInside;
      }
    });
  }
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 1000; ++i) {
        TWriteGuard guard(sync);
        if (++writersInside != 1 || readersInside.load() != 0) broken = true;
        ++a;
        ++b;
        --writersInside;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_FALSE(broken.load());
  EXPECT_EQ(a, 2000);
  EXPECT_EQ(b, 2000);
}

TEST(ThreadLocksReadWrite, SeveralReadersAtOnce) {
  TMultiReadExclusiveWriteSynchronizer sync;
  std::atomic<int> inside{0};
  std::atomic<bool> together{false};
  auto reader = [&] {
    TReadGuard guard(sync);
    ++inside;
    for (int i = 0; i < 500 && !together; ++i) {
      if (inside.load() == 2) together = true;
      std::this_thread::sleep_for(2ms);
    }
  };
  std::thread r1(reader), r2(reader);
  r1.join();
  r2.join();
  EXPECT_TRUE(together.load());
}

TEST(ThreadLocksReadWrite, NestingAndPromotionOnOneThread) {
  TMultiReadExclusiveWriteSynchronizer sync;
  sync.BeginRead();
  sync.BeginRead();
  EXPECT_TRUE(sync.BeginWrite());  // promotion with no other writer around
  sync.BeginRead();                // reading inside one's own write
  EXPECT_TRUE(sync.BeginWrite());
  sync.EndWrite();
  sync.EndRead();
  sync.EndWrite();
  sync.EndRead();
  sync.EndRead();
  // Fully released: another thread can write at once.
  auto other = std::async(std::launch::async, [&] {
    TWriteGuard guard(sync);
    return true;
  });
  ASSERT_EQ(other.wait_for(10s), std::future_status::ready);
  EXPECT_TRUE(other.get());
}

TEST(ThreadLocksReadWrite, UnbalancedReleasesAreIgnored) {
  TMultiReadExclusiveWriteSynchronizer sync;
  sync.EndRead();
  sync.EndWrite();
  sync.BeginWrite();
  sync.EndRead();  // not reading: ignored, the write stays
  bool otherRead = false;
  std::thread reader([&] {
    TReadGuard guard(sync);
    otherRead = true;
  });
  std::this_thread::sleep_for(50ms);
  sync.EndWrite();
  reader.join();
  EXPECT_TRUE(otherRead);
}

TEST(ThreadLocksReadWrite, TwoReadersPromotingAtOnceDoNotDeadlock) {
  TMultiReadExclusiveWriteSynchronizer sync;
  std::atomic<int> reading{0};
  auto promote = [&] {
    sync.BeginRead();
    ++reading;
    while (reading.load() < 2) std::this_thread::yield();
    const bool untouched = sync.BeginWrite();
    sync.EndWrite();
    sync.EndRead();
    return untouched;
  };
  auto f1 = std::async(std::launch::async, promote);
  auto f2 = std::async(std::launch::async, promote);
  ASSERT_EQ(f1.wait_for(10s), std::future_status::ready);
  ASSERT_EQ(f2.wait_for(10s), std::future_status::ready);
  // The one that waited saw the other's write.
  EXPECT_NE(f1.get(), f2.get());
}

TEST(ThreadLocksReadWrite, WaitingWriterGoesBeforeNewReaders) {
  TMultiReadExclusiveWriteSynchronizer sync;
  std::mutex orderMutex;
  std::vector<std::string> order;
  auto note = [&](const char* what) {
    std::lock_guard<std::mutex> lock(orderMutex);
    order.push_back(what);
  };
  sync.BeginRead();
  std::thread writer([&] {
    TWriteGuard guard(sync);
    note("write");
  });
  std::this_thread::sleep_for(200ms);  // let the writer start waiting
  std::thread reader([&] {
    TReadGuard guard(sync);
    note("read");
  });
  std::this_thread::sleep_for(100ms);
  {
    std::lock_guard<std::mutex> lock(orderMutex);
    EXPECT_TRUE(order.empty());
  }
  sync.EndRead();
  writer.join();
  reader.join();
  EXPECT_EQ(order, (std::vector<std::string>{"write", "read"}));
}

}  // namespace
}  // namespace kv
