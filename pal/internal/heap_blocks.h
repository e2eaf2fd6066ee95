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

// Zeroing blocks of more than this many bytes is done in whole cache lines.
inline constexpr SIZE_T kZeroByLinesAbove = 512;

// Zeroes a block of more than kZeroByLinesAbove bytes whose slot holds
// `capacity` bytes. Blocks are only 16-byte aligned, and memset writes a
// range that starts inside a cache line with stores that straddle two lines
// (on the development machine memset of 1032 bytes 16 bytes into a line
// took 8.1 ns, of 1024 bytes from a line boundary 4.8 ns). So the units
// before the first line boundary are written one by one, and memset gets
// whole aligned lines, rounded up into the slot's spare room when it has
// it.
[[gnu::noinline]] inline void ZeroByLines(char* user, SIZE_T bytes, SIZE_T capacity) {
  constexpr std::uintptr_t kLine = 64;
  const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(user);
  const std::uintptr_t line = (start + kLine - 1) & ~(kLine - 1);  // within the block
  for (std::uintptr_t unit = start; unit < line; unit += 16) {
    __builtin_memset(reinterpret_cast<char*>(unit), 0, 16);
    // Keeps the compiler from merging the stores into a memset call.
    __asm__ volatile("" ::: "memory");
  }
  std::uintptr_t end = (start + bytes + kLine - 1) & ~(kLine - 1);
  if (end > start + capacity) end = start + bytes;
  __builtin_memset(reinterpret_cast<char*>(line), 0, end - line);
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
  if (bytes > 256) {
    if (bytes > kZeroByLinesAbove)
      ZeroByLines(user, bytes, capacity);
    else
      __builtin_memset(user, 0, bytes);
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
