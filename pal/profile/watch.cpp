// pal/profile/watch.cpp - change notices for the files of the profile cache.
//
// Why. The cache must see a change made by another process at the next
// call. Looking at the file's stamp (stat of its path) on every call does
// that, but the path walk costs several times the lookup it guards. The
// kernel can tell instead: an inotify instance (posix/watch.inc) queues a
// notice in the very system call that changes a watched file or folder, so
// when another process's write, rename or unlink has returned, the notice is
// already queued, and a call that finds the queue empty (one read that
// fails with EAGAIN, no path walk) knows that nothing watched has changed.
//
// What is watched, for a file /a/b/f.ini: the file itself (contents, size,
// times, mode, link count, being moved or deleted) and each folder on the
// way, "/", "/a", "/a/b" (entries created, deleted or moved in or out, and
// the folder itself moved or deleted). A notice about a folder's entry
// counts only when the entry is the next name of the path ("a" in "/", "b"
// in "/a", "f.ini" in "/a/b"), so other files coming and going in a busy
// folder cost a notice read, not a check. So a replaced file (a rename over
// it, as the profile functions' own writes make), a replaced folder on the
// way, and a deleted or re-created file are all noticed.
//
// The rule the cache keeps (profile.cpp): an entry is answered without a
// look at the file only when it was validated by a full check (stat, and a
// read where needed) that began after its watch was in place (WatchPath
// returns the mark, the check follows) and no notice about the file came
// after that mark. A change before the check is seen by the check; a change
// after it queues a notice; a change during it does both.
//
// Where notices are not trusted, the path is not watched and the cache
// looks at the stamp on every call, as before:
//  - paths that are not absolute and canonical (a relative path follows the
//    working folder; ".", ".." and symbolic links anywhere on the path could
//    be re-pointed somewhere no watch sees): the path must be its own
//    realpath;
//  - file systems where changes need not pass through this kernel (NFS, SMB,
//    FUSE, ...): only local file systems of a known type are watched;
//  - a watch the kernel refuses (the per-user limits), and the process after
//    fork (the instance's queue is shared with the parent, so each would
//    steal the other's notices): the child drops its copy unread and starts
//    again.
// A queue overflow counts as a change of every watched file.
// Limits (docs/deviations.md): writes through a shared writable mapping of
// the file make no notice (its time stamps change only at write-back), and
// a mount placed over a folder on the path is not a notice either; both are
// seen once anything else about the file changes.
#include "pal/profile/watch.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace zrpal::profile {

