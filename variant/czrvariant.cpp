// variant/czrvariant.cpp - CZRVariant: construction, assignment,
// conversion, ownership transfer and equality.
#include <cstring>

#include "variant/buffers.h"
#include "variant/record.h"

namespace {

// A boolean stores v != 0; every other selector gives the natural type.
template <class T>
void SetInteger(tagZRVARIANT& v, T value, unsigned short selector, unsigned short natural) {
  ZRVariantInit(&v);
  if (selector == ZRVT_BOOL) {
    v.vt = ZRVT_BOOL;
    v.boolVal = value != 0;
  } else {
    v.vt = natural;
    // ZRVT_LONG / ZRVT_ULONG keep the low 32 bits of a 64-bit long.
    if constexpr (sizeof(T) == 1)
      v.bVal = static_cast<BYTE>(value);
    else if constexpr (sizeof(T) == 2)
      v.uiVal = static_cast<WORD>(value);
    else
      v.ulVal = static_cast<ULONG>(value);
  }
}

// The assignment rule of the wider integers: a boolean stays boolean, the
// natural type stores, anything else becomes the natural type.
template <class T>
void AssignInteger(tagZRVARIANT& v, T value, unsigned short natural) {
  if (v.vt == ZRVT_BOOL) {
    v.boolVal = value != 0;
    return;
  }
  if (v.vt != natural) {
    ZRVariantClear(&v);
    v.vt = natural;
  }
  if constexpr (sizeof(T) == 2)
    v.uiVal = static_cast<WORD>(value);
  else
    v.ulVal = static_cast<ULONG>(value);
}

// Stores a value that owns nothing: types other than `type` are cleared
// first. `member` points at the union member of the value's type.
template <class T>
void AssignPlain(tagZRVARIANT& v, unsigned short type, T tagZRVARIANT::*member, const T& value) {
  if (v.vt != type) {
    ZRVariantClear(&v);
    v.vt = type;
  }
  v.*member = value;
}

// Replaces the value with one built aside (already owning its copy).
void Replace(tagZRVARIANT& v, tagZRVARIANT& built) { zr::MoveRecord(&v, built); }

tagZRVARIANT TextRecord(const char* text, std::size_t n) {
  tagZRVARIANT r = zr::EmptyRecord();
  r.pszVal = zr::NewTextCopy(text, n);
  r.vt = ZRVT_STR;
  return r;
}

tagZRVARIANT TextRecord(const char* text) {
  tagZRVARIANT r = zr::EmptyRecord();
  r.pszVal = zr::NewTextCopy(text);
  r.vt = ZRVT_STR;
  return r;
}

tagZRVARIANT TextRecord(const WCHAR* text) {
  tagZRVARIANT r = zr::EmptyRecord();
  r.pwszVal = zr::NewTextCopy(text);
  r.vt = ZRVT_WSTR;
  return r;
}

// A CXString's buffer holds GetSize() bytes before its terminator.
tagZRVARIANT TextRecord(const CXString& text) {
  return TextRecord(static_cast<const char*>(text), static_cast<std::size_t>(text.GetSize()));
}

tagZRVARIANT TextRecord(const CXStringW& text) { return TextRecord(static_cast<const WCHAR*>(text)); }

tagZRVARIANT BlobRecord(const tagZRBLOB& blob) {
  tagZRVARIANT r = zr::EmptyRecord();
  r.blobVal.pBlobData = zr::NewBytesCopy(blob.pBlobData, blob.cbSize);
  r.blobVal.cbSize = blob.cbSize;
  r.vt = ZRVT_BLOB;
  return r;
}

tagZRVARIANT ObjectRecord(IZRUnknown* object) {
  tagZRVARIANT r = zr::EmptyRecord();
  r.punkVal = object;
  if (object) object->AddRef();
  r.vt = ZRVT_UNKNOWN;
  return r;
}

}  // namespace

// --- Construction ------------------------------------------------------------

CZRVariant::CZRVariant() { ZRVariantInit(this); }

CZRVariant::CZRVariant(unsigned char v, unsigned short type) { SetInteger(*this, v, type, ZRVT_UI1); }
CZRVariant::CZRVariant(unsigned short v, unsigned short type) { SetInteger(*this, v, type, ZRVT_UI2); }
CZRVariant::CZRVariant(int v, unsigned short type) { SetInteger(*this, v, type, ZRVT_INT); }
CZRVariant::CZRVariant(unsigned int v, unsigned short type) { SetInteger(*this, v, type, ZRVT_UINT); }
CZRVariant::CZRVariant(long v, unsigned short type) { SetInteger(*this, v, type, ZRVT_LONG); }
CZRVariant::CZRVariant(unsigned long v, unsigned short type) { SetInteger(*this, v, type, ZRVT_ULONG); }

