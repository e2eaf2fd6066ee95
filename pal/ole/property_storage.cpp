// pal/ole/property_storage.cpp - IPropertyStorage over one section of a
// property set stream (see property_storage.h for the model).
#include "pal/ole/property_storage.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "pal/codepage.h"
#include "pal/ole/objects.h"
#include "pal/ole/propset_value.h"
#include "pal/ole/snapshot_enum.h"
#include "pal/ole/storage.h"

namespace zrpal::ole {

namespace {

// Windows' limits: a property name has at most 255 characters; names of
// more than 127 need format version 1, as does a case-sensitive set.
constexpr std::size_t kMaxName = 255;
constexpr std::size_t kMaxVersion0Name = 127;
// The largest property set stream read: beyond any set Windows writes.
constexpr ULONGLONG kMaxStreamSize = 16u << 20;

ps::Bytes I2Value(WORD v) { return {VT_I2, 0, 0, 0, BYTE(v & 0xFF), BYTE(v >> 8), 0, 0}; }
ps::Bytes UI4Value(ULONG v) {
  ps::Bytes b{VT_UI4, 0, 0, 0};
  ps::PutU32(b, v);
  return b;
}

HRESULT ReadWholeStream(IStream* s, ps::Bytes* out) {
  STATSTG st;
  HRESULT hr = s->Stat(&st, STATFLAG_NONAME);
  if (FAILED(hr)) return hr;
  if (st.cbSize.QuadPart > kMaxStreamSize) return STG_E_DOCFILETOOLARGE;
  out->resize(static_cast<std::size_t>(st.cbSize.QuadPart));
  if (FAILED(hr = s->Seek(LARGE_INTEGER{0}, STREAM_SEEK_SET, nullptr))) return hr;
  ULONG got = 0;
  if (!out->empty() && FAILED(hr = s->Read(out->data(), static_cast<ULONG>(out->size()), &got))) return hr;
  if (got != out->size()) return STG_E_READFAULT;
  return S_OK;
}

bool EqualNames(std::u16string_view a, std::u16string_view b, bool caseSensitive) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (!caseSensitive) {
      if (x >= u'a' && x <= u'z') x = static_cast<char16_t>(x - 32);
      if (y >= u'a' && y <= u'z') y = static_cast<char16_t>(y - 32);
    }
    if (x != y) return false;
  }
  return true;
}

LPOLESTR TaskName(const std::u16string& s) {
  auto* p = static_cast<LPOLESTR>(CoTaskMemAlloc((s.size() + 1) * sizeof(OLECHAR)));
  if (!p) throw std::bad_alloc();
  std::memcpy(p, s.c_str(), (s.size() + 1) * sizeof(OLECHAR));
  return p;
}

// The enumerator: a snapshot of the set's properties at Enum time.
struct PropertyItem {
  PROPID id;
  VARTYPE vt;
  std::u16string name;
  bool named;
};

class PropertyEnum final : public SnapshotEnum<PropertyEnum, IEnumSTATPROPSTG, PropertyItem> {
 public:
  using SnapshotEnum::SnapshotEnum;

  HRESULT QueryInterface(REFIID riid, void** object) override {
    return QueryInterfaces(this, riid, object, IID_IEnumSTATPROPSTG);
  }
  HRESULT Next(ULONG count, STATPROPSTG* items, ULONG* fetched) override {
    if (!items || (count != 1 && !fetched)) return STG_E_INVALIDPARAMETER;
    return Guarded([&] {
      ULONG n = 0;
      try {
        for (; n < count && m_at < m_items.size(); ++n, ++m_at) {
          const PropertyItem& it = m_items[m_at];
          items[n].propid = it.id;
          items[n].vt = it.vt;
          items[n].lpwstrName = nullptr;
          items[n].lpwstrName = it.named ? TaskName(it.name) : nullptr;
        }
      } catch (...) {
        for (ULONG k = 0; k < n; ++k) CoTaskMemFree(items[k].lpwstrName);
        m_at -= n;
        throw;
      }
      if (fetched) *fetched = n;
      return n == count ? S_OK : S_FALSE;
    });
  }
};

}  // namespace

PropertyStorage::PropertyStorage(IStorage* parent, IStream* stream, std::u16string name, REFFMTID fmtid,
                                 DWORD mode)
    : m_parent(parent), m_stream(stream), m_name(std::move(name)), m_fmtid(fmtid), m_mode(mode) {
  m_parent->AddRef();
  m_stream->AddRef();
}

PropertyStorage::~PropertyStorage() {
  m_stream->Release();
  m_parent->Release();
}

