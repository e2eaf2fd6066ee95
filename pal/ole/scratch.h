// pal/ole/scratch.h - the sectors a transacted image has written since its
// last commit, held in memory until Commit writes them to their places.
//
// Sectors are kept in chunks of 64 KiB of consecutive sectors (128 sectors
// of 512 bytes, 16 of 4096): one allocation and one table entry per chunk
// rather than per sector, and a run of sectors inside a chunk is one block
// of memory, so that data written in large pieces is copied and flushed in
// large pieces.
//
// Invariants:
//   - a chunk is in the table only while one of its sectors is present
//     (Erase drops a chunk that empties);
//   - a present sector holds the bytes last written to it, and zeros where
//     nothing was written since it became present (Make zeroes a sector
//     that becomes present unless the caller overwrites it whole).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "pal/ole/header.h"

namespace zrpal::ole {

// Keys the image's hash tables; a type of this library, so that the tables'
// instantiations stay hidden like the rest of the library.
struct SectorHash {
  std::size_t operator()(std::uint32_t v) const { return v * 0x9E3779B1u; }
};

class Scratch {
 public:
  static constexpr std::uint32_t kChunkBytes = 64u << 10;

  // The sector size (a shift of 9 or 12); set before the first sector.
  void SetShift(std::uint32_t shift);
  bool Empty() const { return m_chunks.empty(); }
  void Clear() {
    m_chunks.clear();
    m_last = nullptr;
  }

  // The run of sectors from `sector` (at most `count`, inside its chunk)
  // that are all present or all absent: answers its length, with *bytes at
  // the first sector's bytes, or null when they are absent.
  std::uint32_t Span(std::uint32_t sector, std::uint32_t count, BYTE** bytes);
  // Makes up to `count` sectors from `sector` present (as many as its chunk
  // holds); answers that number, with *bytes at the first one's bytes. With
  // `zero`, sectors that were absent are zeroed; without it the caller
  // overwrites them whole.
  std::uint32_t Make(std::uint32_t sector, std::uint32_t count, bool zero, BYTE** bytes);
  // Forgets a sector (freed: it reads as zero if it is allocated again).
  void Erase(std::uint32_t sector);

  // Calls write(firstSector, bytes, sectorCount) for each run of present
  // sectors inside a chunk, in ascending sector order; stops at and answers
  // the first failure.
  template <class WriteFn>
  HRESULT ForEachRun(WriteFn write) const;

 private:
  struct Chunk {
    std::array<std::uint64_t, 2> present{};  // one bit per sector
    std::unique_ptr<BYTE[]> bytes;           // kChunkBytes
    bool Has(std::uint32_t i) const { return present[i >> 6] >> (i & 63) & 1; }
    void Set(std::uint32_t i) { present[i >> 6] |= std::uint64_t{1} << (i & 63); }
    void Reset(std::uint32_t i) { present[i >> 6] &= ~(std::uint64_t{1} << (i & 63)); }
    bool None() const { return (present[0] | present[1]) == 0; }
  };
  static_assert(kChunkBytes >> kSectorShiftV3 <= 128, "two words of presence bits per chunk");

  std::uint32_t m_shift = kSectorShiftV3;
  std::uint32_t m_perChunkShift = 16 - kSectorShiftV3;  // log2(sectors per chunk)
  std::unordered_map<std::uint32_t, Chunk, SectorHash> m_chunks;
  // The chunk last looked up, so that a run of sectors costs one lookup.
  std::uint32_t m_lastKey = 0;
  Chunk* m_last = nullptr;

  Chunk* Lookup(std::uint32_t key, bool create);
  std::vector<std::uint32_t> SortedKeys() const;
};

template <class WriteFn>
HRESULT Scratch::ForEachRun(WriteFn write) const {
  const std::uint32_t perChunk = 1u << m_perChunkShift;
  for (std::uint32_t key : SortedKeys()) {
    const Chunk& c = m_chunks.at(key);
    std::uint32_t i = 0;
    while (i < perChunk) {
      if (!c.Has(i)) {
        ++i;
        continue;
      }
      std::uint32_t n = 1;
      while (i + n < perChunk && c.Has(i + n)) ++n;
      const HRESULT hr =
          write((key << m_perChunkShift) + i, c.bytes.get() + (std::size_t{i} << m_shift), n);
      if (FAILED(hr)) return hr;
      i += n;
    }
  }
  return S_OK;
}

}  // namespace zrpal::ole
