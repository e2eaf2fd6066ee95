// pal/internal/heap_state.h - the records of the private heaps and their thread
// caches, shared by heap.cpp (heaps and blocks) and heap_cache.cpp (thread
// caches). Platform-layer internal; see heap.cpp for the design.
#pragma once

#include "pal/heap.h"
#include "pal/internal/heap_blocks.h"
#include "pal/sync.h"

namespace zrpal::heap {

inline constexpr SIZE_T kFirstChunkBytes = 64 * 1024;
inline constexpr SIZE_T kMaxChunkBytes = 4 * 1024 * 1024;

// A mapping of small blocks: this record, then the carved slots.
struct Chunk {
  Chunk* next;
  SIZE_T bytes;  // the whole mapping
};
static_assert(sizeof(Chunk) % kAlignment == 0);

// A mapping that holds one large block: this record, the block header, the
// caller's bytes.
struct LargeBlock {
  LargeBlock* next;
  LargeBlock* prev;
  SIZE_T bytes;  // the whole mapping
  SIZE_T reserved;
  BlockHeader header;
};
static_assert(sizeof(LargeBlock) % kAlignment == 0);

struct Heap {
  DWORD magic = 0;                        // kHeapMagic while the heap is alive
  DWORD options = 0;                      // HeapCreate options
  ULONG compatibility = HEAP_STANDARD;    // or HEAP_LFH
  std::uint32_t tag = 0;                  // in the header of its allocated blocks
  std::uint64_t id = 0;                   // unique for the life of the process; 0 while dead
  SIZE_T cacheOffset = 0;                 // of its entry in a ThreadCache: id % kCacheEntries
  CRITICAL_SECTION lock{};
  FreeList central[kClassCount] = {};     // free blocks not in any thread's cache
  char* bumpNext = nullptr;               // the uncarved rest of the newest chunk
  char* bumpEnd = nullptr;
  Chunk* chunks = nullptr;
  SIZE_T nextChunkBytes = kFirstChunkBytes;
  LargeBlock* large = nullptr;            // doubly linked
  Heap* nextHeap = nullptr;               // the live list while alive, the pool while dead
  Heap* prevHeap = nullptr;
};

using Guard = CCriticalSectionGuard;

// The lock that guards a heap's central state, or null for a heap the
// caller serialises.
inline CRITICAL_SECTION* CentralLock(Heap* h) {
  return (h->options & HEAP_NO_SERIALIZE) ? nullptr : &h->lock;
}

// The list of live heaps and the pool of heap structs. Lock order: this,
// then a heap's lock.
extern CRITICAL_SECTION g_listLock;

// A thread's free blocks, per heap (by id modulo kCacheEntries) and class.
struct CacheEntry {
  std::uint64_t heapId;  // 0: unused
  Heap* heap;
  FreeList bins[kClassCount];
};

struct ThreadCache {
  CacheEntry entries[kCacheEntries];
};

// Where heap `h` keeps its blocks in a thread's cache (the entry may belong
// to another heap: compare its heapId).
constexpr SIZE_T CacheOffsetOf(std::uint64_t id) { return (id % kCacheEntries) * sizeof(CacheEntry); }
inline CacheEntry& EntryIn(ThreadCache* tc, const Heap* h) {
  return *reinterpret_cast<CacheEntry*>(reinterpret_cast<char*>(tc) + h->cacheOffset);
}

// The calling thread's cache, null until its first allocation or free.
[[gnu::tls_model("initial-exec")]] extern constinit thread_local ThreadCache* t_cache;

// OS memory (posix/heap.inc): page-aligned, zero-filled mappings. Null with
// the last error set when the OS refuses.
void* OsMapPages(SIZE_T bytes);
void OsUnmapPages(void* p, SIZE_T bytes);

// Moves up to `want` free blocks of class `cls` from the heap to `bin`.
// False when none could be had.
bool Refill(Heap* h, unsigned cls, FreeList& bin, unsigned want);
// Gives `n` blocks from the top of `bin` back to the heap.
void Spill(Heap* h, FreeList& bin, std::uint32_t n, unsigned cls);

// The cache entry of `h` for this thread, claiming (and draining) the slot
// if another heap had it. Null when the heap is used without caches (a
// HEAP_NO_SERIALIZE heap, or a thread whose cache is gone at its exit).
CacheEntry* EntryFor(Heap* h);

}  // namespace zrpal::heap
