// pal/internal/syslib.h - the Windows system libraries the platform layer
// stands in for (see GetModuleHandleW in pal/module.h).
#pragma once

#include "pal/module.h"

namespace zrpal::syslib {

// The handle of the system library `name` names, or null.
HMODULE HandleOf(LPCWSTR name);
// The platform layer's function `name` of system library `module`; null
// with ERROR_PROC_NOT_FOUND when it has none of that name.
FARPROC ProcOf(HMODULE module, LPCSTR name);

}  // namespace zrpal::syslib
