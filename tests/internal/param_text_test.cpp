// The parameter text from inside: the writer's exact bytes, the line and
// item rules of the reader, and include directives over an opener that
// serves texts from memory.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "params/paramtext.h"
#include "zr/exception.h"
#include "zr/variant.h"

namespace {

using zr::CInputBuffer;
using zr::CMemTextBuffer;
using zr::CMemTextSource;

struct Tree {
  Tree() : p(new_MemParam()) {}
  ~Tree() { p->Release(); }
  IParam* p;
};

std::string Written(IParam* tree) {
  CMemTextBuffer file(1024);
  zr::WriteParamText(tree, file, nullptr);
  const std::string all(file.Data(), file.Size());
  return all.substr(0, all.find('\0'));
}

TEST(ParamTextWriter, WritesHeadersAndValuesInTheirExactPieces) {
  Tree t;
  EXPECT_EQ(Written(t.p), "\r\n[\\]\t");
  const CZRVariant five(5);
  t.p->SetValue("n", &five);
  IParam* a = t.p->CreateParam("a");
  const CZRVariant wide(u"w\u00e9");
  a->SetValue("W", &wide);  // wide text goes out as 8-bit text with the tag s
  a->Release();
  IParam* b = t.p->CreateParam("a\\b");
  const CZRVariant object(static_cast<IZRUnknown*>(nullptr));
  b->SetValue("skipped", &object);  // no value text for objects
  b->Release();
  EXPECT_EQ(Written(t.p), "\r\n[\\]\t\t| n=i5\r\n[\\a]\t\t| W=sw\u00e9\r\n[\\a\\b]\t");
}

TEST(ParamTextMemory, GrowsInWholeStepsWithZerosAfterTheText) {
  CMemTextBuffer file(1024);
  file.Write("abc", 3);
  EXPECT_EQ(file.Size(), 1024u);
  EXPECT_EQ(file.Data()[3], 0);
  const std::string more(1100, 'x');
  file.Write(more.data(), more.size());
  EXPECT_EQ(file.Size(), 2048u);
  EXPECT_THROW(CMemTextBuffer(0), CXException);
}

TEST(ParamTextReader, LinesAsIXFileReadsThem) {
  const std::string text = "ab\ncd";
  CMemTextSource source(text.data(), text.size(), u"t");
  char buffer[11];
  EXPECT_EQ(source.ReadLine(buffer, 10), 2);
  EXPECT_EQ(std::string(buffer, 4), std::string("ab\n\0", 4));
  EXPECT_EQ(source.ReadLine(buffer, 10), 2);
  EXPECT_EQ(std::string(buffer, 3), std::string("cd\0", 3));
  EXPECT_EQ(source.ReadLine(buffer, 10), 0);
  const std::string feedLast = "abc\n";  // a line feed in the last unit is replaced
  CMemTextSource cut(feedLast.data(), feedLast.size(), u"t");
  EXPECT_EQ(cut.ReadLine(buffer, 4), 3);
  EXPECT_EQ(std::string(buffer, 4), std::string("abc\0", 4));
}

std::vector<std::string> Items(const std::string& text) {
  CMemTextSource source(text.data(), text.size(), u"t");
  CInputBuffer reader(source);
  std::vector<std::string> items;
  std::unique_ptr<char[]> item(new char[CInputBuffer::kLineMax + 1]);
  while (int n = reader.NextItem(item.get())) items.emplace_back(item.get(), n);
  return items;
}

TEST(ParamTextReader, SplitsItems) {
  using V = std::vector<std::string>;
  const struct {
    std::string text;
    V items;
  } cases[] = {
      {"[\\]|x=i7|flag|;c=i1\r\nz", V{"[\\]", "x=i7", "flag", "z"}},
      {"  a \t|| b |\r\n", V{"a \t", "b"}},   // white space before a bar stays
      {std::string("a\t\0\0", 4), V{"a\t"}},  // zeros stop the trimming and add nothing
      {std::string("\0;c|d", 5), V{";c", "d"}},
      {std::string(CInputBuffer::kLineMax + 10, 'q'),  // a long line is read in pieces
       V{std::string(CInputBuffer::kLineMax, 'q'), "qqqqqqqqqq"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Items(c.text), c.items) << c.text.substr(0, 20);
}

// Texts by file name; every open is recorded.
class CTextOpener : public zr::CParamIncludeOpener {
 public:
  std::unique_ptr<zr::CParamTextSource> Open(const CXStringW& path) override {
    const std::u16string name(static_cast<const WCHAR*>(path));
    tried.push_back(name);
    auto it = files.find(name);
    if (it == files.end()) return nullptr;
    names.push_back(std::make_unique<std::u16string>(name));
    return std::make_unique<CMemTextSource>(it->second.data(), it->second.size(),
                                            names.back()->c_str());
  }
  std::map<std::u16string, std::string> files;
  std::vector<std::u16string> tried;
  std::vector<std::unique_ptr<std::u16string>> names;
};

int ValueOf(IParam* tree, const char* name) {
  CZRVariant v;
  return tree->GetValue(name, &v) ? v.intVal : -1;
}

int ReadWith(CTextOpener& opener, const std::string& text, IParam* tree) {
  CMemTextSource top(text.data(), text.size(), u"/cfg/main.txt");
  return zr::ReadParamText(top, tree, &opener);
}

TEST(ParamTextInclude, TheBaseFolderWinsOverTheNameItself) {
  CTextOpener opener;
  opener.files[u"/cfg\\inc.txt"] = "[\\]|from=i2";
  opener.files[u"inc.txt"] = "[\\]|from=i1";
  opener.files[u"/cfg/sub\\..\\rel.txt"] = "[\\]|rel=i3";
  opener.files[u"/cfg/sub/child.txt"] = "[\\]|child=i4\r\n#include ..\\rel.txt";
  Tree t;
  EXPECT_EQ(ReadWith(opener,
                     "[\\]\r\n#include \"inc.txt\"\r\n# INCLUDE missing.txt\r\n"
                     "#include sub/child.txt\r\nafter=i5",
                     t.p),
            1);
  EXPECT_EQ(ValueOf(t.p, "from"), 2);
  EXPECT_EQ(ValueOf(t.p, "child"), -1);  // neither candidate of sub/child.txt names it so
  EXPECT_EQ(ValueOf(t.p, "after"), 5);   // a missing include is skipped
  const std::vector<std::u16string> tried = {u"inc.txt",       u"/cfg\\inc.txt",
                                             u"missing.txt",   u"/cfg\\missing.txt",
                                             u"sub/child.txt", u"/cfg\\sub/child.txt"};
  EXPECT_EQ(opener.tried, tried);
  // A name starting with "." is first looked for beside the including file.
  opener.files[u"/cfg\\sub/child.txt"] = "[\\]|child=i4\r\n#include ..\\rel.txt";
  opener.tried.clear();
  Tree u;
  ReadWith(opener, "[\\]\r\n#include sub/child.txt", u.p);
  EXPECT_EQ(ValueOf(u.p, "child"), 4);
  EXPECT_EQ(opener.tried.back(), u"/cfg\\..\\rel.txt");
  EXPECT_EQ(opener.tried[opener.tried.size() - 2], u"/cfg\\sub\\..\\rel.txt");
}

TEST(ParamTextInclude, CyclesAndDepthAreBounded) {
  CTextOpener opener;
  opener.files[u"/cfg\\self.txt"] = "[\\]|self=i1\r\n#include self.txt\r\n#include self.txt";
  opener.files[u"/cfg\\a.txt"] = "[\\]|a=i1\r\n#include b.txt";
  opener.files[u"/cfg\\b.txt"] = "[\\]|b=i1\r\n#include a.txt";
  for (int i = 0; i < 30; ++i)
    opener.files[u"/cfg\\d" + std::u16string(1, u'A' + i) + u".txt"] =
        "[\\]|d" + std::to_string(i) + "=i1\r\n#include d" + std::string(1, 'A' + i + 1) + ".txt";
  Tree t;
  ReadWith(opener, "[\\]\r\n#include self.txt\r\n#include a.txt\r\n#include dA.txt", t.p);
  EXPECT_EQ(ValueOf(t.p, "self"), 1);
  EXPECT_EQ(ValueOf(t.p, "a"), 1);
  EXPECT_EQ(ValueOf(t.p, "b"), 1);
  EXPECT_EQ(ValueOf(t.p, "d15"), 1);  // sixteen files deep below the input
  EXPECT_EQ(ValueOf(t.p, "d16"), -1);
}

TEST(ParamTextReader, PathsDeeperThanTheBoundAreIgnored) {
  std::string deep = "[\\";
  for (int i = 0; i < zr::kMaxPathComponents + 1; ++i) deep += "d\\";
  deep += "]|x=i1\r\n[\\]|";
  std::string path;
  for (int i = 0; i < zr::kMaxPathComponents - 1; ++i) path += "e\\";
  path += "y";  // exactly the bound
  deep += path + "=i2";
  CMemTextSource source(deep.data(), deep.size(), u"t");
  Tree t;
  zr::ReadParamText(source, t.p, nullptr);
  CZRVariant v;
  EXPECT_EQ(t.p->GetValue("x", &v), 0);  // the header was ignored, so was the value after it
  EXPECT_EQ(t.p->OpenParam("d", 0), nullptr);
  EXPECT_EQ(t.p->GetValue(path.c_str(), &v), 1);
}

}  // namespace
