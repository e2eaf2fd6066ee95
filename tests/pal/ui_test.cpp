// Dialog templates, menus, headless dialogs and message boxes, on the
// templates windres compiled from tests/data/ui_test.rc.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "pal/handle.h"
#include "pal/last_error.h"
#include "pal/module.h"
#include "pal/user/dlgtemplate.h"
#include "pal/user/menu.h"
#include "pal/user/resource.h"
#include "pal/user/window.h"

namespace {

using namespace zrpal;

std::vector<BYTE> Resource(WORD type, WORD name) {
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(name), MAKEINTRESOURCEW(type));
  EXPECT_NE(found, nullptr) << name;
  if (!found) return {};
  const BYTE* data = static_cast<const BYTE*>(LoadResource(nullptr, found));
  return std::vector<BYTE>(data, data + SizeofResource(nullptr, found));
}

dlg::DialogForm Parse(const std::vector<BYTE>& t) {
  dlg::DialogForm form;
  EXPECT_EQ(dlg::ParseDialogTemplate(t.data(), t.size(), &form), dlg::ParseResult::kOk);
  return form;
}

TEST(DialogTemplate, ParsesBothFormsItemByItem) {
  const dlg::DialogForm standard = Parse(Resource(RT_DIALOG, 200));
  EXPECT_FALSE(standard.extended);
  EXPECT_EQ(standard.title.text, u"Standard dialog");
  EXPECT_EQ(standard.pointSize, 8);
  EXPECT_EQ(standard.face, u"MS Shell Dlg");
  ASSERT_EQ(standard.items.size(), 11u);
  struct Item { DWORD id; dlg::NameOrOrdinal cls; dlg::NameOrOrdinal title; short x, cx; };
  const Item expected[] = {
      {1, dlg::NameOrOrdinal::Ordinal(dlg::kClassButton), dlg::NameOrOrdinal::Text(u"OK"), 10, 50},
      {101, dlg::NameOrOrdinal::Ordinal(dlg::kClassStatic), dlg::NameOrOrdinal::Text(u"Name:"), 10, 40},
      {102, dlg::NameOrOrdinal::Ordinal(dlg::kClassEdit), {}, 55, 100},
      {103, dlg::NameOrOrdinal::Text(u"MYCLASS"), dlg::NameOrOrdinal::Text(u"Custom"), 10, 60},
      {104, dlg::NameOrOrdinal::Ordinal(dlg::kClassStatic), dlg::NameOrOrdinal::Ordinal(7), 170, 0},  // an icon takes its size from the icon
      {107, dlg::NameOrOrdinal::Ordinal(dlg::kClassScrollBar), {}, 165, 10},
  };
  for (const Item& e : expected) {
    const auto it = std::find_if(standard.items.begin(), standard.items.end(),
                                 [&](const dlg::DialogItem& i) { return i.id == e.id; });
    ASSERT_NE(it, standard.items.end()) << e.id;
    EXPECT_EQ(it->windowClass, e.cls) << e.id;
    EXPECT_EQ(it->title, e.title) << e.id;
    EXPECT_EQ(it->x, e.x) << e.id;
    EXPECT_EQ(it->cx, e.cx) << e.id;
  }

  const dlg::DialogForm ex = Parse(Resource(RT_DIALOG, 201));
  EXPECT_TRUE(ex.extended);
  EXPECT_EQ(ex.helpId, 77u);
  EXPECT_EQ(ex.exStyle, 0x100u);
  EXPECT_EQ(ex.menu, dlg::NameOrOrdinal::Ordinal(300));
  EXPECT_EQ(ex.windowClass, dlg::NameOrOrdinal::Text(u"MYDIALOGCLASS"));
  EXPECT_EQ(ex.weight, 700);
  EXPECT_EQ(ex.italic, 1);
  EXPECT_EQ(ex.charset, 0xCC);
  ASSERT_EQ(ex.items.size(), 4u);
  EXPECT_EQ(ex.items[0].helpId, 55u);
  EXPECT_EQ(ex.items[1].id, 70000u);  // 32-bit identifiers survive
  EXPECT_EQ(ex.items[2].creationData, (std::vector<BYTE>{1, 0, 2, 0, 3, 0}));

  const dlg::DialogForm noFont = Parse(Resource(RT_DIALOG, 202));
  EXPECT_FALSE(noFont.HasFont());
  EXPECT_TRUE(noFont.face.empty());
}

