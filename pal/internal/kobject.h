// pal/internal/kobject.h - what mutexes, events and threads share: the
// waitable handle object, deadlines on the monotonic clock, futex waits,
// and named objects in shared memory.
#pragma once

#include <atomic>
#include <cstdint>

#include "pal/handle.h"
#include "pal/threads/wait.h"

namespace zrpal::kobj {

// ---- deadlines and futex words ----

// Nanoseconds on CLOCK_MONOTONIC; kForever is no deadline.
using MonotonicNs = std::int64_t;
inline constexpr MonotonicNs kForever = INT64_MAX;

// The deadline of a wait of `milliseconds` starting now (INFINITE: kForever).
MonotonicNs DeadlineAfter(DWORD milliseconds);

// Sleeps while *word == value, until woken or `deadline`. False when the
// deadline passed; true otherwise (woken, the word differed, a signal: the
// caller looks again). `shared`: other processes map the word.
bool WaitOnWordUntil(std::atomic<int>* word, int value, bool shared, MonotonicNs deadline);
// Wakes up to `count` threads sleeping on `word`.
void WakeWord(std::atomic<int>* word, bool shared, int count);

// ---- the object behind a mutex, event or thread handle ----

constexpr HandleKindMask kWaitableKinds =
    KindBit(HandleKind::Mutex) | KindBit(HandleKind::Event) | KindBit(HandleKind::Thread);

class Waitable : public HandleObject {
 public:
  using HandleObject::HandleObject;
  // WaitForSingleObject on this object: a WAIT_ result; WAIT_FAILED sets the
  // last error.
  virtual DWORD Wait(DWORD milliseconds) = 0;
};

// ---- the state of an event, in private or shared memory ----

// One 64-bit word holds everything a wait decides on, so that each change is
// one compare-and-swap and a process that dies half-way leaves no lock held:
//   bit 0        signalled
//   bits 1-31    sleepers: waiters registered to be handed a signal
//   bits 32-63   auto-reset: signals handed to sleepers, not yet taken;
//                manual-reset: a generation that each Set advances
// `wakeups` is the futex word sleepers wait on; it changes with every
// handover, so a sleeper that read it before a Set does not sleep through it.
struct EventState {
  std::atomic<std::uint64_t> word;
  std::atomic<int> wakeups;
  std::uint32_t manualReset;  // fixed at creation
};
static_assert(sizeof(EventState) == 16 && std::atomic<std::uint64_t>::is_always_lock_free,
              "shared between processes: the same layout and lock-free in each");

void InitEventState(EventState* state, bool manualReset, bool signalled);
void SetEventState(EventState* state, bool shared);
void ResetEventState(EventState* state);
// WAIT_OBJECT_0 or WAIT_TIMEOUT.
DWORD WaitEventState(EventState* state, bool shared, DWORD milliseconds);

// ---- named objects ----

// A named object's shared memory, as this process maps it.
struct SharedRegion {
  int fd = -1;           // keeps a shared flock while the process holds the object
  void* body = nullptr;  // the kind's state, after the shared header
  void* base = nullptr;
  std::size_t bytes = 0;
};

// Fills the body of a fresh named object (zero-filled when called).
using InitBodyFn = DWORD (*)(void* body, const void* context);

// The longest shared-memory object name with its terminator: a file name
// in /dev/shm (NAME_MAX) and the leading '/'.
inline constexpr std::size_t kOsNameBytes = 256;

// A named object of this process: the handle object keeps it beside its
// state and gives it back in its destructor with CloseNamed.
struct NamedLink {
  NamedLink* next = nullptr;
  Waitable* owner = nullptr;
  HandleKind kind{};
  DWORD openerPid = 0;  // a child made by fork() shares the opener's hold
  SharedRegion region;
  char osName[kOsNameBytes] = {};  // the shared-memory object's name
};

// Finds or makes the named object `name` of `kind` and returns a new handle
// to it, as CreateMutexA/CreateEventA (create) or OpenMutexA/OpenEventA do.
// Create sets the last error to ERROR_ALREADY_EXISTS when the object
// existed, ERROR_SUCCESS when it is new. `init` fills the body of a new
// shared object; `make` builds this process's handle object over the mapped
// region (taking the link; `fresh` when the body was just made) and answers
// null when out of memory.
using MakeObjectFn = Waitable* (*)(NamedLink* link, bool fresh, const void* context);
HANDLE OpenNamed(HandleKind kind, const char* name, bool create, std::size_t bodyBytes,
                 InitBodyFn init, MakeObjectFn make, const void* context);

// Called by a named object's destructor: forgets the link and gives up the
// process's hold on the shared object (removing its name when this was the
// last process). `keepMapped`: a thread of this process still owns the
// mutex inside, whose memory must then stay (see mutex.cpp).
void CloseNamed(NamedLink* link, bool keepMapped);

// Security attributes that ask for nothing beyond the defaults.
bool DefaultSecurity(const SECURITY_ATTRIBUTES* attributes);

}  // namespace zrpal::kobj
