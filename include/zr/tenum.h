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

#include <memory>
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

// The array walk shared by the two string enumerators: deliver items from
// the position on while fewer than `count` were delivered and the position is
// below the item count. A null `items` array is taken as room for nothing.
template <class C>
int NextStringItems(C* const* array, ULONG nItems, ULONG& pos, ULONG count, const C** items,
                    ULONG* fetched) {
  ULONG delivered = 0;
  if (items) {
    while (delivered < count && pos < nItems) items[delivered++] = array[pos++];
  }
  if (fetched) *fetched = delivered;
  return delivered != 0 ? 1 : 0;
}

// Skip of the string enumerators: no bound check against the item count (a
// position past the end delivers nothing), but the 32-bit position saturates
// instead of wrapping back to the start.
inline void AdvancePosition(ULONG& pos, ULONG count) {
  const ULONG room = ~ULONG{0} - pos;
  pos = count > room ? ~ULONG{0} : pos + count;
}

}  // namespace zr

// What the two string enumerators share: a text buffer they own, an array of
// items pointing into it, and the walk over that array.
//
// Field order is fixed: text buffer, item array, item count, position,
// owner. An enumerator without items holds no buffer and no array.
template <class C>
class _CStringItemsEnum : public CZRUnknownImpl<CTEnum<const C*>> {
 public:
  ~_CStringItemsEnum() override;

  _CStringItemsEnum(const _CStringItemsEnum&) = delete;
  _CStringItemsEnum& operator=(const _CStringItemsEnum&) = delete;

  int Next(ULONG count, const C** items, ULONG* fetched) override;
  // position += count (see zr::AdvancePosition); always 1.
  int Skip(ULONG count) override;
  void Reset() override;

  ULONG GetItemCount() const { return m_nItems; }

 protected:
  _CStringItemsEnum() : m_pBuffer(nullptr), m_ppItems(nullptr), m_nItems(0), m_nPosition(0), m_pOwner(nullptr) {}

  // Takes the buffer and the item array (both null when there are no items)
  // and keeps `owner` (may be null) alive with one reference.
  void Adopt(std::unique_ptr<C[]> buffer, std::unique_ptr<C*[]> items, ULONG count, IZRUnknown* owner);

  C* m_pBuffer;
  C** m_ppItems;
  ULONG m_nItems;
  ULONG m_nPosition;
  IZRUnknown* m_pOwner;
};

// Enumerates a copy of a list of zero-terminated strings ended by an empty
// string ("one\0two\0\0"). Items point into the enumerator's copy. An empty
// list (or a null or empty source) holds no buffer and no array.
template <class C>
class _CZeroDelimitedStringsEnum : public _CStringItemsEnum<C> {
 public:
  // Copies the strings of `source` up to the first empty one. `owner`, when
  // non-null, is kept alive (one reference) until the enumerator is destroyed.
  _CZeroDelimitedStringsEnum(const C* source, IZRUnknown* owner);
};

// Enumerates the pieces of a copy of a text cut at every character of a
// separator set; empty pieces are dropped, so runs of separators count as one
// and leading or trailing separators give nothing (the tokens the run-time's
// wcstok would give). A null text gives no pieces; a null or empty separator
// set leaves a non-empty text whole. When there are no pieces the enumerator
// holds no buffer and no array.
template <class C>
class _CCharSeparatedStringsEnum : public _CStringItemsEnum<C> {
 public:
  _CCharSeparatedStringsEnum(const C* text, const C* separators, IZRUnknown* owner);
};

// ---------------------------------------------------------------------------
// Definitions.

template <class C>
_CStringItemsEnum<C>::~_CStringItemsEnum() {
  delete[] m_ppItems;
  delete[] m_pBuffer;
  if (m_pOwner) m_pOwner->Release();
}

template <class C>
void _CStringItemsEnum<C>::Adopt(std::unique_ptr<C[]> buffer, std::unique_ptr<C*[]> items,
                                 ULONG count, IZRUnknown* owner) {
  m_pBuffer = buffer.release();
  m_ppItems = items.release();
  m_nItems = count;
  m_pOwner = owner;
  if (m_pOwner) m_pOwner->AddRef();
}

