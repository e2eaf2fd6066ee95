// The table of Windows errors to file causes, and disk failures under the
// committing writer, made through the OS seam and on a real full volume:
// each gives its cause, and none leaves a half-made target or a temporary
// file behind.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <initializer_list>
#include <string>

#include "common/temp_dir.h"
#include "files/errors.h"
#include "pal/posix/syscalls.h"
#include "zr/exception.h"
#include "zr/xfile.h"

namespace {

using zrpal::sys::ScopedSyscall;
using zrtest::TempDir;

namespace sys = zrpal::sys;

TEST(FileCauses, EveryListedErrorHasItsCause) {
  const struct {
    DWORD cause;
    std::initializer_list<DWORD> errors;
  } rows[] = {
      {ZRCAUSE_NOMEMORY, {8, 14, 84, 1130}},
      {ZRCAUSE_VOLUMEFULL, {39, 112}},
      {ZRCAUSE_EOF, {38}},
      {ZRCAUSE_FILENOTFOUND, {2}},
      {ZRCAUSE_BADPATH, {3, 15, 20, 55, 67, 123, 161, 206, 1203, 1214}},
      {ZRCAUSE_SHARING, {32, 33, 108}},
      {ZRCAUSE_ACCESSDENIED, {5, 19, 65}},
      {ZRCAUSE_DEVICE, {21, 23, 25, 27, 30, 132, 267, 1006, 1117, 1126, 1127, 1128, 1392, 1393}},
      {ZRCAUSE_NETWORK, {50, 53, 54, 58, 64, 70, 88, 1201, 1204, 1206, 1222, 6118}},
      {ZRCAUSE_TOOMANYFILES, {4}},
  };
  for (const auto& row : rows)
    for (DWORD error : row.errors)
      EXPECT_EQ(zr::FileCauseOf(error), row.cause) << "error " << error;
  for (DWORD other : {0u, 1u, 6u, 80u, 183u, 0xFFFFFFFFu})
    EXPECT_EQ(zr::FileCauseOf(other), ZRCAUSE_OSERROR) << other;
}

constexpr int kBigWrite = 1 << 20;  // several views

int g_errno = 0;
int g_calls = 0;

// write(2): half of the first call's bytes, then the armed error.
ssize_t ShortThenFail(int fd, const void* p, size_t n) {
  if (++g_calls == 1) return sys::Defaults().write(fd, p, n / 2 + 1);
  errno = g_errno;
  return -1;
}
// fallocate(2) and fsync(2): the armed error.
template <class... Args>
int ArmedError(Args...) {
  errno = g_errno;
  return -1;
}

// Where the OS call fails: copying the old content (write), growing the
// file under small writes through the window (fallocate), writing whole
// views straight to the file (write), flushing before the rename (fsync).
enum class Stage { Open, Window, Direct, Commit };

TEST(FileFaults, EachFailureGivesItsCauseAndLeavesTheTargetAlone) {
  const struct {
    const char* what;
    Stage stage;  // where the OS call fails
    int errnum;
    DWORD cause;
    DWORD operation;
  } cases[] = {
      {"short write then full disk in the copy", Stage::Open, ENOSPC, ZRCAUSE_VOLUMEFULL,
       ZRFILEOP_COPY},
      {"device error in the copy", Stage::Open, EIO, ZRCAUSE_DEVICE, ZRFILEOP_COPY},
      {"full disk when the window grows the file", Stage::Window, ENOSPC, ZRCAUSE_VOLUMEFULL,
       ZRFILEOP_WRITE},
      {"device error when the window grows the file", Stage::Window, EIO, ZRCAUSE_DEVICE,
       ZRFILEOP_WRITE},
      {"short write then full disk writing whole views", Stage::Direct, ENOSPC, ZRCAUSE_VOLUMEFULL,
       ZRFILEOP_WRITE},
      {"device error writing whole views", Stage::Direct, EIO, ZRCAUSE_DEVICE, ZRFILEOP_WRITE},
      {"full disk in the flush", Stage::Commit, ENOSPC, ZRCAUSE_VOLUMEFULL, ZRFILEOP_WRITE},
      {"device error in the flush", Stage::Commit, EIO, ZRCAUSE_DEVICE, ZRFILEOP_WRITE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    zrtest::WriteText(dir.Path("t"), "old");
    const std::u16string target = dir.WPath("t");
    g_errno = c.errnum;
    g_calls = 0;
    IXOutFile* out = nullptr;
    try {
      {
        ScopedSyscall<decltype(sys::g.write)> fault(
            &sys::g.write, c.stage == Stage::Open ? ShortThenFail : sys::g.write);
        // Appending copies the old content; otherwise writing starts at 0.
        out = Fio_OpenOut(target.c_str(), c.stage == Stage::Open ? ZRFILE_EXISTING : 0);
      }
      {
        ScopedSyscall<decltype(sys::g.fallocate)> window(
            &sys::g.fallocate,
            c.stage == Stage::Window ? ArmedError<int, int, off_t, off_t> : sys::g.fallocate);
        ScopedSyscall<decltype(sys::g.write)> direct(
            &sys::g.write, c.stage == Stage::Direct ? ShortThenFail : sys::g.write);
        if (c.stage == Stage::Direct) {
          const std::string block(kBigWrite, 'n');
          out->Write(block.data(), kBigWrite);
        } else {
          for (int i = 0; i < kBigWrite / 4; ++i) out->WriteDword(static_cast<DWORD>(i));
        }
      }
      ScopedSyscall<decltype(sys::g.fsync)> fault(
          &sys::g.fsync, c.stage == Stage::Commit ? ArmedError<int> : sys::g.fsync);
      out->Commit();
      ADD_FAILURE() << "no failure";
    } catch (const CXFileException& e) {
      EXPECT_EQ(e.GetCause(), c.cause);
      EXPECT_EQ(e.GetOperation(), c.operation);
    }
    if (out) out->Release();
    EXPECT_EQ(zrtest::ReadText(dir.Path("t")), "old");
    EXPECT_EQ(dir.Count(), 1u) << "no temporary file stays";
  }
}

// A real volume that fills up: a small memory file system, mounted when the
// test runs as the superuser. Writing through the mapped window must give
// the full-volume cause, never a SIGBUS.
TEST(FileFaults, ARealFullVolumeGivesACauseNotASignal) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs the superuser";
  TempDir dir;
  if (::mount("tmpfs", dir.Path().c_str(), "tmpfs", 0, "size=512k") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  zrtest::WriteText(dir.Path("t"), "old");
  const std::u16string target = dir.WPath("t");
  const std::string block(kBigWrite, 'n');
  DWORD cause = 0;
  try {
    IXOutFile* out = Fio_OpenOut(target.c_str(), 0);
    try {
      out->Write(block.data(), kBigWrite);
      out->Commit();
    } catch (...) {
      out->Release();
      throw;
    }
    out->Release();
  } catch (const CXFileException& e) {
    cause = e.GetCause();
  }
  EXPECT_EQ(cause, ZRCAUSE_VOLUMEFULL);
  EXPECT_EQ(zrtest::ReadText(dir.Path("t")), "old");
  EXPECT_EQ(dir.Count(), 1u);
  EXPECT_EQ(::umount(dir.Path().c_str()), 0);
}

}  // namespace
