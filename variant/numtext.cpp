// variant/numtext.cpp - locale-independent reading and printing of numbers
// with the C run-time's scanf / printf rules.
#include "variant/numtext.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>

#include "pal/format.h"
#include "pal/mbcs.h"
#include "pal/wstr.h"
#include "zr/exception.h"

namespace zr {

namespace {

// White space as scanf skips it: the C locale's isspace for 8-bit text and
// the run-time's iswspace for wide text.
bool IsScanSpace(char c) { return zrpal::isspace(static_cast<unsigned char>(c)) != 0; }
bool IsScanSpace(WCHAR c) { return zrpal::iswspace(c) != 0; }

template <class C>
bool IsDigit(C c) {
  return c >= C('0') && c <= C('9');
}

template <class C>
bool IsHexDigit(C c) {
  return IsDigit(c) || (c >= C('a') && c <= C('f')) || (c >= C('A') && c <= C('F'));
}

template <class C>
C Lower(C c) {
  return c >= C('A') && c <= C('Z') ? C(c - C('A') + C('a')) : c;
}

// Whether text starts with the ASCII word (lower case), ignoring case.
template <class C>
bool StartsWithWord(const C* text, const char* word) {
  for (; *word; ++text, ++word)
    if (Lower(*text) != C(*word)) return false;
  return true;
}

template <class C>
const C* SkipSpace(const C* p) {
  while (*p && IsScanSpace(*p)) ++p;
  return p;
}

template <class C>
bool ScanInt32Impl(const C* text, std::uint32_t* out) {
  if (!text) return false;
  const C* p = SkipSpace(text);
  bool negative = false;
  if (*p == C('+') || *p == C('-')) negative = *p++ == C('-');
  if (!IsDigit(*p)) return false;
  std::uint32_t value = 0;
  // Unsigned arithmetic: the value wraps modulo 2^32, keeping the low bits.
  for (; IsDigit(*p); ++p) value = value * 10u + static_cast<std::uint32_t>(*p - C('0'));
  *out = negative ? 0u - value : value;
  return true;
}

// The subject sequence of a floating-point number, sign removed, as ASCII
// text that std::from_chars reads.
enum class FloatKind { kNone, kDecimal, kHex, kInfinity, kNan };

struct FloatSubject {
  FloatKind kind = FloatKind::kNone;
  bool negative = false;
  // Decimal or hexadecimal digits with point and exponent, without "0x".
  std::string digits;
  // A rough decimal (or, for hex, binary) exponent of the leading non-zero
  // digit, saturated; positive means large. Decides overflow against
  // underflow when from_chars reports the value out of range.
  long magnitude = 0;
};

// Appends the exponent digits at p (after 'e' or 'p') when they form an
// exponent; returns the position after it and adds its value to *exponent.
template <class C>
const C* TakeExponent(const C* p, std::string& digits, long* exponent) {
  const C* q = p + 1;
  bool negative = false;
  if (*q == C('+') || *q == C('-')) negative = *q++ == C('-');
  if (!IsDigit(*q)) return p;  // "1e" or "1e+": the exponent is not part of the number
  digits += static_cast<char>(*p);
  if (negative) digits += '-';
  long value = 0;
  constexpr long kCap = 1L << 40;  // far beyond any meaningful exponent
  for (; IsDigit(*q); ++q) {
    digits += static_cast<char>(*q);
    if (value < kCap) value = value * 10 + (*q - C('0'));
  }
  *exponent += negative ? -value : value;
  return q;
}

template <class C>
FloatSubject ScanFloatSubject(const C* text) {
  FloatSubject s;
  const C* p = SkipSpace(text);
  if (*p == C('+') || *p == C('-')) s.negative = *p++ == C('-');

  if (StartsWithWord(p, "inf")) {
    s.kind = FloatKind::kInfinity;
    return s;
  }
  if (StartsWithWord(p, "nan")) {
    s.kind = FloatKind::kNan;
    return s;
  }

  const bool hex = *p == C('0') && (p[1] == C('x') || p[1] == C('X')) &&
                   (IsHexDigit(p[2]) || (p[2] == C('.') && IsHexDigit(p[3])));
  if (hex) p += 2;
  auto isDigit = [hex](C c) { return hex ? IsHexDigit(c) : IsDigit(c); };
  // Digits before the first non-zero one do not count toward the magnitude.
  long leadingPosition = 0;  // position of the first non-zero digit relative to the point
  bool seenNonZero = false;
  bool any = false;
  for (; isDigit(*p); ++p) {
    any = true;
    s.digits += static_cast<char>(*p);
    if (*p != C('0')) seenNonZero = true;
    if (seenNonZero) ++leadingPosition;
  }
  if (*p == C('.') && (any || isDigit(p[1]))) {
    s.digits += '.';
    for (++p; isDigit(*p); ++p) {
      any = true;
      s.digits += static_cast<char>(*p);
      if (!seenNonZero) {
        if (*p != C('0'))
          seenNonZero = true;
        else
          --leadingPosition;
      }
    }
  }
  if (!any) return s;
  long exponent = 0;
  if (hex ? (*p == C('p') || *p == C('P')) : (*p == C('e') || *p == C('E')))
    p = TakeExponent(p, s.digits, &exponent);
  s.kind = hex ? FloatKind::kHex : FloatKind::kDecimal;
  // Hex digits count four bits each; the exponent is binary.
  s.magnitude = exponent + (hex ? 4 * leadingPosition : leadingPosition);
  return s;
}

template <class T, class C>
bool ScanFloating(const C* text, T* out) {
  if (!text) return false;
  FloatSubject s = ScanFloatSubject(text);
  T value;
  switch (s.kind) {
    case FloatKind::kNone:
      return false;
    case FloatKind::kInfinity:
      value = std::numeric_limits<T>::infinity();
      break;
    case FloatKind::kNan:
      value = std::numeric_limits<T>::quiet_NaN();
      break;
    case FloatKind::kDecimal:
    case FloatKind::kHex: {
      const char* first = s.digits.data();
      const char* last = first + s.digits.size();
      auto format = s.kind == FloatKind::kHex ? std::chars_format::hex : std::chars_format::general;
      auto [end, ec] = std::from_chars(first, last, value, format);
      if (ec == std::errc::result_out_of_range)
        value = s.magnitude > 0 ? std::numeric_limits<T>::infinity() : T(0);
      else if (ec != std::errc() || end != last)
        return false;  // cannot happen: the subject was checked above
      break;
    }
  }
  *out = s.negative ? -value : value;
  return true;
}

// The Windows run-time's spelling of NaNs, with their sign.
int PrintNan(double value, char (&out)[kNumberTextMax]) {
  const char* spelling = zrpal::fmt::NanSpelling(value);
  int n = 0;
  if (std::signbit(value)) out[n++] = '-';
  const std::size_t length = std::strlen(spelling);
  std::memcpy(out + n, spelling, length + 1);
  return n + static_cast<int>(length);
}

}  // namespace

bool ScanInt32(const char* text, std::uint32_t* out) { return ScanInt32Impl(text, out); }
bool ScanInt32(const WCHAR* text, std::uint32_t* out) { return ScanInt32Impl(text, out); }
// The digits are collected in a std::string: a text too long for memory
// fails as every allocation of the library does.
bool ScanDouble(const char* text, double* out) {
  return Allocating([&] { return ScanFloating(text, out); });
}
bool ScanDouble(const WCHAR* text, double* out) {
  return Allocating([&] { return ScanFloating(text, out); });
}
bool ScanFloat(const char* text, float* out) {
  return Allocating([&] { return ScanFloating(text, out); });
}
bool ScanFloat(const WCHAR* text, float* out) {
  return Allocating([&] { return ScanFloating(text, out); });
}

// Decimal digits written by hand: the integer std::to_chars is an inline
// template whose digit table would become an exported symbol of the library.
int PrintUnsigned(std::uint32_t value, char (&out)[kNumberTextMax]) {
  char digits[10];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value);
  for (int i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
  out[n] = 0;
  return n;
}

int PrintSigned(std::int32_t value, char (&out)[kNumberTextMax]) {
  if (value >= 0) return PrintUnsigned(static_cast<std::uint32_t>(value), out);
  out[0] = '-';
  char rest[kNumberTextMax];
  // The magnitude in unsigned arithmetic, which also holds INT32_MIN's.
  const int n = PrintUnsigned(0u - static_cast<std::uint32_t>(value), rest);
  std::memcpy(out + 1, rest, static_cast<std::size_t>(n) + 1);
  return n + 1;
}

int PrintGeneral(double value, char (&out)[kNumberTextMax]) {
  if (std::isnan(value)) return PrintNan(value, out);
  // to_chars with a precision is printf's "%.6g" in the C locale: six
  // significant digits, trailing zeros removed, exponent form below 1e-4
  // and from 1e6 on, with at least two exponent digits (as the current
  // Windows run-time prints them), "inf" and "-inf".
  auto [end, ec] = std::to_chars(out, out + kNumberTextMax - 1, value, std::chars_format::general, 6);
  *end = 0;
  return static_cast<int>(end - out);
}

}  // namespace zr
