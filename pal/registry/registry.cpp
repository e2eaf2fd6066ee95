// pal/registry/registry.cpp - the wide registry functions (see registry.h):
// handles, rights and paths here, keys and values in the store (store.h).
//
// Rights. A handle holds the rights asked for when it was opened, after
// generic rights are mapped to key rights. Keys of a hive the process may
// not write can only be opened with read rights (KEY_READ, KEY_NOTIFY,
// SYNCHRONIZE); asking for more gives ERROR_ACCESS_DENIED. The predefined
// keys hold every right their hive allows. Each function checks the one
// right Windows checks: KEY_QUERY_VALUE to read values and the key's
// information, KEY_SET_VALUE to write or delete values,
// KEY_ENUMERATE_SUB_KEYS to list sub-keys, KEY_CREATE_SUB_KEY on the parent
// to make a key, DELETE on the key deleted.
#include "pal/registry/registry.h"

#include <vector>

#include "pal/error.h"
#include "pal/registry/fold.h"
#include "pal/registry/key.h"

namespace zrpal {

namespace {

using registry::KeyId;
using registry::KeyRef;

constexpr REGSAM kSpecificRights = KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY |
                                   KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY | KEY_CREATE_LINK;
constexpr REGSAM kStandardRights = DELETE | READ_CONTROL | WRITE_DAC | WRITE_OWNER | SYNCHRONIZE;
constexpr REGSAM kReadOnlyRights = KEY_READ | KEY_NOTIFY | SYNCHRONIZE;
constexpr REGSAM kAllRights = kSpecificRights | kStandardRights;

// Windows bounds a key path at 512 levels; no path given to one call can
// be deeper.
constexpr std::size_t kMaxPathComponents = 512;

bool IsPredefined(HKEY key) {
  const auto value = reinterpret_cast<std::intptr_t>(key);
  return value >= PredefinedKeyValue(0x80000000) && value <= PredefinedKeyValue(0x80000006);
}

// The rights a request stands for on a hive that is (or is not) writable.
DWORD GrantedRights(REGSAM requested, bool writable, REGSAM* granted) {
  // One registry view: the 64-bit one. The 32-bit view does not exist here.
  if (requested & KEY_WOW64_32KEY) return ERROR_INVALID_PARAMETER;
  if (requested & ACCESS_SYSTEM_SECURITY) return ERROR_PRIVILEGE_NOT_HELD;
  REGSAM rights = requested & ~(KEY_WOW64_64KEY | GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE |
                                GENERIC_ALL | MAXIMUM_ALLOWED);
  if (rights & ~kAllRights) return ERROR_INVALID_PARAMETER;
  if (requested & (GENERIC_READ | GENERIC_EXECUTE)) rights |= KEY_READ;
  if (requested & GENERIC_WRITE) rights |= KEY_WRITE;
  if (requested & GENERIC_ALL) rights |= KEY_ALL_ACCESS;
  const REGSAM possible = writable ? kAllRights : kReadOnlyRights;
  if (requested & MAXIMUM_ALLOWED) rights |= possible;
  if (rights & ~possible) return ERROR_ACCESS_DENIED;
  *granted = rights;
  return ERROR_SUCCESS;
}

DWORD GrantedRights(registry::Hive* hive, REGSAM requested, REGSAM* granted) {
  bool writable = false;
  if (const DWORD e = registry::HiveWritable(hive, &writable)) return e;
  return GrantedRights(requested, writable, granted);
}

// The components of a key path. ERROR_BAD_PATHNAME for a leading backslash
// or an empty component ("a\\\\b"); a trailing backslash ends the path.
// Components longer than a key name may be give ERROR_INVALID_PARAMETER.
DWORD SplitPath(LPCWSTR path, std::vector<std::u16string_view>* parts) {
  if (!path) return ERROR_SUCCESS;
  std::u16string_view rest(path);
  if (!rest.empty() && rest.front() == u'\\') return ERROR_BAD_PATHNAME;
  while (!rest.empty()) {
    const std::size_t cut = rest.find(u'\\');
    const std::u16string_view part = rest.substr(0, cut);
    if (part.empty()) return ERROR_BAD_PATHNAME;
    if (part.size() > kMaxKeyNameLength || parts->size() == kMaxPathComponents)
      return ERROR_INVALID_PARAMETER;
    parts->push_back(part);
    if (cut == std::u16string_view::npos) break;
    rest.remove_prefix(cut + 1);
  }
  return ERROR_SUCCESS;
}

std::u16string_view ValueName(LPCWSTR name) { return name ? std::u16string_view(name) : u""; }

DWORD NewHandle(registry::Hive* hive, KeyId id, REGSAM rights, HKEY* result) {
  auto* object = new (std::nothrow) registry::RegistryKeyObject(hive, id, rights);
  if (!object) return ERROR_NOT_ENOUGH_MEMORY;
  HANDLE handle = InsertHandle(object);  // takes the object, also on failure
  if (!handle) return GetLastError();
  *result = static_cast<HKEY>(handle);
  return ERROR_SUCCESS;
}

}  // namespace

namespace registry {

DWORD ResolveKey(HKEY key, REGSAM needed, KeyRef* out) {
  if (key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE) {
    out->hive = HiveOf(key == HKEY_CURRENT_USER ? HiveKind::CurrentUser : HiveKind::LocalMachine);
    bool writable = false;
    if (const DWORD e = HiveWritable(out->hive, &writable)) return e;
    out->id = kRootKey;
    out->access = writable ? kAllRights : kReadOnlyRights;
  } else if (IsPredefined(key)) {
    return ERROR_INVALID_HANDLE;  // the other predefined keys are not kept
  } else {
    out->hold = ReferenceHandle<RegistryKeyObject>(key, KindBit(HandleKind::RegistryKey));
    if (!out->hold) return ERROR_INVALID_HANDLE;
    out->hive = out->hold->m_hive;
    out->id = out->hold->m_id;
    out->access = out->hold->m_access;
  }
  return (out->access & needed) == needed ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

DWORD QueryValueRow(HKEY key, LPCWSTR name, ValueRow* row) {
  KeyRef k;
  if (const DWORD e = ResolveKey(key, KEY_QUERY_VALUE, &k)) return e;
  return QueryValue(k.hive, k.id, ValueName(name), row);
}

DWORD EnumKeyRow(HKEY key, DWORD index, KeyRow* row) {
  KeyRef k;
  if (const DWORD e = ResolveKey(key, KEY_ENUMERATE_SUB_KEYS, &k)) return e;
  return EnumKey(k.hive, k.id, index, row);
}

DWORD EnumValueRow(HKEY key, DWORD index, ValueRow* row) {
  KeyRef k;
  if (const DWORD e = ResolveKey(key, KEY_QUERY_VALUE, &k)) return e;
  return EnumValue(k.hive, k.id, index, row);
}

DWORD QueryInfoRow(HKEY key, KeyInfo* info) {
  KeyRef k;
  if (const DWORD e = ResolveKey(key, KEY_QUERY_VALUE, &k)) return e;
  return QueryInfo(k.hive, k.id, info);
}

}  // namespace registry

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, HKEY* result) {
  return registry::NoThrow([&]() -> DWORD {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (options & ~REG_OPTION_OPEN_LINK) return ERROR_INVALID_PARAMETER;
    KeyRef base;
    if (const DWORD e = registry::ResolveKey(key, 0, &base)) return e;
    std::vector<std::u16string_view> parts;
    if (const DWORD e = SplitPath(subKey, &parts)) return e;
    KeyId id = 0;
    if (const DWORD e = registry::OpenKey(base.hive, base.id, parts, &id)) return e;
    REGSAM rights = 0;
    if (const DWORD e = GrantedRights(base.hive, access, &rights)) return e;
    return NewHandle(base.hive, id, rights, result);
  });
}

LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                        REGSAM access, const SECURITY_ATTRIBUTES* security, HKEY* result,
                        DWORD* disposition) {
  return registry::NoThrow([&]() -> DWORD {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    // Volatile keys, links and backup semantics are not kept, nor are
    // security descriptors: refused rather than ignored.
    if (reserved || (options & ~REG_OPTION_OPEN_LINK) || security) return ERROR_INVALID_PARAMETER;
    KeyRef base;
    if (const DWORD e = registry::ResolveKey(key, 0, &base)) return e;
    std::vector<std::u16string_view> parts;
    if (const DWORD e = SplitPath(subKey, &parts)) return e;
    REGSAM rights = 0;
    if (const DWORD e = GrantedRights(base.hive, access, &rights)) return e;
    KeyId id = 0;
    bool created = false;
    const bool mayCreate = (base.access & KEY_CREATE_SUB_KEY) != 0;
    if (const DWORD e = registry::CreateKey(base.hive, base.id, parts, ValueName(keyClass),
                                            mayCreate, &id, &created))
      return e;
    if (const DWORD e = NewHandle(base.hive, id, rights, result)) return e;
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
  });
}

