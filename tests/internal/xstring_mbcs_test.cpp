// CXString in a double-byte code page (932): indices count characters, a
// double-byte character is one character, and a trail byte 0x5C is never
// taken for a backslash.
#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "pal/mbcs.h"
#include "zr/xstring.h"

namespace {

// Code page 932 characters: lead byte, then trail byte.
#define HIRA_A "\x82\xA0"    // one character, code 0x82A0
#define HYO "\x95\x5C"       // trail byte 0x5C: looks like a backslash
#define SO "\x83\x5C"        // the same
#define FULL_B "\x82\x61"    // trail byte 0x61: looks like 'a'

constexpr WCHAR kHiraA = 0x82A0;
constexpr WCHAR kHyo = 0x955C;

class Mbcs932 : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(zrpal::_setmbcp(932), 0); }
  void TearDown() override { zrpal::_setmbcp(0); }
};

std::string Str(const CXString& s) { return static_cast<const char*>(s); }

TEST_F(Mbcs932, DoubleByteCharacterCountsOnce) {
  const CXString s("a" HIRA_A "b" HYO "c");
  EXPECT_EQ(s.GetSize(), 7);
  EXPECT_EQ(s.GetLength(), 5);
  const WCHAR at[] = {'a', kHiraA, 'b', kHyo, 'c', 0};
  for (unsigned i = 0; i < std::size(at); ++i) EXPECT_EQ(s.GetAt(i), at[i]) << i;
  EXPECT_EQ(s.GetSize(2u), 3);
  EXPECT_EQ(s.GetSize(1u, 1u), 2);
  EXPECT_EQ(s.GetSize(3u, 9u), 3);
  EXPECT_EQ(Str(s.GetData(2)), "b" HYO "c");
  char buf[8];
  EXPECT_EQ(s.Copy(buf, 2), 3);
  EXPECT_EQ(std::string(buf), "a" HIRA_A);
  // A fitting copy never ends with half a character.
  EXPECT_EQ(s.CopyFit(buf, 3), 1);
  EXPECT_EQ(std::string(buf), "a");
  EXPECT_EQ(s.CopyFit(buf, 4), 3);
  EXPECT_EQ(std::string(buf), "a" HIRA_A);
}

TEST_F(Mbcs932, EditingByCharacterIndex) {
  CXString s("a" HIRA_A "b" HYO "c"), out;
  EXPECT_EQ(Str(CXString(s).Delete(1, 1)), "ab" HYO "c");
  EXPECT_EQ(Str(CXString(s).Delete(4, -2)), "a" HIRA_A "c");
  EXPECT_EQ(Str(CXString(s).Insert(2, kHyo)), "a" HIRA_A HYO "b" HYO "c");
  EXPECT_EQ(Str(CXString(s).Insert(1, "xy")), "axy" HIRA_A "b" HYO "c");
  EXPECT_EQ(Str(CXString(s).Replace(3, 1, "-")), "a" HIRA_A "b-c");
  EXPECT_EQ(s.Extract(1, 2, out), 3);  // bytes
  EXPECT_EQ(Str(out), HIRA_A "b");
  EXPECT_EQ(CXString(s).Extract(-1, -2), 3);

  CXString t("x");
  t += kHyo;
  t = WCHAR(kHyo) + (t + kHiraA);
  EXPECT_EQ(Str(t), HYO "x" HYO HIRA_A);
  EXPECT_EQ(t.FindReplace(kHyo, WCHAR('-')), 1);
  EXPECT_EQ(Str(t), "-x" HYO HIRA_A);
  EXPECT_EQ(t.FindReplace(WCHAR('\\'), "!"), 0);  // the trail byte is no backslash
}

TEST_F(Mbcs932, SearchesReturnCharacterIndices) {
  const CXString s("a" HIRA_A "b" HYO "c" HYO);
  EXPECT_EQ(s.Find("c"), 4);
  EXPECT_EQ(s.Find(kHyo), 3);
  EXPECT_EQ(s.Find(kHyo, 4), 5);
  EXPECT_EQ(s.Find(HYO, 4), 5);
  EXPECT_EQ(s.FindRev(kHyo), 5);
  EXPECT_EQ(s.FindRev(WCHAR('\\')), -1);
  EXPECT_EQ(s.Find(WCHAR('\\')), -1);
  // A match never starts on a trail byte, though the bytes are there.
  EXPECT_EQ(s.Find("\\c"), -1);
  EXPECT_EQ(CXString("x" FULL_B "b").Find("ab"), -1);
  EXPECT_EQ(s.FindOnOf("\\c"), 4);
  EXPECT_EQ(s.FindRevOnOf("\\"), -1);
  EXPECT_EQ(s.FindRevOnOf("ab\\"), 2);
  // A character whose high byte is no lead byte is its low byte, in searches
  // as in Insert: 0x0162 is 'b', 0x015C a backslash (never a trail byte).
  EXPECT_EQ(s.Find(WCHAR(0x0162)), 2);
  EXPECT_EQ(s.FindRev(WCHAR(0x0162)), 2);
  EXPECT_EQ(s.Find(WCHAR(0x015C)), -1);
  // A set that holds a double-byte character matches none of its bytes.
  EXPECT_EQ(CXString("\x5C" "a").FindRevOnOf(HYO), -1);
}

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
}

// In a single-byte code page a character operand is its low byte alone.
TEST(MbcsSingleByte, CharacterOperandsAreOneByte) {
  ASSERT_EQ(zrpal::_getmbcp(), 0);
  CXString s("x"), bytes(FULL_B);
  s += kHyo;  // 0x95 is no lead byte here: only the low byte 0x5C
  EXPECT_EQ(Str(s), "x\\");
  EXPECT_EQ(s.GetLength(), 2);
  EXPECT_EQ(s.Find(kHyo), 1);
  EXPECT_EQ(s.FindRev(kHyo), 1);
  EXPECT_EQ(s.Find(WCHAR(0x0178)), 0);
  EXPECT_EQ(bytes.GetLength(), 2);
  EXPECT_EQ(Str(bytes.Upper()), "\x82\x41");
  EXPECT_EQ(CXString("C:\\dir\\" HYO).FileName().GetLength(), 0);
}

}  // namespace
