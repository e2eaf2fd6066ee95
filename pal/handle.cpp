// pal/handle.cpp - the handle table (see handle.h).
//
// Layout: a directory of kMaxChunks pointers to chunks of kChunkSlots slots,
// each chunk allocated on first need and never moved or freed, so a slot's
// address is stable for the life of the process. Free slots form a LIFO list
// threaded through `nextFree`.
//
// Invariants (under g_lock):
//   - a slot is live exactly when `object` is non-null;
//   - `generation` is never 0 and changes when a live slot is freed;
//   - g_freeHead is a free slot's index + 1, or 0 when no slot is free
//     below g_used; every slot below g_used is either live or on the list.
#include "pal/handle.h"

#include <cassert>
#include <cstring>

#include "pal/error.h"
#include "pal/sync.h"

namespace zrpal {

namespace {

constexpr unsigned kIndexBits = 20;
constexpr std::uint32_t kMaxSlots = 1u << kIndexBits;  // slot index + 1 must fit
constexpr std::uint32_t kChunkSlots = 1024;
constexpr std::uint32_t kMaxChunks = (kMaxSlots - 1) / kChunkSlots + 1;
constexpr std::uintptr_t kCurrentProcess = ~std::uintptr_t{0};      // (HANDLE)-1
constexpr std::uintptr_t kCurrentThread = ~std::uintptr_t{0} - 1;   // (HANDLE)-2

struct Slot {
  HandleObject* object;
  std::uint16_t generation;
  std::uint32_t nextFree;  // index + 1 of the next free slot, 0 at the end
};

constinit CRITICAL_SECTION g_lock{};
constinit Slot* g_chunks[kMaxChunks] = {};
constinit std::uint32_t g_used = 0;      // slots ever handed out
constinit std::uint32_t g_freeHead = 0;  // index + 1
constinit std::size_t g_live = 0;

void* AllocateChunk(std::size_t bytes);  // posix/handle.inc

Slot* SlotAt(std::uint32_t index) { return &g_chunks[index / kChunkSlots][index % kChunkSlots]; }

HANDLE Encode(std::uint32_t index, std::uint16_t generation) {
  const std::uintptr_t value =
      ((std::uintptr_t{generation} << kIndexBits) | (std::uintptr_t{index} + 1)) << 2;
  return reinterpret_cast<HANDLE>(value);
}

// The live slot `handle` names, or null. Called under g_lock.
Slot* Decode(HANDLE handle) {
  const std::uintptr_t value = reinterpret_cast<std::uintptr_t>(handle);
  if (value & 3) return nullptr;
  const std::uintptr_t body = value >> 2;
  if (body >> (kIndexBits + 16)) return nullptr;
  const std::uint32_t indexPlusOne = static_cast<std::uint32_t>(body & (kMaxSlots - 1));
  const auto generation = static_cast<std::uint16_t>(body >> kIndexBits);
  if (indexPlusOne == 0 || indexPlusOne > g_used) return nullptr;
  Slot* slot = SlotAt(indexPlusOne - 1);
  if (!slot->object || slot->generation != generation) return nullptr;
  return slot;
}

}  // namespace

HandleFamily FamilyOf(HandleKind kind) {
  switch (kind) {
    case HandleKind::Find: return HandleFamily::Find;
    case HandleKind::RegistryKey: return HandleFamily::RegistryKey;
    case HandleKind::Internet: return HandleFamily::Internet;
    case HandleKind::Menu:
    case HandleKind::Window:
    case HandleKind::Font: return HandleFamily::User;
    default: return HandleFamily::Kernel;
  }
}

HANDLE InsertHandle(HandleObject* object) {
  assert(object);
  CCriticalSectionGuard guard(&g_lock);
  std::uint32_t index;
  if (g_freeHead) {
    index = g_freeHead - 1;
    g_freeHead = SlotAt(index)->nextFree;
  } else {
    if (g_used == kMaxSlots - 1) {  // the last index + 1 would not fit
      object->Release();
      SetLastError(ERROR_NO_SYSTEM_RESOURCES);
      return nullptr;
    }
    index = g_used;
    Slot*& chunk = g_chunks[index / kChunkSlots];
    if (!chunk) {
      chunk = static_cast<Slot*>(AllocateChunk(kChunkSlots * sizeof(Slot)));
      if (!chunk) {
        object->Release();
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
      }
      for (std::uint32_t i = 0; i < kChunkSlots; ++i) chunk[i] = Slot{nullptr, 1, 0};
    }
    ++g_used;
  }
  Slot* slot = SlotAt(index);
  assert(!slot->object && slot->generation != 0);
  slot->object = object;
  slot->nextFree = 0;
  ++g_live;
  return Encode(index, slot->generation);
}

HandleObject* LookupHandle(HANDLE handle, HandleKindMask kinds) {
  {
    CCriticalSectionGuard guard(&g_lock);
    Slot* slot = Decode(handle);
    if (slot && (kinds & KindBit(slot->object->Kind()))) {
      slot->object->AddRef();
      return slot->object;
    }
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

DWORD CloseTableHandle(HANDLE handle, HandleFamily family) {
  HandleObject* object;
  {
    CCriticalSectionGuard guard(&g_lock);
    Slot* slot = Decode(handle);
    if (!slot || FamilyOf(slot->object->Kind()) != family) return ERROR_INVALID_HANDLE;
    object = slot->object;
    slot->object = nullptr;
    if (++slot->generation == 0) slot->generation = 1;
    slot->nextFree = g_freeHead;
    // The slot's index + 1 is in the handle, which Decode accepted.
    g_freeHead = static_cast<std::uint32_t>((reinterpret_cast<std::uintptr_t>(handle) >> 2) &
                                            (kMaxSlots - 1));
    --g_live;
  }
  // Outside the lock: the destructor may block (closing a descriptor,
  // flushing a view) and must not hold up other handles.
  object->Release();
  return ERROR_SUCCESS;
}

std::size_t LiveHandleCount() {
  CCriticalSectionGuard guard(&g_lock);
  return g_live;
}

HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(kCurrentProcess); }
HANDLE GetCurrentThread() { return reinterpret_cast<HANDLE>(kCurrentThread); }

BOOL CloseHandle(HANDLE handle) {
  const auto value = reinterpret_cast<std::uintptr_t>(handle);
  if (value == kCurrentProcess || value == kCurrentThread) return 1;
  const DWORD error = CloseTableHandle(handle, HandleFamily::Kernel);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return 0;
  }
  return 1;
}

}  // namespace zrpal

#include "pal/posix/handle.inc"
