// pal/ole/propset_value.h - typed property values ([MS-OLEPS] 2.15): the
// bytes of a property (a type word, two bytes of padding, the value padded
// to 4 bytes) to and from a PROPVARIANT.
//
// Decoded types: VT_EMPTY, VT_NULL, VT_I1, VT_UI1, VT_I2, VT_UI2, VT_BOOL,
// VT_I4, VT_UI4, VT_INT, VT_UINT, VT_R4, VT_ERROR, VT_I8, VT_UI8, VT_R8,
// VT_CY, VT_DATE, VT_FILETIME, VT_CLSID, VT_LPSTR, VT_LPWSTR, VT_BLOB,
// VT_CF, and the vectors of the vector-capable ones and of VT_VARIANT.
// Kept types: the other types the format defines (VT_BSTR, VT_DECIMAL, the
// stream, storage and object types, VT_VERSIONED_STREAM, arrays, vectors of
// VT_BSTR). Their bytes are kept and written back unchanged, and they are
// listed by enumeration, but ReadMultiple answers STG_E_UNIMPLEMENTEDFUNCTION
// for them (a deviation: Windows hands them out). Any other type word makes
// the set malformed.
//
// VT_LPSTR values are stored in the set's code page (1200: UTF-16) and
// handed out in the process's ANSI code page (CP_ACP), converted through the
// library's code pages when the two differ.
#pragma once

#include "pal/ole/propset_format.h"

namespace zrpal::ole::ps {

enum class TypeClass { Decoded, Kept, Invalid };
TypeClass ClassOf(VARTYPE vt);

inline VARTYPE TypeOf(const Bytes& raw) { return raw.size() >= 2 ? Le16(raw.data()) : VT_EMPTY; }

// Decodes a property's bytes into `out` (its memory from CoTaskMemAlloc).
// STG_E_INVALIDHEADER for a malformed value (a string or vector longer than
// its property, an invalid type); STG_E_UNIMPLEMENTEDFUNCTION for a kept
// type; `out` is VT_EMPTY after any failure.
HRESULT DecodeValue(const BYTE* data, std::size_t size, UINT codePage, PROPVARIANT* out);

// The bytes of `value` in a set of `codePage`; STG_E_INVALIDPARAMETER for a
// type a property cannot hold (and for the kept types, which are never
// written from a PROPVARIANT) or a null array with elements.
HRESULT EncodeValue(const PROPVARIANT& value, UINT codePage, Bytes& out);

// Code page conversions of 8-bit property text (UTF-16 in between).
bool TextToWide(UINT codePage, const char* text, std::size_t bytes, std::u16string* out);
bool WideToText(UINT codePage, std::u16string_view text, std::string* out);

}  // namespace zrpal::ole::ps
