// pal/error.cpp - the thread's last error.
#include "pal/error.h"

namespace zrpal {

namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;
}

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD error) { t_lastError = error; }

DWORD SetLastErrorFromErrno(int errnum) {
  DWORD code = ErrnoToWin32(errnum);
  SetLastError(code);
  return code;
}

}  // namespace zrpal

#include "pal/posix/error.inc"
