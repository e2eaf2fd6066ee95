// The profile functions across processes: concurrent writers lose nothing,
// and a writer killed at any point leaves the old file or the new one.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "pal/profile/profile.h"
#include "tests/scratch_dir.h"

extern char** environ;

namespace {

using namespace zrpal;

pid_t StartWriter(std::vector<std::string> args) {
  args.insert(args.begin(), ZR_PROFILE_WRITER);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  EXPECT_EQ(posix_spawn(&pid, ZR_PROFILE_WRITER, nullptr, nullptr, argv.data(), environ), 0);
  return pid;
}

int Wait(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

using ProfileProcesses = zrtest::ScratchDir;

TEST_F(ProfileProcesses, TwoWritersLoseNoKey) {
  constexpr int kKeys = 1000;
  const pid_t a = StartWriter({m_file, "a", std::to_string(kKeys)});
  const pid_t b = StartWriter({m_file, "b", std::to_string(kKeys)});
  EXPECT_EQ(Wait(a), 0);
  EXPECT_EQ(Wait(b), 0);
  std::vector<char> keys(64000);
  const DWORD n = GetPrivateProfileStringA("s", nullptr, "", keys.data(), 64000, m_file.c_str());
  int listed = 0;
  for (DWORD i = 0; i < n; ++i) listed += keys[i] == 0;
  EXPECT_EQ(listed, 2 * kKeys);
  int wrong = 0;
  for (const char* prefix : {"a", "b"}) {
    for (int i = 0; i < kKeys; ++i) {
      char value[16];
      GetPrivateProfileStringA("s", (prefix + std::to_string(i)).c_str(), "", value, sizeof value,
                               m_file.c_str());
      wrong += std::to_string(i) != value;
    }
  }
  EXPECT_EQ(wrong, 0);
}

TEST_F(ProfileProcesses, KilledWriterLeavesTheOldOrTheNewFile) {
  // A large file, so that a kill often lands in the middle of a write.
  const std::string head = "[s]\r\npad=" + std::string(256 * 1024, 'x') + "\r\nn=";
  Put(head + "0\r\n");
  const unsigned seed = std::random_device()();
  std::mt19937 random(seed);
  SCOPED_TRACE("seed " + std::to_string(seed));
  long last = 0;
  for (int round = 0; round < 100; ++round) {
    const pid_t writer = StartWriter({m_file, "--count"});
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 30000));
    kill(writer, SIGKILL);
    Wait(writer);
    // Exactly the text of one value of n: never cut, never mixed.
    const std::string content = Content();
    const std::size_t digits = content.size() - head.size() - 2;
    ASSERT_TRUE(content.size() > head.size() + 2 && content.compare(0, head.size(), head) == 0 &&
                content.compare(content.size() - 2, 2, "\r\n") == 0 &&
                content.find_first_not_of("0123456789", head.size()) == head.size() + digits)
        << "round " << round;
    const long n = std::atol(content.c_str() + head.size());
    ASSERT_GE(n, last) << "round " << round;
    last = n;
  }
  // The writers got on (no lock was left behind by a killed one).
  EXPECT_GT(last, 0);
}

}  // namespace
