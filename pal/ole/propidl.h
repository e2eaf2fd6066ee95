// pal/ole/propidl.h - property sets (the Windows propidl.h slice): the
// PROPVARIANT, PROPSPEC, STATPROPSTG and STATPROPSETSTG records, the
// interfaces IPropertySetStorage, IPropertyStorage, IEnumSTATPROPSTG and
// IEnumSTATPROPSETSTG, the standard format identifiers, PropVariantClear and
// FreePropVariantArray.
//
// Layouts and operation orders are those of the Windows x64 headers. A
// storage of this component answers IPropertySetStorage through
// QueryInterface; its property sets are "simple" sets, each one stream of
// the published property set format ([MS-OLEPS]) named "\005" + the set's
// name (pal/ole/propset_names.cpp). Memory that a PROPVARIANT, a STATPROPSTG
// name or a property name array holds comes from CoTaskMemAlloc.
#pragma once

#include <cstddef>

#include "pal/ole/objidl.h"

namespace zrpal {

using VARTYPE = WORD;
using PROPID = ULONG;
using FMTID = GUID;
using REFFMTID = const FMTID&;

// Variant types (wtypes.h), as property values carry them.
inline constexpr VARTYPE VT_EMPTY = 0;
inline constexpr VARTYPE VT_NULL = 1;
inline constexpr VARTYPE VT_I2 = 2;
inline constexpr VARTYPE VT_I4 = 3;
inline constexpr VARTYPE VT_R4 = 4;
inline constexpr VARTYPE VT_R8 = 5;
inline constexpr VARTYPE VT_CY = 6;
inline constexpr VARTYPE VT_DATE = 7;
inline constexpr VARTYPE VT_BSTR = 8;
inline constexpr VARTYPE VT_DISPATCH = 9;
inline constexpr VARTYPE VT_ERROR = 10;
inline constexpr VARTYPE VT_BOOL = 11;
inline constexpr VARTYPE VT_VARIANT = 12;
inline constexpr VARTYPE VT_UNKNOWN = 13;
inline constexpr VARTYPE VT_DECIMAL = 14;
inline constexpr VARTYPE VT_I1 = 16;
inline constexpr VARTYPE VT_UI1 = 17;
inline constexpr VARTYPE VT_UI2 = 18;
inline constexpr VARTYPE VT_UI4 = 19;
inline constexpr VARTYPE VT_I8 = 20;
inline constexpr VARTYPE VT_UI8 = 21;
inline constexpr VARTYPE VT_INT = 22;
inline constexpr VARTYPE VT_UINT = 23;
inline constexpr VARTYPE VT_LPSTR = 30;
inline constexpr VARTYPE VT_LPWSTR = 31;
inline constexpr VARTYPE VT_FILETIME = 64;
inline constexpr VARTYPE VT_BLOB = 65;
inline constexpr VARTYPE VT_STREAM = 66;
inline constexpr VARTYPE VT_STORAGE = 67;
inline constexpr VARTYPE VT_STREAMED_OBJECT = 68;
inline constexpr VARTYPE VT_STORED_OBJECT = 69;
inline constexpr VARTYPE VT_BLOB_OBJECT = 70;
inline constexpr VARTYPE VT_CF = 71;
inline constexpr VARTYPE VT_CLSID = 72;
inline constexpr VARTYPE VT_VERSIONED_STREAM = 73;
inline constexpr VARTYPE VT_VECTOR = 0x1000;
inline constexpr VARTYPE VT_ARRAY = 0x2000;
inline constexpr VARTYPE VT_BYREF = 0x4000;
inline constexpr VARTYPE VT_TYPEMASK = 0x0FFF;

using VARIANT_BOOL = short;
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

struct BLOB {
  ULONG cbSize;
  BYTE* pBlobData;
};
struct CLIPDATA {
  ULONG cbSize;  // the bytes of ulClipFmt and pClipData together
  LONG ulClipFmt;
  BYTE* pClipData;
};
struct PROPVARIANT;
// The counted arrays of the vector types: a count and CoTaskMemAlloc'd items.
template <class T>
struct CountedArray {
  ULONG cElems;
  T* pElems;
};
static_assert(sizeof(CountedArray<BYTE>) == 16);

struct PROPVARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    CHAR cVal;
    BYTE bVal;
    short iVal;
    WORD uiVal;
    LONG lVal;
    ULONG ulVal;
    INT intVal;
    UINT uintVal;
    LARGE_INTEGER hVal;
    ULARGE_INTEGER uhVal;
    float fltVal;
    double dblVal;
    VARIANT_BOOL boolVal;
    HRESULT scode;
    LONGLONG cyVal;  // CY: currency, 10000 units to 1
    double date;
    FILETIME filetime;
    CLSID* puuid;
    CLIPDATA* pclipdata;
    BLOB blob;
    LPSTR pszVal;
    LPWSTR pwszVal;
    CountedArray<CHAR> cac;
    CountedArray<BYTE> caub;
    CountedArray<short> cai;
    CountedArray<WORD> caui;
    CountedArray<LONG> cal;
    CountedArray<ULONG> caul;
    CountedArray<LARGE_INTEGER> cah;
    CountedArray<ULARGE_INTEGER> cauh;
    CountedArray<float> caflt;
    CountedArray<double> cadbl;
    CountedArray<VARIANT_BOOL> cabool;
    CountedArray<HRESULT> cascode;
    CountedArray<LONGLONG> cacy;
    CountedArray<double> cadate;
    CountedArray<FILETIME> cafiletime;
    CountedArray<CLSID> cauuid;
    CountedArray<CLIPDATA> caclipdata;
    CountedArray<LPSTR> calpstr;
    CountedArray<LPWSTR> calpwstr;
    CountedArray<PROPVARIANT> capropvar;
  };
};
static_assert(sizeof(PROPVARIANT) == 24, "the Windows x64 layout");
static_assert(offsetof(PROPVARIANT, blob) == 8);

