// pal/ole/api.cpp - the Stg* entry points: mode checks, then an Image over
// a file or the caller's ILockBytes, then the root storage object.
//
// Mode checks follow Windows:
//   - every mode: a known access (read, write, read-write), a known share
//     mode (none only when transacted), create or fail-if-there, and none of
//     the impossible pairs (transacted + simple, create + convert,
//     no-scratch without transacted, no-snapshot without transacted or with
//     a share mode that denies writing) - else STG_E_INVALIDFLAG;
//   - creating needs write access, and a direct file an exclusive share;
//     STGM_PRIORITY is not a creation mode (STG_E_INVALIDFLAG);
//   - opening takes no STGM_CREATE (STG_E_INVALIDFLAG), and a direct open
//     needs an exclusive share or read access with deny-write;
//     STGM_DELETEONRELEASE is a creation mode only (STG_E_INVALIDFUNCTION);
//   - STGM_PRIORITY opens for reading only, direct, with or without a share
//     mode (anything else is STG_E_INVALIDFLAG).
// Files are opened through the files component with the share mode the STGM
// mode asks for (filelockbytes.cpp): a second opener that does not fit gets
// STG_E_SHAREVIOLATION, one that meets a commit lock STG_E_LOCKVIOLATION.
//
// A null name at creation makes a temporary file, GetTempFileNameW in
// GetTempPathW with the prefix "~DF" that Windows' temporary docfiles
// carry; it is deleted when the storage is released (STGM_DELETEONRELEASE
// is implied: nobody else knows its name).
#include <cstring>

#include "pal/error.h"
#include "pal/files/file.h"
#include "pal/files/filesystem.h"

#include "pal/ole/objects.h"
#include "pal/ole/storage.h"
#include "pal/wstr.h"

