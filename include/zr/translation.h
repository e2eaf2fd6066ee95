// translation.h - run-time translation of user-interface texts from
// dictionary files.
//
// A dictionary file (default "app.wld") lists pairs of source text and
// translation, one double-quoted line each; a companion layout file with
// the extension "dlg" (parameter text) lists size and position corrections
// for dialogs. The process has one translation table: Supp_Init loads its
// first dictionary, Supp_AddWld merges more, and the Supp_Translate
// overloads look texts up in it. The table is never cleared while the
// library is loaded; texts it hands out stay valid until then.
//
// Not thread-safe: load on one thread before translated texts are used;
// Supp_Translate(const char*), which may add an entry, must not run
// concurrently with another call of this header.
//
// hostMultiByteToUnicode and Supp_GetACP are declared in zr/xstring.h.
#pragma once

#include "zr/xstring.h"
#include "zr/zrtypes.h"

// Loads the dictionary `path` (null: "app.wld") and its layout file. 1 when
// loaded; 0 when a dictionary was already loaded or the file cannot be
// read (entries read before a read failure stay).
ZR_API int Supp_Init(const WCHAR* path);

// Merges a further dictionary and its layout file: as Supp_Init when none is
// loaded yet; otherwise 1, or 0 when the file cannot be read. Entries
// already present keep their translation (the first definition wins).
ZR_API int Supp_AddWld(const WCHAR* path);

// The wide translation of 8-bit text: a text without an entry gets one
// (its own text as translation), so the result is never null for a
// non-empty text and always owned by the table. Null for null or empty text.
ZR_API const WCHAR* Supp_Translate(const char* text);

// The wide translation of `text`, or `text` itself when there is none.
// Null for null or empty text.
ZR_API const WCHAR* Supp_Translate(const WCHAR* text);

// The translation of `context` immediately followed by `text`, else that of
// `text` alone, else `text`. Null for null or empty text.
ZR_API const WCHAR* Supp_Translate(const WCHAR* text, const WCHAR* context);

// The dialog font: a stock font handle on a double-byte system, else null.
ZR_API HFONT Supp_GetFont();

// The flag the resource interception reads (initially 1); the lookups of
// this header do not consult it.
ZR_API int Supp_IsTranslationEnable();
ZR_API void Supp_SetTranslationEnable(int enable);

// Do nothing (kept for callers compiled against them).
ZR_API void Supp_SetDialogFont(HWND dialog);
ZR_API void Supp_SetDialogPos(HWND dialog, HWND control, UINT id);

// Translates the window's own text in place (a no-op while the table is
// empty). Returns 1.
ZR_API int Supp_Translate(HWND window);
// Translates the menu's item texts in place, submenus included, each text
// on its own (no context). Returns 1.
ZR_API int Supp_Translate(HMENU menu);

// Resource interception. A patched module's calls of the resource, dialog,
// menu and message-box functions (LoadStringA/W, LoadMenuA/W,
// LoadMenuIndirectA, FindResource(Ex)A/W, LoadResource, LockResource,
// SizeofResource, FreeResource, CreateDialogParamA/W, DialogBoxParamA/W,
// DialogBoxA/W, the indirect dialog functions, MessageBoxA, MessageBoxExA,
// MessageBoxIndirectA) go to the library's replacements, which translate
// what the platform returns while Supp_IsTranslationEnable() is non-zero.
// Windows modules are patched through their import address table; Linux
// modules through the GOT slots of the same names, bound to the entry
// points libzrcore exports under those names.
// Patch one module: 1, or 0 for a null module.
ZR_API int InitResTranslation(HMODULE module);
ZR_API int Supp_InitResTranslation(HMODULE module);
// Give the module's patched import slots the platform's functions back: 1,
// or 0 for a null module.
ZR_API int DeInitResTranslation(HMODULE module);
// LoadStringA / LoadStringW without translation.
ZR_API int LoadStringNotTrans(HINSTANCE instance, UINT id, char* buffer, int capacity);
ZR_API int LoadStringNotTransW(HINSTANCE instance, UINT id, WCHAR* buffer, int capacity);
// Shows a message box from a MSGBOXPARAMSW block when `wide` is non-zero,
// else from a MSGBOXPARAMSA block, with the platform's functions.
ZR_API int MessageBoxInternalA(const void* params, int wide);
