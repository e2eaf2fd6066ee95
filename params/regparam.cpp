// params/regparam.cpp - the registry back-end of the parameter trees (see
// zr/regparam.h).
//
// Design: a node owns one key handle and nothing else; every operation is
// one or a few registry calls on it. The binary payload table maps each
// storable variant type to its payload (size, reader, writer), in type-code
// order, ended by a row with code ZRVT_UNKNOWN and no functions; ZRVT_STR
// and ZRVT_WSTR are REG_SZ and have no row. Readers are given the bytes
// after the type code and their count, and refuse a payload shorter than
// their type needs, so damaged or foreign data is never read past its end.
//
// Enumerations are snapshots: the names are read with RegEnumKeyExA /
// RegEnumValueA, index by index until the call fails, before the first one
// is delivered, so deleting while enumerating is safe.
#include "zr/regparam.h"

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "base/heldref.h"
#include "pal/registry/registry.h"
#include "zr/variant.h"

namespace zr {

namespace {

using zrpal::LSTATUS;

constexpr std::size_t kCodeSize = 4;  // the 32-bit type code before every payload
// Names are read into a buffer of 513 characters; a longer 8-bit name (a
// key name of 255 UTF-16 units may take 765 bytes in UTF-8) is read again
// into one that fits every name the registry allows.
constexpr DWORD kNameBuffer = 513;
constexpr DWORD kLongNameBuffer = (zrpal::kMaxValueNameLength + 1) * 3;
// Values up to this size are read in one call; larger ones in a second
// call with a buffer of the size the first one reported.
constexpr DWORD kInlineData = 512;
// How many times a value that grows between the size query and the read is
// asked for again before it reads as not found.
constexpr int kReadAttempts = 3;
// Subtrees deeper than the registry's own limit are not walked.
constexpr unsigned kMaxDepth = 512;

struct PayloadRow {
  unsigned short type;
  ULONG size;  // payload bytes; 0 for the blob, whose size is in its data
  int (*read)(const BYTE* payload, std::size_t available, tagZRVARIANT* out);
  void (*write)(const tagZRVARIANT& value, BYTE* payload);
};

// Fixed-size payloads: the bytes of the value union, as they lie in the
// variant (little-endian).
template <unsigned short Type, ULONG Size>
int ReadFixed(const BYTE* payload, std::size_t available, tagZRVARIANT* out) {
  if (available < Size) return 0;
  alignas(8) BYTE value[Size ? Size : 1];
  std::memcpy(value, payload, Size);
  ZRVariantClear(out);
  out->vt = Type;
  std::memcpy(&out->boolVal, value, Size);
  return 1;
}

template <ULONG Size>
void WriteFixed(const tagZRVARIANT& value, BYTE* payload) {
  std::memcpy(payload, &value.boolVal, Size);
}

int ReadEmpty(const BYTE*, std::size_t, tagZRVARIANT* out) {
  ZRVariantClear(out);
  return 1;
}

void WriteNothing(const tagZRVARIANT&, BYTE*) {}

// The blob: its 32-bit length, then that many bytes.
int ReadBlob(const BYTE* payload, std::size_t available, tagZRVARIANT* out) {
  ULONG length = 0;
  if (available < sizeof length) return 0;
  std::memcpy(&length, payload, sizeof length);
  if (available - sizeof length < length) return 0;
  tagZRBLOB blob{length, length ? zr::Allocating([length] { return new BYTE[length]; }) : nullptr};
  if (length) std::memcpy(blob.pBlobData, payload + sizeof length, length);
  return ZRVariantBindFromValue(ZRVT_BLOB, &blob, out);  // takes the buffer over
}

// A blob with a size but no data is written as that many zero bytes.
void WriteBlob(const tagZRVARIANT& value, BYTE* payload) {
  const tagZRBLOB& blob = value.blobVal;
  std::memcpy(payload, &blob.cbSize, sizeof blob.cbSize);
  if (blob.pBlobData)
    std::memcpy(payload + sizeof blob.cbSize, blob.pBlobData, blob.cbSize);
  else
    std::memset(payload + sizeof blob.cbSize, 0, blob.cbSize);
}

#define ZR_FIXED_ROW(type, size) \
  { type, size, ReadFixed<type, size>, WriteFixed<size> }
constexpr PayloadRow kPayloadTable[] = {
    {ZRVT_EMPTY, 0, ReadEmpty, WriteNothing},
    ZR_FIXED_ROW(ZRVT_BOOL, 4),
    ZR_FIXED_ROW(ZRVT_UI1, 1),
    ZR_FIXED_ROW(ZRVT_UI2, 2),
    ZR_FIXED_ROW(ZRVT_ULONG, 4),
    ZR_FIXED_ROW(ZRVT_INT, 4),
    ZR_FIXED_ROW(ZRVT_UINT, 4),
    ZR_FIXED_ROW(ZRVT_LONG, 4),
    ZR_FIXED_ROW(ZRVT_DOUBLE, 8),
    ZR_FIXED_ROW(ZRVT_FLOAT, 4),
    ZR_FIXED_ROW(ZRVT_SIZE, 8),
    ZR_FIXED_ROW(ZRVT_RSIZE, 16),
    ZR_FIXED_ROW(ZRVT_POINT, 8),
    ZR_FIXED_ROW(ZRVT_RPOINT, 16),
    ZR_FIXED_ROW(ZRVT_RECT, 16),
    ZR_FIXED_ROW(ZRVT_RRECT, 32),
    {ZRVT_BLOB, 0, ReadBlob, WriteBlob},
    {ZRVT_UNKNOWN, 0, nullptr, nullptr},  // the end
};
#undef ZR_FIXED_ROW

static_assert(sizeof(tagPOINT) == 8 && sizeof(tagRPOINT) == 16 && sizeof(tagRECT) == 16 &&
                  sizeof(tagRRECT) == 32 && sizeof(tagSIZE) == 8 && sizeof(tagRSIZE) == 16,
              "payload sizes are the geometry records' sizes");

const PayloadRow* FindRow(unsigned type) {
  for (const PayloadRow* row = kPayloadTable; row->type != ZRVT_UNKNOWN; ++row)
    if (row->type == type) return row;
  return nullptr;
}

// A new node over `key`; the key is closed if the node cannot be made.
IParam* NodeOver(HKEY key) {
  try {
    return zr::Allocating([key] { return new CRegistryParam(key); });
  } catch (...) {
    zrpal::RegCloseKey(key);
    throw;
  }
}

IParam* OpenRoot(HKEY hive, const WCHAR* subKey) {
  HKEY key = nullptr;
  if (zrpal::RegOpenKeyExW(hive, subKey, 0, zrpal::KEY_ALL_ACCESS, &key) != zrpal::ERROR_SUCCESS)
    return nullptr;
  try {
    return NodeOver(key);
  } catch (const std::bad_alloc&) {
    return nullptr;
  } catch (const CXMemException&) {
    return nullptr;
  }
}

// Reads the value `name` into `data`: its registry type, or false when it
// cannot be read.
bool ReadValue(HKEY key, const char* name, std::vector<BYTE>* data, DWORD* type) {
  BYTE inline_[kInlineData];
  DWORD size = sizeof inline_;
  LSTATUS e = zrpal::RegQueryValueExA(key, name, nullptr, type, inline_, &size);
  if (e == zrpal::ERROR_SUCCESS) {
    data->assign(inline_, inline_ + size);
    return true;
  }
  for (int attempt = 0; e == zrpal::ERROR_MORE_DATA && attempt < kReadAttempts; ++attempt) {
    data->resize(size);
    e = zrpal::RegQueryValueExA(key, name, nullptr, type, data->data(), &size);
  }
  if (e != zrpal::ERROR_SUCCESS) return false;
  data->resize(size);
  return true;
}

}  // namespace

}  // namespace zr

