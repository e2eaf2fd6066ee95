// The exception family: causes, the module handle, catching by reference,
// and the shared file-name slots.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

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

TEST(Exception, CausesAndModuleOfEachClass) {
  const HMODULE library = LibraryBase();
  ASSERT_NE(library, nullptr);
  struct Case {
    const char* what;
    std::unique_ptr<CXException> e;
    DWORD cause;
  };
  std::vector<Case> cases;
  cases.push_back({"CXException", std::make_unique<CXException>(ZRCAUSE_BADSEEK), ZRCAUSE_BADSEEK});
  cases.push_back({"CXMemException", std::make_unique<CXMemException>(), ZRCAUSE_NOMEMORY});
  cases.push_back({"CXEofException", std::make_unique<CXEofException>(), ZRCAUSE_EOF});
  cases.push_back({"CXFileException",
                   std::make_unique<CXFileException>(ZRCAUSE_SHARING, u"a.txt", 3), ZRCAUSE_SHARING});
  cases.push_back({"CXIFaceException",
                   std::make_unique<CXIFaceException>(ZRCAUSE_INVALIDARG, &typeid(IMissing)),
                   ZRCAUSE_INVALIDARG});
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.e->GetCause(), c.cause);
    EXPECT_EQ(c.e->GetModule(), library);
    c.e->Reserved();  // callable, does nothing
    EXPECT_EQ(c.e->GetCause(), c.cause);
  }
  auto* iface = static_cast<CXIFaceException*>(cases[4].e.get());
  EXPECT_EQ(*iface->GetInterface(), typeid(IMissing));
}

TEST(Exception, ThrownByValueCaughtByReference) {
  try {
    throw CXEofException();
  } catch (const CXException& e) {
    EXPECT_EQ(typeid(e), typeid(CXEofException));
    EXPECT_EQ(e.GetCause(), static_cast<DWORD>(ZRCAUSE_EOF));
  }
  try {
    throw CXFileException(ZRCAUSE_FILENOTFOUND, u"missing.dat", 7);
  } catch (CXFileException& e) {
    EXPECT_EQ(Name(e.GetFileName()), u"missing.dat");
    EXPECT_EQ(e.GetOperation(), 7u);
  }
  try {
    throw CXMemException();
  } catch (const CXMemException& e) {
    EXPECT_EQ(e.GetCause(), static_cast<DWORD>(ZRCAUSE_NOMEMORY));
  }
}

TEST(Exception, TableSlotOrder) {
  // Two destructor entries, then GetCause and Reserved.
  using CauseFn = DWORD (*)(const void*);
  using ReservedFn = void (*)(void*);
  CXMemException e;
  void** table = *reinterpret_cast<void***>(&e);
  EXPECT_EQ(reinterpret_cast<CauseFn>(table[2])(&e), static_cast<DWORD>(ZRCAUSE_NOMEMORY));
  reinterpret_cast<ReservedFn>(table[3])(&e);
  CXException base(ZRCAUSE_CANCELLED);
  table = *reinterpret_cast<void***>(&base);
  EXPECT_EQ(reinterpret_cast<CauseFn>(table[2])(&base), static_cast<DWORD>(ZRCAUSE_CANCELLED));
}

TEST(FileException, NamesTakeTheFirstFreeSlot) {
  std::vector<std::unique_ptr<CXFileException>> live;
  const std::u16string names[] = {u"one", u"two", u"three", u"four"};
  for (const std::u16string& n : names) live.push_back(std::make_unique<CXFileException>(ZRCAUSE_OSERROR, n.c_str(), 0));
  for (size_t i = 0; i < live.size(); ++i) {
    EXPECT_EQ(Name(live[i]->GetFileName()), names[i]);
    for (size_t j = 0; j < i; ++j) EXPECT_NE(live[i]->GetFileName(), live[j]->GetFileName());
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
}

TEST(FileException, WithoutANameTakesAFreeSlotUnwritten) {
  const WCHAR* first;
  {
    CXFileException named(ZRCAUSE_OSERROR, u"kept", 0);
    first = named.GetFileName();
    CXFileException unnamed(ZRCAUSE_OSERROR, nullptr, 0);
    ASSERT_NE(unnamed.GetFileName(), nullptr);
    EXPECT_EQ(Name(unnamed.GetFileName()), u"");
    EXPECT_NE(unnamed.GetFileName(), first);
    EXPECT_EQ(Name(named.GetFileName()), u"kept");
  }
  // With every slot named, an unnamed exception points at slot 0 unchanged.
  std::vector<std::unique_ptr<CXFileException>> live;
  for (const char16_t* n : {u"a", u"b", u"c", u"d"})
    live.push_back(std::make_unique<CXFileException>(ZRCAUSE_OSERROR, n, 0));
  CXFileException unnamed(ZRCAUSE_OSERROR, nullptr, 0);
  EXPECT_EQ(unnamed.GetFileName(), live[0]->GetFileName());
  EXPECT_EQ(Name(unnamed.GetFileName()), u"a");
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
  const size_t limit = CXFileException::kNameSlotChars - 1;
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
