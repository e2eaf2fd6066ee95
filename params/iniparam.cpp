// params/iniparam.cpp - the INI-file back-end (zr/iniparam.h).
//
// Every operation is one or a few profile-function calls on the node's
// section; the node itself holds only names. The profile functions keep the
// parsed file cached and validated (pal/profile/profile.cpp), so repeated
// reads cost a lookup, and their writes replace the file atomically.
//
// The contract reads section lists, key lists and value texts into
// process-wide 64000-byte buffers. Here they are per call (the value text on
// the stack, lists on the heap, since Purge recurses while holding one), so
// nodes on different files may be used from different threads; the cut at
// 64000 bytes is kept.
#include "zr/iniparam.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <unordered_set>

#include "pal/profile/profile.h"
#include "params/treewalk.h"
#include "params/valuetext.h"
#include "zr/fileops.h"
#include "zr/variant.h"
#include "zr/xstring.h"

namespace zr {

namespace {

constexpr zrpal::DWORD kProfileBufferSize = 64000;
constexpr char kRootSection[] = "\\";
constexpr char kBackslash = '\\';
constexpr char kDefaultName[] = "@";
constexpr char kMarkerText[] = "e";  // an empty value

// Step 1 of node construction: S alone without a name, else S, a backslash
// unless S is the root's "\", and the name.
std::string SectionName(const char* parentSection, const char* name) {
  std::string section(parentSection);
  if (name) {
    if (section != kRootSection) section += kBackslash;
    section += name;
  }
  return section;
}

char* CopyName(std::string_view text) {
  char* copy = new char[text.size() + 1];
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = 0;
  return copy;
}

// The folder that holds `fileName` (the text before its last separator),
// made level by level with the files layer's Fio_CreateDirectory, which
// throws CXFileException when a level cannot be made. A name without a
// folder, or directly under the root, needs none.
void CreateFolderOf(const char* fileName) {
  const CXStringW wide(fileName);
  const std::u16string_view path(static_cast<const WCHAR*>(wide));
  const std::size_t last = path.find_last_of(u"\\/");
  if (last == std::u16string_view::npos || last == 0) return;
  Fio_CreateDirectory(std::u16string(path.substr(0, last)).c_str());
}

// A zero-delimited list read into a buffer of the contract's size: the
// section names (section null) or the key names of `section`.
std::unique_ptr<char[]> ReadList(const char* section, const char* fileName) {
  std::unique_ptr<char[]> list(new char[kProfileBufferSize]);
  zrpal::GetPrivateProfileStringA(section, nullptr, "", list.get(), kProfileBufferSize, fileName);
  return list;
}

// The first n bytes of a and b equal as _strnicmp compares them in the "C"
// locale (a shorter text differs at its terminator).
bool SameNoCase(const char* a, const char* b, std::size_t n) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (std::size_t i = 0; i < n; ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
    if (!a[i]) return true;
  }
  return true;
}

// std::hash of the names, under a type of the library's own, so that the
// set's code is not exported as the standard library's.
struct NameHash {
  std::size_t operator()(std::string_view name) const {
    return std::hash<std::string_view>()(name);
  }
};

// A path cut at its last backslash.
struct SplitPath {
  std::string head;
  const char* tail;
};
SplitPath Split(const char* path, const char* lastBackslash) {
  return {std::string(path, static_cast<std::size_t>(lastBackslash - path)), lastBackslash + 1};
}

}  // namespace

}  // namespace zr

using zr::CNameWalk;
using zr::CParamRef;

// The fields in their documented order after the two table pointers.
struct CIniFileParamLayout {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
  static_assert(offsetof(CIniFileParam, m_cRef) == 2 * sizeof(void*));
  static_assert(offsetof(CIniFileParam, m_cRef) < offsetof(CIniFileParam, m_registry));
  static_assert(offsetof(CIniFileParam, m_registry) + sizeof(CZRInterfaceRegistry) ==
                offsetof(CIniFileParam, m_pParent));
  static_assert(offsetof(CIniFileParam, m_pParent) + sizeof(void*) ==
                offsetof(CIniFileParam, m_pszFileName));
  static_assert(offsetof(CIniFileParam, m_pszFileName) + sizeof(void*) ==
                offsetof(CIniFileParam, m_pszSection));
  static_assert(offsetof(CIniFileParam, m_pszSection) + sizeof(void*) ==
                offsetof(CIniFileParam, m_nSectionLength));
  static_assert(offsetof(CIniFileParam, m_nSectionLength) + sizeof(ULONG) ==
                offsetof(CIniFileParam, m_bRoot));
#pragma GCC diagnostic pop
};

