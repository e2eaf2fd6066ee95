// The multibyte code page setting and the _mbs routines, in single-byte mode
// and in the double-byte code pages; the wide-string routines over UTF-16,
// and the independence of the "C" locale rules from setlocale.
#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cstring>
#include <cwctype>
#include <string>
#include <string_view>
#include <vector>

#include "pal/codepage.h"
#include "pal/mbcs.h"
#include "pal/wstr.h"

namespace {

using namespace zrpal;
namespace p = zrpal;

using U = const unsigned char*;
U Bytes(const char* s) { return reinterpret_cast<U>(s); }
std::ptrdiff_t Offset(const char* base, U found) { return found ? found - Bytes(base) : -1; }

// Every test leaves the process in single-byte mode.
class Mbcs : public testing::Test {
 protected:
  void TearDown() override { ASSERT_EQ(_setmbcp(_MB_CP_SBCS), 0); }
  static void Use(int codePage) { ASSERT_EQ(_setmbcp(codePage), 0) << codePage; }
};

// _mbsdec from the end visits the starts _mbsinc finds, whatever lead-range
// bytes come before (the classic trap: trail bytes that are also lead bytes).
TEST_F(Mbcs, StepsForwardAndBackwardAgree) {
  // ASCII, a pair, a single katakana, a pair with trail '\'; pairs of lead
  // bytes, with and without one before the terminator; trails inside the
  // lead ranges.
  const char* texts[] = {"a\x82\xA0\xB1\x83\x5C", "\x81\x81\x81\x81\x81", "\x81\x81\x81\x81", "x\x81",
                         "\x88\x9F\xE0\x40z\xFC\xFC", ""};
  for (int cp : {932, 936, 949, 950, 0}) {
    Use(cp);
    for (const char* text : texts) {
      SCOPED_TRACE(testing::Message() << "code page " << cp << ", text of " << std::strlen(text));
      const U s = Bytes(text);
      std::vector<std::size_t> forward, backward;
      for (U p = s; *p; p = _mbsinc(p)) forward.push_back(static_cast<std::size_t>(p - s));
      EXPECT_EQ(_mbslen(s), forward.size());
      for (U p = s + std::strlen(text); (p = _mbsdec(s, p)) != nullptr;)
        backward.insert(backward.begin(), static_cast<std::size_t>(p - s));
      EXPECT_EQ(backward, forward);
    }
  }
}

// Searches match whole characters only: the trail byte of ソ (0x83 0x5C) is
// no backslash in 932, and is one in single-byte mode.
TEST_F(Mbcs, SearchesMatchWholeCharactersOnly) {
  const char* s = "\x83\x5C" "a\\\x83\x5C";
  const struct { int cp; unsigned c; std::ptrdiff_t first, last; } chars[] = {
      {932, '\\', 3, 3}, {932, 0x835C, 0, 4}, {932, 0x83, -1, -1}, {0, '\\', 1, 5}, {0, 0x835C, -1, -1}};
  for (const auto& c : chars) {
    Use(c.cp);
    EXPECT_EQ(Offset(s, _mbschr(Bytes(s), c.c)), c.first) << c.cp << " " << std::hex << c.c;
    EXPECT_EQ(Offset(s, _mbsrchr(Bytes(s), c.c)), c.last) << c.cp << " " << std::hex << c.c;
  }
  Use(932);
  EXPECT_EQ(Offset("\x83\x5C\x5C", _mbsstr(Bytes("\x83\x5C\x5C"), Bytes("\\"))), 2);
  EXPECT_EQ(Offset("x\x82\xA0", _mbsstr(Bytes("x\x82\xA0"), Bytes("\x82"))), -1);
  EXPECT_EQ(_mbscmp(Bytes("\x82\xA0"), Bytes("\xB1")), 1);  // a double-byte code sorts after every byte
}

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
