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
    copy = Text("other").get();
    EXPECT_EQ(HeaderOf(shared).refs, 2);
  }
  EXPECT_EQ(HeaderOf(shared).refs, 1);
  EXPECT_EQ(Ascii(shared), "shared");
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
  a.ReleaseBuffer(99);  // the argument is not used
  EXPECT_EQ(HeaderOf(a).refs, 1);
  S shared(a);
  EXPECT_EQ(Chars(shared), Chars(a));
  // Room the 32-bit size field cannot hold: the allocation failure, and the
  // string as it was.
  EXPECT_THROW(a.GetBuffer(INT_MAX), CXBadAlloc);
  EXPECT_EQ(Ascii(a), "Xbcd");

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

// The header's length field is exact after every change while the buffer
// is not locked (searches read it): each row changes a string one way.
TYPED_TEST(Buffer, LengthFieldIsExactAfterEveryChange) {
  STRTEST_TYPES;
  const Unit zeroInside[] = {Unit('x'), 0, Unit('y')};
  const Text needle("needle");
  const Unit* const plain = needle.get();
  const std::vector<std::pair<const char*, std::function<void(Probe<S>&)>>> kChanges = {
      {"assigned a text", [&](Probe<S>& s) { s = plain; }},
      {"copy of n units with a zero inside", [&](Probe<S>& s) { s.AssignCopy(zeroInside, 3); }},
      {"appended units with a zero inside", [&](Probe<S>& s) { s.ConcatCopy(zeroInside, 3); }},
      {"appended in place with a zero inside",
       [&](Probe<S>& s) { s.GetBuffer(40), s.ReleaseBuffer(), s.ConcatCopy(zeroInside, 3); }},
      {"cut and appended", [&](Probe<S>& s) { s.ConcatCopyTo(2, plain, 3); }},
      {"inserted", [&](Probe<S>& s) { s.Insert(1, plain); }},
      {"deleted", [&](Probe<S>& s) { s.Delete(1, 2); }},
      {"replaced", [&](Probe<S>& s) { s.Replace(0, 2, plain); }},
      {"extracted", [&](Probe<S>& s) { s.Extract(1, 3); }},
      {"found and replaced", [&](Probe<S>& s) { s.FindReplace(Text("b").get(), plain); }},
      {"trimmed", [&](Probe<S>& s) { s = Text("  a  ").get(), s.TrimLeft(), s.TrimRight(); }},
      {"upper-cased", [&](Probe<S>& s) { s.Upper(); }},
      {"appended with +=", [&](Probe<S>& s) { s += plain; }},
      {"shorter text written under the lock",
       [&](Probe<S>& s) { s.GetBuffer(10)[1] = 0, s.ReleaseBuffer(); }},
      {"longer text written under the lock",
       [&](Probe<S>& s) {
         Unit* p = s.GetBuffer(10);
         for (int i = 0; i < 10; ++i) p[i] = Unit('q');
         s.ReleaseBuffer();
       }},
      {"fresh buffer", [&](Probe<S>& s) { s.AllocBuffer(8); }},
      {"grown buffer", [&](Probe<S>& s) { s.ReallocBuffer(64); }},
  };
  for (const auto& [what, change] : kChanges) {
    Probe<S> s(Text("abcdef").get());
    change(s);
    const std::size_t length = Ascii(s).size();
    EXPECT_EQ(HeaderOf(s).length, static_cast<std::int32_t>(length)) << what;
    // A search ends at the terminator, not at stale units beyond it.
    EXPECT_EQ(s.Find(Text("ef").get()), static_cast<int>(Ascii(s).find("ef"))) << what;
    EXPECT_EQ(s.Find(Text("y").get()), static_cast<int>(Ascii(s).find("y"))) << what;
  }
}

}  // namespace
