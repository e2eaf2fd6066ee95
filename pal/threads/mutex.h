// pal/threads/mutex.h - mutexes: recursive, owned by a thread, abandoned
// when the owner ends without releasing; named ones are shared with the
// user's other processes.
#pragma once

#include "pal/threads/wait.h"

namespace zrpal {

// A new mutex, or with a name that exists a new handle to that mutex (then
// the last error is ERROR_ALREADY_EXISTS and `initialOwner` is ignored, as
// on Windows). A null or empty name makes an unnamed mutex. Fails with null
// and: ERROR_INVALID_HANDLE when the name belongs to an event;
// ERROR_FILENAME_EXCED_RANGE for a name too long; ERROR_ACCESS_DENIED when
// the name is held by another user's object; ERROR_INVALID_PARAMETER for
// security attributes that ask for more than the defaults.
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCSTR name);

// A new handle to the existing mutex `name`: ERROR_FILE_NOT_FOUND when no
// process holds one, ERROR_INVALID_HANDLE when the name is an event's,
// ERROR_INVALID_PARAMETER for unknown access bits or inheritance.
HANDLE OpenMutexA(DWORD access, BOOL inheritHandle, LPCSTR name);

// Gives up one level of the caller's ownership. FALSE with ERROR_NOT_OWNER
// when the calling thread does not own the mutex.
BOOL ReleaseMutex(HANDLE mutex);

// The mutex behind a handle, for a caller that takes one mutex so often that
// a table lookup per wait and per release counts (every critical section
// object takes the global section mutex on Enter and Leave). The object is
// looked up once and held by a reference, so it outlives a close of the
// handle as a wait in progress does. Null with ERROR_INVALID_HANDLE for a
// handle that is not a live mutex.
class HeldMutex;
HeldMutex* HoldMutex(HANDLE mutex);
// WaitForSingleObject and ReleaseMutex on a held mutex, with their results.
DWORD WaitForHeldMutex(HeldMutex* mutex, DWORD milliseconds);
BOOL ReleaseHeldMutex(HeldMutex* mutex);
// Gives back the reference of HoldMutex.
void LetGoOfMutex(HeldMutex* mutex);

}  // namespace zrpal
