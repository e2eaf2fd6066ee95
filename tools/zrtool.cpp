// zrtool - the library's command-line tool.
//
//   zrtool info    the library version, its start-up state and the classes
//                  registered with it
//   zrtool cfb ... compound files (zrtool cfb --help)
//
// It reports only what the library's exported interface shows.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <typeinfo>

#include "zr/zrcore.h"

int CfbMain(int argc, char** argv);  // cfb.cpp

namespace {

// The state the library's start-up leaves behind. False when the default
// heap is missing or does not serve a block.
bool PrintStartupState() {
  // Every exception carries the library's module handle.
  const CXException probe(0);
  std::printf("module handle:     %p\n", static_cast<void*>(probe.GetModule()));

  IHeap* heap = Mem_DefaultHeap(0);
  bool heapWorks = false;
  if (heap) {
    void* block = heap->Alloc(16);
    heapWorks = block && heap->GetSize(block) == 16;
    if (block) heap->Free(block);
  }
  std::printf("default heap:      %s (%p, %d header bytes per block)\n",
              heapWorks ? "ready" : "NOT WORKING", static_cast<void*>(heap),
              heap ? heap->GetOverhead(0) : 0);

  std::uint64_t bytes = 0;
  ULONG operations = 0;
  Get_CoreActivity(&bytes, &operations);
  std::printf("heap activity:     %" PRIu64 " bytes, %u operations (this process)\n", bytes, operations);
  return heapWorks;
}

// The classes registered with the library's class registry. The exported
// interface answers by name, not by listing, and in this process only the
// library's own classes can be registered (other modules register theirs in
// the programs that load them), so the library's class names are asked for:
// whether each is registered and whether it resolves and creates. False when
// one of them does not.
bool PrintRegisteredClasses() {
  struct LibraryClass {
    const char* name;
    const std::type_info& type;
    const char* typeName;
  } const classes[] = {
      {"CLSID_OFSERVICECONTAINER", typeid(IZRServiceContainer), "IZRServiceContainer"},
  };
  std::printf("registered classes:\n");
  bool ok = true;
  for (const LibraryClass& c : classes) {
    if (!IsRegisterObject(c.name)) {
      std::printf("  %-26s NOT REGISTERED\n", c.name);
      ok = false;
      continue;
    }
    IZRUnknown* object = nullptr;
    const bool created = CreateObject(c.name, nullptr, c.type, &object) == 1 && object;
    if (object) object->Release();
    std::printf("  %-26s %s %s\n", c.name, created ? "creates" : "DOES NOT CREATE", c.typeName);
    ok = ok && created;
  }
  return ok;
}

int Info() {
  std::printf("zrcore %s\n", ZRCORE_VERSION_STRING);
  const bool ok = PrintStartupState();
  const bool classesOk = PrintRegisteredClasses();
  return ok && classesOk ? 0 : 1;
}

void Usage() { std::fprintf(stderr, "usage: zrtool info | zrtool cfb ...\n"); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    Usage();
    return 2;
  }
  if (std::strcmp(argv[1], "info") == 0) return Info();
  if (std::strcmp(argv[1], "cfb") == 0) return CfbMain(argc - 1, argv + 1);
  Usage();
  return 2;
}
