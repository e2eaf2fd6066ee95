// Code-page conversion: each page's characters, invalid input, buffer sizes,
// default characters, flags, and the ANSI code page setting.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "pal/codepage.h"
#include "pal/internal/codepage_table.h"
#include "pal/last_error.h"
#include "pal/mbcs.h"
#include "pal/posix/syscalls.h"

namespace {

using namespace zrpal;

template <class Text>
struct Result { Text text; DWORD error = ERROR_SUCCESS; BOOL usedDefault = -1; };

// Measures, then converts into a buffer of exactly that size.
template <class Text, class Convert>
Result<Text> MeasureAndConvert(Convert convert) {
  Result<Text> r;
  const int n = convert(nullptr, 0);
  if (n == 0) return r.error = GetLastError(), r;
  r.text.assign(static_cast<std::size_t>(n), 0);
  EXPECT_EQ(convert(r.text.data(), n), n) << "measured and converted sizes differ";
  return r;
}

Result<std::u16string> ToWide(UINT cp, std::string_view in, DWORD flags = 0) {
  return MeasureAndConvert<std::u16string>([&](WCHAR* out, int size) {
    return MultiByteToWideChar(cp, flags, in.data(), static_cast<int>(in.size()), out, size);
  });
}

Result<std::string> ToBytes(UINT cp, std::u16string_view in, DWORD flags = 0,
                            const char* defaultChar = nullptr, bool askUsed = true) {
  BOOL used = -1;
  Result<std::string> r = MeasureAndConvert<std::string>([&](char* out, int size) {
    return WideCharToMultiByte(cp, flags, in.data(), static_cast<int>(in.size()), out, size,
                               defaultChar, askUsed ? &used : nullptr);
  });
  r.usedDefault = used;
  return r;
}

// What each page gives, both ways: samples from the pages' published tables,
// what Windows' tables give where glibc's differ, and invalid input.
TEST(CodePage, ConvertsAsWindowsDoes) {
  using namespace std::literals;
  enum Kind {
    kBoth,     // both ways; MB_ERR_INVALID_CHARS accepts the bytes; no default used
    kLenient,  // both ways with flags 0; MB_ERR_INVALID_CHARS refuses the bytes
    kDecodes,  // bytes to text only (the text encodes elsewhere)
    kInvalid,  // bytes to the page's Unicode default with flags 0; refused strictly
    kDefault,  // text to bytes only, with default characters (UTF-8: U+FFFD; WC_ERR_INVALID_CHARS refuses)
  };
  struct Case { UINT cp; std::u16string_view wide; std::string_view bytes; Kind kind = kBoth; };
  const Case cases[] = {
    {874, u"\u0E01\u20AC", "\xA1\x80"}, {932, u"\u3042\uFF71A", "\x82\xA0\xB1" "A"},
    {932, u"\u2252\uFFE2\u2235", "\x81\xE0\x81\xCA\x81\xE6"},  // JIS rows win over NEC row 13
    {932, u"\u2160\u2170\u7E8A", "\x87\x54\xFA\x40\xFA\x5C"},  // NEC row 13, then IBM rows
    {932, u"\uE000\u0080", "\xF0\x40\x80"},                    // user-defined area, 0x80
    {936, u"\u4E2D\u20AC", "\xD6\xD0\x80"},     {949, u"\uD55C\uAC02", "\xC7\xD1\x81\x41"},
    {950, u"\u4E2D\u20AC", "\xA4\xA4\xA3\xE1"}, {1250, u"\u0160\u0141", "\x8A\xA3"},
    {1251, u"\u0416\u0451", "\xC6\xB8"},
    {1252, u"\u20AC\u00E9\u0081", "\x80\xE9\x81"},  // 0x81 is its C1 control, as on Windows
    {1253, u"\u03A9", "\xD9"}, {1254, u"\u011F", "\xF0"}, {1256, u"\u0627", "\xC7"}, {1257, u"\u0101", "\xE2"},
    {1255, u"\u05D0\u05B8", "\xE0\xC8"},  // a point stays a separate character
    {1258, u"\u20AB\u0041\u0301", "\xFE\x41\xEC"},  // never composed
    {20127, u"AZ~", "AZ~"},      {28591, u"\u00E9\u0080", "\xE9\x80"}, {28592, u"\u0141", "\xA3"},
    {28595, u"\u0416", "\xB6"}, {28597, u"\u03A9", "\xD9"},            {28599, u"\u011F", "\xF0"},
    {28601, u"\u0E01", "\xA1"}, {28603, u"\u0101", "\xE2"},            {28605, u"\u20AC", "\xA4"},
    {65001, u"a\u00E9\u20AC\U0001F600", "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
    // The OEM pages (controls stay controls); single bytes glibc lacks, the
    // private-use ones only without the error flag.
    {437, u"\u00C7\u2591\u00A0\u0001\u007F", "\x80\xB0\xFF\x01\x7F"}, {850, u"\u00C7\u0131\u00AD", "\x80\xD5\xF0"},
    {949, u"\u0080", "\x80"}, {936, u"\uF8F5", "\xFF", kLenient}, {949, u"\uF8F7", "\xFF", kLenient},
    {950, u"\uF8F8", "\xFF", kLenient}, {932, u"\uF8F0", "\xA0", kLenient}, {932, u"\uF8F1", "\xFD", kLenient},
    {932, u"\uF8F2", "\xFE", kLenient}, {932, u"\uF8F3", "\xFF", kLenient},
    // Big5 has these four twice; Windows encodes them to the F9 row.
    {950, u"\u2550\u255E\u2561\u256A", "\xF9\xF9\xF9\xE9\xF9\xEB\xF9\xEA"},
    {950, u"\u2550\u255E\u2561\u256A", "\xA2\xA4\xA2\xA5\xA2\xA7\xA2\xA6", kDecodes},
    // Double-byte pages: a lead byte takes the next byte unless it is 0 or
    // missing; what has no character is U+30FB in 932, U+003F elsewhere.
    {932, u"\u30FB", "\x81", kInvalid}, {932, u"\u30FB\0"sv, "\x81\x00"sv, kInvalid},
    {932, u"a\u30FB" "b", "a\x85\x40" "b", kInvalid}, {932, u"\u30FB" "b", "\x81\x20" "b", kInvalid},
    {936, u"?", "\x81", kInvalid}, {949, u"a?", "a\xC9\xA1", kInvalid}, {950, u"?", "\x81\x40", kInvalid},
    // Single-byte pages: bytes without a character.
    {1253, u"\uFFFD", "\xAA", kInvalid}, {20127, u"a\uFFFD", "a\x80", kInvalid}, {28596, u"\uFFFD", "\xA1", kInvalid},
    // UTF-8: one U+FFFD per maximal ill-formed subsequence (overlong, surrogate, above U+10FFFF).
    {65001, u"\uFFFD", "\xC3", kInvalid}, {65001, u"a\uFFFD" "b", "a\x80" "b", kInvalid},
    {65001, u"\uFFFD", "\xE2\x82", kInvalid}, {65001, u"\uFFFD" "A", "\xE2\x82" "A", kInvalid},
    {65001, u"\uFFFD", "\xF0\x9F\x98", kInvalid}, {65001, u"\uFFFD\uFFFD", "\xFF\xFE", kInvalid},
    {65001, u"\uFFFD\uFFFD", "\xC0\x80", kInvalid}, {65001, u"\uFFFD\uFFFD\uFFFD", "\xE0\x80\x80", kInvalid},
    {65001, u"\uFFFD\uFFFD\uFFFD", "\xED\xA0\x80", kInvalid},
    {65001, u"\uFFFD\uFFFD\uFFFD\uFFFD", "\xF4\x90\x80\x80", kInvalid},
    // UTF-16 a page cannot hold: one default character per unit (a surrogate
    // pair gives two); in UTF-8 lone surrogates become U+FFFD.
    {1252, u"\U0001F600", "??", kDefault}, {932, u"a\U0001F600", "a??", kDefault}, {437, u"\xDC00", "?", kDefault},
    {65001, u"a\xD800", "a\xEF\xBF\xBD", kDefault}, {65001, u"\xDC00z", "\xEF\xBF\xBDz", kDefault},
    {65001, u"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD", kDefault},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << "case " << i << ", code page " << c.cp);
    const bool utf8 = c.cp == CP_UTF8;
    if (c.kind == kBoth || c.kind == kLenient || c.kind == kDefault) {
      const auto bytes = ToBytes(c.cp, c.wide, 0, nullptr, !utf8);
      EXPECT_EQ(bytes.text, c.bytes);
      EXPECT_EQ(bytes.usedDefault, utf8 ? -1 : c.kind == kDefault);
      if (utf8) {
        EXPECT_EQ(ToBytes(c.cp, c.wide, WC_ERR_INVALID_CHARS, nullptr, false).error,
                  c.kind == kDefault ? ERROR_NO_UNICODE_TRANSLATION : ERROR_SUCCESS);
      }
    }
    if (c.kind == kDefault) continue;
    EXPECT_EQ(ToWide(c.cp, c.bytes).text, c.wide);
    const bool refused = c.kind == kLenient || c.kind == kInvalid;
    const auto strict = ToWide(c.cp, c.bytes, MB_ERR_INVALID_CHARS);
    EXPECT_EQ(strict.error, refused ? ERROR_NO_UNICODE_TRANSLATION : ERROR_SUCCESS);
    EXPECT_EQ(strict.text, refused ? u"" : c.wide);
  }
}

// Every byte and pair a table page decodes encodes to bytes that decode to
// the same character (mostly the same bytes; 932 has duplicates).
TEST(CodePage, EveryDecodableSequenceRoundTrips) {
  for (const CodePageInfo& info : kCodePages) {
    if (info.kind == CodePageKind::kUtf8) continue;
    SCOPED_TRACE(testing::Message() << "code page " << info.number);
    std::size_t decodable = 0, samePlace = 0;
    auto check = [&](std::string_view in) {
      WCHAR unit = 0;
      if (MultiByteToWideChar(info.number, MB_ERR_INVALID_CHARS, in.data(),
                              static_cast<int>(in.size()), &unit, 1) != 1)
        return;
      ++decodable;
      char out[2];
      BOOL used = TRUE;
      const int n = WideCharToMultiByte(info.number, 0, &unit, 1, out, 2, nullptr, &used);
      ASSERT_GT(n, 0);
      ASSERT_EQ(used, FALSE) << "U+" << std::hex << unsigned{unit} << " decodes but does not encode";
      WCHAR back = 0;
      ASSERT_EQ(MultiByteToWideChar(info.number, MB_ERR_INVALID_CHARS, out, n, &back, 1), 1);
      EXPECT_EQ(back, unit);
      if (std::string_view(out, static_cast<std::size_t>(n)) == in) ++samePlace;
    };
    for (unsigned b = 1; b < 256; ++b) {
      const bool lead = IsDBCSLeadByteEx(info.number, static_cast<BYTE>(b));
      for (unsigned t = lead ? 1 : 0; t < (lead ? 256 : 1); ++t) {
        const char seq[2] = {static_cast<char>(b), static_cast<char>(t)};
        check(std::string_view(seq, lead ? 2 : 1));
      }
    }
    // A table that failed to fill would decode little beyond ASCII.
    EXPECT_GE(decodable, info.kind == CodePageKind::kDoubleByte ? 7000u : 127u);
    EXPECT_GT(samePlace, decodable * 9 / 10);
  }
}

TEST(CodePage, DefaultCharacter) {
  struct Case { UINT cp; std::u16string_view in; const char* defaultChar; std::string_view out; BOOL used; };
  const Case cases[] = {
      {1252, u"a\u4E2D" "b", nullptr, "a?b", TRUE}, {1252, u"a\u4E2D", "*", "a*", TRUE},
      {1252, u"abc", "*", "abc", FALSE},
      // A double-byte default (once per unit); a lone lead byte is one byte.
      {932, u"\U0001F600", "\x81\x45", "\x81\x45\x81\x45", TRUE}, {932, u"\u00E9", "\x81", "\x81", TRUE},
      {936, u"\u3042\u00FF", nullptr, "\xA4\xA2?", TRUE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "code page " << c.cp << " default " << (c.defaultChar ? c.defaultChar : "-"));
    const auto r = ToBytes(c.cp, c.in, 0, c.defaultChar);
    EXPECT_EQ(r.text, c.out);
    EXPECT_EQ(r.usedDefault, c.used);
    // No-best-fit is what always happens.
    EXPECT_EQ(ToBytes(c.cp, c.in, WC_NO_BEST_FIT_CHARS, c.defaultChar).text, c.out);
  }
  // UTF-8 takes neither argument.
  BOOL used;
  char out[8];
  EXPECT_FAILS_WITH(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, out, 8, "?", nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_FAILS_WITH(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, out, 8, nullptr, &used), ERROR_INVALID_PARAMETER);
}

TEST(CodePage, LengthsAndBufferSizes) {
  WCHAR wide[8];
  // -1: up to and including the terminator, which is counted.
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "ab", -1, nullptr, 0), 3);
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "ab", -1, wide, 8), 3);
  EXPECT_EQ(std::u16string_view(wide, 3), std::u16string_view(u"ab\0", 3));
  // An explicit length converts exactly that, zeros included.
  EXPECT_EQ(MultiByteToWideChar(65001, 0, "a\0b", 3, wide, 8), 3);
  EXPECT_EQ(std::u16string_view(wide, 3), std::u16string_view(u"a\0b", 3));
  EXPECT_EQ(MultiByteToWideChar(65001, 0, "ab", 1, wide, 8), 1);

  char bytes[8];
  EXPECT_EQ(WideCharToMultiByte(65001, 0, u"\u00E9", -1, nullptr, 0, nullptr, nullptr), 3);
  EXPECT_EQ(WideCharToMultiByte(65001, 0, u"\u00E9", -1, bytes, 8, nullptr, nullptr), 3);
  EXPECT_EQ(std::string_view(bytes, 3), std::string_view("\xC3\xA9\0", 3));
  EXPECT_EQ(WideCharToMultiByte(932, 0, u"a\0\u3042", 3, bytes, 8, nullptr, nullptr), 4);
  EXPECT_EQ(std::string_view(bytes, 4), std::string_view("a\0\x82\xA0", 4));
  // One less than the measured size fails and leaves the whole characters
  // that fit: "a", not half of a surrogate pair or of a double-byte pair.
  std::fill(std::begin(wide), std::end(wide), u'#');
  EXPECT_FAILS_WITH(MultiByteToWideChar(65001, 0, "a\xF0\x9F\x98\x80", 5, wide, 2), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(std::u16string_view(wide, 2), u"a#");
  std::fill(std::begin(bytes), std::end(bytes), '#');
  EXPECT_FAILS_WITH(WideCharToMultiByte(932, 0, u"a\u3042", 2, bytes, 2, nullptr, nullptr), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(std::string_view(bytes, 2), "a#");
  EXPECT_FAILS_WITH(WideCharToMultiByte(1252, 0, u"ab", -1, bytes, 2, nullptr, nullptr), ERROR_INSUFFICIENT_BUFFER);
}

TEST(CodePage, PrefixConversionStopsAtWholeCharacters) {
  const std::u16string_view text = u"a\u00E9\u20AC\U0001F600";  // 1 + 2 + 3 + 4 bytes in UTF-8
  const int expected[] = {0, 1, 1, 3, 3, 3, 6, 6, 6, 6, 10, 10};
  char out[12];
  for (int capacity = 0; capacity < 12; ++capacity)
    EXPECT_EQ(WideCharToMultiBytePrefix(65001, text.data(), 5, out, capacity), expected[capacity]) << capacity;
  EXPECT_EQ(WideCharToMultiBytePrefix(932, u"a\u3042", -1, out, 2), 1);
  EXPECT_EQ(WideCharToMultiBytePrefix(1252, u"a\u4E2D", -1, out, 4), 2);
  EXPECT_EQ(std::string_view(out, 2), "a?");
  EXPECT_EQ(WideCharToMultiBytePrefix(12345, u"a", -1, out, 4), -1);
}

TEST(CodePage, FlagsAreImplementedOrRejected) {
  struct Case { UINT cp; DWORD flags; DWORD error; };
  const DWORD ok = ERROR_SUCCESS, bad = ERROR_INVALID_FLAGS;
  const Case toWide[] = {{1252, MB_PRECOMPOSED, ok}, {932, MB_PRECOMPOSED | MB_ERR_INVALID_CHARS, ok},
                         {65001, MB_ERR_INVALID_CHARS, ok}, {65001, MB_PRECOMPOSED, bad}, {1252, MB_COMPOSITE, bad},
                         {1252, MB_USEGLYPHCHARS, bad}, {1252, 0x100, bad}};
  const Case toBytes[] = {{1252, WC_NO_BEST_FIT_CHARS, ok}, {65001, WC_ERR_INVALID_CHARS, ok},
                          {1252, WC_ERR_INVALID_CHARS, bad}, {65001, WC_NO_BEST_FIT_CHARS, bad},
                          {1252, WC_COMPOSITECHECK, bad}, {1252, WC_DISCARDNS, bad}, {1252, WC_SEPCHARS, bad},
                          {1252, WC_DEFAULTCHAR, bad}, {932, 0x8000, bad}};
  for (const Case& c : toWide) EXPECT_EQ(ToWide(c.cp, "ab", c.flags).error, c.error) << c.cp << " " << c.flags;
  for (const Case& c : toBytes)
    EXPECT_EQ(ToBytes(c.cp, u"ab", c.flags, nullptr, false).error, c.error) << c.cp << " " << c.flags;
}

// Each case is tried in both directions.
TEST(CodePage, BadArguments) {
  enum Pointers { kValid, kNullInput, kNullOutput, kSameBuffer };
  struct Case { const char* what; UINT cp; int length, size; Pointers pointers; };
  const Case cases[] = {
      {"null input", 1252, 3, 4, kNullInput}, {"zero length", 1252, 0, 4, kValid},
      {"length below -1", 1252, -2, 4, kValid}, {"negative size", 1252, 3, -1, kValid},
      {"null output", 1252, 3, 4, kNullOutput}, {"same buffer", 1252, 1, 2, kSameBuffer},
      {"unknown page", 12345, 3, 4, kValid}, {"pseudo page 2", 2, 3, 4, kValid}, {"no table", 28602, 3, 4, kValid}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    alignas(WCHAR) char shared[8] = "abc";
    auto* sharedWide = reinterpret_cast<WCHAR*>(shared);
    WCHAR wide[4];
    char bytes[4];
    const bool same = c.pointers == kSameBuffer;
    const char* narrowIn = c.pointers == kNullInput ? nullptr : same ? shared : "abc";
    const WCHAR* wideIn = c.pointers == kNullInput ? nullptr : same ? sharedWide : u"abc";
    WCHAR* wideOut = c.pointers == kNullOutput ? nullptr : same ? sharedWide : wide;
    char* narrowOut = c.pointers == kNullOutput ? nullptr : same ? shared : bytes;
    EXPECT_FAILS_WITH(MultiByteToWideChar(c.cp, 0, narrowIn, c.length, wideOut, c.size), ERROR_INVALID_PARAMETER);
    EXPECT_FAILS_WITH(WideCharToMultiByte(c.cp, 0, wideIn, c.length, narrowOut, c.size, nullptr, nullptr),
                      ERROR_INVALID_PARAMETER);
  }
}

TEST(CodePage, ValidPagesAndLeadBytes) {
  for (UINT cp : {2u, 42u, 852u, 1200u, 28602u, 54936u, 65000u, 12345u}) EXPECT_FALSE(IsValidCodePage(cp)) << cp;
  EXPECT_TRUE(IsValidCodePage(CP_ACP) && IsValidCodePage(CP_OEMCP));
  // Full ranges are checked through _ismbblead, which shares the tables.
  struct Lead { UINT cp; BYTE byte; BOOL lead; };
  const Lead leads[] = {{932, 0x80, FALSE}, {932, 0x81, TRUE},   {932, 0xA0, FALSE}, {932, 0xFC, TRUE},
                        {936, 0xFF, FALSE}, {1252, 0x81, FALSE}, {65001, 0xC3, FALSE}, {12345, 0x81, FALSE}};
  for (const Lead& l : leads)
    EXPECT_EQ(IsDBCSLeadByteEx(l.cp, l.byte), l.lead) << l.cp << " 0x" << std::hex << int{l.byte};
}

TEST(CodePage, AcpSettingValues) {
  struct Case { const char* value; UINT acp; };
  const Case cases[] = {{nullptr, 65001}, {"", 65001}, {"1252", 1252}, {"932", 932}, {"00936", 936},
                        {"65001", 65001}, {"28605", 28605}, {"0", 65001}, {"1", 65001}, {"12345", 65001},
                        {"1252x", 65001}, {" 1252", 65001}, {"-1252", 65001}, {"125200", 65001}, {"28602", 65001}};
  for (const Case& c : cases) EXPECT_EQ(AcpFromSetting(c.value), c.acp) << (c.value ? c.value : "null");
  // The OEM page paired with each ANSI page (1251's partner, 866, is not supported).
  const std::pair<UINT, UINT> oem[] = {{1252, 437}, {65001, 65001}, {932, 932}, {950, 950}, {1251, 1251}};
  for (const auto& [acp, page] : oem) EXPECT_EQ(OemCodePageOf(acp), page) << acp;
}

// The setting is read once per process: each value is tried in a fresh one.
TEST(AcpProcess, EnvironmentSelectsTheAnsiCodePage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  setenv("ZR_ACP", "1252", 1);
  EXPECT_EXIT(std::exit(GetACP() == 1252 && ToWide(CP_ACP, "\x80").text == u"\u20AC" && GetOEMCP() == 437 &&
                        ToWide(CP_OEMCP, "\x80").text == u"\u00C7" && ToBytes(CP_OEMCP, u"\u00C7").text == "\x80" &&
                        _setmbcp(_MB_CP_ANSI) == 0 && _getmbcp() == 0 ? 0 : 1),
              testing::ExitedWithCode(0), "");
  setenv("ZR_ACP", "932", 1);
  EXPECT_EXIT(std::exit(GetACP() == 932 && GetOEMCP() == 932 && ToBytes(CP_THREAD_ACP, u"\u3042").text == "\x82\xA0" &&
                        _setmbcp(_MB_CP_LOCALE) == 0 && _getmbcp() == 932 ? 0 : 1),
              testing::ExitedWithCode(0), "");
  setenv("ZR_ACP", "bogus", 1);
  EXPECT_EXIT(std::exit(GetACP() == 65001 ? 0 : 1), testing::ExitedWithCode(0), "");
  unsetenv("ZR_ACP");
}

TEST(CodePage, MissingConverterMakesThePageUnavailable) {
  ReleaseCodePageTables();
  {
    sys::ScopedSyscall guard(&sys::g.iconv_open, +[](const char*, const char*) {
      errno = EINVAL;
      return reinterpret_cast<iconv_t>(-1);
    });
    EXPECT_FALSE(IsValidCodePage(1252));
    WCHAR unit;
    EXPECT_FAILS_WITH(MultiByteToWideChar(1252, 0, "a", 1, &unit, 1), ERROR_INVALID_PARAMETER);
    // UTF-8 needs no converter.
    EXPECT_EQ(MultiByteToWideChar(65001, 0, "a", 1, &unit, 1), 1);
  }
  // The failure is remembered until the tables are released.
  EXPECT_FALSE(IsValidCodePage(1252));
  ReleaseCodePageTables();
  EXPECT_TRUE(IsValidCodePage(1252));
}

TEST(CodePage, ThreadsBuildAndShareTables) {
  ReleaseCodePageTables();
  const std::string_view sjis = "\x82\xA0\x82\xA2\x82\xA4 abc \x8A\xBF\x8E\x9A";
  const std::u16string expected = u"\u3042\u3044\u3046 abc \u6F22\u5B57";
  std::vector<std::u16string> results(4);
  std::vector<std::thread> threads;
  for (auto& r : results) threads.emplace_back([&] { r = ToWide(932, sjis, MB_ERR_INVALID_CHARS).text; });
  for (std::thread& t : threads) t.join();
  for (const std::u16string& r : results) EXPECT_EQ(r, expected);
}

}  // namespace
