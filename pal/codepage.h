// pal/codepage.h - code-page conversion with Windows code-page numbers.
//
// Implemented over iconv. Supported code pages: 874, 932, 936, 949, 950,
// 1250-1258, 20127, 28591-28605 (those iconv knows), 65001 (UTF-8), and 1200
// (UTF-16LE, as the identity for wide text). CP_ACP is the process's ANSI
// code page: 65001 unless the environment variable ZR_ACP names another
// supported code page (read once, at first use).
#pragma once

#include "pal/types.h"

namespace zrpal {

inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_OEMCP = 1;
inline constexpr UINT CP_THREAD_ACP = 3;
inline constexpr UINT CP_UTF8 = 65001;

inline constexpr DWORD MB_PRECOMPOSED = 0x00000001;
inline constexpr DWORD MB_ERR_INVALID_CHARS = 0x00000008;
inline constexpr DWORD WC_NO_BEST_FIT_CHARS = 0x00000400;
inline constexpr DWORD WC_ERR_INVALID_CHARS = 0x00000080;

// The process's ANSI code page (what CP_ACP stands for).
UINT GetACP();

// Whether `codePage` (after CP_ACP/CP_OEMCP/CP_THREAD_ACP are resolved) can
// be converted.
BOOL IsValidCodePage(UINT codePage);

// As on Windows: with cchWideChar 0 the result is the length needed (in
// UTF-16 units, including the terminator when cbMultiByte is -1); otherwise
// the units written, or 0 with ERROR_INSUFFICIENT_BUFFER when they do not
// fit. cbMultiByte -1 converts up to and including the terminator.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int cbMultiByte,
                        LPWSTR wideChar, int cchWideChar);

// As on Windows: with cbMultiByte 0 the result is the byte count needed.
// `defaultChar` (may be null) replaces characters the code page lacks;
// *usedDefaultChar (may be null) reports whether that happened. Both must
// be null for CP_UTF8, as on Windows.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wideChar, int cchWideChar,
                        LPSTR multiByte, int cbMultiByte, LPCSTR defaultChar,
                        BOOL* usedDefaultChar);

}  // namespace zrpal
