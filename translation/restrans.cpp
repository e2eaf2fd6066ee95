// translation/restrans.cpp - the replacement functions of the resource
// interception, the resource records and the patching of modules.
//
// Invariants:
// - Every saved platform function starts as the platform layer's own
//   function of that name and is overwritten only with the entry point a
//   module patch resolved, so a replacement can always call through it.
// - With translation disabled (Supp_IsTranslationEnable() == 0) every
//   replacement calls the saved platform function with its arguments
//   unchanged and returns its result.
// - A record (translation/resrecord.cpp) is created once per (module,
//   platform handle) pair; its copy, once made, is returned by every later
//   load and is never handed to the platform's FreeResource.
#include "translation/restrans.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/module_state.h"
#include "pal/image/imports.h"
#include "pal/module.h"
#include "pal/security/security.h"
#include "pal/user/dlgtemplate.h"
#include "pal/user/menu.h"
#include "pal/user/resource.h"
#include "pal/user/window.h"
#include "translation/dlgxl.h"
#include "translation/hookproc.h"
#include "translation/lookup.h"
#include "translation/resource_key.h"
#include "translation/table.h"
#include "zr/translation.h"

namespace zr {

namespace {

using zrpal::DLGPROC;
using zrpal::FALSE;
using zrpal::INT_PTR;
using zrpal::LPCSTR;
using zrpal::LPCWSTR;
using zrpal::LPSTR;
using zrpal::LPVOID;
using zrpal::LPWSTR;
using zrpal::HGLOBAL;
using zrpal::HMENU;
using zrpal::HRSRC;
using zrpal::LPARAM;
using zrpal::MSGBOXPARAMSA;
using zrpal::MSGBOXPARAMSW;

constexpr int kMessageBoxText = 1024;
constexpr std::uintptr_t kFirstTextName = 0x10000;
constexpr WORD kRtMenu = zrpal::RT_MENU;
constexpr WORD kRtDialog = zrpal::RT_DIALOG;
constexpr WORD kRtString = zrpal::RT_STRING;

// Saved platform functions: the platform layer's own until a patch resolves
// the entry point of that name.
template <auto F>
struct Saved {
  static inline decltype(F) fn = F;
};
#define ZR_SAVED(name) ::zr::Saved<&zrpal::name>::fn

bool Enabled() { return Supp_IsTranslationEnable() != 0; }

// ---- records ------------------------------------------------------------

int KindOfType(WORD type) {
  switch (type) {
    case kRtDialog: return kResourceKindDialog;
    case kRtMenu: return kResourceKindMenu;
    case kRtString: return kResourceKindStringTable;
    default: return 0;
  }
}

template <class C>
WORD TypeOrdinal(const C* type) {
  const auto value = reinterpret_cast<std::uintptr_t>(type);
  return value < kFirstTextName ? static_cast<WORD>(value) : 0;
}

template <class C>
HRSRC Record(HMODULE module, HRSRC handle, WORD type, const C* name) {
  const int kind = KindOfType(type);
  if (!handle || kind == 0) return handle;
  if (ResourceRecord* r = FindRecordOf(module, handle)) return reinterpret_cast<HRSRC>(r);
  const CXString key = name ? ResourceKeyA(module, kind, name) : CXString();
  ResourceRecord* r = AddResourceRecord(module, handle, type, key);
  if (!r) return handle;
  // Callers ask for the size before loading, as they do on Windows.
  r->size = ZR_SAVED(SizeofResource)(module, handle);
  return reinterpret_cast<HRSRC>(r);
}

// ---- replacements: resources -----------------------------------------------

HRSRC XlFindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
  HRSRC handle = ZR_SAVED(FindResourceA)(module, name, type);
  if (!Enabled()) return handle;
  return Record(module, handle, TypeOrdinal(type), name);
}
HRSRC XlFindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
  HRSRC handle = ZR_SAVED(FindResourceW)(module, name, type);
  if (!Enabled()) return handle;
  return Record(module, handle, TypeOrdinal(type), name);
}
HRSRC XlFindResourceExA(HMODULE module, LPCSTR type, LPCSTR name, WORD language) {
  HRSRC handle = ZR_SAVED(FindResourceExA)(module, type, name, language);
  if (!Enabled()) return handle;
  return Record(module, handle, TypeOrdinal(type), name);
}
HRSRC XlFindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language) {
  HRSRC handle = ZR_SAVED(FindResourceExW)(module, type, name, language);
  if (!Enabled()) return handle;
  return Record(module, handle, TypeOrdinal(type), name);
}

