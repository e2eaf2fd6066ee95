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

// The load address of libzrcore.so, found independently of the library.
HMODULE LibraryBase() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<const void*>(&Mem_DefaultHeap), &info)) return nullptr;
  return static_cast<HMODULE>(info.dli_fbase);
}

std::u16string Name(const WCHAR* p) { return p ? std::u16string(p) : std::u16string(); }

// Other modules call GetCause and Reserved through the table, after the two
// destructor entries.
TEST(Exception, CausesModuleAndTableOfEachClass) {
  const HMODULE library = LibraryBase();
  ASSERT_NE(library, nullptr);
  CXException base(ZRCAUSE_BADSEEK);
  CXMemException mem;
  CXBadAlloc badAlloc;  // its CXMemException record comes first
  CXEofException eof;
  CXFileException file(ZRCAUSE_SHARING, u"a.txt", 3);
  CXIFaceException iface(ZRCAUSE_INVALIDARG, &typeid(IMissing));
  const struct {
    CXException& e;
    DWORD cause;
  } cases[] = {{base, ZRCAUSE_BADSEEK},
               {mem, ZRCAUSE_NOMEMORY},
               {badAlloc, ZRCAUSE_NOMEMORY},
               {eof, ZRCAUSE_EOF},
               {file, ZRCAUSE_SHARING},
               {iface, ZRCAUSE_INVALIDARG}};
  for (const auto& c : cases) {
    SCOPED_TRACE(typeid(c.e).name());
    EXPECT_EQ(c.e.GetModule(), library);
    EXPECT_EQ(zrtest::Slot<DWORD (*)(const void*)>(&c.e, 2)(&c.e), c.cause);
    zrtest::Slot<void (*)(void*)>(&c.e, 3)(&c.e);  // Reserved: does nothing
    EXPECT_EQ(c.e.GetCause(), c.cause);
  }
  EXPECT_EQ(Name(file.GetFileName()), u"a.txt");
  EXPECT_EQ(file.GetOperation(), 3u);
  EXPECT_EQ(*iface.GetInterface(), typeid(IMissing));
  EXPECT_EQ(static_cast<void*>(static_cast<CXMemException*>(&badAlloc)),
            static_cast<void*>(&badAlloc));
  EXPECT_STREQ(static_cast<const std::bad_alloc&>(badAlloc).what(), "out of memory");
}

TEST(FileException, NamesTakeTheFirstFreeSlot) {
  {
    // Without a name an exception takes a free slot and leaves it empty.
    CXFileException named(ZRCAUSE_OSERROR, u"kept", 0);
    CXFileException unnamed(ZRCAUSE_OSERROR, nullptr, 0);
    ASSERT_NE(unnamed.GetFileName(), nullptr);
    EXPECT_EQ(Name(unnamed.GetFileName()), u"");
    EXPECT_NE(unnamed.GetFileName(), named.GetFileName());
    EXPECT_EQ(Name(named.GetFileName()), u"kept");
  }
  std::vector<std::unique_ptr<CXFileException>> live;
  const std::u16string names[] = {u"one", u"two", u"three", u"four"};
  for (const std::u16string& n : names) {
    live.push_back(std::make_unique<CXFileException>(ZRCAUSE_OSERROR, n.c_str(), 0));
    for (size_t j = 0; j + 1 < live.size(); ++j) EXPECT_NE(live.back()->GetFileName(), live[j]->GetFileName());
  }

  // A fifth takes slot 0 over: the first exception now shows its name.
  {
    CXFileException fifth(ZRCAUSE_OSERROR, u"five", 0);
    EXPECT_EQ(fifth.GetFileName(), live[0]->GetFileName());
    EXPECT_EQ(Name(live[0]->GetFileName()), u"five");
  }
  // Its destruction freed slot 0: the next name goes there.
  EXPECT_EQ(Name(live[0]->GetFileName()), u"");
  CXFileException six(ZRCAUSE_OSERROR, u"six", 0);
  EXPECT_EQ(six.GetFileName(), live[0]->GetFileName());

  // Freeing slot 2 makes it the first free one.
  const WCHAR* slot2 = live[2]->GetFileName();
  live[2].reset();
  CXFileException seven(ZRCAUSE_OSERROR, u"seven", 0);
  EXPECT_EQ(seven.GetFileName(), slot2);
  EXPECT_EQ(Name(live[1]->GetFileName()), u"two");
  EXPECT_EQ(Name(live[3]->GetFileName()), u"four");

  // With every slot named, an unnamed exception points at slot 0 unchanged.
  CXFileException unnamed(ZRCAUSE_OSERROR, nullptr, 0);
  EXPECT_EQ(unnamed.GetFileName(), six.GetFileName());
  EXPECT_EQ(Name(unnamed.GetFileName()), u"six");
}

TEST(FileException, CopiesShareTheSlot) {
  CXFileException original(ZRCAUSE_ACCESSDENIED, u"shared.txt", 1);
  {
    CXFileException copy(original);
    EXPECT_EQ(copy.GetFileName(), original.GetFileName());
    EXPECT_EQ(copy.GetCause(), original.GetCause());
    EXPECT_EQ(copy.GetOperation(), 1u);
  }
  // The first copy destroyed frees the slot for both.
  EXPECT_EQ(Name(original.GetFileName()), u"");
}

TEST(FileException, LongNamesAreCut) {
  const size_t limit = 511;  // a slot holds 512 characters with the terminator
  struct Case {
    std::u16string name;
    std::u16string expected;
  } cases[] = {
      {std::u16string(limit, u'x'), std::u16string(limit, u'x')},
      {std::u16string(limit + 1, u'y'), std::u16string(limit, u'y')},
      {std::u16string(5000, u'z'), std::u16string(limit, u'z')},
      // A surrogate pair straddling the cut is dropped whole.
      {std::u16string(limit - 1, u'w') + u"\U0001F600", std::u16string(limit - 1, u'w')},
      {std::u16string(limit - 2, u'v') + u"\U0001F600", std::u16string(limit - 2, u'v') + u"\U0001F600"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name.size());
    CXFileException e(ZRCAUSE_BADPATH, c.name.c_str(), 0);
    EXPECT_EQ(Name(e.GetFileName()), c.expected);
  }
}

}  // namespace
