// blob.h - byte blobs: the plain record tagZRBLOB and its owning class
// ZRBlob.
//
// Blob data is always an array allocation (new BYTE[n]) and is freed with
// delete[], so a buffer can pass between the library and the modules that
// use it (a variant takes over a bound blob's buffer, for example).
#pragma once

#include <cstddef>

#include "zr/zrtypes.h"

// A byte count and a pointer to that many bytes. The record owns nothing; a
// null data pointer may come with a non-zero size (a blob whose size was
// copied from a record without data).
struct tagZRBLOB {
  ULONG cbSize;
  BYTE* pBlobData;
};

static_assert(sizeof(tagZRBLOB) == 16 && offsetof(tagZRBLOB, pBlobData) == 8);

// A tagZRBLOB that owns its data. It adds no field and no virtual function,
// so a ZRBlob* can be passed wherever a tagZRBLOB* is expected.
//
// Copies are deep: the size is always copied, the data is copied into a
// fresh buffer when the source has data and is null otherwise. A null source
// pointer counts as the empty blob (size 0, no data). Allocation failure
// throws CXMemException and leaves the blob as it was.
class ZR_API ZRBlob : public tagZRBLOB {
 public:
  // Size 0, no data.
  ZRBlob();
  // n zero bytes. Explicit, so that an integer never turns into a blob
  // unnoticed.
  explicit ZRBlob(ULONG n);
  ZRBlob(const tagZRBLOB& src);
  ZRBlob(const ZRBlob& src);
  ZRBlob(const tagZRBLOB* src);
  ~ZRBlob();

  // Frees the current data (when the blob has a size or data), then copies
  // as the constructors do. The copy is made first, so assigning a blob to
  // itself, or a record that shares its data, keeps the value.
  ZRBlob& operator=(const tagZRBLOB* src);
  ZRBlob& operator=(const tagZRBLOB& src) { return *this = &src; }
  ZRBlob& operator=(const ZRBlob& src) { return *this = static_cast<const tagZRBLOB*>(&src); }

  // 1 when the sizes are equal and the first cbSize bytes are equal, else 0.
  // Two blobs of size 0 are equal whether or not they have a data pointer.
  // With a non-zero size, a null data pointer (there are no bytes to read)
  // equals only another null data pointer; a null record pointer is unequal
  // to every blob.
  int operator==(const tagZRBLOB& other) const;
  int operator==(const tagZRBLOB* other) const;
  int operator!=(const tagZRBLOB& other) const { return !(*this == other); }
  // Two ZRBlob operands: an exact match (see CZRVariant::operator==).
  int operator==(const ZRBlob& other) const { return *this == static_cast<const tagZRBLOB&>(other); }
  int operator!=(const ZRBlob& other) const { return !(*this == other); }

  // Size 0, data freed, data null.
  void Clear();
};

static_assert(sizeof(ZRBlob) == sizeof(tagZRBLOB));
