// pal/threads/mutex.cpp - mutexes: a recursive, robust pthread mutex
// (posix/mutex.inc), in memory of its own (unnamed) or in a named object's
// shared memory (named.cpp).
//
// Windows' rules and where they come from: recursion by the owning thread
// (a recursive mutex); ReleaseMutex by any other thread fails with
// ERROR_NOT_OWNER (the recursive mutex's owner check); a thread or process
// that ends while owning the mutex abandons it, and the next wait answers
// WAIT_ABANDONED and owns it (a robust mutex reports EOWNERDEAD, and is
// marked consistent again before the wait returns); time-outs run on the
// monotonic clock (pthread_mutex_clocklock).
//
// Memory. glibc keeps each thread's robust mutexes on a list threaded
// through the mutexes themselves, which the thread's exit walks. A mutex
// that a thread of this process still owns must therefore stay mapped.
// Deviation: when its last handle closes then, Windows destroys the object
// and abandons it; here its memory (and for a named mutex the process's
// hold on the shared object) is kept for the life of the process, and the
// owner's end abandons it for the other processes.
#include "pal/threads/mutex.h"

#include <new>

#include "pal/error.h"
#include "pal/internal/kobject.h"
#include "pal/threads/thread.h"

namespace zrpal {

namespace {

// posix/mutex.inc: the OS mutex in `memory`, and its owner.
std::size_t MutexBytes();
DWORD InitMutex(void* memory, bool shared);
void* NewPrivateMutex();  // initialised; null when out of memory
void FreePrivateMutex(void* memory);
// 0 (taken), EOWNERDEAD (taken, its owner died; consistent again),
// ETIMEDOUT, or another error number.
int LockMutex(void* memory, DWORD milliseconds);
// 0, EPERM (the caller is not the owner), or another error number.
int UnlockMutex(void* memory);
bool OwnedInThisProcess(void* memory);

}  // namespace

// HeldMutex is the mutex object itself; the name only hides its members
// from the callers of mutex.h.
class HeldMutex : public kobj::Waitable {
 protected:
  using Waitable::Waitable;
};

namespace {

class MutexObject final : public HeldMutex {
 public:
  MutexObject(void* memory, kobj::NamedLink* link)
      : HeldMutex(HandleKind::Mutex), m_memory(memory), m_link(link) {}
  ~MutexObject() override {
    const bool held = OwnedInThisProcess(m_memory);
    if (m_link)
      kobj::CloseNamed(m_link, held);
    else if (!held)
      FreePrivateMutex(m_memory);
  }

  DWORD Wait(DWORD milliseconds) override {
    switch (const int rc = LockMutex(m_memory, milliseconds)) {
      case 0: return WAIT_OBJECT_0;
      case EOWNERDEAD: return WAIT_ABANDONED;
      case ETIMEDOUT: return WAIT_TIMEOUT;
      default:
        SetLastErrorFromErrno(rc);
        return WAIT_FAILED;
    }
  }

  BOOL GiveUp() {
    const int rc = UnlockMutex(m_memory);
    if (rc == 0) return TRUE;
    // The table would say ERROR_ACCESS_DENIED for EPERM; ReleaseMutex says
    // ERROR_NOT_OWNER.
    if (rc == EPERM)
      SetLastError(ERROR_NOT_OWNER);
    else
      SetLastErrorFromErrno(rc);
    return FALSE;
  }

 private:
  void* m_memory;
  kobj::NamedLink* m_link;
};

struct MutexParams {
  bool initialOwner;
};

DWORD InitSharedMutex(void* body, const void*) { return InitMutex(body, true); }

kobj::Waitable* MakeSharedMutex(kobj::NamedLink* link, bool fresh, const void* context) {
  auto* mutex = new (std::nothrow) MutexObject(link->region.body, link);
  const auto* params = static_cast<const MutexParams*>(context);
  if (mutex && fresh && params && params->initialOwner) mutex->Wait(INFINITE);
  return mutex;
}

}  // namespace

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCSTR name) {
  if (!kobj::DefaultSecurity(attributes)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const MutexParams params{initialOwner != 0};
  if (name && *name)
    return kobj::OpenNamed(HandleKind::Mutex, name, true, MutexBytes(), InitSharedMutex, MakeSharedMutex,
                           &params);
  void* memory = NewPrivateMutex();
  if (!memory) return nullptr;
  auto* mutex = new (std::nothrow) MutexObject(memory, nullptr);
  if (!mutex) {
    FreePrivateMutex(memory);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (params.initialOwner) mutex->Wait(INFINITE);
  HANDLE handle = InsertHandle(mutex);
  if (handle) SetLastError(ERROR_SUCCESS);
  return handle;
}

HANDLE OpenMutexA(DWORD access, BOOL inheritHandle, LPCSTR name) {
  if ((access & ~MUTEX_ALL_ACCESS) != 0 || inheritHandle || !name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return kobj::OpenNamed(HandleKind::Mutex, name, false, MutexBytes(), InitSharedMutex, MakeSharedMutex,
                         nullptr);
}

BOOL ReleaseMutex(HANDLE mutex) {
  HandleRef<MutexObject> object = ReferenceHandle<MutexObject>(mutex, KindBit(HandleKind::Mutex));
  if (!object) return FALSE;
  return object->GiveUp();
}

HeldMutex* HoldMutex(HANDLE mutex) {
  return static_cast<MutexObject*>(LookupHandle(mutex, KindBit(HandleKind::Mutex)));
}

DWORD WaitForHeldMutex(HeldMutex* mutex, DWORD milliseconds) {
  return static_cast<MutexObject*>(mutex)->Wait(milliseconds);
}

BOOL ReleaseHeldMutex(HeldMutex* mutex) { return static_cast<MutexObject*>(mutex)->GiveUp(); }

void LetGoOfMutex(HeldMutex* mutex) {
  if (mutex) mutex->Release();
}

}  // namespace zrpal

#include "pal/threads/posix/mutex.inc"
