// The formatter: Windows meaning of conversions in 8-bit and UTF-16 output,
// the scratch memory's failure, and independence of the locale.
#include <gtest/gtest.h>

#include <locale.h>

#include <cerrno>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "pal/error.h"
#include "pal/format.h"
#include "pal/posix/syscalls.h"
#include "zr/exception.h"
#include "zr/xstring.h"

namespace {

using zrpal::FormatA;
using zrpal::FormatW;

std::u16string Wide(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// Measures, then prints into a buffer of exactly that size; checks both agree.
template <class Char, class... Args>
std::basic_string<Char> Print(const Char* format, Args... args) {
  const auto format_ = [&](Char* out, size_t n) {
    if constexpr (sizeof(Char) == 1) return FormatA(out, n, format, args...);
    else return FormatW(out, n, format, args...);
  };
  const size_t n = format_(nullptr, 0);
  std::basic_string<Char> out(n + 1, Char('\x7f'));
  EXPECT_EQ(format_(out.data(), out.size()), n);
  EXPECT_EQ(out[n], Char(0));
  out.resize(n);
  return out;
}

// For conversions whose argument types do not depend on the output width.
template <class... Args>
void ExpectBoth(const char* format, std::string_view expected, Args... args) {
  EXPECT_EQ(Print(format, args...), expected) << "format " << format;
  EXPECT_EQ(Print(Wide(format).c_str(), args...), Wide(expected)) << "wide format " << format;
}

template <class T>
struct Case { const char* format; T value; const char* expected; };

TEST(FormatEngineTest, IntegerSizesPointersAndCharacters) {
  const Case<int> cases[] = {
      {"%hd", 70000, "4464"}, {"%hhd", 200, "-56"}, {"%ld", INT_MIN, "-2147483648"}, {"%lx", -1, "ffffffff"},
      {"%I32d", -5, "-5"}, {"%wd", 3, "3"}, {"%Nx", 10, "Nx"}, {"%05hd", -1, "-0001"}, {"%-4hhx|", -1, "ff  |"},
      // Zero padding applies to every type; precision not to characters.
      {"%03c", 'A', "00A"}, {"%.0c", 'A', "A"}, {"%-3c|", 'A', "A  |"}};
  for (const auto& c : cases) ExpectBoth(c.format, c.expected, c.value);
  const Case<long long> cases64[] = {
      {"%I64d", LLONG_MIN, "-9223372036854775808"}, {"%I64x", -1, "ffffffffffffffff"},
      {"%Iu", -1, "18446744073709551615"}, {"%zu", 1LL << 40, "1099511627776"}, {"%td", 1LL << 33, "8589934592"},
      {"%#I64X", 0xABCLL, "0XABC"}};
  for (const auto& c : cases64) ExpectBoth(c.format, c.expected, c.value);
  ExpectBoth("%I64d %d", "4294967296 7", 1LL << 32, 7);  // one 64-bit argument consumed
  void* p = reinterpret_cast<void*>(std::uintptr_t{0xABCDEF12});
  const Case<void*> pointers[] = {{"%p", p, "00000000ABCDEF12"}, {"%p", nullptr, "0000000000000000"},
                                  {"%-20p|", p, "00000000ABCDEF12    |"}, {"%020p", p, "    00000000ABCDEF12"}};
  for (const auto& c : pointers) ExpectBoth(c.format, c.expected, c.value);
  ExpectBoth("%hc%hC%lc%lC%wc", "abcde", 'a', 'b', u'c', u'd', u'e');
  EXPECT_EQ(Print("a%cb", 0), std::string("a\0b", 3));  // %c of 0 prints a zero unit
}

// Long texts of the other width are converted in scratch memory, whose
// failure is reported; the string classes throw on it and never stay locked.
TEST(FormatEngineTest, ScratchMemoryFailure) {
  const std::u16string wide(5000, u'w');
  CXString s("before");
  {
    namespace sys = zrpal::sys;
    sys::ScopedSyscall failing(&sys::g.malloc, +[](size_t) -> void* { return errno = ENOMEM, nullptr; });
    char out[16];
    EXPECT_EQ(FormatA(out, sizeof out, "ab%S", wide.c_str()), zrpal::FORMAT_FAILED);
    EXPECT_EQ(zrpal::GetLastError(), zrpal::ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_STREQ(out, "ab");
    EXPECT_THROW(s.Format("ab%S", wide.c_str()), CXBadAlloc);
  }
  // The buffer header's reference count (first of three 32-bit fields before
  // the characters) is back to 1.
  std::int32_t refs;
  std::memcpy(&refs, static_cast<const char*>(s) - 3 * sizeof(std::int32_t), sizeof refs);
  EXPECT_EQ(refs, 1);
  s.Format("%S", wide.c_str());
  EXPECT_EQ(std::string(static_cast<const char*>(s)), std::string(5000, 'w'));
}

// The choices of this formatter: ties to even, %a, infinities, NaNs.
TEST(FormatEngineTest, FloatingPointAsTheUniversalCrtPrintsIt) {
  const double inf = std::numeric_limits<double>::infinity();
  volatile double zero = 0.0;
  const Case<double> cases[] = {
      {"%.0f", 2.5, "2"}, {"%.2f", 0.125, "0.12"}, {"%#.3g", 100.0, "100."}, {"%a", -3.0, "-0x1.8000000000000p+1"},
      {"%A", 3.0, "0X1.8000000000000P+1"}, {"%.1a", 3.0, "0x1.8p+1"}, {"%#.0a", 1.0, "0x1.p+0"},
      {"%024a", 2.0, "0x00001.0000000000000p+1"}, {"%lf", 2.25, "2.250000"}, {"%E", inf, "INF"},
      {"%08f", -inf, "    -inf"}, {"%+g", inf, "+inf"}, {"%f", zero / zero, "-nan(ind)"},
      {"%12G|", zero / zero, "   -NAN(IND)|"}, {"%+f", std::numeric_limits<double>::quiet_NaN(), "+nan"},
      {"%e", -std::nan("1"), "-nan"}, {"%f", std::numeric_limits<double>::signaling_NaN(), "nan(snan)"},
      {"%F", 1.5, "1.500000"}, {"%F", inf, "INF"}};
  for (const auto& c : cases) ExpectBoth(c.format, c.expected, c.value);
  // Long doubles beyond the double range round as a conversion to double would.
  const long double justAbove = static_cast<long double>(std::numeric_limits<double>::max()) * (1 + 0x1p-60L);
  ExpectBoth("%Le|%Lg|%LG", "1.797693e+308|inf|-INF", justAbove, 1e4000L, -1e4000L);
  // A huge precision is measured, not materialised.
  char out[16];
  EXPECT_EQ(FormatA(out, sizeof out, "%.2000000000f", 1.0), 2000000002u);
  EXPECT_EQ(FormatA(out, sizeof out, "%#.2147483647g", 0.001), size_t{INT_MAX} + 4);
  EXPECT_STREQ(out, "0.0010000000000");
}

// Numbers follow neither the thread's nor the process's locale (a German
// one has a decimal comma).
TEST(FormatEngineTest, LocaleDoesNotChangeNumbers) {
  const locale_t german = newlocale(LC_ALL_MASK, "de_DE.UTF-8", static_cast<locale_t>(0));
  ASSERT_TRUE(german) << "locale de_DE.UTF-8 is not installed (scripts/bootstrap generates it)";
  const locale_t previous = uselocale(german);
  char glibc[32];
  std::snprintf(glibc, sizeof glibc, "%.1f", 1.5);
  const std::string f = Print("%.1f %e %g %G", 1.5, 1.5, 0.25, 1e-7);
  uselocale(previous);
  freelocale(german);
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
  const std::u16string processWide = Print(u"%.3f|%10.2e", 1234.5, -0.5);
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_STREQ(glibc, "1,5") << "the locale did not take effect";
  EXPECT_EQ(f, "1.5 1.500000e+00 0.25 1E-07");
  EXPECT_EQ(processWide, u"1234.500| -5.00e-01");
}

}  // namespace
