// storage/oleadapter.cpp - the adapters between the library's streams and
// storages and the platform's structured-storage objects (zr/xstorage.h):
// COLEBasedXStream over a platform stream, and the four exported functions.
//
// COLEBasedXStream keeps the platform stream's own semantics visible: Read
// answers 1 or 0 (whole or not), the typed readers do not look for the end,
// GetPosition and GetSize answer 0, and the line readers read back what the
// string writers wrote (a NUL-terminated string, not a text line). The
// variant record needs real byte counts and the remaining length, so it is
// read and written through a CStream over the same platform stream: the
// bytes are those of every other stream of the library.
#include <array>
#include <cstring>
#include <new>
#include <string>

#include "storage/storage_internal.h"
#include "streams/byteorder.h"

namespace zr {

namespace {

using namespace zrpal;

class COLEBasedXStream final : public CZRUnknownImpl<IXStream> {
 public:
  // Adds one reference to `stream` for itself and one for the record view.
  explicit COLEBasedXStream(IStream* stream) : m_pStream(stream), m_records(nullptr) {
    m_pStream->AddRef();
    m_pStream->AddRef();
    try {
      m_records = new CStream(m_pStream, "");
    } catch (...) {
      m_pStream->Release();
      m_pStream->Release();
      throw;
    }
  }
  ~COLEBasedXStream() override {
    m_records->Release();
    (void)m_pStream->Commit(STGC_DEFAULT);
    m_pStream->Release();
  }
  COLEBasedXStream(const COLEBasedXStream&) = delete;
  COLEBasedXStream& operator=(const COLEBasedXStream&) = delete;

  ULONG Read(void* buffer, int count) override {
    if (count < 0 || (count > 0 && !buffer)) return 0;  // nothing read, as a failed call
    ULONG read = 0;
    const HRESULT hr = m_pStream->Read(buffer, static_cast<ULONG>(count), &read);
    return SUCCEEDED(hr) && read == static_cast<ULONG>(count) ? 1 : 0;
  }
  void Write(const void* buffer, int count) override {
    if (count > 0 && buffer) Put(buffer, static_cast<ULONG>(count));
  }
  ULONG Seek(int offset, unsigned int origin) override {
    ULARGE_INTEGER position{};
    (void)m_pStream->Seek(LARGE_INTEGER{offset}, origin, &position);
    return static_cast<ULONG>(position.QuadPart);
  }
  ULONG GetPosition() override { return 0; }
  BYTE ReadByte() override { return Get<BYTE>(); }
  WORD ReadWord() override { return LoadLE16(GetBytes<2>().data()); }
  DWORD ReadDword() override { return LoadLE32(GetBytes<4>().data()); }
  double ReadDouble() override { return LoadLEDouble(GetBytes<8>().data()); }
  int ReadLineW(WCHAR* buffer, int max) override { return ReadString(buffer, max); }
  int ReadLine(char* buffer, int max) override { return ReadString(buffer, max); }
  int ReadVariant(tagZRVARIANT* var) override { return m_records->ReadVariant(var); }
  void WriteVariant(const tagZRVARIANT* var) override { m_records->WriteVariant(var); }
  void WriteByte(BYTE value) override { Put(&value, 1); }
  void WriteWord(WORD value) override {
    BYTE b[2];
    StoreLE16(b, value);
    Put(b, sizeof b);
  }
  void WriteDword(DWORD value) override {
    BYTE b[4];
    StoreLE32(b, value);
    Put(b, sizeof b);
  }
  void WriteDouble(double value) override {
    BYTE b[8];
    StoreLEDouble(b, value);
    Put(b, sizeof b);
  }
  void WriteStringW(const WCHAR* text) override {
    if (!text) text = u"";
    const std::size_t units = std::char_traits<WCHAR>::length(text) + 1;
    std::u16string le(text, units);
    UnitsFromLE(le.data(), units);  // the swap is its own inverse
    Put(le.data(), static_cast<ULONG>(units * 2));
  }
  void WriteString(const char* text) override {
    if (!text) text = "";
    Put(text, static_cast<ULONG>(std::strlen(text) + 1));
  }
  ULONG GetSize() override { return 0; }
  const char* GetName() override { return ""; }

 private:
  // The platform's result of a write is not reported.
  void Put(const void* data, ULONG n) { (void)m_pStream->Write(data, n, nullptr); }

  template <std::size_t N>
  std::array<BYTE, N> GetBytes() {
    std::array<BYTE, N> b{};
    ULONG read = 0;
    (void)m_pStream->Read(b.data(), N, &read);
    return b;
  }
  template <class T>
  T Get() {
    return static_cast<T>(GetBytes<1>()[0]);
  }

  // Units until a NUL has been stored (the count with it) or max units
  // have been stored without one (max, nothing added).
  template <class C>
  int ReadString(C* buffer, int max) {
    if (max < 1) return 0;
    for (int i = 0; i < max; ++i) {
      const auto bytes = GetBytes<sizeof(C)>();
      buffer[i] = static_cast<C>(sizeof(C) == 1 ? bytes[0] : LoadLE16(bytes.data()));
      if (buffer[i] == 0) return i + 1;
    }
    return max;
  }

  IStream* m_pStream;  // one reference
  CStream* m_records;  // the variant records' view of the same stream
};

}  // namespace

}  // namespace zr

IXStream* new_StreamByOleStream(void* platformStream) {
  auto* stream = static_cast<zrpal::IStream*>(platformStream);
  if (!stream) return nullptr;
  zrpal::ULARGE_INTEGER ignored{};
  (void)stream->Seek(zrpal::LARGE_INTEGER{0}, zrpal::STREAM_SEEK_SET, &ignored);
  try {
    return new zr::COLEBasedXStream(stream);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void* Stream_GetOLEStream(IXStream* stream) {
  auto* own = dynamic_cast<zr::CStream*>(stream);
  if (!own) return nullptr;
  own->GetPlatformStream()->AddRef();
  return own->GetPlatformStream();
}

void* Storage_GetOLEStorage(IXStorage* storage) {
  auto* own = dynamic_cast<CStorage*>(storage);
  if (!own) return nullptr;
  auto* platform = static_cast<zrpal::IStorage*>(own->GetPlatformStorage());
  platform->AddRef();
  return platform;
}

IXStorage* new_StorageByOleStorage(void* platformStorage) {
  auto* platform = static_cast<zrpal::IStorage*>(platformStorage);
  if (!platform) return nullptr;
  zrpal::STATSTG stat{};
  const zrpal::HRESULT hr = platform->Stat(&stat, zrpal::STATFLAG_NONAME);
  if (zrpal::FAILED(hr)) zr::ThrowStorageError(hr, u"", ZRSTORAGEOP_OPEN);
  unsigned flags = 0;
  if (stat.grfMode & zrpal::STGM_TRANSACTED) flags |= ZRSTORAGE_TRANSACTED;
  if (!(stat.grfMode & (zrpal::STGM_WRITE | zrpal::STGM_READWRITE))) flags |= ZRSTORAGE_READONLY;
  platform->AddRef();
  try {
    return zr::Allocating([&] { return new CStorage(platform, u"", flags, nullptr); });
  } catch (...) {
    platform->Release();
    throw;
  }
}
