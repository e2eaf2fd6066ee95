// pal/internal/heap_blocks.h - the block header, free lists and size classes of the
// private heaps (platform-layer internal; see heap.cpp for the design).
#pragma once

#include <cstddef>
#include <cstdint>

#include "pal/types.h"

#if defined(__SANITIZE_ADDRESS__)
#define ZRPAL_HEAP_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZRPAL_HEAP_ASAN 1
#endif
#endif
#if defined(ZRPAL_HEAP_ASAN)
#include <sanitizer/asan_interface.h>
#include <sanitizer/lsan_interface.h>
#endif

namespace zrpal::heap {

inline constexpr DWORD kHeapMagic = 0x5A524850;  // "ZRHP"
inline constexpr SIZE_T kAlignment = 16;
inline constexpr SIZE_T kPageBytes = 4096;
// Small blocks, header included, are at most this big; larger ones get a
// mapping of their own.
inline constexpr SIZE_T kMaxSmallSlot = 32 * 1024;
// Requests above this fail (no address space holds them).
inline constexpr SIZE_T kMaxRequest = SIZE_T{1} << 47;
// 16 classes in 16-byte steps up to 256, then 4 per power of two to 32 KiB.
inline constexpr unsigned kClassCount = 44;
inline constexpr std::uint32_t kLargeClass = 0xFFFFFFFF;
inline constexpr std::uint32_t kFreeTag = 0;
// Heaps one thread can cache blocks of at a time (by id modulo this).
inline constexpr unsigned kCacheEntries = 8;

// Precedes every block. While the block is allocated `word` is the size the
// caller asked for and `tag` the owner heap's tag; while it is free, `word`
// links the free list and `tag` is kFreeTag (so a double free is seen).
struct BlockHeader {
  std::uintptr_t word;
  std::uint32_t sizeClass;  // < kClassCount, or kLargeClass
  std::uint32_t tag;
};
static_assert(sizeof(BlockHeader) == kAlignment, "the caller's bytes stay 16-byte aligned");

// A singly linked list of free blocks of one class, through BlockHeader::word.
struct FreeList {
  BlockHeader* head = nullptr;
  std::uint32_t count = 0;
  // A thread cache's bin holds fewer than this many blocks before its
  // frees spill to the heap (twice the class's batch; 0 outside caches).
  std::uint32_t limit = 0;

