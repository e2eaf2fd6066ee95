// pal/internet/internet.h - the WinINet and URL-moniker slice the library
// needs: cracking URLs, FTP sessions (connect, get, put, delete, make a
// directory, find, open a remote file for reading or writing), and
// downloading a URL into the user's cache folder.
//
// Handles (HINTERNET) live in pal/handle.h's table with HandleKind::Internet
// and are closed with InternetCloseHandle only. A session (InternetOpenW)
// holds the time-outs; a connection (InternetConnectW) is one logged-in FTP
// control connection, made when the handle is made, as WinINet does; file
// and find handles belong to a connection and keep it alive.
//
// Failures set the WinINet error Windows gives: 12002 time-out, 12007 host
// not found, 12015 login refused, 12029 cannot connect, 12030 or 12031
// connection lost, 12003 for a command the server refused, whose reply
// InternetGetLastResponseInfoW then gives. Transfers are always passive
// (deviation: WinINet uses active mode unless INTERNET_FLAG_PASSIVE).
//
// Deviations (docs/deviations.md): FtpOpenFileW for reading fetches the
// whole file when it opens it; for writing it stores an empty file at once
// (so a refused name or a read-only folder fails there, as on Windows) and
// sends the written bytes when the handle is closed. FtpFindFirstFileW
// lists the folder of the pattern and matches the last name here (servers
// differ in the patterns they accept). Remote paths take "\\" as "/".
#pragma once

#include <cstdint>

#include "pal/types.h"

