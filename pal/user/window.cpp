// pal/user/window.cpp - window objects and dialogs built from templates.
//
// Invariants: a window's children are live handles it owns (DestroyWindow
// destroys them first); `parent` is a borrowed handle. Window state is guarded by the window's own lock,
// which is never held while a dialog procedure runs, so a procedure may call
// back into any window function.
#include "pal/user/window.h"

#include "pal/user/gdi.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "pal/codepage.h"
#include "pal/error.h"
#include "pal/handle.h"
#include "pal/user/dlgtemplate.h"
#include "pal/user/resname.h"
#include "pal/user/resource.h"

namespace zrpal {

namespace {

class WindowObject final : public HandleObject {
 public:
  WindowObject() : HandleObject(HandleKind::Window) {}
  std::mutex m_lock;
  std::u16string m_class;
  std::u16string m_text;
  DWORD m_style = 0, m_exStyle = 0, m_id = 0;
  int m_x = 0, m_y = 0, m_cx = 0, m_cy = 0;
  HWND m_parent = nullptr;
  HFONT m_font = nullptr;
  bool m_ownsFont = false;  // a dialog's template font, deleted with the dialog
  std::vector<HWND> m_children;
  DLGPROC m_procedure = nullptr;  // dialogs only
  bool m_ended = false;
  INT_PTR m_result = 0;
};

HandleRef<WindowObject> Ref(HWND window) {
  auto ref = ReferenceHandle<WindowObject>(window, KindBit(HandleKind::Window));
  if (!ref) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return ref;
}

// The names of the predefined control classes, by class ordinal.
std::u16string ClassName(const dlg::NameOrOrdinal& cls) {
  if (cls.IsText()) return cls.text;
  switch (cls.ordinal) {
    case dlg::kClassButton: return u"Button";
    case dlg::kClassEdit: return u"Edit";
    case dlg::kClassStatic: return u"Static";
    case dlg::kClassListBox: return u"ListBox";
    case dlg::kClassScrollBar: return u"ScrollBar";
    case dlg::kClassComboBox: return u"ComboBox";
    default: {
      // Another class ordinal: its number, as "#32770" names the dialog class.
      std::u16string digits;
      for (unsigned n = cls.ordinal; n != 0 || digits.empty(); n /= 10)
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + n % 10));
      return u"#" + digits;
    }
  }
}

HWND NewWindow(const std::u16string& cls, const std::u16string& text, DWORD style, DWORD exStyle,
               int x, int y, int cx, int cy, DWORD id, HWND parent) {
  WindowObject* w = new (std::nothrow) WindowObject();
  if (!w) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  w->m_class = cls;
  w->m_text = text;
  w->m_style = style, w->m_exStyle = exStyle, w->m_id = id;
  w->m_x = x, w->m_y = y, w->m_cx = cx, w->m_cy = cy;
  w->m_parent = parent;
  return static_cast<HWND>(InsertHandle(w));
}

std::atomic<DialogRunner> g_runner{nullptr};

void DefaultRunner(HWND dialog) {
  SendMessageW(dialog, WM_COMMAND, static_cast<WPARAM>(IDOK), 0);
  auto ref = Ref(dialog);
  if (!ref) return;
  bool ended;
  {
    std::lock_guard<std::mutex> hold(ref->m_lock);
    ended = ref->m_ended;
  }
  if (!ended) EndDialog(dialog, IDCANCEL);
}

// A control's title; an ordinal title names an icon or bitmap, which has no
// text.
std::u16string TemplateText(const dlg::NameOrOrdinal& f) {
  return f.IsText() ? f.text : std::u16string();
}

// The font record of a template's font fields: the point size as a
// character height at 96 pixels per inch; weight, italic and character set
// from the extended form (the standard form has none: 0, 0 and
// DEFAULT_CHARSET).
HFONT TemplateFont(const dlg::DialogForm& form) {
  constexpr BYTE kDefaultCharSet = 1;
  LOGFONTW font{};
  font.lfHeight = FontHeightOfPoints(form.pointSize);
  font.lfWeight = form.extended ? form.weight : 0;
  font.lfItalic = form.extended ? form.italic : 0;
  font.lfCharSet = form.extended ? form.charset : kDefaultCharSet;
  for (std::size_t i = 0; i < form.face.size() && i < LF_FACESIZE - 1; ++i) font.lfFaceName[i] = form.face[i];
  return CreateFontIndirectW(&font);
}

