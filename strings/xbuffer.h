// strings/xbuffer.h - the copy-on-write buffer shared by CXString (Unit =
// char) and CXStringW (Unit = WCHAR).
//
// A string object holds one pointer, to the characters of a buffer that is a
// single block from the global operator new:
//
//   [XStringHeader: refs, length, allocSize][Unit x capacity]
//                                           ^ the string's pointer
//
// Every function here takes the string's pointer by reference and keeps the
// class invariants:
//   - the pointer is never null; an empty string may point at the class's
//     shared empty buffer (a constant block, never counted, written or freed);
//   - every buffer holds a zero unit within its capacity (the length of a
//     string is the position of its first zero unit);
//   - refs >= 1 for a buffer shared by refs strings, -1 for a buffer locked
//     by GetBuffer (exactly one owner, who may write through the pointer);
//   - the header's length field is the length (the position of the first
//     zero unit) whenever the buffer is not locked: every operation here that
//     sets the content stores it, and unlocking finds it from the terminator,
//     since the lock's owner may have written anything. Searches read it
//     (KnownLength) to scan with bounded, vectorised routines.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>

#include "zr/zrtypes.h"

namespace zr {

// The three signed 32-bit fields in front of the characters. Their order and
// width are part of the strings' binary layout.
struct XStringHeader {
  std::int32_t refs;       // sharing strings; -1 = locked (and for the empty buffer)
  std::int32_t length;     // exact while not locked (see above)
  std::int32_t allocSize;  // bytes of the character area
};
static_assert(sizeof(XStringHeader) == 12);

// The shared empty buffer: header {-1, 0, 0} and one zero unit.
template <class Unit>
struct XStringEmptyBlock {
  XStringHeader header;
  Unit zero;
};

extern constinit const XStringEmptyBlock<char> g_emptyStringA;
extern constinit const XStringEmptyBlock<WCHAR> g_emptyStringW;

// Buffer operations of one width. `n` arguments are counts of units; `text`
// arguments may point into the string's own buffer.
//
// The `length` header field: the library stores the string's length in units
// whenever an operation here sets the content, and Unlock stores what the
// lock's owner left. Writes through a GetBuffer pointer do not update it
// until then, so it is read only for buffers that are not locked.
template <class Unit>
class XBuffer {
 public:
  static Unit* Empty() {
    const XStringEmptyBlock<Unit>& block = EmptyBlock();
    return const_cast<Unit*>(&block.zero);
  }
  static bool IsEmptyBuffer(const Unit* p) { return p == &EmptyBlock().zero; }

  static XStringHeader* Header(const Unit* p) {
    assert(p != nullptr);
    return reinterpret_cast<XStringHeader*>(
        const_cast<char*>(reinterpret_cast<const char*>(p) - sizeof(XStringHeader)));
  }
  // Capacity in units (terminator included).
  static std::size_t Capacity(const Unit* p) {
    return static_cast<std::size_t>(Header(p)->allocSize) / sizeof(Unit);
  }
  static std::size_t Length(const Unit* p);
  // The length from the header where it is exact (not locked), else from the
  // terminator (a locked buffer, or the empty one).
  static std::size_t KnownLength(const Unit* p) {
    const XStringHeader* header = Header(p);
    if (header->refs < 1) return Length(p);
    assert(static_cast<std::size_t>(header->length) == Length(p) && "a stale length field");
    return static_cast<std::size_t>(header->length);
  }

  // A fresh buffer of n >= 1 units: zero-filled, refs 1, length 0. Throws
  // CXBadAlloc when the allocation fails or n units do not fit the header's
  // 32-bit size.
  static Unit* Allocate(std::size_t n);

  // Drops the string's claim on its buffer (a locked count first becomes 1)
  // and points it at the empty buffer. Inline: every destructor runs it.
  static void Release(Unit*& p) {
    if (!IsEmptyBuffer(p)) {
      XStringHeader* header = Header(p);
      assert(header->refs != 0 && "a freed buffer");
      if (header->refs < 0) header->refs = 1;
      if (--header->refs == 0) Free(header);
    }
    p = Empty();
  }

