// streams/memstream.cpp - the memory stream CMemStream and its factories.
#include "streams/memstream.h"

#include <cstdint>
#include <new>

#include "streams/seek.h"

namespace {

// Positions, sizes and capacities are 32-bit.
constexpr std::uint64_t kMaxBytes = 0xFFFFFFFFu;

}  // namespace

void CMemStream::Grow(ULONG needed) {
  const ULONG capacity = zr::GrownCapacity(needed, m_growStep, m_capacity);
  void* grown = zrpal::realloc(m_pBuffer, capacity);
  if (!grown) throw CXBadAlloc();  // the old buffer stays
  m_pBuffer = static_cast<BYTE*>(grown);
  m_capacity = capacity;
}

void CMemStream::WriteGrowing(const void* buffer, int count) {
  if (count < 0 || (count > 0 && !buffer)) throw CXException(ZRCAUSE_INVALIDARG);
  const std::uint64_t needed = std::uint64_t{m_position} + static_cast<unsigned>(count);
  if (needed > kMaxBytes) ThrowStreamError(ZRCAUSE_VOLUMEFULL, ZRSTREAMOP_WRITE);
  const BYTE* source = static_cast<const BYTE*>(buffer);
  if (needed > m_capacity) {
    // Bytes written from the stream's own buffer move with it.
    const bool own = InBuffer(source);
    const std::ptrdiff_t offset = own ? source - m_pBuffer : 0;
    Grow(static_cast<ULONG>(needed));
    if (own) source = m_pBuffer + offset;
  }
  zr::MoveBytes(m_pBuffer + m_position, source, count);
  m_position = static_cast<ULONG>(needed);
  if (m_position > m_size) m_size = m_position;
  CheckInvariants();
  PollProgress();
}

ULONG CMemStream::Read(void* buffer, int count) {
  if (count < 0 || (count > 0 && !buffer)) throw CXException(ZRCAUSE_INVALIDARG);
  if (m_position >= m_size) return 0;
  ULONG n = static_cast<ULONG>(count);
  if (n > m_size - m_position) n = m_size - m_position;
  zr::MoveBytes(static_cast<BYTE*>(buffer), m_pBuffer + m_position, static_cast<int>(n));
  m_position += n;
  PollProgress();
  return n;
}

ULONG CMemStream::Seek(int offset, unsigned int origin) {
  if (!zr::SeekTarget(offset, origin, m_position, m_size, &m_position))
    ThrowStreamError(ZRCAUSE_INVALIDARG, ZRSTREAMOP_SEEK);
  return m_position;
}

void CMemStream::SetData(const void* data, unsigned int length) {
  BYTE* fresh = nullptr;
  if (length > 0) {
    fresh = static_cast<BYTE*>(zrpal::malloc(length));
    if (!fresh) throw CXBadAlloc();
    if (data)
      std::memcpy(fresh, data, length);  // before the old buffer goes: data may lie in it
    else
      std::memset(fresh, 0, length);
  }
  zrpal::free(m_pBuffer);
  m_pBuffer = fresh;
  m_capacity = m_size = length;
  // The growth rule divides by the step, so it never becomes 0.
  m_growStep = length > 0 ? length : zr::kMemStreamGrowStep;
  if (m_position > m_size) m_position = m_size;
  CheckInvariants();
}

IXStream* new_StreamOnMemory() { return new_StreamOnMemory(nullptr); }

IXStream* new_StreamOnMemory(ZRIFC::IProgress* progress) {
  return new (std::nothrow) CMemStream(progress);
}
