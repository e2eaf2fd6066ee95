// pal/user/menu.h - menus as objects without a display.
//
// A menu is a handle-table object (kind Menu) holding its items in order;
// an item is a command (identifier), a separator, or a pop-up that owns a
// submenu. Nothing is drawn; programs build, load, inspect and rewrite menus
// exactly as on Windows, and translation rewrites them item by item.
// DestroyMenu destroys a menu and its submenus. Each menu has a lock, so
// calls on one menu from several threads are safe (Windows serialises them
// too).
#pragma once

#include <cstddef>
#include <cstdint>

#include "pal/types.h"

namespace zrpal {

using ::HMENU;  // the library's public menu handle (zr/zrtypes.h)
using UINT_PTR = std::uintptr_t;

// The user-interface component's error codes.
inline constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;
inline constexpr DWORD ERROR_INVALID_MENU_HANDLE = 1401;
inline constexpr DWORD ERROR_CONTROL_ID_NOT_FOUND = 1421;
inline constexpr DWORD ERROR_MENU_ITEM_NOT_FOUND = 1456;

inline constexpr UINT MF_BYCOMMAND = 0x0000;
inline constexpr UINT MF_STRING = 0x0000;
inline constexpr UINT MF_ENABLED = 0x0000;
inline constexpr UINT MF_UNCHECKED = 0x0000;
inline constexpr UINT MF_GRAYED = 0x0001;
inline constexpr UINT MF_DISABLED = 0x0002;
inline constexpr UINT MF_BITMAP = 0x0004;
inline constexpr UINT MF_CHECKED = 0x0008;
inline constexpr UINT MF_POPUP = 0x0010;
inline constexpr UINT MF_MENUBARBREAK = 0x0020;
inline constexpr UINT MF_MENUBREAK = 0x0040;
inline constexpr UINT MF_END = 0x0080;  // in templates: the level's last item
inline constexpr UINT MF_HILITE = 0x0080;
inline constexpr UINT MF_OWNERDRAW = 0x0100;
inline constexpr UINT MF_BYPOSITION = 0x0400;
inline constexpr UINT MF_SEPARATOR = 0x0800;
inline constexpr UINT MF_DEFAULT = 0x1000;
inline constexpr UINT MF_RIGHTJUSTIFY = 0x4000;

// Menu template bounds: nesting deeper than this is refused (Windows has a
// similar limit), and LoadMenuIndirect, which gets no size, reads at most
// kMaxMenuTemplateSize bytes.
inline constexpr unsigned kMaxMenuDepth = 32;
inline constexpr std::size_t kMaxMenuTemplateSize = 1u << 20;

HMENU CreateMenu();
HMENU CreatePopupMenu();
// Destroys `menu` and, recursively, the submenus of its pop-up items.
BOOL DestroyMenu(HMENU menu);

// Appends an item. Accepted flags: MF_STRING, MF_SEPARATOR, MF_POPUP (`id`
// is then the submenu, which the menu takes over), MF_GRAYED, MF_DISABLED,
// MF_CHECKED, MF_MENUBREAK, MF_MENUBARBREAK, MF_HILITE, MF_DEFAULT,
// MF_RIGHTJUSTIFY. MF_BITMAP and MF_OWNERDRAW (drawn items) fail with
// ERROR_INVALID_PARAMETER.
BOOL AppendMenuW(HMENU menu, UINT flags, UINT_PTR id, LPCWSTR text);
// Replaces item `position` (MF_BYPOSITION: an index; else a command
// identifier, searched in submenus too) with the new flags, identifier and
// text, flags as AppendMenuW. A replaced item's submenu is destroyed unless
// the new item keeps it, as on Windows.
BOOL ModifyMenuW(HMENU menu, UINT position, UINT flags, UINT_PTR id, LPCWSTR text);

// The number of items, or -1 (ERROR_INVALID_MENU_HANDLE).
int GetMenuItemCount(HMENU menu);
// The submenu of the pop-up item at `position`; null for other items.
HMENU GetSubMenu(HMENU menu, int position);
// The identifier of the item at `position`; 0xFFFFFFFF for pop-ups and
// missing items.
UINT GetMenuItemID(HMENU menu, int position);
// The item's flags; for a pop-up the submenu's item count in the high byte
// and the flags in the low byte. 0xFFFFFFFF when there is no such item.
UINT GetMenuState(HMENU menu, UINT item, UINT flags);
// Copies the item's text (cut to maxCount - 1 characters and terminated);
// returns the characters copied, or with maxCount 0 the text's length. 0
// for a missing item or one without text.
int GetMenuStringW(HMENU menu, UINT item, LPWSTR text, int maxCount, UINT flags);
int GetMenuStringA(HMENU menu, UINT item, LPSTR text, int maxCount, UINT flags);

// Builds a menu from a MENU or MENUEX template (RT_MENU's data).
// LoadMenuIndirectW reads at most kMaxMenuTemplateSize bytes; null and
// ERROR_INVALID_DATA for a template that is not well formed.
HMENU LoadMenuIndirectW(const void* menuTemplate);
HMENU LoadMenuIndirectA(const void* menuTemplate);
// The same with the template's size known: nothing past it is read.
HMENU LoadMenuFromTemplate(const void* menuTemplate, std::size_t size);
// The menu resource `name` of `instance` (RT_MENU), built as above.
HMENU LoadMenuW(HINSTANCE instance, LPCWSTR name);
HMENU LoadMenuA(HINSTANCE instance, LPCSTR name);

}  // namespace zrpal
