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

}  // namespace
}  // namespace zrpal
