// files/errors.cpp - the table of Windows errors to causes.
#include "files/errors.h"

#include "pal/error.h"
#include "zr/exception.h"

namespace zr {

namespace {

struct CauseRow {
  DWORD cause;
  const DWORD* errors;
  unsigned count;
};

constexpr DWORD kNoMemory[] = {8, 14, 84, 1130};
constexpr DWORD kVolumeFull[] = {39, 112};
constexpr DWORD kEof[] = {38};
constexpr DWORD kNotFound[] = {2};
constexpr DWORD kBadPath[] = {3, 15, 20, 55, 67, 123, 161, 206, 1203, 1214};
constexpr DWORD kSharing[] = {32, 33, 108};
constexpr DWORD kAccess[] = {5, 19, 65};
constexpr DWORD kDevice[] = {21,   23,   25,   27,   30,   132,  267,
                             1006, 1117, 1126, 1127, 1128, 1392, 1393};
constexpr DWORD kNetwork[] = {50, 53, 54, 58, 64, 70, 88, 1201, 1204, 1206, 1222, 6118};
constexpr DWORD kTooManyFiles[] = {4};

template <unsigned N>
constexpr CauseRow Row(DWORD cause, const DWORD (&errors)[N]) {
  return CauseRow{cause, errors, N};
}

constexpr CauseRow kCauses[] = {
    Row(ZRCAUSE_NOMEMORY, kNoMemory),
    Row(ZRCAUSE_VOLUMEFULL, kVolumeFull),
    Row(ZRCAUSE_EOF, kEof),
    Row(ZRCAUSE_FILENOTFOUND, kNotFound),
    Row(ZRCAUSE_BADPATH, kBadPath),
    Row(ZRCAUSE_SHARING, kSharing),
    Row(ZRCAUSE_ACCESSDENIED, kAccess),
    Row(ZRCAUSE_DEVICE, kDevice),
    Row(ZRCAUSE_NETWORK, kNetwork),
    Row(ZRCAUSE_TOOMANYFILES, kTooManyFiles),
};

}  // namespace

DWORD FileCauseOf(DWORD win32Error) {
  for (const CauseRow& row : kCauses)
    for (unsigned i = 0; i < row.count; ++i)
      if (row.errors[i] == win32Error) return row.cause;
  return ZRCAUSE_OSERROR;
}

void ThrowFileError(DWORD cause, const WCHAR* name, DWORD operation) {
  throw CXFileException(cause, name, operation);
}

void ThrowLastFileError(const WCHAR* name, DWORD operation) {
  ThrowFileError(FileCauseOf(zrpal::GetLastError()), name, operation);
}

}  // namespace zr
