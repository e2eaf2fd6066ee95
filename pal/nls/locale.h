// pal/nls/locale.h - Windows locale identifiers: which ones exist and their
// default ANSI code pages.
//
// The locales are the fixed table of Windows locale identifiers (LCIDs,
// language in the low 16 bits, sort identifier 0) with the ANSI code page
// Windows gives each; a locale whose text Windows keeps in Unicode only
// answers 0 there, as on Windows. Every locale of the table is installed and
// supported. An identifier outside the table is invalid.
//
// LOCALE_USER_DEFAULT and LOCALE_SYSTEM_DEFAULT stand for the process's
// locale: here that is the ANSI code page setting (pal/codepage.h), so their
// ANSI code page is GetACP(). LOCALE_INVARIANT has 1252, as on Windows.
//
// Thread-safe (read-only data).
#pragma once

#include "pal/types.h"

namespace zrpal {

using LCID = DWORD;
using LCTYPE = DWORD;

inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
inline constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
inline constexpr LCID LOCALE_INVARIANT = 0x007F;

// IsValidLocale flags.
inline constexpr DWORD LCID_INSTALLED = 0x00000001;
inline constexpr DWORD LCID_SUPPORTED = 0x00000002;

// GetLocaleInfoW: the one information type implemented, and the modifiers.
inline constexpr LCTYPE LOCALE_IDEFAULTANSICODEPAGE = 0x00001004;
inline constexpr LCTYPE LOCALE_RETURN_NUMBER = 0x20000000;
inline constexpr LCTYPE LOCALE_USE_CP_ACP = 0x40000000;
inline constexpr LCTYPE LOCALE_NOUSEROVERRIDE = 0x80000000;

// TRUE when `locale` is in the table. `flags` is LCID_INSTALLED or
// LCID_SUPPORTED (every locale of the table is both); any other value gives
// FALSE with ERROR_INVALID_FLAGS. The pseudo locales (user and system
// default) are not in the table: FALSE, as Windows answers for them.
BOOL IsValidLocale(LCID locale, DWORD flags);

// The locale's information `type` in `data` (room for `size` characters):
// as decimal text with its terminator, the result counting the terminator;
// with LOCALE_RETURN_NUMBER as a DWORD in the first two characters, result
// 2. Size 0 measures (data is not touched). LOCALE_NOUSEROVERRIDE and
// LOCALE_USE_CP_ACP are accepted and change nothing (there are no user
// overrides; the wide function has no code page to choose).
// Failures give 0 and the last error: ERROR_INVALID_PARAMETER for an
// unknown locale, a negative size or a null buffer with a size;
// ERROR_INVALID_FLAGS for an information type other than
// LOCALE_IDEFAULTANSICODEPAGE (Deviation: Windows knows some hundred);
// ERROR_INSUFFICIENT_BUFFER when the answer does not fit.
int GetLocaleInfoW(LCID locale, LCTYPE type, LPWSTR data, int size);

}  // namespace zrpal
