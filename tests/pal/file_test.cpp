// File handles (each handle is its own open, as another process's would
// be), file mappings and views, and OS failures made through the seam.
#include "pal/files/file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "common/temp_dir.h"
#include "pal/files/filesystem.h"
#include "pal/files/mapping.h"
#include "pal/handle.h"
#include "pal/internal/share.h"
#include "pal/posix/syscalls.h"
#include "tests/pal/last_error.h"

namespace zrpal {
namespace {

using zrtest::TempDir;

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
  zrtest::WriteText(dir.Path("old2"), "x");
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
      {"old2", CREATE_ALWAYS, ERROR_ALREADY_EXISTS, ""},
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

constexpr DWORD kGranularity = 0x10000;

// Views start at multiples of the allocation granularity, 64 KiB.
TEST(FileMapping, SizesAndErrorsFollowWindows) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  EXPECT_EQ(info.dwAllocationGranularity, kGranularity);
  EXPECT_EQ(kGranularity % info.dwPageSize, 0u);
  EXPECT_GE(info.dwNumberOfProcessors, 1u);
  TempDir dir;
  HANDLE file = Open(dir.WPath("f"), GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_FAILS_WITH(CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, 0, nullptr),
                    ERROR_FILE_INVALID);
  EXPECT_FAILS_WITH(CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 10, nullptr),
                    ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_FAILS_WITH(CreateFileMappingW(file, nullptr, 0x08, 0, 10, nullptr),
                    ERROR_INVALID_PARAMETER);
  EXPECT_FAILS_WITH(CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, 10, u"name"),
                    ERROR_INVALID_PARAMETER);
  // A read-write mapping larger than the file grows it.
  HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, 3 * kGranularity, nullptr);
  ASSERT_NE(mapping, nullptr);
  EXPECT_EQ(std::filesystem::file_size(dir.Path("f")), 3u * kGranularity);
  EXPECT_FAILS_WITH(MapViewOfFile(mapping, FILE_MAP_READ, 0, 4096, 10), ERROR_MAPPED_ALIGNMENT);
  EXPECT_FAILS_WITH(MapViewOfFile(mapping, FILE_MAP_READ, 0, kGranularity, 2 * kGranularity + 1),
                    ERROR_ACCESS_DENIED);
  EXPECT_FAILS_WITH(MapViewOfFile(mapping, FILE_MAP_READ, 0, 3 * kGranularity, 0),
                    ERROR_ACCESS_DENIED);
  EXPECT_FAILS_WITH(MapViewOfFile(mapping, 0x1, 0, 0, 10),
                    ERROR_INVALID_PARAMETER);  // copy-on-write
  // The mapping keeps the file open after its handle is closed.
  EXPECT_TRUE(CloseHandle(file));
  auto* view = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, kGranularity, 0));
  ASSERT_NE(view, nullptr);
  std::memcpy(view + 2 * kGranularity - 3, "end", 3);
  EXPECT_TRUE(FlushViewOfFile(view + 5, 0));
  EXPECT_TRUE(UnmapViewOfFile(view));
  EXPECT_FAILS_WITH(UnmapViewOfFile(view), ERROR_INVALID_ADDRESS);
  EXPECT_FAILS_WITH(FlushViewOfFile(view, 0), ERROR_INVALID_ADDRESS);
  EXPECT_TRUE(CloseHandle(mapping));
  EXPECT_EQ(zrtest::ReadText(dir.Path("f")).substr(3 * kGranularity - 3), "end");
}

// A file opened for reading maps for reading only. Read-only views share
// one mapping of the section: each stays valid while it is mapped, whatever
// happens to the other views and the handles.
TEST(FileMapping, ReadOnlyFilesAndViews) {
  TempDir dir;
  std::string content(3 * kGranularity, 'a');
  content[2 * kGranularity] = 'c';
  zrtest::WriteText(dir.Path("f"), content);
  HANDLE file = Open(dir.WPath("f"), GENERIC_READ, FILE_SHARE_READ);
  EXPECT_FAILS_WITH(CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, 0, nullptr),
                    ERROR_ACCESS_DENIED);
  HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ASSERT_NE(mapping, nullptr);
  EXPECT_FAILS_WITH(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0), ERROR_ACCESS_DENIED);
  const auto* first =
      static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, kGranularity));
  const auto* third =
      static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 2 * kGranularity, 0));
  ASSERT_NE(first, nullptr);
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(first[kGranularity - 1], 'a');
  EXPECT_TRUE(UnmapViewOfFile(first));
  EXPECT_TRUE(CloseHandle(mapping));
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_FAILS_WITH(CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr),
                    ERROR_INVALID_HANDLE);
  EXPECT_EQ(third[0], 'c');
  EXPECT_EQ(third[kGranularity - 1], 'a');
  EXPECT_TRUE(FlushViewOfFile(third + 1, 10));
  EXPECT_TRUE(UnmapViewOfFile(third));
  EXPECT_FAILS_WITH(UnmapViewOfFile(third), ERROR_INVALID_ADDRESS);
  EXPECT_FAILS_WITH(UnmapViewOfFile(first), ERROR_INVALID_ADDRESS);
}

