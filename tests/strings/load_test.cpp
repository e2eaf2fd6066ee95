// Load: string resources of this test program (tests/data/strings_test.rc,
// embedded by zr_add_resources; a null module handle is the executable).
#include <string>

#include "text_util.h"

namespace {

using strtest::Probe;

std::string Digits(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s.push_back(static_cast<char>('0' + i % 10));
  return s;
}

enum : unsigned {
  kLong = 1,        // 300 characters
  kShort = 2,       // "short text"
  kEmpty = 3,       // ""
  kLatin = 4,       // "Grüße, €"
  kJustShort = 5,   // 251 characters: fits the first attempt
  kBoundary = 6,    // 255 characters: fills the first attempt, so may be cut
  kWideEnd = 7,     // 254 digits and a letter of two UTF-8 bytes
  kMissing = 99,
};

// Attempt k has room for 256 k + 1 units: the capacity tells the attempts.
struct Case {
  unsigned id;
  int length;    // characters; 0: Load fails
  int attempts;  // in both widths
} const kCases[] = {
    {kLong, 300, 2},
    {kShort, 10, 1},
    {kJustShort, 251, 1},
    {kBoundary, 255, 2},
};

int CapacityUnits(int attempts) { return 256 * attempts + 1; }

TEST(Load, WideAttempts) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.id);
    Probe<CXStringW> s;
    ASSERT_EQ(s.Load(nullptr, c.id), 1);
    EXPECT_EQ(s.GetLength(), c.length);
    EXPECT_EQ(s.GetAllocSize(), CapacityUnits(c.attempts) * 2);
  }
  CXStringW s;
  s.Load(nullptr, kLong);
  EXPECT_EQ(strtest::Ascii(s), Digits(300));
  s.Load(nullptr, kLatin);
  EXPECT_EQ(std::u16string(s), u"Gr\u00FC\u00DFe, \u20AC");
}

TEST(Load, NarrowAttempts) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.id);
    Probe<CXString> s;
    ASSERT_EQ(s.Load(nullptr, c.id), 1);
    EXPECT_EQ(s.GetLength(), c.length);
    EXPECT_EQ(s.GetAllocSize(), CapacityUnits(c.attempts));
  }
  CXString s;
  s.Load(nullptr, kLong);
  EXPECT_EQ(std::string(s), Digits(300));
  // Converted to the ANSI code page as the wide class converts back.
  s.Load(nullptr, kLatin);
  EXPECT_STREQ(s, CXString(u"Gr\u00FC\u00DFe, \u20AC"));
}

// A character of several bytes that does not fit the first attempt is not
// cut off: the attempt that ends short of the room by less than one
// character's bytes may have been cut too.
TEST(Load, NarrowCharacterAtTheEndOfTheFirstAttempt) {
  CXString s;
  ASSERT_EQ(s.Load(nullptr, kWideEnd), 1);
  const std::string digits = Digits(254);
  const std::u16string wide = std::u16string(digits.begin(), digits.end()) + u"\u00FC";
  EXPECT_STREQ(s, CXString(wide.c_str()));
}

TEST(Load, MissingOrEmptyResource) {
  for (unsigned id : {unsigned{kMissing}, unsigned{kEmpty}}) {
    SCOPED_TRACE(id);
    CXString a("before");
    CXStringW w(u"before");
    EXPECT_EQ(a.Load(nullptr, id), 0);
    EXPECT_EQ(w.Load(nullptr, id), 0);
    EXPECT_EQ(a.GetLength(), 0);
    EXPECT_EQ(w.GetLength(), 0);
  }
}

TEST(Load, LeavesSharingStringsAlone) {
  CXStringW a(u"kept");
  CXStringW b(a);
  ASSERT_EQ(b.Load(nullptr, kShort), 1);
  EXPECT_EQ(std::u16string(a), u"kept");
  EXPECT_EQ(std::u16string(b), u"short text");
  EXPECT_EQ(strtest::HeaderOf(a).refs, 1);
  EXPECT_EQ(strtest::HeaderOf(b).refs, 1);
}

}  // namespace
