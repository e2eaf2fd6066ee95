// CXString::Format / CXStringW::Format through the exported interface: the
// size estimate's rules (FormatV), the buffer Format prepares, arguments that
// point into the string itself, and the cases the estimate does not cover.
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "text_util.h"
#include "zr/exception.h"

namespace {

using strtest::HeaderOf;

// Opens the protected estimate.
template <class S, class Char>
class FormatProbe : public S {
 public:
  using S::S;
  FormatProbe() = default;
  // FormatV reads a copy of the list: the same list gives the same estimate.
  int Estimate(const Char* format, ...) {
    va_list args;
    va_start(args, format);
    const int e = this->FormatV(format, args);
    EXPECT_EQ(this->FormatV(format, args), e);
    va_end(args);
    return e;
  }
};

std::string Text(const CXString& s) { return static_cast<const char*>(s); }
std::u16string Text(const CXStringW& s) { return static_cast<const WCHAR*>(s); }

TEST(XStringFormatEstimateTest, FollowsTheSizeRules) {
  FormatProbe<CXString, char> p;
  int count = 0;
  struct { int estimate, expected; const char* what; } const cases[] = {
      {p.Estimate("100%%"), 4, "%% counts 1"}, {p.Estimate("%d", 7), 32, "integer"},
      {p.Estimate("%40d", 7), 40, "integer wider than 32"}, {p.Estimate("%10.30x", 7), 40, "width + precision"},
      {p.Estimate("%*d", -50, 7), 32, "negative width from *"}, {p.Estimate("%#x", 7), 34, "# adds 2"},
      {p.Estimate("%#s", "abc"), 5, "# adds 2 to texts too"}, {p.Estimate("%100.50g", 1.0), 150, "wide floating point"},
      {p.Estimate("%E", 1.0), 0, "E is not known"}, {p.Estimate("%c", 'x'), 2, "character"},
      {p.Estimate("%.1c", 'x'), 1, "character with precision"}, {p.Estimate("%s", ""), 1, "empty text counts 1"},
      {p.Estimate("%10.3s", "abcdef"), 10, "width over precision"},
      {p.Estimate("%.0s", "abcdef"), 6, "precision 0 does not limit"},
      {p.Estimate("%*.*s", 8, 3, "abcdef"), 8, "both from *"}, {p.Estimate("%hS|%ls", "ab", u"abc"), 6, "h, l"},
      {p.Estimate("%s", static_cast<const char*>(nullptr)), 6, "null text: (null)"},
      {p.Estimate("%n", &count), 0, "n"}, {p.Estimate("abc%-5"), 3, "format ends in a conversion"},
      {p.Estimate("%*.*s", -5, -3, "abc"), -3, "negative * width and precision"},
      // Sizes the rules do not know count their characters as text; the
      // argument after them is still the right one.
      {p.Estimate("%I64d %s", 5LL, "abcdefgh"), 12, "I64 then text"},
      {p.Estimate("%zu%.*s", size_t{1}, 2, "abcd"), 3, "z then * then text"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.estimate, c.expected) << c.what;
  EXPECT_EQ(count, 0);
  // The wide class takes texts the other way round.
  FormatProbe<CXStringW, WCHAR> w;
  EXPECT_EQ((std::vector<int>{w.Estimate(u"%s|%S", u"wide", "narrow"), w.Estimate(u"%C%c%%", 'a', u'b'),
                              w.Estimate(u"%#5.2f", 1.0)}),
            (std::vector<int>{11, 5, 130}));
}

// Formats into `s` and gives its text.
template <class S, class Char, class... Args>
auto Fmt(S& s, const Char* format, Args... args) {
  s.Format(format, args...);
  return Text(s);
}

// A string holding `text` in a buffer of 300 units, room to format in place.
template <class S, class Char>
S Roomy(const Char* text) {
  S s;
  const std::size_t n = std::char_traits<Char>::length(text);
  std::char_traits<Char>::copy(s.GetBuffer(300), text, n)[n] = 0;
  s.ReleaseBuffer();
  return s;
}

// Arguments, and the format itself, may point into the string: in a buffer
// too small for the text, in one large enough to print in place, and in a
// locked one.
TEST(XStringFormatTest, ArgumentsMayPointIntoTheStringItself) {
  CXString s("hello"), big = Roomy<CXString>("world"), locked("locked text"), small("%d-%d");
  const CXString sharing(s);  // a string sharing the buffer stays as it was
  EXPECT_EQ(Fmt(s, "%s %s!", s.GetData(0), s.GetData(0)), "hello hello!");
  EXPECT_STREQ(sharing, "hello");
  EXPECT_EQ(Fmt(big, "%.3s|%s|%s", big.GetData(0), big.GetData(2), big.GetData(0)), "wor|rld|world");
  EXPECT_EQ(Fmt(locked, "[%s]", locked.GetBuffer(100) + 7), "[text]");
  CXStringW w(u"wide");
  EXPECT_EQ(Fmt(w, u"%s+%s", w.GetData(0), w.GetData(1)), u"wide+ide");
  EXPECT_EQ(Fmt(small, small.GetData(0), 1, 2), "1-2");
  CXString roomy = Roomy<CXString>("ab%sxyz");
  EXPECT_EQ(Fmt(roomy, roomy.GetData(0), "0123456789"), "ab0123456789xyz");
  CXStringW wide = Roomy<CXStringW>(u"<%s>");
  EXPECT_EQ(Fmt(wide, wide.GetData(0), u"0123456789"), u"<0123456789>");
}

TEST(XStringFormatTest, PrintsCorrectlyWhenTheEstimateIsTooSmall) {
  CXString s;
  EXPECT_EQ(Fmt(s, "%*d|", -40, 7), "7" + std::string(39, ' ') + "|");
  char expected[400];
  std::snprintf(expected, sizeof expected, "%f", 1e300);
  EXPECT_EQ(Fmt(s, "%f", 1e300), expected);
  EXPECT_EQ(Fmt(s, "%I64d%I64d%I64d", LLONG_MIN, LLONG_MAX, LLONG_MIN),
            "-9223372036854775808" "9223372036854775807" "-9223372036854775808");
  EXPECT_EQ(Fmt(s, "%*.*s", -5, -3, "abc"), "abc  ");
  EXPECT_EQ(Fmt(s, "%F|%s", 1.5, "ab"), "1.500000|ab");  // F is the conversion, not a size
  CXStringW w;
  EXPECT_EQ(Fmt(w, u"%.300f", 1.0), u"1." + std::u16string(300, u'0'));
  // The estimate (2e9 units) does not fit a wide buffer: the text's real
  // length is used instead. A text that really is that long cannot be held.
  CXStringW fresh;
  EXPECT_EQ(Fmt(fresh, u"%.2000000000g", 1.0), u"1");
  EXPECT_LE(HeaderOf(fresh).allocSize, 16);
  EXPECT_THROW(fresh.Format(u"%*d%*d", INT_MAX, 1, INT_MAX, 1), CXBadAlloc);
  EXPECT_EQ(Text(fresh), u"1");  // left as it was
  s = "kept";
  // The one allocation failure, whichever of its bases a handler names.
  EXPECT_THROW(s.Format("%*d%*d", INT_MAX, 1, INT_MAX, 1), CXMemException);
  EXPECT_THROW(s.Format("%2147483647d", 1), CXBadAlloc);
  EXPECT_EQ(Text(s), "kept");
}

}  // namespace
