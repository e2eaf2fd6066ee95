// pal/time.h - the clock functions of kernel32 the library needs.
#pragma once

#include "pal/types.h"

namespace zrpal {

// Milliseconds since an unspecified start (the monotonic clock), wrapping
// at 2^32 as on Windows.
DWORD GetTickCount();

// The current UTC time as a FILETIME (100 ns units since 1601-01-01).
void GetSystemTimeAsFileTime(FILETIME* time);

}  // namespace zrpal
