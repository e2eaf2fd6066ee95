// pal/format.h - the run-time's printf family with the Windows meaning of
// the conversions, for 8-bit and UTF-16 output.
//
// glibc's printf gives %s, %S and %c other argument types than the Windows
// run-time, prints numbers in the process locale and has no UTF-16 output.
// This formatter is the platform's printf for the library: one engine,
// instantiated for both output widths, independent of the locale.
//
// Conversion:  % flags* width? (. precision?)? size? type
//
//   flags      - left-align   + sign always   blank sign or blank
//              # alternate form (0x/0X/0 prefix, keep point and zeros)
//              0 pad with zeros after the sign or prefix. As in the Windows
//                run-time, zero padding applies to every type (also %s and
//                %c); it is ignored with '-', and for integers when a
//                precision is given.
//   width      digits or '*' (an int argument; negative means '-' and its
//              magnitude). Numbers saturate at INT_MAX.
//   precision  '.' then digits or '*' (an int argument; negative means no
//              precision); '.' alone is 0.
//   size       h hh l ll L w I I32 I64 j z t:
//                integers: none/l/I32 32-bit (long is 32-bit, as on
//                  Windows), h 16-bit, hh 8-bit, ll/I64/I/j/z/t 64-bit,
//                  L/w change nothing;
//                c s C S: h forces 8-bit and l or w 16-bit text;
//                a e f g: L takes the platform's long double (see below),
//                  the others change nothing.
//              As in the Universal CRT, F and N are no size prefixes (the
//              older run-times' far and near): F is a type, N an unknown one.
//   type       c C s S  character and text. 8-bit output: %c an int holding
//                       a char, %C a WCHAR, %s const char*, %S const WCHAR*.
//                       UTF-16 output: %c a WCHAR, %C a char, %s const
//                       WCHAR*, %S const char*.
//              d i o u x X  integers; p a pointer as 16 upper-case hex
//                       digits (flags '#', '+', blank and the precision do
//                       not apply to %p, and '0' pads it with blanks)
//              e E f F g G a A  floating point (double); F is f with
//                       upper-case infinity and NaN ("INF", "NAN")
//              n        consumes its pointer argument and stores nothing
//              %        a percent sign (flags and width do not apply)
//
// Choices where the Windows run-time gives no single answer, or where it
// stops the process:
// - Text of the other width goes through the ANSI code page (CP_ACP) with
//   MultiByteToWideChar / WideCharToMultiByte. A character the code page
//   cannot convert prints as '?' in 8-bit output and U+FFFD in UTF-16
//   output. The precision of %s/%S counts output units and never splits a
//   character (a multibyte sequence or a surrogate pair).
// - A null text argument prints "(null)", precision and width applying.
// - %n is treated as the current Universal CRT treats it by default
//   (disabled), except that the process is not stopped: its pointer is
//   consumed and nothing is written through it.
// - An unknown type character prints itself and takes no argument (the
//   behaviour of the older Windows run-time; the Universal CRT stops the
//   process). A format that ends inside a conversion ends the output
//   there; no argument of that conversion is read.
// - Floating point as the Universal CRT prints it: correctly rounded
//   decimal digits (ties to even), a decimal point whatever the locale, an
//   exponent of at least two digits ("1.000000e+05"). %a prints 13 hex
//   digits by default ("0x1.8000000000000p+1"), subnormals with a leading 0.
//   Negative zero keeps its sign.
// - Infinity and NaN: "inf", "nan", "-nan(ind)" for the default NaN that
//   invalid operations produce (sign set, quiet, no payload), "-nan" for
//   other negative quiet NaNs, "nan(snan)" for signalling NaNs; upper case
//   for E, F, G and A. Signs follow '+' and blank; precision and '#' do not
//   apply, and '0' pads with blanks (the C rule).
// - Deviation: on Windows long double is double. Here L takes the
//   platform's long double (what a caller here passes) and prints its value
//   rounded to double, so the digits are those Windows would print.
//
// The engine never writes past `capacity` units and always terminates the
// output when capacity > 0. It returns the length the whole output needs,
// without the terminator, so a caller can enlarge its buffer and print
// again; the output may contain zero units (%c of 0). The engine reads a
// copy of the caller's va_list (so the caller's list is not advanced and
// stays the caller's to va_end); as with vsnprintf, portable callers that
// print twice still va_copy first.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "pal/types.h"

