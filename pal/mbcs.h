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

#include "pal/types.h"

namespace zrpal {

// Sets the multibyte code page: 0 or any single-byte code page makes every
// byte a character; 932, 936, 949, 950 enable double-byte characters. -1
// would mean the ANSI code page (resolved with GetACP). 0 on success, -1 for
// an unsupported code page (which leaves the setting unchanged).
int _setmbcp(int codePage);
// 0 in single-byte mode, else the double-byte code page.
int _getmbcp();

// Whether byte c is a lead byte in the current multibyte code page.
int _ismbblead(unsigned int c);

// Character counts and steps; a lead byte followed by the terminator counts
// as a character of its own (one byte), as the Windows run-time does.
size_t _mbslen(const unsigned char* s);
unsigned char* _mbsinc(const unsigned char* p);
unsigned char* _mbsdec(const unsigned char* start, const unsigned char* p);  // null at start
unsigned char* _mbsninc(const unsigned char* s, size_t count);
size_t _mbsnbcnt(const unsigned char* s, size_t count);  // bytes of the first count characters
unsigned int _mbsnextc(const unsigned char* s);          // lead*256+trail or the byte

int _mbscmp(const unsigned char* a, const unsigned char* b);
int _mbsicmp(const unsigned char* a, const unsigned char* b);
int _mbsncmp(const unsigned char* a, const unsigned char* b, size_t count);   // count in characters
int _mbsnicmp(const unsigned char* a, const unsigned char* b, size_t count);
unsigned char* _mbschr(const unsigned char* s, unsigned int c);
unsigned char* _mbsrchr(const unsigned char* s, unsigned int c);
unsigned char* _mbsstr(const unsigned char* s, const unsigned char* sub);
unsigned char* _mbspbrk(const unsigned char* s, const unsigned char* set);
unsigned char* _mbsupr(unsigned char* s);
unsigned char* _mbslwr(unsigned char* s);

// The "C" locale: ASCII only, whatever setlocale says.
int isspace(int c);                // space, \t \n \v \f \r
int toupper(int c);
int tolower(int c);
int _stricmp(const char* a, const char* b);
int _strnicmp(const char* a, const char* b, size_t count);

}  // namespace zrpal
