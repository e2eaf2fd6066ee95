// storage/storage_internal.h - what the storage layer's files share
// (library internal): the compound-file result table, element-name
// conversion, and the compound-file stream CStream.
#pragma once

#include "pal/ole/objidl.h"
#include "streams/xstream_impl.h"
#include "zr/xstorage.h"

namespace zr {

// The CXFileException cause of a compound-file result code (the STG_E
// table; ZRCAUSE_BADFORMAT for a code it does not list).
DWORD StorageCauseOf(zrpal::HRESULT hr);

// Throws CXFileException(StorageCauseOf(hr), name, operation).
[[noreturn]] void ThrowStorageError(zrpal::HRESULT hr, const WCHAR* name, DWORD operation);

// An 8-bit element name in the system code page as UTF-16: at most
// kElementNameChars characters are converted, a longer name is cut there
// (the file refuses it anyway: its limit is 31). A null name is empty.
inline constexpr int kElementNameChars = 512;
struct CWideName {
  explicit CWideName(const char* name);
  WCHAR text[kElementNameChars + 1] = {};
};

// The access mode of a storage's flags, for opening (create false) or
// creating its elements and sub-storages.
DWORD StorageMode(unsigned int flags, bool create);

// The compound-file stream ("CStream"): the platform stream and its element
// name, of which the first kStreamNameBytes - 1 bytes are kept.
class CStream final : public CXStreamImpl {
 public:
  static constexpr int kStreamNameBytes = 64;

  // Takes over one reference of `stream`.
  CStream(zrpal::IStream* stream, const char* name);
  ~CStream() override;
  CStream(const CStream&) = delete;
  CStream& operator=(const CStream&) = delete;

  ULONG Read(void* buffer, int count) override;
  void Write(const void* buffer, int count) override;
  ULONG Seek(int offset, unsigned int origin) override;
  ULONG GetPosition() override;
  ULONG GetSize() override;
  const char* GetName() override;

  zrpal::IStream* GetPlatformStream() const { return m_pStream; }

 private:
  zrpal::IStream* m_pStream;
  char m_name[kStreamNameBytes];
};
static_assert(sizeof(char[CStream::kStreamNameBytes]) == 64, "the name array of the record");

}  // namespace zr
