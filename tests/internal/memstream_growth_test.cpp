// The memory stream's growth rule, seen from inside: the capacity sequence
// of a stream written piece by piece, and the grow step after SetData.
#include <gtest/gtest.h>

#include <vector>

#include "storage/memstream.h"

namespace {

struct Step {
  ULONG write;       // bytes written at the end of the stream
  ULONG capacity;    // the capacity afterwards
};

CMemStream* AsMemStream(IXStream* s) { return static_cast<CMemStream*>(s); }

TEST(MemStreamGrowth, CapacitySequence) {
  // (needed / 4096 + 1) x 4096 + old capacity, each time the capacity is
  // short; untouched while it suffices.
  const Step steps[] = {
      {10, 4096},                    // 10 / 4096 = 0: one step
      {5000, 12288},                 // needed 5010: 2 steps + 4096
      {7278, 12288},                 // needed 12288 exactly: no growth
      {1, 16384 + 12288},            // needed 12289: 4 steps + 12288
      {0, 28672},
  };
  IXStream* s = new_StreamOnMemory();
  std::vector<BYTE> bytes(8000, 0x5A);
  for (const Step& step : steps) {
    SCOPED_TRACE(step.write);
    s->Write(bytes.data(), static_cast<int>(step.write));
    EXPECT_EQ(AsMemStream(s)->GetCapacity(), step.capacity);
    EXPECT_EQ(AsMemStream(s)->GetGrowStep(), zr::kMemStreamGrowStep);
  }
  s->Release();
}

TEST(MemStreamGrowth, SetDataSetsTheStep) {
  IXStream* s = new_StreamOnMemory();
  IMemBlock* block = nullptr;
  ASSERT_EQ(s->QueryInterface(typeid(IMemBlock), reinterpret_cast<void**>(&block)), 1);
  const BYTE data[20] = {};
  block->SetData(data, 20);
  EXPECT_EQ(AsMemStream(s)->GetCapacity(), 20u);
  EXPECT_EQ(AsMemStream(s)->GetGrowStep(), 20u);
  s->Seek(0, ZRSEEK_END);
  s->WriteByte(1);  // needed 21: (21 / 20 + 1) x 20 + 20
  EXPECT_EQ(AsMemStream(s)->GetCapacity(), 60u);
  block->SetData(nullptr, 0);
  EXPECT_EQ(AsMemStream(s)->GetCapacity(), 0u);
  EXPECT_EQ(AsMemStream(s)->GetGrowStep(), zr::kMemStreamGrowStep);
  s->WriteByte(1);
  EXPECT_EQ(AsMemStream(s)->GetCapacity(), 4096u);
  block->Release();
  s->Release();
}

TEST(MemStreamGrowth, TheRuleStopsBelowFourGiB) {
  EXPECT_EQ(zr::GrownCapacity(10, 4096, 0), 4096u);
  EXPECT_EQ(zr::GrownCapacity(4096, 4096, 4096), 12288u);
  EXPECT_EQ(zr::GrownCapacity(1, 1, 1), 3u);
  EXPECT_EQ(zr::GrownCapacity(0xC0000000u, 4096, 0x80000000u), 0xFFFFFFFFu);
  EXPECT_EQ(zr::GrownCapacity(0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu), 0xFFFFFFFFu);
}

}  // namespace
