// files/diskfile.cpp - CXFile, the disk file read and written through a
// sliding window onto a mapping of the file (see zr/xfile.h).
//
// Invariants, between calls:
//   - m_hFile is open for the object's life; m_hMapping and m_pView are
//     either both set or both null (only an empty file opened for reading
//     has neither, and then nothing is ever mapped);
//   - m_viewOffset is a multiple of m_viewSize, which is twice the
//     allocation granularity; the view covers ViewLength() bytes from it;
//   - reading: the mapping covers the file as it was when opened, and the
//     view never reaches past m_size;
//   - writing: the mapping, and the file on disk, reach at least to the end
//     of the view (m_viewOffset + m_viewSize); m_size is the logical size,
//     the largest position written to, and the file is cut to it on close.
// Every copy through the view is bracketed by the view guard's fault count
// (pal/files/mapping.h): a fault becomes cause 12.
#include <cstddef>
#include <cstring>

#include "files/errors.h"
#include "files/typedops.h"
#include "pal/error.h"
#include "pal/files/file.h"
#include "pal/files/filesystem.h"
#include "pal/files/mapping.h"
#include "pal/handle.h"
#include "pal/wstr.h"
#include "zr/exception.h"
#include "zr/filelock.h"
#include "zr/xfile.h"

template class CZRUnknownImpl<IXFile>;
template class CZRUnknownImpl<IXOutFile>;

namespace {

constexpr ULONG kMaxPosition = 0xFFFFFFFF;
constexpr int kAccessRead = 1;
constexpr int kAccessWrite = 2;
constexpr WCHAR kTempPrefix[] = u"ZRPR";

// The bytes the view covers (see the invariants above). A free function,
// so that the hot paths inline it.
inline ULONG ViewLengthOf(int access, int mode, ULONG viewOffset, ULONG viewSize, ULONG size) {
  if (access == kAccessWrite) return viewSize;
  if (viewOffset == 0 && (mode & ZRFILE_EXISTING)) return size;  // the whole file
  const ULONG rest = size - viewOffset;
  return rest < viewSize ? rest : viewSize;
}

ULONG ViewSizeOfSystem() {
  zrpal::SYSTEM_INFO info;
  zrpal::GetSystemInfo(&info);
  return 2 * info.dwAllocationGranularity;
}

}  // namespace

// The record other modules see: table pointer, the base count (left at 1),
// then the fields in the documented order. offsetof on a class with a table
// is conditionally supported; GCC and clang give the Itanium ABI's offsets.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
struct CXFileLayout {
  static_assert(offsetof(CXFile, m_cRef) == 8);
  static_assert(offsetof(CXFile, m_hFile) == 16);
  static_assert(offsetof(CXFile, m_hMapping) == 24);
  static_assert(offsetof(CXFile, m_position) == 32);
  static_assert(offsetof(CXFile, m_size) == 36);
  static_assert(offsetof(CXFile, m_pView) == 40);
  static_assert(offsetof(CXFile, m_viewOffset) == 48);
  static_assert(offsetof(CXFile, m_viewSize) == 52);
  static_assert(offsetof(CXFile, m_mode) == 56);
  static_assert(offsetof(CXFile, m_access) == 60);
  static_assert(offsetof(CXFile, m_cOwnRef) == 64);
  static_assert(offsetof(CXFile, m_name) == 68);
  static_assert(sizeof(CXFile) == 1096);
};
#pragma GCC diagnostic pop

CXFile::CXFile(const WCHAR* path, int mode)
    : m_hFile(nullptr),
      m_hMapping(nullptr),
      m_position(0),
      m_size(0),
      m_pView(nullptr),
      m_viewOffset(0),
      m_viewSize(ViewSizeOfSystem()),
      m_mode(mode),
      m_access(mode & ZRFILE_WRITE ? kAccessWrite : kAccessRead),
      m_cOwnRef(1),
      m_name{} {
  if (!path) {
    WCHAR folder[zrpal::MAX_PATH];
    const DWORD n = zrpal::GetTempPathW(zrpal::MAX_PATH, folder);
    if (n == 0 || n >= zrpal::MAX_PATH || !zrpal::GetTempFileNameW(folder, kTempPrefix, 0, m_name))
      zr::ThrowLastFileError(u"", static_cast<DWORD>(m_access));
  } else {
    // Names longer than the field are refused, never cut.
    if (zrpal::wcslen(path) >= kNameChars)
      zr::ThrowFileError(ZRCAUSE_BADPATH, path, static_cast<DWORD>(m_access));
    zrpal::wcscpy(m_name, path);
  }
  Fio_ChangeNELock(m_name, true);
  try {
    Open();
  } catch (...) {
    CloseMapping();
    if (m_hFile) zrpal::CloseHandle(m_hFile);
    throw;
  }
}

