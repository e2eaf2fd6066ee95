// pal/format.cpp - the formatter of pal/format.h: conversion grammar,
// argument reading, integers and pointers, and the engine that drives them.
// Floating point is in format_float.cpp, characters and texts in
// format_text.cpp.
#include "pal/format.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>

#include "pal/internal/format_float.h"
#include "pal/internal/format_sink.h"

namespace zrpal {

namespace fmt {
namespace {

template <class Char>
FormatArg ValueOf(Char type, FormatSize size) {
  switch (type) {
    case 'c':
    case 'C':
      return FormatArg::Int;
    case 's':
    case 'S':
      return TakesWideText(type, size) ? FormatArg::WideText : FormatArg::NarrowText;
    case 'd':
    case 'i':
    case 'o':
    case 'u':
    case 'x':
    case 'X':
      switch (size) {
        case FormatSize::LL:
        case FormatSize::I:
        case FormatSize::I64:
        case FormatSize::J:
        case FormatSize::Z:
        case FormatSize::T:
          return FormatArg::Int64;
        default:
          return FormatArg::Int;
      }
    case 'p':
    case 'n':
      return FormatArg::Pointer;
    case 'e':
    case 'E':
    case 'f':
    case 'F':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
      return size == FormatSize::LongDouble ? FormatArg::LongDouble : FormatArg::Double;
    default:
      return FormatArg::None;
  }
}

// Digits of a width or precision; saturates at INT_MAX.
template <class Char>
const Char* ParseCount(const Char* p, int& value) {
  long long v = 0;
  for (; *p >= '0' && *p <= '9'; ++p) v = std::min<long long>(v * 10 + (*p - '0'), INT_MAX);
  value = static_cast<int>(v);
  return p;
}

// --- Integers -----------------------------------------------------------------

// Writes the digits of v so that they end at `end`; returns the count. A
// constant base lets the compiler divide by multiplying.
template <unsigned kBase>
size_t DigitsIn(unsigned long long v, const char* digits, char* end) {
  char* p = end;
  do {
    *--p = digits[v % kBase];
    v /= kBase;
  } while (v != 0);
  return static_cast<size_t>(end - p);
}

size_t ToDigits(unsigned long long v, unsigned base, bool upper, char* end) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  switch (base) {
    case 8:
      return DigitsIn<8>(v, digits, end);
    case 16:
      return DigitsIn<16>(v, digits, end);
    default:
      return v <= 0xFFFFFFFFu ? DigitsIn<10>(static_cast<unsigned>(v), digits, end) : DigitsIn<10>(v, digits, end);
  }
}

long long NarrowSigned(int v, FormatSize size) {
  switch (size) {
    case FormatSize::HH:
      return static_cast<signed char>(v);
    case FormatSize::H:
      return static_cast<short>(v);
    default:
      return v;
  }
}

unsigned long long NarrowUnsigned(int v, FormatSize size) {
  switch (size) {
    case FormatSize::HH:
      return static_cast<unsigned char>(v);
    case FormatSize::H:
      return static_cast<unsigned short>(v);
    default:
      return static_cast<unsigned>(v);
  }
}

template <class Char>
void ConvertInteger(Sink<Char>& out, const FormatConversion<Char>& conversion, unsigned flags,
                    int width, int precision, FormatArgs& args) {
  const Char type = conversion.Type;
  const bool wide64 = conversion.Value == FormatArg::Int64;
  char prefix[2];
  size_t prefixLength = 0;
  unsigned long long magnitude;
  if (type == 'd' || type == 'i') {
    const long long v = wide64 ? args.Int64() : NarrowSigned(args.Int(), conversion.Size);
    magnitude = v < 0 ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
    if (v < 0)
      prefix[prefixLength++] = '-';
    else if (flags & FORMAT_PLUS)
      prefix[prefixLength++] = '+';
    else if (flags & FORMAT_BLANK)
      prefix[prefixLength++] = ' ';
  } else {
    magnitude = wide64 ? static_cast<unsigned long long>(args.Int64())
                       : NarrowUnsigned(args.Int(), conversion.Size);
  }
  const unsigned base = type == 'o' ? 8 : (type == 'x' || type == 'X') ? 16 : 10;
  char buffer[24];
  size_t digits = ToDigits(magnitude, base, type == 'X', buffer + sizeof buffer);
  // A precision turns zero padding off; the default precision is 1.
  if (precision >= 0)
    flags &= ~FORMAT_ZERO;
  else
    precision = 1;
  if (magnitude == 0 && precision == 0) digits = 0;
  size_t zeros = static_cast<size_t>(precision) > digits ? static_cast<size_t>(precision) - digits : 0;
  if (flags & FORMAT_ALT) {
    if (base == 16 && magnitude != 0) {
      prefix[0] = '0';
      prefix[1] = static_cast<char>(type);
      prefixLength = 2;
    } else if (base == 8 && zeros == 0 && (digits == 0 || buffer[sizeof buffer - digits] != '0')) {
      zeros = 1;
    }
  }
  const char* first = buffer + sizeof buffer - digits;
  EmitField(out, flags, width, true, prefix, prefixLength, zeros + digits, [&] {
    out.Fill('0', zeros);
    out.WriteAscii(first, digits);
  });
}

// %p: 16 upper-case hex digits, as on x64 Windows.
template <class Char>
void ConvertPointer(Sink<Char>& out, unsigned flags, int width, FormatArgs& args) {
  constexpr size_t kDigits = 2 * sizeof(void*);
  char buffer[kDigits];
  const auto value = reinterpret_cast<std::uintptr_t>(args.Pointer());
  for (size_t i = 0; i < kDigits; ++i) buffer[i] = "0123456789ABCDEF"[(value >> (4 * (kDigits - 1 - i))) & 0xF];
  EmitField(out, flags, width, false, "", 0, kDigits, [&] { out.WriteAscii(buffer, kDigits); });
}

// On Windows long double is double: the platform's long double prints with
// the digits Windows would print, those of its value rounded to double.
// Values beyond the double range become infinities (a plain conversion
// would be undefined).
double ToDouble(long double v) {
  constexpr long double kMax = std::numeric_limits<double>::max();
  const long double magnitude = v < 0 ? -v : v;
  if (magnitude > kMax) {
    // Rounding to nearest: below the midpoint between the largest double
    // and 2^1024 the result is the largest double; from it on (a tie goes
    // to the even 2^1024) infinity.
    const long double midpoint = kMax + std::ldexp(1.0L, 970);
    const double d = magnitude < midpoint ? std::numeric_limits<double>::max()
                                          : std::numeric_limits<double>::infinity();
    return v < 0 ? -d : d;
  }
  return static_cast<double>(v);
}

template <class Char>
void ConvertFloat(Sink<Char>& out, const FormatConversion<Char>& conversion, unsigned flags,
                  int width, int precision, FormatArgs& args) {
  const double value =
      conversion.Value == FormatArg::LongDouble ? ToDouble(args.LongDouble()) : args.Double();
  char buffer[kFloatBufferSize];
  FloatText text;
  FormatFloat(value, static_cast<char>(conversion.Type), flags, precision, buffer, text);
  char prefix[3];
  size_t prefixLength = 0;
  if (text.Sign) prefix[prefixLength++] = text.Sign;
  for (const char* p = text.Prefix; *p; ++p) prefix[prefixLength++] = *p;
  EmitField(out, flags, width, !text.Special, prefix, prefixLength, text.BodyLength + text.Zeros, [&] {
    out.WriteAscii(text.Body, text.ZerosAt);
    out.Fill('0', text.Zeros);
    out.WriteAscii(text.Body + text.ZerosAt, text.BodyLength - text.ZerosAt);
  });
}

// --- The engine ------------------------------------------------------------------

template <class Char>
size_t Format(Char* out, size_t capacity, const Char* format, FormatArgs& args) {
  static constexpr Char kEmpty[1] = {};
  Sink<Char> sink(out, capacity);
  const Char* p = format ? format : kEmpty;  // a null format prints nothing
  while (*p != 0) {
    if (*p != '%') {
      const Char* run = p;
      while (*p != 0 && *p != '%') ++p;
      sink.Write(run, static_cast<size_t>(p - run));
      continue;
    }
    FormatConversion<Char> conversion;
    p = ParseConversion(p + 1, conversion);
    if (conversion.Type == 0) break;  // the format ended inside the conversion

    unsigned flags = conversion.Flags;
    int width = conversion.Width;
    int precision = conversion.Precision;
    if (conversion.WidthAt) {
      const int w = args.Int();
      if (w < 0) {
        flags |= FORMAT_LEFT;
        width = w == INT_MIN ? INT_MAX : -w;
      } else {
        width = w;
      }
    }
    if (conversion.PrecisionAt) {
      const int v = args.Int();
      precision = v < 0 ? -1 : v;
    }

    bool ok = true;
    switch (conversion.Value) {
      case FormatArg::Int:
      case FormatArg::Int64:
        if (conversion.Type == 'c' || conversion.Type == 'C')
          ConvertChar(sink, TakesWideText(conversion.Type, conversion.Size), flags, width,
                      args.Int());
        else
          ConvertInteger(sink, conversion, flags, width, precision, args);
        break;
      case FormatArg::Pointer:
        if (conversion.Type == 'p')
          ConvertPointer(sink, flags, width, args);
        else
          args.Pointer();  // %n: nothing is stored
        break;
      case FormatArg::Double:
      case FormatArg::LongDouble:
        ConvertFloat(sink, conversion, flags, width, precision, args);
        break;
      case FormatArg::NarrowText:
      case FormatArg::WideText:
        ok = ConvertText(sink, conversion.Value == FormatArg::WideText, flags, width, precision,
                         args.Pointer());
        break;
      case FormatArg::None:
        sink.Put(conversion.Type);  // "%%" and unknown types print the character
        break;
    }
    if (!ok) {
      sink.Finish();
      return FORMAT_FAILED;
    }
  }
  return sink.Finish();
}

}  // namespace
}  // namespace fmt

