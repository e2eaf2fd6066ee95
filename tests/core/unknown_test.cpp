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
using IntFn = int (*)(void*);
using VoidFn = void (*)(void*);

class ITest : public IZRUnknown {
 public:
  virtual int Ping() = 0;
};
class IOther : public IZRUnknown {};  // never implemented

int g_destroyed = 0;

// Overrides the public AddRef: the template's query must add through it.
class CTest : public CZRUnknownImpl<ITest> {
 public:
  ~CTest() override { ++g_destroyed; }
  int Ping() override { return 42; }
  ULONG AddRef() override {
    ++addRefCalls;
    return CZRUnknownImpl<ITest>::AddRef();
  }
  ULONG Count() const { return m_cRef; }
  int addRefCalls = 0;
};

TEST(UnknownImpl, QueryInterface) {
  auto* obj = new CTest;
  const struct {
    const std::type_info& type;
    int supported;
  } cases[] = {{typeid(IZRUnknown), 1}, {typeid(ITest), 1}, {typeid(IOther), 0}, {typeid(CTest), 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type.name());
    EXPECT_EQ(obj->QueryInterface(c.type, nullptr), c.supported);  // only answers
    EXPECT_EQ(obj->addRefCalls, 0);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(obj->QueryInterface(c.type, &out), c.supported);
    EXPECT_EQ(out, c.supported ? static_cast<void*>(static_cast<ITest*>(obj)) : nullptr);
    EXPECT_EQ(obj->addRefCalls, c.supported);
    EXPECT_EQ(obj->Count(), 1u + c.supported);
    if (c.supported) static_cast<IZRUnknown*>(out)->Release();
    obj->addRefCalls = 0;
  }
  obj->Release();
}

TEST(UnknownImpl, TableSlotOrder) {
  g_destroyed = 0;
  ITest* iface = new CTest;
  EXPECT_EQ(Slot<CountFn>(iface, 2)(iface), 2u);
  EXPECT_EQ(Slot<CountFn>(iface, 0)(iface), 1u);
  EXPECT_EQ(Slot<QueryFn>(iface, 1)(iface, typeid(ITest), nullptr), 1);
  EXPECT_EQ(Slot<IntFn>(iface, 3)(iface), 42);
  // After ITest's four: two destructor entries, then InternalAddRef,
  // InternalRelease, InternalQueryInterface.
  const int n = 4;
  EXPECT_EQ(Slot<CountFn>(iface, n + 2)(iface), 2u);
  EXPECT_EQ(Slot<QueryFn>(iface, n + 4)(iface, typeid(IOther), nullptr), 0);
  EXPECT_EQ(Slot<QueryFn>(iface, n + 4)(iface, typeid(ITest), nullptr), 1);
  EXPECT_EQ(Slot<CountFn>(iface, n + 3)(iface), 1u);
  EXPECT_EQ(g_destroyed, 0);
  Slot<VoidFn>(iface, n + 1)(iface);  // the deleting destructor
  EXPECT_EQ(g_destroyed, 1);
}

class INode : public IZRUnknown {
 public:
  virtual int Id() = 0;
};

std::vector<int> g_nodeDeaths;

class CNode : public CZRUnknownImplParent<INode, INode> {
 public:
  explicit CNode(int id) : m_id(id) {}
  ~CNode() override { g_nodeDeaths.push_back(m_id); }
  int Id() override { return m_id; }
  ULONG OwnCount() const { return m_cOwnRef; }
  ULONG InheritedCount() const { return m_cRef; }

 private:
  int m_id;
};

