// The parameter text from inside: the memory file, the reader's item rules,
// its reports, and include directives.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "pal/mbcs.h"
#include "params/paramtext.h"
#include "params/textfile.h"
#include "tests/params/param_test_util.h"
#include "tests/streams/stream_test_util.h"
#include "zr/exception.h"
#include "zr/variant.h"

namespace {

using zr::CInputBuffer;
using zr::CMemFile;
using namespace zrtest;
constexpr int kLineMax = CInputBuffer::kLineMax;

CMemFile* MemFileOf(const std::string& text) {
  auto* file = new CMemFile(CMemFile::kTextStep);
  file->Write(text.data(), static_cast<int>(text.size()));
  file->Seek(0, ZRFILE_SEEK_SET);
  return file;
}

// A memory file that answers the name it is given.
class CNamedSource final : public zr::CParamTextSource {
 public:
  CNamedSource(const std::string& text, const std::u16string& name)
      : m_file(MemFileOf(text)), m_name(name) {}
  int ReadLine(char* buffer, int max) override { return m_file.ReadLine(buffer, max); }
  const WCHAR* GetFileName() override { return m_name.c_str(); }

 private:
  zr::CXFileTextSource m_file;
  std::u16string m_name;
};

TEST(ParamTextMemFile, GrowsInStepsSeeksClampedAndReadsLines) {
  CMemFile* f = MemFileOf("ab\ncd");
  EXPECT_EQ(f->GetSize(), 1024u);  // grown in whole steps, zeros after the text
  EXPECT_EQ(std::u16string(f->GetFileName()), u"MemFile");
  char line[11];
  EXPECT_EQ(f->ReadLine(line, 10), 2);
  EXPECT_EQ(std::string(line, 4), std::string("ab\n\0", 4));
  EXPECT_EQ(f->ReadLine(line, 4), 4);  // cd and two zeros, the zero at index max
  EXPECT_EQ(std::string(line, 5), std::string("cd\0\0\0", 5));
  const std::string more(1100, 'x');
  f->Write(more.data(), static_cast<int>(more.size()));
  EXPECT_EQ(f->GetSize(), 2048u);
  EXPECT_EQ(f->Seek(-5, ZRFILE_SEEK_SET), 0u);
  EXPECT_EQ(f->Seek(10, ZRFILE_SEEK_END), 2048u);
  EXPECT_EQ(f->Read(nullptr, 4), 0u);
  EXPECT_EQ(CauseOf([&] { f->ReadByte(); }), ZRCAUSE_EOF);
  EXPECT_EQ(CauseOf([&] { f->Seek(0, 3); }), ZRCAUSE_INVALIDARG);
  f->Seek(-2, ZRFILE_SEEK_END);
  EXPECT_EQ(CauseOf([&] { f->ReadDword(); }), ZRCAUSE_EOF);  // two bytes are not a value
  f->Release();
  EXPECT_EQ(CauseOf([] { CMemFile(0); }), ZRCAUSE_INVALIDARG);
  // A line feed read into the last unit gives way to the zero.
  CMemFile* g = MemFileOf("abc\n");
  EXPECT_EQ(g->ReadLine(line, 4), 3);
  EXPECT_EQ(std::string(line, 4), std::string("abc\0", 4));
  g->Release();
}

std::vector<std::string> Items(const std::string& text) {
  CNamedSource source(text, u"t");
  CInputBuffer reader(source);
  std::vector<std::string> items;
  std::unique_ptr<char[]> item(new char[kLineMax + 1]);
  while (int n = reader.NextItem(item.get())) items.emplace_back(item.get(), n);
  return items;
}

TEST(ParamTextReader, SplitsItems) {
  using V = std::vector<std::string>;
  const std::string a(kLineMax - 2, 'a');
  const struct {
    std::string text;
    V items;
  } cases[] = {
      {"[\\]|x=i7|flag|;c=i1\r\nz", V{"[\\]", "x=i7", "flag", "z"}},
      {"  a \t|| b |\r\n", V{"a \t", "b"}},   // white space before a bar stays
      {std::string("a\t\0\0", 4), V{"a\t"}},  // zeros stop the trimming and add nothing
      {std::string("\0;c|d", 5), V{";c", "d"}},
      // Lines longer than the buffer: an item cut by a piece boundary is
      // joined again, a comment hides the rest of the whole line, a line
      // ending exactly at the boundary is no empty line, and only an item
      // longer than the buffer is cut.
      {a + "|x y|z", V{a, "x y", "z"}},
      {a + "|;c|hidden\r\nnext", V{a, "next"}},
      {std::string(kLineMax, 'c') + "\nb", V{std::string(kLineMax, 'c'), "b"}},
      {std::string(kLineMax + 10, 'q'), V{std::string(kLineMax, 'q'), "qqqqqqqqqq"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Items(c.text), c.items) << c.text.substr(0, 20);
}

TEST(ParamTextReader, DoubleByteCharactersStayWhole) {
  // Code page 932: 0x83 0x7C and 0x95 0x5C are characters whose trail bytes
  // are "|" and "\"; 0x83 0x5D ends in "]".
  const std::string text = "[\\\x83\x5D\r\nk=s\x83\x7Cz|t=s\x95\x5C\r\nend=s\x83\x7C\r\n";
  for (int codePage : {0, 932}) {
    ASSERT_EQ(zrpal::_setmbcp(codePage), 0);
    Tree t;
    CNamedSource source(text, u"t");
    zr::ReadParamText(source, t.get(), nullptr);
    zrpal::_setmbcp(0);
    IParam* node = t.get()->OpenParam(codePage ? "\x83\x5D" : "\x83", 0);
    ASSERT_NE(node, nullptr) << codePage;
    CZRVariant k, t2, end;
    node->GetValue("k", &k);
    node->GetValue("t", &t2);
    node->GetValue("end", &end);
    EXPECT_STREQ(k.pszVal, codePage ? "\x83\x7Cz" : "\x83");
    EXPECT_STREQ(t2.pszVal, "\x95\x5C");
    EXPECT_STREQ(end.pszVal, codePage ? "\x83\x7C" : "\x83");
    node->Release();
  }
}

// Texts by file name; every open is recorded.
class CTextOpener : public zr::CParamIncludeOpener {
 public:
  std::unique_ptr<zr::CParamTextSource> Open(const CXStringW& path) override {
    const std::u16string name(static_cast<const WCHAR*>(path));
    tried.push_back(name);
    auto it = files.find(name);
    if (it == files.end()) return nullptr;
    return std::make_unique<CNamedSource>(it->second, name);
  }
  std::map<std::u16string, std::string> files;
  std::vector<std::u16string> tried;
};

int ReadWith(CTextOpener& opener, const std::string& text, IParam* tree,
             zr::CParamTextReport* report = nullptr) {
  CNamedSource top(text, u"/cfg/main.txt");
  return zr::ReadParamText(top, tree, &opener, report);
}

TEST(ParamTextInclude, TheBaseFolderWinsOverTheNameItself) {
  CTextOpener opener;
  opener.files[u"/cfg\\inc.txt"] = "[\\]|from=i2";
  opener.files[u"inc.txt"] = "[\\]|from=i1";
  opener.files[u"/cfg/sub\\..\\rel.txt"] = "[\\]|rel=i3";
  opener.files[u"/cfg/sub/child.txt"] = "[\\]|child=i4\r\n#include ..\\rel.txt";
  Tree t, u;
  EXPECT_EQ(ReadWith(opener,
                     "[\\]\r\n#include \"inc.txt\"\r\n# INCLUDE missing.txt\r\n"
                     "#include sub/child.txt\r\nafter=i5",
                     t.get()),
            1);
  EXPECT_EQ(IntOf(t.get(), "from"), 2);
  EXPECT_EQ(IntOf(t.get(), "child"), -1);  // neither candidate of sub/child.txt names it so
  EXPECT_EQ(IntOf(t.get(), "after"), 5);   // a missing include is skipped
  const std::vector<std::u16string> tried = {u"inc.txt",       u"/cfg\\inc.txt",
                                             u"missing.txt",   u"/cfg\\missing.txt",
                                             u"sub/child.txt", u"/cfg\\sub/child.txt"};
  EXPECT_EQ(opener.tried, tried);
  // A name starting with "." is first looked for beside the including file.
  opener.files[u"/cfg\\sub/child.txt"] = "[\\]|child=i4\r\n#include ..\\rel.txt";
  opener.tried.clear();
  ReadWith(opener, "[\\]\r\n#include sub/child.txt", u.get());
  EXPECT_EQ(IntOf(u.get(), "child"), 4);
  const std::vector<std::u16string> relative = {u"/cfg\\sub\\..\\rel.txt", u"/cfg\\..\\rel.txt"};
  EXPECT_EQ(std::vector<std::u16string>(opener.tried.end() - 2, opener.tried.end()), relative);
}

class CRecorder final : public zr::CParamTextReport {
 public:
  void Skipped(zr::ParamTextSkip why, const WCHAR* file, int line, const char* item) override {
    seen.push_back(std::to_string(static_cast<int>(why)) + " " + std::string(CXString(file)) + ":" +
                   std::to_string(line) + " " + item);
  }
  std::vector<std::string> seen;
};

TEST(ParamTextReader, BoundsAndReportsWithFileAndLine) {
  CTextOpener opener;
  opener.files[u"/cfg\\inc.txt"] = "[\\]\r\n\r\nbad=q1\r\n#include inc.txt";
  for (int i = 0; i < 20; ++i)  // dA.txt includes dB.txt, which includes dC.txt, ...
    opener.files[u"/cfg\\d" + std::u16string(1, u'A' + i) + u".txt"] =
        "[\\]|d" + std::to_string(i) + "=i1\r\n#include d" + std::string(1, 'A' + i + 1) + ".txt";
  std::string deep = "[\\", path;
  for (int i = 0; i <= zr::kMaxPathComponents; ++i) deep += "d\\";
  for (int i = 1; i < zr::kMaxPathComponents; ++i) path += "e\\";
  path += "ok";  // exactly the bound
  Tree t;
  CRecorder report;
  ReadWith(opener,
           "early|[\\]\r\n#define x|#include inc.txt\r\n#include none\r\n#include dA.txt\r\n" +
               deep + "]\r\n" + path + "=i1",
           t.get(), &report);
  const std::vector<std::string> expected = {
      "0 /cfg/main.txt:1 early",         "2 /cfg/main.txt:2 #define x", "1 /cfg\\inc.txt:3 bad=q1",
      "4 /cfg\\inc.txt:4 inc.txt",       "3 /cfg/main.txt:3 none",      "4 /cfg\\dP.txt:2 dQ.txt",
      "5 /cfg/main.txt:5 " + deep + "]",
  };
  EXPECT_EQ(report.seen, expected);
  EXPECT_EQ(IntOf(t.get(), "d15"), 1);  // sixteen files deep below the input, not seventeen
  EXPECT_EQ(IntOf(t.get(), "d16"), -1);
  EXPECT_EQ(IntOf(t.get(), path.c_str()),
            1);  // the deep header was ignored: the root stays current
}

}  // namespace
