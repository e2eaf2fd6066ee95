// urlfile.h - remote files reached by FTP: URL cracking, download, upload,
// deletion, directory creation, file information and writability of remote
// paths, and the remote file classes behind Fio_Open and Fio_OpenOut.
//
// Any path Fio_PathIsURL accepts is a remote file. Every connection is an
// FTP connection to port 21, whatever scheme or port the URL names, with
// the user and password of the URL (anonymous without); each operation
// opens its own session and connection and closes them before it returns.
// A remote file is read from a local copy downloaded when it is opened, and
// written into a local file that is uploaded on Commit.
//
// Failures: Fio_DownloadToFile, Fio_UrlPutFile, Fio_UrlDeleteFile,
// Fio_UrlIsWritableDir and Fio_UrlIsWritableFile answer 0;
// Fio_UrlCreateDirectory, Fio_UrlGetFileInfo, opening a remote file and
// Fio_UrlOpenOut throw. A thrown cause is the translation of the platform's
// last error (zr/xfile.h's table): the Internet errors (12002 time-out,
// 12003 refused by the server, 12015 login refused, 12029 no connection,
// 12030 and 12031 connection lost) are not in the table and give cause 11.
//
// The temporary-name and download-cache buffers are process-wide: one
// thread at a time.
#pragma once

#include "zr/fileops.h"
#include "zr/xfile.h"
#include "zr/xstring.h"

// Host, user, password and path (beginning with "/") of `url`, each empty
// when the URL has none; 1. 0 for null, a non-URL or a URL that cannot be
// cracked, and the strings are not touched.
ZR_API int Fio_UrlCrack(const WCHAR* url, CXStringW& host, CXStringW& user, CXStringW& password,
                        CXStringW& path);
// Downloads the remote file into `localName`, replacing it; 1 or 0.
ZR_API int Fio_DownloadToFile(const WCHAR* url, const WCHAR* localName);
// Downloads `url` by its own scheme and port into the user's cache folder;
// the name of the cached file in a process-wide buffer of 512 characters
// that the next call overwrites, or null.
ZR_API const WCHAR* Fio_DownloadToCacheFile(const WCHAR* url);
// Uploads `localName` to `url`, creating the remote folder (one level) when
// it is missing; 0 for a missing local file, a remote file that is not
// writable, or a failed transfer.
ZR_API int Fio_UrlPutFile(const WCHAR* url, const WCHAR* localName);
// 0 when the remote file does not exist; otherwise whether it was deleted.
ZR_API int Fio_UrlDeleteFile(const WCHAR* url);
// Creates one remote folder; nothing when it exists (the server's root
// always does). CXFileException operation 10 with the URL.
ZR_API void Fio_UrlCreateDirectory(const WCHAR* url);
// The size (low 32 bits) and last-write time (UTC) of a remote file, from
// its folder's listing. CXFileException operation 12 with the URL.
ZR_API void Fio_UrlGetFileInfo(const WCHAR* url, FioFileInfo* info);
// 1 when a probe file "<tick count>.tmp" can be opened for writing in the
// remote folder (it is deleted again).
ZR_API int Fio_UrlIsWritableDir(const WCHAR* url);
// 0 for null and for a remote file listed read-only; otherwise the answer
// of Fio_UrlIsWritableDir for its folder.
ZR_API int Fio_UrlIsWritableFile(const WCHAR* url);
// A remote input file (CXUrlFile); null when it cannot be allocated.
ZR_API IXFile* Fio_UrlOpen(const WCHAR* url, int mode);
// A remote output file (CXUrlOutFile) on a fresh temporary file; CXException
// cause 9 when Fio_IsWritableFile says no; null when it cannot be allocated.
ZR_API IXOutFile* Fio_UrlOpenOut(const WCHAR* url, int mode);

// A remote file read from a local copy "ZRPR....tmp" in the temporary
// folder, downloaded by the constructor (CXFileException operation 0 with
// the URL when that fails; the copy is deleted again). Every operation goes
// to the file on the copy, except GetFileName, which gives the URL. The
// destructor closes the copy and deletes it.
class ZR_API CXUrlFile final : public CZRUnknownImpl<IXFile> {
 public:
  CXUrlFile(const WCHAR* url, int mode);
  ~CXUrlFile() override;

  ULONG Read(void* buffer, int count) override;
  void Write(const void* buffer, int count) override;
  ULONG Seek(int offset, unsigned int origin) override;
  ULONG GetPosition() override;
  int Flush() override;
  BYTE ReadByte() override;
  WORD ReadWord() override;
  DWORD ReadDword() override;
  double ReadDouble() override;
  void WriteByte(BYTE value) override;
  void WriteWord(WORD value) override;
  void WriteDword(DWORD value) override;
  void WriteDouble(double value) override;
  void WriteStringW(const WCHAR* text) override;
  void WriteString(const char* text) override;
  int ReadLineW(WCHAR* buffer, int max) override;
  int ReadLine(char* buffer, int max) override;
  ULONG GetSize() override;
  const WCHAR* GetFileName() override;

 private:
  friend struct CXUrlFileLayout;  // the layout checks
  IXFile* m_pInner;
  WCHAR m_url[CXFile::kNameChars];
  WCHAR m_local[CXFile::kNameChars];
};

// A remote file written into a local file (a committing writer on it) and
// uploaded by Commit with Fio_UrlPutFile (whose result is not reported);
// the local file is deleted after the upload, and also when the file is
// destroyed without Commit. The remote file's content is always replaced.
// After Commit the file operations throw CXException cause 10.
class ZR_API CXUrlOutFile final : public CZRUnknownImpl<IXOutFile> {
 public:
  CXUrlOutFile(const WCHAR* url, const WCHAR* localName, int mode);
  ~CXUrlOutFile() override;

  ULONG Read(void* buffer, int count) override;
  void Write(const void* buffer, int count) override;
  ULONG Seek(int offset, unsigned int origin) override;
  ULONG GetPosition() override;
  int Flush() override;
  BYTE ReadByte() override;
  WORD ReadWord() override;
  DWORD ReadDword() override;
  double ReadDouble() override;
  void WriteByte(BYTE value) override;
  void WriteWord(WORD value) override;
  void WriteDword(DWORD value) override;
  void WriteDouble(double value) override;
  void WriteStringW(const WCHAR* text) override;
  void WriteString(const char* text) override;
  int ReadLineW(WCHAR* buffer, int max) override;
  int ReadLine(char* buffer, int max) override;
  ULONG GetSize() override;
  const WCHAR* GetFileName() override;
  void Commit() override;

 private:
  IXOutFile& Inner();

  friend struct CXUrlOutFileLayout;  // the layout checks
  IXOutFile* m_pInner;
  WCHAR m_url[CXFile::kNameChars];
  WCHAR m_local[CXFile::kNameChars];
};
