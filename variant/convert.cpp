// variant/convert.cpp - ZRVariantChangeType: the conversion matrix.
//
// Each target type has one converter that fills a zeroed record from the
// source or answers false. ZRVariantChangeType always builds into a
// temporary and moves the result into place, so that an in-place failure
// leaves the variant untouched and a source that depends on the destination
// (a borrowed object the destination owns) is read before the destination is
// cleared.
#include <cmath>
#include <cstdint>
#include <limits>

#include "variant/buffers.h"
#include "variant/numtext.h"
#include "variant/record.h"

namespace {

using zr::IsOrdinaryType;
using zr::NarrowToFloat;

// --- Numbers ---------------------------------------------------------------

// The integer value of a boolean or integer source, zero-extended from
// ZRVT_UI1 and ZRVT_UI2; `isSigned` tells whether the 32 bits are signed.
bool ReadInteger(const tagZRVARIANT& s, std::uint32_t* bits, bool* isSigned = nullptr) {
  bool sign = false;
  switch (s.vt) {
    case ZRVT_EMPTY: *bits = 0; break;
    case ZRVT_UI1: *bits = s.bVal; break;
    case ZRVT_UI2: *bits = s.uiVal; break;
    case ZRVT_BOOL:
    case ZRVT_INT:
    case ZRVT_LONG: *bits = s.ulVal; sign = true; break;
    case ZRVT_ULONG:
    case ZRVT_UINT: *bits = s.ulVal; break;
    default: return false;
  }
  if (isSigned) *isSigned = sign;
  return true;
}

// Truncation toward zero to 32 bits; out of range and NaN give INT32_MIN,
// what the processor's conversion gives.
std::int32_t TruncateTo32(double d) {
  if (d > -2147483649.0 && d < 2147483648.0) return static_cast<std::int32_t>(d);
  return std::numeric_limits<std::int32_t>::min();
}

// Truncation toward zero to 64 bits; out of range and NaN give INT64_MIN.
std::int64_t TruncateTo64(double d) {
  if (d >= -9223372036854775808.0 && d < 9223372036854775808.0) return static_cast<std::int64_t>(d);
  return std::numeric_limits<std::int64_t>::min();
}

// The rounding rule of double geometry: d >= 0 gives trunc(d + 0.5), d < 0
// gives trunc(d - 0.4999999).
LONG Round(double d) { return TruncateTo32(d >= 0 ? std::trunc(d + 0.5) : std::trunc(d - 0.4999999)); }

// 32-bit arithmetic that wraps at the limits, as the integer rectangle's
// shift by one does with Windows' 32-bit LONG.
LONG AddWrapping(LONG a, int b) {
  return static_cast<LONG>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

// A source's number as a double, or false for the types that are not
// numbers.
bool ReadNumber(const tagZRVARIANT& s, double* out) {
  std::uint32_t bits;
  bool isSigned;
  if (ReadInteger(s, &bits, &isSigned)) {
    *out = isSigned ? static_cast<double>(static_cast<std::int32_t>(bits)) : static_cast<double>(bits);
    return true;
  }
  if (s.vt == ZRVT_DOUBLE) {
    *out = s.dblVal;
    return true;
  }
  if (s.vt == ZRVT_FLOAT) {
    *out = s.fltVal;
    return true;
  }
  return false;
}

// --- Converters, one per target --------------------------------------------

bool ToEmpty(const tagZRVARIANT&, tagZRVARIANT&) { return true; }

bool ToBool(const tagZRVARIANT& s, tagZRVARIANT& r) {
  std::uint32_t bits;
  if (s.vt == ZRVT_BOOL)
    r.boolVal = s.boolVal;
  else if (ReadInteger(s, &bits))
    r.boolVal = bits != 0;
  else if (s.vt == ZRVT_DOUBLE)
    r.boolVal = s.dblVal < 0 || s.dblVal > 0;  // NaN gives 0
  else if (s.vt == ZRVT_FLOAT)
    r.boolVal = s.fltVal < 0 || s.fltVal > 0;
  else
    return false;
  return true;
}

bool ToUI1(const tagZRVARIANT& s, tagZRVARIANT& r) {
  std::uint32_t bits;
  if (!ReadInteger(s, &bits)) return false;
  r.bVal = static_cast<BYTE>(bits);
  return true;
}

bool ToUI2(const tagZRVARIANT& s, tagZRVARIANT& r) {
  std::uint32_t bits;
  if (!ReadInteger(s, &bits)) return false;
  r.uiVal = static_cast<WORD>(bits);
  return true;
}

bool ToULong(const tagZRVARIANT& s, tagZRVARIANT& r) {
  std::uint32_t bits;
  if (ReadInteger(s, &bits)) {
    r.ulVal = bits;
    return true;
  }
  // Only 8-bit text is read; wide text is not converted to this type.
  return s.vt == ZRVT_STR && zr::ScanInt32(s.pszVal, &r.ulVal);
}

// ZRVT_INT and ZRVT_LONG (same bits, "%d").
bool ToInt(const tagZRVARIANT& s, tagZRVARIANT& r) {
  std::uint32_t bits;
  if (ReadInteger(s, &bits)) {
    r.ulVal = bits;
    return true;
  }
  switch (s.vt) {
    case ZRVT_DOUBLE: r.intVal = TruncateTo32(s.dblVal); return true;
    case ZRVT_FLOAT: r.intVal = TruncateTo32(s.fltVal); return true;
    case ZRVT_STR: return zr::ScanInt32(s.pszVal, &r.ulVal);
    case ZRVT_WSTR: return zr::ScanInt32(s.pwszVal, &r.ulVal);
    default: return false;
  }
}

bool ToUInt(const tagZRVARIANT& s, tagZRVARIANT& r) {
  std::uint32_t bits;
  if (ReadInteger(s, &bits)) {
    r.uintVal = bits;
    return true;
  }
  switch (s.vt) {
    case ZRVT_DOUBLE: r.uintVal = static_cast<std::uint32_t>(TruncateTo64(s.dblVal)); return true;
    case ZRVT_FLOAT: r.uintVal = static_cast<std::uint32_t>(TruncateTo64(s.fltVal)); return true;
    case ZRVT_STR: return zr::ScanInt32(s.pszVal, &r.uintVal);
    case ZRVT_WSTR: return zr::ScanInt32(s.pwszVal, &r.uintVal);
    default: return false;
  }
}

bool ToDouble(const tagZRVARIANT& s, tagZRVARIANT& r) {
  if (ReadNumber(s, &r.dblVal)) return true;
  if (s.vt == ZRVT_STR) return zr::ScanDouble(s.pszVal, &r.dblVal);
  if (s.vt == ZRVT_WSTR) return zr::ScanDouble(s.pwszVal, &r.dblVal);
  return false;
}

bool ToFloat(const tagZRVARIANT& s, tagZRVARIANT& r) {
  double d;
  if (ReadNumber(s, &d)) {
    r.fltVal = s.vt == ZRVT_FLOAT ? s.fltVal : NarrowToFloat(d);
    return true;
  }
  // Text is read as a float directly ("%f"), rounded once.
  if (s.vt == ZRVT_STR) return zr::ScanFloat(s.pszVal, &r.fltVal);
  if (s.vt == ZRVT_WSTR) return zr::ScanFloat(s.pwszVal, &r.fltVal);
  return false;
}

// The text of a number or boolean source as the formats print it, or null
// for the types that have none.
const char* PrintValue(const tagZRVARIANT& s, char (&buf)[zr::kNumberTextMax]) {
  switch (s.vt) {
    case ZRVT_EMPTY: return "";
    case ZRVT_BOOL: return s.boolVal ? "Yes" : "No";
    case ZRVT_UI1: zr::PrintUnsigned(s.bVal, buf); return buf;
    case ZRVT_UI2: zr::PrintUnsigned(s.uiVal, buf); return buf;
    case ZRVT_ULONG:
    case ZRVT_UINT: zr::PrintUnsigned(s.ulVal, buf); return buf;
    case ZRVT_INT:
    case ZRVT_LONG: zr::PrintSigned(s.intVal, buf); return buf;
    case ZRVT_DOUBLE: zr::PrintGeneral(s.dblVal, buf); return buf;
    case ZRVT_FLOAT: zr::PrintGeneral(s.fltVal, buf); return buf;
    default: return nullptr;
  }
}

bool ToStr(const tagZRVARIANT& s, tagZRVARIANT& r) {
  char buf[zr::kNumberTextMax];
  if (const char* text = PrintValue(s, buf)) {
    r.pszVal = zr::NewTextCopy(text);
    return true;
  }
  if (s.vt == ZRVT_STR) {
    r.pszVal = zr::NewTextCopy(s.pszVal);
    return true;
  }
  if (s.vt == ZRVT_WSTR) {
    CXString text(s.pwszVal);
    r.pszVal = zr::NewTextCopy(static_cast<const char*>(text), static_cast<std::size_t>(text.GetSize()));
    return true;
  }
  return false;
}

bool ToWStr(const tagZRVARIANT& s, tagZRVARIANT& r) {
  char buf[zr::kNumberTextMax];
  if (const char* text = PrintValue(s, buf)) {
    // The printed forms are ASCII: widened unit by unit.
    std::size_t n = std::char_traits<char>::length(text);
    WCHAR* wide = zr::NewArray<WCHAR>(n + 1);
    for (std::size_t i = 0; i <= n; ++i) wide[i] = static_cast<unsigned char>(text[i]);
    r.pwszVal = wide;
    return true;
  }
  if (s.vt == ZRVT_WSTR) {
    r.pwszVal = zr::NewTextCopy(s.pwszVal);
    return true;
  }
  if (s.vt == ZRVT_STR) {
    CXStringW text(s.pszVal);
    r.pwszVal = zr::NewTextCopy(static_cast<const WCHAR*>(text));
    return true;
  }
  return false;
}

bool ToSize(const tagZRVARIANT& s, tagZRVARIANT& r) {
  if (s.vt == ZRVT_SIZE) {
    r.sizeVal = s.sizeVal;
  } else if (s.vt == ZRVT_RSIZE) {
    r.sizeVal = {Round(s.rsizeVal.cx), Round(s.rsizeVal.cy)};
  } else {
    return false;
  }
  return true;
}

bool ToRSize(const tagZRVARIANT& s, tagZRVARIANT& r) {
  if (s.vt == ZRVT_RSIZE) {
    r.rsizeVal = s.rsizeVal;
  } else if (s.vt == ZRVT_SIZE) {
    r.rsizeVal = {static_cast<double>(s.sizeVal.cx), static_cast<double>(s.sizeVal.cy)};
  } else {
    return false;
  }
  return true;
}

bool ToPoint(const tagZRVARIANT& s, tagZRVARIANT& r) {
  if (s.vt == ZRVT_POINT) {
    r.ptVal = s.ptVal;
  } else if (s.vt == ZRVT_RPOINT) {
    r.ptVal = {Round(s.rptVal.x), Round(s.rptVal.y)};
  } else {
    return false;
  }
  return true;
}

bool ToRPoint(const tagZRVARIANT& s, tagZRVARIANT& r) {
  if (s.vt == ZRVT_RPOINT) {
    r.rptVal = s.rptVal;
  } else if (s.vt == ZRVT_POINT) {
    r.rptVal = {static_cast<double>(s.ptVal.x), static_cast<double>(s.ptVal.y)};
  } else {
    return false;
  }
  return true;
}

// Integer rectangles exclude their right and bottom edge, double ones
// include it: a shift of 1 each way.
bool ToRect(const tagZRVARIANT& s, tagZRVARIANT& r) {
  if (s.vt == ZRVT_RECT) {
    r.rcVal = s.rcVal;
  } else if (s.vt == ZRVT_RRECT) {
    const tagRRECT& d = s.rrcVal;
    r.rcVal = {Round(d.left), Round(d.top), AddWrapping(Round(d.right), 1), AddWrapping(Round(d.bottom), 1)};
  } else {
    return false;
  }
  return true;
}

bool ToRRect(const tagZRVARIANT& s, tagZRVARIANT& r) {
  if (s.vt == ZRVT_RRECT) {
    r.rrcVal = s.rrcVal;
  } else if (s.vt == ZRVT_RECT) {
    const tagRECT& i = s.rcVal;
    r.rrcVal = {static_cast<double>(i.left), static_cast<double>(i.top),
                static_cast<double>(AddWrapping(i.right, -1)), static_cast<double>(AddWrapping(i.bottom, -1))};
  } else {
    return false;
  }
  return true;
}

bool ToBlob(const tagZRVARIANT& s, tagZRVARIANT& r) {
  if (s.vt != ZRVT_BLOB) return false;
  r.blobVal.pBlobData = zr::NewBytesCopy(s.blobVal.pBlobData, s.blobVal.cbSize);
  r.blobVal.cbSize = s.blobVal.cbSize;
  return true;
}

bool ToUnknown(const tagZRVARIANT& s, tagZRVARIANT& r) {
  if (s.vt != ZRVT_UNKNOWN) return false;
  r.punkVal = s.punkVal;
  if (r.punkVal) r.punkVal->AddRef();
  return true;
}

bool ToBorrowed(const tagZRVARIANT& s, tagZRVARIANT& r) {
  if (s.vt != ZRVT_UNKNOWN) return false;
  r.punkVal = s.punkVal;
  return true;
}

using Converter = bool (*)(const tagZRVARIANT& src, tagZRVARIANT& result);

// Indexed by target type code (the ordinary range).
constexpr Converter kConverters[ZRVT_LASTORDINARY + 1] = {
    ToEmpty, ToBool, ToUI1, ToUI2, ToULong, ToInt, ToUInt, ToInt /* ZRVT_LONG */,
    ToDouble, ToFloat, ToStr, ToSize, ToRSize, ToPoint, ToRPoint, ToRect,
    ToRRect, ToBlob, ToUnknown, ToWStr,
};

Converter FindConverter(unsigned short type) {
  if (IsOrdinaryType(type)) return kConverters[type];
  if (type == ZRVT_UNKNOWN_BORROWED) return ToBorrowed;
  return nullptr;
}

}  // namespace

int ZRVariantChangeType(tagZRVARIANT* dest, const tagZRVARIANT* src, unsigned short type) {
  if (!dest || !src) return 0;
  const bool inPlace = dest == src;
  Converter convert = FindConverter(type);
  tagZRVARIANT result = zr::EmptyRecord();
  // A source code above the ordinary range (the borrowed object among them)
  // has no value to convert: every target gets its zero value.
  const bool ok = convert && (!IsOrdinaryType(src->vt) || convert(*src, result));
  if (!ok) {
    // The converters allocate only when they succeed, so result owns nothing.
    if (!inPlace) ZRVariantClear(dest);
    return 0;
  }
  result.vt = type;
  zr::MoveRecord(dest, result);
  return 1;
}
