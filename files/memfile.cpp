// files/memfile.cpp - memory files (see zr/memfile.h).
#include "zr/memfile.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "files/errors.h"
#include "files/memname.h"
#include "files/typedops.h"
#include "pal/wstr.h"
#include "zr/exception.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
struct CXMemFileLayout {
  static_assert(offsetof(CXMemFile, m_position) == 12);
  static_assert(offsetof(CXMemFile, m_size) == 16);
  static_assert(offsetof(CXMemFile, m_pData) == 24);
  static_assert(offsetof(CXMemFile, m_cOwnRef) == 32);
  static_assert(offsetof(CXMemFile, m_name) == 36);
};
#pragma GCC diagnostic pop

namespace zr {

namespace {

constexpr WCHAR kPrefix[] = u"fmem::";
constexpr std::size_t kPrefixLength = 6;
constexpr ULONG kMaxSize = 0xFFFFFFFF;

bool IsSeparator(WCHAR c) { return c == ',' || c == '.'; }

// The run-time's _wtoi in 64 bits: white space, a sign, decimal digits up to
// the first other unit; saturates at the 64-bit limits; no digits give 0.
std::int64_t ReadNumber(const WCHAR* p, const WCHAR* end) {
  while (p < end && zrpal::iswspace(*p)) ++p;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  std::uint64_t value = 0;
  constexpr std::uint64_t kLimit = std::uint64_t{INT64_MAX} + 1;  // the magnitude of INT64_MIN
  for (; p < end && *p >= '0' && *p <= '9'; ++p) {
    const unsigned digit = static_cast<unsigned>(*p - '0');
    value = value > (kLimit - digit) / 10 ? kLimit : value * 10 + digit;  // saturates, and stays so
  }
  if (negative) return value >= kLimit ? INT64_MIN : -static_cast<std::int64_t>(value);
  return value >= kLimit ? INT64_MAX : static_cast<std::int64_t>(value);
}

}  // namespace

MemFileName ParseMemFileName(const WCHAR* name) {
  // The tokens wcstok with the delimiters ",." would give: runs of other
  // units; empty runs are skipped.
  const WCHAR* p = name + kPrefixLength;
  std::int64_t numbers[2] = {0, 0};
  int found = 0;
  while (*p && found < 2) {
    while (*p && IsSeparator(*p)) ++p;
    if (!*p) break;
    const WCHAR* start = p;
    while (*p && !IsSeparator(*p)) ++p;
    numbers[found++] = ReadNumber(start, p);
  }
  MemFileName block{nullptr, 0};
  if (found < 2 || numbers[0] == 0 || numbers[1] < 0 || numbers[1] > std::int64_t{kMaxSize})
    return block;
  // Sign-extended to pointer width, as the 32-bit reading did.
  block.address = reinterpret_cast<const BYTE*>(static_cast<std::intptr_t>(numbers[0]));
  block.size = static_cast<ULONG>(numbers[1]);
  return block;
}

}  // namespace zr

int Fio_IsMemFile(const WCHAR* path) {
  return path && zrpal::_wcsnicmp(path, zr::kPrefix, zr::kPrefixLength) == 0 ? 1 : 0;
}

CXMemFile::CXMemFile(const WCHAR* name)
    : m_position(0), m_size(0), m_pData(nullptr), m_cOwnRef(1), m_name{} {
  if (!name || zrpal::wcslen(name) >= CXFile::kNameChars)
    zr::ThrowFileError(ZRCAUSE_BADPATH, name, ZRFILEOP_OPEN);
  zrpal::wcscpy(m_name, name);
  const zr::MemFileName block = zr::ParseMemFileName(m_name);
  m_pData = block.address;
  m_size = block.size;
}

CXMemFile::~CXMemFile() = default;

ULONG CXMemFile::AddRef() { return ++m_cOwnRef; }

ULONG CXMemFile::Release() {
  if (--m_cOwnRef > 0) return m_cOwnRef;
  delete this;  // the block stays the caller's
  return 0;
}

ULONG CXMemFile::Read(void* buffer, int count) {
  zr::CheckBuffer(buffer, count);
  if (count == 0 || m_position >= m_size) return 0;
  ULONG n = static_cast<ULONG>(count);
  if (n > m_size - m_position) n = m_size - m_position;
  std::memcpy(buffer, m_pData + m_position, n);
  m_position += n;
  return n;
}

void CXMemFile::Write(const void*, int) {}  // memory files are read-only views

ULONG CXMemFile::Seek(int offset, unsigned int origin) {
  std::int64_t target;
  if (!zr::SeekTarget(offset, origin, m_position, m_size, &target))
    zr::ThrowFileError(ZRCAUSE_BADSEEK, m_name, ZRFILEOP_READ);
  if (target > m_size) zr::ThrowFileError(ZRCAUSE_BADSEEK, m_name, ZRFILEOP_READ);
  m_position = static_cast<ULONG>(target);
  return m_position;
}

ULONG CXMemFile::GetPosition() { return Seek(0, ZRFILE_SEEK_CUR); }
int CXMemFile::Flush() { return 1; }
BYTE CXMemFile::ReadByte() { return zr::FileReadByte(*this); }
WORD CXMemFile::ReadWord() { return zr::FileReadWord(*this); }
DWORD CXMemFile::ReadDword() { return zr::FileReadDword(*this); }
double CXMemFile::ReadDouble() { return zr::FileReadDouble(*this); }
void CXMemFile::WriteByte(BYTE value) { Write(&value, 1); }
void CXMemFile::WriteWord(WORD value) { zr::FileWriteWord(*this, value); }
void CXMemFile::WriteDword(DWORD value) { zr::FileWriteDword(*this, value); }
void CXMemFile::WriteDouble(double value) { zr::FileWriteDouble(*this, value); }
void CXMemFile::WriteStringW(const WCHAR* text) { zr::FileWriteText(*this, text); }
void CXMemFile::WriteString(const char* text) { zr::FileWriteText(*this, text); }
int CXMemFile::ReadLineW(WCHAR* buffer, int max) { return zr::FileReadLine(*this, buffer, max); }
int CXMemFile::ReadLine(char* buffer, int max) { return zr::FileReadLine(*this, buffer, max); }
ULONG CXMemFile::GetSize() { return m_size; }
const WCHAR* CXMemFile::GetFileName() { return m_name; }
void CXMemFile::Commit() {}