// --- _CTValEnum ------------------------------------------------------------

_CTValEnum::_CTValEnum(CXString* names, ULONG count)
    : m_pNames(names), m_nCount(count), m_nIndex(0) {}

_CTValEnum::~_CTValEnum() { delete[] m_pNames; }

int _CTValEnum::Next(ULONG count, const char** items, ULONG* fetched) {
  const int remained = m_nIndex < m_nCount ? 1 : 0;
  ULONG delivered = 0;
  while (items && delivered < count && m_nIndex < m_nCount)
    items[delivered++] = static_cast<const char*>(m_pNames[m_nIndex++]);
  if (fetched) *fetched = delivered;
  return remained;
}

int _CTValEnum::Skip(ULONG count) {
  // As the string enumerators: the position saturates instead of wrapping.
  const ULONG room = ~ULONG{0} - m_nIndex;
  m_nIndex = count > room ? ~ULONG{0} : m_nIndex + count;
  return 1;
}

void _CTValEnum::Reset() { m_nIndex = 0; }

// --- CRegistryParam ---------------------------------------------------------

CRegistryParam::CRegistryParam(HKEY key) : m_hKey(key) {
  m_registry.RegisterInterface(static_cast<IParam*>(this), typeid(IParam), 0);
  m_registry.RegisterInterface(static_cast<IRegisterIface*>(this), typeid(IRegisterIface), 0);
}

