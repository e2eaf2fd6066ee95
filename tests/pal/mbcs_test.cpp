// The multibyte code page setting and the _mbs routines, in single-byte mode
// and in the double-byte code pages.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "pal/codepage.h"
#include "pal/mbcs.h"

namespace {

using namespace zrpal;

using U = const unsigned char*;
U Bytes(const char* s) { return reinterpret_cast<U>(s); }
std::ptrdiff_t Offset(const char* base, U found) { return found ? found - Bytes(base) : -1; }

// Every test leaves the process in single-byte mode.
class Mbcs : public testing::Test {
 protected:
  void TearDown() override { ASSERT_EQ(_setmbcp(_MB_CP_SBCS), 0); }
  static void Use(int codePage) { ASSERT_EQ(_setmbcp(codePage), 0) << codePage; }
};

TEST_F(Mbcs, SettingTheCodePage) {
  EXPECT_EQ(_getmbcp(), 0);
  struct Case { int request, result, mbcp; };  // mbcp: _getmbcp afterwards
  const Case cases[] = {{932, 0, 932},    {1252, 0, 0},   {936, 0, 936},  {65001, 0, 0},    {949, 0, 949},
                        {852, -1, 949},   {-1, -1, 949},  {12345, -1, 949}, {950, 0, 950}, {28605, 0, 0},
                        {950, 0, 950},    {_MB_CP_SBCS, 0, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(_setmbcp(c.request), c.result) << c.request;
    EXPECT_EQ(_getmbcp(), c.mbcp) << c.request;
  }
  // The pseudo code pages select what the ANSI code page selects.
  ASSERT_EQ(_setmbcp(static_cast<int>(GetACP())), 0);
  const int ansiMode = _getmbcp();
  for (int pseudo : {_MB_CP_ANSI, _MB_CP_LOCALE, _MB_CP_OEM}) {
    Use(950);
    EXPECT_EQ(_setmbcp(pseudo), 0);
    EXPECT_EQ(_getmbcp(), ansiMode) << pseudo;
  }
}

TEST_F(Mbcs, LeadBytesOfEachPage) {
  struct Case { int cp; std::vector<std::pair<unsigned, unsigned>> ranges; };
  const Case cases[] = {{0, {}}, {932, {{0x81, 0x9F}, {0xE0, 0xFC}}}, {936, {{0x81, 0xFE}}},
                        {949, {{0x81, 0xFE}}}, {950, {{0x81, 0xFE}}}};
  for (const Case& c : cases) {
    Use(c.cp);
    for (unsigned b = 0; b < 256; ++b) {
      int lead = 0;
      for (auto [first, last] : c.ranges) lead |= b >= first && b <= last;
      EXPECT_EQ(_ismbblead(b), lead) << c.cp << " byte 0x" << std::hex << b;
      EXPECT_EQ(_ismbblead(0x100 | b), lead);  // only the low byte counts, as with the run-time's macro
    }
  }
}

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

TEST_F(Mbcs, CountsAndCodesIn932) {
  Use(932);
  const char* s = "a\x82\xA0\xB1\x83\x5C\x81";  // a, あ, ｱ, ソ, a lone lead byte
  const U p = Bytes(s);
  EXPECT_EQ(_mbslen(p), 5u);
  const std::size_t bytesOf[] = {0, 1, 3, 4, 6, 7, 7};
  for (std::size_t n = 0; n < 7; ++n) {
    EXPECT_EQ(_mbsnbcnt(p, n), bytesOf[n]) << n;
    EXPECT_EQ(_mbsninc(p, n), p + bytesOf[n]) << n;
  }
  // The lone lead byte is its own character.
  const unsigned codes[] = {'a', 0x82A0u, 0, 0xB1u, 0x835Cu, 0, 0x81u, 0};
  for (std::size_t at : {0, 1, 3, 4, 6, 7}) EXPECT_EQ(_mbsnextc(p + at), codes[at]) << at;
  EXPECT_EQ(_mbsdec(p, p), nullptr);
  EXPECT_EQ(_mbsdec(p + 1, p), nullptr);
  // Single-byte mode counts every byte.
  Use(_MB_CP_SBCS);
  EXPECT_EQ(_mbslen(p), 7u);
  EXPECT_EQ(_mbsnextc(p + 1), 0x82u);
  EXPECT_EQ(_mbsdec(p, p + 7), p + 6);
}

TEST_F(Mbcs, SearchesMatchWholeCharactersOnly) {
  // ソ is 0x83 0x5C: its trail byte is a backslash.
  const char* s = "\x83\x5C" "a\\\x83\x5C";
  struct Case { int cp; unsigned c; std::ptrdiff_t first, last; };  // -1: not found
  const Case chars[] = {{932, '\\', 3, 3}, {932, 0x835C, 0, 4}, {932, 'a', 2, 2}, {932, 0, 6, 6},
                        {0, '\\', 1, 5},   {0, 0x835C, -1, -1}, {0, 0x83, 0, 4},  {932, 0x83, -1, -1}};
  for (const Case& c : chars) {
    Use(c.cp);
    EXPECT_EQ(Offset(s, _mbschr(Bytes(s), c.c)), c.first) << c.cp << " " << std::hex << c.c;
    EXPECT_EQ(Offset(s, _mbsrchr(Bytes(s), c.c)), c.last) << c.cp << " " << std::hex << c.c;
  }

  // Where _mbsstr finds sub, and _mbspbrk one of its characters.
  struct Sub { int cp; const char *text, *sub; std::ptrdiff_t str, pbrk; };
  const Sub subs[] = {{932, "\x83\x5C\x5C", "\\", 2, 2},    {0, "\x83\x5C\x5C", "\\", 1, 1},
                      {932, "\x83\x5C\x5C", "\\\\", -1, 2}, {0, "\x83\x5C\x5C", "\\\\", 1, 1},
                      {932, "ab", "", 0, -1},               {932, "x\x82\xA0y", "\x82\xA0y", 1, 1},
                      {932, "x\x82", "\x82", 1, 1},         {932, "x\x82\xA0", "\x82", -1, -1},
                      {936, "\xB0\xA1\xA1", "\xA1", 2, 2},  {936, "\xB0\xA1\xA1\xA1", "\xA1\xA1", 2, 2},
                      {932, "ab\x82\xA1", "\x82\xA0", -1, -1}};
  for (const Sub& c : subs) {
    Use(c.cp);
    SCOPED_TRACE(testing::Message() << c.cp << " " << c.text << " / " << c.sub);
    EXPECT_EQ(Offset(c.text, _mbsstr(Bytes(c.text), Bytes(c.sub))), c.str);
    EXPECT_EQ(Offset(c.text, _mbspbrk(Bytes(c.text), Bytes(c.sub))), c.pbrk);
  }
}

TEST_F(Mbcs, Comparisons) {
  struct Case { int cp; const char *a, *b; int cmp, icmp; };
  // Folded to lower case ('_' < 'a'); in 932 a double-byte code sorts after
  // every byte, trail bytes never fold and full-width letters keep their
  // case; no letters above ASCII.
  const Case cases[] = {
      {0, "abc", "abd", -1, -1}, {0, "abc", "abc", 0, 0}, {0, "ab", "abc", -1, -1}, {0, "ABC", "abc", -1, 0},
      {0, "_", "A", 1, -1}, {0, "\x82\xA0", "\xB1", -1, -1}, {932, "\x82\xA0", "\xB1", 1, 1},
      {932, "\x82\x41", "\x82\x61", -1, -1}, {0, "\x82\x41", "\x82\x61", -1, 0},
      {932, "\x82\x60", "\x82\x81", -1, -1}, {0, "\xC4", "\xE4", -1, -1}};
  for (const Case& c : cases) {
    Use(c.cp);
    SCOPED_TRACE(testing::Message() << c.cp << " " << c.a << " vs " << c.b);
    EXPECT_EQ(_mbscmp(Bytes(c.a), Bytes(c.b)), c.cmp);
    EXPECT_EQ(_mbscmp(Bytes(c.b), Bytes(c.a)), -c.cmp);
    EXPECT_EQ(_mbsicmp(Bytes(c.a), Bytes(c.b)), c.icmp);
    EXPECT_EQ(_mbsncmp(Bytes(c.a), Bytes(c.b), 100), c.cmp);
    EXPECT_EQ(_mbsnicmp(Bytes(c.a), Bytes(c.b), 100), c.icmp);
  }
  Use(932);
  // Counts are in characters.
  EXPECT_EQ(_mbsncmp(Bytes("\x82\xA0x"), Bytes("\x82\xA0y"), 1), 0);
  EXPECT_EQ(_mbsncmp(Bytes("\x82\xA0x"), Bytes("\x82\xA0y"), 2), -1);
  EXPECT_EQ(_mbsnicmp(Bytes("\x82\xA0X"), Bytes("\x82\xA0xz"), 2), 0);
  EXPECT_EQ(_mbsncmp(Bytes("a"), Bytes("b"), 0), 0);
}

TEST_F(Mbcs, CaseChangesAsciiLettersOnly) {
  struct Case { int cp; const char *in, *upper, *lower; };
  const Case cases[] = {{932, "aZ\x82\x61\x82\x41q", "AZ\x82\x61\x82\x41Q", "az\x82\x61\x82\x41q"},
                        {0, "aZ\x82\x61\x82\x41q", "AZ\x82\x41\x82\x41Q", "az\x82\x61\x82\x61q"},
                        {0, "\xE4\xC4 1", "\xE4\xC4 1", "\xE4\xC4 1"},
                        {936, "b\xA3\xE1x\x81", "B\xA3\xE1X\x81", "b\xA3\xE1x\x81"}};
  for (const Case& c : cases) {
    Use(c.cp);
    std::string s = c.in;
    auto* p = reinterpret_cast<unsigned char*>(s.data());
    EXPECT_EQ(_mbsupr(p), p);
    EXPECT_EQ(s, c.upper) << c.cp;
    _mbslwr(p);
    EXPECT_EQ(s, c.lower) << c.cp;
  }
}

TEST_F(Mbcs, NullArguments) {
  EXPECT_EQ(_mbslen(nullptr), 0u);
  EXPECT_EQ(_mbsinc(nullptr), nullptr);
  EXPECT_EQ(_mbsdec(nullptr, Bytes("a")), nullptr);
  EXPECT_EQ(_mbsninc(nullptr, 2), nullptr);
  EXPECT_EQ(_mbsnbcnt(nullptr, 2), 0u);
  EXPECT_EQ(_mbschr(nullptr, 'a'), nullptr);
  EXPECT_EQ(_mbsstr(Bytes("a"), nullptr), nullptr);
  EXPECT_EQ(_mbspbrk(nullptr, Bytes("a")), nullptr);
  EXPECT_EQ(_mbsupr(nullptr), nullptr);
  EXPECT_EQ(_mbscmp(nullptr, Bytes("a")), _NLSCMPERROR);
  EXPECT_EQ(_mbsicmp(Bytes("a"), nullptr), _NLSCMPERROR);
  EXPECT_EQ(_stricmp(nullptr, "a"), _NLSCMPERROR);
}

TEST(CLocale, ByteClassesAndCase) {
  for (int c = -1; c < 256; ++c) {
    EXPECT_EQ(zrpal::isspace(c), c == ' ' || (c >= '\t' && c <= '\r') ? 1 : 0) << c;
    EXPECT_EQ(zrpal::toupper(c), c >= 'a' && c <= 'z' ? c - 32 : c) << c;
    EXPECT_EQ(zrpal::tolower(c), c >= 'A' && c <= 'Z' ? c + 32 : c) << c;
  }
  EXPECT_EQ(zrpal::isspace(0x1A0), 0);
  struct Case { const char *a, *b; std::size_t n; int icmp, nicmp; };
  const Case cases[] = {{"Hello", "hELLO", 99, 0, 0}, {"_", "A", 99, -1, -1}, {"abcX", "ABCy", 3, -1, 0},
                        {"a", "ab", 1, -1, 0},         {"\xE4", "\xC4", 99, 1, 1},   {"", "", 0, 0, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(zrpal::_stricmp(c.a, c.b), c.icmp) << c.a << " " << c.b;
    EXPECT_EQ(zrpal::_strnicmp(c.a, c.b, c.n), c.nicmp) << c.a << " " << c.b;
  }
}

}  // namespace