  void Push(BlockHeader* b) {
    b->word = reinterpret_cast<std::uintptr_t>(head);
    head = b;
    ++count;
  }
  // The list must not be empty.
  BlockHeader* Pop() {
    BlockHeader* b = head;
    head = reinterpret_cast<BlockHeader*>(b->word);
    --count;
    return b;
  }
};

// Slot bytes (header included) of a class.
constexpr SIZE_T SlotBytes(unsigned cls) {
  if (cls < 16) return (cls + 1) * 16;
  const unsigned lg = 8 + (cls - 16) / 4;
  const unsigned sub = (cls - 16) % 4;
  return (SIZE_T{1} << lg) + (sub + 1) * (SIZE_T{1} << (lg - 2));
}

// The smallest class whose slot holds `slot` bytes (1 <= slot <=
// kMaxSmallSlot).
constexpr unsigned ClassOfSlot(SIZE_T slot) {
  if (slot <= 256) return slot == 0 ? 0 : static_cast<unsigned>((slot + 15) / 16 - 1);
  const SIZE_T s = slot - 1;
  const unsigned lg = 63 - static_cast<unsigned>(__builtin_clzll(s));
  const unsigned sub = static_cast<unsigned>(s >> (lg - 2)) & 3;
  return 16 + (lg - 8) * 4 + sub;
}

// The same, as a table for the hot paths.
struct ClassTable {
  SIZE_T slot[kClassCount];
  constexpr ClassTable() : slot() {
    for (unsigned c = 0; c < kClassCount; ++c) slot[c] = SlotBytes(c);
  }
};
inline constexpr ClassTable kClassTable{};

// ClassOfSlot by 16-byte units, for the allocation fast path: one load
// instead of a bit scan and shifts on the way to the free list.
struct UnitClassTable {
  std::uint8_t cls[kMaxSmallSlot / 16 + 1];
  constexpr UnitClassTable() : cls() {
    for (SIZE_T units = 0; units <= kMaxSmallSlot / 16; ++units)
      cls[units] = static_cast<std::uint8_t>(ClassOfSlot(units == 0 ? 1 : units * 16));
  }
};
inline constexpr UnitClassTable kUnitClassTable{};

// The same as ClassOfSlot (1 <= slot <= kMaxSmallSlot).
inline unsigned ClassOfSlotFast(SIZE_T slot) { return kUnitClassTable.cls[(slot + 15) / 16]; }

static_assert(SlotBytes(kClassCount - 1) == kMaxSmallSlot);
static_assert(ClassOfSlot(kMaxSmallSlot) == kClassCount - 1);

// The slot a block of `bytes` caller bytes would take (large blocks: the
// bytes plus header, unrounded).
constexpr SIZE_T SlotFor(SIZE_T bytes) {
  const SIZE_T slot = bytes + sizeof(BlockHeader);
  return slot <= kMaxSmallSlot ? SlotBytes(ClassOfSlot(slot)) : slot;
}

// Blocks moved between a thread's cache and its heap at a time: about 32 KiB
// worth, between 1 and 32 blocks. A cache holds at most twice this per class.
constexpr std::uint32_t BatchOf(unsigned cls) {
  const SIZE_T n = (32 * 1024) / SlotBytes(cls);
  return n < 1 ? 1 : (n > 32 ? 32 : static_cast<std::uint32_t>(n));
}

struct BatchTable {
  std::uint32_t batch[kClassCount];
  constexpr BatchTable() : batch() {
    for (unsigned c = 0; c < kClassCount; ++c) batch[c] = BatchOf(c);
  }
};
inline constexpr BatchTable kBatchTable{};

// Slots of more than this many bytes are whole cache lines (320, 384, ...
// up to kMaxSmallSlot), and their blocks are carved so that the caller's
// bytes start on a line boundary (heap.cpp, Carve). Zeroing such a block
// writes whole lines from its first byte: memset of 1 KiB that starts 16
// bytes into a line took 8.1 ns on the development machine, from a line
// boundary 4.8 ns, because every store of the former straddles two lines.
inline constexpr SIZE_T kLineBytes = 64;
inline constexpr SIZE_T kLineAlignedAbove = 256;

// Where a block of a line-aligned class starts at or after `p`, so that
// its caller's bytes begin a cache line.
inline char* LineAlignedSlot(char* p) {
  const std::uintptr_t user = reinterpret_cast<std::uintptr_t>(p) + sizeof(BlockHeader);
  const std::uintptr_t aligned = (user + kLineBytes - 1) & ~std::uintptr_t{kLineBytes - 1};
  return p + (aligned - user);
}

// Zeroes a small block's first `bytes` bytes; its slot holds `capacity`
// bytes (a multiple of 16, at least `bytes`). Bytes past the request may be
// zeroed too, up to the slot's end; under AddressSanitizer they are poisoned
// and only the exact length is written.
inline void ZeroSmall(char* user, SIZE_T bytes, SIZE_T capacity) {
#if defined(ZRPAL_HEAP_ASAN)
  (void)capacity;
  __builtin_memset(user, 0, bytes);
#else
  if (bytes > kLineAlignedAbove - sizeof(BlockHeader)) {
    // A line-aligned block (its slot is over kLineAlignedAbove): whole
    // lines, the last one cut at the slot's end.
    SIZE_T n = (bytes + kLineBytes - 1) & ~(kLineBytes - 1);
    if (n > capacity) n = capacity;
    __builtin_memset(user, 0, n);
    return;
  }
  // Slots are whole 16-byte units, so the rounded-up length stays inside.
  struct alignas(16) Unit {
    std::uint64_t lo, hi;
  };
  auto* unit = reinterpret_cast<Unit*>(user);
  for (SIZE_T i = 0, n = (bytes + 15) / 16; i < n; ++i) {
    unit[i] = Unit{0, 0};
    // Keeps the compiler from turning the loop back into a memset call,
    // whose entry costs more than the few stores of a small block.
    __asm__ volatile("" ::: "memory");
  }
#endif
}

// Sanitizer bookkeeping: no-ops in uninstrumented builds.
#if defined(ZRPAL_HEAP_ASAN)
inline void PoisonRegion(const void* p, SIZE_T n) { ASAN_POISON_MEMORY_REGION(p, n); }
inline void UnpoisonRegion(const void* p, SIZE_T n) { ASAN_UNPOISON_MEMORY_REGION(p, n); }
inline void RegisterLeakRoot(const void* p, SIZE_T n) { __lsan_register_root_region(p, n); }
inline void UnregisterLeakRoot(const void* p, SIZE_T n) { __lsan_unregister_root_region(p, n); }
#else
inline void PoisonRegion(const void*, SIZE_T) {}
inline void UnpoisonRegion(const void*, SIZE_T) {}
inline void RegisterLeakRoot(const void*, SIZE_T) {}
inline void UnregisterLeakRoot(const void*, SIZE_T) {}
#endif

}  // namespace zrpal::heap