CRegistryParam::~CRegistryParam() { zrpal::RegCloseKey(m_hKey); }

IParam* CRegistryParam::OpenParam(const char* name, int create) {
  HKEY key = nullptr;
  if (zrpal::RegOpenKeyExA(m_hKey, name, 0, zrpal::KEY_ALL_ACCESS, &key) == zrpal::ERROR_SUCCESS)
    return zr::NodeOver(key);
  return create ? CreateParam(name) : nullptr;
}

IParam* CRegistryParam::CreateParam(const char* name) {
  if (IParam* existing = OpenParam(name, 0)) {
    existing->Purge();
    existing->Release();
  }
  char noClass[] = "";
  HKEY key = nullptr;
  if (zrpal::RegCreateKeyExA(m_hKey, name, 0, noClass, 0, zrpal::KEY_ALL_ACCESS, nullptr, &key,
                             nullptr) != zrpal::ERROR_SUCCESS)
    return nullptr;
  return zr::NodeOver(key);
}

void CRegistryParam::DeleteParam(const char* name) { DeleteParamAt(name, 0); }

void CRegistryParam::DeleteParamAt(const char* name, unsigned depth) {
  if (depth >= zr::kMaxDepth) return;
  auto* node = static_cast<CRegistryParam*>(OpenParam(name, 0));
  if (!node) return;
  {
    const zr::CHeldRef hold(static_cast<IParam*>(node));
    // Bottom-up: the sub-keys' own subtrees first, then the values.
    _CTValEnum* keys = node->EnumNames(true);
    const zr::CHeldRef holdKeys(keys);
    for (const char* sub = nullptr; keys->Next(1, &sub, nullptr);)
      node->DeleteParamAt(sub, depth + 1);
    node->DeleteAllValues();
  }
  zrpal::RegDeleteKeyA(m_hKey, name);
}

void CRegistryParam::DeleteAllParams() {
  _CTValEnum* names = EnumNames(true);
  const zr::CHeldRef hold(names);
  for (const char* name = nullptr; names->Next(1, &name, nullptr);) DeleteParam(name);
}

CTEnum<const char*>* CRegistryParam::EnumParams() { return EnumNames(true); }
CTEnum<const char*>* CRegistryParam::EnumValues() { return EnumNames(false); }

_CTValEnum* CRegistryParam::EnumNames(bool keys) {
  std::vector<CXString> names;
  std::vector<char> buffer(zr::kNameBuffer);
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(buffer.size());
    const zrpal::LSTATUS e = keys ? zrpal::RegEnumKeyExA(m_hKey, index, buffer.data(), &length,
                                                         nullptr, nullptr, nullptr, nullptr)
                                  : zrpal::RegEnumValueA(m_hKey, index, buffer.data(), &length,
                                                         nullptr, nullptr, nullptr, nullptr);
    if (e == zrpal::ERROR_MORE_DATA && buffer.size() < zr::kLongNameBuffer) {
      buffer.resize(zr::kLongNameBuffer);
      --index;  // the same index again, with room for any name
      continue;
    }
    if (e != zrpal::ERROR_SUCCESS) break;
    names.emplace_back(buffer.data());
  }
  const auto count = static_cast<ULONG>(names.size());
  CXString* array = count ? zr::Allocating([count] { return new CXString[count]; }) : nullptr;
  for (ULONG i = 0; i < count; ++i) array[i] = names[i];
  try {
    return zr::Allocating([array, count] { return new _CTValEnum(array, count); });
  } catch (...) {
    delete[] array;
    throw;
  }
}

