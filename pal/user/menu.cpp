// pal/user/menu.cpp - menus as handle-table objects; menu templates.
//
// Invariants: a pop-up item's `submenu` is a live menu handle owned by that
// item (DestroyMenu of the parent destroys it); an item without MF_POPUP has
// no submenu. Walks by command identifier descend into submenus at most
// kMaxMenuDepth levels, so a menu made its own submenu (which Windows does
// not prevent either) cannot loop forever.
#include "pal/user/menu.h"

#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "pal/codepage.h"
#include "pal/error.h"
#include "pal/handle.h"
#include "pal/user/resource.h"
#include "pal/user/resname.h"

namespace zrpal {

namespace {

constexpr UINT kAcceptedFlags = MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_POPUP | MF_MENUBARBREAK |
                                MF_MENUBREAK | MF_HILITE | MF_BYPOSITION | MF_SEPARATOR |
                                MF_DEFAULT | MF_RIGHTJUSTIFY;
constexpr UINT kItemFlagMask = kAcceptedFlags & ~MF_BYPOSITION;
constexpr UINT kNoItem = 0xFFFFFFFF;

struct MenuItem {
  UINT flags = 0;
  UINT id = 0;
  HMENU submenu = nullptr;
  std::u16string text;
};

class MenuObject final : public HandleObject {
 public:
  MenuObject() : HandleObject(HandleKind::Menu) {}
  std::mutex m_lock;
  std::vector<MenuItem> m_items;
};

HandleRef<MenuObject> Ref(HMENU menu) {
  auto ref = ReferenceHandle<MenuObject>(menu, KindBit(HandleKind::Menu));
  if (!ref) SetLastError(ERROR_INVALID_MENU_HANDLE);
  return ref;
}

bool CheckFlags(UINT flags) {
  if ((flags & ~kAcceptedFlags) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return true;
}

// Builds an item from AppendMenu/ModifyMenu arguments.
bool MakeItem(UINT flags, UINT_PTR id, LPCWSTR text, MenuItem* out) {
  out->flags = flags & kItemFlagMask;
  out->submenu = nullptr;
  out->id = 0;
  if (flags & MF_POPUP) {
    out->submenu = reinterpret_cast<HMENU>(id);
    if (!Ref(out->submenu)) return false;
  } else {
    out->id = static_cast<UINT>(id);
  }
  out->text = (text && !(flags & MF_SEPARATOR)) ? std::u16string(text) : std::u16string();
  return true;
}

HMENU NewMenu() {
  MenuObject* object = new (std::nothrow) MenuObject();
  if (!object) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return static_cast<HMENU>(InsertHandle(object));
}

// Finds the item `item` names (by position or by command, depth-first), and
// calls f(menu object, index) with that menu's lock held. False when absent.
template <class F>
bool WithItem(HMENU menu, UINT item, UINT flags, F f, unsigned depth = 0) {
  auto ref = Ref(menu);
  if (!ref) return false;
  std::vector<HMENU> submenus;
  {
    std::lock_guard<std::mutex> hold(ref->m_lock);
    auto& items = ref->m_items;
    if (flags & MF_BYPOSITION) {
      if (item >= items.size()) return false;
      f(*ref.get(), item);
      return true;
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (!(items[i].flags & MF_POPUP) && items[i].id == item) {
        f(*ref.get(), i);
        return true;
      }
      if (items[i].submenu) submenus.push_back(items[i].submenu);
    }
  }
  if (depth + 1 >= kMaxMenuDepth) return false;
  for (HMENU sub : submenus)
    if (WithItem(sub, item, flags, f, depth + 1)) return true;
  return false;
}

// A template reader with the bounds of the block.
class TemplateReader {
 public:
  TemplateReader(const BYTE* data, std::size_t size) : m_data(data), m_size(size) {}
  bool Read(void* out, std::size_t n) {
    if (m_size - m_pos < n) return false;
    std::memcpy(out, m_data + m_pos, n);
    m_pos += n;
    return true;
  }
  bool Skip(std::size_t n) {
    if (m_size - m_pos < n) return false;
    m_pos += n;
    return true;
  }
  bool Align(std::size_t a) { return Skip((a - m_pos % a) % a); }
  bool String(std::u16string* out) {
    out->clear();
    for (;;) {
      WORD unit;
      if (!Read(&unit, sizeof unit)) return false;
      if (unit == 0) return true;
      out->push_back(static_cast<char16_t>(unit));
    }
  }

 private:
  const BYTE* m_data;
  std::size_t m_size;
  std::size_t m_pos = 0;
};

bool Append(HMENU menu, MenuItem item) {
  auto ref = Ref(menu);
  if (!ref) return false;
  std::lock_guard<std::mutex> hold(ref->m_lock);
  ref->m_items.push_back(std::move(item));
  return true;
}

// Reads one level of a MENU template into `menu`.
bool ReadStandardLevel(TemplateReader& r, HMENU menu, unsigned depth) {
  if (depth >= kMaxMenuDepth) return false;
  for (;;) {
    WORD flags;
    if (!r.Read(&flags, sizeof flags)) return false;
    MenuItem item;
    item.flags = flags & kItemFlagMask & ~MF_END;
    WORD id = 0;
    if (!(flags & MF_POPUP) && !r.Read(&id, sizeof id)) return false;
    item.id = id;
    if (!r.String(&item.text)) return false;
    // A command item with identifier 0 and no text is a separator.
    if (!(flags & MF_POPUP) && id == 0 && item.text.empty()) item.flags |= MF_SEPARATOR;
    if (flags & MF_POPUP) {
      item.submenu = CreatePopupMenu();
      if (!item.submenu) return false;
      if (!Append(menu, item)) return false;
      if (!ReadStandardLevel(r, item.submenu, depth + 1)) return false;
    } else if (!Append(menu, std::move(item))) {
      return false;
    }
    if (flags & MF_END) return true;
  }
}

constexpr WORD kExResInfoPopup = 0x01;
constexpr WORD kExResInfoLast = 0x80;

// Reads one level of a MENUEX template into `menu`.
bool ReadExtendedLevel(TemplateReader& r, HMENU menu, unsigned depth) {
  if (depth >= kMaxMenuDepth) return false;
  for (;;) {
    DWORD type, state, id;
    WORD resInfo;
    if (!r.Read(&type, 4) || !r.Read(&state, 4) || !r.Read(&id, 4) || !r.Read(&resInfo, 2))
      return false;
    MenuItem item;
    item.flags = (type | state) & kItemFlagMask & ~MF_POPUP;
    item.id = id;
    if (!r.String(&item.text) || !r.Align(4)) return false;
    if (resInfo & kExResInfoPopup) {
      item.flags |= MF_POPUP;
      item.id = 0;
      if (!r.Skip(4)) return false;  // the pop-up's help identifier
      item.submenu = CreatePopupMenu();
      if (!item.submenu) return false;
      if (!Append(menu, item)) return false;
      if (!ReadExtendedLevel(r, item.submenu, depth + 1)) return false;
    } else if (!Append(menu, std::move(item))) {
      return false;
    }
    if (resInfo & kExResInfoLast) return true;
  }
}

}  // namespace

HMENU CreateMenu() { return NewMenu(); }
HMENU CreatePopupMenu() { return NewMenu(); }

BOOL DestroyMenu(HMENU menu) {
  std::vector<HMENU> submenus;
  {
    auto ref = Ref(menu);
    if (!ref) return FALSE;
    std::lock_guard<std::mutex> hold(ref->m_lock);
    for (const MenuItem& item : ref->m_items)
      if (item.submenu && item.submenu != menu) submenus.push_back(item.submenu);
  }
  if (CloseTableHandle(menu, HandleFamily::User) != ERROR_SUCCESS) {
    SetLastError(ERROR_INVALID_MENU_HANDLE);
    return FALSE;
  }
  // A submenu already destroyed (or shared and destroyed through another
  // parent) is simply skipped.
  for (HMENU sub : submenus) DestroyMenu(sub);
  return TRUE;
}

BOOL AppendMenuW(HMENU menu, UINT flags, UINT_PTR id, LPCWSTR text) try {
  if (!CheckFlags(flags)) return FALSE;
  MenuItem item;
  if (!MakeItem(flags, id, text, &item)) return FALSE;
  return Append(menu, std::move(item)) ? TRUE : FALSE;
} catch (const std::bad_alloc&) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return FALSE;
}

BOOL ModifyMenuW(HMENU menu, UINT position, UINT flags, UINT_PTR id, LPCWSTR text) try {
  if (!CheckFlags(flags)) return FALSE;
  MenuItem item;
  if (!MakeItem(flags, id, text, &item)) return FALSE;
  HMENU dropped = nullptr;
  const bool found = WithItem(menu, position, flags, [&](MenuObject& m, std::size_t i) {
    if (m.m_items[i].submenu != item.submenu) dropped = m.m_items[i].submenu;
    m.m_items[i] = item;
  });
  if (!found) {
    SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
    return FALSE;
  }
  if (dropped) DestroyMenu(dropped);
  return TRUE;
} catch (const std::bad_alloc&) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return FALSE;
}

