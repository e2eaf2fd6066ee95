// The class registry: registration by module file and by handle, loading on
// the first creation, and the failures that answer 0 - with real modules
// (tests/plugins) loaded by the dynamic loader.
//
// Tests that must see a module load for the first time work on a copy of the
// plugin in a folder of their own: a copy is a module of its own to the
// loader, whatever earlier tests of this program loaded.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <unordered_map>
#include <utility>

#include "core/counted.h"
#include "test_plugin.h"
#include "zr/exception.h"
#include "zr/persist.h"
#include "zr/registry.h"
#include "zr/service.h"
#include "zr/xstream.h"

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
class ScopedRegistration {
 public:
  explicit ScopedRegistration(const char* name) : m_name(name) {}
  ~ScopedRegistration() { UnregisterObject(m_name); }
  ScopedRegistration(const ScopedRegistration&) = delete;
  ScopedRegistration& operator=(const ScopedRegistration&) = delete;

 private:
  const char* m_name;
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
  // Puts a copy of `from` at `name`, replacing what is there by a new file
  // (as an installer would), and returns its path.
  std::string Put(const char* from, const std::string& name) const {
    const fs::path target = m_path / name;
    const fs::path staging = m_path / (name + ".new");
    fs::copy_file(from, staging, fs::copy_options::overwrite_existing);
    fs::rename(staging, target);
    return target.string();
  }
  std::string Path() const { return m_path.string(); }
  std::string PutText(const std::string& name, const std::string& text) const {
    const fs::path target = m_path / name;
    std::ofstream(target, std::ios::binary | std::ios::trunc) << text;
    return target.string();
  }

 private:
  fs::path m_path;
};

// Whether the dynamic loader has the module of this file loaded (it compares
// files, not names).
bool IsLoaded(const std::string& path) {
  void* handle = ::dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  if (!handle) return false;
  ::dlclose(handle);
  return true;
}

// How many loads of the module of this file are outstanding, found by
// undoing them one by one: the module is unloaded at the end.
int UndoLoads(const std::string& path) {
  int loads = 0;
  for (; loads < 100; ++loads) {
    void* handle = ::dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (!handle) break;
    ::dlclose(handle);  // this lookup's own load
    ::dlclose(handle);  // one outstanding load
  }
  return loads;
}

// The module handle (image load address) of the module holding `address`.
HINSTANCE ModuleOf(const void* address) {
  Dl_info info{};
  return ::dladdr(address, &info) ? static_cast<HINSTANCE>(info.dli_fbase) : nullptr;
}

// Creates `name` for ITestWidget and answers its kind, or 0 when creation
// fails (then *out must be null).
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
    auto* container = static_cast<IZRServiceContainer*>(object);
    auto* service = new CZRUnknownImpl<IZRUnknown>;
    EXPECT_EQ(container->AddService("s", service), 1);
    EXPECT_EQ(container->GetService("s", nullptr), 1);
    service->Release();
    EXPECT_EQ(container->Release(), 0u);
  }
}

TEST(Registry, TheLibraryClassRefusesOtherTypesWithAnOuter) {
  zrtest::CCounted outer;
  IZRUnknown* inner = &outer;  // must be cleared
  EXPECT_EQ(CreateObject(kLibraryClass, &outer, typeid(IZRServiceContainer), &inner), 0);
  EXPECT_EQ(inner, nullptr);
  // IZRUnknown is allowed: the aggregated container's own unknown.
  ASSERT_EQ(CreateObject(kLibraryClass, &outer, typeid(IZRUnknown), &inner), 1);
  ASSERT_NE(inner, nullptr);
  EXPECT_NE(inner, static_cast<IZRUnknown*>(&outer));
  EXPECT_EQ(inner->Release(), 0u);
  EXPECT_EQ(outer.Count(), 1u);
}

TEST(Registry, AModuleFileLoadsOnTheFirstCreation) {
  TempFolder folder;
  const std::string plugin = folder.Put(ZR_TEST_WIDGET_PLUGIN, "widget.so");
  ScopedRegistration guard(kTestWidgetClass);
  ASSERT_EQ(RegisterObject(kTestWidgetClass, plugin.c_str()), 1);
  EXPECT_EQ(IsRegisterObject(kTestWidgetClass), 1);
  EXPECT_FALSE(IsLoaded(plugin)) << "registration must not load the module";

  EXPECT_EQ(CreatedKind(kTestWidgetClass), kWidgetKind);
  EXPECT_TRUE(IsLoaded(plugin));

  // The object is the plugin's, counted there: it dies with its last Release.
  IZRUnknown* object = nullptr;
  ASSERT_EQ(CreateObjectC(kTestWidgetClass, nullptr, typeid(ITestWidget), &object), 1);
  int destroyed = 0;
  static_cast<ITestWidget*>(object)->SetDestroyedCounter(&destroyed);
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_EQ(destroyed, 1);
  // Resolved once: the module was loaded for the first creation only.
  ASSERT_EQ(UnregisterObject(kTestWidgetClass), 1);
  EXPECT_EQ(UndoLoads(plugin), 1);
}

