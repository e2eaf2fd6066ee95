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

}  // namespace zr