int GetMenuItemCount(HMENU menu) {
  auto ref = Ref(menu);
  if (!ref) return -1;
  std::lock_guard<std::mutex> hold(ref->m_lock);
  return static_cast<int>(ref->m_items.size());
}

HMENU GetSubMenu(HMENU menu, int position) {
  HMENU sub = nullptr;
  if (position < 0) return nullptr;
  WithItem(menu, static_cast<UINT>(position), MF_BYPOSITION,
           [&](MenuObject& m, std::size_t i) { sub = m.m_items[i].submenu; });
  return sub;
}

UINT GetMenuItemID(HMENU menu, int position) {
  UINT id = kNoItem;
  if (position < 0) return id;
  WithItem(menu, static_cast<UINT>(position), MF_BYPOSITION, [&](MenuObject& m, std::size_t i) {
    if (!(m.m_items[i].flags & MF_POPUP)) id = m.m_items[i].id;
  });
  return id;
}

UINT GetMenuState(HMENU menu, UINT item, UINT flags) {
  UINT state = kNoItem;
  HMENU sub = nullptr;
  WithItem(menu, item, flags, [&](MenuObject& m, std::size_t i) {
    state = m.m_items[i].flags;
    sub = m.m_items[i].submenu;
  });
  if (state != kNoItem && sub) {
    const int count = GetMenuItemCount(sub);
    state = (static_cast<UINT>(count < 0 ? 0 : count) << 8) | (state & 0xFF);
  }
  return state;
}

