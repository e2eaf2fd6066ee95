// zrtool - the library's command-line tool.
//
//   zrtool info    the library version, its start-up state and the classes
//                  registered with it
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "zr/zrcore.h"

namespace {

int Info() {
  std::printf("zrcore %s\n", ZRCORE_VERSION_STRING);
  // The module handle every exception carries is the library's own.
  CXException probe(0);
  std::printf("module handle:   %p\n", static_cast<void*>(probe.GetModule()));
  IHeap* heap = Mem_DefaultHeap(0);
  std::printf("default heap:    %s\n", heap ? "ready" : "missing");
  std::uint64_t bytes = 0;
  ULONG ops = 0;
  Get_CoreActivity(&bytes, &ops);
  std::printf("heap activity:   %" PRIu64 " bytes, %u operations\n", bytes, ops);
  return heap ? 0 : 1;
}

void Usage() { std::fprintf(stderr, "usage: zrtool info\n"); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    Usage();
    return 2;
  }
  if (std::strcmp(argv[1], "info") == 0) return Info();
  Usage();
  return 2;
}
