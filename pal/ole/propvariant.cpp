// pal/ole/propvariant.cpp - PropVariantClear, FreePropVariantArray and
// PropVariantCopy over the types this component hands out (see
// propset_value.h): everything a PROPVARIANT owns is task memory.
#include <cstring>
#include <new>

#include "pal/ole/propidl.h"
#include "pal/ole/storage.h"

namespace zrpal {

namespace {

// Types whose value sits in the union with nothing to free.
bool PlainType(VARTYPE t) {
  switch (t) {
    case VT_EMPTY: case VT_NULL: case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_BOOL:
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: case VT_I8:
    case VT_UI8: case VT_R8: case VT_CY: case VT_DATE: case VT_FILETIME:
      return true;
    default:
      return false;
  }
}

bool FreeElements(VARTYPE t, ULONG count, BYTE* elems) {
  if (PlainType(t) || t == VT_CLSID) return true;
  for (ULONG i = 0; elems && i < count; ++i) {
    switch (t) {
      case VT_LPSTR: CoTaskMemFree(reinterpret_cast<LPSTR*>(elems)[i]); break;
      case VT_LPWSTR: CoTaskMemFree(reinterpret_cast<LPWSTR*>(elems)[i]); break;
      case VT_CF: CoTaskMemFree(reinterpret_cast<CLIPDATA*>(elems)[i].pClipData); break;
      case VT_VARIANT: PropVariantClear(&reinterpret_cast<PROPVARIANT*>(elems)[i]); break;
      default: return false;
    }
  }
  return true;
}

}  // namespace

HRESULT PropVariantClear(PROPVARIANT* value) {
  if (!value) return S_OK;
  const VARTYPE vt = value->vt;
  if (vt & VT_VECTOR) {
    if (!FreeElements(vt & ~VT_VECTOR, value->caub.cElems, value->caub.pElems))
      return STG_E_INVALIDPARAMETER;
    CoTaskMemFree(value->caub.pElems);
  } else if (!PlainType(vt)) {
    switch (vt) {
      case VT_LPSTR: CoTaskMemFree(value->pszVal); break;
      case VT_LPWSTR: CoTaskMemFree(value->pwszVal); break;
      case VT_CLSID: CoTaskMemFree(value->puuid); break;
      case VT_BLOB: CoTaskMemFree(value->blob.pBlobData); break;
      case VT_CF:
        if (value->pclipdata) CoTaskMemFree(value->pclipdata->pClipData);
        CoTaskMemFree(value->pclipdata);
        break;
      default:
        return STG_E_INVALIDPARAMETER;  // an interface or BSTR: never handed out here
    }
  }
  std::memset(value, 0, sizeof *value);
  return S_OK;
}

HRESULT FreePropVariantArray(ULONG count, PROPVARIANT* values) {
  if (!values) return E_INVALIDARG;
  HRESULT result = S_OK;
  for (ULONG i = 0; i < count; ++i) {
    const HRESULT hr = PropVariantClear(&values[i]);
    if (FAILED(hr)) result = hr;
  }
  return result;
}

namespace {

void* TaskCopy(const void* p, std::size_t n) {
  void* q = CoTaskMemAlloc(n ? n : 1);
  if (!q) throw std::bad_alloc();
  if (n) std::memcpy(q, p, n);
  return q;
}

template <class C>
C* TaskText(const C* s) {
  if (!s) return nullptr;
  std::size_t n = 0;
  while (s[n]) ++n;
  return static_cast<C*>(TaskCopy(s, (n + 1) * sizeof(C)));
}

std::size_t ElementSize(VARTYPE t) {
  switch (t) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_R4: case VT_ERROR: return 4;
    case VT_I8: case VT_UI8: case VT_R8: case VT_CY: case VT_DATE: case VT_FILETIME: return 8;
    case VT_CLSID: return sizeof(CLSID);
    case VT_CF: return sizeof(CLIPDATA);
    case VT_LPSTR: case VT_LPWSTR: return sizeof(void*);
    case VT_VARIANT: return sizeof(PROPVARIANT);
    default: return 0;
  }
}

// Copies into `out`, which is VT_EMPTY; on a throw `out` holds what it
// owns so far and the caller clears it.
HRESULT Copy(PROPVARIANT* out, const PROPVARIANT& in) {
  const VARTYPE vt = in.vt;
  if (vt & VT_VECTOR) {
    const VARTYPE t = vt & ~VT_VECTOR;
    const std::size_t size = ElementSize(t);
    if (!size) return STG_E_INVALIDPARAMETER;
    const ULONG count = in.caub.cElems;
    auto* elems = static_cast<BYTE*>(TaskCopy(in.caub.pElems, count * size));
    // Owned parts are not shared: zero them before taking copies.
    if (!PlainType(t) && t != VT_CLSID) {
      for (ULONG i = 0; i < count; ++i) {
        if (t == VT_CF) reinterpret_cast<CLIPDATA*>(elems)[i].pClipData = nullptr;
        else std::memset(elems + i * size, 0, size);
      }
    }
    out->vt = vt;
    out->caub.cElems = count;
    out->caub.pElems = elems;
    for (ULONG i = 0; i < count; ++i) {
      const BYTE* src = in.caub.pElems + i * size;
      BYTE* dst = elems + i * size;
      switch (t) {
        case VT_LPSTR: *reinterpret_cast<LPSTR*>(dst) = TaskText(*reinterpret_cast<const LPSTR*>(src)); break;
        case VT_LPWSTR: *reinterpret_cast<LPWSTR*>(dst) = TaskText(*reinterpret_cast<const LPWSTR*>(src)); break;
        case VT_CF: {
          const auto& c = *reinterpret_cast<const CLIPDATA*>(src);
          reinterpret_cast<CLIPDATA*>(dst)->pClipData =
              static_cast<BYTE*>(TaskCopy(c.pClipData, c.cbSize >= 4 ? c.cbSize - 4 : 0));
          break;
        }
        case VT_VARIANT: {
          const HRESULT hr = Copy(reinterpret_cast<PROPVARIANT*>(dst), *reinterpret_cast<const PROPVARIANT*>(src));
          if (FAILED(hr)) return hr;
          break;
        }
        default: break;
      }
    }
    return S_OK;
  }
  if (PlainType(vt)) {
    *out = in;
    return S_OK;
  }
  out->vt = vt;
  switch (vt) {
    case VT_LPSTR: out->pszVal = TaskText(in.pszVal); return S_OK;
    case VT_LPWSTR: out->pwszVal = TaskText(in.pwszVal); return S_OK;
    case VT_CLSID: out->puuid = in.puuid ? static_cast<CLSID*>(TaskCopy(in.puuid, sizeof(CLSID))) : nullptr; return S_OK;
    case VT_BLOB:
      out->blob.cbSize = in.blob.cbSize;
      out->blob.pBlobData = static_cast<BYTE*>(TaskCopy(in.blob.pBlobData, in.blob.cbSize));
      return S_OK;
    case VT_CF:
      if (in.pclipdata) {
        out->pclipdata = static_cast<CLIPDATA*>(TaskCopy(in.pclipdata, sizeof(CLIPDATA)));
        out->pclipdata->pClipData = nullptr;
        const ULONG n = in.pclipdata->cbSize >= 4 ? in.pclipdata->cbSize - 4 : 0;
        out->pclipdata->pClipData = static_cast<BYTE*>(TaskCopy(in.pclipdata->pClipData, n));
      }
      return S_OK;
    default:
      out->vt = VT_EMPTY;
      return STG_E_INVALIDPARAMETER;
  }
}

}  // namespace

HRESULT PropVariantCopy(PROPVARIANT* target, const PROPVARIANT* source) {
  if (!target || !source) return E_INVALIDARG;
  PROPVARIANT v{};
  HRESULT hr;
  try {
    hr = Copy(&v, *source);
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  }
  if (FAILED(hr)) {
    PropVariantClear(&v);
    return hr;
  }
  *target = v;
  return S_OK;
}

}  // namespace zrpal
