// pal/threads/event.cpp - events, unnamed (in this process) and named
// (shared with the user's other processes through named.cpp).
//
// The state is one 64-bit word changed only by compare-and-swap (its fields
// are described in kobject.h), plus a futex word that sleepers wait on, so
// the same code serves private and shared memory, and a process that dies in
// the middle of a Set or a Wait leaves no lock behind.
//
// Windows' rules, and how the word keeps them:
//  - auto-reset, Set with waiters: exactly one waiter is released and the
//    event stays reset. A waiter about to sleep registers (sleepers + 1);
//    Set turns one registered sleeper into a handed-over signal (sleepers - 1,
//    handed + 1) instead of setting the event, and a sleeper leaves with a
//    handed-over signal if there is one. Sleepers are anonymous: whichever
//    takes the signal, the counts stay right. A second Set before anyone
//    woke hands over a second signal, so two Sets release two waiters.
//  - auto-reset, Set without waiters: the event stays signalled until one
//    wait takes it.
//  - manual-reset: Set releases every waiter of the moment, even when Reset
//    follows before they run: each Set advances the generation, and a waiter
//    that sees a generation other than the one it started with returns.
// Invariant: signalled is never 1 while an auto-reset event has sleepers
// (registering takes a signal that is there instead of registering, and Set
// hands over instead of setting while there are sleepers).
#include "pal/threads/event.h"

#include <climits>
#include <cstring>
#include <new>

#include "pal/error.h"
#include "pal/internal/kobject.h"

namespace zrpal {

namespace kobj {

namespace {

constexpr std::uint64_t kSignalled = 1;
constexpr std::uint64_t kOneSleeper = 2;
constexpr std::uint64_t kSleeperMask = 0xFFFFFFFEull;
constexpr std::uint64_t kOneHigh = 1ull << 32;  // one handed-over signal, or one generation

std::uint64_t Sleepers(std::uint64_t word) { return (word & kSleeperMask) >> 1; }
std::uint64_t High(std::uint64_t word) { return word >> 32; }

void Wake(EventState* state, bool shared, int count) {
  state->wakeups.fetch_add(1, std::memory_order_seq_cst);
  WakeWord(&state->wakeups, shared, count);
}

// Auto-reset: takes the signal, or with `registered` a handed-over one.
// Leaves the word unchanged and answers false when there is neither.
bool TakeSignal(EventState* state, bool registered) {
  std::uint64_t word = state->word.load(std::memory_order_acquire);
  for (;;) {
    std::uint64_t next;
    if (registered && High(word) > 0)
      next = word - kOneHigh;
    else if (word & kSignalled)
      next = (word & ~kSignalled) - (registered ? kOneSleeper : 0);
    else
      return false;
    if (state->word.compare_exchange_weak(word, next, std::memory_order_acquire)) return true;
  }
}

DWORD WaitAutoReset(EventState* state, bool shared, DWORD milliseconds) {
  if (TakeSignal(state, false)) return WAIT_OBJECT_0;
  if (milliseconds == 0) return WAIT_TIMEOUT;
  const MonotonicNs deadline = DeadlineAfter(milliseconds);
  // Register, unless a signal arrived meanwhile.
  std::uint64_t word = state->word.load(std::memory_order_acquire);
  for (;;) {
    const bool take = word & kSignalled;
    const std::uint64_t next = take ? word & ~kSignalled : word + kOneSleeper;
    if (state->word.compare_exchange_weak(word, next, std::memory_order_acq_rel)) {
      if (take) return WAIT_OBJECT_0;
      break;
    }
  }
  for (;;) {
    // Read the futex word before looking, so a handover after the look
    // changes it and the sleep returns at once.
    const int seen = state->wakeups.load(std::memory_order_seq_cst);
    if (TakeSignal(state, true)) return WAIT_OBJECT_0;
    if (!WaitOnWordUntil(&state->wakeups, seen, shared, deadline)) {
      // Timed out: leave, unless a signal was handed over at the last moment.
      word = state->word.load(std::memory_order_acquire);
      for (;;) {
        const bool take = High(word) > 0;
        const std::uint64_t next = take ? word - kOneHigh : word - kOneSleeper;
        if (state->word.compare_exchange_weak(word, next, std::memory_order_acq_rel))
          return take ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
      }
    }
  }
}

DWORD WaitManualReset(EventState* state, bool shared, DWORD milliseconds) {
  std::uint64_t word = state->word.load(std::memory_order_acquire);
  if (word & kSignalled) return WAIT_OBJECT_0;
  if (milliseconds == 0) return WAIT_TIMEOUT;
  const MonotonicNs deadline = DeadlineAfter(milliseconds);
  const std::uint64_t generation = High(word);
  state->word.fetch_add(kOneSleeper, std::memory_order_acq_rel);
  DWORD result = WAIT_TIMEOUT;
  for (;;) {
    const int seen = state->wakeups.load(std::memory_order_seq_cst);
    word = state->word.load(std::memory_order_acquire);
    if ((word & kSignalled) || High(word) != generation) {
      result = WAIT_OBJECT_0;
      break;
    }
    if (!WaitOnWordUntil(&state->wakeups, seen, shared, deadline)) {
      word = state->word.load(std::memory_order_acquire);
      if ((word & kSignalled) || High(word) != generation) result = WAIT_OBJECT_0;
      break;
    }
  }
  state->word.fetch_sub(kOneSleeper, std::memory_order_acq_rel);
  return result;
}

}  // namespace

void InitEventState(EventState* state, bool manualReset, bool signalled) {
  state->word.store(signalled ? kSignalled : 0, std::memory_order_relaxed);
  state->wakeups.store(0, std::memory_order_relaxed);
  state->manualReset = manualReset ? 1 : 0;
}

void SetEventState(EventState* state, bool shared) {
  std::uint64_t word = state->word.load(std::memory_order_relaxed);
  if (state->manualReset) {
    while (!state->word.compare_exchange_weak(word, (word | kSignalled) + kOneHigh,
                                              std::memory_order_acq_rel)) {
    }
    if (Sleepers(word) > 0) Wake(state, shared, INT_MAX);
    return;
  }
  for (;;) {
    const bool handOver = Sleepers(word) > 0;
    const std::uint64_t next = handOver ? word - kOneSleeper + kOneHigh : word | kSignalled;
    if (state->word.compare_exchange_weak(word, next, std::memory_order_acq_rel)) {
      if (handOver) Wake(state, shared, 1);
      return;
    }
  }
}

void ResetEventState(EventState* state) {
  state->word.fetch_and(~kSignalled, std::memory_order_acq_rel);
}

DWORD WaitEventState(EventState* state, bool shared, DWORD milliseconds) {
  return state->manualReset ? WaitManualReset(state, shared, milliseconds)
                            : WaitAutoReset(state, shared, milliseconds);
}

}  // namespace kobj

namespace {

struct EventParams {
  bool manualReset;
  bool initialState;
};

// The handle object of an event: its state in the object (unnamed) or in
// the named object's shared memory.
class EventObject final : public kobj::Waitable {
 public:
  EventObject() : Waitable(HandleKind::Event), m_state(&m_private) {}
  explicit EventObject(kobj::NamedLink* link)
      : Waitable(HandleKind::Event),
        m_state(static_cast<kobj::EventState*>(link->region.body)),
        m_link(link) {}
  ~EventObject() override {
    if (m_link) kobj::CloseNamed(m_link, false);
  }

