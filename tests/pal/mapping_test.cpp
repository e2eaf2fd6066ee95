// File mappings and views: sizes and the errors Windows gives, block
// reservation before a writable view (a full disk is an error, not a
// signal), and the guard that turns a fault in a view into a count.
#include "pal/files/mapping.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/temp_dir.h"
#include "pal/files/file.h"
#include "pal/handle.h"
#include "pal/posix/syscalls.h"
#include "tests/pal/last_error.h"

namespace zrpal {
namespace {

using zrtest::TempDir;

constexpr DWORD kGranularity = 0x10000;

HANDLE OpenRW(const std::u16string& path, DWORD disposition = OPEN_EXISTING) {
  return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, disposition, 0,
                     nullptr);
}

off_t DiskSize(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

// Views start at multiples of the allocation granularity, 64 KiB.
TEST(FileMapping, SizesAndErrorsFollowWindows) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  EXPECT_EQ(info.dwAllocationGranularity, kGranularity);
  EXPECT_EQ(kGranularity % info.dwPageSize, 0u);
  EXPECT_GE(info.dwNumberOfProcessors, 1u);
  TempDir dir;
  HANDLE file = OpenRW(dir.WPath("f"), CREATE_NEW);
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
  EXPECT_EQ(DiskSize(dir.Path("f")), 3 * kGranularity);
  EXPECT_FAILS_WITH(MapViewOfFile(mapping, FILE_MAP_READ, 0, 100, 10), ERROR_MAPPED_ALIGNMENT);
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
  HANDLE file = CreateFileW(dir.WPath("f").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
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
  HANDLE file = OpenRW(dir.WPath("f"), CREATE_NEW);
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
  HANDLE file = OpenRW(dir.WPath("f"), CREATE_NEW);
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
  HANDLE file = OpenRW(dir.WPath("f"), CREATE_NEW);
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
