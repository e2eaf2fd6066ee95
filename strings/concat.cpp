// strings/concat.cpp - the free operator+ of CXString and CXStringW.
//
// The result's buffer is allocated once, with room for both operands and the
// terminator, and both are copied in.
#include <climits>
#include <cstring>
#include <new>

#include "strings/xtext.h"
#include "zr/exception.h"
#include "zr/xstring.h"

namespace {

namespace xt = zr::xtext;

template <class Unit>
std::size_t UnitsOrZero(const Unit* text) {
  return text ? xt::Units(text) : 0;
}

template <class String, class Unit>
String Join(const Unit* left, std::size_t nl, const Unit* right, std::size_t nr) {
  String result;
  if (nl + nr == 0) return result;
  if (nl > INT_MAX || nr > INT_MAX - nl) throw CXBadAlloc();
  Unit* p = result.GetBuffer(static_cast<int>(nl + nr));
  if (nl) std::memcpy(p, left, nl * sizeof(Unit));
  if (nr) std::memcpy(p + nl, right, nr * sizeof(Unit));
  p[nl + nr] = 0;
  result.ReleaseBuffer();
  return result;
}

}  // namespace

CXString operator+(const CXString& left, const CXString& right) {
  return Join<CXString, char>(left, xt::Units(left), right, xt::Units(right));
}

CXString operator+(const CXString& left, const char* right) {
  return Join<CXString, char>(left, xt::Units(left), right, UnitsOrZero(right));
}

CXString operator+(const CXString& left, WCHAR right) {
  char units[2];
  return Join<CXString, char>(left, xt::Units(left), units, xt::EncodeChar(right, units));
}

CXString operator+(const char* left, const CXString& right) {
  return Join<CXString, char>(left, UnitsOrZero(left), right, xt::Units(right));
}

CXString operator+(WCHAR left, const CXString& right) {
  char units[2];
  return Join<CXString, char>(units, xt::EncodeChar(left, units), right, xt::Units(right));
}

CXStringW operator+(const CXStringW& left, const CXStringW& right) {
  return Join<CXStringW, WCHAR>(left, xt::Units(left), right, xt::Units(right));
}

CXStringW operator+(const CXStringW& left, const WCHAR* right) {
  return Join<CXStringW, WCHAR>(left, xt::Units(left), right, UnitsOrZero(right));
}

CXStringW operator+(const CXStringW& left, WCHAR right) {
  return Join<CXStringW, WCHAR>(left, xt::Units(left), &right, right ? 1 : 0);
}

CXStringW operator+(const WCHAR* left, const CXStringW& right) {
  return Join<CXStringW, WCHAR>(left, UnitsOrZero(left), right, xt::Units(right));
}

CXStringW operator+(WCHAR left, const CXStringW& right) {
  return Join<CXStringW, WCHAR>(&left, left ? 1 : 0, right, xt::Units(right));
}
