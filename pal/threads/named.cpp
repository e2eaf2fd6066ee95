// pal/threads/named.cpp - named mutexes and events: one object for every
// process of the user that uses the same name.
//
// Names. A Windows name lives in the session's namespace ("Local\" or no
// prefix) or the machine's ("Global\"). Deviation: here both are per user: the
// shared-memory object is "/zr-<uid>-<l|g>-<name>" with every byte of the
// name outside [A-Za-z0-9_.] written as %XX, so names are case-sensitive
// and any byte but '\' may appear, as on Windows. The environment variable
// ZR_OBJECT_NAMESPACE, when set, adds "<value>-" after the uid: test
// programs use it to keep their objects apart from other runs of the same
// user. Mutexes and events share the namespace, as on Windows: a name taken
// by one kind is refused to the other (ERROR_INVALID_HANDLE). Deviation:
// Windows takes names of up to 260 characters; here a name of up to 260
// bytes must also fit the 255 bytes of a file name once escaped.
//
// Lifetime. On Windows a named object lives while some process holds a
// handle to it; shared memory outlives its users, so each process that
// holds the object keeps a read lock on the first byte of its file (an
// open-file-description lock, released by the kernel when the process ends,
// however it ends). Whoever can take the write lock is alone with the
// object: posix/named.inc makes a fresh object then, or removes the name of
// one nobody holds.
//
// In this process a name leads to one handle object (the list below), so
// every handle to it shares one mapping, one descriptor and one lock, and
// the object's last handle in this process gives up the process's hold. A
// child made by fork() inherits the descriptors, and with them the parent's
// locks (they belong to the open file, which both now share): its handles
// work, but closing them only unmaps and closes, so the child can neither
// remove the name nor change the parent's lock.
//
// Invariants (under g_lock): every link on g_links has a live or dying
// owner; a dying owner (count 0) is skipped, and its destructor takes its
// link off the list.
#include <cstring>
#include <new>

#include "pal/error.h"
#include "pal/internal/kobject.h"
#include "pal/sync.h"
#include "pal/threads/thread.h"

namespace zrpal::kobj {

namespace {

constexpr std::size_t kMaxWindowsName = 260;  // MAX_PATH: Windows refuses longer names
constexpr char kLocalPrefix[] = "Local\\";
constexpr char kGlobalPrefix[] = "Global\\";
constexpr char kNamespaceVariable[] = "ZR_OBJECT_NAMESPACE";

constinit CRITICAL_SECTION g_lock{};
constinit NamedLink* g_links = nullptr;
constinit std::size_t g_linkCount = 0;  // bounds every walk of g_links

// posix/named.inc
unsigned EffectiveUserId();
const char* NamespaceSetting();
bool OpenRegion(const char* osName, HandleKind kind, std::size_t bodyBytes, bool create,
                InitBodyFn init, const void* context, SharedRegion* region, bool* fresh);
void CloseRegion(const char* osName, SharedRegion* region, bool keepMapped, bool inherited);

// Appends `text` to `out` (capacity kOsNameBytes, at `*used`), escaping every
// byte a file name could not hold or that the name's separators use.
bool AppendEscaped(char* out, std::size_t* used, const char* text, std::size_t length) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < length; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '_' || c == '.';
    const std::size_t need = plain ? 1 : 3;
    if (*used + need >= kOsNameBytes) return false;
    if (plain) {
      out[(*used)++] = static_cast<char>(c);
    } else {
      out[(*used)++] = '%';
      out[(*used)++] = kHex[c >> 4];
      out[(*used)++] = kHex[c & 15];
    }
  }
  out[*used] = 0;
  return true;
}

bool AppendPlain(char* out, std::size_t* used, const char* text) {
  const std::size_t length = std::strlen(text);
  if (*used + length >= kOsNameBytes) return false;
  std::memcpy(out + *used, text, length + 1);
  *used += length;
  return true;
}