CIniFileParam::CIniFileParam(const char* fileName, const char* parentSection, const char* name,
                             IParam* parent)
    : m_cRef(1),
      m_pParent(nullptr),
      m_pszFileName(nullptr),
      m_pszSection(nullptr),
      m_nSectionLength(0),
      m_bRoot(0) {
  const std::string section = zr::SectionName(parentSection ? parentSection : "", name);
  // Step 3's read and folder first, before anything is held: making the
  // folder throws when it cannot be made, and a constructor that throws
  // runs no destructor. Only whether "@" reads as empty matters: a small
  // buffer tells as well.
  char marker[2];
  zrpal::GetPrivateProfileStringA(section.c_str(), zr::kDefaultName, "", marker, sizeof marker,
                                  fileName ? fileName : "");
  if (!marker[0]) zr::CreateFolderOf(fileName ? fileName : "");
  std::unique_ptr<char[]> sectionCopy(zr::CopyName(section));
  m_pszFileName = zr::CopyName(fileName ? fileName : "");
  m_pszSection = sectionCopy.release();
  m_pParent = parent;
  if (m_pParent) m_pParent->AddRef();
  m_registry.RegisterInterface(static_cast<IRegisterIface*>(this), typeid(IRegisterIface), 0);
  if (!marker[0])
    zrpal::WritePrivateProfileStringA(m_pszSection, zr::kDefaultName, zr::kMarkerText,
                                      m_pszFileName);
  m_nSectionLength = static_cast<ULONG>(section.size());
  m_bRoot = section == zr::kRootSection;
}

CIniFileParam::~CIniFileParam() {
  delete[] m_pszFileName;
  delete[] m_pszSection;
  if (m_pParent) m_pParent->Release();
}

ULONG CIniFileParam::Release() {
  if (--m_cRef == 0) {
    delete this;
    return 0;
  }
  return m_cRef;
}

int CIniFileParam::QueryInterface(const std::type_info& type, void** out) {
  return m_registry.QueryInterface(type, out);
}

ULONG CIniFileParam::AddRef() { return ++m_cRef; }

int CIniFileParam::RegisterInterface(IZRUnknown* object, const std::type_info& type, ULONG strong) {
  return m_registry.RegisterInterface(object, type, strong);
}

IParam* CIniFileParam::CreateParam(const char* name) {
  if (IParam* existing = OpenParam(name, 0)) {
    existing->Purge();
    existing->Release();
  }
  return new CIniFileParam(m_pszFileName, m_pszSection, name ? name : "", this);
}

IParam* CIniFileParam::OpenParam(const char* name, int create) {
  if (!name) name = "";
  const std::string sub = zr::SectionName(m_pszSection, name);
  if (zr::ReadList(sub.c_str(), m_pszFileName)[0])
    return new CIniFileParam(m_pszFileName, m_pszSection, name, this);
  return create ? CreateParam(name) : nullptr;
}

void CIniFileParam::DeleteParam(const char* name) {
  if (IParam* node = OpenParam(name, 0)) {
    node->Purge();
    node->Release();
  }
}

void CIniFileParam::DeleteAllParams() {
  CNameWalk names(EnumParams());
  while (const char* name = names.Next()) DeleteParam(name);
}

CTEnum<const char*>* CIniFileParam::EnumParams() { return EnumSubSections(); }

