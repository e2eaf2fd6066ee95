// zrtool - the library's command-line tool.
//
//   zrtool info    the library version, its start-up state and the classes
//                  registered with it
//   zrtool params  show and convert parameter trees (zrtool params --help)
//
// The tool carries the library itself (the static twin, start-up list
// included), so that it can list what the class registry holds, which the
// exported interface answers only by name. The state it reports is that of
// the library in this process.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <typeinfo>
#include <vector>

#include "core/registry.h"
#include "zr/zrcore.h"

// tools/params_cmd.cpp
int ParamsCommand(int argc, char** argv);

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

// The classes the library's class registry holds, as the registry lists
// them: each with the module it comes from and whether it creates an object
// (asked for IZRUnknown, which every factory answers). False when the
// registry is empty or a class does not create.
bool PrintRegisteredClasses() {
  struct Listed {
    std::string name;
    std::string module;
  };
  std::vector<Listed> classes;
  zr::ForEachRegisteredClass([&](const zr::RegisteredClass& c) {
    classes.push_back({c.name, *c.modulePath ? c.modulePath : "registered by handle"});
  });
  std::printf("registered classes: %zu\n", classes.size());
  // Creating may load a module, whose start-up may register classes: the
  // names are collected first.
  bool ok = !classes.empty();
  for (const Listed& c : classes) {
    IZRUnknown* object = nullptr;
    const bool created =
        CreateObject(c.name.c_str(), nullptr, typeid(IZRUnknown), &object) == 1 && object;
    if (object) object->Release();
    std::printf("  %-26s %-16s (%s)\n", c.name.c_str(), created ? "creates" : "DOES NOT CREATE",
                c.module.c_str());
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

void Usage() { std::fprintf(stderr, "usage: zrtool info\n       zrtool params --help\n"); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    Usage();
    return 2;
  }
  if (std::strcmp(argv[1], "info") == 0) return Info();
  if (std::strcmp(argv[1], "params") == 0) return ParamsCommand(argc - 2, argv + 2);
  Usage();
  return 2;
}
