// The transacted image's scratch: runs of present and absent sectors stop
// at chunk borders, new sectors are zeroed unless written whole, erased
// sectors come back zeroed, and the flush sees every run once, in order.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "pal/ole/scratch.h"

using zrpal::BYTE;
using zrpal::ole::Scratch;

namespace {

struct Piece {
  std::uint32_t first, count;
  BYTE fill;  // the first byte of the run
  bool operator==(const Piece&) const = default;
};

std::vector<Piece> Runs(const Scratch& s) {
  std::vector<Piece> runs;
  s.ForEachRun([&](std::uint32_t first, const BYTE* bytes, std::uint32_t n) {
    runs.push_back({first, n, bytes[0]});
    return zrpal::S_OK;
  });
  return runs;
}

TEST(OleScratch, RunsStopAtChunkBordersAndNewSectorsReadAsZero) {
  for (std::uint32_t shift : {9u, 12u}) {
    SCOPED_TRACE(shift);
    const std::uint32_t ss = 1u << shift, perChunk = Scratch::kChunkBytes >> shift;
    Scratch s;
    s.SetShift(shift);
    BYTE* p = nullptr;
    // An absent span reaches the chunk's end, never past it.
    EXPECT_EQ(s.Span(perChunk - 2, 100, &p), 2u);
    EXPECT_EQ(p, nullptr);
    // Written whole across a border: two pieces, the first up to the border.
    ASSERT_EQ(s.Make(perChunk - 2, 5, false, &p), 2u);
    std::memset(p, 0xA1, 2 * ss);
    ASSERT_EQ(s.Make(perChunk, 3, false, &p), 3u);
    std::memset(p, 0xB2, 3 * ss);
    // A sector made present for a partial write is zeroed.
    ASSERT_EQ(s.Make(perChunk + 5, 1, true, &p), 1u);
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[ss - 1], 0);
    // Present and absent runs alternate inside a chunk.
    EXPECT_EQ(s.Span(perChunk, 100, &p), 3u);
    EXPECT_EQ(p[0], 0xB2);
    EXPECT_EQ(s.Span(perChunk + 3, 100, &p), 2u);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(Runs(s), (std::vector<Piece>{
                           {perChunk - 2, 2, 0xA1}, {perChunk, 3, 0xB2}, {perChunk + 5, 1, 0}}));
    // An erased sector splits its run and comes back zeroed.
    s.Erase(perChunk + 1);
    EXPECT_EQ(Runs(s), (std::vector<Piece>{{perChunk - 2, 2, 0xA1},
                                           {perChunk, 1, 0xB2},
                                           {perChunk + 2, 1, 0xB2},
                                           {perChunk + 5, 1, 0}}));
    ASSERT_EQ(s.Make(perChunk + 1, 1, true, &p), 1u);
    EXPECT_EQ(p[0], 0);
    // A chunk that empties is dropped; Clear forgets everything.
    s.Erase(perChunk - 2);
    s.Erase(perChunk - 1);
    EXPECT_EQ(s.Span(perChunk - 2, 2, &p), 2u);
    EXPECT_EQ(p, nullptr);
    EXPECT_FALSE(s.Empty());
    s.Clear();
    EXPECT_TRUE(s.Empty());
    EXPECT_TRUE(Runs(s).empty());
  }
}

}  // namespace
