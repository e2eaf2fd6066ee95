// pal/module.h - modules: handles, export lookup, address queries, finding,
// loading and unloading module files, and the module entry point.
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
HMODULE GetModuleHandleA(LPCSTR name);

// Windows' system libraries are not files here: the platform layer is
// them. GetModuleHandleA/W given "kernel32" or "user32" (any case, with or
// without ".dll") answer a handle that stands for that library, and
// GetProcAddress on it answers the platform layer's function of that Win32
// name (the resource, menu, dialog, window and message-box functions, the
// module functions and VirtualProtect); ERROR_PROC_NOT_FOUND for others.
// These handles are no image: the other module functions refuse them with
// ERROR_MOD_NOT_FOUND.
bool IsSystemLibraryHandle(HMODULE module);

// The address of the exported symbol `name` of `module`. As on Windows only
// the module's own exports are searched, not those of modules it depends on.
// Null and ERROR_PROC_NOT_FOUND when absent.
FARPROC GetProcAddress(HMODULE module, LPCSTR name);

// The file of `module`, or of the program's executable with a null module,
// as a full path (as the dynamic loader recorded it when it was loaded by
// name or by a relative path). Windows semantics for the buffer: the length
// copied without the terminator; when `size` is too small the text is cut to
// size - 1 characters and terminated, the result is `size` and the last error
// ERROR_INSUFFICIENT_BUFFER. 0 and ERROR_MOD_NOT_FOUND for an unknown module.
DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);
// The same in UTF-16; the size is in characters.
DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);

// Searches for the file `fileName` and stores its full path in `buffer`.
//
// Order: a name with a slash is taken as given (relative to the current
// folder), with no folder search. Otherwise the folders of `path` (a
// colon-separated list) are searched in turn, or, with a null path, the
// folders a user of this platform expects a module to be found in: the
// executable's folder, the current folder, the folders of LD_LIBRARY_PATH,
// then the system library folders. In each folder the name is tried as given,
// then with the suffix ".so" when it does not already end in ".so". With an
// `extension` (".so", say) and a file name that has none, only the name with
// that extension is tried. Only regular files are found (not folders).
// Deviation: Windows separates the folders of `path` with semicolons and its
// default order is the application folder, the system folders, the current
// folder and PATH; Linux's module folders are used instead.
//
// Buffer semantics are Windows': the length of the path without its
// terminator when it fits in `bufferLength` characters (and *filePart, if
// given, points to its file name); otherwise the size needed, terminator
// included, with the buffer unchanged. 0 and ERROR_FILE_NOT_FOUND when no
// file matches; 0 and ERROR_INVALID_PARAMETER for a null or empty name or a
// null buffer with a non-zero length. The found path is made absolute and
// "." and ".." are removed from it as text (symbolic links are kept).
DWORD SearchPathA(LPCSTR path, LPCSTR fileName, LPCSTR extension, DWORD bufferLength, LPSTR buffer,
                  LPSTR* filePart);

// Loads the shared object `fileName` (dlopen with every symbol bound at once,
// its symbols kept local) and returns its module handle, the load address of
// its image as above. A module already loaded is not loaded again: its count
// of loads grows, as each LoadLibraryA must be matched by a FreeLibrary. The
// file is found as SearchPathA finds it; a bare name that search does not
// find is left to the dynamic loader's own search (its cache of the system
// folders). Null and ERROR_INVALID_PARAMETER for a null or empty name,
// ERROR_MOD_NOT_FOUND when no file is found, ERROR_BAD_EXE_FORMAT when the
// file exists but does not load. Deviation: Windows tells a missing
// dependency (ERROR_MOD_NOT_FOUND) and a missing import (ERROR_PROC_NOT_FOUND)
// apart from a bad image; the dynamic loader reports all three as one
// failure, which is ERROR_BAD_EXE_FORMAT here.
HMODULE LoadLibraryA(LPCSTR fileName);

// Undoes one LoadLibraryA of `module`; the module is unloaded when its last
// load is undone. FALSE and ERROR_INVALID_PARAMETER for a null module,
// ERROR_MOD_NOT_FOUND for a module that is not loaded, ERROR_INVALID_HANDLE
// for a module that no LoadLibraryA loaded (one the program was linked with).
BOOL FreeLibrary(HMODULE module);

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
