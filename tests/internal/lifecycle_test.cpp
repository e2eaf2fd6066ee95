// The shutdown and start-up steps of the memory manager and of the class
// registry, run again by hand (the program carries the static twin).
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "base/memmgr.h"
#include "base/module_state.h"
#include "core/registry.h"
#include "core/service.h"
#include "pal/heap.h"
#include "zr/heap.h"
#include "zr/registry.h"
#include "zr/service.h"

namespace {

zrpal::DWORD PlatformHeaps() { return zrpal::GetProcessHeaps(0, nullptr); }

TEST(MemoryManagerLifecycle, ShutdownDestroysEveryLiveHeap) {
  IHeap* dflt = Mem_DefaultHeap(0);
  ASSERT_NE(dflt, nullptr);
  const ULONG heapsBefore = zr::LiveHeapCount();
  const zrpal::DWORD platformBefore = PlatformHeaps();
  // Private heaps left alive, one with an extra reference, all with blocks.
  IHeap* leaked = new_MemoryHeap(0);
  IHeap* shared = new_MemoryHeap(0);
  shared->AddRef();
  std::vector<void*> blocks;
  for (IHeap* h : {dflt, leaked, shared})
    for (size_t size : {size_t{16}, size_t{5000}, size_t{100000}}) blocks.push_back(h->Alloc(size));
  EXPECT_EQ(zr::LiveHeapCount(), heapsBefore + 2);
  EXPECT_EQ(PlatformHeaps(), platformBefore + 2);
  // Every heap goes with its platform heap and blocks (a sanitizer build sees leaks).
  zr::MemoryManagerShutdown();
  EXPECT_EQ(zr::LiveHeapCount(), 0u);
  EXPECT_EQ(PlatformHeaps(), platformBefore - heapsBefore);
  EXPECT_EQ(Mem_DefaultHeap(0), nullptr);

  zr::MemoryManagerStartup();
  EXPECT_EQ(zr::LiveHeapCount(), 1u);
  IHeap* fresh = Mem_DefaultHeap(0);
  ASSERT_NE(fresh, nullptr);
  void* p = fresh->Alloc(32);
  EXPECT_EQ(fresh->GetSize(p), 32);
  EXPECT_NE(fresh->Free(p), 0);
}

constexpr char kLibraryClass[] = "CLSID_OFSERVICECONTAINER";

// What the registry lists: each name with its module path.
std::map<std::string, std::string> Listed() {
  std::map<std::string, std::string> listed;
  zr::ForEachRegisteredClass([&](const zr::RegisteredClass& c) { listed[c.name] = c.modulePath; });
  return listed;
}

TEST(RegistryLifecycle, TheRegistryListsWhatItHolds) {
  ASSERT_EQ(RegisterObject("ZrListedProbe", "libc.so.6"), 1);  // found, not loaded
  const auto listed = Listed();
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed.at(kLibraryClass), "");  // registered by handle
  EXPECT_NE(listed.at("ZrListedProbe").find("libc.so.6"), std::string::npos);
  zr::ForEachRegisteredClass([](const zr::RegisteredClass& c) {
    EXPECT_EQ(c.module != nullptr, std::string(c.name) == kLibraryClass) << c.name;
  });
  EXPECT_EQ(UnregisterObject("ZrListedProbe"), 1);
  EXPECT_EQ(Listed().size(), 1u);
  zr::RegistryShutdown();
  EXPECT_TRUE(Listed().empty());
  zr::RegistryStartup();
  zr::ServiceContainerClassStartup();
}

TEST(RegistryLifecycle, AClosedRegistryAnswersZeroAndStartUpRegistersTheLibraryClass) {
  ASSERT_EQ(IsRegisterObject(kLibraryClass), 1);
  zr::ServiceContainerClassShutdown();
  EXPECT_EQ(IsRegisterObject(kLibraryClass), 0);
  zr::RegistryShutdown();

  EXPECT_EQ(RegisterObject(kLibraryClass, zr::LibraryModule()), 0);
  EXPECT_EQ(RegisterObject(kLibraryClass, "libc.so.6"), 0);
  EXPECT_EQ(IsRegisterObject(kLibraryClass), 0);
  EXPECT_EQ(UnregisterObject(kLibraryClass), 0);
  IZRUnknown* object = reinterpret_cast<IZRUnknown*>(&object);
  EXPECT_EQ(CreateObject(kLibraryClass, nullptr, typeid(IZRServiceContainer), &object), 0);
  EXPECT_EQ(object, nullptr);

  zr::RegistryStartup();
  EXPECT_EQ(IsRegisterObject(kLibraryClass), 0);
  zr::ServiceContainerClassStartup();
  ASSERT_EQ(IsRegisterObject(kLibraryClass), 1);
  ASSERT_EQ(CreateObject(kLibraryClass, nullptr, typeid(IZRServiceContainer), &object), 1);
  EXPECT_EQ(object->Release(), 0u);
}

}  // namespace
