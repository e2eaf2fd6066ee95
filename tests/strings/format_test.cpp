// CXString::Format / CXStringW::Format through the exported interface: the
// size estimate's rules (FormatV), the buffer Format prepares, arguments that
// point into the string itself, and the cases the estimate does not cover.
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <new>
#include <string>

#include "text_util.h"

namespace {

using strtest::HeaderOf;

// Opens the protected estimate.
template <class S, class Char>
class FormatProbe : public S {
 public:
  using S::S;
  FormatProbe() = default;
  int Estimate(const Char* format, ...) {
    va_list args;
    va_start(args, format);
    const int e = this->FormatV(format, args);
    // FormatV reads a copy: the same list gives the same estimate again.
    EXPECT_EQ(this->FormatV(format, args), e);
    va_end(args);
    return e;
  }
};
using ProbeA = FormatProbe<CXString, char>;
using ProbeW = FormatProbe<CXStringW, WCHAR>;

std::string Text(const CXString& s) { return static_cast<const char*>(s); }
std::u16string Text(const CXStringW& s) { return static_cast<const WCHAR*>(s); }

TEST(XStringFormatEstimateTest, FollowsTheSizeRules) {
  ProbeA p;
  int count = 0;
  struct { int estimate, expected; const char* what; } const cases[] = {
      {p.Estimate(""), 0, "empty format"}, {p.Estimate("abc"), 3, "plain characters"},
      {p.Estimate("100%%"), 4, "%% counts 1"}, {p.Estimate("%d", 7), 32, "integer"},
      {p.Estimate("%40d", 7), 40, "integer wider than 32"}, {p.Estimate("%10.30x", 7), 40, "width + precision"},
      {p.Estimate("%-*d", 50, 7), 50, "width from *"}, {p.Estimate("%*d", -50, 7), 32, "negative width from *"},
      {p.Estimate("%#x", 7), 34, "# adds 2"}, {p.Estimate("%#s", "abc"), 5, "# adds 2 to texts too"},
      {p.Estimate("%p", &count), 32, "pointer"}, {p.Estimate("%f", 1.0), 128, "floating point"},
      {p.Estimate("%100.50g", 1.0), 150, "wide floating point"}, {p.Estimate("%Lf", 1.0L), 128, "L changes nothing"},
      {p.Estimate("%E", 1.0), 0, "E is not known"}, {p.Estimate("%c", 'x'), 2, "character"},
      {p.Estimate("%5C", u'x'), 5, "character with width"}, {p.Estimate("%.1c", 'x'), 1, "character with precision"},
      {p.Estimate("%s", "abc"), 3, "text"}, {p.Estimate("%s", ""), 1, "empty text counts 1"},
      {p.Estimate("%5s", "ab"), 5, "text with width"}, {p.Estimate("%.2s", "abcdef"), 2, "text with precision"},
      {p.Estimate("%10.3s", "abcdef"), 10, "width over precision"},
      {p.Estimate("%.0s", "abcdef"), 6, "precision 0 does not limit"},
      {p.Estimate("%.*s", 3, "abcdef"), 3, "precision from *"},
      {p.Estimate("%*.*s", 8, 3, "abcdef"), 8, "both from *"}, {p.Estimate("%S", u"wide"), 4, "S takes wide text"},
      {p.Estimate("%hS|%ls", "ab", u"abc"), 6, "h narrow, l wide"},
      {p.Estimate("%s", static_cast<const char*>(nullptr)), 6, "null text: (null)"},
      {p.Estimate("%n", &count), 0, "n"}, {p.Estimate("%y"), 0, "unknown type"},
      {p.Estimate("abc%-5"), 3, "format ends in a conversion"},
      {p.Estimate("%*.*s", -5, -3, "abc"), -3, "negative * width and precision"},
      // Sizes the rules do not know count their characters as text; the
      // argument after them is still the right one.
      {p.Estimate("%I64d %s", 5LL, "abcdefgh"), 12, "I64 then text"},
      {p.Estimate("%lld|%s", 5LL, "abcd"), 6, "ll then text"},
      {p.Estimate("%E%s", 1.0, "abc"), 3, "E then text"},
      {p.Estimate("%zu%.*s", size_t{1}, 2, "abcd"), 3, "z then * then text"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.estimate, c.expected) << c.what;
  EXPECT_EQ(count, 0);
}

TEST(XStringFormatEstimateTest, WideClassTakesTextsTheOtherWayRound) {
  ProbeW p;
  EXPECT_EQ(p.Estimate(u"%s|%S", u"wide", "narrow"), 11);
  EXPECT_EQ(p.Estimate(u"%hs%lS", "ab", u"abc"), 5);
  EXPECT_EQ(p.Estimate(u"%10.3S", "abcdef"), 10);
  EXPECT_EQ(p.Estimate(u"%C%c%%", 'a', u'b'), 5);
  EXPECT_EQ(p.Estimate(u"%s", static_cast<const WCHAR*>(nullptr)), 6);
  EXPECT_EQ(p.Estimate(u"%#5.2f", 1.0), 130);
}

TEST(XStringFormatTest, PrintsIntoABufferOfTheEstimate) {
  CXString s;
  s.Format("%d", 7);
  EXPECT_EQ(Text(s), "7");
  EXPECT_EQ(HeaderOf(s).allocSize, 33);  // a fresh buffer of exactly E + 1 units
  CXStringW w;
  w.Format(u"%10.3s", u"abcdef");
  EXPECT_EQ(Text(w), u"       abc");
  EXPECT_EQ(HeaderOf(w).allocSize, 2 * 11);
  // A buffer large enough already stays.
  s.GetBuffer(200);
  s.ReleaseBuffer();
  const char* before = s;
  s.Format("%d-%s", 42, "x");
  EXPECT_EQ(Text(s), "42-x");
  EXPECT_EQ(static_cast<const char*>(s), before);
  EXPECT_EQ(HeaderOf(s).allocSize, 201);
  s.Format(nullptr);
  EXPECT_EQ(Text(s), "");
}

TEST(XStringFormatTest, TextOfTheOtherWidthIsConvertedLikeTheConstructors) {
  // Three bytes per character in UTF-8: more than the estimate counts.
  std::u16string wide(100, u'\u20AC');
  CXString s;
  s.Format("[%S]", wide.c_str());
  EXPECT_EQ(Text(s), "[" + Text(CXString(wide.c_str())) + "]");
  const std::string narrow = Text(CXString(wide.c_str()));
  CXStringW w;
  w.Format(u"<%S>", narrow.c_str());
  EXPECT_EQ(Text(w), u"<" + Text(CXStringW(narrow.c_str())) + u">");
}

TEST(XStringFormatTest, ArgumentsMayPointIntoTheStringItself) {
  CXString s("hello");
  s.Format("%s %s!", static_cast<const char*>(s), static_cast<const char*>(s));
  EXPECT_EQ(Text(s), "hello hello!");
  // A buffer large enough to be written in place.
  CXString big;
  std::snprintf(big.GetBuffer(300), 301, "%s", "world");
  big.ReleaseBuffer();
  big.Format("%.3s|%s|%s", static_cast<const char*>(big), big.GetData(2), static_cast<const char*>(big));
  EXPECT_EQ(Text(big), "wor|rld|world");
  // Even while the buffer is locked.
  CXString locked("locked text");
  char* p = locked.GetBuffer(100);
  locked.Format("[%s]", p + 7);
  EXPECT_EQ(Text(locked), "[text]");
  CXStringW w(u"wide");
  w.Format(u"%s+%s", static_cast<const WCHAR*>(w), w.GetData(1));
  EXPECT_EQ(Text(w), u"wide+ide");

  // The format itself may be the string: in a buffer too small for the
  // text, and in one large enough to be printed in place.
  CXString small("%d-%d");
  small.Format(small, 1, 2);
  EXPECT_EQ(Text(small), "1-2");
  CXString roomy;
  std::snprintf(roomy.GetBuffer(300), 301, "%s", "ab%sxyz");
  roomy.ReleaseBuffer();
  roomy.Format(roomy, "0123456789");
  EXPECT_EQ(Text(roomy), "ab0123456789xyz");
  CXStringW wide;
  const std::u16string wideFormat = u"<%s>";
  WCHAR* units = wide.GetBuffer(100);
  units[wideFormat.copy(units, 100)] = 0;
  wide.ReleaseBuffer();
  wide.Format(wide, u"0123456789");
  EXPECT_EQ(Text(wide), u"<0123456789>");
}

TEST(XStringFormatTest, PrintsCorrectlyWhenTheEstimateIsTooSmall) {
  CXString s;
  s.Format("%*d|", -40, 7);
  EXPECT_EQ(Text(s), "7" + std::string(39, ' ') + "|");
  char expected[400];
  std::snprintf(expected, sizeof expected, "%f", 1e300);
  s.Format("%f", 1e300);
  EXPECT_EQ(Text(s), expected);
  s.Format("%I64d%I64d%I64d", LLONG_MIN, LLONG_MAX, LLONG_MIN);
  EXPECT_EQ(Text(s), "-9223372036854775808" "9223372036854775807" "-9223372036854775808");
  s.Format("%*.*s", -5, -3, "abc");
  EXPECT_EQ(Text(s), "abc  ");
  CXStringW w;
  w.Format(u"%.300f", 1.0);
  EXPECT_EQ(Text(w), u"1." + std::u16string(300, u'0'));
}

TEST(XStringFormatTest, EstimatesBeyondWhatABufferHolds) {
  // The estimate (2e9 units) does not fit a wide buffer: the text's real
  // length is used instead.
  CXStringW w;
  w.Format(u"%.2000000000g", 1.0);
  EXPECT_EQ(Text(w), u"1");
  EXPECT_LE(HeaderOf(w).allocSize, 16);
  // A text that really is that long cannot be held.
  EXPECT_THROW(w.Format(u"%*d%*d", INT_MAX, 1, INT_MAX, 1), std::bad_alloc);
  EXPECT_EQ(Text(w), u"1");  // left as it was
  CXString s("kept");
  EXPECT_THROW(s.Format("%*d%*d", INT_MAX, 1, INT_MAX, 1), std::bad_alloc);
  EXPECT_EQ(Text(s), "kept");
}

}  // namespace
