// pal/threads/thread.h - threads, started as the C run-time starts them,
// and the ids of threads and processes.
#pragma once

#include <cstdint>

#include "pal/threads/wait.h"

namespace zrpal {

inline constexpr unsigned CREATE_SUSPENDED = 0x4;
inline constexpr unsigned STACK_SIZE_PARAM_IS_A_RESERVATION = 0x10000;
inline constexpr DWORD STILL_ACTIVE = 259;

using ThreadStartRoutine = unsigned (*)(void* argument);

// Starts `start(argument)` on a new thread and returns its handle as an
// integer (0 on failure, with the last error set). `stackSize` 0 is the
// default stack; otherwise at least that many bytes (both flags mean the
// same here: stacks are reserved and committed on first touch). With
// CREATE_SUSPENDED the thread waits to run its routine until ResumeThread.
// *threadId, when given, receives the thread's id (the kernel's thread id).
// Unknown flags, a null routine or security attributes beyond the defaults:
// ERROR_INVALID_PARAMETER.
std::uintptr_t _beginthreadex(LPSECURITY_ATTRIBUTES security, unsigned stackSize,
                              ThreadStartRoutine start, void* argument, unsigned initFlag,
                              unsigned* threadId);

// Lowers the thread's suspend count by one; at 0 it runs. Returns the count
// before the call (0: it was running), or (DWORD)-1 with the last error.
DWORD ResumeThread(HANDLE thread);

// The thread's exit code (its routine's result), or STILL_ACTIVE while it
// runs (also while suspended).
BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode);

// The kernel's id of the calling thread (gettid), unique among the running
// threads of the machine.
DWORD GetCurrentThreadId();
DWORD GetCurrentProcessId();

}  // namespace zrpal
