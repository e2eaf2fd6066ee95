// CZRVariant: construction, assignment, the conversion operators and the
// transfer of ownership.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/variant/variant_test_util.h"

namespace {

using zrtest::CCounted;

struct Expect {
  unsigned short vt;
  ULONG bits;  // the first 32 bits of the value union
};

void Check(const CZRVariant& v, Expect want) {
  EXPECT_EQ(v.vt, want.vt);
  EXPECT_EQ(v.ulVal & (v.vt == ZRVT_UI1 ? 0xFFu : v.vt == ZRVT_UI2 ? 0xFFFFu : ~0u), want.bits);
}

TEST(CZRVariant, IntegerConstructors) {
  struct Case {
    const char* what;
    CZRVariant v;
    Expect want;
  } cases[] = {
      {"uchar", CZRVariant(static_cast<unsigned char>(200)), {ZRVT_UI1, 200}},
      {"uchar, bool", CZRVariant(static_cast<unsigned char>(200), ZRVT_BOOL), {ZRVT_BOOL, 1}},
      {"ushort", CZRVariant(static_cast<unsigned short>(60000)), {ZRVT_UI2, 60000}},
      {"int 5, 1", CZRVariant(5, 1), {ZRVT_BOOL, 1}},
      {"int 0, 1", CZRVariant(0, 1), {ZRVT_BOOL, 0}},
      // The selector picks only boolean or the natural type, never a width.
      {"int 5, 7", CZRVariant(5, 7), {ZRVT_INT, 5}},
      {"uint", CZRVariant(0xFFFFFFFFu), {ZRVT_UINT, 0xFFFFFFFFu}},
      {"long", CZRVariant(5L), {ZRVT_LONG, 5}},
      {"long, low 32 bits", CZRVariant(0x123456789L), {ZRVT_LONG, 0x23456789u}},
      {"long, bool of the whole value", CZRVariant(0x100000000L, ZRVT_BOOL), {ZRVT_BOOL, 1}},
      {"ulong, low 32 bits", CZRVariant(0xFFFFFFFF00000003ul), {ZRVT_ULONG, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Check(c.v, c.want);
  }
}

TEST(CZRVariant, IntegerAssignments) {
  struct Case {
    const char* what;
    CZRVariant start;
    void (*assign)(CZRVariant&);
    Expect want;
  } cases[] = {
      {"bool = int 42", CZRVariant(1, ZRVT_BOOL), [](CZRVariant& v) { v = 42; }, {ZRVT_BOOL, 1}},
      {"bool = long 0", CZRVariant(1, ZRVT_BOOL), [](CZRVariant& v) { v = 0L; }, {ZRVT_BOOL, 0}},
      {"bool = ushort", CZRVariant(0, ZRVT_BOOL), [](CZRVariant& v) { v = static_cast<unsigned short>(9); },
       {ZRVT_BOOL, 1}},
      // A byte, unlike the wider integers, does not keep a boolean boolean.
      {"bool = uchar 42", CZRVariant(1, ZRVT_BOOL), [](CZRVariant& v) { v = static_cast<unsigned char>(42); },
       {ZRVT_UI1, 42}},
      {"int = long", CZRVariant(1), [](CZRVariant& v) { v = 0x100000002L; }, {ZRVT_LONG, 2}},
      {"long = uint", CZRVariant(1L), [](CZRVariant& v) { v = 4u; }, {ZRVT_UINT, 4}},
      {"double = ulong", CZRVariant(2.0), [](CZRVariant& v) { v = 7ul; }, {ZRVT_ULONG, 7}},
      {"text = int", CZRVariant("text"), [](CZRVariant& v) { v = -12; }, {ZRVT_INT, 0xFFFFFFF4u}},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.assign(c.start);
    Check(c.start, c.want);
  }
}

TEST(CZRVariant, OwnedValuesAreCopies) {
  char text[] = "hello";
  CZRVariant s(text);
  text[0] = 'j';
  EXPECT_STREQ(s.pszVal, "hello");
  CXString string("from a string");
  CZRVariant fromString(string);
  EXPECT_STREQ(fromString.pszVal, "from a string");
  EXPECT_NE(static_cast<const char*>(fromString.pszVal), static_cast<const char*>(string));
  CZRVariant fromWide{CXStringW(u"wide")};
  EXPECT_EQ(zrtest::Wide(fromWide.pwszVal), u"wide");
  CZRVariant nullText(static_cast<const char*>(nullptr));
  EXPECT_EQ(nullText.vt, ZRVT_STR);
  EXPECT_EQ(nullText.pszVal, nullptr);

  BYTE bytes[] = {9, 8, 7};
  CZRVariant blob(tagZRBLOB{3, bytes});
  EXPECT_NE(blob.blobVal.pBlobData, bytes);
  blob = tagZRBLOB{2, bytes + 1};  // frees the old copy (the leak checker sees it)
  EXPECT_EQ(blob.blobVal.cbSize, 2u);
  EXPECT_EQ(blob.blobVal.pBlobData[0], 8);
  CZRVariant sizeOnly(tagZRBLOB{12, nullptr});
  EXPECT_EQ(sizeOnly.blobVal.cbSize, 12u);
  EXPECT_EQ(sizeOnly.blobVal.pBlobData, nullptr);

  auto* object = new CCounted;
  {
    CZRVariant held(static_cast<IZRUnknown*>(object)), copy(held);
    CZRVariant assigned;
    assigned = held;
    EXPECT_EQ(object->Count(), 4u);
    IZRUnknown* lent = held;  // the variant's own pointer, no reference
    EXPECT_EQ(lent, object);
    EXPECT_EQ(object->Count(), 4u);
  }
  EXPECT_EQ(object->Release(), 0u);
}

TEST(CZRVariant, ArgumentsInsideTheVariantAreReadFirst) {
  CZRVariant text("self");
  text = text.pszVal + 2;
  EXPECT_STREQ(text.pszVal, "lf");
  CZRVariant& alias = text;
  text = alias;
  EXPECT_STREQ(text.pszVal, "lf");
  BYTE bytes[] = {1, 2, 3};
  CZRVariant blob(tagZRBLOB{3, bytes});
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
}

TEST(CZRVariant, ConversionOperatorsReadTheUnionAsIs) {
  CZRVariant v(-2);
  EXPECT_EQ(static_cast<long>(v), -2L);                    // sign-extended
  EXPECT_EQ(static_cast<unsigned long>(v), 0xFFFFFFFEul);  // zero-extended
  EXPECT_EQ(static_cast<unsigned char>(v), 0xFEu);
  BYTE bytes[] = {1, 2, 3};
  CZRVariant b(tagZRBLOB{3, bytes});
  tagZRBLOB out = b;
  EXPECT_EQ(out.pBlobData, b.blobVal.pBlobData);  // the variant's own data
  tagRRECT r = CZRVariant(tagRRECT{1, 2, 3, 4.5});
  EXPECT_EQ(r.bottom, 4.5);
}

TEST(CZRVariant, WideOperatorConvertsNarrowTextInPlace) {
  CZRVariant v("abc");
  WCHAR* wide = v;
  EXPECT_EQ(zrtest::Wide(wide), u"abc");
  EXPECT_EQ(v.vt, ZRVT_WSTR);
  EXPECT_EQ(v.pwszVal, wide);
  EXPECT_EQ(static_cast<WCHAR*>(v), wide);  // no second conversion
  CZRVariant null(static_cast<const char*>(nullptr));
  EXPECT_EQ(zrtest::Wide(null), u"");
  CZRVariant number(5);
  (void)static_cast<WCHAR*>(number);
  EXPECT_EQ(number.vt, ZRVT_INT);
}

TEST(CZRVariant, AttachAndDetach) {
  CZRVariant source("owned");
  char* buffer = source.pszVal;
  CZRVariant target(u"old");  // freed by Attach
  target.Attach(source);
  EXPECT_EQ(target.pszVal, buffer);
  EXPECT_EQ(source.vt, ZRVT_EMPTY);
  EXPECT_EQ(source.pszVal, buffer);  // only the type was reset
  target.Attach(target);
  EXPECT_STREQ(target.pszVal, "owned");

  tagZRVARIANT record = target.Detach();
  EXPECT_EQ(target.vt, ZRVT_EMPTY);
  EXPECT_EQ(record.pszVal, buffer);
  target.Clear();  // frees nothing: the buffer belongs to record now
  EXPECT_STREQ(record.pszVal, "owned");
  ZRVariantClear(&record);  // freed once (the sanitizer build checks)

  auto* object = new CCounted;
  CZRVariant held(static_cast<IZRUnknown*>(object)), taker;
  taker.Attach(held);
  EXPECT_EQ(object->Count(), 2u);  // no reference added
  taker.Clear();
  EXPECT_EQ(object->Release(), 0u);
}

TEST(CZRVariant, BindingForwards) {
  CZRVariant v;
  int value = 17;
  ASSERT_EQ(v.BindFromValue(ZRVT_INT, &value), 1);
  EXPECT_EQ(v.intVal, 17);
  double out = 0;
  v = 1.25;
  ASSERT_EQ(v.BindToValue(ZRVT_DOUBLE, &out), 1);
  EXPECT_EQ(out, 1.25);
}

}  // namespace
