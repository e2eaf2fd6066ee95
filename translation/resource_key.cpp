// translation/resource_key.cpp - resource key texts (see resource_key.h).
#include "translation/resource_key.h"

#include <cstdint>

#include "pal/codepage.h"
#include "pal/module.h"

namespace zr {

namespace {

// Room for the path the loader records (Linux paths reach 4096 bytes).
constexpr zrpal::DWORD kModulePathBytes = 4096;

bool IsNumericName(const void* name) { return (reinterpret_cast<std::uintptr_t>(name) >> 16) == 0; }
int NumericName(const void* name) {
  return static_cast<int>(reinterpret_cast<std::uintptr_t>(name));
}

template <class C>
const C* FileNamePart(const C* path) {
  if (!path) return path;
  const C* part = path;
  for (const C* p = path; *p; ++p)
    if (*p == ':' || *p == '\\' || *p == '/') part = p + 1;
  return part;
}

CXString ModuleName(HMODULE module) {
  char path[kModulePathBytes];
  const zrpal::DWORD n = zrpal::GetModuleFileNameA(module, path, kModulePathBytes);
  if (n == 0) return CXString();
  return CXString(ModuleFileNamePart(path));
}

CXStringW Widen(const char* text) {
  CXStringW out;
  const int units = zrpal::MultiByteToWideChar(zrpal::CP_ACP, 0, text, -1, nullptr, 0);
  if (units <= 1) return out;
  WCHAR* p = out.GetBuffer(units);
  zrpal::MultiByteToWideChar(zrpal::CP_ACP, 0, text, -1, p, units);
  out.ReleaseBuffer();
  return out;
}

}  // namespace

const char* ModuleFileNamePart(const char* path) { return FileNamePart(path); }
const WCHAR* ModuleFileNamePart(const WCHAR* path) { return FileNamePart(path); }

CXString ResourceKeyA(const char* modulePath, int kind, const char* name) {
  const char* module = modulePath ? ModuleFileNamePart(modulePath) : "";
  CXString key;
  if (IsNumericName(name))
    key.Format("%s#%d#%i%s", module, kind, NumericName(name), kResourceKeySeparatorA);
  else
    key.Format("%s#%d#%s%s", module, kind, name, kResourceKeySeparatorA);
  return key;
}

CXStringW ResourceKeyW(const WCHAR* modulePath, int kind, const WCHAR* name) {
  const WCHAR* module = modulePath ? ModuleFileNamePart(modulePath) : u"";
  CXStringW key;
  if (IsNumericName(name))
    key.Format(u"%s#%d#%i%s", module, kind, NumericName(name), kResourceKeySeparatorW);
  else
    key.Format(u"%s#%d#%s%s", module, kind, name, kResourceKeySeparatorW);
  return key;
}

CXString ResourceKeyA(HMODULE module, int kind, const char* name) {
  return ResourceKeyA(static_cast<const char*>(ModuleName(module)), kind, name);
}

CXString ResourceKeyA(HMODULE module, int kind, const WCHAR* name) {
  if (IsNumericName(name)) return ResourceKeyA(module, kind, reinterpret_cast<const char*>(name));
  const CXString narrow(name);
  return ResourceKeyA(module, kind, static_cast<const char*>(narrow));
}

CXStringW ResourceKeyW(HMODULE module, int kind, const WCHAR* name) {
  const CXStringW moduleName = Widen(ModuleName(module));
  return ResourceKeyW(static_cast<const WCHAR*>(moduleName), kind, name);
}

CXString LayoutKeyA(const char* moduleName, const char* dialogName) {
  CXString key;
  if (dialogName && dialogName[0] == '#')
    key.Format("%s#%d%s%s", moduleName, kResourceKindDialog, dialogName, kResourceKeySeparatorA);
  else
    key.Format("%s#%d#%s%s", moduleName, kResourceKindDialog, dialogName, kResourceKeySeparatorA);
  return key;
}

}  // namespace zr
