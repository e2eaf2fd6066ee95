// The file-system functions, with the operation codes of their failures.
#include "zr/fileops.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "files/file_test_util.h"
#include "zr/xfile.h"

namespace {

using namespace zrtest;

TEST(FileOps, CreateDirectoryMakesEveryMissingLevel) {
  TempDir dir;
  ::mkdir(dir.Path("a").c_str(), 0755);
  for (const std::string& path : {dir.Path("a/b/c"), dir.Path("a\\d\\e\\"), dir.Path("a/b/c")})
    Fio_CreateDirectory(TempDir::Wide(path).c_str());
  EXPECT_TRUE(std::filesystem::is_directory(dir.Path("a/b/c")));
  EXPECT_TRUE(std::filesystem::is_directory(dir.Path("a/d/e")));
  zrtest::WriteText(dir.Path("file"), "x");
  const FileError e = ThrownBy([&] { Fio_CreateDirectory(dir.WPath("file/sub/deeper").c_str()); });
  EXPECT_EQ(e.operation, ZRFILEOP_MKDIR);
  EXPECT_EQ(e.name, dir.WPath("file/sub")) << "the level that failed";
  Fio_CreateDirectory(u"");
  Fio_CreateDirectory(nullptr);
}

TEST(FileOps, FileInfoIsTheLastWriteInUtc) {
  TempDir dir;
  zrtest::WriteText(dir.Path("f"), "12345");
  // 2024-02-29 13:14:15 UTC, a Thursday.
  const struct timeval times[2] = {{1709212455, 0}, {1709212455, 0}};
  ASSERT_EQ(::utimes(dir.Path("f").c_str(), times), 0);
  FioFileInfo info{};
  Fio_GetFileInfo(dir.WPath("f").c_str(), &info);
  const FioFileInfo expected{5, 15, 14, 13, 29, 4, 2, 2024};
  EXPECT_EQ(std::memcmp(&info, &expected, sizeof info), 0)
      << info.size << " " << info.year << "-" << info.month << "-" << info.day << " ("
      << info.dayOfWeek << ") " << info.hour << ":" << info.minute << ":" << info.second;
  const FileError missing = ThrownBy([&] { Fio_GetFileInfo(dir.WPath("none").c_str(), &info); });
  EXPECT_EQ(missing.cause, ZRCAUSE_FILENOTFOUND);
  EXPECT_EQ(missing.operation, ZRFILEOP_INFO);
  EXPECT_EQ(Fio_IsFileExist(dir.WPath("f").c_str()), 1);
  EXPECT_EQ(Fio_IsFileExist(dir.WPath("none").c_str()), 0);
  EXPECT_EQ(Fio_IsFileExist(u"ftp://host/f"), 0);
  EXPECT_EQ(Fio_IsFileExist(nullptr), 0);
}

TEST(FileOps, FailuresCarryTheirOperationAndName) {
  TempDir dir;
  zrtest::WriteText(dir.Path("a"), "A");
  zrtest::WriteText(dir.Path("b"), "B");
  ::mkdir(dir.Path("d").c_str(), 0755);
  zrtest::WriteText(dir.Path("d/x"), "x");
  const std::u16string a = dir.WPath("a"), b = dir.WPath("b"), none = dir.WPath("none");
  const struct {
    const char* what;
    std::function<void()> action;
    DWORD cause, operation;
    std::u16string name;
  } cases[] = {
      {"rename onto an existing file", [&] { Fio_RenameFile(a.c_str(), b.c_str()); },
       ZRCAUSE_OSERROR, ZRFILEOP_RENAME, a},
      {"copy of a missing file", [&] { Fio_CopyFile(none.c_str(), b.c_str(), 0); },
       ZRCAUSE_FILENOTFOUND, ZRFILEOP_COPY, none},
      {"copy onto an existing file", [&] { Fio_CopyFile(a.c_str(), b.c_str(), 1); },
       ZRCAUSE_OSERROR, ZRFILEOP_COPY, a},
      {"delete of a missing file", [&] { Fio_DeleteFile(none.c_str()); }, ZRCAUSE_FILENOTFOUND,
       ZRFILEOP_DELETE, none},
      {"delete of a full folder", [&] { Fio_DeleteDirectory(dir.WPath("d").c_str()); },
       ZRCAUSE_OSERROR, ZRFILEOP_RMDIR, dir.WPath("d")},
      {"change to a missing folder", [&] { Fio_SetCurrentDirectory(none.c_str()); },
       ZRCAUSE_FILENOTFOUND, ZRFILEOP_CHDIR, none},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const FileError e = ThrownBy(c.action);
    EXPECT_EQ(e.cause, c.cause);
    EXPECT_EQ(e.operation, c.operation);
    EXPECT_EQ(e.name, c.name);
  }
  EXPECT_EQ(zrtest::ReadText(dir.Path("b")), "B");
  Fio_CopyFile(a.c_str(), b.c_str(), 0);
  EXPECT_EQ(zrtest::ReadText(dir.Path("b")), "A");
  Fio_RenameFile(a.c_str(), dir.WPath("c").c_str());
  Fio_DeleteFile(dir.WPath("c").c_str());
  EXPECT_FALSE(zrtest::Exists(dir.Path("c")));
  Fio_DeleteFile(u"fmem::1,1");
}

TEST(FileOps, CurrentDirectoryAndTemporaryNames) {
  TempDir dir;
  WCHAR saved[1024];
  Fio_GetCurrentDirectory(saved, 1024);
  Fio_SetCurrentDirectory(dir.WPath().c_str());
  WCHAR now[1024];
  Fio_GetCurrentDirectory(now, 1024);
  EXPECT_EQ(std::u16string(now), dir.WPath());
  Fio_SetCurrentDirectory(saved);

  const WCHAR* first = Fio_GetTempFileName();
  const std::u16string one = first;
  const WCHAR* second = Fio_GetTempFileName();
  EXPECT_EQ(first, second) << "one process-wide buffer";
  EXPECT_NE(one, std::u16string(second));
  for (const std::u16string& name : {one, std::u16string(second)}) {
    EXPECT_NE(name.find(u"/ZRP"), std::u16string::npos) << "the prefix's first three characters";
    EXPECT_EQ(Fio_IsFileExist(name.c_str()), 1);
    Fio_DeleteFile(name.c_str());
  }
}

// The owner's account name, a blank, the host name; writability judged by
// the permission bits against this process's ids (the superuser passes).
TEST(FileOps, OwnerAndWritability) {
  TempDir dir;
  zrtest::WriteText(dir.Path("f"), "x");
  CXStringW owner(u"unchanged");
  EXPECT_EQ(Fio_GetSecurityInfo(dir.WPath("none").c_str(), owner), 0);
  EXPECT_EQ(std::u16string(owner), u"unchanged");
  ASSERT_EQ(Fio_GetSecurityInfo(dir.WPath("f").c_str(), owner), 1);
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  const std::u16string text(owner);
  EXPECT_EQ(text.substr(text.find(u' ') + 1), TempDir::Wide(host));
  EXPECT_EQ(text.substr(0, text.find(u' ')), TempDir::Wide(::getpwuid(::geteuid())->pw_name));
  EXPECT_EQ(Fio_IsWritableDir(dir.WPath().c_str()), 1);
  EXPECT_EQ(Fio_IsWritableDir(dir.WPath("none").c_str()), 0);
  ::chmod(dir.Path("f").c_str(), 0);
  EXPECT_EQ(Fio_IsWritableDir(dir.WPath("f").c_str()), ::geteuid() == 0 ? 1 : 0);
  EXPECT_EQ(Fio_PathIsURL(u"http:x"), 1);
  EXPECT_EQ(Fio_PathIsURL(u"C:\\x"), 0);
}

}  // namespace
