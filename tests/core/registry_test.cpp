// The class registry: registration by module file and by handle, loading on
// the first creation, and the failures that answer 0, with real modules
// (tests/plugins). Tests that must see a first load use a copy of the plugin
// in a folder of their own: to the loader a copy is a module of its own.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/counted.h"
#include "streams/stream_test_util.h"
#include "test_plugin.h"
#include "zr/exception.h"
#include "zr/registry.h"
#include "zr/service.h"

namespace fs = std::filesystem;

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

constexpr char kLibraryClass[] = "CLSID_OFSERVICECONTAINER";

// Removes a registration when the test ends, however it ends.
struct ScopedRegistration {
  const char* name;
  ~ScopedRegistration() { UnregisterObject(name); }
};

// A folder of the test's own, removed with everything in it at the end.
class TempFolder {
 public:
  TempFolder() {
    static std::atomic<int> serial{0};
    m_path = fs::temp_directory_path() /
             ("zr-registry-" + std::to_string(::getpid()) + "-" + std::to_string(++serial));
    fs::create_directories(m_path);
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(m_path, ec);
  }
  // Replaces `name` by a new copy of `from` (as an installer would).
  std::string Put(const char* from, const std::string& name) const {
    fs::copy_file(from, m_path / (name + ".new"), fs::copy_options::overwrite_existing);
    fs::rename(m_path / (name + ".new"), m_path / name);
    return (m_path / name).string();
  }
  std::string PutText(const std::string& name, const std::string& text) const {
    std::ofstream(m_path / name, std::ios::binary | std::ios::trunc) << text;
    return (m_path / name).string();
  }
  std::string Path() const { return m_path.string(); }

 private:
  fs::path m_path;
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
bool IsLoaded(const std::string& path) { return Loads(path, false) != 0; }

// The module handle (image load address) of the module holding `address`.
HINSTANCE ModuleOf(const void* address) {
  Dl_info info{};
  return ::dladdr(address, &info) ? static_cast<HINSTANCE>(info.dli_fbase) : nullptr;
}
HINSTANCE ThisProgram() { return ModuleOf(reinterpret_cast<const void*>(&ZrRegistryTestLocalClass)); }

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
    EXPECT_EQ(static_cast<IZRServiceContainer*>(object)->GetService("s", nullptr), 0);
    EXPECT_EQ(object->Release(), 0u);
    // With an outer only IZRUnknown may be asked for.
    zrtest::CCounted outer;
    object = &outer;
    EXPECT_EQ(create(kLibraryClass, &outer, typeid(IZRServiceContainer), &object), 0);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(outer.Count(), 1u);
  }
}

// Through a path past 600 characters.
TEST(Registry, AModuleFileLoadsOnTheFirstCreationAndStaysLoaded) {
  TempFolder folder;
  std::string deep;
  for (int i = 0; i < 6; ++i) deep += std::string(100, static_cast<char>('a' + i)) + "/";
  fs::create_directories(folder.Path() + "/" + deep);
  const std::string plugin = folder.Put(ZR_TEST_WIDGET_PLUGIN, deep + "widget.so");
  ASSERT_GT(plugin.size(), 600u);
  ScopedRegistration guard{kTestWidgetClass};
  ASSERT_EQ(RegisterObject(kTestWidgetClass, plugin.c_str()), 1);
  EXPECT_EQ(IsRegisterObject(kTestWidgetClass), 1);
  EXPECT_FALSE(IsLoaded(plugin)) << "registration must not load the module";
  EXPECT_EQ(CreatedKind(kTestWidgetClass), kWidgetKind);
  EXPECT_EQ(CreatedKind(kTestWidgetClass), kWidgetKind);
  EXPECT_EQ(UnregisterObject(kTestWidgetClass), 1);
  EXPECT_EQ(IsRegisterObject(kTestWidgetClass), 0);
  EXPECT_EQ(CreatedKind(kTestWidgetClass), 0);
  EXPECT_EQ(UnregisterObject(kTestWidgetClass), 0);
  EXPECT_EQ(Loads(plugin), 1);  // loaded once, and not unloaded by the removal
}

