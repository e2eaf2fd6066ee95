// A hive file from fuzzer bytes: the registry functions and the registry
// back-end of the parameter trees read it whole (keys, values, payloads)
// and try to write to it. Every call answers an error code or succeeds;
// nothing may crash, read out of bounds, hang or leak.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "pal/registry/registry.h"
#include "pal/registry/store.h"
#include "zr/regparam.h"
#include "zr/variant.h"

namespace {

using namespace zrpal;

constexpr unsigned kMaxDepth = 4;
constexpr DWORD kMaxItems = 32;

const std::string& HivePath() {
  static const std::string path = [] {
    char pattern[] = "/tmp/zr-fuzz-hive-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    static std::string s_dir = dir;
    std::atexit([] { std::filesystem::remove_all(s_dir); });
    setenv("ZR_REGISTRY_USER", (dir + "/user.db").c_str(), 1);
    setenv("ZR_REGISTRY_MACHINE", (dir + "/machine.db").c_str(), 1);
    return dir + "/user.db";
  }();
  return path;
}

void Walk(HKEY key, unsigned depth) {
  DWORD subKeys = 0, values = 0, maxName = 0, maxData = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, &maxName,
                   &maxData, nullptr, nullptr);
  for (DWORD i = 0; i < kMaxItems; ++i) {
    char name[64];
    BYTE data[64];
    DWORD length = sizeof name, size = sizeof data, type = 0;
    if (RegEnumValueA(key, i, name, &length, nullptr, &type, data, &size) == ERROR_NO_MORE_ITEMS)
      break;
    WCHAR wide[64];
    length = 64;
    size = sizeof data;
    RegEnumValueW(key, i, wide, &length, nullptr, &type, data, &size);
  }
  for (DWORD i = 0; depth < kMaxDepth && i < kMaxItems; ++i) {
    WCHAR name[kMaxKeyNameLength + 1];
    DWORD length = kMaxKeyNameLength + 1;
    if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr)) break;
    HKEY sub = nullptr;
    if (RegOpenKeyExW(key, name, 0, KEY_READ, &sub) == ERROR_SUCCESS) {
      Walk(sub, depth + 1);
      RegCloseKey(sub);
    }
  }
}

// Every value of the tree's root read through the back-end's payload table.
void ReadTree(IParam* tree) {
  CTEnum<const char*>* names = tree->EnumValues();
  const char* name = nullptr;
  for (DWORD n = 0; n < kMaxItems && names->Next(1, &name, nullptr); ++n) {
    CZRVariant value;
    tree->GetValue(name, &value);
  }
  names->Release();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& path = HivePath();
  registry::CloseHives();
  unlink((path + "-wal").c_str());
  unlink((path + "-shm").c_str());
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);

  Walk(HKEY_CURRENT_USER, 0);
  if (IParam* tree = new_IParamCUReg(u"")) {
    ReadTree(tree);
    tree->Release();
  }
  const DWORD seven = 7;
  RegSetValueExW(HKEY_CURRENT_USER, u"v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&seven), 4);
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, u"a\\b", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) == ERROR_SUCCESS) {
    RegCloseKey(key);
    RegDeleteKeyW(HKEY_CURRENT_USER, u"a\\b");
  }
  return 0;
}
