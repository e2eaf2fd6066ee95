// pal/registry/registry_ansi.cpp - the 8-bit registry functions: the wide
// ones with names, classes and text data converted through the ANSI code
// page (CP_ACP), as Windows does.
//
// Text data (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) is converted with every
// byte or unit it has, embedded zeros and terminators included: a value
// written with its terminator reads back with it. Sizes the A functions
// report are those of the converted data.
#include <string>

#include "pal/codepage.h"
#include "pal/registry/key.h"

namespace zrpal {

namespace {

// UTF-16 of `count` bytes of 8-bit text (or up to its terminator with -1).
std::u16string Widen(LPCSTR text, int count) {
  if (count == 0) return {};
  const int units = MultiByteToWideChar(CP_ACP, 0, text, count, nullptr, 0);
  std::u16string wide(static_cast<std::size_t>(units > 0 ? units : 0), u'\0');
  if (units > 0) MultiByteToWideChar(CP_ACP, 0, text, count, wide.data(), units);
  if (count < 0 && !wide.empty()) wide.pop_back();  // the terminator
  return wide;
}

// 8-bit text of `count` UTF-16 units.
std::string Narrow(const WCHAR* text, std::size_t count) {
  if (count == 0) return {};
  const int n = static_cast<int>(count);
  const int bytes = WideCharToMultiByte(CP_ACP, 0, text, n, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0) WideCharToMultiByte(CP_ACP, 0, text, n, narrow.data(), bytes, nullptr, nullptr);
  return narrow;
}

std::string Narrow(const std::u16string& text) { return Narrow(text.data(), text.size()); }

// A name argument: null stays null.
class WideName {
 public:
  explicit WideName(LPCSTR name) : m_null(!name) {
    if (name) m_text = Widen(name, -1);
  }
  LPCWSTR get() const { return m_null ? nullptr : m_text.c_str(); }

 private:
  bool m_null;
  std::u16string m_text;
};

// The data of a row as the A functions give it: text types converted (an
// odd last byte is not a unit and is dropped).
std::string AnsiData(const registry::ValueRow& row) {
  const auto* units = reinterpret_cast<const WCHAR*>(row.data.data());
  std::u16string copy(units, units + row.data.size() / 2);  // aligned for conversion
  return Narrow(copy);
}

DWORD PutRowData(const registry::ValueRow& row, DWORD* type, BYTE* data, DWORD* dataSize) {
  if (!registry::IsStringType(row.type))
    return registry::PutData(row.type, row.data.data(), row.data.size(), type, data, dataSize);
  const std::string text = AnsiData(row);
  return registry::PutData(row.type, text.data(), text.size(), type, data, dataSize);
}

}  // namespace

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, HKEY* result) {
  return registry::NoThrow([&]() -> DWORD {
    return RegOpenKeyExW(key, WideName(subKey).get(), options, access, result);
  });
}

LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                        REGSAM access, const SECURITY_ATTRIBUTES* security, HKEY* result,
                        DWORD* disposition) {
  return registry::NoThrow([&]() -> DWORD {
    std::u16string wideClass = keyClass ? Widen(keyClass, -1) : std::u16string();
    return RegCreateKeyExW(key, WideName(subKey).get(), reserved, wideClass.data(), options, access,
                           security, result, disposition);
  });
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR name, DWORD* reserved, DWORD* type, BYTE* data,
                         DWORD* dataSize) {
  return registry::NoThrow([&]() -> DWORD {
    if (reserved || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
    registry::ValueRow row;
    if (const DWORD e = registry::QueryValueRow(key, WideName(name).get(), &row)) return e;
    return PutRowData(row, type, data, dataSize);
  });
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD size) {
  return registry::NoThrow([&]() -> DWORD {
    if (!data && size) return ERROR_NOACCESS;
    const WideName wideName(name);
    if (!registry::IsStringType(type))
      return RegSetValueExW(key, wideName.get(), reserved, type, data, size);
    const std::u16string text = Widen(reinterpret_cast<LPCSTR>(data), static_cast<int>(size));
    return RegSetValueExW(key, wideName.get(), reserved, type,
                          reinterpret_cast<const BYTE*>(text.data()),
                          static_cast<DWORD>(text.size() * sizeof(WCHAR)));
  });
}

LSTATUS RegDeleteValueA(HKEY key, LPCSTR name) {
  return registry::NoThrow([&]() -> DWORD { return RegDeleteValueW(key, WideName(name).get()); });
}

LSTATUS RegDeleteKeyA(HKEY key, LPCSTR subKey) {
  return registry::NoThrow([&]() -> DWORD { return RegDeleteKeyW(key, WideName(subKey).get()); });
}

LSTATUS RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, DWORD* nameLength, DWORD* reserved,
                      LPSTR keyClass, DWORD* classLength, FILETIME* lastWriteTime) {
  return registry::NoThrow([&]() -> DWORD {
    if (reserved || !name || !nameLength || (keyClass && !classLength))
      return ERROR_INVALID_PARAMETER;
    registry::KeyRow row;
    if (const DWORD e = registry::EnumKeyRow(key, index, &row)) return e;
    return registry::PutKeyRow(Narrow(row.name), Narrow(row.keyClass), row.lastWrite, name,
                               nameLength, keyClass, classLength, lastWriteTime);
  });
}

LSTATUS RegEnumValueA(HKEY key, DWORD index, LPSTR name, DWORD* nameLength, DWORD* reserved,
                      DWORD* type, BYTE* data, DWORD* dataSize) {
  return registry::NoThrow([&]() -> DWORD {
    if (reserved || !name || !nameLength || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
    registry::ValueRow row;
    if (const DWORD e = registry::EnumValueRow(key, index, &row)) return e;
    const std::string rowName = Narrow(row.name);
    if (!registry::IsStringType(row.type))
      return registry::PutValueRow(rowName, row.type, row.data.data(), row.data.size(), name,
                                   nameLength, type, data, dataSize);
    const std::string text = AnsiData(row);
    return registry::PutValueRow(rowName, row.type, text.data(), text.size(), name, nameLength,
                                 type, data, dataSize);
  });
}

LSTATUS RegQueryInfoKeyA(HKEY key, LPSTR keyClass, DWORD* classLength, DWORD* reserved,
                         DWORD* subKeys, DWORD* maxSubKeyLength, DWORD* maxClassLength,
                         DWORD* values, DWORD* maxValueNameLength, DWORD* maxValueLength,
                         DWORD* securityDescriptorSize, FILETIME* lastWriteTime) {
  return registry::NoThrow([&]() -> DWORD {
    if (reserved || (keyClass && !classLength)) return ERROR_INVALID_PARAMETER;
    registry::KeyInfo info;
    if (const DWORD e = registry::QueryInfoRow(key, &info)) return e;
    // The longest lengths stay in UTF-16 units, as Windows reports them.
    return registry::PutInfo(info, Narrow(info.keyClass), keyClass, classLength, subKeys,
                             maxSubKeyLength, maxClassLength, values, maxValueNameLength,
                             maxValueLength, securityDescriptorSize, lastWriteTime);
  });
}

}  // namespace zrpal
