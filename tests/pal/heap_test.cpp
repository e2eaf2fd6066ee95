// Private heaps: Win32 semantics, size classes, failure paths and threads.
#include "pal/heap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <latch>
#include <memory>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "pal/internal/fault.h"
#include "pal/internal/heap_blocks.h"
#include "pal/last_error.h"
#include "pal/posix/syscalls.h"

namespace zrpal {
namespace {

struct HeapCloser {
  void operator()(HANDLE h) const { HeapDestroy(h); }
};
using ScopedHeap = std::unique_ptr<void, HeapCloser>;
ScopedHeap NewHeap(DWORD options = 0) { return ScopedHeap(HeapCreate(options, 0, 0)); }

bool AllZero(const void* p, size_t n) {
  const auto* b = static_cast<const unsigned char*>(p);
  return std::all_of(b, b + n, [](unsigned char c) { return c == 0; });
}

TEST(SizeClasses, EachSlotGetsTheSmallestClassThatHoldsIt) {
  for (SIZE_T slot = 1; slot <= heap::kMaxSmallSlot; ++slot) {
    const unsigned cls = heap::ClassOfSlot(slot);
    ASSERT_LT(cls, heap::kClassCount) << slot;
    ASSERT_GE(heap::SlotBytes(cls), slot) << slot;
    ASSERT_TRUE(cls == 0 || heap::SlotBytes(cls - 1) < slot) << slot;
    ASSERT_EQ(heap::ClassOfSlotFast(slot), cls) << slot;
  }
  for (unsigned cls = 0; cls < heap::kClassCount; ++cls) {
    EXPECT_EQ(heap::SlotBytes(cls) % heap::kAlignment, 0u) << cls;
    EXPECT_TRUE(cls == 0 || heap::SlotBytes(cls) > heap::SlotBytes(cls - 1)) << cls;
    EXPECT_GE(heap::BatchOf(cls), 1u);
  }
}

TEST(PalHeap, SizeAlignmentAndZeroFill) {
  const SIZE_T sizes[] = {0, 1, 15, 16, 17, 100, 240, 241, 256, 1000, 4096, 4104, 32752, 32753, 100000, 1 << 20};
  for (DWORD options : {DWORD{0}, HEAP_NO_SERIALIZE}) {
    ScopedHeap heap = NewHeap(options);
    ASSERT_NE(heap.get(), nullptr);
    for (SIZE_T size : sizes) {
      SCOPED_TRACE(testing::Message() << "options " << options << " size " << size);
      void* dirty = HeapAlloc(heap.get(), 0, size);
      ASSERT_NE(dirty, nullptr);
      std::memset(dirty, 0xEE, size);
      ASSERT_TRUE(HeapFree(heap.get(), 0, dirty));
      void* p = HeapAlloc(heap.get(), HEAP_ZERO_MEMORY, size);
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 16, 0u);
      // Slots over 256 bytes start their caller's bytes on a cache line.
      if (size + sizeof(heap::BlockHeader) > heap::kLineAlignedAbove &&
          size + sizeof(heap::BlockHeader) <= heap::kMaxSmallSlot) {
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % heap::kLineBytes, 0u);
      }
      EXPECT_EQ(HeapSize(heap.get(), 0, p), size);
      EXPECT_TRUE(AllZero(p, size));
      EXPECT_TRUE(HeapFree(heap.get(), 0, p));
    }
  }
}

// Larger blocks are zeroed in whole cache lines, rounded up into the slot's
// spare room: never past the slot, into the next block (the middle one of
// three taken in a row has its slot's neighbours on both sides).
TEST(PalHeap, ZeroingStaysInsideTheSlot) {
  ScopedHeap heap = NewHeap();
  for (SIZE_T size = 500; size <= 4200; size += 4) {
    SCOPED_TRACE(size);
    char* blocks[3];
    for (char*& b : blocks) {
      b = static_cast<char*>(HeapAlloc(heap.get(), 0, size));
      std::memset(b, 0xEE, size);
    }
    ASSERT_TRUE(HeapFree(heap.get(), 0, blocks[1]));
    ASSERT_EQ(HeapAlloc(heap.get(), HEAP_ZERO_MEMORY, size), blocks[1]);
    EXPECT_TRUE(AllZero(blocks[1], size));
    for (char* b : {blocks[0], blocks[2]}) {
      ASSERT_EQ(HeapSize(heap.get(), 0, b), size);
      EXPECT_TRUE(std::all_of(b, b + size, [](char c) { return c == '\xEE'; }));
    }
    for (char* b : blocks) HeapFree(heap.get(), 0, b);
  }
}

