// pal/ole/propset_value.cpp - typed property values to and from PROPVARIANT
// (see propset_value.h).
//
// A value is read with a bounded cursor over the property's bytes: every
// count and length is checked against what is left before anything is
// allocated, so a vector can never ask for more elements than its bytes can
// hold (every element takes at least one byte). Fixed-size elements of a
// vector are packed and the vector padded to 4 bytes as a whole; strings,
// clipboard data and variants are padded one by one. Office writes the
// strings of VT_LPSTR vectors and of variant vectors without that padding:
// padding between strings is taken only where it is zero bytes: the first
// byte of whatever follows an unpadded string (a length or a type word) is
// not zero in any file seen.
#include <bit>
#include <cstring>

#include "pal/codepage.h"
#include "pal/ole/objects.h"
#include "pal/ole/propset_value.h"
#include "pal/ole/storage.h"

namespace zrpal::ole::ps {

static_assert(std::endian::native == std::endian::little,
              "values are copied between PROPVARIANT and the stream as little-endian bytes");

namespace {

constexpr std::size_t kTypeWord = 4;  // type, padding
constexpr ULONG kMaxClipSize = 0x7FFFFFFF;

class Cursor {
 public:
  Cursor(const BYTE* data, std::size_t size) : m_start(data), m_p(data), m_end(data + size) {}
  const BYTE* Take(std::size_t n) {
    if (static_cast<std::size_t>(m_end - m_p) < n) return nullptr;
    const BYTE* at = m_p;
    m_p += n;
    return at;
  }
  bool U32(std::uint32_t* v) {
    const BYTE* p = Take(4);
    if (p) *v = Le32(p);
    return p != nullptr;
  }
  // Skips padding to a multiple of 4 from the value's start; padding the
  // property's bytes end in the middle of is not required.
  void Align() {
    const std::size_t used = static_cast<std::size_t>(m_p - m_start);
    const std::size_t pad = Pad4(used) - used;
    m_p += std::min<std::size_t>(pad, static_cast<std::size_t>(m_end - m_p));
  }
  // The same for the padding after an element of a vector, where some
  // writers put none: only zero bytes are taken as padding.
  void AlignZeros() {
    const std::size_t used = static_cast<std::size_t>(m_p - m_start);
    std::size_t pad = Pad4(used) - used;
    while (pad-- && m_p < m_end && *m_p == 0) ++m_p;
  }
  std::size_t Left() const { return static_cast<std::size_t>(m_end - m_p); }

 private:
  const BYTE* m_start;
  const BYTE* m_p;
  const BYTE* m_end;
};

// The byte size of a fixed-size type's value, 0 for the others.
std::size_t FixedSize(VARTYPE t) {
  switch (t) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: return 4;
    case VT_I8: case VT_UI8: case VT_R8: case VT_CY: case VT_DATE: case VT_FILETIME: return 8;
    case VT_CLSID: return 16;
    default: return 0;
  }
}

// The size of one element in a PROPVARIANT's counted array.
std::size_t ArrayElementSize(VARTYPE t) {
  switch (t) {
    case VT_CLSID: return sizeof(CLSID);
    case VT_CF: return sizeof(CLIPDATA);
    case VT_LPSTR: case VT_LPWSTR: return sizeof(void*);
    case VT_VARIANT: return sizeof(PROPVARIANT);
    default: return FixedSize(t);
  }
}

bool VectorCapable(VARTYPE t) {
  switch (t) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_BOOL: case VT_I4: case VT_UI4:
    case VT_R4: case VT_ERROR: case VT_I8: case VT_UI8: case VT_R8: case VT_CY: case VT_DATE:
    case VT_FILETIME: case VT_CLSID: case VT_LPSTR: case VT_LPWSTR: case VT_CF: case VT_VARIANT:
      return true;
    default:
      return false;
  }
}

bool ScalarDecoded(VARTYPE t) {
  return t == VT_EMPTY || t == VT_NULL || t == VT_INT || t == VT_UINT || t == VT_BLOB ||
         (VectorCapable(t) && t != VT_VARIANT);
}

bool ScalarKept(VARTYPE t) {
  switch (t) {
    case VT_BSTR: case VT_DECIMAL: case VT_STREAM: case VT_STORAGE: case VT_STREAMED_OBJECT:
    case VT_STORED_OBJECT: case VT_BLOB_OBJECT: case VT_VERSIONED_STREAM:
      return true;
    default:
      return false;
  }
}

