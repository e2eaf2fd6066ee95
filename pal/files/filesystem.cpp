// pal/files/filesystem.cpp - operations on names (see filesystem.h): the
// argument rules, temporary names, copying through file handles and the
// error mode. The OS work is in posix/filesystem.inc.
#include "pal/files/filesystem.h"

#include <atomic>
#include <cerrno>

#include "pal/error.h"
#include "pal/files/file.h"
#include "pal/handle.h"
#include "pal/internal/os_path.h"
#include "pal/wstr.h"

namespace zrpal {

namespace {

// A copy moves the data in pieces of this size.
constexpr DWORD kCopyPiece = 1u << 20;
// GetTempFileNameW: a folder may have MAX_PATH - 14 characters, which
// leaves room for a separator, the prefix, four digits, ".tmp" and the
// terminator.
constexpr std::size_t kTempFolderMax = MAX_PATH - 14;
constexpr std::size_t kTempPrefixMax = 3;
constexpr UINT kUniqueMask = 0xFFFF;

constinit std::atomic<UINT> g_errorMode{0};

// posix/filesystem.inc
// The permission bits (the read-only attribute with them) and the times.
BOOL CopyAttributes(HANDLE from, HANDLE to);
void* AllocateCopyBuffer();
void FreeCopyBuffer(void* buffer);
BOOL DeleteOsFile(const OsPath& path);
BOOL MoveOsFile(const OsPath& from, const OsPath& to, DWORD flags);
BOOL MakeFolder(const OsPath& path);
BOOL RemoveFolder(const OsPath& path);
DWORD OsAttributes(const OsPath& path);
BOOL ChangeFolder(const OsPath& path);
// Writes the OS text into `buffer` by the buffer rules; 0 with the last
// error when the OS fails.
DWORD CurrentFolder(DWORD size, LPWSTR buffer);
DWORD TempFolder(DWORD size, LPWSTR buffer);
// A starting number for GetTempFileNameW that other processes are unlikely
// to start from as well.
UINT TempSeed();
// Creates `path` empty if it does not exist: 0, or the errno.
int CreateEmptyFile(const OsPath& path);

// `name`'s tail for a number: prefix + hexadecimal + ".tmp", after `at`.
void PutTempTail(LPWSTR name, std::size_t at, LPCWSTR prefix, UINT number) {
  for (std::size_t i = 0; prefix && i < kTempPrefixMax && prefix[i]; ++i) name[at++] = prefix[i];
  WCHAR digits[4];
  int n = 0;
  do {
    digits[n++] = static_cast<WCHAR>("0123456789ABCDEF"[number & 15]);
    number >>= 4;
  } while (number);
  while (n) name[at++] = digits[--n];
  for (const char* p = ".tmp"; *p; ++p) name[at++] = static_cast<WCHAR>(*p);
  name[at] = 0;
}

}  // namespace

BOOL CopyFileW(LPCWSTR existing, LPCWSTR newName, BOOL failIfExists) {
  HANDLE from = CreateFileW(existing, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (from == INVALID_HANDLE_VALUE) return FALSE;
  HANDLE to =
      CreateFileW(newName, GENERIC_WRITE, 0, nullptr, failIfExists ? CREATE_NEW : CREATE_ALWAYS,
                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (to == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    CloseHandle(from);
    SetLastError(error);
    return FALSE;
  }
  void* buffer = AllocateCopyBuffer();
  BOOL ok = buffer != nullptr;
  if (!ok) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  for (DWORD got = 0; ok;) {
    ok = ReadFile(from, buffer, kCopyPiece, &got, nullptr);
    if (!ok || got == 0) break;
    DWORD put = 0;
    ok = WriteFile(to, buffer, got, &put, nullptr);
  }
  FreeCopyBuffer(buffer);
  if (ok) ok = CopyAttributes(from, to);
  const DWORD error = GetLastError();
  CloseHandle(from);
  CloseHandle(to);
  if (!ok) {
    DeleteFileW(newName);  // no half-made copy stays behind
    SetLastError(error);
    return FALSE;
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL MoveFileExW(LPCWSTR existing, LPCWSTR newName, DWORD flags) {
  constexpr DWORD kKnown =
      MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH;
  if (flags & ~kKnown) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  OsPath from, to;
  if (!ToOsPath(existing, &from) || !ToOsPath(newName, &to)) return FALSE;
  if (MoveOsFile(from, to, flags)) return TRUE;
  if (GetLastError() != ERROR_NOT_SAME_DEVICE || !(flags & MOVEFILE_COPY_ALLOWED)) return FALSE;
  // Another volume: a file is copied and its source deleted (a folder
  // fails, as on Windows).
  if (OsAttributes(from) & FILE_ATTRIBUTE_DIRECTORY) {
    SetLastError(ERROR_NOT_SAME_DEVICE);
    return FALSE;
  }
  if (!CopyFileW(existing, newName, !(flags & MOVEFILE_REPLACE_EXISTING))) return FALSE;
  if (!DeleteFileW(existing)) {
    const DWORD error = GetLastError();
    DeleteFileW(newName);
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}

BOOL MoveFileW(LPCWSTR existing, LPCWSTR newName) {
  return MoveFileExW(existing, newName, MOVEFILE_COPY_ALLOWED);
}

BOOL DeleteFileW(LPCWSTR fileName) {
  OsPath path;
  return ToOsPath(fileName, &path) && DeleteOsFile(path);
}

BOOL CreateDirectoryW(LPCWSTR pathName, SECURITY_ATTRIBUTES* security) {
  if (security) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  OsPath path;
  return ToOsPath(pathName, &path) && MakeFolder(path);
}

BOOL RemoveDirectoryW(LPCWSTR pathName) {
  OsPath path;
  return ToOsPath(pathName, &path) && RemoveFolder(path);
}

DWORD GetFileAttributesW(LPCWSTR fileName) {
  OsPath path;
  if (!ToOsPath(fileName, &path)) return INVALID_FILE_ATTRIBUTES;
  return OsAttributes(path);
}

DWORD GetCurrentDirectoryW(DWORD size, LPWSTR buffer) {
  if (size && !buffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return CurrentFolder(size, buffer);
}

BOOL SetCurrentDirectoryW(LPCWSTR pathName) {
  OsPath path;
  return ToOsPath(pathName, &path) && ChangeFolder(path);
}

DWORD GetTempPathW(DWORD size, LPWSTR buffer) {
  if (size && !buffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return TempFolder(size, buffer);
}

UINT GetTempFileNameW(LPCWSTR pathName, LPCWSTR prefix, UINT unique, LPWSTR tempFileName) {
  if (!pathName || !tempFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::size_t at = wcslen(pathName);
  if (at > kTempFolderMax) {
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return 0;
  }
  for (std::size_t i = 0; i < at; ++i) tempFileName[i] = pathName[i];
  if (at > 0 && pathName[at - 1] != '\\' && pathName[at - 1] != '/') tempFileName[at++] = '/';
  if (unique != 0) {
    PutTempTail(tempFileName, at, prefix, unique & kUniqueMask);
    return unique;
  }
  UINT number = TempSeed() & kUniqueMask;
  for (UINT tries = 0; tries < kUniqueMask; ++tries) {
    if (number == 0) number = 1;
    PutTempTail(tempFileName, at, prefix, number);
    OsPath path;
    if (!ToOsPath(tempFileName, &path)) return 0;
    const int error = CreateEmptyFile(path);
    if (error == 0) return number;
    if (error != EEXIST) {
      if (error == ENOENT || error == ENOTDIR)
        SetLastError(ERROR_DIRECTORY);
      else
        SetLastErrorFromErrno(error);
      return 0;
    }
    number = (number + 1) & kUniqueMask;
  }
  SetLastError(ERROR_FILE_EXISTS);
  return 0;
}

UINT SetErrorMode(UINT mode) { return g_errorMode.exchange(mode); }

}  // namespace zrpal

#include "pal/files/posix/filesystem.inc"
