// pal/internal/file_object.h - what a file handle holds (pal/files/file.h).
#pragma once

#include <cstdint>

#include "pal/files/file.h"
#include "pal/handle.h"
#include "pal/internal/share.h"

namespace zrpal {

// Invariants: `fd` is open for the object's whole life (an O_PATH descriptor
// for query-only handles the OS would not open otherwise); `rights` are the
// kShareKind bits the handle was opened with and recorded under; `share` is
// active unless the records could not be used (share.cpp).
struct FileObject final : HandleObject {
  FileObject() : HandleObject(HandleKind::File) {}
  ~FileObject() override;  // posix/file.inc

  int fd = -1;
  DWORD rights = 0;
  FileIdentity identity{};
  // The OS path to unlink when the handle closes (FILE_FLAG_DELETE_ON_CLOSE),
  // from the C library's allocator; null otherwise.
  char* deleteOnClose = nullptr;
  ShareLock share;
};

// The file object behind `handle`, or null with ERROR_INVALID_HANDLE.
inline HandleRef<FileObject> ReferenceFile(HANDLE handle) {
  return ReferenceHandle<FileObject>(handle, KindBit(HandleKind::File));
}

// A POSIX time (seconds and nanoseconds since 1970) as a FILETIME; times
// before 1601 give 0.
inline FILETIME FileTimeFromUnix(std::int64_t seconds, std::int64_t nanoseconds) {
  constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;
  constexpr std::int64_t kTicksPerSecond = 10000000;
  const std::int64_t since1601 = seconds + kSecondsFrom1601To1970;
  const std::uint64_t ticks = since1601 < 0
                                  ? 0
                                  : static_cast<std::uint64_t>(since1601) * kTicksPerSecond +
                                        static_cast<std::uint64_t>(nanoseconds / 100);
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// The attributes of a file of `mode` (st_mode): a folder, read-only when no
// write permission bit is set, otherwise normal.
inline DWORD AttributesFromMode(unsigned mode, bool isDirectory) {
  DWORD attributes = isDirectory ? FILE_ATTRIBUTE_DIRECTORY : 0;
  if ((mode & 0222) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

}  // namespace zrpal