CTEnum<const char*>* CIniFileParam::EnumSubSections() {
  const std::unique_ptr<char[]> sections = zr::ReadList(nullptr, m_pszFileName);
  std::string children;  // zero-delimited
  std::unordered_set<std::string_view, zr::NameHash> seen;
  for (const char* n = sections.get(); *n; n += std::strlen(n) + 1) {
    // The child name rule.
    if (std::strcmp(n, zr::kRootSection) == 0) continue;
    if (!zr::SameNoCase(n, m_pszSection, m_nSectionLength)) continue;
    const char* rest = n + m_nSectionLength;
    if (!m_bRoot) {
      if (*rest != zr::kBackslash) continue;
      ++rest;
    }
    if (!*rest) continue;
    const std::string_view child(rest, std::strcspn(rest, "\\"));
    // "\\x" would give an empty name, which would end the zero-delimited
    // list early: it names no sub-parameter.
    if (child.empty() || !seen.insert(child).second) continue;
    children.append(child).push_back('\0');
  }
  return new _CZeroDelimitedStringsEnum<char>(children.c_str(), static_cast<IParam*>(this));
}

int CIniFileParam::GetValue(const char* name, tagZRVARIANT* out) {
  if (!name || !*name) name = zr::kDefaultName;
  if (const char* last = std::strrchr(name, zr::kBackslash)) {
    const zr::SplitPath path = zr::Split(name, last);
    CParamRef node(OpenParam(path.head.c_str(), 0));
    return node ? node->GetValue(path.tail, out) : 0;
  }
  char text[zr::kProfileBufferSize];
  zrpal::GetPrivateProfileStringA(m_pszSection, name, "", text, sizeof text, m_pszFileName);
  ZRVariantClear(out);
  if (!text[0]) return 0;
  return zr::ParseValueText(text, out);
}

void CIniFileParam::SetValue(const char* name, const tagZRVARIANT* value) {
  if (const char* last = name ? std::strrchr(name, zr::kBackslash) : nullptr) {
    const zr::SplitPath path = zr::Split(name, last);
    CParamRef node(OpenParam(path.head.c_str(), 0));
    if (!node) node.Reset(CreateParam(path.head.c_str()));
    if (node) node->SetValue(path.tail, value);
    return;
  }
  const zr::CValueTextRow* row = value ? zr::FindValueTextByType(value->vt) : nullptr;
  if (!row) return;
  std::string text(1, row->tag);
  row->format(*value, text);
  // What a read can return: the text cut to the read buffer.
  if (text.size() >= zr::kProfileBufferSize) text.resize(zr::kProfileBufferSize - 1);
  zrpal::WritePrivateProfileStringA(m_pszSection, name && *name ? name : zr::kDefaultName,
                                    text.c_str(), m_pszFileName);
}

void CIniFileParam::DeleteValue(const char* name) {
  // A null key would delete the whole section.
  zrpal::WritePrivateProfileStringA(m_pszSection, name ? name : zr::kDefaultName, nullptr,
                                    m_pszFileName);
}

void CIniFileParam::DeleteAllValues() {
  {
    CNameWalk names(EnumValues());
    while (const char* name = names.Next()) DeleteValue(name);
  }
  zrpal::WritePrivateProfileStringA(m_pszSection, zr::kDefaultName, zr::kMarkerText, m_pszFileName);
}

CTEnum<const char*>* CIniFileParam::EnumValues() {
  const std::unique_ptr<char[]> keys = zr::ReadList(m_pszSection, m_pszFileName);
  return new _CZeroDelimitedStringsEnum<char>(keys.get(), static_cast<IParam*>(this));
}

void CIniFileParam::Purge() {
  {
    CNameWalk names(EnumParams());
    while (const char* name = names.Next()) {
      CParamRef node(OpenParam(name, 0));
      if (node) node->Purge();
    }
  }
  zrpal::WritePrivateProfileStringA(m_pszSection, nullptr, nullptr, m_pszFileName);
}

void CIniFileParam::SetParent(IParam* parent) {
  if (parent) parent->AddRef();
  if (m_pParent) m_pParent->Release();
  m_pParent = parent;
}

IParam* CIniFileParam::GetParent() {
  if (m_pParent) m_pParent->AddRef();
  return m_pParent;
}

CIniFileEnum::CIniFileEnum(const char* list) : _CZeroDelimitedStringsEnum<char>(list, nullptr) {}

IParam* new_IParamIniFile(const WCHAR* fileName) {
  try {
    const CXString name(fileName);
    return new CIniFileParam(name, zr::kRootSection, nullptr, nullptr);
  } catch (const std::bad_alloc&) {
    return nullptr;
  } catch (const CXMemException&) {
    return nullptr;
  }
}
