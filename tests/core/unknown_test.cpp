// Reference counting, interface queries, aggregation and the table layout of
// the object model templates. Table slots are part of the contract with other
// modules, so operations are called through the raw table too.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "streams/stream_test_util.h"
#include "zr/unknown.h"

namespace {

using zrtest::Slot;
using CountFn = ULONG (*)(void*);
using QueryFn = int (*)(void*, const std::type_info&, void**);

class ITest : public IZRUnknown {
 public:
  virtual int Ping() = 0;
};
class IOther : public IZRUnknown {};  // never implemented

std::vector<int> g_deaths;

// Overrides the public AddRef: the template's query must add through it.
class CTest : public CZRUnknownImpl<ITest> {
 public:
  ~CTest() override { g_deaths.push_back(0); }
  int Ping() override { return 42; }
  ULONG AddRef() override { return ++addRefCalls, CZRUnknownImpl<ITest>::AddRef(); }
  ULONG Count() const { return m_cRef; }
  int addRefCalls = 0;
};

// After ITest's four slots: two destructor entries, then InternalAddRef,
// InternalRelease, InternalQueryInterface.
TEST(UnknownImpl, QueriesAndTableSlotOrder) {
  g_deaths.clear();
  auto* obj = new CTest;
  ITest* iface = obj;
  void* out = iface;
  EXPECT_EQ(Slot<QueryFn>(iface, 1)(iface, typeid(CTest), &out), 0);  // classes are no interfaces
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(Slot<QueryFn>(iface, 1)(iface, typeid(IZRUnknown), nullptr), 1);  // only answers
  EXPECT_EQ(obj->QueryInterface(typeid(IZRUnknown), &out), 1);
  EXPECT_EQ(out, static_cast<void*>(iface));
  EXPECT_EQ(obj->addRefCalls, 1);  // through the overridden AddRef
  EXPECT_EQ(Slot<CountFn>(iface, 2)(iface), 3u);
  EXPECT_EQ(Slot<CountFn>(iface, 0)(iface), 2u);
  EXPECT_EQ(Slot<CountFn>(iface, 0)(iface), 1u);
  EXPECT_EQ(Slot<int (*)(void*)>(iface, 3)(iface), 42);
  EXPECT_EQ(Slot<CountFn>(iface, 4 + 2)(iface), 2u);
  EXPECT_EQ(Slot<QueryFn>(iface, 4 + 4)(iface, typeid(IOther), nullptr), 0);
  EXPECT_EQ(Slot<QueryFn>(iface, 4 + 4)(iface, typeid(ITest), nullptr), 1);
  EXPECT_EQ(Slot<CountFn>(iface, 4 + 3)(iface), 1u);
  EXPECT_TRUE(g_deaths.empty());
  Slot<void (*)(void*)>(iface, 4 + 1)(iface);  // the deleting destructor
  EXPECT_EQ(g_deaths.size(), 1u);
}

class CNode : public CZRUnknownImplParent<ITest, ITest> {
 public:
  explicit CNode(int id) : m_id(id) {}
  ~CNode() override { g_deaths.push_back(m_id); }
  int Ping() override { return m_id; }
  ULONG OwnCount() const { return m_cOwnRef; }
  ULONG InheritedCount() const { return m_cRef; }

