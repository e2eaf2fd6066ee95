// module/startup.cpp - library start-up and shutdown.
//
// The library's static construction is one explicit ordered list, run by the
// module entry glue of the platform layer before the entry point's process
// attach; shutdown runs the list backwards after process detach. No other
// global of the library has a dynamic initialiser or destructor (the build's
// tests check the shared object for them), so this list is the whole order.
#include <iterator>

#include "base/memmgr.h"
#include "base/module_state.h"
#include "core/registry.h"
#include "core/service.h"
#include "pal/codepage.h"
#include "pal/com.h"
#include "pal/files/mapping.h"
#include "pal/heap.h"
#include "pal/internet/internet.h"
#include "pal/module.h"
#include "pal/registry/registry.h"
#include "pal/profile/profile.h"
#include "translation/restrans.h"
#include "translation/table.h"

namespace zr {

namespace {

using StepFn = void (*)();

struct StartupStep {
  const char* name;
  StepFn construct;  // run in list order at start-up; may be null
  StepFn destruct;   // run in reverse order at shutdown; may be null
};

void ComConstruct() { zrpal::CoInitialize(nullptr); }
void ComDestruct() { zrpal::CoUninitialize(); }

// Last step of construction: every heap of the process becomes a
// low-fragmentation heap (compatibility value 2).
void SwitchProcessHeapsToLfh() {
  constexpr zrpal::DWORD kMaxHeaps = 256;  // far more than start-up creates
  zrpal::HANDLE heaps[kMaxHeaps];
  zrpal::DWORD n = zrpal::GetProcessHeaps(kMaxHeaps, heaps);
  if (n > kMaxHeaps) n = kMaxHeaps;
  for (zrpal::DWORD i = 0; i < n; ++i) {
    zrpal::ULONG lfh = zrpal::HEAP_LFH;
    zrpal::HeapSetInformation(heaps[i], zrpal::HeapCompatibilityInformation, &lfh, sizeof lfh);
  }
}

// The order of construction. Later subsystems insert their steps at their
// place in this list: the translation globals after COM.
constexpr StartupStep kSteps[] = {
    {"code pages", zrpal::CodePageStartup, zrpal::CodePageShutdown},
    // The guard of mapped file views installs itself with the first view;
    // shutdown gives SIGBUS back to the handler it found.
    {"file view guard", nullptr, zrpal::ViewGuardShutdown},
    // The registry's name folding and SQLite, under its hives' databases.
    {"registry", zrpal::RegistryStartup, zrpal::RegistryShutdown},
    // The profile functions' parse cache (it converts file names with the
    // code pages).
    {"profile cache", zrpal::ProfileStartup, zrpal::ProfileShutdown},
    // libcurl's global state, for the FTP sessions and downloads.
    {"internet transfers", zrpal::InternetStartup, zrpal::InternetShutdown},
    {"memory manager", MemoryManagerStartup, MemoryManagerShutdown},
    {"class registry", RegistryStartup, RegistryShutdown},
    // The factory is found among the library's own exports, by the handle
    // LibraryModule() takes from the allocation base of the library's code.
    {"service container class", ServiceContainerClassStartup, ServiceContainerClassShutdown},
    {"COM", ComConstruct, ComDestruct},
    // The one translation table (its dialog font asks the display facts).
    {"translation table", TranslationStartup, TranslationShutdown},
    // The library patches its own module; at unload the listed modules get
    // their imports back and the resource records go.
    {"resource interception", ResTranslationStartup, ResTranslationShutdown},
    {"low-fragmentation heaps", SwitchProcessHeapsToLfh, nullptr},
};

constinit zrpal::FARPROC g_moduleHook = nullptr;

using ModuleHook = zrpal::BOOL (*)(HMODULE, zrpal::DWORD, void*);

void Construct() {
  for (const StartupStep& step : kSteps)
    if (step.construct) step.construct();
}

void Destruct() {
  for (auto it = std::rbegin(kSteps); it != std::rend(kSteps); ++it)
    if (it->destruct) it->destruct();
}

zrpal::BOOL EntryPoint(HMODULE module, zrpal::DWORD reason, void* reserved) {
  switch (reason) {
    case zrpal::DLL_PROCESS_ATTACH:
      SetLibraryModule(module);
      zrpal::DisableThreadLibraryCalls(module);
      // The resource interception of the library's own module is installed
      // here once resource translation exists.
      g_moduleHook = zrpal::GetProcAddress(module, "_ZRAfxDllMain");
      if (g_moduleHook) reinterpret_cast<ModuleHook>(g_moduleHook)(module, 1, nullptr);
      break;
    case zrpal::DLL_PROCESS_DETACH:
      if (g_moduleHook) reinterpret_cast<ModuleHook>(g_moduleHook)(module, 0, reserved);
      break;
    default:
      break;
  }
  return 1;
}

}  // namespace

}  // namespace zr

ZRPAL_MODULE_ENTRY(zr::Construct, zr::Destruct, zr::EntryPoint)
