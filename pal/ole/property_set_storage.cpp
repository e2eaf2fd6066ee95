// pal/ole/property_set_storage.cpp - IPropertySetStorage of a storage and
// its IEnumSTATPROPSETSTG.
//
// Simple sets only: each set is a stream of the storage named after its
// format identifier (FmtIdToPropStgName). PROPSETFLAG_NONSIMPLE (a set kept
// in a sub-storage) is refused with STG_E_INVALIDFLAG; that deviation is
// listed in docs/deviations.md. The user-defined set lives in the second
// section of the document summary stream: creating it creates that stream
// (with an empty first section) when it is missing, deleting it removes the
// section only, and deleting the document summary set removes the stream
// and both sets with it, as on Windows.
#include <vector>

#include "pal/ole/objects.h"
#include "pal/ole/property_storage.h"
#include "pal/ole/snapshot_enum.h"
#include "pal/ole/storage.h"

namespace zrpal::ole {

namespace {

constexpr std::size_t kNameBuffer = 32;  // "\005" + 26 characters, or the summary names
constexpr DWORD kCreateFlags = PROPSETFLAG_NONSIMPLE | PROPSETFLAG_ANSI | PROPSETFLAG_UNBUFFERED |
                               PROPSETFLAG_CASE_SENSITIVE;
constexpr DWORD kSetModes = kAccessMask | kShareMask | STGM_CREATE | STGM_TRANSACTED;

HRESULT CheckMode(DWORD mode, bool create) {
  if ((mode & ~kSetModes) || ShareOf(mode) != STGM_SHARE_EXCLUSIVE || AccessOf(mode) > STGM_READWRITE)
    return STG_E_INVALIDFLAG;
  if (!create && (mode & STGM_CREATE)) return STG_E_INVALIDFLAG;
  return S_OK;
}

DWORD StreamMode(DWORD mode) { return AccessOf(mode) | STGM_SHARE_EXCLUSIVE; }

class SetEnum final : public SnapshotEnum<SetEnum, IEnumSTATPROPSETSTG, STATPROPSETSTG> {
 public:
  using SnapshotEnum::SnapshotEnum;

  HRESULT QueryInterface(REFIID riid, void** object) override {
    return QueryInterfaces(this, riid, object, IID_IEnumSTATPROPSETSTG);
  }
  HRESULT Next(ULONG count, STATPROPSETSTG* items, ULONG* fetched) override {
    if (!items || (count != 1 && !fetched)) return STG_E_INVALIDPARAMETER;
    ULONG n = 0;
    for (; n < count && m_at < m_items.size(); ++n) items[n] = m_items[m_at++];
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
};

class PropertySetStorage final : public IPropertySetStorage {
 public:
  explicit PropertySetStorage(IStorage* storage) : m_storage(storage) { m_storage->AddRef(); }

  HRESULT QueryInterface(REFIID riid, void** object) override {
    return QueryInterfaces(this, riid, object, IID_IPropertySetStorage);
  }
  ULONG AddRef() override { return ++m_refs; }
  ULONG Release() override {
    const ULONG left = --m_refs;
    if (!left) {
      m_storage->Release();
      delete this;
    }
    return left;
  }

  HRESULT Create(REFFMTID fmtid, const CLSID* clsid, DWORD flags, DWORD mode,
                 IPropertyStorage** storage) override {
    if (!storage) return STG_E_INVALIDPOINTER;
    *storage = nullptr;
    if ((flags & ~kCreateFlags) || (flags & PROPSETFLAG_NONSIMPLE)) return STG_E_INVALIDFLAG;
    HRESULT hr = CheckMode(mode, true);
    if (FAILED(hr)) return hr;
    if (AccessOf(mode) == STGM_READ) return STG_E_INVALIDFLAG;  // a new set is written
    OLECHAR name[kNameBuffer];
    if (FAILED(hr = FmtIdToPropStgName(&fmtid, name))) return hr;
    IStream* stream = nullptr;
    hr = m_storage->OpenStream(name, nullptr, StreamMode(mode), 0, &stream);
    if (SUCCEEDED(hr) && !(mode & STGM_CREATE) && HoldsSet(stream, fmtid)) {
      stream->Release();
      return STG_E_FILEALREADYEXISTS;
    }
    if (hr == STG_E_FILENOTFOUND)
      hr = m_storage->CreateStream(name, StreamMode(mode) | STGM_CREATE, 0, 0, &stream);
    if (FAILED(hr)) return hr;
    hr = PropertyStorage::Make(m_storage, stream, name, fmtid, mode & ~STGM_CREATE, true, clsid, flags, storage);
    stream->Release();
    return hr;
  }

  HRESULT Open(REFFMTID fmtid, DWORD mode, IPropertyStorage** storage) override {
    if (!storage) return STG_E_INVALIDPOINTER;
    *storage = nullptr;
    HRESULT hr = CheckMode(mode, false);
    if (FAILED(hr)) return hr;
    OLECHAR name[kNameBuffer];
    if (FAILED(hr = FmtIdToPropStgName(&fmtid, name))) return hr;
    IStream* stream = nullptr;
    if (FAILED(hr = m_storage->OpenStream(name, nullptr, StreamMode(mode), 0, &stream))) return hr;
    hr = PropertyStorage::Make(m_storage, stream, name, fmtid, mode, false, nullptr, 0, storage);
    stream->Release();
    return hr;
  }

