// The formatter: Windows meaning of each conversion in 8-bit and UTF-16
// output, the output bound, locale independence, the conversion grammar.
#include <gtest/gtest.h>

#include <locale.h>

#include <cerrno>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <tuple>
#include <vector>

#include "pal/codepage.h"
#include "pal/error.h"
#include "pal/format.h"
#include "pal/posix/syscalls.h"
#include "zr/exception.h"
#include "zr/xstring.h"

namespace {

using zrpal::FormatA;
using zrpal::FormatW;

std::u16string Wide(std::string_view ascii) {
  std::u16string w;
  for (char c : ascii) w.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  return w;
}

// Measures, then prints into a buffer of exactly that size; checks both agree.
template <class... Args>
std::string PrintA(const char* format, Args... args) {
  const size_t n = FormatA(nullptr, 0, format, args...);
  std::string out(n + 1, '\x7f');
  EXPECT_EQ(FormatA(out.data(), out.size(), format, args...), n) << format;
  EXPECT_EQ(out[n], '\0') << format;
  out.resize(n);
  return out;
}

template <class... Args>
std::u16string PrintW(const WCHAR* format, Args... args) {
  const size_t n = FormatW(nullptr, 0, format, args...);
  std::u16string out(n + 1, u'\x7f');
  EXPECT_EQ(FormatW(out.data(), out.size(), format, args...), n);
  EXPECT_EQ(out[n], u'\0');
  out.resize(n);
  return out;
}

// For conversions whose argument types do not depend on the output width.
template <class... Args>
void ExpectBoth(const char* format, std::string_view expected, Args... args) {
  EXPECT_EQ(PrintA(format, args...), expected) << "format " << format;
  EXPECT_EQ(PrintW(Wide(format).c_str(), args...), Wide(expected)) << "wide format " << format;
}

// The format with a size character put before its (first) type 's'.
std::string WithSize(std::string format, char size) { return format.insert(format.find('s'), 1, size); }

bool AnsiIsUtf8() { return zrpal::GetACP() == zrpal::CP_UTF8; }

template <class T>
struct Case { const char* format; T value; const char* expected; };

// Flags, widths and precisions are compared with the C library below.
TEST(FormatEngineTest, IntegerSizes) {
  const Case<int> cases[] = {
      {"%hd", 70000, "4464"}, {"%hu", -1, "65535"}, {"%hhd", 200, "-56"}, {"%hhu", 257, "1"},
      {"%ld", INT_MIN, "-2147483648"}, {"%lx", -1, "ffffffff"}, {"%I32d", -5, "-5"}, {"%Ld", 3, "3"}, {"%wd", 3, "3"},
      {"%Nx", 10, "Nx"}, {"%05hd", -1, "-0001"}, {"%-4hhx|", -1, "ff  |"}};
  for (const auto& c : cases) ExpectBoth(c.format, c.expected, c.value);
  const Case<long long> cases64[] = {
      {"%lld", LLONG_MIN, "-9223372036854775808"}, {"%I64d", LLONG_MAX, "9223372036854775807"},
      {"%I64x", -1, "ffffffffffffffff"}, {"%Iu", -1, "18446744073709551615"}, {"%zu", 1LL << 40, "1099511627776"},
      {"%jd", -3, "-3"}, {"%td", 1LL << 33, "8589934592"}, {"%#I64X", 0xABCLL, "0XABC"},
      {"%020lld", -1, "-0000000000000000001"}, {"%.12llo", 8, "000000000010"}};
  for (const auto& c : cases64) ExpectBoth(c.format, c.expected, c.value);
  // A 64-bit size consumes one 64-bit argument: the next one is intact.
  ExpectBoth("%I64d %d", "4294967296 7", 1LL << 32, 7);
}

// Where glibc agrees with Windows (integers), every flag, width and precision.
TEST(FormatEngineTest, IntegersAgreeWithTheCLibrary) {
  const char* flags[] = {"", "-", "+", " ", "0", "#", "-0", "+0", " #", "#0", "-+ #0"};
  const char* widths[] = {"", "1", "12"};
  const char* precisions[] = {"", ".", ".0", ".3", ".15"};
  const char types[] = {'d', 'i', 'u', 'o', 'x', 'X'};
  const long long values[] = {0, 1, -1, 42, INT_MIN, INT_MAX, LLONG_MIN, LLONG_MAX};
  char expected[128];
  for (const char* f : flags)
    for (const char* w : widths)
      for (const char* p : precisions)
        for (char t : types)
          for (long long v : values) {
            const std::string conversion = std::string("[%") + f + w + p;
            const std::string plain = conversion + t + "]";
            std::snprintf(expected, sizeof expected, plain.c_str(), static_cast<int>(v));
            EXPECT_EQ(PrintA(plain.c_str(), static_cast<int>(v)), expected) << plain;
            EXPECT_EQ(PrintW(Wide(plain).c_str(), static_cast<int>(v)), Wide(expected)) << plain;
            std::snprintf(expected, sizeof expected, (conversion + "ll" + t + "]").c_str(), v);
            EXPECT_EQ(PrintA((conversion + "I64" + t + "]").c_str(), v), expected)
                << conversion << "I64" << t;
          }
}

TEST(FormatEngineTest, PointersAndCharacters) {
  void* p = reinterpret_cast<void*>(std::uintptr_t{0xABCDEF12});
  const Case<void*> pointers[] = {{"%p", p, "00000000ABCDEF12"}, {"%p", nullptr, "0000000000000000"},
                                  {"%20p|", p, "    00000000ABCDEF12|"}, {"%-20p|", p, "00000000ABCDEF12    |"},
                                  {"%#+.4p", p, "00000000ABCDEF12"}, {"%020p", p, "    00000000ABCDEF12"}};
  for (const auto& c : pointers) ExpectBoth(c.format, c.expected, c.value);
  // Zero padding applies to every type; precision not to characters.
  const Case<int> chars[] = {{"%c", 'A', "A"}, {"%3c|", 'A', "  A|"}, {"%-3c|", 'A', "A  |"},
                             {"%03c", 'A', "00A"}, {"%.0c", 'A', "A"}};
  for (const auto& c : chars) ExpectBoth(c.format, c.expected, c.value);
  ExpectBoth("%hc%hC%lc%lC%wc", "abcde", 'a', 'b', u'c', u'd', u'e');
  EXPECT_EQ(PrintA("%C", u'Z'), "Z");
  EXPECT_EQ(PrintW(u"%C", 'Z'), u"Z");
  // %c of 0 prints a zero unit and counts it.
  EXPECT_EQ(PrintA("a%cb", 0), std::string("a\0b", 3));
  EXPECT_EQ(PrintW(u"a%Cb", 0), std::u16string(u"a\0b", 3));
}

TEST(FormatEngineTest, TextsOfTheOutputWidth) {
  const Case<const char*> cases[] = {
      {"%s", "abc", "abc"}, {"%5s", "ab", "   ab"}, {"%-5s|", "ab", "ab   |"}, {"%05s", "ab", "000ab"},
      {"%.2s", "abcdef", "ab"}, {"%10.3s", "abcdef", "       abc"}, {"%.0s|", "abc", "|"}, {"%.10s", "abc", "abc"},
      {"%s", nullptr, "(null)"}, {"%.3s", nullptr, "(nu"}, {"%8s", nullptr, "  (null)"}};
  for (const auto& c : cases) {
    EXPECT_EQ(PrintA(c.format, c.value), c.expected) << c.format;
    EXPECT_EQ(PrintA(WithSize(c.format, 'h').c_str(), c.value), c.expected);
    const std::u16string wtext = c.value ? Wide(c.value) : u"";
    const WCHAR* warg = c.value ? wtext.c_str() : nullptr;
    EXPECT_EQ(PrintW(Wide(c.format).c_str(), warg), Wide(c.expected)) << c.format;
    EXPECT_EQ(PrintA(WithSize(c.format, 'l').c_str(), warg), c.expected);
  }
  // S takes the other width, h narrow and l (or w) wide, whatever the case.
  EXPECT_EQ(PrintA("%S|%hS|%lS|%ws", u"a", "b", u"c", u"d"), "a|b|c|d");
  EXPECT_EQ(PrintW(u"%S|%hs|%lS|%wS", "a", "b", u"c", u"d"), u"a|b|c|d");
  EXPECT_EQ(PrintW(u"%S", static_cast<const char*>(nullptr)), u"(null)");
}

// Characters and texts of the other width go through the ANSI code page.
TEST(FormatEngineTest, OtherWidthKeepsWholeCharacters) {
  if (!AnsiIsUtf8()) GTEST_SKIP() << "the expected bytes assume the UTF-8 ANSI code page";
  EXPECT_EQ(PrintA("%C", u'\u00E9'), "\xC3\xA9");
  EXPECT_EQ(PrintA("%4lc|", u'\u20AC'), " \xE2\x82\xAC|");  // width counts bytes
  EXPECT_EQ(PrintW(u"%c", u'\u00E9'), u"\u00E9");
  EXPECT_EQ(PrintW(u"%C", '\xE9'), u"\uFFFD");  // a lone byte that is no character
  // Precision and width count output units; a character is never split.
  const char16_t* text = u"\u00E9\u20AC\U0001F600";  // 2 + 3 + 4 bytes in UTF-8
  const Case<const char16_t*> toNarrow[] = {
      {"%S", text, "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"}, {"%.1S|", text, "|"}, {"%.4S", text, "\xC3\xA9"},
      {"%.5S", text, "\xC3\xA9\xE2\x82\xAC"}, {"%.8S", text, "\xC3\xA9\xE2\x82\xAC"},
      {"%4S|", u"\u00E9", "  \xC3\xA9|"}};
  for (const auto& c : toNarrow) EXPECT_EQ(PrintA(c.format, c.value), c.expected) << c.format;
  const char* narrow = "\xC3\xA9\xF0\x9F\x98\x80x";  // 1 + 2 + 1 UTF-16 units
  const std::tuple<const WCHAR*, const char*, std::u16string_view> toWide[] = {
      {u"%S", narrow, u"\u00E9\U0001F600x"}, {u"%.2S|", narrow, u"\u00E9|"}, {u"%.3S", narrow, u"\u00E9\U0001F600"},
      {u"%-4S|", narrow, u"\u00E9\U0001F600x|"}, {u"%6S|", "\xC3\xA9", u"     \u00E9|"}};
  for (const auto& [format, arg, expected] : toWide) EXPECT_EQ(PrintW(format, arg), expected);
}

// Long texts of the other width are converted in scratch memory, whose
// failure is reported.
TEST(FormatEngineTest, LongTextsOfTheOtherWidth) {
  const std::string narrow(5000, 'n');
  const std::u16string wide(5000, u'w');
  EXPECT_EQ(PrintA("%S", wide.c_str()), std::string(5000, 'w'));
  EXPECT_EQ(PrintA("%.4321S", wide.c_str()), std::string(4321, 'w'));
  EXPECT_EQ(PrintW(u"%S", narrow.c_str()), std::u16string(5000, u'n'));
  EXPECT_EQ(PrintW(u"%.777S", narrow.c_str()), std::u16string(777, u'n'));

  namespace sys = zrpal::sys;
  sys::ScopedSyscall failing(&sys::g.malloc, +[](size_t) -> void* {
    errno = ENOMEM;
    return nullptr;
  });
  char out[16];
  EXPECT_EQ(FormatA(out, sizeof out, "ab%S", wide.c_str()), zrpal::FORMAT_FAILED);
  EXPECT_EQ(zrpal::GetLastError(), zrpal::ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_STREQ(out, "ab");
  WCHAR wout[16];
  EXPECT_EQ(FormatW(wout, 16, u"cd%S", narrow.c_str()), zrpal::FORMAT_FAILED);
  EXPECT_EQ(std::u16string(wout), u"cd");
  EXPECT_EQ(FormatA(out, sizeof out, "%S", u"short"), 5u);  // short texts never need it
}

// The string classes throw on that failure and never stay locked.
TEST(FormatEngineTest, StringFormatFailureLeavesTheStringUnlocked) {
  const std::u16string wide(5000, u'w');
  CXString s("before");
  {
    namespace sys = zrpal::sys;
    sys::ScopedSyscall failing(&sys::g.malloc, +[](size_t) -> void* { return nullptr; });
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

// Finite values in %e, %f and %g are compared with the C library below;
// here the choices of this formatter: ties to even, %a, and the sizes.
TEST(FormatEngineTest, FloatingPointAsTheUniversalCrtPrintsIt) {
  const Case<double> cases[] = {
      {"%.0f", 1.5, "2"}, {"%.0f", 2.5, "2"}, {"%.2f", 0.125, "0.12"}, {"%#.3g", 100.0, "100."},
      {"%a", 1.0, "0x1.0000000000000p+0"}, {"%a", -3.0, "-0x1.8000000000000p+1"}, {"%A", 3.0, "0X1.8000000000000P+1"},
      {"%.1a", 3.0, "0x1.8p+1"}, {"%a", 0.0, "0x0.0000000000000p+0"}, {"%#.0a", 1.0, "0x1.p+0"},
      {"%+12.2a|", 1.0, "  +0x1.00p+0|"}, {"%024a", 2.0, "0x00001.0000000000000p+1"},
      {"%.15a", 1.0, "0x1.000000000000000p+0"}, {"%lf", 2.25, "2.250000"}, {"%F", 1.5, "1.500000"}};
  for (const auto& c : cases) ExpectBoth(c.format, c.expected, c.value);
  ExpectBoth("%Lf|%Le", "1.500000|2.500000e-01", 1.5L, 0.25L);
  // Long doubles beyond the double range round as a conversion to double would.
  const long double justAbove = static_cast<long double>(std::numeric_limits<double>::max()) * (1 + 0x1p-60L);
  ExpectBoth("%Le|%Lg|%LG", "1.797693e+308|inf|-INF", justAbove, 1e4000L, -1e4000L);
}

TEST(FormatEngineTest, InfinitiesAndNans) {
  const double inf = std::numeric_limits<double>::infinity(), quiet = std::numeric_limits<double>::quiet_NaN();
  volatile double zero = 0.0;
  const double invalid = zero / zero;  // the default NaN of an invalid operation
  const Case<double> cases[] = {
      {"%f", inf, "inf"}, {"%e", -inf, "-inf"}, {"%E", inf, "INF"}, {"%+g", inf, "+inf"}, {"% f", inf, " inf"},
      {"%08f", -inf, "    -inf"}, {"%-6f|", inf, "inf   |"}, {"%#.2f", inf, "inf"}, {"%a", inf, "inf"},
      {"%f", invalid, "-nan(ind)"}, {"%G", invalid, "-NAN(IND)"}, {"%12f|", invalid, "   -nan(ind)|"},
      {"%f", quiet, "nan"}, {"%+f", quiet, "+nan"}, {"%e", -std::nan("1"), "-nan"},
      {"%f", std::numeric_limits<double>::signaling_NaN(), "nan(snan)"}, {"%F", inf, "INF"},
      {"%F", invalid, "-NAN(IND)"}};
  for (const auto& c : cases) ExpectBoth(c.format, c.expected, c.value);
}

TEST(FormatEngineTest, FloatingPointAgreesWithTheCLibraryOnFiniteValues) {
  const char* conversions[] = {"%f",    "%.0f",  "%#.0f",    "%.17f",    "%e",       "%.0e",
                               "%.16e", "%E",    "%g",       "%.0g",     "%#g",      "%.17g",
                               "%G",    "%.3F",  "%+012.4e", "%-15.3g|", "% 010.1f", "%.40f",
                               "%.30e"};
  const double values[] = {0.0,   -0.0,    1.0,    -1.5, 0.1, 2.0 / 3, 1e-5, 123456.789, 1e300, -1e-300, 5e-324,
                           1.7976931348623157e308, 0.5, 99.995, 1e15, 123e-310};
  char expected[2048];
  for (const char* conversion : conversions)
    for (double v : values) {
      std::snprintf(expected, sizeof expected, conversion, v);
      EXPECT_EQ(PrintA(conversion, v), expected) << conversion << " " << v;
      EXPECT_EQ(PrintW(Wide(conversion).c_str(), v), Wide(expected)) << conversion << " " << v;
    }
}

TEST(FormatEngineTest, PrecisionsBeyondTheDigitsOfADouble) {
  EXPECT_EQ(PrintA("%.1100f", 1.0), "1." + std::string(1100, '0'));
  EXPECT_EQ(PrintA("%.1000e", 1.0), "1." + std::string(1000, '0') + "e+00");
  EXPECT_EQ(PrintA("%#.900g", 2.0), "2." + std::string(899, '0'));
  EXPECT_EQ(PrintA("%.900g", 2.0), "2");
  EXPECT_EQ(PrintA("%.20a", 1.0), "0x1." + std::string(20, '0') + "p+0");
  char expected[1600];
  std::snprintf(expected, sizeof expected, "%.1074f", 5e-324);
  EXPECT_EQ(PrintA("%.1074f", 5e-324), expected);
  // A huge precision is measured, not materialised.
  char out[16];
  EXPECT_EQ(FormatA(out, sizeof out, "%.2000000000f", 1.0), 2000000002u);
  EXPECT_STREQ(out, "1.0000000000000");
  // %g of a small value with the largest precision: the fixed style's
  // precision P - 1 - X lies beyond INT_MAX ("0." and INT_MAX + 2 digits).
  const size_t longest = size_t{INT_MAX} + 4;
  EXPECT_EQ(FormatA(out, sizeof out, "%#.2147483647g", 0.001), longest);
  EXPECT_STREQ(out, "0.0010000000000");
  EXPECT_EQ(FormatA(out, sizeof out, "%.2147483647g", 0.0078125), 9u);  // exact in binary
  EXPECT_STREQ(out, "0.0078125");
}

TEST(FormatEngineTest, ArgumentWidthsAndPrecisions) {
  ExpectBoth("%*d|%*d|", "   42|42   |", 5, 42, -5, 42);  // a negative width left-aligns
  ExpectBoth("%.*f|%.*f", "3.14|3.141590", 2, 3.14159, -1, 3.14159);  // a negative precision is none
  ExpectBoth("%-*.*e|", "1.0e+00   |", 10, 1, 1.0);
  EXPECT_EQ(PrintA("%*.*s|", 6, 2, "abc"), "    ab|");
  EXPECT_EQ(PrintW(u"%*.*s|", -6, 2, u"abc"), u"ab    |");
  char out[8];
  EXPECT_EQ(FormatA(out, sizeof out, "%*d", INT_MIN, 1), size_t{INT_MAX});
  EXPECT_EQ(FormatA(out, sizeof out, "%99999999999d", 1), size_t{INT_MAX});  // saturates
}

TEST(FormatEngineTest, PercentCountUnknownTypesAndIncompleteConversions) {
  // %n consumes its pointer and stores nothing.
  int count = 12345;
  short shortCount = 77;
  long long longCount = 99;
  ExpectBoth("ab%ncd%hn%llnef%d", "abcdef7", &count, &shortCount, &longCount, 7);
  EXPECT_EQ(count, 12345);
  EXPECT_EQ(shortCount, 77);
  EXPECT_EQ(longCount, 99);
  const std::pair<const char*, const char*> cases[] = {
      {"%%", "%"}, {"100%%", "100%"}, {"%5%|", "%|"}, {"%y", "y"}, {"%-5y|", "y|"}, {"%Z", "Z"}, {"a%", "a"},
      {"a%-", "a"}, {"a%5.", "a"}, {"a%l", "a"}, {"a%I64", "a"}, {"a%*", "a"}, {"a%.*", "a"}, {"", ""}, {"%I3d", "3d"}};
  for (const auto& [format, expected] : cases) ExpectBoth(format, expected, 0);
  // Neither unknown types nor %% take an argument.
  ExpectBoth("%y %5% %d", "y % 5", 5);
  char out[4] = "xyz";
  EXPECT_EQ(FormatA(out, sizeof out, nullptr), 0u);
  EXPECT_STREQ(out, "");
}

TEST(FormatEngineTest, NeverWritesPastTheCapacity) {
  const char16_t wtext[] = u"wide \u00E9 text";
  for (const char* format : {"%d|%s|%S|%f|%-8c|", "%08.3f%#x%p", "plain text only"}) {
    const size_t n = FormatA(nullptr, 0, format, 123, "narrow", wtext, 2.5, 'q');
    const std::string full = PrintA(format, 123, "narrow", wtext, 2.5, 'q');
    ASSERT_EQ(full.size(), n);
    for (size_t capacity = 0; capacity <= n + 2; ++capacity) {
      std::vector<char> buffer(capacity + 4, '#');
      EXPECT_EQ(FormatA(buffer.data(), capacity, format, 123, "narrow", wtext, 2.5, 'q'), n);
      if (capacity > 0) {
        const size_t written = std::min(n, capacity - 1);
        EXPECT_EQ(std::string(buffer.data(), written), full.substr(0, written));
        EXPECT_EQ(buffer[written], '\0');
      }
      for (size_t i = capacity; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], '#') << format << capacity;
    }
    const std::u16string wformat = Wide(format);
    const size_t wn = FormatW(nullptr, 0, wformat.c_str(), 123, wtext, "narrow", 2.5, u'q');
    for (size_t capacity = 0; capacity <= wn + 2; ++capacity) {
      std::vector<WCHAR> buffer(capacity + 4, u'#');
      EXPECT_EQ(FormatW(buffer.data(), capacity, wformat.c_str(), 123, wtext, "narrow", 2.5, u'q'), wn);
      for (size_t i = capacity; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], u'#') << format << capacity;
    }
  }
}

// Numbers follow neither the thread's nor the process's locale (a German
// one has a decimal comma).
TEST(FormatEngineTest, LocaleDoesNotChangeNumbers) {
  const locale_t german = newlocale(LC_ALL_MASK, "de_DE.UTF-8", static_cast<locale_t>(0));
  if (!german) GTEST_SKIP() << "locale de_DE.UTF-8 is not installed (scripts/bootstrap generates it)";
  const locale_t previous = uselocale(german);
  char glibc[32];
  std::snprintf(glibc, sizeof glibc, "%.1f", 1.5);
  const std::string f = PrintA("%.1f %e %g %G", 1.5, 1.5, 0.25, 1e-7);
  const std::u16string w = PrintW(u"%.2f", 2.5);
  uselocale(previous);
  freelocale(german);
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
  const std::string processWide = PrintA("%.3f|%10.2e", 1234.5, -0.5);
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_STREQ(glibc, "1,5") << "the locale did not take effect";
  EXPECT_EQ(f, "1.5 1.500000e+00 0.25 1E-07");
  EXPECT_EQ(w, u"2.50");
  EXPECT_EQ(processWide, "1234.500| -5.00e-01");
}

// What printing cannot show: where the fields stand, and that an incomplete
// conversion takes no argument.
TEST(FormatConversionTest, FieldPositions) {
  const char16_t* wformat = u"-*.*Sx";
  zrpal::FormatConversion<WCHAR> wconversion;
  EXPECT_EQ(zrpal::ParseConversion(wformat, wconversion), wformat + 5);
  EXPECT_EQ(wconversion.Flags, zrpal::FORMAT_LEFT);
  EXPECT_EQ(wconversion.WidthAt, wformat + 1);
  EXPECT_EQ(wconversion.PrecisionAt, wformat + 3);
  EXPECT_EQ(wconversion.TypeAt, wformat + 4);
  EXPECT_EQ(wconversion.Value, zrpal::FormatArg::NarrowText);  // S in UTF-16 output

  const char* tail = "-*.*l";
  zrpal::FormatConversion<char> conversion;
  EXPECT_EQ(zrpal::ParseConversion(tail, conversion), tail + 5);
  EXPECT_EQ(conversion.Type, 0);
  EXPECT_EQ(conversion.TypeAt, tail + 5);
  EXPECT_EQ(conversion.WidthAt, nullptr);
  EXPECT_EQ(conversion.PrecisionAt, nullptr);
  EXPECT_EQ(conversion.Value, zrpal::FormatArg::None);
}

}  // namespace