namespace zrpal {

struct WIN32_FIND_DATAW;  // pal/files/find.h

using HINTERNET = void*;
using INTERNET_PORT = WORD;
using DWORD_PTR = std::uintptr_t;

// InternetOpenW access types.
inline constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG = 0;
inline constexpr DWORD INTERNET_OPEN_TYPE_DIRECT = 1;

inline constexpr INTERNET_PORT INTERNET_DEFAULT_FTP_PORT = 21;
inline constexpr DWORD INTERNET_SERVICE_FTP = 1;
inline constexpr DWORD INTERNET_FLAG_PASSIVE = 0x08000000;

// Transfer and cache flags of the FTP functions. The cache flags are
// accepted and have nothing to do: FTP transfers are never cached here.
inline constexpr DWORD FTP_TRANSFER_TYPE_UNKNOWN = 0x0;  // binary
inline constexpr DWORD FTP_TRANSFER_TYPE_ASCII = 0x1;
inline constexpr DWORD FTP_TRANSFER_TYPE_BINARY = 0x2;
inline constexpr DWORD INTERNET_FLAG_RELOAD = 0x80000000;
inline constexpr DWORD INTERNET_FLAG_NO_CACHE_WRITE = 0x04000000;
inline constexpr DWORD INTERNET_FLAG_RESYNCHRONIZE = 0x00000800;
inline constexpr DWORD INTERNET_FLAG_HYPERLINK = 0x00000400;

// InternetSetOptionW options (milliseconds, a DWORD).
inline constexpr DWORD INTERNET_OPTION_CONNECT_TIMEOUT = 2;
inline constexpr DWORD INTERNET_OPTION_RECEIVE_TIMEOUT = 6;

// WinINet errors.
inline constexpr DWORD ERROR_INTERNET_TIMEOUT = 12002;
inline constexpr DWORD ERROR_INTERNET_EXTENDED_ERROR = 12003;
inline constexpr DWORD ERROR_INTERNET_INTERNAL_ERROR = 12004;
inline constexpr DWORD ERROR_INTERNET_INVALID_URL = 12005;
inline constexpr DWORD ERROR_INTERNET_UNRECOGNIZED_SCHEME = 12006;
inline constexpr DWORD ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
inline constexpr DWORD ERROR_INTERNET_INVALID_OPTION = 12009;
inline constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_TYPE = 12018;
inline constexpr DWORD ERROR_INTERNET_LOGIN_FAILURE = 12015;
inline constexpr DWORD ERROR_INTERNET_CANNOT_CONNECT = 12029;
inline constexpr DWORD ERROR_INTERNET_CONNECTION_ABORTED = 12030;
inline constexpr DWORD ERROR_INTERNET_CONNECTION_RESET = 12031;
inline constexpr DWORD ERROR_FTP_TRANSFER_IN_PROGRESS = 12110;

// URL parts (InternetCrackUrlW). Each part is either asked for with a
// non-zero length and a null pointer (the answer points into the URL), or
// copied into the caller's buffer of that many characters.
enum INTERNET_SCHEME : int {
  INTERNET_SCHEME_UNKNOWN = -1,
  INTERNET_SCHEME_DEFAULT = 0,
  INTERNET_SCHEME_FTP = 1,
  INTERNET_SCHEME_GOPHER = 2,
  INTERNET_SCHEME_HTTP = 3,
  INTERNET_SCHEME_HTTPS = 4,
  INTERNET_SCHEME_FILE = 5,
};

struct URL_COMPONENTSW {
  DWORD dwStructSize;
  LPWSTR lpszScheme;
  DWORD dwSchemeLength;
  INTERNET_SCHEME nScheme;
  LPWSTR lpszHostName;
  DWORD dwHostNameLength;
  INTERNET_PORT nPort;
  LPWSTR lpszUserName;
  DWORD dwUserNameLength;
  LPWSTR lpszPassword;
  DWORD dwPasswordLength;
  LPWSTR lpszUrlPath;
  DWORD dwUrlPathLength;
  LPWSTR lpszExtraInfo;
  DWORD dwExtraInfoLength;
};

// Cracks `url` (length 0: up to its terminator) into its raw parts: nothing
// is decoded or normalised. Flags other than 0 are refused
// (ERROR_INVALID_PARAMETER: ICU_DECODE and ICU_ESCAPE are not implemented).
// FALSE with ERROR_INTERNET_UNRECOGNIZED_SCHEME for text without a scheme,
// ERROR_INTERNET_INVALID_URL for a port that is not a number below 65536,
// ERROR_INSUFFICIENT_BUFFER when a part does not fit its buffer.
BOOL InternetCrackUrlW(LPCWSTR url, DWORD urlLength, DWORD flags, URL_COMPONENTSW* components);

// A session. Access types PRECONFIG and DIRECT (both direct: no proxy is
// configured here); a proxy name, a bypass list or any flag is refused.
HINTERNET InternetOpenW(LPCWSTR agent, DWORD accessType, LPCWSTR proxy, LPCWSTR proxyBypass,
                        DWORD flags);

// Sets a session's connect or receive time-out (ms; 0 keeps the default).
BOOL InternetSetOptionW(HINTERNET internet, DWORD option, LPVOID buffer, DWORD length);

// Connects and logs in to an FTP server (port 0: 21). A null or empty user
// logs in as "anonymous". Only INTERNET_SERVICE_FTP; flags 0 or PASSIVE.
HINTERNET InternetConnectW(HINTERNET internet, LPCWSTR serverName, INTERNET_PORT serverPort,
                           LPCWSTR userName, LPCWSTR password, DWORD service, DWORD flags,
                           DWORD_PTR context);

BOOL FtpGetFileW(HINTERNET connect, LPCWSTR remoteFile, LPCWSTR newFile, BOOL failIfExists,
                 DWORD flagsAndAttributes, DWORD flags, DWORD_PTR context);
BOOL FtpPutFileW(HINTERNET connect, LPCWSTR localFile, LPCWSTR newRemoteFile, DWORD flags,
                 DWORD_PTR context);
BOOL FtpDeleteFileW(HINTERNET connect, LPCWSTR fileName);
BOOL FtpCreateDirectoryW(HINTERNET connect, LPCWSTR directory);

// GENERIC_READ or GENERIC_WRITE (one of them). One open file per
// connection at a time (ERROR_FTP_TRANSFER_IN_PROGRESS), as on Windows.
HINTERNET FtpOpenFileW(HINTERNET connect, LPCWSTR fileName, DWORD access, DWORD flags,
                       DWORD_PTR context);
BOOL InternetReadFile(HINTERNET file, LPVOID buffer, DWORD toRead, DWORD* read);
BOOL InternetWriteFile(HINTERNET file, LPCVOID buffer, DWORD toWrite, DWORD* written);

// The first entry of the listing that matches `searchFile` (null or empty:
// every entry of the current folder); ERROR_NO_MORE_FILES when none does.
HINTERNET FtpFindFirstFileW(HINTERNET connect, LPCWSTR searchFile, WIN32_FIND_DATAW* findData,
                            DWORD flags, DWORD_PTR context);
BOOL InternetFindNextFileW(HINTERNET find, LPVOID findData);

BOOL InternetCloseHandle(HINTERNET internet);

// The server's last reply on this thread (its code in *error). `length` is
// in characters; too small a buffer gives ERROR_INSUFFICIENT_BUFFER and the
// length needed.
BOOL InternetGetLastResponseInfoW(DWORD* error, LPWSTR buffer, DWORD* length);

// Downloads `url` by its own scheme and port (ftp, http, https, file) into
// the cache folder ($XDG_CACHE_HOME, else ~/.cache, then "zrcore") under
// the last name of its path ("index" for none), replacing an earlier
// download of that name. The caller and the callback must be null.
// S_OK, E_INVALIDARG, E_OUTOFMEMORY, or INET_E_DOWNLOAD_FAILURE with the
// WinINet error as the last error.
inline constexpr HRESULT INET_E_DOWNLOAD_FAILURE = static_cast<HRESULT>(0x800C0008);
HRESULT URLDownloadToCacheFileW(void* caller, LPCWSTR url, LPWSTR fileName, DWORD fileNameChars,
                                DWORD reserved, void* callback);

// Start-up steps (module/startup.cpp): the transfer library's global state.
void InternetStartup();
void InternetShutdown();

}  // namespace zrpal
