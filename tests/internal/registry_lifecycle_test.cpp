// The class registry's shutdown and start-up steps, run again by hand: a
// closed registry answers 0 everywhere, and start-up registers the library's
// class again (here against the program, which carries the static twin).
#include <gtest/gtest.h>

#include "base/module_state.h"
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
