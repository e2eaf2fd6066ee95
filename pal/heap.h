// pal/heap.h - private heaps with Win32 semantics.
//
// A heap is a private allocator that any thread may use (serialised unless
// created with HEAP_NO_SERIALIZE); HeapDestroy frees every block it still
// holds. Blocks are 16-byte aligned. HeapSize answers the size that was asked
// for, as on Windows.
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

HANDLE HeapCreate(DWORD options, SIZE_T initialSize, SIZE_T maximumSize);
BOOL HeapDestroy(HANDLE heap);
LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes);
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID block);
SIZE_T HeapSize(HANDLE heap, DWORD flags, LPCVOID block);
BOOL HeapSetInformation(HANDLE heap, HEAP_INFORMATION_CLASS infoClass, LPVOID info, SIZE_T length);

// The process heap, and the handles of every heap of the process (the
// process heap first). GetProcessHeaps returns the number of heaps; when it
// exceeds `count` nothing beyond `count` is written.
HANDLE GetProcessHeap();
DWORD GetProcessHeaps(DWORD count, HANDLE* heaps);

}  // namespace zrpal
