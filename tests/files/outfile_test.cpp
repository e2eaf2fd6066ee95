// The committing writer: the target changes only on Commit (other processes:
// crossprocess_test.cpp).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "files/file_test_util.h"
#include "zr/filelock.h"
#include "zr/fileops.h"
#include "zr/xfile.h"

namespace {

using namespace zrtest;

TEST(OutFile, CommitReplacesTheTargetAndNothingElseDoes) {
  const struct {
    int mode;
    std::string expected;
  } cases[] = {{0, "new"}, {ZRFILE_EXISTING, "old content|new"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    TempDir dir;
    zrtest::WriteText(dir.Path("t"), "old content|");
    const std::u16string target = dir.WPath("t");
    Ref<IXOutFile> out(Fio_OpenOut(target.c_str(), c.mode));
    ASSERT_NE(out.get(), nullptr);
    EXPECT_EQ(std::u16string(out->GetFileName()), target);
    EXPECT_EQ(out->GetPosition(), c.mode ? 12u : 0u) << "appending starts after the old content";
    out->Write("new", 3);
    EXPECT_EQ(dir.Count(), 2u) << "the temporary file lies beside the target";
    EXPECT_EQ(zrtest::ReadText(dir.Path("t")), "old content|") << "unchanged until Commit";
    EXPECT_EQ(Fio_LockCount(target.c_str(), false), 1) << "locked while written";
    out->Commit();
    EXPECT_EQ(zrtest::ReadText(dir.Path("t")), c.expected);
    EXPECT_EQ(dir.Count(), 1u);
    EXPECT_EQ(Fio_LockCount(target.c_str(), false), 0);
    out->Commit();  // a second Commit does nothing
    EXPECT_EQ(CauseOf([&] { out->Write("x", 1); }), ZRCAUSE_INVALIDARG)
        << "no file behind a committed writer";
  }
}

TEST(OutFile, AWriterReleasedWithoutCommitLeavesNoTrace) {
  TempDir dir;
  zrtest::WriteText(dir.Path("t"), "keep");
  {
    Ref<IXOutFile> out(Fio_OpenOut(dir.WPath("t").c_str(), ZRFILE_EXISTING));
    out->WriteString("lost");
  }
  EXPECT_EQ(zrtest::ReadText(dir.Path("t")), "keep");
  EXPECT_EQ(dir.Count(), 1u);
  EXPECT_EQ(Fio_LockCount(dir.WPath("t").c_str(), false), 0);
  {
    Ref<IXOutFile> fresh(Fio_OpenOut(dir.WPath("new").c_str(), 0));
    fresh->WriteString("x");
  }
  EXPECT_EQ(dir.Count(), 1u) << "a new target is not made without Commit";
}

TEST(OutFile, RefusesTargetsItCannotReplace) {
  TempDir dir;
  zrtest::WriteText(dir.Path("ro"), "x");
  ::chmod(dir.Path("ro").c_str(), 0444);
  try {
    Ref<IXOutFile> out(Fio_OpenOut(dir.WPath("ro").c_str(), 0));
    ADD_FAILURE() << "opened a read-only target";
  } catch (const CXFileException&) {
    ADD_FAILURE() << "a plain CXException is expected";
  } catch (const CXException& e) {
    EXPECT_EQ(e.GetCause(), ZRCAUSE_ACCESSDENIED);
  }
  EXPECT_EQ(CauseOf([&] { Ref<IXOutFile> out(Fio_OpenOut(dir.WPath("no/t").c_str(), 0)); }),
            ZRCAUSE_BADPATH);
  EXPECT_EQ(dir.Count(), 1u);
}

TEST(OutFile, ACommitRefusedByAnNELockKeepsTheWrittenContent) {
  TempDir dir;
  zrtest::WriteText(dir.Path("t"), "old");
  const std::u16string target = dir.WPath("t");
  Ref<IXOutFile> out(Fio_OpenOut(target.c_str(), 0));
  out->Write("new", 3);
  Fio_LockFile(target.c_str(), true);
  EXPECT_EQ(ThrownBy([&] { out->Commit(); }).operation, ZRFILEOP_LOCK);
  out.reset();
  EXPECT_EQ(zrtest::ReadText(dir.Path("t")), "old");
  EXPECT_EQ(Fio_LockCount(target.c_str(), false), 0) << "the writer's own lock goes";
  EXPECT_EQ(dir.Count(), 2u) << "the temporary file keeps the content";
  Fio_UnlockFile(target.c_str(), true);
}

}  // namespace
