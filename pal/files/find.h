// pal/files/find.h - searching a folder for names that match a pattern.
//
// The pattern's last name may hold the wildcards "*" (any run of
// characters) and "?" (any one character); they match without regard to
// the case of ASCII letters, as on Windows' file systems, and "*.*" matches
// every name. A last name without wildcards is looked up as it is (Linux
// names are case-sensitive: a deviation from Windows). The folder's own
// entries "." and ".." are reported for a wildcard search, as on Windows.
//
// Find handles (HandleKind::Find) are closed with FindClose, not
// CloseHandle. Thread-safe; one handle serves one thread at a time.
#pragma once

#include "pal/files/file.h"
#include "pal/types.h"

namespace zrpal {

struct WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  WCHAR cFileName[260];
  WCHAR cAlternateFileName[14];  // always empty: there are no short names
};

// The first match, or INVALID_HANDLE_VALUE with ERROR_FILE_NOT_FOUND (no
// match) or ERROR_PATH_NOT_FOUND (no such folder). A pattern that ends with
// a separator names no file (ERROR_FILE_NOT_FOUND), as on Windows.
HANDLE FindFirstFileW(LPCWSTR fileName, WIN32_FIND_DATAW* findData);

// The next match; FALSE with ERROR_NO_MORE_FILES after the last.
BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* findData);

BOOL FindClose(HANDLE find);

// Whether `name` matches `pattern` by the rules above (the tests' and the
// search's one definition).
bool MatchesFindPattern(LPCWSTR pattern, LPCWSTR name);

}  // namespace zrpal