TEST(DialogTemplate, WriterReproducesCompilerOutputAndEdits) {
  for (WORD name : {200, 201, 202}) {
    const std::vector<BYTE> original = Resource(RT_DIALOG, name);
    dlg::DialogForm form = Parse(original);
    std::vector<BYTE> written;
    ASSERT_TRUE(dlg::WriteDialogTemplate(form, &written));
    // windres pads the resource to a DWORD; the template itself is identical.
    ASSERT_GE(original.size(), written.size()) << name;
    EXPECT_EQ(std::vector<BYTE>(original.begin(), original.begin() + written.size()), written) << name;
    // An edited form (longer texts shift every later item) parses back
    // item for item, each item on a DWORD boundary.
    form.title = dlg::NameOrOrdinal::Text(u"A much longer title than before");
    for (dlg::DialogItem& item : form.items)
      if (item.title.IsText()) item.title.text += u" (translated)";
    form.items.back().creationData = {9, 8, 7};
    ASSERT_TRUE(dlg::WriteDialogTemplate(form, &written));
    EXPECT_EQ(Parse(written), form) << name;
  }
}

TEST(DialogTemplate, RefusesWhatDoesNotFit) {
  const std::vector<BYTE> t = Resource(RT_DIALOG, 201);
  dlg::DialogForm form;
  // Every cut of the template is refused, never read past.
  for (std::size_t cut = 0; cut + 8 < t.size(); ++cut)
    EXPECT_NE(dlg::ParseDialogTemplate(t.data(), cut, &form), dlg::ParseResult::kOk) << cut;
  // An item count the block cannot hold.
  std::vector<BYTE> many = t;
  many[16] = 0xFF, many[17] = 0xFF;
  EXPECT_EQ(dlg::ParseDialogTemplate(many.data(), many.size(), &form), dlg::ParseResult::kTruncated);
  // An extended form of another version.
  std::vector<BYTE> version = t;
  version[0] = 2;
  EXPECT_EQ(dlg::ParseDialogTemplate(version.data(), version.size(), &form), dlg::ParseResult::kBadField);
}

struct DialogLog {
  int inits = 0;
  LPARAM param = 0;
  bool fontMessage = false;
  int endWith = 0;  // 0: leave the dialog to the runner
};
DialogLog* g_log = nullptr;

INT_PTR CALLBACK_Procedure(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_SETFONT) g_log->fontMessage = true;
  if (message == WM_INITDIALOG) {
    ++g_log->inits;
    g_log->param = lParam;
    if (g_log->endWith) EndDialog(dialog, g_log->endWith);
    return TRUE;
  }
  return FALSE;
}

TEST(Dialog, TreeOfWindowsFromTheTemplate) {
  DialogLog log;
  g_log = &log;
  HWND dialog = CreateDialogParamW(nullptr, MAKEINTRESOURCEW(201), nullptr, CALLBACK_Procedure, 1234);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(log.inits, 1);
  EXPECT_EQ(log.param, 1234);
  EXPECT_TRUE(log.fontMessage);
  WCHAR text[64];
  EXPECT_EQ(GetWindowTextW(dialog, text, 64), 15);
  EXPECT_EQ(std::u16string(text), u"Extended dialog");
  HWND label = GetDlgItem(dialog, 70000);
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(GetParent(label), dialog);
  WindowInfo info{};
  ASSERT_TRUE(GetWindowInfoHeadless(label, &info));
  EXPECT_EQ(std::u16string(info.className), u"Static");
  EXPECT_EQ(info.x, 10);
  EXPECT_EQ(info.cx, 40);
  EXPECT_TRUE(SetWindowTextA(label, "Etikett"));
  char narrow[8];
  EXPECT_EQ(GetWindowTextA(label, narrow, sizeof narrow), 7);
  EXPECT_STREQ(narrow, "Etikett");
  EXPECT_EQ(GetWindowTextA(label, narrow, 4), 3);  // cut to the buffer
  HFONT font = reinterpret_cast<HFONT>(0x1234);
  SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)), font);
  EXPECT_EQ(GetDlgItem(dialog, 4242), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_CONTROL_ID_NOT_FOUND);
  // A window is no kernel object.
  EXPECT_FAILS_WITH(CloseHandle(reinterpret_cast<HANDLE>(label)), ERROR_INVALID_HANDLE);
  EXPECT_TRUE(DestroyWindow(dialog));
  EXPECT_FALSE(IsWindow(label));  // children go with their dialog
  EXPECT_FAILS_WITH(DestroyWindow(dialog), ERROR_INVALID_WINDOW_HANDLE);
}

