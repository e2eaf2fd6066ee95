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

class IFirst : public IZRUnknown {};
class ISecond : public IZRUnknown {};

TEST(InterfaceRegistry, RecordsLookupsReplacementAndRemoval) {
  EXPECT_STREQ(CZRInterfaceRegistry::KeyOf(typeid(IRegisterIface)), "14IRegisterIface");  // raw type names
  int destroyed = 0;
  auto* strong = new CCounted(&destroyed);
  auto* weak = new CCounted(&destroyed);
  {
    CZRInterfaceRegistry registry;
    EXPECT_EQ(registry.RegisterInterface(nullptr, typeid(IFirst), 1), 0);  // nothing to remove
    EXPECT_EQ(registry.RegisterInterface(strong, typeid(IFirst), 1), 1);
    EXPECT_EQ(registry.RegisterInterface(strong, typeid(IFirst), 1), 1);  // the same object: counted once
    EXPECT_EQ(registry.RegisterInterface(weak, typeid(ISecond), 0), 1);
    EXPECT_EQ(strong->Count(), 2u);
    EXPECT_EQ(weak->Count(), 1u);
    const _tIZRUnknown* record = registry.Find(typeid(IFirst));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->name, typeid(IFirst).name());  // not copied
    EXPECT_NE(record->strong, 0u);
    EXPECT_EQ(registry.Find(typeid(ISecond))->strong, 0u);
    // A lookup answers the registered pointer itself with one reference
    // added through its slot 2, and makes no query on it.
    void* out = nullptr;
    EXPECT_EQ(registry.QueryInterface(typeid(ISecond), &out), 1);
    EXPECT_EQ(out, static_cast<void*>(static_cast<IZRUnknown*>(weak)));
    EXPECT_EQ(weak->addRefCalls, 1);
    EXPECT_EQ(weak->queryCalls, 0);
    weak->Release();
    out = &out;
    EXPECT_EQ(registry.QueryInterface(typeid(IZRUnknown), &out), 0);
    EXPECT_EQ(out, nullptr);
    // Replacement releases the old strong object; a null object removes.
    EXPECT_EQ(registry.RegisterInterface(weak, typeid(IFirst), 0), 1);
    EXPECT_EQ(strong->Count(), 1u);
    EXPECT_EQ(registry.RegisterInterface(strong, typeid(ISecond), 1), 1);
    EXPECT_EQ(registry.RegisterInterface(nullptr, typeid(IFirst), 0), 1);
    EXPECT_EQ(registry.QueryInterface(typeid(IFirst), nullptr), 0);
    strong->Release();  // the registry's reference keeps it
    EXPECT_EQ(destroyed, 0);
    // Types whose names hash alike share one entry.
    EXPECT_EQ(registry.RegisterInterface(weak, typeid(ifacereg_t::rWHzDhn), 1), 1);
    EXPECT_EQ(registry.QueryInterface(typeid(ifacereg_t::pYVVfZp), nullptr), 1);
    EXPECT_EQ(registry.RegisterInterface(nullptr, typeid(ifacereg_t::pYVVfZp), 0), 1);
    EXPECT_EQ(weak->Count(), 1u);
  }
  EXPECT_EQ(destroyed, 1);  // the strong object went with the registry
  weak->Release();
}

// An object that answers QueryInterface only from its registry, as the
// parameter back-ends do: it registers its own IRegisterIface weakly.
class CRegistryOnly : public CZRUnknownImpl<IRegisterIface> {
 public:
  CRegistryOnly() { m_registry.RegisterInterface(static_cast<IRegisterIface*>(this), typeid(IRegisterIface), 0); }
  int QueryInterface(const std::type_info& type, void** out) override { return m_registry.QueryInterface(type, out); }
  int RegisterInterface(IZRUnknown* object, const std::type_info& type, ULONG strong) override {
    return m_registry.RegisterInterface(object, type, strong);
  }

 private:
  CZRInterfaceRegistry m_registry;
};

TEST(InterfaceRegistry, ObjectAnsweringFromItsRegistry) {
  auto* obj = new CRegistryOnly;
  void* out = nullptr;
  EXPECT_EQ(obj->QueryInterface(typeid(IZRUnknown), &out), 0);  // not registered
  ASSERT_EQ(obj->QueryInterface(typeid(IRegisterIface), &out), 1);
  auto* reg = static_cast<IRegisterIface*>(out);
  // Other modules register through the table: RegisterInterface is slot 3.
  using RegisterFn = int (*)(void*, IZRUnknown*, const std::type_info&, ULONG);
  const auto slot3 = zrtest::Slot<RegisterFn>(reg, 3);
  int destroyed = 0;
  auto* extra = new CCounted(&destroyed);
  EXPECT_EQ(slot3(reg, extra, typeid(IFirst), 1), 1);
  extra->Release();
  EXPECT_EQ(obj->QueryInterface(typeid(IFirst), nullptr), 1);
  reg->Release();
  EXPECT_EQ(obj->Release(), 0u);  // the weak self-record kept no reference
  EXPECT_EQ(destroyed, 1);         // and the strong record's object went too
}

}  // namespace
