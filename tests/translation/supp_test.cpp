// The exported translation functions over the process's one table.
#include <gtest/gtest.h>

#include <string>

#include "tests/common/temp_dir.h"
#include "zr/zrcore.h"

namespace {

std::u16string Str(const WCHAR* text) { return text ? std::u16string(text) : u"<null>"; }

// One process, one table: the cases run in this order, each on the state
// the one before left.
TEST(SuppTranslation, Lifecycle) {
  zrtest::TempDir dir;
  const WCHAR* open = u"Open";
  EXPECT_EQ(open, Supp_Translate(open));  // nothing loaded: the argument itself
  EXPECT_EQ(nullptr, Supp_Translate(static_cast<const WCHAR*>(nullptr)));
  EXPECT_EQ(nullptr, Supp_Translate(u""));
  EXPECT_EQ(nullptr, Supp_Translate(static_cast<const char*>(nullptr)));
  EXPECT_EQ(0u, Supp_GetACP());
  EXPECT_EQ(0, Supp_Init(dir.WPath("missing.wld").c_str()));
  // Russian, code page 1251 (Открыть, Файл, Да).
  zrtest::WriteText(dir.Path("ru.wld"),
                    "\"ZR_WLD_LANG_ID\"\n\"1049\"\n"
                    "\"Open\"\n\"\xCE\xF2\xEA\xF0\xFB\xF2\xFC\"\n"
                    "\"File\"\n\"\xD4\xE0\xE9\xEB\"\n"
                    "\"ui.dll#1#102\xFD\xFDOK\"\n\"\xC4\xE0\"\n");
  ASSERT_EQ(1, Supp_Init(dir.WPath("ru.wld").c_str()));
  EXPECT_EQ(1251u, Supp_GetACP());
  EXPECT_EQ(u"Открыть", Str(Supp_Translate(u"Open")));
  EXPECT_EQ(u"open", Str(Supp_Translate(u"open")));
  // CXStringW now converts 8-bit text in 1251.
  EXPECT_EQ(u"Файл", Str(CXStringW("\xD4\xE0\xE9\xEB")));
  // A second Supp_Init changes nothing.
  zrtest::WriteText(dir.Path("fr.wld"), "\"Open\"\n\"Ouvrir\"\n\"Close\"\n\"Fermer\"\n");
  EXPECT_EQ(0, Supp_Init(dir.WPath("fr.wld").c_str()));
  EXPECT_EQ(u"Close", Str(Supp_Translate(u"Close")));
  // Merging adds entries; the first definition of Open stays.
  EXPECT_EQ(1, Supp_AddWld(dir.WPath("fr.wld").c_str()));
  EXPECT_EQ(0, Supp_AddWld(dir.WPath("missing.wld").c_str()));
  EXPECT_EQ(u"Fermer", Str(Supp_Translate(u"Close")));
  EXPECT_EQ(u"Открыть", Str(Supp_Translate(u"Open")));
  EXPECT_EQ(1251u, Supp_GetACP());  // no language in the merged file
  // With context: the key joined with the text, else the text alone.
  const WCHAR* key = u"ui.dll#1#102ээ";
  EXPECT_EQ(u"Да", Str(Supp_Translate(u"OK", key)));
  EXPECT_EQ(u"Fermer", Str(Supp_Translate(u"Close", key)));
  EXPECT_EQ(u"Help", Str(Supp_Translate(u"Help", key)));
  // 8-bit text without an entry gets one: the same pointer every time.
  const WCHAR* help = Supp_Translate("Help");
  ASSERT_NE(nullptr, help);
  EXPECT_EQ(u"Help", Str(help));
  EXPECT_EQ(help, Supp_Translate("Help"));
  EXPECT_EQ(u"Открыть", Str(Supp_Translate("Open")));
  // The enable flag is only stored; the lookups do not read it.
  EXPECT_EQ(1, Supp_IsTranslationEnable());
  Supp_SetTranslationEnable(0);
  EXPECT_EQ(0, Supp_IsTranslationEnable());
  EXPECT_EQ(u"Fermer", Str(Supp_Translate(u"Close")));
  Supp_SetTranslationEnable(1);
  // The process's ANSI code page is UTF-8: no double-byte system, no font.
  EXPECT_EQ(nullptr, Supp_GetFont());
}

}  // namespace