int g_runnerCalls = 0;
void PressYes(HWND dialog) {
  ++g_runnerCalls;
  EndDialog(dialog, IDYES);
}

TEST(Dialog, ModalResultIsWhatEndDialogGave) {
  DialogLog log;
  g_log = &log;
  const std::size_t handles = LiveHandleCount();
  // Ended in WM_INITDIALOG.
  log.endWith = 77;
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(200), nullptr, CALLBACK_Procedure, 0), 77);
  // Left to the default runner: Enter, which this procedure ignores, then
  // the dialog is closed.
  log.endWith = 0;
  EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(202), nullptr, CALLBACK_Procedure, 0), IDCANCEL);
  // An installed runner answers for the user.
  DialogRunner old = SetDialogRunner(PressYes);
  const std::vector<BYTE> t = Resource(RT_DIALOG, 201);
  EXPECT_EQ(DialogBoxIndirectParamW(nullptr, t.data(), nullptr, CALLBACK_Procedure, 0), IDYES);
  EXPECT_EQ(g_runnerCalls, 1);
  SetDialogRunner(old);
  EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(999), nullptr, CALLBACK_Procedure, 0), -1);
  EXPECT_EQ(LiveHandleCount(), handles);  // every window destroyed
}

// Menu contents as text: "text/flags/id" per item, submenus in brackets.
std::string Describe(HMENU menu) {
  std::string out;
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    char text[64];
    GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
    const UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
    out += std::string(text) + "/" + std::to_string(state & 0xFFFF);
    if (HMENU sub = GetSubMenu(menu, i)) {
      out += "[" + Describe(sub) + "]";
    } else {
      out += "/" + std::to_string(GetMenuItemID(menu, i));
    }
    out += ";";
  }
  return out;
}

TEST(Menu, LoadedFromBothTemplateForms) {
  HMENU standard = LoadMenuW(nullptr, MAKEINTRESOURCEW(300));
  ASSERT_NE(standard, nullptr);
  // The pop-up's state: three items in the high byte, MF_POPUP below.
  EXPECT_EQ(Describe(standard),
            "&File/" + std::to_string(3 << 8 | 0x10) +
                "[&Open/0/1001;/2048/0;E&xit/9/1002;];&Help/0/1003;");
  HMENU ex = LoadMenuA(nullptr, MAKEINTRESOURCEA(301));
  ASSERT_NE(ex, nullptr);
  EXPECT_EQ(Describe(ex), "&Edit/" + std::to_string(2 << 8 | 0x10) + "[&Copy/8/2001;/2048/0;];&About/0/2002;");
  EXPECT_TRUE(DestroyMenu(standard));
  EXPECT_TRUE(DestroyMenu(ex));
  EXPECT_EQ(GetMenuItemCount(ex), -1);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_MENU_HANDLE);
  // A template cut anywhere is refused.
  const std::vector<BYTE> t = Resource(RT_MENU, 301);
  for (std::size_t cut = 0; cut < t.size() - 4; ++cut)
    EXPECT_EQ(LoadMenuFromTemplate(t.data(), cut), nullptr) << cut;
}