ULONG PropertyStorage::Release() {
  const ULONG left = --m_refs;
  if (left == 0) {
    if (m_dirty && !(m_mode & STGM_TRANSACTED) && CanWrite()) Commit(STGC_DEFAULT);
    delete this;
  }
  return left;
}

HRESULT PropertyStorage::Make(IStorage* parent, IStream* stream, std::u16string name, REFFMTID fmtid,
                              DWORD mode, bool create, const CLSID* clsid, DWORD flags,
                              IPropertyStorage** out) {
  return Guarded([&] {
    auto* ps = new PropertyStorage(parent, stream, std::move(name), fmtid, mode);
    HRESULT hr;
    if (create) {
      ps->Reset(clsid, flags);
      hr = ps->Commit(STGC_DEFAULT);
    } else {
      hr = ps->Load();
    }
    if (FAILED(hr)) {
      ps->m_dirty = false;
      ps->Release();
      return hr;
    }
    *out = ps;
    return S_OK;
  });
}

// A new, empty set in place of the section (the stream's other section, a
// user-defined set beside the document summary set, is kept).
void PropertyStorage::Reset(const CLSID* clsid, DWORD flags) {
  ps::Bytes old;
  ps::SetStream existing;
  const bool parsed = SUCCEEDED(ReadWholeStream(m_stream, &old)) && !old.empty() &&
                      SUCCEEDED(ps::SetStream::Parse(old.data(), old.size(), &existing));
  m_codePage = (flags & PROPSETFLAG_ANSI) ? static_cast<WORD>(GetACP()) : CP_WINUNICODE;
  m_codePageStored = true;
  m_names.clear();
  m_props.clear();
  if (flags & PROPSETFLAG_CASE_SENSITIVE) m_props[PID_BEHAVIOR] = UI4Value(1);
  const bool userDefined = m_fmtid == FMTID_UserDefinedProperties;
  const bool docSummary = m_fmtid == FMTID_DocSummaryInformation;
  m_set = ps::SetStream{};
  if (parsed && (userDefined || docSummary) && existing.fmtids[0] == FMTID_DocSummaryInformation)
    m_set = existing;
  if (userDefined && m_set.sections.empty()) {
    // The user-defined set is the second section of the document summary
    // stream: an empty first section comes with it.
    ps::Section first;
    first.props.push_back({PID_CODEPAGE, I2Value(m_codePage)});
    m_set.fmtids.push_back(FMTID_DocSummaryInformation);
    m_set.sections.push_back(std::move(first));
  }
  if (docSummary && m_set.sections.size() > 1 && !(m_set.fmtids[1] == FMTID_UserDefinedProperties)) {
    m_set.fmtids.resize(1);
    m_set.sections.resize(1);
  }
  m_index = userDefined ? 1 : 0;
  if (static_cast<int>(m_set.sections.size()) <= m_index) {
    m_set.fmtids.push_back(m_fmtid);
    m_set.sections.emplace_back();
  }
  m_set.fmtids[m_index] = m_fmtid;
  if (m_index == 0) {
    m_set.header.clsid = clsid ? *clsid : CLSID_NULL;
    m_set.header.osVersion = ps::kOsVersion;
  }
  m_dirty = true;
}

HRESULT PropertyStorage::Load() {
  ps::Bytes data;
  HRESULT hr = ReadWholeStream(m_stream, &data);
  if (FAILED(hr)) return hr;
  ps::SetStream set;
  if (FAILED(hr = ps::SetStream::Parse(data.data(), data.size(), &set))) return hr;
  const int index = set.IndexOf(m_fmtid);
  // The document summary set is the first section, the user-defined set
  // the second; a stream without the section holds no such set.
  if (index < 0 || (m_fmtid == FMTID_UserDefinedProperties && index != 1)) return STG_E_FILENOTFOUND;
  const ps::Section& sec = set.sections[static_cast<std::size_t>(index)];
  WORD codePage = static_cast<WORD>(GetACP());
  if (const ps::Section::Property* cp = sec.Find(PID_CODEPAGE)) {
    if (cp->raw.size() < 6 || ps::TypeOf(cp->raw) != VT_I2) return STG_E_INVALIDHEADER;
    codePage = Le16(cp->raw.data() + 4);
  }
  std::map<PROPID, std::u16string, IdOrder> names;
  std::map<PROPID, ps::Bytes, IdOrder> props;
  for (const ps::Section::Property& p : sec.props) {
    if (p.id == PID_CODEPAGE) continue;
    if (p.id == PID_DICTIONARY) {
      ps::Dictionary dict;
      if (FAILED(hr = ps::Dictionary::Parse(p.raw.data(), p.raw.size(), codePage, &dict))) return hr;
      for (auto& e : dict.entries) names[e.id] = std::move(e.name);
      continue;
    }
    // Validation at the boundary: a decodable value must decode.
    switch (ps::ClassOf(ps::TypeOf(p.raw))) {
      case ps::TypeClass::Invalid:
        return STG_E_INVALIDHEADER;
      case ps::TypeClass::Decoded: {
        PROPVARIANT v;
        if (FAILED(hr = ps::DecodeValue(p.raw.data(), p.raw.size(), codePage, &v))) return hr;
        PropVariantClear(&v);
        break;
      }
      case ps::TypeClass::Kept:
        break;
    }
    props[p.id] = p.raw;
  }
  m_set = std::move(set);
  m_index = index;
  m_codePage = codePage;
  m_codePageStored = sec.Find(PID_CODEPAGE) != nullptr;
  m_names = std::move(names);
  m_props = std::move(props);
  m_dirty = false;
  return S_OK;
}

