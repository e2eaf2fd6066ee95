// Value texts read and written through the parameter text, in the "C"
// locale and in a comma-decimal one: every row of the table. (How numbers
// stop and print is in tests/internal/param_numtext_test.cpp.)
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "tests/params/param_test_util.h"
#include "tests/variant/locale_fixture.h"

namespace {

using zrtest::Tree;

class ValueText : public zrtest::NumericLocaleTest {};
ZR_INSTANTIATE_LOCALES(ValueText);

// The value read from "[\]|k=<text>", or an empty optional-like flag.
bool Read(const std::string& text, CZRVariant* out) {
  Tree t;
  zrtest::ReadText("[\\]|k=" + text, t.get());
  return t->GetValue("k", out) == 1;
}

tagZRBLOB BlobOf(std::vector<BYTE>& bytes) {
  return {static_cast<ULONG>(bytes.size()), bytes.data()};
}

TEST_P(ValueText, ReadsEveryRow) {
  std::vector<BYTE> blob2 = {0x0A, 0x1B}, blob3 = {0x0A, 0x1B, 0x00};
  const struct {
    const char* text;
    bool accepted;
    CZRVariant value;
  } cases[] = {
      {"i0x1F", true, CZRVariant(31)},
      {"i12x", true, CZRVariant(18)},  // an x anywhere makes the text hexadecimal
      {"i", false, {}},
      {"iabc", false, {}},
      {"w65535", true, CZRVariant(static_cast<unsigned short>(65535))},
      {"w70000", false, {}},
      {"w-1", false, {}},
      {"W-1", true, CZRVariant(4294967295ul)},
      {"u12", true, CZRVariant(12u)},
      {"l-5", true, CZRVariant(-5l)},
      {"fYes", true, CZRVariant(1, ZRVT_BOOL)},
      {"fy", true, CZRVariant(1, ZRVT_BOOL)},
      {"fn", true, CZRVariant(0, ZRVT_BOOL)},
      {"f0", true, CZRVariant(0, ZRVT_BOOL)},
      {"f1x", true, CZRVariant(1, ZRVT_BOOL)},
      {"f2", false, {}},
      {"fz", false, {}},
      {"bAB", true, CZRVariant(static_cast<unsigned char>(0xAB))},
      {"bab", true, CZRVariant(static_cast<unsigned char>(0xAB))},
      {"bA", false, {}},
      {"R1.5", true, CZRVariant(1.5)},
      {"R", false, {}},
      {"r0.5", true, CZRVariant(0.5f)},
      {"r1e300", true, CZRVariant(std::numeric_limits<float>::infinity())},
      {"sHello world", true, CZRVariant("Hello world")},
      {"z10,20", true, CZRVariant(tagSIZE{10, 20})},
      {"z10,0x20", true, CZRVariant(tagSIZE{16, 32})},  // the later x counts for the first too
      {"z 1 , 2", true, CZRVariant(tagSIZE{1, 2})},
      {"z10", false, {}},
      {"z10,", false, {}},
      {"p-1,2", true, CZRVariant(tagPOINT{-1, 2})},
      {"t1,2,3,4", true, CZRVariant(tagRECT{1, 2, 3, 4})},
      {"t1,2,3", false, {}},
      {"Z1.5,2.5", true, CZRVariant(tagRSIZE{1.5, 2.5})},
      {"P1.e-002,100.", true, CZRVariant(tagRPOINT{0.01, 100})},
      {"T1,2,3,4.25", true, CZRVariant(tagRRECT{1, 2, 3, 4.25})},
      {"T1,2", false, {}},
      {"x0a1b", true, CZRVariant(BlobOf(blob2))},
      {"x0a-1b", true, CZRVariant(BlobOf(blob3))},
      {"e", true, CZRVariant()},
      {"eanything", true, CZRVariant()},
      {"q5", false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    CZRVariant got;
    ASSERT_EQ(Read(c.text, &got), c.accepted);
    if (c.accepted) {
      EXPECT_EQ(got.vt, c.value.vt);
      EXPECT_TRUE(got == c.value);
    }
  }
  CZRVariant nan;
  ASSERT_TRUE(Read("R-nan(ind)", &nan));
  EXPECT_TRUE(std::isnan(nan.dblVal) && std::signbit(nan.dblVal));
  CZRVariant empty;
  ASSERT_TRUE(Read("x", &empty));
  EXPECT_EQ(empty.blobVal.cbSize, 0u);
}

// The text written for `value`, as the string form shows it.
std::string Written(const CZRVariant& value) {
  Tree t;
  t->SetValue("k", &value);
  const std::string form = zrtest::StringForm(t.get());
  const std::size_t at = form.find("k=");
  return at == std::string::npos ? "(none)" : form.substr(at + 2, form.find('|', at) - at - 2);
}

TEST_P(ValueText, WritesEveryRow) {
  std::vector<BYTE> blob = {0x0A, 0x1B};
  std::vector<BYTE> big(32768, 1);
  const struct {
    CZRVariant value;
    const char* text;
  } cases[] = {
      {CZRVariant(), "e"},
      {CZRVariant(1, ZRVT_BOOL), "f1"},
      {CZRVariant(static_cast<unsigned char>(0xAB)), "bAB"},
      {CZRVariant(static_cast<unsigned short>(65535)), "w65535"},
      {CZRVariant(4294967295ul), "W4294967295"},
      {CZRVariant(-5), "i-5"},
      {CZRVariant(7u), "u7"},
      {CZRVariant(-2147483647l - 1), "l-2147483648"},
      {CZRVariant(1.5), "R1.5"},
      {CZRVariant(0.1f), "r0.10000000149012"},
      {CZRVariant("text"), "stext"},
      {CZRVariant(u"wide"), "swide"},
      {CZRVariant(tagSIZE{1, -2}), "z1,-2"},
      {CZRVariant(tagRSIZE{0.5, 100}), "Z0.5,100."},
      {CZRVariant(tagPOINT{3, 4}), "p3,4"},
      {CZRVariant(tagRPOINT{-1.5, 1e20}), "P-1.5,1.e+020"},
      {CZRVariant(tagRECT{1, 2, 3, 4}), "t1,2,3,4"},
      {CZRVariant(tagRRECT{0, 0.25, 1, 123456789012345.0}), "T0.,0.25,1.,1.2345678901235e+014"},
      {CZRVariant(BlobOf(blob)), "x0A1B"},
      {CZRVariant(BlobOf(big)), "x"},  // the text would not fit 65536 bytes
      {CZRVariant(static_cast<IZRUnknown*>(nullptr)), "(none)"},
  };
  for (const auto& c : cases) EXPECT_EQ(Written(c.value), c.text) << c.text;
  // A bool that is not 1 is written as 0; a 2-character text as it is.
  CZRVariant two(1, ZRVT_BOOL);
  two.boolVal = 2;
  EXPECT_EQ(Written(two), "f0");
}

}  // namespace