  // Copy construction: shares an unlocked buffer, copies a locked one.
  // `p` is uninitialised on entry. Inline: copying is the strings' hot path.
  static void InitCopy(Unit*& p, Unit* src) {
    XStringHeader* header = Header(src);
    assert(header->refs != 0 && "a freed buffer");
    if (header->refs >= 0) {
      ++header->refs;
      p = src;
      return;
    }
    InitCopyLocked(p, src);
  }
  // Assignment from another string's pointer.
  static void Assign(Unit*& p, Unit* src);
  // AssignCopy: `p` receives n units of `text` in a fresh buffer of n +
  // kCopyExtra units, also when n is 0; nothing happens when `text` is the
  // string's own pointer.
  static void AssignCopy(Unit*& p, const Unit* text, std::size_t n);
  // The units a text copy allocates beyond the text: the terminator, and in
  // the wide class one spare unit more.
  static constexpr std::size_t kCopyExtra = sizeof(Unit) == 1 ? 1 : 2;

  // ReallocBuffer: makes the buffer writable with at least n units. A sole
  // owner (or a locked buffer) that is large enough stays; otherwise a fresh
  // buffer of exactly n units keeps the first min(n - 1, length) units, so it
  // stays terminated (a literal reading of the contract keeps n units and
  // leaves such a buffer unterminated). n == 0 asks for nothing writable: a
  // shared buffer is released instead (the literal reading allocates a
  // buffer without room for a terminator).
  static void Realloc(Unit*& p, std::size_t n);
  // AllocBuffer: a fresh buffer of n units replaces the current one (n == 0:
  // the empty buffer, by the same deviation as Realloc).
  static void Reset(Unit*& p, std::size_t n);

  // GetBuffer / ReleaseBuffer. Lock always returns a writable, locked buffer
  // with room for max(n, 0) units and a terminator. Unlock only unlocks a
  // locked buffer: a stray call on an unlocked or empty buffer does nothing
  // (the literal reading sets any count to 1, breaking a shared one).
  static Unit* Lock(Unit*& p, int n);
  // The same with room for `room` units, terminator included (room >= 1).
  static Unit* LockRoom(Unit*& p, std::size_t room);
  static void Unlock(Unit* p);

  // Replaces units [start, end) of the content with m units of `text` (which
  // may point into the buffer). Works in place when the buffer is not shared
  // and large enough; otherwise builds a fresh buffer of exactly the result's
  // length + 1 units (the empty buffer for an empty result).
  static void Splice(Unit*& p, std::size_t start, std::size_t end, const Unit* text,
                     std::size_t m);
  // Keeps only units [start, end) of the content, by the same rules.
  static void Keep(Unit*& p, std::size_t start, std::size_t end);

 private:
  static const XStringEmptyBlock<Unit>& EmptyBlock();
  static void Free(XStringHeader* header);
  // InitCopy of the empty buffer or a locked one: a text copy, except that
  // an empty text leaves the copy on the empty buffer.
  static void InitCopyLocked(Unit*& p, Unit* src);
  static bool PointsInto(const Unit* p, const Unit* text) {
    const Unit* first = p;
    const Unit* last = p + Capacity(p);
    // Compared as addresses: `text` is usually in an unrelated block.
    auto t = reinterpret_cast<std::uintptr_t>(text);
    return t >= reinterpret_cast<std::uintptr_t>(first) &&
           t < reinterpret_cast<std::uintptr_t>(last);
  }
  static void SetLength(Unit* p, std::size_t n) {
    if (!IsEmptyBuffer(p)) Header(p)->length = static_cast<std::int32_t>(n);
  }
};

template <>
inline const XStringEmptyBlock<char>& XBuffer<char>::EmptyBlock() {
  return g_emptyStringA;
}
template <>
inline const XStringEmptyBlock<WCHAR>& XBuffer<WCHAR>::EmptyBlock() {
  return g_emptyStringW;
}

extern template class XBuffer<char>;
extern template class XBuffer<WCHAR>;

using XBufferA = XBuffer<char>;
using XBufferW = XBuffer<WCHAR>;

}  // namespace zr