bool StartsWith(const char* text, const char* prefix) {
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// The shared-memory name of the Windows name `name`; false with the last
// error set when there is none.
bool BuildOsName(const char* name, char (&out)[kOsNameBytes]) {
  const std::size_t length = std::strlen(name);
  if (length == 0) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  if (length > kMaxWindowsName) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  const char* scope = "l-";
  if (StartsWith(name, kGlobalPrefix)) {
    name += sizeof kGlobalPrefix - 1;
    scope = "g-";
  } else if (StartsWith(name, kLocalPrefix)) {
    name += sizeof kLocalPrefix - 1;
  }
  // Any other backslash names a directory of the object namespace that
  // does not exist.
  if (std::strchr(name, '\\')) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  char uid[16];
  std::size_t digits = 0;
  for (unsigned id = EffectiveUserId(); digits == 0 || id != 0; id /= 10) uid[digits++] = char('0' + id % 10);
  std::size_t used = 0;
  out[used++] = '/';
  bool fits = AppendPlain(out, &used, "zr-");
  while (fits && digits > 0) {
    const char digit[2] = {uid[--digits], 0};
    fits = AppendPlain(out, &used, digit);
  }
  fits = fits && AppendPlain(out, &used, "-");
  if (const char* space = NamespaceSetting(); fits && space && *space)
    fits = AppendEscaped(out, &used, space, std::strlen(space)) && AppendPlain(out, &used, "-");
  fits = fits && AppendPlain(out, &used, scope) && AppendEscaped(out, &used, name, std::strlen(name));
  if (!fits) SetLastError(ERROR_FILENAME_EXCED_RANGE);
  return fits;
}

void Unlink(NamedLink* link) {
  NamedLink** at = &g_links;
  for (std::size_t walked = 0; *at && walked <= g_linkCount; at = &(*at)->next, ++walked) {
    if (*at == link) {
      *at = link->next;
      --g_linkCount;
      return;
    }
  }
}

}  // namespace

HANDLE OpenNamed(HandleKind kind, const char* name, bool create, std::size_t bodyBytes,
                 InitBodyFn init, MakeObjectFn make, const void* context) {
  char osName[kOsNameBytes];
  if (!BuildOsName(name, osName)) return nullptr;
  CCriticalSectionGuard guard(&g_lock);
  NamedLink* link = g_links;
  for (std::size_t walked = 0; link && walked < g_linkCount; link = link->next, ++walked) {
    if (std::strcmp(link->osName, osName) != 0) continue;
    if (link->kind != kind) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
    if (!link->owner->TryAddRef()) continue;  // dying: its destructor waits for g_lock
    HANDLE handle = InsertHandle(link->owner);
    if (handle && create) SetLastError(ERROR_ALREADY_EXISTS);
    return handle;
  }
  link = new (std::nothrow) NamedLink;
  if (!link) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  link->kind = kind;
  link->openerPid = GetCurrentProcessId();
  std::memcpy(link->osName, osName, sizeof osName);
  bool fresh = false;
  if (!OpenRegion(link->osName, kind, bodyBytes, create, init, context, &link->region, &fresh)) {
    delete link;
    return nullptr;
  }
  link->owner = make(link, fresh, context);
  if (!link->owner) {
    CloseRegion(link->osName, &link->region, false, false);
    delete link;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  link->next = g_links;
  g_links = link;
  ++g_linkCount;
  // On failure InsertHandle releases the object, whose destructor comes
  // back here through CloseNamed (g_lock is recursive).
  HANDLE handle = InsertHandle(link->owner);
  if (handle && create) SetLastError(fresh ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS);
  return handle;
}

void CloseNamed(NamedLink* link, bool keepMapped) {
  CCriticalSectionGuard guard(&g_lock);
  Unlink(link);
  CloseRegion(link->osName, &link->region, keepMapped, link->openerPid != GetCurrentProcessId());
  delete link;
}

}  // namespace zrpal::kobj

#include "pal/threads/posix/named.inc"
