// The memory stream's growth rule, seen from inside.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "pal/posix/syscalls.h"
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

// The run-time heap refusing to grow or to give a block: the library's
// allocation failure, and the stream as it was.
TEST(MemStreamGrowth, AllocationFailureLeavesTheStream) {
  namespace sys = zrpal::sys;
  IXStream* s = new_StreamOnMemory();
  IMemBlock* block = nullptr;
  ASSERT_EQ(s->QueryInterface(typeid(IMemBlock), reinterpret_cast<void**>(&block)), 1);
  s->Write("abc", 3);
  const std::vector<BYTE> big(5000, 0x5A);
  {
    sys::ScopedSyscall failing(&sys::g.realloc, +[](void*, size_t) -> void* { return nullptr; });
    EXPECT_THROW(s->Write(big.data(), 5000), CXBadAlloc);
  }
  {
    sys::ScopedSyscall failing(&sys::g.malloc, +[](size_t) -> void* { return nullptr; });
    EXPECT_THROW(block->SetData(big.data(), 20), CXBadAlloc);
  }
  EXPECT_EQ(s->GetSize(), 3u);
  EXPECT_EQ(s->GetPosition(), 3u);
  EXPECT_EQ(CapacityOf(s), 4096u);
  EXPECT_EQ(std::memcmp(block->GetData(), "abc", 3), 0);
  block->Release();
  s->Release();
}

TEST(MemStreamGrowth, TheRuleStopsBelowFourGiB) {
  EXPECT_EQ(zr::GrownCapacity(0xC0000000u, 4096, 0x80000000u), 0xFFFFFFFFu);
  EXPECT_EQ(zr::GrownCapacity(0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu), 0xFFFFFFFFu);
}

}  // namespace
