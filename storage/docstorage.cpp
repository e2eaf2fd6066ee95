// storage/docstorage.cpp - the document storage CIXDocStorage and the
// document stream CIXDocStream (zr/docstorage.h).
//
// Design: both are pure forwarders. Invariants:
//   - a document storage holds the storage it wraps; a root (m_pRoot null)
//     holds the progress object, a descendant holds its root, which holds
//     the progress object: every stream polls the root's one progress
//     object;
//   - a document stream holds the stream it wraps and the root document
//     storage (may be null), and its interface registry holds what callers
//     registered on it;
//   - nothing is written to the wrapped storage by these objects themselves.
#include "zr/docstorage.h"

#include <new>

#include "zr/ifacereg.h"

namespace zr {

namespace {

// The progress interface is exported with its type information (not only
// its name), so that callers' queries and the library's meet one object;
// this reference makes the compiler emit it here.
[[gnu::used]] constinit const std::type_info* const kProgressType = &typeid(ZRIFC::IProgress);

// The progress range a root document storage announces.
constexpr int kRangeLow = 0;
constexpr int kRangeHigh = 100;

class CIXDocStorage final : public CZRUnknownImpl<IXStorage> {
 public:
  // Holds `storage`, `root` and (for a root) `progress`.
  CIXDocStorage(IXStorage* storage, CIXDocStorage* root, ZRIFC::IProgress* progress, DWORD flags)
      : m_pStorage(storage), m_pRoot(root), m_pProgress(root ? nullptr : progress), m_flags(flags) {
    m_pStorage->AddRef();
    if (m_pRoot) m_pRoot->AddRef();
    if (m_pProgress) {
      m_pProgress->AddRef();
      m_pProgress->SetRange(kRangeLow, kRangeHigh);
      m_low = kRangeLow;
      m_high = kRangeHigh;
    }
  }
  ~CIXDocStorage() override {
    m_pStorage->Release();
    if (m_pRoot) m_pRoot->Release();
    if (m_pProgress) m_pProgress->Release();
  }
  CIXDocStorage(const CIXDocStorage&) = delete;
  CIXDocStorage& operator=(const CIXDocStorage&) = delete;

  // The root document storage: this one when it is a root.
  CIXDocStorage* Root() { return m_pRoot ? m_pRoot : this; }
  ZRIFC::IProgress* Progress() { return Root()->m_pProgress; }
  IXStorage* Wrapped() { return m_pStorage; }

  // Polls the root's progress object; cancel throws.
  void Poll() {
    ZRIFC::IProgress* progress = Progress();
    if (progress && progress->CheckCancel()) throw CXException(ZRCAUSE_CANCELLED);
  }

  IXStorage* CreateStorage(const char* name) override {
    return WrapStorage(m_pStorage->CreateStorage(name));
  }
  IXStorage* OpenStorage(const char* name) override {
    return WrapStorage(m_pStorage->OpenStorage(name));
  }
  LONG DestroyStorage(const char* name) override { return m_pStorage->DestroyStorage(name); }
  IXStorage* GetParentStorage() override { return m_pStorage->GetParentStorage(); }
  CTEnum<const char*>* EnumStorages() override { return m_pStorage->EnumStorages(); }
  IXStream* CreateStream(const char* name) override {
    return WrapStream(m_pStorage->CreateStream(name));
  }
  IXStream* OpenStream(const char* name) override {
    return WrapStream(m_pStorage->OpenStream(name));
  }
  LONG DestroyStream(const char* name) override { return m_pStorage->DestroyStream(name); }
  void Commit() override { m_pStorage->Commit(); }
  CTEnum<const char*>* EnumStreams() override { return m_pStorage->EnumStreams(); }
  const WCHAR* GetName() override { return m_pStorage->GetName(); }

  int InternalQueryInterface(const std::type_info& type, void** out) override {
    if (type == typeid(ZRIFC::IProgress)) {
      ZRIFC::IProgress* progress = Progress();
      if (progress) return progress->QueryInterface(type, out);
      if (out) *out = nullptr;
      return 0;
    }
    return CZRUnknownImpl<IXStorage>::InternalQueryInterface(type, out);
  }

 private:
  IXStorage* WrapStorage(IXStorage* storage);
  IXStream* WrapStream(IXStream* stream);

