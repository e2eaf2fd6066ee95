// base/heap.h - CHeap, the only implementation of IHeap, and the memory
// manager's list item (library internal).
//
// Block layout:  [CHeap* owner: 8 bytes][usable bytes ...]
// The caller gets the address after the header; Free, Realloc and GetSize
// act on the heap named in the header, whatever heap they are called on.
#pragma once

#include <cstdint>

#include "zr/heap.h"

namespace zr {

// An intrusive doubly linked list item: next and previous, null while
// unlinked.
struct ZR_LISTITEM {
  ZR_LISTITEM* next = nullptr;
  ZR_LISTITEM* prev = nullptr;
};

class CHeap final : public CZRUnknownImpl<IHeap>, public ZR_LISTITEM {
 public:
  // Creates the platform heap (retrying through the low-memory sink) and
  // links the heap into the live list. Throws CXBadAlloc on failure, with
  // nothing linked. `isStatic` marks the default heap, which does not count
  // references; `accountedSize` only goes to the activity counters, and one
  // they cannot take without wrapping is refused (CXBadAlloc, nothing
  // counted).
  CHeap(bool isStatic, size_t accountedSize);
  // Unlinks the heap and destroys the platform heap with every block.
  ~CHeap() override;

  ULONG Release() override;
  ULONG AddRef() override;

  void* Alloc(size_t size) override;
  int Free(void* block) override;
  void* Realloc(void* block, size_t size) override;
  std::int64_t GetSize(void* block) override;
  int GetOverhead(size_t size) override;

  static constexpr int kHeaderBytes = 8;

 private:
  void* m_hHeap;   // the platform heap
  ULONG m_static;  // 1 for the default heap
};

static_assert(sizeof(CHeap*) == CHeap::kHeaderBytes);

}  // namespace zr