bool PropertyStorage::CaseSensitive() const {
  const auto it = m_props.find(PID_BEHAVIOR);
  return it != m_props.end() && it->second.size() >= 8 && (Le32(it->second.data() + 4) & 1);
}

PROPID PropertyStorage::NameToId(std::u16string_view name) const {
  const bool cs = CaseSensitive();
  for (const auto& [id, n] : m_names)
    if (EqualNames(n, name, cs)) return id;
  return PID_ILLEGAL;
}

HRESULT PropertyStorage::Resolve(const PROPSPEC& spec, PROPID* id) const {
  if (spec.ulKind == PRSPEC_PROPID) {
    *id = spec.propid;
    return S_OK;
  }
  if (spec.ulKind != PRSPEC_LPWSTR || !spec.lpwstr) return STG_E_INVALIDPARAMETER;
  *id = NameToId(spec.lpwstr);
  return S_OK;
}

HRESULT PropertyStorage::ReadMultiple(ULONG count, const PROPSPEC* specs, PROPVARIANT* values) {
  if (count == 0) return S_FALSE;
  if (!specs || !values) return STG_E_INVALIDPARAMETER;
  for (ULONG i = 0; i < count; ++i) values[i] = PROPVARIANT{};
  bool found = false;
  for (ULONG i = 0; i < count; ++i) {
    PROPID id;
    HRESULT hr = Resolve(specs[i], &id);
    if (SUCCEEDED(hr)) {
      if (id == PID_CODEPAGE) {
        if (!m_codePageStored) continue;
        values[i].vt = VT_I2;
        values[i].iVal = static_cast<short>(m_codePage);
        found = true;
        continue;
      }
      const auto it = m_props.find(id);
      if (it == m_props.end() || id == PID_DICTIONARY) continue;
      hr = ps::DecodeValue(it->second.data(), it->second.size(), m_codePage, &values[i]);
      found = true;
    }
    if (FAILED(hr)) {
      FreePropVariantArray(i, values);
      return hr;
    }
  }
  return found ? S_OK : S_FALSE;
}

