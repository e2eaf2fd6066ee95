// The class registry's start-up and shutdown steps, run again by hand: a
// closed registry answers 0 everywhere, and start-up registers the library's
// class against the library's own module (here the program, which carries
// the library's static twin and exports its symbols).
#include <gtest/gtest.h>

#include "core/module_state.h"
#include "core/registry.h"
#include "core/service.h"
#include "zr/registry.h"
#include "zr/service.h"

namespace {

constexpr char kLibraryClass[] = "CLSID_OFSERVICECONTAINER";

TEST(RegistryLifecycle, AClosedRegistryAnswersZeroAndStartUpRegistersTheLibraryClass) {
  ASSERT_EQ(IsRegisterObject(kLibraryClass), 1);
  zr::ServiceContainerClassShutdown();
  EXPECT_EQ(IsRegisterObject(kLibraryClass), 0);
  zr::RegistryShutdown();

  const HMODULE self = zr::LibraryModule();
  EXPECT_EQ(RegisterObject(kLibraryClass, self), 0);
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
