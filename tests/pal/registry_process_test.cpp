// One hive shared by processes: two writers at once lose nothing, and a
// writer killed in the middle of its writes leaves a consistent hive.
//
// The children are this test program started again with only
// RegistryChild.Run selected and their role in the environment; they
// inherit the hive variables of the test that starts them.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "registry_fixture.h"

extern char** environ;

namespace zrpal {
namespace {

using namespace regtest;

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

DWORD Count(HKEY key, bool values) {
  DWORD subKeys = 0, valueCount = 0;
  EXPECT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                             &valueCount, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  return values ? valueCount : subKeys;
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
  const pid_t first = SpawnChild("1");
  const pid_t second = SpawnChild("2");
  ASSERT_GT(first, 0);
  ASSERT_GT(second, 0);
  EXPECT_EQ(WaitFor(first), 0);
  EXPECT_EQ(WaitFor(second), 0);

  HKEY shared = Open(HKEY_CURRENT_USER, u"Shared", KEY_READ);
  EXPECT_EQ(Count(shared, false), DWORD{kSharedSubKeys});
  EXPECT_EQ(Count(shared, true), DWORD{2 * kWrites + 1});
  EXPECT_EQ(GetDword(shared, u"last"), DWORD{kWrites - 1});
  for (const std::string n : {"1", "2"}) {
    HKEY own = Open(HKEY_CURRENT_USER, U16("Own" + n).c_str(), KEY_READ);
    EXPECT_EQ(Count(own, true), DWORD{kWrites});
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
  while (Count(root, false) < DWORD{kKilledAfterKeys}) usleep(1000);
  kill(child, SIGKILL);
  EXPECT_EQ(WaitFor(child), 128 + SIGKILL);
  RegCloseKey(root);
  registry::CloseHives();

  std::string report;
  EXPECT_EQ(registry::CheckHiveFile(m_user.c_str(), &report), ERROR_SUCCESS) << report;
  // Every value there is whole; only the last key may lack its value.
  root = Open(HKEY_CURRENT_USER, u"Kill", KEY_READ);
  const DWORD keys = Count(root, false);
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
  EXPECT_EQ(SetDword(root, u"after", 1), ERROR_ACCESS_DENIED);  // a KEY_READ handle
  RegCloseKey(root);
  EXPECT_EQ(SetDword(HKEY_CURRENT_USER, u"after", 1), ERROR_SUCCESS);
}

}  // namespace
}  // namespace zrpal
