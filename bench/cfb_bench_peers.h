// bench/cfb_bench_peers.h - the peers of the compound-file benchmark, in a
// file of their own (bench/cfb_bench_peers.cpp) because glib's and the
// system headers' macros (TRUE, LOCK_WRITE) collide with the platform
// layer's Win32 names: the layout of the 256 MiB written, libgsf's write and
// read, the dd-like write, and the page-cache helpers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cfb_bench {

inline constexpr int kFanOut = 4;  // storages per level and streams per leaf storage
inline constexpr std::size_t kStreamBytes = 4u << 20;
inline constexpr std::size_t kTotalBytes = kStreamBytes * kFanOut * kFanOut * kFanOut;
inline constexpr std::size_t kPiece = 64u << 10;
inline constexpr std::size_t kDdBlock = 1u << 20;
// The bytes written: a fixed pseudo-random block of kDdBlock bytes.
inline const std::vector<char>& Pattern() {
  static const std::vector<char> bytes = [] {
    std::vector<char> b(kDdBlock);
    std::uint32_t x = 2463534242u;
    for (char& c : b) {
      x ^= x << 13, x ^= x >> 17, x ^= x << 5;
      c = static_cast<char>(x);
    }
    return b;
  }();
  return bytes;
}

// Element names: "d0".."d3", "e0".., "s0"..
inline std::string Name(char kind, int i) { return std::string(1, kind) + std::to_string(i); }

// libgsf's MSOLE writer on a stdio file (512- or 4096-byte sectors), then
// fdatasync; false on a failure.
bool GsfWrite(const std::string& path, unsigned version);
// libgsf's MSOLE reader over a stdio file: reads every stream; answers the
// bytes read (0 on a failure).
std::size_t GsfRead(const std::string& path);

// A dd-like write of kTotalBytes in kDdBlock write()s into a new file,
// then fdatasync (`dd bs=1M conv=fdatasync`).
bool DdWrite(const std::string& path);
// Drops the file from the page cache (fdatasync, then posix_fadvise
// DONTNEED) / reads it whole so that it is in the cache.
void DropFromCache(const std::string& path);
void WarmUp(const std::string& path);

}  // namespace cfb_bench
