// Fuzzes the formatter and CXString/CXStringW::Format (which runs the size
// estimate first). Fuzzer bytes become a format with arbitrary flags, widths,
// precisions, '*' arguments, sizes, literal text, unknown types and a
// dangling conversion, and arguments laid out on a tape of four (int, int,
// value) triples whose value types depend on the chosen call shape: texts of
// both widths (invalid, null, or pointing into the string being formatted),
// integers, doubles of any bit pattern, long doubles and pointers. The format
// itself may live in the string being formatted.
//
// Widths, precisions and '*' arguments reach the limits now and then
// (saturation at INT_MAX, lengths beyond what a string can hold, estimates
// far above the text, as "%.2147483647s" gives), and long doubles come from
// raw 80-bit patterns too. Texts of the other width go through the ANSI
// code page: run under double-byte and single-byte pages with scripts/fuzz's
// CODEPAGE (932, 936, 949, 950, 1252), which reaches the conversion
// fallbacks ('?' and U+FFFD, precisions that must not split a character).
//
// Checks: the formatter gives the same length whatever the capacity, never
// writes past it (buffers are exactly that large) and prints a prefix of the
// whole text; Format's result is the formatter's text; a text longer than a
// string can hold makes Format throw CXBadAlloc and leaves a valid string.
#include <bit>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "pal/format.h"
#include "zr/exception.h"
#include "zr/xstring.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::string& format) {
  std::fprintf(stderr, "format fuzz: %s for format \"%s\"\n", what, format.c_str());
  std::abort();
}

class Bytes {
 public:
  Bytes(const std::uint8_t* data, size_t size) : data_(data), size_(size) {}
  std::uint8_t Next() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::uint64_t Next64() {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = v << 8 | Next();
    return v;
  }
  template <size_t N>
  char Pick(const char (&set)[N]) {
    return set[Next() % (N - 1)];
  }

