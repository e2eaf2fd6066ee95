// pal/files/path.cpp - Win32 paths to OS paths and back (see
// pal/internal/os_path.h).
#include <cerrno>
#include <climits>
#include <cstring>

#include "pal/codepage.h"
#include "pal/error.h"
#include "pal/internal/os_path.h"
#include "pal/wstr.h"

namespace zrpal {

BOOL ToOsPath(LPCWSTR path, OsPath* out) {
  if (!path) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::size_t units = wcslen(path);
  if (units == 0) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  // Three UTF-8 bytes per unit at most; a longer text cannot fit anyway.
  if (units >= kOsPathMax) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return FALSE;
  }
  const int bytes =
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, path, static_cast<int>(units), out->text,
                          static_cast<int>(kOsPathMax - 1), nullptr, nullptr);
  if (bytes <= 0) {
    SetLastError(GetLastError() == ERROR_INSUFFICIENT_BUFFER ? ERROR_FILENAME_EXCED_RANGE
                                                             : ERROR_INVALID_NAME);
    return FALSE;
  }
  out->length = static_cast<std::size_t>(bytes);
  out->text[out->length] = 0;
  for (std::size_t i = 0; i < out->length; ++i)
    if (out->text[i] == '\\') out->text[i] = '/';
  return TRUE;
}

std::size_t OsTextToWide(const char* text, std::size_t bytes, WCHAR* out, std::size_t size) {
  const int n = bytes > static_cast<std::size_t>(INT_MAX) ? 0 : static_cast<int>(bytes);
  const int needed = n > 0 ? MultiByteToWideChar(CP_UTF8, 0, text, n, nullptr, 0) : 0;
  const auto units = static_cast<std::size_t>(needed > 0 ? needed : 0);
  if (units < size) {
    if (units) MultiByteToWideChar(CP_UTF8, 0, text, n, out, needed);
    out[units] = 0;
  }
  return units;
}

void OsParentOf(const OsPath& path, OsPath* parent) {
  std::size_t end = path.length;
  while (end > 1 && path.text[end - 1] == '/') --end;  // "a/b/" names b
  while (end > 0 && path.text[end - 1] != '/') --end;
  if (end == 0) {
    std::memcpy(parent->text, ".", 2);
    parent->length = 1;
    return;
  }
  while (end > 1 && path.text[end - 1] == '/') --end;
  std::memcpy(parent->text, path.text, end);
  parent->text[end] = 0;
  parent->length = end;
}

DWORD SetLastErrorForPath(int errnum, const OsPath& path) {
  if (errnum == ENOENT) {
    const DWORD error = MissingFileError(path);
    SetLastError(error);
    return error;
  }
  return SetLastErrorFromErrno(errnum);
}

}  // namespace zrpal

#include "pal/files/posix/path.inc"
