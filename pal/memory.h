// pal/memory.h - page protection of the process's memory.
#pragma once

#include "pal/types.h"

namespace zrpal {

inline constexpr DWORD PAGE_NOACCESS = 0x01;
inline constexpr DWORD PAGE_READONLY = 0x02;
inline constexpr DWORD PAGE_READWRITE = 0x04;
inline constexpr DWORD PAGE_WRITECOPY = 0x08;
inline constexpr DWORD PAGE_EXECUTE = 0x10;
inline constexpr DWORD PAGE_EXECUTE_READ = 0x20;
inline constexpr DWORD PAGE_EXECUTE_READWRITE = 0x40;
inline constexpr DWORD PAGE_EXECUTE_WRITECOPY = 0x80;

// Sets the protection of the pages that hold [address, address + size) and
// stores the previous protection of the first of them in *oldProtect, as
// Windows does. FALSE with ERROR_INVALID_PARAMETER for a null oldProtect, a
// size of 0, or a protection that is not exactly one of the PAGE_* values
// above (the modifiers PAGE_GUARD, PAGE_NOCACHE and PAGE_WRITECOMBINE are
// refused); ERROR_INVALID_ADDRESS when the pages are not mapped.
// PAGE_WRITECOPY is PAGE_READWRITE here (private mappings copy on write
// anyway). Deviation: Windows requires the range to lie in one allocation;
// here any mapped pages qualify.
BOOL VirtualProtect(LPVOID address, SIZE_T size, DWORD newProtect, DWORD* oldProtect);

// Makes code written at [address, address + size) visible to instruction
// fetch. x86-64 keeps the caches coherent; other processors need the flush.
BOOL FlushInstructionCache(HANDLE process, LPCVOID address, SIZE_T size);

}  // namespace zrpal