namespace zrpal {

// Returned when a temporary buffer for converting a long text of the other
// width could not be allocated (last error ERROR_NOT_ENOUGH_MEMORY). The
// output then holds, terminated, what was printed before that item.
inline constexpr size_t FORMAT_FAILED = static_cast<size_t>(-1);

// `out` may be null when capacity is 0 (measuring only).
size_t FormatBufferA(char* out, size_t capacity, const char* format, va_list args);
size_t FormatBufferW(WCHAR* out, size_t capacity, const WCHAR* format, va_list args);
size_t FormatA(char* out, size_t capacity, const char* format, ...);
size_t FormatW(WCHAR* out, size_t capacity, const WCHAR* format, ...);

// --- The conversion grammar ---------------------------------------------
// Shared with code that must know which arguments a format takes and in
// which order, without printing (the string classes' size estimate).

// What one argument read is, by its type on this platform.
enum class FormatArg : std::uint8_t {
  None,
  Int,         // int (also characters, which arrive promoted)
  Int64,       // long long
  Double,
  LongDouble,
  Pointer,     // void* (%p, %n)
  NarrowText,  // const char*
  WideText,    // const WCHAR*
};

enum class FormatSize : std::uint8_t { None, HH, H, L, LL, LongDouble, I, I32, I64, J, Z, T, W };

inline constexpr unsigned FORMAT_LEFT = 0x01;   // '-'
inline constexpr unsigned FORMAT_PLUS = 0x02;   // '+'
inline constexpr unsigned FORMAT_BLANK = 0x04;  // ' '
inline constexpr unsigned FORMAT_ALT = 0x08;    // '#'
inline constexpr unsigned FORMAT_ZERO = 0x10;   // '0'

// One conversion. The arguments it takes are read in this
// order: the width (when WidthAt is set), the precision (when PrecisionAt
// is set), then the value (when Value is not None).
template <class Char>
struct FormatConversion {
  unsigned Flags;
  int Width;          // from digits; 0 when absent or taken from an argument
  int Precision;      // from digits; -1 when absent or taken from an argument
  const Char* WidthAt;      // the '*' of an argument width, else null
  const Char* PrecisionAt;  // the '*' of an argument precision, else null
  FormatSize Size;
  Char Type;          // the type character; 0 when the format ended first
  const Char* TypeAt; // where it stands (the terminator when Type is 0)
  FormatArg Value;    // what the type takes (None for %, unknown, incomplete)
};

// Parses the conversion that starts right after a '%'. Returns the
// position after the type character (or the terminator when the format
// ends inside the conversion, with conversion.Type 0 and no argument).
template <class Char>
const Char* ParseConversion(const Char* afterPercent, FormatConversion<Char>& conversion);

extern template const char* ParseConversion<char>(const char*, FormatConversion<char>&);
extern template const WCHAR* ParseConversion<WCHAR>(const WCHAR*, FormatConversion<WCHAR>&);

// A copy of an argument list, read one typed argument at a time. Passed by
// reference so that reads advance it on every ABI.
class FormatArgs {
 public:
  explicit FormatArgs(va_list args) { va_copy(list_, args); }
  ~FormatArgs() { va_end(list_); }
  FormatArgs(const FormatArgs&) = delete;
  FormatArgs& operator=(const FormatArgs&) = delete;

  int Int() { return va_arg(list_, int); }
  long long Int64() { return va_arg(list_, long long); }
  double Double() { return va_arg(list_, double); }
  long double LongDouble() { return va_arg(list_, long double); }
  const void* Pointer() { return va_arg(list_, const void*); }

  // Reads one argument of `kind` and returns it as a pointer when it is a
  // pointer or a text (else null).
  const void* Skip(FormatArg kind);

 private:
  va_list list_;
};

namespace fmt {

// The Windows run-time's spelling of a NaN, without its sign: "nan(snan)"
// for a signalling NaN, "nan(ind)" for the processor's default NaN (sign
// set, quiet bit set, no payload), "nan" for the others. The formatter and
// the variant's number text share it.
const char* NanSpelling(double value);

}  // namespace fmt

}  // namespace zrpal
