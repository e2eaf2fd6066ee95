// pal/files/mapping.cpp - file mappings, views and the view guard (see
// mapping.h).
//
// Views are kept in a registry that the SIGBUS handler reads: an
// append-only list of chunks of slots, each slot a view's base address and
// length. Slots change with atomic stores only and chunks are never freed,
// so the handler can walk the list at any moment without a lock.
//
// Slot states: base 0 = free; base kClaimed = being filled; any other base =
// a live view whose length (and region) are already stored. A registrant
// claims a free slot with a compare-exchange, stores the length, then the
// base; the handler and the lookups read the base first and skip the first
// two states.
//
// Views of a read-only mapping share one mapping of the whole section (a
// region), made with the first view and given back when the mapping is
// closed and its last view unmapped. A sliding window of read views then
// costs one mmap for the whole file instead of an mmap and a munmap (with
// its TLB flush) per window; measured on the development machine, reading
// a file in 1 MiB pieces through 128 KiB windows went from 0.58x of
// read(2)'s speed to about 0.9x. Deviation: the address range of an
// unmapped read-only view stays readable until its region goes (Windows
// releases it at once, so a stale pointer faults there). Writable views map
// their own range: each is flushed and released on its own.
#include "pal/files/mapping.h"

#include <new>

#include "pal/error.h"
#include "pal/internal/file_object.h"
#include "pal/sync.h"