// `size`: the template's size when known (a resource), else
// dlg::kMaxIndirectTemplateSize.
HWND CreateFromTemplate(const void* dialogTemplate, std::size_t size, HWND parent, DLGPROC procedure,
                        LPARAM initParam) try {
  if (!dialogTemplate) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  dlg::DialogForm form;
  // Without a size the template is trusted to be well formed, as on Windows;
  // the parser stops at its end.
  const dlg::ParseResult parsed = dlg::ParseDialogTemplate(dialogTemplate, size, &form);
  if (parsed != dlg::ParseResult::kOk) {
    SetLastError(parsed == dlg::ParseResult::kNoMemory ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_DATA);
    return nullptr;
  }
  const std::u16string cls = form.windowClass.IsText() ? form.windowClass.text : u"#32770";
  HWND dialog = NewWindow(cls, form.title.text, form.style, form.exStyle, form.x, form.y, form.cx,
                          form.cy, 0, parent);
  if (!dialog) return nullptr;
  std::vector<HWND> children;
  for (const dlg::DialogItem& item : form.items) {
    HWND child = NewWindow(ClassName(item.windowClass), TemplateText(item.title), item.style,
                           item.exStyle, item.x, item.y, item.cx, item.cy, item.id, dialog);
    if (!child) {
      for (HWND c : children) DestroyWindow(c);
      DestroyWindow(dialog);
      return nullptr;
    }
    children.push_back(child);
  }
  // The template's font as a font object (nothing is drawn with it): the
  // dialog and every control get it, the procedure sees it in WM_SETFONT,
  // and the dialog deletes it when it is destroyed, as the dialog manager
  // does.
  HFONT font = form.HasFont() ? TemplateFont(form) : nullptr;
  for (HWND child : children) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
  {
    auto ref = Ref(dialog);
    std::lock_guard<std::mutex> hold(ref->m_lock);
    ref->m_children = children;
    ref->m_procedure = procedure;
    ref->m_font = font;
    ref->m_ownsFont = font != nullptr;
  }
  if (procedure) {
    if (form.HasFont()) procedure(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
    procedure(dialog, WM_INITDIALOG, 0, initParam);
  }
  return dialog;
} catch (const std::bad_alloc&) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return nullptr;
}

INT_PTR RunModal(HWND dialog) {
  if (!dialog) return -1;
  bool ended;
  {
    auto ref = Ref(dialog);
    std::lock_guard<std::mutex> hold(ref->m_lock);
    ended = ref->m_ended;
  }
  if (!ended) {
    DialogRunner runner = g_runner.load();
    (runner ? runner : DefaultRunner)(dialog);
  }
  INT_PTR result = IDCANCEL;
  {
    auto ref = Ref(dialog);
    if (ref) {
      std::lock_guard<std::mutex> hold(ref->m_lock);
      result = ref->m_ended ? ref->m_result : IDCANCEL;
    }
  }
  DestroyWindow(dialog);
  return result;
}

// The dialog resource `name` of `instance`: its template and size.
const void* DialogResource(HINSTANCE instance, LPCWSTR name, std::size_t* size) {
  HRSRC found = FindResourceW(instance, name, MAKEINTRESOURCEW(RT_DIALOG));
  if (!found) return nullptr;
  *size = SizeofResource(instance, found);
  return LoadResource(instance, found);
}

}  // namespace

