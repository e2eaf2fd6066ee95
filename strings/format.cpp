// strings/format.cpp - CXString::Format / CXStringW::Format and their size
// estimate FormatV.
//
// Format estimates an upper bound E of the result from the format and the
// arguments (FormatV), makes the buffer writable with room for E + 1 units,
// locks it, prints once into it with the platform's formatter and unlocks
// it. The estimate follows fixed rules that the library's other modules rely
// on (see Estimate below); the formatter never writes past the buffer, and
// when the estimate was too small (a negative '*' width, a long %f, a 64-bit
// size, text of the other width that grows in conversion) the buffer is
// enlarged and the text printed again.
#include <cassert>
#include <climits>
#include <cstdint>
#include <new>

#include "pal/format.h"
#include "pal/mbcs.h"
#include "pal/wstr.h"
#include "zr/exception.h"
#include "zr/xstring.h"

namespace zr {
namespace {

using zrpal::FormatArg;

// The arguments of a format, read in the order and with the types with
// which the formatter will read them.
//
// The estimate's rules take "the next argument" for a '*' or a text, and
// pass no argument for conversions they do not know (%I64d, %lld, %E, ...).
// Read literally, a text after such a conversion would be taken from the
// wrong argument and its length read through an integer. Instead the
// estimate asks for the argument at a position of the format (the '*' or
// the type character), and gets it only when the formatter reads an
// argument of that kind at that very position; everything the formatter
// reads before it is skipped with its true type. For every format whose
// arguments the rules read correctly, this is the same argument.
//
// The cursor also notes whether any text argument points into a given
// range (the string's own buffer).
template <class Char>
class ArgumentCursor {
 public:
  // Text arguments are checked against the addresses [ownFirst, ownLast).
  ArgumentCursor(const Char* format, va_list args, std::uintptr_t ownFirst = 0, std::uintptr_t ownLast = 0)
      : scan_(format), args_(args), ownFirst_(ownFirst), ownLast_(ownLast) {}

  // The int the formatter reads at `at` (a '*'), if it reads one there.
  bool IntAt(const Char* at, int& value) {
    if (!Seek(at) || slots_[next_].Kind != FormatArg::Int) return false;
    ++next_;
    value = args_.Int();
    return true;
  }

  // The text the formatter reads at `at` (a type character), if it reads a
  // text of that width there.
  bool TextAt(const Char* at, FormatArg kind, const void*& text) {
    if (!Seek(at) || slots_[next_].Kind != kind) return false;
    ++next_;
    text = Note(args_.Pointer());
    return true;
  }

  // Reads the remaining arguments. True when any text argument pointed into
  // the range given at construction.
  bool Finish() {
    while (Load())
      while (next_ < count_) Note(args_.Skip(slots_[next_++].Kind));
    return pointsIntoOwn_;
  }

 private:
  struct Slot {
    const Char* At;
    FormatArg Kind;
  };

  // Skips the arguments read before `at`; true when the next one is read
  // exactly there.
  bool Seek(const Char* at) {
    for (;;) {
      if (next_ == count_ && !Load()) return false;
      if (slots_[next_].At >= at) return slots_[next_].At == at;
      Note(args_.Skip(slots_[next_++].Kind));
    }
  }

  // Loads the slots of the next conversion that reads arguments.
  bool Load() {
    if (next_ < count_) return true;
    next_ = count_ = 0;
    if (!scan_) return false;
    while (*scan_ != 0) {
      if (*scan_++ != '%') continue;
      zrpal::FormatConversion<Char> conversion;
      scan_ = zrpal::ParseConversion(scan_, conversion);
      if (conversion.WidthAt) slots_[count_++] = {conversion.WidthAt, FormatArg::Int};
      if (conversion.PrecisionAt) slots_[count_++] = {conversion.PrecisionAt, FormatArg::Int};
      if (conversion.Value != FormatArg::None)
        slots_[count_++] = {conversion.TypeAt, conversion.Value};
      if (count_ > 0) return true;
    }
    scan_ = nullptr;
    return false;
  }

  const void* Note(const void* pointer) {
    const auto at = reinterpret_cast<std::uintptr_t>(pointer);
    if (pointer && at >= ownFirst_ && at < ownLast_) pointsIntoOwn_ = true;
    return pointer;
  }

