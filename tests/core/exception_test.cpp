// The exception family: causes, the module handle, the table slots and the
// shared file-name slots.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "streams/stream_test_util.h"
#include "zr/exception.h"
#include "zr/heap.h"

namespace {

class IMissing : public IZRUnknown {};

std::u16string Name(const CXFileException& e) { return e.GetFileName() ? e.GetFileName() : u"<null>"; }

// Other modules call GetCause and Reserved through the table, after the two
// destructor entries. The module is the library's, found by its load address.
TEST(Exception, CausesModuleAndTableOfEachClass) {
  Dl_info library{};
  ASSERT_NE(dladdr(reinterpret_cast<const void*>(&Mem_DefaultHeap), &library), 0);
  CXException base(ZRCAUSE_BADSEEK);
  CXMemException mem;
  CXBadAlloc badAlloc;  // its CXMemException record comes first
  CXEofException eof;
  CXFileException file(ZRCAUSE_SHARING, u"a.txt", 3);
  CXIFaceException iface(ZRCAUSE_INVALIDARG, &typeid(IMissing));
  const struct { CXException& e; DWORD cause; } cases[] = {
      {base, ZRCAUSE_BADSEEK}, {mem, ZRCAUSE_NOMEMORY}, {badAlloc, ZRCAUSE_NOMEMORY},
      {eof, ZRCAUSE_EOF},      {file, ZRCAUSE_SHARING}, {iface, ZRCAUSE_INVALIDARG}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.e.GetModule(), static_cast<HMODULE>(library.dli_fbase));
    EXPECT_EQ(zrtest::Slot<DWORD (*)(const void*)>(&c.e, 2)(&c.e), c.cause);
    zrtest::Slot<void (*)(void*)>(&c.e, 3)(&c.e);  // Reserved: does nothing
    EXPECT_EQ(c.e.GetCause(), c.cause);
  }
  EXPECT_EQ(Name(file), u"a.txt");
  EXPECT_EQ(file.GetOperation(), 3u);
  EXPECT_EQ(*iface.GetInterface(), typeid(IMissing));
  EXPECT_EQ(static_cast<void*>(static_cast<CXMemException*>(&badAlloc)),
            static_cast<void*>(&badAlloc));
  EXPECT_STREQ(static_cast<const std::bad_alloc&>(badAlloc).what(), "out of memory");
}

// Four slots, each taken by the first exception that finds it free and freed
// by the first copy destroyed; with none free, slot 0 is taken over.
TEST(FileException, NamesTakeTheFirstFreeSlot) {
  std::vector<std::unique_ptr<CXFileException>> live;
  for (const char16_t* n : {u"one", u"two", u"three", u"four"})
    live.push_back(std::make_unique<CXFileException>(ZRCAUSE_OSERROR, n, 0));
  {
    CXFileException fifth(ZRCAUSE_OSERROR, u"five", 0);
    EXPECT_EQ(fifth.GetFileName(), live[0]->GetFileName());
    EXPECT_EQ(Name(*live[0]), u"five");
    EXPECT_EQ(Name(*live[3]), u"four");
  }
  EXPECT_EQ(Name(*live[0]), u"");  // freed with the fifth
  CXFileException six(ZRCAUSE_OSERROR, u"six", 0);
  EXPECT_EQ(six.GetFileName(), live[0]->GetFileName());
  const WCHAR* slot2 = live[2]->GetFileName();
  live[2].reset();
  CXFileException seven(ZRCAUSE_OSERROR, u"seven", 0);
  EXPECT_EQ(seven.GetFileName(), slot2);
  CXFileException unnamed(ZRCAUSE_OSERROR, nullptr, 0);  // none free: slot 0, unchanged
  EXPECT_EQ(Name(unnamed), u"six");
  { CXFileException copy(seven); }
  EXPECT_EQ(Name(seven), u"");  // the first copy destroyed freed it for both
}

TEST(FileException, LongNamesAreCut) {
  const size_t limit = 511;  // a slot holds 512 characters with the terminator
  const struct { std::u16string name, expected; } cases[] = {
      {std::u16string(limit, u'x'), std::u16string(limit, u'x')},
      {std::u16string(limit + 1, u'y'), std::u16string(limit, u'y')},
      // A surrogate pair straddling the cut is dropped whole.
      {std::u16string(limit - 1, u'w') + u"\U0001F600", std::u16string(limit - 1, u'w')},
      {std::u16string(limit - 2, u'v') + u"\U0001F600", std::u16string(limit - 2, u'v') + u"\U0001F600"},
  };
  for (const auto& c : cases) EXPECT_EQ(Name(CXFileException(ZRCAUSE_BADPATH, c.name.c_str(), 0)), c.expected);
}

}  // namespace
