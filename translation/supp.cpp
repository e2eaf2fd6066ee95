// translation/supp.cpp - the exported translation functions and the text
// lookups, all over the process's translation table.
//
// The table's code page is mirrored into the host code page cell
// (base/hostcp.h) after every load, so that CXStringW converts 8-bit text
// as the dictionary's language does.
#include <algorithm>
#include <string>

#include "base/hostcp.h"
#include "translation/lookup.h"
#include "translation/restrans.h"
#include "translation/table.h"
#include "zr/translation.h"

namespace zr {

namespace {

// Read by the resource interception; lookups do not consult it.
constinit int g_translationEnabled = 1;

template <class C>
std::size_t Units(const C* text) {
  return std::char_traits<C>::length(text);
}

// The entry's 8-bit translation when non-empty.
const char* NonEmptyA(CContext* entry) {
  return entry && entry->translation.GetLength() > 0 ? static_cast<const char*>(entry->translation)
                                                     : nullptr;
}

const WCHAR* NonEmptyW(CContext* entry) {
  if (!entry) return nullptr;
  const CXStringW& wide = entry->GetWideTranslation();
  return wide.GetLength() > 0 ? static_cast<const WCHAR*>(wide) : nullptr;
}

// Copies `text` into the buffer cut to whole characters that fit `capacity`
// with the terminator, as CXString's fitting copy does; the length copied.
int CopyInto(char* buffer, int capacity, const char* text) {
  return capacity > 0 ? CXString(text).CopyFit(buffer, static_cast<unsigned>(capacity)) : 0;
}
int CopyInto(WCHAR* buffer, int capacity, const WCHAR* text) {
  return capacity > 0 ? CXStringW(text).CopyFit(buffer, static_cast<unsigned>(capacity)) : 0;
}

const char* Lookup(CTranslationTable* table, const char* text, bool strict) {
  return LookupA(table, text, strict);
}
const WCHAR* Lookup(CTranslationTable* table, const WCHAR* text, bool strict) {
  return LookupW(table, text, strict);
}

template <class C>
int TranslateInPlace(CTranslationTable* table, C* buffer, int capacity) {
  if (!buffer || !*buffer) return 0;
  const C* translation = Lookup(table, static_cast<const C*>(buffer), true);
  if (!translation) return static_cast<int>(Units(buffer));
  return CopyInto(buffer, capacity, translation);
}

template <class C>
int TranslateWithContext(CTranslationTable* table, C* buffer, int capacity, const C* context,
                         bool measureOnly) {
  if (!buffer || !*buffer) return 0;
  std::basic_string<C> joined;
  if (context) joined = context;
  joined.append(buffer, std::min(Units(buffer), static_cast<std::size_t>(kContextTextUnits)));
  if (joined.size() > static_cast<std::size_t>(kContextTextUnits)) joined.resize(kContextTextUnits);
  const C* result = Lookup(table, joined.c_str(), true);
  if (!result) result = Lookup(table, static_cast<const C*>(buffer), false);
  if (!result) return 0;
  if (measureOnly || result == buffer) return static_cast<int>(Units(result));
  return CopyInto(buffer, capacity, result);
}

void MirrorCodePage(const CTranslationTable& table) { SetHostCodePage(table.GetCodePage()); }

}  // namespace

const char* LookupA(CTranslationTable* table, const char* text, bool strict) {
  if (!text || !*text) return nullptr;
  const char* translation = table ? NonEmptyA(table->FindA(text)) : nullptr;
  return translation ? translation : strict ? nullptr : text;
}

const WCHAR* LookupW(CTranslationTable* table, const WCHAR* text, bool strict) {
  if (!text || !*text) return nullptr;
  const WCHAR* translation = table ? NonEmptyW(table->Find(text)) : nullptr;
  return translation ? translation : strict ? nullptr : text;
}

int TranslateInPlaceA(CTranslationTable* table, char* buffer, int capacity) {
  return TranslateInPlace(table, buffer, capacity);
}
int TranslateInPlaceW(CTranslationTable* table, WCHAR* buffer, int capacity) {
  return TranslateInPlace(table, buffer, capacity);
}
int TranslateWithContextA(CTranslationTable* table, char* buffer, int capacity, const char* context,
                          bool measureOnly) {
  return TranslateWithContext(table, buffer, capacity, context, measureOnly);
}
int TranslateWithContextW(CTranslationTable* table, WCHAR* buffer, int capacity,
                          const WCHAR* context, bool measureOnly) {
  return TranslateWithContext(table, buffer, capacity, context, measureOnly);
}

const char* LookupA(const char* text, bool strict) {
  return LookupA(TranslationTable(), text, strict);
}
const WCHAR* LookupW(const WCHAR* text, bool strict) {
  return LookupW(TranslationTable(), text, strict);
}
int TranslateInPlaceA(char* buffer, int capacity) {
  return TranslateInPlaceA(TranslationTable(), buffer, capacity);
}
int TranslateInPlaceW(WCHAR* buffer, int capacity) {
  return TranslateInPlaceW(TranslationTable(), buffer, capacity);
}
int TranslateWithContextA(char* buffer, int capacity, const char* context, bool measureOnly) {
  return TranslateWithContextA(TranslationTable(), buffer, capacity, context, measureOnly);
}
int TranslateWithContextW(WCHAR* buffer, int capacity, const WCHAR* context, bool measureOnly) {
  return TranslateWithContextW(TranslationTable(), buffer, capacity, context, measureOnly);
}

}  // namespace zr

