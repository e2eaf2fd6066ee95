// CXString in a double-byte code page (932): a trail byte 0x5C is never
// taken for a backslash, nor a trail byte for a letter.
#include <gtest/gtest.h>

#include <string>

#include "pal/mbcs.h"
#include "zr/xstring.h"

namespace {

// Code page 932 characters: lead byte, then trail byte.
#define HYO "\x95\x5C"     // trail byte 0x5C: looks like a backslash
#define SO "\x83\x5C"      // the same
#define FULL_B "\x82\x61"  // trail byte 0x61: looks like 'a'

class Mbcs932 : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(zrpal::_setmbcp(932), 0); }
  void TearDown() override { zrpal::_setmbcp(0); }
};

std::string Str(const CXString& s) { return static_cast<const char*>(s); }

TEST_F(Mbcs932, TrailBytesAreNotDelimitersOrLetters) {
  const CXString path("C:\\dir\\" HYO), withExt("C:\\" SO "." HYO);
  EXPECT_EQ(Str(path.FileName()), HYO);
  EXPECT_EQ(Str(path.FilePath()), "C:\\dir");
  EXPECT_EQ(path.GetFileExt(), nullptr);
  EXPECT_EQ(Str(withExt.FileExt()), HYO);
  char name[8];
  EXPECT_EQ(withExt.GetFileName(name), 2);
  EXPECT_EQ(std::string(name), SO);
  CXString dir("C:\\" SO), done("C:\\" SO "\\");
  EXPECT_EQ(Str(dir.AddDirDelim()), "C:\\" SO "\\");
  EXPECT_EQ(Str(done.AddDirDelim()), "C:\\" SO "\\");
  CXString longPath("C:\\" HYO HYO "\\" SO "\\x\\name");
  EXPECT_EQ(longPath.GetLength(), 14);
  EXPECT_EQ(longPath.ReducePathString(5), 1);
  EXPECT_EQ(Str(longPath), "C:\\" HYO HYO "\\...\\name");
  // Trimming and case step over double-byte characters.
  CXString s("  " HYO " x" FULL_B "  ");
  EXPECT_EQ(Str(s.TrimLeft()), HYO " x" FULL_B "  ");
  EXPECT_EQ(Str(s.TrimRight()), HYO " x" FULL_B);
  EXPECT_EQ(Str(s.Upper()), HYO " X" FULL_B);
  EXPECT_EQ(Str(s.Lower()), HYO " x" FULL_B);
  // A match never starts on a trail byte, though the bytes are there.
  const CXString text("a" HYO "c" HYO);
  EXPECT_EQ(text.Find("\\c"), -1);
  EXPECT_EQ(text.Find(HYO, 2), 3);
  EXPECT_EQ(CXString("x" FULL_B "b").Find("ab"), -1);
}

}  // namespace
