// storage/storage_errors.cpp - compound-file result codes to CXFileException
// causes, and the element-name conversion the storage operations share.
#include <iterator>

#include "pal/codepage.h"
#include "storage/storage_internal.h"

namespace zr {

namespace {

using namespace zrpal;

struct CauseRow {
  HRESULT result;
  DWORD cause;
};

// Every STG_E code the storages translate; the rest are ZRCAUSE_BADFORMAT.
constexpr CauseRow kCauseTable[] = {
    {STG_E_INSUFFICIENTMEMORY, ZRCAUSE_NOMEMORY},
    {STG_E_NOMOREFILES, ZRCAUSE_VOLUMEFULL},
    {STG_E_MEDIUMFULL, ZRCAUSE_VOLUMEFULL},
    {STG_E_FILENOTFOUND, ZRCAUSE_FILENOTFOUND},
    {STG_E_PATHNOTFOUND, ZRCAUSE_FILENOTFOUND},
    {STG_E_INVALIDNAME, ZRCAUSE_BADPATH},
    {STG_E_ACCESSDENIED, ZRCAUSE_SHARING},
    {STG_E_SHAREVIOLATION, ZRCAUSE_SHARING},
    {STG_E_LOCKVIOLATION, ZRCAUSE_SHARING},
    {STG_E_INUSE, ZRCAUSE_SHARING},
    {STG_E_SHAREREQUIRED, ZRCAUSE_SHARING},
    {STG_E_DISKISWRITEPROTECTED, ZRCAUSE_ACCESSDENIED},
    {STG_E_PROPSETMISMATCHED, ZRCAUSE_OSERROR},
    {STG_E_ABNORMALAPIEXIT, ZRCAUSE_OSERROR},
    {STG_E_UNKNOWN, ZRCAUSE_OSERROR},
    {STG_E_UNIMPLEMENTEDFUNCTION, ZRCAUSE_OSERROR},
    {STG_E_OLDFORMAT, ZRCAUSE_OSERROR},
    {STG_E_OLDDLL, ZRCAUSE_OSERROR},
    {STG_E_EXTANTMARSHALLINGS, ZRCAUSE_OSERROR},
    {STG_E_SEEKERROR, ZRCAUSE_DEVICE},
    {STG_E_WRITEFAULT, ZRCAUSE_DEVICE},
    {STG_E_READFAULT, ZRCAUSE_DEVICE},
    {STG_E_CANTSAVE, ZRCAUSE_DEVICE},
    {STG_E_INCOMPLETE, ZRCAUSE_NETWORK},
    {STG_E_TERMINATED, ZRCAUSE_NETWORK},
    {STG_E_TOOMANYOPENFILES, ZRCAUSE_TOOMANYFILES},
};

}  // namespace

DWORD StorageCauseOf(HRESULT hr) {
  for (const CauseRow& row : kCauseTable)
    if (row.result == hr) return row.cause;
  return ZRCAUSE_BADFORMAT;
}

void ThrowStorageError(HRESULT hr, const WCHAR* name, DWORD operation) {
  throw CXFileException(StorageCauseOf(hr), name ? name : u"", operation);
}

CWideName::CWideName(const char* name) {
  if (!name || !*name) return;
  // A name too long for the buffer leaves the whole characters that fit,
  // and the zero-filled last slot ends them.
  (void)MultiByteToWideChar(CP_ACP, 0, name, -1, text, kElementNameChars);
}

DWORD StorageMode(unsigned int flags, bool create) {
  DWORD mode = STGM_SHARE_EXCLUSIVE | ((flags & ZRSTORAGE_READONLY) ? STGM_READ : STGM_READWRITE);
  if (flags & ZRSTORAGE_TRANSACTED) mode |= STGM_TRANSACTED;
  if (create) mode |= STGM_CREATE;
  return mode;
}

}  // namespace zr
