// pal/error.h - the thread's last error, and the OS-boundary error helpers.
//
// Every platform-layer function that fails stores a Windows error code with
// SetLastError, as its Win32 namesake does. Where the failure came from the
// OS, the errno value is captured at the failing call and translated by the
// one table in posix/error.inc (ErrnoToWin32).
#pragma once

#include "pal/types.h"

namespace zrpal {

DWORD GetLastError();
void SetLastError(DWORD error);

// The Windows error code for an errno value (the single translation table).
// Unknown values give ERROR_GEN_FAILURE.
DWORD ErrnoToWin32(int errnum);

// The first errno value the table translates to `code`, or -1 when none
// does (ERROR_GEN_FAILURE, the answer for unknown values, has none).
int Win32ToErrno(DWORD code);

// Stores ErrnoToWin32(errnum) as the last error. Returns the stored code.
DWORD SetLastErrorFromErrno(int errnum);

}  // namespace zrpal
