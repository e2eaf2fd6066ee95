// pal/sync.h - critical sections and interlocked counters.
#pragma once

#include <atomic>
#include <cassert>

#include "pal/types.h"

namespace zrpal {

// A recursive lock: the owning thread may enter it again and must leave it
// as many times.
//
// It is a futex lock (three states, as in Drepper's "Futexes Are Tricky")
// with the owner and the recursion depth beside it, so entering a section
// the thread already owns costs no locked instruction. While the process has
// a single thread, entering and leaving use plain stores: no other thread
// exists to race with, and the first thread the process creates is made
// before it can reach the lock (the C library's own locks do the same).
//
// Deviation: a zero-filled CRITICAL_SECTION is ready for use, as if
// InitializeCriticalSection had run, so that a constinit global needs no
// start-up step. InitializeCriticalSection stays required for sections
// that live in reused memory.
//
// Invariants: LockState is 0 exactly when OwningThread is 0 and
// RecursionCount is 0; only the owner writes RecursionCount. A
// CRITICAL_SECTION must not be copied or moved while in use.
struct CRITICAL_SECTION {
  std::atomic<int> LockState;              // 0 free, 1 held, 2 held and contended
  std::atomic<std::uintptr_t> OwningThread;  // the owner's thread token, 0 when free
  LONG RecursionCount;                     // entries of the owner not yet left
};

void InitializeCriticalSection(CRITICAL_SECTION* cs);
// The section must not be held.
void DeleteCriticalSection(CRITICAL_SECTION* cs);
inline void EnterCriticalSection(CRITICAL_SECTION* cs);
BOOL TryEnterCriticalSection(CRITICAL_SECTION* cs);
// Only the owning thread may leave a section.
inline void LeaveCriticalSection(CRITICAL_SECTION* cs);

// True when the calling thread owns `cs` (what Windows' OwningThread field
// tells a debugger).
BOOL CriticalSectionIsOwned(const CRITICAL_SECTION* cs);

LONG InterlockedIncrement(volatile LONG* target);
LONG InterlockedDecrement(volatile LONG* target);
LONGLONG InterlockedExchangeAdd64(volatile LONGLONG* target, LONGLONG value);

// A token that identifies the calling thread among the live threads of the
// process (never 0). Cheap: one thread-pointer-relative address.
inline std::uintptr_t CurrentThreadToken();

// True while the process has only ever had one thread. Once false it stays
// false.
inline bool ProcessIsSingleThreaded();

// ---- the fast paths, inline: entering and leaving a free section are on
// the path of every heap allocation ----

namespace sync_detail {
// The C library's single-thread flag (posix/sync.inc says which).
extern const char* const g_singleThreadFlag;
// Its address is the thread's token; initial-exec keeps it one add away.
[[gnu::tls_model("initial-exec")]] extern constinit thread_local char t_threadToken;
void EnterContended(CRITICAL_SECTION* cs);
void WakeOneWaiter(CRITICAL_SECTION* cs);
}  // namespace sync_detail

inline std::uintptr_t CurrentThreadToken() {
  return reinterpret_cast<std::uintptr_t>(&sync_detail::t_threadToken);
}

inline bool ProcessIsSingleThreaded() { return *sync_detail::g_singleThreadFlag != 0; }

inline void EnterCriticalSection(CRITICAL_SECTION* cs) {
  const std::uintptr_t self = CurrentThreadToken();
  if (cs->OwningThread.load(std::memory_order_relaxed) == self) {
    ++cs->RecursionCount;
    return;
  }
  if (ProcessIsSingleThreaded()) {
    // No other thread exists, so nobody holds the lock or waits for it.
    cs->LockState.store(1, std::memory_order_relaxed);
  } else {
    int expected = 0;
    if (!cs->LockState.compare_exchange_strong(expected, 1, std::memory_order_acquire))
      sync_detail::EnterContended(cs);
  }
  cs->OwningThread.store(self, std::memory_order_relaxed);
  cs->RecursionCount = 1;
}

inline void LeaveCriticalSection(CRITICAL_SECTION* cs) {
  assert(cs->OwningThread.load(std::memory_order_relaxed) == CurrentThreadToken() &&
         "leaving a critical section this thread does not own");
  if (--cs->RecursionCount > 0) return;
  cs->OwningThread.store(0, std::memory_order_relaxed);
  if (ProcessIsSingleThreaded()) {
    cs->LockState.store(0, std::memory_order_release);
    return;
  }
  if (cs->LockState.exchange(0, std::memory_order_release) == 2) sync_detail::WakeOneWaiter(cs);
}

// Holds a critical section for a scope; a null section is not locked (a
// heap its caller serialises has none).
class CCriticalSectionGuard {
 public:
  explicit CCriticalSectionGuard(CRITICAL_SECTION* cs) : m_cs(cs) {
    if (m_cs) EnterCriticalSection(m_cs);
  }
  ~CCriticalSectionGuard() {
    if (m_cs) LeaveCriticalSection(m_cs);
  }
  CCriticalSectionGuard(const CCriticalSectionGuard&) = delete;
  CCriticalSectionGuard& operator=(const CCriticalSectionGuard&) = delete;

 private:
  CRITICAL_SECTION* m_cs;
};

}  // namespace zrpal
