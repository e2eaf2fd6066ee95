// The numeric rules of ZRVariantChangeType (rounding, truncation, the shift
// between rectangle forms) and how it treats text and objects.
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

TEST(ConversionRules, DoubleGeometryRounding) {
  struct Case {
    double in;
    LONG out;
  } cases[] = {{2.5, 3},          {-2.5, -2},      {-2.6, -3},   {2.4999, 2},    {-0.5, 0},
               {-0.5000001, -1},  {-0.0, 0},       {1e10, kMin}, {kNan, kMin},   {kInf, kMin},
               {2147483646.6, kMax}, {2147483647.5, kMin}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    CZRVariant point(tagRPOINT{c.in, 1.0}), size(tagRSIZE{1.0, c.in});
    ASSERT_EQ(point.ChangeType(ZRVT_POINT), 1);
    ASSERT_EQ(size.ChangeType(ZRVT_SIZE), 1);
    EXPECT_EQ(point.ptVal.x, c.out);
    EXPECT_EQ(size.sizeVal.cy, c.out);
  }
}

TEST(ConversionRules, RectangleFormsShiftTheFarEdgesByOne) {
  struct Case {
    tagRRECT d;
    tagRECT i;
  } toInt[] = {
      {{0, 0, 9, 9}, {0, 0, 10, 10}},
      {{-2.5, 2.5, -0.6, 3.4}, {-2, 3, 0, 4}},
      {{0, 0, 2147483647.0, 0}, {0, 0, kMin, 1}},  // 32-bit arithmetic wraps
  };
  for (const Case& c : toInt) {
    CZRVariant v(c.d);
    ASSERT_EQ(v.ChangeType(ZRVT_RECT), 1);
    // Member by member: equality would let any two empty rectangles pass.
    EXPECT_EQ(std::memcmp(&v.rcVal, &c.i, sizeof c.i), 0) << ::testing::PrintToString(v);
  }
  CZRVariant back(tagRECT{0, 0, 10, 10});
  ASSERT_EQ(back.ChangeType(ZRVT_RRECT), 1);
  EXPECT_TRUE(back == CZRVariant(tagRRECT{0, 0, 9, 9}));
  CZRVariant wrap(tagRECT{kMin, kMax, kMin, 0});
  ASSERT_EQ(wrap.ChangeType(ZRVT_RRECT), 1);
  EXPECT_EQ(wrap.rrcVal.right, static_cast<double>(kMax));
  EXPECT_EQ(wrap.rrcVal.bottom, -1.0);
}

TEST(ConversionRules, FloatingPointToNumbers) {
  struct Case {
    double in;
    INT asInt;    // truncated to 32 bits, INT_MIN out of range
    UINT asUInt;  // truncated to 64 bits, low 32 bits kept
    int asBool;
  } cases[] = {
      {2.9, 2, 2u, 1},
      {-2.9, -2, 0xFFFFFFFEu, 1},
      {2147483647.9, kMax, 0x7FFFFFFFu, 1},
      {2147483648.0, kMin, 0x80000000u, 1},
      {-2147483649.0, kMin, 0x7FFFFFFFu, 1},
      {4294967296.5, kMin, 0u, 1},
      {1e19, kMin, 0u, 1},
      {-0.0, 0, 0u, 0},
      {kNan, kMin, 0u, 0},
  };
  for (const Case& c : cases) {
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
  struct Narrow {
    double in;
    float out;
  } narrow[] = {{0x1.ffffffp127, std::numeric_limits<float>::infinity()},
                {std::nextafter(0x1.ffffffp127, 0.0), std::numeric_limits<float>::max()},
                {-1e300, -std::numeric_limits<float>::infinity()}};
  for (const Narrow& c : narrow) {
    CZRVariant d(c.in);
    ASSERT_EQ(d.ChangeType(ZRVT_FLOAT), 1);
    EXPECT_EQ(d.fltVal, c.out) << c.in;
  }
  CZRVariant nan(-kNan);
  ASSERT_EQ(nan.ChangeType(ZRVT_FLOAT), 1);
  EXPECT_TRUE(std::isnan(nan.fltVal) && std::signbit(nan.fltVal));
}

TEST(ConversionRules, TextInPlace) {
  // To its own type through the class: nothing is touched.
  CZRVariant v("  42xyz");
  const char* before = v.pszVal;
  EXPECT_EQ(v.ChangeType(ZRVT_STR), 1);
  EXPECT_EQ(v.pszVal, before);
  ASSERT_EQ(v.ChangeType(ZRVT_INT), 1);
  EXPECT_EQ(v.intVal, 42);
  // Text that does not parse stays; "Yes" is not a boolean.
  for (const char* text : {"xyz", "Yes"}) {
    CZRVariant bad(text);
    EXPECT_EQ(bad.ChangeType(text[0] == 'Y' ? ZRVT_BOOL : ZRVT_INT), 0);
    ASSERT_EQ(bad.vt, ZRVT_STR);
    EXPECT_STREQ(bad.pszVal, text);
  }
  // Between widths and back.
  CZRVariant abc("abc");
  ASSERT_EQ(abc.ChangeType(ZRVT_WSTR), 1);
  EXPECT_EQ(zrtest::Wide(abc.pwszVal), u"abc");
  ASSERT_EQ(abc.ChangeType(ZRVT_STR), 1);
  EXPECT_STREQ(abc.pszVal, "abc");
}

TEST(ConversionRules, NullText) {
  CZRVariant null(static_cast<const char*>(nullptr)), out;
  ASSERT_EQ(out.ChangeType(ZRVT_STR, &null), 1);
  EXPECT_EQ(out.pszVal, nullptr);
  EXPECT_EQ(out.ChangeType(ZRVT_INT, &null), 0);
  EXPECT_EQ(out.ChangeType(ZRVT_DOUBLE, &null), 0);
  // Across widths it goes through the string classes: "".
  ASSERT_EQ(out.ChangeType(ZRVT_WSTR, &null), 1);
  EXPECT_EQ(zrtest::Wide(out.pwszVal), u"");
  CZRVariant nullWide(static_cast<const WCHAR*>(nullptr));
  ASSERT_EQ(out.ChangeType(ZRVT_STR, &nullWide), 1);
  ASSERT_NE(out.pszVal, nullptr);
  EXPECT_STREQ(out.pszVal, "");
  EXPECT_EQ(ZRVariantChangeType(nullptr, &null, ZRVT_INT), 0);
  EXPECT_EQ(ZRVariantChangeType(&out, nullptr, ZRVT_INT), 0);
}

TEST(ConversionRules, BorrowedObjects) {
  auto* object = new zrtest::CCounted;
  {
    CZRVariant held(static_cast<IZRUnknown*>(object)), borrowed;
    ASSERT_EQ(borrowed.ChangeType(ZRVT_UNKNOWN_BORROWED, &held), 1);
    EXPECT_EQ(borrowed.punkVal, object);
    EXPECT_EQ(object->Count(), 2u);
    // Copied as a plain pointer and cleared without a release.
    CZRVariant copy(borrowed);
    EXPECT_EQ(copy.punkVal, object);
    copy.Clear();
    borrowed.Clear();
    EXPECT_EQ(object->Count(), 2u);
    // In place, the variant's own reference goes.
    ASSERT_EQ(held.ChangeType(ZRVT_UNKNOWN_BORROWED), 1);
    EXPECT_EQ(object->Count(), 1u);
    EXPECT_EQ(held.punkVal, object);
  }
  EXPECT_EQ(object->Release(), 0u);
}

}  // namespace