LSTATUS RegCloseKey(HKEY key) {
  if (IsPredefined(key)) return ERROR_SUCCESS;
  return static_cast<LSTATUS>(CloseTableHandle(key, HandleFamily::RegistryKey));
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR name, DWORD* reserved, DWORD* type, BYTE* data,
                         DWORD* dataSize) {
  return registry::NoThrow([&]() -> DWORD {
    if (reserved || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
    registry::ValueRow row;
    if (const DWORD e = registry::QueryValueRow(key, name, &row)) return e;
    return registry::PutData(row.type, row.data.data(), row.data.size(), type, data, dataSize);
  });
}

// Deviation: text whose count leaves out its terminator is stored as given;
// Windows adds one when the unit after the count is zero, reading past it.
LSTATUS RegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD size) {
  return registry::NoThrow([&]() -> DWORD {
    if (!data && size) return ERROR_NOACCESS;
    KeyRef k;
    if (const DWORD e = registry::ResolveKey(key, KEY_SET_VALUE, &k)) return e;
    const std::u16string_view valueName = ValueName(name);
    if (valueName.size() > kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
    return registry::SetValue(k.hive, k.id, valueName, type, data, size);
  });
}

LSTATUS RegDeleteValueW(HKEY key, LPCWSTR name) {
  return registry::NoThrow([&]() -> DWORD {
    KeyRef k;
    if (const DWORD e = registry::ResolveKey(key, KEY_SET_VALUE, &k)) return e;
    return registry::DeleteValue(k.hive, k.id, ValueName(name));
  });
}

LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
  return registry::NoThrow([&]() -> DWORD {
    if (!subKey) return ERROR_INVALID_PARAMETER;
    KeyRef base;
    if (const DWORD e = registry::ResolveKey(key, 0, &base)) return e;
    std::vector<std::u16string_view> parts;
    if (const DWORD e = SplitPath(subKey, &parts)) return e;
    KeyId id = 0;
    if (const DWORD e = registry::OpenKey(base.hive, base.id, parts, &id)) return e;
    REGSAM rights = 0;  // the key is opened for DELETE, as Windows does
    if (const DWORD e = GrantedRights(base.hive, DELETE, &rights)) return e;
    return registry::DeleteKey(base.hive, id);
  });
}

LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength, DWORD* reserved,
                      LPWSTR keyClass, DWORD* classLength, FILETIME* lastWriteTime) {
  return registry::NoThrow([&]() -> DWORD {
    if (reserved || !name || !nameLength || (keyClass && !classLength))
      return ERROR_INVALID_PARAMETER;
    registry::KeyRow row;
    if (const DWORD e = registry::EnumKeyRow(key, index, &row)) return e;
    return registry::PutKeyRow(row.name, row.keyClass, row.lastWrite, name, nameLength, keyClass,
                               classLength, lastWriteTime);
  });
}

LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength, DWORD* reserved,
                      DWORD* type, BYTE* data, DWORD* dataSize) {
  return registry::NoThrow([&]() -> DWORD {
    if (reserved || !name || !nameLength || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
    registry::ValueRow row;
    if (const DWORD e = registry::EnumValueRow(key, index, &row)) return e;
    return registry::PutValueRow(row.name, row.type, row.data.data(), row.data.size(), name,
                                 nameLength, type, data, dataSize);
  });
}

LSTATUS RegQueryInfoKeyW(HKEY key, LPWSTR keyClass, DWORD* classLength, DWORD* reserved,
                         DWORD* subKeys, DWORD* maxSubKeyLength, DWORD* maxClassLength,
                         DWORD* values, DWORD* maxValueNameLength, DWORD* maxValueLength,
                         DWORD* securityDescriptorSize, FILETIME* lastWriteTime) {
  return registry::NoThrow([&]() -> DWORD {
    if (reserved || (keyClass && !classLength)) return ERROR_INVALID_PARAMETER;
    registry::KeyInfo info;
    if (const DWORD e = registry::QueryInfoRow(key, &info)) return e;
    return registry::PutInfo(info, info.keyClass, keyClass, classLength, subKeys, maxSubKeyLength,
                             maxClassLength, values, maxValueNameLength, maxValueLength,
                             securityDescriptorSize, lastWriteTime);
  });
}

void RegistryStartup() {
  registry::BuildFoldTable();
  registry::StoreStartup();
}

void RegistryShutdown() { registry::StoreShutdown(); }

}  // namespace zrpal
