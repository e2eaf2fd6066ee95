// pal/ole/storage.h - compound files (structured storage) and the memory
// and COM allocator functions they use, with Win32 names and semantics.
//
// Modes are checked as Windows checks them: a value no STGM combination has
// is STG_E_INVALIDFLAG, a valid mode the operation does not take is
// STG_E_INVALIDFLAG or STG_E_INVALIDFUNCTION as Windows answers it.
// Files take part in Windows share modes between processes through the files
// component (CreateFileW), and a commit lock keeps priority readers and
// committers apart (pal/ole/filelockbytes.cpp has the rules).
// Deviations (also in docs/deviations.md):
//   - snbExclude at open, and STGM_PRIORITY on the caller's lock bytes, are
//     refused with STG_E_INVALIDFUNCTION;
//   - STGM_NOSCRATCH and STGM_NOSNAPSHOT are accepted where Windows accepts
//     them: transacted changes are always held in memory (the scratch), and
//     no opener keeps a snapshot of the file: a transacted commit over
//     another opener's newer commit fails with STG_E_NOTCURRENT whatever
//     the commit flags.
#pragma once

#include <cstdint>

#include "pal/ole/objidl.h"

namespace zrpal {

// Global memory blocks. Every block behaves as moveable (GlobalLock gives
// its address, which GlobalReAlloc may change). Flags: GMEM_MOVEABLE and
// GMEM_ZEROINIT (blocks are always zero-filled); others fail with
// ERROR_INVALID_PARAMETER.
using HGLOBAL = HANDLE;
inline constexpr UINT GMEM_FIXED = 0x0000;
inline constexpr UINT GMEM_MOVEABLE = 0x0002;
inline constexpr UINT GMEM_ZEROINIT = 0x0040;
inline constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
HGLOBAL GlobalReAlloc(HGLOBAL block, SIZE_T bytes, UINT flags);
HGLOBAL GlobalFree(HGLOBAL block);  // null on success, the block on failure
LPVOID GlobalLock(HGLOBAL block);
BOOL GlobalUnlock(HGLOBAL block);
SIZE_T GlobalSize(HGLOBAL block);

// The task allocator.
inline constexpr DWORD MEMCTX_TASK = 1;
HRESULT CoGetMalloc(DWORD context, IMalloc** malloc);
LPVOID CoTaskMemAlloc(SIZE_T bytes);
LPVOID CoTaskMemRealloc(LPVOID block, SIZE_T bytes);
void CoTaskMemFree(LPVOID block);

// An ILockBytes over a global memory block (a new one when `block` is
// null), which it frees on its last release when deleteOnRelease is set.
HRESULT CreateILockBytesOnHGlobal(HGLOBAL block, BOOL deleteOnRelease, ILockBytes** bytes);
HRESULT GetHGlobalFromILockBytes(ILockBytes* bytes, HGLOBAL* block);

HRESULT StgCreateDocfile(const WCHAR* name, DWORD mode, DWORD reserved, IStorage** storage);
HRESULT StgOpenStorage(const WCHAR* name, IStorage* priority, DWORD mode, SNB exclude,
                       DWORD reserved, IStorage** storage);
HRESULT StgCreateDocfileOnILockBytes(ILockBytes* bytes, DWORD mode, DWORD reserved,
                                     IStorage** storage);
HRESULT StgOpenStorageOnILockBytes(ILockBytes* bytes, IStorage* priority, DWORD mode,
                                   SNB exclude, DWORD reserved, IStorage** storage);
HRESULT StgIsStorageFile(const WCHAR* name);
HRESULT StgIsStorageILockBytes(ILockBytes* bytes);

// StgCreateStorageEx for compound files (STGFMT_STORAGE or STGFMT_DOCFILE):
// options->ulSectorSize 4096 writes a version 4 file, 512 (or no options) a
// version 3 one. riid must be IID_IStorage; attributes 0; no security.
inline constexpr DWORD STGFMT_STORAGE = 0;
inline constexpr DWORD STGFMT_DOCFILE = 5;
struct STGOPTIONS {
  WORD usVersion;
  WORD reserved;
  ULONG ulSectorSize;
  const WCHAR* pwcsTemplateFile;
};
HRESULT StgCreateStorageEx(const WCHAR* name, DWORD mode, DWORD format, DWORD attributes,
                           STGOPTIONS* options, void* security, REFIID riid, void** object);

namespace ole {
// The library's own entry for a version 4 file in memory (Windows offers
// version 4 only through StgCreateStorageEx on a file): as
// StgCreateDocfileOnILockBytes, with majorVersion 3 or 4.
HRESULT CreateDocfileOnLockBytes(ILockBytes* bytes, DWORD mode, unsigned majorVersion,
                                 IStorage** storage);

// The STG_E code of a Win32 error, as Windows forms it; `fault` for errors
// the storage codes have no place for.
HRESULT StgFromWin32(DWORD error, HRESULT fault);

// Files. What an open of a compound file asks of the files component
// (CreateFileW), computed from its STGM mode by FileRequestFor; the rules
// are at the top of filelockbytes.cpp.
enum class CommitLock { None, Shared, Exclusive };
struct FileRequest {
  DWORD access;       // GENERIC_* / FILE_READ_ATTRIBUTES
  DWORD share;        // FILE_SHARE_*
  DWORD disposition;  // CREATE_NEW, CREATE_ALWAYS, OPEN_EXISTING, TRUNCATE_EXISTING
  DWORD flags;        // FILE_FLAG_*
  CommitLock commitLock;  // held from open to release
};
// The byte whose lock stands for the right to change the committed state.
inline constexpr std::uint64_t kCommitLockOffset = 0x7FFFFF00;
FileRequest FileRequestFor(DWORD mode, bool create);
// An ILockBytes over a file (path in UTF-16) opened as `request` says.
// Share-mode conflicts answer STG_E_SHAREVIOLATION, a commit lock held by
// another opener STG_E_LOCKVIOLATION.
HRESULT OpenFileLockBytes(const WCHAR* path, const FileRequest& request, ILockBytes** bytes);
// The same for the two direct modes: `writable` opens for reading and
// writing with no sharing, otherwise for reading, sharing reading only.
// `create`: make or truncate it.
HRESULT OpenFileLockBytes(const WCHAR* path, bool writable, bool create, bool deleteOnRelease,
                          ILockBytes** bytes);
}  // namespace ole

}  // namespace zrpal