namespace {

// How a notice concerns a watch.
enum class NoticeKind {
  kSelf,      // the watched file or folder changed, moved, or its watch ended
  kEntry,     // an entry of a watched folder, named by the notice
  kOverflow,  // notices were lost
};

// One watched item: the file itself (`name` empty) or a folder on its path,
// whose entry `name` is the next name of the path.
struct WatchedPart {
  int wd;
  std::string name;
};

struct WatchedFile {
  std::string path;
  std::vector<WatchedPart> parts;
  WatchMark changedAt = 0;  // the mark of the last notice about it
};

struct WatchState {
  int fd = -1;             // the inotify instance, opened at the first watch
  bool unusable = false;   // the instance cannot be had: nothing is watched
  WatchMark clock = 1;     // marks start above kNotWatched
  std::vector<WatchedFile> files;
  // Paths found unwatchable (links, a remote file system, a refused watch),
  // newest last, so that their calls do not repeat the realpath and statfs:
  // they keep the stamp check until the cache drops them (Unwatch).
  std::vector<std::string> refused;
};

// Made at the first watch and deleted by StopWatching: the library's
// shutdown runs after static destructors, so the state must not be one.
constinit WatchState* g_watch = nullptr;

WatchState& State() {
  if (!g_watch) g_watch = new WatchState();
  return *g_watch;
}

// A bound on the folders of one path (and so on its watches).
constexpr std::size_t kMaxDepth = 64;
// A bound on the remembered unwatchable paths (the cache holds 16 files).
constexpr std::size_t kMaxRefused = 16;

// --- The OS side (posix/watch.inc) -----------------------------------------

int OpenNotices();  // -1 when none can be had
void CloseNotices(int fd);
// A watch of the file or folder at `path`; -1 when refused.
int AddWatch(int fd, const std::string& path, bool folder);
void RemoveWatch(int fd, int wd);
// Whether `path` is its own realpath on a local file system of a known type.
enum class PathKind { kWatchable, kMissing, kNotWatchable };
PathKind KindOfPath(const std::string& path);
// True (once) in the child after a fork.
bool ForkedSinceOpen();
// Reads every pending notice and passes it to Notice(); false when the
// instance failed (every watched file then counts as changed).
bool TakeNotices(int fd);

// --- The bookkeeping --------------------------------------------------------

WatchedFile* Find(const std::string& path) {
  for (WatchedFile& f : State().files)
    if (f.path == path) return &f;
  return nullptr;
}

void ChangedAll() {
  ++State().clock;
  for (WatchedFile& f : State().files) f.changedAt = State().clock;
}

// Called by TakeNotices for each notice.
void Notice(int wd, NoticeKind kind, std::string_view name) {
  if (kind == NoticeKind::kOverflow) return ChangedAll();
  bool counted = false;
  for (WatchedFile& f : State().files)
    for (const WatchedPart& part : f.parts)
      if (part.wd == wd && (kind == NoticeKind::kSelf || part.name == name)) {
        if (!counted) ++State().clock, counted = true;
        f.changedAt = State().clock;
      }
}

bool InUse(int wd) {
  for (const WatchedFile& f : State().files)
    for (const WatchedPart& part : f.parts)
      if (part.wd == wd) return true;
  return false;
}

// Removes the watches of `parts` that no watched file uses any more.
void RemoveUnused(const std::vector<WatchedPart>& parts) {
  for (const WatchedPart& part : parts)
    if (!InUse(part.wd)) RemoveWatch(State().fd, part.wd);
}

void DropAll() {
  if (State().fd >= 0) CloseNotices(State().fd);
  State().fd = -1;
  State().files.clear();
}

// The instance, ready for use: opened at need, dropped in a forked child.
bool Ready() {
  if (State().fd >= 0 && ForkedSinceOpen()) DropAll();
  if (State().fd < 0 && !State().unusable) {
    State().fd = OpenNotices();
    State().unusable = State().fd < 0;
  }
  return State().fd >= 0;
}

// Takes the pending notices; false when the instance failed.
bool Drain() {
  if (TakeNotices(State().fd)) return true;
  ChangedAll();
  DropAll();
  return false;
}

// The watches of `path` ("/a/b/f.ini": "/" for "a", "/a" for "b", "/a/b"
// for "f.ini", then the file), or false when one is refused.
bool WatchParts(const std::string& path, std::vector<WatchedPart>* parts) {
  std::size_t slash = 0;  // the slash in front of the next name
  for (std::size_t depth = 0; depth < kMaxDepth; ++depth) {
    const std::size_t next = path.find('/', slash + 1);
    const std::string folder = slash == 0 ? std::string("/") : path.substr(0, slash);
    const std::string name = path.substr(slash + 1, next == std::string::npos ? next : next - slash - 1);
    const int wd = AddWatch(State().fd, folder, true);
    if (wd < 0) return false;
    parts->push_back({wd, name});
    if (next == std::string::npos) {
      const int file = AddWatch(State().fd, path, false);
      if (file < 0) return false;
      parts->push_back({file, std::string()});
      return true;
    }
    slash = next;
  }
  return false;
}

}  // namespace

WatchMark WatchPath(const std::string& path) {
  if (path.empty() || path.front() != '/' || !Ready() || !Drain()) return kNotWatched;
  std::vector<std::string>& refused = State().refused;
  if (std::find(refused.begin(), refused.end(), path) != refused.end()) return kNotWatched;
  WatchedFile* f = Find(path);
  std::vector<WatchedPart> old;
  if (f) old = std::move(f->parts);
  std::vector<WatchedPart> parts;
  const PathKind kind = KindOfPath(path);
  const bool watched = kind == PathKind::kWatchable && WatchParts(path, &parts);
  if (!watched) {
    // Nothing stays watched for this path; parts that took (and are not
    // shared) go again.
    if (f) std::erase_if(State().files, [&](const WatchedFile& w) { return &w == f; });
    RemoveUnused(old);
    RemoveUnused(parts);
    // A missing file is tried again: the next write may create it.
    if (kind != PathKind::kMissing) {
      if (refused.size() == kMaxRefused) refused.erase(refused.begin());
      refused.push_back(path);
    }
    return kNotWatched;
  }
  if (!f) f = &State().files.emplace_back(WatchedFile{path, {}, 0});
  f->parts = std::move(parts);
  RemoveUnused(old);  // e.g. the watch of a file that was replaced
  return State().clock;
}

bool QuietSince(const std::string& path, WatchMark mark) {
  if (mark == kNotWatched || !g_watch || State().fd < 0) return false;
  if (ForkedSinceOpen()) {
    DropAll();
    return false;
  }
  if (!Drain()) return false;
  const WatchedFile* f = Find(path);
  return f && f->changedAt <= mark;
}

void Unwatch(const std::string& path) {
  if (!g_watch) return;
  std::erase(State().refused, path);
  WatchedFile* f = Find(path);
  if (!f) return;
  std::vector<WatchedPart> parts = std::move(f->parts);
  std::erase_if(State().files, [&](const WatchedFile& w) { return &w == f; });
  if (State().fd >= 0) RemoveUnused(parts);
}

void StopWatching() {
  if (!g_watch) return;
  DropAll();
  delete g_watch;
  g_watch = nullptr;
}

}  // namespace zrpal::profile

#include "pal/profile/posix/watch.inc"
