// heap.h - heaps: the IHeap interface, the memory manager's exported
// functions, the low-memory callback and the activity counters.
//
// Every block of an IHeap carries an 8-byte header that names the heap that
// allocated it, so Free, Realloc and GetSize act on the block's own heap
// whichever heap object they are called on. Allocation failure throws
// CXMemException after the low-memory sink (if one is set) has had its
// chance to free memory and ask for another attempt.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zr/unknown.h"

class ZR_API IHeap : public IZRUnknown {
 public:
  // Slot 3: a zero-filled block of at least `size` usable bytes. A size
  // that does not fit with the header in a size_t throws CXMemException
  // (after the low-memory sink) instead of wrapping to a small block.
  virtual void* Alloc(size_t size) = 0;
  // Slot 4: frees a block of any heap; non-zero on success. A null block
  // is not a block: 0, nothing done.
  virtual int Free(void* block) = 0;
  // Slot 5: a new block of `size` bytes in the block's own heap holding the
  // old content (cut to size); the old block is freed. On failure it throws
  // and the old block is untouched. A null block throws CXException with
  // cause 10 (there is no heap to allocate from).
  virtual void* Realloc(void* block, size_t size) = 0;
  // Slot 6: the usable size of a block; -1 for a null block. Blocks of
  // 2 GiB or more are not supported.
  virtual std::int64_t GetSize(void* block) = 0;
  // Slot 7: the header bytes added to a block of any size: 8.
  virtual int GetOverhead(size_t size) = 0;

 protected:
  ~IHeap() = default;
};

// The reference-counting base of the library's heaps; exported so that
// modules can derive heap classes of their own from the same instance.
extern template class ZR_API CZRUnknownImpl<IHeap>;

// Supplied by the caller. OnLowMemory is called, with the heap lock held,
// after an allocation or heap creation failed; `attempt` counts the failed
// attempts so far (0 on the first call). Non-zero asks for another attempt.
class ILowMemoryNotifySink {
 public:
  virtual int OnLowMemory(ULONG attempt) = 0;

 protected:
  ~ILowMemoryNotifySink() = default;
};

// The default heap. The argument is not used. No reference is added (the
// default heap does not count references).
ZR_API IHeap* Mem_DefaultHeap(size_t unused);

// A new private heap with one reference for the caller; its last Release
// destroys it with every block it still holds. `initialSize` only counts in
// the activity counters. Null when the heap object itself cannot be
// allocated; throws CXMemException (as CXBadAlloc) when the platform heap
// cannot be created, and when the bytes counter cannot take `initialSize`
// without passing 2^64 - 1: such a size is refused and counted nowhere, so
// the counter never goes down (new_MemoryHeap(SIZE_MAX) is always refused).
ZR_API IHeap* new_MemoryHeap(size_t initialSize);

// Installs the low-memory sink. Only one sink can ever be installed: a call
// while a sink is set throws CXException with cause 10 (whatever the new
// value). A null sink installs nothing.
ZR_API void Mem_SetLowMemoryNotifySink(ILowMemoryNotifySink* sink);

// Copies the activity counters: bytes allocated (raw block sizes plus the
// initial sizes given to heaps; it never decreases) and the low 32 bits of
// the count of heap operations. Either pointer may be null.
ZR_API void Get_CoreActivity(std::uint64_t* bytes, ULONG* operations);

// 0 at load; the library itself neither reads nor writes it.
extern "C" ZR_API int __core_activity;
