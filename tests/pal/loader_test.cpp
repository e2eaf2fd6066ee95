// Finding, loading and unloading modules: SearchPathA's folders and buffer
// rules, LoadLibraryA and FreeLibrary. The seam table points the program's
// file and the current folder at folders of the test's own.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "pal/last_error.h"
#include "pal/module.h"
#include "pal/posix/syscalls.h"
#include "tests/common/temp_dir.h"

namespace {

using namespace zrpal;
using zrtest::TempDir;
using zrtest::WriteText;
namespace fs = std::filesystem;

// What the seams answer.
std::string g_exe, g_cwd;

ssize_t FakeReadlink(const char* path, char* buf, size_t size) {
  if (std::strcmp(path, "/proc/self/exe") != 0) return sys::Defaults().readlink(path, buf, size);
  const size_t n = std::min(size, g_exe.size());
  std::memcpy(buf, g_exe.data(), n);
  return static_cast<ssize_t>(n);
}
char* FakeGetcwd(char* buf, size_t size) {
  if (g_cwd.size() >= size) return errno = ERANGE, nullptr;
  return std::strcpy(buf, g_cwd.c_str());
}

// The program in `bin` and the current folder `cwd` of a temporary folder.
class SearchPath : public testing::Test {
 protected:
  SearchPath() {
    g_exe = t.Dir("bin") + "/program";
    g_cwd = t.Dir("cwd");
  }
  ~SearchPath() override { g_exe.clear(), g_cwd.clear(); }

  TempDir t;
  sys::ScopedSyscall<decltype(sys::g.readlink)> m_readlink{&sys::g.readlink, FakeReadlink};
  sys::ScopedSyscall<decltype(sys::g.getcwd)> m_getcwd{&sys::g.getcwd, FakeGetcwd};
};

// The path SearchPathA finds, or "" with the last error ERROR_FILE_NOT_FOUND.
std::string Search(const char* name, const char* path = nullptr, const char* extension = nullptr) {
  char buf[1024];
  const DWORD n = SearchPathA(path, name, extension, sizeof buf, buf, nullptr);
  if (n == 0) {
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND) << name;
    return "";
  }
  EXPECT_EQ(std::strlen(buf), n);
  return buf;
}

TEST_F(SearchPath, BufferRulesAreWindows) {
  const std::string full = g_cwd + "/mod.so";
  WriteText(full);
  const auto len = static_cast<DWORD>(full.size());
  EXPECT_EQ(SearchPathA(nullptr, "mod", nullptr, 0, nullptr, nullptr), len + 1);
  std::vector<char> buf(len + 8, '#');
  EXPECT_EQ(SearchPathA(nullptr, "mod", nullptr, len, buf.data(), nullptr), len + 1);
  EXPECT_EQ(buf[0], '#');
  char* filePart = nullptr;
  EXPECT_EQ(SearchPathA(nullptr, "mod", nullptr, len + 1, buf.data(), &filePart), len);
  EXPECT_EQ(std::string(buf.data()), full);
  ASSERT_NE(filePart, nullptr);
  EXPECT_STREQ(filePart, "mod.so");
  for (const char* name : {static_cast<const char*>(nullptr), "", "mod"})
    EXPECT_FAILS_WITH(SearchPathA(nullptr, name, nullptr, 8, name && *name ? nullptr : buf.data(), nullptr),
                      ERROR_INVALID_PARAMETER);
  // The program's folder comes before the current one; a path names its own.
  WriteText(t.Dir("bin") + "/mod.so");
  EXPECT_EQ(Search("mod"), t.Dir("bin") + "/mod.so");
  EXPECT_EQ(Search("mod", g_cwd.c_str()), full);
  EXPECT_EQ(Search("mod", g_cwd.c_str(), ".x"), "");  // only mod.x is tried
}

TEST(LoadLibrary, LoadsCountsAndUnloads) {
  TempDir t;
  const std::string path = t.Path() + "/probe-module.so";
  fs::copy_file(ZR_TEST_NOEXPORT_PLUGIN, path);
  const char16_t* tail = u"probe-module.so";
  ASSERT_EQ(GetModuleHandleW(tail), nullptr);

  const HMODULE module = LoadLibraryA(path.c_str());
  ASSERT_NE(module, nullptr) << GetLastError();
  EXPECT_EQ(GetModuleHandleW(tail), module);  // the handle is the image's load address
  auto probe = reinterpret_cast<int (*)()>(GetProcAddress(module, "ZrTestPluginProbe"));
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(probe(), 7);
  char name[1024];
  ASSERT_EQ(GetModuleFileNameA(module, name, sizeof name), path.size());
  EXPECT_EQ(std::string(name), path);

  EXPECT_EQ(LoadLibraryA(path.c_str()), module);  // a second load of the same module
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_EQ(GetModuleHandleW(tail), module);  // one load left
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_EQ(GetModuleHandleW(tail), nullptr);
  EXPECT_FAILS_WITH(FreeLibrary(module), ERROR_MOD_NOT_FOUND);
  // A bare name is searched for: the plugins sit beside the test programs.
  const HMODULE bare = LoadLibraryA("libzr_test_noexport");
  ASSERT_NE(bare, nullptr) << GetLastError();
  EXPECT_NE(GetProcAddress(bare, "ZrTestPluginProbe"), nullptr);
  EXPECT_TRUE(FreeLibrary(bare));
}

TEST(LoadLibrary, FailuresSayWhy) {
  TempDir t;
  const std::string garbage = t.Path() + "/garbage.so";
  WriteText(garbage, "not an ELF file");
  EXPECT_FAILS_WITH(LoadLibraryA(""), ERROR_INVALID_PARAMETER);
  EXPECT_FAILS_WITH(LoadLibraryA(garbage.c_str()), ERROR_BAD_EXE_FORMAT);
  EXPECT_FAILS_WITH(LoadLibraryA("zr-no-such-module-anywhere"), ERROR_MOD_NOT_FOUND);
  // FreeLibrary refuses modules it did not load.
  const HMODULE libc = GetModuleHandleW(u"libc.so.6");
  ASSERT_NE(libc, nullptr);
  for (HMODULE m : {GetModuleHandleW(nullptr), libc}) EXPECT_FAILS_WITH(FreeLibrary(m), ERROR_INVALID_HANDLE);
  EXPECT_FAILS_WITH(FreeLibrary(nullptr), ERROR_INVALID_PARAMETER);
}

}  // namespace
