// strings/edit.cpp - editing members of CXString and CXStringW: insert,
// delete, replace, extract, find-and-replace, trims and case.
//
// Each change makes the buffer writable with exactly the room its result
// needs and then works in place (strings/xbuffer.h). Indices count
// characters (code units in CXStringW) and are turned into unit offsets at
// the start of each operation.
#include <algorithm>
#include <cstdint>

#include "strings/xbuffer.h"
#include "strings/xtext.h"
#include "zr/xstring.h"

namespace {

namespace xt = zr::xtext;

// Units [begin, end) of a string.
struct UnitRange {
  std::size_t begin = 0;
  std::size_t end = 0;
  bool empty() const { return begin == end; }
};

// The range rule of Delete, Replace and Extract, in characters, then turned
// into units.
template <class Unit>
UnitRange ResolveRange(const Unit* p, int index, int count) {
  const std::int64_t length = static_cast<std::int64_t>(xt::Chars(p));
  std::int64_t at = index;
  if (at < 0 || at >= length) at = length;
  std::int64_t first = std::min(at, at + count);
  std::int64_t last = std::max(at, at + count);
  first = std::max<std::int64_t>(first, 0);
  last = std::min(last, length);
  UnitRange range;
  if (first >= last) return range;
  range.begin = xt::CharsToUnits(p, static_cast<std::size_t>(first));
  range.end = range.begin + xt::CharsToUnits(p + range.begin, static_cast<std::size_t>(last - first));
  return range;
}

template <class Unit>
void Insert(Unit*& p, int index, const Unit* text, std::size_t m) {
  if (m == 0) return;
  std::size_t at;
  if (index < 0)
    at = xt::Units(p);
  else
    at = xt::CharsToUnits(p, static_cast<std::size_t>(index));  // clamped to the end
  zr::XBuffer<Unit>::Splice(p, at, at, text, m);
}

template <class Unit>
void Delete(Unit*& p, int index, int count) {
  const UnitRange range = ResolveRange(p, index, count);
  if (!range.empty()) zr::XBuffer<Unit>::Splice(p, range.begin, range.end, p, 0);
}

template <class Unit>
void Replace(Unit*& p, int index, int count, const Unit* text) {
  if (!text || !*text) return;
  const UnitRange range = ResolveRange(p, index, count);
  if (!range.empty()) zr::XBuffer<Unit>::Splice(p, range.begin, range.end, text, xt::Units(text));
}

// The string itself becomes its own range.
template <class Unit>
int ExtractSelf(Unit*& p, int index, int count) {
  const UnitRange range = ResolveRange(p, index, count);
  zr::XBuffer<Unit>::Keep(p, range.begin, range.end);
  return static_cast<int>(range.end - range.begin);
}

// A range of `p` becomes `out`. `out` may be `p` itself, or share its
// buffer: then the string becomes its own range (a copy would take the
// range at offset 0 and keep the text whole).
template <class Unit>
int ExtractInto(const Unit* p, Unit*& out, int index, int count) {
  if (out == p) return ExtractSelf(out, index, count);
  const UnitRange range = ResolveRange(p, index, count);
  const std::size_t n = range.end - range.begin;
  if (n == 0)
    zr::XBuffer<Unit>::Release(out);  // an empty range: the empty string
  else
    zr::XBuffer<Unit>::AssignCopy(out, p + range.begin, n);
  return static_cast<int>(n);
}

// Replaces the first occurrence of `what` (wm units; searched as a text) by
// `with` (n units).
template <class Unit>
int FindReplace(Unit*& p, const Unit* what, const Unit* with, std::size_t n) {
  const Unit* found = xt::FindText(p, what, p + zr::XBuffer<Unit>::Capacity(p));
  if (!found) return 0;
  const std::size_t at = static_cast<std::size_t>(found - p);
  zr::XBuffer<Unit>::Splice(p, at, at + xt::Units(what), with, n);
  return 1;
}

// A character operand as a zero-terminated text.
template <class Unit>
struct CharText {
  explicit CharText(WCHAR ch) { units[xt::EncodeChar(ch, units)] = 0; }
  Unit units[3];
};

template <class Unit>
void TrimLeft(Unit*& p) {
  const Unit* q = p;
  while (*q && xt::IsSpace(*q)) ++q;  // a space is always a one-unit character
  if (q != p) zr::XBuffer<Unit>::Keep(p, static_cast<std::size_t>(q - p), xt::Units(p));
}

template <class Unit>
void TrimRight(Unit*& p) {
  const Unit* end = p + xt::Units(p);
  // Step back by whole characters: a trail byte that looks like a space is
  // part of a double-byte character.
  for (const Unit* prev = xt::PrevChar(p, end); prev; prev = xt::PrevChar(p, end)) {
    if (end - prev != 1 || !xt::IsSpace(*prev)) break;
    end = prev;
  }
  zr::XBuffer<Unit>::Keep(p, 0, static_cast<std::size_t>(end - p));
}

// Upper and Lower ask for room for twice the length plus 2 units (the room
// case conversion was once given) and convert under the lock.
template <class Unit>
void ChangeCase(Unit*& p, void (*convert)(Unit*)) {
  const std::size_t length = xt::Units(p);
  if (length == 0) return;
  zr::XBuffer<Unit>::LockRoom(p, 2 * length + 2);
  convert(p);
  zr::XBuffer<Unit>::Unlock(p);
}

}  // namespace

