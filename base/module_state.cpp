// base/module_state.cpp - the library's module handle.
#include "base/module_state.h"

#include "pal/module.h"

namespace zr {

namespace {
constinit HMODULE g_module = nullptr;
}  // namespace

void SetLibraryModule(HMODULE module) { g_module = module; }

HMODULE LibraryModule() {
  if (!g_module) {
    zrpal::MEMORY_BASIC_INFORMATION info{};
    if (zrpal::VirtualQuery(reinterpret_cast<const void*>(&LibraryModule), &info, sizeof info))
      g_module = static_cast<HMODULE>(info.AllocationBase);
  }
  return g_module;
}

}  // namespace zr