// A full disk or a failing device shows in the call that reserves the
// blocks: growing the mapping, or mapping a writable view over a hole.
TEST(FileMappingFaults, ReservationFailuresAreErrors) {
  TempDir dir;
  HANDLE file = Open(dir.WPath("f"), GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  LARGE_INTEGER end{2 * kGranularity};
  ASSERT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN));
  ASSERT_TRUE(SetEndOfFile(file));  // a hole of two granules
  HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, 0, nullptr);
  ASSERT_NE(mapping, nullptr);
  static int s_errno;
  const struct {
    int errnum;
    DWORD error;
  } cases[] = {{ENOSPC, ERROR_DISK_FULL}, {EIO, ERROR_IO_DEVICE}, {EDQUOT, ERROR_DISK_FULL}};
  for (const auto& c : cases) {
    s_errno = c.errnum;
    sys::ScopedSyscall<decltype(sys::g.fallocate)> full(
        &sys::g.fallocate, [](int, int, off_t, off_t) { return errno = s_errno, -1; });
    EXPECT_FAILS_WITH(
        CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, 4 * kGranularity, nullptr), c.error);
    EXPECT_FAILS_WITH(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, kGranularity), c.error);
    // Reading needs no blocks.
    const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, kGranularity);
    EXPECT_NE(view, nullptr);
    UnmapViewOfFile(view);
  }
  // A file system without fallocate gets its holes filled another way.
  sys::ScopedSyscall<decltype(sys::g.fallocate)> none(
      &sys::g.fallocate, [](int, int, off_t, off_t) { return errno = EOPNOTSUPP, -1; });
  void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, kGranularity, 0);
  EXPECT_NE(view, nullptr);
  UnmapViewOfFile(view);
  CloseHandle(mapping);
  CloseHandle(file);
}

// A file cut short under a view: touching the lost pages would raise SIGBUS;
// the guard gives zeros and counts the fault instead.
TEST(ViewGuard, AFaultInAViewIsCountedNotFatal) {
  TempDir dir;
  HANDLE file = Open(dir.WPath("f"), GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
  HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, 2 * kGranularity, nullptr);
  auto* view = static_cast<volatile char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
  ASSERT_NE(view, nullptr);
  view[0] = 'a';
  ASSERT_EQ(::truncate(dir.Path("f").c_str(), 0), 0);
  const DWORD before = ViewFaultCount();
  EXPECT_EQ(view[kGranularity + 7], 0);
  view[kGranularity + 8] = 'b';  // the same page, now private: no second fault
  EXPECT_EQ(ViewFaultCount(), before + 1);
  EXPECT_EQ(view[0], 0);
  EXPECT_EQ(ViewFaultCount(), before + 2);
  EXPECT_TRUE(UnmapViewOfFile(const_cast<char*>(view)));
  CloseHandle(mapping);
  CloseHandle(file);
}

// Outside the views a SIGBUS keeps its old meaning: here, the death of the
// process.
TEST(ViewGuardDeathTest, FaultsOutsideViewsAreNotSwallowed) {
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  TempDir dir;
  HANDLE file = Open(dir.WPath("f"), GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
  HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, kGranularity, nullptr);
  void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0);  // installs the guard
  ASSERT_NE(view, nullptr);
  const int fd = ::open(dir.Path("g").c_str(), O_RDWR | O_CREAT, 0600);
  void* raw =
      ::mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0);  // beyond the end of an empty file
  ASSERT_NE(raw, MAP_FAILED);
  EXPECT_DEATH((void)*static_cast<volatile char*>(raw), "");
  ::munmap(raw, 4096);
  ::close(fd);
  UnmapViewOfFile(view);
  CloseHandle(mapping);
  CloseHandle(file);
}

}  // namespace
}  // namespace zrpal
