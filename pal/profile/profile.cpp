// pal/profile/profile.cpp - the profile functions over a process-wide cache
// of parsed INI files.
//
// Why a cache. Windows' profile functions read and parse the file on every
// call, so that a change made by another process is seen at once. A 10k-key
// file costs a millisecond to parse; a call should cost a hash lookup. So
// each file is parsed once (initext.h) and kept, and every call checks that
// the file is still the one that was parsed before answering from the cache.
//
// What "the same file" means. The stamp of a file is its device, inode,
// size, modification time and change time, in nanoseconds (stat). Any write
// changes the modification and change times; replacing the file changes the
// inode; a program that sets the modification time back (touch, tar) still
// moves the change time, which no program can set. One hole remains: time
// stamps advance in ticks (the kernel's coarse clock, 1-10 ms; whole seconds
// on some file systems), so a same-size change made within the tick of the
// cached version's change time leaves the stamp as it was. Version-control
// tools meet the same hole with their "racily clean" rule, and so does this
// cache: an entry is trusted only when the change time of its stamp lies
// more than a tick (kRacyWindowNs, or kCoarseRacyWindowNs for stamps in whole
// seconds) before the moment its content was read (readAt). An entry that is
// not trusted is read again on every call and compared byte for byte: equal
// bytes keep the parsed index (and the new readAt, which soon makes the
// entry trusted), different ones are parsed.
//
// Change notices (watch.cpp) make the common call cheaper still: where the
// kernel can tell of every change to the file and its path, an entry that
// was checked after its watch began and has had no notice since is answered
// without a look at the file (one read of the notice queue instead of a
// stat of the path). Paths that cannot be watched keep the stamp check.
//
// Writes (WriteLocked, posix/profile.inc) take the file's write lock, read
// the current bytes, apply the edit with initext.h and put the new file in
// place; the cache then holds the new text under the new file's stamp.
//
// The cache is a small array (kMaxCachedFiles) keyed by the OS path, the
// least recently used entry replaced; entries share their parsed text with
// callers through counted references, so a call answers outside the cache
// lock.
#include "pal/profile/profile.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "pal/codepage.h"
#include "pal/error.h"
#include "pal/profile/initext.h"
#include "pal/profile/watch.h"

namespace zrpal {

namespace {

using profile::IniText;
using profile::IniTextRef;
using profile::WatchMark;

// One version of a file, as stat tells it.
struct FileStamp {
  std::uint64_t device;
  std::uint64_t inode;
  std::int64_t size;
  std::int64_t mtimeNs;
  std::int64_t ctimeNs;
  bool operator==(const FileStamp&) const = default;
};

constexpr std::int64_t kNsPerSecond = 1'000'000'000;
// Two ticks of the coarsest kernel clock in use (HZ = 100).
constexpr std::int64_t kRacyWindowNs = 20'000'000;
// File systems that keep whole seconds (FAT keeps two).
constexpr std::int64_t kCoarseRacyWindowNs = 3 * kNsPerSecond;
constexpr std::size_t kMaxCachedFiles = 16;

// --- The OS side (posix/profile.inc) ---------------------------------------

enum class FileState { kPresent, kMissing, kFailed };

// The stamp of the file at `path` (links followed). kFailed sets the last
// error.
FileState StampFile(const std::string& path, FileStamp* stamp);
// The whole file under a shared lock, and its stamp. kFailed sets the last
// error (ERROR_FILE_TOO_LARGE beyond IniText::kMaxBytes).
FileState ReadWholeFile(const std::string& path, std::string* text, FileStamp* stamp);
// The current time in nanoseconds, on the clock file time stamps use.
std::int64_t NowNs();

// The edit a write applies, called by WriteLocked under the write lock.
class CEditor {
 public:
  enum class Outcome { kUnchanged, kChanged, kRefused };
  // `current` is the file's content (empty when it does not exist). Sets
  // *updated for kChanged; sets the last error for kRefused.
  virtual Outcome Edit(std::string&& current, std::string* updated) = 0;
  // The new content is in place with `stamp`; `before` is NowNs() from
  // before it was written.
  virtual void Written(const FileStamp& stamp, std::int64_t before) = 0;

