// Reference counting, interface queries, aggregation and the table layout of
// the object model templates. Table slots are part of the contract with other
// modules, so several tests call operations through the raw table (a function
// taking the object as its first argument, as this ABI passes `this`).
#include <gtest/gtest.h>

#include <vector>

#include "zr/unknown.h"

namespace {

using CountFn = ULONG (*)(void*);  // Release, AddRef and their tail forms
using QueryFn = int (*)(void*, const std::type_info&, void**);
using IntFn = int (*)(void*);
using VoidFn = void (*)(void*);

template <class Fn>
Fn Slot(const void* object, int index) {
  return reinterpret_cast<Fn>((*static_cast<void** const*>(object))[index]);
}

class ITest : public IZRUnknown {
 public:
  virtual int Ping() = 0;
};

class IOther : public IZRUnknown {};  // asked for, never implemented

int g_destroyed = 0;

// Overrides the public AddRef: the template's query must add its reference
// through it.
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
  struct Case {
    const std::type_info& type;
    int supported;
  } cases[] = {{typeid(IZRUnknown), 1}, {typeid(ITest), 1}, {typeid(IOther), 0}, {typeid(CTest), 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type.name());
    // A null out pointer only answers and adds no reference.
    EXPECT_EQ(obj->QueryInterface(c.type, nullptr), c.supported);
    EXPECT_EQ(obj->Count(), 1u);
    EXPECT_EQ(obj->addRefCalls, 0);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(obj->QueryInterface(c.type, &out), c.supported);
    if (c.supported) {
      EXPECT_EQ(out, static_cast<void*>(static_cast<ITest*>(obj)));
      EXPECT_EQ(obj->Count(), 2u);
      EXPECT_EQ(obj->addRefCalls, 1);
      static_cast<IZRUnknown*>(out)->Release();
    } else {
      EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(obj->Count(), 1u);
    obj->addRefCalls = 0;
  }
  obj->Release();
}

TEST(UnknownImpl, TableSlotOrder) {
  g_destroyed = 0;
  auto* obj = new CTest;
  ITest* iface = obj;
  EXPECT_EQ(Slot<CountFn>(iface, 2)(iface), 2u);
  EXPECT_EQ(Slot<CountFn>(iface, 0)(iface), 1u);
  EXPECT_EQ(Slot<QueryFn>(iface, 1)(iface, typeid(ITest), nullptr), 1);
  EXPECT_EQ(Slot<IntFn>(iface, 3)(iface), 42);
  // Tail after ITest's four operations: two destructor entries, then
  // InternalAddRef, InternalRelease, InternalQueryInterface.
  const int n = 4;
  EXPECT_EQ(Slot<CountFn>(iface, n + 2)(iface), 2u);
  EXPECT_EQ(obj->Count(), 2u);
  EXPECT_EQ(Slot<QueryFn>(iface, n + 4)(iface, typeid(IOther), nullptr), 0);
  EXPECT_EQ(Slot<QueryFn>(iface, n + 4)(iface, typeid(ITest), nullptr), 1);
  EXPECT_EQ(Slot<CountFn>(iface, n + 3)(iface), 1u);
  EXPECT_EQ(g_destroyed, 0);
  // The deleting destructor entry destroys and frees the object.
  Slot<VoidFn>(iface, n + 1)(iface);
  EXPECT_EQ(g_destroyed, 1);
}

// ---- objects with a parent ----

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
  auto* child = new CNode(3);
  INode* iface = child;
  const int n = 4;  // INode: Release, QueryInterface, AddRef, Id
  const auto setParent = [&](INode* p) { Slot<void (*)(void*, void*)>(iface, n + 5)(iface, p); };
  const auto getParent = [&] { return static_cast<INode*>(Slot<void* (*)(void*)>(iface, n + 6)(iface)); };
  EXPECT_EQ(getParent(), nullptr);

  setParent(first);
  setParent(first);  // the same parent again keeps exactly one reference
  EXPECT_EQ(first->OwnCount(), 2u);
  INode* got = getParent();
  EXPECT_EQ(got, first);
  EXPECT_EQ(got->Release(), 2u);  // GetParent added one
  EXPECT_EQ(first->Release(), 1u);

