// pal/registry/key.h - what the wide and the 8-bit registry functions share:
// key handles, the lookup of an HKEY, and copying names and data out to
// the caller's buffers by Windows' rules.
#pragma once

#include <cstring>
#include <new>
#include <string>

#include "pal/handle.h"
#include "pal/registry/registry.h"
#include "pal/registry/store.h"

namespace zrpal::registry {

// The object behind a key handle: a key of a hive, with the rights the
// handle was opened with.
class RegistryKeyObject final : public HandleObject {
 public:
  RegistryKeyObject(Hive* hive, KeyId id, REGSAM access)
      : HandleObject(HandleKind::RegistryKey), m_hive(hive), m_id(id), m_access(access) {}
  Hive* const m_hive;
  const KeyId m_id;
  const REGSAM m_access;
};

// A key named by an HKEY, for the length of one call.
struct KeyRef {
  Hive* hive = nullptr;
  KeyId id = 0;
  REGSAM access = 0;
  HandleRef<RegistryKeyObject> hold;  // keeps a handle's object alive
};

// Looks `key` up and checks that it carries the rights `needed`:
// ERROR_INVALID_HANDLE, ERROR_ACCESS_DENIED, or the hive's error.
DWORD ResolveKey(HKEY key, REGSAM needed, KeyRef* out);

// The rows behind RegQueryValueEx, RegEnumKeyEx, RegEnumValueEx and
// RegQueryInfoKey, with the key's rights checked.
DWORD QueryValueRow(HKEY key, LPCWSTR name, ValueRow* row);
DWORD EnumKeyRow(HKEY key, DWORD index, KeyRow* row);
DWORD EnumValueRow(HKEY key, DWORD index, ValueRow* row);
DWORD QueryInfoRow(HKEY key, KeyInfo* info);

// The types whose data is text: kept as UTF-16, converted by the A
// functions.
inline bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

inline FILETIME FileTimeOf(std::int64_t value) {
  const auto bits = static_cast<std::uint64_t>(value);
  return FILETIME{static_cast<DWORD>(bits), static_cast<DWORD>(bits >> 32)};
}

// Runs a registry function's body; the platform layer does not throw, so
// running out of memory becomes ERROR_NOT_ENOUGH_MEMORY.
template <class F>
LSTATUS NoThrow(F&& body) noexcept {
  try {
    return static_cast<LSTATUS>(body());
  } catch (const std::bad_alloc&) {
    return static_cast<LSTATUS>(ERROR_NOT_ENOUGH_MEMORY);
  }
}

// Data out: the type always; the bytes when `buffer` has room (else
// ERROR_MORE_DATA, buffer untouched); *size the size of the data.
inline DWORD PutData(DWORD rowType, const void* bytes, std::size_t count, DWORD* type, BYTE* buffer,
                     DWORD* size) {
  if (type) *type = rowType;
  const auto needed = static_cast<DWORD>(count);
  if (buffer && needed > *size) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  if (buffer && needed) std::memcpy(buffer, bytes, needed);
  if (size) *size = needed;
  return ERROR_SUCCESS;
}

// A name out: it and its terminator when they fit in *length characters,
// and *length becomes its length; ERROR_MORE_DATA (nothing written) when not.
template <class C>
bool NameFits(const std::basic_string<C>& text, const DWORD* length) {
  return text.size() < *length;
}
template <class C>
void PutName(const std::basic_string<C>& text, C* buffer, DWORD* length) {
  std::memcpy(buffer, text.data(), text.size() * sizeof(C));
  buffer[text.size()] = C(0);
  *length = static_cast<DWORD>(text.size());
}

// RegEnumKeyEx's outputs from a row already in the caller's character type.
template <class C>
DWORD PutKeyRow(const std::basic_string<C>& name, const std::basic_string<C>& keyClass,
                std::int64_t lastWrite, C* nameBuffer, DWORD* nameLength, C* classBuffer,
                DWORD* classLength, FILETIME* lastWriteTime) {
  if (!NameFits(name, nameLength) || (classBuffer && !NameFits(keyClass, classLength)))
    return ERROR_MORE_DATA;
  PutName(name, nameBuffer, nameLength);
  if (classBuffer) PutName(keyClass, classBuffer, classLength);
  if (lastWriteTime) *lastWriteTime = FileTimeOf(lastWrite);
  return ERROR_SUCCESS;
}

// RegEnumValue's outputs. Nothing but the type and the data size is written
// unless both the name and the data fit, as on Windows.
template <class C>
DWORD PutValueRow(const std::basic_string<C>& name, DWORD rowType, const void* bytes,
                  std::size_t count, C* nameBuffer, DWORD* nameLength, DWORD* type, BYTE* data,
                  DWORD* dataSize) {
  if (!NameFits(name, nameLength) || (data && count > *dataSize)) {
    if (type) *type = rowType;
    if (dataSize) *dataSize = static_cast<DWORD>(count);
    return ERROR_MORE_DATA;
  }
  PutName(name, nameBuffer, nameLength);
  return PutData(rowType, bytes, count, type, data, dataSize);
}

// RegQueryInfoKey's outputs; the class is already in the caller's type.
template <class C>
DWORD PutInfo(const KeyInfo& info, const std::basic_string<C>& keyClass, C* classBuffer,
              DWORD* classLength, DWORD* subKeys, DWORD* maxSubKeyLength, DWORD* maxClassLength,
              DWORD* values, DWORD* maxValueNameLength, DWORD* maxValueLength,
              DWORD* securityDescriptorSize, FILETIME* lastWriteTime) {
  if (classBuffer) {
    if (!NameFits(keyClass, classLength)) {
      *classLength = static_cast<DWORD>(keyClass.size());
      return ERROR_MORE_DATA;
    }
    PutName(keyClass, classBuffer, classLength);
  } else if (classLength) {
    *classLength = static_cast<DWORD>(keyClass.size());
  }
  if (subKeys) *subKeys = info.subKeys;
  if (maxSubKeyLength) *maxSubKeyLength = info.maxSubKeyLength;
  if (maxClassLength) *maxClassLength = info.maxClassLength;
  if (values) *values = info.values;
  if (maxValueNameLength) *maxValueNameLength = info.maxValueNameLength;
  if (maxValueLength) *maxValueLength = info.maxValueLength;
  if (securityDescriptorSize) *securityDescriptorSize = 0;
  if (lastWriteTime) *lastWriteTime = FileTimeOf(info.lastWrite);
  return ERROR_SUCCESS;
}

}  // namespace zrpal::registry
