// strings/search.cpp - comparing and searching members of CXString and
// CXStringW.
//
// Indices are characters (code units in CXStringW). A start index is read as
// unsigned and clamped to the length, so a negative start searches from the
// end. Null texts are accepted: comparisons answer 1, searches -1.
#include <algorithm>

#include "pal/mbcs.h"
#include "pal/wstr.h"
#include "strings/xbuffer.h"
#include "strings/xtext.h"
#include "zr/xstring.h"

namespace {

namespace xt = zr::xtext;

template <class Unit>
int IndexOf(const Unit* p, const Unit* found) {
  return found ? static_cast<int>(xt::UnitsToChars(p, static_cast<std::size_t>(found - p))) : -1;
}

template <class Unit>
const Unit* StartAt(const Unit* p, int start) {
  return p + xt::CharsToUnits(p, static_cast<unsigned>(start));
}

// The end of the string's buffer, below which a search may read ahead.
template <class Unit>
const Unit* BufferEnd(const Unit* p) {
  return p + zr::XBuffer<Unit>::Capacity(p);
}

template <class Unit>
int FindText(const Unit* p, const Unit* text, int start) {
  if (!*p || !text) return -1;
  return IndexOf(p, xt::FindText(StartAt(p, start), text, BufferEnd(p)));
}

template <class Unit>
int FindChar(const Unit* p, WCHAR ch, int start) {
  if (!*p) return -1;
  return IndexOf(p, xt::FindChar(StartAt(p, start), ch, BufferEnd(p)));
}

template <class Unit>
int FindOnOf(const Unit* p, const Unit* chars, int start) {
  if (!*p || !chars) return -1;
  return IndexOf(p, xt::FindAnyOf(StartAt(p, start), chars));
}

template <class Unit>
int FindRev(const Unit* p, WCHAR ch) {
  if (!*p) return -1;
  return IndexOf(p, xt::FindLastChar(p, ch));
}

template <class Unit>
int FindRevOnOf(const Unit* p, const Unit* chars) {
  if (!*p || !chars) return -1;
  return IndexOf(p, xt::FindLastOf(p, xt::Units(p), chars));
}

int Sign(int v) { return (v > 0) - (v < 0); }

}  // namespace

// --- CXString -----------------------------------------------------------------

int CXString::Compare(const char* text) const {
  if (!text) return 1;
  return Sign(zrpal::_mbscmp(xt::U(m_pchData), xt::U(text)));
}

int CXString::CompareI(const char* text) const {
  if (!text) return 1;
  return zrpal::_mbsicmp(xt::U(m_pchData), xt::U(text));
}

int CXString::CompareN(const char* text, int n) const {
  if (!text) return 1;
  return zrpal::_mbsncmp(xt::U(m_pchData), xt::U(text), static_cast<unsigned>(n));
}

int CXString::CompareIN(const char* text, int n) const {
  if (!text) return 1;
  return zrpal::_mbsnicmp(xt::U(m_pchData), xt::U(text), static_cast<unsigned>(n));
}

int CXString::Find(const char* text, int start) const {
  if (!xt::SingleByte()) return FindText(m_pchData, text, start);
  // Every byte a character: the code page looked at once, byte indices, and
  // memchr over the length the header knows.
  if (!*m_pchData || !text) return -1;
  const std::size_t length = zr::XBuffer<char>::KnownLength(m_pchData);
  const std::size_t from = std::min<std::size_t>(static_cast<unsigned>(start), length);
  const char* found = xt::FindBytes(m_pchData + from, m_pchData + length, text);
  return found ? static_cast<int>(found - m_pchData) : -1;
}

int CXString::Find(WCHAR ch, int start) const { return FindChar(m_pchData, ch, start); }

int CXString::FindOnOf(const char* chars, int start) const {
  return ::FindOnOf(m_pchData, chars, start);
}

int CXString::FindRev(WCHAR ch) const { return ::FindRev(m_pchData, ch); }

int CXString::FindRevOnOf(const char* chars) const { return ::FindRevOnOf(m_pchData, chars); }

// --- CXStringW ----------------------------------------------------------------

int CXStringW::Compare(const WCHAR* text) const {
  if (!text) return 1;
  return Sign(zrpal::wcscmp(m_pchData, text));
}

int CXStringW::CompareI(const WCHAR* text) const {
  if (!text) return 1;
  return zrpal::_wcsicmp(m_pchData, text);
}

int CXStringW::CompareN(const WCHAR* text, int n) const {
  if (!text) return 1;
  return zrpal::wcsncmp(m_pchData, text, static_cast<unsigned>(n));
}

int CXStringW::CompareIN(const WCHAR* text, int n) const {
  if (!text) return 1;
  return zrpal::_wcsnicmp(m_pchData, text, static_cast<unsigned>(n));
}

int CXStringW::Find(const WCHAR* text, int start) const {
  return FindText(m_pchData, text, start);
}

int CXStringW::Find(WCHAR ch, int start) const { return FindChar(m_pchData, ch, start); }

int CXStringW::FindOnOf(const WCHAR* chars, int start) const {
  return ::FindOnOf(m_pchData, chars, start);
}

int CXStringW::FindRev(WCHAR ch) const { return ::FindRev(m_pchData, ch); }

int CXStringW::FindRevOnOf(const WCHAR* chars) const { return ::FindRevOnOf(m_pchData, chars); }

int CXStringW::FindI(const WCHAR* text) const {
  if (!*m_pchData || !text) return -1;
  // Lower-cased copies of both, searched as Find searches.
  CXStringW self(*this);
  CXStringW sub(text);
  self.Lower();
  sub.Lower();
  return self.Find(sub, 0);
}
