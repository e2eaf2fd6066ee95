// translation/resource_key.h - the resource key: the text that names a
// resource of a module (a dialog, a menu, a string table) as the context
// prefix of its dictionary entries, and its hash.
//
// Key text: the module's file name (the part after the last ':', '\\' or
// '/'), '#', the kind number, '#', the resource name, then two separator
// characters. A numeric name (upper 16 bits zero) is written in decimal
// ("%s#%d#%i"), a text name as it is ("%s#%d#%s"). 8-bit keys end in the
// bytes 0xFD 0xFD, wide keys in two U+044D characters (the same letter in
// code page 1251). A dictionary entry for a text inside a resource has as
// source the key immediately followed by the text. String tables are keyed
// by their block number, the string identifier / 16 + 1.
//
// The key of a dialog in the layout file (kind 1) is formed alike from the
// layout file's module and dialog node names, except that a dialog name
// that already begins with '#' follows the kind without another '#'
// ("%s#%d%s"), so "#102" gives the same key as the numeric name 102.
//
// The key hash runs over the bytes of an 8-bit key: h * 257 + v in unsigned
// 32-bit arithmetic, v the ASCII-lowered byte below 0x80 and the byte as a
// signed 8-bit value from 0x80 (zr::HashTextNoCase).
#pragma once

#include "zr/tmap.h"
#include "zr/xstring.h"
#include "zr/zrtypes.h"

namespace zr {

enum ResourceKind : int {
  kResourceKindDialog = 1,
  kResourceKindMenu = 2,
  kResourceKindStringTable = 3,
};

inline constexpr char kResourceKeySeparatorA[] = "\xFD\xFD";
inline constexpr WCHAR kResourceKeySeparatorW[] = u"\u044D\u044D";

// The string table block of a string identifier.
constexpr unsigned StringTableBlock(unsigned stringId) { return stringId / 16 + 1; }

// The file name part of a module path: after the last ':', '\\' or '/'.
const char* ModuleFileNamePart(const char* path);
const WCHAR* ModuleFileNamePart(const WCHAR* path);

// The key of a resource of the module whose path (or file name) is given.
// `name` is a text or a numeric name made with MAKEINTRESOURCE; a null
// module path counts as empty.
CXString ResourceKeyA(const char* modulePath, int kind, const char* name);
CXStringW ResourceKeyW(const WCHAR* modulePath, int kind, const WCHAR* name);

// The same for a loaded module, named by GetModuleFileNameA (an unknown
// module gives an empty module name). A wide text name of the 8-bit key is
// converted in the system ANSI code page, as CXString converts.
CXString ResourceKeyA(HMODULE module, int kind, const char* name);
CXString ResourceKeyA(HMODULE module, int kind, const WCHAR* name);
CXStringW ResourceKeyW(HMODULE module, int kind, const WCHAR* name);

// The layout file's key of a dialog node under a module node.
CXString LayoutKeyA(const char* moduleName, const char* dialogName);

inline ULONG ResourceKeyHash(const char* key) { return HashTextNoCase(key); }

}  // namespace zr