void CXFile::Open() {
  using namespace zrpal;
  const DWORD hint = (m_mode & ZRFILE_RANDOM) ? FILE_FLAG_RANDOM_ACCESS : FILE_FLAG_SEQUENTIAL_SCAN;
  HANDLE h;
  if (m_access == kAccessWrite) {
    const DWORD kind = (m_mode & ZRFILE_TEMPORARY)
                           ? FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE
                           : FILE_ATTRIBUTE_ARCHIVE;
    h = CreateFileW(m_name, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                    (m_mode & ZRFILE_EXISTING) ? OPEN_EXISTING : CREATE_ALWAYS, hint | kind,
                    nullptr);
  } else {
    h = CreateFileW(m_name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, hint | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE,
                    nullptr);
  }
  if (h == INVALID_HANDLE_VALUE) ThrowLastError();
  m_hFile = h;
  SetLastError(ERROR_SUCCESS);
  const DWORD size = GetFileSize(h, nullptr);  // the low 32 bits only
  if (size == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) ThrowLastError();
  m_size = size;
  if (m_access == kAccessRead) {
    if (m_size == 0) return;  // no mapping, no view
    m_hMapping = CreateFileMappingW(h, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!m_hMapping) ThrowLastError();
    const SIZE_T first =
        (m_mode & ZRFILE_EXISTING) ? 0 : (m_size < m_viewSize ? m_size : m_viewSize);
    m_pView = static_cast<BYTE*>(MapViewOfFile(m_hMapping, FILE_MAP_READ, 0, 0, first));
  } else {
    // One view long: a smaller file grows to it on disk.
    m_hMapping = CreateFileMappingW(h, nullptr, PAGE_READWRITE, 0, m_viewSize, nullptr);
    if (!m_hMapping) ThrowLastError();
    if (!(m_mode & ZRFILE_EXISTING)) m_size = 0;
    m_pView = static_cast<BYTE*>(MapViewOfFile(m_hMapping, FILE_MAP_WRITE, 0, 0, m_viewSize));
  }
  if (!m_pView) ThrowLastError();
}

CXFile::~CXFile() { Fio_ChangeNELock(m_name, false); }

void CXFile::ThrowLastError() { zr::ThrowLastFileError(m_name, static_cast<DWORD>(m_access)); }

ULONG CXFile::ViewLength() const {
  return ViewLengthOf(m_access, m_mode, m_viewOffset, m_viewSize, m_size);
}

template <unsigned N>
void CXFile::ReadFixed(BYTE* out) {
  const ULONG at = m_position - m_viewOffset;
  if (m_pView && m_position >= m_viewOffset && m_position < m_size && m_size - m_position >= N &&
      at + N <= ViewLengthOf(m_access, m_mode, m_viewOffset, m_viewSize, m_size)) {
    const DWORD faults = zrpal::ViewFaultCount();
    std::memcpy(out, m_pView + at, N);
    if (zrpal::ViewFaultCount() != faults)
      zr::ThrowFileError(ZRCAUSE_DEVICE, m_name, static_cast<DWORD>(m_access));
    m_position += N;
    return;
  }
  if (Read(out, N) != N) zr::ThrowFileError(ZRCAUSE_EOF, m_name, ZRFILEOP_READ);
}

template <unsigned N>
void CXFile::WriteFixed(const BYTE* in) {
  const ULONG at = m_position - m_viewOffset;
  if (m_access == kAccessWrite && m_pView && m_position >= m_viewOffset && at + N <= m_viewSize &&
      m_position <= kMaxPosition - N) {
    const DWORD faults = zrpal::ViewFaultCount();
    std::memcpy(m_pView + at, in, N);
    if (zrpal::ViewFaultCount() != faults)
      zr::ThrowFileError(ZRCAUSE_DEVICE, m_name, ZRFILEOP_WRITE);
    m_position += N;
    if (m_position > m_size) m_size = m_position;
    return;
  }
  Write(in, N);
}

void CXFile::MoveView(ULONG position) {
  using namespace zrpal;
  if (m_pView) {
    UnmapViewOfFile(m_pView);
    m_pView = nullptr;
  }
  m_viewOffset = position - position % m_viewSize;
  if (m_access == kAccessRead) {
    m_pView =
        static_cast<BYTE*>(MapViewOfFile(m_hMapping, FILE_MAP_READ, 0, m_viewOffset, ViewLength()));
  } else {
    // The mapping is made again, one view past the new offset: this grows
    // the file on disk (its blocks reserved) a view at a time.
    CloseHandle(m_hMapping);
    const std::uint64_t end = std::uint64_t{m_viewOffset} + m_viewSize;
    m_hMapping = CreateFileMappingW(m_hFile, nullptr, PAGE_READWRITE, static_cast<DWORD>(end >> 32),
                                    static_cast<DWORD>(end), nullptr);
    if (!m_hMapping) ThrowLastError();
    m_pView =
        static_cast<BYTE*>(MapViewOfFile(m_hMapping, FILE_MAP_WRITE, 0, m_viewOffset, m_viewSize));
  }
  if (!m_pView) ThrowLastError();
}