int Supp_Init(const WCHAR* path) {
  zr::CTranslationTable* table = zr::TranslationTable();
  if (!table) return 0;
  const int loaded = table->Load(path);
  zr::MirrorCodePage(*table);
  // The resource interception of the fixed module list (only on the first
  // load, not on Supp_AddWld).
  if (loaded) zr::PatchListedModules();
  return loaded;
}

int Supp_AddWld(const WCHAR* path) {
  zr::CTranslationTable* table = zr::TranslationTable();
  if (!table) return 0;
  if (!table->IsInitialised()) return Supp_Init(path);
  const int merged = table->Merge(path);
  zr::MirrorCodePage(*table);
  return merged;
}

const WCHAR* Supp_Translate(const char* text) {
  if (!text || !*text) return nullptr;
  zr::CTranslationTable* table = zr::TranslationTable();
  zr::CContext* entry = table ? table->FindOrAddA(text) : nullptr;
  return entry ? static_cast<const WCHAR*>(entry->GetWideTranslation()) : nullptr;
}

const WCHAR* Supp_Translate(const WCHAR* text) {
  if (!text || !*text) return nullptr;
  zr::CTranslationTable* table = zr::TranslationTable();
  if (!table || table->GetEntryCount() == 0) return text;
  const WCHAR* translation = zr::NonEmptyW(table->Find(text));
  return translation ? translation : text;
}

const WCHAR* Supp_Translate(const WCHAR* text, const WCHAR* context) {
  if (!text || !*text) return nullptr;
  zr::CTranslationTable* table = zr::TranslationTable();
  if (!table || table->GetEntryCount() == 0) return text;
  CXStringW joined(context);
  joined += text;
  if (const WCHAR* translation = zr::NonEmptyW(table->Find(joined))) return translation;
  return Supp_Translate(text);
}

HFONT Supp_GetFont() {
  const zr::CTranslationTable* table = zr::TranslationTable();
  return table ? table->GetFont() : nullptr;
}

int Supp_IsTranslationEnable() { return zr::g_translationEnabled; }
void Supp_SetTranslationEnable(int enable) { zr::g_translationEnabled = enable; }

void Supp_SetDialogFont(HWND) {}
void Supp_SetDialogPos(HWND, HWND, UINT) {}
