// pal/heap.cpp - private heaps.
//
// Each heap keeps its blocks on a doubly linked list under its own lock, so
// that HeapDestroy can free every block still alive. Block memory comes from
// the OS layer (posix/heap.inc).
//
// Block layout (every block):
//   [BlockHeader: 32 bytes][user bytes ...]
// The user pointer is 16-byte aligned because the header is 32 bytes and the
// OS allocation is 16-byte aligned.
#include "pal/heap.h"

#include <cassert>
#include <cstring>
#include <new>

#include "pal/error.h"
#include "pal/fault.h"
#include "pal/sync.h"

namespace zrpal {

namespace {

// OS memory for blocks (posix/heap.inc).
void* OsAllocate(SIZE_T bytes);
void OsRelease(void* p);

struct Heap;

struct BlockHeader {
  BlockHeader* next;
  BlockHeader* prev;
  SIZE_T size;     // bytes asked for (what HeapSize answers)
  Heap* heap;      // owner, for validation
};
static_assert(sizeof(BlockHeader) == 32);

constexpr DWORD kHeapMagic = 0x5A524850;  // "ZRHP"
constexpr DWORD kKnownCreateOptions = HEAP_NO_SERIALIZE | HEAP_GROWABLE;
constexpr DWORD kKnownAllocFlags = HEAP_NO_SERIALIZE | HEAP_ZERO_MEMORY;
constexpr DWORD kKnownReAllocFlags = HEAP_NO_SERIALIZE | HEAP_ZERO_MEMORY | HEAP_REALLOC_IN_PLACE_ONLY;

struct Heap {
  DWORD magic;
  DWORD options;
  ULONG compatibility;  // HeapCompatibilityInformation: 0 standard, 2 LFH
  CRITICAL_SECTION lock;
  BlockHeader* head;    // circular list of live blocks, null when empty
  Heap* nextHeap;       // list of every heap of the process
  Heap* prevHeap;
};

// Every heap of the process, the process heap first.
constinit Heap g_processHeap{};
constinit Heap* g_heaps = nullptr;
CRITICAL_SECTION g_heapListLock;
constinit bool g_processHeapReady = false;

void EnsureProcessHeap();

class HeapLock {
 public:
  explicit HeapLock(Heap* h) : h_((h->options & HEAP_NO_SERIALIZE) ? nullptr : h) {
    if (h_) EnterCriticalSection(&h_->lock);
  }
  ~HeapLock() {
    if (h_) LeaveCriticalSection(&h_->lock);
  }
  HeapLock(const HeapLock&) = delete;
  HeapLock& operator=(const HeapLock&) = delete;

