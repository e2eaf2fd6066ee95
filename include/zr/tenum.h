// tenum.h - CTEnum, the enumerator interface through which every sequence
// crosses the library's boundary, and the two string enumerators that own a
// copy of their text.
//
// Items are borrowed: a `const char*` or `const WCHAR*` item points into
// storage owned by the enumerator (or by the container it enumerates) and
// stays valid while the enumerator lives. An `IZRUnknown*` item carries a
// reference that the caller releases.
//
// Enumerators are objects of the object model (zr/unknown.h): they are created
// with a count of 1 and destroyed by their last Release. They take no lock.
// Memory comes from the global operator new; failure throws CXBadAlloc
// (zr/exception.h).
#pragma once

#include <string>
#include <utility>

#include "zr/exception.h"
#include "zr/unknown.h"
#include "zr/zrtypes.h"

// The enumerator interface. Its three operations follow IZRUnknown's, in this
// table order, which is fixed.
template <class T>
class CTEnum : public IZRUnknown {
 public:
  // Slot 3: copies up to `count` items into `items` (room for count items)
  // and stores the number delivered in *fetched when fetched is non-null.
  // 1 if at least one item was delivered, else 0.
  virtual int Next(ULONG count, T* items, ULONG* fetched) = 0;
  // Slot 4: moves past `count` items; the result is each implementation's.
  virtual int Skip(ULONG count) = 0;
  // Slot 5: back to the first item.
  virtual void Reset() = 0;

 protected:
  ~CTEnum() = default;
};

namespace zr {

// A new copy of a zero-terminated text (null is copied as an empty text), as
// the containers keep their string keys and elements.
template <class C>
C* CopyText(const C* text) {
  const size_t len = text ? std::char_traits<C>::length(text) : 0;
  C* copy = Allocating([len] { return new C[len + 1]; });
  if (len) std::char_traits<C>::copy(copy, text, len);
  copy[len] = C(0);
  return copy;
}

// The state the two string enumerators share, held as a member of each: a
// text buffer they own, an array of items pointing into it, the item count,
// the position (the index of the next item) and an owner they keep alive.
// Field order is fixed. Without items there is no buffer and no array.
template <class C>
struct StringItems {
  C* m_pBuffer = nullptr;
  C** m_ppItems = nullptr;
  ULONG m_nItems = 0;
  ULONG m_nPosition = 0;
  IZRUnknown* m_pOwner = nullptr;
};

}  // namespace zr

// The two string enumerators. Both are defined in the library, for the
// character types below. Next delivers items from the position on while
// fewer than `count` were delivered and items remain (a null `items` array
// is taken as room for nothing); Skip(n) moves the position by n without a
// bound check and answers 1 (the 32-bit position saturates instead of
// wrapping back to the start, so a position past the end delivers nothing);
// Reset goes back to the first item. An `owner` given at construction (may
// be null) is kept alive with one reference until the enumerator is
// destroyed.

// Enumerates a copy of a list of zero-terminated strings ended by an empty
// string ("one\0two\0\0"). Items point into the enumerator's copy. An empty
// list (or a null or empty source) holds no buffer and no array.
template <class C>
class _CZeroDelimitedStringsEnum : public CZRUnknownImpl<CTEnum<const C*>> {
 public:
  // Copies the strings of `source` up to the first empty one.
  _CZeroDelimitedStringsEnum(const C* source, IZRUnknown* owner);
  ~_CZeroDelimitedStringsEnum() override;
  _CZeroDelimitedStringsEnum(const _CZeroDelimitedStringsEnum&) = delete;
  _CZeroDelimitedStringsEnum& operator=(const _CZeroDelimitedStringsEnum&) = delete;

  int Next(ULONG count, const C** items, ULONG* fetched) override;
  int Skip(ULONG count) override;
  void Reset() override;

  ULONG GetItemCount() const { return m_items.m_nItems; }

 protected:
  zr::StringItems<C> m_items;
};

// Enumerates the pieces of a copy of a text cut at every character of a
// separator set; empty pieces are dropped, so runs of separators count as one
// and leading or trailing separators give nothing (the tokens the run-time's
// wcstok would give). A null text gives no pieces; a null or empty separator
// set leaves a non-empty text whole. When there are no pieces the enumerator
// holds no buffer and no array.
template <class C>
class _CCharSeparatedStringsEnum : public CZRUnknownImpl<CTEnum<const C*>> {
 public:
  _CCharSeparatedStringsEnum(const C* text, const C* separators, IZRUnknown* owner);
  ~_CCharSeparatedStringsEnum() override;
  _CCharSeparatedStringsEnum(const _CCharSeparatedStringsEnum&) = delete;
  _CCharSeparatedStringsEnum& operator=(const _CCharSeparatedStringsEnum&) = delete;

  int Next(ULONG count, const C** items, ULONG* fetched) override;
  int Skip(ULONG count) override;
  void Reset() override;

  ULONG GetItemCount() const { return m_items.m_nItems; }

 protected:
  zr::StringItems<C> m_items;
};

// The instances other modules use live in the library.
extern template class ZR_API CTEnum<const char*>;
extern template class ZR_API CTEnum<const WCHAR*>;
extern template class ZR_API CTEnum<IZRUnknown*>;
extern template class ZR_API CZRUnknownImpl<CTEnum<const char*>>;
extern template class ZR_API CZRUnknownImpl<CTEnum<const WCHAR*>>;
extern template class ZR_API CZRUnknownImpl<CTEnum<IZRUnknown*>>;
extern template class ZR_API _CZeroDelimitedStringsEnum<char>;
extern template class ZR_API _CCharSeparatedStringsEnum<WCHAR>;
