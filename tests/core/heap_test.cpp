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

struct ReleaseHeap {
  void operator()(IHeap* h) const { h->Release(); }
};
using PrivateHeap = std::unique_ptr<IHeap, ReleaseHeap>;

// Runs `op`, which must throw exactly E with `cause`.
template <class E, class F>
void ExpectThrow(F op, DWORD cause) {
  try {
    op();
    ADD_FAILURE() << "nothing was thrown";
  } catch (const CXException& e) {
    EXPECT_EQ(typeid(e), typeid(E));
    EXPECT_EQ(e.GetCause(), cause);
  }
}

const size_t kSizes[] = {0, 1, 7, 8, 15, 16, 17, 100, 255, 256, 1000, 4096, 4097, 32760, 40000, 1 << 20};

TEST(Heap, BlocksAreZeroFilledAndReportTheirSize) {
  PrivateHeap heap(new_MemoryHeap(0));
  for (size_t size : kSizes) {
    SCOPED_TRACE(size);
    // A recycled block of the same size must be cleared again.
    auto* dirty = heap->Alloc(size);
    std::memset(dirty, 0xA5, size);
    EXPECT_NE(heap->Free(dirty), 0);
    void* p = heap->Alloc(size);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(AllZero(p, size));
    EXPECT_EQ(heap->GetSize(p), static_cast<std::int64_t>(size));
    EXPECT_EQ(heap->GetOverhead(size), 8);
    std::memset(p, 0x5A, size);  // every byte is usable
    EXPECT_NE(heap->Free(p), 0);
  }
}

TEST(Heap, ReallocKeepsContentAndZerosTheRest) {
  PrivateHeap heap(new_MemoryHeap(0));
  const struct {
    size_t from, to;
  } cases[] = {{0, 10}, {10, 100}, {100, 10}, {16, 16}, {100, 5000}, {5000, 100}, {3000, 70000}, {70000, 3000}, {50, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.from << " -> " << c.to);
    auto* p = static_cast<unsigned char*>(heap->Alloc(c.from));
    for (size_t i = 0; i < c.from; ++i) p[i] = static_cast<unsigned char>(i * 7 + 1);
    auto* q = static_cast<unsigned char*>(heap->Realloc(p, c.to));
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(heap->GetSize(q), static_cast<std::int64_t>(c.to));
    const size_t kept = std::min(c.from, c.to);
    for (size_t i = 0; i < kept; ++i) ASSERT_EQ(q[i], static_cast<unsigned char>(i * 7 + 1)) << i;
    EXPECT_TRUE(AllZero(q + kept, c.to - kept));
    EXPECT_NE(heap->Free(q), 0);
  }
  // GetSize cannot describe blocks of 2 GiB or more, but Realloc must keep
  // their content (the big block is untouched address space but for 64 bytes).
  auto* p = static_cast<unsigned char*>(heap->Alloc((size_t{1} << 31) + 4096));
  ASSERT_NE(p, nullptr);
  for (size_t i = 0; i < 64; ++i) p[i] = static_cast<unsigned char>(i + 1);
  auto* q = static_cast<unsigned char*>(heap->Realloc(p, 64));
  EXPECT_EQ(heap->GetSize(q), 64);
  for (size_t i = 0; i < 64; ++i) EXPECT_EQ(q[i], static_cast<unsigned char>(i + 1)) << i;
}

TEST(Heap, BlocksAreFreedAndMeasuredInTheirOwnHeap) {
  PrivateHeap a(new_MemoryHeap(0)), b(new_MemoryHeap(0));
  IHeap* dflt = Mem_DefaultHeap(0);
  void* fromA = a->Alloc(40);
  void* fromDefault = dflt->Alloc(24);
  EXPECT_EQ(b->GetSize(fromA), 40);  // the header names the owner
  EXPECT_EQ(a->GetSize(fromDefault), 24);
  void* grown = b->Realloc(fromA, 80);
  EXPECT_EQ(a->GetSize(grown), 80);
  EXPECT_NE(dflt->Free(fromDefault), 0);
  // The grown block still belongs to A: B goes, then a third heap frees it.
  b.reset();
  EXPECT_NE(PrivateHeap(new_MemoryHeap(0))->Free(grown), 0);
}

