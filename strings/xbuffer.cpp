// strings/xbuffer.cpp - the copy-on-write buffer of the two string classes.
#include "strings/xbuffer.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <string>

#include "strings/xtext.h"
#include "zr/exception.h"

namespace zr {

// Constant blocks: a stray write to the empty buffer faults instead of
// corrupting every empty string of the process.
constinit const XStringEmptyBlock<char> g_emptyStringA = {{-1, 0, 0}, 0};
constinit const XStringEmptyBlock<WCHAR> g_emptyStringW = {{-1, 0, 0}, 0};

static_assert(offsetof(XStringEmptyBlock<char>, zero) == sizeof(XStringHeader));
static_assert(offsetof(XStringEmptyBlock<WCHAR>, zero) == sizeof(XStringHeader));

namespace {

template <class Unit>
void CopyUnits(Unit* dest, const Unit* src, std::size_t n) {
  if (n) std::memcpy(dest, src, n * sizeof(Unit));
}

template <class Unit>
void MoveUnits(Unit* dest, const Unit* src, std::size_t n) {
  if (n) std::memmove(dest, src, n * sizeof(Unit));
}

// The units of text[0, n) before its first zero unit: a caller may pass a
// count that runs past the text's end (ConcatCopy and AssignCopy take any
// n), and the string then ends at that zero.
template <class Unit>
std::size_t UnitsBeforeZero(const Unit* text, std::size_t n) {
  if (n == 0) return 0;
  const Unit* zero = std::char_traits<Unit>::find(text, n, Unit(0));
  return zero ? static_cast<std::size_t>(zero - text) : n;
}

}  // namespace

template <class Unit>
std::size_t XBuffer<Unit>::Length(const Unit* p) {
  return xtext::Units(p);
}

template <class Unit>
Unit* XBuffer<Unit>::Allocate(std::size_t n) {
  assert(n >= 1);
  // The allocated size is a signed 32-bit byte count in the header.
  if (n > static_cast<std::size_t>(INT_MAX) / sizeof(Unit)) throw CXBadAlloc();
  const std::size_t bytes = n * sizeof(Unit);
  // Buffers come from the global operator new; its failure is reported as
  // the library's.
  void* block = Allocating([bytes] { return ::operator new(sizeof(XStringHeader) + bytes); });
  auto* header = static_cast<XStringHeader*>(block);
  header->refs = 1;
  header->length = 0;
  header->allocSize = static_cast<std::int32_t>(bytes);
  Unit* p = reinterpret_cast<Unit*>(header + 1);
  std::memset(static_cast<void*>(p), 0, bytes);
  return p;
}

template <class Unit>
void XBuffer<Unit>::Free(XStringHeader* header) {
  ::operator delete(static_cast<void*>(header));
}

template <class Unit>
void XBuffer<Unit>::InitCopyLocked(Unit*& p, Unit* src) {
  p = Empty();
  if (const std::size_t n = Length(src)) AssignCopy(p, src, n);
}

template <class Unit>
void XBuffer<Unit>::Assign(Unit*& p, Unit* src) {
  if (p == src) return;  // the same string, or two strings that share already
  if (IsEmptyBuffer(src)) {
    Release(p);
  } else if (Header(src)->refs < 1) {
    AssignCopy(p, src, Length(src));
  } else {
    Release(p);
    ++Header(src)->refs;
    p = src;
  }
}

template <class Unit>
void XBuffer<Unit>::AssignCopy(Unit*& p, const Unit* text, std::size_t n) {
  if (text == p) return;
  if (n > SIZE_MAX - kCopyExtra) throw CXBadAlloc();
  // The fresh buffer is filled before the old one goes, so `text` may point
  // into the old one.
  Unit* fresh = Allocate(n + kCopyExtra);
  CopyUnits(fresh, text, n);
  Header(fresh)->length = static_cast<std::int32_t>(UnitsBeforeZero(fresh, n));
  Release(p);
  p = fresh;
}

template <class Unit>
void XBuffer<Unit>::Realloc(Unit*& p, std::size_t n) {
  if (Header(p)->refs < 2 && n <= Capacity(p)) return;  // sole owner or locked
  if (n == 0) {
    Release(p);
    return;
  }
  Unit* fresh = Allocate(n);
  const std::size_t kept = std::min(n - 1, Length(p));
  CopyUnits(fresh, p, kept);
  Header(fresh)->length = static_cast<std::int32_t>(kept);
  Release(p);
  p = fresh;
}

template <class Unit>
void XBuffer<Unit>::Reset(Unit*& p, std::size_t n) {
  if (n == 0) {
    Release(p);
    return;
  }
  Unit* fresh = Allocate(n);
  Release(p);
  p = fresh;
}

template <class Unit>
Unit* XBuffer<Unit>::Lock(Unit*& p, int n) {
  return LockRoom(p, n < 0 ? 1 : static_cast<std::size_t>(n) + 1);
}

template <class Unit>
Unit* XBuffer<Unit>::LockRoom(Unit*& p, std::size_t room) {
  assert(room >= 1);
  Realloc(p, room);
  assert(!IsEmptyBuffer(p));
  Header(p)->refs = -1;
  return p;
}

template <class Unit>
void XBuffer<Unit>::Unlock(Unit* p) {
  if (!IsEmptyBuffer(p) && Header(p)->refs < 0) {
    SetLength(p, Length(p));
    Header(p)->refs = 1;
  }
}

template <class Unit>
void XBuffer<Unit>::Splice(Unit*& p, std::size_t start, std::size_t end, const Unit* text,
                           std::size_t m) {
  const std::size_t length = Length(p);
  assert(start <= end && end <= length);
  if (m == 0 && start == end) return;
  const std::size_t tail = length - end;
  const std::size_t result = start + m + tail;
  if (result > SIZE_MAX - 1) throw CXBadAlloc();
  // The units before and after the range hold no zero; the text may.
  const std::size_t inserted = UnitsBeforeZero(text, m);
  const std::size_t resultLength = inserted < m ? start + inserted : result;
  const bool aliased = m != 0 && PointsInto(p, text);
  if (!IsEmptyBuffer(p) && Header(p)->refs < 2 && result + 1 <= Capacity(p) && !aliased) {
    MoveUnits(p + start + m, p + end, tail);
    CopyUnits(p + start, text, m);
    p[result] = 0;
    SetLength(p, resultLength);
    return;
  }
  if (result == 0) {
    Release(p);
    return;
  }
  Unit* fresh = Allocate(result + 1);
  CopyUnits(fresh, p, start);
  CopyUnits(fresh + start, text, m);
  CopyUnits(fresh + start + m, p + end, tail);
  Header(fresh)->length = static_cast<std::int32_t>(resultLength);
  Release(p);  // only now: `text` may point into the old buffer
  p = fresh;
}

template <class Unit>
void XBuffer<Unit>::Keep(Unit*& p, std::size_t start, std::size_t end) {
  const std::size_t length = Length(p);
  assert(start <= end && end <= length);
  if (start == 0 && end == length) return;
  const std::size_t result = end - start;
  if (Header(p)->refs < 2) {  // never the empty buffer: its length is 0
    MoveUnits(p, p + start, result);
    p[result] = 0;
    SetLength(p, result);
    return;
  }
  if (result == 0) {
    Release(p);
    return;
  }
  Unit* fresh = Allocate(result + 1);
  CopyUnits(fresh, p + start, result);
  Header(fresh)->length = static_cast<std::int32_t>(result);
  Release(p);
  p = fresh;
}

template class XBuffer<char>;
template class XBuffer<WCHAR>;

}  // namespace zr
