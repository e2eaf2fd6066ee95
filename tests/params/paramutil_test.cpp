// The utilities over whole trees: copy, compare, dump, text and text files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>

#include "tests/common/temp_dir.h"
#include "tests/params/param_test_util.h"
#include "tests/storage/storage_test_util.h"

namespace {

using namespace zrtest;

// Both ways: 2 when the trees are equal.
int CmpBoth(const Tree& a, const Tree& b) {
  return Param_Cmp(a.get(), b.get()) + Param_Cmp(b.get(), a.get());
}

TEST(ParamUtil, CopyMergesAndCompareIsOneSided) {
  Tree source, copy, empty;
  ReadText("[\\]|n=i5|[\\a\\b]|s=sx|[\\c]", source.get());
  ReadText("[\\]|kept=i1|n=i0", copy.get());
  Param_CopyTo(source.get(), copy.get());
  EXPECT_EQ(IntOf(copy.get(), "kept"), 1);  // nothing is removed
  EXPECT_EQ(IntOf(copy.get(), "n"), 5);
  EXPECT_EQ(Param_Cmp(source.get(), copy.get()), 1);
  EXPECT_EQ(Param_Cmp(copy.get(), source.get()), 0);  // the extra value is in the first
  Param_CopyTo(source.get(), empty.get());
  EXPECT_EQ(CmpBoth(source, empty), 2);
  EXPECT_EQ(Param_Cmp(nullptr, source.get()), 0);
  ReadText("[\\a\\b]|s=sy", empty.get());
  EXPECT_EQ(Param_Cmp(source.get(), empty.get()), 0);  // a difference below the root
}

// A node that hands out no enumerators.
class CNoEnumParam : public CZRUnknownImpl<IParam> {
 public:
  IParam* CreateParam(const char*) override { return nullptr; }
  IParam* OpenParam(const char*, int) override { return nullptr; }
  void DeleteParam(const char*) override {}
  void DeleteAllParams() override {}
  CTEnum<const char*>* EnumParams() override { return nullptr; }
  int GetValue(const char*, tagZRVARIANT*) override { return 0; }
  void SetValue(const char*, const tagZRVARIANT*) override {}
  void DeleteValue(const char*) override {}
  void DeleteAllValues() override {}
  CTEnum<const char*>* EnumValues() override { return nullptr; }
  void Purge() override {}
};

TEST(ParamUtil, DumpAndTheMissingEnumerators) {
  Tree t, broken(new CNoEnumParam());
  ReadText("[\\]|n=i5|[\\a]|v=sx", t.get());
  for (const char* setting : {static_cast<const char*>(nullptr), "1"}) {
    if (setting)
      ::setenv("ZR_DEBUG_OUTPUT", setting, 1);
    else
      ::unsetenv("ZR_DEBUG_OUTPUT");
    testing::internal::CaptureStderr();
    Dump_Param(t.get());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), setting ? " n \n--- a ---\n v \n" : "");
  }
  ::unsetenv("ZR_DEBUG_OUTPUT");
  for (int copy = 0; copy < 2; ++copy) {
    try {
      copy ? Param_CopyTo(broken.get(), t.get()) : Dump_Param(broken.get());
      ADD_FAILURE() << "nothing thrown";
    } catch (const CXIFaceException& e) {
      EXPECT_EQ(e.GetCause(), ZRCAUSE_INVALIDARG);
      EXPECT_TRUE(*e.GetInterface() == typeid(CTEnum<const char*>));
    }
  }
}

// 3000 values: the root's line is about 150 KB, past the reader's 64 KiB
// pieces and a disk file's 128 KiB window.
void FillBig(IParam* tree) {
  for (int i = 0; i < 3000; ++i) {
    const CZRVariant v(("value number " + std::to_string(i) + std::string(i % 97, 'x')).c_str());
    tree->SetValue(("name" + std::to_string(i)).c_str(), &v);
  }
}

TEST(ParamUtil, StringFormAndItsRoundTrip) {
  Tree t, back;
  EXPECT_EQ(StringForm(t.get()), "[\\]\t|");
  const CZRVariant five(5), wide(u"wide");
  t->SetValue("n", &five);
  Tree(t->CreateParam("a"));
  EXPECT_EQ(StringForm(t.get()), "[\\]\t\t|n=i5|[\\a]\t|");
  ReadText("[\\x\\y]|c=Z1,2.5|d=sone two", t.get());
  EXPECT_EQ(ReadText(StringForm(t.get()), back.get()), 1);
  EXPECT_EQ(CmpBoth(t, back), 2);
  t->SetValue("w", &wide);
  ReadText(StringForm(t.get()), back.get());
  CZRVariant w;
  ASSERT_EQ(back->GetValue("w", &w), 1);
  EXPECT_EQ(w.vt, ZRVT_STR);  // wide text comes back 8-bit
  EXPECT_STREQ(w.pszVal, "wide");
  CXString out;
  EXPECT_EQ(Param_Param2String(nullptr, out), 0);
  EXPECT_EQ(Param_String2Param(out, nullptr), 0);
}

