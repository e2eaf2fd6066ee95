// pal/nls/locale.cpp - the table of Windows locale identifiers (see
// locale.h).
//
// Invariant: kLocales is sorted by identifier without duplicates (checked at
// compile time), so a lookup is a binary search. The code pages are those
// Windows reports as LOCALE_IDEFAULTANSICODEPAGE; 0 marks the locales
// Windows keeps in Unicode only. No OS call is made here: the data is
// Windows', not the host's.
#include "pal/nls/locale.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "pal/codepage.h"
#include "pal/error.h"

namespace zrpal {

namespace {

struct LocaleCodePage {
  LCID locale;
  WORD ansiCodePage;
};

// Language identifiers (sort identifier 0), grouped as Windows numbers them.
constexpr LocaleCodePage kLocales[] = {
    {0x007F, 1252},  // invariant
    {0x0401, 1256}, {0x0402, 1251}, {0x0403, 1252}, {0x0404, 950},  {0x0405, 1250}, {0x0406, 1252},
    {0x0407, 1252}, {0x0408, 1253}, {0x0409, 1252}, {0x040A, 1252}, {0x040B, 1252}, {0x040C, 1252},
    {0x040D, 1255}, {0x040E, 1250}, {0x040F, 1252}, {0x0410, 1252}, {0x0411, 932},  {0x0412, 949},
    {0x0413, 1252}, {0x0414, 1252}, {0x0415, 1250}, {0x0416, 1252}, {0x0417, 1252}, {0x0418, 1250},
    {0x0419, 1251}, {0x041A, 1250}, {0x041B, 1250}, {0x041C, 1250}, {0x041D, 1252}, {0x041E, 874},
    {0x041F, 1254}, {0x0420, 1256}, {0x0421, 1252}, {0x0422, 1251}, {0x0423, 1251}, {0x0424, 1250},
    {0x0425, 1257}, {0x0426, 1257}, {0x0427, 1257}, {0x0428, 1251}, {0x0429, 1256}, {0x042A, 1258},
    {0x042B, 0},    {0x042C, 1254}, {0x042D, 1252}, {0x042E, 1252}, {0x042F, 1251}, {0x0432, 1252},
    {0x0434, 1252}, {0x0435, 1252}, {0x0436, 1252}, {0x0437, 0},    {0x0438, 1252}, {0x0439, 0},
    {0x043B, 1252}, {0x043E, 1252}, {0x043F, 1251}, {0x0440, 1251}, {0x0441, 1252}, {0x0442, 1250},
    {0x0443, 1254}, {0x0444, 1251}, {0x0445, 0},    {0x0446, 0},    {0x0447, 0},    {0x0448, 0},
    {0x0449, 0},    {0x044A, 0},    {0x044B, 0},    {0x044C, 0},    {0x044D, 0},    {0x044E, 0},
    {0x044F, 0},    {0x0450, 1251}, {0x0451, 0},    {0x0452, 1252}, {0x0453, 0},    {0x0454, 0},
    {0x0456, 1252}, {0x0457, 0},    {0x045A, 0},    {0x045B, 0},    {0x045D, 0},    {0x045E, 0},
    {0x0461, 0},    {0x0462, 1252}, {0x0464, 1252}, {0x0465, 0},    {0x0468, 1252}, {0x046A, 1252},
    {0x046B, 1252}, {0x046C, 1252}, {0x046D, 1251}, {0x046E, 1252}, {0x046F, 1252}, {0x0470, 1252},
    {0x0478, 0},    {0x047A, 1252}, {0x047C, 1252}, {0x047E, 1252}, {0x0480, 1256}, {0x0482, 1252},
    {0x0483, 1252}, {0x0484, 1252}, {0x0485, 1251}, {0x0487, 1252}, {0x0488, 1252}, {0x048C, 1256},
    {0x0491, 1252}, {0x0801, 1256}, {0x0804, 936},  {0x0807, 1252}, {0x0809, 1252}, {0x080A, 1252},
    {0x080C, 1252}, {0x0810, 1252}, {0x0813, 1252}, {0x0814, 1252}, {0x0816, 1252}, {0x081A, 1250},
    {0x081D, 1252}, {0x082C, 1251}, {0x082E, 1252}, {0x083B, 1252}, {0x083C, 1252}, {0x083E, 1252},
    {0x0843, 1251}, {0x0850, 0},    {0x085D, 1252}, {0x0C01, 1256}, {0x0C04, 950},  {0x0C07, 1252},
    {0x0C09, 1252}, {0x0C0A, 1252}, {0x0C0C, 1252}, {0x0C1A, 1251}, {0x0C3B, 1252}, {0x1001, 1256},
    {0x1004, 936},  {0x1007, 1252}, {0x1009, 1252}, {0x100A, 1252}, {0x100C, 1252}, {0x101A, 1250},
    {0x103B, 1252}, {0x1401, 1256}, {0x1404, 950},  {0x1407, 1252}, {0x1409, 1252}, {0x140A, 1252},
    {0x140C, 1252}, {0x141A, 1250}, {0x143B, 1252}, {0x1801, 1256}, {0x1809, 1252}, {0x180A, 1252},
    {0x180C, 1252}, {0x181A, 1250}, {0x183B, 1252}, {0x1C01, 1256}, {0x1C09, 1252}, {0x1C0A, 1252},
    {0x1C1A, 1251}, {0x1C3B, 1252}, {0x2001, 1256}, {0x2009, 1252}, {0x200A, 1252}, {0x201A, 1251},
    {0x203B, 1252}, {0x2401, 1256}, {0x2409, 1252}, {0x240A, 1252}, {0x241A, 1250}, {0x243B, 1252},
    {0x2801, 1256}, {0x2809, 1252}, {0x280A, 1252}, {0x281A, 1251}, {0x2C01, 1256}, {0x2C09, 1252},
    {0x2C0A, 1252}, {0x2C1A, 1250}, {0x3001, 1256}, {0x3009, 1252}, {0x300A, 1252}, {0x301A, 1251},
    {0x3401, 1256}, {0x3409, 1252}, {0x340A, 1252}, {0x3801, 1256}, {0x380A, 1252}, {0x3C01, 1256},
    {0x3C0A, 1252}, {0x4001, 1256}, {0x4009, 1252}, {0x400A, 1252}, {0x4409, 1252}, {0x440A, 1252},
    {0x4809, 1252}, {0x480A, 1252}, {0x4C0A, 1252}, {0x500A, 1252}, {0x540A, 1252},
};

constexpr bool StrictlyAscending() {
  for (std::size_t i = 1; i < std::size(kLocales); ++i)
    if (kLocales[i - 1].locale >= kLocales[i].locale) return false;
  return true;
}
static_assert(StrictlyAscending(), "kLocales must be sorted by identifier, without duplicates");

const LocaleCodePage* FindLocale(LCID locale) {
  const auto* it =
      std::lower_bound(std::begin(kLocales), std::end(kLocales), locale,
                       [](const LocaleCodePage& entry, LCID id) { return entry.locale < id; });
  return it != std::end(kLocales) && it->locale == locale ? it : nullptr;
}

// The ANSI code page of a locale, or -1 for an unknown one. The pseudo
// locales of the process answer the process's ANSI code page.
long AnsiCodePageOf(LCID locale) {
  if (locale == LOCALE_USER_DEFAULT || locale == LOCALE_SYSTEM_DEFAULT || locale == 0)
    return static_cast<long>(GetACP());
  const LocaleCodePage* entry = FindLocale(locale);
  return entry ? entry->ansiCodePage : -1;
}

}  // namespace

BOOL IsValidLocale(LCID locale, DWORD flags) {
  if (flags != LCID_INSTALLED && flags != LCID_SUPPORTED) {
    SetLastError(ERROR_INVALID_FLAGS);
    return FALSE;
  }
  return FindLocale(locale) ? TRUE : FALSE;
}

int GetLocaleInfoW(LCID locale, LCTYPE type, LPWSTR data, int size) {
  constexpr LCTYPE kModifiers = LOCALE_RETURN_NUMBER | LOCALE_USE_CP_ACP | LOCALE_NOUSEROVERRIDE;
  if (size < 0 || (size > 0 && !data)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const long codePage = AnsiCodePageOf(locale);
  if (codePage < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if ((type & ~kModifiers) != LOCALE_IDEFAULTANSICODEPAGE) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  if (type & LOCALE_RETURN_NUMBER) {
    constexpr int kUnits = sizeof(DWORD) / sizeof(WCHAR);
    if (size == 0) return kUnits;
    if (size < kUnits) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    const DWORD value = static_cast<DWORD>(codePage);
    std::memcpy(data, &value, sizeof value);  // the DWORD's own bytes, as Windows stores it
    return kUnits;
  }
  WCHAR digits[8];
  int n = 0;
  long rest = codePage;
  do {
    digits[n++] = static_cast<WCHAR>(u'0' + rest % 10);
    rest /= 10;
  } while (rest != 0);
  const int needed = n + 1;
  if (size == 0) return needed;
  if (size < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  for (int i = 0; i < n; ++i) data[i] = digits[n - 1 - i];
  data[n] = 0;
  return needed;
}

}  // namespace zrpal
