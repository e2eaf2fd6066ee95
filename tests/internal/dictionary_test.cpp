// Dictionary files read into translation tables of the tests' own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pal/codepage.h"
#include "tests/common/temp_dir.h"
#include "translation/dictfile.h"
#include "translation/lookup.h"
#include "translation/resource_key.h"
#include "translation/table.h"

namespace {

using zr::CTranslationTable;

// One entry of a dictionary file: the source line and the translation line.
std::string Pair(const std::string& source, const std::string& translation) {
  return "\"" + source + "\"\n\"" + translation + "\"\n";
}

class DictionaryTest : public ::testing::Test {
 protected:
  // Writes `bytes` as file `name` and merges it into m_table.
  int Load(const std::string& bytes, const std::string& name = "app.wld") {
    zrtest::WriteText(m_dir.Path(name), bytes);
    return m_table.Load(m_dir.WPath(name).c_str());
  }
  // The wide translation LookupW gives, or "<none>".
  std::u16string W(const std::u16string& text) {
    const WCHAR* t = zr::LookupW(&m_table, text.c_str(), true);
    return t ? std::u16string(t) : u"<none>";
  }
  std::string A(const std::string& text) {
    const char* t = zr::LookupA(&m_table, text.c_str(), true);
    return t ? std::string(t) : "<none>";
  }

