// The numeric rules of ZRVariantChangeType (rounding, truncation, the shift
// between rectangle forms) and how it treats text it already holds and null
// text.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "tests/variant/variant_test_util.h"

namespace {

constexpr LONG kMin = std::numeric_limits<LONG>::min();
constexpr LONG kMax = std::numeric_limits<LONG>::max();
const double kNan = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
const float kFloatInf = std::numeric_limits<float>::infinity();

TEST(ConversionRules, DoubleGeometryRounding) {
  struct { double in; LONG out; } const cases[] = {
      {2.5, 3},     {-2.5, -2},   {-2.6, -3},   {2.4999, 2},          {-0.5, 0},           {-0.5000001, -1},
      {-0.0, 0},    {1e10, kMin}, {kNan, kMin}, {kInf, kMin},         {2147483646.6, kMax}, {2147483647.5, kMin}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    CZRVariant point(tagRPOINT{c.in, 1.0}), size(tagRSIZE{1.0, c.in});
    ASSERT_EQ(point.ChangeType(ZRVT_POINT), 1);
    ASSERT_EQ(size.ChangeType(ZRVT_SIZE), 1);
    EXPECT_EQ(point.ptVal.x, c.out);
    EXPECT_EQ(size.sizeVal.cy, c.out);
  }
}

TEST(ConversionRules, RectangleFormsShiftTheFarEdgesByOne) {
  struct { tagRRECT d; tagRECT i; } const toInt[] = {
      {{0, 0, 9, 9}, {0, 0, 10, 10}},
      {{-2.5, 2.5, -0.6, 3.4}, {-2, 3, 0, 4}},
      {{0, 0, 2147483647.0, 0}, {0, 0, kMin, 1}},  // 32-bit arithmetic wraps
  };
  for (const auto& c : toInt) {
    CZRVariant v(c.d);
    ASSERT_EQ(v.ChangeType(ZRVT_RECT), 1);
    // Member by member: equality would let any two empty rectangles pass.
    EXPECT_EQ(std::memcmp(&v.rcVal, &c.i, sizeof c.i), 0) << ::testing::PrintToString(v);
  }
  CZRVariant back(tagRECT{0, 0, 10, 10}), wrap(tagRECT{kMin, kMax, kMin, 0});
  ASSERT_EQ(back.ChangeType(ZRVT_RRECT), 1);
  EXPECT_TRUE(back == CZRVariant(tagRRECT{0, 0, 9, 9}));
  ASSERT_EQ(wrap.ChangeType(ZRVT_RRECT), 1);
  EXPECT_EQ(wrap.rrcVal.right, static_cast<double>(kMax));
  EXPECT_EQ(wrap.rrcVal.bottom, -1.0);
}

TEST(ConversionRules, FloatingPointToNumbers) {
  struct {
    double in;
    INT asInt;    // truncated to 32 bits, INT_MIN out of range
    UINT asUInt;  // truncated to 64 bits, low 32 bits kept
    int asBool;
  } const cases[] = {
      {2.9, 2, 2u, 1},          {-2.9, -2, 0xFFFFFFFEu, 1},         {2147483647.9, kMax, 0x7FFFFFFFu, 1},
      {1e19, kMin, 0u, 1},      {2147483648.0, kMin, 0x80000000u, 1}, {-2147483649.0, kMin, 0x7FFFFFFFu, 1},
      {-0.0, 0, 0u, 0},         {4294967296.5, kMin, 0u, 1},        {kNan, kMin, 0u, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    CZRVariant d(c.in), out;
    ASSERT_EQ(out.ChangeType(ZRVT_INT, &d), 1);
    EXPECT_EQ(out.intVal, c.asInt);
    ASSERT_EQ(out.ChangeType(ZRVT_LONG, &d), 1);
    EXPECT_EQ(out.lVal, c.asInt);
    ASSERT_EQ(out.ChangeType(ZRVT_UINT, &d), 1);
    EXPECT_EQ(out.uintVal, c.asUInt);
    ASSERT_EQ(out.ChangeType(ZRVT_BOOL, &d), 1);
    EXPECT_EQ(out.boolVal, c.asBool);
  }
  // Narrowing: beyond float's range (halfway past its largest value) is
  // infinite, and the sign of a NaN survives.
  struct { double in; float out; } const narrow[] = {
      {0x1.ffffffp127, kFloatInf}, {std::nextafter(0x1.ffffffp127, 0.0), std::numeric_limits<float>::max()},
      {-1e300, -kFloatInf}};
  for (const auto& c : narrow) {
    CZRVariant d(c.in);
    ASSERT_EQ(d.ChangeType(ZRVT_FLOAT), 1);
    EXPECT_EQ(d.fltVal, c.out) << c.in;
  }
  CZRVariant nan(-kNan);
  ASSERT_EQ(nan.ChangeType(ZRVT_FLOAT), 1);
  EXPECT_TRUE(std::isnan(nan.fltVal) && std::signbit(nan.fltVal));
}

TEST(ConversionRules, TextAndNullText) {
  // To its own type through the class: nothing is touched.
  CZRVariant v("  42xyz");
  const char* before = v.pszVal;
  EXPECT_EQ(v.ChangeType(ZRVT_STR), 1);
  EXPECT_EQ(v.pszVal, before);
  // A null text stays null in its own width, fails as a number, and is ""
  // across widths (it goes through the string classes).
  CZRVariant null(static_cast<const char*>(nullptr)), nullWide(static_cast<const WCHAR*>(nullptr)), out;
  ASSERT_EQ(out.ChangeType(ZRVT_STR, &null), 1);
  EXPECT_EQ(out.pszVal, nullptr);
  EXPECT_EQ(out.ChangeType(ZRVT_INT, &null), 0);
  EXPECT_EQ(out.ChangeType(ZRVT_DOUBLE, &null), 0);
  ASSERT_EQ(out.ChangeType(ZRVT_WSTR, &null), 1);
  EXPECT_EQ(zrtest::Wide(out.pwszVal), u"");
  ASSERT_EQ(out.ChangeType(ZRVT_STR, &nullWide), 1);
  ASSERT_NE(out.pszVal, nullptr);
  EXPECT_STREQ(out.pszVal, "");
  EXPECT_EQ(ZRVariantChangeType(nullptr, &null, ZRVT_INT), 0);
  EXPECT_EQ(ZRVariantChangeType(&out, nullptr, ZRVT_INT), 0);
}

}  // namespace