// Property specifications and the well-known identifiers.
inline constexpr ULONG PRSPEC_LPWSTR = 0;
inline constexpr ULONG PRSPEC_PROPID = 1;
struct PROPSPEC {
  ULONG ulKind;
  union {
    PROPID propid;
    LPOLESTR lpwstr;
  };
};
static_assert(sizeof(PROPSPEC) == 16, "the Windows x64 layout");

inline constexpr PROPID PID_DICTIONARY = 0;
inline constexpr PROPID PID_CODEPAGE = 1;
inline constexpr PROPID PID_FIRST_USABLE = 2;
inline constexpr PROPID PID_FIRST_NAME_DEFAULT = 4095;
inline constexpr PROPID PID_LOCALE = 0x80000000;
inline constexpr PROPID PID_MODIFY_TIME = 0x80000001;
inline constexpr PROPID PID_SECURITY = 0x80000002;
inline constexpr PROPID PID_BEHAVIOR = 0x80000003;
inline constexpr PROPID PID_ILLEGAL = 0xFFFFFFFF;
inline constexpr PROPID PID_MIN_READONLY = 0x80000000;
inline constexpr PROPID PID_MAX_READONLY = 0xBFFFFFFF;

// The summary information set's property numbers.
inline constexpr PROPID PIDSI_TITLE = 2;
inline constexpr PROPID PIDSI_SUBJECT = 3;
inline constexpr PROPID PIDSI_AUTHOR = 4;
inline constexpr PROPID PIDSI_KEYWORDS = 5;
inline constexpr PROPID PIDSI_COMMENTS = 6;
inline constexpr PROPID PIDSI_TEMPLATE = 7;
inline constexpr PROPID PIDSI_LASTAUTHOR = 8;
inline constexpr PROPID PIDSI_REVNUMBER = 9;
inline constexpr PROPID PIDSI_EDITTIME = 10;
inline constexpr PROPID PIDSI_LASTPRINTED = 11;
inline constexpr PROPID PIDSI_CREATE_DTM = 12;
inline constexpr PROPID PIDSI_LASTSAVE_DTM = 13;
inline constexpr PROPID PIDSI_PAGECOUNT = 14;
inline constexpr PROPID PIDSI_WORDCOUNT = 15;
inline constexpr PROPID PIDSI_CHARCOUNT = 16;
inline constexpr PROPID PIDSI_THUMBNAIL = 17;
inline constexpr PROPID PIDSI_APPNAME = 18;
inline constexpr PROPID PIDSI_DOC_SECURITY = 19;
// The document summary information set's.
inline constexpr PROPID PIDDSI_CATEGORY = 2;
inline constexpr PROPID PIDDSI_COMPANY = 15;

struct STATPROPSTG {
  LPOLESTR lpwstrName;  // CoTaskMemAlloc'd, null for a property without a name
  PROPID propid;
  VARTYPE vt;
};
static_assert(sizeof(STATPROPSTG) == 16, "the Windows x64 layout");

struct STATPROPSETSTG {
  FMTID fmtid;
  CLSID clsid;
  DWORD grfFlags;
  FILETIME mtime;
  FILETIME ctime;
  FILETIME atime;
  DWORD dwOSVersion;
};
static_assert(sizeof(STATPROPSETSTG) == 64, "the Windows x64 layout");

