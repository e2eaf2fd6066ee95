// pal/user/msgbox.cpp - message boxes through an installable handler.
//
// The default handler writes "caption: text" to standard error (UTF-8) and
// answers the box's default button: with no one to press a button, the
// answer is the one Enter would give.
#include <atomic>
#include <cstdio>
#include <new>
#include <string>

#include "pal/codepage.h"
#include "pal/error.h"
#include "pal/user/resname.h"
#include "pal/user/resource.h"
#include "pal/user/window.h"

namespace zrpal {

namespace {

// The buttons of each box type, in order (MB_OK .. MB_CANCELTRYCONTINUE).
constexpr int kButtons[][3] = {
    {IDOK, 0, 0},           {IDOK, IDCANCEL, 0},        {IDABORT, IDRETRY, IDIGNORE},
    {IDYES, IDNO, IDCANCEL}, {IDYES, IDNO, 0},          {IDRETRY, IDCANCEL, 0},
    {IDCANCEL, IDTRYAGAIN, IDCONTINUE},
};
constexpr WCHAR kDefaultCaption[] = u"Error";
constexpr int kMaxStringResource = 1024;

std::string Utf8(LPCWSTR text) {
  if (!text) return std::string();
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(n) - 1);
  return out;
}

int DefaultHandler(HWND, LPCWSTR text, LPCWSTR caption, UINT type) {
  std::fprintf(stderr, "%s: %s\n", Utf8(caption).c_str(), Utf8(text).c_str());
  return MessageBoxDefaultButton(type);
}

std::atomic<MessageBoxHandler> g_handler{nullptr};

std::u16string Wide(LPCSTR text) {
  if (!text) return std::u16string();
  const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (n <= 0) return std::u16string();
  std::u16string out(static_cast<std::size_t>(n), u'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, out.data(), n);
  out.resize(static_cast<std::size_t>(n) - 1);
  return out;
}

// A text of a MSGBOXPARAMS: a string resource of `instance` when it is an
// ordinal, else the text itself.
std::u16string ParamText(HINSTANCE instance, LPCWSTR text) {
  if (text && IS_INTRESOURCE(text)) {
    WCHAR buffer[kMaxStringResource];
    const int n = LoadStringW(instance, static_cast<UINT>(reinterpret_cast<std::uintptr_t>(text)),
                              buffer, kMaxStringResource);
    return std::u16string(buffer, static_cast<std::size_t>(n));
  }
  return text ? std::u16string(text) : std::u16string();
}

}  // namespace

int MessageBoxDefaultButton(UINT type) {
  const UINT kind = type & MB_TYPEMASK;
  if (kind >= std::size(kButtons)) return 0;
  const UINT index = (type & MB_DEFMASK) >> 8;
  // A default button past the box's last button falls back to the first.
  if (index < 3 && kButtons[kind][index] != 0) return kButtons[kind][index];
  return kButtons[kind][0];
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  return g_handler.exchange(handler);
}

int MessageBoxExW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type, WORD) {
  if ((type & ~MB_KNOWNFLAGS) != 0 || MessageBoxDefaultButton(type) == 0 ||
      (type & MB_DEFMASK) > MB_DEFBUTTON4) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  MessageBoxHandler handler = g_handler.load();
  return (handler ? handler : DefaultHandler)(owner, text ? text : u"",
                                              caption ? caption : kDefaultCaption, type);
}

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  return MessageBoxExW(owner, text, caption, type, 0);
}

int MessageBoxExA(HWND owner, LPCSTR text, LPCSTR caption, UINT type, WORD language) try {
  const std::u16string wideText = Wide(text);
  const std::u16string wideCaption = Wide(caption);
  return MessageBoxExW(owner, wideText.c_str(), caption ? wideCaption.c_str() : nullptr, type,
                       language);
} catch (const std::bad_alloc&) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return 0;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  return MessageBoxExA(owner, text, caption, type, 0);
}

int MessageBoxIndirectW(const MSGBOXPARAMSW* p) try {
  if (!p) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::u16string text = ParamText(p->hInstance, p->lpszText);
  const std::u16string caption = ParamText(p->hInstance, p->lpszCaption);
  return MessageBoxExW(p->hwndOwner, text.c_str(), p->lpszCaption ? caption.c_str() : nullptr,
                       p->dwStyle, static_cast<WORD>(p->dwLanguageId));
} catch (const std::bad_alloc&) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return 0;
}

int MessageBoxIndirectA(const MSGBOXPARAMSA* p) try {
  if (!p) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // Ordinals pass through as ordinals; texts are converted.
  WideResourceName text(p->lpszText ? p->lpszText : "");
  WideResourceName caption(p->lpszCaption ? p->lpszCaption : "");
  if (!text.Ok() || !caption.Ok()) return 0;
  MSGBOXPARAMSW w{sizeof(MSGBOXPARAMSW), p->hwndOwner, p->hInstance, text.Get(),
                  p->lpszCaption ? caption.Get() : nullptr, p->dwStyle, nullptr,
                  p->dwContextHelpId, p->lpfnMsgBoxCallback, p->dwLanguageId};
  return MessageBoxIndirectW(&w);
} catch (const std::bad_alloc&) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return 0;
}

}  // namespace zrpal
