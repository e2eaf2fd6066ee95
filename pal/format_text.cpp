// pal/format_text.cpp - characters and texts of the formatter: the text's
// own width copied, the other width converted through the ANSI code page.
// Scratch memory for long conversions comes from posix/format_text.inc.
#include <algorithm>
#include <climits>
#include <type_traits>

#include "pal/codepage.h"
#include "pal/error.h"
#include "pal/internal/format_sink.h"
#include "pal/wstr.h"

namespace zrpal::fmt {
namespace {

// Scratch memory for converting a long text of the other width.
void* ScratchAlloc(size_t bytes);
void ScratchFree(void* block);

constexpr WCHAR kReplacementW = 0xFFFD;  // a byte the code page cannot convert
constexpr char kReplacementA = '?';      // a character the code page lacks

// Units of a text, but at most `limit`.
template <class Char>
size_t BoundedLength(const Char* text, size_t limit) {
  size_t n = 0;
  while (n < limit && text[n] != 0) ++n;
  return n;
}

// `n` moved back by one when the first n units of `text` end inside a pair.
size_t AlignToCodePoint(const WCHAR* text, size_t n) {
  return n > 0 && IsHighSurrogate(text[n - 1]) && IsLowSurrogate(text[n]) ? n - 1 : n;
}

// A buffer of n units, on the stack when small.
template <class T, size_t kInline>
class Scratch {
 public:
  Scratch() = default;
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  ~Scratch() {
    if (data_ != inline_) ScratchFree(data_);
  }
  // False (last error ERROR_NOT_ENOUGH_MEMORY) when the memory cannot be had.
  bool Reserve(size_t n) {
    if (n <= kInline) return true;
    data_ = static_cast<T*>(ScratchAlloc(n * sizeof(T)));
    if (data_) return true;
    data_ = inline_;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  T* Data() { return data_; }

 private:
  T inline_[kInline];
  T* data_ = inline_;
};

// The code-page functions take int lengths.
constexpr size_t kMaxConvertUnits = INT_MAX;

// One character of the other width, or the replacement.
size_t WideCharToNarrow(WCHAR c, char (&out)[8]) {
  if (c == 0) {
    out[0] = 0;
    return 1;
  }
  const int n = WideCharToMultiByte(CP_ACP, 0, &c, 1, out, sizeof out, nullptr, nullptr);
  if (n > 0) return static_cast<size_t>(n);
  out[0] = kReplacementA;
  return 1;
}

WCHAR NarrowCharToWide(char c) {
  if (c == 0) return 0;
  WCHAR w[2];
  const int n = MultiByteToWideChar(CP_ACP, 0, &c, 1, w, 2);
  return n == 1 ? w[0] : kReplacementW;
}

template <class Char>
void CharOf(Sink<Char>& out, bool wideArg, unsigned flags, int width, int value) {
  if constexpr (std::is_same_v<Char, char>) {
    char units[8];
    size_t n = 1;
    if (wideArg)
      n = WideCharToNarrow(static_cast<WCHAR>(value), units);
    else
      units[0] = static_cast<char>(value);
    EmitField(out, flags, width, true, "", 0, n, [&] { out.Write(units, n); });
  } else {
    const WCHAR unit = wideArg ? static_cast<WCHAR>(value) : NarrowCharToWide(static_cast<char>(value));
    EmitField(out, flags, width, true, "", 0, 1, [&] { out.Put(unit); });
  }
}

template <class Char>
void EmitUnits(Sink<Char>& out, unsigned flags, int width, const Char* units, size_t n) {
  EmitField(out, flags, width, true, "", 0, n, [&] { out.Write(units, n); });
}

// UTF-16 text in 8-bit output, converted character by character: the path
// for text that the code page cannot convert as a whole. Returns the bytes
// written (or, with a null sink, that would be written).
size_t WideToNarrowByCodePoint(const WCHAR* text, size_t n, int precision, Sink<char>* out) {
  size_t total = 0;
  for (size_t i = 0; i < n;) {
    const int units = i + 1 < n && IsHighSurrogate(text[i]) && IsLowSurrogate(text[i + 1]) ? 2 : 1;
    char bytes[8];
    int length = WideCharToMultiByte(CP_ACP, 0, text + i, units, bytes, sizeof bytes, nullptr, nullptr);
    if (length <= 0) {
      bytes[0] = kReplacementA;
      length = 1;
    }
    if (precision >= 0 && total + static_cast<size_t>(length) > static_cast<size_t>(precision)) break;
    if (out) out->Write(bytes, static_cast<size_t>(length));
    total += static_cast<size_t>(length);
    i += static_cast<size_t>(units);
  }
  return total;
}

int NarrowLengthOf(const WCHAR* text, size_t n) {
  return n == 0 ? 0 : WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
}

bool EmitWideTextNarrow(Sink<char>& out, unsigned flags, int width, int precision, const WCHAR* text) {
  // Every code point gives at least one byte, so 2 x precision + 2 units
  // hold more than the precision lets through.
  size_t n = precision < 0 ? BoundedLength(text, kMaxConvertUnits)
                           : BoundedLength(text, std::min<size_t>(2 * static_cast<size_t>(precision) + 2, kMaxConvertUnits));
  n = AlignToCodePoint(text, n);
  int bytes = NarrowLengthOf(text, n);
  if (n > 0 && bytes <= 0) {
    const size_t length = WideToNarrowByCodePoint(text, n, precision, nullptr);
    EmitField(out, flags, width, true, "", 0, length,
              [&] { WideToNarrowByCodePoint(text, n, precision, &out); });
    return true;
  }
  Scratch<char, 512> converted;
  if (precision >= 0 && bytes > precision) {
    // The longest prefix of whole characters within the precision.
    if (!converted.Reserve(static_cast<size_t>(precision))) return false;
    bytes = WideCharToMultiBytePrefix(CP_ACP, text, static_cast<int>(n), converted.Data(), precision);
  } else {
    if (!converted.Reserve(static_cast<size_t>(bytes))) return false;
    if (n > 0 && bytes > 0)
      bytes = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(n), converted.Data(), bytes, nullptr, nullptr);
  }
  EmitUnits(out, flags, width, converted.Data(), static_cast<size_t>(std::max(bytes, 0)));
  return true;
}

bool EmitNarrowTextWide(Sink<WCHAR>& out, unsigned flags, int width, int precision, const char* text) {
  const size_t n = BoundedLength(text, kMaxConvertUnits);
  const int units = n == 0 ? 0 : MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(n), nullptr, 0);
  if (n > 0 && units <= 0) {
    // The code page cannot convert the text: ASCII stays, every other byte
    // becomes the replacement character.
    const size_t length = precision < 0 ? n : std::min(n, static_cast<size_t>(precision));
    EmitField(out, flags, width, true, "", 0, length, [&] {
      for (size_t i = 0; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        out.Put(byte < 0x80 ? static_cast<WCHAR>(byte) : kReplacementW);
      }
    });
    return true;
  }
  Scratch<WCHAR, 256> converted;
  if (!converted.Reserve(static_cast<size_t>(units) + 1)) return false;
  WCHAR* w = converted.Data();
  const int got = n > 0 ? MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(n), w, units) : 0;
  size_t length = static_cast<size_t>(std::max(got, 0));
  w[length] = 0;
  if (precision >= 0 && length > static_cast<size_t>(precision))
    length = AlignToCodePoint(w, static_cast<size_t>(precision));
  EmitUnits<WCHAR>(out, flags, width, w, length);
  return true;
}

