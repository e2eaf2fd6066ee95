// The resource interception's replacements, called through their addresses
// as a patched import slot calls them, over tests/data/xl_test.rc with a
// German dictionary and a layout file in the process's table.
#include "translation/restrans.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "pal/module.h"
#include "pal/user/dlgtemplate.h"
#include "pal/user/gdi.h"
#include "pal/user/menu.h"
#include "pal/user/resource.h"
#include "pal/user/window.h"
#include "tests/common/temp_dir.h"
#include "translation/dlgxl.h"
#include "translation/lookup.h"
#include "translation/resource_key.h"
#include "translation/table.h"
#include "zr/translation.h"

namespace {

using namespace zrpal;
namespace dlg = zrpal::dlg;

template <class F>
F* Repl(const char* name) {
  return reinterpret_cast<F*>(zr::ReplacementOf(name));
}

HMODULE Self() { return GetModuleHandleW(nullptr); }

std::string Key(int kind, WORD name) {
  return std::string(zr::ResourceKeyA(Self(), kind, MAKEINTRESOURCEA(name)));
}

// A window's text, and the text of a menu's item at a position.
std::u16string TextOf(HWND window) {
  WCHAR text[64] = {};
  GetWindowTextW(window, text, 64);
  return text;
}
std::u16string TextOf(HMENU menu, UINT position) {
  WCHAR text[64] = {};
  GetMenuStringW(menu, position, text, 64, MF_BYPOSITION);
  return text;
}

// One entry of a dictionary file: the source line and the translation line.
std::string Pair(const std::string& source, const std::string& translation) {
  return "\"" + source + "\"\n\"" + translation + "\"\n";
}

class ResTranslationTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!zr::TranslationTable()) zr::TranslationStartup();
    static zrtest::TempDir dir;
    const std::string module = zr::ModuleFileNamePart(std::string(Key(1, 400)).c_str());
    const std::string name = module.substr(0, module.find('#'));
    zrtest::WriteText(dir.Path("de.dlg"),
                      "[\\" + name + "\\Dialogs\\#400]\nDialog Size=z20,5 | 101=t2,0,10,0\n");
    const std::string wld =
        Pair("ZR_WLD_LANG_ID", "1031") + Pair("Settings", "Einstellungen") + Pair("OK", "Gut") +
        Pair(Key(1, 400) + "OK", "Jawohl") + Pair("Name:", "Nom:") + Pair("Cancel", "Abbrechen") +
        Pair("Open", "Offen") + Pair(Key(3, 2) + "Open", "Offen zwei") + Pair("&File", "&Datei") +
        Pair(Key(2, 500) + "&Open", "\xD6&ffnen") + Pair("E&xit", "&Beenden") +
        Pair("Error", "Fehler") + Pair("Disk full", "Platte voll") +
        Pair("platform text", "Plattformtext");
    zrtest::WriteText(dir.Path("de.wld"), wld);
    ASSERT_EQ(1, Supp_Init(dir.WPath("de.wld").c_str()));
  }
  void TearDown() override { Supp_SetTranslationEnable(1); }

  // The translated template of a dialog through the find and load
  // replacements, parsed.
  static dlg::DialogForm Translated(WORD id, const void** copy = nullptr) {
    auto find = Repl<decltype(FindResourceA)>("FindResourceA");
    auto load = Repl<decltype(LoadResource)>("LoadResource");
    auto sizeOf = Repl<decltype(SizeofResource)>("SizeofResource");
    HRSRC found = find(Self(), MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(RT_DIALOG));
    EXPECT_NE(nullptr, zr::FindResourceRecord(found));
    const void* data = load(Self(), found);
    if (copy) *copy = data;
    dlg::DialogForm form;
    EXPECT_EQ(dlg::ParseResult::kOk, dlg::ParseDialogTemplate(data, sizeOf(Self(), found), &form));
    return form;
  }
  static dlg::DialogForm Platform(WORD id) {
    HRSRC found = FindResourceA(Self(), MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(RT_DIALOG));
    dlg::DialogForm form;
    EXPECT_EQ(dlg::ParseResult::kOk,
              dlg::ParseDialogTemplate(LockResource(LoadResource(Self(), found)),
                                       SizeofResource(Self(), found), &form));
    return form;
  }
};

