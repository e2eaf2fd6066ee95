// The wide-string routines over UTF-16, and the independence of the "C"
// locale rules from setlocale.
#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cwctype>
#include <string>
#include <string_view>

#include "pal/mbcs.h"
#include "pal/wstr.h"

namespace {

namespace p = zrpal;

TEST(WideString, CaseAndSpaceFollowTheCLocale) {
  for (unsigned c = 0; c < 0x10000; ++c) {
    const auto unit = static_cast<WCHAR>(c);
    ASSERT_EQ(p::towupper(unit), c >= 'a' && c <= 'z' ? static_cast<WCHAR>(c - 32) : unit) << c;
    ASSERT_EQ(p::towlower(unit), c >= 'A' && c <= 'Z' ? static_cast<WCHAR>(c + 32) : unit) << c;
  }
  for (char16_t c : std::u16string_view(u"\t\r \u0085\u00A0\u1680\u2000\u200A\u2028\u202F\u205F\u3000"))
    EXPECT_EQ(p::iswspace(c), 1) << std::hex << int{c};
  for (char16_t c : std::u16string_view(u"\0\b\x1F" "a\u200B\uFEFF", 6)) EXPECT_EQ(p::iswspace(c), 0) << int{c};
}

// The C library folds these in a German locale; the routines must not.
TEST(WideString, RoutinesIgnoreTheProcessLocale) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr)
      << "the locale de_DE.UTF-8 is not installed (scripts/bootstrap generates it)";
  const bool localeFolds = std::towupper(L'\u00E4') == static_cast<std::wint_t>(L'\u00C4');
  const WCHAR upper = p::towupper(u'\u00E4');
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
  EXPECT_NE(icmp, 0);
  EXPECT_EQ(s, u"STRA\u00DFE \u00E4");
  EXPECT_EQ(bytes, "STRA\xC3\x9F" "E");
  EXPECT_EQ(narrowIcmp, 1);
  EXPECT_TRUE(highBytesUntouched);
}

}  // namespace
