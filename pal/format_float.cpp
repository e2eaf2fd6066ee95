// pal/format_float.cpp - floating-point conversions of the formatter.
//
// Digits come from std::to_chars, which is exact, correctly rounded (ties to
// even) and independent of the process locale. What is left here is the
// shape the Windows run-time gives them: sign and flags, the alternate form,
// %g's choice of style and its trailing zeros, the 0x prefix of %a, and the
// spelling of infinities and NaNs.
#include "pal/internal/format_float.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "pal/format.h"

namespace zrpal::fmt {
namespace {

// Beyond these precisions every further digit is 0: a double is a multiple
// of 2^-1074, so its fixed expansion ends within 1074 decimals; its exact
// decimal value has at most 767 significant digits; its fraction has 52
// bits, 13 hex digits.
constexpr int kMaxFixedDigits = 1074;
constexpr int kMaxScientificDigits = 800;
constexpr int kMaxHexDigits = 13;
constexpr int kDefaultPrecision = 6;

std::size_t ToChars(char* buffer, double value, std::chars_format format, int precision) {
  const std::to_chars_result r =
      std::to_chars(buffer, buffer + kFloatBufferSize, value, format, precision);
  // The caps above keep every result within the buffer.
  assert(r.ec == std::errc());
  return static_cast<std::size_t>(r.ptr - buffer);
}

// Inserts the point after the leading digit ("1e+05" -> "1.e+05").
std::size_t InsertPointAfterFirstDigit(char* buffer, std::size_t length) {
  std::memmove(buffer + 2, buffer + 1, length - 1);
  buffer[1] = '.';
  return length + 1;
}

std::size_t Find(const char* buffer, std::size_t length, char c) {
  const void* at = std::memchr(buffer, c, length);
  return at ? static_cast<std::size_t>(static_cast<const char*>(at) - buffer) : length;
}

// The precision is wider than an int: %g asks for P - 1 - X digits, which
// exceeds INT_MAX for P near INT_MAX and a negative exponent X.
void Fixed(double magnitude, long long precision, bool alt, char* buffer, FloatText& text) {
  assert(precision >= 0);
  const int digits = static_cast<int>(std::min<long long>(precision, kMaxFixedDigits));
  std::size_t n = ToChars(buffer, magnitude, std::chars_format::fixed, digits);
  if (precision == 0 && alt) buffer[n++] = '.';
  text.BodyLength = n;
  text.ZerosAt = n;
  text.Zeros = static_cast<std::size_t>(precision - digits);
}

void Scientific(double magnitude, int precision, bool alt, bool upper, char* buffer,
                FloatText& text) {
  const int digits = std::min(precision, kMaxScientificDigits);
  std::size_t n = ToChars(buffer, magnitude, std::chars_format::scientific, digits);
  if (precision == 0 && alt) n = InsertPointAfterFirstDigit(buffer, n);
  const std::size_t e = Find(buffer, n, 'e');
  if (upper) buffer[e] = 'E';
  text.BodyLength = n;
  text.ZerosAt = e;
  text.Zeros = static_cast<std::size_t>(precision - digits);
}

// The decimal exponent of `magnitude` once rounded to `significant` digits.
int RoundedExponent(double magnitude, int significant, char* buffer) {
  if (magnitude == 0) return 0;
  const int digits = std::min(significant - 1, kMaxScientificDigits);
  const std::size_t n = ToChars(buffer, magnitude, std::chars_format::scientific, digits);
  int exponent = 0;
  const std::size_t e = Find(buffer, n, 'e');
  std::from_chars(buffer + e + (buffer[e + 1] == '+' ? 2 : 1), buffer + n, exponent);
  return exponent;
}

// Removes trailing zeros of the fraction, and the point when nothing
// follows it; the exponent, if any, moves left.
void StripTrailingZeros(char* buffer, FloatText& text) {
  const std::size_t mantissaEnd = text.ZerosAt;
  text.Zeros = 0;
  if (Find(buffer, mantissaEnd, '.') == mantissaEnd) return;
  std::size_t keep = mantissaEnd;
  while (buffer[keep - 1] == '0') --keep;
  if (buffer[keep - 1] == '.') --keep;
  std::memmove(buffer + keep, buffer + mantissaEnd, text.BodyLength - mantissaEnd);
  text.BodyLength -= mantissaEnd - keep;
  text.ZerosAt = keep;
}

void General(double magnitude, int precision, bool alt, bool upper, char* buffer,
             FloatText& text) {
  if (precision < 0) precision = kDefaultPrecision;
  if (precision == 0) precision = 1;
  const int exponent = RoundedExponent(magnitude, precision, buffer);
  if (exponent < precision && exponent >= -4)
    Fixed(magnitude, static_cast<long long>(precision) - 1 - exponent, alt, buffer, text);
  else
    Scientific(magnitude, precision - 1, alt, upper, buffer, text);
  if (!alt) StripTrailingZeros(buffer, text);
}

void Hex(double magnitude, int precision, bool alt, bool upper, char* buffer, FloatText& text) {
  if (precision < 0) precision = kMaxHexDigits;
  const int digits = std::min(precision, kMaxHexDigits);
  std::size_t n = ToChars(buffer, magnitude, std::chars_format::hex, digits);
  if (precision == 0 && alt) n = InsertPointAfterFirstDigit(buffer, n);
  if (upper) {
    for (std::size_t i = 0; i < n; ++i)
      if (buffer[i] >= 'a' && buffer[i] <= 'z') buffer[i] = static_cast<char>(buffer[i] - 'a' + 'A');
  }
  text.Prefix = upper ? "0X" : "0x";
  text.BodyLength = n;
  text.ZerosAt = Find(buffer, n, upper ? 'P' : 'p');
  text.Zeros = static_cast<std::size_t>(precision - digits);
}

void Special(double value, bool upper, char* buffer, FloatText& text) {
  const char* spelling = std::isnan(value) ? NanSpelling(value) : "inf";
  std::size_t n = std::strlen(spelling);
  for (std::size_t i = 0; i < n; ++i)
    buffer[i] = upper && spelling[i] >= 'a' ? static_cast<char>(spelling[i] - 'a' + 'A') : spelling[i];
  text.BodyLength = n;
  text.ZerosAt = n;
  text.Zeros = 0;
  text.Special = true;
}

}  // namespace

const char* NanSpelling(double value) {
  constexpr std::uint64_t kQuietBit = std::uint64_t{1} << 51;
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
  const std::uint64_t payload = bits & (kQuietBit - 1);
  if (!(bits & kQuietBit)) return "nan(snan)";
  if (std::signbit(value) && payload == 0) return "nan(ind)";  // the default NaN of invalid operations
  return "nan";
}

void FormatFloat(double value, char type, unsigned flags, int precision, char* buffer,
                 FloatText& text) {
  const bool upper = type == 'E' || type == 'F' || type == 'G' || type == 'A';
  const bool alt = (flags & FORMAT_ALT) != 0;
  text = FloatText{};
  text.Prefix = "";
  text.Body = buffer;
  text.Sign = std::signbit(value)          ? '-'
              : (flags & FORMAT_PLUS) != 0  ? '+'
              : (flags & FORMAT_BLANK) != 0 ? ' '
                                            : 0;
  if (!std::isfinite(value)) {
    Special(value, upper, buffer, text);
    return;
  }
  const double magnitude = std::fabs(value);
  switch (type) {
    case 'f':
    case 'F':
      Fixed(magnitude, precision < 0 ? kDefaultPrecision : precision, alt, buffer, text);
      break;
    case 'e':
    case 'E':
      Scientific(magnitude, precision < 0 ? kDefaultPrecision : precision, alt, upper, buffer, text);
      break;
    case 'g':
    case 'G':
      General(magnitude, precision, alt, upper, buffer, text);
      break;
    default:
      assert(type == 'a' || type == 'A');
      Hex(magnitude, precision, alt, upper, buffer, text);
      break;
  }
  assert(text.ZerosAt <= text.BodyLength && text.BodyLength <= kFloatBufferSize);
}

}  // namespace zrpal::fmt
