// ZRVariantChangeType over every pair of source and target type, in the "C"
// locale and in a comma-decimal locale, judged by exact values: the type
// code, the text or blob bytes, or else all 32 value bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tests/variant/locale_fixture.h"
#include "tests/variant/variant_test_util.h"

namespace {

using zrtest::Adopt;
using zrtest::Record;

// One sample source per type code, and two codes above the ordinary range.
enum Source {
  sEmpty, sBool, sUI1, sUI2, sULong, sInt, sUInt, sLong, sDouble, sFloat, sStr, sSize, sRSize,
  sPoint, sRPoint, sRect, sRRect, sBlob, sUnknown, sWStr, sBorrowed, sCode25, kSources
};

BYTE g_bytes[] = {1, 2, 3};

tagZRVARIANT Borrowed(IZRUnknown* object) {
  tagZRVARIANT v = Record(ZRVT_UNKNOWN_BORROWED);
  v.punkVal = object;
  return v;
}

std::vector<CZRVariant> MakeSources(IZRUnknown* object) {
  tagZRVARIANT code25 = Record(25);  // a value that must never be read
  code25.dblVal = 12.5;
  return {CZRVariant(), CZRVariant(1, ZRVT_BOOL), static_cast<unsigned char>(200),
          static_cast<unsigned short>(0xABCD), 0xFFFFFFFEul, -7, 0x80000001u, -100000L, -2.75, 2.5f,
          " -12.5e1x", tagSIZE{3, -4}, tagRSIZE{2.5, -2.5}, tagPOINT{5, 6}, tagRPOINT{-2.6, 0.49},
          tagRECT{1, 2, 10, 20}, tagRRECT{0, 0, 9, 9}, tagZRBLOB{3, g_bytes}, object, u"\t77.25",
          Adopt(Borrowed(object)), Adopt(code25)};
}

// Expected results by target; a source not listed must fail.
std::map<unsigned short, std::map<int, CZRVariant>> Expectations(IZRUnknown* object) {
  using UC = unsigned char;
  using US = unsigned short;
  const CZRVariant yes(1, ZRVT_BOOL), no(0, ZRVT_BOOL);
  std::map<unsigned short, std::map<int, CZRVariant>> e;
  e[ZRVT_BOOL] = {{sEmpty, no}, {sBool, yes}, {sUI1, yes}, {sUI2, yes}, {sULong, yes},
                  {sInt, yes},  {sUInt, yes}, {sLong, yes}, {sDouble, yes}, {sFloat, yes}};
  e[ZRVT_UI1] = {{sEmpty, UC(0)}, {sBool, UC(1)}, {sUI1, UC(200)}, {sUI2, UC(0xCD)},
                 {sULong, UC(0xFE)}, {sInt, UC(0xF9)}, {sUInt, UC(0x01)}, {sLong, UC(0x60)}};
  e[ZRVT_UI2] = {{sEmpty, US(0)}, {sBool, US(1)}, {sUI1, US(200)}, {sUI2, US(0xABCD)},
                 {sULong, US(0xFFFE)}, {sInt, US(0xFFF9)}, {sUInt, US(0x0001)}, {sLong, US(0x7960)}};
  e[ZRVT_ULONG] = {{sEmpty, 0ul}, {sBool, 1ul}, {sUI1, 200ul}, {sUI2, 0xABCDul}, {sULong, 0xFFFFFFFEul},
                   {sInt, 0xFFFFFFF9ul}, {sUInt, 0x80000001ul}, {sLong, 0xFFFE7960ul}, {sStr, 0xFFFFFFF4ul}};
  e[ZRVT_INT] = {{sEmpty, 0}, {sBool, 1}, {sUI1, 200}, {sUI2, 0xABCD}, {sULong, -2}, {sInt, -7},
                 {sUInt, -2147483647}, {sLong, -100000}, {sDouble, -2}, {sFloat, 2}, {sStr, -12}, {sWStr, 77}};
  for (auto& [source, value] : e[ZRVT_INT]) e[ZRVT_LONG][source] = static_cast<long>(value.intVal);
  e[ZRVT_UINT] = {{sEmpty, 0u}, {sBool, 1u}, {sUI1, 200u}, {sUI2, 0xABCDu}, {sULong, 0xFFFFFFFEu},
                  {sInt, 0xFFFFFFF9u}, {sUInt, 0x80000001u}, {sLong, 0xFFFE7960u},
                  {sDouble, 0xFFFFFFFEu}, {sFloat, 2u}, {sStr, 0xFFFFFFF4u}, {sWStr, 77u}};
  e[ZRVT_DOUBLE] = {{sEmpty, 0.0}, {sBool, 1.0}, {sUI1, 200.0}, {sUI2, 43981.0}, {sULong, 4294967294.0},
                    {sInt, -7.0}, {sUInt, 2147483649.0}, {sLong, -100000.0}, {sDouble, -2.75}, {sFloat, 2.5},
                    {sStr, -125.0}, {sWStr, 77.25}};
  for (auto& [source, value] : e[ZRVT_DOUBLE]) e[ZRVT_FLOAT][source] = static_cast<float>(value.dblVal);
  e[ZRVT_STR] = {{sEmpty, ""}, {sBool, "Yes"}, {sUI1, "200"}, {sUI2, "43981"}, {sULong, "4294967294"},
                 {sInt, "-7"}, {sUInt, "2147483649"}, {sLong, "-100000"}, {sDouble, "-2.75"},
                 {sFloat, "2.5"}, {sStr, " -12.5e1x"}, {sWStr, "\t77.25"}};
  for (auto& [source, value] : e[ZRVT_STR]) {
    const std::string text(value.pszVal);
    e[ZRVT_WSTR][source] = std::u16string(text.begin(), text.end()).c_str();
  }
  e[ZRVT_SIZE] = {{sSize, tagSIZE{3, -4}}, {sRSize, tagSIZE{3, -2}}};
  e[ZRVT_RSIZE] = {{sSize, tagRSIZE{3, -4}}, {sRSize, tagRSIZE{2.5, -2.5}}};
  e[ZRVT_POINT] = {{sPoint, tagPOINT{5, 6}}, {sRPoint, tagPOINT{-3, 0}}};
  e[ZRVT_RPOINT] = {{sPoint, tagRPOINT{5, 6}}, {sRPoint, tagRPOINT{-2.6, 0.49}}};
  e[ZRVT_RECT] = {{sRect, tagRECT{1, 2, 10, 20}}, {sRRect, tagRECT{0, 0, 10, 10}}};
  e[ZRVT_RRECT] = {{sRect, tagRRECT{1, 2, 9, 19}}, {sRRect, tagRRECT{0, 0, 9, 9}}};
  e[ZRVT_BLOB] = {{sBlob, tagZRBLOB{3, g_bytes}}};
  e[ZRVT_UNKNOWN] = {{sUnknown, object}};
  e[ZRVT_UNKNOWN_BORROWED][sUnknown] = Adopt(Borrowed(object));
  for (int s = 0; s < kSources; ++s) e[ZRVT_EMPTY][s] = CZRVariant();
  // Sources above the ordinary range give the zero value of every target.
  for (auto& [target, row] : e) row[sBorrowed] = row[sCode25] = Adopt(Record(target));
  return e;
}

void ExpectExactly(const tagZRVARIANT& got, const tagZRVARIANT& want) {
  ASSERT_EQ(got.vt, want.vt);
  if (got.vt == ZRVT_STR) {
    EXPECT_STREQ(got.pszVal, want.pszVal);
  } else if (got.vt == ZRVT_WSTR) {
    EXPECT_EQ(zrtest::Wide(got.pwszVal), zrtest::Wide(want.pwszVal));
  } else if (got.vt == ZRVT_BLOB) {
    ASSERT_EQ(got.blobVal.cbSize, want.blobVal.cbSize);
    EXPECT_TRUE(!got.blobVal.cbSize || !std::memcmp(got.blobVal.pBlobData, want.blobVal.pBlobData, got.blobVal.cbSize));
  } else {
    EXPECT_EQ(std::memcmp(&got.rrcVal, &want.rrcVal, sizeof got.rrcVal), 0)
        << ::testing::PrintToString(got) << " != " << ::testing::PrintToString(want);
  }
}

class ConversionMatrix : public zrtest::NumericLocaleTest {};

TEST_P(ConversionMatrix, EveryPairOfTypes) {
  int destroyed = 0;
  auto* object = new zrtest::CCounted(&destroyed);
  {
    const std::vector<CZRVariant> sources = MakeSources(object);
    auto expectations = Expectations(object);
    ASSERT_EQ(expectations.size(), ZRVT_LASTORDINARY + 2u);  // every target, and the borrowed form
    const ULONG baseCount = object->Count();
    for (auto& [target, row] : expectations) {
      for (int s = 0; s < kSources; ++s) {
        SCOPED_TRACE(::testing::PrintToString(sources[s]) + " to " + std::to_string(target));
        auto want = row.find(s);
        const bool ok = want != row.end();
        // Into a separate destination: the result, or empty on failure.
        CZRVariant dest("previous");
        ASSERT_EQ(ZRVariantChangeType(&dest, &sources[s], target), ok ? 1 : 0);
        ExpectExactly(dest, ok ? want->second : CZRVariant());
        // In place: the result, or the old value on failure.
        CZRVariant inPlace(sources[s]);
        ASSERT_EQ(ZRVariantChangeType(&inPlace, &inPlace, target), ok ? 1 : 0);
        ExpectExactly(inPlace, ok ? want->second : sources[s]);
      }
      // Every reference a conversion took went with its variant.
      EXPECT_EQ(object->Count(), baseCount) << "target " << target;
    }
  }
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_EQ(destroyed, 1);
  // Unknown target codes fail.
  for (unsigned target : {20u, 0x3FFFu, 0x4001u, 0xFFFFu}) {
    CZRVariant source(7), dest("previous");
    EXPECT_EQ(ZRVariantChangeType(&dest, &source, static_cast<unsigned short>(target)), 0);
    EXPECT_EQ(dest.vt, ZRVT_EMPTY);
    EXPECT_EQ(source.ChangeType(static_cast<unsigned short>(target)), 0);
    EXPECT_EQ(source.intVal, 7);
  }
}

ZR_INSTANTIATE_LOCALES(ConversionMatrix);

}  // namespace
