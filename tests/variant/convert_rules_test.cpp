// The numeric rules of ZRVariantChangeType: rounding, truncation, and the
// shift between rectangle forms.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "tests/variant/variant_test_util.h"

namespace {

constexpr LONG kMin = std::numeric_limits<LONG>::min();
constexpr LONG kMax = std::numeric_limits<LONG>::max();
const double kNan = std::numeric_limits<double>::quiet_NaN();

TEST(ConversionRules, DoubleGeometryRoundsAndRectanglesShiftTheFarEdges) {
  const struct { double in; LONG out; } cases[] = {
      {2.5, 3}, {-2.5, -2}, {-2.6, -3}, {-0.5, 0}, {-0.5000001, -1}, {1e10, kMin}, {kNan, kMin},
      {2147483646.6, kMax}, {2147483647.5, kMin}};
  for (const auto& c : cases) {
    CZRVariant point(tagRPOINT{c.in, 1.0}), size(tagRSIZE{1.0, c.in});
    ASSERT_EQ(point.ChangeType(ZRVT_POINT), 1);
    ASSERT_EQ(size.ChangeType(ZRVT_SIZE), 1);
    EXPECT_EQ(point.ptVal.x, c.out) << c.in;
    EXPECT_EQ(size.sizeVal.cy, c.out) << c.in;
  }
  const struct { tagRRECT d; tagRECT i; } rects[] = {
      {{-2.5, 2.5, -0.6, 3.4}, {-2, 3, 0, 4}}, {{0, 0, 2147483647.0, 0}, {0, 0, kMin, 1}}};  // 32 bits wrap
  for (const auto& c : rects) {
    CZRVariant v(c.d);
    ASSERT_EQ(v.ChangeType(ZRVT_RECT), 1);
    EXPECT_EQ(std::memcmp(&v.rcVal, &c.i, sizeof c.i), 0) << ::testing::PrintToString(v);
  }
  CZRVariant wrap(tagRECT{kMin, kMax, kMin, 0});
  ASSERT_EQ(wrap.ChangeType(ZRVT_RRECT), 1);
  EXPECT_EQ(wrap.rrcVal.right, static_cast<double>(kMax));
  EXPECT_EQ(wrap.rrcVal.bottom, -1.0);
}

TEST(ConversionRules, FloatingPointToNumbers) {
  const struct {
    double in;
    INT asInt;    // truncated to 32 bits, INT_MIN out of range
    UINT asUInt;  // truncated to 64 bits, low 32 bits kept
    int asBool;
  } cases[] = {{-2.9, -2, 0xFFFFFFFEu, 1}, {2147483647.9, kMax, 0x7FFFFFFFu, 1}, {1e19, kMin, 0u, 1},
               {-2147483649.0, kMin, 0x7FFFFFFFu, 1}, {-0.0, 0, 0u, 0}, {kNan, kMin, 0u, 0}};
  for (const auto& c : cases) {
    CZRVariant d(c.in), i, u, b;
    ASSERT_EQ(i.ChangeType(ZRVT_INT, &d) + u.ChangeType(ZRVT_UINT, &d) + b.ChangeType(ZRVT_BOOL, &d), 3);
    EXPECT_EQ(i.intVal, c.asInt) << c.in;
    EXPECT_EQ(u.uintVal, c.asUInt) << c.in;
    EXPECT_EQ(b.boolVal, c.asBool) << c.in;
  }
  // Narrowing: halfway past float's largest value is infinite; the sign of
  // a NaN survives.
  CZRVariant big(0x1.ffffffp127), below(std::nextafter(0x1.ffffffp127, 0.0)), nan(-kNan);
  ASSERT_EQ(big.ChangeType(ZRVT_FLOAT) + below.ChangeType(ZRVT_FLOAT) + nan.ChangeType(ZRVT_FLOAT), 3);
  EXPECT_EQ(big.fltVal, std::numeric_limits<float>::infinity());
  EXPECT_EQ(below.fltVal, std::numeric_limits<float>::max());
  EXPECT_TRUE(std::isnan(nan.fltVal) && std::signbit(nan.fltVal));
}

}  // namespace
