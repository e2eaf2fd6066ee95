// strings/xtext.h - character-level text routines of the two string widths.
//
// One overload set for 8-bit text (characters of the process's multibyte
// code page, through the platform layer's _mbs routines) and one for UTF-16
// text (one character per code unit), so that the string members can be
// written once as templates over the unit type. Units are bytes or code
// units; characters are what the classes index by.
//
// Pointers passed in and returned point at character boundaries of a
// zero-terminated text.
//
// In single-byte mode (_getmbcp() == 0) every byte is a character and the
// multibyte routines reduce to their byte forms. The hot paths (lengths and
// searches) then use the C library's byte routines, which give the same
// results, do not depend on the locale, and are many times faster than the
// character-by-character walks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "pal/mbcs.h"
#include "pal/wstr.h"
#include "zr/zrtypes.h"

namespace zr::xtext {

inline const unsigned char* U(const char* s) { return reinterpret_cast<const unsigned char*>(s); }
inline unsigned char* U(char* s) { return reinterpret_cast<unsigned char*>(s); }
inline const char* C(const unsigned char* s) { return reinterpret_cast<const char*>(s); }

// --- Lengths and positions ---------------------------------------------------

inline std::size_t Units(const char* s) { return std::strlen(s); }
inline std::size_t Units(const WCHAR* s) { return zrpal::wcslen(s); }

inline bool SingleByte() { return zrpal::_getmbcp() == 0; }

inline std::size_t Chars(const char* s) {
  return SingleByte() ? std::strlen(s) : zrpal::_mbslen(U(s));
}
inline std::size_t Chars(const WCHAR* s) { return zrpal::wcslen(s); }

// Units taken by the first `chars` characters (clamped to the text).
std::size_t CharsToUnits(const WCHAR* s, std::size_t chars);
inline std::size_t CharsToUnits(const char* s, std::size_t chars) {
  if (SingleByte()) {
    std::size_t n = 0;
    while (n < chars && s[n]) ++n;
    return n;
  }
  return zrpal::_mbsnbcnt(U(s), chars);
}

// Characters in the first `units` units (a character boundary).
std::size_t UnitsToChars(const char* s, std::size_t units);
inline std::size_t UnitsToChars(const WCHAR*, std::size_t units) { return units; }

inline const char* NextChar(const char* p) { return C(zrpal::_mbsinc(U(p))); }
inline const WCHAR* NextChar(const WCHAR* p) { return p + 1; }

// The character before `p`, or null when `p` is `start`.
inline const char* PrevChar(const char* start, const char* p) {
  return C(zrpal::_mbsdec(U(start), U(p)));
}
inline const WCHAR* PrevChar(const WCHAR* start, const WCHAR* p) {
  return p > start ? p - 1 : nullptr;
}

// The character at `p` in the classes' character-operand form (lead byte x
// 256 + trail byte for a double-byte character); 0 at the terminator.
inline WCHAR CharAt(const char* p) { return static_cast<WCHAR>(zrpal::_mbsnextc(U(p))); }
inline WCHAR CharAt(const WCHAR* p) { return *p; }

// A character operand as units: two bytes when its high byte is a lead byte
// of the current code page, else its low byte. 0 units for a zero character.
unsigned EncodeChar(WCHAR ch, char out[2]);
inline unsigned EncodeChar(WCHAR ch, WCHAR out[2]) {
  out[0] = ch;
  return ch ? 1 : 0;
}

// --- Searching ---------------------------------------------------------------
//
// Texts are found as _mbsstr / wcsstr find them: the first occurrence, an
// empty text at the start. Where a unit is a character (single-byte code
// pages, UTF-16) the search is the one std::string::find makes: a fast scan
// for the text's first unit, then a compare at each place it occurs. The
// scan of 8-bit text is strchr (the C library's vectorised scan, stopping at
// the terminator as the text's length is not known); that of UTF-16 text
// reads whole 64-bit words. In double-byte code pages _mbsstr keeps the
// character rules (a match never starts on a trail byte).
//
// `end` bounds the reading of UTF-16 text: whole words are read only below
// it (the end of the string's buffer), single units beyond it up to the
// terminator. The 8-bit forms take it for symmetry and ignore it.

// The first unit of s that is `c` or the terminator.
const WCHAR* ScanUnit(const WCHAR* s, WCHAR c, const WCHAR* end);

// Whether a[0, n) and b[0, n) hold the same bytes. Short lengths, the
// common texts searched for, compare inline with two overlapping loads of
// one width (branches on the length class only, which repeat from call to
// call); longer ones call memcmp.
inline bool SameBytes(const char* a, const char* b, std::size_t n) {
  const auto same = [&](auto width) {
    using W = decltype(width);
    W x0, y0, x1, y1;
    std::memcpy(&x0, a, sizeof(W));
    std::memcpy(&y0, b, sizeof(W));
    std::memcpy(&x1, a + n - sizeof(W), sizeof(W));
    std::memcpy(&y1, b + n - sizeof(W), sizeof(W));
    return ((x0 ^ y0) | (x1 ^ y1)) == 0;
  };
  if (n > 16) return std::memcmp(a, b, n) == 0;
  if (n >= 8) return same(std::uint64_t{});
  if (n >= 4) return same(std::uint32_t{});
  if (n >= 2) return same(std::uint16_t{});
  return n == 0 || *a == *b;
}

// The single-byte search (every byte a character) in s[0, end), where *end
// is the terminator: the search std::string::find makes, memchr for the
// text's first byte where the whole text still fits, then a compare.
[[gnu::always_inline]] inline const char* FindBytes(const char* s, const char* end,
                                                   const char* sub) {
  const std::size_t n = std::strlen(sub);
  if (n == 0) return s;
  const int first = static_cast<unsigned char>(*sub);
  for (; static_cast<std::size_t>(end - s) >= n; ++s) {
    s = static_cast<const char*>(std::memchr(s, first, static_cast<std::size_t>(end - s) - n + 1));
    if (!s) return nullptr;
    if (SameBytes(s, sub, n)) return s;
  }
  return nullptr;
}

// The same where the length of s is not known: strchr for the first byte.
inline const char* FindBytes(const char* s, const char* sub) {
  if (!*sub) return s;
  for (; (s = std::strchr(s, *sub)) != nullptr; ++s) {
    // The text holds no zero byte before its end, so the compare stops at
    // the terminator of s at the latest.
    std::size_t i = 1;
    while (sub[i] && s[i] == sub[i]) ++i;
    if (!sub[i]) return s;
  }
  return nullptr;
}

inline const char* FindText(const char* s, const char* sub, const char* /*end*/) {
  return SingleByte() ? FindBytes(s, sub) : C(zrpal::_mbsstr(U(s), U(sub)));
}
const WCHAR* FindText(const WCHAR* s, const WCHAR* sub, const WCHAR* end);

// A character operand as the code the _mbs routines compare: itself when
// its high byte is a lead byte, else its low byte (what EncodeChar stores).
unsigned CharCode(WCHAR ch);

inline const char* FindChar(const char* s, WCHAR ch, const char* /*end*/) {
  if (SingleByte()) return std::strchr(s, ch & 0xFF);
  return C(zrpal::_mbschr(U(s), CharCode(ch)));
}
inline const WCHAR* FindChar(const WCHAR* s, WCHAR ch, const WCHAR* end) {
  const WCHAR* p = ScanUnit(s, ch, end);
  return *p == ch ? p : nullptr;  // the terminator itself is found, as by wcschr
}

inline const char* FindAnyOf(const char* s, const char* set) {
  return C(zrpal::_mbspbrk(U(s), U(set)));
}
inline const WCHAR* FindAnyOf(const WCHAR* s, const WCHAR* set) {
  return zrpal::wcspbrk(s, set);
}

inline const char* FindLastChar(const char* s, WCHAR ch) {
  return C(zrpal::_mbsrchr(U(s), CharCode(ch)));
}
inline const WCHAR* FindLastChar(const WCHAR* s, WCHAR ch) { return zrpal::wcsrchr(s, ch); }

// The reverse scan: the last character of s[0, units) that is one of the
// single-unit characters of `set`, or null. Double-byte characters, in the
// text or in the set, never match.
const char* FindLastOf(const char* s, std::size_t units, const char* set);
const WCHAR* FindLastOf(const WCHAR* s, std::size_t units, const WCHAR* set);

// --- Classes and case --------------------------------------------------------

inline bool IsSpace(char c) { return zrpal::isspace(static_cast<unsigned char>(c)) != 0; }
inline bool IsSpace(WCHAR c) { return zrpal::iswspace(c) != 0; }

inline void Upper(char* s) { zrpal::_mbsupr(U(s)); }
inline void Upper(WCHAR* s) { zrpal::_wcsupr(s); }
inline void Lower(char* s) { zrpal::_mbslwr(U(s)); }
inline void Lower(WCHAR* s) { zrpal::_wcslwr(s); }

}  // namespace zr::xtext
