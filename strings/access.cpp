// strings/access.cpp - reading members of CXString and CXStringW: lengths,
// sizes, characters and copies out.
#include <cstring>

#include "strings/xtext.h"
#include "zr/xstring.h"

namespace {

namespace xt = zr::xtext;

template <class Unit>
int SizeOf(const Unit* p, unsigned start, unsigned n) {
  const std::size_t offset = xt::CharsToUnits(p, start);
  return static_cast<int>(xt::CharsToUnits(p + offset, n));
}

template <class Unit>
int CopyOut(const Unit* p, Unit* dest, std::size_t units) {
  if (!dest) return 0;
  std::memcpy(dest, p, units * sizeof(Unit));
  dest[units] = 0;
  return static_cast<int>(units);
}

// The longest prefix of whole characters that fits `size` units with its
// terminator.
template <class Unit>
int CopyFit(const Unit* p, Unit* dest, unsigned size) {
  if (!dest || size == 0) return 0;
  const Unit* end = p;
  while (*end) {
    const Unit* next = xt::NextChar(end);
    if (static_cast<std::size_t>(next - p) > size - 1) break;
    end = next;
  }
  return CopyOut(p, dest, static_cast<std::size_t>(end - p));
}

}  // namespace

// --- CXString -----------------------------------------------------------------

int CXString::GetLength() const { return static_cast<int>(xt::Chars(m_pchData)); }

int CXString::GetSize() const { return static_cast<int>(xt::Units(m_pchData)); }

int CXString::GetSize(unsigned n) const { return SizeOf(m_pchData, 0, n); }

int CXString::GetSize(unsigned start, unsigned n) const { return SizeOf(m_pchData, start, n); }

WCHAR CXString::GetAt(unsigned index) const { return xt::CharAt(GetData(index)); }

const char* CXString::GetData(unsigned index) const {
  return m_pchData + xt::CharsToUnits(m_pchData, index);
}

int CXString::Copy(char* dest) const { return CopyOut(m_pchData, dest, xt::Units(m_pchData)); }

int CXString::Copy(char* dest, unsigned n) const {
  return CopyOut(m_pchData, dest, xt::CharsToUnits(m_pchData, n));
}

int CXString::CopyFit(char* dest, unsigned size) const { return ::CopyFit(m_pchData, dest, size); }

// --- CXStringW ----------------------------------------------------------------

int CXStringW::GetLength() const { return static_cast<int>(xt::Units(m_pchData)); }

int CXStringW::GetSize() const { return static_cast<int>(xt::Units(m_pchData)); }

int CXStringW::GetSize(unsigned n) const { return SizeOf(m_pchData, 0, n); }

int CXStringW::GetSize(unsigned start, unsigned n) const { return SizeOf(m_pchData, start, n); }

WCHAR CXStringW::GetAt(unsigned index) const { return *GetData(index); }

const WCHAR* CXStringW::GetData(unsigned index) const {
  return m_pchData + xt::CharsToUnits(m_pchData, index);
}

int CXStringW::Copy(WCHAR* dest) const { return CopyOut(m_pchData, dest, xt::Units(m_pchData)); }

int CXStringW::Copy(WCHAR* dest, unsigned n) const {
  return CopyOut(m_pchData, dest, xt::CharsToUnits(m_pchData, n));
}

int CXStringW::CopyFit(WCHAR* dest, unsigned size) const {
  return ::CopyFit(m_pchData, dest, size);
}
