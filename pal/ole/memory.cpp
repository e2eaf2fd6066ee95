// pal/ole/memory.cpp - global memory blocks, the task allocator, and the
// ILockBytes over a global memory block.
//
// A global block is a small record (the HGLOBAL points at it) that owns a
// heap block of the process heap; GlobalReAlloc moves the data, never the
// record. The record starts with a tag so that a value that is no block is
// refused (ERROR_INVALID_HANDLE) instead of read.
//
// The ILockBytes keeps a logical size of its own, as Windows' does: the
// block grows in doubling steps, so GlobalSize can exceed the bytes written.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

#include "pal/error.h"
#include "pal/heap.h"
#include "pal/ole/storage.h"

namespace zrpal {

namespace {

constexpr DWORD kGlobalTag = 0x4C424C47;  // "GLBL"

struct GlobalBlock {
  DWORD tag = kGlobalTag;
  UINT locks = 0;
  SIZE_T size = 0;
  BYTE* data = nullptr;
};

GlobalBlock* BlockOf(HGLOBAL handle) {
  auto* b = static_cast<GlobalBlock*>(handle);
  if (!b || b->tag != kGlobalTag) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return b;
}

bool CheckGlobalFlags(UINT flags) {
  if (flags & ~(GMEM_MOVEABLE | GMEM_ZEROINIT)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return true;
}

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
  if (!CheckGlobalFlags(flags)) return nullptr;
  auto* b = new (std::nothrow) GlobalBlock;
  if (!b) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (bytes > 0) {
    b->data = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes));
    if (!b->data) {
      delete b;
      return nullptr;
    }
  }
  b->size = bytes;
  return b;
}

HGLOBAL GlobalReAlloc(HGLOBAL handle, SIZE_T bytes, UINT flags) {
  GlobalBlock* b = BlockOf(handle);
  if (!b || !CheckGlobalFlags(flags)) return nullptr;
  if (bytes == 0) {
    if (b->data) HeapFree(GetProcessHeap(), 0, b->data);
    b->data = nullptr;
  } else {
    void* p = b->data ? HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, b->data, bytes)
                      : HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
    if (!p) return nullptr;
    b->data = static_cast<BYTE*>(p);
  }
  b->size = bytes;
  return b;
}

HGLOBAL GlobalFree(HGLOBAL handle) {
  GlobalBlock* b = BlockOf(handle);
  if (!b) return handle;
  if (b->data) HeapFree(GetProcessHeap(), 0, b->data);
  b->tag = 0;
  delete b;
  return nullptr;
}

LPVOID GlobalLock(HGLOBAL handle) {
  GlobalBlock* b = BlockOf(handle);
  if (!b) return nullptr;
  ++b->locks;
  return b->data;
}

BOOL GlobalUnlock(HGLOBAL handle) {
  GlobalBlock* b = BlockOf(handle);
  if (!b) return FALSE;
  if (b->locks == 0) {
    SetLastError(ERROR_NOT_LOCKED);
    return FALSE;
  }
  --b->locks;
  if (b->locks == 0) SetLastError(ERROR_SUCCESS);
  return b->locks != 0;
}

SIZE_T GlobalSize(HGLOBAL handle) {
  GlobalBlock* b = BlockOf(handle);
  return b ? b->size : 0;
}

// The task allocator: the process heap.
LPVOID CoTaskMemAlloc(SIZE_T bytes) { return HeapAlloc(GetProcessHeap(), 0, bytes ? bytes : 1); }
LPVOID CoTaskMemRealloc(LPVOID block, SIZE_T bytes) {
  if (!block) return CoTaskMemAlloc(bytes);
  if (bytes == 0) {
    HeapFree(GetProcessHeap(), 0, block);
    return nullptr;
  }
  return HeapReAlloc(GetProcessHeap(), 0, block, bytes);
}
void CoTaskMemFree(LPVOID block) {
  if (block) HeapFree(GetProcessHeap(), 0, block);
}

namespace {

class TaskMalloc final : public IMalloc {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IMalloc) {
      *object = this;
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  // One static object: counting is not needed, as on Windows.
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  void* Alloc(SIZE_T bytes) override { return CoTaskMemAlloc(bytes); }
  void* Realloc(void* block, SIZE_T bytes) override { return CoTaskMemRealloc(block, bytes); }
  void Free(void* block) override { CoTaskMemFree(block); }
  SIZE_T GetSize(void* block) override {
    return block ? HeapSize(GetProcessHeap(), 0, block) : static_cast<SIZE_T>(-1);
  }
  INT DidAlloc(void* block) override {
    return block && HeapSize(GetProcessHeap(), 0, block) != static_cast<SIZE_T>(-1) ? 1 : 0;
  }
  void HeapMinimize() override {}
};

constinit TaskMalloc g_taskMalloc;

class HGlobalLockBytes final : public ILockBytes {
 public:
  HGlobalLockBytes(HGLOBAL block, bool deleteOnRelease)
      : m_block(block), m_delete(deleteOnRelease), m_size(GlobalSize(block)) {}

