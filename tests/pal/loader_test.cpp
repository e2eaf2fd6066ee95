// Finding, loading and unloading modules: SearchPathA's folder order and
// buffer rules, LoadLibraryA, FreeLibrary and GetModuleFileNameA. The seam
// table points the program's file, the current folder, LD_LIBRARY_PATH and
// the system folders at folders of the test's own.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "pal/last_error.h"
#include "pal/module.h"
#include "pal/posix/syscalls.h"

namespace {

using namespace zrpal;
namespace fs = std::filesystem;

class TempFolder {
 public:
  TempFolder() {
    static std::atomic<int> serial{0};
    m_path = fs::temp_directory_path() / ("zr-loader-" + std::to_string(::getpid()) + "-" + std::to_string(++serial));
    fs::create_directories(m_path);
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(m_path, ec);
  }
  std::string Sub(const std::string& name) const {
    fs::create_directories(m_path / name);
    return (m_path / name).string();
  }
  std::string Path() const { return m_path.string(); }

 private:
  fs::path m_path;
};

void Touch(const std::string& path, const std::string& text = "x") {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// What the seams answer; g_fakeSystemFile is the one file of the system
// folders the test knows of.
std::string g_exe, g_cwd, g_libraryPath, g_fakeSystemFile;

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
char* FakeGetenv(const char* name) {
  if (std::strcmp(name, "LD_LIBRARY_PATH") == 0) return g_libraryPath.empty() ? nullptr : g_libraryPath.data();
  return sys::Defaults().getenv(name);
}
int FakeStat(const char* path, struct stat* st) {
  if (g_fakeSystemFile.empty() || g_fakeSystemFile != path) return sys::Defaults().stat(path, st);
  *st = {};
  st->st_mode = S_IFREG | 0644;
  return 0;
}

// The program in `bin` and the current folder `cwd` of a temporary folder.
class SearchPath : public testing::Test {
 protected:
  SearchPath() {
    g_exe = t.Sub("bin") + "/program";
    g_cwd = t.Sub("cwd");
  }
  ~SearchPath() override { g_exe.clear(), g_cwd.clear(), g_libraryPath.clear(), g_fakeSystemFile.clear(); }

  TempFolder t;

 private:
  sys::ScopedSyscall<decltype(sys::g.readlink)> m_readlink{&sys::g.readlink, FakeReadlink};
  sys::ScopedSyscall<decltype(sys::g.getcwd)> m_getcwd{&sys::g.getcwd, FakeGetcwd};
  sys::ScopedSyscall<decltype(sys::g.getenv)> m_getenv{&sys::g.getenv, FakeGetenv};
  sys::ScopedSyscall<decltype(sys::g.stat)> m_stat{&sys::g.stat, FakeStat};
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

TEST_F(SearchPath, DefaultFoldersAreSearchedInOrder) {
  const std::string ld1 = t.Sub("ld1"), ld2 = t.Sub("ld2");
  g_libraryPath = ld1 + "::" + ld2;  // an empty entry is skipped
  const std::string name = "libzrsearch" + std::to_string(::getpid()) + ".so";
  g_fakeSystemFile = "/usr/lib/" + name;
  const std::string folders[] = {t.Sub("bin"), g_cwd, ld1, ld2};
  // With the file in folder i and the ones after it, folder i wins; in none
  // of them, the system folders do.
  for (size_t i = 0; i <= std::size(folders); ++i) {
    for (size_t j = 0; j < i; ++j) fs::remove(folders[j] + "/" + name);
    for (size_t j = i; j < std::size(folders); ++j) Touch(folders[j] + "/" + name);
    EXPECT_EQ(Search(name.c_str()), (i < std::size(folders) ? folders[i] : "/usr/lib") + "/" + name);
  }
  g_fakeSystemFile.clear();
  EXPECT_EQ(Search(name.c_str()), "");
}

TEST_F(SearchPath, NamesSuffixesExtensionsFoldersAndSlashes) {
  const std::string a = t.Sub("a"), b = t.Sub("b"), cwd = g_cwd;
  g_exe = a + "/program";
  t.Sub("a/libdir.so");
  t.Sub("cwd/sub");
  for (const char* f : {"a/libm1.so", "cwd/libm1", "a/libm2", "a/libm2.so", "cwd/libm3.so", "cwd/libm4.so.so",
                        "cwd/libm5.so.1", "a/one.so", "b/one.so", "b/two.ext", "cwd/one.so", "cwd/three",
                        "cwd/sub/four.so"})
    Touch(t.Path() + "/" + f);
  const std::string list = b + ":" + a;
  const struct { std::string name; const char* path; const char* extension; std::string expected; } cases[] = {
      {"libm1", nullptr, nullptr, a + "/libm1.so"},  // the suffix in the first folder before the next folder
      {"libm2", nullptr, nullptr, a + "/libm2"},     // the name as given before the suffix
      {"libm3.so", nullptr, nullptr, cwd + "/libm3.so"},
      {"libm4.so", nullptr, nullptr, ""},  // no second suffix
      {"libm5.so.1", nullptr, nullptr, cwd + "/libm5.so.1"},
      {"libdir", nullptr, nullptr, ""},  // a folder is not a file
      {"one.so", list.c_str(), nullptr, b + "/one.so"},  // only the given folders, in order
      {"three", list.c_str(), nullptr, ""},
      {"two", list.c_str(), ".ext", b + "/two.ext"},
      {"two.ext", list.c_str(), ".so", b + "/two.ext"},  // has an extension already
      {"two", list.c_str(), ".so", ""},                  // only two.so is tried
      // A name with a slash is taken as given, made absolute and tidied.
      {"sub/four.so", nullptr, nullptr, cwd + "/sub/four.so"},
      {"./sub/../sub//four", nullptr, nullptr, cwd + "/sub/four.so"},
      {a + "/../b/./one.so", nullptr, nullptr, b + "/one.so"},
      {a + "/two.ext", nullptr, nullptr, ""},
      {"sub/one.so", list.c_str(), nullptr, ""},  // the folders do not apply
  };
  for (const auto& c : cases) EXPECT_EQ(Search(c.name.c_str(), c.path, c.extension), c.expected) << c.name;
}

TEST_F(SearchPath, BufferRulesAreWindows) {
  const std::string full = g_cwd + "/mod.so";
  Touch(full);
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
}

TEST_F(SearchPath, AFolderThatCannotBeToldIsPassedOver) {
  sys::ScopedSyscall noCwd(&sys::g.getcwd, +[](char*, size_t) -> char* { return errno = ENOENT, nullptr; });
  Touch(t.Sub("bin") + "/found.so");
  EXPECT_EQ(Search("found"), t.Sub("bin") + "/found.so");
  EXPECT_EQ(Search("sub/found.so"), "");  // a relative path needs the current folder
}

TEST(LoadLibrary, LoadsCountsAndUnloads) {
  TempFolder t;
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
  TempFolder t;
  const std::string garbage = t.Path() + "/garbage.so";
  Touch(garbage, "not an ELF file");
  EXPECT_FAILS_WITH(LoadLibraryA(nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_FAILS_WITH(LoadLibraryA(""), ERROR_INVALID_PARAMETER);
  EXPECT_FAILS_WITH(LoadLibraryA(garbage.c_str()), ERROR_BAD_EXE_FORMAT);
  EXPECT_FAILS_WITH(LoadLibraryA("/no/such/folder/module.so"), ERROR_MOD_NOT_FOUND);
  EXPECT_FAILS_WITH(LoadLibraryA("zr-no-such-module-anywhere"), ERROR_MOD_NOT_FOUND);
  // FreeLibrary refuses modules it did not load.
  const HMODULE libc = GetModuleHandleW(u"libc.so.6");
  ASSERT_NE(libc, nullptr);
  for (HMODULE m : {GetModuleHandleW(nullptr), libc}) EXPECT_FAILS_WITH(FreeLibrary(m), ERROR_INVALID_HANDLE);
  EXPECT_EQ(GetModuleHandleW(u"libc.so.6"), libc);
  EXPECT_FAILS_WITH(FreeLibrary(nullptr), ERROR_INVALID_PARAMETER);
}

TEST(ModuleLookup, EveryWalkOfTheLoadedModulesGoesThroughTheSeam) {
  // With a loader that reports no module at all, no lookup finds one.
  const HMODULE program = GetModuleHandleW(nullptr);
  ASSERT_NE(program, nullptr);
  sys::ScopedSyscall none(&sys::g.dl_iterate_phdr, +[](sys::PhdrCallback, void*) { return 0; });
  EXPECT_FAILS_WITH(GetModuleHandleW(nullptr), ERROR_MOD_NOT_FOUND);
  EXPECT_EQ(GetModuleHandleW(u"libc.so.6"), nullptr);
  EXPECT_FAILS_WITH(GetProcAddress(program, "main"), ERROR_MOD_NOT_FOUND);
  char name[64];
  EXPECT_EQ(GetModuleFileNameA(program, name, sizeof name), 0u);
  EXPECT_FAILS_WITH(FreeLibrary(program), ERROR_MOD_NOT_FOUND);
}

TEST(GetModuleFileName, TheProgramAndTheBufferRules) {
  const std::string exe = fs::read_symlink("/proc/self/exe").string();
  char buf[4096];
  for (HMODULE m : {static_cast<HMODULE>(nullptr), GetModuleHandleW(nullptr)}) {
    ASSERT_EQ(GetModuleFileNameA(m, buf, sizeof buf), exe.size());
    EXPECT_EQ(std::string(buf), exe);
  }
  char small[6];
  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), sizeof small);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(std::string(small), exe.substr(0, sizeof small - 1));
  EXPECT_FAILS_WITH(GetModuleFileNameA(reinterpret_cast<HMODULE>(buf), buf, sizeof buf), ERROR_MOD_NOT_FOUND);
}

}  // namespace
