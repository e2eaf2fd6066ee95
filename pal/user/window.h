// pal/user/window.h - windows and dialogs without a display, message boxes.
//
// Nothing is drawn (docs/deviations.md). A window is a handle-table object
// (kind Window) with a class name, a text, styles, a rectangle in dialog
// units, an identifier, a font and its children; dialogs are built from
// their templates (pal/user/dlgtemplate.h) as such a tree, so programs and
// tests can inspect what Windows would have shown. The dialog procedure
// receives WM_INITDIALOG (and WM_SETFONT first, with a font object of the
// template's font fields that the dialog and its controls hold and that is
// deleted with the dialog, when the template names a
// font); a modal dialog then has no user to answer it, so DialogBox* asks the
// installed dialog runner (SetDialogRunner), whose default presses the
// default push button (WM_COMMAND IDOK, as the Enter key does) and, when
// the procedure does not end the dialog, ends it with IDCANCEL. DialogBox*
// returns what EndDialog gave.
//
// Message boxes go to the installed handler (SetMessageBoxHandler); the
// default writes the caption and the text to standard error and answers the
// box's default button.
#pragma once

#include <cstdint>

#include "pal/types.h"
#include "pal/user/menu.h"

namespace zrpal {

using ::HFONT;  // the library's public window-system handles (zr/zrtypes.h)
using ::HWND;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using INT_PTR = std::intptr_t;
using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

inline constexpr UINT WM_SETTEXT = 0x000C;
inline constexpr UINT WM_GETTEXT = 0x000D;
inline constexpr UINT WM_GETTEXTLENGTH = 0x000E;
inline constexpr UINT WM_SETFONT = 0x0030;
inline constexpr UINT WM_GETFONT = 0x0031;
inline constexpr UINT WM_INITDIALOG = 0x0110;
inline constexpr UINT WM_COMMAND = 0x0111;

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;
inline constexpr int IDTRYAGAIN = 10;
inline constexpr int IDCONTINUE = 11;

// Creates a modeless dialog from a template; the dialog procedure has had
// WM_INITDIALOG when this returns. Null with ERROR_INVALID_DATA for a
// template that does not parse. `instance` is where named resources would
// come from; it is kept but nothing is loaded through it.
HWND CreateDialogIndirectParamW(HINSTANCE instance, const void* dialogTemplate, HWND parent,
                                DLGPROC procedure, LPARAM initParam);
HWND CreateDialogIndirectParamA(HINSTANCE instance, const void* dialogTemplate, HWND parent,
                                DLGPROC procedure, LPARAM initParam);
// The dialog resource `name` of `instance` (RT_DIALOG), created as above.
HWND CreateDialogParamW(HINSTANCE instance, LPCWSTR name, HWND parent, DLGPROC procedure,
                        LPARAM initParam);
HWND CreateDialogParamA(HINSTANCE instance, LPCSTR name, HWND parent, DLGPROC procedure,
                        LPARAM initParam);
// Modal: creates the dialog, runs it (see above), destroys it and returns
// EndDialog's result; -1 when it cannot be created.
INT_PTR DialogBoxIndirectParamW(HINSTANCE instance, const void* dialogTemplate, HWND parent,
                                DLGPROC procedure, LPARAM initParam);
INT_PTR DialogBoxIndirectParamA(HINSTANCE instance, const void* dialogTemplate, HWND parent,
                                DLGPROC procedure, LPARAM initParam);
INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR name, HWND parent, DLGPROC procedure,
                        LPARAM initParam);
INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND parent, DLGPROC procedure,
                        LPARAM initParam);
BOOL EndDialog(HWND dialog, INT_PTR result);

// The dialog runner: called for each modal dialog after WM_INITDIALOG unless
// the procedure already ended it. Null restores the default. Returns the
// previous runner.
using DialogRunner = void (*)(HWND dialog);
DialogRunner SetDialogRunner(DialogRunner runner);

// Sends `message` to the window's dialog procedure (dialogs) or handles it
// as the predefined control would: WM_SETTEXT, WM_GETTEXT,
// WM_GETTEXTLENGTH, WM_SETFONT, WM_GETFONT. A dialog procedure that answers
// FALSE leaves the message to this default handling. 0 for other messages.
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