ULONG CXFile::Read(void* buffer, int count) {
  zr::CheckBuffer(buffer, count);
  if (count == 0 || m_position >= m_size) return 0;
  ULONG n = static_cast<ULONG>(count);
  if (n > m_size - m_position) n = m_size - m_position;
  BYTE* out = static_cast<BYTE*>(buffer);
  ULONG done = 0;
  while (done < n) {
    if (!m_pView || m_position < m_viewOffset ||
        m_position - m_viewOffset >=
            ViewLengthOf(m_access, m_mode, m_viewOffset, m_viewSize, m_size))
      MoveView(m_position);
    const ULONG inView = m_viewOffset +
                         ViewLengthOf(m_access, m_mode, m_viewOffset, m_viewSize, m_size) -
                         m_position;
    const ULONG piece = n - done < inView ? n - done : inView;
    const DWORD faults = zrpal::ViewFaultCount();
    std::memcpy(out + done, m_pView + (m_position - m_viewOffset), piece);
    if (zrpal::ViewFaultCount() != faults)
      zr::ThrowFileError(ZRCAUSE_DEVICE, m_name, static_cast<DWORD>(m_access));
    m_position += piece;
    done += piece;
  }
  return done;
}

void CXFile::Write(const void* buffer, int count) {
  zr::CheckBuffer(buffer, count);
  if (count == 0) return;
  if (m_access != kAccessWrite) zr::ThrowFileError(ZRCAUSE_ACCESSDENIED, m_name, ZRFILEOP_READ);
  const auto n = static_cast<ULONG>(count);
  // Positions are 32-bit: the file cannot pass 4 GiB - 1.
  if (n > kMaxPosition - m_position) zr::ThrowFileError(ZRCAUSE_VOLUMEFULL, m_name, ZRFILEOP_WRITE);
  const BYTE* in = static_cast<const BYTE*>(buffer);
  ULONG done = 0;
  while (done < n) {
    // Whole views from a view boundary go to the file directly: the same
    // bytes in the same place (the page cache is the mapping's), without
    // the zero-filling of every fresh page that writing through a new
    // mapping costs. The file still grows in whole views.
    if (m_position % m_viewSize == 0 && n - done >= m_viewSize) {
      const ULONG whole = (n - done) / m_viewSize * m_viewSize;
      WriteThrough(in + done, whole);
      done += whole;
      continue;
    }
    if (!m_pView || m_position < m_viewOffset || m_position - m_viewOffset >= m_viewSize)
      MoveView(m_position);
    const ULONG inView = m_viewOffset + m_viewSize - m_position;
    const ULONG piece = n - done < inView ? n - done : inView;
    const DWORD faults = zrpal::ViewFaultCount();
    std::memcpy(m_pView + (m_position - m_viewOffset), in + done, piece);
    if (zrpal::ViewFaultCount() != faults)
      zr::ThrowFileError(ZRCAUSE_DEVICE, m_name, ZRFILEOP_WRITE);
    m_position += piece;
    done += piece;
    if (m_position > m_size) m_size = m_position;
  }
}

void CXFile::WriteThrough(const BYTE* in, ULONG bytes) {
  using namespace zrpal;
  LARGE_INTEGER at{m_position};
  DWORD written = 0;
  if (!SetFilePointerEx(m_hFile, at, nullptr, FILE_BEGIN) ||
      !WriteFile(m_hFile, in, bytes, &written, nullptr))
    ThrowLastError();
  m_position += bytes;
  if (m_position > m_size) m_size = m_position;
}

ULONG CXFile::Seek(int offset, unsigned int origin) {
  std::int64_t target;
  if (!zr::SeekTarget(offset, origin, m_position, m_size, &target))
    zr::ThrowFileError(ZRCAUSE_BADSEEK, m_name, static_cast<DWORD>(m_access));
  // A file for reading ends at its size; one for writing may be positioned
  // beyond (the gap reads as zeros) but not past 32-bit positions.
  if ((m_access == kAccessRead && target > m_size) || target > kMaxPosition)
    zr::ThrowFileError(ZRCAUSE_BADSEEK, m_name, static_cast<DWORD>(m_access));
  m_position = static_cast<ULONG>(target);
  return m_position;
}

ULONG CXFile::GetPosition() { return Seek(0, ZRFILE_SEEK_CUR); }

int CXFile::Flush() { return m_pView ? zrpal::FlushViewOfFile(m_pView, 0) : 1; }

