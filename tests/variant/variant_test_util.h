// Shared helpers of the variant tests.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>

#include "tests/core/counted.h"
#include "zr/variant.h"

namespace zrtest {

// A zeroed record with a type code.
inline tagZRVARIANT Record(unsigned short vt) {
  tagZRVARIANT v;
  std::memset(&v, 0, sizeof v);
  v.vt = vt;
  return v;
}

// A variant that takes over a raw record (codes no constructor makes).
inline CZRVariant Adopt(tagZRVARIANT record) {
  CZRVariant v;
  v.Attach(record);
  return v;
}

inline std::u16string Wide(const WCHAR* s) { return s ? std::u16string(s) : u"<null>"; }

}  // namespace zrtest

// Failure messages show the type, the text of text variants, else the
// first 8 value bytes.
inline void PrintTo(const tagZRVARIANT& v, std::ostream* os) {
  *os << "vt=" << v.vt << " ";
  if (v.vt == ZRVT_STR) {
    *os << (v.pszVal ? v.pszVal : "<null>");
  } else if (v.vt == ZRVT_WSTR) {
    for (const WCHAR* p = v.pwszVal; p && *p; ++p) *os << (*p < 128 ? static_cast<char>(*p) : '?');
  } else {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&v.dblVal);
    for (int i = 0; i < 8; ++i) *os << std::hex << int{bytes[i]} << std::dec << ' ';
  }
}
inline void PrintTo(const CZRVariant& v, std::ostream* os) { PrintTo(static_cast<const tagZRVARIANT&>(v), os); }
