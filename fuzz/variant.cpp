// Fuzzes the reading of value text by the variant conversions: fuzzer bytes
// become 8-bit and wide text, converted to every type. Each reading is
// checked against the C library's own strtod / strtof / strtol in the "C"
// locale, the 8-bit and wide readings of ASCII text must agree, and printed
// numbers must print the same after reading them back.
#include <locale.h>

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "variant/numtext.h"
#include "zr/variant.h"

namespace {

locale_t CLocale() {
  static locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
  return c;
}

[[noreturn]] void Fail(const char* what, const std::string& text) {
  std::fprintf(stderr, "mismatch: %s for \"%s\"\n", what, text.c_str());
  std::abort();
}

bool SameDouble(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

bool SameFloat(float a, float b) {
  return (std::isnan(a) && std::isnan(b)) || std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

// The correctly rounded float of the text. glibc's strtof misrounds some
// hexadecimal subnormals (it reads "0x1.000001p-150" as 0, not 2^-149), so
// the float is taken from the double reading: every boundary between two
// floats is a double, so the text and its double round to the same float,
// except when the double is itself such a boundary; only then is strtof
// asked.
float FloatReference(const char* s, double d, char** end) {
  const float viaStrtof = strtof_l(s, end, CLocale());
  if (!std::isfinite(d)) return static_cast<float>(d);
  constexpr double kOverflow = 0x1.ffffffp127;  // halfway past FLT_MAX
  if (std::fabs(d) >= kOverflow) return viaStrtof;
  const float nearest = static_cast<float>(d);
  if (static_cast<double>(nearest) == d) return nearest;
  const float other = std::nextafter(nearest, d < nearest ? -HUGE_VALF : HUGE_VALF);
  const double boundary = (static_cast<double>(nearest) + static_cast<double>(other)) / 2;
  return d == boundary ? viaStrtof : nearest;
}

void CheckAgainstCLibrary(const std::string& text) {
  const char* s = text.c_str();
  char* end = nullptr;

  double d = 0;
  const bool dOk = zr::ScanDouble(s, &d);
  const double want = strtod_l(s, &end, CLocale());
  if (dOk != (end != s)) Fail("double accepted", text);
  if (dOk && !SameDouble(d, want)) Fail("double value", text);

  float f = 0;
  const bool fOk = zr::ScanFloat(s, &f);
  const float wantF = FloatReference(s, want, &end);
  if (fOk != (end != s)) Fail("float accepted", text);
  if (fOk && !SameFloat(f, wantF)) Fail("float value", text);

  std::uint32_t i = 0;
  const bool iOk = zr::ScanInt32(s, &i);
  errno = 0;
  const long long wantI = strtoll_l(s, &end, 10, CLocale());
  if (iOk != (end != s)) Fail("integer accepted", text);
  // Within 64 bits the reading keeps the low 32 bits of the exact value.
  if (iOk && errno == 0 && i != static_cast<std::uint32_t>(wantI)) Fail("integer value", text);
}

void CheckWidthsAgree(const std::string& text) {
  for (unsigned char c : text)
    if (c >= 0x80) return;  // white space differs between the widths there
  const std::u16string wide(text.begin(), text.end());
  double a = 0, b = 0;
  if (zr::ScanDouble(text.c_str(), &a) != zr::ScanDouble(wide.c_str(), &b) || !SameDouble(a, b))
    Fail("wide double", text);
  std::uint32_t x = 0, y = 0;
  if (zr::ScanInt32(text.c_str(), &x) != zr::ScanInt32(wide.c_str(), &y) || x != y) Fail("wide integer", text);
}

void CheckPrintRoundTrip(double d, const std::string& text) {
  char printed[zr::kNumberTextMax];
  zr::PrintGeneral(d, printed);
  if (std::isfinite(d)) {
    char want[64];
    std::snprintf(want, sizeof want, "%g", d);  // the "C" locale of this process
    if (std::strcmp(printed, want) != 0) Fail("printed double", text);
  }
  double back = 0;
  if (!zr::ScanDouble(printed, &back)) Fail("printed text unreadable", text);
  char again[zr::kNumberTextMax];
  zr::PrintGeneral(back, again);
  if (std::strcmp(printed, again) != 0 && !std::isnan(d)) Fail("print is not stable", text);
}

void ConvertToEveryType(const tagZRVARIANT& src) {
  for (unsigned t = 0; t <= ZRVT_LASTORDINARY; ++t) {
    CZRVariant dest;
    ZRVariantChangeType(&dest, &src, static_cast<unsigned short>(t));
    CZRVariant inPlace(src);
    if (!inPlace.ChangeType(static_cast<unsigned short>(t)) && !(inPlace == src)) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Text ends at the first zero byte, as a C string does.
  std::string text(reinterpret_cast<const char*>(data), size);
  text = text.c_str();

  CheckAgainstCLibrary(text);
  CheckWidthsAgree(text);

  CZRVariant narrow(text.c_str());
  ConvertToEveryType(narrow);
  std::u16string wide;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    const char16_t unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
    if (!unit) break;
    wide += unit;
  }
  CZRVariant wideText(wide.c_str());
  ConvertToEveryType(wideText);

  // The bytes as a double, printed and read back.
  if (size >= 8) {
    double d;
    std::memcpy(&d, data, sizeof d);
    CheckPrintRoundTrip(d, text);
  }
  return 0;
}
