// The memory back-end through IParam: names, paths, order, purging, the
// interface registry, and the table slots other modules call.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/params/param_test_util.h"
#include "tests/streams/stream_test_util.h"
#include "zr/ifacereg.h"

namespace {

using namespace zrtest;
using V = std::vector<std::string>;

void Set(IParam* node, const char* name, int value) {
  const CZRVariant v(value);
  node->SetValue(name, &v);
}

TEST(MemParam, DefaultNameCaseInsensitiveNamesAndPaths) {
  Tree t;
  Set(t.get(), "", 1);
  EXPECT_EQ(IntOf(t.get(), nullptr), 1);
  EXPECT_EQ(IntOf(t.get(), "@"), 1);
  Set(t.get(), "Colour", 2);
  Set(t.get(), "COLOUR", 3);
  EXPECT_EQ(Names(t->EnumValues()), (V{"@", "Colour"}));
  EXPECT_EQ(IntOf(t.get(), "colour"), 3);
  CZRVariant untouched(42);
  EXPECT_EQ(t->GetValue("missing", &untouched), 0);
  EXPECT_EQ(untouched.intVal, 42);
  // Paths create the nodes on their way.
  t->Purge();
  Set(t.get(), "a\\b\\c", 7);
  EXPECT_EQ(Names(t->EnumValues()), V{});
  EXPECT_EQ(Names(t->EnumParams()), V{"a"});
  EXPECT_EQ(IntOf(t.get(), "A\\B\\C"), 7);
  Tree b(t->OpenParam("a\\b", 0));
  ASSERT_NE(b.get(), nullptr);
  EXPECT_EQ(IntOf(b.get(), "c"), 7);
  EXPECT_EQ(t->OpenParam("x\\y", 0), nullptr);
  Tree y(t->OpenParam("x\\y", 1));
  ASSERT_NE(y.get(), nullptr);
  Tree x(t->OpenParam("x", 0));
  EXPECT_EQ(Names(x->EnumParams()), V{"y"});
  // Paths of any length: no fixed working buffer.
  std::string deep;
  for (int i = 0; i < 200; ++i) deep += "level\\";
  Set(t.get(), (deep + "v").c_str(), 9);
  EXPECT_EQ(IntOf(t.get(), (deep + "v").c_str()), 9);
}

TEST(MemParam, CreateEmptiesAndDeleteMovesToTheEnd) {
  Tree t;
  Tree a(t->CreateParam("a"));
  Set(a.get(), "v", 1);
  Set(a.get(), "b\\w", 2);
  Tree again(t->CreateParam("A"));
  EXPECT_EQ(again.get(), a.get());
  EXPECT_EQ(Names(a->EnumValues()), V{});
  EXPECT_EQ(Names(a->EnumParams()), V{});
  for (const char* name : {"one", "two", "three"}) Set(t.get(), name, 1);
  t->DeleteValue("one");
  Set(t.get(), "one", 1);
  EXPECT_EQ(Names(t->EnumValues()), (V{"two", "three", "one"}));
  // A path given to DeleteParam empties the descendant, which stays.
  Set(t.get(), "a\\b\\v", 1);
  t->DeleteParam("a\\b");
  EXPECT_EQ(Names(a->EnumParams()), V{"b"});
  EXPECT_EQ(IntOf(t.get(), "a\\b\\v"), -1);
  t->DeleteValue("a\\b");  // DeleteValue takes no path: nothing happens
  Tree(t->CreateParam("c"));
  t->DeleteParam("a");
  EXPECT_EQ(Names(t->EnumParams()), V{"c"});
  EXPECT_EQ(Names(a->EnumParams()), V{});  // alive through our reference, purged
}

TEST(MemParam, EnumeratorsOutliveWhatTheyEnumerate) {
  Tree t;
  Set(t.get(), "kept", 1);
  CTEnum<const char*>* values = t->EnumValues();
  t->Purge();
  Set(t.get(), "new", 2);
  EXPECT_EQ(Names(values), V{"kept"});
  EXPECT_EQ(Names(t->EnumValues()), V{"new"});
}

TEST(MemParam, AnswersOnlyItsRegistry) {
  Tree t;
  void* out = nullptr;
  ASSERT_EQ(t->QueryInterface(typeid(IRegisterIface), &out), 1);
  auto* reg = static_cast<IRegisterIface*>(out);
  EXPECT_EQ(t->QueryInterface(typeid(IParam), &out), 0);
  EXPECT_EQ(t->QueryInterface(typeid(IZRUnknown), &out), 0);
  // What is registered is answered, by the same object.
  ASSERT_EQ(reg->RegisterInterface(t.get(), typeid(IParam), 0), 1);
  ASSERT_EQ(t->QueryInterface(typeid(IParam), &out), 1);
  EXPECT_EQ(out, t.get());
  static_cast<IParam*>(out)->Release();
  reg->Release();
}

TEST(MemParam, OperationsSitInTheirSlots) {
  Tree t;
  IParam* p = t.get();
  const CZRVariant one(1);
  Slot<void (*)(void*, const char*, const tagZRVARIANT*)>(p, 9)(p, "v", &one);  // SetValue
  CZRVariant v;
  EXPECT_EQ((Slot<int (*)(void*, const char*, tagZRVARIANT*)>(p, 8)(p, "v", &v)), 1);  // GetValue
  Tree created(Slot<IParam* (*)(void*, const char*)>(p, 3)(p, "c"));
  Tree opened(Slot<IParam* (*)(void*, const char*, int)>(p, 4)(p, "c", 0));
  EXPECT_EQ(opened.get(), created.get());
  using Enum = CTEnum<const char*>* (*)(void*);
  EXPECT_EQ(Names(Slot<Enum>(p, 7)(p)), V{"c"});
  EXPECT_EQ(Names(Slot<Enum>(p, 12)(p)), V{"v"});
  using ByName = void (*)(void*, const char*);
  Slot<ByName>(p, 10)(p, "v");  // DeleteValue
  Slot<ByName>(p, 5)(p, "c");   // DeleteParam
  EXPECT_EQ(Names(t->EnumValues()).size() + Names(t->EnumParams()).size(), 0u);
  using Plain = void (*)(void*);
  for (int slot : {11, 6, 13}) {  // DeleteAllValues, DeleteAllParams, Purge
    Set(p, "w", 2);
    Tree(t->CreateParam("d"));
    Slot<Plain>(p, slot)(p);
    EXPECT_EQ(Names(t->EnumValues()).empty(), slot != 6) << slot;
    EXPECT_EQ(Names(t->EnumParams()).empty(), slot != 11) << slot;
  }
}

}  // namespace
