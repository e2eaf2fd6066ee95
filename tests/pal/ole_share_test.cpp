// Compound files on disk between real processes (tests/child/sync_child.cpp
// holds one open while this process tries another), temporary files, and
// transacted commits that a kill or a failing write interrupts.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "ole_helpers.h"
#include "pal/posix/syscalls.h"
#include "tests/child/child_process.h"
#include "tests/common/temp_dir.h"

using namespace ole_test;

namespace {

constexpr DWORD kReadExclusive = STGM_READ | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kReadDenyWrite = STGM_READ | STGM_SHARE_DENY_WRITE;
constexpr DWORD kWriteExclusive = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kTransWriteDenyNone = STGM_TRANSACTED | STGM_READWRITE | STGM_SHARE_DENY_NONE;
constexpr DWORD kTransWriteDenyWrite = STGM_TRANSACTED | STGM_READWRITE | STGM_SHARE_DENY_WRITE;
constexpr DWORD kTransReadDenyNone = STGM_TRANSACTED | STGM_READ | STGM_SHARE_DENY_NONE;

std::string Hex(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(value));
  return text;
}

class OleShare : public ::testing::Test {
 protected:
  void SetUp() override {
    IStorage* stg = nullptr;
    ASSERT_EQ(StgCreateDocfile(m_wide.c_str(), STGM_CREATE | kWriteExclusive, 0, &stg), S_OK);
    stg->Release();
  }
  HRESULT Open(DWORD mode, IStorage** stg) {
    *stg = nullptr;
    return StgOpenStorage(m_wide.c_str(), nullptr, mode, nullptr, 0, stg);
  }
  // A child process holding the file open with `mode` prints its open's result.
  std::vector<std::string> HoldArgs(DWORD mode) { return {"stg-hold", m_path, Hex(mode)}; }

  zrtest::TempDir m_temp;
  std::string m_path = m_temp.Path() + "/share.cfb";
  std::u16string m_wide{m_path.begin(), m_path.end()};
};

TEST_F(OleShare, SecondOpenerInAnotherProcessMeetsTheFirstOnesModes) {
  struct Case {
    DWORD held, second;
    HRESULT expected;
  } const cases[] = {
      {kReadExclusive, kReadExclusive, STG_E_SHAREVIOLATION},
      {kReadDenyWrite, kReadDenyWrite, S_OK},
      {kReadDenyWrite, kWriteExclusive, STG_E_SHAREVIOLATION},
      {kWriteExclusive, kReadDenyWrite, STG_E_SHAREVIOLATION},
      {kTransWriteDenyNone, kTransWriteDenyNone, S_OK},
      {kTransWriteDenyNone, kReadDenyWrite, STG_E_SHAREVIOLATION},  // refuses the writer
      {kTransReadDenyNone, kTransWriteDenyWrite, S_OK},
      {kTransReadDenyNone, kReadExclusive, STG_E_SHAREVIOLATION},
      // A priority open keeps direct writers out through the commit lock,
      // not through the share mode; readers come in beside it.
      {STGM_PRIORITY, kWriteExclusive, STG_E_LOCKVIOLATION},
      {STGM_PRIORITY, kReadDenyWrite, S_OK},
      {STGM_PRIORITY, STGM_PRIORITY, S_OK},
      {kWriteExclusive, STGM_PRIORITY, STG_E_LOCKVIOLATION},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Hex(c.held) + " then " + Hex(c.second));
    zrtest::ChildProcess child(HoldArgs(c.held));
    ASSERT_EQ(child.ReadLine(), "open " + Hex(S_OK));
    IStorage* stg = nullptr;
    EXPECT_EQ(Open(c.second, &stg), c.expected);
    EXPECT_EQ(stg != nullptr, c.expected == S_OK);
    if (stg) stg->Release();
    child.Tell();
    EXPECT_EQ(child.ReadLine(), "closed");
    EXPECT_EQ(child.Wait(), 0);
    // Nothing stays held after the child let go.
    ASSERT_EQ(Open(kWriteExclusive, &stg), S_OK);
    stg->Release();
  }
}

TEST_F(OleShare, NoCommitWhilePriorityReaderHoldsTheFile) {
  zrtest::ChildProcess child(HoldArgs(STGM_PRIORITY));
  ASSERT_EQ(child.ReadLine(), "open " + Hex(S_OK));
  IStorage* stg = nullptr;
  ASSERT_EQ(Open(kTransWriteDenyWrite, &stg), S_OK);
  Put(stg, u"s", "kept");
  EXPECT_EQ(stg->Commit(STGC_DEFAULT), STG_E_LOCKVIOLATION);
  child.Tell();
  EXPECT_EQ(child.ReadLine(), "closed");
  EXPECT_EQ(stg->Commit(STGC_DEFAULT), S_OK);  // the changes were kept
  stg->Release();
  ASSERT_EQ(Open(kReadExclusive, &stg), S_OK);
  EXPECT_EQ(Get(stg, u"s"), "kept");
  stg->Release();
}

