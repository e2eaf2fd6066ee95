// pal/user/syslib.cpp - kernel32 and user32 as tables of the platform
// layer's functions, for GetModuleHandle and GetProcAddress.
//
// A system library's handle is the address of its table entry here: inside
// the platform layer's data, never the base of a loaded image, so it cannot
// be mistaken for a module. Only the functions of this list are answered;
// each name maps to exactly one function of its Win32 signature.
#include "pal/internal/syslib.h"

#include <cstring>
#include <string_view>

#include "pal/error.h"
#include "pal/memory.h"
#include "pal/user/menu.h"
#include "pal/user/resource.h"
#include "pal/user/window.h"
#include "pal/user/winapi.h"

namespace zrpal {

namespace {

struct Export {
  const char* name;
  FARPROC address;
};

template <class F>
constexpr FARPROC P(F* f) {
  return reinterpret_cast<FARPROC>(f);
}

// The tables are built on first use (function-local statics): taking a
// function's address as FARPROC is no constant expression, and the library
// has no dynamic initialisers at load.
std::size_t Kernel32(const Export** out) {
  static const Export kKernel32[] = {
    {"FindResourceA", P(&::FindResourceA)},
    {"FindResourceExA", P(&::FindResourceExA)},
    {"FindResourceExW", P(&::FindResourceExW)},
    {"FindResourceW", P(&::FindResourceW)},
    {"FlushInstructionCache", P(&FlushInstructionCache)},
    {"FreeResource", P(&::FreeResource)},
    {"GetModuleFileNameA", P(&GetModuleFileNameA)},
    {"GetModuleFileNameW", P(&GetModuleFileNameW)},
    {"GetModuleHandleA", P(&GetModuleHandleA)},
    {"GetModuleHandleW", P(&GetModuleHandleW)},
    {"GetProcAddress", P(&GetProcAddress)},
    {"LoadResource", P(&::LoadResource)},
    {"LockResource", P(&::LockResource)},
    {"SizeofResource", P(&::SizeofResource)},
    {"VirtualProtect", P(&VirtualProtect)},
  };
  *out = kKernel32;
  return std::size(kKernel32);
}

std::size_t User32(const Export** out) {
  static const Export kUser32[] = {
    {"AppendMenuW", P(&AppendMenuW)},
    {"CreateDialogIndirectParamA", P(&::CreateDialogIndirectParamA)},
    {"CreateDialogIndirectParamW", P(&::CreateDialogIndirectParamW)},
    {"CreateDialogParamA", P(&::CreateDialogParamA)},
    {"CreateDialogParamW", P(&::CreateDialogParamW)},
    {"CreateMenu", P(&CreateMenu)},
    {"CreatePopupMenu", P(&CreatePopupMenu)},
    {"DestroyMenu", P(&DestroyMenu)},
    {"DestroyWindow", P(&DestroyWindow)},
    {"DialogBoxIndirectParamA", P(&::DialogBoxIndirectParamA)},
    {"DialogBoxIndirectParamW", P(&::DialogBoxIndirectParamW)},
    {"DialogBoxParamA", P(&::DialogBoxParamA)},
    {"DialogBoxParamW", P(&::DialogBoxParamW)},
    {"EndDialog", P(&EndDialog)},
    {"GetDlgItem", P(&GetDlgItem)},
    {"GetMenuItemCount", P(&GetMenuItemCount)},
    {"GetMenuItemID", P(&GetMenuItemID)},
    {"GetMenuState", P(&GetMenuState)},
    {"GetMenuStringA", P(&GetMenuStringA)},
    {"GetMenuStringW", P(&GetMenuStringW)},
    {"GetSubMenu", P(&GetSubMenu)},
    {"GetWindowTextA", P(&GetWindowTextA)},
    {"GetWindowTextW", P(&GetWindowTextW)},
    {"LoadMenuA", P(&::LoadMenuA)},
    {"LoadMenuIndirectA", P(&::LoadMenuIndirectA)},
    {"LoadMenuIndirectW", P(&LoadMenuIndirectW)},
    {"LoadMenuW", P(&::LoadMenuW)},
    {"LoadStringA", P(&::LoadStringA)},
    {"LoadStringW", P(&::LoadStringW)},
    {"MessageBoxA", P(&::MessageBoxA)},
    {"MessageBoxExA", P(&::MessageBoxExA)},
    {"MessageBoxExW", P(&MessageBoxExW)},
    {"MessageBoxIndirectA", P(&::MessageBoxIndirectA)},
    {"MessageBoxIndirectW", P(&MessageBoxIndirectW)},
    {"MessageBoxW", P(&MessageBoxW)},
    {"ModifyMenuW", P(&ModifyMenuW)},
    {"SendMessageA", P(&SendMessageA)},
    {"SendMessageW", P(&SendMessageW)},
    {"SetWindowTextA", P(&SetWindowTextA)},
    {"SetWindowTextW", P(&SetWindowTextW)},
  };
  *out = kUser32;
  return std::size(kUser32);
}

struct Library {
  const char* name;  // lower case, without ".dll"
  std::size_t (*exports)(const Export** out);
};

constinit const Library kLibraries[] = {
    {"kernel32", Kernel32},
    {"user32", User32},
};

// Whether `name` is `library` in any case, with or without ".dll".
bool NameMatches(LPCWSTR name, std::string_view library) {
  std::size_t i = 0;
  for (; i < library.size(); ++i) {
    WCHAR c = name[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<WCHAR>(c - u'A' + u'a');
    if (c != static_cast<WCHAR>(library[i])) return false;
  }
  name += i;
  if (*name == 0) return true;
  constexpr std::u16string_view kSuffix = u".dll";
  for (char16_t s : kSuffix) {
    WCHAR c = *name++;
    if (c >= u'A' && c <= u'Z') c = static_cast<WCHAR>(c - u'A' + u'a');
    if (c != s) return false;
  }
  return *name == 0;
}

}  // namespace

bool IsSystemLibraryHandle(HMODULE module) {
  for (const Library& library : kLibraries)
    if (module == reinterpret_cast<HMODULE>(const_cast<Library*>(&library))) return true;
  return false;
}

namespace syslib {

HMODULE HandleOf(LPCWSTR name) {
  for (const Library& library : kLibraries)
    if (NameMatches(name, library.name)) return reinterpret_cast<HMODULE>(const_cast<Library*>(&library));
  return nullptr;
}

FARPROC ProcOf(HMODULE module, LPCSTR name) {
  const Library* library = reinterpret_cast<const Library*>(module);
  // Ordinals (a name below 64 KiB) are not offered: the libraries here have
  // no ordinal numbering.
  if (name && (reinterpret_cast<std::uintptr_t>(name) >> 16) != 0) {
    const Export* exports = nullptr;
    const std::size_t count = library->exports(&exports);
    for (std::size_t i = 0; i < count; ++i)
      if (std::strcmp(exports[i].name, name) == 0) return exports[i].address;
  }
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

}  // namespace syslib

}  // namespace zrpal
