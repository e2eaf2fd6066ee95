// pal/wstr.h - the run-time's wide-string routines over UTF-16 (WCHAR).
//
// The C library's wcs* functions work on 32-bit wchar_t; these are the same
// routines for 16-bit code units, with the Windows "C" locale's case rule
// (only ASCII letters change case), whatever setlocale says. Comparisons go
// code unit by code unit (a surrogate sorts below U+E000-U+FFFF, as on
// Windows) and give -1, 0 or 1; the case-insensitive ones fold ASCII letters
// to lower case first (so L"_" sorts before L"A", as on Windows).
//
// Null pointers: the standard names (wcslen, wcscpy, ...) require non-null
// arguments, as in C. The Windows run-time's own names (_wcsicmp, _wcsupr,
// _wtoi, ...) treat null as its invalid-parameter path leaves it: 0, a null
// result, or _NLSCMPERROR for the comparisons.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pal/internal/crt.h"
#include "pal/types.h"

namespace zrpal {

// UTF-16 surrogates: a high unit followed by a low one is one code point
// above U+FFFF. The tests take any 32-bit value (a decoded code point too).
constexpr bool IsHighSurrogate(std::uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
constexpr bool IsLowSurrogate(std::uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
constexpr std::uint32_t CodePointOfPair(std::uint32_t high, std::uint32_t low) {
  return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}

size_t wcslen(const WCHAR* s);
int wcscmp(const WCHAR* a, const WCHAR* b);
int wcsncmp(const WCHAR* a, const WCHAR* b, size_t count);
int _wcsicmp(const WCHAR* a, const WCHAR* b);
int _wcsnicmp(const WCHAR* a, const WCHAR* b, size_t count);
// c == 0 finds the terminator; an empty `sub` gives `s`.
WCHAR* wcschr(const WCHAR* s, WCHAR c);
WCHAR* wcsrchr(const WCHAR* s, WCHAR c);
WCHAR* wcsstr(const WCHAR* s, const WCHAR* sub);
WCHAR* wcspbrk(const WCHAR* s, const WCHAR* set);
WCHAR* wcscpy(WCHAR* dest, const WCHAR* src);
// As in C: copies at most count units and pads the rest of the count with
// zeros; no terminator when src has count units or more.
WCHAR* wcsncpy(WCHAR* dest, const WCHAR* src, size_t count);
WCHAR* _wcsupr(WCHAR* s);
WCHAR* _wcslwr(WCHAR* s);
// White space as the Windows run-time classifies wide characters, which does
// not depend on the locale: U+0009-U+000D and U+0020 (the "C" locale's
// spaces) and the other Unicode White_Space characters U+0085, U+00A0,
// U+1680, U+2000-U+200A, U+2028, U+2029, U+202F, U+205F and U+3000.
int iswspace(WCHAR c);
WCHAR towupper(WCHAR c);
WCHAR towlower(WCHAR c);
// Skips leading white space (iswspace), takes an optional sign and decimal
// digits; stops at the first other unit. Out-of-range values give INT_MAX or
// INT_MIN, as the Windows run-time's _wtoi does; no digits give 0.
int _wtoi(const WCHAR* s);

}  // namespace zrpal
