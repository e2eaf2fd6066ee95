// files/urlops.cpp - the remote-path functions (see zr/urlfile.h).
//
// Each operation cracks its URL, opens a session and an FTP connection to
// port 21 (whatever port the URL names) with the URL's user and password,
// does its one job and closes both (RemoteSession), so nothing stays open
// between calls. The platform layer sets the WinINet error of a failure;
// the throwing functions translate the thread's last error by the table of
// zr/xfile.h. Remote paths are the URL's path as cracked, raw: no
// decoding, so "%20" reaches the server as it is written.
#include <string>

#include "files/errors.h"
#include "files/fileinfo.h"
#include "pal/error.h"
#include "pal/files/filesystem.h"
#include "pal/files/find.h"
#include "pal/internet/internet.h"
#include "pal/time.h"
#include "zr/exception.h"
#include "zr/urlfile.h"

namespace {

using zrpal::HINTERNET;

constexpr std::size_t kCacheChars = 512;
constexpr DWORD kTransferFlags = 0x84000802;  // binary, reload, no cache write, resynchronise
constexpr DWORD kOpenWriteFlags = 0x84000002;
constexpr DWORD kFindFlags = 0x84000000;
constexpr int kMaxProbes = 64;  // probe names tried before giving up

constinit WCHAR g_cacheName[kCacheChars] = {};

// A part of a cracked URL as a string: empty when absent.
CXStringW Part(const WCHAR* text, DWORD length) {
  if (!text || length == 0) return CXStringW();
  std::u16string copy = zr::Allocating([&] { return std::u16string(text, length); });
  return CXStringW(copy.c_str());
}

// One session and one connection, closed connection first.
class RemoteSession {
 public:
  RemoteSession() = default;
  ~RemoteSession() {
    if (m_connect) zrpal::InternetCloseHandle(m_connect);
    if (m_internet) zrpal::InternetCloseHandle(m_internet);
  }
  RemoteSession(const RemoteSession&) = delete;
  RemoteSession& operator=(const RemoteSession&) = delete;

  // Cracks `url` and connects; false with the platform's last error.
  bool Open(const WCHAR* url) {
    CXStringW host, user, password;
    if (!Fio_UrlCrack(url, host, user, password, m_path)) {
      zrpal::SetLastError(zrpal::ERROR_INTERNET_UNRECOGNIZED_SCHEME);
      return false;
    }
    m_internet = zrpal::InternetOpenW(nullptr, 0, nullptr, nullptr, 0);
    if (!m_internet) return false;
    m_connect = zrpal::InternetConnectW(m_internet, host, zrpal::INTERNET_DEFAULT_FTP_PORT, user,
                                        password, zrpal::INTERNET_SERVICE_FTP, 0, 0);
    return m_connect != nullptr;
  }
  HINTERNET Connection() const { return m_connect; }
  const CXStringW& Path() const { return m_path; }

 private:
  HINTERNET m_internet = nullptr;
  HINTERNET m_connect = nullptr;
  CXStringW m_path;
};

// The remote file's find record: the first entry of "<folder>/*.<ext>"
// whose name equals the path's file name without regard to case; false
// with the last error set.
bool FindRemote(RemoteSession& session, zrpal::WIN32_FIND_DATAW* found) {
  const CXStringW& path = session.Path();
  CXStringW pattern = path.FilePath();
  pattern += u"/*.";
  pattern += path.FileExt();
  const CXStringW name = path.FileName();
  zr::QuietErrors quiet;
  HINTERNET find = zrpal::FtpFindFirstFileW(session.Connection(), pattern, found, kFindFlags, 0);
  if (!find) return false;
  bool match = false;
  // A listing is finite: InternetFindNextFileW ends it with FALSE.
  do {
    if (name.CompareI(found->cFileName) == 0) match = true;
  } while (!match && zrpal::InternetFindNextFileW(find, found));
  zrpal::InternetCloseHandle(find);
  if (!match) zrpal::SetLastError(zrpal::ERROR_FILE_NOT_FOUND);
  return match;
}

// The server's root: a path of slashes alone, or none.
bool IsRoot(const CXStringW& path) {
  for (int i = 0; i < path.GetLength(); ++i)
    if (path.GetAt(static_cast<unsigned>(i)) != '/' && path.GetAt(static_cast<unsigned>(i)) != '\\')
      return false;
  return true;
}

}  // namespace

int Fio_UrlCrack(const WCHAR* url, CXStringW& host, CXStringW& user, CXStringW& password,
                 CXStringW& path) {
  if (!url || !Fio_PathIsURL(url)) return 0;
  zrpal::URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = parts.dwUserNameLength = parts.dwPasswordLength = parts.dwUrlPathLength =
      1;  // asked for, as pointers into the URL
  if (!zrpal::InternetCrackUrlW(url, 0, 0, &parts)) return 0;
  CXStringW h = Part(parts.lpszHostName, parts.dwHostNameLength);
  CXStringW u = Part(parts.lpszUserName, parts.dwUserNameLength);
  CXStringW p = Part(parts.lpszPassword, parts.dwPasswordLength);
  CXStringW r = Part(parts.lpszUrlPath, parts.dwUrlPathLength);
  host = h;
  user = u;
  password = p;
  path = r;
  return 1;
}