namespace zrpal {

namespace ole {

namespace {

constexpr DWORD kKnownFlags = 0xF0FFu | STGM_TRANSACTED | STGM_CONVERT | STGM_PRIORITY |
                              STGM_NOSCRATCH | STGM_NOSNAPSHOT | STGM_DIRECT_SWMR |
                              STGM_DELETEONRELEASE | STGM_SIMPLE;
constexpr DWORD kSwmrUnsupported = STGM_DIRECT_SWMR;

HRESULT CheckCreateMode(DWORD mode) {
  if (!IsValidMode(mode) || (mode & (STGM_PRIORITY | kSwmrUnsupported))) return STG_E_INVALIDFLAG;
  if (!CanWrite(mode)) return STG_E_INVALIDFLAG;
  if (!(mode & STGM_TRANSACTED) && ShareOf(mode) != STGM_SHARE_EXCLUSIVE) return STG_E_INVALIDFLAG;
  return S_OK;
}

HRESULT CheckOpenMode(DWORD mode) {
  if (mode & STGM_PRIORITY) {
    const DWORD share = ShareOf(mode);
    if (mode & STGM_DELETEONRELEASE) return STG_E_INVALIDFUNCTION;
    if ((mode & ~(STGM_PRIORITY | kShareMask)) != STGM_READ ||
        (share != 0 && share != STGM_SHARE_DENY_NONE && share != STGM_SHARE_DENY_READ &&
         share != STGM_SHARE_DENY_WRITE && share != STGM_SHARE_EXCLUSIVE))
      return STG_E_INVALIDFLAG;
    return S_OK;
  }
  if (!IsValidMode(mode) || (mode & (STGM_CREATE | STGM_CONVERT | kSwmrUnsupported)))
    return STG_E_INVALIDFLAG;
  if (!(mode & STGM_TRANSACTED) && ShareOf(mode) != STGM_SHARE_EXCLUSIVE &&
      !(AccessOf(mode) == STGM_READ && ShareOf(mode) == STGM_SHARE_DENY_WRITE))
    return STG_E_INVALIDFLAG;
  if (mode & STGM_DELETEONRELEASE) return STG_E_INVALIDFUNCTION;
  return S_OK;
}

HRESULT Finish(std::unique_ptr<Image> image, std::u16string path, DWORD mode, IStorage** storage) {
  return Guarded([&] {
    auto doc = DocRef(new Document);
    doc->image = std::move(image);
    doc->path = std::move(path);
    return NewRootStorage(std::move(doc), mode, storage);
  });
}

HRESULT CreateOn(ILockBytes* bytes, DWORD mode, unsigned version, std::u16string path,
                 IStorage** storage) {
  return Guarded([&] {
    std::unique_ptr<Image> image;
    const HRESULT hr = Image::Create(bytes, version, (mode & STGM_TRANSACTED) != 0, &image);
    if (FAILED(hr)) return hr;
    return Finish(std::move(image), std::move(path), mode, storage);
  });
}

HRESULT OpenOn(ILockBytes* bytes, DWORD mode, std::u16string path, IStorage** storage) {
  return Guarded([&] {
    std::unique_ptr<Image> image;
    const HRESULT hr = Image::Load(bytes, CanWrite(mode), (mode & STGM_TRANSACTED) != 0, &image);
    if (FAILED(hr)) return hr;
    return Finish(std::move(image), std::move(path), mode, storage);
  });
}

// Windows' prefix of temporary docfiles (GetTempFileNameW keeps three
// characters).
constexpr WCHAR kTempPrefix[] = u"~DF";

// The existing file's bytes, for STGM_CONVERT.
HRESULT ReadWhole(const WCHAR* name, DWORD mode, std::vector<BYTE>* out) {
  ILockBytes* existing = nullptr;
  HRESULT hr = OpenFileLockBytes(name, FileRequestFor(STGM_READ | ShareOf(mode), false), &existing);
  if (FAILED(hr)) return hr;
  hr = Guarded([&] {
    STATSTG st{};
    HRESULT r = existing->Stat(&st, STATFLAG_NONAME);
    if (FAILED(r)) return r;
    if (st.cbSize.QuadPart > 0xFFFFFFFFu) return STG_E_MEDIUMFULL;
    out->resize(static_cast<std::size_t>(st.cbSize.QuadPart));
    ULONG got = 0;
    return existing->ReadAt(ULARGE_INTEGER{0}, out->data(), static_cast<ULONG>(out->size()), &got);
  });
  existing->Release();
  return hr;
}

// Makes a compound file named `name` (a temporary one when null).
// STGM_CONVERT keeps an existing file's bytes as the stream "CONTENTS" of
// the new file (STG_S_CONVERTED).
HRESULT CreateFile(const WCHAR* name, DWORD mode, unsigned version, IStorage** storage) {
  if (!storage) return STG_E_INVALIDPOINTER;
  *storage = nullptr;
  HRESULT hr = CheckCreateMode(mode);
  if (FAILED(hr)) return hr;
  std::vector<BYTE> converted;
  bool convert = false;
  WCHAR temp[MAX_PATH];
  FileRequest request;
  if (!name) {
    WCHAR folder[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH) return STG_E_PATHNOTFOUND;
    if (!GetTempFileNameW(folder, kTempPrefix, 0, temp))
      return StgFromWin32(GetLastError(), STG_E_PATHNOTFOUND);
    name = temp;
    mode |= STGM_DELETEONRELEASE;
    request = FileRequestFor(mode, true);
    request.disposition = TRUNCATE_EXISTING;  // GetTempFileNameW made it
  } else {
    if (GetFileAttributesW(name) != INVALID_FILE_ATTRIBUTES) {
      if (!(mode & (STGM_CREATE | STGM_CONVERT))) return STG_E_FILEALREADYEXISTS;
      if (mode & STGM_CONVERT) {
        if (FAILED(hr = ReadWhole(name, mode, &converted))) return hr;
        convert = true;
      }
    }
    request = FileRequestFor(mode, true);
  }
  ILockBytes* bytes = nullptr;
  hr = OpenFileLockBytes(name, request, &bytes);
  if (FAILED(hr)) {
    if (name == temp) DeleteFileW(temp);
    return hr;
  }
  hr = CreateOn(bytes, mode, version, std::u16string(name), storage);
  bytes->Release();  // a temporary file goes with it when the creation failed
  if (FAILED(hr) || !convert) return hr;
  IStream* contents = nullptr;
  hr = (*storage)->CreateStream(u"CONTENTS", STGM_SHARE_EXCLUSIVE | STGM_READWRITE, 0, 0, &contents);
  if (SUCCEEDED(hr)) {
    hr = contents->Write(converted.data(), static_cast<ULONG>(converted.size()), nullptr);
    contents->Release();
  }
  if (SUCCEEDED(hr) && !(mode & STGM_TRANSACTED)) hr = (*storage)->Commit(STGC_DEFAULT);
  if (FAILED(hr)) {
    (*storage)->Release();
    *storage = nullptr;
    return hr;
  }
  return STG_S_CONVERTED;
}

}  // namespace

bool IsValidMode(DWORD mode) {
  if (mode & ~kKnownFlags) return false;
  const DWORD access = AccessOf(mode);
  if (access != STGM_READ && access != STGM_WRITE && access != STGM_READWRITE) return false;
  const DWORD share = ShareOf(mode);
  if (share == 0) {
    if (!(mode & STGM_TRANSACTED)) return false;
  } else if (share != STGM_SHARE_DENY_NONE && share != STGM_SHARE_DENY_READ &&
             share != STGM_SHARE_DENY_WRITE && share != STGM_SHARE_EXCLUSIVE) {
    return false;
  }
  const DWORD create = mode & kCreateMask;
  if (create != STGM_CREATE && create != STGM_FAILIFTHERE) return false;
  if ((mode & STGM_TRANSACTED) && (mode & STGM_SIMPLE)) return false;
  if (create == STGM_CREATE && (mode & STGM_CONVERT)) return false;
  if ((mode & STGM_NOSCRATCH) && !(mode & STGM_TRANSACTED)) return false;
  if ((mode & STGM_NOSNAPSHOT) &&
      (!(mode & STGM_TRANSACTED) || share == STGM_SHARE_EXCLUSIVE || share == STGM_SHARE_DENY_WRITE))
    return false;
  return true;
}

HRESULT CreateDocfileOnLockBytes(ILockBytes* bytes, DWORD mode, unsigned majorVersion,
                                 IStorage** storage) {
  if (!storage || !bytes) return STG_E_INVALIDPOINTER;
  *storage = nullptr;
  if (majorVersion != 3 && majorVersion != 4) return STG_E_INVALIDPARAMETER;
  const HRESULT hr = CheckCreateMode(mode & ~STGM_DELETEONRELEASE);
  if (FAILED(hr)) return hr;
  if (mode & STGM_CONVERT) return STG_E_INVALIDFLAG;
  return CreateOn(bytes, mode, majorVersion, {}, storage);
}

}  // namespace ole

using ole::CanWrite;

HRESULT StgCreateDocfile(const WCHAR* name, DWORD mode, DWORD reserved, IStorage** storage) {
  if (!storage) return STG_E_INVALIDPOINTER;
  if (reserved) return STG_E_INVALIDPARAMETER;
  return ole::CreateFile(name, mode, 3, storage);
}

HRESULT StgCreateStorageEx(const WCHAR* name, DWORD mode, DWORD format, DWORD attributes,
                           STGOPTIONS* options, void* security, REFIID riid, void** object) {
  if (!object) return STG_E_INVALIDPOINTER;
  *object = nullptr;
  if (format != STGFMT_STORAGE && format != STGFMT_DOCFILE) return STG_E_INVALIDPARAMETER;
  if (attributes || security || !(riid == IID_IStorage)) return STG_E_INVALIDPARAMETER;
  unsigned version = 3;
  if (options) {
    if (options->ulSectorSize == 4096) version = 4;
    else if (options->ulSectorSize != 512) return STG_E_INVALIDPARAMETER;
  }
  return ole::CreateFile(name, mode, version, reinterpret_cast<IStorage**>(object));
}

HRESULT StgOpenStorage(const WCHAR* name, IStorage* priority, DWORD mode, SNB exclude,
                       DWORD reserved, IStorage** storage) {
  if (!storage) return STG_E_INVALIDPOINTER;
  *storage = nullptr;
  // A priority storage hands its file over: it is released whatever the
  // outcome, before the open, so that its shared commit lock keeps nobody
  // out; a null name means its file.
  std::u16string priorityName;
  if (priority) {
    STATSTG st{};
    if (SUCCEEDED(priority->Stat(&st, STATFLAG_DEFAULT)) && st.pwcsName) {
      const HRESULT hr = ole::Guarded([&] {
        priorityName = st.pwcsName;
        return S_OK;
      });
      CoTaskMemFree(st.pwcsName);
      if (FAILED(hr)) {
        priority->Release();
        return hr;
      }
    }
    priority->Release();
    if (!name && !priorityName.empty()) name = priorityName.c_str();
  }
  if (reserved) return STG_E_INVALIDPARAMETER;
  if (!name) return STG_E_INVALIDNAME;
  HRESULT hr = ole::CheckOpenMode(mode);
  if (FAILED(hr)) return hr;
  if (exclude) return STG_E_INVALIDFUNCTION;
  ILockBytes* bytes = nullptr;
  if (FAILED(hr = ole::OpenFileLockBytes(name, ole::FileRequestFor(mode, false), &bytes))) return hr;
  hr = ole::OpenOn(bytes, mode, std::u16string(name), storage);
  bytes->Release();
  return hr;
}

HRESULT StgCreateDocfileOnILockBytes(ILockBytes* bytes, DWORD mode, DWORD reserved,
                                     IStorage** storage) {
  if (!storage || !bytes) return STG_E_INVALIDPOINTER;
  if (reserved) return STG_E_INVALIDPARAMETER;
  return ole::CreateDocfileOnLockBytes(bytes, mode, 3, storage);
}

HRESULT StgOpenStorageOnILockBytes(ILockBytes* bytes, IStorage* priority, DWORD mode,
                                   SNB exclude, DWORD reserved, IStorage** storage) {
  if (!storage || !bytes) return STG_E_INVALIDPOINTER;
  *storage = nullptr;
  if (reserved) return STG_E_INVALIDPARAMETER;
  const HRESULT hr = ole::CheckOpenMode(mode);
  if (FAILED(hr)) return hr;
  // On the caller's lock bytes nothing stands behind a priority open.
  if (priority || exclude || (mode & STGM_PRIORITY)) return STG_E_INVALIDFUNCTION;
  return ole::OpenOn(bytes, mode, {}, storage);
}

HRESULT StgIsStorageILockBytes(ILockBytes* bytes) {
  if (!bytes) return STG_E_INVALIDPOINTER;
  BYTE head[ole::kHeaderSize];
  ULONG got = 0;
  const HRESULT hr = bytes->ReadAt(ULARGE_INTEGER{0}, head, sizeof head, &got);
  if (FAILED(hr)) return hr;
  return ole::Header::HasSignature(head, got) ? S_OK : S_FALSE;
}

HRESULT StgIsStorageFile(const WCHAR* name) {
  if (!name) return STG_E_INVALIDNAME;
  // A look at the signature, beside any other opener.
  ole::FileRequest request = ole::FileRequestFor(STGM_READ | STGM_SHARE_DENY_NONE, false);
  ILockBytes* bytes = nullptr;
  HRESULT hr = ole::OpenFileLockBytes(name, request, &bytes);
  if (FAILED(hr)) return hr;
  hr = StgIsStorageILockBytes(bytes);
  bytes->Release();
  return hr;
}

}  // namespace zrpal
