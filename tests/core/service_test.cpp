// The service container: what sinks hear and when, the first service of a
// name, and the table order other modules call it by.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/counted.h"
#include "streams/stream_test_util.h"
#include "zr/registry.h"
#include "zr/service.h"

namespace {

using zrtest::Slot;
using Log = std::vector<std::string>;  // what happened to the services, in order

// A service that logs its destruction; a sink also logs what it hears.
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

class CSink : public CService<IZRServiceSink> {
 public:
  using CService::CService;
  void OnServiceAdded(IZRUnknown* s) override { m_log->push_back("added " + m_name), site = s; }
  void OnServiceRemoved(IZRUnknown*) override { m_log->push_back("removed " + m_name); }
  IZRUnknown* site = nullptr;
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
  EXPECT_EQ(c->AddService(zrtest::kHashTwins[0], second), 1);
  EXPECT_EQ(c->AddService("s", second), 0);
  EXPECT_EQ(c->AddService(zrtest::kHashTwins[1], first), 0);  // an equal hash is the same name
  IZRUnknown* got = second;
  EXPECT_EQ(c->GetService("S", &got), 0);  // case-sensitive
  EXPECT_EQ(got, nullptr);
  ASSERT_EQ(c->GetService("s", &got), 1);
  EXPECT_EQ(got, static_cast<IZRUnknown*>(first));
  EXPECT_EQ(first->Count(), 3u);
  got->Release();
  // The site reaches the container and counts nothing.
  EXPECT_EQ(first->site->AddRef(), 0u);
  void* reached = nullptr;
  ASSERT_EQ(first->site->QueryInterface(typeid(IZRServiceContainer), &reached), 1);
  EXPECT_EQ(reached, static_cast<void*>(c));
  static_cast<IZRServiceContainer*>(reached)->Release();
  EXPECT_EQ(c->RemoveService(zrtest::kHashTwins[1]), 1);
  second->Release();
  first->Release();
  ASSERT_EQ(c->RemoveService("s"), 1);
  EXPECT_EQ(c->RemoveService("s"), 0);
  EXPECT_EQ((Log{"added first", "added second", "removed second", "destroyed second", "removed first",
                 "destroyed first"}),
            log);
}

}  // namespace
