// Private heaps: Win32 semantics, size classes, failure paths and threads.
#include "pal/heap.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "pal/error.h"
#include "pal/fault.h"
#include "pal/heap_blocks.h"
#include "pal/posix/syscalls.h"

namespace zrpal {
namespace {

// A heap destroyed at the end of the scope.
class ScopedHeap {
 public:
  explicit ScopedHeap(DWORD options = 0) : h_(HeapCreate(options, 0, 0)) {}
  ~ScopedHeap() {
    if (h_) HeapDestroy(h_);
  }
  ScopedHeap(const ScopedHeap&) = delete;
  ScopedHeap& operator=(const ScopedHeap&) = delete;
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

bool AllZero(const void* p, size_t n) {
  const auto* b = static_cast<const unsigned char*>(p);
  for (size_t i = 0; i < n; ++i)
    if (b[i] != 0) return false;
  return true;
}

const SIZE_T kSizes[] = {0, 1, 15, 16, 17, 100, 240, 241, 256, 1000, 4096, 4104, 32752, 32753, 100000, 1 << 20};

TEST(SizeClasses, EachSlotGetsTheSmallestClassThatHoldsIt) {
  for (SIZE_T slot = 1; slot <= heap::kMaxSmallSlot; ++slot) {
    const unsigned cls = heap::ClassOfSlot(slot);
    ASSERT_LT(cls, heap::kClassCount) << slot;
    ASSERT_GE(heap::SlotBytes(cls), slot) << slot;
    if (cls > 0) {
      ASSERT_LT(heap::SlotBytes(cls - 1), slot) << slot;
    }
  }
  for (unsigned cls = 0; cls < heap::kClassCount; ++cls) {
    EXPECT_EQ(heap::SlotBytes(cls) % heap::kAlignment, 0u) << cls;
    if (cls > 0) {
      EXPECT_GT(heap::SlotBytes(cls), heap::SlotBytes(cls - 1)) << cls;
    }
    EXPECT_GE(heap::BatchOf(cls), 1u);
  }
}

TEST(PalHeap, SizeAlignmentAndZeroFill) {
  for (DWORD options : {DWORD{0}, HEAP_NO_SERIALIZE}) {
    ScopedHeap heap(options);
    ASSERT_NE(heap.get(), nullptr);
    for (SIZE_T size : kSizes) {
      SCOPED_TRACE(testing::Message() << "options " << options << " size " << size);
      auto* dirty = static_cast<unsigned char*>(HeapAlloc(heap.get(), 0, size));
      ASSERT_NE(dirty, nullptr);
      std::memset(dirty, 0xEE, size);
      ASSERT_TRUE(HeapFree(heap.get(), 0, dirty));
      void* p = HeapAlloc(heap.get(), HEAP_ZERO_MEMORY, size);
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 16, 0u);
      EXPECT_EQ(HeapSize(heap.get(), 0, p), size);
      EXPECT_TRUE(AllZero(p, size));
      EXPECT_TRUE(HeapFree(heap.get(), 0, p));
    }
  }
}

TEST(PalHeap, UnknownFlagsAreRefused) {
  ScopedHeap heap;
  void* block = HeapAlloc(heap.get(), 0, 10);
  const DWORD bad[] = {HEAP_GENERATE_EXCEPTIONS, 0x20, 0x40000, 0x80000000};
  for (DWORD flag : bad) {
    SCOPED_TRACE(flag);
    SetLastError(0);
    EXPECT_EQ(HeapCreate(flag, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SetLastError(0);
    EXPECT_EQ(HeapAlloc(heap.get(), flag, 10), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SetLastError(0);
    EXPECT_EQ(HeapReAlloc(heap.get(), flag, block, 20), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(HeapFree(heap.get(), flag | HEAP_ZERO_MEMORY, block));
    EXPECT_EQ(HeapSize(heap.get(), flag | HEAP_ZERO_MEMORY, block), static_cast<SIZE_T>(-1));
  }
  // The block survived every refused call.
  EXPECT_EQ(HeapSize(heap.get(), HEAP_NO_SERIALIZE, block), 10u);
  EXPECT_FALSE(HeapAlloc(heap.get(), HEAP_REALLOC_IN_PLACE_ONLY, 10));
  EXPECT_EQ(HeapCreate(0, 0, 1 << 20), nullptr);  // fixed-size heaps are not offered
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(HeapFree(heap.get(), 0, block));
}

TEST(PalHeap, BadHandlesAndBlocks) {
  ScopedHeap a;
  ScopedHeap b;
  void* block = HeapAlloc(a.get(), 0, 24);
  EXPECT_EQ(HeapAlloc(nullptr, 0, 8), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  // A block of another heap is refused and stays alive.
  EXPECT_FALSE(HeapFree(b.get(), 0, block));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(HeapSize(b.get(), 0, block), static_cast<SIZE_T>(-1));
  EXPECT_EQ(HeapReAlloc(b.get(), 0, block, 48), nullptr);
  EXPECT_EQ(HeapSize(a.get(), 0, block), 24u);
  EXPECT_EQ(HeapReAlloc(a.get(), 0, nullptr, 48), nullptr);
  EXPECT_TRUE(HeapFree(a.get(), 0, nullptr));
  EXPECT_TRUE(HeapFree(a.get(), 0, block));
  // Freeing it again is seen.
  EXPECT_FALSE(HeapFree(a.get(), 0, block));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(HeapDestroy(GetProcessHeap()));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  // A destroyed heap's handle is refused.
  HANDLE gone = HeapCreate(0, 0, 0);
  ASSERT_TRUE(HeapDestroy(gone));
  EXPECT_EQ(HeapAlloc(gone, 0, 8), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(HeapDestroy(gone));
  EXPECT_EQ(HeapAlloc(a.get(), 0, heap::kMaxRequest + 1), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
}

TEST(PalHeap, ReAllocKeepsContentAndZerosOnlyTheGrowth) {
  ScopedHeap heap;
  struct Case {
    SIZE_T from, to;
  } cases[] = {{10, 20}, {20, 10}, {100, 3000}, {3000, 100}, {200, 50000}, {50000, 60000}, {60000, 40}, {0, 17}};
  for (DWORD zero : {DWORD{0}, HEAP_ZERO_MEMORY}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << c.from << " -> " << c.to << " zero " << zero);
      auto* p = static_cast<unsigned char*>(HeapAlloc(heap.get(), 0, c.from));
      for (SIZE_T i = 0; i < c.from; ++i) p[i] = static_cast<unsigned char>(i % 251 + 1);
      auto* q = static_cast<unsigned char*>(HeapReAlloc(heap.get(), zero, p, c.to));
      ASSERT_NE(q, nullptr);
      EXPECT_EQ(HeapSize(heap.get(), 0, q), c.to);
      const SIZE_T kept = c.from < c.to ? c.from : c.to;
      for (SIZE_T i = 0; i < kept; ++i) ASSERT_EQ(q[i], static_cast<unsigned char>(i % 251 + 1)) << i;
      if (zero) {
        EXPECT_TRUE(AllZero(q + kept, c.to - kept));
      }
      std::memset(q, 0x11, c.to);
      EXPECT_TRUE(HeapFree(heap.get(), 0, q));
    }
  }
}

TEST(PalHeap, ReAllocInPlaceOnly) {
  ScopedHeap heap;
  // 100 bytes take a 128-byte slot: up to 112 bytes fit where they are.
  auto* p = static_cast<char*>(HeapAlloc(heap.get(), 0, 100));
  std::memset(p, 'a', 100);
  EXPECT_EQ(HeapReAlloc(heap.get(), HEAP_REALLOC_IN_PLACE_ONLY | HEAP_ZERO_MEMORY, p, 112), p);
  EXPECT_EQ(HeapSize(heap.get(), 0, p), 112u);
  EXPECT_TRUE(AllZero(p + 100, 12));
  EXPECT_EQ(p[99], 'a');
  SetLastError(0);
  EXPECT_EQ(HeapReAlloc(heap.get(), HEAP_REALLOC_IN_PLACE_ONLY, p, 113), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(HeapSize(heap.get(), 0, p), 112u);
  // Shrinking in place always works, even to nothing.
  EXPECT_EQ(HeapReAlloc(heap.get(), HEAP_REALLOC_IN_PLACE_ONLY, p, 0), p);
  EXPECT_EQ(HeapSize(heap.get(), 0, p), 0u);
  EXPECT_TRUE(HeapFree(heap.get(), 0, p));

  // A large block grows in place within its last page.
  p = static_cast<char*>(HeapAlloc(heap.get(), 0, 40000));
  void* same = HeapReAlloc(heap.get(), HEAP_REALLOC_IN_PLACE_ONLY, p, 40010);
  EXPECT_EQ(same, p);
  EXPECT_EQ(HeapReAlloc(heap.get(), HEAP_REALLOC_IN_PLACE_ONLY, p, 400000), nullptr);
  EXPECT_TRUE(HeapFree(heap.get(), 0, p));
}

TEST(PalHeap, Information) {
  ScopedHeap heap;
  ULONG value = 7;
  SIZE_T length = 0;
  ASSERT_TRUE(HeapQueryInformation(heap.get(), HeapCompatibilityInformation, &value, sizeof value, &length));
  EXPECT_EQ(value, HEAP_STANDARD);
  EXPECT_EQ(length, sizeof(ULONG));
  ULONG lfh = HEAP_LFH;
  ASSERT_TRUE(HeapSetInformation(heap.get(), HeapCompatibilityInformation, &lfh, sizeof lfh));
  ASSERT_TRUE(HeapQueryInformation(heap.get(), HeapCompatibilityInformation, &value, sizeof value, nullptr));
  EXPECT_EQ(value, HEAP_LFH);
  EXPECT_FALSE(HeapQueryInformation(heap.get(), HeapCompatibilityInformation, &value, 2, &length));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  for (ULONG bad : {1u, 3u}) {
    EXPECT_FALSE(HeapSetInformation(heap.get(), HeapCompatibilityInformation, &bad, sizeof bad));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  }
  EXPECT_FALSE(HeapSetInformation(heap.get(), HeapCompatibilityInformation, &lfh, 2));
  // The low-fragmentation heap needs a serialised heap.
  ScopedHeap unserialised(HEAP_NO_SERIALIZE);
  EXPECT_FALSE(HeapSetInformation(unserialised.get(), HeapCompatibilityInformation, &lfh, sizeof lfh));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(PalHeap, ProcessHeapsListsEveryHeapInCreationOrder) {
  const DWORD before = GetProcessHeaps(0, nullptr);
  ASSERT_GE(before, 1u);
  HANDLE first = HeapCreate(0, 0, 0);
  HANDLE second = HeapCreate(0, 0, 0);
  std::vector<HANDLE> all(before + 2);
  ASSERT_EQ(GetProcessHeaps(static_cast<DWORD>(all.size()), all.data()), before + 2);
  EXPECT_EQ(all[0], GetProcessHeap());
  EXPECT_EQ(all[before], first);
  EXPECT_EQ(all[before + 1], second);
  // A short buffer: the count, and nothing written past the buffer.
  HANDLE one[2] = {nullptr, reinterpret_cast<HANDLE>(0x1)};
  EXPECT_EQ(GetProcessHeaps(1, one), before + 2);
  EXPECT_EQ(one[0], GetProcessHeap());
  EXPECT_EQ(one[1], reinterpret_cast<HANDLE>(0x1));
  HeapDestroy(first);
  ASSERT_EQ(GetProcessHeaps(static_cast<DWORD>(all.size()), all.data()), before + 1);
  EXPECT_EQ(all[before], second);
  HeapDestroy(second);
  EXPECT_EQ(GetProcessHeaps(0, nullptr), before);
}

TEST(PalHeap, InitialSizeIsMappedAtCreation) {
  HANDLE h = HeapCreate(0, 1 << 20, 0);
  ASSERT_NE(h, nullptr);
  void* p = HeapAlloc(h, 0, 64);
  EXPECT_NE(p, nullptr);
  HeapDestroy(h);
  // An initial size no address space holds fails the creation, also where
  // the size plus the chunk's record, or its doubling, would wrap.
  for (SIZE_T huge : {SIZE_T{1} << 62, heap::kMaxRequest + 1, (SIZE_T{1} << 63) + 1, ~SIZE_T{0} - 8,
                      ~SIZE_T{0}}) {
    SCOPED_TRACE(huge);
    SetLastError(0);
    HANDLE refused = HeapCreate(0, huge, 0);
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    if (refused) HeapDestroy(refused);
  }
}

TEST(PalHeap, FaultPoints) {
  ClearFaults();
  InjectFault(Fault::HeapCreate, 2);
  HANDLE h = HeapCreate(0, 0, 0);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(HeapCreate(0, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
  InjectFault(Fault::HeapAlloc, 1, 2);
  EXPECT_EQ(HeapAlloc(h, 0, 8), nullptr);
  void* p = HeapAlloc(h, 0, 8);  // not yet: the second armed failure
  EXPECT_EQ(p, nullptr);
  p = HeapAlloc(h, 0, 8);
  ASSERT_NE(p, nullptr);
  InjectFault(Fault::HeapAlloc, 1);
  EXPECT_EQ(HeapReAlloc(h, 0, p, 4000), nullptr);
  EXPECT_EQ(HeapSize(h, 0, p), 8u);
  ClearFaults();
  HeapDestroy(h);
}

TEST(PalHeap, OsRefusingMemory) {
  HANDLE h = HeapCreate(0, 0, 0);
  ASSERT_NE(h, nullptr);
  {
    sys::ScopedSyscall refuse(&sys::g.mmap, +[](void*, size_t, int, int, int, off_t) -> void* {
      errno = ENOMEM;
      return MAP_FAILED;
    });
    // A fresh heap has no chunk yet: small and large requests both need the OS.
    SetLastError(0);
    EXPECT_EQ(HeapAlloc(h, 0, 32), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(HeapAlloc(h, 0, 1 << 20), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
  }
  void* p = HeapAlloc(h, HEAP_ZERO_MEMORY, 32);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(AllZero(p, 32));
  HeapDestroy(h);
}

#if defined(ZRPAL_HEAP_ASAN)
TEST(PalHeapDeathTest, UseAfterFreeIsReported) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  HANDLE h = HeapCreate(0, 0, 0);
  auto* p = static_cast<volatile char*>(HeapAlloc(h, 0, 64));
  HeapFree(h, 0, const_cast<char*>(p));
  EXPECT_DEATH(p[10] = 1, "use-after-poison");
  // Past the size asked for, inside the slot.
  auto* q = static_cast<volatile char*>(HeapAlloc(h, 0, 40));
  EXPECT_DEATH(q[40] = 1, "use-after-poison");
  HeapDestroy(h);
}
#endif

// ---- threads ----

// A queue of blocks handed from producers to consumers.
class BlockQueue {
 public:
  void Put(void* p) {
    std::lock_guard<std::mutex> lock(m_);
    q_.push_back(p);
    cv_.notify_one();
  }
  // Null once every producer is done and the queue is empty.
  void* Take() {
    std::unique_lock<std::mutex> lock(m_);
    cv_.wait(lock, [&] { return !q_.empty() || producers_ == 0; });
    if (q_.empty()) return nullptr;
    void* p = q_.front();
    q_.pop_front();
    return p;
  }
  void SetProducers(int n) { producers_ = n; }
  void ProducerDone() {
    std::lock_guard<std::mutex> lock(m_);
    --producers_;
    cv_.notify_all();
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  std::deque<void*> q_;
  int producers_ = 0;
};

// Fills a block with a pattern derived from its size, checked by the
// thread that frees it.
void Stamp(void* p, SIZE_T size) {
  std::memset(p, static_cast<int>(size & 0xFF), size);
}
bool StampIntact(HANDLE h, void* p) {
  const SIZE_T size = HeapSize(h, 0, p);
  const auto* b = static_cast<const unsigned char*>(p);
  for (SIZE_T i = 0; i < size; ++i)
    if (b[i] != (size & 0xFF)) return false;
  return true;
}

TEST(PalHeapThreads, BlocksAllocatedInOneThreadAreFreedInAnother) {
  ScopedHeap heap;
  BlockQueue queue;
  constexpr int kProducers = 3;
  constexpr int kConsumers = 3;
  constexpr int kBlocksEach = 20000;
  queue.SetProducers(kProducers);
  std::atomic<int> freed{0};
  std::atomic<int> bad{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kProducers; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937 rng(t);
      for (int i = 0; i < kBlocksEach; ++i) {
        const SIZE_T size = rng() % 3 == 0 ? rng() % 5000 : rng() % 300;
        void* p = HeapAlloc(heap.get(), 0, size);
        if (!p) {
          ++bad;
          continue;
        }
        Stamp(p, size);
        // Some blocks are freed where they were made, to mix both paths.
        if (i % 4 == 0) {
          if (!StampIntact(heap.get(), p) || !HeapFree(heap.get(), 0, p)) ++bad;
          ++freed;
        } else {
          queue.Put(p);
        }
      }
      queue.ProducerDone();
    });
  }
  for (int t = 0; t < kConsumers; ++t) {
    threads.emplace_back([&] {
      while (void* p = queue.Take()) {
        if (!StampIntact(heap.get(), p) || !HeapFree(heap.get(), 0, p)) ++bad;
        ++freed;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(bad.load(), 0);
  EXPECT_EQ(freed.load(), kProducers * kBlocksEach);
}

// Threads park blocks of a heap in their caches, the heap is destroyed while
// they wait, and they go on with new heaps (which may reuse the destroyed
// heap's handle) and exit. Nothing of the destroyed heap may be touched
// again: under AddressSanitizer any such access is reported.
TEST(PalHeapThreads, DestroyWhileOtherThreadsCacheItsBlocks) {
  constexpr int kThreads = 4;
  for (int round = 0; round < 3; ++round) {
    HANDLE doomed = HeapCreate(0, 0, 0);
    ASSERT_NE(doomed, nullptr);
    std::mutex m;
    std::condition_variable cv;
    int parked = 0;
    bool destroyed = false;
    std::atomic<int> bad{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        std::vector<void*> blocks;
        for (int i = 0; i < 500; ++i) blocks.push_back(HeapAlloc(doomed, 0, 16 + (i * 37 + t) % 2000));
        // Freed here, they sit in this thread's cache.
        for (void* p : blocks)
          if (!HeapFree(doomed, 0, p)) ++bad;
        {
          std::unique_lock<std::mutex> lock(m);
          ++parked;
          cv.notify_all();
          cv.wait(lock, [&] { return destroyed; });
        }
        // New heaps now take the cache slots of the destroyed one.
        for (int k = 0; k < 3; ++k) {
          HANDLE fresh = HeapCreate(0, 0, 0);
          void* p = HeapAlloc(fresh, HEAP_ZERO_MEMORY, 64);
          if (!p || !AllZero(p, 64) || !HeapFree(fresh, 0, p)) ++bad;
          HeapDestroy(fresh);
        }
        void* q = HeapAlloc(GetProcessHeap(), 0, 100);
        if (!q || !HeapFree(GetProcessHeap(), 0, q)) ++bad;
      });
    }
    {
      std::unique_lock<std::mutex> lock(m);
      cv.wait(lock, [&] { return parked == kThreads; });
      ASSERT_TRUE(HeapDestroy(doomed));
      destroyed = true;
      cv.notify_all();
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(bad.load(), 0);
  }
}

// Blocks cached by a thread that exits go back to their heap, which stays
// usable from other threads.
TEST(PalHeapThreads, ExitingThreadsReturnTheirCaches) {
  ScopedHeap heap;
  std::vector<void*> fromOthers;
  for (int t = 0; t < 8; ++t) {
    std::thread([&] {
      std::vector<void*> blocks;
      for (int i = 0; i < 200; ++i) blocks.push_back(HeapAlloc(heap.get(), 0, 48));
      for (size_t i = 0; i < blocks.size(); ++i) {
        if (i % 2)
          HeapFree(heap.get(), 0, blocks[i]);
        else
          fromOthers.push_back(blocks[i]);
      }
    }).join();
  }
  for (void* p : fromOthers) {
    Stamp(p, 48);
    ASSERT_TRUE(HeapFree(heap.get(), 0, p));
  }
  // The returned blocks serve new requests, zero-filled on request.
  for (int round = 0; round < 100; ++round) {
    std::vector<void*> again;
    for (int i = 0; i < 100; ++i) {
      void* p = HeapAlloc(heap.get(), HEAP_ZERO_MEMORY, 48);
      ASSERT_NE(p, nullptr);
      ASSERT_TRUE(AllZero(p, 48));
      again.push_back(p);
    }
    for (void* p : again) ASSERT_TRUE(HeapFree(heap.get(), 0, p));
  }
}

}  // namespace
}  // namespace zrpal
