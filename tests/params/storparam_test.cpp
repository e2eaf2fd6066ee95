// Parameter trees kept in a storage: the element layout, paths, deleting,
// the round trip through a memory tree, and a tree written here and compared
// by another process after reopening the file.
#include "zr/storparam.h"

#include <gtest/gtest.h>

#include "child/child_process.h"
#include "common/temp_dir.h"
#include "param_test_util.h"
#include "tests/child/sample_tree.h"
#include "zr/xstorage.h"

using zrtest::Names;
using zrtest::Tree;

namespace {

std::string Bytes(IXStorage* storage, const char* name) {
  IXStream* stream = storage->OpenStream(name);
  if (!stream) return "<none>";
  std::string data(stream->GetSize(), '\0');
  stream->Read(data.data(), static_cast<int>(data.size()));
  stream->Release();
  return data;
}

TEST(StorParam, NodesAreStoragesAndValuesAreRecordStreams) {
  IXStorage* storage = new_Storage(nullptr, 0);
  {
    Tree tree(new_IXStorParam(storage));
    FillSampleTree(tree.get());
    IXStorage* answered = nullptr;
    EXPECT_EQ(tree->QueryInterface(typeid(IXStorage), reinterpret_cast<void**>(&answered)), 1);
    EXPECT_EQ(answered, storage);
    answered->Release();
    EXPECT_EQ(tree->QueryInterface(typeid(IParam), nullptr), 0);
  }
  // "n": ZRVT_INT (5) and 42; the empty name is the stream "@".
  EXPECT_EQ(Bytes(storage, "n"), std::string("\x05\x00\x2a\x00\x00\x00", 6));
  EXPECT_NE(Bytes(storage, "@"), "<none>");
  IXStorage* a = storage->OpenStorage("a");
  IXStorage* b = a->OpenStorage("b");
  EXPECT_NE(Bytes(b, "deep"), "<none>");
  b->Release();
  a->Release();

  Tree tree(new_IXStorParam(storage));
  CZRVariant value;
  EXPECT_EQ(tree->GetValue("a\\b\\deep", &value), 1);
  EXPECT_EQ(value.dblVal, 2.5);
  EXPECT_EQ(tree->GetValue("a\\missing", &value), 0);
  EXPECT_EQ(tree->GetValue(std::string(40, 'x').c_str(), &value), 0);
  EXPECT_EQ(tree->OpenParam(std::string(40, 'x').c_str(), 1), nullptr);  // beyond the name limit
  EXPECT_EQ(Names(tree->EnumParams()).size(), 2u);
  tree->DeleteParam("a");
  EXPECT_EQ(Names(tree->EnumParams()), std::vector<std::string>{"empty"});
  tree->DeleteValue(nullptr);
  EXPECT_EQ(Bytes(storage, "@"), "<none>");
  tree->DeleteAllValues();
  tree->DeleteAllParams();
  EXPECT_TRUE(Names(storage->EnumStreams()).empty());
  EXPECT_TRUE(Names(storage->EnumStorages()).empty());
  storage->Release();
}

TEST(StorParam, RoundTripThroughAMemoryTree) {
  Tree memory;
  FillSampleTree(memory.get());
  IXStorage* storage = new_Storage(nullptr, 0);
  Tree stored(new_IXStorParam(storage));
  storage->Release();
  Param_CopyTo(memory.get(), stored.get());
  Tree back;
  Param_CopyTo(stored.get(), back.get());
  EXPECT_EQ(Param_Cmp(memory.get(), back.get()), 1);
  EXPECT_EQ(Param_Cmp(back.get(), memory.get()), 1);
  IParam* a = stored->OpenParam("a", 0);
  a->Purge();  // removes its storage from the root
  a->Release();
  EXPECT_EQ(stored->OpenParam("a", 0), nullptr);
}

TEST(StorParam, AnotherProcessReadsTheCommittedTree) {
  zrtest::TempDir dir;
  IXStorage* storage = new_Storage(dir.WPath("p.stg").c_str(), ZRSTORAGE_TRANSACTED);
  IParam* tree = new_IXStorParam(storage);
  storage->Release();
  FillSampleTree(tree);
  tree->Release();  // the last release commits
  zrtest::ChildProcess child({"storage-params", dir.Path("p.stg")});
  EXPECT_EQ(child.ReadLine(), "equal 1");
  EXPECT_EQ(child.Wait(), 0);
}

}  // namespace
