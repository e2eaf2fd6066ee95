// base/activity.cpp - the heap activity counters (see activity.h).
#include "base/activity.h"

#include "pal/sync.h"

namespace zr {

namespace activity_detail {

constinit thread_local ThreadActivity t_activity{};

namespace {

// A live thread's counters, linked for the readers.
struct ThreadLink {
  ThreadActivity* activity;
  ThreadLink* next;
  ThreadLink* prev;
};

// Guards the list of live threads' counters and the retired totals; taken
// on the counting path only at a thread's first count and at its exit.
constinit zrpal::CRITICAL_SECTION g_threadsLock{};
constinit ThreadLink* g_threads = nullptr;
// Counts of threads that have exited (and of their exit code).
constinit std::uint64_t g_retiredBytes = 0;
constinit std::uint64_t g_retiredOperations = 0;

class LockGuard : public zrpal::CCriticalSectionGuard {
 public:
  LockGuard() : CCriticalSectionGuard(&g_threadsLock) {}
};

// Links the thread's counters at its first count and folds them into the
// retired totals when the thread exits.
struct ThreadLinkOwner {
  ThreadLink link{&t_activity, nullptr, nullptr};
  ThreadLinkOwner() {
    LockGuard lock;
    link.next = g_threads;
    if (g_threads) g_threads->prev = &link;
    g_threads = &link;
    t_activity.state = kLinked;
  }
  ~ThreadLinkOwner() {
    LockGuard lock;
    g_retiredBytes += t_activity.bytes.load(std::memory_order_relaxed);
    g_retiredOperations += t_activity.operations.load(std::memory_order_relaxed) +
                           t_activity.frees.load(std::memory_order_relaxed);
    t_activity.bytes.store(0, std::memory_order_relaxed);
    t_activity.operations.store(0, std::memory_order_relaxed);
    t_activity.frees.store(0, std::memory_order_relaxed);
    t_activity.state = kRetired;
    if (link.prev)
      link.prev->next = link.next;
    else
      g_threads = link.next;
    if (link.next) link.next->prev = link.prev;
  }
  ThreadLinkOwner(const ThreadLinkOwner&) = delete;
  ThreadLinkOwner& operator=(const ThreadLinkOwner&) = delete;
};

}  // namespace

void CountFirstTime(std::uint64_t bytes, std::uint64_t operations, std::uint64_t frees) {
  if (t_activity.state == kRetired) {
    // Thread-exit code that runs after the counters were folded in.
    LockGuard lock;
    g_retiredBytes += bytes;
    g_retiredOperations += operations + frees;
    return;
  }
  thread_local ThreadLinkOwner owner;
  (void)owner;
  Bump(t_activity.bytes, bytes);
  Bump(t_activity.operations, operations);
  Bump(t_activity.frees, frees);
}

}  // namespace activity_detail

void ReadActivity(std::uint64_t* bytes, std::uint64_t* operations) {
  using namespace activity_detail;
  LockGuard lock;
  std::uint64_t b = g_retiredBytes;
  std::uint64_t ops = g_retiredOperations;
  for (ThreadLink* l = g_threads; l; l = l->next) {
    const ThreadActivity& a = *l->activity;
    b += a.bytes.load(std::memory_order_relaxed);
    ops += a.operations.load(std::memory_order_relaxed) + a.frees.load(std::memory_order_relaxed);
  }
  if (bytes) *bytes = b;
  if (operations) *operations = ops;
}

}  // namespace zr