HRESULT PropertyStorage::WriteMultiple(ULONG count, const PROPSPEC* specs, const PROPVARIANT* values,
                                       PROPID firstNewId) {
  if (count && (!specs || !values)) return STG_E_INVALIDPARAMETER;
  if (!CanWrite()) return STG_E_ACCESSDENIED;
  return Guarded([&]() -> HRESULT {
    // Everything is checked and encoded before anything changes.
    struct Change {
      PROPID id;
      ps::Bytes raw;
      std::u16string newName;
      bool named = false;
    };
    std::vector<Change> changes;
    PROPID next = firstNewId;
    std::optional<WORD> newCodePage;
    for (ULONG i = 0; i < count; ++i) {
      Change c;
      HRESULT hr = Resolve(specs[i], &c.id);
      if (FAILED(hr)) return hr;
      if (c.id == PID_ILLEGAL && specs[i].ulKind == PRSPEC_LPWSTR) {
        const std::u16string_view name(specs[i].lpwstr);
        if (name.empty() || name.size() > kMaxName) return STG_E_INVALIDPARAMETER;
        // A name given twice in one call is one new property.
        for (const Change& prior : changes)
          if (prior.named && EqualNames(prior.newName, name, CaseSensitive())) c.id = prior.id;
        if (c.id == PID_ILLEGAL) {
          if (next < PID_FIRST_USABLE || next >= PID_MIN_READONLY) return STG_E_INVALIDPARAMETER;
          while (m_props.count(next) || m_names.count(next) ||
                 std::any_of(changes.begin(), changes.end(), [&](const Change& o) { return o.id == next; }))
            if (++next >= PID_MIN_READONLY) return STG_E_INVALIDPARAMETER;
          c.id = next++;
          c.newName = name;
          c.named = true;
        }
      }
      if (c.id == PID_DICTIONARY || c.id == PID_ILLEGAL) return STG_E_INVALIDPARAMETER;
      if (c.id == PID_CODEPAGE) {
        // The code page changes only while the set holds no value and no name.
        if (values[i].vt != VT_I2 || !m_props.empty() || !m_names.empty()) return STG_E_INVALIDPARAMETER;
        const WORD cp = static_cast<WORD>(values[i].iVal);
        if (cp != CP_WINUNICODE && !IsValidCodePage(cp)) return STG_E_INVALIDPARAMETER;
        newCodePage = cp;
        continue;
      }
      if (c.id >= PID_MIN_READONLY && c.id <= PID_MAX_READONLY && c.id != PID_LOCALE && c.id != PID_BEHAVIOR)
        return STG_E_INVALIDPARAMETER;
      if ((c.id == PID_LOCALE || c.id == PID_BEHAVIOR) && values[i].vt != VT_UI4) return STG_E_INVALIDPARAMETER;
      if (FAILED(hr = ps::EncodeValue(values[i], newCodePage.value_or(m_codePage), c.raw))) return hr;
      changes.push_back(std::move(c));
    }
    if (newCodePage) m_codePage = *newCodePage, m_codePageStored = true;
    for (Change& c : changes) {
      if (c.named) m_names[c.id] = c.newName;
      m_props[c.id] = std::move(c.raw);
    }
    m_dirty = true;
    return S_OK;
  });
}

HRESULT PropertyStorage::DeleteMultiple(ULONG count, const PROPSPEC* specs) {
  if (count && !specs) return STG_E_INVALIDPARAMETER;
  if (!CanWrite()) return STG_E_ACCESSDENIED;
  std::vector<PROPID> ids;
  for (ULONG i = 0; i < count; ++i) {
    PROPID id;
    const HRESULT hr = Resolve(specs[i], &id);
    if (FAILED(hr)) return hr;
    if (id == PID_DICTIONARY || id == PID_CODEPAGE) return STG_E_INVALIDPARAMETER;
    ids.push_back(id);
  }
  for (PROPID id : ids) m_dirty |= m_props.erase(id) != 0;
  return S_OK;
}

HRESULT PropertyStorage::ReadPropertyNames(ULONG count, const PROPID* ids, LPOLESTR* names) {
  if (count && (!ids || !names)) return STG_E_INVALIDPARAMETER;
  return Guarded([&] {
    bool found = false;
    for (ULONG i = 0; i < count; ++i) names[i] = nullptr;
    try {
      for (ULONG i = 0; i < count; ++i) {
        const auto it = m_names.find(ids[i]);
        if (it == m_names.end()) continue;
        names[i] = TaskName(it->second);
        found = true;
      }
    } catch (...) {
      for (ULONG i = 0; i < count; ++i) CoTaskMemFree(names[i]), names[i] = nullptr;
      throw;
    }
    return found ? S_OK : S_FALSE;
  });
}

HRESULT PropertyStorage::WritePropertyNames(ULONG count, const PROPID* ids, const LPOLESTR* names) {
  if (count && (!ids || !names)) return STG_E_INVALIDPARAMETER;
  if (!CanWrite()) return STG_E_ACCESSDENIED;
  return Guarded([&]() -> HRESULT {
    for (ULONG i = 0; i < count; ++i) {
      if (ids[i] == PID_DICTIONARY || ids[i] == PID_CODEPAGE || ids[i] >= PID_MIN_READONLY) return STG_E_INVALIDPARAMETER;
      if (!names[i] || !names[i][0] || std::u16string_view(names[i]).size() > kMaxName) return STG_E_INVALIDPARAMETER;
      const PROPID holder = NameToId(names[i]);
      if (holder != PID_ILLEGAL && holder != ids[i]) return STG_E_INVALIDPARAMETER;
      for (ULONG k = 0; k < i; ++k)
        if (EqualNames(names[k], names[i], CaseSensitive()) && ids[k] != ids[i]) return STG_E_INVALIDPARAMETER;
    }
    for (ULONG i = 0; i < count; ++i) m_names[ids[i]] = names[i];
    m_dirty = m_dirty || count > 0;
    return S_OK;
  });
}