  HRESULT QueryInterface(REFIID riid, void** object) override {
    return QueryInterfaces(static_cast<ILockBytes*>(this), riid, object, IID_ILockBytes);
  }
  ULONG AddRef() override { return ++m_refs; }
  ULONG Release() override {
    const ULONG left = --m_refs;
    if (left == 0) {
      if (m_delete) GlobalFree(m_block);
      delete this;
    }
    return left;
  }
  HRESULT ReadAt(ULARGE_INTEGER offset, void* buffer, ULONG count, ULONG* read) override {
    if (!buffer) return STG_E_INVALIDPOINTER;
    ULONG n = 0;
    if (offset.QuadPart < m_size)
      n = static_cast<ULONG>(std::min<ULONGLONG>(count, m_size - offset.QuadPart));
    if (n) std::memcpy(buffer, static_cast<BYTE*>(GlobalLock(m_block)) + offset.QuadPart, n);
    if (n) GlobalUnlock(m_block);
    if (read) *read = n;
    return S_OK;
  }
  HRESULT WriteAt(ULARGE_INTEGER offset, const void* buffer, ULONG count,
                  ULONG* written) override {
    if (!buffer) return STG_E_INVALIDPOINTER;
    if (written) *written = 0;
    if (count == 0) return S_OK;
    const ULONGLONG end = offset.QuadPart + count;
    if (end > m_size) {
      const HRESULT hr = SetSize(ULARGE_INTEGER{end});
      if (FAILED(hr)) return hr;
    }
    std::memcpy(static_cast<BYTE*>(GlobalLock(m_block)) + offset.QuadPart, buffer, count);
    GlobalUnlock(m_block);
    if (written) *written = count;
    return S_OK;
  }
  HRESULT Flush() override { return S_OK; }
  HRESULT SetSize(ULARGE_INTEGER size) override {
    if (size.QuadPart > GlobalSize(m_block)) {
      const SIZE_T grown = std::max<SIZE_T>(size.QuadPart, GlobalSize(m_block) * 2);
      if (!GlobalReAlloc(m_block, grown, GMEM_MOVEABLE)) return STG_E_MEDIUMFULL;
    } else if (size.QuadPart < m_size) {
      // Bytes past the new end read as zero when the size grows again.
      std::memset(static_cast<BYTE*>(GlobalLock(m_block)) + size.QuadPart, 0, m_size - size.QuadPart);
      GlobalUnlock(m_block);
    }
    m_size = size.QuadPart;
    return S_OK;
  }
  HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;  // memory blocks have no region locks, as on Windows
  }
  HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT Stat(STATSTG* stat, DWORD) override {
    if (!stat) return STG_E_INVALIDPOINTER;
    *stat = STATSTG{};
    stat->type = STGTY_LOCKBYTES;
    stat->cbSize.QuadPart = m_size;
    return S_OK;
  }
  HGLOBAL Block() const { return m_block; }

 private:
  ULONG m_refs = 1;
  HGLOBAL m_block;
  bool m_delete;
  ULONGLONG m_size;
};

}  // namespace

HRESULT CoGetMalloc(DWORD context, IMalloc** malloc) {
  if (!malloc) return E_INVALIDARG;
  *malloc = nullptr;
  if (context != MEMCTX_TASK) return E_INVALIDARG;
  *malloc = &g_taskMalloc;
  return S_OK;
}

HRESULT CreateILockBytesOnHGlobal(HGLOBAL block, BOOL deleteOnRelease, ILockBytes** bytes) {
  if (!bytes) return E_INVALIDARG;
  *bytes = nullptr;
  if (!block) {
    block = GlobalAlloc(GMEM_MOVEABLE, 0);
    if (!block) return E_OUTOFMEMORY;
  } else if (!BlockOf(block)) {
    return E_INVALIDARG;
  }
  auto* lb = new (std::nothrow) HGlobalLockBytes(block, deleteOnRelease != 0);
  if (!lb) return E_OUTOFMEMORY;
  *bytes = lb;
  return S_OK;
}

HRESULT GetHGlobalFromILockBytes(ILockBytes* bytes, HGLOBAL* block) {
  if (!bytes || !block) return E_INVALIDARG;
  // Only this module's lock bytes carry a block; others answer E_INVALIDARG.
  auto* own = dynamic_cast<HGlobalLockBytes*>(bytes);
  *block = own ? own->Block() : nullptr;
  return own ? S_OK : E_INVALIDARG;
}

}  // namespace zrpal
