// base/activity.h - the library-wide heap activity counters (library
// internal; Get_CoreActivity in zr/heap.h reads them).
//
// bytes: the raw size of every successful allocation and the initial size
// given to each heap; operations: one per heap creation, allocation and free,
// two per reallocation. Neither ever decreases.
//
// Everything but Free runs under the heap lock and counts with plain
// read-modify-writes. Free runs without it, on any thread, and is the
// hottest path of the heaps, so it counts into a per-thread counter that
// only its thread writes (no locked instruction); readers add up the live
// threads' counters and the folded-in counts of threads that have exited.
#pragma once

#include <atomic>
#include <cstdint>

namespace zr {

// The caller holds the heap lock.
inline void AddLockedActivity(std::uint64_t bytes, std::uint64_t operations);

// Any thread, no lock needed.
inline void CountFreeOperation();

// A consistent-enough snapshot: each counter is exact for the operations
// that completed before the call.
std::uint64_t ActivityBytes();
std::uint64_t ActivityOperations();

// ---- inline: both run on every allocation or free ----

namespace activity_detail {

// Written under the heap lock with plain read-modify-writes; atomic only so
// that lock-free readers see whole values.
extern constinit std::atomic<std::uint64_t> g_bytes;
extern constinit std::atomic<std::uint64_t> g_lockedOperations;

// A thread's count of frees, written by its thread only, in the thread's
// own storage so that counting is one add relative to the thread pointer.
enum : unsigned { kFreesUnlinked = 0, kFreesLinked = 1, kFreesRetired = 2 };
struct ThreadFrees {
  std::atomic<std::uint64_t> count{0};
  unsigned state = kFreesUnlinked;  // linked into the readers' list while the thread lives
};
[[gnu::tls_model("initial-exec")]] extern constinit thread_local ThreadFrees t_frees;

inline void Bump(std::atomic<std::uint64_t>& counter, std::uint64_t n) {
  counter.store(counter.load(std::memory_order_relaxed) + n, std::memory_order_relaxed);
}

// The thread's first free (links its counter), or a free during its exit.
void CountFreeFirstTime();

}  // namespace activity_detail

inline void AddLockedActivity(std::uint64_t bytes, std::uint64_t operations) {
  activity_detail::Bump(activity_detail::g_bytes, bytes);
  activity_detail::Bump(activity_detail::g_lockedOperations, operations);
}

inline void CountFreeOperation() {
  activity_detail::ThreadFrees& f = activity_detail::t_frees;
  if (f.state == activity_detail::kFreesLinked)
    activity_detail::Bump(f.count, 1);
  else
    activity_detail::CountFreeFirstTime();
}

}  // namespace zr
