// Code-page conversion: the characters of each page, invalid input with and
// without the error flags, buffer sizes, default characters, flags, and the
// ANSI code page setting.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "pal/codepage.h"
#include "pal/codepage_table.h"
#include "pal/error.h"
#include "pal/mbcs.h"
#include "pal/posix/syscalls.h"

namespace {

using namespace zrpal;

// A conversion's result: the text, or the error it failed with.
struct Wide {
  std::u16string text;
  DWORD error = ERROR_SUCCESS;
};
struct Bytes {
  std::string text;
  DWORD error = ERROR_SUCCESS;
  BOOL usedDefault = -1;
};

// Measures, then converts into a buffer of exactly that size.
Wide ToWide(UINT cp, std::string_view in, DWORD flags = 0) {
  Wide r;
  const int n = MultiByteToWideChar(cp, flags, in.data(), static_cast<int>(in.size()), nullptr, 0);
  if (n == 0) {
    r.error = GetLastError();
    return r;
  }
  r.text.assign(static_cast<std::size_t>(n), u'\0');
  const int written =
      MultiByteToWideChar(cp, flags, in.data(), static_cast<int>(in.size()), r.text.data(), n);
  EXPECT_EQ(written, n) << "measured and converted sizes differ";
  return r;
}

Bytes ToBytes(UINT cp, std::u16string_view in, DWORD flags = 0, const char* defaultChar = nullptr,
              bool askUsed = true) {
  Bytes r;
  BOOL used = -1;
  const int n = WideCharToMultiByte(cp, flags, in.data(), static_cast<int>(in.size()), nullptr, 0,
                                    defaultChar, askUsed ? &used : nullptr);
  if (n == 0) {
    r.error = GetLastError();
    return r;
  }
  r.text.assign(static_cast<std::size_t>(n), '\0');
  const int written = WideCharToMultiByte(cp, flags, in.data(), static_cast<int>(in.size()),
                                          r.text.data(), n, defaultChar, askUsed ? &used : nullptr);
  EXPECT_EQ(written, n) << "measured and converted sizes differ";
  r.usedDefault = used;
  return r;
}

// Characters of each page with their bytes in the page's published table.
struct Sample {
  UINT cp;
  std::u16string_view wide;
  std::string_view bytes;
};

constexpr Sample kSamples[] = {
    {874, u"\u0E01\u20AC", "\xA1\x80"},
    {932, u"\u3042\uFF71A", "\x82\xA0\xB1" "A"},
    {932, u"\u2252\uFFE2\u2235", "\x81\xE0\x81\xCA\x81\xE6"},  // JIS rows win over NEC row 13
    {932, u"\u2160\u2170\u7E8A", "\x87\x54\xFA\x40\xFA\x5C"},  // NEC row 13, then IBM rows
    {932, u"\uE000\u0080\uF8F0", "\xF0\x40\x80\xA0"},          // user-defined area, single bytes
    {936, u"\u4E2D\u20AC", "\xD6\xD0\x80"},
    {949, u"\uD55C\uAC02", "\xC7\xD1\x81\x41"},
    {950, u"\u4E2D\u20AC", "\xA4\xA4\xA3\xE1"},
    {1250, u"\u0160\u0141", "\x8A\xA3"},
    {1251, u"\u0416\u0451", "\xC6\xB8"},
    {1252, u"\u20AC\u00E9\u0081", "\x80\xE9\x81"},  // 0x81 is its C1 control, as on Windows
    {1253, u"\u03A9", "\xD9"},
    {1254, u"\u011F", "\xF0"},
    {1255, u"\u05D0\u05B8", "\xE0\xC8"},  // a point stays a separate character
    {1256, u"\u0627", "\xC7"},
    {1257, u"\u0101", "\xE2"},
    {1258, u"\u20AB\u0041\u0301", "\xFE\x41\xEC"},  // never composed
    {20127, u"AZ~", "AZ~"},
    {28591, u"\u00E9\u0080", "\xE9\x80"},
    {28592, u"\u0141", "\xA3"},
    {28595, u"\u0416", "\xB6"},
    {28597, u"\u03A9", "\xD9"},
    {28599, u"\u011F", "\xF0"},
    {28601, u"\u0E01", "\xA1"},
    {28603, u"\u0101", "\xE2"},
    {28605, u"\u20AC", "\xA4"},
    {65001, u"a\u00E9\u20AC\U0001F600", "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
};

TEST(CodePage, SamplesConvertBothWays) {
  for (const Sample& s : kSamples) {
    SCOPED_TRACE(testing::Message() << "code page " << s.cp);
    const Bytes bytes = ToBytes(s.cp, s.wide, 0, nullptr, s.cp != CP_UTF8);
    EXPECT_EQ(bytes.error, ERROR_SUCCESS);
    EXPECT_EQ(bytes.text, s.bytes);
    if (s.cp != CP_UTF8) {
      EXPECT_EQ(bytes.usedDefault, FALSE);
    }
    const Wide wide = ToWide(s.cp, s.bytes, MB_ERR_INVALID_CHARS);
    EXPECT_EQ(wide.error, ERROR_SUCCESS);
    EXPECT_EQ(wide.text, s.wide);
  }
}

// Every byte and pair a table page decodes must encode to bytes that decode
// to the same character (most to the same bytes; a character with two
// places in 932 goes to its preferred one).
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
      if (IsDBCSLeadByteEx(info.number, static_cast<BYTE>(b))) {
        for (unsigned t = 1; t < 256; ++t) {
          const char pair[2] = {static_cast<char>(b), static_cast<char>(t)};
          check(std::string_view(pair, 2));
        }
      } else {
        const char one = static_cast<char>(b);
        check(std::string_view(&one, 1));
      }
    }
    // A table that failed to fill would decode little beyond ASCII.
    EXPECT_GE(decodable, info.kind == CodePageKind::kDoubleByte ? 7000u : 127u);
    EXPECT_GT(samePlace, decodable * 9 / 10);
  }
}

