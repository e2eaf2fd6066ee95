// variant/numtext.h - reading and printing numbers as the C run-time's
// scanf and printf do, independent of the process locale (library internal).
//
// The variant conversions read text with "%d", "%u", "%lf" and "%f" and
// print with "%d", "%u", "%lg" and "%g". The C library's own routines follow
// LC_NUMERIC (a comma decimal point in many locales), so these are written
// over std::from_chars / std::to_chars, which never look at the locale.
#pragma once

#include <cstdint>

#include "zr/zrtypes.h"

namespace zr {

// scanf "%d" / "%u" (both read the same text): skips leading white space,
// takes an optional sign and at least one decimal digit, and stops at the
// first other character. The value keeps its low 32 bits (a minus sign
// negates modulo 2^32). False when no digit follows the white space and
// sign, or for a null text. Wide text takes ASCII digits only.
bool ScanInt32(const char* text, std::uint32_t* out);
bool ScanInt32(const WCHAR* text, std::uint32_t* out);

// scanf "%lf" / "%f": skips leading white space, then reads the longest
// prefix that is a floating-point number in the grammar of strtod: an
// optional sign, then decimal digits with an optional point and exponent,
// hexadecimal digits after 0x with an optional point and binary exponent,
// inf, infinity, nan or nan(chars) (letters case-insensitive). The result
// is correctly rounded; a magnitude beyond the type's range reads as an
// infinity, one below it as zero (with the sign). False when the text does
// not start with a number, or for a null text. The digits are copied: a
// number longer than memory can hold throws CXBadAlloc.
bool ScanDouble(const char* text, double* out);
bool ScanDouble(const WCHAR* text, double* out);
bool ScanFloat(const char* text, float* out);
bool ScanFloat(const WCHAR* text, float* out);

// Room for any text these functions print, with its terminator.
inline constexpr int kNumberTextMax = 32;

// printf "%u", "%d" and "%g" (six significant digits; "%lg" is the same for
// a double). Write a NUL-terminated text to out and return its length.
// Infinities and NaNs print as the Windows run-time prints them: "inf",
// "-inf", "nan", "-nan(ind)" for the indeterminate value of the processor's
// invalid operations (sign set, quiet bit only), "-nan" for other negative
// quiet NaNs, "nan(snan)" / "-nan(snan)" for signalling NaNs.
int PrintUnsigned(std::uint32_t value, char (&out)[kNumberTextMax]);
int PrintSigned(std::int32_t value, char (&out)[kNumberTextMax]);
int PrintGeneral(double value, char (&out)[kNumberTextMax]);

// A double narrowed to float with IEEE round-to-nearest; magnitudes that
// round beyond float's range become infinities (the C++ conversion itself
// would be undefined), NaNs keep their sign.
float NarrowToFloat(double d);

// strtol, strtoul and strtod of the Windows run-time in the "C" locale,
// whatever the process locale, with its 32-bit long. *end receives the
// position after the converted text, or `text` itself when nothing was
// converted (the result is then 0). Both integer forms skip C-locale white
// space, take one optional sign, and read digits of `base` (10 or 16; in
// base 16 a "0x" or "0X" prefix is skipped when a hexadecimal digit
// follows it, and "0x" alone converts nothing). A magnitude beyond 32 bits
// saturates: StrToL32 at INT32_MAX / INT32_MIN, StrToUL32 at UINT32_MAX
// (whatever the sign); otherwise StrToUL32 negates a minus-signed value
// modulo 2^32 ("-1" is 4294967295). StrToD reads what ScanDouble reads
// ("infinity" and "nan(chars)" as wholes) and stops where that text ends.
std::int32_t StrToL32(const char* text, const char** end, int base);
std::uint32_t StrToUL32(const char* text, const char** end, int base);
double StrToD(const char* text, const char** end);

// Room for any text PrintGcvt writes, with its terminator:
// "-1.2345678901234e-308".
inline constexpr int kGcvtTextMax = 32;

// The text the Windows run-time's _gcvt(value, 14, out) gives; see the
// table beside the code. Returns its length.
int PrintGcvt(double value, char (&out)[kGcvtTextMax]);

}  // namespace zr