  HRESULT Delete(REFFMTID fmtid) override {
    OLECHAR name[kNameBuffer];
    HRESULT hr = FmtIdToPropStgName(&fmtid, name);
    if (FAILED(hr)) return hr;
    if (!(fmtid == FMTID_UserDefinedProperties)) return m_storage->DestroyElement(name);
    return Guarded([&]() -> HRESULT {
      IStream* stream = nullptr;
      HRESULT hr2 = m_storage->OpenStream(name, nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &stream);
      if (FAILED(hr2)) return hr2;
      ps::Bytes data;
      ps::SetStream set;
      hr2 = ReadAll(stream, &data);
      if (SUCCEEDED(hr2)) hr2 = ps::SetStream::Parse(data.data(), data.size(), &set);
      if (SUCCEEDED(hr2) && set.IndexOf(fmtid) != 1) hr2 = STG_E_FILENOTFOUND;
      if (SUCCEEDED(hr2)) {
        set.fmtids.resize(1);
        set.sections.resize(1);
        const ps::Bytes out = set.Write();
        hr2 = stream->Seek(LARGE_INTEGER{0}, STREAM_SEEK_SET, nullptr);
        if (SUCCEEDED(hr2)) hr2 = stream->Write(out.data(), static_cast<ULONG>(out.size()), nullptr);
        if (SUCCEEDED(hr2)) hr2 = stream->SetSize(ULARGE_INTEGER{out.size()});
      }
      stream->Release();
      return hr2;
    });
  }

  HRESULT Enum(IEnumSTATPROPSETSTG** sets) override {
    if (!sets) return STG_E_INVALIDPOINTER;
    *sets = nullptr;
    return Guarded([&]() -> HRESULT {
      IEnumSTATSTG* elements = nullptr;
      HRESULT hr = m_storage->EnumElements(0, nullptr, 0, &elements);
      if (FAILED(hr)) return hr;
      std::vector<STATPROPSETSTG> items;
      STATSTG st;
      while (elements->Next(1, &st, nullptr) == S_OK) {
        FMTID fmtid;
        if (st.type == STGTY_STREAM && SUCCEEDED(PropStgNameToFmtId(st.pwcsName, &fmtid))) {
          items.push_back(StatOf(fmtid));
          if (fmtid == FMTID_DocSummaryInformation) {
            IPropertyStorage* user = nullptr;
            if (SUCCEEDED(Open(FMTID_UserDefinedProperties, STGM_READ | STGM_SHARE_EXCLUSIVE, &user))) {
              user->Release();
              items.push_back(StatOf(FMTID_UserDefinedProperties));
            }
          }
        }
        CoTaskMemFree(st.pwcsName);
      }
      elements->Release();
      *sets = new SetEnum(std::move(items));
      return S_OK;
    });
  }

 private:
  ~PropertySetStorage() = default;

  static HRESULT ReadAll(IStream* s, ps::Bytes* out) {
    STATSTG st;
    HRESULT hr = s->Stat(&st, STATFLAG_NONAME);
    if (FAILED(hr)) return hr;
    if (st.cbSize.QuadPart > (16u << 20)) return STG_E_DOCFILETOOLARGE;
    out->resize(static_cast<std::size_t>(st.cbSize.QuadPart));
    ULONG got = 0;
    if (FAILED(hr = s->Seek(LARGE_INTEGER{0}, STREAM_SEEK_SET, nullptr))) return hr;
    if (!out->empty() && FAILED(hr = s->Read(out->data(), static_cast<ULONG>(out->size()), &got))) return hr;
    return got == out->size() ? S_OK : STG_E_READFAULT;
  }

  // Whether the stream already holds the set (the document summary stream
  // holds the user-defined set only with a second section).
  static bool HoldsSet(IStream* s, REFFMTID fmtid) {
    if (!(fmtid == FMTID_UserDefinedProperties)) return true;
    ps::Bytes data;
    ps::SetStream set;
    return SUCCEEDED(ReadAll(s, &data)) && SUCCEEDED(ps::SetStream::Parse(data.data(), data.size(), &set)) &&
           set.IndexOf(fmtid) == 1;
  }

  // The set's record; a set that does not open is listed with its format
  // identifier alone.
  STATPROPSETSTG StatOf(REFFMTID fmtid) {
    STATPROPSETSTG stat{};
    stat.fmtid = fmtid;
    IPropertyStorage* set = nullptr;
    if (SUCCEEDED(Open(fmtid, STGM_READ | STGM_SHARE_EXCLUSIVE, &set))) {
      set->Stat(&stat);
      set->Release();
    }
    return stat;
  }

  ULONG m_refs = 1;
  IStorage* m_storage;
};

}  // namespace

HRESULT NewPropertySetStorage(IStorage* storage, IPropertySetStorage** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!storage) return E_INVALIDARG;
  return Guarded([&] {
    *out = new PropertySetStorage(storage);
    return S_OK;
  });
}

}  // namespace zrpal::ole

namespace zrpal {

HRESULT StgCreatePropSetStg(IStorage* storage, DWORD reserved, IPropertySetStorage** sets) {
  if (!sets) return E_POINTER;
  *sets = nullptr;
  if (reserved) return STG_E_INVALIDPARAMETER;
  return ole::NewPropertySetStorage(storage, sets);
}

}  // namespace zrpal