template <class T>
T* TaskNew(std::size_t count) {
  void* p = CoTaskMemAlloc(count ? count * sizeof(T) : 1);
  if (!p) throw std::bad_alloc();
  std::memset(p, 0, count ? count * sizeof(T) : 1);
  return static_cast<T*>(p);
}

char* TaskText(const std::string& s) {
  char* p = TaskNew<char>(s.size() + 1);
  std::memcpy(p, s.data(), s.size());
  return p;
}

// A 8-bit string of the set (a CodePageString) as CP_ACP text.
HRESULT ReadCodePageString(Cursor& c, UINT codePage, char** out) {
  std::uint32_t size;
  if (!c.U32(&size)) return STG_E_INVALIDHEADER;
  const BYTE* p = c.Take(size);
  if (!p) return STG_E_INVALIDHEADER;  // longer than its property
  if (codePage == CP_WINUNICODE && size % 2) return STG_E_INVALIDHEADER;
  std::string text;
  if (codePage == CP_WINUNICODE) {
    std::u16string wide;
    for (std::size_t i = 0; i + 1 < size; i += 2) wide.push_back(static_cast<char16_t>(Le16(p + i)));
    wide.resize(std::min(wide.size(), wide.find(u'\0')));
    if (!WideToText(CP_ACP, wide, &text)) return STG_E_INVALIDHEADER;
  } else {
    const auto* chars = reinterpret_cast<const char*>(p);
    const std::size_t len = strnlen(chars, size);
    if (codePage == GetACP()) {
      text.assign(chars, len);
    } else {
      std::u16string wide;
      if (!TextToWide(codePage, chars, len, &wide) || !WideToText(CP_ACP, wide, &text))
        return STG_E_INVALIDHEADER;
    }
  }
  *out = TaskText(text);
  return S_OK;
}

HRESULT ReadUnicodeString(Cursor& c, WCHAR** out) {
  std::uint32_t length;
  if (!c.U32(&length) || length > c.Left() / 2) return STG_E_INVALIDHEADER;
  const BYTE* p = c.Take(std::size_t{length} * 2);
  WCHAR* w = TaskNew<WCHAR>(std::size_t{length} + 1);
  for (std::uint32_t i = 0; i < length; ++i) w[i] = static_cast<WCHAR>(Le16(p + 2 * i));
  *out = w;
  return S_OK;
}

// One value of type `t` (no vector), without the padding after it.
HRESULT ReadScalar(VARTYPE t, Cursor& c, UINT codePage, PROPVARIANT* out);

HRESULT ReadVariant(Cursor& c, UINT codePage, PROPVARIANT* out) {
  const BYTE* p = c.Take(kTypeWord);
  if (!p) return STG_E_INVALIDHEADER;
  const VARTYPE t = Le16(p);
  if (!ScalarDecoded(t)) return ClassOf(t) == TypeClass::Kept ? STG_E_UNIMPLEMENTEDFUNCTION
                                                             : STG_E_INVALIDHEADER;
  HRESULT hr = ReadScalar(t, c, codePage, out);
  c.AlignZeros();
  return hr;
}

HRESULT ReadScalar(VARTYPE t, Cursor& c, UINT codePage, PROPVARIANT* out) {
  PROPVARIANT v{};
  v.vt = t;
  if (const std::size_t n = FixedSize(t)) {
    const BYTE* p = c.Take(n);
    if (!p) return STG_E_INVALIDHEADER;
    if (t == VT_CLSID) {
      v.puuid = TaskNew<CLSID>(1);
      *v.puuid = GuidAt(p);
    } else {
      std::memcpy(&v.cVal, p, n);
    }
  } else {
    switch (t) {
      case VT_EMPTY: case VT_NULL:
        break;
      case VT_LPSTR: {
        const HRESULT hr = ReadCodePageString(c, codePage, &v.pszVal);
        if (FAILED(hr)) return hr;
        break;
      }
      case VT_LPWSTR: {
        const HRESULT hr = ReadUnicodeString(c, &v.pwszVal);
        if (FAILED(hr)) return hr;
        break;
      }
      case VT_BLOB: {
        std::uint32_t size;
        const BYTE* p = nullptr;
        if (!c.U32(&size) || !(p = c.Take(size))) return STG_E_INVALIDHEADER;
        v.blob.cbSize = size;
        v.blob.pBlobData = TaskNew<BYTE>(size);
        std::memcpy(v.blob.pBlobData, p, size);
        break;
      }
      case VT_CF: {
        std::uint32_t size, format;
        if (!c.U32(&size) || size < 4 || size > kMaxClipSize || !c.U32(&format)) return STG_E_INVALIDHEADER;
        const BYTE* p = c.Take(size - 4);
        if (!p) return STG_E_INVALIDHEADER;
        v.pclipdata = TaskNew<CLIPDATA>(1);
        v.pclipdata->cbSize = size;
        v.pclipdata->ulClipFmt = static_cast<LONG>(format);
        v.pclipdata->pClipData = TaskNew<BYTE>(size - 4);
        std::memcpy(v.pclipdata->pClipData, p, size - 4);
        break;
      }
      default:
        return STG_E_INVALIDHEADER;
    }
  }
  *out = v;
  return S_OK;
}