HWND GetDlgItem(HWND dialog, int id);
int GetDlgCtrlID(HWND window);
HWND GetParent(HWND window);
BOOL IsWindow(HWND window);
// Destroys the window and its children.
BOOL DestroyWindow(HWND window);
int GetWindowTextW(HWND window, LPWSTR text, int maxCount);
int GetWindowTextA(HWND window, LPSTR text, int maxCount);
int GetWindowTextLengthW(HWND window);
BOOL SetWindowTextW(HWND window, LPCWSTR text);
BOOL SetWindowTextA(HWND window, LPCSTR text);

// What a window looks like, for tests and tools: its class (a predefined
// control's name such as "Button", or the template's class name), styles,
// rectangle in dialog units as the template gave it, and identifier.
struct WindowInfo {
  WCHAR className[64];
  DWORD style;
  DWORD exStyle;
  int x, y, cx, cy;
  DWORD id;
};
BOOL GetWindowInfoHeadless(HWND window, WindowInfo* info);
// The child windows in creation order: fills up to `max` and returns how
// many there are.
int GetChildWindows(HWND window, HWND* children, int max);

inline constexpr UINT MB_OK = 0x0;
inline constexpr UINT MB_OKCANCEL = 0x1;
inline constexpr UINT MB_ABORTRETRYIGNORE = 0x2;
inline constexpr UINT MB_YESNOCANCEL = 0x3;
inline constexpr UINT MB_YESNO = 0x4;
inline constexpr UINT MB_RETRYCANCEL = 0x5;
inline constexpr UINT MB_CANCELTRYCONTINUE = 0x6;
inline constexpr UINT MB_TYPEMASK = 0xF;
inline constexpr UINT MB_ICONMASK = 0xF0;
inline constexpr UINT MB_DEFBUTTON1 = 0x000;
inline constexpr UINT MB_DEFBUTTON2 = 0x100;
inline constexpr UINT MB_DEFBUTTON3 = 0x200;
inline constexpr UINT MB_DEFBUTTON4 = 0x300;
inline constexpr UINT MB_DEFMASK = 0xF00;
inline constexpr UINT MB_MODEMASK = 0x3000;
inline constexpr UINT MB_MISCMASK = 0xC000;
// The flags above the masks (MB_SETFOREGROUND, MB_TOPMOST, ...) change only
// how a box is shown and are accepted.
inline constexpr UINT MB_KNOWNFLAGS = 0x003FFFFF;

// The button the box's type makes the default: IDOK, IDYES, IDABORT,
// IDRETRY, IDCANCEL (MB_CANCELTRYCONTINUE), or the one MB_DEFBUTTONn names;
// 0 for a type that is no Windows type.
int MessageBoxDefaultButton(UINT type);

// The handler sees the box's text and caption (UTF-16, a null caption is
// "Error" as on Windows) and its type, and returns the button pressed.
using MessageBoxHandler = int (*)(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// 0 with ERROR_INVALID_PARAMETER for a type whose button set is unknown.
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
int MessageBoxExW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type, WORD language);
int MessageBoxExA(HWND owner, LPCSTR text, LPCSTR caption, UINT type, WORD language);

struct MSGBOXPARAMSA {
  UINT cbSize;
  HWND hwndOwner;
  HINSTANCE hInstance;
  LPCSTR lpszText;
  LPCSTR lpszCaption;
  DWORD dwStyle;
  LPCSTR lpszIcon;
  std::uintptr_t dwContextHelpId;
  void* lpfnMsgBoxCallback;
  DWORD dwLanguageId;
};
struct MSGBOXPARAMSW {
  UINT cbSize;
  HWND hwndOwner;
  HINSTANCE hInstance;
  LPCWSTR lpszText;
  LPCWSTR lpszCaption;
  DWORD dwStyle;
  LPCWSTR lpszIcon;
  std::uintptr_t dwContextHelpId;
  void* lpfnMsgBoxCallback;
  DWORD dwLanguageId;
};
static_assert(sizeof(MSGBOXPARAMSA) == 80 && sizeof(MSGBOXPARAMSW) == 80);
// Text and caption may be string resources of hInstance (MAKEINTRESOURCE),
// as on Windows.
int MessageBoxIndirectW(const MSGBOXPARAMSW* params);
int MessageBoxIndirectA(const MSGBOXPARAMSA* params);

}  // namespace zrpal
