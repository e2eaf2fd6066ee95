// core/containers.cpp - the exported instances of the enumerator templates,
// and compile-time checks of the container records whose layout other
// modules rely on.
#include <cstddef>
#include <memory>
#include <string>
#include <utility>

#include "zr/tenum.h"
#include "zr/tlist.h"
#include "zr/tmap.h"

template class CTEnum<const char*>;
template class CTEnum<const WCHAR*>;
template class CTEnum<IZRUnknown*>;
template class CZRUnknownImpl<CTEnum<const char*>>;
template class CZRUnknownImpl<CTEnum<const WCHAR*>>;
template class CZRUnknownImpl<CTEnum<IZRUnknown*>>;

// ---------------------------------------------------------------------------
// The two string enumerators (zr/tenum.h). What they share works on their
// zr::StringItems member.

namespace zr {
namespace {

// Takes over the buffer and the item array (both null when there are no
// items) and keeps `owner` (may be null) alive with one reference.
template <class C>
void Adopt(StringItems<C>& s, std::unique_ptr<C[]> buffer, std::unique_ptr<C*[]> items, ULONG count,
           IZRUnknown* owner) {
  s.m_pBuffer = buffer.release();
  s.m_ppItems = items.release();
  s.m_nItems = count;
  s.m_pOwner = owner;
  if (owner) owner->AddRef();
}

template <class C>
void Destroy(StringItems<C>& s) {
  delete[] s.m_ppItems;
  delete[] s.m_pBuffer;
  if (s.m_pOwner) s.m_pOwner->Release();
}

template <class C>
int NextItems(StringItems<C>& s, ULONG count, const C** items, ULONG* fetched) {
  ULONG delivered = 0;
  if (items) {
    while (delivered < count && s.m_nPosition < s.m_nItems)
      items[delivered++] = s.m_ppItems[s.m_nPosition++];
  }
  if (fetched) *fetched = delivered;
  return delivered != 0 ? 1 : 0;
}

// No bound check against the item count, but the position saturates.
template <class C>
int SkipItems(StringItems<C>& s, ULONG count) {
  const ULONG room = ~ULONG{0} - s.m_nPosition;
  s.m_nPosition = count > room ? ~ULONG{0} : s.m_nPosition + count;
  return 1;
}

template <class C>
C* NewUnits(std::size_t n) {
  return Allocating([n] { return new C[n]; });
}

template <class C>
C** NewItemArray(ULONG n) {
  return Allocating([n] { return new C*[n]; });
}

}  // namespace
}  // namespace zr

template <class C>
_CZeroDelimitedStringsEnum<C>::_CZeroDelimitedStringsEnum(const C* source, IZRUnknown* owner) {
  ULONG n = 0;
  std::size_t units = 0;  // every string with its terminator
  if (source) {
    for (const C* p = source; *p; ++n) {
      const std::size_t len = std::char_traits<C>::length(p);
      units += len + 1;
      p += len + 1;
    }
  }
  std::unique_ptr<C[]> buffer;
  std::unique_ptr<C*[]> array;
  if (n != 0) {
    // Both blocks are taken before either is kept, so a failed allocation
    // leaves nothing behind.
    buffer.reset(zr::NewUnits<C>(units + 1));
    array.reset(zr::NewItemArray<C>(n));
    std::char_traits<C>::copy(buffer.get(), source, units);
    buffer[units] = C(0);
    C* p = buffer.get();
    for (ULONG i = 0; i < n; ++i) {
      array[i] = p;
      p += std::char_traits<C>::length(p) + 1;
    }
  }
  zr::Adopt(m_items, std::move(buffer), std::move(array), n, owner);
}

template <class C>
_CZeroDelimitedStringsEnum<C>::~_CZeroDelimitedStringsEnum() {
  zr::Destroy(m_items);
}

template <class C>
int _CZeroDelimitedStringsEnum<C>::Next(ULONG count, const C** items, ULONG* fetched) {
  return zr::NextItems(m_items, count, items, fetched);
}

template <class C>
int _CZeroDelimitedStringsEnum<C>::Skip(ULONG count) {
  return zr::SkipItems(m_items, count);
}

template <class C>
void _CZeroDelimitedStringsEnum<C>::Reset() {
  m_items.m_nPosition = 0;
}

template <class C>
_CCharSeparatedStringsEnum<C>::_CCharSeparatedStringsEnum(const C* text, const C* separators,
                                                          IZRUnknown* owner) {
  using Traits = std::char_traits<C>;
  const std::size_t len = text ? Traits::length(text) : 0;
  const std::size_t nSeps = separators ? Traits::length(separators) : 0;
  auto isSeparator = [&](C c) {
    return nSeps != 0 && Traits::find(separators, nSeps, c) != nullptr;
  };

  ULONG n = 0;
  for (std::size_t i = 0; i < len; ++i)
    if (!isSeparator(text[i]) && (i == 0 || isSeparator(text[i - 1]))) ++n;

  std::unique_ptr<C[]> buffer;
  std::unique_ptr<C*[]> array;
  if (n != 0) {
    // The copy keeps room for one extra character beyond the terminator.
    buffer.reset(zr::NewUnits<C>(len + 2));
    array.reset(zr::NewItemArray<C>(n));
    Traits::copy(buffer.get(), text, len);
    buffer[len] = C(0);
    buffer[len + 1] = C(0);
    ULONG k = 0;
    for (std::size_t i = 0; i < len; ++i) {
      if (isSeparator(buffer[i])) {
        buffer[i] = C(0);
      } else if (i == 0 || buffer[i - 1] == C(0)) {
        // The previous unit was a separator (already cut) or this is the start.
        array[k++] = &buffer[i];
      }
    }
  }
  zr::Adopt(m_items, std::move(buffer), std::move(array), n, owner);
}

template <class C>
_CCharSeparatedStringsEnum<C>::~_CCharSeparatedStringsEnum() {
  zr::Destroy(m_items);
}

template <class C>
int _CCharSeparatedStringsEnum<C>::Next(ULONG count, const C** items, ULONG* fetched) {
  return zr::NextItems(m_items, count, items, fetched);
}

template <class C>
int _CCharSeparatedStringsEnum<C>::Skip(ULONG count) {
  return zr::SkipItems(m_items, count);
}

template <class C>
void _CCharSeparatedStringsEnum<C>::Reset() {
  m_items.m_nPosition = 0;
}

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
    static_assert(offsetof(StringsEnumLayout, m_items) == 16);
    static_assert(sizeof(E) == 48);
  }
};
using CharItems = zr::StringItems<char>;
static_assert(offsetof(CharItems, m_pBuffer) == 0 && offsetof(CharItems, m_ppItems) == 8);
static_assert(offsetof(CharItems, m_nItems) == 16 && offsetof(CharItems, m_nPosition) == 20);
static_assert(offsetof(CharItems, m_pOwner) == 24 && sizeof(CharItems) == 32);
template struct StringsEnumLayout<_CZeroDelimitedStringsEnum<char>>;
template struct StringsEnumLayout<_CCharSeparatedStringsEnum<WCHAR>>;

#pragma GCC diagnostic pop

}  // namespace