HGLOBAL XlLoadResource(HMODULE module, HRSRC handle) {
  ResourceRecord* r = Enabled() ? FindResourceRecord(handle) : nullptr;
  if (!r) return ZR_SAVED(LoadResource)(module, handle);
  if (r->copy) return r->copy;
  auto platform = static_cast<HRSRC>(r->platformHandle);
  r->loaded = ZR_SAVED(LoadResource)(r->module, platform);
  r->size = ZR_SAVED(SizeofResource)(r->module, platform);
  if (!r->loaded) return nullptr;
  const void* data = ZR_SAVED(LockResource)(r->loaded);
  DWORD copySize = 0;
  if (r->type == kRtString) {
    r->copy = TranslateStringTableBlock(TranslationTable(), data, r->size, r->key, &copySize);
    if (!r->copy) return r->loaded;
    r->size = copySize;
    return r->copy;
  }
  if (r->type == kRtDialog) {
    void* copy = TranslateDialogTemplateWithLayout(data, r->size, r->keyHash, &copySize, r->key);
    if (!copy || copy == data) return r->loaded;
    r->copy = copy;
    if (copySize) r->size = copySize;
    return r->copy;
  }
  return r->loaded;
}

LPVOID XlLockResource(HGLOBAL data) {
  if (!Enabled()) return ZR_SAVED(LockResource)(data);
  return data;
}

DWORD XlSizeofResource(HMODULE module, HRSRC handle) {
  if (ResourceRecord* r = Enabled() ? FindResourceRecord(handle) : nullptr) return r->size;
  return ZR_SAVED(SizeofResource)(module, handle);
}

// A translated copy stays with its record (later loads return it): freeing
// it reports success, as Windows' FreeResource does for any handle, and
// releases nothing.
zrpal::BOOL XlFreeResource(HGLOBAL data) {
  if (Enabled() && data && (IsRecordCopy(data) || FindResourceRecord(data))) return FALSE;
  return ZR_SAVED(FreeResource)(data);
}

// ---- replacements: strings and menus ----------------------------------------

int XlLoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int capacity) {
  const int loaded = ZR_SAVED(LoadStringA)(instance, id, buffer, capacity);
  if (!Enabled() || !buffer || capacity <= 0) return loaded;
  if (id < kFirstTextName) {
    const CXString key = ResourceKeyA(
        instance, kResourceKindStringTable, zrpal::MAKEINTRESOURCEA(static_cast<WORD>(StringTableBlock(id))));
    return TranslateWithContextA(buffer, capacity, key, false);
  }
  return TranslateWithContextA(buffer, capacity, nullptr, false);
}

int XlLoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int capacity) {
  const int loaded = ZR_SAVED(LoadStringW)(instance, id, buffer, capacity);
  if (!Enabled() || !buffer || capacity <= 0) return loaded;
  if (id < kFirstTextName) {
    const CXStringW key = ResourceKeyW(
        instance, kResourceKindStringTable, zrpal::MAKEINTRESOURCEW(static_cast<WORD>(StringTableBlock(id))));
    return TranslateWithContextW(buffer, capacity, key, false);
  }
  return TranslateWithContextW(buffer, capacity, nullptr, false);
}

