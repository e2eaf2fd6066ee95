// variant/numtext.cpp - locale-independent reading and printing of numbers
// with the C run-time's scanf / printf rules.
#include "variant/numtext.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
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
  // Units of the text the subject took, white space and sign included (0
  // when there is no subject): where strtod stops.
  std::size_t length = 0;
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

// The end of "nan" followed by an optional "(n-char-sequence)": letters,
// digits and underscores; an unclosed parenthesis is not taken.
template <class C>
const C* SkipNanTail(const C* p) {
  if (*p != C('(')) return p;
  const C* q = p + 1;
  while (IsDigit(*q) || (Lower(*q) >= C('a') && Lower(*q) <= C('z')) || *q == C('_')) ++q;
  return *q == C(')') ? q + 1 : p;
}

template <class C>
FloatSubject ScanFloatSubject(const C* text) {
  FloatSubject s;
  const C* p = SkipSpace(text);
  if (*p == C('+') || *p == C('-')) s.negative = *p++ == C('-');

  if (StartsWithWord(p, "inf")) {
    s.kind = FloatKind::kInfinity;
    s.length = static_cast<std::size_t>((StartsWithWord(p, "infinity") ? p + 8 : p + 3) - text);
    return s;
  }
  if (StartsWithWord(p, "nan")) {
    s.kind = FloatKind::kNan;
    s.length = static_cast<std::size_t>(SkipNanTail(p + 3) - text);
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
  s.length = static_cast<std::size_t>(p - text);
  // Hex digits count four bits each; the exponent is binary.
  s.magnitude = exponent + (hex ? 4 * leadingPosition : leadingPosition);
  return s;
}

// The value of a subject; false when there is none.
template <class T>
bool ValueOf(const FloatSubject& s, T* out) {
  T value = 0;
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

template <class T, class C>
bool ScanFloating(const C* text, T* out) {
  return text && ValueOf(ScanFloatSubject(text), out);
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
  auto [end, ec] =
      std::to_chars(out, out + kNumberTextMax - 1, value, std::chars_format::general, 6);
  *end = 0;
  return static_cast<int>(end - out);
}

float NarrowToFloat(double d) {
  constexpr double kOverflow = 0x1.ffffffp127;  // halfway past FLT_MAX: rounds to infinity
  if (std::isnan(d)) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    return std::signbit(d) ? -nan : nan;
  }
  if (d >= kOverflow) return std::numeric_limits<float>::infinity();
  if (d <= -kOverflow) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(d);
}

// --- strtol / strtoul / strtod -------------------------------------------

namespace {

// The digit value of c in bases up to 16, or 16 for anything else.
int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const char lower = Lower(c);
  if (lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
  return 16;
}

// The shared part of strtol and strtoul: the magnitude (saturated at
// 2^32 - 1, with *overflow set beyond it), the sign, and the end.
struct IntegerText {
  std::uint32_t magnitude = 0;
  bool negative = false;
  bool overflow = false;
  const char* end = nullptr;  // null: nothing converted
};

IntegerText ScanIntegerText(const char* text, int base) {
  IntegerText r;
  if (!text || (base != 10 && base != 16)) return r;
  const char* p = SkipSpace(text);
  if (*p == '+' || *p == '-') r.negative = *p++ == '-';
  // The prefix counts only with a digit after it: "0x" alone converts
  // nothing, as the Windows run-time has it.
  if (base == 16 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) p += 2;
  const auto b = static_cast<std::uint32_t>(base);
  const char* first = p;
  for (int d; (d = DigitValue(*p)) < base; ++p) {
    const auto digit = static_cast<std::uint32_t>(d);
    if (r.magnitude > (UINT32_MAX - digit) / b)
      r.overflow = true;  // later digits are still consumed
    else if (!r.overflow)
      r.magnitude = r.magnitude * b + digit;
  }
  if (p != first) r.end = p;
  return r;
}

}  // namespace

std::int32_t StrToL32(const char* text, const char** end, int base) {
  const IntegerText r = ScanIntegerText(text, base);
  if (end) *end = r.end ? r.end : text;
  if (!r.end) return 0;
  constexpr std::uint32_t kMaxPositive = INT32_MAX;
  constexpr std::uint32_t kMaxNegative = 0x80000000u;  // the magnitude of INT32_MIN
  if (r.negative) {
    if (r.overflow || r.magnitude > kMaxNegative) return INT32_MIN;
    return static_cast<std::int32_t>(0u - r.magnitude);
  }
  if (r.overflow || r.magnitude > kMaxPositive) return INT32_MAX;
  return static_cast<std::int32_t>(r.magnitude);
}

std::uint32_t StrToUL32(const char* text, const char** end, int base) {
  const IntegerText r = ScanIntegerText(text, base);
  if (end) *end = r.end ? r.end : text;
  if (!r.end) return 0;
  if (r.overflow) return UINT32_MAX;
  return r.negative ? 0u - r.magnitude : r.magnitude;
}

double StrToD(const char* text, const char** end) {
  double value = 0;
  FloatSubject s;
  if (text) s = ScanFloatSubject(text);
  if (!ValueOf(s, &value)) {
    if (end) *end = text;
    return 0;
  }
  if (end) *end = text + s.length;
  return value;
}

// --- _gcvt with 14 significant digits ------------------------------------
//
// The Windows run-time's _gcvt(value, 14, buffer), which the parameter
// texts write reals with. With m the decimal exponent of the value rounded
// to 14 significant digits (1.5 has m = 0, 0.01 has m = -2):
//
//   value                      form                                 text
//   m < -1 or m > 13           exponent: 1 digit, ".", 13 digits,   1.e-002, 1.e+020,
//                              "e", sign, at least 3 digits         1.2345678901235e+014
//   -1 <= m <= 13              fixed: 13 - m decimals               1.5, 0.1, 100.,
//                                                                   0.33333333333333
//   zero                       "0." ("-0." with the sign bit)       0.
//   infinities                 "inf", "-inf"
//   NaNs                       the run-time's spellings             nan, -nan(ind)
//
// Then the zeros before the exponent or the end are removed; the decimal
// point always stays. Rounding is half away from zero on the exact binary
// value (the run-time's own digit generation), not printf's half-even:
// 123456789012345 gives 1.2345678901235e+014.

namespace {

constexpr int kGcvtDigits = 14;

// The first 14 significant digits of a finite a > 0, rounded half away from
// zero, and the decimal exponent of the first one.
void RoundedDigits(double a, char (&digits)[kGcvtDigits], int* exponent) {
  // 15 digits, rounded half-even by to_chars: rounding them once more
  // gives the right 14 unless the 15th is a 5, which may come from below
  // (or be an exact tie); then the exact digits decide.
  char text[40];
  auto r =
      std::to_chars(text, text + sizeof text - 1, a, std::chars_format::scientific, kGcvtDigits);
  *r.ptr = 0;
  const char* e = std::find(text, r.ptr, 'e');
  *exponent = std::atoi(e + 1);  // to_chars writes a plain, C-locale exponent
  // text is "d.ddd...": digit i sits at index i + 1 for i >= 1.
  auto digitAt = [&](const char* t, int i) { return t[i == 0 ? 0 : i + 1]; };
  char next = digitAt(text, kGcvtDigits);
  for (int i = 0; i < kGcvtDigits; ++i) digits[i] = digitAt(text, i);
  if (next == '5') {
    // Every double has at most 767 significant decimal digits.
    char exact[800];
    r = std::to_chars(exact, exact + sizeof exact - 1, a, std::chars_format::scientific, 766);
    *r.ptr = 0;
    for (int i = 0; i < kGcvtDigits; ++i) digits[i] = digitAt(exact, i);
    next = digitAt(exact, kGcvtDigits);
    *exponent = std::atoi(std::find(exact, r.ptr, 'e') + 1);
  }
  if (next < '5') return;
  int i = kGcvtDigits - 1;
  for (; i >= 0 && digits[i] == '9'; --i) digits[i] = '0';
  if (i >= 0) {
    ++digits[i];
  } else {  // 9.99...9 became 10.00...0
    digits[0] = '1';
    ++*exponent;
  }
}

}  // namespace

int PrintGcvt(double value, char (&out)[kGcvtTextMax]) {
  if (std::isnan(value)) return PrintNan(value, out);
  int n = 0;
  if (std::signbit(value)) out[n++] = '-';
  const double a = std::fabs(value);
  if (std::isinf(a)) {
    std::memcpy(out + n, "inf", 4);
    return n + 3;
  }
  if (a == 0) {
    std::memcpy(out + n, "0.", 3);
    return n + 2;
  }
  char digits[kGcvtDigits];
  int m = 0;
  RoundedDigits(a, digits, &m);
  int last = kGcvtDigits;  // digits written after the point end before trailing zeros
  if (m < -1 || m > kGcvtDigits - 1) {
    out[n++] = digits[0];
    out[n++] = '.';
    while (last > 1 && digits[last - 1] == '0') --last;
    for (int i = 1; i < last; ++i) out[n++] = digits[i];
    out[n++] = 'e';
    out[n++] = m < 0 ? '-' : '+';
    const int em = m < 0 ? -m : m;
    out[n++] = static_cast<char>('0' + em / 100);
    out[n++] = static_cast<char>('0' + em / 10 % 10);
    out[n++] = static_cast<char>('0' + em % 10);
  } else {
    // m + 1 integer digits (none for m = -1: "0."), then the rest.
    const int integerDigits = m + 1;
    if (integerDigits == 0) out[n++] = '0';
    for (int i = 0; i < integerDigits; ++i) out[n++] = digits[i];
    out[n++] = '.';
    while (last > integerDigits && digits[last - 1] == '0') --last;
    for (int i = integerDigits; i < last; ++i) out[n++] = digits[i];
  }
  out[n] = 0;
  return n;
}

}  // namespace zr