TEST(Menu, ModifyByPositionAndCommandKeepsOrDropsSubmenus) {
  const std::size_t handles = LiveHandleCount();
  HMENU bar = CreateMenu();
  HMENU file = CreatePopupMenu();
  ASSERT_TRUE(AppendMenuW(file, MF_STRING | MF_CHECKED, 10, u"Open"));
  ASSERT_TRUE(AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), u"File"));
  ASSERT_TRUE(AppendMenuW(bar, MF_SEPARATOR, 0, nullptr));
  EXPECT_FALSE(AppendMenuW(bar, MF_OWNERDRAW, 11, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  // By command, found inside the submenu; the state is replaced.
  ASSERT_TRUE(ModifyMenuW(bar, 10, MF_BYCOMMAND | MF_GRAYED, 10, u"Öffnen"));
  WCHAR text[16];
  EXPECT_EQ(GetMenuStringW(bar, 10, text, 16, MF_BYCOMMAND), 6);
  EXPECT_EQ(GetMenuState(file, 0, MF_BYPOSITION), MF_GRAYED);
  EXPECT_EQ(GetMenuStringW(bar, 10, text, 4, MF_BYCOMMAND), 3);  // cut
  // The pop-up rewritten with its own submenu keeps it.
  ASSERT_TRUE(ModifyMenuW(bar, 0, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(file), u"Datei"));
  EXPECT_EQ(GetSubMenu(bar, 0), file);
  EXPECT_EQ(GetMenuItemCount(file), 1);
  EXPECT_FALSE(ModifyMenuW(bar, 5, MF_BYPOSITION, 1, u"x"));
  EXPECT_EQ(GetLastError(), ERROR_MENU_ITEM_NOT_FOUND);
  // Replaced by a command item, the submenu is destroyed.
  ASSERT_TRUE(ModifyMenuW(bar, 0, MF_BYPOSITION, 99, u"Plain"));
  EXPECT_EQ(GetMenuItemCount(file), -1);
  EXPECT_TRUE(DestroyMenu(bar));
  EXPECT_EQ(LiveHandleCount(), handles);
}

struct Shown {
  std::u16string text, caption;
  UINT type;
};
Shown g_shown;
int Record(HWND, LPCWSTR text, LPCWSTR caption, UINT type) {
  g_shown = {text, caption, type};
  return MessageBoxDefaultButton(type) + 100;
}

TEST(MessageBox, DefaultButtonsAndTheInstalledHandler) {
  struct Case { UINT type; int button; };
  const Case cases[] = {
      {MB_OK, IDOK}, {MB_YESNO, IDYES}, {MB_ABORTRETRYIGNORE, IDABORT}, {MB_RETRYCANCEL, IDRETRY},
      {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL}, {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
      {MB_YESNO | MB_DEFBUTTON3, IDYES},  // past the last button: the first
      {MB_CANCELTRYCONTINUE, IDCANCEL}, {0x7, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(MessageBoxDefaultButton(c.type), c.button) << c.type;

  MessageBoxHandler old = SetMessageBoxHandler(Record);
  EXPECT_EQ(MessageBoxA(nullptr, "Grüße", nullptr, MB_YESNO), IDYES + 100);
  EXPECT_EQ(g_shown.text, u"Grüße");
  EXPECT_EQ(g_shown.caption, u"Error");  // a null caption, as on Windows
  MSGBOXPARAMSA p{sizeof p, nullptr, nullptr, MAKEINTRESOURCEA(1), "Caption", MB_OKCANCEL, nullptr, 0, nullptr, 0};
  EXPECT_EQ(MessageBoxIndirectA(&p), IDOK + 100);
  EXPECT_EQ(g_shown.text, u"Hello");  // string resource 1 of the program
  EXPECT_EQ(MessageBoxW(nullptr, u"x", u"y", 0x7), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  SetMessageBoxHandler(old);
  // The default handler answers the default button.
  EXPECT_EQ(MessageBoxW(nullptr, u"to standard error", u"Test", MB_RETRYCANCEL), IDRETRY);
}

TEST(SystemLibraries, AnswerThePlatformFunctions) {
  HMODULE user32 = GetModuleHandleA("USER32.dll");
  ASSERT_NE(user32, nullptr);
  EXPECT_EQ(GetModuleHandleW(u"user32"), user32);
  // The intercepted functions answer the exported Win32 entry points (the
  // program's own exports here, as it links the library statically), the
  // others the platform layer's functions.
  HMODULE self = GetModuleHandleW(nullptr);
  ASSERT_NE(GetProcAddress(self, "LoadStringA"), nullptr);
  EXPECT_EQ(GetProcAddress(user32, "LoadStringA"), GetProcAddress(self, "LoadStringA"));
  EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(user32, "GetMenuStringW")),
            reinterpret_cast<void*>(&GetMenuStringW));
  EXPECT_EQ(GetProcAddress(user32, "NoSuchFunction"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
  HMODULE kernel32 = GetModuleHandleA("kernel32");
  EXPECT_EQ(GetProcAddress(kernel32, "FindResourceW"), GetProcAddress(self, "FindResourceW"));
  EXPECT_EQ(GetModuleHandleA("user32x"), nullptr);
  EXPECT_EQ(FindResourceA(user32, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(RT_STRING)), nullptr);
  // FindResourceA with names converted from the ANSI code page.
  EXPECT_NE(FindResourceA(nullptr, "CONFIG", MAKEINTRESOURCEA(RT_RCDATA)), nullptr);
  WCHAR path[512];
  const DWORD n = GetModuleFileNameW(nullptr, path, 512);
  ASSERT_GT(n, 0u);
  EXPECT_NE(std::u16string(path, n).find(u"pal_tests"), std::u16string::npos);
  EXPECT_EQ(GetModuleFileNameW(nullptr, path, 4), 4u);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

}  // namespace
