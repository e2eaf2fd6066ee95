// pal/profile/watch.h - change notices for the files of the profile cache,
// so that a cached file is checked with one cheap call instead of a stat of
// its path (profile.cpp uses them; the design notes are in watch.cpp).
//
// Not thread-safe: every function is called under the profile cache's lock.
#pragma once

#include <cstdint>
#include <string>

namespace zrpal::profile {

// A moment on the watch's own clock: the count of notices taken so far.
// Changes noticed after a mark are "since" it. 0 means "not watched".
using WatchMark = std::uint64_t;
constexpr WatchMark kNotWatched = 0;

// Starts or renews the watch of the file at the OS path `path` (the file and
// every folder on its way) and returns the mark from which its changes
// count. Call it BEFORE looking at the file: a change made after the look is
// then always noticed. kNotWatched when the path cannot be watched (the
// caller then looks at the file on every call).
WatchMark WatchPath(const std::string& path);

// True when no change of `path` was noticed after `mark`. Takes the pending
// notices first: one system call when there are none.
bool QuietSince(const std::string& path, WatchMark mark);

// Ends the watch of `path` (the cache dropped the file).
void Unwatch(const std::string& path);

// Ends every watch and gives back the OS resources (library shutdown).
void StopWatching();

}  // namespace zrpal::profile
