// Numbers read from and printed as text by ZRVariantChangeType: the C
// run-time's scanf and printf rules, whatever the process locale.
#include <gtest/gtest.h>

#include <locale.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

#include "tests/variant/locale_fixture.h"
#include "tests/variant/variant_test_util.h"

namespace {

std::u16string Widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

class NumberText : public zrtest::NumericLocaleTest {
 protected:
  // Converts `text` as 8-bit and as wide text; both must give the same.
  static int Read(const char* text, unsigned short type, CZRVariant* out) {
    CZRVariant narrow(text), wide(Widen(text).c_str()), fromWide;
    const int ok = out->ChangeType(type, &narrow);
    EXPECT_EQ(fromWide.ChangeType(type, &wide), type == ZRVT_ULONG ? 0 : ok) << "wide " << text;
    if (ok && type != ZRVT_ULONG) { EXPECT_TRUE(fromWide == *out || std::isnan(out->dblVal)) << text; }
    return ok;
  }
};

TEST_P(NumberText, ReadsIntegers) {
  // "%d" and "%u" read the same 32 bits.
  struct Case { const char* text; bool ok; std::uint32_t bits; } cases[] = {
      {"42", true, 42},          {"  42xyz", true, 42},     {" \t\n\v\f\r7", true, 7},
      {"+5", true, 5},           {"-5", true, 0xFFFFFFFBu}, {"0x1A", true, 0},
      {"12.9", true, 12},        {"2147483648", true, 0x80000000u},
      {"4294967296", true, 0},   {"99999999999999999999", true, 0x630FFFFFu},  // mod 2^32
      {"xyz", false, 0},         {"", false, 0},            {"   ", false, 0},
      {"-", false, 0},           {"- 5", false, 0},         {".5", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    for (unsigned short type : {ZRVT_INT, ZRVT_UINT, ZRVT_LONG, ZRVT_ULONG}) {
      CZRVariant out;
      ASSERT_EQ(Read(c.text, type, &out), c.ok ? 1 : 0) << type;
      if (c.ok) { EXPECT_EQ(out.ulVal, c.bits) << type; }
    }
  }
  // Wide text takes ASCII digits only, not other scripts' digits.
  CZRVariant out, arabic(u"\u0663"), fullwidth(u"\uFF17");
  EXPECT_EQ(out.ChangeType(ZRVT_INT, &arabic), 0);
  EXPECT_EQ(out.ChangeType(ZRVT_DOUBLE, &fullwidth), 0);
}

TEST_P(NumberText, ReadsFloatingPoint) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case { const char* text; bool ok; double value; } cases[] = {
      {"0.5", true, 0.5},        {"  -1.25e2x", true, -125}, {"+.5", true, 0.5},
      {"5.", true, 5},           {"1e+", true, 1},           {"1,5", true, 1},  // never a decimal comma
      {"0x1.8p1", true, 3},      {"0x.8", true, 0.5},        {"0xg", true, 0},
      {"-Infinity", true, -inf}, {"1e400", true, inf},       {"-1e-400", true, -0.0},
      {"0x1p-99999", true, 0},   {"4.9e-324", true, 4.9e-324},
      {"in", false, 0},          {".", false, 0},            {"e5", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    CZRVariant d, f;
    ASSERT_EQ(Read(c.text, ZRVT_DOUBLE, &d), c.ok ? 1 : 0);
    ASSERT_EQ(Read(c.text, ZRVT_FLOAT, &f), c.ok ? 1 : 0);
    if (!c.ok) continue;
    EXPECT_EQ(f.fltVal, static_cast<float>(c.value));
    EXPECT_EQ(d.dblVal, c.value);
    EXPECT_EQ(std::signbit(d.dblVal), std::signbit(c.value));
  }
  for (const char* text : {"nan", "-NaN(123)", " nan("}) {
    CZRVariant d;
    ASSERT_EQ(Read(text, ZRVT_DOUBLE, &d), 1);
    EXPECT_TRUE(std::isnan(d.dblVal) && std::signbit(d.dblVal) == (text[0] == '-')) << text;
  }
  // "%f" rounds the decimal text once, straight to float: this text is just
  // above halfway between 1 and the next float, exactly halfway as a double.
  CZRVariant f;
  ASSERT_EQ(Read("1.00000005960464477539062500000001", ZRVT_FLOAT, &f), 1);
  EXPECT_EQ(f.fltVal, 1.00000011920928955078125f);
  ASSERT_EQ(Read("3.5e38", ZRVT_FLOAT, &f), 1);
  EXPECT_EQ(f.fltVal, std::numeric_limits<float>::infinity());
}

TEST_P(NumberText, PrintsAsTheWindowsRunTime) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case { CZRVariant value; const char* text; } cases[] = {
      // Two exponent digits, as the current run-time prints; the rest of the
      // finite doubles are compared with the C library below.
      {0.5, "0.5"}, {-0.0, "-0"}, {999999.0, "999999"}, {1e6, "1e+06"}, {16777217.0f, "1.67772e+07"},
      {inf, "inf"}, {-inf, "-inf"}, {std::numeric_limits<double>::quiet_NaN(), "nan"},
      {std::bit_cast<double>(std::uint64_t{0xFFF8000000000000}), "-nan(ind)"},  // the default NaN
      {std::bit_cast<double>(std::uint64_t{0xFFF8000000000001}), "-nan"},
      {std::bit_cast<double>(std::uint64_t{0x7FF0000000000001}), "nan(snan)"},
      {static_cast<unsigned char>(255), "255"}, {std::numeric_limits<int>::min(), "-2147483648"},
      {0xFFFFFFFFul, "4294967295"}, {CZRVariant(0, ZRVT_BOOL), "No"},
      {zrtest::Adopt([] { tagZRVARIANT b = zrtest::Record(ZRVT_BOOL); b.boolVal = 2; return b; }()), "Yes"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.text);
    CZRVariant narrow, wide;
    ASSERT_EQ(narrow.ChangeType(ZRVT_STR, &c.value), 1);
    EXPECT_STREQ(narrow.pszVal, c.text);
    ASSERT_EQ(wide.ChangeType(ZRVT_WSTR, &c.value), 1);
    EXPECT_EQ(zrtest::Wide(wide.pwszVal), Widen(c.text));
  }
}

// The C library's own printf and scanf in the "C" locale, set for this
// thread whatever the process locale is, as an independent reference.
struct CLocaleScope {
  locale_t c = newlocale(LC_ALL_MASK, "C", nullptr), old = uselocale(c);
  ~CLocaleScope() { uselocale(old), freelocale(c); }
};

TEST_P(NumberText, AgreesWithTheCLibraryOverTheDoubleRange) {
  std::uint64_t state = 12345;
  for (int i = 0; i < 20000; ++i) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    const double d = std::bit_cast<double>(state);
    if (!std::isfinite(d)) continue;
    char printed[64], exact[64];
    double reread = 0;
    {
      CLocaleScope c;
      std::snprintf(printed, sizeof printed, "%g", d);
      std::snprintf(exact, sizeof exact, "%.17g", d);
      ASSERT_EQ(std::sscanf(exact, "%lf", &reread), 1);
    }
    CZRVariant src(d), text, back, full(exact);
    ASSERT_EQ(text.ChangeType(ZRVT_STR, &src), 1);
    ASSERT_STREQ(text.pszVal, printed) << exact;
    ASSERT_EQ(back.ChangeType(ZRVT_DOUBLE, &full), 1);
    ASSERT_EQ(back.dblVal, reread) << exact;
  }
}

ZR_INSTANTIATE_LOCALES(NumberText);

}  // namespace