TEST(Registry, ASecondRegistrationKeepsTheFirst) {
  TempFolder folder;
  const std::string widget = folder.Put(ZR_TEST_WIDGET_PLUGIN, "widget.so");
  const std::string noexport = folder.Put(ZR_TEST_NOEXPORT_PLUGIN, "noexport.so");
  ScopedRegistration guard{kTestWidgetClass};
  ASSERT_EQ(RegisterObject(kTestWidgetClass, widget.c_str()), 1);
  EXPECT_EQ(RegisterObject(kTestWidgetClass, noexport.c_str()), 1);
  EXPECT_EQ(RegisterObject(kTestWidgetClass, "/no/such/module.so"), 1);
  EXPECT_EQ(RegisterObject(kTestWidgetClass, ThisProgram()), 1);
  EXPECT_EQ(CreatedKind(kTestWidgetClass), kWidgetKind);
  EXPECT_FALSE(IsLoaded(noexport));

  // The library's own class, by handle, stays too.
  ASSERT_EQ(RegisterObject(kLibraryClass, widget.c_str()), 1);
  IZRUnknown* container = nullptr;
  ASSERT_EQ(CreateObject(kLibraryClass, nullptr, typeid(IZRServiceContainer), &container), 1);
  container->Release();
}

TEST(Registry, FilesThatAreNotFoundAreNotRegistered) {
  TempFolder folder;
  const std::string missing = folder.Path() + "/gone.so";
  const std::string path = folder.Path();
  for (const char* file : {missing.c_str(), "zr-no-such-module", "no/such/relative.so", path.c_str(), "",
                           static_cast<const char*>(nullptr)}) {
    EXPECT_EQ(RegisterObject("ZrRegistryNotFound", file), 0) << (file ? file : "(null)");
    EXPECT_EQ(IsRegisterObject("ZrRegistryNotFound"), 0);
  }
}

TEST(Registry, AMissingExportFailsEveryTimeWhileTheModuleStaysLoaded) {
  TempFolder folder;
  const std::string module = folder.Put(ZR_TEST_NOEXPORT_PLUGIN, "plugin.so");
  ScopedRegistration guard{kTestWidgetClass};
  ASSERT_EQ(RegisterObject(kTestWidgetClass, module.c_str()), 1);
  // The module is kept and its missing export remembered.
  for (int i = 0; i < 3; ++i) EXPECT_EQ(CreatedKind(kTestWidgetClass), 0);
  EXPECT_EQ(IsRegisterObject(kTestWidgetClass), 1);
  EXPECT_EQ(Loads(module), 1);
}

TEST(Registry, AModuleThatDoesNotLoadIsTriedAgainOnEveryCall) {
  TempFolder folder;
  const std::string module = folder.PutText("plugin.so", "not a shared object\n");
  ScopedRegistration guard{kTestWidgetClass};
  ASSERT_EQ(RegisterObject(kTestWidgetClass, module.c_str()), 1);
  EXPECT_EQ(CreatedKind(kTestWidgetClass), 0);
  EXPECT_EQ(CreatedKind(kTestWidgetClass), 0);
  // Once the file is a module, the next call loads it.
  folder.Put(ZR_TEST_WIDGET_PLUGIN, "plugin.so");
  EXPECT_EQ(CreatedKind(kTestWidgetClass), kWidgetKind);
}