template <class Char>
bool TextOf(Sink<Char>& out, bool wideText, unsigned flags, int width, int precision, const void* text) {
  const size_t limit = precision < 0 ? static_cast<size_t>(-1) : static_cast<size_t>(precision);
  if (text == nullptr) {
    static constexpr char kNull[] = "(null)";
    const size_t n = std::min(sizeof kNull - 1, limit);
    EmitField(out, flags, width, true, "", 0, n, [&] { out.WriteAscii(kNull, n); });
    return true;
  }
  if constexpr (std::is_same_v<Char, char>) {
    if (wideText) return EmitWideTextNarrow(out, flags, width, precision, static_cast<const WCHAR*>(text));
  } else {
    if (!wideText) return EmitNarrowTextWide(out, flags, width, precision, static_cast<const char*>(text));
  }
  const Char* units = static_cast<const Char*>(text);
  EmitUnits(out, flags, width, units, BoundedLength(units, limit));
  return true;
}

}  // namespace

void ConvertChar(Sink<char>& out, bool wide, unsigned flags, int width, int value) {
  CharOf(out, wide, flags, width, value);
}
void ConvertChar(Sink<WCHAR>& out, bool wide, unsigned flags, int width, int value) {
  CharOf(out, wide, flags, width, value);
}
bool ConvertText(Sink<char>& out, bool wide, unsigned flags, int width, int precision, const void* text) {
  return TextOf(out, wide, flags, width, precision, text);
}
bool ConvertText(Sink<WCHAR>& out, bool wide, unsigned flags, int width, int precision, const void* text) {
  return TextOf(out, wide, flags, width, precision, text);
}

}  // namespace zrpal::fmt

#include "pal/posix/format_text.inc"
