// storage/storage.cpp - CStorage, the compound-file storage, and its
// factories new_Storage and open_Storage.
//
// Design: a CStorage is a thin owner of one platform storage (the
// compound-file engine's IStorage, pal/ole/) plus what the engine does not
// keep: the flags, the root's path, and the parent. Invariants:
//   - m_pStorage is never null and holds one reference;
//   - m_pParent, when set, holds one reference, so a root lives while any
//     descendant lives; a sub-storage has its parent's flags and name;
//   - the flags decide every mode given to the engine (StorageMode), so a
//     read-only storage never asks for write access and is never committed,
//     and its file stays byte for byte as it was.
// Element names are converted per call into a buffer on the stack (the
// element operations may be used from several threads on different
// storages).
#include "pal/ole/storage.h"

#include <memory>

#include "files/errors.h"
#include "pal/codepage.h"
#include "pal/files/filesystem.h"
#include "storage/storage_internal.h"
#include "storage/summary_info.h"
#include "zr/fileops.h"
#include "zr/tlist.h"

template class CZRUnknownImpl<IXStorage>;

namespace {

using namespace zrpal;
using zr::CWideName;
using zr::StorageMode;
using zr::ThrowStorageError;

// A storage in memory starts on a block of this size.
constexpr SIZE_T kMemoryBlockBytes = 100000;
// Temporary files: the folder buffer's size and the prefix.
constexpr DWORD kTempPathChars = 1024;
constexpr WCHAR kTempPrefix[] = u"ZRPR";
// Names read back from the engine are cut at this many bytes.
constexpr int kEnumNameBytes = 511;
// No compound file holds more elements in one storage than its directory
// can address; the walk stops there whatever the enumerator says.
constexpr ULONG kMaxElements = 0x10000000;
// The STGM_DELETEONRELEASE of a storage created with
// ZRSTORAGE_DELETEONRELEASE.
constexpr DWORD kDeleteOnRelease = STGM_DELETEONRELEASE;

IStorage* Platform(void* storage) { return static_cast<IStorage*>(storage); }

// A new CStorage over `platform` (whose reference it takes over), released
// again when the object cannot be made.
IXStorage* Wrap(IStorage* platform, const WCHAR* name, unsigned flags, IXStorage* parent) {
  try {
    return zr::Allocating([&] { return new CStorage(platform, name, flags, parent); });
  } catch (...) {
    platform->Release();
    throw;
  }
}

// The names of the elements of `type` (STGTY_STORAGE or STGTY_STREAM).
CTEnum<const char*>* EnumElementsOf(IStorage* storage, DWORD type) {
  IEnumSTATSTG* elements = nullptr;
  HRESULT hr = storage->EnumElements(0, nullptr, 0, &elements);
  if (FAILED(hr)) throw CXException(zr::StorageCauseOf(hr));
  using List = CTListEnum<char*, const char*>;
  List* list = nullptr;
  try {
    list = zr::Allocating([] { return new List(); });
    STATSTG stat{};
    ULONG fetched = 0;
    for (ULONG walked = 0; walked < kMaxElements; ++walked) {
      hr = elements->Next(1, &stat, &fetched);
      if (FAILED(hr)) throw CXException(zr::StorageCauseOf(hr));
      if (hr != S_OK || fetched != 1) break;
      std::unique_ptr<WCHAR, decltype(&CoTaskMemFree)> name(stat.pwcsName, CoTaskMemFree);
      if (stat.type != type) continue;
      char text[kEnumNameBytes + 1];
      const int n = WideCharToMultiBytePrefix(CP_ACP, name.get(), -1, text, kEnumNameBytes);
      text[n > 0 ? n : 0] = 0;
      list->AddTail(text);
    }
    auto* walker = zr::Allocating([&] { return new _CListEnum<char*, const char*>(list); });
    list->Release();
    elements->Release();
    return walker;
  } catch (...) {
    if (list) list->Release();
    elements->Release();
    throw;
  }
}

}  // namespace

CStorage::CStorage(void* platformStorage, const WCHAR* name, unsigned int flags, IXStorage* parent)
    : m_name(name ? name : u""), m_flags(flags), m_pStorage(platformStorage), m_pParent(parent) {
  if (m_pParent) m_pParent->AddRef();
}

CStorage::~CStorage() {
  // The last release commits a storage that may have changes; the engine's
  // answer has nowhere to go.
  if (m_flags != ZRSTORAGE_READONLY) (void)Platform(m_pStorage)->Commit(STGC_DEFAULT);
  Platform(m_pStorage)->Release();
  if (m_pParent) m_pParent->Release();
}

IXStorage* CStorage::CreateStorage(const char* name) {
  const CXStringW wide(name ? name : "");
  IStorage* sub = nullptr;
  const HRESULT hr =
      Platform(m_pStorage)->CreateStorage(wide, StorageMode(m_flags, true), 0, 0, &sub);
  if (FAILED(hr)) ThrowStorageError(hr, wide, ZRSTORAGEOP_OPEN);
  return Wrap(sub, m_name, m_flags, this);
}

IXStorage* CStorage::OpenStorage(const char* name) {
  const CWideName wide(name);
  IStorage* sub = nullptr;
  const HRESULT hr =
      Platform(m_pStorage)
          ->OpenStorage(wide.text, nullptr, StorageMode(m_flags, false), nullptr, 0, &sub);
  if (FAILED(hr)) ThrowStorageError(hr, wide.text, ZRSTORAGEOP_OPEN);
  return Wrap(sub, m_name, m_flags, this);
}

