// core/containers.cpp - the exported instances of the enumerator templates,
// and compile-time checks of the container records whose layout other
// modules rely on.
#include <cstddef>

#include "zr/tenum.h"
#include "zr/tlist.h"
#include "zr/tmap.h"

template class CTEnum<const char*>;
template class CTEnum<const WCHAR*>;
template class CTEnum<IZRUnknown*>;
template class CZRUnknownImpl<CTEnum<const char*>>;
template class CZRUnknownImpl<CTEnum<const WCHAR*>>;
template class CZRUnknownImpl<CTEnum<IZRUnknown*>>;
template class _CStringItemsEnum<char>;
template class _CStringItemsEnum<WCHAR>;
template class _CZeroDelimitedStringsEnum<char>;
template class _CCharSeparatedStringsEnum<WCHAR>;

namespace {

// Most of these records are not standard-layout (a table pointer, or bases
// with members), where offsetof is only conditionally supported; GCC and
// clang support it and give the Itanium ABI's offsets. The checks sit in
// member functions of derived classes, where the protected fields can be
// named.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"

// A map: table pointer, bucket array, count, bucket count, marker, closed.
struct MapLayout : CTMap<const char*, IZRUnknown*> {
  static void Check() {
    static_assert(offsetof(MapLayout, m_pHashTable) == 8);
    static_assert(offsetof(MapLayout, m_nCount) == 16);
    static_assert(offsetof(MapLayout, m_nHashTableSize) == 20);
    static_assert(offsetof(MapLayout, m_nAllocMarker) == 24);
    static_assert(offsetof(MapLayout, m_bClosed) == 28);
    static_assert(sizeof(CTMap<const char*, IZRUnknown*>) == 32);
  }
};

// A map entry: next, value, key, hash.
using StringAssoc = CTMap<const char*, IZRUnknown*>::CAssoc;
static_assert(offsetof(StringAssoc, pNext) == 0);
static_assert(offsetof(StringAssoc, value) == 8);
static_assert(offsetof(StringAssoc, key) == 16);
static_assert(offsetof(StringAssoc, nHashValue) == 24);
using IntAssoc = CTMap<int, int>::CAssoc;
static_assert(offsetof(IntAssoc, value) == 8);
static_assert(offsetof(IntAssoc, key) == 12);
static_assert(offsetof(IntAssoc, nHashValue) == 16);

// A list: count, head, tail, closed; no table pointer.
struct ListLayout : COList {
  static void Check() {
    static_assert(offsetof(ListLayout, m_nCount) == 0);
    static_assert(offsetof(ListLayout, m_pHead) == 8);
    static_assert(offsetof(ListLayout, m_pTail) == 16);
    static_assert(offsetof(ListLayout, m_bClosed) == 24);
    static_assert(sizeof(COList) == 32);
    static_assert(sizeof(CTPList<const char*>) == 32);
  }
};

// A list node: next, previous, value.
static_assert(offsetof(_CTListPlex<const char*>, pNext) == 0);
static_assert(offsetof(_CTListPlex<const char*>, pPrev) == 8);
static_assert(offsetof(_CTListPlex<const char*>, value) == 16);

// The string enumerators: table pointer and count, then buffer, item array,
// item count, position, owner.
template <class E>
struct StringsEnumLayout : E {
  static void Check() {
    static_assert(offsetof(StringsEnumLayout, m_cRef) == 8);
    static_assert(offsetof(StringsEnumLayout, m_pBuffer) == 16);
    static_assert(offsetof(StringsEnumLayout, m_ppItems) == 24);
    static_assert(offsetof(StringsEnumLayout, m_nItems) == 32);
    static_assert(offsetof(StringsEnumLayout, m_nPosition) == 36);
    static_assert(offsetof(StringsEnumLayout, m_pOwner) == 40);
    static_assert(sizeof(E) == 48);
  }
};
template struct StringsEnumLayout<_CZeroDelimitedStringsEnum<char>>;
template struct StringsEnumLayout<_CCharSeparatedStringsEnum<WCHAR>>;

#pragma GCC diagnostic pop

}  // namespace
