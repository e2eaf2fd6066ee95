// pal/ole/storage_elements.cpp - IStorage: the operations on its elements
// (CopyTo, MoveElementTo, EnumElements, DestroyElement, RenameElement,
// SetElementTimes, SetClass, SetStateBits, Stat).
#include "pal/ole/storage.h"
#include "pal/ole/storage_object.h"

namespace zrpal::ole {

namespace {

std::uint64_t FromFileTime(const FILETIME& t) {
  return t.dwLowDateTime | std::uint64_t{t.dwHighDateTime} << 32;
}

// True when `sid` is `ancestor` or lies below it.
bool IsWithin(const Image& image, std::uint32_t sid, std::uint32_t ancestor) {
  for (std::uint32_t s = sid, steps = 0; s != kNoStream && steps <= image.EntryCount(); ++steps) {
    if (s == ancestor) return true;
    s = s == Image::kRoot ? kNoStream : image.At(s).parent;
  }
  return false;
}

}  // namespace

StorageObject* OwnStorage(IStorage* storage) {
  void* p = nullptr;
  if (!storage || FAILED(storage->QueryInterface(IID_ZrOleStorage, &p))) return nullptr;
  return static_cast<StorageObject*>(p);
}

HRESULT StorageObject::CopyTo(DWORD excludeIidCount, const IID* excludeIids, SNB exclude,
                              IStorage* target) {
  return Guarded([&] {
    if (!target || (excludeIidCount && !excludeIids)) return STG_E_INVALIDPOINTER;
    HRESULT hr = Alive();
    if (FAILED(hr)) return hr;
    StorageObject* dst = OwnStorage(target);
    if (!dst) return STG_E_INVALIDPARAMETER;  // only storages of this module
    if (FAILED(hr = dst->Alive()) || FAILED(hr = dst->Writable())) return hr;
    if (dst->m_doc == m_doc && IsWithin(Img(), dst->m_sid, m_sid)) return STG_E_ACCESSDENIED;
    CopyFilter filter;
    filter.excludeNames = exclude;
    for (DWORD i = 0; i < excludeIidCount; ++i) {
      if (excludeIids[i] == IID_IStream) filter.skipStreams = true;
      if (excludeIids[i] == IID_IStorage) filter.skipStorages = true;
    }
    if (FAILED(hr = CopyChildren(Img(), m_sid, dst->Img(), dst->m_sid, filter))) return hr;
    dst->Img().At(dst->m_sid).d.clsid = Img().At(m_sid).d.clsid;
    return S_OK;
  });
}

HRESULT StorageObject::MoveElementTo(const OLECHAR* name, IStorage* target, const OLECHAR* newName,
                                     DWORD flags) {
  return Guarded([&] {
    if (!target) return STG_E_INVALIDPOINTER;
    if (!name || !newName) return STG_E_INVALIDNAME;
    if (flags != STGMOVE_MOVE && flags != STGMOVE_COPY) return STG_E_INVALIDFLAG;
    HRESULT hr = CheckName(newName);
    if (FAILED(hr) || FAILED(hr = Alive())) return hr;
    StorageObject* dst = OwnStorage(target);
    if (!dst) return STG_E_INVALIDPARAMETER;
    if (FAILED(hr = dst->Alive()) || FAILED(hr = dst->Writable())) return hr;
    if (flags == STGMOVE_MOVE && FAILED(hr = Writable())) return hr;
    std::uint32_t sid;
    if (FAILED(hr = Find(name, &sid))) return hr;
    if (flags == STGMOVE_MOVE && Img().At(sid).openCount > 0) return STG_E_ACCESSDENIED;
    if (dst->m_doc == m_doc && IsWithin(Img(), dst->m_sid, sid)) return STG_E_ACCESSDENIED;
    if (dst->m_doc == m_doc && dst->m_sid == m_sid && std::u16string_view(name) == newName)
      return flags == STGMOVE_MOVE ? S_OK : STG_E_ACCESSDENIED;
    if (FAILED(hr = CopyElement(Img(), sid, dst->Img(), dst->m_sid, newName))) return hr;
    if (flags == STGMOVE_MOVE) {
      // The copy may have replaced entries; find the source again.
      if (FAILED(hr = Find(name, &sid))) return hr;
      return Img().Remove(sid);
    }
    return S_OK;
  });
}

HRESULT StorageObject::EnumElements(DWORD reserved1, void* reserved2, DWORD reserved3,
                                    IEnumSTATSTG** elements) {
  return Guarded([&] {
    if (!elements) return STG_E_INVALIDPOINTER;
    *elements = nullptr;
    if (reserved1 || reserved2 || reserved3) return STG_E_INVALIDPARAMETER;
    const HRESULT hr = Alive();
    if (FAILED(hr)) return hr;
    std::vector<EnumItem> items;
    for (const auto& [name, sid] : Img().At(m_sid).children) {
      STATSTG s;
      FillStat(Img().At(sid).d, &s);
      items.push_back(EnumItem{name, s});
    }
    *elements = NewEnum(std::move(items));
    return S_OK;
  });
}

HRESULT StorageObject::DestroyElement(const OLECHAR* name) {
  return Guarded([&] {
    if (!name) return STG_E_INVALIDPOINTER;
    HRESULT hr = Alive();
    if (FAILED(hr) || FAILED(hr = Writable())) return hr;
    std::uint32_t sid;
    if (FAILED(hr = Find(name, &sid))) return hr;
    return Img().Remove(sid);
  });
}

HRESULT StorageObject::RenameElement(const OLECHAR* oldName, const OLECHAR* newName) {
  return Guarded([&] {
    if (!oldName || !newName) return STG_E_INVALIDPOINTER;
    HRESULT hr = CheckName(newName);
    if (FAILED(hr) || FAILED(hr = Alive()) || FAILED(hr = Writable())) return hr;
    std::uint32_t sid;
    if (FAILED(hr = Find(oldName, &sid))) return hr;
    if (Img().Find(m_sid, std::u16string_view(newName)) != kNoStream) return STG_E_ACCESSDENIED;
    if (Img().At(sid).openCount > 0) return STG_E_ACCESSDENIED;
    return Img().Rename(sid, std::u16string_view(newName));
  });
}

HRESULT StorageObject::SetElementTimes(const OLECHAR* name, const FILETIME* created,
                                       const FILETIME* accessed, const FILETIME* modified) {
  return Guarded([&] {
    HRESULT hr = Alive();
    if (FAILED(hr) || FAILED(hr = Writable())) return hr;
    std::uint32_t sid = m_sid;  // a null name sets the storage's own times
    if (name && FAILED(hr = Find(name, &sid))) return hr;
    DirEntry& d = Img().At(sid).d;
    if (created) d.created = FromFileTime(*created);
    if (modified) d.modified = FromFileTime(*modified);
    (void)accessed;  // the format keeps no access time, as Windows' files do not
    return S_OK;
  });
}

HRESULT StorageObject::SetClass(REFCLSID clsid) {
  HRESULT hr = Alive();
  if (FAILED(hr) || FAILED(hr = Writable())) return hr;
  Img().At(m_sid).d.clsid = clsid;
  return S_OK;
}

HRESULT StorageObject::SetStateBits(DWORD stateBits, DWORD mask) {
  HRESULT hr = Alive();
  if (FAILED(hr) || FAILED(hr = Writable())) return hr;
  DWORD& bits = Img().At(m_sid).d.stateBits;
  bits = (bits & ~mask) | (stateBits & mask);
  return S_OK;
}

HRESULT StorageObject::Stat(STATSTG* stat, DWORD statFlag) {
  if (!stat) return STG_E_INVALIDPOINTER;
  if (statFlag > STATFLAG_NONAME) return STG_E_INVALIDFLAG;
  const HRESULT hr = Alive();
  if (FAILED(hr)) return hr;
  FillStat(Img().At(m_sid).d, stat);
  stat->type = STGTY_STORAGE;
  stat->grfMode = m_mode;
  if (statFlag == STATFLAG_DEFAULT) {
    // A root names its file (nothing for caller's lock bytes); a
    // sub-storage its element.
    std::u16string name;
    if (m_base)
      name = m_base->image->At(m_baseMark->sid).d.name;
    else if (!IsRoot())
      name = Img().At(m_sid).d.name;
    else
      name = m_doc->path;
    if (!name.empty() && !(stat->pwcsName = CopyName(name))) return STG_E_INSUFFICIENTMEMORY;
  }
  return S_OK;
}

}  // namespace zrpal::ole