 private:
  Heap* h_;
};

Heap* AsHeap(HANDLE handle) {
  EnsureProcessHeap();
  auto* h = static_cast<Heap*>(handle);
  if (!h || h->magic != kHeapMagic) return nullptr;
  return h;
}

BlockHeader* HeaderOf(LPCVOID block) {
  return reinterpret_cast<BlockHeader*>(const_cast<char*>(static_cast<const char*>(block)) -
                                        sizeof(BlockHeader));
}

void* UserOf(BlockHeader* b) { return reinterpret_cast<char*>(b) + sizeof(BlockHeader); }

void Link(Heap* h, BlockHeader* b) {
  if (!h->head) {
    b->next = b->prev = b;
    h->head = b;
  } else {
    b->next = h->head;
    b->prev = h->head->prev;
    b->prev->next = b;
    h->head->prev = b;
  }
}

void Unlink(Heap* h, BlockHeader* b) {
  if (b->next == b) {
    h->head = nullptr;
  } else {
    b->prev->next = b->next;
    b->next->prev = b->prev;
    if (h->head == b) h->head = b->next;
  }
  b->next = b->prev = nullptr;
}

void InitHeap(Heap* h, DWORD options) {
  h->magic = kHeapMagic;
  h->options = options;
  h->compatibility = 0;
  h->head = nullptr;
  InitializeCriticalSection(&h->lock);
}

void LinkHeap(Heap* h) {
  EnterCriticalSection(&g_heapListLock);
  h->nextHeap = nullptr;
  h->prevHeap = nullptr;
  if (!g_heaps) {
    g_heaps = h;
  } else {
    Heap* tail = g_heaps;
    while (tail->nextHeap) tail = tail->nextHeap;
    tail->nextHeap = h;
    h->prevHeap = tail;
  }
  LeaveCriticalSection(&g_heapListLock);
}

void UnlinkHeap(Heap* h) {
  EnterCriticalSection(&g_heapListLock);
  if (h->prevHeap)
    h->prevHeap->nextHeap = h->nextHeap;
  else
    g_heaps = h->nextHeap;
  if (h->nextHeap) h->nextHeap->prevHeap = h->prevHeap;
  LeaveCriticalSection(&g_heapListLock);
}

void EnsureProcessHeap() {
  if (g_processHeapReady) return;
  // First use happens during the library's start-up, before any other thread
  // can reach the platform layer.
  InitializeCriticalSection(&g_heapListLock);
  InitHeap(&g_processHeap, HEAP_GROWABLE);
  g_processHeapReady = true;
  LinkHeap(&g_processHeap);
}

}  // namespace

HANDLE HeapCreate(DWORD options, SIZE_T initialSize, SIZE_T maximumSize) {
  EnsureProcessHeap();
  // Deviation: fixed-size heaps (a non-zero maximum) are not offered; every
  // heap grows as needed.
  if ((options & ~kKnownCreateOptions) != 0 || maximumSize != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  (void)initialSize;  // the heap starts empty and grows
  if (FaultShouldFail(Fault::HeapCreate)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void* mem = OsAllocate(sizeof(Heap));
  if (!mem) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  Heap* h = new (mem) Heap{};
  InitHeap(h, options);
  LinkHeap(h);
  return h;
}

BOOL HeapDestroy(HANDLE handle) {
  Heap* h = AsHeap(handle);
  if (!h || h == &g_processHeap) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  UnlinkHeap(h);
  EnterCriticalSection(&h->lock);
  BlockHeader* b = h->head;
  if (b) {
    b->prev->next = nullptr;
    while (b) {
      BlockHeader* next = b->next;
      OsRelease(b);
      b = next;
    }
  }
  h->head = nullptr;
  h->magic = 0;
  LeaveCriticalSection(&h->lock);
  DeleteCriticalSection(&h->lock);
  h->~Heap();
  OsRelease(h);
  return TRUE;
}

LPVOID HeapAlloc(HANDLE handle, DWORD flags, SIZE_T bytes) {
  Heap* h = AsHeap(handle);
  if (!h || (flags & ~kKnownAllocFlags) != 0 || bytes > (SIZE_T{1} << 47)) {
    SetLastError(h ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (FaultShouldFail(Fault::HeapAlloc)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto* b = static_cast<BlockHeader*>(OsAllocate(sizeof(BlockHeader) + bytes));
  if (!b) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  b->size = bytes;
  b->heap = h;
  if (flags & HEAP_ZERO_MEMORY) std::memset(UserOf(b), 0, bytes);
  HeapLock lock(h);
  Link(h, b);
  return UserOf(b);
}

BOOL HeapFree(HANDLE handle, DWORD flags, LPVOID block) {
  Heap* h = AsHeap(handle);
  if (!h) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!block) return TRUE;  // as on Windows, freeing null succeeds
  if ((flags & ~HEAP_NO_SERIALIZE) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  BlockHeader* b = HeaderOf(block);
  assert(b->heap == h && "block freed in a heap that did not allocate it");
  if (b->heap != h) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  {
    HeapLock lock(h);
    Unlink(h, b);
  }
  OsRelease(b);
  return TRUE;
}

LPVOID HeapReAlloc(HANDLE handle, DWORD flags, LPVOID block, SIZE_T bytes) {
  Heap* h = AsHeap(handle);
  if (!h || !block || (flags & ~kKnownReAllocFlags) != 0 || bytes > (SIZE_T{1} << 47)) {
    SetLastError(h ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return nullptr;
  }
  BlockHeader* old = HeaderOf(block);
  if (old->heap != h) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (bytes <= old->size) {
    // Shrinking always happens in place.
    HeapLock lock(h);
    old->size = bytes;
    return block;
  }
  if (flags & HEAP_REALLOC_IN_PLACE_ONLY) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void* fresh = HeapAlloc(handle, flags & HEAP_NO_SERIALIZE, bytes);
  if (!fresh) return nullptr;
  const SIZE_T oldSize = old->size;
  std::memcpy(fresh, block, oldSize);
  if (flags & HEAP_ZERO_MEMORY) std::memset(static_cast<char*>(fresh) + oldSize, 0, bytes - oldSize);
  HeapFree(handle, flags & HEAP_NO_SERIALIZE, block);
  return fresh;
}

SIZE_T HeapSize(HANDLE handle, DWORD flags, LPCVOID block) {
  Heap* h = AsHeap(handle);
  if (!h || !block || (flags & ~HEAP_NO_SERIALIZE) != 0 || HeaderOf(block)->heap != h) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return static_cast<SIZE_T>(-1);
  }
  HeapLock lock(h);
  return HeaderOf(block)->size;
}

BOOL HeapSetInformation(HANDLE handle, HEAP_INFORMATION_CLASS infoClass, LPVOID info,
                        SIZE_T length) {
  Heap* h = AsHeap(handle);
  if (!h) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (infoClass != HeapCompatibilityInformation || !info || length < sizeof(ULONG)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const ULONG value = *static_cast<const ULONG*>(info);
  // 0 is the standard heap and 2 the low-fragmentation heap; Windows no
  // longer accepts 1 (look-aside lists).
  if (value != 0 && value != 2) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  HeapLock lock(h);
  h->compatibility = value;
  return TRUE;
}

HANDLE GetProcessHeap() {
  EnsureProcessHeap();
  return &g_processHeap;
}

DWORD GetProcessHeaps(DWORD count, HANDLE* heaps) {
  EnsureProcessHeap();
  EnterCriticalSection(&g_heapListLock);
  DWORD n = 0;
  for (Heap* h = g_heaps; h; h = h->nextHeap, ++n)
    if (heaps && n < count) heaps[n] = h;
  LeaveCriticalSection(&g_heapListLock);
  return n;
}

}  // namespace zrpal

#include "pal/posix/heap.inc"
