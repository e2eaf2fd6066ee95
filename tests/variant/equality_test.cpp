// Equality of variants (exact for numbers and text, within 0.001 for double
// geometry, any two empty rectangles alike) and of blobs.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/variant/variant_test_util.h"

namespace {

TEST(VariantEquality, Table) {
  BYTE x[] = {1, 2, 3}, z[] = {1, 2, 4};
  auto* object = new zrtest::CCounted;
  auto* other = new zrtest::CCounted;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Pair { const char* what; CZRVariant a; CZRVariant b; int equal; } pairs[] = {
      {"empty", CZRVariant(), CZRVariant(), 1},
      {"int and long", CZRVariant(1), CZRVariant(1L), 0},
      {"bool values", CZRVariant(3, ZRVT_BOOL), CZRVariant(1, ZRVT_BOOL), 1},
      {"double, no tolerance", CZRVariant(1.0), CZRVariant(1.0000001), 0},
      {"double zeros", CZRVariant(0.0), CZRVariant(-0.0), 1},
      {"double NaN", CZRVariant(nan), CZRVariant(nan), 0},
      {"text", CZRVariant("abc"), CZRVariant("abc"), 1},
      {"null texts", CZRVariant(static_cast<const char*>(nullptr)), CZRVariant(static_cast<const char*>(nullptr)), 1},
      {"null and empty text", CZRVariant(static_cast<const char*>(nullptr)), CZRVariant(""), 0},
      {"wide null", CZRVariant(u""), CZRVariant(static_cast<const WCHAR*>(nullptr)), 0},
      {"rpoint within", CZRVariant(tagRPOINT{1.0, 2.0}), CZRVariant(tagRPOINT{1.0005, 1.9995}), 1},
      {"rpoint beyond", CZRVariant(tagRPOINT{1.0, 2.0}), CZRVariant(tagRPOINT{1.002, 2.0}), 0},
      {"rects both empty", CZRVariant(tagRECT{5, 5, 1, 1}), CZRVariant(tagRECT{0, 0, 0, 0}), 1},
      {"rect one empty", CZRVariant(tagRECT{0, 0, 0, 0}), CZRVariant(tagRECT{0, 0, 1, 1}), 0},
      {"rrect within", CZRVariant(tagRRECT{0, 0, 1, 1}), CZRVariant(tagRRECT{0.0009, 0, 1, 0.9991}), 1},
      // A double rectangle includes its far edges: zero width is not empty.
      {"rrect point-sized", CZRVariant(tagRRECT{0, 0, 0, 0}), CZRVariant(tagRRECT{5, 5, 5, 5}), 0},
      {"rrects both empty", CZRVariant(tagRRECT{5, 0, 1, 1}), CZRVariant(tagRRECT{0, 7, 3, 2}), 1},
      {"blob last byte", CZRVariant(tagZRBLOB{3, x}), CZRVariant(tagZRBLOB{3, z}), 0},
      {"object", CZRVariant(static_cast<IZRUnknown*>(object)), CZRVariant(static_cast<IZRUnknown*>(object)), 1},
      {"objects", CZRVariant(static_cast<IZRUnknown*>(object)), CZRVariant(static_cast<IZRUnknown*>(other)), 0},
      // A code above the ordinary range equals nothing but itself.
      {"unknown codes", zrtest::Adopt(zrtest::Record(25)), zrtest::Adopt(zrtest::Record(25)), 0},
  };
  for (Pair& p : pairs) {
    SCOPED_TRACE(p.what);
    EXPECT_EQ(p.a == p.b, p.equal);
    EXPECT_EQ(p.b == static_cast<const tagZRVARIANT&>(p.a), p.equal);
    EXPECT_EQ(p.a == static_cast<const tagZRVARIANT*>(&p.b), p.equal);
    EXPECT_EQ(p.a != p.b, !p.equal);
    // A copy equals its source, except for a NaN and an unknown code, which
    // equal only the same record.
    const bool selfOnly = (p.a.vt == ZRVT_DOUBLE && std::isnan(p.a.dblVal)) || p.a.vt > ZRVT_LASTORDINARY;
    EXPECT_EQ(CZRVariant(p.a) == p.a, selfOnly ? 0 : 1);
    EXPECT_EQ(p.a == p.a, 1);
  }
  EXPECT_EQ(pairs[0].a == static_cast<const tagZRVARIANT*>(nullptr), 0);
  for (auto& p : pairs) p.a.Clear(), p.b.Clear();
  object->Release();
  other->Release();
}

TEST(Blob, Equality) {
  BYTE x[] = {1, 2, 3}, y[] = {1, 2, 3}, z[] = {1, 2, 9};
  // Size 0: no bytes to compare, whether or not there is data.
  struct Case { tagZRBLOB a, b; int equal; } cases[] = {
      {{3, x}, {3, y}, 1},       {{3, x}, {3, z}, 0},        {{2, x}, {2, z}, 1},       {{2, x}, {3, x}, 0},
      {{0, nullptr}, {0, nullptr}, 1}, {{4, nullptr}, {4, nullptr}, 1}, {{3, nullptr}, {3, x}, 0},
      {{0, x}, {0, nullptr}, 1}, {{0, x}, {0, z}, 1}};
  for (const Case& c : cases) {
    ZRBlob a(c.a), b(c.b);
    EXPECT_EQ(a == c.b, c.equal);
    EXPECT_EQ(b == &c.a, c.equal);
    EXPECT_EQ(a != b, !c.equal);
  }
  EXPECT_EQ(ZRBlob(3) == static_cast<const tagZRBLOB*>(nullptr), 0);
  // A zero-length array and no array at all; through variants alike.
  EXPECT_EQ(ZRBlob(0u) == ZRBlob(), 1);
  EXPECT_EQ(CZRVariant(tagZRBLOB{0, x}) == CZRVariant(tagZRBLOB{0, nullptr}), 1);
}

}  // namespace
