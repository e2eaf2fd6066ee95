// pal/handle.h - the handle table: typed handles for the objects of every
// Win32 component of the platform layer.
//
// A HANDLE (or HKEY, HINTERNET, a find handle) names one slot of one
// process-wide table. The slot holds a reference to a HandleObject, whose
// kind decides which close function accepts the handle, as on Windows:
//
//   kind                                  closed by
//   file, file mapping, mutex, event,     CloseHandle
//   thread, access token
//   find (directory search)               FindClose
//   registry key                          RegCloseKey
//   Internet session, connection, file    InternetCloseHandle
//   menu, window                          DestroyMenu, DestroyWindow
//
// A close function given a handle of another family, a handle already
// closed, or a value that never was a handle fails with ERROR_INVALID_HANDLE
// (RegCloseKey returns it). Every function that takes a handle looks it up
// for the kinds it serves and refuses the others the same way.
//
// Handle values: ((generation << 20 | slot + 1) << 2). They are multiples of
// four as on Windows, never 0, never INVALID_HANDLE_VALUE, and far below the
// predefined registry keys (0x80000000 and up, sign-extended). The
// generation of a slot changes each time the slot is freed, so a stale
// handle is refused until its slot has been reused 65536 times.
//
// Lifetime: a lookup returns a counted reference (HandleRef), so a handle
// closed by one thread while another is inside a call on it stays valid for
// that call; the object is destroyed when the last reference goes, and its
// destructor gives back what it holds (descriptors, mappings, locks). This is
// the Windows rule that a kernel object lives while a handle or a reference
// to it exists.
//
// The table takes a short lock (a critical section) around each insert,
// lookup and close; nothing else runs under it.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>

#include "pal/types.h"

namespace zrpal {

enum class HandleKind : std::uint8_t {
  File,
  FileMapping,
  Mutex,
  Event,
  Thread,
  Find,
  RegistryKey,
  Internet,
  Token,  // an access token (pal/security/security.h)
  Menu,   // pal/user/menu.h
  Window, // pal/user/window.h
  Font,   // pal/user/gdi.h (DeleteObject closes it)
};

// A set of kinds, for lookups that accept several (WaitForSingleObject).
using HandleKindMask = std::uint32_t;
constexpr HandleKindMask KindBit(HandleKind kind) { return 1u << static_cast<unsigned>(kind); }

// Which close function a kind answers to.
enum class HandleFamily : std::uint8_t { Kernel, Find, RegistryKey, Internet, User };
HandleFamily FamilyOf(HandleKind kind);

// The object behind a handle. Derived classes hold the real resource and
// give it back in their destructor.
class HandleObject {
 public:
  explicit HandleObject(HandleKind kind) : m_kind(kind) {}
  virtual ~HandleObject() = default;
  HandleObject(const HandleObject&) = delete;
  HandleObject& operator=(const HandleObject&) = delete;

  HandleKind Kind() const { return m_kind; }

  void AddRef() { m_refs.fetch_add(1, std::memory_order_relaxed); }
  // Adds a reference unless the count already reached 0 (the object is
  // being destroyed): for lists that find objects by something other than a
  // handle (named kernel objects) and must not revive a dying one.
  bool TryAddRef() {
    std::uint32_t refs = m_refs.load(std::memory_order_relaxed);
    while (refs != 0)
      if (m_refs.compare_exchange_weak(refs, refs + 1, std::memory_order_relaxed)) return true;
    return false;
  }
  void Release() {
    if (m_refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }

 private:
  const HandleKind m_kind;
  std::atomic<std::uint32_t> m_refs{1};  // the creator's reference
};

// A counted reference to a handle's object, typed for the caller.
template <class T>
class HandleRef {
 public:
  HandleRef() = default;
  explicit HandleRef(T* object) : m_object(object) {}  // adopts one reference
  HandleRef(HandleRef&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
  HandleRef& operator=(HandleRef&& other) noexcept {
    std::swap(m_object, other.m_object);
    return *this;
  }
  ~HandleRef() {
    if (m_object) m_object->Release();
  }
  HandleRef(const HandleRef&) = delete;
  HandleRef& operator=(const HandleRef&) = delete;

  T* get() const { return m_object; }
  T* operator->() const { return m_object; }
  explicit operator bool() const { return m_object != nullptr; }

 private:
  T* m_object = nullptr;
};

// Enters `object` into the table and returns its new handle; the table takes
// over the caller's reference. On failure (the table is full, or memory for
// it ran out) the object is released, the last error is set
// (ERROR_NO_SYSTEM_RESOURCES or ERROR_NOT_ENOUGH_MEMORY) and the result is
// null.
HANDLE InsertHandle(HandleObject* object);

// The object behind `handle` with one reference added, when the handle is
// live and its kind is in `kinds`; otherwise null with ERROR_INVALID_HANDLE.
HandleObject* LookupHandle(HANDLE handle, HandleKindMask kinds);

template <class T>
HandleRef<T> ReferenceHandle(HANDLE handle, HandleKindMask kinds) {
  return HandleRef<T>(static_cast<T*>(LookupHandle(handle, kinds)));
}

// Removes `handle` from the table when it is live and of `family`, and
// releases the table's reference. ERROR_SUCCESS, or ERROR_INVALID_HANDLE
// (the last error is not touched: each close function reports as its Win32
// namesake does).
DWORD CloseTableHandle(HANDLE handle, HandleFamily family);

// The number of live handles (for leak checks in tests and tools).
std::size_t LiveHandleCount();

// Pseudo-handles, as on Windows: they name the caller and need no closing.
HANDLE GetCurrentProcess();
HANDLE GetCurrentThread();

// Closes a handle of the kernel family. Closing a pseudo-handle succeeds and
// does nothing, as on Windows.
BOOL CloseHandle(HANDLE handle);

}  // namespace zrpal
