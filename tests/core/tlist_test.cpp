// The circular lists: ring links, insertion at both ends, removal, owned
// elements, the closed flag, and the shared list with its enumerator.
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "tests/core/counted.h"
#include "zr/tlist.h"

namespace {

using zrtest::CCounted;
using zrtest::CRecord;

// Checks the ring in both directions and answers the values head to tail.
template <class List>
std::vector<typename List::T> Walk(const List& list) {
  std::vector<typename List::T> values, backwards;
  auto* head = list.GetHead();
  auto* tail = list.GetTail();
  EXPECT_EQ(head == nullptr, tail == nullptr);
  if (head) {
    EXPECT_EQ(head->pPrev, tail);  // the ring closes both ways
    EXPECT_EQ(tail->pNext, head);
  }
  // Each walk stops at a broken ring.
  for (auto* n = head; n && values.size() <= list.GetCount(); n = list.GetNext(n)) {
    EXPECT_EQ(n->pNext->pPrev, n);
    values.push_back(n->value);
  }
  for (auto* n = tail; n && backwards.size() <= list.GetCount(); n = list.GetPrev(n))
    backwards.insert(backwards.begin(), n->value);
  EXPECT_EQ(values.size(), list.GetCount());
  EXPECT_EQ(backwards, values);
  return values;
}

TEST(TList, AddAndRemoveKeepTheRing) {
  CTList<_CTListPlex<int>> list;
  EXPECT_EQ(list.RemoveNode(nullptr), 0);
  auto* only = list.AddTail(1);
  EXPECT_EQ(only->pNext, only);  // a lone node points to itself both ways
  EXPECT_EQ(only->pPrev, only);
  list.RemoveNode(only);
  EXPECT_EQ(Walk(list), std::vector<int>{});
  list.AddTail(1);  // usable again after becoming empty
  list.AddTail(2);
  list.AddHead(0);
  list.AddTail(3);
  list.AddHead(-1);
  EXPECT_EQ(Walk(list), (std::vector<int>{-1, 0, 1, 2, 3}));
  EXPECT_EQ(list.GetNext(list.GetTail()), nullptr);
  EXPECT_EQ(list.GetPrev(list.GetHead()), nullptr);
  // Removal at each position.
  for (int at = 0; at < 4; ++at) {
    CTList<_CTListPlex<int>> four;
    std::vector<_CTListPlex<int>*> nodes;
    for (int i = 0; i < 4; ++i) nodes.push_back(four.AddTail(i));
    EXPECT_EQ(four.RemoveNode(nodes[at]), 1);
    std::vector<int> expected = {0, 1, 2, 3};
    expected.erase(expected.begin() + at);
    EXPECT_EQ(Walk(four), expected) << at;
  }
}

TEST(TPList, StringListsKeepCopies) {
  CTPList<const char*> list;
  char text[] = "alpha";
  auto* node = list.AddTail(text);
  EXPECT_NE(node->value, text);
  std::strcpy(text, "xxxxx");
  list.AddHead("zero");
  list.AddTail(nullptr);  // a null string is kept as an empty one
  std::vector<std::string> seen;
  for (const char* v : Walk(list)) seen.push_back(v);
  EXPECT_EQ(seen, (std::vector<std::string>{"zero", "alpha", ""}));
  EXPECT_EQ(list.RemoveNode(node), 1);  // frees the copy (checked by the sanitizer build)

  CTPList<const WCHAR*> wide;
  EXPECT_TRUE(std::u16string(wide.AddTail(u"w\u00E9")->value) == u"w\u00E9");
}

TEST(TPList, OwnsItsPointees) {
  int destroyed = 0;
  {
    CTPList<CRecord*> list;
    auto* first = list.AddTail(new CRecord(&destroyed, 1));
    list.AddTail(new CRecord(&destroyed, 2));
    list.AddTail(new CRecord(&destroyed, 3));
    EXPECT_EQ(list.RemoveNode(first), 1);
    EXPECT_EQ(destroyed, 1);
  }
  EXPECT_EQ(destroyed, 3);  // the destructor deletes the rest

  // Objects of the object model are released, not deleted.
  destroyed = 0;
  auto* shared = new CCounted(&destroyed);
  {
    CTPList<CCounted*> list;
    shared->AddRef();  // the list's reference
    list.AddTail(shared);
  }
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(shared->Count(), 1u);
  shared->Release();
  EXPECT_EQ(destroyed, 1);
}

TEST(TPList, RefusesWhileEmptying) {
  CTPList<CCounted*> list;
  int destroyed = 0, removed = -1;
  bool added = true;
  auto* a = new CCounted(&destroyed);
  auto* b = new CCounted(&destroyed);
  list.AddTail(a);
  auto* nodeB = list.AddTail(b);
  a->onDestroy = [&] {
    EXPECT_EQ(list.IsClosed(), 1);
    added = list.AddTail(nullptr) != nullptr;
    removed = list.RemoveNode(nodeB);
  };
  list.RemoveAll();
  EXPECT_EQ(destroyed, 2);
  EXPECT_FALSE(added);
  EXPECT_EQ(removed, 0);
  EXPECT_EQ(list.GetCount(), 0u);
  EXPECT_EQ(list.IsClosed(), 0);
}

// A destroyed list refuses to add or remove without touching its memory.
TEST(TPList, ClosedListRefusesWithoutTouchingMemory) {
  using List = CTPList<const char*>;
  alignas(List) unsigned char storage[sizeof(List)];
  List* list = new (storage) List;
  auto* node = list->AddTail("x");
  list->~List();
  unsigned char before[sizeof(List)];
  std::memcpy(before, storage, sizeof storage);
  EXPECT_EQ(list->AddTail("late"), nullptr);
  EXPECT_EQ(list->AddHead("late"), nullptr);
  EXPECT_EQ(list->RemoveNode(node), 0);
  list->RemoveAll();
  EXPECT_EQ(std::memcmp(before, storage, sizeof storage), 0);
  EXPECT_EQ(list->IsClosed(), 1);
}

TEST(TListEnum, EnumeratorKeepsTheListAlive) {
  int destroyed = 0;
  auto* list = new CTListEnum<CCounted*, CCounted*>;
  list->AddTail(new CCounted(&destroyed));  // the list owns this reference
  auto* e = new _CListEnum<CCounted*, CCounted*>(list);
  EXPECT_EQ(list->AddRef(), 3u);  // creator, enumerator, this call
  EXPECT_EQ(e->AddRef(), 2u);     // each enumerator reference is also the list's
  EXPECT_EQ(list->Release(), 3u);
  e->Release();
  EXPECT_EQ(list->Release(), 1u);  // the creator lets go
  CCounted* item = nullptr;
  EXPECT_EQ(e->Next(1, &item, nullptr), 1);
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(e->Release(), 0u);
  EXPECT_EQ(destroyed, 1);  // the list went, releasing its element
}

TEST(TListEnum, NextSkipReset) {
  auto* list = new CTListEnum<const char*, const char*>;
  for (const char* name : {"a", "b", "c"}) list->AddTail(name);
  auto* e = new _CListEnum<const char*, const char*>(list);
  list->Release();

  zrtest::ExpectNextRules(e, {"a", "b", "c"});
  const char* items[1] = {};
  EXPECT_EQ(e->Next(1, items, nullptr), 0);  // the walk ended after the tail
  e->Reset();
  EXPECT_EQ(e->Skip(2), 1);  // on c
  EXPECT_EQ(e->Next(1, items, nullptr), 1);
  EXPECT_STREQ(items[0], "c");
  e->Reset();
  EXPECT_EQ(e->Skip(3), 0);  // past the tail
  EXPECT_EQ(e->Skip(1), 0);
  EXPECT_EQ(e->Next(1, items, nullptr), 0);
  e->Release();
}

}  // namespace
