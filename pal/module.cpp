// pal/module.cpp - the module entry sequence, and the OS-independent part of
// finding module files: candidate names, path text, Windows buffer rules.
#include "pal/module.h"

#include <cassert>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "pal/error.h"
#include "pal/codepage.h"
#include "pal/internal/no_memory.h"
#include "pal/wstr.h"

namespace zrpal {

namespace {
HMODULE ModuleOf(const void* codeAddress) {
  MEMORY_BASIC_INFORMATION info{};
  if (VirtualQuery(codeAddress, &info, sizeof info) == 0) return nullptr;
  return static_cast<HMODULE>(info.AllocationBase);
}

// The suffix of shared objects, tried after a bare name in each folder.
constexpr std::string_view kModuleSuffix = ".so";
// The separator of the folders of a search path.
constexpr char kSearchPathSeparator = ':';

// Provided by posix/module.inc.
bool CurrentFolder(std::string& folder);
bool IsRegularFile(const std::string& path);
std::vector<std::string> DefaultSearchFolders();

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Whether the last component of `name` has an extension (a dot that does not
// begin it: ".profile" has none).
bool HasExtension(std::string_view name) {
  const size_t slash = name.rfind('/');
  const std::string_view file = slash == std::string_view::npos ? name : name.substr(slash + 1);
  const size_t dot = file.rfind('.');
  return dot != std::string_view::npos && dot != 0;
}

// Removes empty, "." and ".." components from an absolute path, as text. A
// ".." at the root stays at the root, as the file system resolves it.
std::string NormalizeAbsolutePath(std::string_view path) {
  assert(!path.empty() && path.front() == '/');
  std::vector<std::string_view> parts;
  size_t pos = 0;
  while (pos < path.size()) {
    size_t end = path.find('/', pos);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(pos, end - pos);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    pos = end + 1;
  }
  std::string out;
  for (std::string_view part : parts) {
    out += '/';
    out += part;
  }
  return out.empty() ? std::string("/") : out;
}

// `name` under `folder` as a normalised absolute path; a relative folder is
// taken from the current folder. False (last error set) when the current
// folder cannot be told.
bool AbsolutePath(std::string_view folder, std::string_view name, std::string& out) {
  std::string joined;
  if (folder.empty() || folder.front() != '/') {
    if (!CurrentFolder(joined)) return false;
    joined += '/';
  }
  joined += folder;
  joined += '/';
  joined += name;
  out = NormalizeAbsolutePath(joined);
  return true;
}

// The names tried in each folder, in order.
std::vector<std::string> CandidateNames(std::string_view fileName, LPCSTR extension) {
  std::vector<std::string> names;
  if (extension && *extension && !HasExtension(fileName)) {
    names.emplace_back(std::string(fileName) + extension);
    return names;
  }
  names.emplace_back(fileName);
  if (!extension && !EndsWith(fileName, kModuleSuffix))
    names.emplace_back(std::string(fileName) + std::string(kModuleSuffix));
  return names;
}

std::vector<std::string> SplitSearchPath(std::string_view path) {
  std::vector<std::string> folders;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t end = path.find(kSearchPathSeparator, pos);
    if (end == std::string_view::npos) end = path.size();
    if (end > pos) folders.emplace_back(path.substr(pos, end - pos));
    pos = end + 1;
  }
  return folders;
}

// Windows' rule for a search result: the length when it fits with its
// terminator, else the size needed.
DWORD StoreSearchResult(const std::string& path, DWORD bufferLength, LPSTR buffer, LPSTR* filePart) {
  const DWORD length = static_cast<DWORD>(path.size());
  if (length >= bufferLength) return length + 1;
  std::memcpy(buffer, path.data(), length);
  buffer[length] = '\0';
  if (filePart) *filePart = buffer + path.rfind('/') + 1;
  return length;
}

// Windows' rule for a module file name: cut to size - 1 and terminated when
// it does not fit, the result is then `size`.
DWORD StoreModuleFileName(const std::string& path, LPSTR buffer, DWORD size) {
  if (size == 0 || !buffer) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (path.size() < size) {
    std::memcpy(buffer, path.data(), path.size());
    buffer[path.size()] = '\0';
    return static_cast<DWORD>(path.size());
  }
  std::memcpy(buffer, path.data(), size - 1);
  buffer[size - 1] = '\0';
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return size;
}

}  // namespace

namespace {

// The search of SearchPathA: the full path of the first candidate that is a
// regular file, or false with ERROR_FILE_NOT_FOUND (or the current folder's
// error) as the last error.
bool FindFileOnPath(LPCSTR path, std::string_view name, LPCSTR extension, std::string& found) {
  const std::vector<std::string> names = CandidateNames(name, extension);
  std::vector<std::string> folders;
  if (name.find('/') != std::string_view::npos)
    folders.emplace_back(name.front() == '/' ? "/" : ".");  // as given: no search
  else
    folders = path ? SplitSearchPath(path) : DefaultSearchFolders();

  for (const std::string& folder : folders) {
    for (const std::string& n : names) {
      if (!AbsolutePath(folder, n, found)) continue;
      if (IsRegularFile(found)) return true;
    }
  }
  SetLastError(ERROR_FILE_NOT_FOUND);
  return false;
}

}  // namespace

static DWORD SearchPathUnguarded(LPCSTR path, LPCSTR fileName, LPCSTR extension, DWORD bufferLength,
                                 LPSTR buffer, LPSTR* filePart) {
  if (!fileName || !*fileName || (!buffer && bufferLength != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string found;
  if (!FindFileOnPath(path, fileName, extension, found)) return 0;
  return StoreSearchResult(found, bufferLength, buffer, filePart);
}

// The Win32 contract never throws: working memory that runs out fails the
// call with ERROR_NOT_ENOUGH_MEMORY (pal/internal/no_memory.h).
DWORD SearchPathA(LPCSTR path, LPCSTR fileName, LPCSTR extension, DWORD bufferLength, LPSTR buffer,
                  LPSTR* filePart) {
  return FailOnNoMemory<DWORD>(0, [&] {
    return SearchPathUnguarded(path, fileName, extension, bufferLength, buffer, filePart);
  });
}

void RunModuleAttach(void (*construct)(), PDLLMAIN entry, const void* codeAddress) {
  if (construct) construct();
  if (entry) entry(ModuleOf(codeAddress), DLL_PROCESS_ATTACH, nullptr);
}

void RunModuleDetach(void (*destruct)(), PDLLMAIN entry, const void* codeAddress) {
  if (entry) entry(ModuleOf(codeAddress), DLL_PROCESS_DETACH, nullptr);
  if (destruct) destruct();
}

BOOL DisableThreadLibraryCalls(HMODULE) { return TRUE; }

HMODULE GetModuleHandleA(LPCSTR name) try {
  if (!name) return GetModuleHandleW(nullptr);
  const int n = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
  if (n <= 0) return nullptr;
  std::u16string wide(static_cast<std::size_t>(n), u'\0');
  if (MultiByteToWideChar(CP_ACP, 0, name, -1, wide.data(), n) <= 0) return nullptr;
  return GetModuleHandleW(wide.c_str());
} catch (const std::bad_alloc&) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return nullptr;
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) try {
  // The path is found as UTF-8 (the file system's names) and converted.
  std::string path(4096, '\0');
  const DWORD got = GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size()));
  if (got == 0) return 0;
  if (got >= path.size()) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return 0;
  }
  const int n = MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(got), nullptr, 0);
  if (n <= 0) return 0;
  std::u16string wide(static_cast<std::size_t>(n), u'\0');
  MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(got), wide.data(), n);
  if (!fileName || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (static_cast<DWORD>(n) < size) {
    std::memcpy(fileName, wide.data(), static_cast<std::size_t>(n) * sizeof(WCHAR));
    fileName[n] = 0;
    return static_cast<DWORD>(n);
  }
  std::memcpy(fileName, wide.data(), (size - 1) * sizeof(WCHAR));
  fileName[size - 1] = 0;
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return size;
} catch (const std::bad_alloc&) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return 0;
}

}  // namespace zrpal

#include "pal/posix/module.inc"
