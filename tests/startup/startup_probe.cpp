// A program linked with the library's static twin, so that the library's
// module is this program and its export "_ZRAfxDllMain" is the library's
// module hook. It records what it can see when the library calls the hook at
// process attach and detach, and prints one trace line per event; the test
// driver (check_trace.cmake) checks the trace after the process has ended.
#include <cinttypes>
#include <cstdio>

#include "pal/com.h"
#include "pal/heap.h"
#include "pal/module.h"
#include "zr/exception.h"
#include "zr/heap.h"

namespace {

// What the library's own exceptions say its module is.
HMODULE LibraryModule() { return CXMemException().GetModule(); }

// Whether every heap of the process is a low-fragmentation heap.
bool AllHeapsLowFragmentation() {
  HANDLE heaps[64];
  const DWORD n = zrpal::GetProcessHeaps(64, heaps);
  if (n == 0 || n > 64) return false;
  for (DWORD i = 0; i < n; ++i) {
    ULONG value = 0;
    if (!zrpal::HeapQueryInformation(heaps[i], zrpal::HeapCompatibilityInformation, &value, sizeof value, nullptr) ||
        value != zrpal::HEAP_LFH)
      return false;
  }
  return true;
}

// Whether the default heap exists and serves a block.
bool DefaultHeapWorks() {
  IHeap* heap = Mem_DefaultHeap(0);
  if (!heap) return false;
  void* p = heap->Alloc(32);
  const bool ok = p && heap->GetSize(p) == 32;
  if (p) heap->Free(p);
  return ok;
}

int g_events = 0;

}  // namespace

// The module hook. Static construction of this program has not necessarily
// run at attach, so it uses nothing but the C library's stdio and the library.
extern "C" __attribute__((visibility("default"))) BOOL _ZRAfxDllMain(HMODULE module, DWORD reason, void* reserved) {
  const HMODULE self = zrpal::GetModuleHandleW(nullptr);
  std::printf("hook event=%d reason=%u module-is-program=%d module-matches-exceptions=%d reserved-null=%d "
              "default-heap=%d com=%u lfh=%d\n",
              ++g_events, reason, module == self ? 1 : 0, module == LibraryModule() ? 1 : 0,
              reserved == nullptr ? 1 : 0, DefaultHeapWorks() ? 1 : 0, zrpal::CoInitializeCount(),
              AllHeapsLowFragmentation() ? 1 : 0);
  std::fflush(stdout);
  return 1;
}

int main() {
  std::printf("main default-heap=%d module-is-program=%d\n", DefaultHeapWorks() ? 1 : 0,
              LibraryModule() == zrpal::GetModuleHandleW(nullptr) ? 1 : 0);
  std::fflush(stdout);
  return 0;
}
