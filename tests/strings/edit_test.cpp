// Editing members of both string classes: the range rule of Delete, Replace
// and Extract, Insert positions, find-and-replace, trims and case.
#include <climits>
#include <cstring>

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
    S s(Text("abcd").get());
    EXPECT_EQ(Ascii(s.Delete(c.index, c.count)), c.deleted);
    const S source(Text("abcd").get());
    S out(Text("previous").get());
    EXPECT_EQ(source.Extract(c.index, c.count, out), static_cast<int>(std::strlen(c.extracted)));
    EXPECT_EQ(Ascii(out), c.extracted);
    S self(Text("abcd").get());
    EXPECT_EQ(self.Extract(c.index, c.count), static_cast<int>(std::strlen(c.extracted)));
    EXPECT_EQ(Ascii(self), c.extracted);
    S r(Text("abcd").get());
    EXPECT_EQ(Ascii(r.Replace(c.index, c.count, Text("XY"))), c.replaced);
    // An empty or null text replaces nothing.
    S unchanged(Text("abcd").get());
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
    S s(Text("ab").get());
    EXPECT_EQ(Ascii(s.Insert(c.index, Text(c.text))), c.expected);
    if (c.text[0] && !c.text[1]) {
      S t(Text("ab").get());
      EXPECT_EQ(Ascii(t.Insert(c.index, WCHAR(c.text[0]))), c.expected);
    }
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
      {"   ", "", ""},               {"x", "x", "x"},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << '"' << c.text << '"');
    S l(Text(c.text).get()), r(Text(c.text).get());
    EXPECT_EQ(Ascii(l.TrimLeft()), c.left);
    EXPECT_EQ(Ascii(r.TrimRight()), c.right);
  }
  // Nothing to trim: the buffer stays shared.
  S a(Text("abc").get()), b(a);
  b.TrimLeft().TrimRight();
  EXPECT_EQ(Chars(a), Chars(b));
  S mixed(Text("MiXeD 123 _z").get()), empty;
  EXPECT_EQ(Ascii(mixed.Upper()), "MIXED 123 _Z");
  EXPECT_EQ(Ascii(mixed.Lower()), "mixed 123 _z");
  empty.Upper();
  empty.Lower();
  EXPECT_EQ(Chars(empty), Chars(S()));
}

}  // namespace
