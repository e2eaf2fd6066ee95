// translation/dlgxl.cpp - dialog template rewriting, menu and window text
// translation (see dlgxl.h).
//
// Titles are translated as TranslateWithContextW does (the context joined
// with the text strictly, then the text alone), the face name without a
// context. A layout rectangle holds edge deltas: the control's left and top
// edges move by (left, top), its right and bottom edges by (right, bottom);
// the results are stored back into the template's 16-bit fields, so they
// wrap as the dialog units of Windows do.
#include "translation/dlgxl.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pal/user/dlgtemplate.h"
#include "pal/user/menu.h"
#include "pal/user/window.h"
#include "translation/lookup.h"
#include "zr/translation.h"

namespace zr {

namespace {

namespace dlg = zrpal::dlg;

constexpr UINT kMenuGrayed = 0x0001;
constexpr UINT kMenuDisabled = 0x0002;
constexpr UINT kMenuChecked = 0x0008;
constexpr UINT kMenuPopup = 0x0010;
constexpr UINT kMenuByPosition = 0x0400;
constexpr UINT kMenuStateInvalid = 0xFFFFFFFF;
constexpr int kMenuTextWithContext = 512;
constexpr int kMenuTextWithoutContext = 256;
// Menus nest; a template cannot make a cycle, but a bound keeps a damaged
// menu tree from recursing without end.
constexpr int kMaxMenuDepth = 32;
constexpr int kWindowTextUnits = 1024;

// The translation of `text` with `context`, or `text` when the result is
// empty.
std::u16string TranslateTitle(CTranslationTable* table, const std::u16string& text,
                              const WCHAR* context) {
  if (text.empty()) return text;
  std::vector<WCHAR> buffer(text.begin(), text.end());
  buffer.push_back(0);
  const int capacity = static_cast<int>(buffer.size());
  const int measured = TranslateWithContextW(table, buffer.data(), capacity, context, true);
  if (measured <= 0) return text;
  if (measured + 1 > capacity) buffer.resize(static_cast<std::size_t>(measured) + 1, 0);
  const int length =
      TranslateWithContextW(table, buffer.data(), static_cast<int>(buffer.size()), context, false);
  if (length <= 0) return text;
  return std::u16string(buffer.data(), static_cast<std::size_t>(length));
}

void TranslateName(CTranslationTable* table, dlg::NameOrOrdinal* name, const WCHAR* context) {
  if (name->IsText()) name->text = TranslateTitle(table, name->text, context);
}

short Moved(int value) { return static_cast<short>(value); }

void ApplyLayout(const ZRDlgPos& layout, dlg::DialogForm* form) {
  form->cx = Moved(form->cx + layout.dialogSize.cx);
  form->cy = Moved(form->cy + layout.dialogSize.cy);
  auto& controls = const_cast<ZRDlgPos&>(layout).controls;
  for (dlg::DialogItem& item : form->items) {
    tagRECT r{};
    if (!controls.Lookup(static_cast<unsigned int>(item.id), r)) continue;
    const int x = item.x + r.left;
    const int y = item.y + r.top;
    const int cx = item.x + item.cx + r.right - x;
    const int cy = item.y + item.cy + r.bottom - y;
    item.x = Moved(x);
    item.y = Moved(y);
    item.cx = Moved(cx);
    item.cy = Moved(cy);
  }
}

void TranslateMenuLevel(CTranslationTable* table, zrpal::HMENU menu, const WCHAR* context,
                        bool withContext, int depth) {
  if (!menu || depth > kMaxMenuDepth) return;
  const int count = zrpal::GetMenuItemCount(menu);
  const int capacity = withContext ? kMenuTextWithContext : kMenuTextWithoutContext;
  for (int position = 0; position < count; ++position) {
    const UINT at = static_cast<UINT>(position);
    WCHAR text[kMenuTextWithContext] = {};
    if (zrpal::GetMenuStringW(menu, at, text, capacity, kMenuByPosition) <= 0) continue;
    if (withContext)
      TranslateWithContextW(table, text, capacity, context, false);
    else
      TranslateInPlaceW(table, text, capacity);
    const UINT state = zrpal::GetMenuState(menu, at, kMenuByPosition);
    // The disabled bit is carried with the grayed and checked ones, so a
    // disabled item stays disabled after the rewrite.
    const UINT flags =
        state == kMenuStateInvalid ? 0 : state & (kMenuGrayed | kMenuDisabled | kMenuChecked);
    if (zrpal::HMENU sub = zrpal::GetSubMenu(menu, position)) {
      zrpal::ModifyMenuW(menu, at, flags | kMenuByPosition | kMenuPopup,
                         reinterpret_cast<zrpal::UINT_PTR>(sub), text);
      TranslateMenuLevel(table, sub, context, withContext, depth + 1);
    } else if (state != kMenuStateInvalid && !(state & kMenuPopup)) {
      const UINT id = zrpal::GetMenuItemID(menu, position);
      if (id != 0) zrpal::ModifyMenuW(menu, at, flags | kMenuByPosition, id, text);
    }
  }
}

bool HasEntries(CTranslationTable* table) { return table && table->GetEntryCount() > 0; }

}  // namespace

void* TranslateDialogTemplate(CTranslationTable* table, const void* tpl, std::size_t available,
                              const ZRDlgPos* layout, DWORD* outSize, const char* context) {
  *outSize = 0;
  if (!tpl) return nullptr;
  if (!HasEntries(table)) return const_cast<void*>(tpl);
  dlg::DialogForm form;
  if (dlg::ParseDialogTemplate(tpl, available, &form) != dlg::ParseResult::kOk) return nullptr;
  const CXStringW wideContext(context);
  const WCHAR* ctx = context ? static_cast<const WCHAR*>(wideContext) : nullptr;

  TranslateName(table, &form.title, ctx);
  if (form.HasFont()) {
    if (table->m_replaceFont) {
      form.pointSize = table->GetFontPointSize();
      // The weight word takes the point size too, as Windows' rewrite does.
      form.weight = form.pointSize;
      form.italic = 0;
      form.charset = 0;
      const WCHAR* face = LookupW(table, table->GetFontFace(), false);
      form.face = face ? face : u"";
    } else if (const WCHAR* face = LookupW(table, form.face.c_str(), false)) {
      form.face = face;
    }
  }
  for (dlg::DialogItem& item : form.items) {
    const bool translated = item.windowClass.IsOrdinal() &&
                            (item.windowClass.ordinal == dlg::kClassButton ||
                             item.windowClass.ordinal == dlg::kClassStatic);
    if (translated) TranslateName(table, &item.title, ctx);
  }
  if (layout) ApplyLayout(*layout, &form);

  std::vector<BYTE> bytes;
  if (!dlg::WriteDialogTemplate(form, &bytes)) return nullptr;
  void* copy = std::malloc(bytes.size());
  if (!copy) return nullptr;
  std::memcpy(copy, bytes.data(), bytes.size());
  *outSize = static_cast<DWORD>(bytes.size());
  return copy;
}

void* TranslateDialogTemplate(const void* tpl, std::size_t available, DWORD* outSize,
                              const char* context) {
  return TranslateDialogTemplate(TranslationTable(), tpl, available, nullptr, outSize, context);
}

void* TranslateDialogTemplateWithLayout(const void* tpl, std::size_t available, ULONG keyHash,
                                        DWORD* outSize, const char* context) {
  CTranslationTable* table = TranslationTable();
  const ZRDlgPos* layout = table ? table->FindLayout(keyHash) : nullptr;
  return TranslateDialogTemplate(table, tpl, available, layout, outSize, context);
}

void TranslateMenu(CTranslationTable* table, HMENU menu, const WCHAR* context) {
  if (!HasEntries(table)) return;
  TranslateMenuLevel(table, menu, context, true, 0);
}

void TranslateMenu(HMENU menu, const WCHAR* context) {
  TranslateMenu(TranslationTable(), menu, context);
}

void TranslateMenuWithoutContext(HMENU menu) {
  CTranslationTable* table = TranslationTable();
  if (!HasEntries(table)) return;
  TranslateMenuLevel(table, menu, nullptr, false, 0);
}

}  // namespace zr

int Supp_Translate(HWND window) {
  zr::CTranslationTable* table = zr::TranslationTable();
  if (!table || table->GetEntryCount() == 0) return 1;
  WCHAR text[zr::kWindowTextUnits] = {};
  if (zrpal::GetWindowTextW(window, text, zr::kWindowTextUnits) > 0) {
    zr::TranslateInPlaceW(table, text, zr::kWindowTextUnits);
    zrpal::SetWindowTextW(window, text);
  }
  return 1;
}

int Supp_Translate(HMENU menu) {
  zr::TranslateMenuWithoutContext(menu);
  return 1;
}
