// Registry functions over temporary hive files, and one hive shared by
// processes. The children are this test program started again with only
// RegistryChild.Run selected and their role in the environment; they
// inherit the hive variables of the test that starts them.
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <vector>

#include "pal/posix/syscalls.h"
#include "pal/registry/hive.h"
#include "registry_fixture.h"
#include "tests/common/temp_dir.h"

extern char** environ;

namespace zrpal {
namespace {

using namespace regtest;

// The names of the sub-keys (or the values) of `key`, in enumeration order.
std::vector<std::u16string> Names(HKEY key, bool values = false) {
  std::vector<std::u16string> names;
  WCHAR name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (values ? RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr)
               : RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr))
      break;
    names.emplace_back(name, length);
  }
  return names;
}

// Names compare after Unicode upper-casing of each unit; the name keeps the
// form it was made with. Characters whose upper case is longer ("ß" is
// "SS") do not fold.
TEST_F(RegistryTest, NamesCompareByUnicodeUpperCase) {
  const struct {
    const WCHAR* made;
    const WCHAR* asked;
    bool same;
  } cases[] = {
      {u"Été", u"éTÉ", true},     {u"Ωμέγα", u"ΩΜΈΓΑ", true}, {u"жук", u"ЖУК", true},
      {u"MiXeD", u"mixed", true}, {u"ß", u"SS", false},       {u"a", u"á", false},
  };
  HKEY root = Create(HKEY_CURRENT_USER, u"Names");
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    HKEY made = Create(root, c.made);
    ASSERT_EQ(SetDword(made, c.made, 7), ERROR_SUCCESS);
    HKEY asked = nullptr;
    EXPECT_EQ(RegOpenKeyExW(root, c.asked, 0, KEY_READ, &asked),
              c.same ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetDword(made, c.asked), c.same ? 7u : ~0u);
    if (asked) {
      EXPECT_EQ(Names(root).back(), c.made);  // the form made first
      RegCloseKey(asked);
    }
    RegCloseKey(made);
    ASSERT_EQ(RegDeleteKeyW(root, c.made), ERROR_SUCCESS);
  }
  RegCloseKey(root);
}

// Sub-keys come in the order of their upper-cased names, by UTF-16 unit;
// values in creation order, a replaced value keeping its place.
TEST_F(RegistryTest, EnumerationOrderAndKeyInformation) {
  HKEY root = Create(HKEY_CURRENT_USER, u"Order");
  for (const WCHAR* name : {u"b", u"é", u"A", u"_", u"C", u"a1"}) RegCloseKey(Create(root, name));
  EXPECT_EQ(Names(root), (std::vector<std::u16string>{u"A", u"a1", u"b", u"C", u"_", u"é"}));

  for (const WCHAR* name : {u"z", u"a", u"M", u"a"}) ASSERT_EQ(SetDword(root, name, 1), 0);
  ASSERT_EQ(RegDeleteValueW(root, u"Z"), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(root, u"z", 2), ERROR_SUCCESS);
  ASSERT_EQ(
      RegSetValueExW(root, u"", 0, REG_BINARY, reinterpret_cast<const BYTE*>("0123456789"), 10),
      ERROR_SUCCESS);
  EXPECT_EQ(Names(root, true), (std::vector<std::u16string>{u"a", u"M", u"z", u""}));

  DWORD subKeys = 0, maxSub = 0, values = 0, maxName = 0, maxData = 0, classLength = 9;
  FILETIME written{};
  ASSERT_EQ(RegQueryInfoKeyW(root, nullptr, &classLength, nullptr, &subKeys, &maxSub, nullptr,
                             &values, &maxName, &maxData, nullptr, &written),
            ERROR_SUCCESS);
  EXPECT_EQ(subKeys, 6u);
  EXPECT_EQ(maxSub, 2u);
  EXPECT_EQ(values, 4u);
  EXPECT_EQ(maxName, 1u);
  EXPECT_EQ(maxData, 10u);
  EXPECT_EQ(classLength, 0u);
  // A time after 2020 (FILETIME of 2020-01-01 is 0x01D5C03669C0C000).
  EXPECT_GT((ULONGLONG{written.dwHighDateTime} << 32) | written.dwLowDateTime, 0x01D5C03669C0C000u);
  RegCloseKey(root);
}

