// CZRVariant: assignments from the variant itself, the conversion
// operators, and the plain record's init and clear.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/variant/variant_test_util.h"

namespace {

using zrtest::CCounted;

TEST(CZRVariant, ArgumentsInsideTheVariantAreReadFirstAndConversionOperators) {
  BYTE bytes[] = {1, 2, 3};
  CZRVariant text("self"), blob(tagZRBLOB{3, bytes});
  text = text.pszVal + 2;
  EXPECT_STREQ(text.pszVal, "lf");
  CZRVariant& alias = text;
  text = alias;
  EXPECT_STREQ(text.pszVal, "lf");
  blob = static_cast<tagZRBLOB>(blob);
  EXPECT_EQ(blob.blobVal.pBlobData[2], 3);

  int destroyed = 0;
  auto* object = new CCounted(&destroyed);
  CZRVariant held(static_cast<IZRUnknown*>(object));
  object->Release();  // the variant holds the only reference
  held = static_cast<IZRUnknown*>(held);
  EXPECT_EQ(destroyed, 0);
  held = 5;
  EXPECT_EQ(destroyed, 1);
  // Each operator reads the union as its type; only the wide text operator
  // converts narrow text, once and in place.
  CZRVariant v(-2);
  EXPECT_EQ(static_cast<long>(v), -2L);                    // sign-extended
  EXPECT_EQ(static_cast<unsigned long>(v), 0xFFFFFFFEul);  // zero-extended
  EXPECT_EQ(static_cast<unsigned char>(v), 0xFEu);
  tagZRBLOB out = blob;
  EXPECT_EQ(out.pBlobData, blob.blobVal.pBlobData);  // the variant's own data

  CZRVariant abc("abc"), null(static_cast<const char*>(nullptr)), number(5);
  WCHAR* wide = abc;
  EXPECT_EQ(zrtest::Wide(wide), u"abc");
  EXPECT_EQ(abc.vt, ZRVT_WSTR);
  EXPECT_EQ(abc.pwszVal, wide);
  EXPECT_EQ(static_cast<WCHAR*>(abc), wide);  // no second conversion
  EXPECT_EQ(zrtest::Wide(null), u"");
  (void)static_cast<WCHAR*>(number);
  EXPECT_EQ(number.vt, ZRVT_INT);
}

// Init zeroes raw memory; Clear frees what the variant owns, releases a held
// object (not a borrowed one) and zeroes the record.
TEST(VariantRecord, InitAndClear) {
  tagZRVARIANT zero = zrtest::Record(ZRVT_EMPTY), v;
  std::memset(&v, 0xAB, sizeof v);
  ZRVariantInit(&v);
  EXPECT_EQ(std::memcmp(&v, &zero, sizeof v), 0);
  int destroyed = 0;
  tagZRVARIANT borrowed = zrtest::Record(ZRVT_UNKNOWN_BORROWED), held = zrtest::Record(ZRVT_UNKNOWN);
  borrowed.punkVal = held.punkVal = new CCounted(&destroyed);  // held takes the creation reference
  CZRVariant text("text"), blob(tagZRBLOB{4, nullptr});
  for (tagZRVARIANT* r : {static_cast<tagZRVARIANT*>(&text), static_cast<tagZRVARIANT*>(&blob), &borrowed, &held}) {
    ZRVariantClear(r);
    EXPECT_EQ(std::memcmp(r, &zero, sizeof zero), 0);
    EXPECT_EQ(destroyed, r == &held ? 1 : 0);
  }
}

}  // namespace
