// The service container: adding, finding and removing services, what sinks
// hear and when, the two enumerators, destruction, aggregation into an outer
// object, and the table order other modules call it by.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/counted.h"
#include "zr/registry.h"
#include "zr/service.h"

namespace {

// What happened to the services of a test, in order.
using Log = std::vector<std::string>;

// A service that logs its destruction.
template <class I>
class CService : public CZRUnknownImpl<I> {
 public:
  CService(std::string name, Log* log) : m_name(std::move(name)), m_log(log) {}
  ~CService() override { m_log->push_back("destroyed " + m_name); }
  ULONG Count() const { return this->m_cRef; }

 protected:
  std::string m_name;
  Log* m_log;
};

using CPlain = CService<IZRUnknown>;

// A service that is a sink: it also logs what it hears.
class CSink : public CService<IZRServiceSink> {
 public:
  using CService::CService;
  void OnServiceAdded(IZRUnknown* site) override {
    m_log->push_back("added " + m_name);
    this->site = site;
  }
  void OnServiceRemoved(IZRUnknown* site) override {
    m_log->push_back("removed " + m_name);
    if (onRemoved) onRemoved(site);
  }

  IZRUnknown* site = nullptr;
  std::function<void(IZRUnknown*)> onRemoved;
};

// A service that refuses every type, even IZRUnknown, without touching the
// out pointer (as the library's critical sections do).
class CRefuser : public CZRUnknownImpl<IZRUnknown> {
 public:
  int QueryInterface(const std::type_info&, void**) override { return 0; }
};

// Slot `index` of an object's table, called with the object first (this
// ABI's convention), so a declaration out of order fails.
template <class Fn>
Fn Slot(const void* object, int index) {
  return reinterpret_cast<Fn>((*static_cast<void** const*>(object))[index]);
}

// A new container `c` per test, and the log of its services.
class ServiceContainer : public testing::Test {
 protected:
  void SetUp() override {
    void* out = nullptr;
    ASSERT_EQ(CLSID_OFSERVICECONTAINER(nullptr, typeid(IZRServiceContainer), &out), 1);
    c = static_cast<IZRServiceContainer*>(out);
  }
  void TearDown() override {
    if (c) c->Release();
  }

  // Every name the enumerator delivers, one Next at a time.
  std::vector<std::string> AllNames() {
    CTEnum<const char*>* names = nullptr;
    EXPECT_EQ(c->EnumServiceNames(&names), 1);
    std::vector<std::string> out;
    const char* name = nullptr;
    ULONG fetched = 0;
    while (names->Next(1, &name, &fetched)) {
      EXPECT_EQ(fetched, 1u);
      out.emplace_back(name);
    }
    EXPECT_EQ(fetched, 0u);
    names->Release();
    return out;
  }