// Moves a decoded scalar into element `i` of a counted array.
void MoveIntoArray(VARTYPE t, PROPVARIANT& v, BYTE* elems, std::size_t i) {
  const std::size_t size = ArrayElementSize(t);
  BYTE* at = elems + i * size;
  if (t == VT_VARIANT) {
    std::memcpy(at, &v, size);
  } else if (t == VT_CLSID) {
    std::memcpy(at, v.puuid, size);
    CoTaskMemFree(v.puuid);
  } else if (t == VT_CF) {
    std::memcpy(at, v.pclipdata, size);
    CoTaskMemFree(v.pclipdata);
  } else {
    std::memcpy(at, &v.cVal, size);
  }
  v = PROPVARIANT{};
}

HRESULT ReadVector(VARTYPE t, Cursor& c, UINT codePage, PROPVARIANT* out) {
  std::uint32_t count;
  if (!c.U32(&count) || count > c.Left()) return STG_E_INVALIDHEADER;
  PROPVARIANT vec{};
  vec.vt = static_cast<VARTYPE>(VT_VECTOR | t);
  auto* elems = TaskNew<BYTE>(std::size_t{count} * ArrayElementSize(t));
  vec.caub.pElems = elems;
  const bool fixed = FixedSize(t) != 0;
  HRESULT hr = S_OK;
  for (std::uint32_t i = 0; i < count && SUCCEEDED(hr); ++i) {
    PROPVARIANT v{};
    hr = t == VT_VARIANT ? ReadVariant(c, codePage, &v) : ReadScalar(t, c, codePage, &v);
    if (FAILED(hr)) break;
    if (!fixed && t != VT_VARIANT) c.AlignZeros();
    MoveIntoArray(t, v, elems, i);
    vec.caub.cElems = i + 1;
  }
  if (FAILED(hr)) {
    PropVariantClear(&vec);
    return hr;
  }
  *out = vec;
  return S_OK;
}

}  // namespace

TypeClass ClassOf(VARTYPE vt) {
  if (vt & VT_VECTOR) {
    const VARTYPE t = vt & ~VT_VECTOR;
    if (VectorCapable(t)) return TypeClass::Decoded;
    return t == VT_BSTR ? TypeClass::Kept : TypeClass::Invalid;
  }
  if (vt & VT_ARRAY) {
    const VARTYPE t = vt & ~VT_ARRAY;
    return (FixedSize(t) && t != VT_FILETIME && t != VT_CLSID) || t == VT_BSTR || t == VT_VARIANT ||
                   t == VT_DECIMAL
               ? TypeClass::Kept
               : TypeClass::Invalid;
  }
  if (ScalarDecoded(vt)) return TypeClass::Decoded;
  return ScalarKept(vt) ? TypeClass::Kept : TypeClass::Invalid;
}

