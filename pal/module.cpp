// pal/module.cpp - the module entry sequence.
#include "pal/module.h"

namespace zrpal {

namespace {
HMODULE ModuleOf(const void* codeAddress) {
  MEMORY_BASIC_INFORMATION info{};
  if (VirtualQuery(codeAddress, &info, sizeof info) == 0) return nullptr;
  return static_cast<HMODULE>(info.AllocationBase);
}
}  // namespace

void RunModuleAttach(void (*construct)(), PDLLMAIN entry, const void* codeAddress) {
  if (construct) construct();
  if (entry) entry(ModuleOf(codeAddress), DLL_PROCESS_ATTACH, nullptr);
}

void RunModuleDetach(void (*destruct)(), PDLLMAIN entry, const void* codeAddress) {
  if (entry) entry(ModuleOf(codeAddress), DLL_PROCESS_DETACH, nullptr);
  if (destruct) destruct();
}

BOOL DisableThreadLibraryCalls(HMODULE) { return TRUE; }

}  // namespace zrpal

#include "pal/posix/module.inc"
