// files/outfile.cpp - CXOutFile, the committing writer, and the two opening
// functions (see zr/xfile.h).
//
// The writer's content lives in a temporary file beside the target (the
// same folder, so the final rename never crosses a volume); the target
// changes only in Commit. Invariant: m_pInner is set from construction to
// Commit or destruction; m_locked tells whether the target carries this
// writer's plain lock (taken when the target existed at construction).
#include <cstddef>
#include <new>

#include "files/errors.h"
#include "files/forward.h"
#include "pal/error.h"
#include "pal/files/file.h"
#include "pal/files/filesystem.h"
#include "pal/handle.h"
#include "pal/wstr.h"
#include "zr/exception.h"
#include "zr/filelock.h"
#include "zr/urlfile.h"
#include "zr/fileops.h"
#include "zr/memfile.h"
#include "zr/xfile.h"
#include "zr/xstring.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
struct CXOutFileLayout {
  static_assert(offsetof(CXOutFile, m_pInner) == 16);
  static_assert(offsetof(CXOutFile, m_target) == 24);
  static_assert(offsetof(CXOutFile, m_temp) == 24 + CXFile::kNameChars * sizeof(WCHAR));
};
#pragma GCC diagnostic pop

namespace {

constexpr WCHAR kTempPrefix[] = u"ZRPR";
constexpr WCHAR kCurrentFolder[] = u".";

// The cause Fio_OpenOut gives when no temporary file can be made.
DWORD TempFileCause(DWORD error) {
  switch (error) {
    case 64:
    case 65:
    case 66:
    case 67:
      return ZRCAUSE_NETWORK;
    case 5:
      return ZRCAUSE_ACCESSDENIED;
    case 3:
    case 53:
    case 123:
    case 161:
    case 267:
      return ZRCAUSE_BADPATH;
    default:
      return ZRCAUSE_NOMEMORY;
  }
}

void CopyName(WCHAR (&field)[CXFile::kNameChars], const WCHAR* name) {
  if (!name || zrpal::wcslen(name) >= CXFile::kNameChars)
    zr::ThrowFileError(ZRCAUSE_BADPATH, name, ZRFILEOP_OPEN);
  zrpal::wcscpy(field, name);
}

// Makes the temporary file's data durable before it replaces the target, so
// that a crash after the rename never leaves the target empty.
void FlushToDisk(const WCHAR* temp, const WCHAR* target) {
  using namespace zrpal;
  HANDLE h = CreateFileW(temp, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) zr::ThrowLastFileError(target, ZRFILEOP_WRITE);
  const BOOL ok = FlushFileBuffers(h);
  const DWORD error = GetLastError();
  CloseHandle(h);
  if (!ok) zr::ThrowFileError(zr::FileCauseOf(error), target, ZRFILEOP_WRITE);
}

}  // namespace

CXOutFile::CXOutFile(const WCHAR* target, const WCHAR* tempName, int mode)
    : m_pInner(nullptr), m_target{}, m_temp{}, m_locked(false) {
  CopyName(m_target, target);
  CopyName(m_temp, tempName);
  if (!Fio_IsWritableFile(m_target))
    zr::ThrowFileError(ZRCAUSE_ACCESSDENIED, m_target, ZRFILEOP_OPEN);
  // A temporary inner file would vanish before Commit could rename it.
  mode &= ~ZRFILE_TEMPORARY;
  if (Fio_IsFileExist(m_target)) {
    try {
      if (mode & ZRFILE_EXISTING) Fio_CopyFile(m_target, m_temp, 0);
      Fio_LockFile(m_target, false);
      m_locked = true;
      m_pInner = Fio_Open(m_temp, mode);
      if (!m_pInner) throw CXBadAlloc();
      // At the end when appending (origin 2), else at the start.
      m_pInner->Seek(0, static_cast<unsigned>(mode & ZRFILE_EXISTING));
    } catch (...) {
      Discard();
      throw;
    }
  } else {
    m_pInner = Fio_Open(m_temp, mode & ~ZRFILE_EXISTING);
    if (!m_pInner) throw CXBadAlloc();
  }
}

CXOutFile::~CXOutFile() {
  if (m_pInner) {
    Discard();  // never committed: the target stays as it was
  } else if (m_locked) {
    // A Commit that failed after closing the inner file keeps the
    // temporary file (it holds the content) but not the target's lock.
    Fio_UnlockFile(m_target, false);
  }
}

void CXOutFile::Discard() {
  if (m_pInner) {
    try {
      m_pInner->Release();
    } catch (const CXException&) {
      // Closing failed; the temporary file goes anyway.
    }
    m_pInner = nullptr;
  }
  if (m_locked) Fio_UnlockFile(m_target, false);
  m_locked = false;
  zrpal::DeleteFileW(m_temp);
}

IXFile& CXOutFile::Inner() {
  if (!m_pInner) throw CXException(ZRCAUSE_INVALIDARG);  // committed
  return *m_pInner;
}

ZR_FORWARD_FILE_OPERATIONS(CXOutFile, Inner())
const WCHAR* CXOutFile::GetFileName() { return m_target; }

void CXOutFile::Commit() {
  if (!m_pInner) return;
  IXFile* inner = m_pInner;
  m_pInner = nullptr;
  try {
    inner->Release();  // closes the temporary file at its logical size
    FlushToDisk(m_temp, m_target);
  } catch (...) {
    Discard();  // the written content is lost; the target is untouched
    throw;
  }
  // From here a failure leaves the temporary file in place, holding the
  // content, and the target as the failed step left it.
  Fio_ChangeNELock(m_target, true);
  if (Fio_IsFileExist(m_target)) {
    if (m_locked) Fio_UnlockFile(m_target, false);
    m_locked = false;
    Fio_DeleteFile(m_target);
  }
  Fio_RenameFile(m_temp, m_target);
  Fio_ChangeNELock(m_target, false);
}

IXFile* Fio_Open(const WCHAR* path, int mode) {
  if (Fio_IsMemFile(path)) return new (std::nothrow) CXMemFile(path);
  if (Fio_PathIsURL(path)) return Fio_UrlOpen(path, mode);
  return new (std::nothrow) CXFile(path, mode);
}

IXOutFile* Fio_OpenOut(const WCHAR* path, int mode) {
  if (Fio_IsMemFile(path)) return new (std::nothrow) CXMemFile(path);
  if (Fio_PathIsURL(path)) return Fio_UrlOpenOut(path, mode);
  if (!path) zr::ThrowFileError(ZRCAUSE_BADPATH, path, ZRFILEOP_OPEN);
  if (Fio_IsFileExist(path) && !Fio_IsWritableFile(path)) throw CXException(ZRCAUSE_ACCESSDENIED);
  // The target's folder; "." without one, and the root itself for a name in
  // the root (whose folder part is empty).
  CXStringW folder = CXStringW(path).FilePath();
  if (folder.GetLength() == 0) {
    const WCHAR root[2] = {path[0], 0};
    folder = (path[0] == '\\' || path[0] == '/') ? root : kCurrentFolder;
  }
  WCHAR temp[zrpal::MAX_PATH];
  if (!zrpal::GetTempFileNameW(folder, kTempPrefix, 0, temp))
    throw CXException(TempFileCause(zrpal::GetLastError()));
  try {
    auto* file = new (std::nothrow) CXOutFile(path, temp, mode | ZRFILE_WRITE);
    if (!file) zrpal::DeleteFileW(temp);
    return file;
  } catch (...) {
    zrpal::DeleteFileW(temp);
    throw;
  }
}