LONG CStorage::DestroyStorage(const char* name) {
  const CWideName wide(name);
  const HRESULT hr = Platform(m_pStorage)->DestroyElement(wide.text);
  if (FAILED(hr)) ThrowStorageError(hr, wide.text, ZRSTORAGEOP_DESTROY);
  return hr;
}

LONG CStorage::DestroyStream(const char* name) { return DestroyStorage(name); }

IXStorage* CStorage::GetParentStorage() {
  if (m_pParent) m_pParent->AddRef();
  return m_pParent;
}

CTEnum<const char*>* CStorage::EnumStorages() {
  return EnumElementsOf(Platform(m_pStorage), STGTY_STORAGE);
}

CTEnum<const char*>* CStorage::EnumStreams() {
  return EnumElementsOf(Platform(m_pStorage), STGTY_STREAM);
}

IXStream* CStorage::CreateStream(const char* name) {
  const CWideName wide(name);
  // Streams are opened without STGM_TRANSACTED: the storage transacts them.
  const DWORD mode = StorageMode(m_flags & ZRSTORAGE_READONLY, true);
  IStream* stream = nullptr;
  if (FAILED(Platform(m_pStorage)->CreateStream(wide.text, mode, 0, 0, &stream))) return nullptr;
  try {
    return zr::Allocating([&] { return new zr::CStream(stream, name); });
  } catch (...) {
    stream->Release();
    throw;
  }
}

IXStream* CStorage::OpenStream(const char* name) {
  const CWideName wide(name);
  const DWORD mode = StorageMode(m_flags & ZRSTORAGE_READONLY, false);
  IStream* stream = nullptr;
  if (FAILED(Platform(m_pStorage)->OpenStream(wide.text, nullptr, mode, 0, &stream)))
    return nullptr;
  try {
    return zr::Allocating([&] { return new zr::CStream(stream, name); });
  } catch (...) {
    stream->Release();
    throw;
  }
}

void CStorage::Commit() {
  if (m_flags != ZRSTORAGE_READONLY) (void)Platform(m_pStorage)->Commit(STGC_DEFAULT);
}

const WCHAR* CStorage::GetName() { return m_name; }

int CStorage::InternalQueryInterface(const std::type_info& type, void** out) {
  // IZRProperty: a new summary-information object over the platform
  // storage on every query. A query without an out pointer only asks
  // whether the interface is answered, so nothing is made for it.
  if (type == typeid(IZRProperty)) {
    if (!out) return 1;
    *out = zr::NewSummaryInfo(Platform(m_pStorage));
    return *out ? 1 : 0;
  }
  return CZRUnknownImpl<IXStorage>::InternalQueryInterface(type, out);
}

void CStorage::Revert() {
  if (m_flags & ZRSTORAGE_TRANSACTED) (void)Platform(m_pStorage)->Revert();
}

int CStorage::Reserved() { return 0; }

IXStorage* new_Storage(const WCHAR* name, int flags) {
  const unsigned bits = static_cast<unsigned>(flags);
  DWORD mode = StorageMode(bits, true);
  if (bits & ZRSTORAGE_DELETEONRELEASE) mode |= kDeleteOnRelease;
  WCHAR tempName[kTempPathChars] = {};
  if (bits & ZRSTORAGE_TEMPORARY) {
    WCHAR folder[kTempPathChars] = {};
    const DWORD n = GetTempPathW(kTempPathChars, folder);
    if (n == 0 || n >= kTempPathChars || !GetTempFileNameW(folder, kTempPrefix, 0, tempName))
      zr::ThrowLastFileError(u"", ZRSTORAGEOP_OPEN);
    name = tempName;
  }
  IStorage* root = nullptr;
  HRESULT hr;
  if (!name || !*name) {
    // In memory: a block freed with the storage.
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, kMemoryBlockBytes);
    if (!block) throw CXBadAlloc();
    ILockBytes* bytes = nullptr;
    hr = CreateILockBytesOnHGlobal(block, TRUE, &bytes);
    if (FAILED(hr)) {
      GlobalFree(block);
      ThrowStorageError(hr, u"", ZRSTORAGEOP_OPEN);
    }
    hr = StgCreateDocfileOnILockBytes(bytes, mode & ~kDeleteOnRelease, 0, &root);
    bytes->Release();
    if (FAILED(hr)) ThrowStorageError(hr, u"", ZRSTORAGEOP_OPEN);
    return Wrap(root, u"", bits, nullptr);
  }
  if (!(bits & ZRSTORAGE_TEMPORARY)) Fio_CreateDirectory(CXStringW(name).FilePath());
  hr = StgCreateDocfile(name, mode, 0, &root);
  if (FAILED(hr)) ThrowStorageError(hr, name, ZRSTORAGEOP_OPEN);
  return Wrap(root, name, bits, nullptr);
}

IXStorage* open_Storage(const WCHAR* name, int readOnly) {
  if (name && Fio_PathIsURL(name)) return open_UrlStorage(name, nullptr, readOnly);
  const unsigned flags = readOnly ? ZRSTORAGE_READONLY : ZRSTORAGE_TRANSACTED;
  IStorage* root = nullptr;
  const HRESULT hr = StgOpenStorage(name, nullptr, StorageMode(flags, false), nullptr, 0, &root);
  if (FAILED(hr)) ThrowStorageError(hr, name, ZRSTORAGEOP_OPEN);
  return Wrap(root, name, flags, nullptr);
}
