// The lock table: counts per path and kind, NE locks, and the locking flag.
#include "zr/filelock.h"

#include <gtest/gtest.h>

#include <string>

#include "files/file_test_util.h"
#include "zr/fileops.h"
#include "zr/xfile.h"

namespace {

using namespace zrtest;

bool CanOpenForWriting(const std::u16string& path) {
  return CauseOf([&] { Ref<IXFile> f(Fio_Open(path.c_str(), ZRFILE_WRITE | ZRFILE_EXISTING)); }) ==
         0;
}

TEST(FileLock, CountsPerPathAndKind) {
  TempDir dir;
  zrtest::WriteText(dir.Path("f"), "x");
  const std::u16string f = dir.WPath("f");
  std::u16string upper = f;
  upper.replace(upper.size() - 1, 1, u"F");
  Fio_LockFile(f.c_str(), false);
  Fio_LockFile(upper.c_str(), false);  // case aside, the same entry
  EXPECT_EQ(Fio_LockCount(f.c_str(), false), 2);
  EXPECT_EQ(Fio_LockCount(f.c_str(), true), 0);
  EXPECT_EQ(Fio_LockCount((dir.WPath() + u"/./f").c_str(), false), 0) << "paths are not normalised";
  Fio_UnlockFile(f.c_str(), false);
  EXPECT_EQ(Fio_LockCount(f.c_str(), false), 1);
  // A lock handle shares reading only, but the library's own objects set it
  // aside while they open the file.
  EXPECT_TRUE(CanOpenForWriting(f));
  Fio_UnlockFile(f.c_str(), false);
  EXPECT_EQ(Fio_LockCount(f.c_str(), false), 0);
  Fio_UnlockFile(f.c_str(), false);  // no entry: nothing happens

  const std::u16string missing = dir.WPath("missing");
  Fio_LockFile(missing.c_str(), false);
  EXPECT_EQ(Fio_LockCount(missing.c_str(), false), 1)
      << "a plain lock on a missing file has an entry";
  Fio_UnlockFile(missing.c_str(), false);
  Fio_LockFile(missing.c_str(), true);
  EXPECT_EQ(Fio_LockCount(missing.c_str(), true), 0) << "an NE lock on a missing file has none";
  const std::u16string longPath = dir.WPath(std::string(600, 'x'));
  Fio_LockFile(longPath.c_str(), false);
  EXPECT_EQ(Fio_LockCount(longPath.c_str(), false), 0) << "never cut to fit";
}

TEST(FileLock, NELocksKeepTheLibrarysOwnObjectsOut) {
  TempDir dir;
  zrtest::WriteText(dir.Path("f"), "x");
  const std::u16string f = dir.WPath("f");
  Fio_LockFile(f.c_str(), true);
  Fio_LockFile(f.c_str(), false);
  for (int mode : std::initializer_list<int>{0, ZRFILE_WRITE | ZRFILE_EXISTING}) {
    const FileError e = ThrownBy([&] { Ref<IXFile> file(Fio_Open(f.c_str(), mode)); });
    EXPECT_EQ(e.operation, ZRFILEOP_LOCK);
    EXPECT_EQ(e.name, f);
  }
  EXPECT_EQ(ThrownBy([&] { Fio_IsWritableFile(f.c_str()); }).operation, ZRFILEOP_LOCK);
  Fio_UnlockFile(f.c_str(), true);
  EXPECT_EQ(Fio_LockCount(f.c_str(), false), 1);
  EXPECT_EQ(Fio_IsWritableFile(f.c_str()), 1);
  CXStringW text(u"kept");
  EXPECT_EQ(Fio_IsWritableFile(f.c_str(), text), 1);
  EXPECT_EQ(std::u16string(text), u"kept");
  Ref<IXFile> reader(Fio_Open(f.c_str(), 0));
  EXPECT_NE(reader.get(), nullptr);
  reader.reset();
  Fio_UnlockFile(f.c_str(), false);
}

TEST(FileLock, WritabilityAnswers) {
  TempDir dir;
  zrtest::WriteText(dir.Path("ro"), "x");
  ::chmod(dir.Path("ro").c_str(), 0444);
  zrtest::WriteText(dir.Path("rw"), "x");
  EXPECT_EQ(Fio_IsWritableFile(dir.WPath("ro").c_str()), 0);
  EXPECT_EQ(Fio_IsWritableFile(dir.WPath("rw").c_str()), 1);
  EXPECT_EQ(Fio_IsWritableFile(dir.WPath("missing").c_str()), 1);
  Ref<IXFile> open(Fio_Open(dir.WPath("rw").c_str(), ZRFILE_WRITE | ZRFILE_EXISTING));
  EXPECT_EQ(Fio_IsWritableFile(dir.WPath("rw").c_str()), 0) << "open elsewhere without sharing";
}

TEST(FileLock, TheFlagDecidesOnlyAboutMemoryNames) {
  const std::u16string name = u"fmem::1000,10";
  EXPECT_EQ(Fio_EnableLocking(0), 1);
  Fio_LockFile(name.c_str(), false);
  EXPECT_EQ(Fio_LockCount(name.c_str(), false), 0);
  EXPECT_EQ(Fio_EnableLocking(1), 0);
  Fio_LockFile(name.c_str(), false);  // tried as a disk file, which fails
  EXPECT_EQ(Fio_LockCount(name.c_str(), false), 0);
}

}  // namespace
