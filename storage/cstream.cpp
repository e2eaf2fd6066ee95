// storage/cstream.cpp - CStream, the stream of a compound-file storage: every
// operation is one call on the platform stream; the typed operations come
// from CXStreamImpl over Read and Write, so the bytes are those of every
// other stream of the library.
#include <cstring>

#include "storage/storage_internal.h"

namespace zr {

using namespace zrpal;

CStream::CStream(IStream* stream, const char* name) : m_pStream(stream), m_name{} {
  // The element name is kept with a limit of 64 bytes, the last forced to
  // NUL: a compound-file name never needs more (31 characters).
  if (name) std::strncpy(m_name, name, kStreamNameBytes);
  m_name[kStreamNameBytes - 1] = 0;
}

CStream::~CStream() { m_pStream->Release(); }

ULONG CStream::Read(void* buffer, int count) {
  if (count < 0 || (count > 0 && !buffer)) throw CXException(ZRCAUSE_INVALIDARG);
  ULONG read = 0;
  const HRESULT hr = m_pStream->Read(buffer, static_cast<ULONG>(count), &read);
  if (FAILED(hr)) ThrowStreamError(StorageCauseOf(hr), ZRSTORAGEOP_IO);
  return read;
}

void CStream::Write(const void* buffer, int count) {
  if (count < 0 || (count > 0 && !buffer)) throw CXException(ZRCAUSE_INVALIDARG);
  const HRESULT hr = m_pStream->Write(buffer, static_cast<ULONG>(count), nullptr);
  if (FAILED(hr)) ThrowStreamError(StorageCauseOf(hr), ZRSTORAGEOP_IO);
}

ULONG CStream::Seek(int offset, unsigned int origin) {
  if (origin > ZRSEEK_END) ThrowStreamError(ZRCAUSE_INVALIDARG, ZRSTORAGEOP_SEEK);
  ULARGE_INTEGER position{};
  // The origins 0, 1, 2 are the platform's set, current and end.
  const HRESULT hr = m_pStream->Seek(LARGE_INTEGER{offset}, origin, &position);
  if (FAILED(hr)) ThrowStreamError(StorageCauseOf(hr), ZRSTORAGEOP_SEEK);
  return static_cast<ULONG>(position.QuadPart);
}

ULONG CStream::GetPosition() { return Seek(0, ZRSEEK_CUR); }

// The size without moving: one question to the engine instead of three
// seeks (the variant reader asks for it before every text and blob).
ULONG CStream::GetSize() {
  STATSTG stat{};
  const HRESULT hr = m_pStream->Stat(&stat, STATFLAG_NONAME);
  if (FAILED(hr)) ThrowStreamError(StorageCauseOf(hr), ZRSTORAGEOP_SEEK);
  return static_cast<ULONG>(stat.cbSize.QuadPart);
}

const char* CStream::GetName() { return m_name; }

}  // namespace zr
