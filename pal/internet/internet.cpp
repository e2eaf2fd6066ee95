// pal/internet/internet.cpp - the WinINet functions (see internet.h) over
// the transfer engine (transfer.h).
// This file: sessions, connections, the whole-file transfers and commands,
// closing, the last reply, and (posix/internet.inc) the download to the
// cache. The handle objects are described in objects.h; remote files and
// searches are in ftpfile.cpp.
#include "pal/internet/internet.h"

#include <cstring>
#include <string>
#include <vector>

#include "pal/codepage.h"
#include "pal/com.h"
#include "pal/error.h"
#include "pal/files/file.h"
#include "pal/files/filesystem.h"
#include "pal/files/find.h"
#include "pal/handle.h"
#include "pal/internal/no_memory.h"
#include "pal/internet/objects.h"
#include "pal/internet/transfer.h"
#include "pal/ole/objidl.h"
#include "pal/wstr.h"

namespace zrpal {

using namespace internet;

HINTERNET InternetOpenW(LPCWSTR, DWORD accessType, LPCWSTR proxy, LPCWSTR proxyBypass,
                        DWORD flags) {
  if ((accessType != INTERNET_OPEN_TYPE_PRECONFIG && accessType != INTERNET_OPEN_TYPE_DIRECT) ||
      (proxy && *proxy) || (proxyBypass && *proxyBypass) || flags != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto* session = new (std::nothrow) Session();
  if (!session) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return InsertHandle(session);
}

BOOL InternetSetOptionW(HINTERNET internet, DWORD option, LPVOID buffer, DWORD length) {
  HandleRef<Session> session = Reference<Session>(internet, Type::Session);
  if (!session) return FALSE;
  if (option != INTERNET_OPTION_CONNECT_TIMEOUT && option != INTERNET_OPTION_RECEIVE_TIMEOUT) {
    SetLastError(ERROR_INTERNET_INVALID_OPTION);
    return FALSE;
  }
  if (!buffer || length != sizeof(DWORD)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD ms = 0;
  std::memcpy(&ms, buffer, sizeof ms);
  if (ms == 0) return TRUE;
  (option == INTERNET_OPTION_CONNECT_TIMEOUT ? session->connectMs : session->receiveMs) =
      static_cast<long>(ms);
  return TRUE;
}

HINTERNET InternetConnectW(HINTERNET internet, LPCWSTR serverName, INTERNET_PORT serverPort,
                           LPCWSTR userName, LPCWSTR password, DWORD service, DWORD flags,
                           DWORD_PTR) {
  HandleRef<Session> session = Reference<Session>(internet, Type::Session);
  if (!session) return nullptr;
  if (service != INTERNET_SERVICE_FTP || (flags & ~INTERNET_FLAG_PASSIVE) != 0 || !serverName ||
      !*serverName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return FailOnNoMemory<HINTERNET>(nullptr, [&]() -> HINTERNET {
    internet::Endpoint where{{},
                             serverPort ? serverPort : INTERNET_DEFAULT_FTP_PORT,
                             {},
                             {},
                             session->connectMs,
                             session->receiveMs};
    if (!Utf8(serverName, &where.host) || !Utf8(userName, &where.user) ||
        !Utf8(password, &where.password))
      return nullptr;
    DWORD error = ERROR_SUCCESS;
    std::string reply;
    Link* link = internet::OpenLink(where, &error, &reply);
    if (!Finish(link ? ERROR_SUCCESS : error, reply)) return nullptr;
    auto* connection = new (std::nothrow) Connection(link);
    if (!connection) {
      internet::CloseLink(link);
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    return InsertHandle(connection);
  });
}

BOOL FtpGetFileW(HINTERNET connect, LPCWSTR remoteFile, LPCWSTR newFile, BOOL failIfExists,
                 DWORD flagsAndAttributes, DWORD flags, DWORD_PTR) {
  HandleRef<Connection> c = Reference<Connection>(connect, Type::Connection);
  if (!c) return FALSE;
  bool ascii = false;
  if (!TransferFlags(flags, &ascii)) return FALSE;
  if (!Idle(*c.get())) return FALSE;
  return FailOnNoMemory<BOOL>(FALSE, [&]() -> BOOL {
    std::string path;
    if (!RemotePath(remoteFile, &path)) return FALSE;
    HANDLE local =
        CreateFileW(newFile, GENERIC_WRITE, 0, nullptr, failIfExists ? CREATE_NEW : CREATE_ALWAYS,
                    flagsAndAttributes ? flagsAndAttributes : FILE_ATTRIBUTE_NORMAL, nullptr);
    if (local == INVALID_HANDLE_VALUE) return FALSE;
    FileSink sink(local);
    std::string reply;
    const DWORD error = internet::Retrieve(c->link, path, ascii, sink, &reply);
    CloseHandle(local);
    // A failed transfer leaves no partial copy behind.
    if (error != ERROR_SUCCESS) DeleteFileW(newFile);
    return Finish(error, reply);
  });
}

BOOL FtpPutFileW(HINTERNET connect, LPCWSTR localFile, LPCWSTR newRemoteFile, DWORD flags,
                 DWORD_PTR) {
  HandleRef<Connection> c = Reference<Connection>(connect, Type::Connection);
  if (!c) return FALSE;
  bool ascii = false;
  if (!TransferFlags(flags, &ascii)) return FALSE;
  if (!Idle(*c.get())) return FALSE;
  return FailOnNoMemory<BOOL>(FALSE, [&]() -> BOOL {
    std::string path;
    if (!RemotePath(newRemoteFile, &path)) return FALSE;
    HANDLE local = CreateFileW(localFile, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (local == INVALID_HANDLE_VALUE) return FALSE;
    FileSource source(local);
    std::string reply;
    const DWORD error = internet::Store(c->link, path, ascii, source, &reply);
    CloseHandle(local);
    return Finish(error, reply);
  });
}

namespace {

BOOL OneCommand(HINTERNET connect, const char* verb, LPCWSTR name) {
  HandleRef<Connection> c = Reference<Connection>(connect, Type::Connection);
  if (!c) return FALSE;
  if (!Idle(*c.get())) return FALSE;
  return FailOnNoMemory<BOOL>(FALSE, [&]() -> BOOL {
    std::string path;
    if (!RemotePath(name, &path)) return FALSE;
    std::string reply;
    return Finish(internet::Command(c->link, std::string(verb) + " " + path, &reply), reply);
  });
}

}  // namespace

BOOL FtpDeleteFileW(HINTERNET connect, LPCWSTR fileName) {
  return OneCommand(connect, "DELE", fileName);
}

BOOL FtpCreateDirectoryW(HINTERNET connect, LPCWSTR directory) {
  return OneCommand(connect, "MKD", directory);
}

BOOL InternetCloseHandle(HINTERNET handle) {
  BOOL sent = TRUE;
  {
    // A file opened for writing sends its bytes as it closes.
    HandleRef<InternetObject> any =
        ReferenceHandle<InternetObject>(handle, KindBit(HandleKind::Internet));
    if (!any) return FALSE;
    if (any->WhatType() == Type::File && static_cast<RemoteFile*>(any.get())->writing)
      sent = FailOnNoMemory<BOOL>(FALSE,
                                  [&] { return SendWritten(static_cast<RemoteFile*>(any.get())); });
  }
  const DWORD error = CloseTableHandle(handle, HandleFamily::Internet);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  return sent;
}

BOOL InternetGetLastResponseInfoW(DWORD* error, LPWSTR buffer, DWORD* length) {
  if (!error || !length) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // The reply's code: its three leading digits, 0 when it has none.
  *error = 0;
  for (int i = 0; i < 3 && t_reply[i] >= '0' && t_reply[i] <= '9'; ++i)
    *error = *error * 10 + static_cast<DWORD>(t_reply[i] - '0');
  const int needed = MultiByteToWideChar(CP_UTF8, 0, t_reply, -1, nullptr, 0);
  if (needed <= 0 || !buffer || *length < static_cast<DWORD>(needed)) {
    *length = needed > 0 ? static_cast<DWORD>(needed) : 1;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  MultiByteToWideChar(CP_UTF8, 0, t_reply, -1, buffer, static_cast<int>(*length));
  *length = static_cast<DWORD>(needed - 1);
  return TRUE;
}

void InternetStartup() { internet::TransferStartup(); }
void InternetShutdown() { internet::TransferShutdown(); }

}  // namespace zrpal

#include "pal/internet/posix/internet.inc"