HRESULT DecodeValue(const BYTE* data, std::size_t size, UINT codePage, PROPVARIANT* out) {
  *out = PROPVARIANT{};
  return Guarded([&]() -> HRESULT {
    if (size < kTypeWord) return STG_E_INVALIDHEADER;
    const VARTYPE vt = Le16(data);
    switch (ClassOf(vt)) {
      case TypeClass::Invalid: return STG_E_INVALIDHEADER;
      case TypeClass::Kept: return STG_E_UNIMPLEMENTEDFUNCTION;
      case TypeClass::Decoded: break;
    }
    if (!(vt & VT_VECTOR)) {
      Cursor c(data + kTypeWord, size - kTypeWord);
      return ReadScalar(vt, c, codePage, out);
    }
    Cursor c(data + kTypeWord, size - kTypeWord);
    return ReadVector(vt & ~VT_VECTOR, c, codePage, out);
  });
}

// ---- Writing ----

namespace {

void PutRaw(Bytes& out, const void* p, std::size_t n) {
  const auto* b = static_cast<const BYTE*>(p);
  out.insert(out.end(), b, b + n);
}

void Align(Bytes& out, std::size_t start) { out.resize(start + Pad4(out.size() - start), 0); }

HRESULT WriteCodePageString(const char* text, UINT codePage, Bytes& out) {
  const std::size_t start = out.size();
  const std::string_view s = text ? std::string_view(text) : std::string_view();
  Bytes chars;
  if (codePage == CP_WINUNICODE || codePage != GetACP()) {
    std::u16string wide;
    if (!TextToWide(CP_ACP, s.data(), s.size(), &wide)) return STG_E_INVALIDPARAMETER;
    if (codePage == CP_WINUNICODE) {
      for (char16_t ch : wide) chars.insert(chars.end(), {BYTE(ch & 0xFF), BYTE(ch >> 8)});
      chars.insert(chars.end(), {0, 0});
    } else {
      std::string narrow;
      if (!WideToText(codePage, wide, &narrow)) return STG_E_INVALIDPARAMETER;
      PutRaw(chars, narrow.data(), narrow.size());
      chars.push_back(0);
    }
  } else {
    PutRaw(chars, s.data(), s.size());
    chars.push_back(0);
  }
  PutU32(out, static_cast<std::uint32_t>(chars.size()));
  out.insert(out.end(), chars.begin(), chars.end());
  Align(out, start);
  return S_OK;
}

void WriteUnicodeString(const WCHAR* text, Bytes& out) {
  const std::size_t start = out.size();
  const std::u16string_view s = text ? std::u16string_view(text) : std::u16string_view();
  PutU32(out, static_cast<std::uint32_t>(s.size() + 1));
  for (char16_t ch : s) out.insert(out.end(), {BYTE(ch & 0xFF), BYTE(ch >> 8)});
  out.insert(out.end(), {0, 0});
  Align(out, start);
}

// One element of type `t` at `elem` (a union member or an array element).
HRESULT WriteElement(VARTYPE t, const BYTE* elem, UINT codePage, Bytes& out);

HRESULT WriteVariantElement(const PROPVARIANT& v, UINT codePage, Bytes& out) {
  if ((v.vt & (VT_VECTOR | VT_ARRAY | VT_BYREF)) || !ScalarDecoded(v.vt)) return STG_E_INVALIDPARAMETER;
  const std::size_t start = out.size();
  out.insert(out.end(), {BYTE(v.vt & 0xFF), BYTE(v.vt >> 8), 0, 0});
  const BYTE* elem = reinterpret_cast<const BYTE*>(&v.cVal);
  if (v.vt == VT_CLSID) {
    if (!v.puuid) return STG_E_INVALIDPARAMETER;
    elem = reinterpret_cast<const BYTE*>(v.puuid);
  } else if (v.vt == VT_CF) {
    if (!v.pclipdata) return STG_E_INVALIDPARAMETER;
    elem = reinterpret_cast<const BYTE*>(v.pclipdata);
  }
  const HRESULT hr = WriteElement(v.vt, elem, codePage, out);
  Align(out, start);
  return hr;
}

HRESULT WriteElement(VARTYPE t, const BYTE* elem, UINT codePage, Bytes& out) {
  if (t == VT_CLSID) {
    GUID g;
    std::memcpy(&g, elem, sizeof g);
    PutGuid(out, g);
    return S_OK;
  }
  if (const std::size_t n = FixedSize(t)) {
    PutRaw(out, elem, n);
    return S_OK;
  }
  switch (t) {
    case VT_EMPTY: case VT_NULL:
      return S_OK;
    case VT_LPSTR: {
      const char* s;
      std::memcpy(&s, elem, sizeof s);
      return WriteCodePageString(s, codePage, out);
    }
    case VT_LPWSTR: {
      const WCHAR* s;
      std::memcpy(&s, elem, sizeof s);
      WriteUnicodeString(s, out);
      return S_OK;
    }
    case VT_BLOB: {
      BLOB b;
      std::memcpy(&b, elem, sizeof b);
      if (b.cbSize && !b.pBlobData) return STG_E_INVALIDPARAMETER;
      const std::size_t start = out.size();
      PutU32(out, b.cbSize);
      PutRaw(out, b.pBlobData, b.cbSize);
      Align(out, start);
      return S_OK;
    }
    case VT_CF: {
      CLIPDATA cf;
      std::memcpy(&cf, elem, sizeof cf);
      if (cf.cbSize < 4 || cf.cbSize > kMaxClipSize || (cf.cbSize > 4 && !cf.pClipData))
        return STG_E_INVALIDPARAMETER;
      const std::size_t start = out.size();
      PutU32(out, cf.cbSize);
      PutU32(out, static_cast<std::uint32_t>(cf.ulClipFmt));
      PutRaw(out, cf.pClipData, cf.cbSize - 4);
      Align(out, start);
      return S_OK;
    }
    case VT_VARIANT: {
      PROPVARIANT v;
      std::memcpy(&v, elem, sizeof v);
      return WriteVariantElement(v, codePage, out);
    }
    default:
      return STG_E_INVALIDPARAMETER;
  }
}

}  // namespace

