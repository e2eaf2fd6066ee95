// tests/pal/registry_fixture.h - hives in a fresh temporary folder for each
// test, and helpers for keys and values.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "pal/registry/registry.h"
#include "pal/registry/store.h"

namespace zrpal::regtest {

// A key made (or opened) below `parent`; the test fails when it cannot be.
inline HKEY Create(HKEY parent, const WCHAR* path, REGSAM access = KEY_ALL_ACCESS) {
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExW(parent, path, 0, nullptr, 0, access, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  return key;
}
inline HKEY Open(HKEY parent, const WCHAR* path, REGSAM access = KEY_ALL_ACCESS) {
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(parent, path, 0, access, &key), ERROR_SUCCESS);
  return key;
}
inline LSTATUS SetDword(HKEY key, const WCHAR* name, DWORD value) {
  return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                        sizeof value);
}
// The DWORD value `name`, or ~0 when it cannot be read.
inline DWORD GetDword(HKEY key, const WCHAR* name) {
  DWORD value = 0, size = sizeof value, type = 0;
  const LSTATUS rc =
      RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  return rc == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value ? value : ~DWORD{0};
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zr-registry-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_dir = pattern;
    m_user = m_dir + "/user/user.db";  // the folder is made on first use
    m_machine = m_dir + "/machine.db";
    setenv(registry::kUserHiveVariable, m_user.c_str(), 1);
    setenv(registry::kMachineHiveVariable, m_machine.c_str(), 1);
    registry::CloseHives();
  }
  void TearDown() override {
    registry::CloseHives();
    unsetenv(registry::kUserHiveVariable);
    unsetenv(registry::kMachineHiveVariable);
    std::filesystem::remove_all(m_dir);
  }

  std::string m_dir, m_user, m_machine;
};

inline std::u16string U16(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

}  // namespace zrpal::regtest
