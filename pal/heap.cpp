// pal/heap.cpp - private heaps.
//
// Why this allocator. The library's heaps sit under every object, string
// buffer and container, and the heap above this one (base/heap.cpp) already
// pays for a header, zero-filling and its counters on every block, so the
// platform heap must be close to free on the common path (HeapAllocCached
// is that path alone, without a lock). The candidates:
//  - the C library's malloc per block, with a locked list of live blocks so
//    that HeapDestroy can free them (the first version): two lock round trips
//    and a list update per block pair, and HeapDestroy walks every block;
//  - a general allocator library (jemalloc, mimalloc, tcmalloc): they replace
//    or compete with the process's malloc, and this library is loaded into
//    other programs; their arenas are not private heaps that die with
//    HeapDestroy either;
//  - a segregated-fit slab allocator of our own with per-thread caches, in
//    the style of the allocators above (and of Windows' own low-fragmentation
//    heap): blocks come from per-heap chunks in size classes, each thread
//    keeps a small cache of free blocks per heap and class, and only a cache
//    miss or overflow takes the heap's lock.
// The third is what this file (heaps and blocks) and heap_cache.cpp (the
// thread caches) implement. Destroying a heap unmaps its
// chunks, which frees every block at once, including blocks parked in other
// threads' caches: caches name their heap by a 64-bit id that is never
// reused, and a cache entry whose heap is gone is dropped without being read.
//
// Layout. Every block starts with a 16-byte BlockHeader (requested size,
// class, owner tag) and the caller's bytes follow it, 16-byte aligned. Small
// blocks (header included, at most kMaxSmallSlot bytes) are carved from the
// heap's chunks in 44 classes (16-byte steps to 256, then four per power of
// two); larger ones get a mapping of their own, linked to the heap. Slots
// over 256 bytes are whole cache lines and are carved so that the caller's
// bytes start a line: zero-filling them (the library's heaps zero every
// block) then writes whole lines, never a store split across two.
//
// Threads. Heap structs come from a pool that is never unmapped, so that a
// stale cache entry can always read the id of the heap struct it points at.
// The list of live heaps and the pool are guarded by g_listLock; each heap's
// chunks and central free lists by its own lock. Lock order: g_listLock, then
// a heap's lock.
//
// Memory comes from the OS in chunks (posix/heap.inc). Under
// AddressSanitizer, free bytes are poisoned so that a use after free inside
// these heaps is still reported, and chunks are registered with the leak
// checker as roots, since callers keep pointers to malloc'd memory in them.
#include "pal/heap.h"

#include <cassert>
#include <cstring>
#include <new>

#include "pal/error.h"
#include "pal/internal/fault.h"
#include "pal/internal/heap_blocks.h"
#include "pal/internal/heap_state.h"
#include "pal/sync.h"

