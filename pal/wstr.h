// pal/wstr.h - the run-time's wide-string routines over UTF-16 (WCHAR).
//
// The C library's wcs* functions work on 32-bit wchar_t; these are the same
// routines for 16-bit code units, with the Windows "C" locale's case rule
// (only ASCII letters change case). iswspace follows the Windows run-time's
// wide classification (documented at its definition). Comparisons go code
// unit by code unit.
#pragma once

#include <cstddef>

#include "pal/types.h"

namespace zrpal {

size_t wcslen(const WCHAR* s);
int wcscmp(const WCHAR* a, const WCHAR* b);
int wcsncmp(const WCHAR* a, const WCHAR* b, size_t count);
int _wcsicmp(const WCHAR* a, const WCHAR* b);
int _wcsnicmp(const WCHAR* a, const WCHAR* b, size_t count);
WCHAR* wcschr(const WCHAR* s, WCHAR c);
WCHAR* wcsrchr(const WCHAR* s, WCHAR c);
WCHAR* wcsstr(const WCHAR* s, const WCHAR* sub);
WCHAR* wcspbrk(const WCHAR* s, const WCHAR* set);
WCHAR* wcscpy(WCHAR* dest, const WCHAR* src);
WCHAR* wcsncpy(WCHAR* dest, const WCHAR* src, size_t count);
WCHAR* _wcsupr(WCHAR* s);
WCHAR* _wcslwr(WCHAR* s);
int iswspace(WCHAR c);
WCHAR towupper(WCHAR c);
WCHAR towlower(WCHAR c);
int _wtoi(const WCHAR* s);

}  // namespace zrpal
