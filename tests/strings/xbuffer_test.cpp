// The copy-on-write buffer of both string classes: the shared empty buffer,
// sharing and unsharing, the GetBuffer lock, exact capacities, and operations
// whose text argument points into the string itself.
#include <climits>
#include <functional>
#include <vector>

#include "text_util.h"
#include "zr/exception.h"

namespace {

using strtest::Ascii;
using strtest::Chars;
using strtest::HeaderOf;
using strtest::Probe;

template <class S>
class Buffer : public ::testing::Test {};
TYPED_TEST_SUITE(Buffer, strtest::Widths);

// The wide class's text copies carry one spare unit.
template <class S>
constexpr int kCopyExtra = sizeof(strtest::UnitOf<S>) == 1 ? 1 : 2;

TYPED_TEST(Buffer, EmptyStringsShareOneConstantBufferAndCopiesShareUntilOneChanges) {
  STRTEST_TYPES;
  S a, b(static_cast<const Unit*>(nullptr)), c(Text("").get()), d(a), e(Text("x").get()), f(Text("y").get());
  e = static_cast<const Unit*>(nullptr);
  f.Delete(0, 1);
  f = a;  // assignment from an empty string points back at the shared one
  for (const S* s : {&b, &c, &d, &e, &f}) EXPECT_EQ(Chars(*s), Chars(a));
  const strtest::Header h = HeaderOf(a);
  EXPECT_EQ(h.refs, -1);
  EXPECT_EQ(h.length, 0);
  EXPECT_EQ(h.allocSize, 0);
  EXPECT_EQ(a.GetAt(0), 0);
  EXPECT_EQ(a.GetData(5), Chars(a));
  a.ReleaseBuffer();  // never touches the shared count
  EXPECT_EQ(HeaderOf(a).refs, -1);

  S shared(Text("shared").get());
  EXPECT_EQ(HeaderOf(shared).refs, 1);
  {
    S copy(shared), assigned;
    assigned = copy;
    EXPECT_EQ(Chars(copy), Chars(shared));
    EXPECT_EQ(Chars(assigned), Chars(shared));
    EXPECT_EQ(HeaderOf(shared).refs, 3);
    const S& alias = assigned;
    assigned = alias;
    EXPECT_EQ(HeaderOf(shared).refs, 3);
    copy = Text("other").get();
    EXPECT_EQ(HeaderOf(shared).refs, 2);
  }
  EXPECT_EQ(HeaderOf(shared).refs, 1);
  EXPECT_EQ(Ascii(shared), "shared");
}

// Every member that changes a string leaves the strings that shared its
// buffer as they were.
TYPED_TEST(Buffer, ChangeUnsharesFromEveryOtherCopy) {
  STRTEST_TYPES;
  struct Case { const char* name; std::function<void(S&)> change; const char* expected; };
  const std::vector<Case> cases = {
      {"Insert", [](S& s) { s.Insert(1, Text("++").get()); }, " ++a.b\\Cc "},
      {"InsertChar", [](S& s) { s.Insert(0, WCHAR('!')); }, "! a.b\\Cc "},
      {"Delete", [](S& s) { s.Delete(1, 2); }, " b\\Cc "},
      {"Replace", [](S& s) { s.Replace(1, 1, Text("A").get()); }, " A.b\\Cc "},
      {"Extract", [](S& s) { s.Extract(1, 3); }, "a.b"},
      {"FindReplace", [](S& s) { s.FindReplace(Text("b").get(), Text("B").get()); }, " a.B\\Cc "},
      {"TrimLeft", [](S& s) { s.TrimLeft(); }, "a.b\\Cc "}, {"TrimRight", [](S& s) { s.TrimRight(); }, " a.b\\Cc"},
      {"Upper", [](S& s) { s.Upper(); }, " A.B\\CC "},      {"Lower", [](S& s) { s.Lower(); }, " a.b\\cc "},
      {"AppendText", [](S& s) { s += Text("z").get(); }, " a.b\\Cc z"},
      {"AppendChar", [](S& s) { s += WCHAR('z'); }, " a.b\\Cc z"},
      {"AppendString", [](S& s) { s += S(Text("yz").get()); }, " a.b\\Cc yz"},
      {"AddDirDelim", [](S& s) { s.AddDirDelim(); }, " a.b\\Cc \\"},
      {"AddFileExtDelim", [](S& s) { s.AddFileExtDelim(); }, " a.b\\Cc ."},
      {"ChangeFileExt", [](S& s) { s.ChangeFileExt(Text("x").get()); }, " a.b\\Cc .x"},
      {"Format", [](S& s) { s.Format(Text("%d|%s").get(), 7, static_cast<const Unit*>(s)); }, "7| a.b\\Cc "},
      // The fresh buffer of a shared string keeps no more than fits n units.
      {"GetBuffer", [](S& s) { s.GetBuffer(3)[1] = Unit('#'); s.ReleaseBuffer(); }, " #."},
      {"GetBufferLarge", [](S& s) { s.GetBuffer(20)[1] = Unit('#'); s.ReleaseBuffer(); }, " #.b\\Cc "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    S original(Text(" a.b\\Cc ").get()), copy(original);
    c.change(copy);
    EXPECT_EQ(Ascii(copy), c.expected);
    EXPECT_EQ(Ascii(original), " a.b\\Cc ");
    EXPECT_NE(Chars(copy), Chars(original));
    EXPECT_EQ(HeaderOf(original).refs, 1);
    EXPECT_EQ(HeaderOf(copy).refs, 1);
  }
}

// Copies of a locked string are text copies of exactly the text's size;
// after ReleaseBuffer copies share again. The scoped lock does the same.
TYPED_TEST(Buffer, LockedStringIsCopiedNotShared) {
  STRTEST_TYPES;
  S a(Text("abc").get());
  Unit* p = a.GetBuffer(8);
  EXPECT_EQ(HeaderOf(a).refs, -1);
  EXPECT_EQ(Ascii(a), "abc");  // GetBuffer keeps the content
  Probe<S> copied(a), assigned;
  assigned = a;
  for (const Probe<S>* copy : {&copied, &assigned}) {
    EXPECT_NE(Chars(*copy), Chars(a));
    EXPECT_EQ(copy->GetAllocSize(), (3 + kCopyExtra<S>) * static_cast<int>(sizeof(Unit)));
  }
  p[0] = Unit('X'), p[3] = Unit('d'), p[4] = 0;
  EXPECT_EQ(Ascii(a), "Xbcd");
  EXPECT_EQ(Ascii(copied), "abc");
  EXPECT_EQ(Ascii(assigned), "abc");
  p[0] = 0;  // still locked, now empty: a copy is the shared empty string
  EXPECT_EQ(Chars(S(a)), Chars(S()));
  p[0] = Unit('X');
  a.ReleaseBuffer(99);  // the argument is not used
  EXPECT_EQ(HeaderOf(a).refs, 1);
  S shared(a);
  EXPECT_EQ(Chars(shared), Chars(a));
  shared.ReleaseBuffer();  // a stray unlock of a shared string keeps the count
  EXPECT_EQ(HeaderOf(a).refs, 2);

  S b(Text("ab").get()), other(b);
  {
    __CXBuff<S, Unit*> lock(b, 4);
    EXPECT_EQ(static_cast<Unit*>(lock), static_cast<const Unit*>(b));
    EXPECT_EQ(lock.m_pString, &b);
    EXPECT_EQ(HeaderOf(b).refs, -1);
    lock.m_p[2] = Unit('c'), lock.m_p[3] = 0;
  }
  EXPECT_EQ(HeaderOf(b).refs, 1);
  EXPECT_EQ(Ascii(b), "abc");
  EXPECT_EQ(Ascii(other), "ab");
}

TYPED_TEST(Buffer, ExactCapacities) {
  STRTEST_TYPES;
  const int unit = sizeof(Unit);
  Probe<S> s(Text("abcde").get());
  EXPECT_EQ(s.GetAllocSize(), (5 + kCopyExtra<S>) * unit);
  EXPECT_EQ(HeaderOf(s).length, 5);
  s.GetBuffer(20);
  s.ReleaseBuffer();
  EXPECT_EQ(s.GetAllocSize(), 21 * unit);
  s.GetBuffer(3);  // large enough already: the buffer stays
  s.ReleaseBuffer();
  EXPECT_EQ(s.GetAllocSize(), 21 * unit);
  // Room the 32-bit size field cannot hold: the allocation failure.
  EXPECT_THROW(s.GetBuffer(INT_MAX), CXBadAlloc);
  EXPECT_EQ(s.GetAllocSize(), 21 * unit);
  Probe<S> up(Text("abc").get());
  up.Upper();  // room for twice the length plus 2
  EXPECT_EQ(up.GetAllocSize(), 8 * unit);

  // A shared buffer is never changed in place: the change gets exactly the
  // room its result needs. A sole owner with room enough is changed in place.
  Probe<S> big(Text("0123456789").get()), edited(big), inserted(big);
  edited.Delete(2, 5);
  EXPECT_EQ(edited.GetAllocSize(), 6 * unit);
  inserted.Insert(3, Text("xy").get());
  EXPECT_EQ(inserted.GetAllocSize(), 13 * unit);
  const void* before = Chars(big);
  big.Delete(0, 4);
  big.Insert(0, Text("ab").get());
  EXPECT_EQ(Ascii(big), "ab456789");
  EXPECT_EQ(Chars(big), before);
  EXPECT_EQ(Probe<S>(S(Text("ab").get()) + Text("cde").get()).GetAllocSize(), 6 * unit);

  // Assigning a text copies it with AssignCopy, an empty text included
  // (only the constructors keep an empty text on the shared buffer).
  Probe<S> assigned(Text("xyz").get());
  assigned = Text("").get();
  EXPECT_EQ(assigned.GetAllocSize(), kCopyExtra<S> * unit);
  EXPECT_EQ(HeaderOf(assigned).refs, 1);
  assigned.AssignCopy(Text("q").get(), 0);
  EXPECT_EQ(assigned.GetAllocSize(), kCopyExtra<S> * unit);
}

TYPED_TEST(Buffer, ProtectedBufferMembers) {
  STRTEST_TYPES;
  const int unit = sizeof(Unit);
  Probe<S> s(Text("hello").get()), keep(s);
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
  STRTEST_TYPES;
  S s(Text("abc").get());
  s += s;
  s += s.GetData(4);
  EXPECT_EQ(Ascii(s), "abcabcbc");
  s = s.GetData(6);
  s = static_cast<const Unit*>(s);
  EXPECT_EQ(Ascii(s), "bc");
  // Once in a fresh buffer, once in place (room to spare), where moving the
  // tail would overwrite an argument taken from the string.
  for (int room : {0, 32}) {
    SCOPED_TRACE(room);
    S t(Text("abcd").get());
    if (room) t.GetBuffer(room), t.ReleaseBuffer();
    t.Insert(2, static_cast<const Unit*>(t));
    EXPECT_EQ(Ascii(t), "ababcdcd");
    t.Replace(1, 2, t.GetData(4));
    EXPECT_EQ(Ascii(t), "acdcdbcdcd");
    t.FindReplace(t.GetData(8), t.GetData(1));
    EXPECT_EQ(Ascii(t), "acdcdbcdcdcdbcdcd");
    t += t.GetData(15);
    EXPECT_EQ(Ascii(t), "acdcdbcdcdcdbcdcdcd");
  }
  S name(Text("name.txt").get());
  name.ChangeFileExt(name.GetData(0));
  EXPECT_EQ(Ascii(name), "name.name.txt");
  S abc(Text("abc").get()), twin(abc);
  abc.Extract(1, 1, twin);  // the output shares the source's buffer
  EXPECT_EQ(Ascii(twin), "b");
  EXPECT_EQ(abc.Extract(0, 2, abc), 2);
  EXPECT_EQ(Ascii(abc), "ab");
}

}  // namespace
