// The interface registry: strong and weak records, lookups, replacement,
// removal, keys shared by equal hashes, and an object that answers
// QueryInterface only from its registry.
#include <gtest/gtest.h>

#include "streams/stream_test_util.h"
#include "tests/core/counted.h"
#include "zr/ifacereg.h"

// Types whose mangled names "N10ifacereg_t7rWHzDhnE" and
// "N10ifacereg_t7pYVVfZpE" have equal hashes (the short names were searched).
namespace ifacereg_t {
class rWHzDhn : public IZRUnknown {};
class pYVVfZp : public IZRUnknown {};
}  // namespace ifacereg_t

namespace {

using zrtest::CCounted;
using zrtest::ReferenceHash;

class IFirst : public IZRUnknown {};
class ISecond : public IZRUnknown {};

TEST(InterfaceRegistry, StrongAndWeakRecordsAndLookups) {
  EXPECT_STREQ(CZRInterfaceRegistry::KeyOf(typeid(IRegisterIface)), "14IRegisterIface");  // raw type names
  int destroyed = 0;
  auto* strong = new CCounted(&destroyed);
  auto* weak = new CCounted(&destroyed);
  {
    CZRInterfaceRegistry registry;
    EXPECT_EQ(registry.RegisterInterface(strong, typeid(IFirst), 1), 1);
    EXPECT_EQ(registry.RegisterInterface(weak, typeid(ISecond), 0), 1);
    EXPECT_EQ(strong->Count(), 2u);
    EXPECT_EQ(weak->Count(), 1u);
    EXPECT_EQ(registry.GetCount(), 2u);
    const _tIZRUnknown* record = registry.Find(typeid(IFirst));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->name, typeid(IFirst).name());  // not copied
    EXPECT_EQ(record->object, strong);
    EXPECT_NE(record->strong, 0u);
    EXPECT_EQ(registry.Find(typeid(ISecond))->strong, 0u);
    // A lookup answers the registered pointer itself with one reference
    // added through its slot 2, and makes no query on it.
    void* out = nullptr;
    EXPECT_EQ(registry.QueryInterface(typeid(ISecond), &out), 1);
    EXPECT_EQ(out, static_cast<void*>(static_cast<IZRUnknown*>(weak)));
    EXPECT_EQ(weak->addRefCalls, 1);
    EXPECT_EQ(weak->queryCalls, 0);
    EXPECT_EQ(weak->Release(), 1u);
    EXPECT_EQ(registry.QueryInterface(typeid(ISecond), nullptr), 1);  // only answers
    EXPECT_EQ(registry.QueryInterface(typeid(IZRUnknown), nullptr), 0);
    EXPECT_EQ(weak->addRefCalls, 1);
    out = &out;
    EXPECT_EQ(registry.QueryInterface(typeid(IZRUnknown), &out), 0);
    EXPECT_EQ(out, nullptr);

    strong->Release();  // the registry's reference keeps it
    EXPECT_EQ(destroyed, 0);
  }
  EXPECT_EQ(destroyed, 1);  // the strong object went with the registry
  EXPECT_EQ(weak->Count(), 1u);
  weak->Release();
}

TEST(InterfaceRegistry, ReplacementAndRemoval) {
  int destroyed = 0;
  auto* first = new CCounted(&destroyed);
  auto* second = new CCounted(&destroyed);
  CZRInterfaceRegistry registry;
  EXPECT_EQ(registry.RegisterInterface(nullptr, typeid(IFirst), 1), 0);  // nothing to remove
  registry.RegisterInterface(first, typeid(IFirst), 1);
  first->Release();
  registry.RegisterInterface(first, typeid(IFirst), 1);  // the same object again: counted once
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(first->Count(), 1u);

  // Replacement releases the old strong object (here its last reference).
  EXPECT_EQ(registry.RegisterInterface(second, typeid(IFirst), 0), 1);
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(registry.Find(typeid(IFirst))->object, second);
  auto* third = new CCounted(&destroyed);
  EXPECT_EQ(registry.RegisterInterface(third, typeid(IFirst), 1), 1);
  EXPECT_EQ(second->Count(), 1u);
  EXPECT_EQ(third->Count(), 2u);
  // Removal with a null object releases a strong record's object.
  EXPECT_EQ(registry.RegisterInterface(nullptr, typeid(IFirst), 0), 1);
  EXPECT_EQ(third->Count(), 1u);
  EXPECT_EQ(registry.QueryInterface(typeid(IFirst), nullptr), 0);
  second->Release();
  third->Release();
  EXPECT_EQ(destroyed, 3);
}

