// ZRVariantBindFromValue and ZRVariantBindToValue: variants to and from
// plain typed storage.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/variant/variant_test_util.h"

namespace {

using zrtest::CCounted;

struct PlainCase { unsigned short type; std::vector<unsigned char> bytes; };

template <class T>
PlainCase Plain(unsigned short type, const T& value) {
  PlainCase c{type, std::vector<unsigned char>(sizeof(T))};
  std::memcpy(c.bytes.data(), &value, sizeof(T));
  return c;
}

TEST(VariantBinding, PlainValuesBitForBit) {
  const PlainCase cases[] = {
      Plain(ZRVT_BOOL, 7),  // not made 0 or 1
      Plain(ZRVT_UI1, static_cast<unsigned char>(0xA5)), Plain(ZRVT_UI2, static_cast<unsigned short>(0xBEEF)),
      Plain(ZRVT_ULONG, 0xDEADBEEFu), Plain(ZRVT_INT, -123456), Plain(ZRVT_UINT, 0x80000000u),
      Plain(ZRVT_LONG, -1), Plain(ZRVT_DOUBLE, -1.0 / 3.0), Plain(ZRVT_FLOAT, 0.1f),
      Plain(ZRVT_SIZE, tagSIZE{-1, 2}), Plain(ZRVT_RSIZE, tagRSIZE{1.5, -2.5}), Plain(ZRVT_POINT, tagPOINT{3, -4}),
      Plain(ZRVT_RPOINT, tagRPOINT{0.25, 0.75}), Plain(ZRVT_RECT, tagRECT{1, 2, 3, 4}),
      Plain(ZRVT_RRECT, tagRRECT{-1, -2, -3, -4.5}),
  };
  // Through the class's members, which forward to the free functions.
  for (const PlainCase& c : cases) {
    SCOPED_TRACE(c.type);
    CZRVariant v("previous");  // freed by the bind
    ASSERT_EQ(v.BindFromValue(c.type, const_cast<unsigned char*>(c.bytes.data())), 1);
    EXPECT_EQ(v.vt, c.type);
    std::vector<unsigned char> value(32, 0), out(c.bytes.size() + 8, 0xCC);
    std::memcpy(value.data(), c.bytes.data(), c.bytes.size());
    EXPECT_EQ(std::memcmp(&v.dblVal, value.data(), 32), 0);  // the rest of the union zero
    // Out again: exactly the plain value's bytes, nothing beyond them.
    ASSERT_EQ(v.BindToValue(c.type, out.data()), 1);
    EXPECT_EQ(std::memcmp(out.data(), c.bytes.data(), c.bytes.size()), 0);
    EXPECT_EQ(out.back(), 0xCC);
  }
  // The caller names the type; plain types are read without a check.
  CZRVariant minusOne(-1);
  unsigned short low = 0;
  ASSERT_EQ(ZRVariantBindToValue(ZRVT_UI2, &low, &minusOne), 1);
  EXPECT_EQ(low, 0xFFFF);
}

TEST(VariantBinding, ObjectsAreCountedAndBlobsTakenOverAndLent) {
  int destroyed = 0;
  auto* object = new CCounted(&destroyed);
  {
    IZRUnknown* source = object;
    CZRVariant v;
    ASSERT_EQ(ZRVariantBindFromValue(ZRVT_UNKNOWN, &source, &v), 1);
    EXPECT_EQ(object->Count(), 2u);
    // The target's old object is released, the new one referenced.
    IZRUnknown* target = new CCounted(&destroyed);
    ASSERT_EQ(ZRVariantBindToValue(ZRVT_UNKNOWN, &target, &v), 1);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(target, object);
    EXPECT_EQ(object->Count(), 3u);
    // Already there: still one reference for the target.
    ASSERT_EQ(ZRVariantBindToValue(ZRVT_UNKNOWN, &target, &v), 1);
    EXPECT_EQ(object->Count(), 3u);
    target->Release();
    ASSERT_EQ(ZRVariantBindFromValue(ZRVT_UNKNOWN, &v.punkVal, &v), 1);
    EXPECT_EQ(object->Count(), 2u);
    // With the variant holding the only reference, binding out onto its own
    // member must reference before it releases.
    object->Release();
    ASSERT_EQ(ZRVariantBindToValue(ZRVT_UNKNOWN, &v.punkVal, &v), 1);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(object->Count(), 1u);
  }
  EXPECT_EQ(destroyed, 2);

  tagZRBLOB blob{3, new BYTE[3]{1, 2, 3}}, out{0, nullptr};
  CZRVariant v;
  ASSERT_EQ(ZRVariantBindFromValue(ZRVT_BLOB, &blob, &v), 1);
  EXPECT_EQ(v.blobVal.pBlobData, blob.pBlobData);  // freed by the variant
  ASSERT_EQ(ZRVariantBindToValue(ZRVT_BLOB, &out, &v), 1);
  EXPECT_EQ(out.pBlobData, blob.pBlobData);  // lent, not copied
  EXPECT_EQ(out.cbSize, 3u);
  // The variant's own blob bound back into it stays alive.
  ASSERT_EQ(ZRVariantBindFromValue(ZRVT_BLOB, &out, &v), 1);
  EXPECT_EQ(v.blobVal.pBlobData[2], 3);
}

// Detach resets only the type code: the emptied variant still carries the
// pointer it handed over, which binding out must not read.
TEST(VariantBinding, DetachedVariantsBindAsNull) {
  auto* object = new CCounted;
  BYTE bytes[] = {1, 2};
  CZRVariant text("text"), wide(u"wide"), held(static_cast<IZRUnknown*>(object)), blob(tagZRBLOB{2, bytes});
  tagZRVARIANT records[] = {text.Detach(), wide.Detach(), held.Detach(), blob.Detach()};
  char* narrowOut = nullptr;
  WCHAR* wideOut = nullptr;
  IZRUnknown* objectOut = nullptr;
  tagZRBLOB blobOut{7, bytes};
  EXPECT_EQ(ZRVariantBindToValue(ZRVT_STR, &narrowOut, &text), 1);
  EXPECT_EQ(ZRVariantBindToValue(ZRVT_WSTR, &wideOut, &wide), 1);
  EXPECT_EQ(ZRVariantBindToValue(ZRVT_UNKNOWN, &objectOut, &held), 1);
  EXPECT_EQ(ZRVariantBindToValue(ZRVT_BLOB, &blobOut, &blob), 1);
  EXPECT_TRUE(narrowOut == nullptr && wideOut == nullptr && objectOut == nullptr);
  EXPECT_EQ(object->Count(), 2u);  // the creation reference and the detached record's
  EXPECT_EQ(blobOut.cbSize, 0u);
  EXPECT_EQ(blobOut.pBlobData, nullptr);
  for (tagZRVARIANT& r : records) ZRVariantClear(&r);
  EXPECT_EQ(object->Release(), 0u);
}

}  // namespace