template <class Char>
const Char* ParseConversion(const Char* p, FormatConversion<Char>& conversion) {
  conversion = FormatConversion<Char>{};
  conversion.Precision = -1;
  for (;; ++p) {
    unsigned flag = 0;
    switch (*p) {
      case '-': flag = FORMAT_LEFT; break;
      case '+': flag = FORMAT_PLUS; break;
      case ' ': flag = FORMAT_BLANK; break;
      case '#': flag = FORMAT_ALT; break;
      case '0': flag = FORMAT_ZERO; break;
      default: break;
    }
    if (!flag) break;
    conversion.Flags |= flag;
  }
  if (*p == '*')
    conversion.WidthAt = p++;
  else
    p = fmt::ParseCount(p, conversion.Width);
  if (*p == '.') {
    ++p;
    if (*p == '*')
      conversion.PrecisionAt = p++;
    else
      p = fmt::ParseCount(p, conversion.Precision);
  }
  switch (*p) {
    case 'h':
      conversion.Size = p[1] == 'h' ? FormatSize::HH : FormatSize::H;
      p += conversion.Size == FormatSize::HH ? 2 : 1;
      break;
    case 'l':
      conversion.Size = p[1] == 'l' ? FormatSize::LL : FormatSize::L;
      p += conversion.Size == FormatSize::LL ? 2 : 1;
      break;
    case 'I':
      if (p[1] == '6' && p[2] == '4') {
        conversion.Size = FormatSize::I64;
        p += 3;
      } else if (p[1] == '3' && p[2] == '2') {
        conversion.Size = FormatSize::I32;
        p += 3;
      } else {
        conversion.Size = FormatSize::I;
        ++p;
      }
      break;
    case 'L': conversion.Size = FormatSize::LongDouble; ++p; break;
    case 'w': conversion.Size = FormatSize::W; ++p; break;
    case 'j': conversion.Size = FormatSize::J; ++p; break;
    case 'z': conversion.Size = FormatSize::Z; ++p; break;
    case 't': conversion.Size = FormatSize::T; ++p; break;
    default: break;
  }
  conversion.Type = *p;
  conversion.TypeAt = p;
  if (*p == 0) {
    // Incomplete: nothing of it is printed and no argument is read.
    conversion.WidthAt = conversion.PrecisionAt = nullptr;
    conversion.Value = FormatArg::None;
    return p;
  }
  conversion.Value = fmt::ValueOf(conversion.Type, conversion.Size);
  return p + 1;
}

