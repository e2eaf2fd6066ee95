// The memory stream's growth rule, seen from inside.
#include <gtest/gtest.h>

#include <vector>

#include "streams/memstream.h"

namespace {

ULONG CapacityOf(IXStream* s) { return static_cast<CMemStream*>(s)->GetCapacity(); }

TEST(MemStreamGrowth, CapacitySequence) {
  // (needed / step + 1) x step + old capacity whenever it is short.
  const struct {
    ULONG write;     // bytes written at the end of the stream
    ULONG capacity;  // the capacity afterwards
  } steps[] = {{10, 4096}, {5000, 12288}, {7278, 12288}, {1, 16384 + 12288}, {0, 28672}};
  IXStream* s = new_StreamOnMemory();
  std::vector<BYTE> bytes(8000, 0x5A);
  for (const auto& step : steps) {
    s->Write(bytes.data(), static_cast<int>(step.write));
    EXPECT_EQ(CapacityOf(s), step.capacity) << step.write;
  }
  s->Release();
}

TEST(MemStreamGrowth, TheRuleStopsBelowFourGiB) {
  EXPECT_EQ(zr::GrownCapacity(0xC0000000u, 4096, 0x80000000u), 0xFFFFFFFFu);
  EXPECT_EQ(zr::GrownCapacity(0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu), 0xFFFFFFFFu);
}

}  // namespace
