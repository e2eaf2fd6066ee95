// streams/memstream.h - the memory stream CMemStream (library internal;
// callers make memory streams with new_StreamOnMemory).
#pragma once

#include <cassert>
#include <cstdint>
#include <cstring>
#include <functional>
#include <typeinfo>

#include "pal/crtmem.h"
#include "streams/typedops.h"
#include "streams/xstream_impl.h"
#include "zr/exception.h"
#include "zr/xstream.h"

namespace zr {

inline constexpr ULONG kMemStreamGrowStep = 4096;

// Copies of up to this many bytes (the typed values) are done inline: a call
// into the C run-time would cost more than the copy.
inline constexpr int kSmallCopy = 16;

// Copies n bytes; the ranges may overlap.
inline void MoveBytes(BYTE* dest, const BYTE* source, int n) {
  if (n <= kSmallCopy) {
    BYTE staged[kSmallCopy];
    for (int i = 0; i < n; ++i) staged[i] = source[i];
    for (int i = 0; i < n; ++i) dest[i] = staged[i];
  } else {
    std::memmove(dest, source, static_cast<std::size_t>(n));
  }
}

// The capacity the growth rule gives a buffer of `capacity` bytes that must
// hold `needed`: (needed / step + 1) x step + capacity, at most 4 GiB - 1.
inline ULONG GrownCapacity(ULONG needed, ULONG step, ULONG capacity) {
  assert(step > 0);
  const std::uint64_t grown = (std::uint64_t{needed} / step + 1) * step + capacity;
  return grown > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<ULONG>(grown);
}

}  // namespace zr

// A stream over one growable buffer. The buffer is a C run-time block
// (malloc/realloc/free of pal/crtmem.h): growing keeps the bytes, and a
// large block may be moved by the system without a copy.
class CMemStream final : public zr::CXStreamImpl, public IMemBlock {
 public:
  explicit CMemStream(ZRIFC::IProgress* progress) : m_pProgress(progress) {
    if (m_pProgress) m_pProgress->AddRef();
  }

  ~CMemStream() override {
    zrpal::free(m_pBuffer);
    if (m_pProgress) m_pProgress->Release();
  }

  // One count and one identity for both interfaces.
  ULONG Release() override { return CXStreamImpl::Release(); }
  int QueryInterface(const std::type_info& type, void** out) override {
    return CXStreamImpl::QueryInterface(type, out);
  }
  ULONG AddRef() override { return CXStreamImpl::AddRef(); }

  int InternalQueryInterface(const std::type_info& type, void** out) override {
    if (type != typeid(IMemBlock)) return CXStreamImpl::InternalQueryInterface(type, out);
    if (out) {
      *out = static_cast<IMemBlock*>(this);
      AddRef();
    }
    return 1;
  }

  ULONG Read(void* buffer, int count) override;
  // The common case, room in the buffer, is inline, so that the typed
  // writers below copy their bytes without a further call.
  void Write(const void* buffer, int count) override {
    if (count >= 0 && buffer && static_cast<ULONG>(count) <= m_capacity - m_position) {
      zr::MoveBytes(m_pBuffer + m_position, static_cast<const BYTE*>(buffer), count);
      m_position += static_cast<ULONG>(count);
      if (m_position > m_size) m_size = m_position;
      PollProgress();
      return;
    }
    WriteGrowing(buffer, count);
  }
  ULONG Seek(int offset, unsigned int origin) override;
  ULONG GetPosition() override { return m_position; }
  // Serves IXStream and IMemBlock alike.
  ULONG GetSize() override { return m_size; }
  const char* GetName() override { return "Memory stream"; }

  // The shared fixed-width operations, instantiated over this final class:
  // the same bytes, with direct calls to Read and Write.
  BYTE ReadByte() override { return zr::ReadByteOf(*this); }
  WORD ReadWord() override { return zr::ReadWordOf(*this); }
  DWORD ReadDword() override { return zr::ReadDwordOf(*this); }
  double ReadDouble() override { return zr::ReadDoubleOf(*this); }
  void WriteByte(BYTE value) override { zr::WriteByteTo(*this, value); }
  void WriteWord(WORD value) override { zr::WriteWordTo(*this, value); }
  void WriteDword(DWORD value) override { zr::WriteDwordTo(*this, value); }
  void WriteDouble(double value) override { zr::WriteDoubleTo(*this, value); }

  void* GetData() override { return m_capacity ? m_pBuffer : nullptr; }
  void SetData(const void* data, unsigned int length) override;

  // For white-box tests of the growth rule.
  ULONG GetCapacity() const { return m_capacity; }
  ULONG GetGrowStep() const { return m_growStep; }

 private:
  void CheckInvariants() const {
    assert(m_position <= m_size && m_size <= m_capacity);
    assert((m_pBuffer == nullptr) == (m_capacity == 0));
    assert(m_growStep > 0);
  }
  // Write when the buffer must grow, and every unusual argument.
  void WriteGrowing(const void* buffer, int count);
  // Makes the capacity at least `needed` by the growth rule.
  void Grow(ULONG needed);
  void PollProgress() {
    if (m_pProgress && m_pProgress->CheckCancel()) throw CXException(ZRCAUSE_CANCELLED);
  }
  bool InBuffer(const void* p) const {
    const std::less<const void*> before;
    return m_pBuffer && !before(p, m_pBuffer) && before(p, m_pBuffer + m_capacity);
  }

  // position <= size <= capacity; the buffer is null exactly when the
  // capacity is 0; the grow step is never 0.
  BYTE* m_pBuffer = nullptr;
  ULONG m_capacity = 0;
  ULONG m_size = 0;
  ULONG m_growStep = zr::kMemStreamGrowStep;
  ULONG m_position = 0;
  ZRIFC::IProgress* m_pProgress;  // one reference held, or null
};
