// pal/ole/filelockbytes.cpp - an ILockBytes over a file.
//
// This phase holds a plain descriptor: share modes and deny modes between
// openers, and byte-range locks, come when the files component (CreateFileW
// with share modes) lands and this object moves onto it. Until then
// LockRegion answers STG_E_INVALIDFUNCTION.
//
// Errors: the errno of the failing call is stored as the last error
// (SetLastErrorFromErrno) and answered as the STG_E code Windows derives
// from that Win32 error (0x8003xxxx); an I/O error is STG_E_READFAULT or
// STG_E_WRITEFAULT. Short reads and writes are continued, not errors.
#include <new>
#include <string>

#include "pal/error.h"
#include "pal/ole/storage.h"

namespace zrpal::ole {

namespace {

// UTF-16 path to the OS's UTF-8 with '/' separators.
std::string PathToUtf8(const WCHAR* path) {
  std::string out;
  for (const WCHAR* p = path; *p; ++p) {
    std::uint32_t c = *p;
    if (c >= 0xD800 && c <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (p[1] - 0xDC00);
      ++p;
    }
    if (c == u'\\') c = u'/';
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// The STG_E code of a Win32 error, as Windows forms it; `fault` for errors
// the storage codes have no place for.
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

class FileLockBytes final : public ILockBytes {
 public:
  FileLockBytes(int fd, std::string path, bool deleteOnRelease)
      : m_fd(fd), m_path(std::move(path)), m_delete(deleteOnRelease) {}

  HRESULT QueryInterface(REFIID riid, void** object) override {
    return QueryInterfaces(static_cast<ILockBytes*>(this), riid, object, IID_ILockBytes);
  }
  ULONG AddRef() override { return ++m_refs; }
  ULONG Release() override {
    const ULONG left = --m_refs;
    if (left == 0) {
      Close();
      delete this;
    }
    return left;
  }
  HRESULT ReadAt(ULARGE_INTEGER offset, void* buffer, ULONG count, ULONG* read) override;
  HRESULT WriteAt(ULARGE_INTEGER offset, const void* buffer, ULONG count, ULONG* written) override;
  HRESULT Flush() override;
  HRESULT SetSize(ULARGE_INTEGER size) override;
  HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT Stat(STATSTG* stat, DWORD statFlag) override;

 private:
  void Close();

  ULONG m_refs = 1;
  int m_fd;
  std::string m_path;
  bool m_delete;
};

// posix/filelockbytes.inc
int OpenFile(const std::string& path, bool writable, bool create);
void CloseDescriptor(int fd);

}  // namespace

HRESULT OpenFileLockBytes(const WCHAR* path, bool writable, bool create, bool deleteOnRelease,
                          ILockBytes** bytes) {
  *bytes = nullptr;
  if (!path || !*path) return STG_E_INVALIDNAME;
  std::string utf8 = PathToUtf8(path);
  const int fd = OpenFile(utf8, writable, create);
  if (fd < 0) return StgFromWin32(GetLastError(), STG_E_FILENOTFOUND);
  auto* lb = new (std::nothrow) FileLockBytes(fd, std::move(utf8), deleteOnRelease);
  if (!lb) {
    CloseDescriptor(fd);
    return STG_E_INSUFFICIENTMEMORY;
  }
  *bytes = lb;
  return S_OK;
}

}  // namespace zrpal::ole

#include "pal/ole/posix/filelockbytes.inc"
