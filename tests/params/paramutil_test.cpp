// The utilities over whole trees: copy, compare, dump, the string form and
// the parameter text as the string conversions read it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/common/temp_dir.h"
#include "tests/params/param_test_util.h"

namespace {

using zrtest::Names;
using zrtest::ReadText;
using zrtest::StringForm;
using zrtest::Tree;
using V = std::vector<std::string>;

int IntOf(IParam* node, const char* name) {
  CZRVariant v;
  return node->GetValue(name, &v) ? v.intVal : -1;
}

// 3000 values: the root's line is about 150 KB, past the reader's 64 KiB
// pieces and a disk file's 128 KiB window.
void FillBig(IParam* tree) {
  for (int i = 0; i < 3000; ++i) {
    const CZRVariant v(("value number " + std::to_string(i) + std::string(i % 97, 'x')).c_str());
    tree->SetValue(("name" + std::to_string(i)).c_str(), &v);
  }
}

TEST(ParamUtil, CopyMergesAndCompareIsOneSided) {
  Tree source;
  ReadText("[\\]|n=i5|[\\a\\b]|s=sx|[\\c]", source.get());
  Tree copy;
  ReadText("[\\]|kept=i1|n=i0", copy.get());
  Param_CopyTo(source.get(), copy.get());
  EXPECT_EQ(IntOf(copy.get(), "kept"), 1);  // nothing is removed
  EXPECT_EQ(IntOf(copy.get(), "n"), 5);
  EXPECT_EQ(Param_Cmp(source.get(), copy.get()), 1);
  EXPECT_EQ(Param_Cmp(copy.get(), source.get()), 0);  // the extra value is in the first
  Tree empty;
  Param_CopyTo(source.get(), empty.get());
  EXPECT_EQ(Param_Cmp(source.get(), empty.get()), 1);
  EXPECT_EQ(Param_Cmp(empty.get(), source.get()), 1);
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

TEST(ParamUtil, MissingEnumeratorsThrow) {
  Tree broken(new CNoEnumParam());
  Tree t;
  for (auto call : {+[](IParam*a, IParam*b) { Param_CopyTo(a, b); },
                    +[](IParam*a, IParam*) { Dump_Param(a); }}) {
    try {
      call(broken.get(), t.get());
      ADD_FAILURE() << "nothing thrown";
    } catch (const CXIFaceException& e) {
      EXPECT_EQ(e.GetCause(), ZRCAUSE_INVALIDARG);
      EXPECT_TRUE(*e.GetInterface() == typeid(CTEnum<const char*>));
    }
  }
}

TEST(ParamUtil, DumpWritesNamesToTheDebuggerOutput) {
  Tree t;
  ReadText("[\\]|n=i5|[\\a]|v=sx", t.get());
  ::unsetenv("ZR_DEBUG_OUTPUT");
  testing::internal::CaptureStderr();
  Dump_Param(t.get());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  ::setenv("ZR_DEBUG_OUTPUT", "1", 1);
  testing::internal::CaptureStderr();
  Dump_Param(t.get());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), " n \n--- a ---\n v \n");
  ::unsetenv("ZR_DEBUG_OUTPUT");
}

TEST(ParamUtil, StringFormAndItsRoundTrip) {
  Tree t;
  EXPECT_EQ(StringForm(t.get()), "[\\]\t|");
  const CZRVariant five(5);
  t->SetValue("n", &five);
  Tree(t->CreateParam("a"));
  EXPECT_EQ(StringForm(t.get()), "[\\]\t\t|n=i5|[\\a]\t|");
  ReadText("[\\x\\y]|c=Z1,2.5|d=sone two", t.get());
  Tree back;
  EXPECT_EQ(ReadText(StringForm(t.get()), back.get()), 1);
  EXPECT_EQ(Param_Cmp(back.get(), t.get()) + Param_Cmp(t.get(), back.get()), 2);
  const CZRVariant wide(u"wide");
  t->SetValue("w", &wide);
  ReadText(StringForm(t.get()), back.get());
  CZRVariant w;
  ASSERT_EQ(back->GetValue("w", &w), 1);
  EXPECT_EQ(w.vt, ZRVT_STR);  // wide text comes back 8-bit
  EXPECT_STREQ(w.pszVal, "wide");
  CXString out;
  EXPECT_EQ(Param_Param2String(nullptr, out), 0);
  EXPECT_EQ(Param_String2Param(out, nullptr), 0);
  // A string form far longer than the reader's 64 KiB line buffer: no item
  // is cut where the line is read in pieces.
  Tree big;
  FillBig(big.get());
  Tree bigBack;
  ReadText(StringForm(big.get()), bigBack.get());
  EXPECT_EQ(Param_Cmp(big.get(), bigBack.get()) + Param_Cmp(bigBack.get(), big.get()), 2);
}

