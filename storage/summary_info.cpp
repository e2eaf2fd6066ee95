// storage/summary_info.cpp - CIZRSummaryInfo (see summary_info.h).
#include "storage/summary_info.h"

#include <string>

#include "pal/codepage.h"
#include "zr/exception.h"

template class CZRUnknownImpl<IZRProperty>;

namespace zr {

namespace {

using namespace zrpal;

// Identifiers at or above this select the document summary information set.
constexpr int kDocSummaryBase = 0x10000;
constexpr int kDocSummaryShift = 16;
// The name table's bucket count.
constexpr ULONG kNameBuckets = 127;
static_assert(kNameBuckets == 127, "CTMapEnum's fixed bucket count");

struct NameEntry {
  const char* name;
  int id;
};
constexpr NameEntry kNames[] = {
    {"Title", PIDSI_TITLE},        {"Subject", PIDSI_SUBJECT},
    {"Author", PIDSI_AUTHOR},      {"Keywords", PIDSI_KEYWORDS},
    {"Comments", PIDSI_COMMENTS},  {"Last Author", PIDSI_LASTAUTHOR},
    {"App name", PIDSI_APPNAME},   {"Category", PIDDSI_CATEGORY << kDocSummaryShift},
    {"Company", PIDDSI_COMPANY << kDocSummaryShift},
};

// Open and create modes of the summary sets.
constexpr DWORD kOpenRead = STGM_SHARE_EXCLUSIVE | STGM_READ;
constexpr DWORD kOpenWrite = STGM_SHARE_EXCLUSIVE | STGM_READWRITE;
constexpr DWORD kCreate = STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE;

PROPSPEC SpecOf(int id) {
  PROPSPEC spec{};
  spec.ulKind = PRSPEC_PROPID;
  spec.propid = id >= kDocSummaryBase ? static_cast<PROPID>(id) >> kDocSummaryShift : static_cast<PROPID>(id);
  return spec;
}

}  // namespace

CIZRSummaryInfo::CIZRSummaryInfo(IPropertySetStorage* sets)
    : m_pPropSetStg(sets), m_pNames(Allocating([] { return new SummaryNameMap(); })) {
  if (!m_pPropSetStg) return;
  m_pPropSetStg->AddRef();
  for (const NameEntry& e : kNames) m_pNames->Set(e.name, e.id);
}

CIZRSummaryInfo::~CIZRSummaryInfo() {
  m_pNames->RemoveAll();
  m_pNames->Release();
  if (m_pPropSetStg) m_pPropSetStg->Release();
}

IPropertyStorage* CIZRSummaryInfo::OpenSet(int id, int create) {
  m_bCreate = create;
  if (!m_pPropSetStg) return nullptr;
  const FMTID& fmtid = id >= kDocSummaryBase ? FMTID_DocSummaryInformation : FMTID_SummaryInformation;
  IPropertyStorage* set = nullptr;
  HRESULT hr = m_pPropSetStg->Open(fmtid, create ? kOpenWrite : kOpenRead, &set);
  if (FAILED(hr) && create)
    hr = m_pPropSetStg->Create(fmtid, nullptr, PROPSETFLAG_ANSI, kCreate, &set);
  if (hr == STG_E_INSUFFICIENTMEMORY || hr == E_OUTOFMEMORY) throw CXMemException();
  return SUCCEEDED(hr) ? set : nullptr;
}

int CIZRSummaryInfo::GetProperty(const char* name, tagZRPROPERTYVALUE* value) {
  if (!m_pPropSetStg || !value) return 0;
  int id = 0;
  if (!m_pNames->Lookup(name, id)) return 0;
  IPropertyStorage* set = OpenSet(id, 0);
  if (!set) return 0;
  const PROPSPEC spec = SpecOf(id);
  PROPVARIANT v{};
  const HRESULT hr = set->ReadMultiple(1, &spec, &v);
  set->Release();
  int result = 0;
  if (hr == S_OK && v.vt == VT_LPSTR && v.pszVal) {
    try {
      value->var = v.pszVal;
    } catch (...) {
      PropVariantClear(&v);
      throw;
    }
    value->dwReserved = 0;
    result = 1;
  }
  PropVariantClear(&v);
  return result;
}

int CIZRSummaryInfo::SetProperty(const char* name, const tagZRVARIANT* value) {
  if (!m_pPropSetStg || !value) return 0;
  int id = 0;
  if (!m_pNames->Lookup(name, id)) return 0;
  std::string text;
  if (value->vt == ZRVT_STR) {
    if (!value->pszVal || !*value->pszVal) return 0;
    text = value->pszVal;
  } else if (value->vt == ZRVT_WSTR) {
    if (!value->pwszVal || !*value->pwszVal) return 0;
    const int n = WideCharToMultiByte(CP_ACP, 0, value->pwszVal, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return 0;
    text.resize(static_cast<std::size_t>(n));
    WideCharToMultiByte(CP_ACP, 0, value->pwszVal, -1, text.data(), n, nullptr, nullptr);
    text.resize(static_cast<std::size_t>(n - 1));
  } else {
    return 0;
  }
  IPropertyStorage* set = OpenSet(id, 1);
  if (!set) return 0;
  const PROPSPEC spec = SpecOf(id);
  PROPVARIANT v{};
  v.vt = VT_LPSTR;
  v.pszVal = text.data();
  HRESULT hr = set->WriteMultiple(1, &spec, &v, PID_FIRST_USABLE);
  if (SUCCEEDED(hr)) set->Commit(STGC_DEFAULT);
  set->Release();
  if (hr == STG_E_INSUFFICIENTMEMORY) throw CXMemException();
  return SUCCEEDED(hr) ? 1 : 0;
}

CTEnum<const char*>* CIZRSummaryInfo::EnumPropertyNames() {
  if (m_pNames->IsClosed()) return nullptr;
  return Allocating([this] { return new _CMapKeyEnum<const char*, int, const char*, int>(m_pNames); });
}

int CIZRSummaryInfo::RemovePropertyName(const char* name) { return m_pNames->Remove(name); }

void CIZRSummaryInfo::RemoveAllPropertyNames() { m_pNames->RemoveAll(); }

IZRProperty* NewSummaryInfo(IStorage* platformStorage) {
  IPropertySetStorage* sets = nullptr;
  if (platformStorage &&
      FAILED(platformStorage->QueryInterface(IID_IPropertySetStorage, reinterpret_cast<void**>(&sets))))
    sets = nullptr;
  if (sets) {
    // The object takes its own reference; this one goes now.
    CIZRSummaryInfo* info;
    try {
      info = Allocating([sets] { return new CIZRSummaryInfo(sets); });
    } catch (...) {
      sets->Release();
      throw;
    }
    sets->Release();
    return info;
  }
  return Allocating([] { return new CIZRSummaryInfo(nullptr); });
}

}  // namespace zr
