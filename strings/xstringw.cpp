// strings/xstringw.cpp - CXStringW: construction, assignment, conversion from
// 8-bit text and the buffer members.
#include "zr/xstring.h"

#include "strings/xbuffer.h"

using zr::XBufferW;

static_assert(sizeof(CXStringW) == 2 * sizeof(void*), "a table pointer and the character pointer");

CXStringW::CXStringW() { Init(); }

CXStringW::CXStringW(const CXStringW& other) { XBufferW::InitCopy(m_pchData, other.m_pchData); }

CXStringW::CXStringW(const WCHAR* text) {
  Init();
  if (text && *text) AssignCopy(text, TextUnits(text));
}

CXStringW::CXStringW(const char* text) {
  Init();
  if (text && *text) hostMultiByteToUnicode(text, *this);
}

CXStringW::~CXStringW() { Release(); }

CXStringW& CXStringW::operator=(const CXStringW& other) {
  XBufferW::Assign(m_pchData, other.m_pchData);
  return *this;
}

CXStringW& CXStringW::operator=(WCHAR ch) {
  if (ch)
    AssignCopy(&ch, 1);
  else
    Release();  // a zero character: the empty string
  return *this;
}

CXStringW& CXStringW::operator+=(WCHAR ch) {
  ConcatCopy(&ch, ch ? 1 : 0);
  return *this;
}

void CXStringW::CharToOemA() {}
void CXStringW::OemToCharA() {}
void CXStringW::FreeExtra() {}

WCHAR* CXStringW::GetBuffer(int n) { return XBufferW::Lock(m_pchData, n); }

void CXStringW::ReleaseBuffer(int) { XBufferW::Unlock(m_pchData); }

void CXStringW::AllocBuffer(unsigned n) { XBufferW::Reset(m_pchData, n); }

void CXStringW::ReallocBuffer(unsigned n) { XBufferW::Realloc(m_pchData, n); }

void CXStringW::AssignCopy(const WCHAR* text, unsigned n) {
  // Two units beyond the text (XBufferW::kCopyExtra), as the wide class has
  // always allocated.
  if (text)
    XBufferW::AssignCopy(m_pchData, text, n);
  else
    Release();
}

void CXStringW::ConcatCopy(const WCHAR* text, unsigned n) {
  if (!text || n == 0) return;
  const std::size_t length = XBufferW::Length(m_pchData);
  XBufferW::Splice(m_pchData, length, length, text, n);
}

void CXStringW::ConcatCopyTo(unsigned position, const WCHAR* text, unsigned n) {
  if (!text) return;
  const std::size_t length = XBufferW::Length(m_pchData);
  if (position >= length) {
    ConcatCopy(text, n);
    return;
  }
  XBufferW::Splice(m_pchData, position, length, text, n);
}

void CXStringW::Init() { m_pchData = XBufferW::Empty(); }

void CXStringW::Release() { XBufferW::Release(m_pchData); }

int CXStringW::GetAllocSize() const { return XBufferW::Header(m_pchData)->allocSize; }

template class __CXBuff<CXStringW, WCHAR*>;
