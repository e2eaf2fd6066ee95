// Load: string resources of this test program (tests/data/strings_test.rc,
// embedded by zr_add_resources; a null module handle is the executable).
#include <string>

#include "text_util.h"

namespace {

using strtest::Ascii;
using strtest::HeaderOf;

std::string Digits(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s.push_back(static_cast<char>('0' + i % 10));
  return s;
}

// kLong: 300 digits; kJustShort: 251 characters, fits the first attempt;
// kBoundary: 255 characters, fills the first attempt, so may be cut;
// kWideEnd: 254 digits and a letter of two UTF-8 bytes.
enum : unsigned { kLong = 1, kShort = 2, kEmpty = 3, kLatin = 4, kJustShort = 5, kBoundary = 6, kWideEnd = 7 };

template <class S>
class Load : public ::testing::Test {};
TYPED_TEST_SUITE(Load, strtest::Widths);

TYPED_TEST(Load, AttemptsGrowUntilTheTextFits) {
  STRTEST_TYPES;
  // Attempt k has room for 256 k + 1 units: the capacity tells the attempts.
  struct { unsigned id; int length, attempts; } const cases[] = {
      {kLong, 300, 2}, {kShort, 10, 1}, {kJustShort, 251, 1}, {kBoundary, 255, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    strtest::Probe<S> s;
    ASSERT_EQ(s.Load(nullptr, c.id), 1);
    EXPECT_EQ(s.GetLength(), c.length);
    EXPECT_EQ(s.GetAllocSize(), (256 * c.attempts + 1) * static_cast<int>(sizeof(Unit)));
  }
  S s;
  s.Load(nullptr, kLong);
  EXPECT_EQ(Ascii(s), Digits(300));
  // The narrow class converts to the ANSI code page as its constructor does.
  s.Load(nullptr, kLatin);
  EXPECT_EQ(std::basic_string<Unit>(s), std::basic_string<Unit>(S(u"Gr\u00FC\u00DFe, \u20AC")));
}

TYPED_TEST(Load, MissingOrEmptyResourceGivesEmptyTextAndSharingStringsAreLeftAlone) {
  STRTEST_TYPES;
  for (unsigned id : {99u, unsigned{kEmpty}}) {
    S s(Text("before").get());
    EXPECT_EQ(s.Load(nullptr, id), 0) << id;
    EXPECT_EQ(s.GetLength(), 0) << id;
  }
  S a(Text("kept").get()), b(a);
  ASSERT_EQ(b.Load(nullptr, kShort), 1);
  EXPECT_EQ(Ascii(a), "kept");
  EXPECT_EQ(Ascii(b), "short text");
  EXPECT_EQ(HeaderOf(a).refs, 1);
  EXPECT_EQ(HeaderOf(b).refs, 1);
}

// A character of several bytes that does not fit the first attempt is not
// cut off: the attempt that ends short of the room by less than one
// character's bytes may have been cut too.
TEST(LoadNarrow, CharacterAtTheEndOfTheFirstAttempt) {
  CXString s;
  ASSERT_EQ(s.Load(nullptr, kWideEnd), 1);
  const std::string digits = Digits(254);
  EXPECT_STREQ(s, CXString((std::u16string(digits.begin(), digits.end()) + u"\u00FC").c_str()));
}

}  // namespace
