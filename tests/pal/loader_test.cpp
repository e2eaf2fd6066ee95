// Finding, loading and unloading modules: SearchPathA's folder order and
// buffer rules, LoadLibraryA, FreeLibrary and GetModuleFileNameA.
//
// The search order is checked in folders of the test's own: the seam table
// makes the program's file, the current folder, LD_LIBRARY_PATH and the
// system folders point where the test wants.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "pal/error.h"
#include "pal/module.h"
#include "pal/posix/syscalls.h"

namespace {

using namespace zrpal;
namespace fs = std::filesystem;

class TempFolder {
 public:
  TempFolder() {
    static std::atomic<int> serial{0};
    m_path = fs::temp_directory_path() /
             ("zr-loader-" + std::to_string(::getpid()) + "-" + std::to_string(++serial));
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

// What the seams answer while a search test runs.
std::string g_exe, g_cwd, g_libraryPath, g_fakeSystemFile;

ssize_t FakeReadlink(const char* path, char* buf, size_t size) {
  if (std::strcmp(path, "/proc/self/exe") != 0) return sys::Defaults().readlink(path, buf, size);
  const size_t n = std::min(size, g_exe.size());
  std::memcpy(buf, g_exe.data(), n);
  return static_cast<ssize_t>(n);
}
char* FakeGetcwd(char* buf, size_t size) {
  if (g_cwd.size() >= size) {
    errno = ERANGE;
    return nullptr;
  }
  std::memcpy(buf, g_cwd.c_str(), g_cwd.size() + 1);
  return buf;
}
char* FakeGetenv(const char* name) {
  if (std::strcmp(name, "LD_LIBRARY_PATH") == 0) return g_libraryPath.empty() ? nullptr : g_libraryPath.data();
  return sys::Defaults().getenv(name);
}
// The one file of the system folders the test knows of.
int FakeStat(const char* path, struct stat* st) {
  if (!g_fakeSystemFile.empty() && g_fakeSystemFile == path) {
    *st = {};
    st->st_mode = S_IFREG | 0644;
    return 0;
  }
  return sys::Defaults().stat(path, st);
}

// Installs the seams for one test.
class SearchSeams {
 public:
  SearchSeams()
      : m_readlink(&sys::g.readlink, FakeReadlink),
        m_getcwd(&sys::g.getcwd, FakeGetcwd),
        m_getenv(&sys::g.getenv, FakeGetenv),
        m_stat(&sys::g.stat, FakeStat) {}
  ~SearchSeams() { g_exe.clear(), g_cwd.clear(), g_libraryPath.clear(), g_fakeSystemFile.clear(); }

 private:
  sys::ScopedSyscall<decltype(sys::g.readlink)> m_readlink;
  sys::ScopedSyscall<decltype(sys::g.getcwd)> m_getcwd;
  sys::ScopedSyscall<decltype(sys::g.getenv)> m_getenv;
  sys::ScopedSyscall<decltype(sys::g.stat)> m_stat;
};

// The path SearchPathA finds for `name` with the default folders, or "" with
// the last error ERROR_FILE_NOT_FOUND.
std::string Search(const char* name, const char* path = nullptr, const char* extension = nullptr) {
  char buf[1024];
  const DWORD n = SearchPathA(path, name, extension, sizeof buf, buf, nullptr);
  if (n == 0) {
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND) << name;
    return "";
  }
  EXPECT_LT(n, sizeof buf);
  EXPECT_EQ(std::strlen(buf), n);
  return buf;
}

TEST(SearchPath, DefaultFoldersAreSearchedInOrder) {
  TempFolder t;
  SearchSeams seams;
  const std::string exe = t.Sub("bin"), cwd = t.Sub("cwd"), ld1 = t.Sub("ld1"), ld2 = t.Sub("ld2");
  g_exe = exe + "/program";
  g_cwd = cwd;
  g_libraryPath = ld1 + "::" + ld2;  // an empty entry is skipped
  const std::string name = "libzrsearch" + std::to_string(::getpid()) + ".so";
  g_fakeSystemFile = "/usr/lib/" + name;

  struct Case {
    std::vector<std::string> folders;  // where the file is
    std::string expected;              // the folder it is found in
  } cases[] = {
      {{exe, cwd, ld1, ld2}, exe},
      {{cwd, ld1, ld2}, cwd},
      {{ld1, ld2}, ld1},
      {{ld2}, ld2},
      {{}, "/usr/lib"},
  };
  for (const Case& c : cases) {
    for (const std::string& f : {exe, cwd, ld1, ld2}) fs::remove(f + "/" + name);
    for (const std::string& f : c.folders) Touch(f + "/" + name);
    EXPECT_EQ(Search(name.c_str()), c.expected + "/" + name);
  }
  g_fakeSystemFile.clear();
  for (const std::string& f : {exe, cwd, ld1, ld2}) fs::remove(f + "/" + name);
  EXPECT_EQ(Search(name.c_str()), "");
}

TEST(SearchPath, TheSuffixIsTriedInEachFolderAfterTheNameAsGiven) {
  TempFolder t;
  SearchSeams seams;
  const std::string a = t.Sub("a"), b = t.Sub("b");
  g_exe = a + "/program";
  g_cwd = b;
  struct Case {
    std::vector<std::string> files;  // relative to the temporary folder
    const char* name;
    const char* expected;  // relative to the temporary folder; "" for not found
  } cases[] = {
      {{"a/libm1.so", "b/libm1"}, "libm1", "a/libm1.so"},  // the first folder's suffixed name wins
      {{"a/libm2", "a/libm2.so"}, "libm2", "a/libm2"},     // the name as given first
      {{"b/libm3.so"}, "libm3.so", "b/libm3.so"},          // no second suffix
      {{"b/libm4.so.so"}, "libm4.so", ""},
      {{"b/libm5.so.1"}, "libm5.so.1", "b/libm5.so.1"},
  };
  for (const Case& c : cases) {
    for (const std::string& f : c.files) Touch(t.Path() + "/" + f);
    const std::string expected = *c.expected ? t.Path() + "/" + c.expected : "";
    EXPECT_EQ(Search(c.name), expected) << c.name;
  }
  // A folder of the name is not a file.
  t.Sub("a/libdir.so");
  EXPECT_EQ(Search("libdir"), "");
}

TEST(SearchPath, ExplicitFoldersExtensionsAndSlashes) {
  TempFolder t;
  SearchSeams seams;
  const std::string a = t.Sub("a"), b = t.Sub("b"), cwd = t.Sub("cwd");
  g_cwd = cwd;
  g_exe = cwd + "/program";
  Touch(a + "/one.so");
  Touch(b + "/one.so");
  Touch(b + "/two.ext");
  Touch(cwd + "/one.so");
  Touch(cwd + "/three");
  t.Sub("cwd/sub");
  Touch(cwd + "/sub/four.so");

  const std::string list = b + ":" + a;
  EXPECT_EQ(Search("one.so", list.c_str()), b + "/one.so");  // only the given folders, in order
  EXPECT_EQ(Search("three", list.c_str()), "");
  EXPECT_EQ(Search("two", list.c_str(), ".ext"), b + "/two.ext");
  EXPECT_EQ(Search("two.ext", list.c_str(), ".so"), b + "/two.ext");  // has an extension already
  EXPECT_EQ(Search("two", list.c_str(), ".so"), "");                  // only two.so is tried
  // A name with a slash is taken as given, made absolute and tidied.
  EXPECT_EQ(Search("sub/four.so"), cwd + "/sub/four.so");
  EXPECT_EQ(Search("./sub/../sub//four"), cwd + "/sub/four.so");
  EXPECT_EQ(Search((a + "/../b/./one.so").c_str()), b + "/one.so");
  EXPECT_EQ(Search((a + "/two.ext").c_str()), "");
  EXPECT_EQ(Search("sub/one.so", list.c_str()), "");  // the folders do not apply
}

TEST(SearchPath, BufferRulesAreWindows) {
  TempFolder t;
  SearchSeams seams;
  g_cwd = t.Sub("cwd");
  g_exe = g_cwd + "/program";
  Touch(g_cwd + "/mod.so");
  const std::string full = g_cwd + "/mod.so";
  const DWORD len = static_cast<DWORD>(full.size());

  EXPECT_EQ(SearchPathA(nullptr, "mod", nullptr, 0, nullptr, nullptr), len + 1);
  std::vector<char> buf(len + 8, '#');
  EXPECT_EQ(SearchPathA(nullptr, "mod", nullptr, len, buf.data(), nullptr), len + 1);
  EXPECT_EQ(buf[0], '#');  // unchanged
  char* filePart = nullptr;
  EXPECT_EQ(SearchPathA(nullptr, "mod", nullptr, len + 1, buf.data(), &filePart), len);
  EXPECT_EQ(std::string(buf.data()), full);
  ASSERT_NE(filePart, nullptr);
  EXPECT_STREQ(filePart, "mod.so");

  struct Bad {
    const char* name;
    DWORD length;
    char* buffer;
  } bad[] = {{nullptr, 8, buf.data()}, {"", 8, buf.data()}, {"mod", 8, nullptr}};
  for (const Bad& b : bad) {
    SetLastError(0);
    EXPECT_EQ(SearchPathA(nullptr, b.name, nullptr, b.length, b.buffer, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  }
}

TEST(SearchPath, AFolderThatCannotBeToldIsPassedOver) {
  TempFolder t;
  SearchSeams seams;
  sys::ScopedSyscall noCwd(&sys::g.getcwd, +[](char*, size_t) -> char* {
    errno = ENOENT;
    return nullptr;
  });
  const std::string exe = t.Sub("bin");
  g_exe = exe + "/program";
  Touch(exe + "/found.so");
  EXPECT_EQ(Search("found"), exe + "/found.so");
  // A relative path needs the current folder.
  SetLastError(0);
  char buf[64];
  EXPECT_EQ(SearchPathA(nullptr, "sub/found.so", nullptr, sizeof buf, buf, nullptr), 0u);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

// ---------------------------------------------------------------------------
// Loading.

std::string CopyOfPlugin(const TempFolder& t, const std::string& name) {
  const std::string path = t.Path() + "/" + name;
  fs::copy_file(ZR_TEST_NOEXPORT_PLUGIN, path, fs::copy_options::overwrite_existing);
  return path;
}

TEST(LoadLibrary, LoadsCountsAndUnloads) {
  TempFolder t;
  const std::string path = CopyOfPlugin(t, "probe-module.so");
  const std::u16string tail = u"probe-module.so";
  ASSERT_EQ(GetModuleHandleW(tail.c_str()), nullptr);

  const HMODULE module = LoadLibraryA(path.c_str());
  ASSERT_NE(module, nullptr) << GetLastError();
  EXPECT_EQ(GetModuleHandleW(tail.c_str()), module);  // the handle is the image's load address
  auto probe = reinterpret_cast<int (*)()>(GetProcAddress(module, "ZrTestPluginProbe"));
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(probe(), 7);

  char name[1024];
  ASSERT_EQ(GetModuleFileNameA(module, name, sizeof name), path.size());
  EXPECT_EQ(std::string(name), path);

  EXPECT_EQ(LoadLibraryA(path.c_str()), module);  // a second load of the same module
  EXPECT_EQ(FreeLibrary(module), TRUE);
  EXPECT_EQ(GetModuleHandleW(tail.c_str()), module);  // one load left
  EXPECT_EQ(FreeLibrary(module), TRUE);
  EXPECT_EQ(GetModuleHandleW(tail.c_str()), nullptr);
  EXPECT_EQ(FreeLibrary(module), FALSE);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
}

TEST(LoadLibrary, ABareNameIsSearchedFor) {
  // The plugins sit beside the test programs, in the program's folder.
  const HMODULE module = LoadLibraryA("libzr_test_noexport");
  ASSERT_NE(module, nullptr) << GetLastError();
  EXPECT_NE(GetProcAddress(module, "ZrTestPluginProbe"), nullptr);
  EXPECT_EQ(FreeLibrary(module), TRUE);
}

TEST(LoadLibrary, FailuresSayWhy) {
  TempFolder t;
  const std::string garbage = t.Path() + "/garbage.so";
  Touch(garbage, "not an ELF file");
  struct Case {
    const char* name;
    DWORD error;
  } cases[] = {
      {nullptr, ERROR_INVALID_PARAMETER},
      {"", ERROR_INVALID_PARAMETER},
      {garbage.c_str(), ERROR_BAD_EXE_FORMAT},
      {"/no/such/folder/module.so", ERROR_MOD_NOT_FOUND},
      {"zr-no-such-module-anywhere", ERROR_MOD_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(LoadLibraryA(c.name), nullptr);
    EXPECT_EQ(GetLastError(), c.error) << (c.name ? c.name : "(null)");
  }
}

TEST(LoadLibrary, FreeLibraryRefusesModulesItDidNotLoad) {
  const HMODULE program = GetModuleHandleW(nullptr);
  ASSERT_NE(program, nullptr);
  EXPECT_EQ(FreeLibrary(program), FALSE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  const HMODULE libc = GetModuleHandleW(u"libc.so.6");
  ASSERT_NE(libc, nullptr);
  EXPECT_EQ(FreeLibrary(libc), FALSE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_NE(GetModuleHandleW(u"libc.so.6"), nullptr);
  EXPECT_EQ(FreeLibrary(nullptr), FALSE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(ModuleLookup, EveryWalkOfTheLoadedModulesGoesThroughTheSeam) {
  // With a loader that reports no module at all, no lookup finds one.
  const HMODULE program = GetModuleHandleW(nullptr);
  ASSERT_NE(program, nullptr);
  sys::ScopedSyscall none(&sys::g.dl_iterate_phdr, +[](sys::PhdrCallback, void*) { return 0; });
  SetLastError(0);
  EXPECT_EQ(GetModuleHandleW(nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
  EXPECT_EQ(GetModuleHandleW(u"libc.so.6"), nullptr);
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(program, "main"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
  char name[64];
  EXPECT_EQ(GetModuleFileNameA(program, name, sizeof name), 0u);
  EXPECT_EQ(FreeLibrary(program), FALSE);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
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
  EXPECT_EQ(GetModuleFileNameA(reinterpret_cast<HMODULE>(buf), buf, sizeof buf), 0u);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
}

}  // namespace