TEST(InterfaceRegistry, TypesWithEqualNameHashesShareOneEntry) {
  const char* a = typeid(ifacereg_t::rWHzDhn).name();
  const char* b = typeid(ifacereg_t::pYVVfZp).name();
  ASSERT_EQ(ReferenceHash(a), ReferenceHash(b));

  auto* object = new CCounted;
  CZRInterfaceRegistry registry;
  registry.RegisterInterface(object, typeid(ifacereg_t::rWHzDhn), 1);
  void* out = nullptr;
  EXPECT_EQ(registry.QueryInterface(typeid(ifacereg_t::pYVVfZp), &out), 1);
  EXPECT_EQ(out, static_cast<void*>(static_cast<IZRUnknown*>(object)));
  static_cast<IZRUnknown*>(out)->Release();
  EXPECT_EQ(registry.RegisterInterface(nullptr, typeid(ifacereg_t::pYVVfZp), 0), 1);
  EXPECT_EQ(object->Count(), 1u);
  object->Release();
}

TEST(InterfaceRegistry, ReleaseThatReentersTheRegistry) {
  // An object whose destruction removes another record of the same registry.
  int destroyed = 0;
  CZRInterfaceRegistry registry;
  auto* a = new CCounted(&destroyed);
  auto* b = new CCounted(&destroyed);
  registry.RegisterInterface(a, typeid(IFirst), 1);
  registry.RegisterInterface(b, typeid(ISecond), 1);
  a->onDestroy = [&] { registry.RegisterInterface(nullptr, typeid(ISecond), 0); };
  a->Release();
  b->Release();
  registry.Clear();
  EXPECT_EQ(destroyed, 2);
  EXPECT_EQ(registry.GetCount(), 0u);
}

// An object that answers QueryInterface only from its registry, as the
// parameter back-ends do: it registers its own IRegisterIface weakly.
class CRegistryOnly : public CZRUnknownImpl<IRegisterIface> {
 public:
  explicit CRegistryOnly(int* destroyed) : m_destroyed(destroyed) {
    m_registry.RegisterInterface(static_cast<IRegisterIface*>(this), typeid(IRegisterIface), 0);
  }
  ~CRegistryOnly() override { ++*m_destroyed; }
  int QueryInterface(const std::type_info& type, void** out) override {
    return m_registry.QueryInterface(type, out);
  }
  int RegisterInterface(IZRUnknown* object, const std::type_info& type, ULONG strong) override {
    return m_registry.RegisterInterface(object, type, strong);
  }

 private:
  CZRInterfaceRegistry m_registry;
  int* m_destroyed;
};

TEST(InterfaceRegistry, ObjectAnsweringFromItsRegistry) {
  using RegisterFn = int (*)(void*, IZRUnknown*, const std::type_info&, ULONG);
  int destroyed = 0;
  auto* obj = new CRegistryOnly(&destroyed);
  void* out = nullptr;
  EXPECT_EQ(obj->QueryInterface(typeid(IZRUnknown), &out), 0);  // not registered
  EXPECT_EQ(out, nullptr);
  ASSERT_EQ(obj->QueryInterface(typeid(IRegisterIface), &out), 1);
  auto* reg = static_cast<IRegisterIface*>(out);
  EXPECT_EQ(reg, obj);

  // Other modules register through the table: RegisterInterface is slot 3.
  const auto slot3 = zrtest::Slot<RegisterFn>(reg, 3);
  auto* extra = new CCounted(&destroyed);
  EXPECT_EQ(slot3(reg, extra, typeid(IFirst), 1), 1);
  EXPECT_EQ(extra->Count(), 2u);
  EXPECT_EQ(obj->QueryInterface(typeid(IFirst), &out), 1);
  EXPECT_EQ(out, static_cast<void*>(static_cast<IZRUnknown*>(extra)));
  static_cast<IZRUnknown*>(out)->Release();
  EXPECT_EQ(slot3(reg, nullptr, typeid(ISecond), 0), 0);
  EXPECT_EQ(slot3(reg, nullptr, typeid(IFirst), 0), 1);
  EXPECT_EQ(extra->Count(), 1u);
  EXPECT_EQ(slot3(reg, extra, typeid(IFirst), 1), 1);
  extra->Release();

  reg->Release();
  EXPECT_EQ(obj->Release(), 0u);  // the weak self-record kept no reference
  EXPECT_EQ(destroyed, 2);         // and the strong record's object went too
}

}  // namespace
