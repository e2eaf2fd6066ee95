// streams/emptystream.cpp - the empty stream CEmptyStream: a sink of size 1
// that reads zeros and accepts every write.
#include <cstdint>
#include <cstring>
#include <new>

#include "streams/seek.h"
#include "streams/xstream_impl.h"
#include "zr/exception.h"
#include "zr/variant.h"
#include "zr/xstream.h"

namespace {

constexpr ULONG kEmptyStreamSize = 1;

}  // namespace

// Every operation is its own: none reaches the shared typed operations,
// which would read through Read or hand an object to WriteObjectToXStream.
class CEmptyStream final : public zr::CXStreamImpl {
 public:
  ULONG Read(void* buffer, int count) override {
    if (buffer && count > 0) std::memset(buffer, 0, static_cast<std::size_t>(count));
    return 1;
  }
  void Write(const void*, int) override {}
  ULONG Seek(int offset, unsigned int origin) override;
  ULONG GetPosition() override { return m_position; }

  BYTE ReadByte() override { return 0; }
  WORD ReadWord() override { return 0; }
  DWORD ReadDword() override { return 0; }
  double ReadDouble() override { return 0.0; }
  int ReadLineW(WCHAR* buffer, int) override {
    if (buffer) buffer[0] = u'\0';
    return 1;
  }
  int ReadLine(char* buffer, int) override {
    if (buffer) buffer[0] = '\0';
    return 1;
  }
  int ReadVariant(tagZRVARIANT* var) override {
    ZRVariantClear(var);
    return 1;
  }
  void WriteVariant(const tagZRVARIANT*) override {}
  void WriteByte(BYTE) override {}
  void WriteWord(WORD) override {}
  void WriteDword(DWORD) override {}
  void WriteDouble(double) override {}
  void WriteStringW(const WCHAR*) override {}
  void WriteString(const char*) override {}

  ULONG GetSize() override { return kEmptyStreamSize; }
  const char* GetName() override { return "Empty stream"; }

 private:
  ULONG m_position = 0;  // 0 or 1
};

ULONG CEmptyStream::Seek(int offset, unsigned int origin) {
  if (!zr::SeekTarget(offset, origin, m_position, kEmptyStreamSize, &m_position))
    ThrowStreamError(ZRCAUSE_INVALIDARG, ZRSTREAMOP_SEEK);
  return m_position;
}

IXStream* new_EmptyStream() { return new (std::nothrow) CEmptyStream(); }
