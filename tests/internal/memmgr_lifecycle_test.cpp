// The memory manager's shutdown and start-up steps, run again by hand:
// shutdown destroys every heap still alive, whatever its count, the default
// heap too; start-up builds a new default heap.
#include <gtest/gtest.h>

#include <vector>

#include "base/memmgr.h"
#include "pal/heap.h"
#include "zr/heap.h"

namespace {

zrpal::DWORD PlatformHeaps() { return zrpal::GetProcessHeaps(0, nullptr); }

TEST(MemoryManagerLifecycle, ShutdownDestroysEveryLiveHeap) {
  IHeap* dflt = Mem_DefaultHeap(0);
  ASSERT_NE(dflt, nullptr);
  const ULONG heapsBefore = zr::LiveHeapCount();
  const zrpal::DWORD platformBefore = PlatformHeaps();

  // Private heaps left alive, one with an extra reference, all with blocks.
  IHeap* leaked = new_MemoryHeap(0);
  IHeap* shared = new_MemoryHeap(0);
  shared->AddRef();
  std::vector<void*> blocks;
  for (IHeap* h : {dflt, leaked, shared})
    for (size_t size : {size_t{16}, size_t{5000}, size_t{100000}}) blocks.push_back(h->Alloc(size));
  EXPECT_EQ(zr::LiveHeapCount(), heapsBefore + 2);
  EXPECT_EQ(PlatformHeaps(), platformBefore + 2);

  // Every heap goes with its platform heap and blocks (a sanitizer build sees leaks).
  zr::MemoryManagerShutdown();
  EXPECT_EQ(zr::LiveHeapCount(), 0u);
  EXPECT_EQ(PlatformHeaps(), platformBefore - heapsBefore);
  EXPECT_EQ(Mem_DefaultHeap(0), nullptr);

  zr::MemoryManagerStartup();
  EXPECT_EQ(zr::LiveHeapCount(), 1u);
  IHeap* fresh = Mem_DefaultHeap(0);
  ASSERT_NE(fresh, nullptr);
  void* p = fresh->Alloc(32);
  EXPECT_EQ(fresh->GetSize(p), 32);
  EXPECT_NE(fresh->Free(p), 0);
}

}  // namespace