HMENU XlLoadMenuA(HINSTANCE instance, LPCSTR name) {
  HMENU menu = ZR_SAVED(LoadMenuA)(instance, name);
  if (menu && Enabled()) TranslateMenu(menu, CXStringW(ResourceKeyA(instance, kResourceKindMenu, name)));
  return menu;
}
HMENU XlLoadMenuW(HINSTANCE instance, LPCWSTR name) {
  HMENU menu = ZR_SAVED(LoadMenuW)(instance, name);
  if (menu && Enabled()) TranslateMenu(menu, ResourceKeyW(instance, kResourceKindMenu, name));
  return menu;
}
HMENU XlLoadMenuIndirectA(const void* menuTemplate) {
  HMENU menu = ZR_SAVED(LoadMenuIndirectA)(menuTemplate);
  if (menu && Enabled()) TranslateMenuWithoutContext(menu);
  return menu;
}

// ---- replacements: dialogs -------------------------------------------------

// The translated template of a dialog resource through the find and load
// replacements; null when it cannot be found or loaded.
template <class C>
const void* DialogTemplate(HINSTANCE instance, const C* name) {
  HRSRC found;
  if constexpr (sizeof(C) == 1)
    found = XlFindResourceA(instance, name, zrpal::MAKEINTRESOURCEA(kRtDialog));
  else
    found = XlFindResourceW(instance, name, zrpal::MAKEINTRESOURCEW(kRtDialog));
  if (!found) return nullptr;
  HGLOBAL loaded = XlLoadResource(instance, found);
  return loaded ? XlLockResource(loaded) : nullptr;
}

// Only the platform's own loaded data goes back to the platform.
void ReleaseTemplate(const void* tpl) {
  if (!IsRecordCopy(tpl)) ZR_SAVED(FreeResource)(const_cast<void*>(tpl));
}

INT_PTR XlDialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND parent, DLGPROC proc, LPARAM param) {
  if (!Enabled()) return ZR_SAVED(DialogBoxParamA)(instance, name, parent, proc, param);
  const void* tpl = DialogTemplate(instance, name);
  if (!tpl) return 0;
  const INT_PTR result = ZR_SAVED(DialogBoxIndirectParamA)(instance, tpl, parent, proc, param);
  ReleaseTemplate(tpl);
  return result;
}
INT_PTR XlDialogBoxParamW(HINSTANCE instance, LPCWSTR name, HWND parent, DLGPROC proc, LPARAM param) {
  if (!Enabled()) return ZR_SAVED(DialogBoxParamW)(instance, name, parent, proc, param);
  const void* tpl = DialogTemplate(instance, name);
  if (!tpl) return 0;
  const INT_PTR result = ZR_SAVED(DialogBoxIndirectParamW)(instance, tpl, parent, proc, param);
  ReleaseTemplate(tpl);
  return result;
}
INT_PTR XlDialogBoxA(HINSTANCE instance, LPCSTR name, HWND parent, DLGPROC proc) {
  return XlDialogBoxParamA(instance, name, parent, proc, 0);
}
INT_PTR XlDialogBoxW(HINSTANCE instance, LPCWSTR name, HWND parent, DLGPROC proc) {
  return XlDialogBoxParamW(instance, name, parent, proc, 0);
}
HWND XlCreateDialogParamA(HINSTANCE instance, LPCSTR name, HWND parent, DLGPROC proc, LPARAM param) {
  if (!Enabled()) return ZR_SAVED(CreateDialogParamA)(instance, name, parent, proc, param);
  const void* tpl = DialogTemplate(instance, name);
  if (!tpl) return nullptr;
  HWND dialog = ZR_SAVED(CreateDialogIndirectParamA)(instance, tpl, parent, proc, param);
  ReleaseTemplate(tpl);
  return dialog;
}
HWND XlCreateDialogParamW(HINSTANCE instance, LPCWSTR name, HWND parent, DLGPROC proc, LPARAM param) {
  if (!Enabled()) return ZR_SAVED(CreateDialogParamW)(instance, name, parent, proc, param);
  const void* tpl = DialogTemplate(instance, name);
  if (!tpl) return nullptr;
  HWND dialog = ZR_SAVED(CreateDialogIndirectParamW)(instance, tpl, parent, proc, param);
  ReleaseTemplate(tpl);
  return dialog;
}

