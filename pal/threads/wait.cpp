// pal/threads/wait.cpp - WaitForSingleObject, and the deadlines and futex
// waits that every waitable object uses (the OS calls are in
// posix/wait.inc).
#include "pal/threads/wait.h"

#include "pal/error.h"
#include "pal/internal/kobject.h"

namespace zrpal {

namespace kobj {

bool DefaultSecurity(const SECURITY_ATTRIBUTES* attributes) {
  return !attributes || (!attributes->lpSecurityDescriptor && !attributes->bInheritHandle);
}

}  // namespace kobj

// Deviation: the pseudo-handle GetCurrentThread() is not a handle of the
// table and is refused (ERROR_INVALID_HANDLE); Windows would wait on the
// calling thread, that is, until the time-out.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  HandleRef<kobj::Waitable> object = ReferenceHandle<kobj::Waitable>(handle, kobj::kWaitableKinds);
  if (!object) return WAIT_FAILED;
  return object->Wait(milliseconds);
}

}  // namespace zrpal

#include "pal/threads/posix/wait.inc"