// The typed values: the same bytes as Read and Write of their size (the
// definition every IXFile shares), by the window's fast path.
BYTE CXFile::ReadByte() {
  BYTE b[1];
  ReadFixed<1>(b);
  return b[0];
}
WORD CXFile::ReadWord() {
  BYTE b[2];
  ReadFixed<2>(b);
  return zr::LoadLE16(b);
}
DWORD CXFile::ReadDword() {
  BYTE b[4];
  ReadFixed<4>(b);
  return zr::LoadLE32(b);
}
double CXFile::ReadDouble() {
  BYTE b[8];
  ReadFixed<8>(b);
  return zr::LoadLEDouble(b);
}
void CXFile::WriteByte(BYTE value) { WriteFixed<1>(&value); }
void CXFile::WriteWord(WORD value) {
  BYTE b[2];
  zr::StoreLE16(b, value);
  WriteFixed<2>(b);
}
void CXFile::WriteDword(DWORD value) {
  BYTE b[4];
  zr::StoreLE32(b, value);
  WriteFixed<4>(b);
}
void CXFile::WriteDouble(double value) {
  BYTE b[8];
  zr::StoreLEDouble(b, value);
  WriteFixed<8>(b);
}
void CXFile::WriteStringW(const WCHAR* text) { zr::FileWriteText(*this, text); }
void CXFile::WriteString(const char* text) { zr::FileWriteText(*this, text); }
int CXFile::ReadLineW(WCHAR* buffer, int max) { return zr::FileReadLine(*this, buffer, max); }
// The line rule of every IXFile (files/typedops.h), with the line feed
// searched for in the window instead of a Read per byte.
int CXFile::ReadLine(char* buffer, int max) {
  if (!buffer) throw CXException(ZRCAUSE_INVALIDARG);
  if (max < 0) max = 0;
  int stored = 0;
  while (stored < max) {
    if (m_position >= m_size) {  // the data ended
      buffer[stored] = 0;
      return stored;
    }
    if (!m_pView || m_position < m_viewOffset || m_position - m_viewOffset >= ViewLength())
      MoveView(m_position);
    ULONG span = m_viewOffset + ViewLength() - m_position;
    if (span > m_size - m_position) span = m_size - m_position;
    if (span > static_cast<ULONG>(max - stored)) span = static_cast<ULONG>(max - stored);
    const BYTE* from = m_pView + (m_position - m_viewOffset);
    const DWORD faults = zrpal::ViewFaultCount();
    const void* feed = std::memchr(from, '\n', span);
    const ULONG taken = feed ? static_cast<ULONG>(static_cast<const BYTE*>(feed) - from) + 1 : span;
    std::memcpy(buffer + stored, from, taken);
    if (zrpal::ViewFaultCount() != faults)
      zr::ThrowFileError(ZRCAUSE_DEVICE, m_name, static_cast<DWORD>(m_access));
    m_position += taken;
    stored += static_cast<int>(taken);
    if (feed) {
      const int at = stored - 1;  // the newline stays unless it took the last place
      buffer[at < max - 1 ? at + 1 : at] = 0;
      return at;
    }
  }
  buffer[max] = 0;
  return max;
}

// Seeking to the end and back gives the logical size; no OS call is needed.
ULONG CXFile::GetSize() { return m_size; }

const WCHAR* CXFile::GetFileName() { return m_name; }

ULONG CXFile::AddRef() { return ++m_cOwnRef; }

bool CXFile::CloseMapping() {
  using namespace zrpal;
  bool ok = true;
  if (m_pView && !UnmapViewOfFile(m_pView)) ok = false;
  m_pView = nullptr;
  if (m_hMapping && !CloseHandle(m_hMapping)) ok = false;
  m_hMapping = nullptr;
  return ok;
}

ULONG CXFile::Release() {
  if (m_cOwnRef >= 2) return --m_cOwnRef;
  using namespace zrpal;
  bool ok = CloseMapping();
  if (m_access == kAccessWrite) {
    // The file grew a view at a time; it ends at its logical size.
    LONG high = 0;
    SetLastError(ERROR_SUCCESS);
    if (SetFilePointer(m_hFile, static_cast<LONG>(m_size), &high, FILE_BEGIN) ==
            INVALID_SET_FILE_POINTER &&
        GetLastError() != ERROR_SUCCESS)
      ok = false;
    else if (!SetEndOfFile(m_hFile))
      ok = false;
  }
  CloseHandle(m_hFile);
  if (ok) {
    delete this;
    return 0;
  }
  // Everything is given back before the failure is reported: the exception
  // copies the name before the object goes.
  CXFileException failure(ZRCAUSE_NOMEMORY, m_name, static_cast<DWORD>(m_access));
  delete this;
  throw failure;
}
