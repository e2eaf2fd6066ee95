// pal/ole/storage_object.cpp - IStorage over a storage entry of an Image,
// and IEnumSTATSTG.
//
// Three kinds of storage object:
//   - the root of a document: its Commit and Revert are the image's; on its
//     last release a writable direct root commits, a transacted one drops
//     what was not committed, and the document closes (objects still open
//     on it answer STG_E_REVERTED, as on Windows);
//   - a direct sub-storage: works on the entry in place; Commit and Revert
//     have nothing of their own to do;
//   - a transacted sub-storage: works on a private copy of its subtree (a
//     document of its own in memory, the scratch); Commit copies that back
//     into the parent's entry, Revert takes a new copy from it. So the
//     parent sees nothing of the changes before Commit.
#include <cstring>
#include <vector>

#include "pal/ole/objects.h"
#include "pal/ole/storage.h"

namespace zrpal::ole {

namespace {

FILETIME ToFileTime(std::uint64_t t) {
  return FILETIME{static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
}
std::uint64_t FromFileTime(const FILETIME& t) {
  return t.dwLowDateTime | std::uint64_t{t.dwHighDateTime} << 32;
}

LPOLESTR CopyName(std::u16string_view name) {
  const std::size_t bytes = (name.size() + 1) * sizeof(WCHAR);
  auto* p = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
  if (p) {
    std::memcpy(p, name.data(), name.size() * sizeof(WCHAR));
    p[name.size()] = 0;
  }
  return p;
}

void FillStat(const DirEntry& d, STATSTG* s) {
  *s = STATSTG{};
  s->type = d.type == ObjectType::Stream ? STGTY_STREAM : STGTY_STORAGE;
  s->cbSize.QuadPart = d.type == ObjectType::Stream ? d.size : 0;
  s->mtime = ToFileTime(d.modified);
  s->ctime = ToFileTime(d.created);
  s->clsid = d.clsid;
  s->grfStateBits = d.stateBits;
}

// The names that are valid arguments: not null, 1 to 31 units, no '/',
// '\\', ':' or '!'.
HRESULT CheckName(const OLECHAR* name) {
  if (!name) return STG_E_INVALIDNAME;
  std::u16string_view n(name);
  return IsValidElementName(n) ? S_OK : STG_E_INVALIDNAME;
}

// One element of an enumeration snapshot.
struct EnumItem {
  std::u16string name;
  STATSTG stat;
};

class EnumObject final : public IEnumSTATSTG {
 public:
  explicit EnumObject(std::vector<EnumItem> items)
      : m_items(std::move(items)) {}

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IEnumSTATSTG) {
      *object = static_cast<IEnumSTATSTG*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++m_refs; }
  ULONG Release() override {
    const ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
  }
  HRESULT Next(ULONG count, STATSTG* elements, ULONG* fetched) override {
    if (!elements || (count != 1 && !fetched)) return STG_E_INVALIDPOINTER;
    ULONG n = 0;
    while (n < count && m_pos < m_items.size()) {
      const auto& [name, stat] = m_items[m_pos];
      elements[n] = stat;
      elements[n].pwcsName = CopyName(name);
      if (!elements[n].pwcsName) {
        for (ULONG i = 0; i < n; ++i) CoTaskMemFree(elements[i].pwcsName);
        if (fetched) *fetched = 0;
        return STG_E_INSUFFICIENTMEMORY;
      }
      ++n;
      ++m_pos;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG count) override {
    const std::size_t left = m_items.size() - m_pos;
    m_pos += std::min<std::size_t>(count, left);
    return count <= left ? S_OK : S_FALSE;
  }
  HRESULT Reset() override {
    m_pos = 0;
    return S_OK;
  }
  HRESULT Clone(IEnumSTATSTG** clone) override {
    if (!clone) return STG_E_INVALIDPOINTER;
    auto* copy = new (std::nothrow) EnumObject(m_items);
    if (!copy) return STG_E_INSUFFICIENTMEMORY;
    copy->m_pos = m_pos;
    *clone = copy;
    return S_OK;
  }

 private:
  ULONG m_refs = 1;
  std::vector<EnumItem> m_items;
  std::size_t m_pos = 0;
};

class StorageObject final : public IStorage {
 public:
  // A root (mark null) or a direct sub-storage.
  StorageObject(DocRef doc, std::uint32_t sid, MarkRef mark, DWORD mode)
      : m_doc(std::move(doc)), m_sid(sid), m_mark(std::move(mark)), m_mode(mode) {}

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IStorage) {
      *object = static_cast<IStorage*>(this);
      AddRef();
      return S_OK;
    }
    if (riid == IID_ZrOleStorage) {  // no reference: a lookup, not a handout
      *object = this;
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++m_refs; }
  ULONG Release() override {
    const ULONG left = --m_refs;
    if (left == 0) {
      if (IsRoot() && !m_doc->closed) {
        // A direct root writes its tables when it goes; a transacted one
        // (root or sub-storage copy) drops what was not committed.
        if (!m_doc->image->Transacted() && m_doc->image->Writable() && !m_base)
          m_doc->image->Commit();
        m_doc->closed = true;
      }
      delete this;
    }
    return left;
  }

  HRESULT CreateStream(const OLECHAR* name, DWORD mode, DWORD reserved1, DWORD reserved2,
                       IStream** stream) override;
  HRESULT OpenStream(const OLECHAR* name, void* reserved1, DWORD mode, DWORD reserved2,
                     IStream** stream) override;
  HRESULT CreateStorage(const OLECHAR* name, DWORD mode, DWORD reserved1, DWORD reserved2,
                        IStorage** storage) override;
  HRESULT OpenStorage(const OLECHAR* name, IStorage* priority, DWORD mode, SNB exclude,
                      DWORD reserved, IStorage** storage) override;
  HRESULT CopyTo(DWORD excludeIidCount, const IID* excludeIids, SNB exclude,
                 IStorage* target) override;
  HRESULT MoveElementTo(const OLECHAR* name, IStorage* target, const OLECHAR* newName,
                        DWORD flags) override;
  HRESULT Commit(DWORD commitFlags) override;
  HRESULT Revert() override;
  HRESULT EnumElements(DWORD reserved1, void* reserved2, DWORD reserved3,
                       IEnumSTATSTG** elements) override;
  HRESULT DestroyElement(const OLECHAR* name) override;
  HRESULT RenameElement(const OLECHAR* oldName, const OLECHAR* newName) override;
  HRESULT SetElementTimes(const OLECHAR* name, const FILETIME* created, const FILETIME* accessed,
                          const FILETIME* modified) override;
  HRESULT SetClass(REFCLSID clsid) override;
  HRESULT SetStateBits(DWORD stateBits, DWORD mask) override;
  HRESULT Stat(STATSTG* stat, DWORD statFlag) override;

  // A transacted sub-storage: its private copy is m_doc; the entry it
  // commits into is `base`'s `baseMark->sid`.
  HRESULT InitTransacted(DocRef base, MarkRef baseMark);

  Image& Img() const { return *m_doc->image; }
  const DocRef& Doc() const { return m_doc; }
  std::uint32_t Sid() const { return m_sid; }

 private:
  bool IsRoot() const { return !m_mark; }
  HRESULT Alive() const {
    if (m_doc->closed) return STG_E_REVERTED;
    if (m_mark && !Img().IsLive(m_sid, m_mark->gen)) return STG_E_REVERTED;
    if (m_base && (m_base->closed || !m_base->image->IsLive(m_baseMark->sid, m_baseMark->gen)))
      return STG_E_REVERTED;
    return S_OK;
  }
  HRESULT Writable() const {
    if (!CanWrite(m_mode) || !Img().Writable()) return STG_E_ACCESSDENIED;
    return S_OK;
  }
  HRESULT Find(const OLECHAR* name, std::uint32_t* sid) const {
    *sid = Img().Find(m_sid, std::u16string_view(name));
    return *sid == kNoStream ? STG_E_FILENOTFOUND : S_OK;
  }
  HRESULT OpenChild(std::uint32_t sid, DWORD mode, IStorage** storage);
  HRESULT FillCopy();

  ULONG m_refs = 1;
  DocRef m_doc;
  std::uint32_t m_sid;
  MarkRef m_mark;  // null for the root of m_doc
  DWORD m_mode;
  DocRef m_base;                         // transacted sub-storage: the parent's document
  MarkRef m_baseMark;  // and its entry there
};

StorageObject* OwnStorage(IStorage* storage) {
  void* p = nullptr;
  if (!storage || FAILED(storage->QueryInterface(IID_ZrOleStorage, &p))) return nullptr;
  return static_cast<StorageObject*>(p);
}

// True when `sid` is `ancestor` or lies below it.
bool IsWithin(const Image& image, std::uint32_t sid, std::uint32_t ancestor) {
  for (std::uint32_t s = sid, steps = 0; s != kNoStream && steps <= image.EntryCount(); ++steps) {
    if (s == ancestor) return true;
    s = s == Image::kRoot ? kNoStream : image.At(s).parent;
  }
  return false;
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
    if (FAILED(hr = Img().Add(m_sid, std::u16string_view(name), ObjectType::Stream, &sid))) return hr;
    return NewStream(m_doc, sid, mode, stream);
  });
}

HRESULT StorageObject::OpenStream(const OLECHAR* name, void* reserved1, DWORD mode,
                                  DWORD reserved2, IStream** stream) {
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

HRESULT StorageObject::OpenStorage(const OLECHAR* name, IStorage* priority, DWORD mode,
                                   SNB exclude, DWORD reserved, IStorage** storage) {
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
    *elements = new EnumObject(std::move(items));
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
    if (m_base) name = m_base->image->At(m_baseMark->sid).d.name;
    else if (!IsRoot()) name = Img().At(m_sid).d.name;
    else name = m_doc->path;
    if (!name.empty() && !(stat->pwcsName = CopyName(name))) return STG_E_INSUFFICIENTMEMORY;
  }
  return S_OK;
}

}  // namespace

HRESULT NewRootStorage(DocRef doc, DWORD mode, IStorage** storage) {
  return Guarded([&] {
    *storage = new StorageObject(std::move(doc), Image::kRoot, MarkRef(), mode & ~kCreateMask);
    return S_OK;
  });
}

}  // namespace zrpal::ole
