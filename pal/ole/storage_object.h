// pal/ole/storage_object.h - the IStorage object over a storage entry of an
// Image, shared by the files that implement its operations:
//   storage_object.cpp    creating and opening children, transactions
//                         (Commit, Revert, the transacted sub-storage copy);
//   storage_elements.cpp  the element operations (copy, move, enumerate,
//                         destroy, rename, times, class, state bits, Stat);
//   element_enum.cpp      IEnumSTATSTG and the STATSTG of an entry.
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
#pragma once

#include <string>
#include <vector>

#include "pal/ole/objects.h"
#include "pal/ole/propidl.h"

namespace zrpal::ole {

// property_set_storage.cpp: the IPropertySetStorage of a storage.
HRESULT NewPropertySetStorage(IStorage* storage, IPropertySetStorage** out);

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
    if (riid == IID_IPropertySetStorage)  // a new object over this storage, as Windows' own
      return NewPropertySetStorage(this, reinterpret_cast<IPropertySetStorage**>(object));
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
  DocRef m_base;       // transacted sub-storage: the parent's document
  MarkRef m_baseMark;  // and its entry there
};

// The storage object of this module behind `storage`, or null.
StorageObject* OwnStorage(IStorage* storage);

// STG_E_INVALIDNAME unless `name` is a valid element name: not null, 1 to
// 31 units, no '/', '\\', ':' or '!'.
HRESULT CheckName(const OLECHAR* name);

// element_enum.cpp: a name copied into task memory (null when memory runs
// out), the STATSTG of an entry (without its name), and an enumerator over
// a snapshot of elements.
LPOLESTR CopyName(std::u16string_view name);
void FillStat(const DirEntry& d, STATSTG* stat);
struct EnumItem {
  std::u16string name;
  STATSTG stat;
};
IEnumSTATSTG* NewEnum(std::vector<EnumItem> items);

}  // namespace zrpal::ole
