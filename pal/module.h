// pal/module.h - modules: handles, export lookup, address queries, and the
// module entry point.
//
// A module handle (HMODULE) is the load address of the module's image, as on
// Windows: the address of its first loaded segment.
#pragma once

#include "pal/types.h"

namespace zrpal {

inline constexpr DWORD DLL_PROCESS_DETACH = 0;
inline constexpr DWORD DLL_PROCESS_ATTACH = 1;
inline constexpr DWORD DLL_THREAD_ATTACH = 2;
inline constexpr DWORD DLL_THREAD_DETACH = 3;

using FARPROC = void (*)();
using PDLLMAIN = BOOL (*)(HINSTANCE module, DWORD reason, LPVOID reserved);

// The handle of the module whose file name ends with `name` (after the last
// slash; compared case-sensitively, as file names are on Linux), or with a
// null name the handle of the program's executable. Null and
// ERROR_MOD_NOT_FOUND when no loaded module matches.
HMODULE GetModuleHandleW(LPCWSTR name);

// The address of the exported symbol `name` of `module`. As on Windows only
// the module's own exports are searched, not those of modules it depends on.
// Null and ERROR_PROC_NOT_FOUND when absent.
FARPROC GetProcAddress(HMODULE module, LPCSTR name);

// Thread notifications are never delivered on this platform; always TRUE.
BOOL DisableThreadLibraryCalls(HMODULE module);

inline constexpr DWORD MEM_COMMIT = 0x1000;
inline constexpr DWORD MEM_IMAGE = 0x1000000;

struct MEMORY_BASIC_INFORMATION {
  LPVOID BaseAddress;
  LPVOID AllocationBase;
  DWORD AllocationProtect;
  SIZE_T RegionSize;
  DWORD State;
  DWORD Protect;
  DWORD Type;
};

// Describes the page that holds `address`. Deviation: only addresses inside
// a loaded module's image are answered (AllocationBase is the module handle,
// Type MEM_IMAGE, State MEM_COMMIT, the protection fields 0 = unknown);
// others give 0 and ERROR_INVALID_PARAMETER.
SIZE_T VirtualQuery(LPCVOID address, MEMORY_BASIC_INFORMATION* info, SIZE_T length);

// The module entry. On Windows the loader runs a DLL's static construction
// and then calls its entry point with DLL_PROCESS_ATTACH, and at unload calls
// it with DLL_PROCESS_DETACH before static destruction. ZRPAL_MODULE_ENTRY
// reproduces that with an ELF constructor and destructor, so the module's
// construction order is one explicit list (construct), not the order in which
// the linker happens to place static initialisers.
// Deviation: the reserved argument at detach is always null (Windows passes
// non-null when the process is ending rather than the module unloading; an
// ELF destructor cannot tell the two apart).
void RunModuleAttach(void (*construct)(), PDLLMAIN entry, const void* codeAddress);
void RunModuleDetach(void (*destruct)(), PDLLMAIN entry, const void* codeAddress);

}  // namespace zrpal

#define ZRPAL_MODULE_ENTRY(construct, destruct, entry)                                   \
  __attribute__((constructor)) static void ZrpalModuleAttach_() {                        \
    ::zrpal::RunModuleAttach(construct, entry,                                           \
                             reinterpret_cast<const void*>(&ZrpalModuleAttach_));        \
  }                                                                                      \
  __attribute__((destructor)) static void ZrpalModuleDetach_() {                         \
    ::zrpal::RunModuleDetach(destruct, entry,                                            \
                             reinterpret_cast<const void*>(&ZrpalModuleDetach_));        \
  }
