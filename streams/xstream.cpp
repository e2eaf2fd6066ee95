// streams/xstream.cpp - the typed operations every stream shares, defined
// once over Read and Write (the variant record is in variant_record.cpp).
#include <climits>
#include <cstring>
#include <string>

#include "streams/byteorder.h"
#include "streams/typedops.h"
#include "streams/xstream_impl.h"
#include "zr/exception.h"
#include "zr/xstream.h"
#include "zr/xstring.h"

template class CZRUnknownImpl<IXStream>;

namespace {

constexpr int kLineFeed = 10;

// The largest count of bytes a stream can take in one piece (ULONG).
constexpr std::size_t kMaxBytes = 0xFFFFFFFFu;

// The line reader shared by ReadLine and ReadLineW; `readUnit` delivers the
// next character or throws CXEofException.
template <class C, class ReadUnit>
int ReadLineOf(C* buffer, int max, ReadUnit readUnit) {
  if (!buffer) throw CXException(ZRCAUSE_INVALIDARG);
  if (max <= 0) {
    buffer[0] = C();
    return 0;
  }
  int i = 0;
  for (; i < max; ++i) {
    const C c = readUnit();
    buffer[i] = c;
    if (c == C(kLineFeed) || c == C()) break;
  }
  if (i >= max - 1) {
    buffer[i] = C();
    return i;
  }
  buffer[i + 1] = C();
  return i + 1;
}

// Bytes of 16-bit units staged per Write when the host is not little-endian.
constexpr std::size_t kUnitChunk = 256;

}  // namespace

void zr::CXStreamImpl::ReadExact(void* buffer, ULONG n) { zr::ReadExact(*this, buffer, n); }

void zr::CXStreamImpl::WriteAll(const void* buffer, ULONG n) {
  if (n > 0 && !buffer) throw CXException(ZRCAUSE_INVALIDARG);
  const BYTE* p = static_cast<const BYTE*>(buffer);
  do {
    const int chunk = n > static_cast<ULONG>(INT_MAX) ? INT_MAX : static_cast<int>(n);
    Write(p, chunk);
    p += chunk;
    n -= static_cast<ULONG>(chunk);
  } while (n > 0);
}

ULONG zr::CXStreamImpl::Remaining() {
  const ULONG size = GetSize();
  const ULONG position = GetPosition();
  return position < size ? size - position : 0;
}

void zr::CXStreamImpl::ThrowStreamError(DWORD cause, DWORD operation) {
  const char* name = GetName();
  const CXStringW wide(name ? name : "");
  // The exception copies the name into its own slot.
  throw CXFileException(cause, wide, operation);
}

BYTE zr::CXStreamImpl::ReadByte() { return zr::ReadByteOf(*this); }
WORD zr::CXStreamImpl::ReadWord() { return zr::ReadWordOf(*this); }
DWORD zr::CXStreamImpl::ReadDword() { return zr::ReadDwordOf(*this); }
double zr::CXStreamImpl::ReadDouble() { return zr::ReadDoubleOf(*this); }

int zr::CXStreamImpl::ReadLine(char* buffer, int max) {
  return ReadLineOf(buffer, max, [this] { return static_cast<char>(zr::ReadByteOf(*this)); });
}

int zr::CXStreamImpl::ReadLineW(WCHAR* buffer, int max) {
  return ReadLineOf(buffer, max, [this] { return static_cast<WCHAR>(zr::ReadWordOf(*this)); });
}

void zr::CXStreamImpl::WriteByte(BYTE value) { zr::WriteByteTo(*this, value); }
void zr::CXStreamImpl::WriteWord(WORD value) { zr::WriteWordTo(*this, value); }
void zr::CXStreamImpl::WriteDword(DWORD value) { zr::WriteDwordTo(*this, value); }
void zr::CXStreamImpl::WriteDouble(double value) { zr::WriteDoubleTo(*this, value); }

void zr::CXStreamImpl::WriteString(const char* text) {
  if (!text) text = "";
  const std::size_t n = std::char_traits<char>::length(text) + 1;
  if (n > kMaxBytes) throw CXException(ZRCAUSE_INVALIDARG);
  WriteAll(text, static_cast<ULONG>(n));
}

void zr::CXStreamImpl::WriteStringW(const WCHAR* text) {
  if (!text) text = u"";
  const std::size_t units = std::char_traits<WCHAR>::length(text) + 1;
  if (units > kMaxBytes / 2) throw CXException(ZRCAUSE_INVALIDARG);
  if constexpr (std::endian::native == std::endian::little) {
    WriteAll(text, static_cast<ULONG>(units * 2));
  } else {
    BYTE staged[kUnitChunk * 2];
    for (std::size_t done = 0; done < units;) {
      const std::size_t n = units - done < kUnitChunk ? units - done : kUnitChunk;
      for (std::size_t i = 0; i < n; ++i) zr::StoreLE16(staged + 2 * i, text[done + i]);
      Write(staged, static_cast<int>(n * 2));
      done += n;
    }
  }
}