// The caller's template translated without context or layout; the caller's
// own template when nothing could be made.
struct IndirectCopy {
  explicit IndirectCopy(const void* tpl) : callers(tpl) {
    DWORD size = 0;
    void* made = TranslateDialogTemplate(tpl, zrpal::dlg::kMaxIndirectTemplateSize, &size, nullptr);
    if (made && made != tpl) copy = made;
  }
  ~IndirectCopy() { std::free(copy); }
  IndirectCopy(const IndirectCopy&) = delete;
  IndirectCopy& operator=(const IndirectCopy&) = delete;
  const void* Get() const { return copy ? copy : callers; }
  const void* callers;  // the caller's template
  void* copy = nullptr;
};

INT_PTR XlDialogBoxIndirectParamA(HINSTANCE instance, const void* tpl, HWND parent, DLGPROC proc,
                                       LPARAM param) {
  if (!Enabled()) return ZR_SAVED(DialogBoxIndirectParamA)(instance, tpl, parent, proc, param);
  IndirectCopy copy(tpl);
  return ZR_SAVED(DialogBoxIndirectParamA)(instance, copy.Get(), parent, proc, param);
}
INT_PTR XlDialogBoxIndirectParamW(HINSTANCE instance, const void* tpl, HWND parent, DLGPROC proc,
                                       LPARAM param) {
  if (!Enabled()) return ZR_SAVED(DialogBoxIndirectParamW)(instance, tpl, parent, proc, param);
  IndirectCopy copy(tpl);
  return ZR_SAVED(DialogBoxIndirectParamW)(instance, copy.Get(), parent, proc, param);
}
// A modeless dialog is built from the template before the call returns, so
// the copy is released here as well.
HWND XlCreateDialogIndirectParamA(HINSTANCE instance, const void* tpl, HWND parent, DLGPROC proc,
                                       LPARAM param) {
  if (!Enabled()) return ZR_SAVED(CreateDialogIndirectParamA)(instance, tpl, parent, proc, param);
  IndirectCopy copy(tpl);
  return ZR_SAVED(CreateDialogIndirectParamA)(instance, copy.Get(), parent, proc, param);
}
HWND XlCreateDialogIndirectParamW(HINSTANCE instance, const void* tpl, HWND parent, DLGPROC proc,
                                       LPARAM param) {
  if (!Enabled()) return ZR_SAVED(CreateDialogIndirectParamW)(instance, tpl, parent, proc, param);
  IndirectCopy copy(tpl);
  return ZR_SAVED(CreateDialogIndirectParamW)(instance, copy.Get(), parent, proc, param);
}

// ---- replacements: message boxes -------------------------------------------

struct BoxText {
  char text[kMessageBoxText] = {};
  char caption[kMessageBoxText] = {};
};

void CopyCut(char* buffer, const char* text) {
  if (text) CXString(text).CopyFit(buffer, kMessageBoxText);
}

int XlMessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  if (!Enabled()) return ZR_SAVED(MessageBoxA)(owner, text, caption, type);
  BoxText box;
  CopyCut(box.text, text);
  CopyCut(box.caption, caption ? caption : "Error");
  TranslateInPlaceA(box.text, kMessageBoxText);
  TranslateInPlaceA(box.caption, kMessageBoxText);
  return ZR_SAVED(MessageBoxA)(owner, box.text, box.caption, type);
}
int XlMessageBoxExA(HWND owner, LPCSTR text, LPCSTR caption, UINT type, WORD language) {
  if (!Enabled()) return ZR_SAVED(MessageBoxExA)(owner, text, caption, type, language);
  BoxText box;
  CopyCut(box.text, text);
  CopyCut(box.caption, caption ? caption : "Error");
  TranslateInPlaceA(box.text, kMessageBoxText);
  TranslateInPlaceA(box.caption, kMessageBoxText);
  return ZR_SAVED(MessageBoxExA)(owner, box.text, box.caption, type, language);
}

