// files/locktable.cpp - the process's lock table (see zr/filelock.h).
//
// A circular doubly-linked list of entries with a head, a tail and a count;
// each entry holds its lock handle (or none), the NE and plain counts and
// the path. Invariants: an entry exists exactly while one of its counts is
// non-zero; its handle is null while set aside, for a plain lock on a file
// that did not exist, or when reopening failed. Walks are bounded by the
// count. Unguarded: one thread at a time (the table is the process's).
//
// The lock handle has read and write access and shares reading only
// (pal/files/share.cpp makes that hold between processes), so other
// processes can read a locked file but not write or delete it.
#include <new>

#include "files/errors.h"
#include "pal/error.h"
#include "pal/files/file.h"
#include "pal/files/filesystem.h"
#include "pal/handle.h"
#include "pal/wstr.h"
#include "zr/exception.h"
#include "zr/filelock.h"
#include "zr/urlfile.h"
#include "zr/fileops.h"
#include "zr/memfile.h"

namespace {

constexpr std::size_t kPathChars = 512;  // 511 characters and a terminator

struct LockEntry {
  LockEntry* next;
  LockEntry* prev;
  HANDLE handle;
  ULONG neCount;
  ULONG plainCount;
  WCHAR path[kPathChars];
};

struct LockTable {
  LockEntry* head;
  LockEntry* tail;
  ULONG count;
};

constinit LockTable g_table{};
constinit int g_lockingFlag = 1;

LockEntry* Find(const WCHAR* path) {
  LockEntry* e = g_table.head;
  for (ULONG i = 0; i < g_table.count; ++i, e = e->next)
    if (zrpal::_wcsicmp(e->path, path) == 0) return e;
  return nullptr;
}

HANDLE OpenLockHandle(const WCHAR* path) {
  using namespace zrpal;
  HANDLE h = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, FILE_FLAG_NO_BUFFERING, nullptr);
  return h == INVALID_HANDLE_VALUE ? nullptr : h;
}

void Append(LockEntry* e) {
  if (!g_table.head) {
    e->next = e->prev = e;
    g_table.head = e;
  } else {
    e->next = g_table.head;
    e->prev = g_table.tail;
    g_table.tail->next = e;
    g_table.head->prev = e;
  }
  g_table.tail = e;
  ++g_table.count;
}

void Unlink(LockEntry* e) {
  if (--g_table.count == 0) {
    g_table.head = g_table.tail = nullptr;
    return;
  }
  e->prev->next = e->next;
  e->next->prev = e->prev;
  if (g_table.head == e) g_table.head = e->next;
  if (g_table.tail == e) g_table.tail = e->prev;
}

ULONG& CountOf(LockEntry* e, bool ne) { return ne ? e->neCount : e->plainCount; }

}  // namespace

void Fio_LockFile(const WCHAR* path, bool ne) {
  if (!path || (g_lockingFlag == 0 && Fio_IsMemFile(path))) return;
  if (LockEntry* e = Find(path)) {
    ++CountOf(e, ne);
    return;
  }
  if (zrpal::wcslen(path) >= kPathChars) return;  // never cut: not locked
  HANDLE h = nullptr;
  if (ne || Fio_IsFileExist(path)) {
    h = OpenLockHandle(path);
    if (!h) return;  // silently not taken
  }
  auto* e = new (std::nothrow) LockEntry{nullptr, nullptr, h, 0, 0, {}};
  if (!e) {
    if (h) zrpal::CloseHandle(h);
    return;
  }
  zrpal::wcscpy(e->path, path);
  CountOf(e, ne) = 1;
  Append(e);
}

void Fio_UnlockFile(const WCHAR* path, bool ne) {
  if (!path) return;
  LockEntry* e = Find(path);
  if (!e) return;
  ULONG& count = CountOf(e, ne);
  if (count > 0) --count;  // unlocking a kind at 0 is the caller's error; it changes nothing
  if (e->neCount || e->plainCount) return;
  if (e->handle) zrpal::CloseHandle(e->handle);
  Unlink(e);
  delete e;
}

int Fio_LockCount(const WCHAR* path, bool ne) {
  LockEntry* e = path ? Find(path) : nullptr;
  return e ? static_cast<int>(CountOf(e, ne)) : 0;
}

void Fio_ChangeNELock(const WCHAR* path, bool setAside) {
  LockEntry* e = path ? Find(path) : nullptr;
  if (!e) return;
  if (setAside) {
    if (e->neCount) zr::ThrowLastFileError(path, ZRFILEOP_LOCK);
    if (e->handle) zrpal::CloseHandle(e->handle);
    e->handle = nullptr;
  } else if (!e->handle && Fio_IsFileExist(path)) {
    e->handle = OpenLockHandle(path);  // when that fails the entry stays without one
  }
}

int Fio_EnableLocking(int value) {
  const int previous = g_lockingFlag;
  g_lockingFlag = value;
  return previous;
}

int Fio_IsWritableFile(const WCHAR* path) {
  using namespace zrpal;
  if (Fio_IsMemFile(path)) return 1;
  if (Fio_PathIsURL(path)) return Fio_UrlIsWritableFile(path);
  Fio_ChangeNELock(path, true);
  int writable;
  const DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    writable = 1;
  } else if (attributes & FILE_ATTRIBUTE_READONLY) {
    writable = 0;
  } else {
    HANDLE h =
        CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    writable = h != INVALID_HANDLE_VALUE;
    if (writable) CloseHandle(h);
  }
  Fio_ChangeNELock(path, false);
  return writable;
}

int Fio_IsWritableFile(const WCHAR* path, CXStringW&) { return Fio_IsWritableFile(path) ? 1 : 0; }
