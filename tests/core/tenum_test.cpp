// The enumerator interface and the two string enumerators: splitting rules,
// Next/Skip/Reset, owners kept alive, queries, and the table slot order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "streams/stream_test_util.h"
#include "tests/core/counted.h"
#include "zr/tenum.h"

namespace {

using zrtest::Slot;
using namespace std::string_literals;

// Every item an enumerator still delivers, one Next per item.
template <class C>
std::vector<std::basic_string<C>> Drain(CTEnum<const C*>* e) {
  std::vector<std::basic_string<C>> items;
  const C* item = nullptr;
  while (items.size() <= 100 && e->Next(1, &item, nullptr)) items.emplace_back(item);
  return items;
}

TEST(StringsEnum, NextSkipResetAndTheOwner) {
  int destroyed = 0;
  auto* owner = new zrtest::CCounted(&destroyed);
  auto* e = new _CZeroDelimitedStringsEnum<char>("a\0b\0c\0", owner);
  EXPECT_EQ(owner->Count(), 2u);
  owner->Release();
  zrtest::ExpectNextRules(e, {"a", "b", "c"});
  const char* items[1] = {};
  ULONG fetched = 7;
  EXPECT_EQ(e->Next(1, items, &fetched), 0);
  EXPECT_EQ(fetched, 0u);
  e->Reset();
  EXPECT_EQ(e->Skip(1), 1);
  EXPECT_EQ(Drain<char>(e), (std::vector<std::string>{"b", "c"}));
  e->Reset();
  EXPECT_EQ(e->Skip(5), 1);            // no bound check
  EXPECT_EQ(e->Skip(0xFFFFFFFDu), 1);  // the position does not wrap to item 2
  EXPECT_EQ(e->Next(1, items, nullptr), 0);
  EXPECT_EQ(destroyed, 0);
  e->Release();
  EXPECT_EQ(destroyed, 1);
}

// Next, Skip and Reset sit in slots 3, 4, 5 after IZRUnknown's three, then
// (on this ABI) two destructor entries and InternalAddRef, InternalRelease,
// InternalQueryInterface.
TEST(StringsEnum, QueriesAndTableSlotOrder) {
  using CountFn = ULONG (*)(void*);
  using QueryFn = int (*)(void*, const std::type_info&, void**);
  CTEnum<const char*>* e = new _CZeroDelimitedStringsEnum<char>("p\0q\0r\0", nullptr);
  void* out = &out;
  EXPECT_EQ(Slot<QueryFn>(e, 1)(e, typeid(CTEnum<const WCHAR*>), &out), 0);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(Slot<QueryFn>(e, 1)(e, typeid(CTEnum<const char*>), &out), 1);
  EXPECT_EQ(out, static_cast<void*>(e));
  EXPECT_EQ(Slot<CountFn>(e, 0)(e), 1u);  // the query added one
  EXPECT_EQ(Slot<CountFn>(e, 2)(e), 2u);
  const char* item = nullptr;
  EXPECT_EQ((Slot<int (*)(void*, ULONG, const char**, ULONG*)>(e, 3)(e, 1, &item, nullptr)), 1);
  EXPECT_STREQ(item, "p");
  EXPECT_EQ((Slot<int (*)(void*, ULONG)>(e, 4)(e, 1)), 1);
  EXPECT_EQ(e->Next(1, &item, nullptr), 1);
  EXPECT_STREQ(item, "r");
  Slot<void (*)(void*)>(e, 5)(e);
  EXPECT_EQ(e->Next(1, &item, nullptr), 1);
  EXPECT_STREQ(item, "p");
  EXPECT_EQ(Slot<CountFn>(e, 6 + 2)(e), 3u);
  EXPECT_EQ(Slot<QueryFn>(e, 6 + 4)(e, typeid(IZRUnknown), nullptr), 1);
  EXPECT_EQ(Slot<CountFn>(e, 6 + 3)(e), 2u);
  EXPECT_EQ(Slot<CountFn>(e, 6 + 3)(e), 1u);
  EXPECT_EQ(Slot<CountFn>(e, 6 + 3)(e), 0u);
}

}  // namespace
