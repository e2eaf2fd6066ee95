// File handles: dispositions and their errors, share modes between handles
// (each handle is its own open, as another process's would be), reading,
// writing and the file pointer, and OS failures made through the seam.
#include "pal/files/file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "common/temp_dir.h"
#include "pal/files/filesystem.h"
#include "pal/handle.h"
#include "pal/internal/share.h"
#include "pal/posix/syscalls.h"
#include "tests/pal/last_error.h"

namespace zrpal {
namespace {

using zrtest::TempDir;

// A file handle, closed at the end of its scope.
struct Handle {
  explicit Handle(HANDLE h) : m_h(h) {}
  ~Handle() {
    if (ok()) CloseHandle(m_h);
  }
  bool ok() const { return m_h != INVALID_HANDLE_VALUE && m_h != nullptr; }
  HANDLE get() const { return m_h; }
  const HANDLE m_h;
};

HANDLE Open(const std::u16string& path, DWORD access, DWORD share,
            DWORD disposition = OPEN_EXISTING, DWORD flags = 0) {
  return CreateFileW(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
}

TEST(CreateFile, DispositionsAndTheirErrors) {
  TempDir dir;
  zrtest::WriteText(dir.Path("old"), "old content");
  const struct {
    const char* name;
    DWORD disposition;
    DWORD error;               // last error after the call
    const char* contentAfter;  // nullptr: the file does not exist
  } cases[] = {
      {"old", CREATE_NEW, ERROR_FILE_EXISTS, "old content"},
      {"new1", CREATE_NEW, ERROR_SUCCESS, ""},
      {"old", OPEN_ALWAYS, ERROR_ALREADY_EXISTS, "old content"},
      {"new2", OPEN_ALWAYS, ERROR_SUCCESS, ""},
      {"new3", OPEN_EXISTING, ERROR_FILE_NOT_FOUND, nullptr},
      {"nodir/x", OPEN_EXISTING, ERROR_PATH_NOT_FOUND, nullptr},
      {"nodir/x", CREATE_ALWAYS, ERROR_PATH_NOT_FOUND, nullptr},
      {"new4", TRUNCATE_EXISTING, ERROR_FILE_NOT_FOUND, nullptr},
      {"old", TRUNCATE_EXISTING, ERROR_SUCCESS, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " disposition " + std::to_string(c.disposition));
    SetLastError(12345);
    Handle h(Open(dir.WPath(c.name), GENERIC_READ | GENERIC_WRITE, 0, c.disposition));
    EXPECT_EQ(h.ok(), c.error == ERROR_SUCCESS || c.error == ERROR_ALREADY_EXISTS);
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(zrtest::Exists(dir.Path(c.name)), c.contentAfter != nullptr);
    if (c.contentAfter) {
      EXPECT_EQ(zrtest::ReadText(dir.Path(c.name)), c.contentAfter);
    }
  }
  zrtest::WriteText(dir.Path("old"), "x");
  Handle always(Open(dir.WPath("old"), GENERIC_WRITE, 0, CREATE_ALWAYS));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(zrtest::ReadText(dir.Path("old")), "");
}

TEST(CreateFile, RefusesWhatItDoesNotImplementAndWhatWindowsRefuses) {
  TempDir dir;
  zrtest::WriteText(dir.Path("ro"), "r");
  ::chmod(dir.Path("ro").c_str(), 0444);
  const std::u16string f = dir.WPath("f");
  EXPECT_FAILS_WITH(Handle(Open(f, GENERIC_READ, 0x8, CREATE_ALWAYS)).ok(),
                    ERROR_INVALID_PARAMETER);
  EXPECT_FAILS_WITH(Handle(Open(f, 0x1, 0, CREATE_ALWAYS)).ok(), ERROR_INVALID_PARAMETER);
  EXPECT_FAILS_WITH(Handle(Open(f, GENERIC_READ, 0, 6)).ok(), ERROR_INVALID_PARAMETER);
  EXPECT_FAILS_WITH(Handle(Open(f, GENERIC_READ, 0, CREATE_ALWAYS, 0x40000000)).ok(),  // overlapped
                    ERROR_INVALID_PARAMETER);
  EXPECT_FAILS_WITH(Handle(Open(f, GENERIC_READ, 0, TRUNCATE_EXISTING)).ok(),
                    ERROR_INVALID_PARAMETER);
  EXPECT_FAILS_WITH(Handle(Open(u"", GENERIC_READ, 0)).ok(), ERROR_PATH_NOT_FOUND);
  EXPECT_FAILS_WITH(Handle(Open(dir.WPath(), GENERIC_READ, 0)).ok(), ERROR_ACCESS_DENIED);
  // The read-only attribute holds for every user, the superuser too.
  EXPECT_FAILS_WITH(Handle(Open(dir.WPath("ro"), GENERIC_WRITE, 0)).ok(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(Handle(Open(dir.WPath("ro"), GENERIC_READ, 0)).ok());
  const std::u16string lone = dir.WPath("a") + u'\xD800';
  EXPECT_FAILS_WITH(Handle(Open(lone, GENERIC_READ, 0, CREATE_ALWAYS)).ok(), ERROR_INVALID_NAME);
}

// Two opens of one file: the second succeeds exactly when each shares what
// the other does.
TEST(ShareModes, SecondOpenPassesOnlyWhenEachSharesTheOthersAccess) {
  constexpr DWORD R = GENERIC_READ, W = GENERIC_WRITE, D = DELETE;
  constexpr DWORD SR = FILE_SHARE_READ, SW = FILE_SHARE_WRITE, SD = FILE_SHARE_DELETE;
  const struct {
    DWORD access1, share1, access2, share2;
    bool second;
  } cases[] = {
      {R, SR, R, SR, true},
      {R, SR, R, SR | SW, true},
      {R, SR, W, SR | SW, false},
      {R, SR | SW, W, SR, true},
      {R, SR | SW, W, SR | SW, true},
      {W, 0, R, SR | SW | SD, false},
      {R | W, SR, R, SR | SW, true},
      {R | W, SR, R, SR, false},  // the second refuses writing, which the first does
      {0, 0, R | W, 0, true},     // a handle for attributes only takes no part
      {D, SR | SW, R, SR | SW, false},
      {D, SR | SW, R, SR | SW | SD, true},
      {R, SR | SW | SD, D, SR | SW | SD, true},
  };
  TempDir dir;
  const std::u16string path = dir.WPath("f");
  zrtest::WriteText(dir.Path("f"), "content");
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.access1 << "/" << c.share1 << " then "
                                    << c.access2 << "/" << c.share2);
    Handle first(Open(path, c.access1, c.share1));
    ASSERT_TRUE(first.ok());
    SetLastError(0);
    Handle second(Open(path, c.access2, c.share2));
    EXPECT_EQ(second.ok(), c.second);
    if (!c.second) {
      EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    }
  }
  // Nothing was left held, and a violation did not empty the file.
  Handle exclusive(Open(path, R | W | D, 0));
  EXPECT_TRUE(exclusive.ok());
  EXPECT_FAILS_WITH(Handle(Open(path, W, SR | SW | SD, CREATE_ALWAYS)).ok(),
                    ERROR_SHARING_VIOLATION);
  EXPECT_EQ(zrtest::ReadText(dir.Path("f")), "content");
}

TEST(ShareModes, DeleteAndRenameNeedEveryHandleToShareDeleting) {
  TempDir dir;
  zrtest::WriteText(dir.Path("f"), "x");
  const std::u16string f = dir.WPath("f"), g = dir.WPath("g");
  {
    Handle open(Open(f, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE));
    EXPECT_FAILS_WITH(DeleteFileW(f.c_str()), ERROR_SHARING_VIOLATION);
    EXPECT_FAILS_WITH(MoveFileW(f.c_str(), g.c_str()), ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(zrtest::Exists(dir.Path("f")));
  }
  {
    Handle open(Open(f, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE));
    EXPECT_TRUE(MoveFileW(f.c_str(), g.c_str()));
    EXPECT_TRUE(DeleteFileW(g.c_str()));
    char buffer[1];
    DWORD n = 9;
    EXPECT_TRUE(ReadFile(open.get(), buffer, 1, &n, nullptr));  // the open file still reads
    EXPECT_EQ(n, 1u);
  }
}

TEST(ShareModes, ALastCloseLeavesNoCompanionBehind) {
  TempDir dir;
  zrtest::WriteText(dir.Path("f"), "x");
  struct stat st;
  ASSERT_EQ(::stat(dir.Path("f").c_str(), &st), 0);
  char companion[256];
  ASSERT_TRUE(ShareCompanionPath(
      {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)}, companion,
      sizeof companion));
  {
    Handle a(Open(dir.WPath("f"), GENERIC_READ, FILE_SHARE_READ));
    Handle b(Open(dir.WPath("f"), GENERIC_READ, FILE_SHARE_READ));
    EXPECT_TRUE(zrtest::Exists(companion));
  }
  EXPECT_FALSE(zrtest::Exists(companion));
}

TEST(FileHandle, ReadsWritesAndMovesThePointer) {
  TempDir dir;
  Handle h(Open(dir.WPath("f"), GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW));
  ASSERT_TRUE(h.ok());
  DWORD n = 0;
  EXPECT_TRUE(WriteFile(h.get(), "hello world", 11, &n, nullptr));
  EXPECT_EQ(n, 11u);
  EXPECT_EQ(SetFilePointer(h.get(), -5, nullptr, FILE_END), 6u);
  char buf[16] = {};
  EXPECT_TRUE(ReadFile(h.get(), buf, sizeof buf, &n, nullptr));
  EXPECT_EQ(std::string(buf, n), "world");
  EXPECT_TRUE(ReadFile(h.get(), buf, sizeof buf, &n, nullptr));
  EXPECT_EQ(n, 0u) << "the end of the file reads nothing and succeeds";
  EXPECT_EQ(SetFilePointer(h.get(), -20, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
  LONG high = 1;  // 4 GiB + 3
  EXPECT_EQ(SetFilePointer(h.get(), 3, &high, FILE_BEGIN), 3u);
  EXPECT_EQ(high, 1);
  EXPECT_TRUE(SetEndOfFile(h.get()));
  DWORD sizeHigh = 0;
  EXPECT_EQ(GetFileSize(h.get(), &sizeHigh), 3u);
  EXPECT_EQ(sizeHigh, 1u);
  LARGE_INTEGER at{5}, now{};
  EXPECT_TRUE(SetFilePointerEx(h.get(), at, &now, FILE_BEGIN));
  EXPECT_TRUE(SetEndOfFile(h.get()));
  EXPECT_EQ(GetFileSize(h.get(), nullptr), 5u);
  EXPECT_TRUE(FlushFileBuffers(h.get()));
  FILETIME written{};
  EXPECT_TRUE(GetFileTime(h.get(), nullptr, nullptr, &written));
  EXPECT_NE(written.dwHighDateTime, 0u);
  Handle reader(Open(dir.WPath("f"), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE));
  EXPECT_FALSE(reader.ok()) << "the writer shares nothing";
  EXPECT_FAILS_WITH(SetFilePointer(h.get(), 0, nullptr, 3) != INVALID_SET_FILE_POINTER,
                    ERROR_INVALID_PARAMETER);
}

TEST(FileHandle, RightsAreChecked) {
  TempDir dir;
  zrtest::WriteText(dir.Path("f"), "abc");
  Handle reader(Open(dir.WPath("f"), GENERIC_READ, FILE_SHARE_READ));
  DWORD n;
  EXPECT_FAILS_WITH(WriteFile(reader.get(), "x", 1, &n, nullptr), ERROR_ACCESS_DENIED);
  EXPECT_FAILS_WITH(SetEndOfFile(reader.get()), ERROR_ACCESS_DENIED);
  EXPECT_FAILS_WITH(FlushFileBuffers(reader.get()), ERROR_ACCESS_DENIED);
  Handle query(Open(dir.WPath("f"), 0, FILE_SHARE_READ));
  char c;
  EXPECT_FAILS_WITH(ReadFile(query.get(), &c, 1, &n, nullptr), ERROR_ACCESS_DENIED);
  EXPECT_EQ(GetFileSize(query.get(), nullptr), 3u);
}

TEST(FileHandle, DeleteOnCloseRemovesTheFile) {
  TempDir dir;
  {
    Handle h(Open(dir.WPath("t"), GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS,
                  FILE_FLAG_DELETE_ON_CLOSE));
    ASSERT_TRUE(h.ok());
    EXPECT_TRUE(zrtest::Exists(dir.Path("t")));
  }
  EXPECT_FALSE(zrtest::Exists(dir.Path("t")));
}

// A write(2) that stops short is followed by one for the rest; the one that
// fails reports its errno through the table.
TEST(FileHandleFaults, ShortWritesAreResumedAndFailuresReported) {
  TempDir dir;
  Handle h(Open(dir.WPath("f"), GENERIC_WRITE, 0, CREATE_NEW));
  static int s_calls;
  static int s_failWith;
  const struct {
    int failWith;
    DWORD error;
  } cases[] = {{ENOSPC, ERROR_DISK_FULL}, {EIO, ERROR_IO_DEVICE}, {EDQUOT, ERROR_DISK_FULL}};
  for (const auto& c : cases) {
    s_calls = 0;
    s_failWith = c.failWith;
    sys::ScopedSyscall<decltype(sys::g.write)> fake(
        &sys::g.write, [](int fd, const void* p, size_t n) -> ssize_t {
          if (++s_calls == 1) return sys::Defaults().write(fd, p, n / 2);  // short
          errno = s_failWith;
          return -1;
        });
    DWORD written = 99;
    EXPECT_FAILS_WITH(WriteFile(h.get(), "abcdefgh", 8, &written, nullptr), c.error);
    EXPECT_EQ(written, 4u);
    EXPECT_EQ(s_calls, 2);
  }
}

}  // namespace
}  // namespace zrpal
