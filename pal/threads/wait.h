// pal/threads/wait.h - waiting for kernel objects, and what creating one
// takes: security attributes and access rights.
//
// Mutexes, events and threads are handles of the handle table (pal/handle.h)
// and are closed with CloseHandle. A named mutex or event is one object for
// every process of the user that opens the same name (pal/threads/named.cpp
// says how, and docs/deviations.md how names differ from Windows').
#pragma once

#include "pal/types.h"

namespace zrpal {

inline constexpr DWORD INFINITE = 0xFFFFFFFF;

// WaitForSingleObject results (WAIT_TIMEOUT is in pal/types.h).
inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_ABANDONED = 0x80;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

// Access rights of OpenMutexA and OpenEventA. Deviation: they are checked
// for unknown bits only; every handle may do everything its kind allows (no
// object here has a security descriptor that could refuse a right).
inline constexpr DWORD SYNCHRONIZE = 0x00100000;
inline constexpr DWORD STANDARD_RIGHTS_REQUIRED = 0x000F0000;
inline constexpr DWORD MUTEX_MODIFY_STATE = 0x0001;
inline constexpr DWORD MUTEX_ALL_ACCESS = STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | MUTEX_MODIFY_STATE;
inline constexpr DWORD EVENT_MODIFY_STATE = 0x0002;
inline constexpr DWORD EVENT_ALL_ACCESS = STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0x0003;

// Deviation: accepted only when it asks for nothing beyond the defaults: no
// security descriptor and no inheritance (this platform layer starts no child
// processes that could inherit a handle). Anything else is refused with
// ERROR_INVALID_PARAMETER.
struct SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
};
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

// Waits until the object is signalled or `milliseconds` have passed on the
// monotonic clock (INFINITE: no limit; 0: only looks). WAIT_OBJECT_0: a
// mutex is now owned by the caller, an auto-reset event was reset by this
// wait, a thread has ended. WAIT_ABANDONED: the mutex's owner ended without
// releasing it and the caller owns it now. WAIT_TIMEOUT. WAIT_FAILED with
// the last error (ERROR_INVALID_HANDLE for anything but a mutex, event or
// thread handle; pseudo-handles are refused as well).
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

}  // namespace zrpal
