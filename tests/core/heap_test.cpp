// Heaps through the exported interface: blocks, reallocation, ownership,
// the default heap, private heaps, refusals and the activity counters.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "zr/exception.h"
#include "zr/heap.h"

namespace {

struct Activity {
  std::uint64_t bytes = 0;
  ULONG operations = 0;
  bool operator==(const Activity&) const = default;
};
void PrintTo(const Activity& a, std::ostream* os) { *os << a.bytes << " bytes, " << a.operations << " operations"; }

Activity Now() {
  Activity a;
  Get_CoreActivity(&a.bytes, &a.operations);
  return a;
}

bool AllZero(const void* p, size_t n) {
  const auto* b = static_cast<const unsigned char*>(p);
  for (size_t i = 0; i < n; ++i)
    if (b[i] != 0) return false;
  return true;
}

// A private heap released at the end of the scope.
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
  ASSERT_NE(heap, nullptr);
  for (size_t size : kSizes) {
    SCOPED_TRACE(size);
    // Dirty a block of the same size first, so that a recycled block must be
    // cleared again.
    auto* dirty = static_cast<unsigned char*>(heap->Alloc(size));
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
  struct Case {
    size_t from, to;
  } cases[] = {{0, 10}, {10, 100}, {100, 10}, {16, 16}, {100, 5000}, {5000, 100}, {3000, 70000}, {70000, 3000}, {50, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.from << " -> " << c.to);
    auto* p = static_cast<unsigned char*>(heap->Alloc(c.from));
    for (size_t i = 0; i < c.from; ++i) p[i] = static_cast<unsigned char>(i * 7 + 1);
    auto* q = static_cast<unsigned char*>(heap->Realloc(p, c.to));
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(heap->GetSize(q), static_cast<std::int64_t>(c.to));
    const size_t kept = c.from < c.to ? c.from : c.to;
    for (size_t i = 0; i < kept; ++i) ASSERT_EQ(q[i], static_cast<unsigned char>(i * 7 + 1)) << i;
    EXPECT_TRUE(AllZero(q + kept, c.to - kept));
    EXPECT_NE(heap->Free(q), 0);
  }
}

// GetSize cannot describe blocks of 2 GiB or more, but Realloc must still
// keep their content. The big block is address space only (fresh pages are
// zero without being touched); only its first bytes are written and copied.
TEST(Heap, ReallocOfABlockBeyondTwoGigabytesKeepsItsContent) {
  PrivateHeap heap(new_MemoryHeap(0));
  auto* p = static_cast<unsigned char*>(heap->Alloc((size_t{1} << 31) + 4096));
  ASSERT_NE(p, nullptr);
  for (size_t i = 0; i < 64; ++i) p[i] = static_cast<unsigned char>(i + 1);
  auto* q = static_cast<unsigned char*>(heap->Realloc(p, 64));
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(heap->GetSize(q), 64);
  for (size_t i = 0; i < 64; ++i) EXPECT_EQ(q[i], static_cast<unsigned char>(i + 1)) << i;
  EXPECT_NE(heap->Free(q), 0);
}

TEST(Heap, BlocksAreFreedAndMeasuredInTheirOwnHeap) {
  PrivateHeap a(new_MemoryHeap(0));
  PrivateHeap b(new_MemoryHeap(0));
  IHeap* dflt = Mem_DefaultHeap(0);
  void* fromA = a->Alloc(40);
  void* fromDefault = dflt->Alloc(24);
  // Through the other heap objects: the header names the owner.
  EXPECT_EQ(b->GetSize(fromA), 40);
  EXPECT_EQ(a->GetSize(fromDefault), 24);
  void* grown = b->Realloc(fromA, 80);
  EXPECT_EQ(a->GetSize(grown), 80);
  EXPECT_NE(dflt->Free(fromDefault), 0);
  // The grown block still belongs to A: B goes first, then a third heap
  // frees the block in A.
  b.reset();
  PrivateHeap extra(new_MemoryHeap(0));
  EXPECT_NE(extra->Free(grown), 0);
}

TEST(Heap, DefaultHeapIsOneUncountedObject) {
  IHeap* h = Mem_DefaultHeap(0);
  ASSERT_NE(h, nullptr);
  for (size_t arg : {size_t{0}, size_t{1}, size_t{4096}, ~size_t{0}}) EXPECT_EQ(Mem_DefaultHeap(arg), h);
  EXPECT_EQ(h->AddRef(), 1u);
  EXPECT_EQ(h->Release(), 1u);
  EXPECT_EQ(h->Release(), 1u);
  void* p = h->Alloc(32);
  EXPECT_TRUE(AllZero(p, 32));
  EXPECT_NE(h->Free(p), 0);
  // It answers for IHeap and IZRUnknown, adding no reference.
  void* out = nullptr;
  EXPECT_EQ(h->QueryInterface(typeid(IHeap), &out), 1);
  EXPECT_EQ(out, h);
  EXPECT_EQ(h->QueryInterface(typeid(IZRUnknown), nullptr), 1);
}

// A private heap is counted, and its last Release (here through the table)
// takes the blocks still alive with it: under AddressSanitizer a leak or a
// bad free would be reported.
TEST(Heap, PrivateHeapTableSlotOrder) {
  using AllocFn = void* (*)(void*, size_t);
  using FreeFn = int (*)(void*, void*);
  using ReallocFn = void* (*)(void*, void*, size_t);
  using GetSizeFn = std::int64_t (*)(void*, void*);
  using OverheadFn = int (*)(void*, size_t);
  using CountFn = ULONG (*)(void*);
  IHeap* h = new_MemoryHeap(0);
  ASSERT_NE(h, nullptr);
  EXPECT_NE(h, Mem_DefaultHeap(0));
  void** table = *reinterpret_cast<void***>(h);
  void* p = reinterpret_cast<AllocFn>(table[3])(h, 20);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(reinterpret_cast<GetSizeFn>(table[6])(h, p), 20);
  p = reinterpret_cast<ReallocFn>(table[5])(h, p, 30);
  EXPECT_EQ(h->GetSize(p), 30);
  EXPECT_EQ(reinterpret_cast<OverheadFn>(table[7])(h, 12345), 8);
  EXPECT_NE(reinterpret_cast<FreeFn>(table[4])(h, p), 0);
  // The counting base follows IHeap's eight slots: two destructor entries,
  // then InternalAddRef and InternalRelease.
  EXPECT_EQ(reinterpret_cast<CountFn>(table[2])(h), 2u);
  EXPECT_EQ(reinterpret_cast<CountFn>(table[8 + 2])(h), 3u);
  EXPECT_EQ(reinterpret_cast<CountFn>(table[8 + 3])(h), 2u);
  EXPECT_EQ(reinterpret_cast<CountFn>(table[0])(h), 1u);
  for (size_t size : kSizes) h->Alloc(size);
  EXPECT_EQ(reinterpret_cast<CountFn>(table[0])(h), 0u);
}

TEST(Heap, ActivityCounters) {
  Activity before = Now();
  IHeap* h = new_MemoryHeap(100);
  void* p = h->Alloc(10);
  Activity after = Now();
  // The heap's initial size, and the block's usable size plus its header.
  EXPECT_EQ(after.bytes - before.bytes, 100u + 10u + 8u);
  EXPECT_EQ(after.operations - before.operations, 2u);

  // A free counts one operation and no bytes.
  h->Free(p);
  EXPECT_EQ(Now(), (Activity{after.bytes, after.operations + 1}));

  // A reallocation: its allocation, plus two.
  p = h->Alloc(50);
  before = Now();
  p = h->Realloc(p, 70);
  after = Now();
  EXPECT_EQ(after, (Activity{before.bytes + 78, before.operations + 3}));

  // Destroying a heap is not an operation; the bytes never go down.
  h->Release();
  EXPECT_EQ(Now(), after);

  // Either output may be left out.
  std::uint64_t bytes = 0;
  Get_CoreActivity(&bytes, nullptr);
  EXPECT_EQ(bytes, after.bytes);
  ULONG ops = 0;
  Get_CoreActivity(nullptr, &ops);
  EXPECT_EQ(ops, after.operations);
}

TEST(Heap, FreesOfOtherThreadsAreCounted) {
  PrivateHeap h(new_MemoryHeap(0));
  std::vector<void*> blocks;
  for (int i = 0; i < 100; ++i) blocks.push_back(h->Alloc(16));
  const Activity before = Now();
  std::thread worker([&] {
    for (void* p : blocks) h->Free(p);
  });
  worker.join();
  // The worker has exited: its count was folded in.
  EXPECT_EQ(Now().operations - before.operations, 100u);
}

// Refused requests throw or fail as their contract says and count nothing.
TEST(Heap, RefusalsCountNothing) {
  PrivateHeap heap(new_MemoryHeap(0));
  // A null block names no heap.
  for (IHeap* h : {heap.get(), Mem_DefaultHeap(0)}) {
    const Activity before = Now();
    EXPECT_EQ(h->Free(nullptr), 0);
    EXPECT_EQ(h->GetSize(nullptr), -1);
    ExpectThrow<CXException>([&] { h->Realloc(nullptr, 16); }, ZRCAUSE_INVALIDARG);
    EXPECT_EQ(Now(), before);
  }
  // A size that no heap can give, also where adding the header would wrap.
  for (size_t size : {~size_t{0}, ~size_t{0} - 7, size_t{1} << 62}) {
    SCOPED_TRACE(size);
    const Activity before = Now();
    ExpectThrow<CXMemException>([&] { heap->Alloc(size); }, ZRCAUSE_NOMEMORY);
    EXPECT_EQ(Now(), before);
  }
}

// Only one sink can ever be installed in a process, so its rules are
// checked in one sequence.
class NeverRetry : public ILowMemoryNotifySink {
 public:
  int OnLowMemory(ULONG) override { return 0; }
};

TEST(LowMemorySink, OnlyOneCanEverBeInstalled) {
  static NeverRetry first;
  static NeverRetry second;
  // A null sink installs nothing, so a later call still succeeds.
  EXPECT_NO_THROW(Mem_SetLowMemoryNotifySink(nullptr));
  EXPECT_NO_THROW(Mem_SetLowMemoryNotifySink(&first));
  for (ILowMemoryNotifySink* again : {static_cast<ILowMemoryNotifySink*>(&second),
                                      static_cast<ILowMemoryNotifySink*>(&first),
                                      static_cast<ILowMemoryNotifySink*>(nullptr)})
    ExpectThrow<CXException>([&] { Mem_SetLowMemoryNotifySink(again); }, ZRCAUSE_INVALIDARG);
}

}  // namespace