TEST(Registry, TheModuleFileIsSearchedForByName) {
  // The plugins sit beside the test programs: a bare name without the
  // suffix is found in the program's folder.
  ScopedRegistration guard(kTestWidgetClass);
  ASSERT_EQ(RegisterObject(kTestWidgetClass, "libzr_test_widget"), 1);
  EXPECT_EQ(CreatedKind(kTestWidgetClass), kWidgetKind);
}

TEST(Registry, LongModulePathsAreFound) {
  TempFolder folder;
  std::string deep;
  for (int i = 0; i < 6; ++i) deep += "/" + std::string(100, static_cast<char>('a' + i));
  fs::create_directories(folder.Path() + deep);
  const std::string plugin = folder.Put(ZR_TEST_WIDGET_PLUGIN, deep.substr(1) + "/widget.so");
  ASSERT_GT(plugin.size(), 600u);
  ScopedRegistration guard(kTestWidgetClass);
  ASSERT_EQ(RegisterObject(kTestWidgetClass, plugin.c_str()), 1);
  EXPECT_EQ(CreatedKind(kTestWidgetClass), kWidgetKind);
}

TEST(Registry, ASecondRegistrationKeepsTheFirst) {
  TempFolder folder;
  const std::string widget = folder.Put(ZR_TEST_WIDGET_PLUGIN, "widget.so");
  const std::string noexport = folder.Put(ZR_TEST_NOEXPORT_PLUGIN, "noexport.so");
  ScopedRegistration guard(kTestWidgetClass);
  ASSERT_EQ(RegisterObject(kTestWidgetClass, widget.c_str()), 1);
  EXPECT_EQ(RegisterObject(kTestWidgetClass, noexport.c_str()), 1);
  EXPECT_EQ(RegisterObject(kTestWidgetClass, "/no/such/module.so"), 1);
  EXPECT_EQ(RegisterObject(kTestWidgetClass, ModuleOf(reinterpret_cast<const void*>(&CreatedKind))), 1);
  EXPECT_EQ(CreatedKind(kTestWidgetClass), kWidgetKind);
  EXPECT_FALSE(IsLoaded(noexport));

  // By handle first (the library's own class), then by file: the handle's
  // registration stays.
  ASSERT_EQ(RegisterObject(kLibraryClass, widget.c_str()), 1);
  IZRUnknown* container = nullptr;
  ASSERT_EQ(CreateObject(kLibraryClass, nullptr, typeid(IZRServiceContainer), &container), 1);
  container->Release();
}

TEST(Registry, FilesThatAreNotFoundAreNotRegistered) {
  TempFolder folder;
  const std::string missing = folder.PutText("placeholder", "") + ".gone.so";
  const std::string folderPath = fs::path(missing).parent_path().string();
  const char* files[] = {missing.c_str(), "zr-no-such-module", "no/such/relative.so", folderPath.c_str(), "",
                         nullptr};
  for (const char* file : files) {
    SCOPED_TRACE(file ? file : "(null)");
    EXPECT_EQ(RegisterObject("ZrRegistryNotFound", file), 0);
    EXPECT_EQ(IsRegisterObject("ZrRegistryNotFound"), 0);
  }
}

TEST(Registry, AMissingExportFailsEveryTimeWhileTheModuleStaysLoaded) {
  TempFolder folder;
  const std::string module = folder.Put(ZR_TEST_NOEXPORT_PLUGIN, "plugin.so");
  ScopedRegistration guard(kTestWidgetClass);
  ASSERT_EQ(RegisterObject(kTestWidgetClass, module.c_str()), 1);
  EXPECT_EQ(CreatedKind(kTestWidgetClass), 0);
  EXPECT_TRUE(IsLoaded(module));
  // The loaded module is kept and its missing export remembered: later calls
  // do not load it again.
  EXPECT_EQ(CreatedKind(kTestWidgetClass), 0);
  EXPECT_EQ(CreatedKind(kTestWidgetClass), 0);
  EXPECT_EQ(IsRegisterObject(kTestWidgetClass), 1);
  EXPECT_EQ(UndoLoads(module), 1);
}

