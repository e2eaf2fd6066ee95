// CStorage and CStream over the compound-file engine: the factories, the
// element operations and their failures, the flags' effect on the file,
// and names at the format's limit.
#include <gtest/gtest.h>

#include "child/child_process.h"
#include "common/temp_dir.h"
#include "storage_test_util.h"
#include "tests/params/param_test_util.h"
#include "zr/param.h"
#include "zr/property.h"

using namespace storage_test;
using Error = std::pair<DWORD, DWORD>;
using V = std::vector<std::string>;

namespace {

// A file with stream "a" and sub-storage "s" holding stream "b".
void WriteSample(const std::u16string& path) {
  IXStorage* root = new_Storage(path.c_str(), 0);
  Put(root, "a", "alpha");
  IXStorage* sub = root->CreateStorage("s");
  Put(sub, "b", std::string(5000, 'b'));
  sub->Release();
  root->Release();
}

TEST(Storage, ElementsNamesFailuresAndTemporaryFiles) {
  IXStorage* storage = new_Storage(nullptr, 0);
  EXPECT_STREQ(CXString(storage->GetName()), "");
  Put(storage, "a", "one");
  Put(storage, "b", "two");
  IXStorage* sub = storage->CreateStorage("s");
  EXPECT_EQ(Get(storage, "a"), "one");
  EXPECT_EQ(zrtest::Names(storage->EnumStreams()), (V{"a", "b"}));  // not "s"
  EXPECT_EQ(zrtest::Names(storage->EnumStorages()), V{"s"});
  IXStorage* parent = sub->GetParentStorage();
  EXPECT_EQ(parent, storage);
  parent->Release();
  EXPECT_GE(storage->DestroyStream("a"), 0);
  EXPECT_EQ(storage->OpenStream("a"), nullptr);
  EXPECT_EQ(FileError([&] { storage->DestroyStream("a"); }),
            (Error{ZRCAUSE_FILENOTFOUND, ZRSTORAGEOP_DESTROY}));
  EXPECT_EQ(FileError([&] { storage->OpenStorage("none"); }),
            (Error{ZRCAUSE_FILENOTFOUND, ZRSTORAGEOP_OPEN}));
  // Names at the format's limit of 31 characters, and beyond it.
  const std::string longest(31, 'n'), tooLong(32, 'n');
  IXStream* stream = storage->CreateStream(longest.c_str());
  EXPECT_EQ(std::string(stream->GetName()), longest);  // the 63-byte cut never bites
  EXPECT_EQ(FileError([&] { stream->Seek(0, 3); }), (Error{ZRCAUSE_INVALIDARG, ZRSTORAGEOP_SEEK}));
  stream->Release();
  EXPECT_EQ(storage->CreateStream(tooLong.c_str()), nullptr);
  EXPECT_EQ(FileError([&] { storage->CreateStorage(tooLong.c_str()); }),
            (Error{ZRCAUSE_BADPATH, ZRSTORAGEOP_OPEN}));
  storage->Release();  // the sub-storage keeps it alive
  Put(sub, "c", "kept");
  EXPECT_EQ(Get(sub, "c"), "kept");
  sub->Release();

  zrtest::TempDir dir;
  IXStorage* gone = new_Storage(u"ignored", ZRSTORAGE_TEMPORARY | ZRSTORAGE_DELETEONRELEASE);
  const std::string path(CXString(gone->GetName()));
  // GetTempFileNameW keeps the prefix's first three characters, as on Windows.
  EXPECT_NE(path.find("/ZRP"), std::string::npos) << path;
  EXPECT_TRUE(zrtest::Exists(path));
  gone->Release();
  EXPECT_FALSE(zrtest::Exists(path));
  EXPECT_EQ(FileError([&] { open_Storage(dir.WPath("missing").c_str(), 1); }),
            (Error{ZRCAUSE_FILENOTFOUND, ZRSTORAGEOP_OPEN}));
}

TEST(Storage, ReadOnlyLeavesTheFileAndTransactedChangesWaitForCommit) {
  zrtest::TempDir dir;
  const std::u16string path = dir.WPath("f.stg");
  WriteSample(path);
  const std::string unchanged = zrtest::ReadText(dir.Path("f.stg"));
  IXStorage* storage = open_Storage(path.c_str(), 1);
  EXPECT_EQ(dynamic_cast<CStorage*>(storage)->GetFlags(), ZRSTORAGE_READONLY);
  EXPECT_EQ(storage->CreateStream("new"), nullptr);
  EXPECT_EQ(Get(storage, "a"), "alpha");
  storage->Commit();
  storage->Release();
  EXPECT_TRUE(zrtest::ReadText(dir.Path("f.stg")) == unchanged);  // byte for byte

  storage = open_Storage(path.c_str(), 0);
  EXPECT_EQ(dynamic_cast<CStorage*>(storage)->GetFlags(), ZRSTORAGE_TRANSACTED);
  Put(storage, "a", "changed");
  IXStorage* sub = storage->OpenStorage("s");
  Put(sub, "c", "new");
  sub->Release();  // commits into the root's transaction only
  EXPECT_TRUE(zrtest::ReadText(dir.Path("f.stg")) == unchanged);
  dynamic_cast<CStorage*>(storage)->Revert();
  EXPECT_EQ(Get(storage, "a"), "alpha");
  storage->Release();  // commits what the revert left: nothing new
  storage = open_Storage(path.c_str(), 0);
  sub = storage->OpenStorage("s");
  EXPECT_EQ(zrtest::Names(sub->EnumStreams()), V{"b"});
  sub->Release();
  Put(storage, "a", "committed");
  storage->Commit();
  EXPECT_FALSE(zrtest::ReadText(dir.Path("f.stg")) == unchanged);
  Put(storage, "z", "at release");
  storage->Release();
  storage = open_Storage(path.c_str(), 1);
  EXPECT_EQ(Get(storage, "a") + Get(storage, "z"), "committedat release");
  storage->Release();
}

TEST(Storage, AProcessKilledBeforeCommitLeavesTheFileAsItWas) {
  zrtest::TempDir dir;
  WriteSample(dir.WPath("f.stg"));
  const std::string unchanged = zrtest::ReadText(dir.Path("f.stg"));
  zrtest::ChildProcess child({"storage-write", dir.Path("f.stg")});
  ASSERT_EQ(child.ReadLine(), "written");
  child.Kill();
  child.Wait();
  EXPECT_TRUE(zrtest::ReadText(dir.Path("f.stg")) == unchanged);
}

// A storage answers IZRProperty with its summary information: a title set
// through it is in the file after the storage is released; other interfaces
// are not answered.
TEST(Storage, SummaryInformationReachesTheFile) {
  zrtest::TempDir dir;
  WriteSample(dir.WPath("f.stg"));
  IXStorage* root = open_Storage(dir.WPath("f.stg").c_str(), 0);
  IZRProperty* props = nullptr;
  ASSERT_EQ(root->QueryInterface(typeid(IZRProperty), reinterpret_cast<void**>(&props)), 1);
  CZRVariant title("Quarterly");
  EXPECT_EQ(props->SetProperty("Title", &title), 1);
  props->Release();
  void* other = &other;
  EXPECT_EQ(root->QueryInterface(typeid(IParam), &other), 0);
  EXPECT_EQ(other, nullptr);
  root->Release();

  root = open_Storage(dir.WPath("f.stg").c_str(), 1);
  ASSERT_EQ(root->QueryInterface(typeid(IZRProperty), reinterpret_cast<void**>(&props)), 1);
  tagZRPROPERTYVALUE value{};
  EXPECT_EQ(props->GetProperty("Title", &value), 1);
  EXPECT_STREQ(value.var.vt == ZRVT_STR ? value.var.pszVal : "", "Quarterly");
  props->Release();
  root->Release();
}

}  // namespace