int GetMenuStringW(HMENU menu, UINT item, LPWSTR text, int maxCount, UINT flags) {
  int result = 0;
  if (maxCount > 0 && !text) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  WithItem(menu, item, flags, [&](MenuObject& m, std::size_t i) {
    const std::u16string& s = m.m_items[i].text;
    if (maxCount <= 0) {
      result = static_cast<int>(s.size());
      return;
    }
    const std::size_t n = std::min<std::size_t>(s.size(), static_cast<std::size_t>(maxCount) - 1);
    std::memcpy(text, s.data(), n * sizeof(WCHAR));
    text[n] = 0;
    result = static_cast<int>(n);
  });
  return result;
}

int GetMenuStringA(HMENU menu, UINT item, LPSTR text, int maxCount, UINT flags) try {
  const int length = GetMenuStringW(menu, item, nullptr, 0, flags);
  std::u16string wide(static_cast<std::size_t>(length) + 1, u'\0');
  GetMenuStringW(menu, item, wide.data(), length + 1, flags);
  if (maxCount <= 0 || !text) return WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  return WideToAnsiTerminated(wide.data(), length, text, maxCount);
} catch (const std::bad_alloc&) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return 0;
}

HMENU LoadMenuFromTemplate(const void* menuTemplate, std::size_t size) try {
  if (!menuTemplate) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  TemplateReader r(static_cast<const BYTE*>(menuTemplate), size);
  WORD version, offset;
  if (!r.Read(&version, 2) || !r.Read(&offset, 2) || version > 1 || !r.Skip(offset)) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  HMENU menu = CreateMenu();
  if (!menu) return nullptr;
  const bool ok = version == 0 ? ReadStandardLevel(r, menu, 0) : ReadExtendedLevel(r, menu, 0);
  if (!ok) {
    DestroyMenu(menu);
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  return menu;
} catch (const std::bad_alloc&) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return nullptr;
}

HMENU LoadMenuIndirectW(const void* menuTemplate) {
  return LoadMenuFromTemplate(menuTemplate, kMaxMenuTemplateSize);
}
HMENU LoadMenuIndirectA(const void* menuTemplate) { return LoadMenuIndirectW(menuTemplate); }

HMENU LoadMenuW(HINSTANCE instance, LPCWSTR name) {
  HRSRC found = FindResourceW(instance, name, MAKEINTRESOURCEW(RT_MENU));
  if (!found) return nullptr;
  const void* data = LoadResource(instance, found);
  if (!data) return nullptr;
  return LoadMenuFromTemplate(data, SizeofResource(instance, found));
}

HMENU LoadMenuA(HINSTANCE instance, LPCSTR name) {
  WideResourceName wide(name);
  if (!wide.Ok()) return nullptr;
  return LoadMenuW(instance, wide.Get());
}

}  // namespace zrpal