  zrtest::TempDir m_dir;
  CTranslationTable m_table;
};

// Line rules and escapes, each through a whole file in the process's UTF-8.
TEST_F(DictionaryTest, LineRulesAndEscapes) {
  ASSERT_EQ(1, Load("; comment\n"
                    "\"Open\"\n"
                    "\"Ouvrir\"\n"
                    "   \"Blank\"   \t\r\n"  // blanks around the quotes
                    "\n"                     // skipped lines inside a pair
                    ";\"not counted\"\n"
                    "  ;\"not counted either\"\n"
                    "\"Vide\"\r\n"
                    "\"Empty\"\n\"\"\n"           // empty translation
                    "\"a\\nb\"\n\"1\\t2\\r3\"\n"  // escapes in both texts
                    "\"q\\q\"\n\"inner \"quote\" x\"\n"
                    "\"c\\\\\\\\n\"\n\"d\\\\q\"\n"  // c\\\\n and d\\q
                    "\"end\\\"\n\"cut\\\"\n"));     // a backslash at the very end
  EXPECT_EQ(u"Ouvrir", W(u"Open"));
  EXPECT_EQ(u"<none>", W(u"open"));
  EXPECT_EQ(u"Vide", W(u"Blank"));
  EXPECT_EQ(u"<none>", W(u"not counted"));
  EXPECT_EQ(u"Empty", W(u"Empty"));  // an empty translation: the source, wide
  EXPECT_EQ("<none>", A("Empty"));   // and no 8-bit translation
  EXPECT_EQ("1\t2\r3", A("a\nb"));
  EXPECT_EQ("inner \"quote\" x", A("q\\q"));
  EXPECT_EQ("d\\q", A("c\n"));  // backslash runs collapse into one escape
  EXPECT_EQ("cut", A("end"));
  EXPECT_EQ(7u, m_table.GetEntryCount());
}

TEST(DictionaryText, EscapeReportAndLanguageId) {
  const zr::CLeadBytes single(zrpal::CP_UTF8);
  zr::EscapeReport report;
  EXPECT_EQ("\\x\n", zr::EscapeText("\\x\\n\\", single, &report));
  EXPECT_EQ(1, report.kept);
  EXPECT_EQ(1, report.droppedAtEnd);
  const struct {
    const char* text;
    long id;
  } kIds[] = {{"1049", 1049}, {"  +1041xyz", 1041}, {"-5", -5}, {"abc", 0},
              {"", 0},        {"4294967297", 1}};
  for (const auto& c : kIds) EXPECT_EQ(c.id, zr::LanguageIdOf(c.text)) << c.text;
}

// Russian in 1251: the language sets the code page; 8-bit and wide lookups,
// with and without the resource key as context.
TEST_F(DictionaryTest, RussianIn1251WithContext) {
  const std::string open1251 = "\xCE\xF2\xEA\xF0\xFB\xF2\xFC";  // Открыть
  const std::string key = "ui.dll#1#102\xFD\xFD";
  ASSERT_EQ(1, Load(Pair("ZR_WLD_LANG_ID", "1049") + Pair("Open", open1251) +
                    Pair("\xD4\xE0\xE9\xEB", "File") +  // Файл as source
                    Pair(key + "OK", "\xC4\xE0") +      // Да, in dialog 102 only
                    Pair("OK", "\xCE\xCA")));
  EXPECT_EQ(1251u, m_table.GetCodePage());
  EXPECT_EQ(u"Открыть", W(u"Open"));
  EXPECT_EQ(open1251, A("Open"));
  EXPECT_EQ(u"File", W(u"Файл"));
  EXPECT_EQ("File", A("\xD4\xE0\xE9\xEB"));

  const CXStringW keyW =
      zr::ResourceKeyW(u"C:\\app\\ui.dll", 1, reinterpret_cast<const WCHAR*>(102));
  const CXString keyA = zr::ResourceKeyA("/opt/app/ui.dll", 1, reinterpret_cast<const char*>(102));
  EXPECT_EQ(key, std::string(keyA));
  WCHAR wbuf[16] = u"OK";
  EXPECT_EQ(2, zr::TranslateWithContextW(&m_table, wbuf, 16, keyW, false));
  EXPECT_EQ(u"Да", std::u16string(wbuf));
  char abuf[16] = "OK";
  EXPECT_EQ(2, zr::TranslateWithContextA(&m_table, abuf, 16, keyA, true));  // measures only
  EXPECT_EQ("OK", std::string(abuf));
  EXPECT_EQ(2, zr::TranslateWithContextA(&m_table, abuf, 16, keyA, false));
  EXPECT_EQ("\xC4\xE0", std::string(abuf));
  // Another dialog: the text alone.
  WCHAR other[16] = u"OK";
  EXPECT_EQ(2, zr::TranslateWithContextW(&m_table, other, 16, u"ui.dll#1#103ээ", false));
  EXPECT_EQ(u"ОК", std::u16string(other));
  // No translation at all: the buffer stays, its length is the result.
  WCHAR none[16] = u"Cancel";
  EXPECT_EQ(6, zr::TranslateWithContextW(&m_table, none, 16, keyW, false));
  EXPECT_EQ(u"Cancel", std::u16string(none));
  EXPECT_EQ(0, zr::TranslateWithContextW(&m_table, nullptr, 16, keyW, false));
  // In place, cut to the capacity.
  WCHAR cut[8] = u"Open";
  EXPECT_EQ(3, zr::TranslateInPlaceW(&m_table, cut, 4));
  EXPECT_EQ(u"Отк", std::u16string(cut));
  char cutA[8] = "Open";
  EXPECT_EQ(5, zr::TranslateInPlaceA(&m_table, cutA, 6));
  EXPECT_EQ(open1251.substr(0, 5), std::string(cutA));
}

// Japanese in 932: trail bytes 0x5C ('\\') and 'n' belong to their
// characters and never start or end an escape.
TEST_F(DictionaryTest, JapaneseIn932TrailBytes) {
  const std::string hyouji = "\x95\x5C\x8E\xA6";  // 表示: 0x5C trail byte
  const std::string so = "\x83\x5C";              // ソ: 0x5C trail byte, then the quote
  ASSERT_EQ(1, Load(Pair("ZR_WLD_LANG_ID", "1041") + Pair("View", hyouji) +
                    Pair(so, so + "\\n" + so) + "\"Sort\"\n  \"" + so + "\"  \r\n"));
  EXPECT_EQ(932u, m_table.GetCodePage());
  EXPECT_EQ(u"表示", W(u"View"));
  EXPECT_EQ(hyouji, A("View"));
  EXPECT_EQ(u"ソ\nソ", W(u"ソ"));
  EXPECT_EQ(u"ソ", W(u"Sort"));
}

// Chinese in 936, and a dictionary without a language after it: the table's
// code page stays the last valid language's.
TEST_F(DictionaryTest, ChineseIn936ThenMergeWithoutLanguage) {
  const std::string daKai = "\xB4\xF2\xBF\xAA";  // 打开
  const std::string trail5C = "\x81\x5C";        // a GBK character with trail byte 0x5C
  ASSERT_EQ(
      1, Load(Pair("ZR_WLD_LANG_ID", "2052") + Pair("Open", daKai) + Pair("Mark", trail5C + "n")));
  EXPECT_EQ(936u, m_table.GetCodePage());
  EXPECT_EQ(u"打开", W(u"Open"));
  EXPECT_EQ(static_cast<const WCHAR*>(zr::WideOf(trail5C.c_str(), 936)) + std::u16string(u"n"),
            W(u"Mark"));
  zrtest::WriteText(m_dir.Path("more.wld"), "\"Close\"\n\"\xB9\xD8\xB1\xD5\"\n\"Open\"\n\"X\"\n");
  EXPECT_EQ(0, m_table.Load(m_dir.WPath("more.wld").c_str()));  // already loaded
  EXPECT_EQ(1, m_table.Merge(m_dir.WPath("more.wld").c_str()));
  EXPECT_EQ(936u, m_table.GetCodePage());
  EXPECT_EQ(u"关闭", W(u"Close"));
  EXPECT_EQ(u"打开", W(u"Open"));  // the first definition wins
}

// Outside data that is not well formed: each gives its result, never a crash.
TEST_F(DictionaryTest, MalformedFiles) {
  const struct {
    const char* name;
    std::string bytes;
    ULONG entries;
    std::u16string lookup, expected;
  } kCases[] = {
      {"no final newline", "\"a\"\n\"b\"", 1, u"a", u"b"},
      {"odd line count: the last source is dropped", "\"a\"\n\"b\"\n\"c\"\n", 1, u"c", u"<none>"},
      {"escape cut at the end", "\"a\\\"\n\"b\\\"\n", 1, u"a", u"b"},
      {"translation only a cut escape", "\"a\"\n\"\\\"", 1, u"a", u"a"},
      {"invalid UTF-8 bytes", "\"a\"\n\"\xFF\xC0x\"\n", 1, u"a", u"\uFFFD\uFFFDx"},
      {"empty file", "", 0, u"a", u"<none>"},
      {"only quotes", "\"\n\"\n", 0, u"a", u"<none>"},
      {"zero byte ends a line", std::string("\"a\"\n\"b\0c\"\n", 10), 1, u"a",
       u"a"},  // empty translation: the source
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    zr::CTranslationTable table;
    zrtest::WriteText(m_dir.Path("m.wld"), c.bytes);
    EXPECT_EQ(1, table.Load(m_dir.WPath("m.wld").c_str()));
    EXPECT_EQ(c.entries, table.GetEntryCount());
    const WCHAR* t = zr::LookupW(&table, c.lookup.c_str(), true);
    EXPECT_EQ(c.expected, t ? std::u16string(t) : u"<none>");
  }
  // Missing: 0, nothing loaded, so a later load still works.
  EXPECT_EQ(0, m_table.Load(m_dir.WPath("missing.wld").c_str()));
  EXPECT_EQ(0, m_table.IsInitialised());
  // A 1 MB line arrives in pieces of 8192 bytes: only the first begins with
  // a quote, so it pairs with the next line, and the last source is left.
  const std::string huge = "\"" + std::string(1 << 20, 'x') + "\"\n";
  EXPECT_EQ(1, Load("\"a\"\n\"b\"\n" + huge + "\"c\"\n\"d\"\n"));
  EXPECT_EQ(u"b", W(u"a"));
  EXPECT_EQ(2u, m_table.GetEntryCount());
  EXPECT_EQ(u"c", W(std::u16string(zr::kDictionaryLineBytes - 2, u'x')));
  EXPECT_EQ(u"<none>", W(u"c"));
}

// 20 000 entries: the bucket count follows them, and every one is found.
TEST_F(DictionaryTest, LargeDictionarySizesTheTable) {
  std::string bytes;
  for (int i = 0; i < 20000; ++i)
    bytes += "\"source " + std::to_string(i) + "\"\n\"target " + std::to_string(i) + "\"\n";
  ASSERT_EQ(1, Load(bytes));
  EXPECT_EQ(20000u, m_table.GetEntryCount());
  EXPECT_GE(m_table.GetBucketCount(), 20000u);
  for (int i = 0; i < 20000; i += 997)
    EXPECT_EQ("target " + std::to_string(i), A("source " + std::to_string(i)));
}

// The layout file beside the dictionary fills the dialog layouts under the
// resource-key hash; other value types are ignored.
TEST_F(DictionaryTest, LayoutFile) {
  zrtest::WriteText(m_dir.Path("app.dlg"),
                    "[\\ui.dll\\Dialogs\\#102]\n"
                    "Dialog Size=z20,5 | 1001=t2,0,10,0\n"
                    "1002=stext\n"
                    "[\\UI.DLL\\Dialogs\\ABOUT]\n"
                    "7=t-1,-2,3,4\n");
  ASSERT_EQ(1, Load("\"a\"\n\"b\"\n"));
  const CXString key = zr::ResourceKeyA("ui.dll", 1, reinterpret_cast<const char*>(102));
  zr::ZRDlgPos* layout = m_table.FindLayout(zr::ResourceKeyHash(key));
  ASSERT_NE(nullptr, layout);
  EXPECT_EQ(20, layout->dialogSize.cx);
  EXPECT_EQ(5, layout->dialogSize.cy);
  EXPECT_EQ(1u, layout->controls.GetCount());
  tagRECT r{};
  ASSERT_TRUE(layout->controls.Lookup(1001u, r));
  EXPECT_EQ(2, r.left);
  EXPECT_EQ(10, r.right);
  // Names compare without letter case (the hash lowers ASCII).
  zr::ZRDlgPos* about =
      m_table.FindLayout(zr::ResourceKeyHash(zr::ResourceKeyA("ui.dll", 1, "about")));
  ASSERT_NE(nullptr, about);
  EXPECT_EQ(0, about->dialogSize.cx);
  EXPECT_EQ(2u, m_table.GetLayoutCount());
}

}  // namespace
