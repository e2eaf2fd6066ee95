// base/memmgr.h - the memory manager's start-up and shutdown, and what the
// white-box tests may inspect (library internal; the exported heap functions
// are in zr/heap.h).
#pragma once

#include "pal/sync.h"
#include "zr/zrtypes.h"

namespace zr {

// Creates the heap lock and the default heap (static flag 1, accounted size
// 4096). Throws CXMemException when the default heap cannot be created.
void MemoryManagerStartup();

// Deletes every heap still alive, the default heap included, whatever its
// count, then the heap lock.
void MemoryManagerShutdown();

// The heap lock itself: recursive; held around heap creation, destruction,
// allocations the thread's cache cannot serve, and while the low-memory
// sink runs.
zrpal::CRITICAL_SECTION* HeapLock();

// The number of CHeap objects alive (the default heap included).
ULONG LiveHeapCount();

}  // namespace zr