 protected:
  ~CEditor() = default;
};

// Applies `editor` to the file at `path` under its write lock and writes the
// result. TRUE also when the edit changes nothing (nothing is written).
BOOL WriteLocked(const std::string& path, CEditor& editor);

// --- The cache --------------------------------------------------------------

struct CachedFile {
  std::string path;
  FileStamp stamp;
  std::int64_t readAt;  // NowNs() from before the content was read
  IniTextRef text;
  std::uint64_t lastUse;
  // The watch mark taken before the check that validated the entry; while
  // no notice about the file comes after it, the entry is current.
  WatchMark mark = profile::kNotWatched;
};

struct ProfileCache {
  std::vector<CachedFile> files;
  std::uint64_t uses = 0;
};

constinit std::mutex g_cacheLock;
constinit ProfileCache* g_cache = nullptr;

bool Trusted(const CachedFile& f) {
  const bool wholeSeconds =
      f.stamp.ctimeNs % kNsPerSecond == 0 && f.stamp.mtimeNs % kNsPerSecond == 0;
  return f.stamp.ctimeNs + (wholeSeconds ? kCoarseRacyWindowNs : kRacyWindowNs) < f.readAt;
}

// The entry of `path`; the cache lock is held.
CachedFile* FindCached(const std::string& path) {
  if (!g_cache) return nullptr;
  for (CachedFile& f : g_cache->files)
    if (f.path == path) return &f;
  return nullptr;
}

void Store(const std::string& path, const FileStamp& stamp, std::int64_t readAt, IniTextRef text,
           WatchMark mark) {
  std::lock_guard<std::mutex> hold(g_cacheLock);
  if (!g_cache) return;
  CachedFile* slot = FindCached(path);
  if (!slot && g_cache->files.size() < kMaxCachedFiles) slot = &g_cache->files.emplace_back();
  if (!slot) {
    slot = &*std::min_element(
        g_cache->files.begin(), g_cache->files.end(),
        [](const CachedFile& a, const CachedFile& b) { return a.lastUse < b.lastUse; });
    profile::Unwatch(slot->path);
  }
  *slot = CachedFile{path, stamp, readAt, std::move(text), ++g_cache->uses, mark};
}

void Forget(const std::string& path) {
  std::lock_guard<std::mutex> hold(g_cacheLock);
  if (!g_cache) return;
  std::erase_if(g_cache->files, [&](const CachedFile& f) { return f.path == path; });
  profile::Unwatch(path);
}

// The cached parse of `path` when it was made from exactly `bytes`.
IniTextRef CachedIfSame(const std::string& path, const std::string& bytes) {
  std::lock_guard<std::mutex> hold(g_cacheLock);
  const CachedFile* f = FindCached(path);
  return f && f->text->Text() == bytes ? f->text : IniTextRef();
}

// The parsed file at `path`; null when it does not exist or cannot be read
// (the profile functions then read it as empty, as Windows does).
IniTextRef Snapshot(const std::string& path) {
  WatchMark mark = profile::kNotWatched;
  {
    std::lock_guard<std::mutex> hold(g_cacheLock);
    CachedFile* f = FindCached(path);
    if (f && profile::QuietSince(path, f->mark)) {
      f->lastUse = ++g_cache->uses;
      return f->text;
    }
    // A look at the file follows: the watch goes first, so that any change
    // after the look makes a notice. (No cache, no watch: every call parses.)
    if (g_cache) mark = profile::WatchPath(path);
  }
  FileStamp stamp;
  if (StampFile(path, &stamp) != FileState::kPresent) return IniTextRef();
  {
    std::lock_guard<std::mutex> hold(g_cacheLock);
    CachedFile* f = FindCached(path);
    if (f && f->stamp == stamp && Trusted(*f)) {
      f->lastUse = ++g_cache->uses;
      f->mark = mark;
      return f->text;
    }
  }
  const std::int64_t readAt = NowNs();
  std::string bytes;
  if (ReadWholeFile(path, &bytes, &stamp) != FileState::kPresent) return IniTextRef();
  IniTextRef text = CachedIfSame(path, bytes);
  if (!text) text = IniTextRef::Make(std::move(bytes));
  Store(path, stamp, readAt, text, mark);
  return text;
}

// --- Names, paths and answers -----------------------------------------------

// The OS path of a file name in the ANSI code page: UTF-8, "/" separators.
// False (last error set) when the name does not convert.
bool OsPathOf(LPCSTR fileName, std::string* path) {
  if (GetACP() == CP_UTF8) {
    path->assign(fileName);
  } else if (*fileName) {
    const int units = MultiByteToWideChar(CP_ACP, 0, fileName, -1, nullptr, 0);
    if (units <= 0) return false;
    std::u16string wide(static_cast<std::size_t>(units), u'\0');
    MultiByteToWideChar(CP_ACP, 0, fileName, -1, wide.data(), units);
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return false;
    path->assign(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, path->data(), bytes, nullptr, nullptr);
    path->pop_back();  // the terminator
  } else {
    path->clear();
  }
  std::replace(path->begin(), path->end(), '\\', '/');
  return true;
}

// One pair of matching quotes around a value is not part of it.
std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

// The default as Windows uses it: trailing blanks (spaces only) removed,
// then one pair of quotes.
std::string_view DefaultOf(LPCSTR defaultText) {
  std::string_view d = defaultText ? defaultText : "";
  while (!d.empty() && d.back() == ' ') d.remove_suffix(1);
  return Unquote(d);
}

// What a read answers: a value (`view`, into `file`'s text or the caller's
// default) or a list (`list`: each name with its zero, without the final
// one).
struct Answer {
  IniTextRef file;
  std::string list;
  std::string_view view;
  bool isList = false;
  bool found = false;
};

void Ask(LPCSTR section, LPCSTR key, LPCSTR defaultText, const std::string& path, Answer* a) {
  a->file = Snapshot(path);
  const IniText* file = a->file.get();
  if (!section) {
    // A null section lists the section names, whatever the key.
    a->isList = a->found = true;
    if (file) file->AppendSectionNames(&a->list);
    return;
  }
  const int s = file ? file->FindSection(section) : IniText::kNotFound;
  if (!key) {
    // A null key lists the section's keys; a missing section or one without
    // keys gives the default instead.
    if (file) file->AppendKeyNames(s, &a->list);
    a->isList = a->found = !a->list.empty();
    if (!a->found) a->view = DefaultOf(defaultText);
    return;
  }
  if (!*key) return;  // an empty key name reads as empty text (not the default)
  const int k = file ? file->FindKey(s, key) : IniText::kNotFound;
  a->found = k != IniText::kNotFound;
  a->view = a->found ? Unquote(file->ValueOf(k)) : DefaultOf(defaultText);
}

// A value into a buffer of `size` (> 0) characters: cut to size - 1.
template <class C>
DWORD CopyValue(std::basic_string_view<C> value, C* buffer, DWORD size) {
  const std::size_t n = std::min<std::size_t>(value.size(), size - 1);
  std::copy_n(value.data(), n, buffer);
  buffer[n] = C(0);
  return static_cast<DWORD>(n);
}

// A list and its final zero into a buffer of `size` (> 0) characters. It
// fits only with two characters to spare; otherwise it is cut to size - 2
// characters followed by two zeros, and size - 2 is returned.
template <class C>
DWORD CopyList(std::basic_string_view<C> list, C* buffer, DWORD size) {
  if (list.empty() || size < 2) {
    buffer[0] = C(0);
    return 0;
  }
  if (list.size() + 2 <= size) {
    std::copy_n(list.data(), list.size(), buffer);
    buffer[list.size()] = C(0);
    return static_cast<DWORD>(list.size());
  }
  std::copy_n(list.data(), size - 2, buffer);
  buffer[size - 2] = buffer[size - 1] = C(0);
  return size - 2;
}

// A wide argument in the ANSI code page; a null one stays null.
class CAnsiArg {
 public:
  explicit CAnsiArg(LPCWSTR text) : m_null(text == nullptr) {
    if (!text || !*text) return;
    const int bytes = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return;
    m_text.assign(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, m_text.data(), bytes, nullptr, nullptr);
    m_text.pop_back();
  }
  LPCSTR Get() const { return m_null ? nullptr : m_text.c_str(); }

