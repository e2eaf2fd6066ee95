// The copy-on-write buffer of both string classes: the shared empty buffer,
// sharing and unsharing, the GetBuffer lock, exact capacities, and operations
// whose text argument points into the string itself.
#include <functional>
#include <vector>

#include "text_util.h"

namespace {

using strtest::Ascii;
using strtest::Chars;
using strtest::HeaderOf;
using strtest::Probe;

template <class S>
class Buffer : public ::testing::Test {
 protected:
  using Unit = strtest::UnitOf<S>;
  using Text = strtest::T<S>;
  static constexpr int kUnit = sizeof(Unit);
};
TYPED_TEST_SUITE(Buffer, strtest::Widths);

TYPED_TEST(Buffer, EmptyStringsShareOneConstantBuffer) {
  using S = TypeParam;
  using Text = typename TestFixture::Text;
  using Unit = typename TestFixture::Unit;
  S a;
  S b(static_cast<const Unit*>(nullptr));
  S c(Text("").get());
  S d(a);
  S e(Text("x").get());
  e = static_cast<const Unit*>(nullptr);
  S f(Text("y").get());
  f.Delete(0, 1);
  f = a;  // assignment from an empty string points back at the shared one
  for (const S* s : {&b, &c, &d, &e, &f}) EXPECT_EQ(Chars(*s), Chars(a));
  const strtest::Header h = HeaderOf(a);
  EXPECT_EQ(h.refs, -1);
  EXPECT_EQ(h.length, 0);
  EXPECT_EQ(h.allocSize, 0);
  EXPECT_EQ(a.GetLength(), 0);
  EXPECT_EQ(a.GetAt(0), 0);
  EXPECT_EQ(a.GetData(5), Chars(a));
  // Releasing and unlocking the empty buffer never touches its count.
  a.ReleaseBuffer();
  EXPECT_EQ(HeaderOf(a).refs, -1);
}

TYPED_TEST(Buffer, CopiesShareUntilOneChanges) {
  using S = TypeParam;
  using Text = typename TestFixture::Text;
  S a(Text("shared").get());
  EXPECT_EQ(HeaderOf(a).refs, 1);
  {
    S b(a);
    S c;
    c = b;
    EXPECT_EQ(Chars(b), Chars(a));
    EXPECT_EQ(Chars(c), Chars(a));
    EXPECT_EQ(HeaderOf(a).refs, 3);
    const S& alias = c;
    c = alias;  // self-assignment changes nothing
    EXPECT_EQ(HeaderOf(a).refs, 3);
    b = Text("other").get();
    EXPECT_EQ(HeaderOf(a).refs, 2);
  }
  EXPECT_EQ(HeaderOf(a).refs, 1);
  EXPECT_EQ(Ascii(a), "shared");
}

// Every member that changes a string leaves the strings that shared its
// buffer as they were.
TYPED_TEST(Buffer, ChangeUnsharesFromEveryOtherCopy) {
  using S = TypeParam;
  using Text = typename TestFixture::Text;
  using Unit = typename TestFixture::Unit;
  struct Case {
    const char* name;
    std::function<void(S&)> change;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"Insert", [](S& s) { s.Insert(1, Text("++").get()); }, " ++a.b\\Cc "},
      {"InsertChar", [](S& s) { s.Insert(0, WCHAR('!')); }, "! a.b\\Cc "},
      {"Delete", [](S& s) { s.Delete(1, 2); }, " b\\Cc "},
      {"Replace", [](S& s) { s.Replace(1, 1, Text("A").get()); }, " A.b\\Cc "},
      {"Extract", [](S& s) { s.Extract(1, 3); }, "a.b"},
      {"FindReplace", [](S& s) { s.FindReplace(Text("b").get(), Text("B").get()); }, " a.B\\Cc "},
      {"TrimLeft", [](S& s) { s.TrimLeft(); }, "a.b\\Cc "},
      {"TrimRight", [](S& s) { s.TrimRight(); }, " a.b\\Cc"},
      {"Upper", [](S& s) { s.Upper(); }, " A.B\\CC "},
      {"Lower", [](S& s) { s.Lower(); }, " a.b\\cc "},
      {"AppendText", [](S& s) { s += Text("z").get(); }, " a.b\\Cc z"},
      {"AppendChar", [](S& s) { s += WCHAR('z'); }, " a.b\\Cc z"},
      {"AppendString", [](S& s) { s += S(Text("yz").get()); }, " a.b\\Cc yz"},
      {"AddDirDelim", [](S& s) { s.AddDirDelim(); }, " a.b\\Cc \\"},
      {"AddFileExtDelim", [](S& s) { s.AddFileExtDelim(); }, " a.b\\Cc ."},
      {"ChangeFileExt", [](S& s) { s.ChangeFileExt(Text("x").get()); }, " a.b\\Cc .x"},
      // The fresh buffer of a shared string keeps no more than fits n units.
      {"GetBuffer", [](S& s) { s.GetBuffer(3)[1] = Unit('#'); s.ReleaseBuffer(); }, " #."},
      {"GetBufferLarge", [](S& s) { s.GetBuffer(20)[1] = Unit('#'); s.ReleaseBuffer(); }, " #.b\\Cc "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    S original(Text(" a.b\\Cc ").get());
    S copy(original);
    ASSERT_EQ(Chars(copy), Chars(original));
    c.change(copy);
    EXPECT_EQ(Ascii(copy), c.expected);
    EXPECT_EQ(Ascii(original), " a.b\\Cc ");
    EXPECT_NE(Chars(copy), Chars(original));
    EXPECT_EQ(HeaderOf(original).refs, 1);
    EXPECT_EQ(HeaderOf(copy).refs, 1);
  }
}

TYPED_TEST(Buffer, LockedStringIsCopiedNotShared) {
  using S = TypeParam;
  using Text = typename TestFixture::Text;
  using Unit = typename TestFixture::Unit;
  S a(Text("abc").get());
  Unit* p = a.GetBuffer(8);
  EXPECT_EQ(HeaderOf(a).refs, -1);
  EXPECT_EQ(Ascii(a), "abc");  // GetBuffer keeps the content
  S copied(a);
  S assigned;
  assigned = a;
  EXPECT_NE(Chars(copied), Chars(a));
  EXPECT_NE(Chars(assigned), Chars(a));
  // Writes through the locked pointer reach only the locked string.
  p[0] = Unit('X');
  p[3] = Unit('d');
  p[4] = 0;
  EXPECT_EQ(Ascii(a), "Xbcd");
  EXPECT_EQ(Ascii(copied), "abc");
  EXPECT_EQ(Ascii(assigned), "abc");
  a.ReleaseBuffer(99);  // the argument is not used
  EXPECT_EQ(HeaderOf(a).refs, 1);
  S shared(a);
  EXPECT_EQ(Chars(shared), Chars(a));
  EXPECT_EQ(HeaderOf(a).refs, 2);
  // A stray ReleaseBuffer on a shared string does not break the count.
  shared.ReleaseBuffer();
  EXPECT_EQ(HeaderOf(a).refs, 2);
}

TYPED_TEST(Buffer, ScopedLock) {
  using S = TypeParam;
  using Text = typename TestFixture::Text;
  using Unit = typename TestFixture::Unit;
  S a(Text("ab").get());
  S other(a);
  {
    __CXBuff<S, Unit*> lock(a, 4);
    EXPECT_EQ(static_cast<Unit*>(lock), static_cast<const Unit*>(a));
    EXPECT_EQ(lock.m_pString, &a);
    EXPECT_EQ(HeaderOf(a).refs, -1);
    lock.m_p[2] = Unit('c');
    lock.m_p[3] = 0;
  }
  EXPECT_EQ(HeaderOf(a).refs, 1);
  EXPECT_EQ(Ascii(a), "abc");
  EXPECT_EQ(Ascii(other), "ab");
}

TYPED_TEST(Buffer, ExactCapacities) {
  using S = TypeParam;
  using Text = typename TestFixture::Text;
  const int unit = TestFixture::kUnit;
  // The wide class's text copies carry one spare unit.
  const int copyExtra = unit == 1 ? 1 : 2;
  Probe<S> s(Text("abcde").get());
  EXPECT_EQ(s.GetAllocSize(), (5 + copyExtra) * unit);
  EXPECT_EQ(HeaderOf(s).length, 5);

  s.GetBuffer(20);
  s.ReleaseBuffer();
  EXPECT_EQ(s.GetAllocSize(), 21 * unit);
  s.GetBuffer(3);  // large enough already: the buffer stays
  s.ReleaseBuffer();
  EXPECT_EQ(s.GetAllocSize(), 21 * unit);

  Probe<S> up(Text("abc").get());
  up.Upper();  // room for twice the length plus 2
  EXPECT_EQ(up.GetAllocSize(), 8 * unit);
  EXPECT_EQ(Ascii(up), "ABC");

  // A shared buffer is never changed in place: the change gets exactly the
  // room its result needs.
  Probe<S> big(Text("0123456789").get());
  Probe<S> edited(big);
  edited.Delete(2, 5);
  EXPECT_EQ(edited.GetAllocSize(), 6 * unit);
  Probe<S> inserted(big);
  inserted.Insert(3, Text("xy").get());
  EXPECT_EQ(inserted.GetAllocSize(), 13 * unit);
  // A sole owner with room enough is changed in place.
  const void* before = Chars(big);
  big.Delete(0, 4);
  EXPECT_EQ(Chars(big), before);
  EXPECT_EQ(Ascii(big), "456789");
  big.Insert(0, Text("ab").get());
  EXPECT_EQ(Chars(big), before);
  EXPECT_EQ(Ascii(big), "ab456789");

  const S joined = S(Text("ab").get()) + Text("cde").get();
  EXPECT_EQ(Probe<S>(joined).GetAllocSize(), 6 * unit);

  // Assigning a text copies it with AssignCopy, an empty text included
  // (only the constructors keep an empty text on the shared buffer).
  Probe<S> assigned(Text("xyz").get());
  assigned = Text("").get();
  EXPECT_EQ(assigned.GetAllocSize(), copyExtra * unit);
  EXPECT_EQ(HeaderOf(assigned).refs, 1);
  EXPECT_EQ(Ascii(assigned), "");
  assigned.AssignCopy(Text("q").get(), 0);
  EXPECT_EQ(assigned.GetAllocSize(), copyExtra * unit);

  // Copies of a locked string are text copies as well.
  S locked(Text("abc").get());
  locked.GetBuffer(10);
  const Probe<S> copied(locked);
  Probe<S> copyAssigned;
  copyAssigned = locked;
  EXPECT_EQ(copied.GetAllocSize(), (3 + copyExtra) * unit);
  EXPECT_EQ(copyAssigned.GetAllocSize(), (3 + copyExtra) * unit);
  locked.GetBuffer(10)[0] = 0;  // still locked, now empty
  const S emptyCopy(locked);
  EXPECT_EQ(Chars(emptyCopy), Chars(S()));
  locked.ReleaseBuffer();
}

TYPED_TEST(Buffer, ProtectedBufferMembers) {
  using S = TypeParam;
  using Text = typename TestFixture::Text;
  const int unit = TestFixture::kUnit;
  Probe<S> s(Text("hello").get());
  Probe<S> keep(s);
  s.ReallocBuffer(3);  // shared: a fresh buffer of 3 units, still terminated
  EXPECT_EQ(s.GetAllocSize(), 3 * unit);
  EXPECT_EQ(Ascii(s), "he");
  EXPECT_EQ(Ascii(keep), "hello");
  s.ReallocBuffer(2);  // sole owner, large enough: unchanged
  EXPECT_EQ(s.GetAllocSize(), 3 * unit);

  s.AllocBuffer(7);
  EXPECT_EQ(s.GetAllocSize(), 7 * unit);
  EXPECT_EQ(Ascii(s), "");
  s.AllocBuffer(0);
  EXPECT_EQ(Chars(s), Chars(S()));

  s.AssignCopy(Text("abcdef").get(), 3);
  EXPECT_EQ(Ascii(s), "abc");
  s.ConcatCopy(Text("xyz").get(), 2);
  EXPECT_EQ(Ascii(s), "abcxy");
  s.ConcatCopyTo(1, Text("Q").get(), 1);
  EXPECT_EQ(Ascii(s), "aQ");
  s.ConcatCopyTo(10, Text("!").get(), 1);
  EXPECT_EQ(Ascii(s), "aQ!");
  s.ConcatCopyTo(0, Text("").get(), 0);
  EXPECT_EQ(Ascii(s), "");
}

// Arguments that point into the string's own buffer are read before the old
// buffer goes away (the sanitizer build would report a use after free).
TYPED_TEST(Buffer, ArgumentsInsideTheStringItself) {
  using S = TypeParam;
  using Text = typename TestFixture::Text;
  using Unit = typename TestFixture::Unit;
  {
    Probe<S> s(Text("abc").get());
    s += s;
    EXPECT_EQ(Ascii(s), "abcabc");
    s += s.GetData(4);
    EXPECT_EQ(Ascii(s), "abcabcbc");
  }
  {
    S s(Text("abcd").get());
    s = s.GetData(2);
    EXPECT_EQ(Ascii(s), "cd");
    s = static_cast<const Unit*>(s);
    EXPECT_EQ(Ascii(s), "cd");
  }
  {
    S s(Text("abcd").get());
    s.Insert(2, static_cast<const Unit*>(s));
    EXPECT_EQ(Ascii(s), "ababcdcd");
    s.Replace(0, 2, s.GetData(6));
    EXPECT_EQ(Ascii(s), "cdabcdcd");
    s.FindReplace(s.GetData(6), s.GetData(2));
    EXPECT_EQ(Ascii(s), "abcdcdabcdcd");
  }
  {
    // With room to spare the changes happen in place, where moving the tail
    // would overwrite an argument taken from the string.
    S s(Text("abcd").get());
    s.GetBuffer(32);
    s.ReleaseBuffer();
    s.Insert(2, static_cast<const Unit*>(s));
    EXPECT_EQ(Ascii(s), "ababcdcd");
    s.Replace(1, 2, s.GetData(4));
    EXPECT_EQ(Ascii(s), "acdcdbcdcd");
    s += s.GetData(8);
    EXPECT_EQ(Ascii(s), "acdcdbcdcdcd");
  }
  {
    S s(Text("name.txt").get());
    s.ChangeFileExt(s.GetData(0));
    EXPECT_EQ(Ascii(s), "name.name.txt");
  }
  {
    S s(Text("abc").get());
    S twin(s);
    s.Extract(1, 1, twin);  // the output shares the source's buffer
    EXPECT_EQ(Ascii(twin), "b");
    EXPECT_EQ(s.Extract(0, 2, s), 2);
    EXPECT_EQ(Ascii(s), "ab");
  }
}

}  // namespace
