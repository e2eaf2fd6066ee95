// pal/heap_cache.cpp - the per-thread caches of the private heaps.
//
// Each thread keeps free blocks per heap and size class, so that most
// allocations and frees take no lock. A cache entry names its heap by id;
// ids are never reused and heap structs are never unmapped, so an entry whose
// heap was destroyed is recognised and dropped without touching its blocks
// (they were unmapped with the heap). A thread's cache goes back to its heaps
// when the thread exits.
#include <new>

#include "pal/internal/heap_state.h"

namespace zrpal::heap {

constinit thread_local ThreadCache* t_cache = nullptr;

namespace {

// Set once the thread's cache was released at thread exit: later calls of
// the exiting thread (other thread-exit code freeing blocks) go to the heap.
[[gnu::tls_model("initial-exec")]] constinit thread_local bool t_cacheGone = false;

// Returns every block of `e` to its heap if the heap still lives; the
// blocks of a destroyed heap were unmapped with it and are not touched.
void DrainEntry(CacheEntry& e) {
  if (e.heapId != 0) {
    Guard listLock(&g_listLock);
    // Heap structs are never unmapped, so reading the id is safe; ids are
    // never reused, so a match means the very heap the blocks belong to.
    if (e.heap->id == e.heapId) {
      Guard lock(CentralLock(e.heap));
      for (unsigned cls = 0; cls < kClassCount; ++cls)
        while (e.bins[cls].head) e.heap->central[cls].Push(e.bins[cls].Pop());
    }
  }
  e = CacheEntry{};
}

void ReleaseThreadCache() {
  ThreadCache* tc = t_cache;
  t_cacheGone = true;
  t_cache = nullptr;
  if (!tc) return;
  for (CacheEntry& e : tc->entries) DrainEntry(e);
  OsUnmapPages(tc, sizeof(ThreadCache));
}

// Its destructor runs at thread exit (before the library's own shutdown for
// the thread that calls exit).
struct ThreadCacheOwner {
  ~ThreadCacheOwner() { ReleaseThreadCache(); }
};

ThreadCache* CreateThreadCache() {
  if (t_cacheGone) return nullptr;
  void* mem = OsMapPages(sizeof(ThreadCache));
  if (!mem) return nullptr;
  thread_local ThreadCacheOwner owner;
  (void)owner;
  t_cache = new (mem) ThreadCache{};
  return t_cache;
}

}  // namespace

CacheEntry* EntryFor(Heap* h) {
  if (h->options & HEAP_NO_SERIALIZE) return nullptr;
  ThreadCache* tc = t_cache;
  if (!tc && !(tc = CreateThreadCache())) return nullptr;
  CacheEntry& e = EntryIn(tc, h);
  if (e.heapId != h->id) {
    DrainEntry(e);
    e.heapId = h->id;
    e.heap = h;
    for (unsigned cls = 0; cls < kClassCount; ++cls) e.bins[cls].limit = 2 * kBatchTable.batch[cls];
  }
  return &e;
}


}  // namespace zrpal::heap
