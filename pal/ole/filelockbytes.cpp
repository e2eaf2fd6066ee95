// pal/ole/filelockbytes.cpp - an ILockBytes over a file handle of the files
// component (CreateFileW), so that compound files take part in Windows share
// modes between processes.
//
// What an open of a compound file asks of the file (as Windows' docfile
// asks it, see FileRequestFor):
//   access    STGM_READ: read; STGM_WRITE and STGM_READWRITE: read and write
//             (a compound file is always read to be written);
//   share     STGM_SHARE_EXCLUSIVE: nothing; STGM_SHARE_DENY_WRITE: read;
//             STGM_SHARE_DENY_READ: write; STGM_SHARE_DENY_NONE (or no share
//             mode, transacted): read and write. A second opener whose access
//             or share mode does not fit fails with ERROR_SHARING_VIOLATION,
//             which becomes STG_E_SHAREVIOLATION.
//   STGM_DELETEONRELEASE  FILE_FLAG_DELETE_ON_CLOSE.
//
// The commit lock. Beyond share modes, whoever changes the file's committed
// state holds a lock on one byte, kCommitLockOffset (past the data of any
// compound file this engine writes; the locks are advisory and cover no
// data): a direct-mode writer holds it exclusively from open to release
// (it writes in place at any time), a transacted writer takes it with
// LockRegion(LOCK_ONLYONCE) for the length of each Commit, and a
// STGM_PRIORITY opener holds it shared, so that nobody commits while it
// reads the committed state. A lock that is taken answers
// STG_E_LOCKVIOLATION, as Windows does for these cases.
//
// Locks are open-file-description locks on the data file's descriptor:
// they belong to this object, conflict between objects of one process as
// between processes, and vanish with the descriptor (a process that dies
// holds nothing). An exclusive lock needs a handle open for writing
// (deviation: Windows also locks read-only handles exclusively).
//
// Errors: the Win32 error of the failing call is answered as the STG_E code
// Windows derives from it (0x8003xxxx); an I/O error is STG_E_READFAULT or
// STG_E_WRITEFAULT. Short reads and writes are continued, not errors.
#include <new>

#include "pal/error.h"
#include "pal/files/file.h"
#include "pal/handle.h"
#include "pal/internal/file_object.h"
#include "pal/ole/objects.h"
#include "pal/ole/storage.h"

namespace zrpal::ole {

HRESULT StgFromWin32(DWORD error, HRESULT fault) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND: return STG_E_FILENOTFOUND;
    case ERROR_PATH_NOT_FOUND: return STG_E_PATHNOTFOUND;
    case ERROR_TOO_MANY_OPEN_FILES: return STG_E_TOOMANYOPENFILES;
    case ERROR_ACCESS_DENIED: return STG_E_ACCESSDENIED;
    case ERROR_NOT_ENOUGH_MEMORY: return STG_E_INSUFFICIENTMEMORY;
    case ERROR_WRITE_PROTECT: return STG_E_DISKISWRITEPROTECTED;
    case ERROR_SHARING_VIOLATION: return STG_E_SHAREVIOLATION;
    case ERROR_LOCK_VIOLATION: return STG_E_LOCKVIOLATION;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return STG_E_MEDIUMFULL;
    case ERROR_FILE_EXISTS: return STG_E_FILEALREADYEXISTS;
    default: return fault;
  }
}

namespace {

class FileLockBytes final : public ILockBytes {
 public:
  FileLockBytes(HANDLE file, int fd) : m_file(file), m_fd(fd) {}

  HRESULT QueryInterface(REFIID riid, void** object) override {
    return QueryInterfaces(static_cast<ILockBytes*>(this), riid, object, IID_ILockBytes);
  }
  ULONG AddRef() override { return ++m_refs; }
  ULONG Release() override {
    const ULONG left = --m_refs;
    if (left == 0) {
      CloseHandle(m_file);  // drops the locks and share records with the descriptor
      delete this;
    }
    return left;
  }
  HRESULT ReadAt(ULARGE_INTEGER offset, void* buffer, ULONG count, ULONG* read) override;
  HRESULT WriteAt(ULARGE_INTEGER offset, const void* buffer, ULONG count, ULONG* written) override;
  HRESULT Flush() override;
  HRESULT SetSize(ULARGE_INTEGER size) override;
  // LOCK_EXCLUSIVE and LOCK_ONLYONCE lock the range against every other
  // opener (STG_E_LOCKVIOLATION when someone holds part of it); LOCK_WRITE
  // is not supported (STG_E_INVALIDFUNCTION), as Windows' file lock bytes.
  HRESULT LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) override {
    if (type != LOCK_EXCLUSIVE && type != LOCK_ONLYONCE) return STG_E_INVALIDFUNCTION;
    return Lock(offset.QuadPart, count.QuadPart, LockKind::Exclusive);
  }
  HRESULT UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) override {
    if (type != LOCK_EXCLUSIVE && type != LOCK_ONLYONCE) return STG_E_INVALIDFUNCTION;
    return Lock(offset.QuadPart, count.QuadPart, LockKind::None);
  }
  HRESULT Stat(STATSTG* stat, DWORD statFlag) override;

  enum class LockKind { None, Shared, Exclusive };
  // Takes (or with None drops) a lock without waiting.
  HRESULT Lock(std::uint64_t offset, std::uint64_t count, LockKind kind);

 private:
  ULONG m_refs = 1;
  HANDLE m_file;
  int m_fd;  // the handle's descriptor, open as long as the handle
};

}  // namespace