  // Replacing the parent releases the old one: here its last reference.
  setParent(second);
  EXPECT_EQ(g_nodeDeaths, std::vector<int>{1});
  EXPECT_EQ(second->OwnCount(), 2u);
  setParent(nullptr);
  EXPECT_EQ(second->OwnCount(), 1u);
  EXPECT_EQ(getParent(), nullptr);
  setParent(second);
  EXPECT_EQ(second->Release(), 1u);

  EXPECT_EQ(Slot<CountFn>(iface, 2)(iface), 2u);
  // A query adds its reference through the overriding AddRef.
  void* out = nullptr;
  ASSERT_EQ(Slot<QueryFn>(iface, 1)(iface, typeid(INode), &out), 1);
  EXPECT_EQ(child->OwnCount(), 3u);
  EXPECT_EQ(child->InheritedCount(), 1u);
  EXPECT_EQ(Slot<CountFn>(iface, n + 2)(iface), 2u);
  EXPECT_EQ(Slot<CountFn>(iface, n + 3)(iface), 1u);
  EXPECT_EQ(Slot<IntFn>(iface, 3)(iface), 3);
  EXPECT_EQ(Slot<CountFn>(iface, 0)(iface), 2u);
  EXPECT_EQ(Slot<CountFn>(iface, 0)(iface), 1u);
  EXPECT_EQ(g_nodeDeaths, std::vector<int>{1});
  // The child's last release releases its parent (the parent dies first,
  // from inside the child's release, before the child itself).
  EXPECT_EQ(Slot<CountFn>(iface, 0)(iface), 0u);
  EXPECT_EQ(g_nodeDeaths, (std::vector<int>{1, 2, 3}));
}

// ---- aggregation ----

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

// An aggregatable class with two interfaces.
class CInner : public CZRContainedObject<CInner>, public IAlpha, public IBeta {
 public:
  CInner() {
    ++g_innerAlive;
    ++g_innerMade;
  }
  ~CInner() override { --g_innerAlive; }

  ZR_CONTAINED_UNKNOWN(CInner)

  int Alpha() override { return 1; }
  int Beta() override { return 2; }

  int InternalQueryInterface(const std::type_info& type, void** out) {
    IZRUnknown* answer = nullptr;
    if (type == typeid(IAlpha))
      answer = static_cast<IAlpha*>(this);
    else if (type == typeid(IBeta))
      answer = static_cast<IBeta*>(this);
    if (!answer) return 0;
    if (out) {
      *out = answer;
      answer->AddRef();
    }
    return 1;
  }
};

