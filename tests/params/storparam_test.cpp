// Parameter trees kept in a storage, read back here and by another process.
#include "zr/storparam.h"

#include <gtest/gtest.h>

#include "child/child_process.h"
#include "common/temp_dir.h"
#include "param_test_util.h"
#include "storage/storage_test_util.h"
#include "tests/child/sample_tree.h"
#include "zr/xstorage.h"

using zrtest::Names;
using zrtest::Tree;

namespace {

TEST(StorParam, NodesAreStoragesAndValuesAreRecordStreams) {
  IXStorage* storage = new_Storage(nullptr, 0);
  Tree tree(new_IXStorParam(storage));
  FillSampleTree(tree.get());
  void* answered = nullptr;
  EXPECT_EQ(tree->QueryInterface(typeid(IXStorage), &answered), 1);
  EXPECT_EQ(answered, storage);
  storage->Release();
  EXPECT_EQ(storage_test::Get(storage, "n"),
            std::string("\x05\x00\x2a\x00\x00\x00", 6));  // ZRVT_INT 42
  EXPECT_NE(storage_test::Get(storage, "@"), "<none>");   // the empty name
  CZRVariant value;
  EXPECT_EQ(tree->GetValue("a\\b\\deep", &value), 1);
  EXPECT_EQ(value.dblVal, 2.5);
  EXPECT_EQ(tree->GetValue("a\\missing", &value), 0);
  EXPECT_EQ(tree->OpenParam(std::string(40, 'x').c_str(), 1), nullptr);  // beyond the name limit
  tree->DeleteParam("a");                                                // removes its sub-storage
  EXPECT_EQ(Names(tree->EnumParams()), std::vector<std::string>{"empty"});
  tree->DeleteValue(nullptr);
  EXPECT_EQ(storage_test::Get(storage, "@"), "<none>");
  Tree memory;
  FillSampleTree(memory.get());
  Param_CopyTo(memory.get(), tree.get());
  Tree back;
  Param_CopyTo(tree.get(), back.get());
  EXPECT_EQ(Param_Cmp(memory.get(), back.get()) + Param_Cmp(back.get(), memory.get()), 2);
  storage->Release();  // the tree holds its own reference
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