TEST(ParamUtil, ReadingTheText) {
  const struct {
    const char* text;
    const char* name;
    int value;  // -1: absent
  } cases[] = {
      {"[\\]|flag", "flag", 0},
      {"[\\]|y", "y", -1},  // a one-character item sets nothing
      {"[\\]|x=i7|flag|;c=i1", "c", -1},
      {"[\\]|x=i7|flag|;c=i1", "x", 7},
      {"ab|[\\]", "ab", -1},  // before any section
      {"[\\]|k=q5", "k", -1},
      {"[\\]\n|x=i1\n\ny=i2", "y", -1},  // an empty LF line ends the text
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
  ReadText("[\\]|k = sHello world ", t.get());
  CZRVariant s;
  ASSERT_EQ(t->GetValue("k", &s), 1);
  EXPECT_STREQ(s.pszVal, "Hello world");
  // A header leaves what the nodes hold.
  ReadText("[\\a\\b]|v=i1", t.get());
  ReadText("[\\a\\b]|w=i2", t.get());
  EXPECT_EQ(IntOf(t.get(), "a\\b\\v"), 1);
}

TEST(ParamFile, WritesAndReadsTextFiles) {
  zrtest::TempDir dir;
  const std::u16string path = dir.WPath("p.txt");
  Tree t;
  ReadText("[\\]|n=i5|[\\a]", t.get());
  EXPECT_EQ(Param_Param2IniFile(t.get(), path.c_str()), 1);
  EXPECT_EQ(zrtest::ReadText(dir.Path("p.txt")), "\r\n[\\]\t\t| n=i5\r\n[\\a]\t");
  EXPECT_EQ(Param_Param2IniFile(nullptr, path.c_str()), 0);  // the file stays
  Tree back;
  ReadText("[\\]|kept=i1", back.get());
  EXPECT_EQ(Param_IniFile2Param(path.c_str(), back.get()), 1);
  EXPECT_EQ(IntOf(back.get(), "kept"), 1);  // merged
  EXPECT_EQ(Param_Cmp(t.get(), back.get()), 1);
  EXPECT_EQ(Param_IniFile2Param(path.c_str(), nullptr), 0);
  FillBig(t.get());
  Param_Param2IniFile(t.get(), path.c_str());
  Tree bigBack;
  EXPECT_EQ(Param_IniFile2Param(path.c_str(), bigBack.get()), 1);
  EXPECT_EQ(Param_Cmp(t.get(), bigBack.get()) + Param_Cmp(bigBack.get(), t.get()), 2);
  try {
    Param_IniFile2Param(dir.WPath("missing.txt").c_str(), back.get());
    ADD_FAILURE() << "nothing thrown";
  } catch (const CXFileException& e) {
    EXPECT_EQ(e.GetCause(), ZRCAUSE_FILENOTFOUND);
  }
}

TEST(ParamFile, IncludesOfRealFilesEndAndGoOn) {
  zrtest::TempDir dir;
  zrtest::WriteText(dir.Path("main.txt"),
                    "[\\]\r\n#include missing.txt\r\n#include self.txt\r\n#include a.txt\r\n"
                    "#include ./deep.txt\r\nend=i1");
  zrtest::WriteText(dir.Path("self.txt"), "[\\]|self=i1\r\n#include self.txt");
  zrtest::WriteText(dir.Path("a.txt"), "[\\]|a=i1\r\n#include b.txt");
  zrtest::WriteText(dir.Path("b.txt"), "[\\]|b=i1\r\n#include a.txt");
  // Each level names itself another way ("dir/./deep.txt", "dir/././deep.txt",
  // ...): only the depth bound ends it.
  zrtest::WriteText(dir.Path("deep.txt"), "[\\]|deep=i1\r\n#include ./deep.txt");
  Tree t;
  EXPECT_EQ(Param_IniFile2Param(dir.WPath("main.txt").c_str(), t.get()), 1);
  for (const char* name : {"self", "a", "b", "deep", "end"})
    EXPECT_EQ(IntOf(t.get(), name), 1) << name;
}

TEST(ParamUtil, TwoThreadsConvertAtOnce) {
  auto work = [](int id, bool* ok) {
    const std::string text =
        "[\\]|id=i" + std::to_string(id) + "|[\\s" + std::to_string(id) + "]|v=sthread";
    for (int round = 0; round < 200 && *ok; ++round) {
      Tree t;
      ReadText(text, t.get());
      *ok = IntOf(t.get(), "id") == id &&
            StringForm(t.get()) == "[\\]\t\t|id=i" + std::to_string(id) + "|[\\s" +
                                       std::to_string(id) + "]\t\t|v=sthread|";
    }
  };
  bool ok1 = true, ok2 = true;
  std::thread a(work, 1, &ok1), b(work, 2, &ok2);
  a.join();
  b.join();
  EXPECT_TRUE(ok1);
  EXPECT_TRUE(ok2);
}

}  // namespace
