// Critical sections: recursion, ownership, exclusion between threads.
#include "pal/sync.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace zrpal {
namespace {

// A zero-filled section needs no initialisation. Another thread failing to
// enter also shows that thread tokens differ between threads.
TEST(CriticalSection, IsRecursiveAndOwnedByOneThread) {
  static constinit CRITICAL_SECTION cs{};
  EXPECT_FALSE(CriticalSectionIsOwned(&cs));
  EnterCriticalSection(&cs);
  EnterCriticalSection(&cs);
  EXPECT_TRUE(TryEnterCriticalSection(&cs));
  EXPECT_TRUE(CriticalSectionIsOwned(&cs));
  EXPECT_EQ(cs.RecursionCount, 3);
  bool otherEntered = true, otherOwns = true;
  std::thread([&] { otherEntered = TryEnterCriticalSection(&cs), otherOwns = CriticalSectionIsOwned(&cs); }).join();
  EXPECT_FALSE(otherEntered);
  EXPECT_FALSE(otherOwns);
  LeaveCriticalSection(&cs);
  LeaveCriticalSection(&cs);
  EXPECT_TRUE(CriticalSectionIsOwned(&cs));
  LeaveCriticalSection(&cs);
  EXPECT_FALSE(CriticalSectionIsOwned(&cs));
  std::thread([&] {
    if ((otherEntered = TryEnterCriticalSection(&cs))) LeaveCriticalSection(&cs);
  }).join();
  EXPECT_TRUE(otherEntered);
}

// Threads enter, sometimes recursively, and update unguarded state: a lost
// update means two threads were inside at once. Waiters sleep on the lock,
// so this also drives the contended path.
TEST(CriticalSection, ExcludesOtherThreads) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  constexpr int kThreads = 4, kRounds = 50000;
  long counter = 0;
  int inside = 0, overlaps = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i) {
        EnterCriticalSection(&cs);
        overlaps += ++inside != 1;
        const bool twice = (i + t) % 7 == 0;
        if (twice) EnterCriticalSection(&cs);
        ++counter;
        if (twice) LeaveCriticalSection(&cs);
        if (i % 1000 == 0) std::this_thread::yield();  // let others queue up
        --inside;
        LeaveCriticalSection(&cs);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(counter, static_cast<long>(kThreads) * kRounds);
  EXPECT_EQ(overlaps, 0);
  EXPECT_EQ(cs.LockState.load(), 0);
  DeleteCriticalSection(&cs);
}

}  // namespace
}  // namespace zrpal
