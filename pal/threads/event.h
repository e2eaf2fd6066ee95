// pal/threads/event.h - events: manual-reset (stays signalled until reset,
// releases every waiter) and auto-reset (releases one waiter and resets);
// named ones are shared with the user's other processes.
#pragma once

#include "pal/threads/wait.h"

namespace zrpal {

// A new event, or with a name that exists a new handle to that event (then
// the last error is ERROR_ALREADY_EXISTS and the two flags are ignored, as on
// Windows). A null or empty name makes an unnamed event. Failures as for
// CreateMutexA (ERROR_INVALID_HANDLE when the name is a mutex's).
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState, LPCSTR name);

// A new handle to the existing event `name`; failures as for OpenMutexA.
HANDLE OpenEventA(DWORD access, BOOL inheritHandle, LPCSTR name);

// Signals the event. An auto-reset event with waiters releases exactly one
// of them and stays reset; without waiters it stays signalled until one
// comes. A manual-reset event releases every thread waiting at the time,
// even if it is reset again before they run.
BOOL SetEvent(HANDLE event);

// Makes the event non-signalled.
BOOL ResetEvent(HANDLE event);

}  // namespace zrpal
