// Uses the installed library through its umbrella header: a heap, a string
// resource of this program, and the library's own registered class.
#include <zr/zrcore.h>

#include <cstdio>
#include <cstring>

extern "C" {
// Without resources (the pkg-config build) the program still links.
__attribute__((weak)) extern const unsigned char _ZRResourceImage[];
}

int main() {
  IHeap* heap = Mem_DefaultHeap(0);
  void* block = heap->Alloc(16);
  heap->Free(block);

  IZRUnknown* container = nullptr;
  if (!CreateObject("CLSID_OFSERVICECONTAINER", nullptr, typeid(IZRServiceContainer), &container)) {
    std::puts("no service container");
    return 1;
  }
  container->Release();

  if (_ZRResourceImage) {
    CXString text;
    // A null module handle is the program's own executable.
    if (!text.Load(nullptr, 7) || std::strcmp(text, "consumer resource") != 0) {
      std::printf("resource: '%s'\n", static_cast<const char*>(text));
      return 1;
    }
  }
  std::puts("ok");
  return 0;
}
