// pal/internal/os_path.h - paths at the OS boundary of the files component.
//
// The platform layer takes Win32 paths: UTF-16, "\\" or "/" between names.
// The OS takes UTF-8 with "/". ToOsPath converts one way (every backslash
// becomes a slash), OsTextToWide the other (names from the OS are not
// changed back: "/" stays, which every caller accepts as a separator).
#pragma once

#include <cstddef>

#include "pal/types.h"

namespace zrpal {

// The longest OS path, terminator included (Linux's PATH_MAX).
inline constexpr std::size_t kOsPathMax = 4096;

struct OsPath {
  char text[kOsPathMax];
  std::size_t length;  // bytes before the terminator
};

// Converts `path`. FALSE, with the last error, for a null path
// (ERROR_INVALID_PARAMETER), an empty one (ERROR_PATH_NOT_FOUND, as Windows
// answers ""), a lone surrogate (ERROR_INVALID_NAME) or a result that does
// not fit kOsPathMax (ERROR_FILENAME_EXCED_RANGE).
BOOL ToOsPath(LPCWSTR path, OsPath* out);

// Converts `bytes` bytes of UTF-8 from the OS to UTF-16; an ill-formed
// sequence becomes U+FFFD. Stores the text and a terminator when they fit
// `size` units, and nothing otherwise; returns the units the whole text
// needs without the terminator, so a result >= size means it did not fit.
std::size_t OsTextToWide(const char* text, std::size_t bytes, WCHAR* out, std::size_t size);

// The folder part of `path`: up to (without) its last slash, "/" for a name
// in the root, "." for a bare name.
void OsParentOf(const OsPath& path, OsPath* parent);

// The error Windows gives for a name the OS did not find (ENOENT): when the
// folder that should hold it exists, ERROR_FILE_NOT_FOUND, otherwise
// ERROR_PATH_NOT_FOUND. (posix/path.inc; it asks the OS.)
DWORD MissingFileError(const OsPath& path);

// Stores the Windows error for an errno value of a call on `path`: as the
// one table gives it (SetLastErrorFromErrno), except that ENOENT becomes
// MissingFileError. Returns the stored error.
DWORD SetLastErrorForPath(int errnum, const OsPath& path);

}  // namespace zrpal
