// pal/codepage.h - code-page conversion with Windows code-page numbers.
//
// Supported code pages: 437 and 850 (the OEM pages of the United States and
// of Western Europe), 874, 932, 936, 949, 950, 1250-1258, 20127,
// 28591-28601 and 28603-28605 (ISO 8859-1 to -11, -13 to -15; 28600,
// 28601 and 28604 go beyond the pages Windows offers), and 65001 (UTF-8).
// UTF-8 is converted directly; the others through tables built once per
// process from the C library's iconv, corrected where the Windows tables
// differ in known ways (see pal/internal/codepage_table.h). The differences
// that remain are listed in docs/deviations.md.
//
// CP_ACP (and CP_THREAD_ACP) is the process's ANSI code page: 65001 unless
// the environment variable ZR_ACP holds the decimal number of a supported
// code page. It is read once: at library start-up, or at the first call that
// needs it when start-up has not run (the static library's tests).
// CP_OEMCP is the OEM code page Windows pairs with that ANSI page in its
// locales (OemCodePageOf): 437 for 1252, the page of English (United States);
// the same page for 65001 (Windows' UTF-8 setting changes both), 874, 932,
// 936, 949, 950 and 1258. Windows derives both pages from one locale setting,
// and ZR_ACP is that setting here; Linux has no console code page of its own
// to take the OEM page from.
//
// Conversions without an error flag, as Windows does them:
//  - UTF-8: each maximal ill-formed subsequence (Unicode's definition)
//    becomes one U+FFFD; lone surrogates in UTF-16 become U+FFFD (EF BF BD).
//  - Double-byte pages: a lead byte and the byte after it are always taken
//    together, unless that byte is 0 or missing; a pair that has no character
//    and a lead byte on its own become the page's Unicode default character:
//    U+30FB in 932, U+003F in 936, 949 and 950.
//  - Single-byte pages: bytes without a character become U+FFFD. The Windows
//    tables map every byte; only bytes glibc lacks get here (0x80-0x9F of the
//    1250-1258 and 874 pages are filled with the C1 controls, as Windows does).
//  - UTF-16 that a page cannot represent becomes the default character
//    (defaultChar, or '?'), one per UTF-16 unit (a surrogate pair gives two),
//    and *usedDefaultChar is set. No best-fit substitution is ever made:
//    WC_NO_BEST_FIT_CHARS is accepted and is what always happens.
// With MB_ERR_INVALID_CHARS / WC_ERR_INVALID_CHARS every such case fails the
// call instead (0, ERROR_NO_UNICODE_TRANSLATION), and so does a single byte
// that decodes to a private-use character (932's A0 and FD-FF, the 0xFF of
// 936, 949 and 950), which flag 0 converts.
//
// Flags: MB_PRECOMPOSED is accepted (and ignored) except with UTF-8; MB_COMPOSITE
// and MB_USEGLYPHCHARS, WC_COMPOSITECHECK, WC_DISCARDNS, WC_SEPCHARS and
// WC_DEFAULTCHAR are not implemented and fail with ERROR_INVALID_FLAGS, as does
// any unknown flag. WC_ERR_INVALID_CHARS is for UTF-8 only, as on Windows.
//
// Thread-safe.
#pragma once

#include "pal/types.h"

