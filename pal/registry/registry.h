// pal/registry/registry.h - the Win32 registry: keys and values under
// HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE.
//
// Each hive is one SQLite database file (the store, pal/registry/store.cpp):
//
//   HKEY_CURRENT_USER   $ZR_REGISTRY_USER, else $XDG_CONFIG_HOME/zrcore/user.db,
//                       else $HOME/.config/zrcore/user.db
//   HKEY_LOCAL_MACHINE  $ZR_REGISTRY_MACHINE, else /var/lib/zrcore/machine.db
//
// A hive file and its folder are made on first use when the process may
// write there. Several processes read and write one hive at once (the
// database runs in WAL mode and waits up to ten seconds for a writer to
// finish); every function is one transaction, so a process killed in the
// middle of one leaves the hive as before or after it.
//
// As on Windows:
//  - key and value names compare without regard to case: both are folded
//    with the Unicode simple upper-case mapping of each UTF-16 unit ("É" and
//    "é" name one key); the name keeps the case it was created with;
//  - RegEnumKeyEx gives sub-keys in the order of their upper-cased names (by
//    UTF-16 unit), RegEnumValue gives values in the order they were created
//    (setting an existing value keeps its place);
//  - REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ data is kept as UTF-16; the A
//    functions convert names and such data through the ANSI code page
//    (CP_ACP, pal/codepage.h);
//  - a buffer too small for a name or data gives ERROR_MORE_DATA and the
//    size needed (for data; names are not measured, as on Windows);
//  - a handle to a key that was deleted (through any handle, by any
//    process) answers ERROR_KEY_DELETED;
//  - RegDeleteKey refuses a key with sub-keys (ERROR_ACCESS_DENIED);
//  - a hive file the process may not write is opened for reading only, and
//    asking for write access to one of its keys gives ERROR_ACCESS_DENIED;
//  - every handle carries the access it was opened with; a function that
//    needs a right the handle lacks fails with ERROR_ACCESS_DENIED.
// A damaged hive file, or a file that is not a hive of this library, makes
// every function on that hive fail with ERROR_BADDB (the file is left as it
// is). Differences from Windows are listed in docs/deviations.md: no
// security descriptors, no volatile keys or links, no other predefined keys,
// no 32-bit view.
//
// Keys are handles of the handle table (pal/handle.h, HandleKind::RegistryKey);
// RegCloseKey closes them. Thread-safe.
#pragma once

#include <cstdint>

#include "pal/types.h"

namespace zrpal {

using REGSAM = DWORD;
using LSTATUS = LONG;

// The predefined keys, as Windows defines them: 32-bit values sign-extended.
// Macros, as in the Windows headers: a pointer made from an integer is no
// constant expression, and a variable would need a dynamic initialiser.
constexpr std::intptr_t PredefinedKeyValue(std::uint32_t value) {
  return static_cast<std::int32_t>(value);
}
#define ZR_PREDEFINED_HKEY(value) (reinterpret_cast<HKEY>(::zrpal::PredefinedKeyValue(value)))
#define HKEY_CLASSES_ROOT ZR_PREDEFINED_HKEY(0x80000000)
#define HKEY_CURRENT_USER ZR_PREDEFINED_HKEY(0x80000001)
#define HKEY_LOCAL_MACHINE ZR_PREDEFINED_HKEY(0x80000002)
#define HKEY_USERS ZR_PREDEFINED_HKEY(0x80000003)
#define HKEY_PERFORMANCE_DATA ZR_PREDEFINED_HKEY(0x80000004)
#define HKEY_CURRENT_CONFIG ZR_PREDEFINED_HKEY(0x80000005)

// Access rights.
inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_NOTIFY = 0x0010;
inline constexpr REGSAM KEY_CREATE_LINK = 0x0020;
inline constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
inline constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
inline constexpr REGSAM DELETE = 0x00010000;
inline constexpr REGSAM READ_CONTROL = 0x00020000;
inline constexpr REGSAM WRITE_DAC = 0x00040000;
inline constexpr REGSAM WRITE_OWNER = 0x00080000;
inline constexpr REGSAM SYNCHRONIZE = 0x00100000;
inline constexpr REGSAM ACCESS_SYSTEM_SECURITY = 0x01000000;
inline constexpr REGSAM MAXIMUM_ALLOWED = 0x02000000;
inline constexpr REGSAM GENERIC_ALL = 0x10000000;
inline constexpr REGSAM GENERIC_EXECUTE = 0x20000000;
inline constexpr REGSAM GENERIC_WRITE = 0x40000000;
inline constexpr REGSAM GENERIC_READ = 0x80000000;
inline constexpr REGSAM KEY_READ = 0x00020019;
inline constexpr REGSAM KEY_WRITE = 0x00020006;
inline constexpr REGSAM KEY_EXECUTE = KEY_READ;
inline constexpr REGSAM KEY_ALL_ACCESS = 0x000F003F;

// Options of RegOpenKeyEx / RegCreateKeyEx.
inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0x0000;
inline constexpr DWORD REG_OPTION_VOLATILE = 0x0001;
inline constexpr DWORD REG_OPTION_CREATE_LINK = 0x0002;
inline constexpr DWORD REG_OPTION_BACKUP_RESTORE = 0x0004;
inline constexpr DWORD REG_OPTION_OPEN_LINK = 0x0008;

// Dispositions of RegCreateKeyEx.
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Value types (any DWORD is stored; these are the ones Windows names).
inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
inline constexpr DWORD REG_LINK = 6;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr DWORD REG_QWORD = 11;

// Limits, in UTF-16 units without the terminator.
inline constexpr DWORD kMaxKeyNameLength = 255;
inline constexpr DWORD kMaxValueNameLength = 16383;

// Opens the existing key `subKey` (a backslash path; null or "" opens a new
// handle to `key` itself) below `key`. `options` 0 or REG_OPTION_OPEN_LINK
// (there are no links: the key itself opens). ERROR_FILE_NOT_FOUND when a
// component is missing, ERROR_BAD_PATHNAME for a leading backslash.
LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, HKEY* result);
LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, HKEY* result);