HRESULT EncodeValue(const PROPVARIANT& value, UINT codePage, Bytes& out) {
  return Guarded([&]() -> HRESULT {
    if (value.vt & (VT_ARRAY | VT_BYREF)) return STG_E_INVALIDPARAMETER;
    if (ClassOf(value.vt) != TypeClass::Decoded) return STG_E_INVALIDPARAMETER;
    Bytes b;
    b.insert(b.end(), {BYTE(value.vt & 0xFF), BYTE(value.vt >> 8), 0, 0});
    HRESULT hr;
    if (value.vt & VT_VECTOR) {
      const VARTYPE t = value.vt & ~VT_VECTOR;
      const ULONG count = value.caub.cElems;
      const BYTE* elems = value.caub.pElems;
      if (count && !elems) return STG_E_INVALIDPARAMETER;
      PutU32(b, count);
      hr = S_OK;
      for (ULONG i = 0; i < count && SUCCEEDED(hr); ++i)
        hr = WriteElement(t, elems + i * ArrayElementSize(t), codePage, b);
    } else if (value.vt == VT_CLSID) {
      if (!value.puuid) return STG_E_INVALIDPARAMETER;
      hr = WriteElement(VT_CLSID, reinterpret_cast<const BYTE*>(value.puuid), codePage, b);
    } else if (value.vt == VT_CF) {
      if (!value.pclipdata) return STG_E_INVALIDPARAMETER;
      hr = WriteElement(VT_CF, reinterpret_cast<const BYTE*>(value.pclipdata), codePage, b);
    } else {
      hr = WriteElement(value.vt, reinterpret_cast<const BYTE*>(&value.cVal), codePage, b);
    }
    if (FAILED(hr)) return hr;
    PadTo4(b);
    out = std::move(b);
    return S_OK;
  });
}

bool TextToWide(UINT codePage, const char* text, std::size_t bytes, std::u16string* out) {
  out->clear();
  if (bytes == 0) return true;
  if (bytes > 0x7FFFFFFF) return false;
  const int n = MultiByteToWideChar(codePage, 0, text, static_cast<int>(bytes), nullptr, 0);
  if (n <= 0) return false;
  out->resize(static_cast<std::size_t>(n));
  return MultiByteToWideChar(codePage, 0, text, static_cast<int>(bytes), out->data(), n) == n;
}

bool WideToText(UINT codePage, std::u16string_view text, std::string* out) {
  out->clear();
  if (text.empty()) return true;
  if (text.size() > 0x7FFFFFFF) return false;
  const int len = static_cast<int>(text.size());
  const int n = WideCharToMultiByte(codePage, 0, text.data(), len, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return false;
  out->resize(static_cast<std::size_t>(n));
  return WideCharToMultiByte(codePage, 0, text.data(), len, out->data(), n, nullptr, nullptr) == n;
}

}  // namespace zrpal::ole::ps
