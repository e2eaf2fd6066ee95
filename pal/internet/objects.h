// pal/internet/objects.h - the handle objects of the Internet component and
// the helpers its functions share (internet.cpp, ftpfile.cpp).
//
// Handle objects, all HandleKind::Internet, told apart by their Type:
//   Session     the time-outs given to its connections;
//   Connection  one logged-in Link, and whether a remote file is open on it
//               (one at a time, as WinINet allows);
//   RemoteFile  the bytes of a file read at open, or written so far;
//   FindList    the matching entries of one listing and the next to give.
// A file or find handle holds a reference to its connection's object, so
// the link lives while they do; the link is closed with the connection's
// last reference. Objects are used by one thread at a time.
//
// Local files are made, read and written with the files component's own
// functions (CreateFileW, ReadFile, WriteFile), never the OS directly.
#pragma once

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "pal/codepage.h"
#include "pal/error.h"
#include "pal/files/file.h"
#include "pal/files/find.h"
#include "pal/handle.h"
#include "pal/internet/internet.h"
#include "pal/internet/transfer.h"

namespace zrpal::internet {

inline constexpr long kDefaultConnectTimeoutMs = 15000;
inline constexpr long kDefaultReceiveTimeoutMs = 30000;
inline constexpr std::size_t kReplyChars = 512;
inline constexpr DWORD kTransferTypeMask = FTP_TRANSFER_TYPE_ASCII | FTP_TRANSFER_TYPE_BINARY;
inline constexpr DWORD kCacheFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                     INTERNET_FLAG_RESYNCHRONIZE | INTERNET_FLAG_HYPERLINK;
inline constexpr DWORD kLocalChunk = 1 << 16;  // bytes per ReadFile of an upload

// The server's last reply on this thread (no dynamic initialiser).
inline constinit thread_local char t_reply[kReplyChars] = {};

inline void KeepReply(const std::string& reply) {
  const std::size_t n = reply.size() < kReplyChars - 1 ? reply.size() : kReplyChars - 1;
  std::memcpy(t_reply, reply.data(), n);
  t_reply[n] = 0;
}

enum class Type { Session, Connection, File, Find };

class InternetObject : public HandleObject {
 public:
  explicit InternetObject(Type type) : HandleObject(HandleKind::Internet), m_type(type) {}
  Type WhatType() const { return m_type; }

 private:
  const Type m_type;
};

struct Session final : InternetObject {
  Session() : InternetObject(Type::Session) {}
  long connectMs = kDefaultConnectTimeoutMs;
  long receiveMs = kDefaultReceiveTimeoutMs;
};

struct Connection final : InternetObject {
  explicit Connection(Link* l) : InternetObject(Type::Connection), link(l) {}
  ~Connection() override { internet::CloseLink(link); }
  Link* link;
  bool fileOpen = false;
};

struct RemoteFile final : InternetObject {
  explicit RemoteFile(Connection* c) : InternetObject(Type::File), owner(c) {
    owner->AddRef();
    owner->fileOpen = true;
  }
  ~RemoteFile() override {
    owner->fileOpen = false;
    owner->Release();
  }
  Connection* owner;
  bool writing = false;
  bool ascii = false;
  bool sent = false;  // the written bytes went to the server (or failed to)
  std::string path;
  std::vector<char> data;
  std::size_t position = 0;
};

struct FindList final : InternetObject {
  explicit FindList(Connection* c) : InternetObject(Type::Find), owner(c) { owner->AddRef(); }
  ~FindList() override { owner->Release(); }
  Connection* owner;
  std::vector<WIN32_FIND_DATAW> entries;
  std::size_t next = 0;
};

// The object of `handle` when it is of `type`; null with
// ERROR_INVALID_HANDLE (no such handle) or
// ERROR_INTERNET_INCORRECT_HANDLE_TYPE.
template <class T>
HandleRef<T> Reference(HINTERNET handle, Type type) {
  HandleRef<InternetObject> any =
      ReferenceHandle<InternetObject>(handle, KindBit(HandleKind::Internet));
  if (!any) return HandleRef<T>();
  if (any->WhatType() != type) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return HandleRef<T>();
  }
  any->AddRef();
  return HandleRef<T>(static_cast<T*>(any.get()));
}

