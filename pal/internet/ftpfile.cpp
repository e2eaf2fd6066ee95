// pal/internet/ftpfile.cpp - remote files opened for reading or writing
// (FtpOpenFileW, InternetReadFile, InternetWriteFile) and searches
// (FtpFindFirstFileW, InternetFindNextFileW); see internet.h and objects.h.
#include "pal/internal/no_memory.h"
#include "pal/internet/listing.h"
#include "pal/internet/objects.h"
#include "pal/time.h"
#include "pal/wstr.h"

namespace zrpal {

using namespace internet;

namespace internet {

// Sends what a remote file opened for writing holds; once.
BOOL SendWritten(RemoteFile* file) {
  if (file->sent) return TRUE;
  file->sent = true;
  if (file->data.empty()) return TRUE;  // the empty file was stored at open
  std::string reply;
  MemorySource source(file->data);
  return Finish(internet::Store(file->owner->link, file->path, file->ascii, source, &reply), reply);
}

}  // namespace internet

namespace {

// Whether `name` matches the last name of a search. As on Windows, a
// pattern that ends with "." also matches a name without an extension
// ("*." finds "dir").
bool MatchesRemote(LPCWSTR pattern, LPCWSTR name) {
  if (MatchesFindPattern(pattern, name)) return true;
  const std::size_t n = wcslen(pattern);
  if (n == 0 || pattern[n - 1] != '.' || wcschr(name, '.')) return false;
  const std::u16string shorter(pattern, n - 1);
  return MatchesFindPattern(shorter.c_str(), name);
}

// Splits a search into its folder (may be "") and its last name.
void SplitSearch(const std::string& search, std::string* folder, std::string* pattern) {
  const std::size_t slash = search.rfind('/');
  if (slash == std::string::npos) {
    folder->clear();
    *pattern = search;
  } else {
    *folder = search.substr(0, slash + 1);
    *pattern = search.substr(slash + 1);
  }
}

}  // namespace

HINTERNET FtpOpenFileW(HINTERNET connect, LPCWSTR fileName, DWORD access, DWORD flags, DWORD_PTR) {
  HandleRef<Connection> c = Reference<Connection>(connect, Type::Connection);
  if (!c) return nullptr;
  bool ascii = false;
  if (!TransferFlags(flags, &ascii)) return nullptr;
  if (access != GENERIC_READ && access != GENERIC_WRITE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!Idle(*c.get())) return nullptr;
  return FailOnNoMemory<HINTERNET>(nullptr, [&]() -> HINTERNET {
    auto* file = new (std::nothrow) RemoteFile(c.get());
    if (!file) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    HandleRef<RemoteFile> hold(file);  // released on every failure below
    if (!RemotePath(fileName, &file->path)) return nullptr;
    file->writing = access == GENERIC_WRITE;
    file->ascii = ascii;
    std::string reply;
    DWORD error;
    if (file->writing) {
      const std::vector<char> nothing;
      MemorySource empty(nothing);
      error = internet::Store(c->link, file->path, ascii, empty, &reply);
    } else {
      MemorySink sink(&file->data);
      error = internet::Retrieve(c->link, file->path, ascii, sink, &reply);
    }
    if (!Finish(error, reply)) return nullptr;
    file->AddRef();  // the table's reference
    return InsertHandle(file);
  });
}

BOOL InternetReadFile(HINTERNET handle, LPVOID buffer, DWORD toRead, DWORD* read) {
  HandleRef<RemoteFile> file = Reference<RemoteFile>(handle, Type::File);
  if (!file) return FALSE;
  if (!read || (!buffer && toRead) || file->writing) {
    SetLastError(file && file->writing ? ERROR_ACCESS_DENIED : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::size_t left = file->data.size() - file->position;
  const std::size_t n = toRead < left ? toRead : left;
  if (n) std::memcpy(buffer, file->data.data() + file->position, n);
  file->position += n;
  *read = static_cast<DWORD>(n);
  return TRUE;
}

BOOL InternetWriteFile(HINTERNET handle, LPCVOID buffer, DWORD toWrite, DWORD* written) {
  HandleRef<RemoteFile> file = Reference<RemoteFile>(handle, Type::File);
  if (!file) return FALSE;
  if (!written || (!buffer && toWrite)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!file->writing) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return FailOnNoMemory<BOOL>(FALSE, [&]() -> BOOL {
    const char* bytes = static_cast<const char*>(buffer);
    file->data.insert(file->data.end(), bytes, bytes + toWrite);
    *written = toWrite;
    return TRUE;
  });
}

HINTERNET FtpFindFirstFileW(HINTERNET connect, LPCWSTR searchFile, WIN32_FIND_DATAW* findData,
                            DWORD flags, DWORD_PTR) {
  HandleRef<Connection> c = Reference<Connection>(connect, Type::Connection);
  if (!c) return nullptr;
  if ((flags & ~kCacheFlags) != 0 || !findData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!Idle(*c.get())) return nullptr;
  return FailOnNoMemory<HINTERNET>(nullptr, [&]() -> HINTERNET {
    std::string search, folder, pattern;
    if (searchFile && *searchFile && !RemotePath(searchFile, &search)) return nullptr;
    SplitSearch(search, &folder, &pattern);
    std::vector<char> text;
    MemorySink sink(&text);
    std::string reply;
    if (!Finish(internet::List(c->link, folder, sink, &reply), reply)) return nullptr;
    // The last name of the search as given; every name for none.
    LPCWSTR last = searchFile && *searchFile ? searchFile : u"*";
    for (LPCWSTR p = last; *p; ++p)
      if (*p == '/' || *p == '\\') last = p + 1;
    const LPCWSTR widePattern = *last ? last : u"*";
    auto* list = new (std::nothrow) FindList(c.get());
    if (!list) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    HandleRef<FindList> hold(list);
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    // One line at a time; entries that match the last name are kept.
    std::size_t at = 0;
    for (std::size_t lines = 0; at < text.size() && lines <= text.size(); ++lines) {
      std::size_t end = at;
      while (end < text.size() && text[end] != '\n') ++end;
      WIN32_FIND_DATAW entry;
      if (internet::ParseListLine(text.data() + at, end - at, now, &entry) &&
          MatchesRemote(widePattern, entry.cFileName))
        list->entries.push_back(entry);
      at = end + 1;
    }
    if (list->entries.empty()) {
      SetLastError(ERROR_NO_MORE_FILES);
      return nullptr;
    }
    *findData = list->entries[0];
    list->next = 1;
    list->AddRef();  // the table's reference
    return InsertHandle(list);
  });
}

BOOL InternetFindNextFileW(HINTERNET find, LPVOID findData) {
  HandleRef<FindList> list = Reference<FindList>(find, Type::Find);
  if (!list) return FALSE;
  if (!findData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (list->next >= list->entries.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  *static_cast<WIN32_FIND_DATAW*>(findData) = list->entries[list->next++];
  return TRUE;
}

}  // namespace zrpal
