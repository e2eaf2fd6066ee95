// variant/record.cpp - the free functions over the plain record: init,
// clear, copy, and the equality rules.
#include "variant/record.h"

#include <cstring>
#include <string>
#include <utility>

#include "variant/buffers.h"

namespace zr {

void DeepenRecord(tagZRVARIANT& v) {
  switch (v.vt) {
    case ZRVT_STR:
      // Cleared first so that a failed allocation leaves nothing to free.
      v.pszVal = NewTextCopy(std::exchange(v.pszVal, nullptr));
      break;
    case ZRVT_WSTR:
      v.pwszVal = NewTextCopy(std::exchange(v.pwszVal, nullptr));
      break;
    case ZRVT_BLOB:
      v.blobVal.pBlobData = NewBytesCopy(std::exchange(v.blobVal.pBlobData, nullptr), v.blobVal.cbSize);
      break;
    case ZRVT_UNKNOWN:
      if (v.punkVal) v.punkVal->AddRef();
      break;
    default:
      break;
  }
}

void FreeOwned(const tagZRVARIANT& v) {
  switch (v.vt) {
    case ZRVT_STR:
      delete[] v.pszVal;
      break;
    case ZRVT_WSTR:
      delete[] v.pwszVal;
      break;
    case ZRVT_BLOB:
      delete[] v.blobVal.pBlobData;
      break;
    case ZRVT_UNKNOWN:
      if (v.punkVal) v.punkVal->Release();
      break;
    default:
      // Nothing owned; ZRVT_UNKNOWN_BORROWED holds no reference.
      break;
  }
}

namespace {

// The tolerance of double geometry: unequal when a - 0.001 > b or
// b > a + 0.001. (A NaN member therefore compares equal: neither test holds.)
constexpr double kTolerance = 0.001;

bool Near(double a, double b) { return !(a - kTolerance > b || b > a + kTolerance); }

bool EmptyRect(const tagRECT& r) { return r.left >= r.right || r.top >= r.bottom; }
bool EmptyRect(const tagRRECT& r) { return r.left > r.right || r.top > r.bottom; }

template <class C>
int TextEqual(const C* a, const C* b) {
  if (a == b) return 1;
  if (!a || !b) return 0;
  std::size_t n = std::char_traits<C>::length(a);
  return n == std::char_traits<C>::length(b) && std::char_traits<C>::compare(a, b, n) == 0 ? 1 : 0;
}

}  // namespace

int RecordsEqual(const tagZRVARIANT& a, const tagZRVARIANT& b) {
  if (&a == &b) return 1;
  if (a.vt != b.vt) return 0;
  switch (a.vt) {
    case ZRVT_EMPTY:
      return 1;
    case ZRVT_BOOL:
    case ZRVT_ULONG:
    case ZRVT_INT:
    case ZRVT_UINT:
    case ZRVT_LONG:
      return a.ulVal == b.ulVal;
    case ZRVT_UI1:
      return a.bVal == b.bVal;
    case ZRVT_UI2:
      return a.uiVal == b.uiVal;
    case ZRVT_DOUBLE:
      return a.dblVal == b.dblVal;
    case ZRVT_FLOAT:
      return a.fltVal == b.fltVal;
    case ZRVT_STR:
      return TextEqual(a.pszVal, b.pszVal);
    case ZRVT_WSTR:
      return TextEqual(a.pwszVal, b.pwszVal);
    case ZRVT_SIZE:
      return a.sizeVal.cx == b.sizeVal.cx && a.sizeVal.cy == b.sizeVal.cy;
    case ZRVT_POINT:
      return a.ptVal.x == b.ptVal.x && a.ptVal.y == b.ptVal.y;
    case ZRVT_RSIZE:
      return Near(a.rsizeVal.cx, b.rsizeVal.cx) && Near(a.rsizeVal.cy, b.rsizeVal.cy);
    case ZRVT_RPOINT:
      return Near(a.rptVal.x, b.rptVal.x) && Near(a.rptVal.y, b.rptVal.y);
    case ZRVT_RECT: {
      const tagRECT& r = a.rcVal;
      const tagRECT& s = b.rcVal;
      if (r.left == s.left && r.top == s.top && r.right == s.right && r.bottom == s.bottom) return 1;
      return EmptyRect(r) && EmptyRect(s);
    }
    case ZRVT_RRECT: {
      const tagRRECT& r = a.rrcVal;
      const tagRRECT& s = b.rrcVal;
      if (Near(r.left, s.left) && Near(r.top, s.top) && Near(r.right, s.right) && Near(r.bottom, s.bottom))
        return 1;
      return EmptyRect(r) && EmptyRect(s);
    }
    case ZRVT_BLOB:
      return BlobsEqual(a.blobVal, b.blobVal);
    case ZRVT_UNKNOWN:
      return a.punkVal == b.punkVal;
    default:
      // Codes above the ordinary range equal only the record itself.
      return 0;
  }
}

}  // namespace zr

void ZRVariantInit(tagZRVARIANT* var) {
  if (var) std::memset(static_cast<void*>(var), 0, sizeof *var);
}

void ZRVariantClear(tagZRVARIANT* var) {
  if (!var) return;
  zr::FreeOwned(*var);
  std::memset(static_cast<void*>(var), 0, sizeof *var);
}

void ZRVariantCopy(tagZRVARIANT* dest, const tagZRVARIANT* src) {
  if (!dest || dest == src) return;
  if (!src) {
    ZRVariantClear(dest);
    return;
  }
  // Made independent before dest is cleared, so that a failed allocation
  // leaves dest as it was and a src that lives inside something dest owns
  // is read before it goes.
  tagZRVARIANT copy;
  std::memcpy(static_cast<void*>(&copy), src, sizeof copy);
  zr::DeepenRecord(copy);
  zr::MoveRecord(dest, copy);
}
