// base/activity.h - the library-wide heap activity counters (library
// internal; Get_CoreActivity in zr/heap.h reads them).
//
// bytes: the raw size of every successful allocation and the initial size
// given to each heap; operations: one per heap creation, allocation and free,
// two per reallocation. Neither ever decreases.
//
// Allocation and Free run without the heap lock, on any thread, and are the
// hottest paths of the heaps, so every count goes into counters of the
// counting thread's own storage, which only that thread writes (no lock, no
// locked instruction). Readers add up the live threads' counters and the
// folded-in counts of threads that have exited. Frees have a counter of
// their own, so that a thread that allocates and frees in turn does not
// wait on its own previous update of one counter.
//
// Exactness: each thread's counters are single-writer, so no update is
// lost; an exiting thread folds its counts into the retired totals and
// unlinks its counters in one step under the readers' lock, so a reader
// sees each count exactly once, and sees every operation that completed
// before it (same thread, or after a join or other synchronisation).
#pragma once

#include <atomic>
#include <cstdint>

namespace zr {

// Any thread, no lock needed. CountFree() is CountActivity(0, 1).
inline void CountActivity(std::uint64_t bytes, std::uint64_t operations);
inline void CountFree();

// Both counters, each exact for the operations that completed before the
// call (operations of other threads may land while it reads).
void ReadActivity(std::uint64_t* bytes, std::uint64_t* operations);

// ---- inline: runs on every allocation and free ----

namespace activity_detail {

// A thread's counts, in the thread's own storage so that counting is an add
// relative to the thread pointer; atomic only so that readers on other
// threads see whole values.
enum : unsigned { kUnlinked = 0, kLinked = 1, kRetired = 2 };
struct ThreadActivity {
  std::atomic<std::uint64_t> bytes{0};
  std::atomic<std::uint64_t> operations{0};  // all but frees
  std::atomic<std::uint64_t> frees{0};
  unsigned state = kUnlinked;  // linked into the readers' list while the thread lives
};
[[gnu::tls_model("initial-exec")]] extern constinit thread_local ThreadActivity t_activity;

inline void Bump(std::atomic<std::uint64_t>& counter, std::uint64_t n) {
  counter.store(counter.load(std::memory_order_relaxed) + n, std::memory_order_relaxed);
}

// The thread's first count (links its counters), or a count made during its
// exit, after its counters were folded in.
void CountFirstTime(std::uint64_t bytes, std::uint64_t operations, std::uint64_t frees);

}  // namespace activity_detail

inline void CountActivity(std::uint64_t bytes, std::uint64_t operations) {
  activity_detail::ThreadActivity& a = activity_detail::t_activity;
  if (a.state == activity_detail::kLinked) [[likely]] {
    activity_detail::Bump(a.bytes, bytes);
    activity_detail::Bump(a.operations, operations);
  } else {
    activity_detail::CountFirstTime(bytes, operations, 0);
  }
}

inline void CountFree() {
  activity_detail::ThreadActivity& a = activity_detail::t_activity;
  if (a.state == activity_detail::kLinked) [[likely]]
    activity_detail::Bump(a.frees, 1);
  else
    activity_detail::CountFirstTime(0, 0, 1);
}

}  // namespace zr
