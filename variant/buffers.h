// variant/buffers.h - the array allocations that variants and blobs own
// (library internal).
//
// Every buffer a variant or blob owns is an array allocation freed with
// delete[], so that modules on either side of the library boundary can free
// what the other allocated. Allocation failure throws CXBadAlloc, the
// library's one allocation failure.
#pragma once

#include <cstddef>
#include <new>
#include <string>

#include "zr/blob.h"
#include "zr/exception.h"
#include "zr/zrtypes.h"

namespace zr {

// A fresh array of n elements (contents indeterminate).
template <class T>
T* NewArray(std::size_t n) {
  return Allocating([n] { return new T[n]; });
}

// A fresh copy of the n units at text followed by a terminator.
template <class C>
C* NewTextCopy(const C* text, std::size_t n) {
  C* p = NewArray<C>(n + 1);
  std::char_traits<C>::copy(p, text, n);
  p[n] = C();
  return p;
}

// A fresh copy of a NUL-terminated text; null stays null.
template <class C>
C* NewTextCopy(const C* text) {
  return text ? NewTextCopy(text, std::char_traits<C>::length(text)) : nullptr;
}

// A fresh copy of n bytes; null data stays null.
BYTE* NewBytesCopy(const BYTE* data, ULONG n);

// Blob equality (ZRBlob::operator==) over plain records: the same size and
// the same bytes. Size 0 is always equal; with a non-zero size a null data
// pointer equals only another null pointer.
int BlobsEqual(const tagZRBLOB& a, const tagZRBLOB& b);

}  // namespace zr
