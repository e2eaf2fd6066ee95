// The wide-string routines over UTF-16, and the independence of the "C"
// locale rules from setlocale.
#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cwctype>
#include <string>
#include <string_view>
#include <tuple>

#include "pal/mbcs.h"
#include "pal/wstr.h"

namespace {

namespace p = zrpal;

std::ptrdiff_t Offset(const WCHAR* base, const WCHAR* found) { return found ? found - base : -1; }

TEST(WideString, LengthCopyAndCompare) {
  EXPECT_EQ(p::wcslen(u""), 0u);
  EXPECT_EQ(p::wcslen(u"a\U0001F600"), 3u);

  struct Case { std::u16string_view a, b; int cmp, icmp; };
  // Folded to lower case ('_' < 'a'); code units (U+FFFF > a high
  // surrogate); only ASCII letters fold.
  const Case cases[] = {{u"abc", u"abc", 0, 0},  {u"abc", u"abd", -1, -1}, {u"ab", u"abc", -1, -1},
                        {u"ABC", u"abc", -1, 0}, {u"_", u"A", 1, -1},      {u"\uFFFF", u"\U0001F600", 1, 1},
                        {u"\u00C4", u"\u00E4", -1, -1}, {u"\u0130", u"i", 1, 1}};
  for (const Case& c : cases) {
    const std::u16string a(c.a), b(c.b);
    EXPECT_EQ(p::wcscmp(a.c_str(), b.c_str()), c.cmp) << a.size();
    EXPECT_EQ(p::wcscmp(b.c_str(), a.c_str()), -c.cmp);
    EXPECT_EQ(p::_wcsicmp(a.c_str(), b.c_str()), c.icmp);
    EXPECT_EQ(p::_wcsicmp(b.c_str(), a.c_str()), -c.icmp);
    EXPECT_EQ(p::wcsncmp(a.c_str(), b.c_str(), 100), c.cmp);
    EXPECT_EQ(p::_wcsnicmp(a.c_str(), b.c_str(), 100), c.icmp);
  }
  EXPECT_EQ(p::wcsncmp(u"abX", u"abY", 2), 0);
  EXPECT_EQ(p::wcsncmp(u"abX", u"abY", 3), -1);
  EXPECT_EQ(p::_wcsnicmp(u"ABx", u"aby", 2), 0);
  EXPECT_EQ(p::_wcsnicmp(nullptr, u"a", 0), 0);
  EXPECT_EQ(p::_wcsicmp(nullptr, u"a"), p::_NLSCMPERROR);
  EXPECT_EQ(p::_wcsnicmp(u"a", nullptr, 1), p::_NLSCMPERROR);

  WCHAR buffer[8];
  EXPECT_EQ(p::wcscpy(buffer, u"xyz"), buffer);
  EXPECT_EQ(std::u16string_view(buffer), u"xyz");
  for (WCHAR& c : buffer) c = u'#';
  p::wcsncpy(buffer, u"ab", 5);
  EXPECT_EQ(std::u16string_view(buffer, 6), std::u16string_view(u"ab\0\0\0#", 6));
  p::wcsncpy(buffer, u"abcdef", 3);  // no terminator when the source is longer
  EXPECT_EQ(std::u16string_view(buffer, 6), std::u16string_view(u"abc\0\0#", 6));
}

TEST(WideString, Searches) {
  const WCHAR* s = u"a\\b\\\U0001F600c";
  // Code units, surrogates included; the terminator is found.
  const std::tuple<WCHAR, std::ptrdiff_t, std::ptrdiff_t> chars[] = {
      {u'\\', 1, 3}, {0xDE00, 5, 5}, {u'z', -1, -1}, {0, 7, 7}};
  for (const auto& [c, first, last] : chars) {
    EXPECT_EQ(Offset(s, p::wcschr(s, c)), first) << int{c};
    EXPECT_EQ(Offset(s, p::wcsrchr(s, c)), last) << int{c};
  }

  struct Sub { const WCHAR* text; const WCHAR* sub; std::ptrdiff_t at; };
  const Sub subs[] = {{u"abcabc", u"ca", 2}, {u"abc", u"", 0},   {u"", u"", 0},   {u"", u"a", -1},
                      {u"aab", u"ab", 1},    {u"abc", u"abcd", -1}, {u"ABC", u"b", -1}};
  for (const Sub& c : subs) EXPECT_EQ(Offset(c.text, p::wcsstr(c.text, c.sub)), c.at);
  const Sub sets[] = {{u"hello, world", u" ,", 5}, {u"abc", u"", -1}, {u"abc", u"xyz", -1}, {u"abc", u"cba", 0}};
  for (const Sub& c : sets) EXPECT_EQ(Offset(c.text, p::wcspbrk(c.text, c.sub)), c.at);
}

TEST(WideString, CaseAndSpaceFollowTheCLocale) {
  for (unsigned c = 0; c < 0x10000; ++c) {
    const auto unit = static_cast<WCHAR>(c);
    ASSERT_EQ(p::towupper(unit), c >= 'a' && c <= 'z' ? static_cast<WCHAR>(c - 32) : unit) << c;
    ASSERT_EQ(p::towlower(unit), c >= 'A' && c <= 'Z' ? static_cast<WCHAR>(c + 32) : unit) << c;
  }
  std::u16string s = u"Mixed \u00E4\u00C4 Case \u0131";
  EXPECT_EQ(p::_wcsupr(s.data()), s.data());
  EXPECT_EQ(s, u"MIXED \u00E4\u00C4 CASE \u0131");
  p::_wcslwr(s.data());
  EXPECT_EQ(s, u"mixed \u00E4\u00C4 case \u0131");
  EXPECT_EQ(p::_wcsupr(nullptr), nullptr);

  const char16_t spaces[] = u"\t\n\v\f\r \u0085\u00A0\u1680\u2000\u2005\u200A\u2028\u2029\u202F"
                            u"\u205F\u3000";
  for (char16_t c : std::u16string_view(spaces)) EXPECT_EQ(p::iswspace(c), 1) << std::hex << int{c};
  for (char16_t c : std::u16string_view(u"\0\b\x0E\x1F" "a0\u200B\uFEFF\u2060\u00AD", 11))
    EXPECT_EQ(p::iswspace(c), 0) << std::hex << int{c};
}

TEST(WideString, ToInteger) {
  struct Case { std::u16string_view text; int value; };
  // Saturating; full-width digits are not digits here.
  const Case cases[] = {
      {u"0", 0},  {u"42", 42},   {u"  \t-17xyz", -17}, {u"\u3000+8", 8}, {u"12 34", 12}, {u"2147483647", INT_MAX},
      {u"2147483648", INT_MAX},  {u"99999999999999999999", INT_MAX},   {u"-2147483648", INT_MIN},
      {u"-2147483649", INT_MIN}, {u"-99999999999999999999", INT_MIN},  {u"", 0}, {u"abc", 0}, {u"+-1", 0},
      {u"\uFF11", 0}};
  for (const Case& c : cases) EXPECT_EQ(p::_wtoi(std::u16string(c.text).c_str()), c.value) << c.text.size();
  EXPECT_EQ(p::_wtoi(nullptr), 0);
}

// The C library folds these in a German or UTF-8 locale; the routines must
// not.
TEST(WideString, RoutinesIgnoreTheProcessLocale) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "C.UTF-8"))
    GTEST_SKIP() << "no UTF-8 locale installed (scripts/bootstrap makes de_DE.UTF-8)";
  const bool localeFolds = std::towupper(L'\u00E4') == static_cast<std::wint_t>(L'\u00C4');
  const WCHAR upper = p::towupper(u'\u00E4'), lower = p::towlower(u'\u00C4');
  const int icmp = p::_wcsicmp(u"\u00E4", u"\u00C4");
  std::u16string s = u"stra\u00DFe \u00E4";
  p::_wcsupr(s.data());
  std::string bytes = "stra\xC3\x9F" "e";
  p::_mbsupr(reinterpret_cast<unsigned char*>(bytes.data()));
  const int narrowIcmp = p::_stricmp("\xC3\xA4", "\xC3\x84");
  bool highBytesUntouched = true;
  for (int c = 0x80; c < 0x100; ++c) highBytesUntouched &= p::isspace(c) == 0 && p::toupper(c) == c;
  std::setlocale(LC_ALL, saved.c_str());

  ASSERT_TRUE(localeFolds) << "the locale did not take effect";
  EXPECT_EQ(upper, u'\u00E4');
  EXPECT_EQ(lower, u'\u00C4');
  EXPECT_NE(icmp, 0);
  EXPECT_EQ(s, u"STRA\u00DFE \u00E4");
  EXPECT_EQ(bytes, "STRA\xC3\x9F" "E");
  EXPECT_EQ(narrowIcmp, 1);
  EXPECT_TRUE(highBytesUntouched);
}

}  // namespace
