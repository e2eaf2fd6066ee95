// The plain record's free functions (init, clear, copy) and ZRBlob.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/variant/variant_test_util.h"

namespace {

using zrtest::CCounted;
using zrtest::Record;

bool AllZero(const tagZRVARIANT& v) {
  const tagZRVARIANT zero = Record(ZRVT_EMPTY);
  return std::memcmp(&v, &zero, sizeof v) == 0;
}

TEST(VariantRecord, InitAndClear) {
  tagZRVARIANT v;
  std::memset(&v, 0xAB, sizeof v);
  ZRVariantInit(&v);
  EXPECT_TRUE(AllZero(v));
  // Owned buffers are freed (the leak checker sees them) and the record
  // zeroed; the borrowed form is not released.
  int destroyed = 0;
  auto* object = new CCounted(&destroyed);
  tagZRVARIANT borrowed = Record(ZRVT_UNKNOWN_BORROWED);
  borrowed.punkVal = object;
  tagZRVARIANT held = Record(ZRVT_UNKNOWN);
  held.punkVal = object;  // takes over the creation reference
  CZRVariant text("text"), wide(u"wide"), blob(tagZRBLOB{4, nullptr});
  for (tagZRVARIANT* r : {static_cast<tagZRVARIANT*>(&text), static_cast<tagZRVARIANT*>(&wide),
                          static_cast<tagZRVARIANT*>(&blob), &borrowed, &held}) {
    ZRVariantClear(r);
    EXPECT_TRUE(AllZero(*r));
    EXPECT_EQ(destroyed, r == &held ? 1 : 0);
  }
  ZRVariantInit(nullptr);
  ZRVariantClear(nullptr);
}

TEST(VariantRecord, CopyIsIndependent) {
  int destroyed = 0;
  auto* object = new CCounted(&destroyed);
  BYTE bytes[] = {1, 2, 3};
  CZRVariant sources[] = {"abc", u"xyz", tagZRBLOB{3, bytes}, static_cast<IZRUnknown*>(object)};
  object->Release();
  CZRVariant dest(static_cast<IZRUnknown*>(object));  // the copy clears it first
  for (CZRVariant& src : sources) {
    ZRVariantCopy(&dest, &src);
    EXPECT_TRUE(dest == src);
    EXPECT_TRUE(src.vt != ZRVT_BLOB || dest.blobVal.pBlobData != src.blobVal.pBlobData);
    EXPECT_TRUE((src.vt != ZRVT_STR && src.vt != ZRVT_WSTR) || dest.pszVal != src.pszVal);
  }
  EXPECT_EQ(object->Count(), 2u);
  dest = 1;
  EXPECT_EQ(object->Count(), 1u);
  // Null members stay null, the size of a blob without data is kept, the
  // borrowed form and unknown codes are copied as they are.
  CZRVariant nullBlob(tagZRBLOB{5, nullptr});
  ZRVariantCopy(&dest, &nullBlob);
  EXPECT_EQ(dest.blobVal.cbSize, 5u);
  EXPECT_EQ(dest.blobVal.pBlobData, nullptr);
  tagZRVARIANT code = Record(0x4000);
  code.punkVal = object;
  ZRVariantCopy(&dest, &code);
  EXPECT_EQ(std::memcmp(static_cast<tagZRVARIANT*>(&dest), &code, sizeof code), 0);
  EXPECT_EQ(object->Count(), 1u);
  // Onto itself the value stays; from null the destination empties.
  CZRVariant self("self");
  ZRVariantCopy(&self, &self);
  EXPECT_STREQ(self.pszVal, "self");
  ZRVariantCopy(&self, nullptr);
  EXPECT_EQ(self.vt, ZRVT_EMPTY);
  for (CZRVariant& s : sources) s.Clear();
  EXPECT_EQ(destroyed, 1);
}

TEST(Blob, ConstructionAssignmentAndClear) {
  ZRBlob zeros(5);
  ASSERT_EQ(zeros.cbSize, 5u);
  EXPECT_EQ(std::memcmp(zeros.pBlobData, "\0\0\0\0\0", 5), 0);
  BYTE bytes[] = {4, 5, 6};
  tagZRBLOB record{3, bytes};
  ZRBlob fromRef(record), fromPtr(&record), fromBlob(fromRef);
  for (const ZRBlob* b : {&fromRef, &fromPtr, &fromBlob}) {
    EXPECT_NE(b->pBlobData, bytes);
    EXPECT_TRUE(*b == record);
  }
  EXPECT_NE(fromBlob.pBlobData, fromRef.pBlobData);
  ZRBlob sizeOnly(tagZRBLOB{8, nullptr}), fromNull(static_cast<const tagZRBLOB*>(nullptr));
  EXPECT_EQ(sizeOnly.cbSize, 8u);
  EXPECT_EQ(sizeOnly.pBlobData, nullptr);
  EXPECT_EQ(fromNull.cbSize, 0u);

  zeros = &record;  // the zeros are freed
  EXPECT_TRUE(zeros == record);
  ZRBlob& alias = zeros;
  zeros = alias;
  EXPECT_TRUE(zeros == record);
  tagZRBLOB shared{2, zeros.pBlobData + 1};  // read before the old data goes
  zeros = &shared;
  ASSERT_EQ(zeros.cbSize, 2u);
  EXPECT_EQ(zeros.pBlobData[1], 6);
  zeros.Clear();
  EXPECT_EQ(zeros.cbSize, 0u);
  EXPECT_EQ(zeros.pBlobData, nullptr);
}

}  // namespace
