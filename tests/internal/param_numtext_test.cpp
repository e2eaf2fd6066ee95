// The C run-time's strtol / strtoul / strtod and _gcvt(14) as the value
// texts use them, in the "C" locale and in a comma-decimal one.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "tests/variant/locale_fixture.h"
#include "variant/numtext.h"

namespace {

class ParamNumberText : public zrtest::NumericLocaleTest {};
ZR_INSTANTIATE_LOCALES(ParamNumberText);

TEST_P(ParamNumberText, IntegersStopWhereTheRunTimeStops) {
  const struct {
    const char* text;
    int base;
    std::int64_t signedValue;     // StrToL32
    std::uint32_t unsignedValue;  // StrToUL32
    int consumed;                 // both
  } cases[] = {
      {"  -12abc", 10, -12, 4294967284u, 5},
      {"\t\n\v\f\r+7", 10, 7, 7, 7},
      {"0x1F", 16, 31, 31, 4},
      {"12", 16, 18, 18, 2},
      {"0", 16, 0, 0, 1},
      {"0x", 16, 0, 0, 0},  // the prefix alone converts nothing
      {"0xg", 16, 0, 0, 0},
      {"0x1F", 10, 0, 0, 1},  // base 10 stops at the x
      {"", 10, 0, 0, 0},
      {"-", 10, 0, 0, 0},
      {" x", 10, 0, 0, 0},
      {"1,5", 10, 1, 1, 1},
      {"2147483647", 10, INT32_MAX, 2147483647u, 10},
      {"2147483648", 10, INT32_MAX, 2147483648u, 10},
      {"-2147483648", 10, INT32_MIN, 2147483648u, 11},
      {"-2147483649", 10, INT32_MIN, 2147483647u, 11},
      {"4294967295", 10, INT32_MAX, 4294967295u, 10},
      {"-1", 10, -1, 4294967295u, 2},
      {"-4294967295", 10, INT32_MIN, 1u, 11},
      {"4294967296", 10, INT32_MAX, 4294967295u, 10},
      {"-4294967296", 10, INT32_MIN, 4294967295u, 11},
      {"99999999999999999999x", 10, INT32_MAX, 4294967295u, 20},
      {"ffffffff", 16, INT32_MAX, 4294967295u, 8},
      {"-80000000", 16, INT32_MIN, 2147483648u, 9},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const char* end = nullptr;
    EXPECT_EQ(zr::StrToL32(c.text, &end, c.base), c.signedValue);
    EXPECT_EQ(end - c.text, c.consumed);
    EXPECT_EQ(zr::StrToUL32(c.text, &end, c.base), c.unsignedValue);
    EXPECT_EQ(end - c.text, c.consumed);
  }
}

TEST_P(ParamNumberText, RealsStopWhereTheRunTimeStops) {
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    const char* text;
    double value;  // NaN: any NaN of that sign
    int consumed;
  } cases[] = {
      {"1.5", 1.5, 3},        {" -2.5e3x", -2500, 7},
      {"1.e-002", 0.01, 7},   {"0x1.8p1", 3, 7},
      {"0x", 0, 1},           {"1e", 1, 1},
      {".5", 0.5, 2},         {".", 0, 0},
      {"1,5", 1, 1},          {"", 0, 0},
      {"e5", 0, 0},           {"inf", inf, 3},
      {"-infinity", -inf, 9}, {"infinit", inf, 3},
      {"nan", NAN, 3},        {"-nan(ind),1", -NAN, 9},
      {"nan(", NAN, 3},       {"1e999", inf, 5},
      {"1e-999", 0, 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const char* end = nullptr;
    const double value = zr::StrToD(c.text, &end);
    EXPECT_EQ(end - c.text, c.consumed);
    if (std::isnan(c.value)) {
      EXPECT_TRUE(std::isnan(value));
      EXPECT_EQ(std::signbit(value), std::signbit(c.value));
    } else {
      EXPECT_EQ(value, c.value);
    }
  }
}

// Every form of the real format, with expectations worked out from the
// exact binary values (half away from zero at the 14th digit).
TEST_P(ParamNumberText, RealsAreWrittenAsGcvtWritesThem) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {1.5, "1.5"},                                 // fixed, m = 0
      {0.1, "0.1"},                                 // fixed, m = -1
      {1.0 / 3, "0.33333333333333"},                // m = -1: 14 decimals
      {100, "100."},                                // the point stays
      {12345678901234.0, "12345678901234."},        // m = 13: no decimals
      {1e14, "1.e+014"},                            // m = 14: exponent form
      {0.01, "1.e-002"},                            // m = -2: exponent form
      {123456789012345.0, "1.2345678901235e+014"},  // an exact tie goes away from zero
      {99999999999999.5, "1.e+014"},                // the tie carries into m
      {0.0999999999999999, "0.1"},                  // rounding changes m
      {0.123456789012345, "0.12345678901234"},      // below the tie: the exact digits decide
      {0x1p-20, "9.5367431640625e-007"},
      {1.7976931348623157e308, "1.7976931348623e+308"},
      {5e-324, "4.9406564584125e-324"},
      {-1.5, "-1.5"},
      {0.0, "0."},
      {-0.0, "-0."},
      {static_cast<double>(0.1f), "0.10000000149012"},
      {std::numeric_limits<double>::infinity(), "inf"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
      {std::numeric_limits<double>::quiet_NaN(), "nan"},
      {-std::numeric_limits<double>::quiet_NaN(), "-nan(ind)"},
  };
  for (const auto& c : cases) {
    char text[zr::kGcvtTextMax];
    const int length = zr::PrintGcvt(c.value, text);
    EXPECT_STREQ(text, c.text);
    EXPECT_EQ(length, static_cast<int>(std::strlen(c.text)));
    // The real rule reads every form back.
    const char* end = nullptr;
    const double back = zr::StrToD(text, &end);
    EXPECT_EQ(*end, 0) << c.text;
    if (!std::isnan(c.value) && std::isfinite(c.value) && std::fabs(c.value) >= 1e-300) {
      EXPECT_NEAR(back, c.value, std::fabs(c.value) * 1e-13) << c.text;
    }
  }
}

}  // namespace
