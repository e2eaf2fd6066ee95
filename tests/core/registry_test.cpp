// The class registry: registration by module file and by handle, loading on
// the first creation, and the failures that answer 0, with real modules
// (tests/plugins). Tests that must see a first load use a copy of the plugin
// in a folder of their own: to the loader a copy is a module of its own.
#include "zr/registry.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/counted.h"
#include "streams/stream_test_util.h"
#include "test_plugin.h"
#include "tests/common/temp_dir.h"
#include "zr/exception.h"
#include "zr/service.h"

// A factory of the test program itself, registered by the program's handle.
extern "C" __attribute__((visibility("default"))) int ZrRegistryTestLocalClass(
    IZRUnknown* outer, const std::type_info& type, void** out) {
  if (outer) return 0;
  auto* object = new CZRUnknownImpl<IZRUnknown>;
  const int result = object->QueryInterface(type, out);
  object->Release();
  return result;
}

namespace {

using zrtest::TempDir;
constexpr char kLibraryClass[] = "CLSID_OFSERVICECONTAINER";

// Removes a registration when the test ends, however it ends.
struct ScopedRegistration {
  const char* name;
  ~ScopedRegistration() { UnregisterObject(name); }
};

// The outstanding loads of the module of this file, found by undoing them
// one by one (so unloading it) unless `undo` is false.
int Loads(const std::string& path, bool undo = true) {
  int loads = 0;
  for (; loads < 100; ++loads) {
    void* handle = ::dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (!handle) break;
    ::dlclose(handle);  // this lookup's own load
    if (!undo) return 1;
    ::dlclose(handle);  // one outstanding load
  }
  return loads;
}

HINSTANCE ThisProgram() {
  Dl_info info{};
  return ::dladdr(reinterpret_cast<const void*>(&ZrRegistryTestLocalClass), &info)
             ? static_cast<HINSTANCE>(info.dli_fbase)
             : nullptr;
}

// The kind of a new `name` widget, or 0 when creation fails (out cleared).
int CreatedKind(const char* name) {
  IZRUnknown* object = reinterpret_cast<IZRUnknown*>(&object);  // not null: must be cleared
  if (!CreateObject(name, nullptr, typeid(ITestWidget), &object)) {
    EXPECT_EQ(object, nullptr) << name;
    return 0;
  }
  auto* widget = static_cast<ITestWidget*>(object);
  const int kind = widget->GetKind();
  widget->Release();
  return kind;
}

TEST(Registry, TheLibraryRegistersItsOwnClass) {
  ASSERT_EQ(IsRegisterObject(kLibraryClass), 1);
  using Create = int (*)(const char*, IZRUnknown*, const std::type_info&, IZRUnknown**);
  for (Create create : {Create(&CreateObject), Create(&CreateObjectC)}) {
    IZRUnknown* object = nullptr;
    ASSERT_EQ(create(kLibraryClass, nullptr, typeid(IZRServiceContainer), &object), 1);
    EXPECT_EQ(object->Release(), 0u);
    zrtest::CCounted outer;  // with an outer only IZRUnknown may be asked for
    object = &outer;
    EXPECT_EQ(create(kLibraryClass, &outer, typeid(IZRServiceContainer), &object), 0);
    EXPECT_EQ(object, nullptr);
  }
}

// Through a path past 600 characters.
TEST(Registry, AModuleFileLoadsOnTheFirstCreationAndStaysLoaded) {
  TempDir folder;
  std::string deep;
  for (int i = 0; i < 6; ++i) deep += std::string(100, static_cast<char>('a' + i)) + "/";
  const std::string plugin = folder.Dir(deep) + "widget.so";
  std::filesystem::copy_file(ZR_TEST_WIDGET_PLUGIN, plugin);
  ScopedRegistration guard{kTestWidgetClass};
  ASSERT_EQ(RegisterObject(kTestWidgetClass, plugin.c_str()), 1);
  EXPECT_EQ(Loads(plugin, false), 0) << "registration must not load the module";
  EXPECT_EQ(CreatedKind(kTestWidgetClass), kWidgetKind);
  EXPECT_EQ(CreatedKind(kTestWidgetClass), kWidgetKind);
  // A second registration keeps the first.
  EXPECT_EQ(RegisterObject(kTestWidgetClass, ZR_TEST_NOEXPORT_PLUGIN), 1);
  EXPECT_EQ(RegisterObject(kTestWidgetClass, "/no/such/module.so"), 1);
  EXPECT_EQ(CreatedKind(kTestWidgetClass), kWidgetKind);
  EXPECT_EQ(UnregisterObject(kTestWidgetClass), 1);
  EXPECT_EQ(IsRegisterObject(kTestWidgetClass), 0);
  EXPECT_EQ(CreatedKind(kTestWidgetClass), 0);
  EXPECT_EQ(UnregisterObject(kTestWidgetClass), 0);
  EXPECT_EQ(Loads(plugin), 1);  // loaded once, and not unloaded by the removal
}

TEST(Registry, RegistrationByHandleAndTheFactorysAnswer) {
  ScopedRegistration local{"ZrRegistryTestLocalClass"}, throwing{kTestThrowingClass};
  EXPECT_EQ(RegisterObject("ZrRegistryTestNoSuchExport", ThisProgram()), 0);
  EXPECT_EQ(RegisterObject("ZrRegistryTestLocalClass", static_cast<HINSTANCE>(nullptr)), 0);
  ASSERT_EQ(RegisterObject("ZrRegistryTestLocalClass", ThisProgram()), 1);
  IZRUnknown* object = nullptr;
  ASSERT_EQ(CreateObject("ZrRegistryTestLocalClass", nullptr, typeid(IZRUnknown), &object), 1);
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_EQ(CreatedKind("ZrRegistryTestLocalClass"), 0);  // the factory's answer is the result
  // A factory's exception passes through, with out cleared.
  ASSERT_EQ(RegisterObject(kTestThrowingClass, ZR_TEST_WIDGET_PLUGIN), 1);
  object = reinterpret_cast<IZRUnknown*>(&object);
  EXPECT_EQ(zrtest::CauseOf(
                [&] { CreateObject(kTestThrowingClass, nullptr, typeid(ITestWidget), &object); }),
            static_cast<DWORD>(ZRCAUSE_INVALIDARG));
  EXPECT_EQ(object, nullptr);
  // Files that are not found are not registered; a bare name without suffix
  // is found beside the program; names with the same hash are one class.
  EXPECT_EQ(RegisterObject("ZrRegistryNotFound", "zr-no-such-module"), 0);
  ASSERT_EQ(RegisterObject(zrtest::kHashTwins[0], "libzr_test_widget"), 1);
  EXPECT_EQ(IsRegisterObject(zrtest::kHashTwins[1]), 1);
  EXPECT_EQ(UnregisterObject(zrtest::kHashTwins[1]), 1);
  for (const char* name : {static_cast<const char*>(nullptr), ""}) {  // no class
    EXPECT_EQ(RegisterObject(name, ThisProgram()), 0);
    EXPECT_EQ(IsRegisterObject(name), 0);
    EXPECT_EQ(UnregisterObject(name), 0);
    EXPECT_EQ(CreatedKind(name), 0);
  }
}

}  // namespace