// A text of the block: the string resource a MAKEINTRESOURCE value names,
// else the text itself. Only values below 0x10000 are taken as identifiers:
// a text pointer's low bits read as an identifier would load an unrelated
// string of the instance (LoadString uses the low 16 bits).
void BlockText(HINSTANCE instance, LPCSTR value, char* buffer) {
  const auto bits = reinterpret_cast<std::uintptr_t>(value);
  if (bits < kFirstTextName) {
    ZR_SAVED(LoadStringA)(instance, static_cast<UINT>(bits), buffer, kMessageBoxText);
    return;
  }
  CopyCut(buffer, value);
}

int XlMessageBoxIndirectA(const MSGBOXPARAMSA* params) {
  if (!Enabled() || !params) return ZR_SAVED(MessageBoxIndirectA)(params);
  BoxText box;
  BlockText(params->hInstance, params->lpszText, box.text);
  BlockText(params->hInstance, params->lpszCaption, box.caption);
  TranslateInPlaceA(box.text, kMessageBoxText);
  TranslateInPlaceA(box.caption, kMessageBoxText);
  MSGBOXPARAMSA translated = *params;
  translated.lpszText = box.text;
  translated.lpszCaption = box.caption;
  return ZR_SAVED(MessageBoxIndirectA)(&translated);
}

// ---- the interception table ---------------------------------------------------

struct Intercepted {
  const char* library;
  const char* name;
  void* replacement;
  void** saved;
};

template <class F>
void* Address(F* f) {
  return reinterpret_cast<void*>(f);
}
template <class F>
void** SavedSlot(F** slot) {
  return reinterpret_cast<void**>(slot);
}

#define ZR_INTERCEPT(lib, name) \
  {lib, #name, Address(&Xl##name), SavedSlot(&ZR_SAVED(name))}

const Intercepted* Table(std::size_t* count) {
  static const Intercepted kTable[] = {
      ZR_INTERCEPT("user32", LoadStringA),
      ZR_INTERCEPT("user32", LoadStringW),
      ZR_INTERCEPT("user32", LoadMenuA),
      ZR_INTERCEPT("user32", LoadMenuW),
      ZR_INTERCEPT("user32", LoadMenuIndirectA),
      ZR_INTERCEPT("kernel32", FindResourceA),
      ZR_INTERCEPT("kernel32", FindResourceW),
      ZR_INTERCEPT("kernel32", FindResourceExA),
      ZR_INTERCEPT("kernel32", FindResourceExW),
      ZR_INTERCEPT("kernel32", LoadResource),
      ZR_INTERCEPT("kernel32", LockResource),
      ZR_INTERCEPT("kernel32", SizeofResource),
      ZR_INTERCEPT("kernel32", FreeResource),
      ZR_INTERCEPT("user32", CreateDialogParamA),
      ZR_INTERCEPT("user32", CreateDialogParamW),
      ZR_INTERCEPT("user32", DialogBoxParamA),
      ZR_INTERCEPT("user32", DialogBoxParamW),
      // Macros over DialogBoxParamA/W in Windows' headers: the platform
      // exports no such function, so nothing resolves and nothing is saved.
      {"user32", "DialogBoxA", Address(&XlDialogBoxA), nullptr},
      {"user32", "DialogBoxW", Address(&XlDialogBoxW), nullptr},
      ZR_INTERCEPT("user32", DialogBoxIndirectParamA),
      ZR_INTERCEPT("user32", DialogBoxIndirectParamW),
      ZR_INTERCEPT("user32", CreateDialogIndirectParamA),
      ZR_INTERCEPT("user32", CreateDialogIndirectParamW),
      ZR_INTERCEPT("user32", MessageBoxA),
      ZR_INTERCEPT("user32", MessageBoxExA),
      ZR_INTERCEPT("user32", MessageBoxIndirectA),
  };
  *count = std::size(kTable);
  return kTable;
}

// ---- module lists ----------------------------------------------------------------

constexpr const char* kPatchedByName[] = {
    "mfc80u.dll", "mfc42d",   "mfco42d",  "mfc42",   "cfc42",    "comdlg32", "mfc70d",  "mfco70d",
    "mfc70",      "mfco70",   "mfc71",    "mfco71",  "mfc80",    "mfc100ud", "mfc100u", "mfc110ud",
    "mfc110u",    "mfc120ud", "mfc120u",  "mfc130ud", "mfc130u", "mfc140ud", "mfc140u"};
static_assert(std::size(kPatchedByName) == 23);

struct CachedModule {
  const char* name;
  HMODULE handle;
};
CachedModule g_cached[] = {
    {"mfc80u.dll", nullptr}, {"mfc80ud.dll", nullptr}, {"mfc90ud.dll", nullptr}, {"mfc90u.dll", nullptr}};

void FillCachedModules() {
  for (CachedModule& m : g_cached)
    if (!m.handle) m.handle = zrpal::GetModuleHandleA(m.name);
}

}  // namespace

