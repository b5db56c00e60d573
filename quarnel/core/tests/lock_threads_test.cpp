// Locks: re-entry, exclusion between threads, the null lock and early
// unlocking.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "quarnel/lock.h"

using ObraCommon::ZelLock;
using ObraCommon::ZelMutex;

namespace {

TEST(LockThreads, HolderMayTakeItsLockAgain) {
  ZelLock lock;
  ZelMutex outer(lock);
  {
    ZelMutex inner(lock);
    ZelMutex innermost(&lock);
  }
  ZelMutex library;
  ZelMutex libraryAgain;
}

TEST(LockThreads, CounterUnderTheLockFromFourThreads) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 50000;
  ZelLock lock;
  int counter = 0;
  int interlocked = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) {
        {
          ZelMutex guard(lock);
          ++counter;
        }
        ZelMutex::interlockedIncrement(interlocked);
        ZelMutex::interlockedDecrement(interlocked);
        ZelMutex::interlockedIncrement(interlocked);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(counter, kThreads * kRounds);
  EXPECT_EQ(interlocked, kThreads * kRounds);
}

TEST(LockThreads, NullLockLocksNothing) {
  ZelMutex guard(static_cast<ZelLock*>(nullptr));
  guard.unlock();
}

TEST(LockThreads, UnlockThenDestructionLeavesTheLockOnce) {
  ZelLock lock;
  ZelMutex outer(lock);
  {
    ZelMutex inner(lock);
    inner.unlock();
    inner.unlock();
  }  // the destructor leaves nothing more: outer still holds the lock
  std::atomic<bool> taken{false};
  std::thread other([&] {
    ZelMutex guard(lock);
    taken = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(taken.load());
  outer.unlock();
  other.join();
  EXPECT_TRUE(taken.load());
}

}  // namespace