  const Char* scan_;  // where the next conversion is searched; null at the end
  zrpal::FormatArgs args_;
  Slot slots_[3];     // width, precision, value; at most three per conversion
  unsigned count_ = 0;
  unsigned next_ = 0;  // invariant: next_ <= count_ <= 3
  std::uintptr_t ownFirst_;
  std::uintptr_t ownLast_;
  bool pointsIntoOwn_ = false;
};

template <class Char>
bool IsDigit(Char c) {
  return c >= '0' && c <= '9';
}

// atoi / _wtoi: leading white space, a sign, digits; saturating.
template <class Char>
long long Atoi(const Char* p) {
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  long long v = 0;
  for (; IsDigit(*p); ++p) v = v < INT_MAX ? v * 10 + (*p - '0') : v;
  v = negative ? -v : v;
  return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : v;
}

template <class Char>
const Char* SkipDigits(const Char* p) {
  while (IsDigit(*p)) ++p;
  return p;
}

long long TextLength(const char* text) { return static_cast<long long>(zrpal::_mbslen(reinterpret_cast<const unsigned char*>(text))); }
long long TextLength(const WCHAR* text) { return static_cast<long long>(zrpal::wcslen(text)); }

// The length L of a text item: its characters, at least 1. A null text
// prints "(null)"; a text the formatter does not read there counts 1.
template <class Char>
long long TextItemLength(ArgumentCursor<Char>& cursor, const Char* at, bool wide) {
  const void* text = nullptr;
  if (!cursor.TextAt(at, wide ? FormatArg::WideText : FormatArg::NarrowText, text)) return 1;
  if (!text) return 6;
  const long long n = wide ? TextLength(static_cast<const WCHAR*>(text)) : TextLength(static_cast<const char*>(text));
  return n < 1 ? 1 : n;
}

long long Max(long long a, long long b) { return a > b ? a : b; }

// c, C, s, S: max(width, min(L, precision)); a precision of 0 does not limit.
long long TextItem(long long width, long long length, long long precision) {
  return Max(width, precision == 0 || length < precision ? length : precision);
}

constexpr long long kIntegerItem = 32;
constexpr long long kFloatItem = 128;
constexpr long long kCharItem = 2;

// The estimate E, by the library's fixed rules. In units of the class.
template <class Char>
long long Estimate(const Char* format, ArgumentCursor<Char>& cursor) {
  constexpr bool kWideClass = sizeof(Char) == sizeof(WCHAR);
  long long e = 0;
  if (!format) return 0;
  const Char* p = format;
  while (*p != 0) {
    if (*p != '%') {
      ++e;
      ++p;
      continue;
    }
    ++p;
    if (*p == '%') {
      ++e;
      ++p;
      continue;
    }
    // a. Flags; '#' adds 2, '*' takes the width from the arguments.
    long long width = 0;
    for (;; ++p) {
      if (*p == '#') {
        e += 2;
      } else if (*p == '*') {
        int value = 0;
        width = cursor.IntAt(p, value) ? value : 0;
      } else if (*p != ' ' && *p != '+' && *p != '-' && *p != '0') {
        break;
      }
    }
    // b. Width, unless a non-zero one came from '*'.
    if (width == 0) {
      width = Atoi(p);
      p = SkipDigits(p);
    }
    // c. Precision; 0 means none.
    long long precision = 0;
    if (*p == '.') {
      ++p;
      if (*p == '*') {
        int value = 0;
        precision = cursor.IntAt(p, value) ? value : 0;
        ++p;
      } else {
        precision = Atoi(p);
        p = SkipDigits(p);
      }
    }
    // d. One size character at most. The estimate's rules read F and N as
    // the old far and near prefixes, where the formatter reads F as the
    // upper-case %f: the estimate may then come out too small (the buffer
    // is enlarged), and the cursor reads only arguments the formatter reads
    // at the same place.
    bool narrow = false, wide = false;
    switch (*p) {
      case 'F':
      case 'L':
      case 'N':
        ++p;
        break;
      case 'h':
        narrow = true;
        ++p;
        break;
      case 'l':
        wide = true;
        ++p;
        break;
      default:
        break;
    }
    // e, f. The type.
    const Char* at = p;
    const Char type = *p;
    if (type == 0) break;
    ++p;
    switch (type) {
      case 'c':
      case 'C':
        e += TextItem(width, kCharItem, precision);
        break;
      case 's':
      case 'S': {
        const bool wideText = wide || (!narrow && ((type == 's') == kWideClass));
        e += TextItem(width, TextItemLength(cursor, at, wideText), precision);
        break;
      }
      case 'd':
      case 'i':
      case 'o':
      case 'u':
      case 'x':
      case 'X':
      case 'p':
        e += Max(kIntegerItem, width + precision);
        break;
      case 'e':
      case 'f':
      case 'g':
      case 'G':
        e += Max(kFloatItem, width + precision);
        break;
      default:  // n, and types the estimate does not know
        break;
    }
  }
  return e;
}

int ClampToInt(long long v) { return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v); }

size_t Print(char* out, size_t capacity, const char* format, va_list args) {
  return zrpal::FormatBufferA(out, capacity, format, args);
}
size_t Print(WCHAR* out, size_t capacity, const WCHAR* format, va_list args) {
  return zrpal::FormatBufferW(out, capacity, format, args);
}

// The protected members Format works through, named from inside the class.
template <class String, class Char>
struct FormatAccess {
  Char* String::*Data;
  int (String::*GetAllocSize)() const;
};

// The most units a buffer can hold: its size in bytes is a signed 32-bit field.
template <class Char>
constexpr size_t kMaxUnits = static_cast<size_t>(INT_MAX) / sizeof(Char);

template <class String, class Char>
void FormatString(String& s, const FormatAccess<String, Char>& access, const Char* format, va_list args) {
  // The format and the text arguments may point into the string's own
  // buffer, which printing overwrites (or replaces). The shared empty buffer
  // (allocated size 0) is never written or freed and needs no check.
  // Compared as addresses: they usually lie in unrelated blocks.
  const auto ownFirst = reinterpret_cast<std::uintptr_t>(s.*access.Data);
  const auto ownBytes = static_cast<std::uintptr_t>((s.*access.GetAllocSize)());
  const auto formatAt = reinterpret_cast<std::uintptr_t>(format);
  const bool formatInside = format && formatAt >= ownFirst && formatAt - ownFirst < ownBytes;
  ArgumentCursor<Char> cursor(format, args, ownFirst, ownFirst + ownBytes);
  const long long estimate = Estimate(format, cursor);
  if (ownBytes > 0 && (formatInside || cursor.Finish())) {
    // Print into a fresh string, and let the old buffer go only afterwards.
    String fresh;
    FormatString(fresh, access, format, args);
    s = fresh;
    return;
  }

  size_t needed = estimate > 0 ? static_cast<size_t>(estimate) : 0;
  if (needed + 1 > kMaxUnits<Char>) {
    // More than a buffer can hold (a huge width or precision): ask for what
    // the text really needs instead.
    needed = Print(nullptr, 0, format, args);
    if (needed == zrpal::FORMAT_FAILED || needed + 1 > kMaxUnits<Char>) throw CXBadAlloc();
  }
  for (;;) {
    // Locking makes the buffer writable with room for needed + 1 units.
    __CXBuff<String, Char*> lock(s, static_cast<int>(needed));
    // The buffer may be larger than asked for: use all of it.
    const size_t capacity = static_cast<size_t>((s.*access.GetAllocSize)()) / sizeof(Char);
    assert(capacity >= needed + 1);
    const size_t length = Print(lock.m_p, capacity, format, args);
    if (length == zrpal::FORMAT_FAILED) throw CXBadAlloc();
    if (length < capacity) return;
    // The estimate was too small: enlarge and print again.
    if (length + 1 > kMaxUnits<Char>) throw CXBadAlloc();
    needed = length;
  }
}

}  // namespace
}  // namespace zr

int CXString::FormatV(const char* format, va_list args) {
  zr::ArgumentCursor<char> cursor(format, args);
  return zr::ClampToInt(zr::Estimate(format, cursor));
}

void CXString::Format(const char* format, ...) {
  static constexpr zr::FormatAccess<CXString, char> kAccess{&CXString::m_pchData, &CXString::GetAllocSize};
  va_list args;
  va_start(args, format);
  try {
    zr::FormatString(*this, kAccess, format, args);
  } catch (...) {
    va_end(args);
    throw;
  }
  va_end(args);
}

int CXStringW::FormatV(const WCHAR* format, va_list args) {
  zr::ArgumentCursor<WCHAR> cursor(format, args);
  return zr::ClampToInt(zr::Estimate(format, cursor));
}

void CXStringW::Format(const WCHAR* format, ...) {
  static constexpr zr::FormatAccess<CXStringW, WCHAR> kAccess{&CXStringW::m_pchData, &CXStringW::GetAllocSize};
  va_list args;
  va_start(args, format);
  try {
    zr::FormatString(*this, kAccess, format, args);
  } catch (...) {
    va_end(args);
    throw;
  }
  va_end(args);
}
