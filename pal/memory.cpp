// pal/memory.cpp - page protection: the Win32 protection values and their
// mapping onto read/write/execute bits; posix/memory.inc applies them.
#include "pal/memory.h"

#include <cstdint>

#include "pal/error.h"

namespace zrpal {

namespace {

// Read, write and execute bits of one protection value.
struct Access {
  bool read, write, execute;
};

bool AccessOf(DWORD protect, Access* out) {
  switch (protect) {
    case PAGE_NOACCESS: *out = {false, false, false}; return true;
    case PAGE_READONLY: *out = {true, false, false}; return true;
    case PAGE_READWRITE:
    case PAGE_WRITECOPY: *out = {true, true, false}; return true;
    case PAGE_EXECUTE: *out = {false, false, true}; return true;
    case PAGE_EXECUTE_READ: *out = {true, false, true}; return true;
    case PAGE_EXECUTE_READWRITE:
    case PAGE_EXECUTE_WRITECOPY: *out = {true, true, true}; return true;
    default: return false;
  }
}

DWORD ProtectOf(const Access& a) {
  if (a.execute) return a.write ? PAGE_EXECUTE_READWRITE : a.read ? PAGE_EXECUTE_READ : PAGE_EXECUTE;
  return a.write ? PAGE_READWRITE : a.read ? PAGE_READONLY : PAGE_NOACCESS;
}

// Provided by posix/memory.inc.
bool CurrentAccess(std::uintptr_t page, Access* out);
bool ApplyAccess(std::uintptr_t first, std::uintptr_t end, const Access& access);
std::uintptr_t PageSize();

}  // namespace

BOOL VirtualProtect(LPVOID address, SIZE_T size, DWORD newProtect, DWORD* oldProtect) {
  Access wanted;
  if (!oldProtect || size == 0 || !AccessOf(newProtect, &wanted)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::uintptr_t page = PageSize();
  const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(address);
  if (start + size < start) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::uintptr_t first = start & ~(page - 1);
  const std::uintptr_t end = (start + size + page - 1) & ~(page - 1);
  Access old;
  if (!CurrentAccess(first, &old)) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  if (!ApplyAccess(first, end, wanted)) return FALSE;
  *oldProtect = ProtectOf(old);
  return TRUE;
}

BOOL FlushInstructionCache(HANDLE, LPCVOID address, SIZE_T size) {
  // GCC's builtin is a no-op on x86-64 and the right flush elsewhere.
  char* p = static_cast<char*>(const_cast<void*>(address));
  __builtin___clear_cache(p, p + size);
  return TRUE;
}

}  // namespace zrpal

#include "pal/posix/memory.inc"