 private:
  bool m_null;
  std::string m_text;
};

std::u16string WideOf(std::string_view text) {
  std::u16string wide;
  if (text.empty()) return wide;
  const int length = static_cast<int>(text.size());
  const int units = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  if (units <= 0) return wide;
  wide.resize(static_cast<std::size_t>(units));
  MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), units);
  return wide;
}

// The edit of one WritePrivateProfileStringA call.
class CProfileEdit final : public CEditor {
 public:
  CProfileEdit(const std::string& path, LPCSTR section, LPCSTR key, LPCSTR text)
      : m_path(path), m_section(section), m_key(key), m_text(text) {}

  Outcome Edit(std::string&& current, std::string* updated) override {
    IniTextRef file = CachedIfSame(m_path, current);
    if (!file) file = IniTextRef::Make(std::move(current));
    bool changed;
    if (!m_key)
      changed = file->WithoutSection(m_section, updated);
    else if (!m_text)
      changed = file->WithoutKey(m_section, m_key, updated);
    else
      changed = file->WithKey(m_section, m_key, m_text, updated);
    if (!changed) return Outcome::kUnchanged;
    if (updated->size() > IniText::kMaxBytes) {
      SetLastError(ERROR_FILE_TOO_LARGE);
      return Outcome::kRefused;
    }
    m_updated = updated;
    return Outcome::kChanged;
  }