// Both forms parse back item for item: only the titles of the dialog, of
// buttons and of static controls change (with the dialog's context first),
// the font is the table's, and the layout moves control 101 and enlarges
// dialog 400 only.
TEST_F(ResTranslationTest, DialogTemplatesBothForms) {
  const zr::CTranslationTable& table = *zr::TranslationTable();
  struct Case {
    WORD id;
    bool extended;
    std::vector<std::u16string> titles;  // per item; "" for an ordinal or none
  } cases[] = {
      {400, false, {u"Jawohl", u"Abbrechen", u"Nom:", u"Name:", u"Name:", u"", u"", u"Group"}},
      {401, true, {u"Gut", u"Nom:", u"Name:"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    const dlg::DialogForm before = Platform(c.id);
    const dlg::DialogForm after = Translated(c.id);
    EXPECT_EQ(c.extended, after.extended);
    EXPECT_EQ(u"Einstellungen", after.title.text);
    EXPECT_EQ(std::tie(before.windowClass, before.menu), std::tie(after.windowClass, after.menu));
    EXPECT_EQ(table.GetFontPointSize(), after.pointSize);
    EXPECT_EQ(std::u16string(static_cast<const WCHAR*>(table.GetFontFace())), after.face);
    if (c.extended) {
      EXPECT_EQ(after.pointSize, after.weight);
      EXPECT_EQ(0, after.italic);
      EXPECT_EQ(0, after.charset);
    }
    ASSERT_EQ(c.titles.size(), after.items.size());
    for (std::size_t i = 0; i < after.items.size(); ++i) {
      const dlg::DialogItem& b = before.items[i];
      const dlg::DialogItem& a = after.items[i];
      EXPECT_EQ(std::tie(b.id, b.windowClass, b.creationData, b.style, b.y, b.cy),
                std::tie(a.id, a.windowClass, a.creationData, a.style, a.y, a.cy));
      EXPECT_EQ(c.titles[i], a.title.IsText() ? a.title.text : u"");
      if (b.title.IsOrdinal()) {
        EXPECT_EQ(b.title, a.title);
      }
      const bool moved = c.id == 400 && b.id == 101;
      EXPECT_EQ(b.x + (moved ? 2 : 0), a.x);
      EXPECT_EQ(b.cx + (moved ? 8 : 0), a.cx);
    }
    EXPECT_EQ(before.cx + (c.id == 400 ? 20 : 0), after.cx);
    EXPECT_EQ(before.cy + (c.id == 400 ? 5 : 0), after.cy);
  }
  EXPECT_EQ(70000u, Translated(401).items[1].id);
  // A template without the font bit gets no font fields.
  const dlg::DialogForm plain = Translated(402);
  EXPECT_FALSE(plain.HasFont());
  EXPECT_EQ(u"Abbrechen", plain.items[0].title.text);
}

// One record per dialog and one copy per record.
TEST_F(ResTranslationTest, RecordsAndCopiesAreKept) {
  auto find = Repl<decltype(FindResourceW)>("FindResourceW");
  auto findEx = Repl<decltype(FindResourceExA)>("FindResourceExA");
  auto freeRes = Repl<decltype(FreeResource)>("FreeResource");
  const void* first = nullptr;
  const void* second = nullptr;
  Translated(400, &first);
  const std::size_t records = zr::ResourceRecordCount();
  Translated(400, &second);
  EXPECT_EQ(first, second);
  EXPECT_EQ(records, zr::ResourceRecordCount());
  HRSRC r = find(Self(), MAKEINTRESOURCEW(400), MAKEINTRESOURCEW(RT_DIALOG));
  zr::ResourceRecord* record = zr::FindResourceRecord(r);
  ASSERT_NE(nullptr, record);
  EXPECT_EQ(zr::kResourceRecordMarker, record->marker);
  EXPECT_EQ(Key(1, 400), record->key);
  EXPECT_EQ(zr::ResourceKeyHash(record->key), record->keyHash);
  EXPECT_EQ(r, findEx(Self(), MAKEINTRESOURCEA(RT_DIALOG), MAKEINTRESOURCEA(400), 0));
  // Freeing the copy leaves it with its record.
  freeRes(const_cast<void*>(first));
  EXPECT_EQ(first, record->copy);
  // Other types get the platform's handle.
  HRSRC raw = find(Self(), MAKEINTRESOURCEW(600), MAKEINTRESOURCEW(RT_RCDATA));
  EXPECT_EQ(FindResourceW(Self(), MAKEINTRESOURCEW(600), MAKEINTRESOURCEW(RT_RCDATA)), raw);
  EXPECT_EQ(nullptr, zr::FindResourceRecord(raw));
}

// The headless dialog built by the CreateDialogParamA replacement shows the
// translated texts at the corrected positions; Supp_Translate(HWND)
// translates a window's own text.
TEST_F(ResTranslationTest, HeadlessDialogFromTranslatedTemplate) {
  auto create = Repl<decltype(CreateDialogParamA)>("CreateDialogParamA");
  HWND dialog = create(Self(), MAKEINTRESOURCEA(400), nullptr, nullptr, 0);
  ASSERT_NE(nullptr, dialog);
  EXPECT_EQ(u"Einstellungen", TextOf(dialog));
  WindowInfo info{};
  ASSERT_TRUE(GetWindowInfoHeadless(dialog, &info));
  EXPECT_EQ(220, info.cx);
  EXPECT_EQ(105, info.cy);
  HWND label = GetDlgItem(dialog, 101);
  ASSERT_TRUE(GetWindowInfoHeadless(label, &info));
  EXPECT_EQ(12, info.x);
  EXPECT_EQ(48, info.cx);
  EXPECT_EQ(u"Nom:", TextOf(label));
  EXPECT_EQ(u"Name:", TextOf(GetDlgItem(dialog, 102)));  // an edit control keeps its text

  SetWindowTextW(label, u"Cancel");
  EXPECT_EQ(1, Supp_Translate(label));
  EXPECT_EQ(u"Abbrechen", TextOf(label));
  // The table's dialog font is the dialog's and its controls' font object.
  const zr::CTranslationTable& table = *zr::TranslationTable();
  auto font = reinterpret_cast<HGDIOBJ>(SendMessageW(dialog, WM_GETFONT, 0, 0));
  ASSERT_NE(nullptr, font);
  EXPECT_EQ(font, reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
  LOGFONTW lf{};
  ASSERT_EQ(static_cast<int>(sizeof lf), GetObjectW(font, sizeof lf, &lf));
  EXPECT_EQ(-MulDiv(table.GetFontPointSize(), 96, 72), lf.lfHeight);
  EXPECT_EQ(std::u16string(static_cast<const WCHAR*>(table.GetFontFace())), lf.lfFaceName);
  EXPECT_FALSE(DeleteObject(reinterpret_cast<HGDIOBJ>(label)));  // a window is no font
  EXPECT_TRUE(DestroyWindow(dialog));
  EXPECT_EQ(0, GetObjectW(font, sizeof lf, &lf));  // deleted with its dialog
}

// String tables: LoadStringA/W with the block's key, block copies.
TEST_F(ResTranslationTest, Strings) {
  auto loadA = Repl<decltype(LoadStringA)>("LoadStringA");
  auto loadW = Repl<decltype(LoadStringW)>("LoadStringW");
  char a[64];
  WCHAR w[64];
  // Wide keys end in two U+044D, which only code page 1251 writes as the
  // bytes 0xFD 0xFD of the dictionary's keys: in this 1252 dictionary the
  // wide lookup of block 2 falls back to the text alone.
  struct {
    UINT id;
    const char* expectedA;
    const char16_t* expectedW;
  } cases[] = {
      {1, "Offen", u"Offen"}, {16, "Offen zwei", u"Offen"}, {17, "Untouched", u"Untouched"}};
  for (const auto& c : cases) {
    EXPECT_EQ(static_cast<int>(std::strlen(c.expectedA)), loadA(Self(), c.id, a, 64));
    EXPECT_STREQ(c.expectedA, a);
    loadW(Self(), c.id, w, 64);
    EXPECT_EQ(std::u16string(c.expectedW), std::u16string(w));
  }
  EXPECT_EQ(4, LoadStringNotTrans(Self(), 16, a, 64));
  EXPECT_STREQ("Open", a);
  LoadStringNotTransW(Self(), 1, w, 64);
  EXPECT_EQ(std::u16string(u"Open"), w);
  EXPECT_EQ(0, loadA(Self(), 99, a, 64));  // no such string
  // A block without translations is copied with identical content; block 2
  // gets its translation with its new length.
  auto find = Repl<decltype(FindResourceW)>("FindResourceW");
  auto load = Repl<decltype(LoadResource)>("LoadResource");
  auto sizeOf = Repl<decltype(SizeofResource)>("SizeofResource");
  HRSRC platform = FindResourceW(Self(), MAKEINTRESOURCEW(3), MAKEINTRESOURCEW(RT_STRING));
  const DWORD platformSize = SizeofResource(Self(), platform);
  HRSRC r = find(Self(), MAKEINTRESOURCEW(3), MAKEINTRESOURCEW(RT_STRING));
  EXPECT_EQ(platformSize, sizeOf(Self(), r));  // the platform's size until loaded
  const void* copy = load(Self(), r);
  ASSERT_NE(nullptr, copy);
  EXPECT_EQ(platformSize + 16, sizeOf(Self(), r));
  EXPECT_EQ(0, std::memcmp(LockResource(LoadResource(Self(), platform)), copy, platformSize));
  const auto* block2 = static_cast<const WCHAR*>(
      load(Self(), find(Self(), MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(RT_STRING))));
  ASSERT_NE(nullptr, block2);
  EXPECT_EQ(10, block2[0]);
  EXPECT_EQ(u"Offen zwei", std::u16string(block2 + 1, 10));
}

// Menus: texts translated with the menu's context, check marks and the
// grayed state kept, separators left alone.
TEST_F(ResTranslationTest, MenuItems) {
  auto loadMenu = Repl<decltype(LoadMenuA)>("LoadMenuA");
  HMENU menu = loadMenu(Self(), MAKEINTRESOURCEA(500));
  ASSERT_NE(nullptr, menu);
  EXPECT_EQ(u"&Datei", TextOf(menu, 0));
  EXPECT_EQ(u"&Help", TextOf(menu, 1));
  HMENU file = GetSubMenu(menu, 0);
  ASSERT_NE(nullptr, file);
  EXPECT_EQ(u"\u00D6&ffnen", TextOf(file, 0));
  EXPECT_TRUE(GetMenuState(file, 0, MF_BYPOSITION) & MF_CHECKED);
  EXPECT_TRUE(GetMenuState(file, 1, MF_BYPOSITION) & MF_SEPARATOR);
  EXPECT_EQ(u"&Beenden", TextOf(file, 2));
  EXPECT_TRUE(GetMenuState(file, 2, MF_BYPOSITION) & MF_GRAYED);
  EXPECT_EQ(1002u, GetMenuItemID(file, 2));
  DestroyMenu(menu);
  // Without context: the context entry for &Open does not apply.
  HMENU plain = LoadMenuA(Self(), MAKEINTRESOURCEA(500));
  EXPECT_EQ(1, Supp_Translate(plain));
  EXPECT_EQ(u"&Open", TextOf(GetSubMenu(plain, 0), 0));
  EXPECT_EQ(u"&Datei", TextOf(plain, 0));
  DestroyMenu(plain);
}

std::u16string g_text, g_caption;
int Capture(HWND, LPCWSTR text, LPCWSTR caption, UINT) {
  g_text = text;
  g_caption = caption;
  return IDOK;
}

TEST_F(ResTranslationTest, MessageBoxes) {
  MessageBoxHandler old = SetMessageBoxHandler(&Capture);
  Repl<decltype(MessageBoxA)>("MessageBoxA")(nullptr, "Disk full", nullptr, MB_OK);
  EXPECT_EQ(u"Platte voll", g_text);
  EXPECT_EQ(u"Fehler", g_caption);
  Repl<decltype(MessageBoxExA)>("MessageBoxExA")(nullptr, "Open", "Cancel", MB_OK, 0);
  EXPECT_EQ(u"Offen", g_text);
  EXPECT_EQ(u"Abbrechen", g_caption);
  MSGBOXPARAMSA params{};
  params.cbSize = sizeof params;
  params.hInstance = Self();
  params.lpszText = MAKEINTRESOURCEA(17);  // "Untouched", a string resource
  params.lpszCaption = "Error";
  Repl<decltype(MessageBoxIndirectA)>("MessageBoxIndirectA")(&params);
  EXPECT_EQ(u"Untouched", g_text);
  EXPECT_EQ(u"Fehler", g_caption);
  SetMessageBoxHandler(old);
}

std::u16string g_seen;
INT_PTR RememberLabel(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message != WM_INITDIALOG) return FALSE;
  g_seen = TextOf(GetDlgItem(dialog, 101));
  EndDialog(dialog, 7);
  return TRUE;
}

// The modal replacement shows the translated resource; the indirect ones
// translate the caller's template without context and leave it unchanged.
TEST_F(ResTranslationTest, ModalAndIndirectDialogs) {
  auto box = Repl<decltype(DialogBoxParamA)>("DialogBoxParamA");
  EXPECT_EQ(7, box(Self(), MAKEINTRESOURCEA(400), nullptr, &RememberLabel, 0));
  EXPECT_EQ(u"Nom:", g_seen);
  EXPECT_EQ(0, box(Self(), MAKEINTRESOURCEA(999), nullptr, &RememberLabel, 0));  // no such dialog

  HRSRC found = FindResourceA(Self(), MAKEINTRESOURCEA(400), MAKEINTRESOURCEA(RT_DIALOG));
  const void* platform = LockResource(LoadResource(Self(), found));
  const std::vector<BYTE> before(
      static_cast<const BYTE*>(platform),
      static_cast<const BYTE*>(platform) + SizeofResource(Self(), found));
  auto indirect = Repl<decltype(CreateDialogIndirectParamW)>("CreateDialogIndirectParamW");
  HWND dialog = indirect(Self(), platform, nullptr, nullptr, 0);
  ASSERT_NE(nullptr, dialog);
  EXPECT_EQ(u"Gut", TextOf(GetDlgItem(dialog, 1)));  // no context: the plain entry
  WindowInfo info{};
  ASSERT_TRUE(GetWindowInfoHeadless(GetDlgItem(dialog, 101), &info));
  EXPECT_EQ(10, info.x);  // no layout either
  DestroyWindow(dialog);
  EXPECT_EQ(0, std::memcmp(before.data(), platform, before.size()));
  auto modal = Repl<decltype(DialogBoxIndirectParamA)>("DialogBoxIndirectParamA");
  EXPECT_EQ(7, modal(Self(), platform, nullptr, &RememberLabel, 0));
  EXPECT_EQ(u"Nom:", g_seen);
}

// With translation disabled every replacement is the platform's function.
TEST_F(ResTranslationTest, DisabledPassesThrough) {
  Supp_SetTranslationEnable(0);
  char a[64];
  EXPECT_EQ(4, Repl<decltype(LoadStringA)>("LoadStringA")(Self(), 16, a, 64));
  EXPECT_STREQ("Open", a);
  HRSRC found = Repl<decltype(FindResourceA)>("FindResourceA")(Self(), MAKEINTRESOURCEA(401),
                                                               MAKEINTRESOURCEA(RT_DIALOG));
  EXPECT_EQ(FindResourceA(Self(), MAKEINTRESOURCEA(401), MAKEINTRESOURCEA(RT_DIALOG)), found);
  MessageBoxHandler old = SetMessageBoxHandler(&Capture);
  Repl<decltype(MessageBoxA)>("MessageBoxA")(nullptr, "Disk full", nullptr, MB_OK);
  EXPECT_EQ(u"Disk full", g_text);
  SetMessageBoxHandler(old);
  HMENU menu = Repl<decltype(LoadMenuA)>("LoadMenuA")(Self(), MAKEINTRESOURCEA(500));
  EXPECT_EQ(u"&File", TextOf(menu, 0));
  DestroyMenu(menu);
}

// Supp_Init's module list: a loaded module whose file is one of the listed
// names (here a copy of the Linux test module named "mfc140u") is patched.
TEST_F(ResTranslationTest, ListedModulesArePatched) {
  zrtest::TempDir dir;
  std::filesystem::copy_file(ZR_ELF_IMPORT_MODULE, dir.Path("mfc140u"));
  HMODULE module = LoadLibraryA(dir.Path("mfc140u").c_str());
  ASSERT_NE(nullptr, module);
  ASSERT_EQ(module, GetModuleHandleA("mfc140u"));
  auto load =
      reinterpret_cast<int (*)(HMODULE, char*, int)>(GetProcAddress(module, "ElfImportLoadString"));
  ASSERT_NE(nullptr, load);
  char buffer[32];
  load(module, buffer, sizeof buffer);
  EXPECT_STREQ("platform text", buffer);
  EXPECT_EQ(0, Supp_InitResTranslation(nullptr));
  EXPECT_EQ(0, DeInitResTranslation(nullptr));
  zr::PatchListedModules();
  load(module, buffer, sizeof buffer);
  EXPECT_STREQ("Plattformtext", buffer);
  zr::RestoreModuleForTranslation(module);
  load(module, buffer, sizeof buffer);
  EXPECT_STREQ("platform text", buffer);
  EXPECT_TRUE(FreeLibrary(module));
}

}  // namespace