 private:
  const std::uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

enum class Kind { Int, Int64, Double, LongDouble, Narrow, Wide, Pointer };

// The value types of the four triples, per call shape.
constexpr Kind kShapes[][4] = {
    {Kind::Narrow, Kind::Int64, Kind::Wide, Kind::Double},
    {Kind::Wide, Kind::Double, Kind::Narrow, Kind::LongDouble},
    {Kind::Int, Kind::Pointer, Kind::Narrow, Kind::Wide},
    {Kind::Double, Kind::Narrow, Kind::Int64, Kind::Wide},
};
constexpr size_t kShapeCount = sizeof kShapes / sizeof kShapes[0];

// A format in both widths: the same choices, spelled for 8-bit or UTF-16 output.
struct Formats {
  std::string narrow;
  std::string wide;  // in bytes; widened unit by unit at the end
  void Add(const std::string& both) {
    narrow += both;
    wide += both;
  }
  void Add(const std::string& forNarrow, const std::string& forWide) {
    narrow += forNarrow;
    wide += forWide;
  }
};

std::string Flags(Bytes& in) {
  std::string f;
  for (unsigned n = in.Next() % 4; n > 0; --n) f += in.Pick("-+ #0");
  return f;
}

std::string Digits(Bytes& in) {
  // Now and then a number at or past the limit (it saturates at INT_MAX).
  static const char* const kLimits[] = {"2147483647", "2147483646", "4294967296", "99999999999999999999",
                                        "1073741824"};
  if (in.Next() % 32 == 0) return kLimits[in.Next() % 5];
  std::string d;
  for (unsigned n = in.Next() % 4; n > 0; --n) d += static_cast<char>('0' + in.Next() % 10);
  return d;
}

// An integer or character conversion that consumes one int.
std::string IntConversion(Bytes& in) {
  static const char* const kSizes[] = {"", "", "h", "hh", "l", "I32", "w", "L"};
  std::string s = "%" + Flags(in) + Digits(in);
  if (in.Next() & 1) s += "." + Digits(in);
  s += kSizes[in.Next() % (sizeof kSizes / sizeof kSizes[0])];
  return s + in.Pick("diouxXcC");
}

// The size and type of a conversion of the value, for 8-bit then UTF-16 output.
void ValueConversion(Bytes& in, Kind kind, std::string& narrow, std::string& wide) {
  switch (kind) {
    case Kind::Int: {
      static const char* const kSizes[] = {"", "h", "hh", "l", "I32", "w"};
      narrow = wide = std::string(kSizes[in.Next() % 6]) + in.Pick("diouxXcC");
      return;
    }
    case Kind::Int64: {
      static const char* const kSizes[] = {"ll", "I64", "I", "j", "z", "t"};
      narrow = wide = std::string(kSizes[in.Next() % 6]) + in.Pick("diouxX");
      return;
    }
    case Kind::Double:
      narrow = wide = std::string(in.Next() & 1 ? "l" : "") + in.Pick("eEfFgGaA");
      return;
    case Kind::LongDouble:
      narrow = wide = std::string("L") + in.Pick("eEfFgGaA");
      return;
    case Kind::Narrow:
      switch (in.Next() % 3) {
        case 0: narrow = "s"; wide = "S"; return;
        case 1: narrow = wide = "hs"; return;
        default: narrow = wide = "hS"; return;
      }
    case Kind::Wide:
      switch (in.Next() % 3) {
        case 0: narrow = "S"; wide = "s"; return;
        case 1: narrow = wide = "ls"; return;
        default: narrow = wide = "wS"; return;
      }
    case Kind::Pointer:
      narrow = wide = in.Next() & 1 ? "p" : "n";
      return;
  }
}

void Literal(Bytes& in, Formats& f) {
  switch (in.Next() % 6) {
    case 0: f.Add("%%"); return;
    case 1: f.Add(std::string("%") + Digits(in) + in.Pick("bkmqrvyBDHJKMNOQRUVYZ")); return;
    default: break;
  }
  std::string text;
  for (unsigned n = in.Next() % 6; n > 0; --n) {
    const char c = static_cast<char>(in.Next());
    if (c != 0 && c != '%') text += c;
  }
  f.Add(text);
}

// The conversions of one triple (a, b, value).
void Triple(Bytes& in, Kind kind, Formats& f) {
  Literal(in, f);
  const unsigned mode = in.Next() % 4;
  if (mode != 3) f.Add(IntConversion(in));            // a on its own
  if (mode == 0) f.Add(IntConversion(in));            // b on its own
  std::string conversion = "%" + Flags(in);
  if (mode == 1 || mode == 3) conversion += "*";            // b (or a) as the width
  else conversion += Digits(in);
  if (mode == 2 || mode == 3) conversion += ".*";           // b as the precision
  else if (in.Next() & 1) conversion += "." + Digits(in);
  std::string narrow, wide;
  ValueConversion(in, kind, narrow, wide);
  f.Add(conversion + narrow, conversion + wide);
  Literal(in, f);
}

std::u16string Widen(const std::string& bytes) {
  std::u16string w;
  for (char c : bytes) w.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  return w;
}

size_t Engine(char* out, size_t capacity, const char* format, auto... args) {
  return zrpal::FormatA(out, capacity, format, args...);
}
size_t Engine(WCHAR* out, size_t capacity, const WCHAR* format, auto... args) {
  return zrpal::FormatW(out, capacity, format, args...);
}

template <class S, class Unit>
struct Target {
  S string;             // formatted; texts may point into it
  size_t capacity = 0;  // a small capacity for the bounded print
};

// Prints the format with the arguments through the formatter and Format, and
// checks them against each other.
// Texts up to this length are printed whole and compared; longer ones (the
// limits) only measured and printed cut.
constexpr size_t kMaxWhole = size_t{1} << 20;
// The most units a string's buffer holds (its size in bytes is an int).
template <class Unit>
constexpr size_t kMaxUnits = static_cast<size_t>(INT_MAX) / sizeof(Unit);

// Format's estimate E (the protected FormatV of the classes).
template <class S, class Unit>
struct Estimating : S {
  static long long Of(const Unit* format, ...) {
    va_list args;
    va_start(args, format);
    Estimating e;
    const int estimate = e.FormatV(format, args);
    va_end(args);
    return estimate;
  }
};

template <class S, class Unit, class... Args>
void Run(Target<S, Unit>& target, const std::string& display, const Unit* format, Args... args) {
  const size_t n = Engine(static_cast<Unit*>(nullptr), 0, format, args...);
  if (n == zrpal::FORMAT_FAILED) Fail("formatter failed", display);
  const bool whole = n <= kMaxWhole;
  std::vector<Unit> all(whole ? n + 1 : 1);
  if (whole) {
    if (Engine(all.data(), all.size(), format, args...) != n) Fail("length differs with room", display);
    if (all[n] != 0) Fail("not terminated", display);
  }

  const size_t capacity = target.capacity % ((whole ? n : 256) + 2);
  std::vector<Unit> part(capacity);  // exactly `capacity` units: an overrun is caught
  if (Engine(part.data(), capacity, format, args...) != n) Fail("length differs when cut", display);
  if (capacity > 0) {
    const size_t written = n < capacity - 1 ? n : capacity - 1;
    if (part[written] != 0) Fail("cut output is not terminated", display);
    if (whole && std::memcmp(part.data(), all.data(), written * sizeof(Unit)) != 0)
      Fail("cut output is not a prefix", display);
  }

  // Format allocates the estimate (or, beyond the limit, the exact length)
  // and enlarges to the text: only sizes that fit the fuzzer's memory.
  const long long estimate = Estimating<S, Unit>::Of(format, args...);
  const auto affordable = [](long long units) {
    return units <= static_cast<long long>(kMaxWhole) || static_cast<size_t>(units) + 1 > kMaxUnits<Unit>;
  };
  if (!affordable(estimate)) return;
  if (n + 1 > kMaxUnits<Unit>) {
    // Longer than a string can hold: refused. The string is valid and
    // unlocked afterwards (unchanged, or part of the text when the estimate
    // fell short), and still editable.
    bool thrown = false;
    try {
      target.string.Format(format, args...);
    } catch (const CXBadAlloc&) {
      thrown = true;
    }
    if (!thrown) Fail("an overlong text did not throw", display);
    const std::basic_string<Unit> after = static_cast<const Unit*>(target.string);
    if (static_cast<size_t>(target.string.GetSize()) != after.size()) Fail("an overlong text broke the string", display);
    target.string += static_cast<WCHAR>('x');
    if (static_cast<const Unit*>(target.string)[after.size()] != 'x') Fail("string not editable after throwing", display);
    return;
  }
  if (!whole) return;  // a real text of megabytes: not worth the memory here
  target.string.Format(format, args...);
  const std::basic_string<Unit> printed = static_cast<const Unit*>(target.string);
  if (printed != std::basic_string<Unit>(all.data())) Fail("Format differs from the formatter", display);
}

// A text from the input: null, arbitrary units, or (when `own` is given) a
// position inside the string being formatted.
template <class Unit>
const Unit* Text(Bytes& in, std::basic_string<Unit>& storage, const Unit* own) {
  const unsigned choice = in.Next() % 8;
  if (choice == 0) return nullptr;
  if (choice == 1 && own) {
    size_t length = 0;
    while (own[length] != 0) ++length;
    return own + in.Next() % (length + 1);
  }
  for (unsigned n = in.Next() % 24; n > 0; --n) {
    Unit u = static_cast<Unit>(in.Next());
    if constexpr (sizeof(Unit) == 2) u = static_cast<Unit>(u << 8 | in.Next());
    if (u != 0) storage.push_back(u);
  }
  return storage.c_str();
}

template <class S, class Unit>
void Exercise(Bytes& in, const Formats& f, size_t shape) {
  Target<S, Unit> target;
  // Some content, sometimes with spare room (so that printing could happen
  // in place over the arguments).
  const std::string seed = "seed text " + std::to_string(in.Next());
  target.string = S();
  for (char c : seed) target.string += static_cast<WCHAR>(static_cast<unsigned char>(c));
  if (in.Next() & 1) {
    target.string.GetBuffer(static_cast<int>(seed.size()) + in.Next() * 4);
    target.string.ReleaseBuffer();
  }
  target.capacity = in.Next();

  const std::basic_string<Unit> format = [&] {
    if constexpr (sizeof(Unit) == 1) return f.narrow;
    else return Widen(f.wide);
  }();
  const std::string& display = sizeof(Unit) == 1 ? f.narrow : f.wide;
  const Unit* fmt = format.c_str();
  // Sometimes the format itself is the string being formatted, with or
  // without room to print in place.
  if (in.Next() % 8 == 0) {
    const int room = static_cast<int>(format.size()) + (in.Next() & 1 ? in.Next() * 8 : 0);
    Unit* units = target.string.GetBuffer(room);
    std::memcpy(units, format.c_str(), (format.size() + 1) * sizeof(Unit));
    target.string.ReleaseBuffer();
    fmt = target.string;
  }

  const Unit* own = target.string;
  std::string narrowStore[4];
  std::u16string wideStore[4];
  int ints[8];
  long long int64s[4];
  double doubles[4];
  const char* narrow[4];
  const WCHAR* wide[4];
  int count = 0;
  // Moderate widths and precisions (|v| < 2048), negative ones included;
  // now and then the limits.
  static constexpr int kLimits[] = {INT_MAX, INT_MIN, INT_MAX - 1, 1 << 30, -(1 << 30), INT_MIN + 1};
  const bool limits = in.Next() % 8 == 0;
  for (int i = 0; i < 8; ++i) {
    ints[i] = static_cast<int>(static_cast<std::int16_t>(in.Next() << 8 | in.Next())) / 16;
    if (limits && (in.Next() & 1)) ints[i] = kLimits[in.Next() % 6];
  }
  // A long double from a raw 80-bit pattern, or from a double.
  long double extended = static_cast<long double>(std::bit_cast<double>(in.Next64()));
  if (in.Next() & 1) {
    unsigned char raw[sizeof(long double)] = {};
    for (int i = 0; i < 10; ++i) raw[i] = in.Next();
    std::memcpy(&extended, raw, sizeof raw);
  }
  for (int t = 0; t < 4; ++t) {
    int64s[t] = static_cast<long long>(in.Next64());
    doubles[t] = std::bit_cast<double>(in.Next64());
    if constexpr (sizeof(Unit) == 1) {
      narrow[t] = Text<char>(in, narrowStore[t], own);
      wide[t] = Text<WCHAR>(in, wideStore[t], nullptr);
    } else {
      narrow[t] = Text<char>(in, narrowStore[t], nullptr);
      wide[t] = Text<WCHAR>(in, wideStore[t], own);
    }
  }

  switch (shape) {
    case 0:
      Run(target, display, fmt, ints[0], ints[1], narrow[0], ints[2], ints[3], int64s[1], ints[4], ints[5],
          wide[2], ints[6], ints[7], doubles[3]);
      break;
    case 1:
      Run(target, display, fmt, ints[0], ints[1], wide[0], ints[2], ints[3], doubles[1], ints[4], ints[5],
          narrow[2], ints[6], ints[7], extended);
      break;
    case 2:
      Run(target, display, fmt, ints[0], ints[1], static_cast<int>(int64s[0]), ints[2], ints[3],
          static_cast<void*>(&count), ints[4], ints[5], narrow[2], ints[6], ints[7], wide[3]);
      break;
    default:
      Run(target, display, fmt, ints[0], ints[1], doubles[0], ints[2], ints[3], narrow[1], ints[4], ints[5],
          int64s[2], ints[6], ints[7], wide[3]);
      break;
  }
  if (count != 0) Fail("%n stored a count", display);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  Bytes in(data, size);
  const size_t shape = in.Next() % kShapeCount;
  const bool wideOutput = in.Next() & 1;
  Formats f;
  for (int t = 0; t < 4; ++t) Triple(in, kShapes[shape][t], f);
  if (in.Next() % 4 == 0) {
    static const char* const kDangling[] = {"%", "%-5.", "%*", "%.*", "%l", "%I6", "%#0", "%10"};
    f.Add(kDangling[in.Next() % 8]);
  }
  if (wideOutput)
    Exercise<CXStringW, WCHAR>(in, f, shape);
  else
    Exercise<CXString, char>(in, f, shape);
  return 0;
}
