// The service container: adding, finding and removing services, what sinks
// hear and when, the two enumerators, destruction, aggregation into an outer
// object, and the table order other modules call it by.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/counted.h"
#include "streams/stream_test_util.h"
#include "zr/registry.h"
#include "zr/service.h"

namespace {

using zrtest::Slot;
using Log = std::vector<std::string>;  // what happened to the services, in order

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
  void OnServiceAdded(IZRUnknown* s) override { m_log->push_back("added " + m_name), site = s; }
  void OnServiceRemoved(IZRUnknown* s) override {
    m_log->push_back("removed " + m_name);
    if (onRemoved) onRemoved(s);
  }
  IZRUnknown* site = nullptr;
  std::function<void(IZRUnknown*)> onRemoved;
};

// Refuses every type, even IZRUnknown, leaving the out pointer alone.
class CRefuser : public CZRUnknownImpl<IZRUnknown> {
 public:
  int QueryInterface(const std::type_info&, void**) override { return 0; }
};

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
  std::vector<std::string> AllNames() {
    CTEnum<const char*>* names = nullptr;
    EXPECT_EQ(c->EnumServiceNames(&names), 1);
    std::vector<std::string> out;
    const char* name = nullptr;
    while (names->Next(1, &name, nullptr)) out.emplace_back(name);
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
  first->Release();
  ASSERT_EQ(c->RemoveService("s"), 1);
  EXPECT_EQ((Log{"added first", "destroyed second", "removed first", "destroyed first"}), log);
  EXPECT_EQ(c->RemoveService("s"), 0);
}

TEST_F(ServiceContainer, LookupsAddNoReferenceAndBadArgumentsChangeNothing) {
  auto* plain = new CPlain("p", &log);
  ASSERT_EQ(c->AddService("p", plain), 1);
  EXPECT_EQ(c->GetService("p", nullptr), 1);
  EXPECT_EQ(c->GetService("P", nullptr), 0);  // case-sensitive
  IZRUnknown* got = reinterpret_cast<IZRUnknown*>(&got);
  EXPECT_EQ(c->GetService("absent", &got), 0);
  EXPECT_EQ(got, nullptr);
  EXPECT_EQ(c->AddService(nullptr, plain), 0);
  EXPECT_EQ(c->AddService("q", nullptr), 0);
  EXPECT_EQ(c->GetService(nullptr, nullptr), 0);
  EXPECT_EQ(c->RemoveService(nullptr), 0);
  EXPECT_EQ(plain->Count(), 2u);
  EXPECT_EQ(c->EnumServices(typeid(IZRUnknown), nullptr), 1);
  EXPECT_EQ(c->EnumServiceNames(nullptr), 1);
  EXPECT_EQ((std::vector<std::string>{"p"}), AllNames());
  // Names with the same hash name one service.
  const auto [a, b] = zrtest::HashTwins("svc");
  ASSERT_EQ(c->AddService(a.c_str(), plain), 1);
  EXPECT_EQ(c->AddService(b.c_str(), plain), 0);
  EXPECT_EQ(c->RemoveService(b.c_str()), 1);
  EXPECT_EQ(c->GetService(a.c_str(), nullptr), 0);
  plain->Release();
}

