// A Linux module that loads a string through LoadStringA, a symbol it
// leaves undefined: the dynamic loader binds it, at load, to the test
// program's export, and the call goes through this module's GOT, which the
// interception tests patch.
#include "zr/zrtypes.h"

extern "C" int LoadStringA(HINSTANCE instance, UINT id, char* buffer, int size);

extern "C" __attribute__((visibility("default"))) int ElfImportLoadString(HINSTANCE self, char* buffer,
                                                                          int size) {
  return LoadStringA(self, 1, buffer, size);
}
