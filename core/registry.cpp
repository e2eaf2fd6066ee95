// core/registry.cpp - the class registry: one map from class names to the
// modules that export their factories.
#include "zr/registry.h"

#include <cassert>
#include <memory>
#include <new>
#include <vector>

#include "core/registry.h"
#include "pal/error.h"
#include "pal/user/message.h"
#include "pal/module.h"
#include "zr/exception.h"
#include "zr/tmap.h"
#include "zr/xstring.h"

namespace zr {

namespace {

// The size of the first search for a module file; a longer path is searched
// again with room for it.
constexpr DWORD kSearchBufferLength = 512;

// One registered class. Registered by file, it knows the module's path and
// the export to look up, and learns the module handle and the factory on the
// first creation; registered by handle, it knows both from the start and its
// strings stay empty.
struct CRegistryEntry {
  HMODULE m_hModule = nullptr;   // null until loaded
  CXString m_strModulePath;      // full path of the module file; empty when registered by handle
  CXString m_strFactoryName;     // the export to look up; empty when registered by handle
  PFNZRCLASSFACTORY m_pfnFactory = nullptr;  // null until resolved, or when the export is missing
};

// The map owns its entries: removing or replacing one deletes it.
using CRegistryMap = CTMap<const char*, CRegistryEntry*>;

// The map lives in static storage, built by RegistryStartup and destroyed
// by RegistryShutdown; g_registry points to it exactly in between, so calls
// before start-up or after shutdown find no registry and answer 0.
alignas(CRegistryMap) constinit unsigned char g_registryStorage[sizeof(CRegistryMap)] = {};
constinit CRegistryMap* g_registry = nullptr;

bool IsClassName(const char* name) { return name && *name; }

// The system's text for the last error, thrown as the search failure that
// RegisterObject drops.
[[noreturn]] void ThrowLastErrorText() {
  const DWORD error = zrpal::GetLastError();
  char text[512];
  if (zrpal::FormatMessageA(zrpal::FORMAT_MESSAGE_FROM_SYSTEM | zrpal::FORMAT_MESSAGE_IGNORE_INSERTS,
                            nullptr, error, 0, text, sizeof text, nullptr) == 0)
    text[0] = '\0';
  throw CXString(text);
}

// The full path of `moduleFile`; throws the system's message as a CXString
// when it is not found.
CXString FindModuleFile(const char* moduleFile) {
  char found[kSearchBufferLength];
  const DWORD n = zrpal::SearchPathA(nullptr, moduleFile, nullptr, kSearchBufferLength, found, nullptr);
  if (n == 0) ThrowLastErrorText();
  if (n < kSearchBufferLength) return CXString(found);
  // Too long for the first buffer: n is the size needed.
  std::vector<char> big(n);
  if (zrpal::SearchPathA(nullptr, moduleFile, nullptr, n, big.data(), nullptr) + 1 != n)
    ThrowLastErrorText();  // the file went away, or the path changed, meanwhile
  return CXString(big.data());
}

}  // namespace

void RegistryStartup() {
  assert(!g_registry);
  g_registry = new (g_registryStorage) CRegistryMap(kRegistryBuckets);
}

void RegistryShutdown() {
  CRegistryMap* map = g_registry;
  g_registry = nullptr;
  if (map) map->~CRegistryMap();
}

void ForEachRegisteredClass(void (*visit)(const RegisteredClass& entry, void* context),
                            void* context) {
  if (!g_registry) return;
  // The walk meets each entry once and ends after the last bucket.
  CRegistryMap::CWalk walk;
  while (const CRegistryMap::CAssoc* e = walk.MoveNext(*g_registry)) {
    const CRegistryEntry& entry = *e->value;
    visit({e->key, entry.m_strModulePath, entry.m_hModule}, context);
  }
}

}  // namespace zr

using zr::CRegistryEntry;
using zr::g_registry;

int RegisterObject(const char* name, const char* moduleFile) {
  if (!g_registry || !zr::IsClassName(name)) return 0;
  try {
    if (g_registry->Find(name)) return 1;
    auto entry = std::make_unique<CRegistryEntry>();
    entry->m_strModulePath = zr::FindModuleFile(moduleFile);
    entry->m_strFactoryName = name;
    const int result = g_registry->Set(name, entry.get());
    if (result) entry.release();  // the map owns it now
    return result;
  } catch (const CXString&) {
    return 0;  // the search's message: the file was not found
  } catch (const std::bad_alloc&) {
    return 0;  // CXBadAlloc too: registry functions answer, they never throw
  }
}

int RegisterObject(const char* name, HINSTANCE module) {
  if (!g_registry || !zr::IsClassName(name) || !module) return 0;
  try {
    if (g_registry->Find(name)) return 1;
    const zrpal::FARPROC proc = zrpal::GetProcAddress(module, name);
    if (!proc) return 0;
    auto entry = std::make_unique<CRegistryEntry>();
    entry->m_hModule = module;
    entry->m_pfnFactory = reinterpret_cast<PFNZRCLASSFACTORY>(proc);
    const int result = g_registry->Set(name, entry.get());
    if (result) entry.release();
    return result;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

int UnregisterObject(const char* name) {
  if (!g_registry || !zr::IsClassName(name)) return 0;
  try {
    return g_registry->Remove(name);
  } catch (const std::bad_alloc&) {
    return 0;  // the buckets could not be made: nothing was registered
  }
}

int IsRegisterObject(const char* name) {
  if (!g_registry || !zr::IsClassName(name)) return 0;
  try {
    return g_registry->Find(name) ? 1 : 0;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

int CreateObject(const char* name, IZRUnknown* outer, const std::type_info& type, IZRUnknown** out) {
  if (out) *out = nullptr;
  if (!g_registry || !zr::IsClassName(name)) return 0;
  CRegistryEntry* entry = nullptr;
  try {
    if (!g_registry->Lookup(name, entry)) return 0;
  } catch (const std::bad_alloc&) {
    return 0;
  }
  if (!entry->m_hModule) {
    // Loading runs the module's start-up code, which may register or remove
    // classes: the entry is found again afterwards, and its path is held by
    // a copy meanwhile.
    const CXString path = entry->m_strModulePath;
    const HMODULE module = zrpal::LoadLibraryA(path);
    if (!module) return 0;  // tried again on the next call
    entry = nullptr;
    if (!g_registry || !g_registry->Lookup(name, entry)) return 0;  // removed meanwhile
    if (!entry->m_hModule) {
      if (entry->m_strModulePath.Compare(path) != 0) return 0;  // replaced by another module's
      entry->m_hModule = module;
      entry->m_pfnFactory = reinterpret_cast<PFNZRCLASSFACTORY>(
          zrpal::GetProcAddress(module, entry->m_strFactoryName));
    }
  }
  if (!entry->m_pfnFactory) return 0;  // the module lacks the export
  return entry->m_pfnFactory(outer, type, reinterpret_cast<void**>(out));
}

extern "C" int CreateObjectC(const char* name, IZRUnknown* outer, const std::type_info& type,
                             IZRUnknown** out) {
  return CreateObject(name, outer, type, out);
}
