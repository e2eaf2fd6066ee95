// translation/hookproc.cpp - HookProc_Install / HookProc_UnInstall and the
// interception entry point behind them.
//
// The patch itself is the platform layer's (pal/image/imports.h); this file
// resolves the platform function, picks the walk for the module's image and
// remembers each installed replacement, so that HookProc_UnInstall, which is
// given no replacement, can find the slots to restore. The memory is a short
// list under a lock: patching happens at start-up and from the main thread,
// for some twenty functions per module.
#include "translation/hookproc.h"

#include <mutex>
#include <vector>

#include "pal/image/imports.h"
#include "pal/module.h"
#include "zr/hookproc.h"

namespace zr {

namespace {

struct Installed {
  HMODULE module;
  void* platformEntry;
  void* replacement;
};

// Bound of the list: each (module, function) pair has one entry, replaced on
// a later install; past this many pairs the oldest are no longer
// remembered (HookProc_UnInstall then reports 0 for them).
constexpr std::size_t kMaxInstalled = 4096;

std::mutex g_installedLock;
std::vector<Installed>* g_installed = nullptr;  // created on first use, never freed (used at unload)

void Remember(HMODULE module, void* platformEntry, void* replacement) {
  std::lock_guard<std::mutex> hold(g_installedLock);
  try {
    if (!g_installed) g_installed = new std::vector<Installed>();
    for (Installed& i : *g_installed) {
      if (i.module == module && i.platformEntry == platformEntry) {
        i.replacement = replacement;
        return;
      }
    }
    if (g_installed->size() == kMaxInstalled) g_installed->erase(g_installed->begin());
    g_installed->push_back({module, platformEntry, replacement});
  } catch (const std::bad_alloc&) {
    // Not remembered: only HookProc_UnInstall of this pair is affected.
  }
}

void* Remembered(HMODULE module, void* platformEntry) {
  std::lock_guard<std::mutex> hold(g_installedLock);
  if (!g_installed) return nullptr;
  for (const Installed& i : *g_installed)
    if (i.module == module && i.platformEntry == platformEntry) return i.replacement;
  return nullptr;
}

void* Resolve(const char* libraryName, const char* functionName) {
  HMODULE library = zrpal::GetModuleHandleA(libraryName);
  if (!library) return nullptr;
  return reinterpret_cast<void*>(zrpal::GetProcAddress(library, functionName));
}

InterceptResult Patch(HMODULE module, const void* from, const void* to, bool peOnly) {
  std::size_t changed = 0;
  zrpal::ImportPatch result;
  if (zrpal::IsElfImage(module)) {
    if (peOnly) return InterceptResult::kUnknownImage;
    result = zrpal::PatchElfImports(module, from, to, &changed);
  } else {
    result = zrpal::PatchPeImports(module, 0, from, to, &changed);
  }
  switch (result) {
    case zrpal::ImportPatch::kDone: return InterceptResult::kPatched;
    case zrpal::ImportPatch::kNotPe:
    case zrpal::ImportPatch::kNotElf: return InterceptResult::kUnknownImage;
    default: return InterceptResult::kFailed;
  }
}

int ReturnZero() { return 0; }

}  // namespace

InterceptResult InterceptImport(HMODULE module, const char* libraryName, const char* functionName,
                                void* replacement, void** platformEntry) {
  *platformEntry = Resolve(libraryName, functionName);
  if (!*platformEntry) return InterceptResult::kNoFunction;
  const InterceptResult result = Patch(module, *platformEntry, replacement, false);
  if (result == InterceptResult::kPatched) Remember(module, *platformEntry, replacement);
  return result;
}

InterceptResult RestoreImport(HMODULE module, const char* libraryName, const char* functionName,
                              void* replacement) {
  void* entry = Resolve(libraryName, functionName);
  if (!entry) return InterceptResult::kNoFunction;
  if (!replacement) replacement = Remembered(module, entry);
  if (!replacement) return InterceptResult::kFailed;
  return Patch(module, replacement, entry, false);
}

}  // namespace zr

void* HookProc_Install(HMODULE module, const char* libraryName, const char* functionName,
                       void* replacement) {
  if (!module) return reinterpret_cast<void*>(&zr::ReturnZero);
  void* entry = zr::Resolve(libraryName, functionName);
  if (!entry) return nullptr;
  if (zr::Patch(module, entry, replacement, true) != zr::InterceptResult::kPatched) return nullptr;
  zr::Remember(module, entry, replacement);
  return entry;
}

int HookProc_UnInstall(HMODULE module, const char* libraryName, const char* functionName) {
  if (!module) return 0;
  void* entry = zr::Resolve(libraryName, functionName);
  if (!entry) return 0;
  void* replacement = zr::Remembered(module, entry);
  if (!replacement) return 0;
  return zr::Patch(module, replacement, entry, true) == zr::InterceptResult::kPatched ? 1 : 0;
}
