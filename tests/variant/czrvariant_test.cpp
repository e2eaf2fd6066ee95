// CZRVariant: construction, assignment, the conversion operators and the
// transfer of ownership.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/variant/variant_test_util.h"

namespace {

using zrtest::CCounted;

// The variant after assigning `value` to `start`.
template <class T>
CZRVariant Assigned(CZRVariant start, T value) {
  start = value;
  return start;
}

// The type code, and the first 32 bits of the value union masked to the
// width of the type.
TEST(CZRVariant, IntegerConstructorsAndAssignments) {
  using UC = unsigned char;
  using US = unsigned short;
  const CZRVariant yes(1, ZRVT_BOOL);
  struct { const char* what; CZRVariant v; unsigned short vt; ULONG bits; } const cases[] = {
      {"uchar", CZRVariant(UC(200)), ZRVT_UI1, 200}, {"uchar, bool", CZRVariant(UC(200), ZRVT_BOOL), ZRVT_BOOL, 1},
      {"ushort", CZRVariant(US(60000)), ZRVT_UI2, 60000},
      {"int 5, 1", CZRVariant(5, 1), ZRVT_BOOL, 1}, {"int 0, 1", CZRVariant(0, 1), ZRVT_BOOL, 0},
      // The selector picks only boolean or the natural type, never a width.
      {"int 5, 7", CZRVariant(5, 7), ZRVT_INT, 5},
      {"uint", CZRVariant(0xFFFFFFFFu), ZRVT_UINT, 0xFFFFFFFFu}, {"long", CZRVariant(5L), ZRVT_LONG, 5},
      {"long, low 32 bits", CZRVariant(0x123456789L), ZRVT_LONG, 0x23456789u},
      {"long, bool of the whole value", CZRVariant(0x100000000L, ZRVT_BOOL), ZRVT_BOOL, 1},
      {"ulong, low 32 bits", CZRVariant(0xFFFFFFFF00000003ul), ZRVT_ULONG, 3},
      {"bool = int 42", Assigned(yes, 42), ZRVT_BOOL, 1}, {"bool = long 0", Assigned(yes, 0L), ZRVT_BOOL, 0},
      {"bool = ushort", Assigned(CZRVariant(0, ZRVT_BOOL), US(9)), ZRVT_BOOL, 1},
      // A byte, unlike the wider integers, does not keep a boolean boolean.
      {"bool = uchar 42", Assigned(yes, UC(42)), ZRVT_UI1, 42},
      {"int = long", Assigned(CZRVariant(1), 0x100000002L), ZRVT_LONG, 2},
      {"long = uint", Assigned(CZRVariant(1L), 4u), ZRVT_UINT, 4},
      {"double = ulong", Assigned(CZRVariant(2.0), 7ul), ZRVT_ULONG, 7},
      {"text = int", Assigned(CZRVariant("text"), -12), ZRVT_INT, 0xFFFFFFF4u},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.v.vt, c.vt);
    EXPECT_EQ(c.v.ulVal & (c.vt == ZRVT_UI1 ? 0xFFu : c.vt == ZRVT_UI2 ? 0xFFFFu : ~0u), c.bits);
  }
}

TEST(CZRVariant, OwnedValuesAreCopies) {
  char text[] = "hello";
  const CXString string("from a string");
  CZRVariant s(text), fromString(string), fromWide{CXStringW(u"wide")}, nullText(static_cast<const char*>(nullptr));
  text[0] = 'j';
  EXPECT_STREQ(s.pszVal, "hello");
  EXPECT_STREQ(fromString.pszVal, "from a string");
  EXPECT_NE(static_cast<const char*>(fromString.pszVal), static_cast<const char*>(string));
  EXPECT_EQ(zrtest::Wide(fromWide.pwszVal), u"wide");
  EXPECT_EQ(nullText.vt, ZRVT_STR);
  EXPECT_EQ(nullText.pszVal, nullptr);

  BYTE bytes[] = {9, 8, 7};
  CZRVariant blob(tagZRBLOB{3, bytes}), sizeOnly(tagZRBLOB{12, nullptr});
  EXPECT_NE(blob.blobVal.pBlobData, bytes);
  blob = tagZRBLOB{2, bytes + 1};  // frees the old copy (the leak checker sees it)
  EXPECT_EQ(blob.blobVal.cbSize, 2u);
  EXPECT_EQ(blob.blobVal.pBlobData[0], 8);
  EXPECT_EQ(sizeOnly.blobVal.cbSize, 12u);
  EXPECT_EQ(sizeOnly.blobVal.pBlobData, nullptr);

  auto* object = new CCounted;
  {
    CZRVariant held(static_cast<IZRUnknown*>(object)), copy(held), assigned;
    assigned = held;
    EXPECT_EQ(object->Count(), 4u);
    IZRUnknown* lent = held;  // the variant's own pointer, no reference
    EXPECT_EQ(lent, object);
    EXPECT_EQ(object->Count(), 4u);
  }
  EXPECT_EQ(object->Release(), 0u);
}

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
  tagRRECT r = CZRVariant(tagRRECT{1, 2, 3, 4.5});
  EXPECT_EQ(r.bottom, 4.5);

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

}  // namespace