TEST(Registry, AModuleThatDoesNotLoadIsTriedAgainOnEveryCall) {
  TempFolder folder;
  const std::string module = folder.PutText("plugin.so", "not a shared object\n");
  ScopedRegistration guard(kTestWidgetClass);
  ASSERT_EQ(RegisterObject(kTestWidgetClass, module.c_str()), 1);
  EXPECT_EQ(CreatedKind(kTestWidgetClass), 0);
  EXPECT_EQ(CreatedKind(kTestWidgetClass), 0);
  // Once the file is a module, the next call loads it.
  folder.Put(ZR_TEST_WIDGET_PLUGIN, "plugin.so");
  EXPECT_EQ(CreatedKind(kTestWidgetClass), kWidgetKind);
}

TEST(Registry, NamesDifferingInCaseAreDifferentClasses) {
  ScopedRegistration lower(kTestWidgetClass);
  ScopedRegistration upper(kTestWidgetUpperClass);
  ASSERT_EQ(RegisterObject(kTestWidgetClass, ZR_TEST_WIDGET_PLUGIN), 1);
  EXPECT_EQ(IsRegisterObject(kTestWidgetUpperClass), 0);
  ASSERT_EQ(RegisterObject(kTestWidgetUpperClass, ZR_TEST_WIDGET_PLUGIN), 1);
  EXPECT_EQ(CreatedKind(kTestWidgetClass), kWidgetKind);
  EXPECT_EQ(CreatedKind(kTestWidgetUpperClass), kWidgetUpperKind);
  EXPECT_EQ(UnregisterObject(kTestWidgetUpperClass), 1);
  EXPECT_EQ(IsRegisterObject(kTestWidgetClass), 1);
  EXPECT_EQ(CreatedKind(kTestWidgetClass), kWidgetKind);
}

TEST(Registry, NamesWithTheSameHashAreOneClass) {
  // Find two names with the same 32-bit hash (a birthday search).
  std::unordered_map<ULONG, std::string> seen;
  std::pair<std::string, std::string> twins;
  for (unsigned i = 0; twins.first.empty(); ++i) {
    std::string name = "ZrTwin" + std::to_string(i);
    auto [it, added] = seen.emplace(zrtest::ReferenceHash(name), name);
    if (!added) twins = {it->second, name};
  }
  const HINSTANCE self = ModuleOf(reinterpret_cast<const void*>(&ZrRegistryTestLocalClass));
  ScopedRegistration guard(twins.first.c_str());
  ASSERT_EQ(RegisterObject(twins.first.c_str(), ZR_TEST_WIDGET_PLUGIN), 1);
  EXPECT_EQ(IsRegisterObject(twins.second.c_str()), 1);
  EXPECT_EQ(RegisterObject(twins.second.c_str(), self), 1);  // already registered
  EXPECT_EQ(UnregisterObject(twins.second.c_str()), 1);
  EXPECT_EQ(IsRegisterObject(twins.first.c_str()), 0);
}

TEST(Registry, UnregisteringKeepsTheModuleLoaded) {
  TempFolder folder;
  const std::string plugin = folder.Put(ZR_TEST_WIDGET_PLUGIN, "widget.so");
  ScopedRegistration guard(kTestWidgetClass);
  ASSERT_EQ(RegisterObject(kTestWidgetClass, plugin.c_str()), 1);
  ASSERT_EQ(CreatedKind(kTestWidgetClass), kWidgetKind);
  EXPECT_EQ(UnregisterObject(kTestWidgetClass), 1);
  EXPECT_EQ(IsRegisterObject(kTestWidgetClass), 0);
  EXPECT_EQ(CreatedKind(kTestWidgetClass), 0);
  EXPECT_EQ(UnregisterObject(kTestWidgetClass), 0);
  EXPECT_TRUE(IsLoaded(plugin));
}

