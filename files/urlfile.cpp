// files/urlfile.cpp - the remote input and output files (see zr/urlfile.h).
//
// Invariants: a CXUrlFile holds a file on its local copy from construction
// to destruction; a CXUrlOutFile holds its committing writer until Commit
// (m_pInner null afterwards). Names are kept in fixed fields of 512
// characters; a longer URL or local name is refused (cause 7), never cut.
#include "zr/urlfile.h"

#include <cstddef>
#include <cstring>

#include "files/errors.h"
#include "files/forward.h"
#include "pal/error.h"
#include "pal/wstr.h"
#include "zr/exception.h"
#include "zr/filelock.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
struct CXUrlFileLayout {
  static_assert(offsetof(CXUrlFile, m_pInner) == 16);
  static_assert(offsetof(CXUrlFile, m_url) == 24);
  static_assert(offsetof(CXUrlFile, m_local) == 24 + CXFile::kNameChars * sizeof(WCHAR));
};
struct CXUrlOutFileLayout {
  static_assert(offsetof(CXUrlOutFile, m_pInner) == 16);
  static_assert(offsetof(CXUrlOutFile, m_url) == 24);
  static_assert(offsetof(CXUrlOutFile, m_local) == 24 + CXFile::kNameChars * sizeof(WCHAR));
};
#pragma GCC diagnostic pop

namespace {

// Copies `name` into a name field; cause 7, operation 0, when it is null or
// does not fit.
void KeepName(WCHAR (&field)[CXFile::kNameChars], const WCHAR* name, const WCHAR* reported) {
  const std::size_t n = name ? zrpal::wcslen(name) : CXFile::kNameChars;
  if (n >= CXFile::kNameChars) zr::ThrowFileError(ZRCAUSE_BADPATH, reported, ZRFILEOP_OPEN);
  std::memcpy(field, name, (n + 1) * sizeof(WCHAR));
}

void DeleteQuietly(const WCHAR* name) {
  try {
    Fio_DeleteFile(name);
  } catch (const CXException&) {
    // The copy stays behind in the temporary folder; nothing to report.
  }
}

}  // namespace

CXUrlFile::CXUrlFile(const WCHAR* url, int mode) : m_pInner(nullptr), m_url{}, m_local{} {
  KeepName(m_url, url, url);
  const WCHAR* temp = Fio_GetTempFileName();
  if (!temp[0]) zr::ThrowLastFileError(url, ZRFILEOP_OPEN);
  KeepName(m_local, temp, url);
  if (!Fio_DownloadToFile(m_url, m_local)) {
    const DWORD error = zrpal::GetLastError();
    DeleteQuietly(m_local);
    zr::ThrowFileError(zr::FileCauseOf(error), m_url, ZRFILEOP_OPEN);
  }
  try {
    m_pInner = Fio_Open(m_local, mode);
    if (!m_pInner) throw CXBadAlloc();
  } catch (...) {
    DeleteQuietly(m_local);
    throw;
  }
}

CXUrlFile::~CXUrlFile() {
  // The copy is closed before it is deleted, so that the delete succeeds.
  if (m_pInner) m_pInner->Release();
  DeleteQuietly(m_local);
}

ZR_FORWARD_FILE_OPERATIONS(CXUrlFile, (*m_pInner))
const WCHAR* CXUrlFile::GetFileName() { return m_url; }

CXUrlOutFile::CXUrlOutFile(const WCHAR* url, const WCHAR* localName, int mode)
    : m_pInner(nullptr), m_url{}, m_local{} {
  KeepName(m_url, url, url);
  KeepName(m_local, localName, url);
  m_pInner = Fio_OpenOut(m_local, mode);
  if (!m_pInner) throw CXBadAlloc();
}

CXUrlOutFile::~CXUrlOutFile() {
  if (!m_pInner) return;  // committed: the local file is gone
  m_pInner->Release();    // discards the written content
  DeleteQuietly(m_local);
}

IXOutFile& CXUrlOutFile::Inner() {
  if (!m_pInner) throw CXException(ZRCAUSE_INVALIDARG);  // committed
  return *m_pInner;
}

ZR_FORWARD_FILE_OPERATIONS(CXUrlOutFile, Inner())
const WCHAR* CXUrlOutFile::GetFileName() { return m_url; }

void CXUrlOutFile::Commit() {
  if (!m_pInner) return;
  IXOutFile* inner = m_pInner;
  m_pInner = nullptr;
  try {
    inner->Commit();  // the content replaces the local file
  } catch (...) {
    inner->Release();
    DeleteQuietly(m_local);
    throw;
  }
  inner->Release();
  Fio_UrlPutFile(m_url, m_local);  // its result is not reported
  Fio_DeleteFile(m_local);
}

IXFile* Fio_UrlOpen(const WCHAR* url, int mode) { return new (std::nothrow) CXUrlFile(url, mode); }

IXOutFile* Fio_UrlOpenOut(const WCHAR* url, int mode) {
  if (!Fio_IsWritableFile(url)) throw CXException(ZRCAUSE_ACCESSDENIED);
  const WCHAR* temp = Fio_GetTempFileName();
  if (!temp[0]) zr::ThrowLastFileError(url, ZRFILEOP_OPEN);
  WCHAR local[CXFile::kNameChars];
  KeepName(local, temp, url);
  try {
    auto* file = new (std::nothrow) CXUrlOutFile(url, local, mode | ZRFILE_WRITE);
    if (!file) DeleteQuietly(local);
    return file;
  } catch (...) {
    DeleteQuietly(local);
    throw;
  }
}
