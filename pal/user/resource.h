// pal/user/resource.h - module resources: finding, loading and string tables.
//
// On Windows a module's resources live in its PE image. Here a module
// carries a Windows resource image (the .res format that resource compilers
// write, see pal/resfile.h) and hands it to the platform layer by exporting
// two symbols, which cmake/ZrResources.cmake's zr_add_resources generates:
//
//   extern "C" const unsigned char _ZRResourceImage[];   // DWORD-aligned
//   extern "C" const size_t        _ZRResourceImageSize; // its bytes
//
// The platform layer finds them with GetProcAddress on the module handle (so
// modules need not call into the library, whose internals they cannot
// reach), checks the whole image once, and keeps the result per module. A
// module that exports no image has no resources (ERROR_RESOURCE_DATA_NOT_FOUND);
// one whose image does not check out fails every call with ERROR_INVALID_DATA
// and is never read beyond the check. The cache is rechecked whenever the
// process has unloaded a module since, so a module loaded later at the same
// address is not mistaken for the old one.
//
// Handles: an HRSRC is the address of the resource's record in the image; the
// HGLOBAL of LoadResource is the address of its data, valid while the module
// stays loaded (as on Windows, nothing is copied and nothing needs freeing).
// A null module handle means the program's executable, as on Windows.
//
// Deviation: resource names compare case-insensitively over ASCII letters
// only (Windows folds every letter); resource compilers store names
// upper-cased.
//
// Thread-safe.
#pragma once

#include <cstdint>

#include "pal/types.h"

namespace zrpal {

struct HRSRC__;
using HRSRC = HRSRC__*;
using HGLOBAL = HANDLE;

// The names of the exported symbols that carry a module's image.
inline constexpr char kResourceImageSymbol[] = "_ZRResourceImage";
inline constexpr char kResourceImageSizeSymbol[] = "_ZRResourceImageSize";

// Resource type ordinals; pass them as MAKEINTRESOURCEW(RT_STRING) where a
// type is expected (Windows' RT_* are those pointers already).
inline constexpr WORD RT_MENU = 4;
inline constexpr WORD RT_DIALOG = 5;
inline constexpr WORD RT_STRING = 6;
inline constexpr WORD RT_RCDATA = 10;

inline LPCWSTR MAKEINTRESOURCEW(WORD id) {
  return reinterpret_cast<LPCWSTR>(static_cast<std::uintptr_t>(id));
}
inline LPCSTR MAKEINTRESOURCEA(WORD id) {
  return reinterpret_cast<LPCSTR>(static_cast<std::uintptr_t>(id));
}
inline bool IS_INTRESOURCE(LPCWSTR id) { return (reinterpret_cast<std::uintptr_t>(id) >> 16) == 0; }

inline constexpr WORD LANG_NEUTRAL = 0x00;
inline constexpr WORD LANG_ENGLISH = 0x09;
inline constexpr WORD LANG_GERMAN = 0x07;
inline constexpr WORD SUBLANG_NEUTRAL = 0x00;
inline constexpr WORD SUBLANG_DEFAULT = 0x01;
inline constexpr WORD SUBLANG_SYS_DEFAULT = 0x02;
constexpr WORD MAKELANGID(WORD primary, WORD sub) { return static_cast<WORD>(sub << 10 | primary); }

// Finds a resource. Type and name are ordinals (MAKEINTRESOURCEW), "#123"
// names of ordinals, or names. FindResourceW takes the language as
// FindResourceExW with LANG_NEUTRAL does; for the language order see
// res::ResourceImage::Find (English (United States) stands for the user's and
// the system's language). Null with ERROR_RESOURCE_TYPE_NOT_FOUND,
// ERROR_RESOURCE_NAME_NOT_FOUND or ERROR_RESOURCE_LANG_NOT_FOUND when there is
// no such resource, ERROR_RESOURCE_DATA_NOT_FOUND for a module without
// resources, ERROR_INVALID_DATA for a corrupt image, ERROR_MOD_NOT_FOUND for a
// handle that is no loaded module.
HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
HRSRC FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language);
// The same with ANSI names (CP_ACP) or ordinals.
HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
HRSRC FindResourceExA(HMODULE module, LPCSTR type, LPCSTR name, WORD language);

// The resource's data; null with ERROR_INVALID_HANDLE when `resource` is not a
// resource of `module`.
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
// Returns `data` (resource data needs no locking).
LPVOID LockResource(HGLOBAL data);
// The resource's size in bytes; 0 with ERROR_INVALID_HANDLE as LoadResource.
DWORD SizeofResource(HMODULE module, HRSRC resource);
// Obsolete on Windows, which answers FALSE; so does this.
BOOL FreeResource(HGLOBAL data);

// Loads string `id` from string-table block (LOWORD(id) >> 4) + 1 (the
// identifier's upper 16 bits are ignored, as on Windows).
//  - cchBufferMax > 0: copies at most cchBufferMax - 1 units and a
//    terminator; returns the units copied. A missing or empty string gives 0
//    and an empty buffer.
//  - cchBufferMax == 0: stores a read-only pointer to the string in the
//    resource (not terminated) into the buffer, which must have room for a
//    pointer, and returns the string's length; nothing is stored when the
//    string is missing.
// 0 with ERROR_INVALID_PARAMETER for a null buffer or a negative size; the
// errors of FindResourceW when the block is missing; ERROR_INVALID_DATA when
// the block is too short for the string.
int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int cchBufferMax);

// The string converted to the ANSI code page (CP_ACP): the longest prefix of
// whole characters that fits in cchBufferMax - 1 bytes, and a terminator;
// returns the bytes copied. There is no pointer form: cchBufferMax must be
// positive (else 0 and ERROR_INVALID_PARAMETER). A truncated result may be
// shorter than cchBufferMax - 1 when a character of several bytes did not fit.
int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int cchBufferMax);

// Drops every cached image: the next call checks each module's image again.
// For tests that change what a module exports.
void ForgetResourceImages();

}  // namespace zrpal