namespace zrpal {

namespace heap {

namespace {

constexpr DWORD kKnownCreateOptions = HEAP_NO_SERIALIZE | HEAP_GROWABLE;
constexpr DWORD kKnownAllocFlags = HEAP_NO_SERIALIZE | HEAP_ZERO_MEMORY;
constexpr DWORD kKnownReAllocFlags = HEAP_NO_SERIALIZE | HEAP_ZERO_MEMORY | HEAP_REALLOC_IN_PLACE_ONLY;
constexpr SIZE_T kHeapPoolBytes = 64 * 1024;

// The process heap exists before anything runs; id 1.
constinit Heap g_processHeap{
    .magic = kHeapMagic, .options = HEAP_GROWABLE, .tag = 1, .id = 1, .cacheOffset = CacheOffsetOf(1)};
constinit Heap* g_liveHeaps = &g_processHeap;
constinit Heap* g_heapPool = nullptr;
constinit std::uint64_t g_nextHeapId = 2;

Heap* AsHeap(HANDLE handle) {
  auto* h = static_cast<Heap*>(handle);
  if (!h || h->magic != kHeapMagic) return nullptr;
  return h;
}

BlockHeader* HeaderOf(LPCVOID block) {
  return reinterpret_cast<BlockHeader*>(const_cast<char*>(static_cast<const char*>(block)) -
                                        sizeof(BlockHeader));
}

char* UserOf(BlockHeader* b) { return reinterpret_cast<char*>(b) + sizeof(BlockHeader); }

// The bytes a block can hold without moving.
SIZE_T CapacityOf(const BlockHeader* b) {
  if (b->sizeClass == kLargeClass) {
    const auto* large = reinterpret_cast<const LargeBlock*>(reinterpret_cast<const char*>(b) -
                                                            offsetof(LargeBlock, header));
    return large->bytes - sizeof(LargeBlock);
  }
  return kClassTable.slot[b->sizeClass] - sizeof(BlockHeader);
}

// ---- chunks and carving (the caller holds the heap's central lock) ----

// `atLeast` is at most kMaxRequest, so neither the sum nor the doubling
// wraps.
bool MapChunk(Heap* h, SIZE_T atLeast) {
  assert(atLeast <= kMaxRequest);
  SIZE_T bytes = h->nextChunkBytes;
  while (bytes < atLeast + sizeof(Chunk)) bytes *= 2;
  void* mem = OsMapPages(bytes);
  if (!mem) return false;
  PoisonRegion(mem, bytes);
  RegisterLeakRoot(mem, bytes);
  UnpoisonRegion(mem, sizeof(Chunk));
  auto* c = static_cast<Chunk*>(mem);
  c->bytes = bytes;
  c->next = h->chunks;
  h->chunks = c;
  h->bumpNext = static_cast<char*>(mem) + sizeof(Chunk);
  h->bumpEnd = static_cast<char*>(mem) + bytes;
  if (h->nextChunkBytes < kMaxChunkBytes) h->nextChunkBytes *= 2;
  return true;
}

// A fresh free block of class `cls`, or null when the OS refuses memory.
BlockHeader* Carve(Heap* h, unsigned cls) {
  const SIZE_T slot = kClassTable.slot[cls];
  const bool lineAligned = slot > kLineAlignedAbove;
  // Before the first chunk there is nothing to carve (and nothing to align).
  char* at = lineAligned && h->bumpNext ? LineAlignedSlot(h->bumpNext) : h->bumpNext;
  if (!at || at > h->bumpEnd || static_cast<SIZE_T>(h->bumpEnd - at) < slot) {
    // The rest of the chunk (less than one slot) is abandoned: smaller than
    // the largest class, so at most a few percent of a chunk. The slot and
    // its alignment (under a line) fit in the new chunk.
    if (!MapChunk(h, slot * kBatchTable.batch[cls] + kLineBytes)) return nullptr;
    at = lineAligned ? LineAlignedSlot(h->bumpNext) : h->bumpNext;
  }
  // Carving one class in a row wastes nothing: line-aligned slots are whole
  // lines, so the next one is aligned too.
  auto* b = reinterpret_cast<BlockHeader*>(at);
  h->bumpNext = at + slot;
  UnpoisonRegion(b, sizeof(BlockHeader));
  b->word = 0;
  b->sizeClass = cls;
  b->tag = kFreeTag;
  return b;
}

// ---- blocks ----

// A free block of class `cls` taken for the caller, or null.
BlockHeader* TakeSmall(Heap* h, unsigned cls) {
  // The fast path: this thread's cache, no lock.
  if (ThreadCache* tc = t_cache) {
    CacheEntry& e = EntryIn(tc, h);
    if (e.heapId == h->id && e.bins[cls].head) return e.bins[cls].Pop();
  }
  if (CacheEntry* e = EntryFor(h)) {
    if (!Refill(h, cls, e->bins[cls], kBatchTable.batch[cls])) return nullptr;
    return e->bins[cls].Pop();
  }
  // A heap the caller serialises, or a thread past its cache.
  FreeList single;
  if (!Refill(h, cls, single, 1)) return nullptr;
  return single.Pop();
}

void GiveSmall(Heap* h, BlockHeader* b) {
  const unsigned cls = b->sizeClass;
  if (ThreadCache* tc = t_cache) {
    CacheEntry& e = EntryIn(tc, h);
    if (e.heapId == h->id) {
      FreeList& bin = e.bins[cls];
      bin.Push(b);
      if (bin.count > bin.limit) Spill(h, bin, kBatchTable.batch[cls], cls);
      return;
    }
  }
  if (CacheEntry* e = EntryFor(h)) {
    e->bins[cls].Push(b);
    return;
  }
  Guard lock(CentralLock(h));
  h->central[cls].Push(b);
}

void* AllocLarge(Heap* h, SIZE_T bytes) {
  const SIZE_T mapBytes = (sizeof(LargeBlock) + bytes + kPageBytes - 1) & ~(kPageBytes - 1);
  void* mem = OsMapPages(mapBytes);
  if (!mem) return nullptr;
  RegisterLeakRoot(mem, mapBytes);
  auto* lb = static_cast<LargeBlock*>(mem);
  lb->bytes = mapBytes;
  lb->header.word = bytes;
  lb->header.sizeClass = kLargeClass;
  lb->header.tag = h->tag;
  PoisonRegion(UserOf(&lb->header) + bytes, mapBytes - sizeof(LargeBlock) - bytes);
  Guard lock(CentralLock(h));
  lb->prev = nullptr;
  lb->next = h->large;
  if (h->large) h->large->prev = lb;
  h->large = lb;
  return UserOf(&lb->header);
}

void UnmapLarge(LargeBlock* lb) {
  const SIZE_T bytes = lb->bytes;
  UnregisterLeakRoot(lb, bytes);
  UnpoisonRegion(lb, bytes);
  OsUnmapPages(lb, bytes);
}

void FreeLarge(Heap* h, BlockHeader* b) {
  auto* lb = reinterpret_cast<LargeBlock*>(reinterpret_cast<char*>(b) - offsetof(LargeBlock, header));
  {
    Guard lock(CentralLock(h));
    if (lb->prev)
      lb->prev->next = lb->next;
    else
      h->large = lb->next;
    if (lb->next) lb->next->prev = lb->prev;
  }
  UnmapLarge(lb);
}

// Makes free block `b` the caller's block of `bytes`.
inline char* HandOut(Heap* h, BlockHeader* b, SIZE_T bytes, bool zero) {
  b->word = bytes;
  b->tag = h->tag;
  char* user = UserOf(b);
  UnpoisonRegion(user, bytes);
  if (zero) ZeroSmall(user, bytes, kClassTable.slot[b->sizeClass] - sizeof(BlockHeader));
  return user;
}

// The common case of HeapAlloc and all of HeapAllocCached: a free block of
// the class in this thread's cache, taken without a lock. Null when the
// block is large or the cache has none (`bytes` is at most kMaxRequest).
inline void* TakeCached(Heap* h, SIZE_T bytes, bool zero) {
  if (bytes > kMaxSmallSlot - sizeof(BlockHeader)) return nullptr;
  ThreadCache* tc = t_cache;
  if (!tc) return nullptr;
  CacheEntry& e = EntryIn(tc, h);
  FreeList& bin = e.bins[ClassOfSlotFast(bytes + sizeof(BlockHeader))];
  if (e.heapId != h->id || !bin.head) return nullptr;
  return HandOut(h, bin.Pop(), bytes, zero);
}

// A block of `bytes` for the caller (zero-filled if `zero`), or null with
// the last error set. The cache-hit case is TakeCached.
[[gnu::noinline]] void* Allocate(Heap* h, SIZE_T bytes, bool zero) {
  const SIZE_T slot = bytes + sizeof(BlockHeader);
  if (slot > kMaxSmallSlot) {
    void* p = AllocLarge(h, bytes);  // fresh mappings are zero-filled
    if (!p) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return p;
  }
  BlockHeader* b = TakeSmall(h, ClassOfSlotFast(slot));
  if (!b) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return HandOut(h, b, bytes, zero);
}

// The cache-hit case is inline in HeapFree.
[[gnu::noinline]] void Release(Heap* h, BlockHeader* b) {
  if (b->sizeClass == kLargeClass) {
    FreeLarge(h, b);
    return;
  }
  PoisonRegion(UserOf(b), CapacityOf(b));
  b->tag = kFreeTag;
  GiveSmall(h, b);
}

// The header of `block` if it is a live block of `h`, else null.
BlockHeader* LiveBlockOf(Heap* h, LPCVOID block) {
  BlockHeader* b = HeaderOf(block);
  if (b->tag != h->tag) return nullptr;
  assert(b->sizeClass == kLargeClass || b->sizeClass < kClassCount);
  return b;
}

Heap* NewHeapStruct() {
  // Called with g_listLock held.
  if (!g_heapPool) {
    void* mem = OsMapPages(kHeapPoolBytes);
    if (!mem) return nullptr;
    auto* slots = static_cast<Heap*>(mem);
    for (SIZE_T i = 0; i < kHeapPoolBytes / sizeof(Heap); ++i) {
      Heap* h = new (&slots[i]) Heap{};
      h->nextHeap = g_heapPool;
      g_heapPool = h;
    }
  }
  Heap* h = g_heapPool;
  g_heapPool = h->nextHeap;
  return h;
}

}  // namespace

// A zero-filled section is ready.
constinit CRITICAL_SECTION g_listLock{};

// Moves up to `want` free blocks of class `cls` from the heap to `bin`.
// False when none could be had.
bool Refill(Heap* h, unsigned cls, FreeList& bin, unsigned want) {
  Guard lock(CentralLock(h));
  FreeList& central = h->central[cls];
  while (bin.count < want && central.head) bin.Push(central.Pop());
  while (bin.count < want) {
    BlockHeader* b = Carve(h, cls);
    if (!b) break;
    bin.Push(b);
  }
  return bin.head != nullptr;
}

// Gives `n` blocks from the top of `bin` back to the heap.
void Spill(Heap* h, FreeList& bin, std::uint32_t n, unsigned cls) {
  Guard lock(CentralLock(h));
  FreeList& central = h->central[cls];
  while (n-- > 0 && bin.head) central.Push(bin.Pop());
}


}  // namespace heap

using heap::Heap;

HANDLE HeapCreate(DWORD options, SIZE_T initialSize, SIZE_T maximumSize) {
  // Deviation: fixed-size heaps (a non-zero maximum) are not offered; every
  // heap grows as needed.
  if ((options & ~heap::kKnownCreateOptions) != 0 || maximumSize != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // An initial size beyond any request is refused before it is rounded up
  // to a chunk, where it would wrap.
  if (initialSize > heap::kMaxRequest || FaultShouldFail(Fault::HeapCreate)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  Heap* h;
  {
    heap::Guard listLock(&heap::g_listLock);
    h = heap::NewHeapStruct();
    if (!h) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    // Every field is reset: the struct may have served an earlier heap.
    h = new (h) Heap{};
    h->magic = heap::kHeapMagic;
    h->options = options;
    h->id = heap::g_nextHeapId++;
    h->cacheOffset = heap::CacheOffsetOf(h->id);
    h->tag = static_cast<std::uint32_t>(h->id) != heap::kFreeTag ? static_cast<std::uint32_t>(h->id) : 1;
    InitializeCriticalSection(&h->lock);
  }
  // The initial size becomes the first chunk, as Windows commits it at once.
  if (initialSize > 0 && !heap::MapChunk(h, initialSize)) {
    heap::Guard listLock(&heap::g_listLock);
    h->magic = 0;
    h->id = 0;
    h->nextHeap = heap::g_heapPool;
    heap::g_heapPool = h;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  heap::Guard listLock(&heap::g_listLock);
  Heap* tail = heap::g_liveHeaps;
  while (tail->nextHeap) tail = tail->nextHeap;
  tail->nextHeap = h;
  h->prevHeap = tail;
  return h;
}

BOOL HeapDestroy(HANDLE handle) {
  Heap* h = heap::AsHeap(handle);
  if (!h || h == &heap::g_processHeap) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  {
    // Once unlinked with id 0, no thread's cache drains into the heap.
    heap::Guard listLock(&heap::g_listLock);
    h->prevHeap->nextHeap = h->nextHeap;  // the process heap is always first
    if (h->nextHeap) h->nextHeap->prevHeap = h->prevHeap;
    h->magic = 0;
    h->id = 0;
  }
  for (heap::Chunk* c = h->chunks; c;) {
    heap::Chunk* next = c->next;
    const SIZE_T bytes = c->bytes;
    heap::UnregisterLeakRoot(c, bytes);
    heap::UnpoisonRegion(c, bytes);
    heap::OsUnmapPages(c, bytes);
    c = next;
  }
  for (heap::LargeBlock* lb = h->large; lb;) {
    heap::LargeBlock* next = lb->next;
    heap::UnmapLarge(lb);
    lb = next;
  }
  DeleteCriticalSection(&h->lock);
  heap::Guard listLock(&heap::g_listLock);
  h->nextHeap = heap::g_heapPool;
  h->prevHeap = nullptr;
  heap::g_heapPool = h;
  return TRUE;
}

LPVOID HeapAlloc(HANDLE handle, DWORD flags, SIZE_T bytes) {
  Heap* h = heap::AsHeap(handle);
  if (!h) [[unlikely]] {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if ((flags & ~heap::kKnownAllocFlags) != 0) [[unlikely]] {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (bytes > heap::kMaxRequest || FaultShouldFail(Fault::HeapAlloc)) [[unlikely]] {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  const bool zero = (flags & HEAP_ZERO_MEMORY) != 0;
  if (void* p = heap::TakeCached(h, bytes, zero)) return p;
  return heap::Allocate(h, bytes, zero);
}

LPVOID HeapAllocCached(HANDLE handle, DWORD flags, SIZE_T bytes) {
  Heap* h = heap::AsHeap(handle);
  // Anything unusual is left to HeapAlloc, which refuses it loudly; an armed
  // fault too, so that each counted call is one HeapAlloc.
  if (!h || (flags & ~heap::kKnownAllocFlags) != 0 || AnyFaultArmed()) [[unlikely]]
    return nullptr;
  return heap::TakeCached(h, bytes, (flags & HEAP_ZERO_MEMORY) != 0);
}

BOOL HeapFree(HANDLE handle, DWORD flags, LPVOID block) {
  Heap* h = heap::AsHeap(handle);
  if (!h) [[unlikely]] {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if ((flags & ~HEAP_NO_SERIALIZE) != 0) [[unlikely]] {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!block) return TRUE;  // as on Windows, freeing null succeeds
  heap::BlockHeader* b = heap::LiveBlockOf(h, block);
  if (!b) [[unlikely]] {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // The common case: into this thread's cache, below its limit.
  const unsigned cls = b->sizeClass;
  if (cls != heap::kLargeClass) {
    if (heap::ThreadCache* tc = heap::t_cache) {
      heap::CacheEntry& e = heap::EntryIn(tc, h);
      heap::FreeList& bin = e.bins[cls];
      if (e.heapId == h->id && bin.count < bin.limit) {
        heap::PoisonRegion(block, heap::kClassTable.slot[cls] - sizeof(heap::BlockHeader));
        b->tag = heap::kFreeTag;
        bin.Push(b);
        return TRUE;
      }
    }
  }
  heap::Release(h, b);
  return TRUE;
}

LPVOID HeapReAlloc(HANDLE handle, DWORD flags, LPVOID block, SIZE_T bytes) {
  Heap* h = heap::AsHeap(handle);
  if (!h) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  heap::BlockHeader* b = block ? heap::LiveBlockOf(h, block) : nullptr;
  if ((flags & ~heap::kKnownReAllocFlags) != 0 || !b) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (bytes > heap::kMaxRequest || FaultShouldFail(Fault::HeapAlloc)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  const SIZE_T oldBytes = b->word;
  const SIZE_T capacity = heap::CapacityOf(b);
  const bool inPlaceOnly = (flags & HEAP_REALLOC_IN_PLACE_ONLY) != 0;
  // Stay in place when the block is big enough, unless it would then waste
  // more than half of itself and may move.
  const bool fits = bytes <= capacity;
  const bool wasteful = b->sizeClass == heap::kLargeClass
                            ? bytes + sizeof(heap::LargeBlock) <= capacity / 2
                            : heap::SlotFor(bytes) * 2 <= heap::SlotBytes(b->sizeClass);
  // A block's kind follows its size: one that shrinks to a small size leaves
  // its mapping for a small slot, so that every block of at most
  // kMaxSmallSlot with its header is a small block and HeapFree and
  // HeapSize can refuse it once it is freed (a freed mapping cannot be
  // read). It cannot stay where it is, so HEAP_REALLOC_IN_PLACE_ONLY fails.
  const bool leavesLarge =
      b->sizeClass == heap::kLargeClass && bytes + sizeof(heap::BlockHeader) <= heap::kMaxSmallSlot;
  char* user = static_cast<char*>(block);
  if (fits && !leavesLarge && (inPlaceOnly || !wasteful)) {
    if (bytes > oldBytes) {
      heap::UnpoisonRegion(user + oldBytes, bytes - oldBytes);
      if (flags & HEAP_ZERO_MEMORY) std::memset(user + oldBytes, 0, bytes - oldBytes);
    } else {
      heap::PoisonRegion(user + bytes, oldBytes - bytes);
    }
    b->word = bytes;
    return block;
  }
  if (inPlaceOnly) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto* fresh = static_cast<char*>(heap::Allocate(h, bytes, false));
  if (!fresh) return nullptr;
  const SIZE_T keep = bytes < oldBytes ? bytes : oldBytes;
  std::memcpy(fresh, user, keep);
  if ((flags & HEAP_ZERO_MEMORY) && bytes > keep) std::memset(fresh + keep, 0, bytes - keep);
  heap::Release(h, b);
  return fresh;
}

SIZE_T HeapSize(HANDLE handle, DWORD flags, LPCVOID block) {
  Heap* h = heap::AsHeap(handle);
  heap::BlockHeader* b = h && block ? heap::LiveBlockOf(h, block) : nullptr;
  if (!b || (flags & ~HEAP_NO_SERIALIZE) != 0) {
    SetLastError(h ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return static_cast<SIZE_T>(-1);
  }
  return b->word;
}

BOOL HeapSetInformation(HANDLE handle, HEAP_INFORMATION_CLASS infoClass, LPVOID info,
                        SIZE_T length) {
  Heap* h = heap::AsHeap(handle);
  if (!h) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (infoClass != HeapCompatibilityInformation || !info || length < sizeof(ULONG)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ULONG value;
  std::memcpy(&value, info, sizeof value);
  if ((value != HEAP_STANDARD && value != HEAP_LFH) ||
      (value == HEAP_LFH && (h->options & HEAP_NO_SERIALIZE))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  heap::Guard lock(heap::CentralLock(h));
  h->compatibility = value;
  return TRUE;
}

BOOL HeapQueryInformation(HANDLE handle, HEAP_INFORMATION_CLASS infoClass, LPVOID info,
                          SIZE_T length, SIZE_T* returnLength) {
  Heap* h = heap::AsHeap(handle);
  if (!h) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (infoClass != HeapCompatibilityInformation) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (returnLength) *returnLength = sizeof(ULONG);
  if (!info || length < sizeof(ULONG)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  const ULONG value = h->compatibility;
  std::memcpy(info, &value, sizeof value);
  return TRUE;
}

HANDLE GetProcessHeap() { return &heap::g_processHeap; }

DWORD GetProcessHeaps(DWORD count, HANDLE* heaps) {
  heap::Guard listLock(&heap::g_listLock);
  DWORD n = 0;
  for (Heap* h = heap::g_liveHeaps; h; h = h->nextHeap, ++n)
    if (heaps && n < count) heaps[n] = h;
  return n;
}

}  // namespace zrpal

#include "pal/posix/heap.inc"
