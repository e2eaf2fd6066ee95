// files/errors.h - Windows errors to CXFileException causes: the one table
// every file operation uses (library internal).
#pragma once

#include "zr/zrtypes.h"

namespace zr {

// The cause for a Windows error code; ZRCAUSE_OSERROR (11) for any code the
// table does not list.
DWORD FileCauseOf(DWORD win32Error);

// Throws CXFileException(cause, name, operation).
[[noreturn]] void ThrowFileError(DWORD cause, const WCHAR* name, DWORD operation);

// Throws CXFileException with the cause of the thread's last Windows error.
[[noreturn]] void ThrowLastFileError(const WCHAR* name, DWORD operation);

}  // namespace zr