TEST(Registry, RegistrationByHandleNeedsTheExport) {
  const HINSTANCE self = ModuleOf(reinterpret_cast<const void*>(&ZrRegistryTestLocalClass));
  ASSERT_NE(self, nullptr);
  ScopedRegistration guard("ZrRegistryTestLocalClass");
  EXPECT_EQ(RegisterObject("ZrRegistryTestNoSuchExport", self), 0);
  EXPECT_EQ(IsRegisterObject("ZrRegistryTestNoSuchExport"), 0);
  EXPECT_EQ(RegisterObject("ZrRegistryTestLocalClass", static_cast<HINSTANCE>(nullptr)), 0);
  ASSERT_EQ(RegisterObject("ZrRegistryTestLocalClass", self), 1);
  IZRUnknown* object = nullptr;
  ASSERT_EQ(CreateObject("ZrRegistryTestLocalClass", nullptr, typeid(IZRUnknown), &object), 1);
  EXPECT_EQ(object->Release(), 0u);
  // The factory's answer is the result: a type the object lacks gives 0.
  object = nullptr;
  EXPECT_EQ(CreateObject("ZrRegistryTestLocalClass", nullptr, typeid(ITestWidget), &object), 0);
  EXPECT_EQ(object, nullptr);
}

TEST(Registry, AFactorysExceptionPassesThrough) {
  ScopedRegistration guard(kTestThrowingClass);
  ASSERT_EQ(RegisterObject(kTestThrowingClass, ZR_TEST_WIDGET_PLUGIN), 1);
  IZRUnknown* object = nullptr;
  try {
    CreateObject(kTestThrowingClass, nullptr, typeid(ITestWidget), &object);
    ADD_FAILURE() << "the factory's exception did not arrive";
  } catch (const CXException& e) {
    EXPECT_EQ(e.GetCause(), static_cast<DWORD>(ZRCAUSE_INVALIDARG));
  }
  EXPECT_EQ(object, nullptr);
}

TEST(Registry, PluginObjectsPersistThemselves) {
  ScopedRegistration guard(kTestWidgetClass);
  ASSERT_EQ(RegisterObject(kTestWidgetClass, ZR_TEST_WIDGET_PLUGIN), 1);
  IZRUnknown* saved = nullptr;
  IZRUnknown* loaded = nullptr;
  ASSERT_EQ(CreateObject(kTestWidgetClass, nullptr, typeid(IPersistXStream), &saved), 1);
  ASSERT_EQ(CreateObject(kTestWidgetClass, nullptr, typeid(IPersistXStream), &loaded), 1);
  auto* out = static_cast<IPersistXStream*>(saved);
  auto* in = static_cast<IPersistXStream*>(loaded);
  EXPECT_STREQ(out->GetClassName(), kTestWidgetClass);
  EXPECT_EQ(out->GetSize(), kWidgetSavedBytes);
  void* widget = nullptr;
  ASSERT_EQ(out->QueryInterface(typeid(ITestWidget), &widget), 1);
  static_cast<ITestWidget*>(widget)->SetValue(0x04030201);
  static_cast<ITestWidget*>(widget)->Release();

  IXStream* stream = new_StreamOnMemory();
  out->Save(stream);
  EXPECT_EQ(stream->GetSize(), kWidgetSavedBytes);
  stream->Seek(0, 0);
  EXPECT_EQ(stream->ReadByte(), 0x01);  // little-endian
  stream->Seek(0, 0);
  in->Load(stream);
  ASSERT_EQ(in->QueryInterface(typeid(ITestWidget), &widget), 1);
  EXPECT_EQ(static_cast<ITestWidget*>(widget)->GetValue(), 0x04030201u);
  static_cast<ITestWidget*>(widget)->Release();
  stream->Release();
  EXPECT_EQ(in->Release(), 0u);
  EXPECT_EQ(out->Release(), 0u);
}

TEST(Registry, NullAndEmptyNamesAreNoClass) {
  const HINSTANCE self = ModuleOf(reinterpret_cast<const void*>(&ZrRegistryTestLocalClass));
  for (const char* name : {static_cast<const char*>(nullptr), ""}) {
    EXPECT_EQ(RegisterObject(name, ZR_TEST_WIDGET_PLUGIN), 0);
    EXPECT_EQ(RegisterObject(name, self), 0);
    EXPECT_EQ(IsRegisterObject(name), 0);
    EXPECT_EQ(UnregisterObject(name), 0);
    IZRUnknown* object = nullptr;
    EXPECT_EQ(CreateObject(name, nullptr, typeid(IZRUnknown), &object), 0);
  }
  IZRUnknown* object = reinterpret_cast<IZRUnknown*>(&object);
  EXPECT_EQ(CreateObject("ZrRegistryNeverRegistered", nullptr, typeid(IZRUnknown), &object), 0);
  EXPECT_EQ(object, nullptr);
}

}  // namespace
