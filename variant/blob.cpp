// variant/blob.cpp - ZRBlob, the owning byte blob.
#include "zr/blob.h"

#include <cstring>

#include "variant/buffers.h"

namespace zr {

BYTE* NewBytesCopy(const BYTE* data, ULONG n) {
  if (!data) return nullptr;
  BYTE* p = NewArray<BYTE>(n);
  if (n) std::memcpy(p, data, n);
  return p;
}

int BlobsEqual(const tagZRBLOB& a, const tagZRBLOB& b) {
  if (a.cbSize != b.cbSize) return 0;
  // No bytes to compare: blobs of size 0 are equal with or without data
  // (ZRBlob(0) has a zero-length array, ZRBlob() none).
  if (a.cbSize == 0 || a.pBlobData == b.pBlobData) return 1;
  // A size without data has no bytes to read: equal only to the same.
  if (!a.pBlobData || !b.pBlobData) return 0;
  return std::memcmp(a.pBlobData, b.pBlobData, a.cbSize) == 0 ? 1 : 0;
}

}  // namespace zr

namespace {

// Deep copy of src into the fields of an unowned record.
void CopyInto(tagZRBLOB& dest, const tagZRBLOB* src) {
  if (!src) {
    dest.cbSize = 0;
    dest.pBlobData = nullptr;
    return;
  }
  dest.pBlobData = zr::NewBytesCopy(src->pBlobData, src->cbSize);
  dest.cbSize = src->cbSize;
}

}  // namespace

ZRBlob::ZRBlob() {
  cbSize = 0;
  pBlobData = nullptr;
}

ZRBlob::ZRBlob(ULONG n) {
  pBlobData = zr::NewArray<BYTE>(n);
  if (n) std::memset(pBlobData, 0, n);
  cbSize = n;
}

ZRBlob::ZRBlob(const tagZRBLOB& src) { CopyInto(*this, &src); }
ZRBlob::ZRBlob(const ZRBlob& src) { CopyInto(*this, &src); }
ZRBlob::ZRBlob(const tagZRBLOB* src) { CopyInto(*this, src); }

ZRBlob::~ZRBlob() { Clear(); }

ZRBlob& ZRBlob::operator=(const tagZRBLOB* src) {
  // The copy is made before the old data goes, so a source that is this blob
  // (or shares its data) keeps its value and a failed allocation changes
  // nothing.
  if (src == this) return *this;
  tagZRBLOB copy;
  CopyInto(copy, src);
  if (cbSize || pBlobData) delete[] pBlobData;
  cbSize = copy.cbSize;
  pBlobData = copy.pBlobData;
  return *this;
}

int ZRBlob::operator==(const tagZRBLOB& other) const { return zr::BlobsEqual(*this, other); }

int ZRBlob::operator==(const tagZRBLOB* other) const { return other ? *this == *other : 0; }

void ZRBlob::Clear() {
  cbSize = 0;
  delete[] pBlobData;
  pBlobData = nullptr;
}