FileRequest FileRequestFor(DWORD mode, bool create) {
  FileRequest r{};
  const DWORD access = AccessOf(mode);
  r.access = access == STGM_READ ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
  switch (ShareOf(mode)) {
    case STGM_SHARE_EXCLUSIVE: r.share = 0; break;
    case STGM_SHARE_DENY_WRITE: r.share = FILE_SHARE_READ; break;
    case STGM_SHARE_DENY_READ: r.share = FILE_SHARE_WRITE; break;
    default: r.share = FILE_SHARE_READ | FILE_SHARE_WRITE; break;  // deny none, or none given
  }
  if (mode & STGM_PRIORITY) {
    // A priority open reads the committed state under the shared commit
    // lock; without a share mode it holds no access of its own, so that it
    // keeps no other opener out (Windows lets a direct reader in beside it).
    if (ShareOf(mode) == 0) {
      r.access = FILE_READ_ATTRIBUTES;
      r.share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    }
    r.commitLock = CommitLock::Shared;
  } else if (access != STGM_READ && !(mode & STGM_TRANSACTED)) {
    r.commitLock = CommitLock::Exclusive;
  }
  r.disposition = create ? ((mode & (STGM_CREATE | STGM_CONVERT)) ? CREATE_ALWAYS : CREATE_NEW)
                         : OPEN_EXISTING;
  // No access hint: a random-access hint would switch off the read-ahead
  // that streams, read in order, live on.
  r.flags = (mode & STGM_DELETEONRELEASE) ? FILE_FLAG_DELETE_ON_CLOSE : 0;
  return r;
}

HRESULT OpenFileLockBytes(const WCHAR* path, const FileRequest& request, ILockBytes** bytes) {
  *bytes = nullptr;
  if (!path || !*path) return STG_E_INVALIDNAME;
  // A file to be emptied is emptied only once the commit lock is held, so
  // that a create never destroys what a priority reader is reading.
  const bool empty = request.disposition == CREATE_ALWAYS || request.disposition == TRUNCATE_EXISTING;
  const DWORD disposition = request.disposition == CREATE_ALWAYS       ? OPEN_ALWAYS
                            : request.disposition == TRUNCATE_EXISTING ? OPEN_EXISTING
                                                                       : request.disposition;
  const HANDLE file = CreateFileW(path, request.access, request.share, nullptr, disposition,
                                  request.flags, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    // Windows answers an existing file for a create that must not replace
    // one with the storage code of its own.
    return error == ERROR_FILE_EXISTS ? STG_E_FILEALREADYEXISTS
                                      : StgFromWin32(error, STG_E_FILENOTFOUND);
  }
  int fd = -1;
  if (auto object = ReferenceFile(file)) fd = object->fd;
  auto* lb = new (std::nothrow) FileLockBytes(file, fd);
  if (!lb) {
    CloseHandle(file);
    return STG_E_INSUFFICIENTMEMORY;
  }
  if (request.commitLock != CommitLock::None) {
    const HRESULT hr = lb->Lock(kCommitLockOffset, 1,
                                request.commitLock == CommitLock::Shared
                                    ? FileLockBytes::LockKind::Shared
                                    : FileLockBytes::LockKind::Exclusive);
    if (FAILED(hr)) {
      lb->Release();
      return hr;
    }
  }
  if (empty) {
    const HRESULT hr = lb->SetSize(ULARGE_INTEGER{0});
    if (FAILED(hr)) {
      lb->Release();
      return hr;
    }
  }
  *bytes = lb;
  return S_OK;
}

HRESULT OpenFileLockBytes(const WCHAR* path, bool writable, bool create, bool deleteOnRelease,
                          ILockBytes** bytes) {
  // Writers open exclusively, readers deny writing: the two direct modes.
  DWORD mode = writable ? STGM_READWRITE | STGM_SHARE_EXCLUSIVE : STGM_READ | STGM_SHARE_DENY_WRITE;
  if (create) mode |= STGM_CREATE;
  if (deleteOnRelease) mode |= STGM_DELETEONRELEASE;
  FileRequest request = FileRequestFor(mode, create);
  request.commitLock = CommitLock::None;
  return OpenFileLockBytes(path, request, bytes);
}

}  // namespace zrpal::ole

#include "pal/ole/posix/filelockbytes.inc"
