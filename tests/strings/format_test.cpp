// CXString::Format / CXStringW::Format through the exported interface: the
// size estimate's rules (FormatV), the buffer Format prepares, sharing,
// arguments that point into the string itself, and the cases the estimate
// does not cover.
#include <gtest/gtest.h>

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <new>
#include <string>

#include "zr/xstring.h"

namespace {

// Opens the protected members the tests look at.
class ProbeA : public CXString {
 public:
  ProbeA() = default;
  explicit ProbeA(const char* text) : CXString(text) {}
  int Estimate(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int e = FormatV(format, args);
    // FormatV reads a copy: the same list gives the same estimate again.
    EXPECT_EQ(FormatV(format, args), e) << format;
    va_end(args);
    return e;
  }
  int AllocSize() const { return GetAllocSize(); }
  const char* Data() const { return m_pchData; }
};

class ProbeW : public CXStringW {
 public:
  ProbeW() = default;
  explicit ProbeW(const WCHAR* text) : CXStringW(text) {}
  int Estimate(const WCHAR* format, ...) {
    va_list args;
    va_start(args, format);
    const int e = FormatV(format, args);
    va_end(args);
    return e;
  }
  int AllocSize() const { return GetAllocSize(); }
  const WCHAR* Data() const { return m_pchData; }
};

std::string Text(const CXString& s) { return static_cast<const char*>(s); }
std::u16string Text(const CXStringW& s) { return static_cast<const WCHAR*>(s); }

TEST(XStringFormatEstimateTest, FollowsTheSizeRules) {
  ProbeA p;
  int count = 0;
  struct Case {
    int estimate;
    int expected;
    const char* what;
  };
  const Case cases[] = {
      {p.Estimate(""), 0, "empty format"},
      {p.Estimate("abc"), 3, "plain characters"},
      {p.Estimate("100%%"), 4, "%% counts 1"},
      {p.Estimate("%d", 7), 32, "integer"},
      {p.Estimate("%40d", 7), 40, "integer wider than 32"},
      {p.Estimate("%10.30x", 7), 40, "width + precision"},
      {p.Estimate("%-*d", 50, 7), 50, "width from *"},
      {p.Estimate("%*d", -50, 7), 32, "negative width from *"},
      {p.Estimate("%#x", 7), 34, "# adds 2"},
      {p.Estimate("%#s", "abc"), 5, "# adds 2 to texts too"},
      {p.Estimate("%p", &count), 32, "pointer"},
      {p.Estimate("%f", 1.0), 128, "floating point"},
      {p.Estimate("%100.50g", 1.0), 150, "wide floating point"},
      {p.Estimate("%Lf", 1.0L), 128, "L changes nothing"},
      {p.Estimate("%E", 1.0), 0, "E is not known"},
      {p.Estimate("%c", 'x'), 2, "character"},
      {p.Estimate("%5C", u'x'), 5, "character with width"},
      {p.Estimate("%.1c", 'x'), 1, "character with precision"},
      {p.Estimate("%s", "abc"), 3, "text"},
      {p.Estimate("%s", ""), 1, "empty text counts 1"},
      {p.Estimate("%5s", "ab"), 5, "text with width"},
      {p.Estimate("%.2s", "abcdef"), 2, "text with precision"},
      {p.Estimate("%10.3s", "abcdef"), 10, "width over precision"},
      {p.Estimate("%.0s", "abcdef"), 6, "precision 0 does not limit"},
      {p.Estimate("%.*s", 3, "abcdef"), 3, "precision from *"},
      {p.Estimate("%*.*s", 8, 3, "abcdef"), 8, "both from *"},
      {p.Estimate("%S", u"wide"), 4, "S takes wide text"},
      {p.Estimate("%hS|%ls", "ab", u"abc"), 6, "h narrow, l wide"},
      {p.Estimate("%s", static_cast<const char*>(nullptr)), 6, "null text: (null)"},
      {p.Estimate("%n", &count), 0, "n"},
      {p.Estimate("%y"), 0, "unknown type"},
      {p.Estimate("abc%-5"), 3, "format ends in a specification"},
      {p.Estimate("%*.*s", -5, -3, "abc"), -3, "negative * width and precision"},
      // Sizes the rules do not know count their characters as text; the
      // argument after them is still the right one.
      {p.Estimate("%I64d %s", 5LL, "abcdefgh"), 12, "I64 then text"},
      {p.Estimate("%lld|%s", 5LL, "abcd"), 6, "ll then text"},
      {p.Estimate("%E%s", 1.0, "abc"), 3, "E then text"},
      {p.Estimate("%zu%.*s", size_t{1}, 2, "abcd"), 3, "z then * then text"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.estimate, c.expected) << c.what;
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
  ProbeA s;
  s.Format("%d", 7);
  EXPECT_EQ(Text(s), "7");
  EXPECT_EQ(s.AllocSize(), 33);  // a fresh buffer of exactly E + 1 units

  s.Format("%10.3s", "abcdef");
  EXPECT_EQ(Text(s), "       abc");
  EXPECT_GE(s.AllocSize(), 11);

  ProbeW w;
  w.Format(u"%10.3s", u"abcdef");
  EXPECT_EQ(Text(w), u"       abc");
  EXPECT_EQ(w.AllocSize(), 2 * 11);
}

TEST(XStringFormatTest, ALargeEnoughBufferStays) {
  ProbeA s;
  s.GetBuffer(200);
  s.ReleaseBuffer();
  const char* before = s.Data();
  s.Format("%d-%s", 42, "x");
  EXPECT_EQ(Text(s), "42-x");
  EXPECT_EQ(s.Data(), before);
  EXPECT_EQ(s.AllocSize(), 201);
}

TEST(XStringFormatTest, EdgeCasesOfBothClasses) {
  CXString s;
  s.Format("%5s|%.2s|%%|%c", "ab", "abcdef", 'z');
  EXPECT_EQ(Text(s), "   ab|ab|%|z");
  s.Format("%s|%S", static_cast<const char*>(nullptr), static_cast<const WCHAR*>(nullptr));
  EXPECT_EQ(Text(s), "(null)|(null)");
  s.Format("");
  EXPECT_EQ(Text(s), "");
  s.Format(nullptr);
  EXPECT_EQ(Text(s), "");

  CXStringW w;
  w.Format(u"%5s|%.2S|%%|%c|%C", u"ab", "abcdef", u'z', 'y');
  EXPECT_EQ(Text(w), u"   ab|ab|%|z|y");
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

TEST(XStringFormatTest, FormattingASharedStringLeavesTheOther) {
  CXString a("original");
  CXString b(a);
  b.Format("%d", 1);
  EXPECT_EQ(Text(a), "original");
  EXPECT_EQ(Text(b), "1");

  CXStringW c(u"original");
  CXStringW d(c);
  c.Format(u"%s!", static_cast<const WCHAR*>(d));
  EXPECT_EQ(Text(c), u"original!");
  EXPECT_EQ(Text(d), u"original");
}

TEST(XStringFormatTest, ArgumentsMayPointIntoTheStringItself) {
  ProbeA s("hello");
  s.Format("%s %s!", static_cast<const char*>(s), static_cast<const char*>(s));
  EXPECT_EQ(Text(s), "hello hello!");

  // A buffer large enough to be written in place.
  ProbeA big;
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
  ProbeA small("%d-%d");
  small.Format(small, 1, 2);
  EXPECT_EQ(Text(small), "1-2");
  ProbeA roomy;
  std::snprintf(roomy.GetBuffer(300), 301, "%s", "ab%sxyz");
  roomy.ReleaseBuffer();
  roomy.Format(roomy, "0123456789");
  EXPECT_EQ(Text(roomy), "ab0123456789xyz");
  ProbeW wide;
  const std::u16string wideFormat = u"<%s>";
  WCHAR* units = wide.GetBuffer(100);
  for (size_t i = 0; i <= wideFormat.size(); ++i) units[i] = wideFormat.c_str()[i];
  wide.ReleaseBuffer();
  wide.Format(wide, u"0123456789");
  EXPECT_EQ(Text(wide), u"<0123456789>");
}

TEST(XStringFormatTest, PrintsCorrectlyWhenTheEstimateIsTooSmall) {
  ProbeA s;
  s.Format("%*d|", -40, 7);
  EXPECT_EQ(Text(s), "7" + std::string(39, ' ') + "|");

  char expected[400];
  std::snprintf(expected, sizeof expected, "%f", 1e300);
  s.Format("%f", 1e300);
  EXPECT_EQ(Text(s), expected);

  s.Format("%I64d%I64d%I64d", LLONG_MIN, LLONG_MAX, LLONG_MIN);
  EXPECT_EQ(Text(s), "-9223372036854775808" "9223372036854775807" "-9223372036854775808");
  EXPECT_GE(s.AllocSize(), 60);

  s.Format("%*.*s", -5, -3, "abc");
  EXPECT_EQ(Text(s), "abc  ");

  ProbeW w;
  w.Format(u"%.300f", 1.0);
  EXPECT_EQ(Text(w), u"1." + std::u16string(300, u'0'));
}

TEST(XStringFormatTest, EstimatesBeyondWhatABufferHolds) {
  // The estimate (2e9 units) does not fit a wide buffer: the text's real
  // length is used instead.
  ProbeW w;
  w.Format(u"%.2000000000g", 1.0);
  EXPECT_EQ(Text(w), u"1");
  EXPECT_LE(w.AllocSize(), 16);
  // A text that really is that long cannot be held.
  EXPECT_THROW(w.Format(u"%*d%*d", INT_MAX, 1, INT_MAX, 1), std::bad_alloc);
  EXPECT_EQ(Text(w), u"1");  // left as it was
  CXString s("kept");
  EXPECT_THROW(s.Format("%*d%*d", INT_MAX, 1, INT_MAX, 1), std::bad_alloc);
  EXPECT_EQ(Text(s), "kept");
}

}  // namespace