// A controlling object that aggregates a CInner: it keeps the inner's
// non-delegating unknown and answers IAlpha and IBeta from it.
class COuter : public CZRUnknownImpl<ITest> {
 public:
  int Ping() override { return 9; }
  ULONG Release() override {
    if (m_cRef == 1 && inner) {
      IZRUnknown* keep = inner;
      inner = nullptr;
      keep->Release();
    }
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
  EXPECT_EQ(g_innerAlive, 1);
  EXPECT_EQ(alpha->Alpha(), 1);

  // Every interface shares the aggregate's count and identity. The
  // aggregate's own slots are called through its table.
  void* unk = nullptr;
  ASSERT_EQ(alpha->QueryInterface(typeid(IZRUnknown), &unk), 1);
  void* beta = nullptr;
  ASSERT_EQ(Slot<QueryFn>(unk, 1)(unk, typeid(IBeta), &beta), 1);
  EXPECT_EQ(static_cast<IBeta*>(beta)->Beta(), 2);
  void* unk2 = nullptr;
  ASSERT_EQ(static_cast<IBeta*>(beta)->QueryInterface(typeid(IZRUnknown), &unk2), 1);
  EXPECT_EQ(unk, unk2);
  EXPECT_EQ(Slot<QueryFn>(unk, 1)(unk, typeid(IOther), nullptr), 0);

  // Four references now: alpha, unk, beta, unk2. AddRef answers the count
  // before the increment.
  EXPECT_EQ(Slot<CountFn>(unk, 2)(unk), 4u);
  EXPECT_EQ(alpha->Release(), 4u);
  EXPECT_EQ(Slot<CountFn>(unk2, 0)(unk2), 3u);
  EXPECT_EQ(static_cast<IBeta*>(beta)->Release(), 2u);
  EXPECT_EQ(alpha->Release(), 1u);
  // Slots 3 and 4 are the aggregate's destructor; the deleting one destroys
  // the embedded object too.
  EXPECT_EQ(g_innerAlive, 1);
  Slot<VoidFn>(unk, 4)(unk);
  EXPECT_EQ(g_innerAlive, 0);
}

TEST(Aggregate, FailedCreationLeavesNothing) {
  // Without an outer, an unsupported type destroys the new object at once.
  g_innerAlive = 0;
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(ZRCreateAggregate<CInner>(nullptr, typeid(IOther), &out), 0);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(g_innerAlive, 0);

  // With an outer, only IZRUnknown may be asked for: nothing is created and
  // the out pointer is left untouched.
  g_innerMade = 0;
  auto* outer = new COuter;
  for (const std::type_info* type : {&typeid(IAlpha), &typeid(IBeta), &typeid(IOther)}) {
    SCOPED_TRACE(type->name());
    out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(ZRCreateAggregate<CInner>(outer, *type, &out), 0);
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
  EXPECT_EQ(g_innerAlive, 1);
  EXPECT_EQ(outer->Count(), 1u);  // creating the aggregate took no reference of the outer

  // Asked through the outer, the inner's interface counts on the outer.
  void* alpha = nullptr;
  ASSERT_EQ(outer->QueryInterface(typeid(IAlpha), &alpha), 1);
  EXPECT_EQ(outer->Count(), 2u);
  EXPECT_EQ(static_cast<IAlpha*>(alpha)->Alpha(), 1);

  // The inner's interfaces answer queries with the outer's identity.
  void* unk = nullptr;
  ASSERT_EQ(static_cast<IAlpha*>(alpha)->QueryInterface(typeid(IZRUnknown), &unk), 1);
  EXPECT_EQ(unk, static_cast<IZRUnknown*>(static_cast<ITest*>(outer)));
  void* test = nullptr;
  ASSERT_EQ(static_cast<IAlpha*>(alpha)->QueryInterface(typeid(ITest), &test), 1);
  EXPECT_EQ(static_cast<ITest*>(test)->Ping(), 9);
  EXPECT_EQ(outer->Count(), 4u);

  EXPECT_EQ(static_cast<IAlpha*>(alpha)->Release(), 3u);
  static_cast<IZRUnknown*>(unk)->Release();
  static_cast<ITest*>(test)->Release();
  EXPECT_EQ(g_innerAlive, 1);
  // The outer's last release lets go of the aggregate, which dies with it.
  EXPECT_EQ(outer->Release(), 0u);
  EXPECT_EQ(g_innerAlive, 0);
}

// ---- the non-counting unknown ----

TEST(UnknownInternal, ForwardsQueriesAndCountsNothing) {
  g_destroyed = 0;
  auto* target = new CTest;
  CUnknownInternal internal(target);
  EXPECT_EQ(internal.AddRef(), 0u);
  EXPECT_EQ(internal.Release(), 0u);
  EXPECT_EQ(internal.Release(), 0u);
  EXPECT_EQ(target->Count(), 1u);
  EXPECT_EQ(g_destroyed, 0);

  void* out = nullptr;
  ASSERT_EQ(internal.QueryInterface(typeid(ITest), &out), 1);
  EXPECT_EQ(out, static_cast<ITest*>(target));
  EXPECT_EQ(target->Count(), 2u);
  EXPECT_EQ(internal.QueryInterface(typeid(IOther), &out), 0);
  EXPECT_EQ(out, nullptr);
  target->Release();
  EXPECT_EQ(target->Release(), 0u);
  EXPECT_EQ(g_destroyed, 1);

  // Without a target it answers nothing.
  CUnknownInternal empty;
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(empty.QueryInterface(typeid(IZRUnknown), &out), 0);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(empty.QueryInterface(typeid(IZRUnknown), nullptr), 0);
}

}  // namespace