// --- CXString -----------------------------------------------------------------

CXString& CXString::Insert(int index, const char* text) {
  if (text) ::Insert(m_pchData, index, text, xt::Units(text));
  return *this;
}

CXString& CXString::Insert(int index, WCHAR ch) {
  char units[2];
  ::Insert(m_pchData, index, units, xt::EncodeChar(ch, units));
  return *this;
}

CXString& CXString::Delete(int index, int count) {
  ::Delete(m_pchData, index, count);
  return *this;
}

CXString& CXString::Replace(int index, int count, const char* text) {
  ::Replace(m_pchData, index, count, text);
  return *this;
}

int CXString::Extract(int index, int count, CXString& out) const {
  return ExtractInto(m_pchData, out.m_pchData, index, count);
}

int CXString::Extract(int index, int count) { return ExtractSelf(m_pchData, index, count); }

int CXString::FindReplace(const char* what, const char* with) {
  if (!what || !with) return 0;
  return ::FindReplace(m_pchData, what, with, xt::Units(with));
}

int CXString::FindReplace(const char* what, WCHAR with) {
  if (!what) return 0;
  const CharText<char> w(with);
  return ::FindReplace(m_pchData, what, w.units, xt::Units(w.units));
}

int CXString::FindReplace(WCHAR what, WCHAR with) {
  const CharText<char> f(what), w(with);
  if (!*f.units) return 0;
  return ::FindReplace(m_pchData, f.units, w.units, xt::Units(w.units));
}

int CXString::FindReplace(WCHAR what, const char* with) {
  const CharText<char> f(what);
  if (!*f.units || !with) return 0;
  return ::FindReplace(m_pchData, f.units, with, xt::Units(with));
}

CXString& CXString::TrimLeft() {
  ::TrimLeft(m_pchData);
  return *this;
}

CXString& CXString::TrimRight() {
  ::TrimRight(m_pchData);
  return *this;
}

CXString& CXString::Upper() {
  ChangeCase<char>(m_pchData, xt::Upper);
  return *this;
}

CXString& CXString::Lower() {
  ChangeCase<char>(m_pchData, xt::Lower);
  return *this;
}

// --- CXStringW ----------------------------------------------------------------

CXStringW& CXStringW::Insert(int index, const WCHAR* text) {
  if (text) ::Insert(m_pchData, index, text, xt::Units(text));
  return *this;
}

CXStringW& CXStringW::Insert(int index, WCHAR ch) {
  ::Insert(m_pchData, index, &ch, ch ? 1 : 0);
  return *this;
}

CXStringW& CXStringW::Delete(int index, int count) {
  ::Delete(m_pchData, index, count);
  return *this;
}

CXStringW& CXStringW::Replace(int index, int count, const WCHAR* text) {
  ::Replace(m_pchData, index, count, text);
  return *this;
}

int CXStringW::Extract(int index, int count, CXStringW& out) const {
  return ExtractInto(m_pchData, out.m_pchData, index, count);
}

int CXStringW::Extract(int index, int count) { return ExtractSelf(m_pchData, index, count); }

int CXStringW::FindReplace(const WCHAR* what, const WCHAR* with) {
  if (!what || !with) return 0;
  return ::FindReplace(m_pchData, what, with, xt::Units(with));
}

int CXStringW::FindReplace(const WCHAR* what, WCHAR with) {
  if (!what) return 0;
  return ::FindReplace(m_pchData, what, &with, with ? 1 : 0);
}

int CXStringW::FindReplace(WCHAR what, WCHAR with) {
  if (!what) return 0;
  const WCHAR f[2] = {what, 0};
  return ::FindReplace(m_pchData, f, &with, with ? 1 : 0);
}

int CXStringW::FindReplace(WCHAR what, const WCHAR* with) {
  if (!what || !with) return 0;
  const WCHAR f[2] = {what, 0};
  return ::FindReplace(m_pchData, f, with, xt::Units(with));
}

CXStringW& CXStringW::TrimLeft() {
  ::TrimLeft(m_pchData);
  return *this;
}

CXStringW& CXStringW::TrimRight() {
  ::TrimRight(m_pchData);
  return *this;
}

CXStringW& CXStringW::Upper() {
  ChangeCase<WCHAR>(m_pchData, xt::Upper);
  return *this;
}

CXStringW& CXStringW::Lower() {
  ChangeCase<WCHAR>(m_pchData, xt::Lower);
  return *this;
}
