// The INI-file back-end: nodes as sections, values as keys, its own slots.
#include "zr/iniparam.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/params/param_test_util.h"
#include "tests/scratch_dir.h"
#include "tests/storage/storage_test_util.h"
#include "tests/streams/stream_test_util.h"
#include "zr/exception.h"
#include "zr/xfile.h"

namespace {

using namespace zrtest;
using V = std::vector<std::string>;

// The tree's file lies in a folder that does not exist yet.
class IniParam : public zrtest::ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    m_file = m_dir + "/sub/t.ini";
  }
  IParam* Open() const {
    const std::u16string wide(m_file.begin(), m_file.end());
    return new_IParamIniFile(wide.c_str());
  }
  void Put(const std::string& content) const {
    std::filesystem::create_directories(m_dir + "/sub");
    ScratchDir::Put(content);
  }
};

TEST_F(IniParam, NewFileInANewFolderHoldsTheRootMarker) {
  Tree root(Open());
  ASSERT_NE(root.get(), nullptr);
  EXPECT_EQ(Content(), "[\\]\r\n@=e\r\n");
  EXPECT_EQ(Names(root->EnumValues()), V{"@"});
  CZRVariant v(7);
  EXPECT_EQ(root->GetValue("@", &v), 1);
  EXPECT_EQ(v.vt, ZRVT_EMPTY);
}

TEST_F(IniParam, AFolderThatCannotBeMadeThrowsAsFioCreateDirectory) {
  // A file stands where a folder above the file's should be.
  zrtest::WriteText(m_dir + "/sub", "not a folder");
  m_file = m_dir + "/sub/deeper/t.ini";
  EXPECT_EQ(storage_test::FileError([&] { Tree root(Open()); }).second, DWORD{ZRFILEOP_MKDIR});
  EXPECT_EQ(zrtest::ReadFileOrNone(m_dir + "/sub"), "not a folder");
}

TEST_F(IniParam, ValuesAreKeysHoldingTheirValueText) {
  Tree root(Open());
  const CZRVariant five(5);
  root->SetValue("n", &five);
  EXPECT_EQ(Content(), "[\\]\r\n@=e\r\nn=i5\r\n");
  CZRVariant v;
  EXPECT_EQ(root->GetValue("N", &v), 1);
  EXPECT_EQ(v.vt, ZRVT_INT);
  EXPECT_EQ(v.intVal, 5);
  // Unreadable or missing texts read as not found, and clear the variant.
  Put("[\\]\r\nq=q5\r\nw=w70000\r\n");
  for (const char* name : {"q", "w", "missing"}) {
    CZRVariant out(1);
    EXPECT_EQ(root->GetValue(name, &out), 0) << name;
    EXPECT_EQ(out.vt, ZRVT_EMPTY) << name;
  }
  // A path creates the nodes on its way; the value lives in the last one.
  const CZRVariant text("x y");
  root->SetValue("a\\b\\s", &text);
  EXPECT_NE(Content().find("[\\a\\b]\r\n@=e\r\ns=sx y\r\n"), std::string::npos);
  EXPECT_EQ(root->GetValue("A\\b\\S", &v), 1);
  EXPECT_STREQ(v.pszVal, "x y");
  root->DeleteValue("n");
  EXPECT_EQ(Names(root->EnumValues()), (V{"q", "w"}));
  root->DeleteAllValues();
  EXPECT_EQ(Names(root->EnumValues()), V{"@"});
}

TEST_F(IniParam, SectionsMapToNodes) {
  Put("[\\]\n@=e\n[\\a]\n@=e\n[\\a\\b]\nk=i1\n[\\ab]\n@=e\n[\\c\\d]\n@=e\n[\\x]\n@=e\n[\\\\y]\n");
  Tree root(Open());
  EXPECT_EQ(Names(root->EnumParams()), (V{"a", "ab", "c", "x"}));
  Tree a(root->OpenParam("A", 0));
  ASSERT_NE(a.get(), nullptr);
  EXPECT_EQ(Names(a->EnumParams()), V{"b"});
  // A section without keys is no node; one with keys is, marker or not.
  EXPECT_EQ(root->OpenParam("c", 0), nullptr);
  Tree b(a->OpenParam("b", 0));
  ASSERT_NE(b.get(), nullptr);
  EXPECT_EQ(Names(b->EnumValues()), (V{"k", "@"}));  // opening wrote the marker
  Tree c(root->OpenParam("c", 1));
  ASSERT_NE(c.get(), nullptr);
  EXPECT_NE(Content().find("[\\c]\n@=e\n"), std::string::npos);  // the file's line ends
  // Deleting a removes \a and everything below it.
  root->DeleteParam("a");
  EXPECT_EQ(Content().find("[\\a]"), std::string::npos);
  EXPECT_EQ(Content().find("[\\a\\b]"), std::string::npos);
  EXPECT_EQ(Names(root->EnumParams()), (V{"ab", "c", "x"}));
  // CreateParam empties an existing node.
  const CZRVariant one(1);
  root->SetValue("ab\\v", &one);
  Tree ab(root->CreateParam("ab"));
  EXPECT_EQ(Names(ab->EnumValues()), V{"@"});
  // Purge removes every section of the tree; a section without keys that
  // names no sub-parameter stays.
  root->Purge();
  EXPECT_EQ(Content(), "[\\\\y]\n");
}

TEST_F(IniParam, ATreeCopiedInComparesEqual) {
  Tree memory;
  const CZRVariant i(-3), d(1.5), s("text"), e;
  memory->SetValue("i", &i);
  memory->SetValue("", &d);
  memory->SetValue("p\\q\\s", &s);
  memory->SetValue("p\\r\\e", &e);
  {
    Tree ini(Open());
    Param_CopyTo(memory.get(), ini.get());
  }
  Tree ini(Open());  // read back from the file
  EXPECT_EQ(Param_Cmp(memory.get(), ini.get()), 1);
  EXPECT_EQ(Names(ini->EnumParams()), V{"p"});
  Tree p(ini->OpenParam("p", 0));
  EXPECT_EQ(Names(p->EnumParams()), (V{"q", "r"}));
  // One-sided: what only the INI tree has (its markers) is not looked at;
  // a changed value is.
  const CZRVariant other("other");
  ini->SetValue("p\\q\\s", &other);
  EXPECT_EQ(Param_Cmp(memory.get(), ini.get()), 0);
}

TEST_F(IniParam, OwnOperationsAndInterfaces) {
  Tree root(Open());
  Tree a(root->CreateParam("a"));
  IParam* node = a.get();
  EXPECT_EQ(Names(Slot<CTEnum<const char*>* (*)(void*)>(root.get(), 14)(root.get())), V{"a"});
  using GetParent = IParam* (*)(void*);
  Tree parent(Slot<GetParent>(node, 16)(node));
  EXPECT_EQ(parent.get(), root.get());
  Slot<void (*)(void*, IParam*)>(node, 15)(node, nullptr);  // SetParent
  EXPECT_EQ(Slot<GetParent>(node, 16)(node), nullptr);
  void* out = nullptr;
  EXPECT_EQ(root->QueryInterface(typeid(IRegisterIface), &out), 1);
  static_cast<IRegisterIface*>(out)->Release();
  EXPECT_EQ(root->QueryInterface(typeid(IParam), &out), 0);
  EXPECT_EQ(root->QueryInterface(typeid(IZRUnknown), &out), 0);
  // The enumerator that keeps no node alive.
  EXPECT_EQ(Names(new CIniFileEnum("x\0yz\0\0")), (V{"x", "yz"}));
}

}  // namespace
