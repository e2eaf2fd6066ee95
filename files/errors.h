// files/errors.h - Windows errors to CXFileException causes: the one table
// every file operation uses (library internal).
#pragma once

#include "pal/files/filesystem.h"
#include "zr/zrtypes.h"

namespace zr {

// The cause for a Windows error code; ZRCAUSE_OSERROR (11) for any code the
// table does not list.
DWORD FileCauseOf(DWORD win32Error);

// Throws CXFileException(cause, name, operation).
[[noreturn]] void ThrowFileError(DWORD cause, const WCHAR* name, DWORD operation);

// Throws CXFileException with the cause of the thread's last Windows error.
[[noreturn]] void ThrowLastFileError(const WCHAR* name, DWORD operation);

// For its lifetime, the process's error mode that keeps the system from
// asking the user about a failing drive (SEM_FAILCRITICALERRORS |
// SEM_NOOPENFILEERRORBOX, 0x8001); the mode it replaced comes back after.
class QuietErrors {
 public:
  QuietErrors()
      : m_previous(
            zrpal::SetErrorMode(zrpal::SEM_FAILCRITICALERRORS | zrpal::SEM_NOOPENFILEERRORBOX)) {}
  ~QuietErrors() { zrpal::SetErrorMode(m_previous); }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;

 private:
  UINT m_previous;
};

}  // namespace zr
