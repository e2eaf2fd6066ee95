// Crash safety of transacted commits: a child killed with SIGKILL at random
// points while committing leaves a file that opens and holds one whole
// committed state; a short write, ENOSPC or EIO at any write of a commit
// (through the OS seam) leaves the old content.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <string>

#include "ole_helpers.h"
#include "pal/posix/syscalls.h"

using namespace ole_test;

namespace {

std::string Content(std::uint32_t version, std::size_t size) {
  std::string s(size, static_cast<char>('A' + version % 26));
  std::memcpy(s.data(), &version, sizeof version);
  return s;
}

// Both streams of one state carry its version and its bytes.
void WriteState(IStorage* stg, std::uint32_t v) {
  for (const auto& [name, size] :
       {std::pair{u"a", 3000 + v % 5 * 1000}, std::pair{u"b", 50000 + v % 7 * 4096}})
    Put(stg, name, Content(v, size));
}

// The version the file holds, or -1 when it does not open or is not one
// whole state.
long ReadState(const std::u16string& path) {
  IStorage* stg = nullptr;
  if (FAILED(StgOpenStorage(path.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0,
                            &stg)))
    return -1;
  const std::string streams[] = {Get(stg, u"a"), Get(stg, u"b")};
  stg->Release();
  long version = -2;
  for (const std::string& data : streams) {
    std::uint32_t v = 0;
    if (data.size() < sizeof v) return -1;
    std::memcpy(&v, data.data(), sizeof v);
    if (data != Content(v, data.size()) || (version != -2 && version != static_cast<long>(v)))
      return -1;
    version = v;
  }
  return version;
}

void CreateState(const std::u16string& path, std::uint32_t v) {
  IStorage* stg = nullptr;
  ASSERT_EQ(StgCreateDocfile(path.c_str(), STGM_CREATE | kRw | STGM_TRANSACTED, 0, &stg), S_OK);
  WriteState(stg, v);
  ASSERT_EQ(stg->Commit(STGC_DEFAULT), S_OK);
  stg->Release();
}

TEST(OleCrash, KilledDuringCommitLeavesOneWholeState) {
  const std::u16string path = Wide(TempPath("crash_kill"));
  CreateState(path, 1);
  std::mt19937 random(12345);
  int interrupted = 0;
  for (int round = 0; round < 200; ++round) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Commit new states until killed.
      IStorage* stg = nullptr;
      if (FAILED(StgOpenStorage(path.c_str(), nullptr, kRw | STGM_TRANSACTED, nullptr, 0, &stg)))
        _exit(3);
      for (std::uint32_t v = 1000 * (round + 1);; ++v) {
        WriteState(stg, v);
        if (FAILED(stg->Commit(STGC_DEFAULT))) _exit(4);
      }
    }
    usleep(std::uniform_int_distribution<int>(200, 4000)(random));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFSIGNALED(status))
      ++interrupted;
    else
      ADD_FAILURE() << "child exited by itself: " << WEXITSTATUS(status);
    const long state = ReadState(path);
    ASSERT_GT(state, 0) << "round " << round;
  }
  EXPECT_EQ(interrupted, 200);
  unlink(Utf8(path).c_str());
}

// The n-th pwrite (or fdatasync) of the next commit fails, or is cut short.
enum class Fault { ShortWrite, NoSpace, IoError, SyncError };
int g_countdown = 0;
Fault g_fault;

ssize_t FaultyPwrite(int fd, const void* buf, size_t n, off_t off) {
  if (g_fault != Fault::SyncError && --g_countdown == 0) {
    if (g_fault == Fault::ShortWrite)
      return zrpal::sys::Defaults().pwrite(fd, buf, n > 1 ? n / 2 : n, off);
    errno = g_fault == Fault::NoSpace ? ENOSPC : EIO;
    return -1;
  }
  return zrpal::sys::Defaults().pwrite(fd, buf, n, off);
}

int FaultySync(int fd) {
  if (g_fault == Fault::SyncError && --g_countdown == 0) {
    errno = EIO;
    return -1;
  }
  return zrpal::sys::Defaults().fdatasync(fd);
}

// Each write (and sync) of a commit fails in turn, until a commit makes
// fewer than the fault waits for.
TEST(OleCrash, FaultsAtEachWriteOfACommitLeaveTheOldFile) {
  const std::u16string path = Wide(TempPath("crash_fault"));
  for (Fault fault : {Fault::ShortWrite, Fault::NoSpace, Fault::IoError, Fault::SyncError}) {
    int n = 1;
    for (;; ++n) {
      SCOPED_TRACE(testing::Message() << "fault " << static_cast<int>(fault) << " at " << n);
      CreateState(path, 7);
      IStorage* stg = nullptr;
      ASSERT_EQ(StgOpenStorage(path.c_str(), nullptr, kRw | STGM_TRANSACTED, nullptr, 0, &stg),
                S_OK);
      WriteState(stg, 8);
      g_fault = fault;
      g_countdown = n;
      HRESULT hr;
      {
        zrpal::sys::ScopedSyscall w(&zrpal::sys::g.pwrite, &FaultyPwrite);
        zrpal::sys::ScopedSyscall s(&zrpal::sys::g.fdatasync, &FaultySync);
        hr = stg->Commit(STGC_DEFAULT);
      }
      stg->Release();
      if (g_countdown > 0) break;  // no n-th write: every one has failed once
      if (fault == Fault::ShortWrite) {
        EXPECT_EQ(hr, S_OK);  // a short write is continued
      } else {
        EXPECT_EQ(hr, fault == Fault::NoSpace ? STG_E_MEDIUMFULL : STG_E_WRITEFAULT);
      }
      EXPECT_EQ(ReadState(path), fault == Fault::ShortWrite ? 8 : 7);
    }
    EXPECT_GT(n, fault == Fault::SyncError ? 2 : 4) << "the writes a commit makes";
  }
  unlink(Utf8(path).c_str());
}

}  // namespace