template <class C>
int _CStringItemsEnum<C>::Next(ULONG count, const C** items, ULONG* fetched) {
  return zr::NextStringItems(m_ppItems, m_nItems, m_nPosition, count, items, fetched);
}

template <class C>
int _CStringItemsEnum<C>::Skip(ULONG count) {
  zr::AdvancePosition(m_nPosition, count);
  return 1;
}

template <class C>
void _CStringItemsEnum<C>::Reset() {
  m_nPosition = 0;
}

template <class C>
_CZeroDelimitedStringsEnum<C>::_CZeroDelimitedStringsEnum(const C* source, IZRUnknown* owner) {
  ULONG n = 0;
  size_t units = 0;  // every string with its terminator
  if (source) {
    for (const C* p = source; *p; ++n) {
      const size_t len = std::char_traits<C>::length(p);
      units += len + 1;
      p += len + 1;
    }
  }
  std::unique_ptr<C[]> buffer;
  std::unique_ptr<C*[]> array;
  if (n != 0) {
    // Both blocks are taken before either is kept, so a failed allocation
    // leaves nothing behind.
    buffer.reset(zr::Allocating([units] { return new C[units + 1]; }));
    array.reset(zr::Allocating([n] { return new C*[n]; }));
    std::char_traits<C>::copy(buffer.get(), source, units);
    buffer[units] = C(0);
    C* p = buffer.get();
    for (ULONG i = 0; i < n; ++i) {
      array[i] = p;
      p += std::char_traits<C>::length(p) + 1;
    }
  }
  this->Adopt(std::move(buffer), std::move(array), n, owner);
}

template <class C>
_CCharSeparatedStringsEnum<C>::_CCharSeparatedStringsEnum(const C* text, const C* separators,
                                                          IZRUnknown* owner) {
  using Traits = std::char_traits<C>;
  const size_t len = text ? Traits::length(text) : 0;
  const size_t nSeps = separators ? Traits::length(separators) : 0;
  auto isSeparator = [&](C c) { return nSeps != 0 && Traits::find(separators, nSeps, c) != nullptr; };

  ULONG n = 0;
  for (size_t i = 0; i < len; ++i)
    if (!isSeparator(text[i]) && (i == 0 || isSeparator(text[i - 1]))) ++n;

  std::unique_ptr<C[]> buffer;
  std::unique_ptr<C*[]> array;
  if (n != 0) {
    // The copy keeps room for one extra character beyond the terminator.
    buffer.reset(zr::Allocating([len] { return new C[len + 2]; }));
    array.reset(zr::Allocating([n] { return new C*[n]; }));
    Traits::copy(buffer.get(), text, len);
    buffer[len] = C(0);
    buffer[len + 1] = C(0);
    ULONG k = 0;
    for (size_t i = 0; i < len; ++i) {
      if (isSeparator(buffer[i])) {
        buffer[i] = C(0);
      } else if (i == 0 || buffer[i - 1] == C(0)) {
        // The previous unit was a separator (already cut) or this is the start.
        array[k++] = &buffer[i];
      }
    }
  }
  this->Adopt(std::move(buffer), std::move(array), n, owner);
}

// The instances other modules use live in the library.
extern template class ZR_API CTEnum<const char*>;
extern template class ZR_API CTEnum<const WCHAR*>;
extern template class ZR_API CTEnum<IZRUnknown*>;
extern template class ZR_API CZRUnknownImpl<CTEnum<const char*>>;
extern template class ZR_API CZRUnknownImpl<CTEnum<const WCHAR*>>;
extern template class ZR_API CZRUnknownImpl<CTEnum<IZRUnknown*>>;
extern template class ZR_API _CStringItemsEnum<char>;
extern template class ZR_API _CStringItemsEnum<WCHAR>;
extern template class ZR_API _CZeroDelimitedStringsEnum<char>;
extern template class ZR_API _CCharSeparatedStringsEnum<WCHAR>;