void* ReplacementOf(const char* name) {
  std::size_t count = 0;
  const Intercepted* table = Table(&count);
  for (std::size_t i = 0; i < count; ++i)
    if (name && std::strcmp(table[i].name, name) == 0) return table[i].replacement;
  return nullptr;
}

void PatchModuleForTranslation(HMODULE module) {
  FillCachedModules();
  std::size_t count = 0;
  const Intercepted* table = Table(&count);
  for (std::size_t i = 0; i < count; ++i) {
    void* entry = nullptr;
    InterceptImport(module, table[i].library, table[i].name, table[i].replacement, &entry);
    if (entry && table[i].saved) *table[i].saved = entry;
  }
}

void RestoreModuleForTranslation(HMODULE module) {
  std::size_t count = 0;
  const Intercepted* table = Table(&count);
  for (std::size_t i = 0; i < count; ++i)
    RestoreImport(module, table[i].library, table[i].name, table[i].replacement);
}

void PatchListedModules() {
  for (const char* name : kPatchedByName)
    if (HMODULE module = zrpal::GetModuleHandleA(name)) PatchModuleForTranslation(module);
  FillCachedModules();
  for (const CachedModule& m : g_cached)
    if (m.handle) PatchModuleForTranslation(m.handle);
}

// An ELF library holds no import slot for these functions (its code calls
// the platform layer directly and takes their addresses without the GOT),
// so only a PE image of the library is walked; the walk of an ELF object
// for the whole set costs some 100 ms under the address sanitizer, at every
// start.
void ResTranslationStartup() {
  HMODULE self = LibraryModule();
  if (self && !zrpal::IsElfImage(self)) PatchModuleForTranslation(self);
}

void ResTranslationShutdown() {
  CTranslationTable* table = TranslationTable();
  if (table && table->IsInitialised()) {
    for (const char* name : kPatchedByName)
      if (HMODULE module = zrpal::GetModuleHandleA(name)) RestoreModuleForTranslation(module);
    for (const CachedModule& m : g_cached)
      if (m.handle) RestoreModuleForTranslation(m.handle);
  }
  FreeResourceRecords();
  for (CachedModule& m : g_cached) m.handle = nullptr;
}

}  // namespace zr

int InitResTranslation(HMODULE module) {
  if (!module) return 0;
  zr::PatchModuleForTranslation(module);
  return 1;
}

int Supp_InitResTranslation(HMODULE module) { return InitResTranslation(module); }

int DeInitResTranslation(HMODULE module) {
  if (!module) return 0;
  zr::RestoreModuleForTranslation(module);
  return 1;
}

int LoadStringNotTrans(HINSTANCE instance, UINT id, char* buffer, int capacity) {
  return ZR_SAVED(LoadStringA)(instance, id, buffer, capacity);
}

int LoadStringNotTransW(HINSTANCE instance, UINT id, WCHAR* buffer, int capacity) {
  return ZR_SAVED(LoadStringW)(instance, id, buffer, capacity);
}

int MessageBoxInternalA(const void* params, int wide) {
  if (wide) return zrpal::MessageBoxIndirectW(static_cast<const zrpal::MSGBOXPARAMSW*>(params));
  return zrpal::MessageBoxIndirectA(static_cast<const zrpal::MSGBOXPARAMSA*>(params));
}
