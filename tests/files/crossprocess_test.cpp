// Share modes and locks between real processes: the helper program
// (tests/child/sync_child.cpp) holds files open and locked while this
// process tries them, and is killed to show that nothing it held stays.
#include <gtest/gtest.h>

#include <string>

#include "child/child_process.h"
#include "files/file_test_util.h"
#include "zr/filelock.h"
#include "zr/fileops.h"
#include "zr/xfile.h"

namespace {

using namespace zrtest;

TEST(CrossProcess, ALockedFileCanBeReadButNotWritten) {
  TempDir dir;
  zrtest::WriteText(dir.Path("f"), "shared");
  const std::u16string f = dir.WPath("f");
  zrtest::ChildProcess child({"lock", dir.Path("f")});
  ASSERT_EQ(child.ReadLine(), "locked");
  Ref<IXFile> reader(Fio_Open(f.c_str(), 0));
  char got[6];
  EXPECT_EQ(reader->Read(got, 6), 6u);
  reader.reset();
  const FileError e =
      ThrownBy([&] { Ref<IXFile> w(Fio_Open(f.c_str(), ZRFILE_WRITE | ZRFILE_EXISTING)); });
  EXPECT_EQ(e.cause, ZRCAUSE_SHARING);
  EXPECT_EQ(e.operation, ZRFILEOP_WRITE);
  EXPECT_EQ(ThrownBy([&] { Fio_DeleteFile(f.c_str()); }).cause, ZRCAUSE_SHARING);
  EXPECT_EQ(Fio_IsWritableFile(f.c_str()), 0);
  child.Tell();
  EXPECT_EQ(child.ReadLine(), "");  // the child ends
  Ref<IXFile> writer(Fio_Open(f.c_str(), ZRFILE_WRITE | ZRFILE_EXISTING));
  EXPECT_NE(writer.get(), nullptr);
}

TEST(CrossProcess, AKilledLockHolderLeavesTheFileOpenable) {
  TempDir dir;
  zrtest::WriteText(dir.Path("f"), "x");
  zrtest::ChildProcess child({"lock", dir.Path("f")});
  ASSERT_EQ(child.ReadLine(), "locked");
  EXPECT_EQ(Fio_IsWritableFile(dir.WPath("f").c_str()), 0);
  child.Kill();
  child.Wait();
  EXPECT_EQ(Fio_IsWritableFile(dir.WPath("f").c_str()), 1);
  Ref<IXFile> writer(Fio_Open(dir.WPath("f").c_str(), ZRFILE_WRITE | ZRFILE_EXISTING));
  EXPECT_NE(writer.get(), nullptr);
}

TEST(CrossProcess, AWriterKilledBeforeCommitLeavesTheTargetUnchanged) {
  TempDir dir;
  zrtest::WriteText(dir.Path("t"), "as it was");
  zrtest::ChildProcess child({"write", dir.Path("t")});
  ASSERT_EQ(child.ReadLine(), "written");
  EXPECT_EQ(Fio_IsWritableFile(dir.WPath("t").c_str()), 0) << "locked while written";
  child.Kill();
  child.Wait();
  EXPECT_EQ(zrtest::ReadText(dir.Path("t")), "as it was");
  EXPECT_EQ(Fio_IsWritableFile(dir.WPath("t").c_str()), 1);
}

// Two processes open one file for writing at the same moment, round after
// round: share modes let exactly one of them in.
TEST(CrossProcess, ExactlyOneOfTwoRacingWritersWins) {
  TempDir dir;
  zrtest::WriteText(dir.Path("f"), "x");
  const std::string mode = std::to_string(ZRFILE_WRITE | ZRFILE_EXISTING);
  constexpr int kRounds = 40;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE(round);
    zrtest::ChildProcess a({"open", dir.Path("f"), mode});
    zrtest::ChildProcess b({"open", dir.Path("f"), mode});
    a.Tell();
    b.Tell();
    const std::string ra = a.ReadLine(), rb = b.ReadLine();
    EXPECT_EQ((ra == "ok") + (rb == "ok"), 1) << ra << " / " << rb;
    const std::string sharing =
        std::to_string(ZRCAUSE_SHARING) + " " + std::to_string(ZRFILEOP_WRITE);
    EXPECT_TRUE(ra == sharing || rb == sharing) << ra << " / " << rb;
  }
}

}  // namespace
