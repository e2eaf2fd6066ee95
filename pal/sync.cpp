// pal/sync.cpp - critical sections (slow paths; the fast ones are inline in
// sync.h) and interlocked operations. The futex waits and wakes, and the
// single-thread flag, are in posix/sync.inc.
#include "pal/sync.h"

#include <cassert>

namespace zrpal {

namespace {

// Blocks while *word == value (spurious returns allowed); wakes one waiter.
void WaitOnWord(std::atomic<int>* word, int value);
void WakeOneOnWord(std::atomic<int>* word);
// Tells the processor the thread is spinning.
void CpuRelax();

// Spins this many times on a held lock before sleeping: a critical section
// is usually held for a few hundred cycles, much less than a sleep costs.
constexpr int kSpinCount = 100;

}  // namespace

namespace sync_detail {

constinit thread_local char t_threadToken = 0;

void EnterContended(CRITICAL_SECTION* cs) {
  for (int i = 0; i < kSpinCount; ++i) {
    int expected = 0;
    if (cs->LockState.load(std::memory_order_relaxed) == 0 &&
        cs->LockState.compare_exchange_weak(expected, 1, std::memory_order_acquire))
      return;
    CpuRelax();
  }
  // Mark the lock contended, then sleep until it is handed over free. A
  // thread that takes it this way leaves it in state 2, so its Leave wakes
  // the next sleeper even if it cannot know one exists.
  while (cs->LockState.exchange(2, std::memory_order_acquire) != 0) WaitOnWord(&cs->LockState, 2);
}

void WakeOneWaiter(CRITICAL_SECTION* cs) { WakeOneOnWord(&cs->LockState); }

}  // namespace sync_detail

void InitializeCriticalSection(CRITICAL_SECTION* cs) {
  cs->LockState.store(0, std::memory_order_relaxed);
  cs->OwningThread.store(0, std::memory_order_relaxed);
  cs->RecursionCount = 0;
}

void DeleteCriticalSection(CRITICAL_SECTION* cs) {
  assert(cs->LockState.load(std::memory_order_relaxed) == 0 && "deleting a held critical section");
  (void)cs;
}

BOOL TryEnterCriticalSection(CRITICAL_SECTION* cs) {
  const std::uintptr_t self = CurrentThreadToken();
  if (cs->OwningThread.load(std::memory_order_relaxed) == self) {
    ++cs->RecursionCount;
    return TRUE;
  }
  int expected = 0;
  if (!cs->LockState.compare_exchange_strong(expected, 1, std::memory_order_acquire)) return FALSE;
  cs->OwningThread.store(self, std::memory_order_relaxed);
  cs->RecursionCount = 1;
  return TRUE;
}

BOOL CriticalSectionIsOwned(const CRITICAL_SECTION* cs) {
  return cs->OwningThread.load(std::memory_order_relaxed) == CurrentThreadToken() ? TRUE : FALSE;
}

LONG InterlockedIncrement(volatile LONG* target) {
  return __atomic_add_fetch(target, 1, __ATOMIC_SEQ_CST);
}

LONG InterlockedDecrement(volatile LONG* target) {
  return __atomic_sub_fetch(target, 1, __ATOMIC_SEQ_CST);
}

LONGLONG InterlockedExchangeAdd64(volatile LONGLONG* target, LONGLONG value) {
  return __atomic_fetch_add(target, value, __ATOMIC_SEQ_CST);
}

}  // namespace zrpal

#include "pal/posix/sync.inc"