CZRVariant::CZRVariant(float v) {
  ZRVariantInit(this);
  vt = ZRVT_FLOAT;
  fltVal = v;
}

CZRVariant::CZRVariant(double v) {
  ZRVariantInit(this);
  vt = ZRVT_DOUBLE;
  dblVal = v;
}

// The record is built aside and copied in, so the constructors that
// allocate leave nothing behind when the allocation throws.
CZRVariant::CZRVariant(const char* text) : tagZRVARIANT(TextRecord(text)) {}
CZRVariant::CZRVariant(const WCHAR* text) : tagZRVARIANT(TextRecord(text)) {}
CZRVariant::CZRVariant(const CXString& text) : tagZRVARIANT(TextRecord(text)) {}
CZRVariant::CZRVariant(const CXStringW& text) : tagZRVARIANT(TextRecord(text)) {}
CZRVariant::CZRVariant(IZRUnknown* object) : tagZRVARIANT(ObjectRecord(object)) {}
CZRVariant::CZRVariant(const tagZRBLOB& blob) : tagZRVARIANT(BlobRecord(blob)) {}

CZRVariant::CZRVariant(const tagPOINT& v) {
  ZRVariantInit(this);
  vt = ZRVT_POINT;
  ptVal = v;
}

CZRVariant::CZRVariant(const tagSIZE& v) {
  ZRVariantInit(this);
  vt = ZRVT_SIZE;
  sizeVal = v;
}

CZRVariant::CZRVariant(const tagRECT& v) {
  ZRVariantInit(this);
  vt = ZRVT_RECT;
  rcVal = v;
}

CZRVariant::CZRVariant(const tagRPOINT& v) {
  ZRVariantInit(this);
  vt = ZRVT_RPOINT;
  rptVal = v;
}

CZRVariant::CZRVariant(const tagRSIZE& v) {
  ZRVariantInit(this);
  vt = ZRVT_RSIZE;
  rsizeVal = v;
}

CZRVariant::CZRVariant(const tagRRECT& v) {
  ZRVariantInit(this);
  vt = ZRVT_RRECT;
  rrcVal = v;
}

CZRVariant::CZRVariant(const tagZRVARIANT& src) {
  ZRVariantInit(this);
  ZRVariantCopy(this, &src);
}

CZRVariant::CZRVariant(const tagZRVARIANT* src) {
  ZRVariantInit(this);
  ZRVariantCopy(this, src);
}

CZRVariant::CZRVariant(const CZRVariant& src) : tagZRVARIANT() {
  ZRVariantInit(this);
  ZRVariantCopy(this, &src);
}

CZRVariant::~CZRVariant() { ZRVariantClear(this); }

// --- Assignment --------------------------------------------------------------

CZRVariant& CZRVariant::operator=(unsigned char v) {
  // Unlike the wider integers, a byte turns a boolean into ZRVT_UI1.
  AssignPlain(*this, ZRVT_UI1, &tagZRVARIANT::bVal, static_cast<BYTE>(v));
  return *this;
}

CZRVariant& CZRVariant::operator=(unsigned short v) {
  AssignInteger(*this, v, ZRVT_UI2);
  return *this;
}

CZRVariant& CZRVariant::operator=(int v) {
  AssignInteger(*this, v, ZRVT_INT);
  return *this;
}

CZRVariant& CZRVariant::operator=(unsigned int v) {
  AssignInteger(*this, v, ZRVT_UINT);
  return *this;
}

CZRVariant& CZRVariant::operator=(long v) {
  AssignInteger(*this, v, ZRVT_LONG);
  return *this;
}

CZRVariant& CZRVariant::operator=(unsigned long v) {
  AssignInteger(*this, v, ZRVT_ULONG);
  return *this;
}

CZRVariant& CZRVariant::operator=(float v) {
  AssignPlain(*this, ZRVT_FLOAT, &tagZRVARIANT::fltVal, v);
  return *this;
}

CZRVariant& CZRVariant::operator=(double v) {
  AssignPlain(*this, ZRVT_DOUBLE, &tagZRVARIANT::dblVal, v);
  return *this;
}

CZRVariant& CZRVariant::operator=(const tagPOINT& v) {
  AssignPlain(*this, ZRVT_POINT, &tagZRVARIANT::ptVal, v);
  return *this;
}

CZRVariant& CZRVariant::operator=(const tagSIZE& v) {
  AssignPlain(*this, ZRVT_SIZE, &tagZRVARIANT::sizeVal, v);
  return *this;
}

CZRVariant& CZRVariant::operator=(const tagRECT& v) {
  AssignPlain(*this, ZRVT_RECT, &tagZRVARIANT::rcVal, v);
  return *this;
}

CZRVariant& CZRVariant::operator=(const tagRPOINT& v) {
  AssignPlain(*this, ZRVT_RPOINT, &tagZRVARIANT::rptVal, v);
  return *this;
}