TEST(Heap, DefaultHeapIsOneUncountedObject) {
  IHeap* h = Mem_DefaultHeap(0);
  ASSERT_NE(h, nullptr);
  for (size_t arg : {size_t{1}, size_t{4096}, ~size_t{0}}) EXPECT_EQ(Mem_DefaultHeap(arg), h);
  EXPECT_EQ(h->AddRef(), 1u);
  EXPECT_EQ(h->Release(), 1u);
  EXPECT_EQ(h->Release(), 1u);
  void* p = h->Alloc(32);
  EXPECT_TRUE(AllZero(p, 32));
  EXPECT_NE(h->Free(p), 0);
  void* out = nullptr;
  EXPECT_EQ(h->QueryInterface(typeid(IHeap), &out), 1);
  EXPECT_EQ(out, h);
  EXPECT_EQ(h->QueryInterface(typeid(IZRUnknown), nullptr), 1);
}

// A private heap is counted, and its last Release (through the table) takes
// the blocks still alive with it (a sanitizer build would see a leak).
TEST(Heap, PrivateHeapTableSlotOrder) {
  using zrtest::Slot;
  using CountFn = ULONG (*)(void*);
  IHeap* h = new_MemoryHeap(0);
  ASSERT_NE(h, nullptr);
  EXPECT_NE(h, Mem_DefaultHeap(0));
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
  for (size_t size : kSizes) h->Alloc(size);
  EXPECT_EQ(Slot<CountFn>(h, 0)(h), 0u);
}

TEST(Heap, ActivityCounters) {
  Activity before = Now();
  IHeap* h = new_MemoryHeap(100);
  void* p = h->Alloc(10);
  Activity after = Now();
  // The heap's initial size, and the block's usable size plus its header.
  EXPECT_EQ(after, (Activity{before.bytes + 100 + 10 + 8, before.operations + 2}));
  h->Free(p);  // one operation, no bytes
  EXPECT_EQ(Now(), (Activity{after.bytes, after.operations + 1}));
  p = h->Alloc(50);
  before = Now();
  p = h->Realloc(p, 70);  // its allocation, plus two
  after = Now();
  EXPECT_EQ(after, (Activity{before.bytes + 78, before.operations + 3}));
  h->Release();  // not an operation; the bytes never go down
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
  PrivateHeap heap(new_MemoryHeap(0));
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
}

// Refused requests throw or fail as their contract says and count nothing.
TEST(Heap, RefusalsCountNothing) {
  PrivateHeap heap(new_MemoryHeap(0));
  for (IHeap* h : {heap.get(), Mem_DefaultHeap(0)}) {  // a null block names no heap
    const Activity before = Now();
    EXPECT_EQ(h->Free(nullptr), 0);
    EXPECT_EQ(h->GetSize(nullptr), -1);
    ExpectThrow<CXException>([&] { h->Realloc(nullptr, 16); }, ZRCAUSE_INVALIDARG);
    EXPECT_EQ(Now(), before);
  }
  // Sizes no heap can give, also where adding the header would wrap.
  for (size_t size : {~size_t{0}, ~size_t{0} - 7, size_t{1} << 62}) {
    const Activity before = Now();
    ExpectThrow<CXMemException>([&] { heap->Alloc(size); }, ZRCAUSE_NOMEMORY);
    EXPECT_EQ(Now(), before) << size;
  }
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
                                      static_cast<ILowMemoryNotifySink*>(&first),
                                      static_cast<ILowMemoryNotifySink*>(nullptr)})
    ExpectThrow<CXException>([&] { Mem_SetLowMemoryNotifySink(again); }, ZRCAUSE_INVALIDARG);
}

}  // namespace
