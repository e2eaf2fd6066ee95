// params/textfile.cpp - CMemFile and the IXFile adapters of the parameter
// text (see params/textfile.h).
#include "params/textfile.h"

#include <climits>
#include <cstring>

#include "files/errors.h"
#include "files/typedops.h"
#include "zr/exception.h"
#include "zr/memfile.h"

namespace zr {

namespace {

constexpr std::uint64_t kMaxFileSize = 0xFFFFFFFF;

void CheckCount(int count) {
  if (count < 0) throw CXException(ZRCAUSE_INVALIDARG);
}

}  // namespace

// --- CMemFile --------------------------------------------------------------

CMemFile::CMemFile(ULONG growthStep) : m_heap(nullptr), m_step(growthStep) {
  if (growthStep == 0) throw CXException(ZRCAUSE_INVALIDARG);
  m_heap = new_MemoryHeap(0);
  if (!m_heap) throw CXBadAlloc();
}

CMemFile::~CMemFile() { m_heap->Release(); }

void CMemFile::Grow(std::uint64_t end) {
  const std::uint64_t steps = (end - m_size + m_step - 1) / m_step;
  const std::uint64_t size = m_size + steps * m_step;
  if (size > kMaxFileSize) ThrowFileError(ZRCAUSE_VOLUMEFULL, kName, ZRFILEOP_WRITE);
  if (size > m_capacity) {
    std::uint64_t capacity = std::uint64_t{m_capacity} * 2;
    if (capacity < size) capacity = size;
    if (capacity > kMaxFileSize) capacity = kMaxFileSize;
    // Both leave the old block as it was when they throw.
    void* block = m_data ? m_heap->Realloc(m_data, capacity) : m_heap->Alloc(capacity);
    m_data = static_cast<BYTE*>(block);
    m_capacity = capacity;
  }
  m_size = static_cast<ULONG>(size);
}

ULONG CMemFile::Read(void* buffer, int count) {
  CheckCount(count);
  if (!buffer || count == 0 || m_position >= m_size) return 0;
  ULONG n = static_cast<ULONG>(count);
  if (n > m_size - m_position) n = m_size - m_position;
  std::memcpy(buffer, m_data + m_position, n);
  m_position += n;
  return n;
}

void CMemFile::Write(const void* buffer, int count) {
  CheckCount(count);
  if (!buffer || count == 0) return;
  const std::uint64_t end = std::uint64_t{m_position} + static_cast<ULONG>(count);
  if (end > m_size) Grow(end);
  std::memcpy(m_data + m_position, buffer, static_cast<std::size_t>(count));
  m_position = static_cast<ULONG>(end);
}

ULONG CMemFile::Seek(int offset, unsigned int origin) {
  std::int64_t target;
  if (!zr::SeekTarget(offset, origin, m_position, m_size, &target))
    ThrowFileError(ZRCAUSE_INVALIDARG, kName, ZRFILEOP_READ);
  if (target > m_size) target = m_size;
  m_position = static_cast<ULONG>(target);
  return m_position;
}

BYTE CMemFile::ReadByte() { return FileReadByte(*this); }
WORD CMemFile::ReadWord() { return FileReadWord(*this); }
DWORD CMemFile::ReadDword() { return FileReadDword(*this); }
double CMemFile::ReadDouble() { return FileReadDouble(*this); }
void CMemFile::WriteWord(WORD value) { FileWriteWord(*this, value); }
void CMemFile::WriteDword(DWORD value) { FileWriteDword(*this, value); }
void CMemFile::WriteDouble(double value) { FileWriteDouble(*this, value); }
void CMemFile::WriteStringW(const WCHAR* text) { FileWriteText(*this, text); }
void CMemFile::WriteString(const char* text) { FileWriteText(*this, text); }
int CMemFile::ReadLineW(WCHAR* buffer, int max) { return FileReadLine(*this, buffer, max); }

int CMemFile::ReadLine(char* buffer, int max) {
  if (!buffer) throw CXException(ZRCAUSE_INVALIDARG);
  if (max < 0) max = 0;
  const ULONG left = m_size - m_position;
  const ULONG n = left < static_cast<ULONG>(max) ? left : static_cast<ULONG>(max);
  const BYTE* start = m_data + m_position;
  const void* feed = n ? std::memchr(start, '\n', n) : nullptr;
  if (!feed) {  // max units, or the data ended
    if (n) std::memcpy(buffer, start, n);
    buffer[n] = 0;
    m_position += n;
    return static_cast<int>(n);
  }
  const int before = static_cast<int>(static_cast<const BYTE*>(feed) - start);
  std::memcpy(buffer, start, static_cast<std::size_t>(before) + 1);
  m_position += static_cast<ULONG>(before) + 1;
  buffer[before < max - 1 ? before + 1 : before] =
      0;  // the newline stays unless it took the last place
  return before;
}

// --- Adapters --------------------------------------------------------------

void CXFileTextSink::Write(const char* data, std::size_t n) {
  while (n > 0) {
    const std::size_t piece = n < static_cast<std::size_t>(INT_MAX) ? n : INT_MAX;
    m_file.Write(data, static_cast<int>(piece));
    data += piece;
    n -= piece;
  }
}

std::unique_ptr<CParamTextSource> CFioIncludeOpener::Open(const CXStringW& path) {
  if (Fio_IsMemFile(path)) return nullptr;
  IXFile* file = nullptr;
  try {
    file = Fio_Open(path, 0);
  } catch (const CXFileException&) {
    return nullptr;
  }
  if (!file) return nullptr;
  try {
    return std::make_unique<CXFileTextSource>(file);
  } catch (...) {
    file->Release();
    throw;
  }
}

}  // namespace zr