CZRVariant& CZRVariant::operator=(const tagRSIZE& v) {
  AssignPlain(*this, ZRVT_RSIZE, &tagZRVARIANT::rsizeVal, v);
  return *this;
}

CZRVariant& CZRVariant::operator=(const tagRRECT& v) {
  AssignPlain(*this, ZRVT_RRECT, &tagZRVARIANT::rrcVal, v);
  return *this;
}

// Each owning value is copied before the old value is freed: the argument
// may point into this variant.
CZRVariant& CZRVariant::operator=(const tagZRBLOB& blob) {
  tagZRVARIANT built = BlobRecord(blob);
  Replace(*this, built);
  return *this;
}

CZRVariant& CZRVariant::operator=(const char* text) {
  tagZRVARIANT built = TextRecord(text);
  Replace(*this, built);
  return *this;
}

CZRVariant& CZRVariant::operator=(const WCHAR* text) {
  tagZRVARIANT built = TextRecord(text);
  Replace(*this, built);
  return *this;
}

CZRVariant& CZRVariant::operator=(const CXString& text) {
  tagZRVARIANT built = TextRecord(text);
  Replace(*this, built);
  return *this;
}

CZRVariant& CZRVariant::operator=(const CXStringW& text) {
  tagZRVARIANT built = TextRecord(text);
  Replace(*this, built);
  return *this;
}

CZRVariant& CZRVariant::operator=(IZRUnknown* object) {
  tagZRVARIANT built = ObjectRecord(object);
  Replace(*this, built);
  return *this;
}

CZRVariant& CZRVariant::operator=(const tagZRVARIANT& src) {
  ZRVariantCopy(this, &src);
  return *this;
}

CZRVariant& CZRVariant::operator=(const tagZRVARIANT* src) {
  ZRVariantCopy(this, src);
  return *this;
}

CZRVariant& CZRVariant::operator=(const CZRVariant& src) {
  ZRVariantCopy(this, &src);
  return *this;
}

// --- Conversion --------------------------------------------------------------

CZRVariant::operator unsigned char() const { return bVal; }
CZRVariant::operator unsigned short() const { return uiVal; }
CZRVariant::operator int() const { return intVal; }
CZRVariant::operator unsigned int() const { return uintVal; }
CZRVariant::operator long() const { return lVal; }
CZRVariant::operator unsigned long() const { return ulVal; }
CZRVariant::operator float() const { return fltVal; }
CZRVariant::operator double() const { return dblVal; }
CZRVariant::operator char*() const { return pszVal; }
CZRVariant::operator IZRUnknown*() const { return punkVal; }
CZRVariant::operator tagPOINT() const { return ptVal; }
CZRVariant::operator tagSIZE() const { return sizeVal; }
CZRVariant::operator tagRECT() const { return rcVal; }
CZRVariant::operator tagRPOINT() const { return rptVal; }
CZRVariant::operator tagRSIZE() const { return rsizeVal; }
CZRVariant::operator tagRRECT() const { return rrcVal; }
CZRVariant::operator tagZRBLOB() const { return blobVal; }

CZRVariant::operator WCHAR*() {
  if (vt == ZRVT_STR) {
    CXStringW wide(pszVal);
    WCHAR* converted = zr::NewTextCopy(static_cast<const WCHAR*>(wide));
    delete[] pszVal;
    pwszVal = converted;
    vt = ZRVT_WSTR;
  }
  return pwszVal;
}

// --- Ownership, conversion and binding ---------------------------------------

void CZRVariant::Attach(tagZRVARIANT& src) {
  if (&src == this) return;
  ZRVariantClear(this);
  std::memcpy(static_cast<tagZRVARIANT*>(this), &src, sizeof src);
  src.vt = ZRVT_EMPTY;
}

tagZRVARIANT CZRVariant::Detach() {
  tagZRVARIANT record;
  std::memcpy(&record, static_cast<tagZRVARIANT*>(this), sizeof record);
  vt = ZRVT_EMPTY;
  return record;
}

void CZRVariant::Clear() { ZRVariantClear(this); }

int CZRVariant::ChangeType(unsigned short type, tagZRVARIANT* src) {
  if (!src || src == this) {
    if (vt == type) return 1;
    return ZRVariantChangeType(this, this, type);
  }
  return ZRVariantChangeType(this, src, type);
}

int CZRVariant::BindToValue(unsigned short type, void* target) { return ZRVariantBindToValue(type, target, this); }

int CZRVariant::BindFromValue(unsigned short type, void* source) {
  return ZRVariantBindFromValue(type, source, this);
}

int CZRVariant::operator==(const tagZRVARIANT& other) const { return zr::RecordsEqual(*this, other); }

int CZRVariant::operator==(const tagZRVARIANT* other) const { return other ? zr::RecordsEqual(*this, *other) : 0; }
