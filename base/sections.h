// base/sections.h - the global section mutex's state, for the white-box
// tests (library internal; the exported functions are in zr/threads.h).
#pragma once

#include "zr/zrtypes.h"

namespace zr {

// The name of the global section mutex.
inline constexpr char kSectionMutexName[] = "ZR_Fix_Fucking_NT_Bugs_Mutex";

// The number of CCritSect objects alive.
ULONG LiveSectionCount();

// The handle of the global section mutex; null while no section is alive
// (or when the mutex could not be created).
HANDLE SectionMutex();

}  // namespace zr