 private:
  int m_id;
};

// SetParent and GetParent follow the four tail slots. The object counts with
// its own counter; the template's tail operations keep the inherited one.
TEST(UnknownImplParent, HoldsAndReplacesItsParentThroughTheTable) {
  g_deaths.clear();
  auto* first = new CNode(1);
  auto* second = new CNode(2);
  ITest* iface = new CNode(3);
  const auto setParent = [&](ITest* p) { Slot<void (*)(void*, void*)>(iface, 4 + 5)(iface, p); };
  const auto getParent = [&] { return static_cast<ITest*>(Slot<void* (*)(void*)>(iface, 4 + 6)(iface)); };
  EXPECT_EQ(getParent(), nullptr);
  setParent(first);
  setParent(first);  // the same parent again keeps exactly one reference
  EXPECT_EQ(first->OwnCount(), 2u);
  EXPECT_EQ(getParent(), first);
  EXPECT_EQ(first->Release(), 2u);  // GetParent added one
  EXPECT_EQ(first->Release(), 1u);
  setParent(second);  // releases the old parent: here its last reference
  EXPECT_EQ(g_deaths, std::vector<int>{1});
  EXPECT_EQ(second->Release(), 1u);

  void* out = nullptr;
  ASSERT_EQ(Slot<QueryFn>(iface, 1)(iface, typeid(ITest), &out), 1);
  EXPECT_EQ(static_cast<CNode*>(iface)->OwnCount(), 2u);
  EXPECT_EQ(static_cast<CNode*>(iface)->InheritedCount(), 1u);
  EXPECT_EQ(Slot<CountFn>(iface, 4 + 2)(iface), 2u);
  EXPECT_EQ(Slot<CountFn>(iface, 4 + 3)(iface), 1u);
  EXPECT_EQ(Slot<CountFn>(iface, 0)(iface), 1u);
  // The child's last release releases its parent, which dies first.
  EXPECT_EQ(Slot<CountFn>(iface, 0)(iface), 0u);
  EXPECT_EQ(g_deaths, (std::vector<int>{1, 2, 3}));
}

class IBeta : public IZRUnknown {
 public:
  virtual int Beta() = 0;
};

int g_innerAlive = 0;

class CInner : public CZRContainedObject<CInner>, public ITest, public IBeta {
 public:
  CInner() { ++g_innerAlive; }
  ~CInner() override { --g_innerAlive; }
  ZR_CONTAINED_UNKNOWN(CInner)
  int Ping() override { return 1; }
  int Beta() override { return 2; }
  int InternalQueryInterface(const std::type_info& type, void** out) {
    IZRUnknown* answer = nullptr;
    if (type == typeid(ITest)) answer = static_cast<ITest*>(this);
    if (type == typeid(IBeta)) answer = static_cast<IBeta*>(this);
    if (answer && out) *out = answer, answer->AddRef();
    return answer != nullptr;
  }
};

TEST(Aggregate, StandaloneObjectCountsOnTheAggregate) {
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(ZRCreateAggregate<CInner>(nullptr, typeid(IOther), &out), 0);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(g_innerAlive, 0);
  ASSERT_EQ(ZRCreateAggregate<CInner>(nullptr, typeid(ITest), &out), 1);
  auto* test = static_cast<ITest*>(out);
  // Every interface shares the aggregate's count and identity.
  void *unk = nullptr, *beta = nullptr, *unk2 = nullptr;
  ASSERT_EQ(test->QueryInterface(typeid(IZRUnknown), &unk), 1);
  ASSERT_EQ(Slot<QueryFn>(unk, 1)(unk, typeid(IBeta), &beta), 1);
  EXPECT_EQ(static_cast<IBeta*>(beta)->Beta(), 2);
  ASSERT_EQ(static_cast<IBeta*>(beta)->QueryInterface(typeid(IZRUnknown), &unk2), 1);
  EXPECT_EQ(unk, unk2);
  // Four references; AddRef answers the count before the increment.
  EXPECT_EQ(Slot<CountFn>(unk, 2)(unk), 4u);
  EXPECT_EQ(test->Release(), 4u);
  EXPECT_EQ(Slot<CountFn>(unk2, 0)(unk2), 3u);
  EXPECT_EQ(static_cast<IBeta*>(beta)->Release(), 2u);
  EXPECT_EQ(test->Release(), 1u);
  Slot<void (*)(void*)>(unk, 4)(unk);  // slots 3 and 4: the aggregate's destructor
  EXPECT_EQ(g_innerAlive, 0);
}

}  // namespace