// Single-letter names hash to their own code, so "A" ... "E" sit in
// ascending buckets and are met in that order.
TEST_F(ServiceContainer, EnumServicesDeliversOnlyServicesOfTheTypeAndSkipsUpToTheFirstWithout) {
  // A, B and D are sinks, C is not, E refuses even IZRUnknown.
  auto* sinkA = new CSink("A", &log);
  IZRUnknown* services[] = {sinkA, new CSink("B", &log), new CPlain("C", &log), new CSink("D", &log),
                            new CRefuser};
  for (int i = 0; i < 5; ++i) ASSERT_EQ(c->AddService(std::string(1, char('A' + i)).c_str(), services[i]), 1);

  CTEnum<IZRUnknown*>* e = nullptr;
  ASSERT_EQ(c->EnumServices(typeid(IZRServiceSink), &e), 1);
  IZRUnknown* items[5] = {};
  ULONG fetched = 99;
  EXPECT_EQ(e->Next(5, items, &fetched), 1);
  ASSERT_EQ(fetched, 3u);
  EXPECT_EQ((std::vector<IZRUnknown*>(items, items + 4)),
            (std::vector<IZRUnknown*>{services[0], services[1], services[3], nullptr}));
  EXPECT_EQ(sinkA->Count(), 3u);  // the caller's reference, the container's, the creator's
  for (ULONG i = 0; i < fetched; ++i) items[i]->Release();
  const auto nextIs = [&](IZRUnknown* expected) {
    IZRUnknown* item = nullptr;
    ASSERT_EQ(e->Next(1, &item, nullptr), 1);
    EXPECT_EQ(item, expected);
    item->Release();
  };
  nextIs(services[0]);  // fewer than asked: the walk is back at its start
  e->Reset();
  EXPECT_EQ(e->Skip(10), 1);  // counts A and B, ends at C (passed over)
  nextIs(services[3]);
  e->Reset();
  EXPECT_EQ(e->Skip(1), 1);
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
  for (const char* n : {"C", "A", "D", buffer.c_str()}) ASSERT_EQ(c->AddService(n, plain), 1);
  buffer = "X";  // the container keeps its own copy of each name
  EXPECT_EQ((std::vector<std::string>{"A", "B", "C", "D"}), AllNames());
  CTEnum<const char*>* e = nullptr;
  ASSERT_EQ(c->EnumServiceNames(&e), 1);
  const char* items[4] = {};
  ULONG fetched = 99;
  EXPECT_EQ(e->Skip(2), 1);
  ASSERT_EQ(e->Next(4, items, &fetched), 1);
  ASSERT_EQ(fetched, 2u);
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
  IZRUnknown* services[] = {a, new CPlain("B", &log), new CSink("D", &log)};
  for (IZRUnknown* s : services) {
    ASSERT_EQ(c->AddService(s == a ? "A" : s == services[1] ? "B" : "D", s), 1);
    s->Release();
  }
  // While the container is destroyed, a sink reaches a sibling through the site.
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
  a->Release();
  b->Release();
}

// Aggregates a container: keeps its unknown, hands out IZRServiceContainer.
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
  EXPECT_EQ(CLSID_OFSERVICECONTAINER(nullptr, typeid(IZRServiceSink), &out), 0);  // not its interface
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(CLSID_OFSERVICECONTAINER(nullptr, typeid(IZRServiceContainer), nullptr), 1);  // only asks
  ASSERT_EQ(CLSID_OFSERVICECONTAINER(outer, typeid(IZRUnknown), &out), 1);
  outer->inner = static_cast<IZRUnknown*>(out);
  EXPECT_EQ(outer->Count(), 1u);
  void* p = nullptr;
  ASSERT_EQ(outer->QueryInterface(typeid(IZRServiceContainer), &p), 1);
  auto* c = static_cast<IZRServiceContainer*>(p);
  EXPECT_EQ(outer->Count(), 2u);
  auto* sink = new CSink("s", &log);
  ASSERT_EQ(c->AddService("s", sink), 1);
  sink->Release();
  void* viaSite = nullptr;  // the site reaches the container through the outer
  ASSERT_EQ(sink->site->QueryInterface(typeid(IZRServiceContainer), &viaSite), 1);
  EXPECT_EQ(viaSite, p);
  EXPECT_EQ(outer->Count(), 3u);
  static_cast<IZRServiceContainer*>(viaSite)->Release();
  c->Release();
  log.clear();
  EXPECT_EQ(outer->Release(), 0u);
  EXPECT_EQ((Log{"removed s", "destroyed s"}), log);
}

}  // namespace
