// pal/files/find.cpp - folder searches (see find.h): the pattern rules and
// the handle. Reading folders is in posix/find.inc.
#include "pal/files/find.h"

#include <new>

#include "pal/error.h"
#include "pal/handle.h"
#include "pal/internal/os_path.h"
#include "pal/wstr.h"

namespace zrpal {

namespace {

constexpr std::size_t kNameMax = 260;  // cFileName, terminator included

bool HasWildcard(LPCWSTR s) {
  for (; *s; ++s)
    if (*s == '*' || *s == '?') return true;
  return false;
}

// The search behind a find handle. A search for one name (no wildcard) has
// no folder stream and reports only that name.
struct FindObject final : HandleObject {
  FindObject() : HandleObject(HandleKind::Find) {}
  ~FindObject() override;  // posix/find.inc
  void* folder = nullptr;  // the OS's folder stream
  OsPath folderPath{};
  WCHAR pattern[kNameMax] = {};
};

// posix/find.inc
// Opens the folder; FALSE with the last error.
BOOL OpenFolder(FindObject* find);
// The next entry of the folder that matches, filled in; FALSE at the end
// (ERROR_NO_MORE_FILES) or on an error.
BOOL NextMatch(FindObject* find, WIN32_FIND_DATAW* data);
// The one named file, filled in.
BOOL DescribeName(const OsPath& path, LPCWSTR name, WIN32_FIND_DATAW* data);

// Lower-case for ASCII letters only (the file systems' case rule here).
WCHAR Fold(WCHAR c) { return c >= 'A' && c <= 'Z' ? static_cast<WCHAR>(c + ('a' - 'A')) : c; }

}  // namespace

bool MatchesFindPattern(LPCWSTR pattern, LPCWSTR name) {
  if (pattern[0] == '*' && pattern[1] == '.' && pattern[2] == '*' && pattern[3] == 0) return true;
  // Greedy matching with one backtrack point, the last star seen.
  LPCWSTR starPattern = nullptr;
  LPCWSTR starName = nullptr;
  while (*name) {
    if (*pattern == '*') {
      starPattern = ++pattern;
      starName = name;
    } else if (*pattern == '?' || (*pattern && Fold(*pattern) == Fold(*name))) {
      ++pattern;
      ++name;
    } else if (starPattern) {
      pattern = starPattern;
      name = ++starName;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == 0;
}

HANDLE FindFirstFileW(LPCWSTR fileName, WIN32_FIND_DATAW* findData) {
  if (!fileName || !findData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const std::size_t length = wcslen(fileName);
  std::size_t nameStart = length;
  while (nameStart > 0 && fileName[nameStart - 1] != '\\' && fileName[nameStart - 1] != '/')
    --nameStart;
  LPCWSTR name = fileName + nameStart;
  if (*name == 0 || length - nameStart >= kNameMax) {
    SetLastError(*name == 0 ? ERROR_FILE_NOT_FOUND : ERROR_FILENAME_EXCED_RANGE);
    return INVALID_HANDLE_VALUE;
  }
  auto* find = new (std::nothrow) FindObject;
  if (!find) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
  wcscpy(find->pattern, name);
  BOOL ok;
  if (!HasWildcard(name)) {
    OsPath path;
    ok = ToOsPath(fileName, &path) && DescribeName(path, name, findData);
  } else {
    // The folder part, the separator kept so that "\\x*" searches the root.
    WCHAR folder[kOsPathMax];
    const std::size_t folderLength = nameStart > 0 && nameStart < kOsPathMax ? nameStart : 0;
    for (std::size_t i = 0; i < folderLength; ++i) folder[i] = fileName[i];
    if (folderLength == 0) folder[0] = '.';
    folder[folderLength ? folderLength : 1] = 0;
    ok = ToOsPath(folder, &find->folderPath) && OpenFolder(find) && NextMatch(find, findData);
    if (!ok && GetLastError() == ERROR_NO_MORE_FILES) SetLastError(ERROR_FILE_NOT_FOUND);
  }
  if (!ok) {
    const DWORD error = GetLastError();
    find->Release();
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  const HANDLE handle = InsertHandle(find);
  return handle ? handle : INVALID_HANDLE_VALUE;
}

BOOL FindNextFileW(HANDLE findHandle, WIN32_FIND_DATAW* findData) {
  auto find = ReferenceHandle<FindObject>(findHandle, KindBit(HandleKind::Find));
  if (!find) return FALSE;
  if (!find->folder) {  // a search for one name has reported it
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  return NextMatch(find.get(), findData);
}

BOOL FindClose(HANDLE find) {
  const DWORD error = CloseTableHandle(find, HandleFamily::Find);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}

}  // namespace zrpal

#include "pal/files/posix/find.inc"
