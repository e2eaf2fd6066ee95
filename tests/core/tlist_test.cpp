// The circular list: ring links, insertion at both ends, removal.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/core/counted.h"
#include "zr/tlist.h"

namespace {

// Checks the ring in both directions and answers the values head to tail.
template <class List>
std::vector<typename List::T> Walk(const List& list) {
  std::vector<typename List::T> values, backwards;
  if (auto* head = list.GetHead()) {
    EXPECT_EQ(head->pPrev, list.GetTail());  // the ring closes both ways
    EXPECT_EQ(list.GetTail()->pNext, head);
  }
  for (auto* n = list.GetHead(); n && values.size() <= list.GetCount(); n = list.GetNext(n)) {
    EXPECT_EQ(n->pNext->pPrev, n);
    values.push_back(n->value);
  }
  for (auto* n = list.GetTail(); n && backwards.size() <= list.GetCount(); n = list.GetPrev(n))
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
  list.RemoveNode(only);
  EXPECT_EQ(Walk(list), std::vector<int>{});
  list.AddTail(1);
  list.AddHead(0);
  list.AddTail(2);
  EXPECT_EQ(Walk(list), (std::vector<int>{0, 1, 2}));
  for (int at = 0; at < 4; ++at) {  // removal at each position
    CTList<_CTListPlex<int>> four;
    std::vector<_CTListPlex<int>*> nodes;
    for (int i = 0; i < 4; ++i) nodes.push_back(four.AddTail(i));
    EXPECT_EQ(four.RemoveNode(nodes[at]), 1);
    std::vector<int> expected = {0, 1, 2, 3};
    expected.erase(expected.begin() + at);
    EXPECT_EQ(Walk(four), expected) << at;
  }
}

}  // namespace