// SetParent and GetParent follow the four tail slots. The object counts with
// its own counter; the template's tail operations keep the inherited one.
TEST(UnknownImplParent, HoldsAndReplacesItsParentThroughTheTable) {
  g_nodeDeaths.clear();
  auto* first = new CNode(1);
  auto* second = new CNode(2);
  INode* iface = new CNode(3);
  const int n = 4;
  const auto setParent = [&](INode* p) { Slot<void (*)(void*, void*)>(iface, n + 5)(iface, p); };
  const auto getParent = [&] { return static_cast<INode*>(Slot<void* (*)(void*)>(iface, n + 6)(iface)); };
  EXPECT_EQ(getParent(), nullptr);
  setParent(first);
  setParent(first);  // the same parent again keeps exactly one reference
  EXPECT_EQ(first->OwnCount(), 2u);
  EXPECT_EQ(getParent(), first);
  EXPECT_EQ(first->Release(), 2u);  // GetParent added one
  EXPECT_EQ(first->Release(), 1u);
  setParent(second);  // releases the old parent: here its last reference
  EXPECT_EQ(g_nodeDeaths, std::vector<int>{1});
  setParent(nullptr);
  EXPECT_EQ(second->OwnCount(), 1u);
  EXPECT_EQ(getParent(), nullptr);
  setParent(second);
  EXPECT_EQ(second->Release(), 1u);

  EXPECT_EQ(Slot<CountFn>(iface, 2)(iface), 2u);
  void* out = nullptr;
  ASSERT_EQ(Slot<QueryFn>(iface, 1)(iface, typeid(INode), &out), 1);
  EXPECT_EQ(static_cast<CNode*>(iface)->OwnCount(), 3u);
  EXPECT_EQ(static_cast<CNode*>(iface)->InheritedCount(), 1u);
  EXPECT_EQ(Slot<CountFn>(iface, n + 2)(iface), 2u);
  EXPECT_EQ(Slot<CountFn>(iface, n + 3)(iface), 1u);
  EXPECT_EQ(Slot<IntFn>(iface, 3)(iface), 3);
  EXPECT_EQ(Slot<CountFn>(iface, 0)(iface), 2u);
  EXPECT_EQ(Slot<CountFn>(iface, 0)(iface), 1u);
  // The child's last release releases its parent, which dies first.
  EXPECT_EQ(Slot<CountFn>(iface, 0)(iface), 0u);
  EXPECT_EQ(g_nodeDeaths, (std::vector<int>{1, 2, 3}));
}

class IAlpha : public IZRUnknown {
 public:
  virtual int Alpha() = 0;
};
class IBeta : public IZRUnknown {
 public:
  virtual int Beta() = 0;
};

int g_innerAlive = 0;
int g_innerMade = 0;

class CInner : public CZRContainedObject<CInner>, public IAlpha, public IBeta {
 public:
  CInner() { ++g_innerAlive, ++g_innerMade; }
  ~CInner() override { --g_innerAlive; }
  ZR_CONTAINED_UNKNOWN(CInner)
  int Alpha() override { return 1; }
  int Beta() override { return 2; }
  int InternalQueryInterface(const std::type_info& type, void** out) {
    IZRUnknown* answer = nullptr;
    if (type == typeid(IAlpha)) answer = static_cast<IAlpha*>(this);
    if (type == typeid(IBeta)) answer = static_cast<IBeta*>(this);
    if (answer && out) *out = answer, answer->AddRef();
    return answer != nullptr;
  }
};

// Aggregates a CInner: keeps its non-delegating unknown and answers IAlpha
// and IBeta from it.
class COuter : public CZRUnknownImpl<ITest> {
 public:
  int Ping() override { return 9; }
  ULONG Release() override {
    if (m_cRef == 1 && inner) std::exchange(inner, nullptr)->Release();
    return CZRUnknownImpl<ITest>::Release();
  }
  int InternalQueryInterface(const std::type_info& type, void** out) override {
    if (inner && (type == typeid(IAlpha) || type == typeid(IBeta))) return inner->QueryInterface(type, out);
    return CZRUnknownImpl<ITest>::InternalQueryInterface(type, out);
  }
  ULONG Count() const { return m_cRef; }
  IZRUnknown* inner = nullptr;
};

TEST(Aggregate, StandaloneObjectCountsOnTheAggregate) {
  g_innerAlive = 0;
  void* out = nullptr;
  ASSERT_EQ(ZRCreateAggregate<CInner>(nullptr, typeid(IAlpha), &out), 1);
  auto* alpha = static_cast<IAlpha*>(out);
  EXPECT_EQ(alpha->Alpha(), 1);
  // Every interface shares the aggregate's count and identity.
  void *unk = nullptr, *beta = nullptr, *unk2 = nullptr;
  ASSERT_EQ(alpha->QueryInterface(typeid(IZRUnknown), &unk), 1);
  ASSERT_EQ(Slot<QueryFn>(unk, 1)(unk, typeid(IBeta), &beta), 1);
  EXPECT_EQ(static_cast<IBeta*>(beta)->Beta(), 2);
  ASSERT_EQ(static_cast<IBeta*>(beta)->QueryInterface(typeid(IZRUnknown), &unk2), 1);
  EXPECT_EQ(unk, unk2);
  EXPECT_EQ(Slot<QueryFn>(unk, 1)(unk, typeid(IOther), nullptr), 0);
  // Four references; AddRef answers the count before the increment.
  EXPECT_EQ(Slot<CountFn>(unk, 2)(unk), 4u);
  EXPECT_EQ(alpha->Release(), 4u);
  EXPECT_EQ(Slot<CountFn>(unk2, 0)(unk2), 3u);
  EXPECT_EQ(static_cast<IBeta*>(beta)->Release(), 2u);
  EXPECT_EQ(alpha->Release(), 1u);
  EXPECT_EQ(g_innerAlive, 1);
  Slot<VoidFn>(unk, 4)(unk);  // slots 3 and 4: the aggregate's destructor
  EXPECT_EQ(g_innerAlive, 0);
}

