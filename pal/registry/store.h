// pal/registry/store.h - the registry store: the keys and values of a hive,
// kept in one SQLite database per hive (store.cpp is the only file that
// uses SQLite).
//
// Keys are rows named by an id that is never reused, so a handle to a
// deleted key finds its row gone (ERROR_KEY_DELETED) even after other keys
// were made. The root of a hive is the key kRootKey. Names are passed as
// UTF-16 as given; the store folds them (fold.h) for comparing and
// ordering and keeps the given form for enumeration.
//
// Every function is one transaction of the database, under the hive's lock,
// and answers a Windows error code: ERROR_BADDB for a damaged or foreign
// file, ERROR_KEY_DELETED for a key id that no longer exists, and the codes
// each names. A hive whose file does not exist and cannot be made reads as
// a hive holding only its empty root.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pal/registry/hive.h"
#include "pal/types.h"

namespace zrpal::registry {

using KeyId = std::int64_t;
inline constexpr KeyId kRootKey = 1;

struct Hive;
using Path = std::span<const std::u16string_view>;

// The hive of `kind`; its database opens on first use.
Hive* HiveOf(HiveKind kind);

// Opens the hive's database when needed and tells whether the process may
// write it.
DWORD HiveWritable(Hive* hive, bool* writable);

// The key at `path` below `base` (an empty path is `base` itself).
// ERROR_FILE_NOT_FOUND when a component is missing.
DWORD OpenKey(Hive* hive, KeyId base, Path path, KeyId* key);

// The key at `path` below `base`, made with its missing ancestors (each
// with the class `keyClass`) when `mayCreate`; ERROR_ACCESS_DENIED when a
// key is missing and not `mayCreate`. *created tells whether the last
// component was made.
DWORD CreateKey(Hive* hive, KeyId base, Path path, std::u16string_view keyClass, bool mayCreate,
                KeyId* key, bool* created);

// Removes `key` and its values. ERROR_ACCESS_DENIED for the root and for a
// key with sub-keys.
DWORD DeleteKey(Hive* hive, KeyId key);

struct ValueRow {
  std::u16string name;  // filled by EnumValue only
  DWORD type = 0;
  std::vector<BYTE> data;
};

struct KeyRow {
  std::u16string name;
  std::u16string keyClass;
  std::int64_t lastWrite = 0;  // FILETIME units
};

struct KeyInfo {
  std::u16string keyClass;
  std::int64_t lastWrite = 0;
  DWORD subKeys = 0, maxSubKeyLength = 0, maxClassLength = 0;    // UTF-16 units
  DWORD values = 0, maxValueNameLength = 0, maxValueLength = 0;  // units; bytes
};

// Stores the value `name`, replacing one of the same (folded) name in place.
DWORD SetValue(Hive* hive, KeyId key, std::u16string_view name, DWORD type, const BYTE* data,
               DWORD size);
// ERROR_FILE_NOT_FOUND when there is no such value.
DWORD QueryValue(Hive* hive, KeyId key, std::u16string_view name, ValueRow* value);
DWORD DeleteValue(Hive* hive, KeyId key, std::u16string_view name);
// The index-th sub-key (folded-name order) or value (creation order);
// ERROR_NO_MORE_ITEMS past the end.
DWORD EnumKey(Hive* hive, KeyId key, DWORD index, KeyRow* row);
DWORD EnumValue(Hive* hive, KeyId key, DWORD index, ValueRow* row);
DWORD QueryInfo(Hive* hive, KeyId key, KeyInfo* info);

// Closes both hives' databases; the next call opens them again (and reads
// the hive variables again). No key handle may be in use: ids are per file.
void CloseHives();

// Starts and stops SQLite (the registry's start-up step).
void StoreStartup();
void StoreShutdown();

// PRAGMA integrity_check of the hive file at `path`, opened read-only:
// ERROR_SUCCESS when it answers "ok", else ERROR_BADDB with its answer in
// *report (or the SQLite error text).
DWORD CheckHiveFile(const char* path, std::string* report);

// The SQL of the two statements that SetValue and QueryValue run, for the
// benchmark that runs them on SQLite directly. Parameters: ?1 key id, ?2
// name (UTF-16LE blob), ?3 folded key (FoldKey), ?4 type, ?5 data.
const char* SetValueSql();
const char* QueryValueSql();

}  // namespace zrpal::registry