// Property set flags.
inline constexpr DWORD PROPSETFLAG_DEFAULT = 0;
inline constexpr DWORD PROPSETFLAG_NONSIMPLE = 1;
inline constexpr DWORD PROPSETFLAG_ANSI = 2;
inline constexpr DWORD PROPSETFLAG_UNBUFFERED = 4;
inline constexpr DWORD PROPSETFLAG_CASE_SENSITIVE = 8;

// Code pages a set may carry beside the ANSI ones.
inline constexpr WORD CP_WINUNICODE = 1200;

inline constexpr FMTID FMTID_SummaryInformation = {
    0xF29F85E0, 0x4FF9, 0x1068, {0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9}};
inline constexpr FMTID FMTID_DocSummaryInformation = {
    0xD5CDD502, 0x2E9C, 0x101B, {0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE}};
inline constexpr FMTID FMTID_UserDefinedProperties = {
    0xD5CDD505, 0x2E9C, 0x101B, {0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE}};

inline constexpr IID IID_IPropertyStorage = {
    0x00000138, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IPropertySetStorage = {
    0x0000013A, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IEnumSTATPROPSTG = {
    0x00000139, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IEnumSTATPROPSETSTG = {
    0x0000013B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

struct IEnumSTATPROPSTG : IUnknown {
  virtual HRESULT Next(ULONG count, STATPROPSTG* items, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumSTATPROPSTG** clone) = 0;
};

struct IEnumSTATPROPSETSTG : IUnknown {
  virtual HRESULT Next(ULONG count, STATPROPSETSTG* items, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumSTATPROPSETSTG** clone) = 0;
};

struct IPropertyStorage : IUnknown {
  virtual HRESULT ReadMultiple(ULONG count, const PROPSPEC* specs, PROPVARIANT* values) = 0;
  virtual HRESULT WriteMultiple(ULONG count, const PROPSPEC* specs, const PROPVARIANT* values,
                                PROPID firstNewId) = 0;
  virtual HRESULT DeleteMultiple(ULONG count, const PROPSPEC* specs) = 0;
  virtual HRESULT ReadPropertyNames(ULONG count, const PROPID* ids, LPOLESTR* names) = 0;
  virtual HRESULT WritePropertyNames(ULONG count, const PROPID* ids, const LPOLESTR* names) = 0;
  virtual HRESULT DeletePropertyNames(ULONG count, const PROPID* ids) = 0;
  virtual HRESULT Commit(DWORD commitFlags) = 0;
  virtual HRESULT Revert() = 0;
  virtual HRESULT Enum(IEnumSTATPROPSTG** items) = 0;
  virtual HRESULT SetTimes(const FILETIME* created, const FILETIME* accessed,
                           const FILETIME* modified) = 0;
  virtual HRESULT SetClass(REFCLSID clsid) = 0;
  virtual HRESULT Stat(STATPROPSETSTG* stat) = 0;
};

struct IPropertySetStorage : IUnknown {
  virtual HRESULT Create(REFFMTID fmtid, const CLSID* clsid, DWORD flags, DWORD mode,
                         IPropertyStorage** storage) = 0;
  virtual HRESULT Open(REFFMTID fmtid, DWORD mode, IPropertyStorage** storage) = 0;
  virtual HRESULT Delete(REFFMTID fmtid) = 0;
  virtual HRESULT Enum(IEnumSTATPROPSETSTG** sets) = 0;
};

// Frees what a PROPVARIANT holds (strings, blobs, vectors, nested variants)
// and makes it VT_EMPTY. A type that holds an interface or a BSTR (which
// this component never hands out) answers STG_E_INVALIDPARAMETER and stays.
HRESULT PropVariantClear(PROPVARIANT* value);
HRESULT FreePropVariantArray(ULONG count, PROPVARIANT* values);
// A deep copy (CoTaskMemAlloc'd), as Windows' PropVariantCopy.
HRESULT PropVariantCopy(PROPVARIANT* target, const PROPVARIANT* source);

// The stream name of a simple set ("\005" and 26 characters, or the names
// of the two summary sets) and back; STG_E_INVALIDNAME for a name that is
// no set's.
HRESULT FmtIdToPropStgName(const FMTID* fmtid, LPOLESTR name);
HRESULT PropStgNameToFmtId(const LPOLESTR name, FMTID* fmtid);

// The property set storage of `storage` (one reference); the same object
// QueryInterface(IID_IPropertySetStorage) gives.
HRESULT StgCreatePropSetStg(IStorage* storage, DWORD reserved, IPropertySetStorage** sets);

}  // namespace zrpal
