// Load of string resources of this test program (tests/data/strings_test.rc,
// embedded by zr_add_resources; a null module handle is the executable).
#include <string>

#include "text_util.h"

namespace {

// 300 digits; 255 characters; 254 digits and a letter of two UTF-8 bytes.
enum : unsigned { kLong = 1, kBoundary = 6, kWideEnd = 7 };

template <class S>
class Load : public ::testing::Test {};
TYPED_TEST_SUITE(Load, strtest::Widths);

// Attempt k has room for 256 k + 1 units; a text that fills the first
// attempt may have been cut, so a second attempt is made.
TYPED_TEST(Load, AttemptsGrowUntilTheTextFits) {
  STRTEST_TYPES;
  for (unsigned id : {kLong, kBoundary}) {
    strtest::Probe<S> s;
    ASSERT_EQ(s.Load(nullptr, id), 1);
    EXPECT_EQ(s.GetLength(), id == kLong ? 300 : 255);
    EXPECT_EQ(s.GetAllocSize(), (2 * 256 + 1) * static_cast<int>(sizeof(Unit)));
  }
  S s(Text("before").get());
  EXPECT_EQ(s.Load(nullptr, 99), 0);  // missing: an empty text
  EXPECT_EQ(s.GetLength(), 0);
}

// A character of several bytes that does not fit the first attempt is not
// cut off: the attempt that ends short of the room by less than one
// character's bytes may have been cut too.
TEST(LoadNarrow, CharacterAtTheEndOfTheFirstAttempt) {
  CXString s;
  ASSERT_EQ(s.Load(nullptr, kWideEnd), 1);
  std::u16string expected;
  for (int i = 0; i < 254; ++i) expected.push_back(static_cast<char16_t>(u'0' + i % 10));
  EXPECT_STREQ(s, CXString((expected + u"\u00FC").c_str()));
}

}  // namespace
