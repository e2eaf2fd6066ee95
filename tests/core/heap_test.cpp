// Heaps through the exported interface: blocks, reallocation, ownership,
// the default heap, private heaps, refusals and the activity counters.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <latch>
#include <memory>
#include <thread>
#include <vector>

#include "core/heap_activity.h"
#include "streams/stream_test_util.h"
#include "zr/exception.h"
#include "zr/heap.h"

namespace {

using zrtest::Activity;
using zrtest::Now;

bool AllZero(const void* p, size_t n) {
  const auto* b = static_cast<const unsigned char*>(p);
  return std::all_of(b, b + n, [](unsigned char c) { return c == 0; });
}

// A recycled block is cleared again; a reallocated one keeps its content
// and zeros the rest.
TEST(Heap, BlocksAreZeroFilledAndKeepTheirContent) {
  IHeap* heap = new_MemoryHeap(0);
  for (size_t size : {size_t{0}, size_t{1}, size_t{17}, size_t{4097}, size_t{40000}, size_t{1} << 20}) {
    SCOPED_TRACE(size);
    std::memset(heap->Alloc(size), 0xA5, size);  // freed with the heap
    auto* dirty = heap->Alloc(size);
    std::memset(dirty, 0xA5, size);
    EXPECT_NE(heap->Free(dirty), 0);
    auto* p = static_cast<unsigned char*>(heap->Alloc(size));
    EXPECT_TRUE(AllZero(p, size));
    EXPECT_EQ(heap->GetSize(p), static_cast<std::int64_t>(size));
    EXPECT_EQ(heap->GetOverhead(size), 8);
    for (size_t i = 0; i < size; ++i) p[i] = static_cast<unsigned char>(i * 7 + 1);
    size_t kept = size;
    for (size_t to : {size + 100, size / 2}) {
      auto* q = static_cast<unsigned char*>(heap->Realloc(p, to));
      EXPECT_EQ(heap->GetSize(q), static_cast<std::int64_t>(to));
      kept = std::min(kept, to);
      for (size_t i = 0; i < kept; ++i) ASSERT_EQ(q[i], static_cast<unsigned char>(i * 7 + 1)) << i;
      EXPECT_TRUE(AllZero(q + kept, to - kept));
      p = q;
    }
  }
  heap->Release();
}

// The default heap is one uncounted object; a private heap is counted, and
// its last Release (through the table) takes the blocks still alive with it.
TEST(Heap, DefaultAndPrivateHeapsThroughTheTable) {
  IHeap* dflt = Mem_DefaultHeap(0);
  EXPECT_EQ(Mem_DefaultHeap(~size_t{0}), dflt);
  EXPECT_EQ(dflt->AddRef(), 1u);
  EXPECT_EQ(dflt->Release(), 1u);
  using zrtest::Slot;
  using CountFn = ULONG (*)(void*);
  IHeap* h = new_MemoryHeap(0);
  EXPECT_NE(h, dflt);
  void* p = Slot<void* (*)(void*, size_t)>(h, 3)(h, 20);
  EXPECT_EQ((Slot<std::int64_t (*)(void*, void*)>(h, 6)(h, p)), 20);
  p = Slot<void* (*)(void*, void*, size_t)>(h, 5)(h, p, 30);
  EXPECT_EQ(h->GetSize(p), 30);
  EXPECT_EQ(Slot<int (*)(void*, size_t)>(h, 7)(h, 12345), 8);
  EXPECT_NE((Slot<int (*)(void*, void*)>(h, 4)(h, p)), 0);
  // After IHeap's eight: two destructor entries, InternalAddRef, InternalRelease.
  EXPECT_EQ(Slot<CountFn>(h, 2)(h), 2u);
  EXPECT_EQ(Slot<CountFn>(h, 8 + 2)(h), 3u);
  EXPECT_EQ(Slot<CountFn>(h, 8 + 3)(h), 2u);
  EXPECT_EQ(Slot<CountFn>(h, 0)(h), 1u);
  h->Alloc(100), h->Alloc(100000);
  EXPECT_EQ(Slot<CountFn>(h, 0)(h), 0u);
}

TEST(Heap, ActivityCountersAndRefusals) {
  Activity before = Now();
  IHeap* h = new_MemoryHeap(100);
  void* p = h->Alloc(10);
  // The heap's initial size, and the block's usable size plus its header.
  Activity after = Now();
  EXPECT_EQ(after, (Activity{before.bytes + 100 + 10 + 8, before.operations + 2}));
  p = h->Realloc(p, 70);  // its allocation, plus two
  EXPECT_EQ(Now(), (Activity{after.bytes + 78, after.operations + 3}));
  h->Free(p);  // one operation, no bytes
  after = Now();
  // Refused requests throw or fail as their contract says and count nothing,
  // sizes where adding the header would wrap included.
  EXPECT_EQ(h->Free(nullptr), 0);
  EXPECT_EQ(h->GetSize(nullptr), -1);
  EXPECT_EQ(zrtest::CauseOf([&] { h->Realloc(nullptr, 16); }), static_cast<DWORD>(ZRCAUSE_INVALIDARG));
  for (size_t size : {~size_t{0}, ~size_t{0} - 7}) EXPECT_THROW(h->Alloc(size), CXBadAlloc);
  h->Release();  // not an operation; the bytes never go down
  EXPECT_EQ(Now(), after);
  // An initial size the bytes counter cannot add is refused, not counted.
  EXPECT_THROW(new_MemoryHeap(~size_t{0}), CXBadAlloc);
  EXPECT_EQ(Now(), after);
  std::uint64_t bytes = 0;  // either output may be left out
  Get_CoreActivity(&bytes, nullptr);
  EXPECT_EQ(bytes, after.bytes);
  ULONG ops = 0;
  Get_CoreActivity(nullptr, &ops);
  EXPECT_EQ(ops, after.operations);

  // Two threads counting at once, one still alive when the counters are
  // read, one gone; it freed blocks it did not allocate. A round: Alloc(16)
  // counts 24 bytes and 1 operation, Realloc to 40 48 bytes and 3, Free 1.
  h = new_MemoryHeap(0);
  IHeap* heap = h;
  constexpr std::uint64_t kRounds = 20000;
  std::vector<void*> blocks;
  for (int i = 0; i < 100; ++i) blocks.push_back(heap->Alloc(16));
  before = Now();
  std::latch started(2), counted(2), read(1);
  auto rounds = [&] {
    started.arrive_and_wait();
    for (std::uint64_t i = 0; i < kRounds; ++i) heap->Free(heap->Realloc(heap->Alloc(16), 40));
  };
  std::thread gone([&] {
    rounds();
    for (void* b : blocks) heap->Free(b);
  });
  std::thread alive([&] {
    rounds();
    counted.count_down();
    read.wait();
  });
  gone.join();
  counted.count_down();
  counted.wait();
  after = {before.bytes + 2 * kRounds * 72, static_cast<ULONG>(before.operations + 2 * kRounds * 5 + 100)};
  EXPECT_EQ(Now(), after);
  read.count_down();
  alive.join();
  EXPECT_EQ(Now(), after);
  h->Release();
}

// Only one sink can ever be installed in a process.
class NeverRetry : public ILowMemoryNotifySink {
 public:
  int OnLowMemory(ULONG) override { return 0; }
};

TEST(LowMemorySink, OnlyOneCanEverBeInstalled) {
  static NeverRetry first, second;
  EXPECT_NO_THROW(Mem_SetLowMemoryNotifySink(nullptr));  // installs nothing
  EXPECT_NO_THROW(Mem_SetLowMemoryNotifySink(&first));
  for (ILowMemoryNotifySink* again : {static_cast<ILowMemoryNotifySink*>(&second),
                                      static_cast<ILowMemoryNotifySink*>(nullptr)})
    EXPECT_EQ(zrtest::CauseOf([&] { Mem_SetLowMemoryNotifySink(again); }), static_cast<DWORD>(ZRCAUSE_INVALIDARG));
}

}  // namespace
