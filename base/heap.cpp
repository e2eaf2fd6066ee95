// base/heap.cpp - CHeap, the memory manager and the exported heap functions.
//
// One recursive lock, the heap lock, serialises heap creation and
// destruction, the setting of the low-memory sink, and every allocation
// that cannot be served at once; the sink runs under it.
//
// Allocation without the lock. Most allocations are served from the calling
// thread's cache of free blocks in the platform heap (HeapAllocCached), with
// no lock and no locked instruction; only when that cache is empty (the
// platform heap refills it or grows, and may fail) does Alloc take the heap
// lock and run the attempt loop with the sink. Free never took the lock.
// Realloc is an Alloc, a copy and a free, and takes the lock only through
// its Alloc. Why the results are those of allocating under the lock:
//  - the block: a cached block is handed out as HeapAlloc would hand it out
//    (zero-filled, the same size), and the header naming its owner is
//    written before the caller sees it, as before;
//  - failure and the sink: the fast path never fails; it declines, and the
//    attempt then made under the lock is the first attempt of the loop, so
//    the sink sees the same attempt numbers on the failing thread, under the
//    heap lock, and CXMemException comes where it came;
//  - the counters: each operation adds the same amounts, into counters of
//    its own thread (base/activity.h), and every reader adds up all threads,
//    so a reader sees exactly the operations that completed before it;
//  - heap creation and destruction: an allocation touches only its own heap
//    and its own thread's cache (the platform heap keeps a destroyed heap's
//    cache entries from being used), and using a heap during or after its
//    last Release is the caller's error with or without the lock.
// The difference: while a sink runs on one thread, other threads whose
// allocations are served from their caches go on instead of waiting for
// the lock (docs/deviations.md). Allocations the caches cannot serve, which
// would refill from the platform heap or grow it, still wait.
#include "base/heap.h"

#include <cstring>
#include <limits>
#include <new>

#include "base/activity.h"
#include "base/memmgr.h"
#include "pal/heap.h"
#include "pal/sync.h"
#include "zr/exception.h"

int __core_activity = 0;

template class CZRUnknownImpl<IHeap>;