TEST_F(OleShare, CreateOverAFileAPriorityReaderHoldsLeavesItWhole) {
  const auto size = std::filesystem::file_size(m_path);
  ASSERT_GT(size, 512u);
  zrtest::ChildProcess child(HoldArgs(STGM_PRIORITY));
  ASSERT_EQ(child.ReadLine(), "open " + Hex(S_OK));
  IStorage* stg = nullptr;
  EXPECT_EQ(StgCreateDocfile(m_wide.c_str(), STGM_CREATE | kWriteExclusive, 0, &stg),
            STG_E_LOCKVIOLATION);
  EXPECT_EQ(std::filesystem::file_size(m_path), size);
  child.Tell();
  EXPECT_EQ(child.ReadLine(), "closed");
}

TEST_F(OleShare, PriorityStorageHandsItsFileToTheNextOpen) {
  IStorage* priority = nullptr;
  ASSERT_EQ(Open(STGM_PRIORITY, &priority), S_OK);
  IStorage* stg = nullptr;
  // Released by the call, so that its lock no longer keeps the writer out.
  ASSERT_EQ(StgOpenStorage(nullptr, priority, kWriteExclusive, nullptr, 0, &stg), S_OK);
  stg->Release();
}

TEST_F(OleShare, CommitOverAnotherOpenersNewerCommitIsNotCurrent) {
  IStorage* a = nullptr;
  IStorage* b = nullptr;
  ASSERT_EQ(Open(kTransWriteDenyNone, &a), S_OK);
  ASSERT_EQ(Open(kTransWriteDenyNone, &b), S_OK);
  Put(a, u"from a", "a");
  Put(b, u"from b", "b");
  EXPECT_EQ(a->Commit(STGC_DEFAULT), S_OK);
  EXPECT_EQ(b->Commit(STGC_DEFAULT), STG_E_NOTCURRENT);  // b's base is gone
  a->Release();
  b->Release();
  IStorage* stg = nullptr;
  ASSERT_EQ(Open(kReadExclusive, &stg), S_OK);
  EXPECT_EQ(Get(stg, u"from a"), "a");
  IStream* s = nullptr;
  EXPECT_EQ(stg->OpenStream(u"from b", nullptr, kRead, 0, &s), STG_E_FILENOTFOUND);
  stg->Release();
}

// StgCreateDocfile without a name: a "~DF" file in the temporary folder,
// gone with the storage, whether or not STGM_CREATE is given.
TEST(OleTemporary, NullNameMakesATemporaryFileDeletedOnRelease) {
  zrtest::TempDir dir;
  const std::string folder = dir.Path();
  ::setenv("TMPDIR", folder.c_str(), 1);
  for (DWORD mode : {STGM_CREATE | kWriteExclusive, kWriteExclusive,
                     STGM_TRANSACTED | STGM_READWRITE | STGM_SHARE_EXCLUSIVE}) {
    SCOPED_TRACE(mode);
    IStorage* stg = nullptr;
    ASSERT_EQ(StgCreateDocfile(nullptr, mode, 0, &stg), S_OK);
    STATSTG st{};
    ASSERT_EQ(stg->Stat(&st, STATFLAG_DEFAULT), S_OK);
    ASSERT_NE(st.pwcsName, nullptr);
    const std::u16string wide(st.pwcsName);
    CoTaskMemFree(st.pwcsName);
    const std::string name(wide.begin(), wide.end());
    EXPECT_EQ(name.rfind(folder + "/~DF", 0), 0u) << name;
    EXPECT_EQ(std::filesystem::path(name).extension(), ".tmp");
    EXPECT_EQ(stg->Commit(STGC_DEFAULT), S_OK);
    EXPECT_GE(std::filesystem::file_size(name), 1024u);  // header and one sector
    stg->Release();
    EXPECT_FALSE(std::filesystem::exists(name));
  }
  ::unsetenv("TMPDIR");
  EXPECT_TRUE(std::filesystem::is_empty(folder));
}

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
  for (int round = 0; round < 200; ++round) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
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
    EXPECT_TRUE(WIFSIGNALED(status)) << "child exited by itself: " << WEXITSTATUS(status);
    ASSERT_GT(ReadState(path), 0) << "round " << round;
  }
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
