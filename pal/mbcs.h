// pal/mbcs.h - the process's multibyte code page and the _mbs routines the
// 8-bit string class relies on.
//
// The multibyte code page is a process setting, independent of the C
// library's locale: single-byte by default (every byte is a character, and
// _getmbcp answers 0), switchable with _setmbcp to the double-byte code pages
// 932, 936, 949 and 950, whose lead-byte ranges are those of the Windows code
// pages. Case folding and character classes are the Windows "C" locale's:
// only ASCII letters change case.
#pragma once

#include <cstddef>

#include "pal/internal/crt.h"
#include "pal/types.h"

namespace zrpal {

// The pseudo code pages of _setmbcp, with the Windows run-time's values.
// There is no locale here: _MB_CP_LOCALE is the ANSI code page.
inline constexpr int _MB_CP_SBCS = 0;
inline constexpr int _MB_CP_OEM = -2;
inline constexpr int _MB_CP_ANSI = -3;
inline constexpr int _MB_CP_LOCALE = -4;

// Sets the multibyte code page: _MB_CP_SBCS, any supported single-byte code
// page and UTF-8 (whose bytes the _mbs routines treat one by one, as the
// Windows run-time does) select single-byte mode; 932, 936, 949 and 950
// enable double-byte characters; _MB_CP_ANSI, _MB_CP_LOCALE and _MB_CP_OEM
// select GetACP() / GetOEMCP(). 0 on success, -1 for an unsupported code page
// (which leaves the setting unchanged). The setting is process-wide; routines
// running in other threads see the change at their next call.
int _setmbcp(int codePage);
// 0 in single-byte mode (whichever page selected it), else the double-byte
// code page.
int _getmbcp();

// Whether byte c is a lead byte in the current multibyte code page.
int _ismbblead(unsigned int c);

// A character is a lead byte and the byte after it, or any other single
// byte. A lead byte followed by the terminator is a character of its own
// (one byte): no routine ever steps over a terminator. Character codes (the
// `c` arguments and _mbsnextc) are lead * 256 + trail or the single byte.
//
// The routines of the Windows run-time's own (underscore) names accept null
// pointers as its invalid-parameter path leaves them: a null result, 0, or
// for the comparisons _NLSCMPERROR (pal/crt.h).

size_t _mbslen(const unsigned char* s);
unsigned char* _mbsinc(const unsigned char* p);
unsigned char* _mbsdec(const unsigned char* start, const unsigned char* p);  // null at start
unsigned char* _mbsninc(const unsigned char* s, size_t count);
size_t _mbsnbcnt(const unsigned char* s, size_t count);  // bytes of the first count characters
unsigned int _mbsnextc(const unsigned char* s);          // lead*256+trail or the byte

// Comparisons go character by character, comparing character codes (so a
// double-byte character sorts after every single byte); results are -1, 0, 1.
// The case-insensitive ones fold ASCII letters to lower case first.
int _mbscmp(const unsigned char* a, const unsigned char* b);
int _mbsicmp(const unsigned char* a, const unsigned char* b);
int _mbsncmp(const unsigned char* a, const unsigned char* b, size_t count);   // count in characters
int _mbsnicmp(const unsigned char* a, const unsigned char* b, size_t count);
// Searches match whole characters only (never a trail byte); c == 0 finds
// the terminator. _mbsstr with an empty `sub` gives `s`.
unsigned char* _mbschr(const unsigned char* s, unsigned int c);
unsigned char* _mbsrchr(const unsigned char* s, unsigned int c);
unsigned char* _mbsstr(const unsigned char* s, const unsigned char* sub);
unsigned char* _mbspbrk(const unsigned char* s, const unsigned char* set);
// Change ASCII letters only, never a trail byte; return s.
unsigned char* _mbsupr(unsigned char* s);
unsigned char* _mbslwr(unsigned char* s);

// The "C" locale: ASCII only, whatever setlocale says. isspace, toupper and
// tolower take a byte value (0-255) or EOF; other values are not spaces and
// are returned unchanged. _stricmp and _strnicmp (count in bytes) compare
// after folding ASCII letters to lower case, as the Windows run-time does
// (so "_" sorts before "A"); results are -1, 0, 1.
int isspace(int c);                // space, \t \n \v \f \r
int toupper(int c);
int tolower(int c);
int _stricmp(const char* a, const char* b);
int _strnicmp(const char* a, const char* b, size_t count);

}  // namespace zrpal
