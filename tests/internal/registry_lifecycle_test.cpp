// The class registry's shutdown and start-up steps, run again by hand: a
// closed registry answers 0 everywhere, and start-up registers the library's
// class again (here against the program, which carries the static twin).
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "base/module_state.h"
#include "core/registry.h"
#include "core/service.h"
#include "zr/registry.h"
#include "zr/service.h"

namespace {

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