// REG_SZ is kept as UTF-16 and converted by the A functions; small buffers
// give ERROR_MORE_DATA and the size needed, and leave the buffer alone.
TEST_F(RegistryTest, TextDataSizesAndSmallBuffers) {
  HKEY key = Create(HKEY_CURRENT_USER, u"Sizes");
  const char ansi[] = "h\xC3\xA9llo";  // "héllo" in the ANSI page, UTF-8: 7 bytes with the zero
  ASSERT_EQ(
      RegSetValueExA(key, "text", 0, REG_SZ, reinterpret_cast<const BYTE*>(ansi), sizeof ansi),
      ERROR_SUCCESS);
  const struct {
    bool wide;
    bool withBuffer;
    DWORD size;
    LSTATUS rc;
    DWORD sizeAfter;
  } cases[] = {
      {true, false, 0, ERROR_SUCCESS, 12},  {true, true, 11, ERROR_MORE_DATA, 12},
      {true, true, 12, ERROR_SUCCESS, 12},  {false, false, 0, ERROR_SUCCESS, 7},
      {false, true, 6, ERROR_MORE_DATA, 7}, {false, true, 64, ERROR_SUCCESS, 7},
  };
  for (const auto& c : cases) {
    BYTE buffer[64];
    std::memset(buffer, 0xBD, sizeof buffer);
    DWORD size = c.size, type = 0;
    BYTE* data = c.withBuffer ? buffer : nullptr;
    const LSTATUS rc = c.wide ? RegQueryValueExW(key, u"TEXT", nullptr, &type, data, &size)
                              : RegQueryValueExA(key, "TEXT", nullptr, &type, data, &size);
    EXPECT_EQ(rc, c.rc) << c.wide << c.size;
    EXPECT_EQ(size, c.sizeAfter) << c.wide << c.size;
    EXPECT_EQ(type, REG_SZ);
    const void* expected = c.wide ? static_cast<const void*>(u"héllo") : ansi;
    if (rc == ERROR_SUCCESS && data) {
      EXPECT_EQ(std::memcmp(buffer, expected, c.sizeAfter), 0);
    } else {
      EXPECT_EQ(buffer[0], 0xBD);  // untouched
    }
  }
  // Names: a buffer of the name's length has no room for the terminator.
  RegCloseKey(Create(key, u"child"));
  WCHAR name[8] = u"xxxxxxx";
  char nameA[8] = "xxxxxxx";
  DWORD length = 5;
  EXPECT_EQ(RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  EXPECT_EQ(length, 5u);
  EXPECT_EQ(name[0], u'x');
  length = 4;
  DWORD type = 0, size = 0;
  EXPECT_EQ(RegEnumValueA(key, 0, nameA, &length, nullptr, &type, nullptr, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 7u);
  length = 6;
  EXPECT_EQ(RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(std::u16string(name), u"child");
  EXPECT_EQ(length, 5u);
  length = 5;
  EXPECT_EQ(RegEnumValueA(key, 0, nameA, &length, nullptr, &type, nullptr, &size), 0);
  EXPECT_STREQ(nameA, "text");
  RegCloseKey(key);
}

// A key deleted through one handle (or by another process) is gone for
// every other handle, also after a key of the same name is made again.
TEST_F(RegistryTest, HandleToDeletedKeyAnswersKeyDeleted) {
  HKEY doomed = Create(HKEY_CURRENT_USER, u"Doomed");
  ASSERT_EQ(SetDword(doomed, u"v", 1), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"doomed"), ERROR_SUCCESS);
  RegCloseKey(Create(HKEY_CURRENT_USER, u"Doomed"));
  WCHAR name[16];
  DWORD length = 16, size = 4, value = 0;
  HKEY sub = nullptr;
  EXPECT_EQ(SetDword(doomed, u"v", 2), ERROR_KEY_DELETED);
  EXPECT_EQ(RegQueryValueExW(doomed, u"v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
  EXPECT_EQ(RegDeleteValueW(doomed, u"v"), ERROR_KEY_DELETED);
  EXPECT_EQ(RegEnumKeyExW(doomed, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_KEY_DELETED);
  EXPECT_EQ(RegEnumValueW(doomed, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_KEY_DELETED);
  EXPECT_EQ(RegQueryInfoKeyW(doomed, nullptr, nullptr, nullptr, &value, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_KEY_DELETED);
  EXPECT_EQ(RegOpenKeyExW(doomed, u"", 0, KEY_READ, &sub), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCreateKeyExW(doomed, u"x", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr),
            ERROR_KEY_DELETED);
  EXPECT_EQ(RegDeleteKeyW(doomed, u""), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(doomed), ERROR_SUCCESS);
}

// Refusals: rights a handle lacks, arguments Windows refuses, keys that
// cannot be deleted.
TEST_F(RegistryTest, RefusesWhatWindowsRefuses) {
  RegCloseKey(Create(HKEY_CURRENT_USER, u"Rights\\Child"));
  HKEY readOnly = Open(HKEY_CURRENT_USER, u"Rights", KEY_READ);
  HKEY setOnly = Open(HKEY_CURRENT_USER, u"Rights", KEY_SET_VALUE);
  const HKEY user = HKEY_CURRENT_USER;
  HKEY out = nullptr;
  DWORD size = 0, reserved = 0, length = 8;
  WCHAR name[8];
  const std::u16string longName(256, u'k'), longValue(16384, u'v');
  EXPECT_EQ(SetDword(readOnly, u"v", 1), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegQueryValueExW(setOnly, u"v", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegEnumKeyExW(setOnly, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCreateKeyExW(readOnly, u"New", 0, nullptr, 0, KEY_READ, nullptr, &out, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyW(user, u"Rights"), ERROR_ACCESS_DENIED) << "a key with sub-keys";
  EXPECT_EQ(RegDeleteKeyW(user, u""), ERROR_ACCESS_DENIED) << "a predefined key";
  EXPECT_EQ(RegDeleteKeyW(user, u"Nope"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyExW(user, u"\\Rights", 0, KEY_READ, &out), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegOpenKeyExW(user, u"Rights\\\\Child", 0, KEY_READ, &out), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegOpenKeyExW(user, longName.c_str(), 0, KEY_READ, &out), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(SetDword(user, longValue.c_str(), 1), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCreateKeyExW(user, u"V", 0, nullptr, REG_OPTION_VOLATILE, KEY_READ, nullptr, &out,
                            nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegOpenKeyExW(user, u"Rights", 0, KEY_READ | KEY_WOW64_32KEY, &out),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegOpenKeyExW(user, u"Rights", 0, 0x40, &out), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExW(user, u"v", &reserved, nullptr, nullptr, &size),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExW(user, u"v", 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);
  // Handles: a predefined key that is not kept, closing one, and no handle.
  EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"", 0, KEY_READ, &out), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(user), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(0x1234)), ERROR_INVALID_HANDLE);
  EXPECT_EQ(out, nullptr);  // failed opens leave null
  // Opening an existing key through a handle without KEY_CREATE_SUB_KEY works.
  EXPECT_EQ(RegCreateKeyExW(readOnly, u"child", 0, nullptr, 0, KEY_READ, nullptr, &out, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(out);
  RegCloseKey(readOnly);
  RegCloseKey(setOnly);
}

// A machine hive the process may not write opens for reading only; one
// that does not exist and cannot be made reads as an empty hive.
TEST_F(RegistryTest, MachineHiveWithoutWriteRights) {
  RegCloseKey(Create(HKEY_LOCAL_MACHINE, u"Software"));
  registry::CloseHives();
  // The tests may run as root, whom access(2) never refuses: the seam does.
  static std::string s_refused;
  s_refused = m_dir;
  sys::ScopedSyscall<decltype(sys::g.access)> deny(
      &sys::g.access, +[](const char* path, int mode) {
        if (std::strncmp(path, s_refused.c_str(), s_refused.size()) != 0)
          return ::access(path, mode);
        errno = EACCES;
        return -1;
      });
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software", 0, KEY_ALL_ACCESS, &key),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software", 0, MAXIMUM_ALLOWED, &key),
            ERROR_SUCCESS);
  EXPECT_EQ(SetDword(key, u"v", 1), ERROR_ACCESS_DENIED);
  RegCloseKey(key);
  EXPECT_EQ(SetDword(HKEY_LOCAL_MACHINE, u"v", 1), ERROR_ACCESS_DENIED);
  EXPECT_EQ(
      RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"New", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
      ERROR_ACCESS_DENIED);
  EXPECT_EQ(Names(HKEY_LOCAL_MACHINE), (std::vector<std::u16string>{u"Software"}));

  registry::CloseHives();
  std::filesystem::remove(m_machine);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(Names(HKEY_LOCAL_MACHINE).empty());
  EXPECT_FALSE(std::filesystem::exists(m_machine));
}

void Overwrite(const std::string& path, std::size_t at, const std::string& bytes) {
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(static_cast<std::streamoff>(at));
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A file that is not a hive (garbage, an SQLite database of another kind)
// gives ERROR_BADDB and is left as it is; a truncated hive gives ERROR_BADDB
// where its pages are missing, and never a crash.
TEST_F(RegistryTest, DamagedOrForeignFilesGiveBadDb) {
  HKEY root = Create(HKEY_CURRENT_USER, u"Full");
  const std::vector<BYTE> data(300, 0x5A);
  for (int i = 0; i < 300; ++i) {
    HKEY key = Create(root, U16("key" + std::to_string(i)).c_str());
    ASSERT_EQ(RegSetValueExW(key, u"data", 0, REG_BINARY, data.data(), 300), ERROR_SUCCESS);
    RegCloseKey(key);
  }
  RegCloseKey(root);
  registry::CloseHives();  // the last connection folds the log into the file
  const std::string hive = zrtest::ReadText(m_user);
  ASSERT_GT(hive.size(), 100000u);

  const struct {
    const char* what;
    std::function<void()> damage;
  } damages[] = {
      {"garbage", [&] { std::ofstream(m_user, std::ios::trunc) << std::string(5000, 'g'); }},
      {"another application id", [&] { Overwrite(m_user, 68, "ABCD"); }},
      {"another schema version", [&] { Overwrite(m_user, 60, std::string("\0\0\0\x09", 4)); }},
  };
  for (const auto& d : damages) {
    std::ofstream(m_user, std::ios::trunc | std::ios::binary) << hive;
    d.damage();
    const std::string before = zrtest::ReadText(m_user);
    registry::CloseHives();
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Full", 0, KEY_READ, &key), ERROR_BADDB) << d.what;
    EXPECT_EQ(SetDword(HKEY_CURRENT_USER, u"v", 1), ERROR_BADDB) << d.what;
    registry::CloseHives();
    EXPECT_EQ(zrtest::ReadText(m_user), before) << d.what;
  }

  std::ofstream(m_user, std::ios::trunc | std::ios::binary) << hive.substr(0, hive.size() / 2);
  registry::CloseHives();
  HKEY full = nullptr;
  const LSTATUS opened = RegOpenKeyExW(HKEY_CURRENT_USER, u"Full", 0, KEY_READ, &full);
  EXPECT_TRUE(opened == ERROR_SUCCESS || opened == ERROR_BADDB);
  int bad = opened == ERROR_BADDB, good = 0;
  for (int i = 0; full && i < 300; ++i) {
    HKEY key = nullptr;
    DWORD size = 0;
    LSTATUS rc = RegOpenKeyExW(full, U16("key" + std::to_string(i)).c_str(), 0, KEY_READ, &key);
    if (rc == ERROR_SUCCESS) rc = RegQueryValueExW(key, u"data", nullptr, nullptr, nullptr, &size);
    RegCloseKey(key);
    EXPECT_TRUE(rc == ERROR_SUCCESS || rc == ERROR_BADDB || rc == ERROR_FILE_NOT_FOUND) << rc;
    (rc == ERROR_BADDB ? bad : good) += 1;
  }
  EXPECT_GT(bad, 0);
  RegCloseKey(full);
}

TEST(RegistryHive, FilesFollowTheEnvironment) {
  char pattern[] = "/tmp/zr-hive-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  const struct {
    const char* moved;  // ZR_REGISTRY_USER
    const char* config;
    const char* home;
    std::string expected;  // below dir; empty: ERROR_PATH_NOT_FOUND
  } cases[] = {
      {"/moved/u.db", "/config", "/home", "/moved/u.db"},
      {nullptr, "/config", "/home", "/config/zrcore/user.db"},
      {nullptr, "relative", "/home", "/home/.config/zrcore/user.db"},
      {nullptr, nullptr, "/home", "/home/.config/zrcore/user.db"},
      {nullptr, nullptr, nullptr, ""},
  };
  const char* saved = getenv("HOME");
  const std::string home = saved ? saved : "";
  for (const auto& c : cases) {
    auto set = [&](const char* name, const char* value) {
      if (!value) return void(unsetenv(name));
      setenv(name, value[0] == '/' ? (dir + value).c_str() : value, 1);
    };
    set(registry::kUserHiveVariable, c.moved);
    set("XDG_CONFIG_HOME", c.config);
    set("HOME", c.home);
    std::string path;
    bool writable = false;
    const DWORD rc = registry::HiveFilePath(registry::HiveKind::CurrentUser, &path, &writable);
    if (c.expected.empty()) {
      EXPECT_EQ(rc, ERROR_PATH_NOT_FOUND);
      continue;
    }
    EXPECT_EQ(path, dir + c.expected);
    EXPECT_TRUE(writable);
    EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(path).parent_path()));
  }
  unsetenv(registry::kUserHiveVariable);
  unsetenv("XDG_CONFIG_HOME");
  if (saved) setenv("HOME", home.c_str(), 1);
  std::filesystem::remove_all(dir);
}

constexpr const char* kRoleVariable = "ZR_REGISTRY_TEST_ROLE";
constexpr int kWrites = 1000;
constexpr int kSharedSubKeys = 10;
constexpr DWORD kDataSize = 4096;
constexpr int kKilledAfterKeys = 300;

pid_t SpawnChild(const char* role) {
  setenv(kRoleVariable, role, 1);
  char self[] = "/proc/self/exe";
  char filter[] = "--gtest_filter=RegistryChild.Run";
  char* argv[] = {self, filter, nullptr};
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, self, nullptr, nullptr, argv, environ);
  unsetenv(kRoleVariable);
  return rc == 0 ? pid : -1;
}

// The exit status, or 128 + the signal that ended the child.
int WaitFor(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<BYTE> Pattern(DWORD seed) {
  std::vector<BYTE> data(kDataSize);
  for (DWORD i = 0; i < kDataSize; ++i) data[i] = static_cast<BYTE>(seed * 31 + i);
  return data;
}

// Writes the same keys and values as the other writer (sub-keys of Shared,
// the value "last") and its own (values of Shared and of Own<n>).
void Writer(const std::string& n) {
  HKEY shared = Create(HKEY_CURRENT_USER, u"Shared");
  HKEY own = Create(HKEY_CURRENT_USER, U16("Own" + n).c_str());
  for (int i = 0; i < kWrites; ++i) {
    RegCloseKey(
        Create(HKEY_CURRENT_USER, U16("Shared\\Sub" + std::to_string(i % kSharedSubKeys)).c_str()));
    ASSERT_EQ(SetDword(shared, U16("p" + n + "_" + std::to_string(i)).c_str(), i), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(own, U16("n" + std::to_string(i)).c_str(), i), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(shared, u"last", i), ERROR_SUCCESS);
  }
  RegCloseKey(shared);
  RegCloseKey(own);
}

// Makes keys with 4 KiB values until it is killed.
void Endless() {
  HKEY root = Create(HKEY_CURRENT_USER, u"Kill");
  for (DWORD i = 0;; ++i) {
    HKEY key = Create(root, U16("K" + std::to_string(i)).c_str());
    const std::vector<BYTE> data = Pattern(i);
    ASSERT_EQ(RegSetValueExW(key, u"data", 0, REG_BINARY, data.data(), kDataSize), ERROR_SUCCESS);
    RegCloseKey(key);
  }
}

TEST(RegistryChild, Run) {
  const char* role = getenv(kRoleVariable);
  if (!role) GTEST_SKIP() << "runs only as a child of the cross-process tests";
  const std::string r = role;
  if (r == "endless") return Endless();
  Writer(r);
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
  const pid_t first = SpawnChild("1");
  const pid_t second = SpawnChild("2");
  ASSERT_GT(first, 0);
  ASSERT_GT(second, 0);
  EXPECT_EQ(WaitFor(first), 0);
  EXPECT_EQ(WaitFor(second), 0);

  HKEY shared = Open(HKEY_CURRENT_USER, u"Shared", KEY_READ);
  EXPECT_EQ(Names(shared).size(), std::size_t{kSharedSubKeys});
  EXPECT_EQ(Names(shared, true).size(), std::size_t{2 * kWrites + 1});
  EXPECT_EQ(GetDword(shared, u"last"), DWORD{kWrites - 1});
  for (const std::string n : {"1", "2"}) {
    HKEY own = Open(HKEY_CURRENT_USER, U16("Own" + n).c_str(), KEY_READ);
    EXPECT_EQ(Names(own, true).size(), std::size_t{kWrites});
    int wrong = 0;
    for (int i = 0; i < kWrites; ++i) {
      wrong += GetDword(own, U16("n" + std::to_string(i)).c_str()) != DWORD(i);
      wrong += GetDword(shared, U16("p" + n + "_" + std::to_string(i)).c_str()) != DWORD(i);
    }
    EXPECT_EQ(wrong, 0) << "writer " << n;
    RegCloseKey(own);
  }
  RegCloseKey(shared);
}

TEST_F(RegistryTest, WriterKilledMidWriteLeavesHiveConsistent) {
  const pid_t child = SpawnChild("endless");
  ASSERT_GT(child, 0);
  // Wait (without a time limit of the test's own: ctest's applies) until
  // the child has made enough keys, then kill it wherever it is.
  HKEY root = nullptr;
  while (RegOpenKeyExW(HKEY_CURRENT_USER, u"Kill", 0, KEY_READ, &root) != ERROR_SUCCESS)
    usleep(1000);
  while (Names(root).size() < std::size_t{kKilledAfterKeys}) usleep(1000);
  kill(child, SIGKILL);
  EXPECT_EQ(WaitFor(child), 128 + SIGKILL);
  RegCloseKey(root);
  registry::CloseHives();

  std::string report;
  EXPECT_EQ(registry::CheckHiveFile(m_user.c_str(), &report), ERROR_SUCCESS) << report;
  // Every value there is whole; only the last key may lack its value.
  root = Open(HKEY_CURRENT_USER, u"Kill", KEY_READ);
  const auto keys = static_cast<DWORD>(Names(root).size());
  EXPECT_GE(keys, DWORD{kKilledAfterKeys});
  int missing = 0, torn = 0;
  for (DWORD i = 0; i < keys; ++i) {
    HKEY key = Open(root, U16("K" + std::to_string(i)).c_str(), KEY_READ);
    std::vector<BYTE> data(kDataSize + 1);
    DWORD size = kDataSize + 1;
    const LSTATUS rc = RegQueryValueExW(key, u"data", nullptr, nullptr, data.data(), &size);
    data.resize(size);
    missing += rc == ERROR_FILE_NOT_FOUND;
    torn += rc == ERROR_SUCCESS && data != Pattern(i);
    RegCloseKey(key);
  }
  EXPECT_LE(missing, 1);
  EXPECT_EQ(torn, 0);
  RegCloseKey(root);
  EXPECT_EQ(SetDword(HKEY_CURRENT_USER, u"after", 1), ERROR_SUCCESS);  // still writable
}

}  // namespace
}  // namespace zrpal