int Fio_DownloadToFile(const WCHAR* url, const WCHAR* localName) {
  if (!url || !Fio_PathIsURL(url) || !localName) return 0;
  try {
    RemoteSession session;
    if (!session.Open(url)) return 0;
    return zrpal::FtpGetFileW(session.Connection(), session.Path(), localName, 0,
                              zrpal::FILE_ATTRIBUTE_NORMAL, kTransferFlags, 0)
               ? 1
               : 0;
  } catch (const CXException&) {
    return 0;
  }
}

const WCHAR* Fio_DownloadToCacheFile(const WCHAR* url) {
  if (!url || !Fio_PathIsURL(url)) return nullptr;
  constexpr DWORD kReserved = 16;
  if (zrpal::URLDownloadToCacheFileW(nullptr, url, g_cacheName, kCacheChars, kReserved, nullptr) <
      0)
    return nullptr;
  return g_cacheName;
}

int Fio_UrlPutFile(const WCHAR* url, const WCHAR* localName) {
  try {
    if (!Fio_IsFileExist(localName)) return 0;
    if (Fio_IsFileExist(url) && !Fio_UrlIsWritableFile(url)) return 0;
    const CXStringW folder = CXStringW(url).FilePath();
    if (!Fio_IsFileExist(folder)) Fio_UrlCreateDirectory(folder);
    RemoteSession session;
    if (!session.Open(url)) return 0;
    return zrpal::FtpPutFileW(session.Connection(), localName, session.Path(), kTransferFlags, 0)
               ? 1
               : 0;
  } catch (const CXException&) {
    return 0;
  }
}

int Fio_UrlDeleteFile(const WCHAR* url) {
  try {
    if (!Fio_IsFileExist(url)) return 0;
    RemoteSession session;
    if (!session.Open(url)) return 0;
    return zrpal::FtpDeleteFileW(session.Connection(), session.Path()) ? 1 : 0;
  } catch (const CXException&) {
    return 0;
  }
}

void Fio_UrlCreateDirectory(const WCHAR* url) {
  if (Fio_IsFileExist(url)) return;
  RemoteSession session;
  if (!session.Open(url)) zr::ThrowLastFileError(url, ZRFILEOP_MKDIR);
  // The root is there on every server (its listing has no entry for it).
  if (IsRoot(session.Path())) return;
  if (!zrpal::FtpCreateDirectoryW(session.Connection(), session.Path()))
    zr::ThrowLastFileError(url, ZRFILEOP_MKDIR);
}

void Fio_UrlGetFileInfo(const WCHAR* url, FioFileInfo* info) {
  if (!info || !url || !Fio_PathIsURL(url))
    zr::ThrowFileError(ZRCAUSE_BADPATH, url, ZRFILEOP_REMOTE);
  RemoteSession session;
  zrpal::WIN32_FIND_DATAW found;
  if (!session.Open(url) || !FindRemote(session, &found))
    zr::ThrowLastFileError(url, ZRFILEOP_REMOTE);
  zr::FillFileInfo(found, info);
}

int Fio_UrlIsWritableDir(const WCHAR* url) {
  try {
    CXStringW probe;
    // A probe name no file has yet; a bounded number of tries.
    for (int tries = 0;; ++tries) {
      probe.Format(u"%s\\%d.tmp", url, static_cast<int>(zrpal::GetTickCount()));
      if (!Fio_IsFileExist(probe)) break;
      if (tries == kMaxProbes) return 0;
    }
    RemoteSession session;
    if (!session.Open(probe)) return 0;
    HINTERNET file = zrpal::FtpOpenFileW(session.Connection(), session.Path(), zrpal::GENERIC_WRITE,
                                         kOpenWriteFlags, 0);
    if (!file) return 0;
    zrpal::InternetCloseHandle(file);
    zrpal::FtpDeleteFileW(session.Connection(), session.Path());
    return 1;
  } catch (const CXException&) {
    return 0;
  }
}

int Fio_UrlIsWritableFile(const WCHAR* url) {
  if (!url) return 0;
  try {
    RemoteSession session;
    zrpal::WIN32_FIND_DATAW found;
    if (session.Open(url) && FindRemote(session, &found) &&
        (found.dwFileAttributes & zrpal::FILE_ATTRIBUTE_READONLY))
      return 0;
  } catch (const CXException&) {
    return 0;
  }
  CXStringW folder = CXStringW(url).FilePath();
  if (folder.GetLength() == 0) folder = u".";
  return Fio_UrlIsWritableDir(folder);
}
