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
class Strings : public ::testing::Test {
 protected:
  using Unit = strtest::UnitOf<S>;
  using Text = strtest::T<S>;
};
TYPED_TEST_SUITE(Strings, strtest::Widths);

TYPED_TEST(Strings, AssignmentAndAppending) {
  using S = TypeParam;
  using Text = typename TestFixture::Text;
  using Unit = typename TestFixture::Unit;
  S s;
  s = Text("abc").get();
  EXPECT_EQ(Ascii(s), "abc");
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
  EXPECT_EQ(s.GetLength(), 5);
  EXPECT_EQ(HeaderOf(s).length, 5);
}

TYPED_TEST(Strings, Concatenation) {
  using S = TypeParam;
  using Text = typename TestFixture::Text;
  using Unit = typename TestFixture::Unit;
  const S ab(Text("ab").get());
  const S empty;
  const Unit* null = nullptr;
  struct Case {
    const char* name;
    S result;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"string+string", ab + S(Text("cd").get()), "abcd"},
      {"string+text", ab + Text("cd").get(), "abcd"},
      {"string+null", ab + null, "ab"},
      {"string+char", ab + WCHAR('c'), "abc"},
      {"string+zero char", ab + WCHAR(0), "ab"},
      {"text+string", Text("cd").get() + ab, "cdab"},
      {"null+string", null + ab, "ab"},
      {"char+string", WCHAR('c') + ab, "cab"},
      {"empty+empty", empty + empty, ""},
      {"empty+text", empty + Text("x").get(), "x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Ascii(c.result), c.expected);
    EXPECT_NE(Chars(c.result), Chars(ab));
  }
  EXPECT_EQ(Chars(empty + empty), Chars(S()));
  EXPECT_EQ(Ascii(ab), "ab");
}

TYPED_TEST(Strings, SizesAndCharacters) {
  using S = TypeParam;
  using Text = typename TestFixture::Text;
  const S s(Text("hello").get());
  EXPECT_EQ(s.GetLength(), 5);
  EXPECT_EQ(s.GetSize(), 5);
  struct SizeCase {
    unsigned start, n;
    int expected;
  } sizes[] = {{0, 0, 0}, {0, 3, 3}, {0, 99, 5}, {2, 2, 2}, {4, 9, 1}, {5, 1, 0}, {70, 3, 0}};
  for (const SizeCase& c : sizes) {
    SCOPED_TRACE(testing::Message() << c.start << "," << c.n);
    EXPECT_EQ(s.GetSize(c.start, c.n), c.expected);
    if (c.start == 0) {
      EXPECT_EQ(s.GetSize(c.n), c.expected);
    }
  }
  EXPECT_EQ(s.GetAt(0), 'h');
  EXPECT_EQ(s.GetAt(4), 'o');
  EXPECT_EQ(s.GetAt(5), 0);
  EXPECT_EQ(s.GetAt(500), 0);
  EXPECT_EQ(Ascii(s.GetData(3)), "lo");
  EXPECT_EQ(Ascii(s.GetData(50)), "");
  EXPECT_EQ(s.GetData(50), s.GetData(5));
}

TYPED_TEST(Strings, CopyOut) {
  using S = TypeParam;
  using Text = typename TestFixture::Text;
  using Unit = typename TestFixture::Unit;
  const S s(Text("hello").get());
  Unit buf[8];
  auto fill = [&] { std::fill(std::begin(buf), std::end(buf), Unit('#')); };

  fill();
  EXPECT_EQ(s.Copy(buf), 5);
  EXPECT_EQ(Ascii(buf), "hello");
  fill();
  EXPECT_EQ(s.Copy(buf, 2), 2);
  EXPECT_EQ(Ascii(buf), "he");
  fill();
  EXPECT_EQ(s.Copy(buf, 7), 5);
  EXPECT_EQ(Ascii(buf), "hello");

  struct FitCase {
    unsigned size;
    int copied;
    const char* text;
  } fits[] = {{1, 0, ""}, {2, 1, "h"}, {5, 4, "hell"}, {6, 5, "hello"}, {8, 5, "hello"}};
  for (const FitCase& c : fits) {
    SCOPED_TRACE(c.size);
    fill();
    EXPECT_EQ(s.CopyFit(buf, c.size), c.copied);
    EXPECT_EQ(Ascii(buf), c.text);
    if (c.copied + 1 < 8) {
      EXPECT_EQ(buf[c.copied + 1], Unit('#')) << "wrote past the text";
    }
  }
  fill();
  EXPECT_EQ(s.CopyFit(buf, 0), 0);
  EXPECT_EQ(buf[0], Unit('#'));
  // Null destinations copy nothing.
  EXPECT_EQ(s.Copy(nullptr), 0);
  EXPECT_EQ(s.Copy(nullptr, 3), 0);
  EXPECT_EQ(s.CopyFit(nullptr, 3), 0);
}

TEST(StringConversion, WideToNarrowAndBack) {
  // Code page 0 converts ASCII to itself whatever the ANSI code page is.
  const CXString narrow(u"plain ASCII");
  EXPECT_STREQ(narrow, "plain ASCII");
  const CXStringW wide("plain ASCII");
  EXPECT_EQ(std::u16string(wide), u"plain ASCII");

  // Latin letters survive a round trip through any ANSI code page that has
  // them, and take more than one byte in none but UTF-8.
  const WCHAR* latin = u"Gr\u00FC\u00DFe";
  const CXString there(latin);
  EXPECT_GE(there.GetSize(), 5);
  const CXStringW back(static_cast<const char*>(there));
  EXPECT_EQ(std::u16string(back), latin);

  CXString assigned("old");
  assigned = latin;
  EXPECT_STREQ(assigned, there);
  assigned = static_cast<const WCHAR*>(nullptr);
  EXPECT_STREQ(assigned, "");

  for (const CXString& s : {CXString(static_cast<const WCHAR*>(nullptr)), CXString(u"")})
    EXPECT_EQ(Chars(s), Chars(CXString()));
  for (const CXStringW& s : {CXStringW(static_cast<const char*>(nullptr)), CXStringW("")})
    EXPECT_EQ(Chars(s), Chars(CXStringW()));
}

TEST(StringConversion, HostMultiByteToUnicode) {
  EXPECT_EQ(Supp_GetACP(), 0u);
  CXStringW out(u"previous");
  EXPECT_EQ(hostMultiByteToUnicode("text", out), 1);
  EXPECT_EQ(std::u16string(out), u"text");
  EXPECT_EQ(HeaderOf(out).allocSize, 5 * 2);
  EXPECT_EQ(hostMultiByteToUnicode("", out), 0);
  EXPECT_EQ(Chars(out), Chars(CXStringW()));
  out = u"previous";
  EXPECT_EQ(hostMultiByteToUnicode(nullptr, out), 0);
  EXPECT_STREQ(Ascii(out).c_str(), "");
}

TEST(StringDoNothing, MembersLeaveTheString) {
  CXString a("Text");
  CXStringW w(u"Text");
  const void* pa = Chars(a);
  const void* pw = Chars(w);
  a.CharToOemA();
  a.OemToCharA();
  a.FreeExtra();
  w.CharToOemA();
  w.OemToCharA();
  w.FreeExtra();
  EXPECT_EQ(Chars(a), pa);
  EXPECT_EQ(Chars(w), pw);
  EXPECT_STREQ(a, "Text");
  EXPECT_EQ(std::u16string(w), u"Text");
}

}  // namespace
