// Editing members of both string classes: the range rule of Delete, Replace
// and Extract, and the file extension's replacement.
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "text_util.h"

namespace {

using strtest::Ascii;
using strtest::Chars;

template <class S>
class Edit : public ::testing::Test {};
TYPED_TEST_SUITE(Edit, strtest::Widths);

// The range rule: an index that is negative or not less than the length is
// the length; the range runs from min(i, i + n) (not below 0) to max(i, i + n)
// (not beyond the length).
struct RangeCase {
  int index, count;
  const char* deleted;    // abcd after Delete
  const char* extracted;  // what Extract takes from abcd
  const char* replaced;   // abcd after Replace with XY
};
constexpr RangeCase kRanges[] = {
    {0, 1, "bcd", "a", "XYbcd"},       {1, 2, "ad", "bc", "aXYd"},     {2, -1, "acd", "b", "aXYcd"},
    {2, -5, "cd", "ab", "XYcd"},       {1, 100, "a", "bcd", "aXY"},    {0, 4, "", "abcd", "XY"},
    {3, 0, "abcd", "", "abcd"},  // empty range: nothing, Replace never inserts
    {10, 2, "abcd", "", "abcd"},       {4, 1, "abcd", "", "abcd"},     {-3, 0, "abcd", "", "abcd"},
    {10, -1, "abc", "d", "abcXY"},  // beyond the end: the length, reaching back
    {-1, -2, "ab", "cd", "abXY"},   // negative: the length as well
    {2, INT_MAX, "ab", "cd", "abXY"},  {2, INT_MIN, "cd", "ab", "XYcd"},  // no overflow at the ends of int
};

TYPED_TEST(Edit, RangeRule) {
  STRTEST_TYPES;
  for (const RangeCase& c : kRanges) {
    SCOPED_TRACE(testing::Message() << "index " << c.index << " count " << c.count);
    S s(Text("abcd").get()), out(Text("previous").get()), self(s), r(s), unchanged(s);
    const S source(s);
    EXPECT_EQ(Ascii(s.Delete(c.index, c.count)), c.deleted);
    EXPECT_EQ(source.Extract(c.index, c.count, out), static_cast<int>(std::strlen(c.extracted)));
    EXPECT_EQ(Ascii(out), c.extracted);
    EXPECT_EQ(self.Extract(c.index, c.count), static_cast<int>(std::strlen(c.extracted)));
    EXPECT_EQ(Ascii(self), c.extracted);
    EXPECT_EQ(Ascii(r.Replace(c.index, c.count, Text("XY"))), c.replaced);
    // An empty or null text replaces nothing.
    unchanged.Replace(c.index, c.count, Text(""));
    unchanged.Replace(c.index, c.count, static_cast<const Unit*>(nullptr));
    EXPECT_EQ(Ascii(unchanged), "abcd");
  }
  S empty;
  empty.Delete(0, 3);
  empty.Replace(0, 1, Text("x"));
  EXPECT_EQ(Chars(empty), Chars(S()));
  S out(Text("x").get());
  EXPECT_EQ(empty.Extract(0, 5, out), 0);
  EXPECT_EQ(Chars(out), Chars(S()));
}

TYPED_TEST(Edit, ChangeFileExt) {
  STRTEST_TYPES;
  struct { const char *path, *ext, *expected; } const cases[] = {
      {"name.txt", ".bak", "name.bak"}, {"name", ".bak", "name.bak"},      {"name.", ".bak", "name.bak"},
      {"name.txt", "", "name."},        {"name.txt", "bak", "name.bak"},   {"d.x\\name", "c", "d.x\\name.c"},
      {"a.b.c", "d", "a.b.d"},          {"", "e", ".e"},  {"name.txt", "..bak", "name..bak"},  // one period goes
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.path << " + " << c.ext);
    S s(Text(c.path).get());
    s.ChangeFileExt(Text(c.ext));
    EXPECT_EQ(Ascii(s), c.expected);
  }
  S s(Text("keep.me").get());
  s.ChangeFileExt(static_cast<const Unit*>(nullptr));
  EXPECT_EQ(Ascii(s), "keep.me");
}

}  // namespace

namespace {

// Searches read ahead in the buffer: a match at every position of a longer
// text, and none behind a terminator written into the middle of a buffer.
TYPED_TEST(Edit, FindAtEveryPositionAndNotPastTheTerminator) {
  STRTEST_TYPES;
  for (int at = 0; at <= 38; ++at) {
    SCOPED_TRACE(at);
    std::string text(40, 'x');
    text.replace(static_cast<std::size_t>(at), 2, "ab");
    const S s(Text(text.c_str()).get());
    EXPECT_EQ(s.Find(Text("ab").get()), at);
    EXPECT_EQ(s.Find(WCHAR('b')), at + 1);
    EXPECT_EQ(s.Find(Text("xab").get()), at - 1);  // -1 at 0
  }
  S s(Text("ab-------------------------------cdab").get());
  s.GetBuffer(0)[20] = 0;
  s.ReleaseBuffer();
  EXPECT_EQ((std::vector<int>{s.Find(Text("cd").get()), s.Find(WCHAR('c')), s.Find(Text("ab").get(), 1),
                              s.Find(Text("--").get(), 19), s.FindReplace(Text("cd").get(), Text("X").get())}),
            (std::vector<int>{-1, -1, -1, -1, 0}));
}

}  // namespace