  IZRServiceContainer* c = nullptr;
  Log log;
};

TEST_F(ServiceContainer, TableSlotsAreInContractOrder) {
  auto* sink = new CSink("a", &log);
  ASSERT_EQ(Slot<int (*)(void*, const char*, IZRUnknown*)>(c, 6)(c, "a", sink), 1);        // AddService
  EXPECT_EQ(Slot<int (*)(void*, const char*, IZRUnknown**)>(c, 5)(c, "a", nullptr), 1);  // GetService
  CTEnum<const char*>* names = nullptr;
  ASSERT_EQ(Slot<int (*)(void*, CTEnum<const char*>**)>(c, 4)(c, &names), 1);  // EnumServiceNames
  const char* name = nullptr;
  EXPECT_EQ(names->Next(1, &name, nullptr), 1);
  EXPECT_STREQ(name, "a");
  names->Release();
  CTEnum<IZRUnknown*>* sinks = nullptr;
  using EnumServices = int (*)(void*, const std::type_info&, CTEnum<IZRUnknown*>**);
  ASSERT_EQ(Slot<EnumServices>(c, 3)(c, typeid(IZRServiceSink), &sinks), 1);
  IZRUnknown* item = nullptr;
  ASSERT_EQ(sinks->Next(1, &item, nullptr), 1);
  EXPECT_EQ(item, static_cast<IZRUnknown*>(sink));
  item->Release();
  sinks->Release();
  EXPECT_EQ(Slot<int (*)(void*, const char*)>(c, 7)(c, "a"), 1);  // RemoveService
  EXPECT_EQ(c->AddService("a", sink), 1);
  Slot<void (*)(void*)>(c, 8)(c);  // RemoveAllServices
  EXPECT_EQ(c->GetService("a", nullptr), 0);
  IZRServiceSink* asSink = sink;  // the sink's own two slots
  Slot<void (*)(void*, IZRUnknown*)>(asSink, 3)(asSink, nullptr);
  Slot<void (*)(void*, IZRUnknown*)>(asSink, 4)(asSink, nullptr);
  EXPECT_EQ((Log{"added a", "removed a", "added a", "removed a", "added a", "removed a"}), log);
  sink->Release();
}

TEST_F(ServiceContainer, ATakenNameKeepsTheFirstServiceWhoseSinkHearsOnceAndBeforeItDies) {
  auto* first = new CSink("first", &log);
  auto* second = new CSink("second", &log);
  EXPECT_EQ(c->AddService("s", first), 1);
  EXPECT_EQ(c->AddService("s", second), 0);
  EXPECT_EQ(first->Count(), 2u);
  EXPECT_EQ(second->Count(), 1u);
  IZRUnknown* got = nullptr;
  ASSERT_EQ(c->GetService("s", &got), 1);
  EXPECT_EQ(got, static_cast<IZRUnknown*>(first));
  got->Release();
  // The site reaches the container and counts nothing.
  ASSERT_NE(first->site, nullptr);
  EXPECT_EQ(first->site->AddRef(), 0u);
  EXPECT_EQ(first->site->Release(), 0u);
  void* reached = nullptr;
  ASSERT_EQ(first->site->QueryInterface(typeid(IZRServiceContainer), &reached), 1);
  EXPECT_EQ(reached, static_cast<void*>(c));
  static_cast<IZRServiceContainer*>(reached)->Release();
  second->Release();
  first->Release();  // the container's reference is the only one
  ASSERT_EQ(c->RemoveService("s"), 1);
  EXPECT_EQ((Log{"added first", "destroyed second", "removed first", "destroyed first"}), log);
  EXPECT_EQ(c->RemoveService("s"), 0);
}

TEST_F(ServiceContainer, LookupsAddNoReferenceAndBadArgumentsChangeNothing) {
  auto* plain = new CPlain("p", &log);
  ASSERT_EQ(c->AddService("p", plain), 1);
  EXPECT_EQ(plain->Count(), 2u);
  EXPECT_EQ(c->GetService("p", nullptr), 1);
  EXPECT_EQ(c->GetService("P", nullptr), 0);  // names are case-sensitive
  IZRUnknown* got = reinterpret_cast<IZRUnknown*>(&got);
  EXPECT_EQ(c->GetService("absent", &got), 0);
  EXPECT_EQ(got, nullptr);
  EXPECT_EQ(c->AddService(nullptr, plain), 0);
  EXPECT_EQ(c->AddService("q", nullptr), 0);
  EXPECT_EQ(c->GetService(nullptr, nullptr), 0);
  EXPECT_EQ(c->RemoveService(nullptr), 0);
  EXPECT_EQ(c->RemoveService("never added"), 0);
  EXPECT_EQ(plain->Count(), 2u);
  EXPECT_EQ(c->EnumServices(typeid(IZRUnknown), nullptr), 1);
  EXPECT_EQ(c->EnumServiceNames(nullptr), 1);
  EXPECT_EQ((std::vector<std::string>{"p"}), AllNames());
  plain->Release();
}

TEST_F(ServiceContainer, NamesWithTheSameHashNameOneService) {
  std::unordered_map<ULONG, std::string> seen;  // a birthday search for two such names
  std::string a, b;
  for (unsigned i = 0; a.empty(); ++i) {
    std::string name = "svc" + std::to_string(i);
    if (auto [it, added] = seen.emplace(zrtest::ReferenceHash(name), name); !added) a = it->second, b = name;
  }
  auto* plain = new CPlain("p", &log);
  auto* other = new CPlain("o", &log);
  ASSERT_EQ(c->AddService(a.c_str(), plain), 1);
  EXPECT_EQ(c->AddService(b.c_str(), other), 0);
  IZRUnknown* got = nullptr;
  ASSERT_EQ(c->GetService(b.c_str(), &got), 1);
  EXPECT_EQ(got, static_cast<IZRUnknown*>(plain));
  got->Release();
  EXPECT_EQ(c->RemoveService(b.c_str()), 1);
  EXPECT_EQ(c->GetService(a.c_str(), nullptr), 0);
  other->Release();
  plain->Release();
}

// Single-letter names hash to their own code, so "A" ... "E" sit in
// ascending buckets and are met in that order.
TEST_F(ServiceContainer, EnumServicesDeliversOnlyServicesOfTheTypeAndSkipsUpToTheFirstWithout) {
  // A, B and D are sinks, C is not, E refuses even IZRUnknown.
  auto* sinkA = new CSink("A", &log);
  IZRUnknown* services[] = {sinkA, new CSink("B", &log), new CPlain("C", &log), new CSink("D", &log),
                            new CRefuser};
  const char* names[] = {"A", "B", "C", "D", "E"};
  for (int i = 0; i < 5; ++i) ASSERT_EQ(c->AddService(names[i], services[i]), 1);

  CTEnum<IZRUnknown*>* e = nullptr;
  ASSERT_EQ(c->EnumServices(typeid(IZRServiceSink), &e), 1);
  ASSERT_NE(e, nullptr);
  IZRUnknown* items[5] = {};
  ULONG fetched = 99;
  EXPECT_EQ(e->Next(5, items, &fetched), 1);
  ASSERT_EQ(fetched, 3u);
  EXPECT_EQ((std::vector<IZRUnknown*>{items[0], items[1], items[2], items[3]}),
            (std::vector<IZRUnknown*>{services[0], services[1], services[3], nullptr}));
  EXPECT_EQ(sinkA->Count(), 3u);  // the caller's reference, the container's, the creator's
  for (ULONG i = 0; i < fetched; ++i) items[i]->Release();
  // Fewer than asked: the walk reached the end and is back at its start.
  EXPECT_EQ(e->Next(1, items, &fetched), 1);
  EXPECT_EQ(items[0], services[0]);
  items[0]->Release();

  const auto nextIs = [&](IZRUnknown* expected) {
    IZRUnknown* item = nullptr;
    ASSERT_EQ(e->Next(1, &item, nullptr), 1);
    EXPECT_EQ(item, expected);
    item->Release();
  };
  e->Reset();
  EXPECT_EQ(e->Skip(10), 1);  // counts A and B, ends at C (passed over)
  nextIs(services[3]);
  e->Reset();
  EXPECT_EQ(e->Skip(1), 1);  // A
  nextIs(services[1]);
  EXPECT_EQ(e->Skip(1), 0);  // C lacks the type: nothing counted
  nextIs(services[3]);
  e->Release();

  // For IZRUnknown every service but the refuser.
  ASSERT_EQ(c->EnumServices(typeid(IZRUnknown), &e), 1);
  EXPECT_EQ(e->Next(5, items, &fetched), 1);
  EXPECT_EQ(fetched, 4u);
  for (ULONG i = 0; i < fetched; ++i) items[i]->Release();
  EXPECT_EQ(e->Next(0, items, &fetched), 0);
  e->Release();
  for (IZRUnknown* s : services) s->Release();
}

TEST_F(ServiceContainer, EnumServiceNamesWalksTheMapAndSkips) {
  auto* plain = new CPlain("p", &log);
  std::string buffer = "B";
  for (const char* n : {"C", "A", "D"}) ASSERT_EQ(c->AddService(n, plain), 1);
  ASSERT_EQ(c->AddService(buffer.c_str(), plain), 1);
  buffer = "X";  // the container keeps its own copy of each name
  EXPECT_EQ((std::vector<std::string>{"A", "B", "C", "D"}), AllNames());

  CTEnum<const char*>* e = nullptr;
  ASSERT_EQ(c->EnumServiceNames(&e), 1);
  const char* items[4] = {};
  ULONG fetched = 99;
  EXPECT_EQ(e->Next(0, items, &fetched), 0);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(e->Skip(2), 1);
  ASSERT_EQ(e->Next(4, items, &fetched), 1);
  ASSERT_EQ(fetched, 2u);
  EXPECT_STREQ(items[0], "C");
  EXPECT_STREQ(items[1], "D");
  e->Reset();
  EXPECT_EQ(e->Skip(9), 1);                   // passes all four, then the walk ends
  EXPECT_EQ(e->Next(1, items, &fetched), 1);  // a new pass begins
  EXPECT_STREQ(items[0], "A");
  e->Release();
  EXPECT_EQ(plain->Count(), 5u);
  plain->Release();
}

TEST_F(ServiceContainer, TheLastReleaseTellsEverySinkAndReleasesEveryService) {
  auto* a = new CSink("A", &log);
  auto* b = new CPlain("B", &log);
  auto* d = new CSink("D", &log);
  for (auto [name, s] : {std::pair<const char*, IZRUnknown*>{"A", a}, {"B", b}, {"D", d}}) {
    ASSERT_EQ(c->AddService(name, s), 1);
    s->Release();
  }
  // A sink told of its removal reaches a sibling through the site while the
  // container is being destroyed.
  bool reached = false;
  a->onRemoved = [&](IZRUnknown* site) {
    void* container = nullptr;
    ASSERT_EQ(site->QueryInterface(typeid(IZRServiceContainer), &container), 1);
    auto* sc = static_cast<IZRServiceContainer*>(container);
    reached = sc->GetService("B", nullptr) == 1;
    EXPECT_EQ(sc->RemoveService("B"), 0);  // refused while sinks are told
    sc->Release();
  };
  log.clear();
  EXPECT_EQ(std::exchange(c, nullptr)->Release(), 0u);
  EXPECT_TRUE(reached);
  EXPECT_EQ((Log{"removed A", "removed D", "destroyed A", "destroyed B", "destroyed D"}), log);
}

TEST_F(ServiceContainer, RemoveAllServicesLeavesTheContainerUsable) {
  auto* a = new CSink("A", &log);
  auto* b = new CSink("B", &log);
  ASSERT_EQ(c->AddService("A", a), 1);
  ASSERT_EQ(c->AddService("B", b), 1);
  a->onRemoved = [&](IZRUnknown*) {
    // Every service is still there while the sinks are told.
    EXPECT_EQ(c->GetService("A", nullptr), 1);
    EXPECT_EQ(c->GetService("B", nullptr), 1);
    EXPECT_EQ(c->AddService("C", b), 0);
  };
  log.clear();
  c->RemoveAllServices();
  EXPECT_EQ((Log{"removed A", "removed B"}), log);
  EXPECT_EQ(a->Count(), 1u);
  EXPECT_EQ(b->Count(), 1u);
  EXPECT_TRUE(AllNames().empty());
  a->onRemoved = nullptr;
  EXPECT_EQ(c->AddService("A", a), 1);
  EXPECT_EQ(c->GetService("A", nullptr), 1);
  a->Release();
  b->Release();
}

// An outer object that aggregates a container: it keeps the container's own
// unknown and hands out its IZRServiceContainer.
class COuter : public CZRUnknownImpl<IZRUnknown> {
 public:
  ~COuter() override {
    if (inner) inner->Release();
  }
  int InternalQueryInterface(const std::type_info& type, void** out) override {
    if (type == typeid(IZRServiceContainer)) return inner->QueryInterface(type, out);
    return CZRUnknownImpl<IZRUnknown>::InternalQueryInterface(type, out);
  }
  ULONG Count() const { return m_cRef; }
  IZRUnknown* inner = nullptr;
};

TEST(ServiceContainerFactory, AggregatedItCountsOnTheOuterAndDiesWithIt) {
  Log log;
  auto* outer = new COuter;
  void* out = &log;
  EXPECT_EQ(CLSID_OFSERVICECONTAINER(outer, typeid(IZRServiceContainer), &out), 0);
  EXPECT_EQ(out, static_cast<void*>(&log));  // nothing created, out untouched
  ASSERT_EQ(CLSID_OFSERVICECONTAINER(outer, typeid(IZRUnknown), &out), 1);
  outer->inner = static_cast<IZRUnknown*>(out);
  EXPECT_EQ(outer->Count(), 1u);

  void* p = nullptr;
  ASSERT_EQ(outer->QueryInterface(typeid(IZRServiceContainer), &p), 1);
  auto* c = static_cast<IZRServiceContainer*>(p);
  EXPECT_EQ(outer->Count(), 2u);  // the container's reference went to the outer
  auto* sink = new CSink("s", &log);
  ASSERT_EQ(c->AddService("s", sink), 1);
  sink->Release();
  // The site reaches the container through the outer.
  void* viaSite = nullptr;
  ASSERT_EQ(sink->site->QueryInterface(typeid(IZRServiceContainer), &viaSite), 1);
  EXPECT_EQ(viaSite, p);
  EXPECT_EQ(outer->Count(), 3u);
  static_cast<IZRServiceContainer*>(viaSite)->Release();
  c->Release();
  log.clear();
  EXPECT_EQ(outer->Release(), 0u);  // releases the container's unknown
  EXPECT_EQ((Log{"removed s", "destroyed s"}), log);
}

TEST(ServiceContainerFactory, TheFactoryAnswersOnlyItsInterfaces) {
  const struct {
    const std::type_info& type;
    int result;
  } cases[] = {{typeid(IZRUnknown), 1}, {typeid(IZRServiceContainer), 1}, {typeid(IZRServiceSink), 0}};
  for (const auto& k : cases) {
    void* out = &out;
    EXPECT_EQ(CLSID_OFSERVICECONTAINER(nullptr, k.type, &out), k.result) << k.type.name();
    EXPECT_EQ(out != nullptr, k.result == 1);
    if (out) {
      EXPECT_EQ(static_cast<IZRUnknown*>(out)->Release(), 0u);
    }
    EXPECT_EQ(CLSID_OFSERVICECONTAINER(nullptr, k.type, nullptr), k.result);  // a null out only asks
  }
}

}  // namespace
