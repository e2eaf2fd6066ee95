// Editing and searching members of both string classes: the range rule of
// Delete, Replace and Extract, Insert positions, find-and-replace, trims and
// case, comparisons and searches.
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

TYPED_TEST(Edit, InsertPositions) {
  STRTEST_TYPES;
  struct { int index; const char *text, *expected; } const cases[] = {
      {0, "x", "xab"}, {1, "x", "axb"}, {2, "x", "abx"}, {99, "x", "abx"},
      {-1, "x", "abx"}, {INT_MIN, "xy", "abxy"}, {1, "", "ab"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.index << " " << c.text);
    S s(Text("ab").get()), t(s);
    EXPECT_EQ(Ascii(s.Insert(c.index, Text(c.text))), c.expected);
    if (c.text[0] && !c.text[1]) { EXPECT_EQ(Ascii(t.Insert(c.index, WCHAR(c.text[0]))), c.expected); }
  }
  S s(Text("ab").get()), empty;
  s.Insert(1, WCHAR(0));
  s.Insert(1, static_cast<const Unit*>(nullptr));
  EXPECT_EQ(Ascii(s), "ab");
  EXPECT_EQ(Ascii(empty.Insert(5, Text("new"))), "new");
}

TYPED_TEST(Edit, FindReplaceOverloads) {
  STRTEST_TYPES;
  struct { const char* name; int (*run)(S&); const char* start; int result; const char* expected; } const cases[] = {
      {"text,text", [](S& s) { return s.FindReplace(Text("a").get(), Text("b").get()); }, "aaa", 1, "baa"},
      {"text,text none", [](S& s) { return s.FindReplace(Text("a").get(), Text("b").get()); }, "ccc", 0, "ccc"},
      {"longer", [](S& s) { return s.FindReplace(Text("lo").get(), Text("LOW").get()); }, "hello lo", 1, "helLOW lo"},
      {"empty what", [](S& s) { return s.FindReplace(Text("").get(), Text("<").get()); }, "abc", 1, "<abc"},
      {"empty what, empty string", [](S& s) { return s.FindReplace(Text("").get(), Text("x").get()); }, "", 1, "x"},
      {"empty with", [](S& s) { return s.FindReplace(Text("b").get(), Text("").get()); }, "abcb", 1, "acb"},
      {"text,char", [](S& s) { return s.FindReplace(Text("bc").get(), WCHAR('X')); }, "abcbc", 1, "aXbc"},
      {"text,zero char", [](S& s) { return s.FindReplace(Text("bc").get(), WCHAR(0)); }, "abcbc", 1, "abc"},
      {"char,char", [](S& s) { return s.FindReplace(WCHAR('c'), WCHAR('d')); }, "cxc", 1, "dxc"},
      {"char,char none", [](S& s) { return s.FindReplace(WCHAR('q'), WCHAR('d')); }, "cxc", 0, "cxc"},
      {"zero char what", [](S& s) { return s.FindReplace(WCHAR(0), WCHAR('d')); }, "cxc", 0, "cxc"},
      {"char,text", [](S& s) { return s.FindReplace(WCHAR('x'), Text("--").get()); }, "cxcx", 1, "c--cx"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    S s(Text(c.start).get());
    EXPECT_EQ(c.run(s), c.result);
    EXPECT_EQ(Ascii(s), c.expected);
  }
}

TYPED_TEST(Edit, TrimsAndCase) {
  STRTEST_TYPES;
  struct { const char *text, *left, *right; } const cases[] = {
      {"  a b  ", "a b  ", "  a b"}, {"\t\r\n\v\fx\t\r\n\v\f", "x\t\r\n\v\f", "\t\r\n\v\fx"},
      {"   ", "", ""},               {"x", "x", "x"}, {"", "", ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << '"' << c.text << '"');
    EXPECT_EQ(Ascii(S(Text(c.text).get()).TrimLeft()), c.left);
    EXPECT_EQ(Ascii(S(Text(c.text).get()).TrimRight()), c.right);
  }
  // Nothing to trim: the buffer stays shared.
  S a(Text("abc").get()), b(a);
  b.TrimLeft().TrimRight();
  EXPECT_EQ(Chars(a), Chars(b));
  S mixed(Text("MiXeD 123 _z").get()), empty;
  EXPECT_EQ(Ascii(mixed.Upper()), "MIXED 123 _Z");
  EXPECT_EQ(Ascii(mixed.Lower()), "mixed 123 _z");
  empty.Upper().Lower();
  EXPECT_EQ(Chars(empty), Chars(S()));
}

int Sign(int v) { return (v > 0) - (v < 0); }

TYPED_TEST(Edit, Comparisons) {
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

TYPED_TEST(Edit, FindFromAStart) {
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
    if (c.text[0] && !c.text[1]) { EXPECT_EQ(s.Find(WCHAR(c.text[0]), c.start), c.expected); }
  }
  EXPECT_EQ(s.Find(Text("c").get()), 2);  // the start defaults to 0
  EXPECT_EQ(s.Find(WCHAR('c')), 2);
}

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

// Results side by side, expected against got. Null texts compare greater
// and are never found nor replaced; an empty string finds nothing, not even
// an empty text or the terminator.
TYPED_TEST(Edit, SetsReverseAndNullTexts) {
  STRTEST_TYPES;
  using V = std::vector<int>;
  const Unit* null = nullptr;
  const S s(Text("path/to\\file.txt").get()), empty;
  EXPECT_EQ((V{s.FindOnOf(Text("\\/")), s.FindOnOf(Text("\\/"), 5), s.FindOnOf(Text("\\/"), 8), s.FindOnOf(Text("")),
               s.FindOnOf(Text("t"), -1)}),
            (V{4, 7, -1, -1, -1}));
  EXPECT_EQ((V{s.FindRevOnOf(Text("\\/")), s.FindRevOnOf(Text("xt")), s.FindRevOnOf(Text("p")),
               s.FindRevOnOf(Text("QZ")), s.FindRev(WCHAR('t')), s.FindRev(WCHAR('a')), s.FindRev(WCHAR('q'))}),
            (V{7, 15, 0, -1, 15, 1, -1}));
  EXPECT_EQ((V{empty.Find(Text("")), empty.Find(WCHAR(0)), empty.FindOnOf(Text("a")), empty.FindRev(WCHAR('a')),
               empty.FindRevOnOf(Text("a"))}),
            V(5, -1));
  S abc(Text("abc").get());
  EXPECT_EQ((V{abc.Compare(null), abc.CompareI(null), abc.CompareN(null, 2), abc.CompareIN(null, 2)}), V(4, 1));
  EXPECT_EQ((V{abc.Find(null), abc.FindOnOf(null), abc.FindRevOnOf(null)}), V(3, -1));
  EXPECT_EQ((V{abc.FindReplace(null, Text("x").get()), abc.FindReplace(Text("a").get(), null),
               abc.FindReplace(null, WCHAR('x')), abc.FindReplace(WCHAR('a'), null)}),
            V(4, 0));
  EXPECT_EQ(Ascii(abc), "abc");
}

TEST(EditWide, FindIgnoringCase) {
  const CXStringW s(u"xxabcxxABC");
  EXPECT_EQ((std::vector<int>{s.FindI(u"ABC"), s.FindI(u"xAbCx"), s.FindI(u"abcd"), s.FindI(u""), s.FindI(nullptr),
                              CXStringW().FindI(u"a")}),
            (std::vector<int>{2, 1, -1, 0, -1, -1}));
  // The search works on copies: the string keeps its case.
  EXPECT_EQ(std::u16string(s), u"xxabcxxABC");
}

}  // namespace
