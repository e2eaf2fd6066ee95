// pal/ole/element_enum.cpp - IEnumSTATSTG over a snapshot of a storage's
// elements, and the STATSTG of a directory entry.
//
// The snapshot is taken when the enumerator is made: later changes to the
// storage do not show in it. Each Next hands out names in task memory that
// the caller frees with CoTaskMemFree.
#include <cstring>

#include "pal/ole/snapshot_enum.h"
#include "pal/ole/storage.h"
#include "pal/ole/storage_object.h"

namespace zrpal::ole {

namespace {

FILETIME ToFileTime(std::uint64_t t) {
  return FILETIME{static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
}

class EnumObject final : public SnapshotEnum<EnumObject, IEnumSTATSTG, EnumItem> {
 public:
  using SnapshotEnum::SnapshotEnum;

  HRESULT QueryInterface(REFIID riid, void** object) override {
    return QueryInterfaces(static_cast<IEnumSTATSTG*>(this), riid, object, IID_IEnumSTATSTG);
  }
  HRESULT Next(ULONG count, STATSTG* elements, ULONG* fetched) override {
    if (!elements || (count != 1 && !fetched)) return STG_E_INVALIDPOINTER;
    ULONG n = 0;
    while (n < count && m_at < m_items.size()) {
      const auto& [name, stat] = m_items[m_at];
      elements[n] = stat;
      elements[n].pwcsName = CopyName(name);
      if (!elements[n].pwcsName) {
        for (ULONG i = 0; i < n; ++i) CoTaskMemFree(elements[i].pwcsName);
        if (fetched) *fetched = 0;
        return STG_E_INSUFFICIENTMEMORY;
      }
      ++n;
      ++m_at;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
};

}  // namespace

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

IEnumSTATSTG* NewEnum(std::vector<EnumItem> items) { return new EnumObject(std::move(items)); }

}  // namespace zrpal::ole
