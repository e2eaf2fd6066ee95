// translation/dlgxl.h - dialog templates, menus and window texts turned into
// their translated form, over the process's translation table.
//
// Dialog templates are parsed (pal/user/dlgtemplate.h), edited and written
// back, so the result is always a well-formed template of the same form
// (standard or extended) with the same items in the same order, identifiers,
// class and title ordinals, creation data and 4-byte item alignment. The
// rewrite changes: the dialog title, the titles of buttons and static
// controls given by class ordinal (never those of other classes, nor of
// controls whose class is given by name), the font (the table's dialog font
// unless the table's m_replaceFont is 0), and, with a layout, the dialog's
// size and the edges of the controls the layout names.
#pragma once

#include <cstddef>

#include "translation/table.h"
#include "zr/zrtypes.h"

namespace zr {

// The template's bytes are read within [tpl, tpl + available); an indirect
// template whose size is unknown is given zrpal::dlg::kMaxIndirectTemplateSize
// (the parse stops at the template's end).
//
// Returns a new template in a malloc block (the caller frees it with free)
// and its size in *outSize; `tpl` itself with *outSize 0 when the table holds
// no entries; null with *outSize 0 when the template cannot be read or the
// copy cannot be made. `context` is an 8-bit resource key or null.
void* TranslateDialogTemplate(const void* tpl, std::size_t available, DWORD* outSize,
                              const char* context);
// The same, applying the layout stored under `keyHash` when there is one.
void* TranslateDialogTemplateWithLayout(const void* tpl, std::size_t available, ULONG keyHash,
                                        DWORD* outSize, const char* context);
// The same over a given table and layout (null: none); for tools and tests.
void* TranslateDialogTemplate(CTranslationTable* table, const void* tpl, std::size_t available,
                              const ZRDlgPos* layout, DWORD* outSize, const char* context);

// Rewrites the menu's items in place (and its submenus, to a bounded depth).
// `context` is a wide resource key (null: none).
void TranslateMenu(HMENU menu, const WCHAR* context);
// The walk without a context: each text is translated on its own.
void TranslateMenuWithoutContext(HMENU menu);
void TranslateMenu(CTranslationTable* table, HMENU menu, const WCHAR* context);

}  // namespace zr