TEST(PalHeap, UnknownFlagsAndImpossibleSizesAreRefused) {
  ScopedHeap heap = NewHeap();
  void* block = HeapAlloc(heap.get(), 0, 10);
  for (DWORD flag : {HEAP_GENERATE_EXCEPTIONS, DWORD{0x20}, DWORD{0x40000}, DWORD{0x80000000}}) {
    SCOPED_TRACE(flag);
    EXPECT_FAILS_WITH(HeapCreate(flag, 0, 0), ERROR_INVALID_PARAMETER);
    EXPECT_FAILS_WITH(HeapAlloc(heap.get(), flag, 10), ERROR_INVALID_PARAMETER);
    EXPECT_FAILS_WITH(HeapReAlloc(heap.get(), flag, block, 20), ERROR_INVALID_PARAMETER);
    EXPECT_FAILS_WITH(HeapFree(heap.get(), flag | HEAP_ZERO_MEMORY, block), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(HeapSize(heap.get(), flag | HEAP_ZERO_MEMORY, block), static_cast<SIZE_T>(-1));
  }
  EXPECT_EQ(HeapSize(heap.get(), HEAP_NO_SERIALIZE, block), 10u);  // survived every refused call
  EXPECT_FAILS_WITH(HeapAlloc(heap.get(), HEAP_REALLOC_IN_PLACE_ONLY, 10), ERROR_INVALID_PARAMETER);
  // Fixed-size heaps are not offered. An initial size is mapped at creation;
  // one no address space holds fails, also where the size plus the chunk's
  // record, or its doubling, would wrap.
  EXPECT_FAILS_WITH(HeapCreate(0, 0, 1 << 20), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(HeapFree(heap.get(), 0, block));
  ScopedHeap initial(HeapCreate(0, 1 << 20, 0));
  ASSERT_NE(initial, nullptr);
  EXPECT_NE(HeapAlloc(initial.get(), 0, 64), nullptr);
  for (SIZE_T huge : {SIZE_T{1} << 62, heap::kMaxRequest + 1, (SIZE_T{1} << 63) + 1, ~SIZE_T{0} - 8, ~SIZE_T{0}}) {
    SCOPED_TRACE(huge);
    EXPECT_FAILS_WITH(ScopedHeap(HeapCreate(0, huge, 0)), ERROR_NOT_ENOUGH_MEMORY);
  }
}

TEST(PalHeap, BadHandlesAndBlocks) {
  ScopedHeap a = NewHeap(), b = NewHeap();
  void* block = HeapAlloc(a.get(), 0, 24);
  EXPECT_FAILS_WITH(HeapAlloc(nullptr, 0, 8), ERROR_INVALID_HANDLE);
  // A block of another heap is refused and stays alive.
  EXPECT_FAILS_WITH(HeapFree(b.get(), 0, block), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(HeapSize(b.get(), 0, block), static_cast<SIZE_T>(-1));
  EXPECT_EQ(HeapReAlloc(b.get(), 0, block, 48), nullptr);
  EXPECT_EQ(HeapSize(a.get(), 0, block), 24u);
  EXPECT_FAILS_WITH(HeapReAlloc(a.get(), 0, nullptr, 48), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(HeapFree(a.get(), 0, nullptr));
  EXPECT_TRUE(HeapFree(a.get(), 0, block));
  EXPECT_FAILS_WITH(HeapFree(a.get(), 0, block), ERROR_INVALID_PARAMETER);  // a double free is seen
  EXPECT_FAILS_WITH(HeapDestroy(GetProcessHeap()), ERROR_INVALID_HANDLE);
  HANDLE gone = HeapCreate(0, 0, 0);
  ASSERT_TRUE(HeapDestroy(gone));
  EXPECT_FAILS_WITH(HeapAlloc(gone, 0, 8), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(HeapDestroy(gone));
  EXPECT_FAILS_WITH(HeapAlloc(a.get(), 0, heap::kMaxRequest + 1), ERROR_NOT_ENOUGH_MEMORY);
}

TEST(PalHeap, ReAllocKeepsContentAndZerosOnlyTheGrowth) {
  ScopedHeap heap = NewHeap();
  const std::pair<SIZE_T, SIZE_T> cases[] = {{10, 20},      {20, 10},       {100, 3000},  {3000, 100},
                                             {200, 50000}, {50000, 60000}, {60000, 40}, {0, 17}};
  for (DWORD zero : {DWORD{0}, HEAP_ZERO_MEMORY}) {
    for (const auto& [from, to] : cases) {
      SCOPED_TRACE(testing::Message() << from << " -> " << to << " zero " << zero);
      auto* p = static_cast<unsigned char*>(HeapAlloc(heap.get(), 0, from));
      for (SIZE_T i = 0; i < from; ++i) p[i] = static_cast<unsigned char>(i % 251 + 1);
      auto* q = static_cast<unsigned char*>(HeapReAlloc(heap.get(), zero, p, to));
      ASSERT_NE(q, nullptr);
      EXPECT_EQ(HeapSize(heap.get(), 0, q), to);
      const SIZE_T kept = std::min(from, to);
      for (SIZE_T i = 0; i < kept; ++i) ASSERT_EQ(q[i], static_cast<unsigned char>(i % 251 + 1)) << i;
      EXPECT_TRUE(!zero || AllZero(q + kept, to - kept));
      std::memset(q, 0x11, to);
      EXPECT_TRUE(HeapFree(heap.get(), 0, q));
    }
  }
}

TEST(PalHeap, ReAllocInPlaceOnly) {
  ScopedHeap heap = NewHeap();
  // 100 bytes take a 128-byte slot: up to 112 bytes fit where they are. The
  // growth is zeroed though the slot held other bytes there before.
  auto* p = static_cast<char*>(HeapAlloc(heap.get(), 0, 112));
  std::memset(p, 'a', 112);
  EXPECT_EQ(HeapReAlloc(heap.get(), HEAP_REALLOC_IN_PLACE_ONLY, p, 100), p);
  EXPECT_EQ(HeapReAlloc(heap.get(), HEAP_REALLOC_IN_PLACE_ONLY | HEAP_ZERO_MEMORY, p, 112), p);
  EXPECT_EQ(HeapSize(heap.get(), 0, p), 112u);
  EXPECT_TRUE(AllZero(p + 100, 12));
  EXPECT_EQ(p[99], 'a');
  EXPECT_FAILS_WITH(HeapReAlloc(heap.get(), HEAP_REALLOC_IN_PLACE_ONLY, p, 113), ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(HeapSize(heap.get(), 0, p), 112u);
  EXPECT_EQ(HeapReAlloc(heap.get(), HEAP_REALLOC_IN_PLACE_ONLY, p, 0), p);  // shrinking always works
  EXPECT_EQ(HeapSize(heap.get(), 0, p), 0u);
  EXPECT_TRUE(HeapFree(heap.get(), 0, p));
  // A large block grows in place within its last page.
  p = static_cast<char*>(HeapAlloc(heap.get(), 0, 40000));
  EXPECT_EQ(HeapReAlloc(heap.get(), HEAP_REALLOC_IN_PLACE_ONLY, p, 40010), p);
  EXPECT_EQ(HeapReAlloc(heap.get(), HEAP_REALLOC_IN_PLACE_ONLY, p, 400000), nullptr);
  // Shrinking to a small size would leave a small block in a mapping.
  EXPECT_FAILS_WITH(HeapReAlloc(heap.get(), HEAP_REALLOC_IN_PLACE_ONLY, p, 100), ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(HeapSize(heap.get(), 0, p), 40010u);
  EXPECT_TRUE(HeapFree(heap.get(), 0, p));
}

// A block's kind follows its size: a large block shrunk to a small size is a
// small block, so freeing it twice is refused instead of reading a freed
// mapping. The largest small size and one past it on both sides.
TEST(PalHeap, LargeBlockShrunkToSmallSizeIsSmall) {
  ScopedHeap heap = NewHeap();
  const SIZE_T kLargestSmall = heap::kMaxSmallSlot - sizeof(heap::BlockHeader);
  for (SIZE_T to : {SIZE_T{0}, SIZE_T{100}, kLargestSmall - 1, kLargestSmall}) {
    auto* p = static_cast<unsigned char*>(HeapAlloc(heap.get(), 0, 40000));
    for (SIZE_T i = 0; i < 40000; ++i) p[i] = static_cast<unsigned char>(i % 251);
    auto* q = static_cast<unsigned char*>(HeapReAlloc(heap.get(), 0, p, to));
    ASSERT_NE(q, nullptr) << to;
    EXPECT_EQ(HeapSize(heap.get(), 0, q), to);
    for (SIZE_T i = 0; i < to; ++i) ASSERT_EQ(q[i], static_cast<unsigned char>(i % 251)) << i;
    EXPECT_TRUE(HeapFree(heap.get(), 0, q));
    EXPECT_FAILS_WITH(HeapFree(heap.get(), 0, q), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(HeapSize(heap.get(), 0, q), static_cast<SIZE_T>(-1));
  }
  // Just over the small sizes, the block stays in its mapping.
  void* p = HeapAlloc(heap.get(), 0, 40000);
  EXPECT_EQ(HeapReAlloc(heap.get(), HEAP_REALLOC_IN_PLACE_ONLY, p, kLargestSmall + 1), p);
  EXPECT_TRUE(HeapFree(heap.get(), 0, p));
}

TEST(PalHeap, Information) {
  ScopedHeap heap = NewHeap();
  const auto kCompat = HeapCompatibilityInformation;
  ULONG value = 7, lfh = HEAP_LFH;
  SIZE_T length = 0;
  ASSERT_TRUE(HeapQueryInformation(heap.get(), kCompat, &value, sizeof value, &length));
  EXPECT_EQ(value, HEAP_STANDARD);
  EXPECT_EQ(length, sizeof(ULONG));
  ASSERT_TRUE(HeapSetInformation(heap.get(), kCompat, &lfh, sizeof lfh));
  ASSERT_TRUE(HeapQueryInformation(heap.get(), kCompat, &value, sizeof value, nullptr));
  EXPECT_EQ(value, HEAP_LFH);
  EXPECT_FAILS_WITH(HeapQueryInformation(heap.get(), kCompat, &value, 2, &length), ERROR_INSUFFICIENT_BUFFER);
  for (ULONG bad : {1u, 3u})
    EXPECT_FAILS_WITH(HeapSetInformation(heap.get(), kCompat, &bad, sizeof bad), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(HeapSetInformation(heap.get(), kCompat, &lfh, 2));
  // The low-fragmentation heap needs a serialised heap.
  ScopedHeap unserialised = NewHeap(HEAP_NO_SERIALIZE);
  EXPECT_FAILS_WITH(HeapSetInformation(unserialised.get(), kCompat, &lfh, sizeof lfh), ERROR_INVALID_PARAMETER);
}

TEST(PalHeap, ProcessHeapsListsEveryHeapInCreationOrder) {
  const DWORD before = GetProcessHeaps(0, nullptr);
  ASSERT_GE(before, 1u);
  HANDLE first = HeapCreate(0, 0, 0), second = HeapCreate(0, 0, 0);
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

TEST(PalHeap, InjectedFaultsAndTheOsRefusingMemory) {
  ClearFaults();
  InjectFault(Fault::HeapCreate, 2);
  ScopedHeap h = NewHeap();
  ASSERT_NE(h, nullptr);
  EXPECT_FAILS_WITH(HeapCreate(0, 0, 0), ERROR_NOT_ENOUGH_MEMORY);
  InjectFault(Fault::HeapAlloc, 1, 2);
  EXPECT_FAILS_WITH(HeapAlloc(h.get(), 0, 8), ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(HeapAlloc(h.get(), 0, 8), nullptr);  // the second armed failure
  void* p = HeapAlloc(h.get(), 0, 8);
  ASSERT_NE(p, nullptr);
  InjectFault(Fault::HeapAlloc, 1);
  EXPECT_EQ(HeapReAlloc(h.get(), 0, p, 4000), nullptr);
  EXPECT_EQ(HeapSize(h.get(), 0, p), 8u);
  ClearFaults();

  ScopedHeap fresh = NewHeap();
  {
    sys::ScopedSyscall refuse(&sys::g.mmap, +[](void*, size_t, int, int, int, off_t) -> void* {
      errno = ENOMEM;
      return MAP_FAILED;
    });
    // A fresh heap has no chunk yet: small and large requests both need the OS.
    EXPECT_FAILS_WITH(HeapAlloc(fresh.get(), 0, 32), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FAILS_WITH(HeapAlloc(fresh.get(), 0, 1 << 20), ERROR_NOT_ENOUGH_MEMORY);
  }
  p = HeapAlloc(fresh.get(), HEAP_ZERO_MEMORY, 32);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(AllZero(p, 32));
}

#if defined(ZRPAL_HEAP_ASAN)
TEST(PalHeapDeathTest, UseAfterFreeIsReported) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  HANDLE h = HeapCreate(0, 0, 0);
  auto* p = static_cast<volatile char*>(HeapAlloc(h, 0, 64));
  HeapFree(h, 0, const_cast<char*>(p));
  EXPECT_DEATH(p[10] = 1, "use-after-poison");
  auto* q = static_cast<volatile char*>(HeapAlloc(h, 0, 40));
  EXPECT_DEATH(q[40] = 1, "use-after-poison");  // past the size asked for, inside the slot
  HeapDestroy(h);
}
#endif

// Threads allocate blocks of two heaps. They free the blocks of one heap
// themselves, and those sit in their caches when that heap is destroyed; the
// blocks of the other heap are checked and freed by a neighbour after that,
// while new heaps (which may reuse the destroyed one's handle) are made and
// used. Nothing of the destroyed heap may be touched again (AddressSanitizer
// reports any access). At thread exit the surviving heap gets its cached
// blocks back: they serve new requests once each, zero-filled on request.
TEST(PalHeapThreads, BlocksCrossThreadsAndCachesOutliveTheirHeap) {
  constexpr int kThreads = 4, kRounds = 3, kKeptEach = 2000;
  ScopedHeap kept = NewHeap();
  std::atomic<int> bad{0};
  // Each block is filled with its size's low byte, checked by its freer.
  auto intact = [&](void* p) {
    const SIZE_T size = HeapSize(kept.get(), 0, p);
    const auto* b = static_cast<const unsigned char*>(p);
    return std::all_of(b, b + size, [&](unsigned char c) { return c == (size & 0xFF); });
  };
  for (int round = 0; round < kRounds; ++round) {
    HANDLE doomed = HeapCreate(0, 0, 0);
    ASSERT_NE(doomed, nullptr);
    std::vector<std::vector<void*>> keptBlocks(kThreads);
    std::latch parked(kThreads), destroyed(1);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        std::mt19937 rng(round * kThreads + t);
        for (int i = 0; i < kKeptEach; ++i) {
          const SIZE_T size = rng() % 3 == 0 ? rng() % 5000 : rng() % 300;
          void* p = HeapAlloc(kept.get(), 0, size);
          if (!p) {
            ++bad;
            continue;
          }
          std::memset(p, static_cast<int>(size & 0xFF), size);
          keptBlocks[t].push_back(p);
        }
        std::vector<void*> blocks;
        for (int i = 0; i < 500; ++i) blocks.push_back(HeapAlloc(doomed, 0, 16 + (i * 37 + t) % 2000));
        for (void* p : blocks) bad += !HeapFree(doomed, 0, p);
        parked.count_down();
        destroyed.wait();
        for (void* p : keptBlocks[(t + 1) % kThreads]) bad += !intact(p) || !HeapFree(kept.get(), 0, p);
        for (int k = 0; k < 3; ++k) {
          HANDLE fresh = HeapCreate(0, 0, 0);
          void* p = HeapAlloc(fresh, HEAP_ZERO_MEMORY, 64);
          bad += !p || !AllZero(p, 64) || !HeapFree(fresh, 0, p);
          HeapDestroy(fresh);
        }
      });
    }
    parked.wait();
    EXPECT_TRUE(HeapDestroy(doomed));
    destroyed.count_down();
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(bad.load(), 0);
  }
  std::set<void*> again;
  for (int i = 0; i < kThreads * kKeptEach; ++i) {
    const auto size = static_cast<SIZE_T>(i * 37 % 5000);
    void* p = HeapAlloc(kept.get(), HEAP_ZERO_MEMORY, size);
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(AllZero(p, size));
    ASSERT_TRUE(again.insert(p).second) << "handed out twice";
  }
  for (void* p : again) ASSERT_TRUE(HeapFree(kept.get(), 0, p));
}

}  // namespace
}  // namespace zrpal
