// storage/urlstorage.cpp - CUrlStorage: a compound file named by a URL,
// downloaded to a local copy that is opened as a storage.
//
// Design: the object forwards every IXStorage operation, QueryInterface
// included, to the storage opened on the local copy, so what it hands out
// (sub-storages, streams, summary information) belongs to that storage;
// only GetName answers the URL. Commits reach the local copy; nothing is
// uploaded back. The last Release deletes the local copy.
//
// Invariants: m_pInner is never null and holds one reference; m_local is
// the path of the copy this object owns and deletes.
#include "pal/ole/objidl.h"
#include "zr/exception.h"
#include "zr/fileops.h"
#include "zr/urlfile.h"
#include "zr/xstorage.h"

namespace {

class CUrlStorage final : public CZRUnknownImpl<IXStorage> {
 public:
  // Takes over one reference of `inner`.
  CUrlStorage(IXStorage* inner, const WCHAR* url, int readOnly, const WCHAR* local)
      : m_pInner(inner), m_url(url), m_readOnly(readOnly), m_local(local) {}
  ~CUrlStorage() override {
    m_pInner->Release();  // commits into the local copy first, when writable
    try {
      Fio_DeleteFile(m_local);
    } catch (const CXException&) {
      // A copy that cannot be deleted stays behind: the release goes on.
    }
  }
  CUrlStorage(const CUrlStorage&) = delete;
  CUrlStorage& operator=(const CUrlStorage&) = delete;

  IXStorage* CreateStorage(const char* name) override { return m_pInner->CreateStorage(name); }
  IXStorage* OpenStorage(const char* name) override { return m_pInner->OpenStorage(name); }
  LONG DestroyStorage(const char* name) override { return m_pInner->DestroyStorage(name); }
  IXStorage* GetParentStorage() override { return m_pInner->GetParentStorage(); }
  CTEnum<const char*>* EnumStorages() override { return m_pInner->EnumStorages(); }
  IXStream* CreateStream(const char* name) override { return m_pInner->CreateStream(name); }
  IXStream* OpenStream(const char* name) override { return m_pInner->OpenStream(name); }
  LONG DestroyStream(const char* name) override { return m_pInner->DestroyStream(name); }
  void Commit() override { m_pInner->Commit(); }
  CTEnum<const char*>* EnumStreams() override { return m_pInner->EnumStreams(); }
  const WCHAR* GetName() override { return m_url; }

  int InternalQueryInterface(const std::type_info& type, void** out) override {
    return m_pInner->QueryInterface(type, out);
  }

 private:
  IXStorage* m_pInner;
  CXStringW m_url;
  [[maybe_unused]] int m_readOnly;  // the open mode, kept as the record has it
  CXStringW m_local;
};

}  // namespace

IXStorage* open_UrlStorage(const WCHAR* url, const WCHAR* localName, int readOnly) {
  CXStringW local = localName && *localName ? CXStringW(localName) : CXStringW(Fio_GetTempFileName());
  if ((local.GetLength() == 0) || !url || !Fio_DownloadToFile(url, local)) {
    if (!(local.GetLength() == 0) && !(localName && *localName)) {
      try {
        Fio_DeleteFile(local);  // the empty temporary file made for the copy
      } catch (const CXException&) {
      }
    }
    throw CXFileException(ZRCAUSE_NETWORK, u"", ZRSTORAGEOP_OPEN);
  }
  IXStorage* inner = nullptr;
  try {
    inner = open_Storage(local, readOnly);
    return zr::Allocating([&] { return new CUrlStorage(inner, url, readOnly, local); });
  } catch (...) {
    if (inner) inner->Release();
    try {
      Fio_DeleteFile(local);
    } catch (const CXException&) {
    }
    throw;
  }
}