// UTF-8 of a text; null gives "". False with ERROR_INVALID_PARAMETER for a
// lone surrogate.
inline bool Utf8(LPCWSTR text, std::string* out) {
  out->clear();
  if (!text || !*text) return true;
  const int n =
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  out->resize(static_cast<std::size_t>(n));
  WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, out->data(), n, nullptr, nullptr);
  out->resize(static_cast<std::size_t>(n - 1));
  return true;
}

// A remote path: UTF-8 with "\\" as "/". False for a null or empty name.
inline bool RemotePath(LPCWSTR name, std::string* out) {
  if (!name || !*name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (!Utf8(name, out)) return false;
  for (char& ch : *out)
    if (ch == '\\') ch = '/';
  return true;
}

// Checks the flags of the transfer functions: a transfer type and the
// cache flags. True for binary.
inline bool TransferFlags(DWORD flags, bool* ascii) {
  if ((flags & ~(kTransferTypeMask | kCacheFlags)) != 0 ||
      (flags & kTransferTypeMask) == kTransferTypeMask) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  *ascii = (flags & kTransferTypeMask) == FTP_TRANSFER_TYPE_ASCII;
  return true;
}

// True when no file of the connection is open; else false with
// ERROR_FTP_TRANSFER_IN_PROGRESS, as WinINet refuses a second transfer.
inline bool Idle(const Connection& c) {
  if (!c.fileOpen) return true;
  SetLastError(ERROR_FTP_TRANSFER_IN_PROGRESS);
  return false;
}

// Sets the last error of an operation; FALSE unless it succeeded.
inline BOOL Finish(DWORD error, const std::string& reply) {
  KeepReply(reply);
  if (error == ERROR_SUCCESS) return TRUE;
  SetLastError(error);
  return FALSE;
}

class FileSink final : public internet::Sink {
 public:
  explicit FileSink(HANDLE file) : m_file(file) {}
  bool Take(const char* data, std::size_t bytes) override {
    DWORD written = 0;
    return WriteFile(m_file, data, static_cast<DWORD>(bytes), &written, nullptr) &&
           written == bytes;
  }

 private:
  HANDLE m_file;
};

class FileSource final : public internet::Source {
 public:
  explicit FileSource(HANDLE file) : m_file(file) {}
  long Give(char* data, std::size_t room) override {
    DWORD got = 0;
    const DWORD want = room < kLocalChunk ? static_cast<DWORD>(room) : kLocalChunk;
    if (!ReadFile(m_file, data, want, &got, nullptr)) return -1;
    return static_cast<long>(got);
  }

 private:
  HANDLE m_file;
};

class MemorySink final : public internet::Sink {
 public:
  explicit MemorySink(std::vector<char>* to) : m_to(to) {}
  bool Take(const char* data, std::size_t bytes) override {
    try {
      m_to->insert(m_to->end(), data, data + bytes);
      return true;
    } catch (const std::bad_alloc&) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return false;
    }
  }

 private:
  std::vector<char>* m_to;
};

class MemorySource final : public internet::Source {
 public:
  explicit MemorySource(const std::vector<char>& from) : m_from(from) {}
  long Give(char* data, std::size_t room) override {
    const std::size_t n = m_from.size() - m_at < room ? m_from.size() - m_at : room;
    if (n) std::memcpy(data, m_from.data() + m_at, n);  // an empty vector has no data
    m_at += n;
    return static_cast<long>(n);
  }

 private:
  const std::vector<char>& m_from;
  std::size_t m_at = 0;
};

// Sends what a remote file opened for writing holds; once (ftpfile.cpp).
BOOL SendWritten(RemoteFile* file);

}  // namespace zrpal::internet