TEST(Registry, NamesDifferingInCaseAreDifferentClasses) {
  // A bare name without suffix is found beside the program.
  ScopedRegistration lower{kTestWidgetClass};
  ScopedRegistration upper{kTestWidgetUpperClass};
  ASSERT_EQ(RegisterObject(kTestWidgetClass, "libzr_test_widget"), 1);
  EXPECT_EQ(IsRegisterObject(kTestWidgetUpperClass), 0);
  ASSERT_EQ(RegisterObject(kTestWidgetUpperClass, ZR_TEST_WIDGET_PLUGIN), 1);
  EXPECT_EQ(CreatedKind(kTestWidgetClass), kWidgetKind);
  EXPECT_EQ(CreatedKind(kTestWidgetUpperClass), kWidgetUpperKind);
  EXPECT_EQ(UnregisterObject(kTestWidgetUpperClass), 1);
  EXPECT_EQ(IsRegisterObject(kTestWidgetClass), 1);
  EXPECT_EQ(CreatedKind(kTestWidgetClass), kWidgetKind);
}

TEST(Registry, NamesWithTheSameHashAreOneClass) {
  const auto twins = zrtest::HashTwins("ZrTwin");
  ScopedRegistration guard{twins.first.c_str()};
  ASSERT_EQ(RegisterObject(twins.first.c_str(), ZR_TEST_WIDGET_PLUGIN), 1);
  EXPECT_EQ(IsRegisterObject(twins.second.c_str()), 1);
  EXPECT_EQ(RegisterObject(twins.second.c_str(), ThisProgram()), 1);  // already registered
  EXPECT_EQ(UnregisterObject(twins.second.c_str()), 1);
  EXPECT_EQ(IsRegisterObject(twins.first.c_str()), 0);
}

TEST(Registry, RegistrationByHandleNeedsTheExport) {
  const HINSTANCE self = ThisProgram();
  ASSERT_NE(self, nullptr);
  ScopedRegistration guard{"ZrRegistryTestLocalClass"};
  EXPECT_EQ(RegisterObject("ZrRegistryTestNoSuchExport", self), 0);
  EXPECT_EQ(IsRegisterObject("ZrRegistryTestNoSuchExport"), 0);
  EXPECT_EQ(RegisterObject("ZrRegistryTestLocalClass", static_cast<HINSTANCE>(nullptr)), 0);
  ASSERT_EQ(RegisterObject("ZrRegistryTestLocalClass", self), 1);
  IZRUnknown* object = nullptr;
  ASSERT_EQ(CreateObject("ZrRegistryTestLocalClass", nullptr, typeid(IZRUnknown), &object), 1);
  EXPECT_EQ(object->Release(), 0u);
  // The factory's answer is the result.
  object = reinterpret_cast<IZRUnknown*>(&object);
  EXPECT_EQ(CreateObject("ZrRegistryTestLocalClass", nullptr, typeid(ITestWidget), &object), 0);
  EXPECT_EQ(object, nullptr);
}

TEST(Registry, AFactorysExceptionPassesThrough) {
  ScopedRegistration guard{kTestThrowingClass};
  ASSERT_EQ(RegisterObject(kTestThrowingClass, ZR_TEST_WIDGET_PLUGIN), 1);
  IZRUnknown* object = reinterpret_cast<IZRUnknown*>(&object);
  EXPECT_EQ(zrtest::CauseOf([&] { CreateObject(kTestThrowingClass, nullptr, typeid(ITestWidget), &object); }),
            static_cast<DWORD>(ZRCAUSE_INVALIDARG));
  EXPECT_EQ(object, nullptr);
}

TEST(Registry, NullAndEmptyNamesAreNoClass) {
  for (const char* name : {static_cast<const char*>(nullptr), ""}) {
    EXPECT_EQ(RegisterObject(name, ZR_TEST_WIDGET_PLUGIN), 0);
    EXPECT_EQ(RegisterObject(name, ThisProgram()), 0);
    EXPECT_EQ(IsRegisterObject(name), 0);
    EXPECT_EQ(UnregisterObject(name), 0);
    IZRUnknown* object = reinterpret_cast<IZRUnknown*>(&object);
    EXPECT_EQ(CreateObject(name, nullptr, typeid(IZRUnknown), &object), 0);
    EXPECT_EQ(object, nullptr);
  }
}

}  // namespace