HWND CreateDialogIndirectParamW(HINSTANCE, const void* dialogTemplate, HWND parent,
                                DLGPROC procedure, LPARAM initParam) {
  return CreateFromTemplate(dialogTemplate, dlg::kMaxIndirectTemplateSize, parent, procedure,
                            initParam);
}
HWND CreateDialogIndirectParamA(HINSTANCE instance, const void* dialogTemplate, HWND parent,
                                DLGPROC procedure, LPARAM initParam) {
  return CreateDialogIndirectParamW(instance, dialogTemplate, parent, procedure, initParam);
}
HWND CreateDialogParamW(HINSTANCE instance, LPCWSTR name, HWND parent, DLGPROC procedure,
                        LPARAM initParam) {
  std::size_t size = 0;
  const void* t = DialogResource(instance, name, &size);
  return t ? CreateFromTemplate(t, size, parent, procedure, initParam) : nullptr;
}
HWND CreateDialogParamA(HINSTANCE instance, LPCSTR name, HWND parent, DLGPROC procedure,
                        LPARAM initParam) {
  WideResourceName wide(name);
  return wide.Ok() ? CreateDialogParamW(instance, wide.Get(), parent, procedure, initParam) : nullptr;
}
INT_PTR DialogBoxIndirectParamW(HINSTANCE, const void* dialogTemplate, HWND parent,
                                DLGPROC procedure, LPARAM initParam) {
  return RunModal(CreateFromTemplate(dialogTemplate, dlg::kMaxIndirectTemplateSize, parent,
                                    procedure, initParam));
}
INT_PTR DialogBoxIndirectParamA(HINSTANCE instance, const void* dialogTemplate, HWND parent,
                                DLGPROC procedure, LPARAM initParam) {
  return DialogBoxIndirectParamW(instance, dialogTemplate, parent, procedure, initParam);
}
INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR name, HWND parent, DLGPROC procedure,
                        LPARAM initParam) {
  std::size_t size = 0;
  const void* t = DialogResource(instance, name, &size);
  return t ? RunModal(CreateFromTemplate(t, size, parent, procedure, initParam)) : -1;
}
INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND parent, DLGPROC procedure,
                        LPARAM initParam) {
  WideResourceName wide(name);
  return wide.Ok() ? DialogBoxParamW(instance, wide.Get(), parent, procedure, initParam) : -1;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  auto ref = Ref(dialog);
  if (!ref) return FALSE;
  std::lock_guard<std::mutex> hold(ref->m_lock);
  ref->m_ended = true;
  ref->m_result = result;
  return TRUE;
}

DialogRunner SetDialogRunner(DialogRunner runner) { return g_runner.exchange(runner); }

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) try {
  auto ref = Ref(window);
  if (!ref) return 0;
  DLGPROC procedure;
  {
    std::lock_guard<std::mutex> hold(ref->m_lock);
    procedure = ref->m_procedure;
  }
  if (procedure && procedure(window, message, wParam, lParam)) return 0;
  std::lock_guard<std::mutex> hold(ref->m_lock);
  switch (message) {
    case WM_SETTEXT:
      ref->m_text = lParam ? std::u16string(reinterpret_cast<LPCWSTR>(lParam)) : std::u16string();
      return TRUE;
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(ref->m_text.size());
    case WM_GETTEXT: {
      if (wParam == 0 || !lParam) return 0;
      const std::size_t n = std::min<std::size_t>(ref->m_text.size(), wParam - 1);
      auto* out = reinterpret_cast<LPWSTR>(lParam);
      std::memcpy(out, ref->m_text.data(), n * sizeof(WCHAR));
      out[n] = 0;
      return static_cast<LRESULT>(n);
    }
    case WM_SETFONT:
      ref->m_font = reinterpret_cast<HFONT>(wParam);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(ref->m_font);
    default:
      return 0;
  }
} catch (const std::bad_alloc&) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return 0;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETTEXT:
      return SetWindowTextA(window, reinterpret_cast<LPCSTR>(lParam));
    case WM_GETTEXT:
      return GetWindowTextA(window, reinterpret_cast<LPSTR>(lParam), static_cast<int>(wParam));
    default:
      return SendMessageW(window, message, wParam, lParam);
  }
}