HRESULT PropertyStorage::DeletePropertyNames(ULONG count, const PROPID* ids) {
  if (count && !ids) return STG_E_INVALIDPARAMETER;
  if (!CanWrite()) return STG_E_ACCESSDENIED;
  for (ULONG i = 0; i < count; ++i) m_dirty |= m_names.erase(ids[i]) != 0;
  return S_OK;
}

HRESULT PropertyStorage::Commit(DWORD commitFlags) {
  if (commitFlags & ~(STGC_OVERWRITE | STGC_ONLYIFCURRENT | STGC_DANGEROUSLYCOMMITMERELYTODISKCACHE |
                      STGC_CONSOLIDATE))
    return STG_E_INVALIDFLAG;
  if (!CanWrite()) return STG_E_ACCESSDENIED;
  return Guarded([&] {
    ps::Section sec;
    bool version1 = CaseSensitive();
    if (!m_names.empty()) {
      ps::Dictionary dict;
      for (const auto& [id, name] : m_names) {
        dict.entries.push_back({id, name});
        version1 = version1 || name.size() > kMaxVersion0Name;
      }
      ps::Bytes raw;
      dict.Write(m_codePage, raw);
      sec.props.push_back({PID_DICTIONARY, std::move(raw)});
    }
    if (m_codePageStored) sec.props.push_back({PID_CODEPAGE, I2Value(m_codePage)});
    for (const auto& [id, raw] : m_props) sec.props.push_back({id, raw});
    ps::SetStream set = m_set;
    set.sections[static_cast<std::size_t>(m_index)] = std::move(sec);
    if (version1) set.header.version = 1;
    const ps::Bytes bytes = set.Write();
    HRESULT hr = m_stream->Seek(LARGE_INTEGER{0}, STREAM_SEEK_SET, nullptr);
    ULONG written = 0;
    if (SUCCEEDED(hr)) hr = m_stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    if (SUCCEEDED(hr)) hr = m_stream->SetSize(ULARGE_INTEGER{bytes.size()});
    if (SUCCEEDED(hr)) hr = m_stream->Commit(STGC_DEFAULT);
    if (FAILED(hr)) return hr;
    m_set = std::move(set);
    m_dirty = false;
    return S_OK;
  });
}

HRESULT PropertyStorage::Revert() {
  if (!(m_mode & STGM_TRANSACTED)) return S_OK;  // direct: nothing is held back
  return Guarded([&] { return Load(); });
}

HRESULT PropertyStorage::Enum(IEnumSTATPROPSTG** items) {
  if (!items) return STG_E_INVALIDPOINTER;
  *items = nullptr;
  return Guarded([&] {
    std::vector<PropertyItem> list;
    for (const auto& [id, raw] : m_props) {
      if (id >= PID_MIN_READONLY && id <= PID_MAX_READONLY) continue;  // locale, behaviour
      const auto name = m_names.find(id);
      list.push_back({id, ps::TypeOf(raw), name == m_names.end() ? std::u16string() : name->second,
                      name != m_names.end()});
    }
    *items = new PropertyEnum(std::move(list));
    return S_OK;
  });
}

HRESULT PropertyStorage::SetTimes(const FILETIME* created, const FILETIME* accessed, const FILETIME* modified) {
  if (!CanWrite()) return STG_E_ACCESSDENIED;
  return m_parent->SetElementTimes(m_name.c_str(), created, accessed, modified);
}

HRESULT PropertyStorage::SetClass(REFCLSID clsid) {
  if (!CanWrite()) return STG_E_ACCESSDENIED;
  m_set.header.clsid = clsid;
  m_dirty = true;
  return S_OK;
}

HRESULT PropertyStorage::Stat(STATPROPSETSTG* stat) {
  if (!stat) return STG_E_INVALIDPOINTER;
  STATSTG st{};
  const HRESULT hr = m_stream->Stat(&st, STATFLAG_NONAME);
  if (FAILED(hr)) return hr;
  stat->fmtid = m_fmtid;
  stat->clsid = m_set.header.clsid;
  stat->grfFlags = (m_codePage != CP_WINUNICODE ? PROPSETFLAG_ANSI : 0) |
                   (CaseSensitive() ? PROPSETFLAG_CASE_SENSITIVE : 0);
  stat->mtime = st.mtime;
  stat->ctime = st.ctime;
  stat->atime = st.atime;
  stat->dwOSVersion = m_set.header.osVersion;
  return S_OK;
}

}  // namespace zrpal::ole