namespace zrpal {

inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_OEMCP = 1;
inline constexpr UINT CP_THREAD_ACP = 3;
inline constexpr UINT CP_UTF8 = 65001;

inline constexpr DWORD MB_PRECOMPOSED = 0x00000001;
inline constexpr DWORD MB_COMPOSITE = 0x00000002;
inline constexpr DWORD MB_USEGLYPHCHARS = 0x00000004;
inline constexpr DWORD MB_ERR_INVALID_CHARS = 0x00000008;
inline constexpr DWORD WC_DISCARDNS = 0x00000010;
inline constexpr DWORD WC_SEPCHARS = 0x00000020;
inline constexpr DWORD WC_DEFAULTCHAR = 0x00000040;
inline constexpr DWORD WC_ERR_INVALID_CHARS = 0x00000080;
inline constexpr DWORD WC_COMPOSITECHECK = 0x00000200;
inline constexpr DWORD WC_NO_BEST_FIT_CHARS = 0x00000400;

// The process's ANSI code page (what CP_ACP stands for).
UINT GetACP();
// The OEM code page (what CP_OEMCP stands for): OemCodePageOf(GetACP()).
UINT GetOEMCP();

// The OEM code page Windows pairs with an ANSI code page: 437 for 1252,
// otherwise the page itself (see above; 1250, 1251 and 1253-1257 deviate:
// their DOS partners are not supported).
UINT OemCodePageOf(UINT ansiCodePage);

// The code page that a value of the environment variable ZR_ACP selects: the
// decimal number (digits only) of a supported code page; anything else,
// including null, selects 65001.
UINT AcpFromSetting(const char* value);

// Whether `codePage` can be converted. Deviation: the pseudo code pages
// CP_ACP, CP_OEMCP and CP_THREAD_ACP are resolved first (Windows answers
// FALSE for them). Builds the page's table if needed.
BOOL IsValidCodePage(UINT codePage);

// Whether `byte` is a lead byte of `codePage` (CP_ACP etc. resolved); FALSE
// for pages without lead bytes and for unknown pages.
BOOL IsDBCSLeadByteEx(UINT codePage, BYTE byte);

// As on Windows. cbMultiByte -1 converts up to and including the terminator;
// a positive count converts exactly that many bytes (zeros included). With
// cchWideChar 0 the result is the number of UTF-16 units needed; otherwise
// the units written, or 0 with ERROR_INSUFFICIENT_BUFFER when they do not fit
// (the buffer then holds the whole characters that fit). 0 with
// ERROR_INVALID_PARAMETER for a null input, cbMultiByte 0 or below -1, a
// negative cchWideChar, a null output with cchWideChar > 0, the same address
// for input and output, or an unsupported code page.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int cbMultiByte,
                        LPWSTR wideChar, int cchWideChar);

// As on Windows, with the argument rules of MultiByteToWideChar in the other
// direction. `defaultChar` (may be null) names the default character: its
// first character (one byte, or a lead and a trail byte on double-byte
// pages). *usedDefaultChar (may be null) is set to whether it was used. Both
// must be null for CP_UTF8 (else ERROR_INVALID_PARAMETER), as on Windows.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wideChar, int cchWideChar,
                        LPSTR multiByte, int cbMultiByte, LPCSTR defaultChar,
                        BOOL* usedDefaultChar);

// Converts the longest prefix of whole characters of `wideChar` (cchWideChar
// units, or -1 for up to the terminator, which is not converted) that fits
// into cbMultiByte bytes, as WideCharToMultiByte with flags 0 and no default
// character would; adds no terminator. Returns the bytes written, or -1 with
// ERROR_INVALID_PARAMETER for bad arguments or an unsupported code page. This
// is the truncating conversion that LoadStringA needs.
int WideCharToMultiBytePrefix(UINT codePage, LPCWSTR wideChar, int cchWideChar, LPSTR multiByte,
                              int cbMultiByte);

// The ANSI (A) forms of the text getters (LoadStringA, GetMenuStringA,
// GetWindowTextA): the longest prefix of the `units` units of `text` that
// fits into `bufferChars` - 1 bytes, converted to the ANSI code page and
// terminated. Returns the bytes before the terminator (0, with the last
// error set, when the ANSI page cannot convert). `buffer` is not null and
// `bufferChars` at least 1.
int WideToAnsiTerminated(LPCWSTR text, int units, LPSTR buffer, int bufferChars);

// Start-up and shutdown of code-page support: start-up reads ZR_ACP once;
// shutdown frees the conversion tables (no thread may be converting).
void CodePageStartup();
void CodePageShutdown();

}  // namespace zrpal
