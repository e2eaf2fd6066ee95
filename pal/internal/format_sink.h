// pal/internal/format_sink.h - the output of the formatter (pal/format.h) and the
// layout of one field, shared by its parts. Internal to the platform layer.
#pragma once

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstring>
#include <type_traits>

#include "pal/format.h"

namespace zrpal::fmt {

// The output: writes at most capacity - 1 units and the terminator, and
// counts everything the whole output needs.
// Invariant: out_ is non-null whenever room_ > 0; written units are
// out_[0, min(count_, room_)).
template <class Char>
class Sink {
 public:
  Sink(Char* out, size_t capacity) : out_(out), room_(capacity ? capacity - 1 : 0), capacity_(capacity) {
    assert(out != nullptr || capacity == 0);
  }

  void Put(Char c) {
    if (count_ < room_) out_[count_] = c;
    ++count_;
  }
  void Fill(Char c, size_t n) {
    if (const size_t k = Room(n)) std::fill_n(out_ + count_, k, c);
    count_ += n;
  }
  void Write(const Char* units, size_t n) {
    if (const size_t k = Room(n)) std::memcpy(out_ + count_, units, k * sizeof(Char));
    count_ += n;
  }
  // ASCII text of the formatter itself (digits, "(null)", "inf").
  void WriteAscii(const char* text, size_t n) {
    if constexpr (std::is_same_v<Char, char>) {
      Write(text, n);
    } else {
      const size_t k = Room(n);
      for (size_t i = 0; i < k; ++i) out_[count_ + i] = static_cast<Char>(static_cast<unsigned char>(text[i]));
      count_ += n;
    }
  }
  size_t Finish() {
    if (capacity_) out_[std::min(count_, room_)] = 0;
    return count_;
  }

 private:
  size_t Room(size_t n) const { return count_ >= room_ ? 0 : std::min(n, room_ - count_); }

  Char* out_;
  size_t room_;
  size_t capacity_;
  size_t count_ = 0;
};

// Lays out one field: [blanks][prefix][zeros][body][blanks]. Zero padding
// stands where the Windows run-time puts it: after the sign or prefix, for
// every type, unless the field is left-aligned.
template <class Char, class WriteBody>
void EmitField(Sink<Char>& out, unsigned flags, int width, bool zeroPadding, const char* prefix,
               size_t prefixLength, size_t bodyLength, WriteBody writeBody) {
  assert(width >= 0);
  const size_t length = prefixLength + bodyLength;
  const size_t padding = static_cast<size_t>(width) > length ? static_cast<size_t>(width) - length : 0;
  const bool left = (flags & FORMAT_LEFT) != 0;
  const bool zeros = !left && zeroPadding && (flags & FORMAT_ZERO) != 0;
  if (!left && !zeros) out.Fill(' ', padding);
  out.WriteAscii(prefix, prefixLength);
  if (zeros) out.Fill('0', padding);
  writeBody();
  if (left) out.Fill(' ', padding);
}

// Whether c/C/s/S takes wide text: h and hh force narrow, l and w wide;
// otherwise lower case is the output's width and upper case the other one.
template <class Char>
bool TakesWideText(Char type, FormatSize size) {
  if (size == FormatSize::H || size == FormatSize::HH) return false;
  if (size == FormatSize::L || size == FormatSize::W) return true;
  const bool upper = type == 'C' || type == 'S';
  return (sizeof(Char) == sizeof(WCHAR)) != upper;
}

// Characters and texts (format_text.cpp). `wide` tells whether the argument
// is of the 16-bit width. ConvertText returns false (last error
// ERROR_NOT_ENOUGH_MEMORY) when scratch memory for converting a long text
// of the other width cannot be had.
void ConvertChar(Sink<char>& out, bool wide, unsigned flags, int width, int value);
void ConvertChar(Sink<WCHAR>& out, bool wide, unsigned flags, int width, int value);
bool ConvertText(Sink<char>& out, bool wide, unsigned flags, int width, int precision, const void* text);
bool ConvertText(Sink<WCHAR>& out, bool wide, unsigned flags, int width, int precision, const void* text);

}  // namespace zrpal::fmt
