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
//     STGM_DELETEONRELEASE is a creation mode only (STG_E_INVALIDFUNCTION).
#include <cstring>

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
  if (!IsValidMode(mode) || (mode & (STGM_CREATE | STGM_CONVERT | kSwmrUnsupported)))
    return STG_E_INVALIDFLAG;
  if (!(mode & STGM_TRANSACTED) && ShareOf(mode) != STGM_SHARE_EXCLUSIVE &&
      !(AccessOf(mode) == STGM_READ && ShareOf(mode) == STGM_SHARE_DENY_WRITE))
    return STG_E_INVALIDFLAG;
  if (mode & (STGM_DELETEONRELEASE | STGM_PRIORITY)) return STG_E_INVALIDFUNCTION;
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

// Makes a compound file named `name`. STGM_CONVERT keeps an existing file's
// bytes as the stream "CONTENTS" of the new file (STG_S_CONVERTED).
HRESULT CreateFile(const WCHAR* name, DWORD mode, unsigned version, IStorage** storage) {
  if (!storage) return STG_E_INVALIDPOINTER;
  *storage = nullptr;
  HRESULT hr = CheckCreateMode(mode);
  if (FAILED(hr)) return hr;
  if (!name) return STG_E_INVALIDNAME;  // temporary files come with the files component
  ILockBytes* existing = nullptr;
  std::vector<BYTE> converted;
  bool convert = false;
  if (SUCCEEDED(OpenFileLockBytes(name, false, false, false, &existing))) {
    if (!(mode & (STGM_CREATE | STGM_CONVERT))) {
      existing->Release();
      return STG_E_FILEALREADYEXISTS;
    }
    if (mode & STGM_CONVERT) {
      hr = Guarded([&] {
        STATSTG st{};
        HRESULT r = existing->Stat(&st, STATFLAG_NONAME);
        if (FAILED(r)) return r;
        converted.resize(static_cast<std::size_t>(st.cbSize.QuadPart));
        ULONG got = 0;
        return existing->ReadAt(ULARGE_INTEGER{0}, converted.data(),
                                static_cast<ULONG>(converted.size()), &got);
      });
      convert = true;
    }
    existing->Release();
    if (FAILED(hr)) return hr;
  }
  ILockBytes* bytes = nullptr;
  if (FAILED(hr = OpenFileLockBytes(name, true, true, (mode & STGM_DELETEONRELEASE) != 0, &bytes)))
    return hr;
  hr = CreateOn(bytes, mode, version, std::u16string(name), storage);
  bytes->Release();
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
  if (reserved) return STG_E_INVALIDPARAMETER;
  if (!name) return STG_E_INVALIDNAME;
  HRESULT hr = ole::CheckOpenMode(mode);
  if (FAILED(hr)) return hr;
  if (priority || exclude) return STG_E_INVALIDFUNCTION;
  ILockBytes* bytes = nullptr;
  if (FAILED(hr = ole::OpenFileLockBytes(name, CanWrite(mode), false, false, &bytes))) return hr;
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
  if (priority || exclude) return STG_E_INVALIDFUNCTION;
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
  ILockBytes* bytes = nullptr;
  HRESULT hr = ole::OpenFileLockBytes(name, false, false, false, &bytes);
  if (FAILED(hr)) return hr;
  hr = StgIsStorageILockBytes(bytes);
  bytes->Release();
  return hr;
}

}  // namespace zrpal
