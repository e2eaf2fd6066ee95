// zrtypes.h - the export macro and the Windows-width basic types of the
// library's public interface.
//
// The library's records, stream formats and interface signatures were fixed
// on 64-bit Windows, where `long` is 32 bits and wide text is UTF-16. These
// aliases keep those widths on every host: DWORD/LONG/ULONG are 32-bit, WCHAR
// is a UTF-16 code unit (char16_t, since Linux's wchar_t is 32-bit). They are
// declared in the global namespace, where <windows.h> would put them, so that
// modules written against the Windows headers compile unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

// The one export macro: marks what libzrcore.so exports. Everything else is
// built with hidden visibility.
#define ZR_API __attribute__((visibility("default")))

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using INT = int;
using UINT = unsigned int;
using BOOL = int;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using SIZE_T = std::size_t;
using WCHAR = char16_t;

// Module handles are the load address of a module's image, as on Windows.
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
using HANDLE = void*;
// Registry keys: a handle of the platform layer, or a predefined key.
struct HKEY__;
using HKEY = HKEY__*;
// Window-system handles: windows, and drawing objects (fonts).
struct HWND__;
using HWND = HWND__*;
struct HGDIOBJ__;
using HGDIOBJ = HGDIOBJ__*;
using HFONT = HGDIOBJ;
struct HMENU__;
using HMENU = HMENU__*;

static_assert(sizeof(BYTE) == 1 && sizeof(WORD) == 2);
static_assert(sizeof(DWORD) == 4 && sizeof(LONG) == 4 && sizeof(ULONG) == 4);
static_assert(sizeof(INT) == 4 && sizeof(UINT) == 4 && sizeof(BOOL) == 4);
static_assert(sizeof(LONGLONG) == 8 && sizeof(ULONGLONG) == 8);
static_assert(sizeof(WCHAR) == 2, "WCHAR is a UTF-16 code unit");
static_assert(sizeof(HMODULE) == 8 && sizeof(HANDLE) == 8, "64-bit handles");