struct Invalid {
  UINT cp;
  std::string_view bytes;
  std::u16string_view lenient;  // with flags 0
};

constexpr Invalid kInvalid[] = {
    // UTF-8: one U+FFFD per maximal ill-formed subsequence.
    {65001, "\xC3", u"\uFFFD"},
    {65001, "a\x80" "b", u"a\uFFFD" "b"},
    {65001, "\xE2\x82", u"\uFFFD"},
    {65001, "\xE2\x82" "A", u"\uFFFD" "A"},
    {65001, "\xC0\x80", u"\uFFFD\uFFFD"},              // overlong
    {65001, "\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},    // overlong
    {65001, "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},    // a surrogate
    {65001, "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
    {65001, "\xF0\x9F\x98", u"\uFFFD"},
    {65001, "\xFF\xFE", u"\uFFFD\uFFFD"},
    // Double-byte pages: a lead byte takes the next byte unless it is 0 or
    // missing; U+30FB for what has no character.
    {932, "\x81", u"\u30FB"},
    {932, std::string_view("\x81\x00", 2), std::u16string_view(u"\u30FB\0", 2)},
    {932, "a\x85\x40" "b", u"a\u30FB" "b"},
    {932, "\x81\x20" "b", u"\u30FB" "b"},
    {936, "\xFF", u"\u30FB"},
    {949, "\xC9\xA1", u"\u30FB"},
    // Single-byte pages: bytes without a character.
    {1253, "\xAA", u"\uFFFD"},
    {20127, "a\x80", u"a\uFFFD"},
    {28596, "\xA1", u"\uFFFD"},
};

TEST(CodePage, InvalidInputWithAndWithoutErrorFlag) {
  for (const Invalid& c : kInvalid) {
    SCOPED_TRACE(testing::Message() << "code page " << c.cp << " input of " << c.bytes.size());
    const Wide lenient = ToWide(c.cp, c.bytes);
    EXPECT_EQ(lenient.error, ERROR_SUCCESS);
    EXPECT_EQ(lenient.text, c.lenient);
    const Wide strict = ToWide(c.cp, c.bytes, MB_ERR_INVALID_CHARS);
    EXPECT_EQ(strict.error, ERROR_NO_UNICODE_TRANSLATION);
    EXPECT_TRUE(strict.text.empty());
  }
}

TEST(CodePage, LoneSurrogatesInUtf8) {
  const std::u16string_view cases[] = {u"a\xD800", u"\xDC00z", u"\xDE00\xD83D"};
  for (std::u16string_view in : cases) {
    const Bytes lenient = ToBytes(CP_UTF8, in, 0, nullptr, false);
    EXPECT_EQ(lenient.error, ERROR_SUCCESS);
    EXPECT_NE(lenient.text.find("\xEF\xBF\xBD"), std::string::npos);
    EXPECT_EQ(ToBytes(CP_UTF8, in, WC_ERR_INVALID_CHARS, nullptr, false).error,
              ERROR_NO_UNICODE_TRANSLATION);
  }
  EXPECT_EQ(ToBytes(CP_UTF8, u"\xDE00\xD83D", 0, nullptr, false).text,
            "\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(CodePage, DefaultCharacter) {
  struct Case {
    UINT cp;
    std::u16string_view in;
    const char* defaultChar;
    std::string_view out;
    BOOL used;
  };
  const Case cases[] = {
      {1252, u"a\u4E2D" "b", nullptr, "a?b", TRUE},
      {1252, u"a\u4E2D", "*", "a*", TRUE},
      {1252, u"\U0001F600", nullptr, "?", TRUE},  // a pair is one character
      {1252, u"\xD800" "a", nullptr, "?a", TRUE},
      {1252, u"abc", "*", "abc", FALSE},
      {932, u"\u00E9", "\x81\x45", "\x81\x45", TRUE},  // a double-byte default
      {932, u"\u00E9", "\x81", "\x81", TRUE},          // a lone lead byte is one byte
      {936, u"\u3042\u00FF", nullptr, "\xA4\xA2?", TRUE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "code page " << c.cp << " default " << (c.defaultChar ? c.defaultChar : "null"));
    const Bytes r = ToBytes(c.cp, c.in, 0, c.defaultChar);
    EXPECT_EQ(r.error, ERROR_SUCCESS);
    EXPECT_EQ(r.text, c.out);
    EXPECT_EQ(r.usedDefault, c.used);
    // No-best-fit is what always happens.
    EXPECT_EQ(ToBytes(c.cp, c.in, WC_NO_BEST_FIT_CHARS, c.defaultChar).text, c.out);
  }
  // UTF-8 takes neither argument.
  BOOL used;
  char out[8];
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, out, 8, "?", nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, out, 8, nullptr, &used), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(CodePage, TerminatorAndExplicitLengths) {
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
}

TEST(CodePage, InsufficientBufferKeepsWholeCharacters) {
  // Exactly the measured size works; one less fails and leaves the whole
  // characters that fit.
  WCHAR wide[4] = {u'#', u'#', u'#', u'#'};
  const std::string_view utf8 = "a\xF0\x9F\x98\x80";  // a, then a surrogate pair
  EXPECT_EQ(MultiByteToWideChar(65001, 0, utf8.data(), 5, nullptr, 0), 3);
  EXPECT_EQ(MultiByteToWideChar(65001, 0, utf8.data(), 5, wide, 2), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(wide[0], u'a');
  EXPECT_EQ(wide[1], u'#');
  EXPECT_EQ(MultiByteToWideChar(65001, 0, utf8.data(), 5, wide, 3), 3);

  char bytes[4] = {'#', '#', '#', '#'};
  EXPECT_EQ(WideCharToMultiByte(932, 0, u"a\u3042", 2, bytes, 2, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(bytes[0], 'a');
  EXPECT_EQ(bytes[1], '#');
  EXPECT_EQ(WideCharToMultiByte(932, 0, u"a\u3042", 2, bytes, 3, nullptr, nullptr), 3);
  EXPECT_EQ(WideCharToMultiByte(1252, 0, u"ab", -1, bytes, 2, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(CodePage, PrefixConversionStopsAtWholeCharacters) {
  const std::u16string_view text = u"a\u00E9\u20AC\U0001F600";  // 1 + 2 + 3 + 4 bytes in UTF-8
  const int expected[] = {0, 1, 1, 3, 3, 3, 6, 6, 6, 6, 10, 10};
  for (int capacity = 0; capacity < 12; ++capacity) {
    char out[12];
    EXPECT_EQ(WideCharToMultiBytePrefix(65001, text.data(), static_cast<int>(text.size()), out,
                                        capacity),
              expected[capacity])
        << "capacity " << capacity;
  }
  char out[4];
  EXPECT_EQ(WideCharToMultiBytePrefix(932, u"a\u3042", -1, out, 2), 1);
  EXPECT_EQ(WideCharToMultiBytePrefix(1252, u"a\u4E2D", -1, out, 4), 2);
  EXPECT_EQ(std::string_view(out, 2), "a?");
  EXPECT_EQ(WideCharToMultiBytePrefix(12345, u"a", -1, out, 4), -1);
}

TEST(CodePage, FlagsAreImplementedOrRejected) {
  struct Case {
    UINT cp;
    DWORD flags;
    bool toWide;
    DWORD error;  // ERROR_SUCCESS when accepted
  };
  const Case cases[] = {
      {1252, MB_PRECOMPOSED, true, ERROR_SUCCESS},
      {932, MB_PRECOMPOSED | MB_ERR_INVALID_CHARS, true, ERROR_SUCCESS},
      {65001, MB_ERR_INVALID_CHARS, true, ERROR_SUCCESS},
      {65001, MB_PRECOMPOSED, true, ERROR_INVALID_FLAGS},
      {1252, MB_COMPOSITE, true, ERROR_INVALID_FLAGS},
      {1252, MB_USEGLYPHCHARS, true, ERROR_INVALID_FLAGS},
      {1252, 0x100, true, ERROR_INVALID_FLAGS},
      {1252, WC_NO_BEST_FIT_CHARS, false, ERROR_SUCCESS},
      {65001, WC_ERR_INVALID_CHARS, false, ERROR_SUCCESS},
      {1252, WC_ERR_INVALID_CHARS, false, ERROR_INVALID_FLAGS},
      {65001, WC_NO_BEST_FIT_CHARS, false, ERROR_INVALID_FLAGS},
      {1252, WC_COMPOSITECHECK, false, ERROR_INVALID_FLAGS},
      {1252, WC_DISCARDNS, false, ERROR_INVALID_FLAGS},
      {1252, WC_SEPCHARS, false, ERROR_INVALID_FLAGS},
      {1252, WC_DEFAULTCHAR, false, ERROR_INVALID_FLAGS},
      {932, 0x8000, false, ERROR_INVALID_FLAGS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "code page " << c.cp << " flags 0x" << std::hex << c.flags);
    if (c.toWide)
      EXPECT_EQ(ToWide(c.cp, "ab", c.flags).error, c.error);
    else
      EXPECT_EQ(ToBytes(c.cp, u"ab", c.flags, nullptr, false).error, c.error);
  }
}

TEST(CodePage, BadArguments) {
  WCHAR wide[4];
  char bytes[4];
  alignas(WCHAR) char shared[8] = "abc";
  struct Case {
    const char* what;
    std::function<int()> call;
  };
  const Case cases[] = {
      {"null input", [&] { return MultiByteToWideChar(1252, 0, nullptr, 3, wide, 4); }},
      {"zero length", [&] { return MultiByteToWideChar(1252, 0, "abc", 0, wide, 4); }},
      {"length below -1", [&] { return MultiByteToWideChar(1252, 0, "abc", -2, wide, 4); }},
      {"negative size", [&] { return MultiByteToWideChar(1252, 0, "abc", 3, wide, -1); }},
      {"null output", [&] { return MultiByteToWideChar(1252, 0, "abc", 3, nullptr, 4); }},
      {"same buffer",
       [&] {
         return MultiByteToWideChar(1252, 0, shared, 2, reinterpret_cast<WCHAR*>(shared), 2);
       }},
      {"unknown page", [&] { return MultiByteToWideChar(12345, 0, "abc", 3, wide, 4); }},
      {"pseudo page 2", [&] { return MultiByteToWideChar(2, 0, "abc", 3, wide, 4); }},
      {"w: null input",
       [&] { return WideCharToMultiByte(1252, 0, nullptr, 3, bytes, 4, nullptr, nullptr); }},
      {"w: zero length",
       [&] { return WideCharToMultiByte(1252, 0, u"abc", 0, bytes, 4, nullptr, nullptr); }},
      {"w: length below -1",
       [&] { return WideCharToMultiByte(1252, 0, u"abc", -5, bytes, 4, nullptr, nullptr); }},
      {"w: negative size",
       [&] { return WideCharToMultiByte(1252, 0, u"abc", 3, bytes, -1, nullptr, nullptr); }},
      {"w: null output",
       [&] { return WideCharToMultiByte(1252, 0, u"abc", 3, nullptr, 4, nullptr, nullptr); }},
      {"w: same buffer",
       [&] {
         return WideCharToMultiByte(1252, 0, reinterpret_cast<WCHAR*>(shared), 1, shared, 4,
                                    nullptr, nullptr);
       }},
      {"w: unknown page",
       [&] { return WideCharToMultiByte(28602, 0, u"abc", 3, bytes, 4, nullptr, nullptr); }},
  };
  for (const Case& c : cases) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(c.call(), 0) << c.what;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << c.what;
  }
}

TEST(CodePage, ValidPagesAndLeadBytes) {
  for (const CodePageInfo& info : kCodePages) EXPECT_TRUE(IsValidCodePage(info.number)) << info.number;
  for (UINT cp : {2u, 42u, 437u, 1200u, 28602u, 54936u, 65000u, 12345u})
    EXPECT_FALSE(IsValidCodePage(cp)) << cp;
  EXPECT_TRUE(IsValidCodePage(CP_ACP));
  EXPECT_TRUE(IsValidCodePage(CP_OEMCP));

  struct Lead {
    UINT cp;
    BYTE byte;
    BOOL lead;
  };
  const Lead leads[] = {{932, 0x80, FALSE}, {932, 0x81, TRUE}, {932, 0x9F, TRUE},
                        {932, 0xA0, FALSE}, {932, 0xDF, FALSE}, {932, 0xE0, TRUE},
                        {932, 0xFC, TRUE},  {932, 0xFD, FALSE}, {936, 0x81, TRUE},
                        {936, 0xFE, TRUE},  {936, 0xFF, FALSE}, {949, 0xA1, TRUE},
                        {950, 0x80, FALSE}, {950, 0xFE, TRUE},  {1252, 0x81, FALSE},
                        {65001, 0xC3, FALSE}};
  for (const Lead& l : leads)
    EXPECT_EQ(IsDBCSLeadByteEx(l.cp, l.byte), l.lead) << l.cp << " 0x" << std::hex << int{l.byte};
}

TEST(CodePage, AcpSettingValues) {
  struct Case {
    const char* value;
    UINT acp;
  };
  const Case cases[] = {{nullptr, 65001}, {"", 65001},       {"1252", 1252},  {"932", 932},
                        {"00936", 936},   {"65001", 65001},  {"28605", 28605}, {"0", 65001},
                        {"1", 65001},     {"12345", 65001},  {"1252x", 65001}, {" 1252", 65001},
                        {"-1252", 65001}, {"125200", 65001}, {"28602", 65001}, {"abc", 65001}};
  for (const Case& c : cases) EXPECT_EQ(AcpFromSetting(c.value), c.acp) << (c.value ? c.value : "null");
}

// The setting is read once per process, so each value is tried in a fresh
// process: the test program runs again with ZR_ACP set.
class AcpProcess : public testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
  void TearDown() override { unsetenv("ZR_ACP"); }
};

TEST_F(AcpProcess, EnvironmentSelectsTheAnsiCodePage) {
  setenv("ZR_ACP", "1252", 1);
  EXPECT_EXIT(
      {
        WCHAR unit = 0;
        const bool ok = GetACP() == 1252 && GetOEMCP() == 1252 &&
                        MultiByteToWideChar(CP_ACP, 0, "\x80", 1, &unit, 1) == 1 &&
                        unit == 0x20AC && _setmbcp(_MB_CP_ANSI) == 0 && _getmbcp() == 0;
        std::exit(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
  setenv("ZR_ACP", "932", 1);
  EXPECT_EXIT(
      {
        char bytes[2];
        const bool ok = GetACP() == 932 &&
                        WideCharToMultiByte(CP_THREAD_ACP, 0, u"\u3042", 1, bytes, 2, nullptr,
                                            nullptr) == 2 &&
                        _setmbcp(_MB_CP_LOCALE) == 0 && _getmbcp() == 932;
        std::exit(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
  setenv("ZR_ACP", "bogus", 1);
  EXPECT_EXIT(std::exit(GetACP() == 65001 ? 0 : 1), testing::ExitedWithCode(0), "");
}

iconv_t FailingIconvOpen(const char*, const char*) {
  errno = EINVAL;
  return reinterpret_cast<iconv_t>(-1);
}

TEST(CodePage, MissingConverterMakesThePageUnavailable) {
  ReleaseCodePageTables();
  {
    sys::ScopedSyscall guard(&sys::g.iconv_open, FailingIconvOpen);
    EXPECT_FALSE(IsValidCodePage(1252));
    WCHAR unit;
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "a", 1, &unit, 1), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
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
  for (std::size_t i = 0; i < results.size(); ++i)
    threads.emplace_back([&, i] { results[i] = ToWide(932, sjis, MB_ERR_INVALID_CHARS).text; });
  for (std::thread& t : threads) t.join();
  for (const std::u16string& r : results) EXPECT_EQ(r, expected);
}

}  // namespace
