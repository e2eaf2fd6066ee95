// pal/internal/format_float.h - the text of one floating-point conversion of the
// formatter (pal/format.h), in ASCII, before width and padding.
//
// Internal to the platform layer.
#pragma once

#include <cstddef>

namespace zrpal::fmt {

// The longest body FormatFloat writes: %f of DBL_MAX with the largest
// precision that can still carry a non-zero digit (309 + 1 + 1074), the
// digits of %e and %a, an exponent and a point. Precisions beyond the exact
// digits are reported as a count of zeros (FloatText::Zeros), not written.
inline constexpr std::size_t kFloatBufferSize = 1600;

// [Sign][Prefix][Body up to ZerosAt][Zeros x '0'][rest of Body]
// Invariants: ZerosAt <= BodyLength <= kFloatBufferSize; Zeros is 0 unless
// the precision asked for more digits than the value has.
struct FloatText {
  char Sign;              // 0, '-', '+' or ' '
  const char* Prefix;     // "", "0x" or "0X"
  const char* Body;       // digits, point, exponent; or inf/nan text
  std::size_t BodyLength;
  std::size_t ZerosAt;
  std::size_t Zeros;
  bool Special;           // infinity or NaN: no zero padding
};

// Formats `value` for type e E f F g G a A with the flags of pal/format.h and
// a precision (-1 for the default). `buffer` holds kFloatBufferSize chars and
// must outlive `text`.
void FormatFloat(double value, char type, unsigned flags, int precision, char* buffer,
                 FloatText& text);

}  // namespace zrpal::fmt
