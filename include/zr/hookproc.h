// zr/hookproc.h - patching one imported function of one module.
//
// HookProc_Install rewrites the import address table of a PE32+ image
// mapped in the process so that calls to `functionName` of
// `libraryName` go to `replacement`; HookProc_UnInstall puts the platform's
// function back. Both leave a module whose image is not PE32+ unchanged (an
// ELF module is patched through the library's own interception of Linux
// modules, not through these).
#pragma once

#include "zr/zrtypes.h"

// The platform's own entry point of the function (what the replacement calls
// through), or null when the library is not loaded, the function is not
// exported, or `module` is no PE32+ image. With a null module: the address of
// a function that returns 0, as Windows callers of this interface expect.
// Patching twice changes nothing the second time.
ZR_API void* HookProc_Install(HMODULE module, const char* libraryName, const char* functionName,
                              void* replacement);

// Restores every import entry of `module` that an earlier HookProc_Install
// of that function made point at its replacement (the library remembers the
// replacement of each installed module and function). Returns 1 when the
// walk was done (entries restored or none left), 0 when the library or
// function cannot be resolved, the module is no PE32+ image, or nothing was
// installed for that module and function.
ZR_API int HookProc_UnInstall(HMODULE module, const char* libraryName, const char* functionName);