template const char* ParseConversion<char>(const char*, FormatConversion<char>&);
template const WCHAR* ParseConversion<WCHAR>(const WCHAR*, FormatConversion<WCHAR>&);

const void* FormatArgs::Skip(FormatArg kind) {
  switch (kind) {
    case FormatArg::Int: Int(); return nullptr;
    case FormatArg::Int64: Int64(); return nullptr;
    case FormatArg::Double: Double(); return nullptr;
    case FormatArg::LongDouble: LongDouble(); return nullptr;
    case FormatArg::Pointer:
    case FormatArg::NarrowText:
    case FormatArg::WideText: return Pointer();
    case FormatArg::None: return nullptr;
  }
  return nullptr;
}

size_t FormatBufferA(char* out, size_t capacity, const char* format, va_list args) {
  FormatArgs list(args);
  return fmt::Format(out, capacity, format, list);
}

size_t FormatBufferW(WCHAR* out, size_t capacity, const WCHAR* format, va_list args) {
  FormatArgs list(args);
  return fmt::Format(out, capacity, format, list);
}

size_t FormatA(char* out, size_t capacity, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const size_t n = FormatBufferA(out, capacity, format, args);
  va_end(args);
  return n;
}

size_t FormatW(WCHAR* out, size_t capacity, const WCHAR* format, ...) {
  va_list args;
  va_start(args, format);
  const size_t n = FormatBufferW(out, capacity, format, args);
  va_end(args);
  return n;
}

}  // namespace zrpal
