// The enumerator interface and the two string enumerators: splitting rules,
// Next/Skip/Reset, owners kept alive, queries, and the table slot order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "streams/stream_test_util.h"
#include "tests/core/counted.h"
#include "zr/tenum.h"

namespace {

using zrtest::CCounted;
using zrtest::Slot;
using namespace std::string_literals;

// Every item an enumerator still delivers, one Next per item.
template <class C>
std::vector<std::basic_string<C>> Drain(CTEnum<const C*>* e) {
  std::vector<std::basic_string<C>> items;
  const C* item = nullptr;
  ULONG fetched = 0;
  while (items.size() <= 1000 && e->Next(1, &item, &fetched)) {
    EXPECT_EQ(fetched, 1u);
    items.emplace_back(item);
  }
  EXPECT_EQ(fetched, 0u);
  return items;
}

TEST(SeparatedStringsEnum, SplitRules) {
  const struct {
    const WCHAR* text;
    const WCHAR* separators;
    std::vector<std::u16string> expected;
  } cases[] = {
      {u"a,,b.", u",.", {u"a", u"b"}},  // runs count as one, a trailing one gives nothing
      {u",.a", u",.", {u"a"}},
      {u"1.2.3", u",.", {u"1", u"2", u"3"}},
      {u",,.,", u",.", {}},
      {u"", u",.", {}},
      {nullptr, u",.", {}},
      {u"whole text", u"", {u"whole text"}},
      {u"whole", nullptr, {u"whole"}},
      {u"\u00E9;\u4E2D", u";", {u"\u00E9", u"\u4E2D"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    std::u16string source = c.text ? c.text : u"";
    auto* e = new _CCharSeparatedStringsEnum<WCHAR>(c.text ? source.c_str() : nullptr, c.separators, nullptr);
    source.assign(source.size(), u'#');  // the enumerator cuts its own copy
    EXPECT_EQ(e->GetItemCount(), c.expected.size());
    EXPECT_EQ(Drain<WCHAR>(e), c.expected);
    e->Release();
  }
}

TEST(ZeroDelimitedStringsEnum, Splitting) {
  struct {
    std::string source;
    std::vector<std::string> expected;
    bool null = false;  // pass a null source instead
  } cases[] = {
      {"one\0two\0three\0\0"s, {"one", "two", "three"}},
      {"a\0\0b\0\0"s, {"a"}},  // the first empty string ends the list
      {""s, {}},
      {""s, {}, true},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    auto* e = new _CZeroDelimitedStringsEnum<char>(c.null ? nullptr : c.source.c_str(), nullptr);
    c.source.assign(c.source.size(), 'x');  // the enumerator holds its own copy
    EXPECT_EQ(Drain<char>(e), c.expected);
    e->Reset();
    EXPECT_EQ(e->Skip(5), 1);  // past the end, even on an empty enumerator
    EXPECT_EQ(e->Next(1, nullptr, nullptr), 0);
    e->Release();
  }
}

TEST(ZeroDelimitedStringsEnum, NextSkipReset) {
  auto* e = new _CZeroDelimitedStringsEnum<char>("a\0b\0c\0", nullptr);
  zrtest::ExpectNextRules(e, {"a", "b", "c"});
  const char* items[1] = {};
  ULONG fetched = 7;
  EXPECT_EQ(e->Next(1, items, &fetched), 0);
  EXPECT_EQ(fetched, 0u);
  e->Reset();
  EXPECT_EQ(e->Skip(1), 1);
  EXPECT_EQ(Drain<char>(e), (std::vector<std::string>{"b", "c"}));
  e->Reset();
  EXPECT_EQ(e->Skip(5), 1);  // no bound check
  EXPECT_EQ(e->Skip(0xFFFFFFFDu), 1);  // the position does not wrap to item 2
  EXPECT_EQ(e->Next(1, items, nullptr), 0);
  e->Reset();
  EXPECT_EQ(Drain<char>(e).size(), 3u);
  e->Release();
}

TEST(StringsEnum, KeepsTheOwnerAlive) {
  int destroyed = 0;
  auto* owner = new CCounted(&destroyed);
  auto* a = new _CZeroDelimitedStringsEnum<char>("x\0", owner);
  auto* b = new _CCharSeparatedStringsEnum<WCHAR>(u"x", u",", owner);
  EXPECT_EQ(owner->Count(), 3u);
  owner->Release();
  a->Release();
  EXPECT_EQ(owner->Count(), 1u);
  b->Release();
  EXPECT_EQ(destroyed, 1);
}

// Next, Skip and Reset sit in slots 3, 4, 5 after IZRUnknown's three, then
// (on this ABI) two destructor entries and InternalAddRef, InternalRelease,
// InternalQueryInterface.
TEST(StringsEnum, QueriesAndTableSlotOrder) {
  using CountFn = ULONG (*)(void*);
  using QueryFn = int (*)(void*, const std::type_info&, void**);
  CTEnum<const char*>* e = new _CZeroDelimitedStringsEnum<char>("p\0q\0r\0", nullptr);
  const struct {
    const std::type_info& type;
    int supported;
  } cases[] = {{typeid(IZRUnknown), 1},
               {typeid(CTEnum<const char*>), 1},
               {typeid(CTEnum<const WCHAR*>), 0},
               {typeid(CTEnum<IZRUnknown*>), 0}};
  for (const auto& c : cases) {
    void* out = &out;
    EXPECT_EQ(Slot<QueryFn>(e, 1)(e, c.type, &out), c.supported) << c.type.name();
    EXPECT_EQ(out, c.supported ? static_cast<void*>(e) : nullptr);
    if (c.supported) {
      EXPECT_EQ(Slot<CountFn>(e, 0)(e), 1u);  // the query added one
    }
  }
  EXPECT_EQ(Slot<CountFn>(e, 2)(e), 2u);
  const char* item = nullptr;
  ULONG fetched = 0;
  EXPECT_EQ((Slot<int (*)(void*, ULONG, const char**, ULONG*)>(e, 3)(e, 1, &item, &fetched)), 1);
  EXPECT_STREQ(item, "p");
  EXPECT_EQ((Slot<int (*)(void*, ULONG)>(e, 4)(e, 1)), 1);
  EXPECT_EQ(e->Next(1, &item, nullptr), 1);
  EXPECT_STREQ(item, "r");
  Slot<void (*)(void*)>(e, 5)(e);
  EXPECT_EQ(e->Next(1, &item, nullptr), 1);
  EXPECT_STREQ(item, "p");
  const int n = 6;
  EXPECT_EQ(Slot<CountFn>(e, n + 2)(e), 3u);
  EXPECT_EQ(Slot<QueryFn>(e, n + 4)(e, typeid(CTEnum<const WCHAR*>), nullptr), 0);
  EXPECT_EQ(Slot<CountFn>(e, n + 3)(e), 2u);
  EXPECT_EQ(Slot<CountFn>(e, n + 3)(e), 1u);
  EXPECT_EQ(Slot<CountFn>(e, n + 3)(e), 0u);
}

}  // namespace