TEST(Aggregate, FailedCreationLeavesNothing) {
  g_innerAlive = 0;
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(ZRCreateAggregate<CInner>(nullptr, typeid(IOther), &out), 0);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(g_innerAlive, 0);
  // With an outer only IZRUnknown may be asked for; out is left untouched.
  g_innerMade = 0;
  auto* outer = new COuter;
  for (const std::type_info* type : {&typeid(IAlpha), &typeid(IBeta), &typeid(IOther)}) {
    out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(ZRCreateAggregate<CInner>(outer, *type, &out), 0) << type->name();
    EXPECT_EQ(out, reinterpret_cast<void*>(0x1234));
  }
  EXPECT_EQ(g_innerMade, 0);
  EXPECT_EQ(outer->Release(), 0u);
}

TEST(Aggregate, AggregatedInterfacesDelegateToTheOuter) {
  g_innerAlive = 0;
  auto* outer = new COuter;
  void* innerUnk = nullptr;
  ASSERT_EQ(ZRCreateAggregate<CInner>(outer, typeid(IZRUnknown), &innerUnk), 1);
  outer->inner = static_cast<IZRUnknown*>(innerUnk);
  EXPECT_EQ(outer->Count(), 1u);  // creation took no reference of the outer
  void *alpha = nullptr, *unk = nullptr, *test = nullptr;
  ASSERT_EQ(outer->QueryInterface(typeid(IAlpha), &alpha), 1);
  EXPECT_EQ(outer->Count(), 2u);
  // The inner's interfaces answer with the outer's identity.
  ASSERT_EQ(static_cast<IAlpha*>(alpha)->QueryInterface(typeid(IZRUnknown), &unk), 1);
  EXPECT_EQ(unk, static_cast<IZRUnknown*>(static_cast<ITest*>(outer)));
  ASSERT_EQ(static_cast<IAlpha*>(alpha)->QueryInterface(typeid(ITest), &test), 1);
  EXPECT_EQ(static_cast<ITest*>(test)->Ping(), 9);
  EXPECT_EQ(outer->Count(), 4u);
  EXPECT_EQ(static_cast<IAlpha*>(alpha)->Release(), 3u);
  static_cast<IZRUnknown*>(unk)->Release();
  static_cast<ITest*>(test)->Release();
  EXPECT_EQ(g_innerAlive, 1);
  EXPECT_EQ(outer->Release(), 0u);  // the aggregate dies with the outer
  EXPECT_EQ(g_innerAlive, 0);
}

TEST(UnknownInternal, ForwardsQueriesAndCountsNothing) {
  g_destroyed = 0;
  auto* target = new CTest;
  CUnknownInternal internal(target);
  EXPECT_EQ(internal.AddRef(), 0u);
  EXPECT_EQ(internal.Release(), 0u);
  EXPECT_EQ(internal.Release(), 0u);
  EXPECT_EQ(target->Count(), 1u);
  void* out = nullptr;
  ASSERT_EQ(internal.QueryInterface(typeid(ITest), &out), 1);
  EXPECT_EQ(out, static_cast<ITest*>(target));
  EXPECT_EQ(target->Count(), 2u);
  EXPECT_EQ(internal.QueryInterface(typeid(IOther), &out), 0);
  EXPECT_EQ(out, nullptr);
  target->Release();
  EXPECT_EQ(target->Release(), 0u);
  EXPECT_EQ(g_destroyed, 1);
  CUnknownInternal empty;  // without a target it answers nothing
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(empty.QueryInterface(typeid(IZRUnknown), &out), 0);
  EXPECT_EQ(out, nullptr);
}

}  // namespace
