// strings/xstring.cpp - CXString: construction, assignment, conversion from
// wide text and the buffer members.
#include "zr/exception.h"
#include "zr/xstring.h"

#include <climits>
#include <new>

#include "pal/codepage.h"
#include "pal/wstr.h"
#include "strings/xbuffer.h"
#include "strings/xtext.h"

using zr::XBufferA;

static_assert(sizeof(CXString) == 2 * sizeof(void*), "a table pointer and the character pointer");

CXString::CXString() { Init(); }

CXString::CXString(const CXString& other) { XBufferA::InitCopy(m_pchData, other.m_pchData); }

CXString::CXString(const char* text) {
  Init();
  if (text && *text) AssignCopy(text, TextUnits(text));
}

CXString::CXString(const WCHAR* text) {
  Init();
  if (!text || !*text) return;
  const std::size_t units = zrpal::wcslen(text);
  if (units > INT_MAX) throw CXBadAlloc();
  const int cch = static_cast<int>(units);
  // Code page 0 is the system ANSI code page; no flags, no default character.
  const int bytes =
      zrpal::WideCharToMultiByte(zrpal::CP_ACP, 0, text, cch, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return;
  XBufferA::Reset(m_pchData, static_cast<std::size_t>(bytes) + 1);
  const int written =
      zrpal::WideCharToMultiByte(zrpal::CP_ACP, 0, text, cch, m_pchData, bytes, nullptr, nullptr);
  if (written <= 0) {
    Release();
    return;
  }
  m_pchData[written] = 0;
  XBufferA::Header(m_pchData)->length = written;
}

CXString::~CXString() { Release(); }

CXString& CXString::operator=(const CXString& other) {
  XBufferA::Assign(m_pchData, other.m_pchData);
  return *this;
}

CXString& CXString::operator=(const WCHAR* text) {
  *this = CXString(text);
  return *this;
}

CXString& CXString::operator=(WCHAR ch) {
  char units[2];
  if (const unsigned n = zr::xtext::EncodeChar(ch, units))
    AssignCopy(units, n);
  else
    Release();  // a zero character: the empty string
  return *this;
}

CXString& CXString::operator+=(WCHAR ch) {
  char units[2];
  ConcatCopy(units, zr::xtext::EncodeChar(ch, units));
  return *this;
}

// Code-page and size conversions have no meaning for these strings: the
// members stay for the modules that call them.
void CXString::CharToOemA() {}
void CXString::OemToCharA() {}
void CXString::FreeExtra() {}

char* CXString::GetBuffer(int n) { return XBufferA::Lock(m_pchData, n); }

void CXString::ReleaseBuffer(int) { XBufferA::Unlock(m_pchData); }

void CXString::AllocBuffer(unsigned n) { XBufferA::Reset(m_pchData, n); }

void CXString::ReallocBuffer(unsigned n) { XBufferA::Realloc(m_pchData, n); }

void CXString::AssignCopy(const char* text, unsigned n) {
  if (text)
    XBufferA::AssignCopy(m_pchData, text, n);
  else
    Release();
}

void CXString::ConcatCopy(const char* text, unsigned n) {
  if (!text || n == 0) return;
  const std::size_t length = XBufferA::Length(m_pchData);
  XBufferA::Splice(m_pchData, length, length, text, n);
}

void CXString::ConcatCopyTo(unsigned position, const char* text, unsigned n) {
  if (!text) return;
  const std::size_t length = XBufferA::Length(m_pchData);
  if (position >= length) {
    ConcatCopy(text, n);
    return;
  }
  XBufferA::Splice(m_pchData, position, length, text, n);
}

void CXString::Init() { m_pchData = XBufferA::Empty(); }

void CXString::Release() { XBufferA::Release(m_pchData); }

int CXString::GetAllocSize() const { return XBufferA::Header(m_pchData)->allocSize; }

template class __CXBuff<CXString, char*>;