  IXStorage* m_pStorage;
  CIXDocStorage* m_pRoot;
  ZRIFC::IProgress* m_pProgress;
  int m_low = 0;
  int m_high = 0;
  DWORD m_flags;
};

class CIXDocStream final : public CZRUnknownImpl<IXStream>,
                           public IDocStrorageInfo,
                           public IRegisterIface {
 public:
  CIXDocStream(IXStream* stream, CIXDocStorage* root, DWORD flags)
      : m_pStream(stream), m_pRoot(root), m_flags(flags) {
    m_pStream->AddRef();
    if (m_pRoot) m_pRoot->AddRef();
  }
  ~CIXDocStream() override {
    m_registry.Clear();
    m_pStream->Release();
    if (m_pRoot) m_pRoot->Release();
  }
  CIXDocStream(const CIXDocStream&) = delete;
  CIXDocStream& operator=(const CIXDocStream&) = delete;

  // One count for the three interface tables.
  ULONG Release() override { return InternalRelease(); }
  int QueryInterface(const std::type_info& type, void** out) override {
    return InternalQueryInterface(type, out);
  }
  ULONG AddRef() override { return InternalAddRef(); }

  int InternalQueryInterface(const std::type_info& type, void** out) override {
    if (CZRUnknownImpl<IXStream>::InternalQueryInterface(type, out)) return 1;
    if (type == typeid(IRegisterIface)) return Answer(static_cast<IRegisterIface*>(this), out);
    if (type == typeid(IXStorage) || type == typeid(ZRIFC::IProgress)) {
      if (m_pRoot) return m_pRoot->QueryInterface(type, out);
      if (out) *out = nullptr;
      return 0;
    }
    if (type == typeid(IDocStrorageInfo)) return Answer(static_cast<IDocStrorageInfo*>(this), out);
    return m_registry.QueryInterface(type, out);
  }

  // IXStream: forwarded; reads poll after, typed writes before.
  ULONG Read(void* buffer, int count) override { return After(m_pStream->Read(buffer, count)); }
  void Write(const void* buffer, int count) override {
    m_pStream->Write(buffer, count);
    Poll();
  }
  ULONG Seek(int offset, unsigned int origin) override {
    return After(m_pStream->Seek(offset, origin));
  }
  ULONG GetPosition() override { return m_pStream->GetPosition(); }
  BYTE ReadByte() override { return After(m_pStream->ReadByte()); }
  WORD ReadWord() override { return After(m_pStream->ReadWord()); }
  DWORD ReadDword() override { return After(m_pStream->ReadDword()); }
  double ReadDouble() override { return After(m_pStream->ReadDouble()); }
  int ReadLineW(WCHAR* buffer, int max) override {
    return After(m_pStream->ReadLineW(buffer, max));
  }
  int ReadLine(char* buffer, int max) override { return After(m_pStream->ReadLine(buffer, max)); }
  int ReadVariant(tagZRVARIANT* var) override { return After(m_pStream->ReadVariant(var)); }
  void WriteVariant(const tagZRVARIANT* var) override { Poll(), m_pStream->WriteVariant(var); }
  void WriteByte(BYTE value) override { Poll(), m_pStream->WriteByte(value); }
  void WriteWord(WORD value) override { Poll(), m_pStream->WriteWord(value); }
  void WriteDword(DWORD value) override { Poll(), m_pStream->WriteDword(value); }
  void WriteDouble(double value) override { Poll(), m_pStream->WriteDouble(value); }
  void WriteStringW(const WCHAR* text) override { Poll(), m_pStream->WriteStringW(text); }
  void WriteString(const char* text) override { Poll(), m_pStream->WriteString(text); }
  ULONG GetSize() override { return m_pStream->GetSize(); }
  const char* GetName() override { return m_pStream->GetName(); }

  // IDocStrorageInfo.
  int GetStorage(IXStorage** storage) override {
    return Hand(m_pRoot ? m_pRoot->Wrapped() : nullptr, storage);
  }
  int Reserved4() override { return 0; }
  int GetDocStorage(IXStorage** storage) override { return Hand<IXStorage>(m_pRoot, storage); }
  int Reserved6() override { return 0; }
  int GetStream(IXStream** stream) override { return Hand(m_pStream, stream); }
  int Reserved8() override { return 0; }
  DWORD GetFlags() override { return m_flags; }

  // IRegisterIface.
  int RegisterInterface(IZRUnknown* object, const std::type_info& type, ULONG strong) override {
    return m_registry.RegisterInterface(object, type, strong);
  }

 private:
  void Poll() {
    if (m_pRoot) m_pRoot->Poll();
  }
  template <class T>
  T After(T result) {
    Poll();
    return result;
  }
  template <class T>
  int Answer(T* self, void** out) {
    if (out) {
      *out = self;
      AddRef();
    }
    return 1;
  }
  template <class T>
  static int Hand(T* object, T** out) {
    if (!out) return 0;
    *out = object;
    if (!object) return 0;
    object->AddRef();
    return 1;
  }

  IXStream* m_pStream;
  CIXDocStorage* m_pRoot;
  DWORD m_flags;
  CZRInterfaceRegistry m_registry;
};

IXStorage* CIXDocStorage::WrapStorage(IXStorage* storage) {
  if (!storage) return nullptr;
  CIXDocStorage* doc = nullptr;
  try {
    doc = Allocating([&] { return new CIXDocStorage(storage, Root(), nullptr, m_flags); });
  } catch (...) {
    storage->Release();
    throw;
  }
  storage->Release();  // the document storage holds its own
  return doc;
}

IXStream* CIXDocStorage::WrapStream(IXStream* stream) {
  if (!stream) return nullptr;
  CIXDocStream* doc = nullptr;
  try {
    doc = Allocating([&] { return new CIXDocStream(stream, Root(), m_flags); });
  } catch (...) {
    stream->Release();
    throw;
  }
  stream->Release();
  return static_cast<CZRUnknownImpl<IXStream>*>(doc);
}

}  // namespace

}  // namespace zr

int new_CIXDocStorage(IXStorage* storage, ZRIFC::IProgress* progress, IXStorage** result,
                      int flags) {
  if (!result) return 0;
  if (!storage) return *result = nullptr, 0;
  *result =
      new (std::nothrow) zr::CIXDocStorage(storage, nullptr, progress, static_cast<DWORD>(flags));
  return 1;
}

int new_CIXDocStream(IXStorage* docStorage, IXStream* stream, IXStream** result, int flags) {
  if (!result) return 0;
  if (!stream) return *result = nullptr, 0;
  // The run-time type check: any other storage gives no root.
  auto* doc = dynamic_cast<zr::CIXDocStorage*>(docStorage);
  auto* made = new (std::nothrow)
      zr::CIXDocStream(stream, doc ? doc->Root() : nullptr, static_cast<DWORD>(flags));
  *result = made ? static_cast<CZRUnknownImpl<IXStream>*>(made) : nullptr;
  return 1;
}
