// strings/xtext.cpp - character-level text routines of the two string widths.
#include "strings/xtext.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace zr::xtext {

std::size_t CharsToUnits(const WCHAR* s, std::size_t chars) {
  std::size_t n = 0;
  while (n < chars && s[n]) ++n;
  return n;
}

std::size_t UnitsToChars(const char* s, std::size_t units) {
  if (zrpal::_getmbcp() == 0) return units;
  const char* end = s + units;
  std::size_t chars = 0;
  for (const char* p = s; p < end; p = NextChar(p)) ++chars;
  return chars;
}

unsigned CharCode(WCHAR ch) {
  const unsigned high = ch >> 8;
  return high && zrpal::_ismbblead(high) ? ch : ch & 0xFFu;
}

unsigned EncodeChar(WCHAR ch, char out[2]) {
  const unsigned high = ch >> 8;
  const unsigned low = ch & 0xFFu;
  if (high && zrpal::_ismbblead(high)) {
    out[0] = static_cast<char>(high);
    out[1] = static_cast<char>(low);
    // A zero trail byte would end the text after the lead byte.
    return low ? 2 : 1;
  }
  out[0] = static_cast<char>(low);
  return low ? 1 : 0;
}

const WCHAR* ScanUnit(const WCHAR* s, WCHAR c, const WCHAR* end) {
  // Four units a word: a lane equal to c is a zero lane of word ^ pattern,
  // and (v - ones) & ~v & highs is non-zero exactly when v has a zero lane.
  constexpr std::uint64_t kOnes = 0x0001000100010001;
  constexpr std::uint64_t kHighs = 0x8000800080008000;
  const std::uint64_t pattern = kOnes * c;
  while (end - s >= 4) {
    std::uint64_t word;
    std::memcpy(&word, s, sizeof word);
    const std::uint64_t match = word ^ pattern;
    if ((((word - kOnes) & ~word) | ((match - kOnes) & ~match)) & kHighs) break;
    s += 4;
  }
  while (*s != c && *s != 0) ++s;
  return s;
}

const WCHAR* FindText(const WCHAR* s, const WCHAR* sub, const WCHAR* end) {
  if (!*sub) return s;
  for (;; ++s) {
    s = ScanUnit(s, *sub, end);
    if (!*s) return nullptr;
    // The text holds no zero unit before its end, so the compare stops at
    // the terminator of s at the latest.
    std::size_t i = 1;
    while (sub[i] && s[i] == sub[i]) ++i;
    if (!sub[i]) return s;
  }
}

namespace {

// Whether the single-byte character `c` is one of the characters of `set`,
// compared character by character so that a trail byte of the set never
// matches.
bool InSet(const char* set, unsigned char c) {
  for (const char* q = set; *q; q = NextChar(q))
    if (NextChar(q) == q + 1 && static_cast<unsigned char>(*q) == c) return true;
  return false;
}

}  // namespace

const char* FindLastOf(const char* s, std::size_t units, const char* set) {
  if (zrpal::_getmbcp() == 0) {
    for (std::size_t i = units; i-- > 0;)
      if (std::strchr(set, s[i])) return s + i;
    return nullptr;
  }
  // Multibyte code page: step back by whole characters. A step of two or
  // more bytes is a double-byte character, which never matches.
  const char* next = s + units;
  for (const char* p = PrevChar(s, next); p; next = p, p = PrevChar(s, p)) {
    if (next - p == 1 && InSet(set, static_cast<unsigned char>(*p))) return p;
  }
  return nullptr;
}

const WCHAR* FindLastOf(const WCHAR* s, std::size_t units, const WCHAR* set) {
  for (std::size_t i = units; i-- > 0;)
    if (zrpal::wcschr(set, s[i])) return s + i;
  return nullptr;
}

}  // namespace zr::xtext
