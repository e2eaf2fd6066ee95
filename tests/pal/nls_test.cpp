// Locale identifiers and their ANSI code pages; the display facts of
// pal/user/gdi.h.
#include <gtest/gtest.h>

#include <cstring>

#include "pal/codepage.h"
#include "pal/nls/locale.h"
#include "pal/user/gdi.h"
#include "tests/pal/last_error.h"

namespace {

using namespace zrpal;

TEST(Locale, AnsiCodePages) {
  const struct {
    LCID locale;
    DWORD codePage;
  } kCases[] = {{1033, 1252},   {1049, 1251}, {1041, 932},
                {2052, 936},    {1042, 949},  {1028, 950},
                {1032, 1253},   {1037, 1255}, {1025, 1256},
                {1054, 874},    {1055, 1254}, {1066, 1258},
                {1029, 1250},   {1061, 1257}, {3076, 950},
                {0x0C1A, 1251}, {0x042B, 0},  {LOCALE_INVARIANT, 1252}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.locale);
    EXPECT_TRUE(IsValidLocale(c.locale, LCID_SUPPORTED));
    EXPECT_TRUE(IsValidLocale(c.locale, LCID_INSTALLED));
    DWORD number = 0xDEADBEEF;
    EXPECT_EQ(2, GetLocaleInfoW(c.locale, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                                reinterpret_cast<LPWSTR>(&number), 2));
    EXPECT_EQ(c.codePage, number);
    WCHAR text[8];
    const int n = GetLocaleInfoW(c.locale, LOCALE_IDEFAULTANSICODEPAGE, text, 8);
    EXPECT_EQ(static_cast<int>(std::char_traits<WCHAR>::length(text)) + 1, n);
    EXPECT_EQ(std::to_string(c.codePage), std::string(text, text + n - 1));
  }
}

TEST(Locale, Refusals) {
  for (LCID unknown : {0u, 1u, 0x0400u, 0x0430u, 0xFFFFu, 0x10411u})
    EXPECT_FALSE(IsValidLocale(unknown, LCID_SUPPORTED)) << unknown;
  EXPECT_FAILS_WITH(IsValidLocale(1033, 3), ERROR_INVALID_FLAGS);
  WCHAR text[8];
  EXPECT_FAILS_WITH(GetLocaleInfoW(0x0430, LOCALE_IDEFAULTANSICODEPAGE, text, 8),
                    ERROR_INVALID_PARAMETER);
  EXPECT_FAILS_WITH(GetLocaleInfoW(1033, 0x0002 /* LOCALE_SLANGUAGE */, text, 8),
                    ERROR_INVALID_FLAGS);
  EXPECT_FAILS_WITH(GetLocaleInfoW(1033, LOCALE_IDEFAULTANSICODEPAGE, text, 4),
                    ERROR_INSUFFICIENT_BUFFER);
  EXPECT_FAILS_WITH(GetLocaleInfoW(1033, LOCALE_IDEFAULTANSICODEPAGE, nullptr, 8),
                    ERROR_INVALID_PARAMETER);
  EXPECT_EQ(5, GetLocaleInfoW(1033, LOCALE_IDEFAULTANSICODEPAGE, nullptr, 0));  // measures
  // The process's own locale answers the process's ANSI code page.
  DWORD acp = 0;
  EXPECT_EQ(2,
            GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                           reinterpret_cast<LPWSTR>(&acp), 2));
  EXPECT_EQ(GetACP(), acp);
}

TEST(Gdi, DisplayFacts) {
  // The test process runs with the UTF-8 ANSI code page: no double-byte system.
  EXPECT_EQ(0, GetSystemMetrics(SM_DBCSENABLED));
  HDC screen = GetDC(nullptr);
  ASSERT_NE(nullptr, screen);
  EXPECT_EQ(96, GetDeviceCaps(screen, LOGPIXELSY));
  EXPECT_EQ(1, ReleaseDC(nullptr, screen));
  EXPECT_FAILS_WITH(GetDC(reinterpret_cast<HWND>(&screen)), ERROR_INVALID_WINDOW_HANDLE);

  LOGFONTW font{};
  HGDIOBJ gui = GetStockObject(DEFAULT_GUI_FONT);
  ASSERT_EQ(static_cast<int>(sizeof font), GetObjectW(gui, sizeof font, &font));
  EXPECT_EQ(-11, font.lfHeight);
  EXPECT_EQ(u"MS Shell Dlg", std::u16string(font.lfFaceName));
  ASSERT_EQ(static_cast<int>(sizeof font),
            GetObjectW(GetStockObject(SYSTEM_FONT), sizeof font, &font));
  EXPECT_EQ(u"System", std::u16string(font.lfFaceName));
  EXPECT_EQ(nullptr, GetStockObject(0));
  EXPECT_FAILS_WITH(GetObjectW(reinterpret_cast<HGDIOBJ>(&font), sizeof font, &font),
                    ERROR_INVALID_HANDLE);
  EXPECT_FAILS_WITH(GetObjectW(gui, 10, &font), ERROR_INVALID_PARAMETER);

  const struct {
    int number, numerator, denominator, result;
  } kMulDiv[] = {{12, 72, 96, 9},
                 {5, 1, 2, 3},
                 {-5, 1, 2, -3},
                 {7, 3, -2, -11},
                 {1, 1, 0, -1},
                 {0x7FFFFFFF, 2, 1, -1},
                 {0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF}};
  for (const auto& c : kMulDiv)
    EXPECT_EQ(c.result, MulDiv(c.number, c.numerator, c.denominator)) << c.number;
}

}  // namespace
