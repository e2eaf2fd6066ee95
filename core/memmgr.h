// core/memmgr.h - the memory manager's start-up and shutdown (library
// internal; the exported heap functions are in zr/heap.h).
#pragma once

namespace zr {

// Creates the heap lock and the default heap (static flag 1, accounted size
// 4096). Throws CXMemException when the default heap cannot be created.
void MemoryManagerStartup();

// Deletes every heap still alive, the default heap included, whatever its
// count, then the heap lock.
void MemoryManagerShutdown();

}  // namespace zr