namespace zrpal {

namespace view_detail {
constinit thread_local std::atomic<DWORD> t_faults{0};
}  // namespace view_detail

namespace {

constexpr DWORD kAllocationGranularity = 0x10000;  // 64 KiB, as on Windows
constexpr DWORD kKnownViewAccess = FILE_MAP_READ | FILE_MAP_WRITE;
constexpr std::uintptr_t kClaimed = 1;
constexpr std::size_t kChunkSlots = 255;

// One mapping of a whole read-only section, shared by its views. Counted:
// one reference for the mapping object, one per live view; the last
// release unmaps it.
struct Region {
  std::atomic<std::uint32_t> refs;
  BYTE* base;
  std::size_t length;
};

void ReleaseRegion(Region* region);

// The object behind a mapping handle. Invariants: `size` is at most the
// file's size when the mapping was made (the file was grown to it);
// `writable` only when the file has read and write access; `region`, made
// by the first view of a read-only mapping, holds one reference for this
// object.
struct MappingObject final : HandleObject {
  explicit MappingObject(HandleRef<FileObject> f, std::uint64_t s, bool w)
      : HandleObject(HandleKind::FileMapping), file(std::move(f)), size(s), writable(w) {}
  ~MappingObject() override {
    if (region) ReleaseRegion(region);
  }
  HandleRef<FileObject> file;
  std::uint64_t size;
  bool writable;
  CRITICAL_SECTION regionLock{};
  Region* region = nullptr;
};

struct ViewSlot {
  std::atomic<std::uintptr_t> base;
  std::atomic<std::size_t> length;
  std::atomic<Region*> region;  // null: the view is a mapping of its own
};

struct ViewChunk {
  ViewSlot slots[kChunkSlots];
  std::atomic<ViewChunk*> next;
};

constinit std::atomic<ViewChunk*> g_viewChunks{nullptr};

// posix/mapping.inc
ViewChunk* AllocateViewChunk();
BOOL FileSize(int fd, std::uint64_t* size);
BOOL Reserve(int fd, std::uint64_t offset, std::uint64_t length);
LPVOID MapFile(int fd, std::uint64_t offset, std::size_t bytes, bool writable);
void UnmapRange(LPVOID base, std::size_t bytes);
BOOL SyncRange(std::uintptr_t first, std::uintptr_t end);
void EnsureViewGuard();
DWORD PageSize();
DWORD ProcessorCount();

// Registers a view; false when no slot can be had (no memory for a chunk).
bool RegisterView(std::uintptr_t base, std::size_t length, Region* region) {
  for (;;) {
    ViewChunk* head = g_viewChunks.load(std::memory_order_acquire);
    for (ViewChunk* c = head; c; c = c->next.load(std::memory_order_acquire)) {
      for (ViewSlot& slot : c->slots) {
        std::uintptr_t expected = 0;
        if (slot.base.load(std::memory_order_relaxed) == 0 &&
            slot.base.compare_exchange_strong(expected, kClaimed, std::memory_order_acquire)) {
          slot.length.store(length, std::memory_order_relaxed);
          slot.region.store(region, std::memory_order_relaxed);
          slot.base.store(base, std::memory_order_release);
          return true;
        }
      }
    }
    ViewChunk* fresh = AllocateViewChunk();
    if (!fresh) return false;
    fresh->next.store(head, std::memory_order_relaxed);
    if (!g_viewChunks.compare_exchange_strong(head, fresh, std::memory_order_release)) {
      // Another thread added a chunk first; ours joins the list anyway.
      ViewChunk* now = g_viewChunks.load(std::memory_order_acquire);
      do fresh->next.store(now, std::memory_order_relaxed);
      while (!g_viewChunks.compare_exchange_weak(now, fresh, std::memory_order_release));
    }
  }
}

// The live view holding `address`; with `exact`, only one that starts there.
ViewSlot* FindView(std::uintptr_t address, bool exact) {
  for (ViewChunk* c = g_viewChunks.load(std::memory_order_acquire); c;
       c = c->next.load(std::memory_order_acquire)) {
    for (ViewSlot& slot : c->slots) {
      const std::uintptr_t base = slot.base.load(std::memory_order_acquire);
      if (base <= kClaimed) continue;
      if (exact ? address == base : address - base < slot.length.load(std::memory_order_relaxed))
        return &slot;
    }
  }
  return nullptr;
}

void ReleaseRegion(Region* region) {
  if (region->refs.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  UnmapRange(region->base, region->length);
  delete region;
}

// The shared region of a read-only mapping, made on first need, with one
// reference added for the caller; null with the last error.
Region* AcquireRegion(MappingObject* mapping) {
  CCriticalSectionGuard guard(&mapping->regionLock);
  if (!mapping->region) {
    auto* region = new (std::nothrow) Region{{1}, nullptr, static_cast<std::size_t>(mapping->size)};
    if (!region) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    region->base = static_cast<BYTE*>(MapFile(mapping->file->fd, 0, region->length, false));
    if (!region->base) {
      delete region;
      return nullptr;
    }
    mapping->region = region;
  }
  mapping->region->refs.fetch_add(1, std::memory_order_relaxed);
  return mapping->region;
}

}  // namespace

void GetSystemInfo(SYSTEM_INFO* info) {
  *info = SYSTEM_INFO{};
#if defined(__aarch64__)
  info->wProcessorArchitecture = 12;  // PROCESSOR_ARCHITECTURE_ARM64
#else
  info->wProcessorArchitecture = 9;  // PROCESSOR_ARCHITECTURE_AMD64
  info->dwProcessorType = 8664;      // PROCESSOR_AMD_X8664
#endif
  info->dwPageSize = PageSize();
  info->lpMinimumApplicationAddress =
      reinterpret_cast<LPVOID>(std::uintptr_t{kAllocationGranularity});
  info->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(std::uintptr_t{0x7FFFFFFEFFFF});
  info->dwNumberOfProcessors = ProcessorCount();
  const DWORD n = info->dwNumberOfProcessors;
  info->dwActiveProcessorMask = n >= 64 ? ~std::uintptr_t{0} : (std::uintptr_t{1} << n) - 1;
  info->dwAllocationGranularity = kAllocationGranularity;
}

HANDLE CreateFileMappingW(HANDLE file, SECURITY_ATTRIBUTES* security, DWORD protect,
                          DWORD maximumSizeHigh, DWORD maximumSizeLow, LPCWSTR name) {
  if (name || security || file == INVALID_HANDLE_VALUE ||
      (protect != PAGE_READONLY && protect != PAGE_READWRITE)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto object = ReferenceFile(file);
  if (!object) return nullptr;
  const bool writable = protect == PAGE_READWRITE;
  const DWORD needed = writable ? kShareKindRead | kShareKindWrite : kShareKindRead;
  if ((object->rights & needed) != needed) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  std::uint64_t current;
  if (!FileSize(object->fd, &current)) return nullptr;
  std::uint64_t size = (std::uint64_t{maximumSizeHigh} << 32) | maximumSizeLow;
  if (size == 0) {
    if (current == 0) {
      SetLastError(ERROR_FILE_INVALID);
      return nullptr;
    }
    size = current;
  } else if (size > current) {
    if (!writable) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    if (!Reserve(object->fd, current, size - current)) return nullptr;
  }
  auto* mapping = new (std::nothrow) MappingObject(std::move(object), size, writable);
  if (!mapping) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return InsertHandle(mapping);
}

LPVOID MapViewOfFile(HANDLE mappingHandle, DWORD desiredAccess, DWORD offsetHigh, DWORD offsetLow,
                     SIZE_T bytes) {
  const bool all = desiredAccess == FILE_MAP_ALL_ACCESS;
  if (!all && (!(desiredAccess & kKnownViewAccess) || (desiredAccess & ~kKnownViewAccess))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const bool write = all || (desiredAccess & FILE_MAP_WRITE);
  auto mapping = ReferenceHandle<MappingObject>(mappingHandle, KindBit(HandleKind::FileMapping));
  if (!mapping) return nullptr;
  const std::uint64_t offset = (std::uint64_t{offsetHigh} << 32) | offsetLow;
  if (offset % kAllocationGranularity) {
    SetLastError(ERROR_MAPPED_ALIGNMENT);
    return nullptr;
  }
  if ((write && !mapping->writable) || offset >= mapping->size || bytes > mapping->size - offset) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  if (bytes == 0) bytes = static_cast<SIZE_T>(mapping->size - offset);
  const int fd = mapping->file->fd;
  if (write && !Reserve(fd, offset, bytes)) return nullptr;
  EnsureViewGuard();
  Region* region = nullptr;
  BYTE* view;
  if (mapping->writable) {
    view = static_cast<BYTE*>(MapFile(fd, offset, bytes, write));
    if (!view) return nullptr;
  } else {
    region = AcquireRegion(mapping.get());
    if (!region) return nullptr;
    view = region->base + offset;
  }
  if (!RegisterView(reinterpret_cast<std::uintptr_t>(view), bytes, region)) {
    if (region)
      ReleaseRegion(region);
    else
      UnmapRange(view, bytes);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return view;
}

BOOL UnmapViewOfFile(LPCVOID base) {
  ViewSlot* slot = FindView(reinterpret_cast<std::uintptr_t>(base), /*exact=*/true);
  if (!slot) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  const std::size_t length = slot->length.load(std::memory_order_relaxed);
  Region* region = slot->region.load(std::memory_order_relaxed);
  // The slot is free before the range is: a fault in between is no longer
  // taken for a view's, as it no longer is one.
  slot->base.store(0, std::memory_order_release);
  if (region)
    ReleaseRegion(region);
  else
    UnmapRange(const_cast<LPVOID>(base), length);
  return TRUE;
}

BOOL FlushViewOfFile(LPCVOID base, SIZE_T bytes) {
  const auto address = reinterpret_cast<std::uintptr_t>(base);
  ViewSlot* slot = FindView(address, /*exact=*/false);
  if (!slot) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  const std::uintptr_t viewEnd =
      slot->base.load(std::memory_order_relaxed) + slot->length.load(std::memory_order_relaxed);
  const std::uintptr_t end = bytes == 0 || bytes > viewEnd - address ? viewEnd : address + bytes;
  return SyncRange(address, end);
}

}  // namespace zrpal

#include "pal/files/posix/mapping.inc"
