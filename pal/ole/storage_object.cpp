// pal/ole/storage_object.cpp - IStorage: creating and opening children,
// and transactions (see storage_object.h for the kinds of storage object).
#include "pal/ole/storage_object.h"

#include "pal/ole/storage.h"

namespace zrpal::ole {

HRESULT CheckName(const OLECHAR* name) {
  if (!name) return STG_E_INVALIDNAME;
  std::u16string_view n(name);
  return IsValidElementName(n) ? S_OK : STG_E_INVALIDNAME;
}

HRESULT StorageObject::CreateStream(const OLECHAR* name, DWORD mode, DWORD reserved1,
                                    DWORD reserved2, IStream** stream) {
  return Guarded([&] {
    if (!stream) return STG_E_INVALIDPOINTER;
    *stream = nullptr;
    if (reserved1 || reserved2) return STG_E_INVALIDPARAMETER;
    HRESULT hr = CheckName(name);
    if (FAILED(hr)) return hr;
    if (!IsValidMode(mode) || ShareOf(mode) != STGM_SHARE_EXCLUSIVE || (mode & STGM_CONVERT))
      return STG_E_INVALIDFLAG;
    if (mode & (STGM_DELETEONRELEASE | STGM_TRANSACTED)) return STG_E_INVALIDFUNCTION;
    if (FAILED(hr = Alive()) || FAILED(hr = Writable())) return hr;
    std::uint32_t sid = Img().Find(m_sid, std::u16string_view(name));
    if (sid != kNoStream) {
      if (!(mode & STGM_CREATE)) return STG_E_FILEALREADYEXISTS;
      if (FAILED(hr = Img().Remove(sid))) return hr;
    }
    if (FAILED(hr = Img().Add(m_sid, std::u16string_view(name), ObjectType::Stream, &sid)))
      return hr;
    return NewStream(m_doc, sid, mode, stream);
  });
}

HRESULT StorageObject::OpenStream(const OLECHAR* name, void* reserved1, DWORD mode, DWORD reserved2,
                                  IStream** stream) {
  return Guarded([&] {
    if (!stream) return STG_E_INVALIDPOINTER;
    *stream = nullptr;
    if (reserved1 || reserved2) return STG_E_INVALIDPARAMETER;
    if (!name) return STG_E_INVALIDNAME;
    if (!IsValidMode(mode) || ShareOf(mode) != STGM_SHARE_EXCLUSIVE || (mode & kCreateMask))
      return STG_E_INVALIDFLAG;
    if (mode & (STGM_DELETEONRELEASE | STGM_TRANSACTED)) return STG_E_INVALIDFUNCTION;
    HRESULT hr = Alive();
    if (FAILED(hr)) return hr;
    if (!(m_mode & STGM_TRANSACTED) && AccessOf(mode) > AccessOf(m_mode)) return STG_E_INVALIDFLAG;
    std::uint32_t sid;
    if (FAILED(hr = Find(name, &sid))) return hr;
    if (Img().At(sid).d.type != ObjectType::Stream) return STG_E_FILENOTFOUND;
    if (Img().At(sid).openCount > 0) return STG_E_ACCESSDENIED;
    if (FAILED(hr = Img().CheckStream(sid))) return hr;
    return NewStream(m_doc, sid, mode, stream);
  });
}

HRESULT StorageObject::OpenChild(std::uint32_t sid, DWORD mode, IStorage** storage) {
  auto mark = MarkRef(new OpenMark(m_doc, sid));
  const DWORD kept = mode & ~kCreateMask;
  if (!(mode & STGM_TRANSACTED)) {
    *storage = new StorageObject(m_doc, sid, std::move(mark), kept);
    return S_OK;
  }
  auto* child = new StorageObject(DocRef(), Image::kRoot, MarkRef(), kept);
  const HRESULT hr = child->InitTransacted(m_doc, std::move(mark));
  if (FAILED(hr)) {
    child->Release();
    return hr;
  }
  *storage = child;
  return S_OK;
}

HRESULT StorageObject::InitTransacted(DocRef base, MarkRef baseMark) {
  m_base = std::move(base);
  m_baseMark = std::move(baseMark);
  return FillCopy();
}

// (Re)makes the private copy of a transacted sub-storage from its entry in
// the parent.
HRESULT StorageObject::FillCopy() {
  ILockBytes* bytes = nullptr;
  HRESULT hr = CreateILockBytesOnHGlobal(nullptr, TRUE, &bytes);
  if (FAILED(hr)) return hr;
  auto doc = DocRef(new Document);
  Image& base = *m_base->image;
  hr = Image::Create(bytes, base.GetHeader().majorVersion, false, &doc->image);
  bytes->Release();
  if (FAILED(hr)) return hr;
  if (FAILED(hr = CopyChildren(base, m_baseMark->sid, *doc->image, Image::kRoot, CopyFilter{})))
    return hr;
  DirEntry& root = doc->image->At(Image::kRoot).d;
  const DirEntry& from = base.At(m_baseMark->sid).d;
  root.clsid = from.clsid;
  root.stateBits = from.stateBits;
  root.created = from.created;
  root.modified = from.modified;
  if (m_doc) m_doc->closed = true;  // objects opened on the old copy are reverted
  m_doc = std::move(doc);
  return S_OK;
}

HRESULT StorageObject::CreateStorage(const OLECHAR* name, DWORD mode, DWORD reserved1,
                                     DWORD reserved2, IStorage** storage) {
  return Guarded([&] {
    if (!storage) return STG_E_INVALIDPOINTER;
    *storage = nullptr;
    if (reserved1 || reserved2) return STG_E_INVALIDPARAMETER;
    HRESULT hr = CheckName(name);
    if (FAILED(hr)) return hr;
    if (!IsValidMode(mode) || ShareOf(mode) != STGM_SHARE_EXCLUSIVE ||
        (mode & (STGM_DELETEONRELEASE | STGM_CONVERT | STGM_PRIORITY)))
      return STG_E_INVALIDFLAG;
    if (m_mode & STGM_SIMPLE) return STG_E_INVALIDFUNCTION;  // simple mode has streams only
    if (FAILED(hr = Alive()) || FAILED(hr = Writable())) return hr;
    std::uint32_t sid = Img().Find(m_sid, std::u16string_view(name));
    if (sid != kNoStream) {
      if (!(mode & STGM_CREATE)) return STG_E_FILEALREADYEXISTS;
      if (FAILED(hr = Img().Remove(sid))) return hr;
    }
    if (FAILED(hr = Img().Add(m_sid, std::u16string_view(name), ObjectType::Storage, &sid)))
      return hr;
    return OpenChild(sid, mode, storage);
  });
}

HRESULT StorageObject::OpenStorage(const OLECHAR* name, IStorage* priority, DWORD mode, SNB exclude,
                                   DWORD reserved, IStorage** storage) {
  return Guarded([&] {
    if (!storage) return STG_E_INVALIDPOINTER;
    *storage = nullptr;
    if (reserved) return STG_E_INVALIDPARAMETER;
    if (priority || exclude) return STG_E_INVALIDFUNCTION;
    if (!name) return STG_E_INVALIDNAME;
    if (!IsValidMode(mode) || ShareOf(mode) != STGM_SHARE_EXCLUSIVE || (mode & kCreateMask))
      return STG_E_INVALIDFLAG;
    if (mode & (STGM_DELETEONRELEASE | STGM_PRIORITY)) return STG_E_INVALIDFUNCTION;
    if (m_mode & STGM_SIMPLE) return STG_E_INVALIDFUNCTION;
    HRESULT hr = Alive();
    if (FAILED(hr)) return hr;
    if (!(m_mode & STGM_TRANSACTED) && AccessOf(mode) > AccessOf(m_mode)) return STG_E_ACCESSDENIED;
    std::uint32_t sid;
    if (FAILED(hr = Find(name, &sid))) return hr;
    if (Img().At(sid).d.type != ObjectType::Storage) return STG_E_FILENOTFOUND;
    if (Img().At(sid).openCount > 0) return STG_E_ACCESSDENIED;
    return OpenChild(sid, mode, storage);
  });
}

HRESULT StorageObject::Commit(DWORD commitFlags) {
  return Guarded([&] {
    if (commitFlags & ~0xFu) return STG_E_INVALIDFLAG;
    HRESULT hr = Alive();
    if (FAILED(hr)) return hr;
    if (m_base) {
      // A transacted sub-storage: its copy replaces the entry's content.
      Image& base = *m_base->image;
      if (!base.Writable()) return STG_E_ACCESSDENIED;
      const std::uint32_t target = m_baseMark->sid;
      std::vector<std::uint32_t> old;
      for (const auto& [n, sid] : base.At(target).children) old.push_back(sid);
      for (std::uint32_t sid : old)
        if (FAILED(hr = base.Remove(sid))) return hr;
      if (FAILED(hr = CopyChildren(Img(), Image::kRoot, base, target, CopyFilter{}))) return hr;
      const DirEntry& from = Img().At(Image::kRoot).d;
      DirEntry& to = base.At(target).d;
      to.clsid = from.clsid;
      to.stateBits = from.stateBits;
      to.modified = FileTimeNow();
      return S_OK;
    }
    if (!IsRoot() || !Img().Writable()) return S_OK;
    return Img().Commit();
  });
}

HRESULT StorageObject::Revert() {
  return Guarded([&] {
    HRESULT hr = Alive();
    if (FAILED(hr)) return hr;
    if (m_base) return FillCopy();
    if (IsRoot()) Img().Revert();
    return S_OK;
  });
}

HRESULT NewRootStorage(DocRef doc, DWORD mode, IStorage** storage) {
  return Guarded([&] {
    *storage = new StorageObject(std::move(doc), Image::kRoot, MarkRef(), mode & ~kCreateMask);
    return S_OK;
  });
}

}  // namespace zrpal::ole
