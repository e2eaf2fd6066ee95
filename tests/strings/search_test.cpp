// Comparing and searching members of both string classes.
#include "text_util.h"

namespace {

template <class S>
class Search : public ::testing::Test {};
TYPED_TEST_SUITE(Search, strtest::Widths);

int Sign(int v) { return (v > 0) - (v < 0); }

TYPED_TEST(Search, Comparisons) {
  STRTEST_TYPES;
  struct {
    const char *left, *right;
    int n;
    int ordinal, ignoreCase, ordinalN, ignoreCaseN;  // signs
  } const cases[] = {
      {"abc", "abc", 3, 0, 0, 0, 0},     {"abc", "abd", 2, -1, -1, 0, 0},   {"abd", "abc", 3, 1, 1, 1, 1},
      {"ab", "abc", 2, -1, -1, 0, 0},    {"", "a", 1, -1, -1, -1, -1},      {"Hello", "hELLO", 5, -1, 0, -1, 0},
      {"apple", "Banana", 1, 1, -1, 1, -1},  // 'a' > 'B' by code, < 'b' by letter
      {"abcdef", "abcxyz", 0, -1, -1, 0, 0},
      {"abcdef", "ABCxyz", -1, 1, -1, 1, -1},  // a negative count reads as unsigned
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.left << " ? " << c.right << " n=" << c.n);
    const S s(Text(c.left).get());
    // Compare gives the sign itself; the others whatever the run-time gives.
    EXPECT_EQ(s.Compare(Text(c.right)), c.ordinal);
    EXPECT_EQ(Sign(s.CompareI(Text(c.right))), c.ignoreCase);
    EXPECT_EQ(Sign(s.CompareN(Text(c.right), c.n)), c.ordinalN);
    EXPECT_EQ(Sign(s.CompareIN(Text(c.right), c.n)), c.ignoreCaseN);
  }
}

TYPED_TEST(Search, NullTexts) {
  STRTEST_TYPES;
  const Unit* null = nullptr;
  S s(Text("abc").get());
  EXPECT_EQ(s.Compare(null), 1);
  EXPECT_EQ(s.CompareI(null), 1);
  EXPECT_EQ(s.CompareN(null, 2), 1);
  EXPECT_EQ(s.CompareIN(null, 2), 1);
  EXPECT_EQ(s.Find(null), -1);
  EXPECT_EQ(s.FindOnOf(null), -1);
  EXPECT_EQ(s.FindRevOnOf(null), -1);
  EXPECT_EQ(s.FindReplace(null, Text("x").get()), 0);
  EXPECT_EQ(s.FindReplace(Text("a").get(), null), 0);
  EXPECT_EQ(s.FindReplace(null, WCHAR('x')), 0);
  EXPECT_EQ(s.FindReplace(WCHAR('a'), null), 0);
  EXPECT_EQ(strtest::Ascii(s), "abc");
}

TYPED_TEST(Search, FindFromAStart) {
  STRTEST_TYPES;
  const S s(Text("abcabc").get());
  struct { const char* text; int start, expected; } const cases[] = {
      {"bc", 0, 1},       {"bc", 2, 4},          {"bc", 4, 4}, {"bc", 5, -1}, {"bc", 100, -1},
      {"bc", -1, -1},  // read as unsigned: beyond the end
      {"abcabc", 0, 0},   {"abcabcd", 0, -1},    {"zz", 0, -1},
      {"", 0, 0},         {"", 3, 3},            {"", -1, 6},  // an empty text is found where the search starts
      {"a", 0, 0},        {"a", 1, 3},           {"c", 3, 5},  {"c", 6, -1},  {"x", 0, -1},
      {"b", -5, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.text << " from " << c.start);
    EXPECT_EQ(s.Find(Text(c.text), c.start), c.expected);
    if (c.text[0] && !c.text[1]) {
      EXPECT_EQ(s.Find(WCHAR(c.text[0]), c.start), c.expected);
    }
  }
  EXPECT_EQ(s.Find(Text("c").get()), 2);  // the start defaults to 0
  EXPECT_EQ(s.Find(WCHAR('c')), 2);
}

TYPED_TEST(Search, SetsAndReverse) {
  STRTEST_TYPES;
  const S s(Text("path/to\\file.txt").get());
  EXPECT_EQ(s.FindOnOf(Text("\\/")), 4);
  EXPECT_EQ(s.FindOnOf(Text("\\/"), 5), 7);
  EXPECT_EQ(s.FindOnOf(Text("\\/"), 8), -1);
  EXPECT_EQ(s.FindOnOf(Text("")), -1);
  EXPECT_EQ(s.FindOnOf(Text("t"), -1), -1);
  EXPECT_EQ(s.FindRevOnOf(Text("\\/")), 7);
  EXPECT_EQ(s.FindRevOnOf(Text("xt")), 15);
  EXPECT_EQ(s.FindRevOnOf(Text("p")), 0);
  EXPECT_EQ(s.FindRevOnOf(Text("QZ")), -1);
  EXPECT_EQ(s.FindRev(WCHAR('t')), 15);
  EXPECT_EQ(s.FindRev(WCHAR('a')), 1);
  EXPECT_EQ(s.FindRev(WCHAR('q')), -1);
  // An empty string finds nothing, not even an empty text or the terminator.
  const S empty;
  EXPECT_EQ(empty.Find(Text("")), -1);
  EXPECT_EQ(empty.Find(WCHAR(0)), -1);
  EXPECT_EQ(empty.FindOnOf(Text("a")), -1);
  EXPECT_EQ(empty.FindRev(WCHAR('a')), -1);
  EXPECT_EQ(empty.FindRevOnOf(Text("a")), -1);
}

TEST(SearchWide, FindIgnoringCase) {
  const CXStringW s(u"xxabcxxABC");
  EXPECT_EQ(s.FindI(u"ABC"), 2);
  EXPECT_EQ(s.FindI(u"xAbCx"), 1);
  EXPECT_EQ(s.FindI(u"abcd"), -1);
  EXPECT_EQ(s.FindI(u""), 0);
  EXPECT_EQ(s.FindI(nullptr), -1);
  EXPECT_EQ(CXStringW().FindI(u"a"), -1);
  // The search works on copies: the string keeps its case and its buffer.
  EXPECT_EQ(std::u16string(s), u"xxabcxxABC");
}

}  // namespace
