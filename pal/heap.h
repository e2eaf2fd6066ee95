// pal/heap.h - private heaps with Win32 semantics.
//
// A heap is a private allocator that any thread may use (serialised unless
// created with HEAP_NO_SERIALIZE); HeapDestroy frees every block it still
// holds, whichever thread last freed it. Blocks are 16-byte aligned.
// HeapSize answers the size that was asked for, as on Windows.
//
// Every heap behaves as a low-fragmentation heap (size-class slabs with
// per-thread caches; see heap.cpp): HeapSetInformation records the
// compatibility value and HeapQueryInformation reports it, but the
// allocator is the same for both values.
//
// Flags: HeapCreate takes HEAP_NO_SERIALIZE and HEAP_GROWABLE; HeapAlloc
// HEAP_NO_SERIALIZE and HEAP_ZERO_MEMORY; HeapReAlloc those and
// HEAP_REALLOC_IN_PLACE_ONLY; HeapFree and HeapSize HEAP_NO_SERIALIZE. Any
// other bit, HEAP_GENERATE_EXCEPTIONS included (there is no structured
// exception to raise), fails with ERROR_INVALID_PARAMETER. Failures set the
// last error (Windows' HeapAlloc leaves it alone; setting it costs nothing on
// success and helps on failure).
#pragma once

#include "pal/types.h"

namespace zrpal {

inline constexpr DWORD HEAP_NO_SERIALIZE = 0x00000001;
inline constexpr DWORD HEAP_GROWABLE = 0x00000002;
inline constexpr DWORD HEAP_GENERATE_EXCEPTIONS = 0x00000004;
inline constexpr DWORD HEAP_ZERO_MEMORY = 0x00000008;
inline constexpr DWORD HEAP_REALLOC_IN_PLACE_ONLY = 0x00000010;

enum HEAP_INFORMATION_CLASS {
  HeapCompatibilityInformation = 0,
};

// The compatibility values: 0 the standard heap, 2 the low-fragmentation
// heap (1, look-aside lists, is refused as on current Windows).
inline constexpr ULONG HEAP_STANDARD = 0;
inline constexpr ULONG HEAP_LFH = 2;

// Deviation: a non-zero maximumSize (a fixed-size heap) is refused with
// ERROR_INVALID_PARAMETER; every heap grows. initialSize is mapped at once
// (lazily committed by the OS, as Windows commits it); one above 2^47 bytes
// fails with ERROR_NOT_ENOUGH_MEMORY.
HANDLE HeapCreate(DWORD options, SIZE_T initialSize, SIZE_T maximumSize);
// Frees every block of the heap, including blocks that other threads hold
// in their caches. No thread may be inside another call on the heap. The
// process heap cannot be destroyed (ERROR_INVALID_HANDLE).
BOOL HeapDestroy(HANDLE heap);
// Null on failure (ERROR_NOT_ENOUGH_MEMORY, or ERROR_INVALID_PARAMETER for
// bad flags); requests above 2^47 bytes fail with ERROR_NOT_ENOUGH_MEMORY.
LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
// Not a Win32 function: HeapAlloc's common case alone, for a caller that
// must know when an allocation could wait (the library's heaps take their
// lock only then). Takes a free block of the size from the calling thread's
// cache for the heap, with no lock and no locked instruction, and returns
// it as HeapAlloc would. Returns null, setting no error, when HeapAlloc
// would have to do more: the cache has no such block (a refill or growth),
// the block is large, the heap is HEAP_NO_SERIALIZE, the handle or a flag
// is bad, or a fault is armed; the caller then calls HeapAlloc.
LPVOID HeapAllocCached(HANDLE heap, DWORD flags, SIZE_T bytes);
// As on Windows: with HEAP_ZERO_MEMORY only the bytes beyond the old size are
// zeroed; with HEAP_REALLOC_IN_PLACE_ONLY a block that cannot change size
// where it is fails with ERROR_NOT_ENOUGH_MEMORY and stays as it was. A null
// block fails with ERROR_INVALID_PARAMETER. Whether a block is large (see
// HeapFree) follows the size it is given: a large block shrunk to 32 KiB or
// less with its header moves into a small block. Deviation: so it cannot
// shrink that far in place, and HEAP_REALLOC_IN_PLACE_ONLY fails with
// ERROR_NOT_ENOUGH_MEMORY (Windows shrinks it where it is).
LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes);
// Freeing null succeeds. A block of another heap, or a small block already
// free, fails with ERROR_INVALID_PARAMETER (Windows' behaviour there is
// undefined). A large block (its current size over 32 KiB with its header)
// has a mapping of its own that goes with it: using it after it was freed
// stays undefined, as on Windows (here it faults).
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID block);
// The bytes asked for; (SIZE_T)-1 with ERROR_INVALID_PARAMETER for a block
// of another heap or a small block already free.
SIZE_T HeapSize(HANDLE heap, DWORD flags, LPCVOID block);
// Sets the compatibility value (ULONG, 0 or 2). 2 on a HEAP_NO_SERIALIZE
// heap fails with ERROR_INVALID_PARAMETER, as on Windows.
BOOL HeapSetInformation(HANDLE heap, HEAP_INFORMATION_CLASS infoClass, LPVOID info, SIZE_T length);
// Reports the compatibility value. `returnLength` (may be null) receives
// sizeof(ULONG); a buffer smaller than that fails with
// ERROR_INSUFFICIENT_BUFFER.
BOOL HeapQueryInformation(HANDLE heap, HEAP_INFORMATION_CLASS infoClass, LPVOID info,
                          SIZE_T length, SIZE_T* returnLength);

// The process heap, and the handles of every heap of the process (the
// process heap first, then in creation order). GetProcessHeaps returns the
// number of heaps; when it exceeds `count` nothing beyond `count` is written.
HANDLE GetProcessHeap();
DWORD GetProcessHeaps(DWORD count, HANDLE* heaps);

}  // namespace zrpal
