// base/activity.cpp - the heap activity counters (see activity.h).
#include "base/activity.h"

#include "pal/sync.h"

namespace zr {

namespace activity_detail {

constinit std::atomic<std::uint64_t> g_bytes{0};
constinit std::atomic<std::uint64_t> g_lockedOperations{0};
constinit thread_local ThreadFrees t_frees{};

namespace {

// A live thread's counter, linked for the readers.
struct ThreadLink {
  ThreadFrees* frees;
  ThreadLink* next;
  ThreadLink* prev;
};

// Guards the list of live threads' counters and the retired count; taken on
// the Free path only once per thread.
constinit zrpal::CRITICAL_SECTION g_threadsLock{};
constinit ThreadLink* g_threads = nullptr;
// Frees of threads that have exited.
constinit std::atomic<std::uint64_t> g_retiredFrees{0};

class LockGuard : public zrpal::CCriticalSectionGuard {
 public:
  LockGuard() : CCriticalSectionGuard(&g_threadsLock) {}
};

// Links the thread's counter at its first free and folds it into the
// retired count when the thread exits.
struct ThreadLinkOwner {
  ThreadLink link{&t_frees, nullptr, nullptr};
  ThreadLinkOwner() {
    LockGuard lock;
    link.next = g_threads;
    if (g_threads) g_threads->prev = &link;
    g_threads = &link;
    t_frees.state = kFreesLinked;
  }
  ~ThreadLinkOwner() {
    LockGuard lock;
    Bump(g_retiredFrees, t_frees.count.load(std::memory_order_relaxed));
    t_frees.count.store(0, std::memory_order_relaxed);
    t_frees.state = kFreesRetired;
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

void CountFreeFirstTime() {
  if (t_frees.state == kFreesRetired) {
    // Thread-exit code that runs after the counter was folded in.
    LockGuard lock;
    Bump(g_retiredFrees, 1);
    return;
  }
  thread_local ThreadLinkOwner owner;
  (void)owner;
  Bump(t_frees.count, 1);
}

}  // namespace activity_detail

std::uint64_t ActivityBytes() { return activity_detail::g_bytes.load(std::memory_order_relaxed); }

std::uint64_t ActivityOperations() {
  std::uint64_t total = activity_detail::g_lockedOperations.load(std::memory_order_relaxed);
  activity_detail::LockGuard lock;
  total += activity_detail::g_retiredFrees.load(std::memory_order_relaxed);
  for (activity_detail::ThreadLink* l = activity_detail::g_threads; l; l = l->next)
    total += l->frees->count.load(std::memory_order_relaxed);
  return total;
}

}  // namespace zr