TEST(ParamUtil, ReadingTheText) {
  const struct {
    const char* text;
    const char* name;
    int value;  // -1: absent
  } cases[] = {
      {"[\\]|flag", "flag", 0},
      {"[\\]|y", "y", -1},    // a one-character item sets nothing
      {"ab|[\\]", "ab", -1},  // before any section
      {"[\\]|k=q5", "k", -1},
      {"[\\]\n|x=i1\n\ny=i2", "y", -1},  // an empty LF line ends
      {"[\\]\r\nx=i1\r\n\r\ny=i2", "y", 2},
      {"[\\a\\b|v=i3", "a\\b\\v", 3},     // a missing "]" is no error
      {"[\\a\\\\b]|v=i4", "a\\b\\v", 4},  // empty path components are skipped
      {"[\\]|  k  =  i 8  ", "k", 8},
  };
  for (const auto& c : cases) {
    Tree t;
    EXPECT_EQ(ReadText(c.text, t.get()), 1);
    EXPECT_EQ(IntOf(t.get(), c.name), c.value) << c.text << " / " << c.name;
  }
  Tree t;
  ReadText("[\\]|k = sHello world |[\\a\\b]|v=i1", t.get());
  ReadText("[\\a\\b]|w=i2", t.get());
  EXPECT_EQ(IntOf(t.get(), "a\\b\\v"), 1);  // a header leaves what the nodes hold
  CZRVariant s;
  ASSERT_EQ(t->GetValue("k", &s), 1);
  EXPECT_STREQ(s.pszVal, "Hello world");
}

TEST(ParamUtil, TextFiles) {
  zrtest::TempDir dir;
  const std::u16string path = dir.WPath("p.txt");
  Tree t, back, big, bigBack;
  EXPECT_EQ(Param_Param2IniFile(t.get(), path.c_str()), 1);
  EXPECT_EQ(zrtest::ReadText(dir.Path("p.txt")), "\r\n[\\]\t");
  // Wide text goes out as 8-bit text with the tag s; objects have no text.
  const CZRVariant wide(u"w\u00e9"), object(static_cast<IZRUnknown*>(nullptr));
  ReadText("[\\]|n=i5|[\\a]|[\\a\\b]", t.get());
  Tree(t->OpenParam("a", 0))->SetValue("W", &wide);
  t->SetValue("a\\b\\skipped", &object);
  EXPECT_EQ(Param_Param2IniFile(t.get(), path.c_str()), 1);
  EXPECT_EQ(zrtest::ReadText(dir.Path("p.txt")),
            "\r\n[\\]\t\t| n=i5\r\n[\\a]\t\t| W=sw\u00e9\r\n[\\a\\b]\t");
  EXPECT_EQ(Param_Param2IniFile(nullptr, path.c_str()), 0);  // the file stays
  ReadText("[\\]|kept=i1", back.get());
  EXPECT_EQ(Param_IniFile2Param(path.c_str(), back.get()), 1);
  EXPECT_EQ(IntOf(back.get(), "kept"), 1);  // merged
  EXPECT_EQ(IntOf(back.get(), "n"), 5);
  EXPECT_EQ(Param_IniFile2Param(path.c_str(), nullptr), 0);
  FillBig(big.get());
  Param_Param2IniFile(big.get(), path.c_str());
  EXPECT_EQ(Param_IniFile2Param(path.c_str(), bigBack.get()), 1);
  EXPECT_EQ(CmpBoth(big, bigBack), 2);
  EXPECT_EQ(storage_test::FileError([&] {
              Param_IniFile2Param(dir.WPath("missing.txt").c_str(), back.get());
            }).first,
            DWORD{ZRCAUSE_FILENOTFOUND});
  // Includes of real files: a missing one, one that includes itself, two
  // that include each other, and one that names itself another way at each
  // level ("dir/./deep.txt", "dir/././deep.txt", ...), which only the depth
  // bound ends; the text after them is read.
  for (const auto& [name, text] : std::initializer_list<std::pair<const char*, const char*>>{
           {"main.txt",
            "[\\]\r\n#include missing.txt\r\n#include self.txt\r\n#include a.txt\r\n"
            "#include ./deep.txt\r\nend=i1"},
           {"self.txt", "[\\]|self=i1\r\n#include self.txt"},
           {"a.txt", "[\\]|a=i1\r\n#include b.txt"},
           {"b.txt", "[\\]|b=i1\r\n#include a.txt"},
           {"deep.txt", "[\\]|deep=i1\r\n#include ./deep.txt"}})
    zrtest::WriteText(dir.Path(name), text);
  Tree inc;
  EXPECT_EQ(Param_IniFile2Param(dir.WPath("main.txt").c_str(), inc.get()), 1);
  for (const char* name : {"self", "a", "b", "deep", "end"})
    EXPECT_EQ(IntOf(inc.get(), name), 1) << name;
}

}  // namespace
