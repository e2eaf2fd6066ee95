// Reference counting, interface queries and the table layout of the object
// model templates.
#include <gtest/gtest.h>

#include "zr/unknown.h"

namespace {

class ITest : public IZRUnknown {
 public:
  virtual int Ping() = 0;
};

class IOther : public IZRUnknown {};

// Counts destructions so tests can see when an object is gone.
int g_destroyed = 0;

class CTest : public CZRUnknownImpl<ITest> {
 public:
  ~CTest() override { ++g_destroyed; }
  int Ping() override { return 42; }
  ULONG Count() const { return m_cRef; }
};

TEST(UnknownImpl, CountsAndDestroysAtZero) {
  g_destroyed = 0;
  auto* obj = new CTest;
  EXPECT_EQ(obj->AddRef(), 2u);
  EXPECT_EQ(obj->Release(), 1u);
  EXPECT_EQ(g_destroyed, 0);
  EXPECT_EQ(obj->Release(), 0u);
  EXPECT_EQ(g_destroyed, 1);
}

TEST(UnknownImpl, QueryInterface) {
  auto* obj = new CTest;
  struct Case {
    const std::type_info& type;
    int supported;
  } cases[] = {{typeid(IZRUnknown), 1}, {typeid(ITest), 1}, {typeid(IOther), 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type.name());
    // A null out pointer only answers and adds no reference.
    EXPECT_EQ(obj->QueryInterface(c.type, nullptr), c.supported);
    EXPECT_EQ(obj->Count(), 1u);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(obj->QueryInterface(c.type, &out), c.supported);
    if (c.supported) {
      EXPECT_EQ(out, static_cast<void*>(static_cast<ITest*>(obj)));
      EXPECT_EQ(obj->Count(), 2u);
      static_cast<IZRUnknown*>(out)->Release();
    } else {
      EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(obj->Count(), 1u);
  }
  obj->Release();
}

// The table slots are part of the contract with other modules: call each one
// through the raw table and check it reaches the named operation.
TEST(UnknownImpl, TableSlotOrder) {
  using ReleaseFn = ULONG (*)(void*);
  using QueryFn = int (*)(void*, const std::type_info&, void**);
  using AddRefFn = ULONG (*)(void*);
  using PingFn = int (*)(void*);
  using InternalQueryFn = int (*)(void*, const std::type_info&, void**);
  g_destroyed = 0;
  auto* obj = new CTest;
  void** table = *reinterpret_cast<void***>(static_cast<ITest*>(obj));
  EXPECT_EQ(reinterpret_cast<AddRefFn>(table[2])(obj), 2u);
  EXPECT_EQ(reinterpret_cast<ReleaseFn>(table[0])(obj), 1u);
  EXPECT_EQ(reinterpret_cast<QueryFn>(table[1])(obj, typeid(ITest), nullptr), 1);
  EXPECT_EQ(reinterpret_cast<PingFn>(table[3])(obj), 42);
  // Tail after ITest's four operations: two destructor entries, then
  // InternalAddRef, InternalRelease, InternalQueryInterface.
  const int n = 4;
  EXPECT_EQ(reinterpret_cast<AddRefFn>(table[n + 2])(obj), 2u);
  EXPECT_EQ(reinterpret_cast<InternalQueryFn>(table[n + 4])(obj, typeid(IOther), nullptr), 0);
  EXPECT_EQ(reinterpret_cast<ReleaseFn>(table[n + 3])(obj), 1u);
  EXPECT_EQ(g_destroyed, 0);
  EXPECT_EQ(reinterpret_cast<ReleaseFn>(table[n + 3])(obj), 0u);
  EXPECT_EQ(g_destroyed, 1);
}

}  // namespace