int CRegistryParam::GetValue(const char* name, tagZRVARIANT* out) {
  ZRVariantClear(out);
  std::vector<BYTE> data;
  DWORD type = 0;
  if (!zr::ReadValue(m_hKey, name, &data, &type)) return 0;
  if (type == zrpal::REG_SZ) {
    // Data written by others may lack its terminator: the text ends at the
    // first zero or at the end of the data.
    std::string text;
    if (data.size() >= 2) text.assign(data.begin(), data.end());
    char* chars = text.data();
    return ZRVariantBindFromValue(ZRVT_STR, &chars, out) ? 1 : 0;
  }
  // Any other type is read as a type code and its payload.
  ULONG code = 0;
  if (data.size() < zr::kCodeSize) return 0;
  std::memcpy(&code, data.data(), zr::kCodeSize);
  const zr::PayloadRow* row = zr::FindRow(code);
  if (!row) return 0;
  return row->read(data.data() + zr::kCodeSize, data.size() - zr::kCodeSize, out);
}

void CRegistryParam::SetValue(const char* name, const tagZRVARIANT* value) {
  if (!value) return;
  if (value->vt == ZRVT_STR) {
    const char* text = value->pszVal ? value->pszVal : "";  // a null text is stored as ""
    zrpal::RegSetValueExA(m_hKey, name, 0, zrpal::REG_SZ, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>(std::strlen(text) + 1));
    return;
  }
  if (value->vt == ZRVT_WSTR) {
    const CXStringW wideName(name ? name : "");
    const CXStringW text(value->pwszVal ? value->pwszVal : u"");
    zrpal::RegSetValueExW(m_hKey, wideName, 0, zrpal::REG_SZ,
                          reinterpret_cast<const BYTE*>(static_cast<const WCHAR*>(text)),
                          static_cast<DWORD>((text.GetLength() + 1) * sizeof(WCHAR)));
    return;
  }
  const zr::PayloadRow* row = zr::FindRow(value->vt);
  if (!row) return;  // nothing is written for a type without a row
  const std::size_t payload =
      value->vt == ZRVT_BLOB ? sizeof(ULONG) + value->blobVal.cbSize : row->size;
  std::vector<BYTE> buffer(zr::kCodeSize + payload);
  const ULONG code = value->vt;
  std::memcpy(buffer.data(), &code, zr::kCodeSize);
  row->write(*value, buffer.data() + zr::kCodeSize);
  zrpal::RegSetValueExA(m_hKey, name, 0, zrpal::REG_BINARY, buffer.data(),
                        static_cast<DWORD>(buffer.size()));
}

void CRegistryParam::DeleteValue(const char* name) { zrpal::RegDeleteValueA(m_hKey, name); }

void CRegistryParam::DeleteAllValues() {
  _CTValEnum* names = EnumNames(false);
  const zr::CHeldRef hold(names);
  for (const char* name = nullptr; names->Next(1, &name, nullptr);) DeleteValue(name);
}

void CRegistryParam::Purge() { PurgeAt(0); }

void CRegistryParam::PurgeAt(unsigned depth) {
  if (depth < zr::kMaxDepth) {
    _CTValEnum* names = EnumNames(true);
    const zr::CHeldRef hold(names);
    for (const char* name = nullptr; names->Next(1, &name, nullptr);) {
      // A sub-key that cannot be opened is skipped.
      if (auto* node = static_cast<CRegistryParam*>(OpenParam(name, 0))) {
        const zr::CHeldRef holdNode(static_cast<IParam*>(node));
        node->PurgeAt(depth + 1);
      }
    }
  }
  DeleteAllValues();
}

IParam* new_IParamCUReg(const WCHAR* subKey) { return zr::OpenRoot(HKEY_CURRENT_USER, subKey); }

IParam* new_IParamLMReg(const WCHAR* subKey) { return zr::OpenRoot(HKEY_LOCAL_MACHINE, subKey); }