HWND GetDlgItem(HWND dialog, int id) {
  auto ref = Ref(dialog);
  if (!ref) return nullptr;
  std::vector<HWND> children;
  {
    std::lock_guard<std::mutex> hold(ref->m_lock);
    children = ref->m_children;
  }
  for (HWND child : children)
    if (GetDlgCtrlID(child) == id) return child;
  SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
  return nullptr;
}

int GetDlgCtrlID(HWND window) {
  auto ref = Ref(window);
  if (!ref) return 0;
  std::lock_guard<std::mutex> hold(ref->m_lock);
  return static_cast<int>(ref->m_id);
}

HWND GetParent(HWND window) {
  auto ref = Ref(window);
  if (!ref) return nullptr;
  std::lock_guard<std::mutex> hold(ref->m_lock);
  return ref->m_parent;
}

BOOL IsWindow(HWND window) {
  return ReferenceHandle<WindowObject>(window, KindBit(HandleKind::Window)) ? TRUE : FALSE;
}

BOOL DestroyWindow(HWND window) {
  std::vector<HWND> children;
  HFONT font = nullptr;
  {
    auto ref = Ref(window);
    if (!ref) return FALSE;
    std::lock_guard<std::mutex> hold(ref->m_lock);
    children.swap(ref->m_children);
    if (ref->m_ownsFont) font = ref->m_font;
    ref->m_ownsFont = false;
  }
  if (CloseTableHandle(window, HandleFamily::User) != ERROR_SUCCESS) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  for (HWND child : children) DestroyWindow(child);
  if (font) DeleteObject(font);
  return TRUE;
}

int GetWindowTextLengthW(HWND window) {
  return static_cast<int>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
}

int GetWindowTextW(HWND window, LPWSTR text, int maxCount) {
  if (!text || maxCount <= 0) return 0;
  text[0] = 0;
  return static_cast<int>(
      SendMessageW(window, WM_GETTEXT, static_cast<WPARAM>(maxCount), reinterpret_cast<LPARAM>(text)));
}

int GetWindowTextA(HWND window, LPSTR text, int maxCount) try {
  if (!text || maxCount <= 0) return 0;
  text[0] = 0;
  const int length = GetWindowTextLengthW(window);
  std::u16string wide(static_cast<std::size_t>(length) + 1, u'\0');
  const int got = GetWindowTextW(window, wide.data(), length + 1);
  return WideToAnsiTerminated(wide.data(), got, text, maxCount);
} catch (const std::bad_alloc&) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return 0;
}

BOOL SetWindowTextW(HWND window, LPCWSTR text) {
  if (!IsWindow(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
  if (!text) return SetWindowTextW(window, nullptr);
  WideResourceName wide(text ? text : "");
  // WideResourceName passes small values through as ordinals; window texts
  // are always texts, and a pointer below 64 KiB is not a valid one.
  if (!wide.Ok() || (reinterpret_cast<std::uintptr_t>(text) >> 16) == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return SetWindowTextW(window, wide.Get());
}

BOOL GetWindowInfoHeadless(HWND window, WindowInfo* info) {
  auto ref = Ref(window);
  if (!ref || !info) return FALSE;
  std::lock_guard<std::mutex> hold(ref->m_lock);
  const std::size_t n = std::min<std::size_t>(ref->m_class.size(), std::size(info->className) - 1);
  std::memcpy(info->className, ref->m_class.data(), n * sizeof(WCHAR));
  info->className[n] = 0;
  info->style = ref->m_style, info->exStyle = ref->m_exStyle, info->id = ref->m_id;
  info->x = ref->m_x, info->y = ref->m_y, info->cx = ref->m_cx, info->cy = ref->m_cy;
  return TRUE;
}

int GetChildWindows(HWND window, HWND* children, int max) {
  auto ref = Ref(window);
  if (!ref) return -1;
  std::lock_guard<std::mutex> hold(ref->m_lock);
  for (int i = 0; i < max && static_cast<std::size_t>(i) < ref->m_children.size(); ++i)
    children[i] = ref->m_children[static_cast<std::size_t>(i)];
  return static_cast<int>(ref->m_children.size());
}

}  // namespace zrpal
