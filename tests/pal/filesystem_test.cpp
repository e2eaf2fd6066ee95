// Operations on names and folders, temporary names, searches, the URL test
// and the calendar fields of file times.
#include "pal/files/filesystem.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <set>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "pal/files/file.h"
#include "pal/files/find.h"
#include "pal/files/url.h"
#include "pal/handle.h"
#include "pal/posix/syscalls.h"
#include "pal/wstr.h"
#include "tests/pal/last_error.h"

namespace zrpal {
namespace {

using zrtest::TempDir;

TEST(CopyFile, CopiesContentAndAttributesAndRefusesWhatWindowsRefuses) {
  TempDir dir;
  zrtest::WriteText(dir.Path("src"), std::string(3 << 20, 'x') + "tail");
  ::chmod(dir.Path("src").c_str(), 0444);
  const std::u16string src = dir.WPath("src"), dst = dir.WPath("dst");
  EXPECT_TRUE(CopyFileW(src.c_str(), dst.c_str(), TRUE));
  EXPECT_EQ(zrtest::ReadText(dir.Path("dst")), zrtest::ReadText(dir.Path("src")));
  EXPECT_EQ(GetFileAttributesW(dst.c_str()), FILE_ATTRIBUTE_READONLY);
  EXPECT_FAILS_WITH(CopyFileW(src.c_str(), dst.c_str(), TRUE), ERROR_FILE_EXISTS);
  EXPECT_FAILS_WITH(CopyFileW(src.c_str(), dst.c_str(), FALSE),
                    ERROR_ACCESS_DENIED);  // read-only target
  EXPECT_FAILS_WITH(CopyFileW(dir.WPath("none").c_str(), dst.c_str(), FALSE), ERROR_FILE_NOT_FOUND);
}

TEST(CopyFile, AFailedCopyRemovesItsTarget) {
  TempDir dir;
  zrtest::WriteText(dir.Path("src"), std::string(100, 'x'));
  sys::ScopedSyscall<decltype(sys::g.write)> full(
      &sys::g.write, [](int, const void*, size_t) -> ssize_t { return errno = ENOSPC, -1; });
  EXPECT_FAILS_WITH(CopyFileW(dir.WPath("src").c_str(), dir.WPath("dst").c_str(), TRUE),
                    ERROR_DISK_FULL);
  EXPECT_FALSE(zrtest::Exists(dir.Path("dst")));
}

TEST(MoveFile, NeverReplacesUnlessAsked) {
  TempDir dir;
  zrtest::WriteText(dir.Path("a"), "A");
  zrtest::WriteText(dir.Path("b"), "B");
  const std::u16string a = dir.WPath("a"), b = dir.WPath("b"), c = dir.WPath("c");
  EXPECT_FAILS_WITH(MoveFileW(a.c_str(), b.c_str()), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(zrtest::ReadText(dir.Path("b")), "B");
  EXPECT_FAILS_WITH(MoveFileExW(a.c_str(), b.c_str(), 0x4),
                    ERROR_INVALID_PARAMETER);  // delay until reboot
  EXPECT_TRUE(
      MoveFileExW(a.c_str(), b.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
  EXPECT_EQ(zrtest::ReadText(dir.Path("b")), "A");
  EXPECT_FAILS_WITH(MoveFileW(a.c_str(), c.c_str()), ERROR_FILE_NOT_FOUND);
  EXPECT_FAILS_WITH(MoveFileW(b.c_str(), dir.WPath("no/c").c_str()), ERROR_PATH_NOT_FOUND);
  // Without RENAME_NOREPLACE in the file system, a link gives the same promise.
  sys::ScopedSyscall<decltype(sys::g.renameat2)> old(
      &sys::g.renameat2,
      [](int, const char*, int, const char*, unsigned) { return errno = EINVAL, -1; });
  zrtest::WriteText(dir.Path("a"), "A2");
  EXPECT_FAILS_WITH(MoveFileW(a.c_str(), b.c_str()), ERROR_ALREADY_EXISTS);
  EXPECT_TRUE(MoveFileW(a.c_str(), c.c_str()));
  EXPECT_EQ(zrtest::ReadText(dir.Path("c")), "A2");
  EXPECT_FALSE(zrtest::Exists(dir.Path("a")));
}

TEST(DeleteFile, FoldersAndReadOnlyFilesAreRefused) {
  TempDir dir;
  zrtest::WriteText(dir.Path("ro"), "x");
  ::chmod(dir.Path("ro").c_str(), 0444);
  EXPECT_FAILS_WITH(DeleteFileW(dir.WPath("ro").c_str()), ERROR_ACCESS_DENIED);
  EXPECT_FAILS_WITH(DeleteFileW(dir.WPath().c_str()), ERROR_ACCESS_DENIED);
  EXPECT_FAILS_WITH(DeleteFileW(dir.WPath("none").c_str()), ERROR_FILE_NOT_FOUND);
  ::chmod(dir.Path("ro").c_str(), 0644);
  EXPECT_TRUE(DeleteFileW(dir.WPath("ro").c_str()));
}

TEST(Folders, CreateRemoveAndTheirErrors) {
  TempDir dir;
  const std::u16string d = dir.WPath("d");
  EXPECT_TRUE(CreateDirectoryW(d.c_str(), nullptr));
  EXPECT_EQ(GetFileAttributesW(d.c_str()), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_FAILS_WITH(CreateDirectoryW(d.c_str(), nullptr), ERROR_ALREADY_EXISTS);
  EXPECT_FAILS_WITH(CreateDirectoryW(dir.WPath("x/y").c_str(), nullptr), ERROR_PATH_NOT_FOUND);
  zrtest::WriteText(dir.Path("d/f"), "x");
  EXPECT_FAILS_WITH(RemoveDirectoryW(d.c_str()), ERROR_DIR_NOT_EMPTY);
  EXPECT_FAILS_WITH(RemoveDirectoryW(dir.WPath("d/f").c_str()), ERROR_DIRECTORY);
  EXPECT_EQ(GetFileAttributesW(dir.WPath("d/f").c_str()), FILE_ATTRIBUTE_NORMAL);
  EXPECT_FAILS_WITH(GetFileAttributesW(dir.WPath("d/g").c_str()) != INVALID_FILE_ATTRIBUTES,
                    ERROR_FILE_NOT_FOUND);
  EXPECT_FAILS_WITH(GetFileAttributesW(dir.WPath("e/g").c_str()) != INVALID_FILE_ATTRIBUTES,
                    ERROR_PATH_NOT_FOUND);
  ::unlink(dir.Path("d/f").c_str());
  EXPECT_TRUE(RemoveDirectoryW(d.c_str()));
}

TEST(Folders, CurrentAndTemporaryFolderFollowTheBufferRules) {
  TempDir dir;
  char saved[4096];
  ASSERT_NE(::getcwd(saved, sizeof saved), nullptr);
  ASSERT_TRUE(SetCurrentDirectoryW(dir.WPath().c_str()));
  const std::u16string expected = dir.WPath();
  WCHAR buffer[512];
  EXPECT_EQ(GetCurrentDirectoryW(3, buffer), expected.size() + 1);
  EXPECT_EQ(GetCurrentDirectoryW(512, buffer), expected.size());
  EXPECT_EQ(std::u16string(buffer), expected);
  EXPECT_FAILS_WITH(SetCurrentDirectoryW(dir.WPath("none").c_str()), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(::chdir(saved), 0);

  const char* old = ::getenv("TMPDIR");
  const std::string keep = old ? old : "";
  const struct {
    const char* tmpdir;  // nullptr: unset
    const char16_t* path;
  } cases[] = {
      {"/var/x", u"/var/x/"}, {"/var/y/", u"/var/y/"}, {"", u"/tmp/"}, {nullptr, u"/tmp/"}};
  for (const auto& c : cases) {
    c.tmpdir ? ::setenv("TMPDIR", c.tmpdir, 1) : ::unsetenv("TMPDIR");
    EXPECT_EQ(GetTempPathW(512, buffer), wcslen(c.path));
    EXPECT_EQ(std::u16string(buffer), c.path);
  }
  if (old) ::setenv("TMPDIR", keep.c_str(), 1);
}

TEST(TempFileName, NamesAndCreatesAsWindowsDoes) {
  TempDir dir;
  WCHAR name[MAX_PATH];
  const struct {
    const char16_t* prefix;
    UINT unique;
    const char16_t* tail;
  } named[] = {
      {u"ZRPR", 0x1A2B, u"/ZRP1A2B.tmp"}, {u"ab", 5, u"/ab5.tmp"}, {u"", 0x12345, u"/2345.tmp"}};
  for (const auto& c : named) {
    EXPECT_EQ(GetTempFileNameW(dir.WPath().c_str(), c.prefix, c.unique, name), c.unique);
    EXPECT_EQ(std::u16string(name), dir.WPath() + c.tail);
    EXPECT_FALSE(zrtest::Exists(std::string(name, name + wcslen(name))))
        << "a given number creates nothing";
  }
  std::set<std::u16string> made;
  for (int i = 0; i < 3; ++i) {
    const UINT n = GetTempFileNameW((dir.WPath() + u"/").c_str(), u"ZRPR", 0, name);
    EXPECT_NE(n, 0u);
    const std::u16string s(name);
    EXPECT_EQ(s.substr(0, dir.WPath().size() + 4), dir.WPath() + u"/ZRP");
    EXPECT_EQ(s.substr(s.size() - 4), u".tmp");
    EXPECT_EQ(zrtest::ReadText(std::string(s.begin(), s.end())), "") << "created empty";
    made.insert(s);
  }
  EXPECT_EQ(made.size(), 3u);
  EXPECT_FAILS_WITH(GetTempFileNameW(dir.WPath("none").c_str(), u"ZRPR", 0, name), ERROR_DIRECTORY);
  const std::u16string longFolder(MAX_PATH - 13, u'a');
  EXPECT_FAILS_WITH(GetTempFileNameW(longFolder.c_str(), u"ZRPR", 0, name), ERROR_BUFFER_OVERFLOW);
}

TEST(FindFiles, PatternsMatchAsOnWindows) {
  const struct {
    const char16_t* pattern;
    const char16_t* name;
    bool match;
  } cases[] = {
      {u"*", u"abc", true},        {u"*.*", u"abc", true},
      {u"*.txt", u"A.TXT", true},  {u"*.txt", u"a.txt.bak", false},
      {u"a?c", u"abc", true},      {u"a?c", u"ac", false},
      {u"*b*", u"abc", true},      {u"a*c*e", u"abcde", true},
      {u"a*c*e", u"abcdf", false}, {u"x", u"X", true},
      {u"", u"a", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MatchesFindPattern(c.pattern, c.name), c.match)
        << std::string(c.pattern, c.pattern + wcslen(c.pattern)) << " ~ "
        << std::string(c.name, c.name + wcslen(c.name));
}

TEST(FindFiles, SearchesAFolderAndDescribesEachEntry) {
  TempDir dir;
  zrtest::WriteText(dir.Path("one.txt"), "12345");
  zrtest::WriteText(dir.Path("two.TXT"), "1");
  zrtest::WriteText(dir.Path("three.dat"), "");
  ::mkdir(dir.Path("sub.txt").c_str(), 0755);
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((dir.WPath() + u"\\*.txt").c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  std::set<std::u16string> names;
  do {
    names.insert(data.cFileName);
    if (std::u16string(data.cFileName) == u"one.txt") {
      EXPECT_EQ(data.nFileSizeLow, 5u);
      EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_NORMAL);
    }
    if (std::u16string(data.cFileName) == u"sub.txt") {
      EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
    }
  } while (FindNextFileW(find, &data));
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_EQ(names, (std::set<std::u16string>{u"one.txt", u"two.TXT", u"sub.txt"}));
  EXPECT_FAILS_WITH(CloseHandle(find),
                    ERROR_INVALID_HANDLE);  // a find handle closes with FindClose
  EXPECT_TRUE(FindClose(find));

  find = FindFirstFileW(dir.WPath("one.txt").c_str(), &data);  // one name, no wildcard
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_EQ(std::u16string(data.cFileName), u"one.txt");
  EXPECT_FAILS_WITH(FindNextFileW(find, &data), ERROR_NO_MORE_FILES);
  FindClose(find);
  EXPECT_FAILS_WITH(FindFirstFileW(dir.WPath("*.none").c_str(), &data) != INVALID_HANDLE_VALUE,
                    ERROR_FILE_NOT_FOUND);
  EXPECT_FAILS_WITH(FindFirstFileW(dir.WPath("no/*").c_str(), &data) != INVALID_HANDLE_VALUE,
                    ERROR_PATH_NOT_FOUND);
  EXPECT_FAILS_WITH(FindFirstFileW((dir.WPath() + u"/").c_str(), &data) != INVALID_HANDLE_VALUE,
                    ERROR_FILE_NOT_FOUND);
}

TEST(PathIsURL, SchemesOfTwoOrMoreCharacters) {
  const struct {
    const char16_t* path;
    BOOL url;
  } cases[] = {
      {u"ftp://h/x", TRUE},    {u"http:x", TRUE},
      {u"file:///c:/x", TRUE}, {u"x-y.z+w:q", TRUE},
      {u"C:\\x", FALSE},       {u"a:b", FALSE},
      {u"ab", FALSE},          {u"", FALSE},
      {u"://x", FALSE},        {u"\\\\server\\share", FALSE},
      {u"a b:c", FALSE},
  };
  for (const auto& c : cases)
    EXPECT_EQ(PathIsURLW(c.path), c.url) << std::string(c.path, c.path + wcslen(c.path));
  EXPECT_FALSE(PathIsURLW(nullptr));
}

TEST(FileTimes, CalendarFieldsInUtc) {
  const struct {
    std::uint64_t ticks;
    std::vector<WORD> fields;  // year, month, day, day of the week, hour, minute, second, ms
  } cases[] = {
      {0, {1601, 1, 1, 1, 0, 0, 0, 0}},                      // a Monday
      {116444736000000000ull, {1970, 1, 1, 4, 0, 0, 0, 0}},  // a Thursday
      {116444736000000000ull + 951782400ull * 10000000 + 12345678, {2000, 2, 29, 2, 0, 0, 1, 234}},
      {133801632000000000ull + 36610000000ull, {2025, 1, 1, 3, 1, 1, 1, 0}},  // a Wednesday
  };
  for (const auto& c : cases) {
    const FILETIME ft{static_cast<DWORD>(c.ticks), static_cast<DWORD>(c.ticks >> 32)};
    SYSTEMTIME st{};
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
    EXPECT_EQ((std::vector<WORD>{st.wYear, st.wMonth, st.wDay, st.wDayOfWeek, st.wHour, st.wMinute,
                                 st.wSecond, st.wMilliseconds}),
              c.fields);
  }
  const FILETIME tooLate{0, 0x80000000};
  SYSTEMTIME st;
  EXPECT_FAILS_WITH(FileTimeToSystemTime(&tooLate, &st), ERROR_INVALID_PARAMETER);
}

}  // namespace
}  // namespace zrpal
