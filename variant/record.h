// variant/record.h - helpers over the plain variant record shared by the
// variant sources (library internal).
#pragma once

#include <cstring>

#include "zr/variant.h"

namespace zr {

// Codes 0 to ZRVT_LASTORDINARY; everything above is unknown to every switch.
constexpr bool IsOrdinaryType(unsigned vt) { return vt <= ZRVT_LASTORDINARY; }

// A zeroed record (an empty variant) for building values in.
inline tagZRVARIANT EmptyRecord() {
  tagZRVARIANT v;
  std::memset(&v, 0, sizeof v);
  return v;
}

// Frees what the record owns without touching the record itself.
void FreeOwned(const tagZRVARIANT& v);

// Frees what dest owns and moves the record built in `from` into it: dest
// takes over what `from` owned, so `from` must not be cleared afterwards
// (it is a temporary that is dropped). Nothing is copied or counted.
inline void MoveRecord(tagZRVARIANT* dest, const tagZRVARIANT& from) {
  FreeOwned(*dest);
  std::memcpy(static_cast<void*>(dest), &from, sizeof from);
}

// Makes the unowned copy of a record in `v` independent: fresh buffers for
// text and blob data, a reference for an object. Throws CXMemException
// (with `v` then owning nothing that needs freeing).
void DeepenRecord(tagZRVARIANT& v);

// Equality of two records (1 or 0); see CZRVariant::operator==.
int RecordsEqual(const tagZRVARIANT& a, const tagZRVARIANT& b);

}  // namespace zr
