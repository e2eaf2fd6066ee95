// Construction, conversion between the widths, operators and the reading
// members of both string classes.
#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "text_util.h"

namespace {

using strtest::Ascii;
using strtest::Chars;
using strtest::HeaderOf;

template <class S>
class Strings : public ::testing::Test {};
TYPED_TEST_SUITE(Strings, strtest::Widths);

TYPED_TEST(Strings, AssignmentAppendingAndConcatenation) {
  STRTEST_TYPES;
  S s(Text("abc").get());
  s = WCHAR('q');
  EXPECT_EQ(Ascii(s), "q");
  s = WCHAR(0);
  EXPECT_EQ(Chars(s), Chars(S()));
  s += Text("de").get();
  s += static_cast<const Unit*>(nullptr);
  s += WCHAR('f');
  s += WCHAR(0);  // appends nothing
  s += S(Text("gh").get());
  s += S();
  EXPECT_EQ(Ascii(s), "defgh");
  EXPECT_EQ(HeaderOf(s).length, 5);

  const S ab(Text("ab").get()), empty;
  const Unit* null = nullptr;
  struct Case { const char* name; S result; const char* expected; };
  const std::vector<Case> cases = {
      {"string+string", ab + S(Text("cd").get()), "abcd"}, {"string+text", ab + Text("cd").get(), "abcd"},
      {"string+null", ab + null, "ab"},                    {"string+char", ab + WCHAR('c'), "abc"},
      {"string+zero char", ab + WCHAR(0), "ab"},           {"text+string", Text("cd").get() + ab, "cdab"},
      {"null+string", null + ab, "ab"},                    {"char+string", WCHAR('c') + ab, "cab"},
      {"empty+empty", empty + empty, ""},                  {"empty+text", empty + Text("x").get(), "x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Ascii(c.result), c.expected);
    EXPECT_NE(Chars(c.result), Chars(ab));
  }
  EXPECT_EQ(Chars(empty + empty), Chars(S()));
  EXPECT_EQ(Ascii(ab), "ab");
}

TYPED_TEST(Strings, ReadingMembers) {
  STRTEST_TYPES;
  S s(Text("hello").get());
  EXPECT_EQ(s.GetLength(), 5);
  EXPECT_EQ(s.GetSize(), 5);
  struct { unsigned start, n; int expected; } const sizes[] = {
      {0, 0, 0}, {0, 3, 3}, {0, 99, 5}, {2, 2, 2}, {4, 9, 1}, {5, 1, 0}, {70, 3, 0}};
  for (const auto& c : sizes) {
    SCOPED_TRACE(testing::Message() << c.start << "," << c.n);
    EXPECT_EQ(s.GetSize(c.start, c.n), c.expected);
    if (c.start == 0) { EXPECT_EQ(s.GetSize(c.n), c.expected); }
  }
  EXPECT_EQ((std::vector<int>{s.GetAt(0), s.GetAt(4), s.GetAt(5), s.GetAt(500)}), (std::vector<int>{'h', 'o', 0, 0}));
  EXPECT_EQ(Ascii(s.GetData(3)), "lo");
  EXPECT_EQ(s.GetData(50), s.GetData(5));

  // Copy with a count n (none when n < 0), or CopyFit with a size n.
  struct Case { bool fit; int n, copied; const char* text; } const cases[] = {
      {false, -1, 5, "hello"}, {false, 2, 2, "he"},  {false, 7, 5, "hello"}, {true, 1, 0, ""},
      {true, 2, 1, "h"},       {true, 5, 4, "hell"}, {true, 6, 5, "hello"},  {true, 8, 5, "hello"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.fit ? "CopyFit " : "Copy ") << c.n);
    Unit buf[8];
    std::fill(std::begin(buf), std::end(buf), Unit('#'));
    EXPECT_EQ(c.fit ? s.CopyFit(buf, c.n) : c.n < 0 ? s.Copy(buf) : s.Copy(buf, c.n), c.copied);
    EXPECT_EQ(Ascii(buf), c.text);
    EXPECT_EQ(buf[c.copied + 1], Unit('#')) << "wrote past the text";
  }
  Unit buf[1] = {Unit('#')};
  EXPECT_EQ(s.CopyFit(buf, 0), 0);
  EXPECT_EQ(buf[0], Unit('#'));  // no room even for the terminator
  EXPECT_EQ(s.Copy(nullptr), 0);
  EXPECT_EQ(s.Copy(nullptr, 3), 0);
  EXPECT_EQ(s.CopyFit(nullptr, 3), 0);

  // The members kept for compatibility change nothing.
  const void* before = Chars(s);
  s.CharToOemA();
  s.OemToCharA();
  s.FreeExtra();
  EXPECT_EQ(Chars(s), before);
  EXPECT_EQ(Ascii(s), "hello");
}

TEST(StringConversion, WideToNarrowAndBack) {
  // Code page 0 converts ASCII to itself whatever the ANSI code page is.
  EXPECT_STREQ(CXString(u"plain ASCII"), "plain ASCII");
  EXPECT_EQ(std::u16string(CXStringW("plain ASCII")), u"plain ASCII");
  // Latin letters survive a round trip through any ANSI code page that has
  // them, and take more than one byte in none but UTF-8.
  const WCHAR* latin = u"Gr\u00FC\u00DFe";
  const CXString there(latin);
  EXPECT_GE(there.GetSize(), 5);
  EXPECT_EQ(std::u16string(CXStringW(static_cast<const char*>(there))), latin);
  CXString assigned("old");
  assigned = latin;
  EXPECT_STREQ(assigned, there);
  assigned = static_cast<const WCHAR*>(nullptr);
  EXPECT_STREQ(assigned, "");
  for (const CXString& s : {CXString(static_cast<const WCHAR*>(nullptr)), CXString(u"")})
    EXPECT_EQ(Chars(s), Chars(CXString()));
  for (const CXStringW& s : {CXStringW(static_cast<const char*>(nullptr)), CXStringW("")})
    EXPECT_EQ(Chars(s), Chars(CXStringW()));

  EXPECT_EQ(Supp_GetACP(), 0u);
  CXStringW out(u"previous");
  EXPECT_EQ(hostMultiByteToUnicode("text", out), 1);
  EXPECT_EQ(std::u16string(out), u"text");
  EXPECT_EQ(HeaderOf(out).allocSize, 5 * 2);
  EXPECT_EQ(hostMultiByteToUnicode("", out), 0);
  EXPECT_EQ(Chars(out), Chars(CXStringW()));
  out = u"previous";
  EXPECT_EQ(hostMultiByteToUnicode(nullptr, out), 0);
  EXPECT_EQ(Ascii(out), "");
}

}  // namespace