namespace zr {

namespace {

constexpr size_t kDefaultHeapAccountedSize = 4096;

// The memory manager: one static object, set up by MemoryManagerStartup.
// Invariant: `count` is the length of the list head..tail, and every CHeap
// alive is on it exactly once.
struct MemoryManager {
  zrpal::CRITICAL_SECTION lock;
  bool ready;
  CHeap* defaultHeaps[1];  // the default-heap table: one entry
  ULONG cursor;            // round-robin position in the table
  ILowMemoryNotifySink* sink;
  ULONG count;
  ZR_LISTITEM* head;
  ZR_LISTITEM* tail;
};
constinit MemoryManager g_mm{};

class HeapLockGuard : public zrpal::CCriticalSectionGuard {
 public:
  HeapLockGuard() : CCriticalSectionGuard(&g_mm.lock) {}
};

// Asks the sink whether to try again after failed attempt `attempt`. The
// caller holds the heap lock.
bool RetryAfterLowMemory(ULONG attempt) {
  return g_mm.sink && g_mm.sink->OnLowMemory(attempt) != 0;
}

// An allocation the thread's cache could not serve: the attempt loop under
// the heap lock, asking the sink after each failure. Throws CXMemException.
[[gnu::noinline]] void* AllocUnderLock(void* hHeap, size_t raw) {
  HeapLockGuard lock;
  for (ULONG attempt = 0;; ++attempt) {
    if (void* p = zrpal::HeapAlloc(hHeap, zrpal::HEAP_ZERO_MEMORY, raw)) return p;
    if (!RetryAfterLowMemory(attempt)) throw CXBadAlloc();
  }
}

CHeap* OwnerOf(void* block) {
  CHeap* owner;
  std::memcpy(&owner, static_cast<char*>(block) - CHeap::kHeaderBytes, sizeof owner);
  return owner;
}

void* RawOf(void* block) { return static_cast<char*>(block) - CHeap::kHeaderBytes; }

}  // namespace

CHeap::CHeap(bool isStatic, size_t accountedSize) : m_hHeap(nullptr), m_static(isStatic ? 1 : 0) {
  HeapLockGuard lock;
  // The bytes counter never goes down: a size it cannot add is refused
  // before anything is made or counted.
  std::uint64_t counted = 0;
  ReadActivity(&counted, nullptr);
  if (accountedSize > std::numeric_limits<std::uint64_t>::max() - counted) throw CXBadAlloc();
  for (ULONG attempt = 0;; ++attempt) {
    m_hHeap = zrpal::HeapCreate(zrpal::HEAP_GROWABLE, 0, 0);
    if (m_hHeap) {
      ULONG lfh = zrpal::HEAP_LFH;
      zrpal::HeapSetInformation(m_hHeap, zrpal::HeapCompatibilityInformation, &lfh, sizeof lfh);
      break;
    }
    if (!RetryAfterLowMemory(attempt)) break;
  }
  // Counted whether or not the platform heap could be made.
  CountActivity(accountedSize, 1);
  if (!m_hHeap) throw CXBadAlloc();
  prev = g_mm.tail;
  next = nullptr;
  if (g_mm.tail)
    g_mm.tail->next = this;
  else
    g_mm.head = this;
  g_mm.tail = this;
  ++g_mm.count;
}

CHeap::~CHeap() {
  HeapLockGuard lock;
  if (prev)
    prev->next = next;
  else
    g_mm.head = next;
  if (next)
    next->prev = prev;
  else
    g_mm.tail = prev;
  next = prev = nullptr;
  --g_mm.count;
  zrpal::HeapDestroy(m_hHeap);
}

ULONG CHeap::Release() {
  if (m_static) return 1;
  return CZRUnknownImpl<IHeap>::Release();
}

ULONG CHeap::AddRef() {
  if (m_static) return 1;
  return CZRUnknownImpl<IHeap>::AddRef();
}

int CHeap::GetOverhead(size_t) { return kHeaderBytes; }

void* CHeap::Alloc(size_t size) {
  const auto overhead = static_cast<ULONG>(GetOverhead(size));
  // A size within the header of SIZE_MAX cannot be had: ask for the
  // impossible rather than wrap to a small block.
  const size_t raw = size <= std::numeric_limits<size_t>::max() - overhead
                         ? size + overhead
                         : std::numeric_limits<size_t>::max();
  void* p = zrpal::HeapAllocCached(m_hHeap, zrpal::HEAP_ZERO_MEMORY, raw);
  if (!p) [[unlikely]] p = AllocUnderLock(m_hHeap, raw);
  CHeap* self = this;
  std::memcpy(p, &self, sizeof self);
  CountActivity(raw, 1);
  return static_cast<char*>(p) + kHeaderBytes;
}

// A null block has no header to name its heap: refused without counting.
int CHeap::Free(void* block) {
  if (!block) return 0;
  CHeap* owner = OwnerOf(block);
  CountFree();
  return zrpal::HeapFree(owner->m_hHeap, 0, RawOf(block));
}

void* CHeap::Realloc(void* block, size_t size) {
  if (!block) throw CXException(ZRCAUSE_INVALIDARG);
  CHeap* owner = OwnerOf(block);
  void* fresh = owner->Alloc(size);  // may throw; the old block is untouched
  // The old block's usable size in full: GetSize's 32-bit answer would cut
  // the copy of a block of 2 GiB or more.
  // (A block its heap does not know, (SIZE_T)-1, gives nothing to copy.)
  const size_t raw = zrpal::HeapSize(owner->m_hHeap, 0, RawOf(block));
  const size_t oldUsable = raw == static_cast<size_t>(-1) ? 0 : raw - kHeaderBytes;
  std::memcpy(fresh, block, size < oldUsable ? size : oldUsable);
  zrpal::HeapFree(owner->m_hHeap, 0, RawOf(block));
  CountActivity(0, 2);  // a reallocation's two, besides its allocation's one
  return fresh;
}

std::int64_t CHeap::GetSize(void* block) {
  if (!block) return -1;
  CHeap* owner = OwnerOf(block);
  const auto raw = static_cast<std::int32_t>(zrpal::HeapSize(owner->m_hHeap, 0, RawOf(block)));
  return static_cast<std::int64_t>(raw) - kHeaderBytes;
}

void MemoryManagerStartup() {
  zrpal::InitializeCriticalSection(&g_mm.lock);
  g_mm.sink = nullptr;
  g_mm.count = 0;
  g_mm.head = g_mm.tail = nullptr;
  g_mm.cursor = 0;
  g_mm.ready = true;
  g_mm.defaultHeaps[0] = new CHeap(true, kDefaultHeapAccountedSize);
}

void MemoryManagerShutdown() {
  if (!g_mm.ready) return;
  // Every heap still alive goes, whatever its count, the default heap too.
  // The walk ends: each delete unlinks the head.
  while (g_mm.head) delete static_cast<CHeap*>(g_mm.head);
  g_mm.defaultHeaps[0] = nullptr;
  g_mm.ready = false;
  zrpal::DeleteCriticalSection(&g_mm.lock);
}

zrpal::CRITICAL_SECTION* HeapLock() { return &g_mm.lock; }

ULONG LiveHeapCount() {
  HeapLockGuard lock;
  return g_mm.count;
}

}  // namespace zr

using zr::g_mm;

IHeap* Mem_DefaultHeap(size_t) {
  zr::HeapLockGuard lock;
  constexpr ULONG entries = sizeof g_mm.defaultHeaps / sizeof g_mm.defaultHeaps[0];
  IHeap* heap = g_mm.defaultHeaps[g_mm.cursor % entries];
  g_mm.cursor = (g_mm.cursor + 1) % entries;
  return heap;
}

// Null when the object itself cannot be had; a platform heap that cannot be
// made throws CXMemException from the constructor (the memory goes back).
IHeap* new_MemoryHeap(size_t initialSize) { return new (std::nothrow) zr::CHeap(false, initialSize); }

void Mem_SetLowMemoryNotifySink(ILowMemoryNotifySink* sink) {
  zr::HeapLockGuard lock;
  if (g_mm.sink) throw CXException(ZRCAUSE_INVALIDARG);
  g_mm.sink = sink;
}

void Get_CoreActivity(std::uint64_t* bytes, ULONG* operations) {
  std::uint64_t ops = 0;
  zr::ReadActivity(bytes, &ops);
  if (operations) *operations = static_cast<ULONG>(ops);
}