  void Written(const FileStamp& stamp, std::int64_t before) override {
    // Unwatched until the next call checks it: the write's own notices
    // would count against any mark taken now.
    Store(m_path, stamp, before, IniTextRef::Make(std::move(*m_updated)), profile::kNotWatched);
  }

 private:
  const std::string& m_path;
  LPCSTR m_section;
  LPCSTR m_key;
  LPCSTR m_text;
  std::string* m_updated = nullptr;
};

// The platform layer never throws: memory running out inside a call fails
// the call with ERROR_NOT_ENOUGH_MEMORY.
template <class R, class F>
R WithoutThrowing(R failure, F&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return failure;
  }
}

}  // namespace

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultText, LPSTR buffer,
                               DWORD size, LPCSTR fileName) {
  if (!buffer || size == 0) return 0;
  // The hot path: the thread's path buffer keeps its capacity between calls.
  thread_local std::string path;
  buffer[0] = 0;
  return WithoutThrowing<DWORD>(0, [&]() -> DWORD {
    if (!fileName || !OsPathOf(fileName, &path)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    Answer a;
    Ask(section, key, defaultText, path, &a);
    SetLastError(a.found ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
    return a.isList ? CopyList<char>(a.list, buffer, size) : CopyValue<char>(a.view, buffer, size);
  });
}

DWORD GetPrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR defaultText, LPWSTR buffer,
                               DWORD size, LPCWSTR fileName) {
  if (!buffer || size == 0) return 0;
  buffer[0] = 0;
  return WithoutThrowing<DWORD>(0, [&]() -> DWORD {
    const CAnsiArg file(fileName);
    std::string path;
    if (!file.Get() || !OsPathOf(file.Get(), &path)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    const CAnsiArg s(section), k(key), d(defaultText);
    Answer a;
    Ask(s.Get(), k.Get(), d.Get(), path, &a);
    // The whole answer is converted, then cut in UTF-16 units as Windows cuts.
    const std::u16string wide = WideOf(a.isList ? std::string_view(a.list) : a.view);
    SetLastError(a.found ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
    return a.isList ? CopyList<WCHAR>(wide, buffer, size) : CopyValue<WCHAR>(wide, buffer, size);
  });
}

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR text, LPCSTR fileName) {
  return WithoutThrowing<BOOL>(FALSE, [&]() -> BOOL {
    std::string path;
    if (!section && !key && !text) {
      // Windows' "flush" call: nothing is pending here; the cached copy goes.
      if (fileName && OsPathOf(fileName, &path)) Forget(path);
      SetLastError(ERROR_SUCCESS);
      return FALSE;
    }
    if (!section || !fileName || profile::TrimProfileSpace(section).empty() ||
        !OsPathOf(fileName, &path)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    CProfileEdit edit(path, section, key, text);
    return WriteLocked(path, edit);
  });
}

BOOL WritePrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR text, LPCWSTR fileName) {
  return WithoutThrowing<BOOL>(FALSE, [&] {
    const CAnsiArg s(section), k(key), t(text), f(fileName);
    return WritePrivateProfileStringA(s.Get(), k.Get(), t.Get(), f.Get());
  });
}

void ProfileStartup() {
  std::lock_guard<std::mutex> hold(g_cacheLock);
  if (!g_cache) g_cache = new (std::nothrow) ProfileCache();  // none: every call parses
}

void ProfileShutdown() {
  std::lock_guard<std::mutex> hold(g_cacheLock);
  delete g_cache;
  g_cache = nullptr;
  profile::StopWatching();
}

}  // namespace zrpal

#include "pal/profile/posix/profile.inc"