// Opens `subKey`, creating what is missing of its path. `keyClass` (may be
// null) is kept with each key made. `options`: REG_OPTION_NON_VOLATILE,
// optionally with REG_OPTION_OPEN_LINK; the others fail with
// ERROR_INVALID_PARAMETER, as does a non-null `security` (not kept).
// *disposition (may be null): REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY.
// Needs KEY_CREATE_SUB_KEY on `key` when something is created.
LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                        REGSAM access, const SECURITY_ATTRIBUTES* security, HKEY* result,
                        DWORD* disposition);
LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                        REGSAM access, const SECURITY_ATTRIBUTES* security, HKEY* result,
                        DWORD* disposition);

// Closes a key handle. Predefined keys need no closing (ERROR_SUCCESS).
LSTATUS RegCloseKey(HKEY key);

// The value `name` (null or "": the key's default value): its type and data.
// `data` null asks for the size only; a buffer smaller than the data gives
// ERROR_MORE_DATA with *dataSize the size needed. ERROR_FILE_NOT_FOUND when
// there is no such value. Needs KEY_QUERY_VALUE.
LSTATUS RegQueryValueExW(HKEY key, LPCWSTR name, DWORD* reserved, DWORD* type, BYTE* data,
                         DWORD* dataSize);
LSTATUS RegQueryValueExA(HKEY key, LPCSTR name, DWORD* reserved, DWORD* type, BYTE* data,
                         DWORD* dataSize);

// Stores `size` bytes of `data` as the value `name` of `type`, replacing
// (in place in the enumeration order) a value of the same name. Null data
// with a non-zero size gives ERROR_NOACCESS. Needs KEY_SET_VALUE.
LSTATUS RegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD size);
LSTATUS RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD size);

// Removes the value `name`. Needs KEY_SET_VALUE.
LSTATUS RegDeleteValueW(HKEY key, LPCWSTR name);
LSTATUS RegDeleteValueA(HKEY key, LPCSTR name);

// Removes the key `subKey` (a path; "" is `key` itself) with its values.
// A key with sub-keys, and a predefined key, give ERROR_ACCESS_DENIED.
// Handles still open on the key answer ERROR_KEY_DELETED from then on.
LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subKey);
LSTATUS RegDeleteKeyA(HKEY key, LPCSTR subKey);

// The sub-key at `index` in the enumeration order: its name (*nameLength in:
// the buffer's size in characters; out: the name's length without the
// terminator), optionally its class and last write time.
// ERROR_NO_MORE_ITEMS past the end. Needs KEY_ENUMERATE_SUB_KEYS.
LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength, DWORD* reserved,
                      LPWSTR keyClass, DWORD* classLength, FILETIME* lastWriteTime);
LSTATUS RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, DWORD* nameLength, DWORD* reserved,
                      LPSTR keyClass, DWORD* classLength, FILETIME* lastWriteTime);

// The value at `index` in the enumeration order: name as RegEnumKeyEx,
// type and data as RegQueryValueEx. Needs KEY_QUERY_VALUE.
LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength, DWORD* reserved,
                      DWORD* type, BYTE* data, DWORD* dataSize);
LSTATUS RegEnumValueA(HKEY key, DWORD index, LPSTR name, DWORD* nameLength, DWORD* reserved,
                      DWORD* type, BYTE* data, DWORD* dataSize);

// Counts and longest lengths of the key's sub-keys and values (names in
// UTF-16 units without the terminator, data in bytes), its class and last
// write time; every output may be null. *securityDescriptorSize is 0 (no
// descriptors are kept). Needs KEY_QUERY_VALUE.
LSTATUS RegQueryInfoKeyW(HKEY key, LPWSTR keyClass, DWORD* classLength, DWORD* reserved,
                         DWORD* subKeys, DWORD* maxSubKeyLength, DWORD* maxClassLength,
                         DWORD* values, DWORD* maxValueNameLength, DWORD* maxValueLength,
                         DWORD* securityDescriptorSize, FILETIME* lastWriteTime);
LSTATUS RegQueryInfoKeyA(HKEY key, LPSTR keyClass, DWORD* classLength, DWORD* reserved,
                         DWORD* subKeys, DWORD* maxSubKeyLength, DWORD* maxClassLength,
                         DWORD* values, DWORD* maxValueNameLength, DWORD* maxValueLength,
                         DWORD* securityDescriptorSize, FILETIME* lastWriteTime);

// Start-up and shutdown of the registry (a step of the start-up list):
// start-up builds the name folding table and starts SQLite; shutdown closes
// the hives' databases (no key may be in use) and stops SQLite.
void RegistryStartup();
void RegistryShutdown();

}  // namespace zrpal
