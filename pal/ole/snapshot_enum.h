// pal/ole/snapshot_enum.h - what the engine's enumerators share.
//
// The element, property-set and property enumerators walk a snapshot taken
// when they are made: later changes of the storage or set do not show in
// them. Reference counting, Skip, Reset and Clone are the same for all of
// them; each enumerator adds QueryInterface (its IID) and Next (its record
// and the names it hands out in task memory).
//
// Invariant: m_at <= m_items.size().
#pragma once

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

#include "pal/ole/objidl.h"

namespace zrpal::ole {

template <class Self, class Interface, class Item>
class SnapshotEnum : public Interface {
 public:
  explicit SnapshotEnum(std::vector<Item> items) : m_items(std::move(items)) {}
  virtual ~SnapshotEnum() = default;

  ULONG AddRef() override { return ++m_refs; }
  ULONG Release() override {
    const ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
  }
  HRESULT Skip(ULONG count) override {
    const std::size_t left = m_items.size() - m_at;
    m_at += std::min<std::size_t>(count, left);
    return count <= left ? S_OK : S_FALSE;
  }
  HRESULT Reset() override {
    m_at = 0;
    return S_OK;
  }
  HRESULT Clone(Interface** clone) override {
    if (!clone) return STG_E_INVALIDPOINTER;
    Self* copy = nullptr;
    try {
      copy = new Self(m_items);  // the snapshot's copy may fail as well
    } catch (const std::bad_alloc&) {
      return STG_E_INSUFFICIENTMEMORY;
    }
    copy->m_at = m_at;
    *clone = copy;
    return S_OK;
  }

 protected:
  std::vector<Item> m_items;
  std::size_t m_at = 0;

 private:
  ULONG m_refs = 1;
};

}  // namespace zrpal::ole