  DWORD Wait(DWORD milliseconds) override {
    return kobj::WaitEventState(m_state, m_link != nullptr, milliseconds);
  }
  void Set() { kobj::SetEventState(m_state, m_link != nullptr); }
  void Reset() { kobj::ResetEventState(m_state); }
  kobj::EventState* PrivateState() { return &m_private; }

 private:
  kobj::EventState m_private{};
  kobj::EventState* m_state;
  kobj::NamedLink* m_link = nullptr;
};

DWORD InitSharedEvent(void* body, const void* context) {
  const auto* params = static_cast<const EventParams*>(context);
  kobj::InitEventState(static_cast<kobj::EventState*>(body), params->manualReset, params->initialState);
  return ERROR_SUCCESS;
}

kobj::Waitable* MakeSharedEvent(kobj::NamedLink* link, bool, const void*) {
  return new (std::nothrow) EventObject(link);
}

HandleRef<EventObject> ReferenceEvent(HANDLE handle) {
  return ReferenceHandle<EventObject>(handle, KindBit(HandleKind::Event));
}

bool KnownAccess(DWORD access, DWORD all) { return (access & ~all) == 0; }

}  // namespace

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState, LPCSTR name) {
  if (!kobj::DefaultSecurity(attributes)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const EventParams params{manualReset != 0, initialState != 0};
  if (name && *name)
    return kobj::OpenNamed(HandleKind::Event, name, true, sizeof(kobj::EventState), InitSharedEvent,
                           MakeSharedEvent, &params);
  auto* event = new (std::nothrow) EventObject();
  if (!event) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  kobj::InitEventState(event->PrivateState(), params.manualReset, params.initialState);
  HANDLE handle = InsertHandle(event);
  if (handle) SetLastError(ERROR_SUCCESS);
  return handle;
}

HANDLE OpenEventA(DWORD access, BOOL inheritHandle, LPCSTR name) {
  if (!KnownAccess(access, EVENT_ALL_ACCESS) || inheritHandle || !name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return kobj::OpenNamed(HandleKind::Event, name, false, sizeof(kobj::EventState), InitSharedEvent,
                         MakeSharedEvent, nullptr);
}

BOOL SetEvent(HANDLE event) {
  HandleRef<EventObject> object = ReferenceEvent(event);
  if (!object) return FALSE;
  object->Set();
  return TRUE;
}

BOOL ResetEvent(HANDLE event) {
  HandleRef<EventObject> object = ReferenceEvent(event);
  if (!object) return FALSE;
  object->Reset();
  return TRUE;
}

}  // namespace zrpal
