// Blocks of 2 GiB or more, without taking that much memory: the OS seam
// hands the heap a small mapping for any request of 1 GiB or more, and the
// test touches only its first bytes.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include "pal/posix/syscalls.h"
#include "zr/heap.h"

namespace {

namespace sys = zrpal::sys;

constexpr size_t kFakeBytes = 64 * 1024;
void* g_fake = nullptr;

void* FakeMmap(void* addr, size_t n, int prot, int flags, int fd, off_t offset) {
  if (n < (size_t{1} << 30)) return sys::Defaults().mmap(addr, n, prot, flags, fd, offset);
  return g_fake = sys::Defaults().mmap(nullptr, kFakeBytes, prot, flags, fd, offset);
}
int FakeMunmap(void* p, size_t n) {
  if (p != g_fake) return sys::Defaults().munmap(p, n);
  g_fake = nullptr;
  return sys::Defaults().munmap(p, kFakeBytes);
}

// GetSize cannot describe blocks of 2 GiB or more, but Realloc must copy
// their content by their full size.
TEST(HeapLargeBlocks, ReallocKeepsTheContentOfABlockBeyond2GiB) {
  sys::ScopedSyscall mapping(&sys::g.mmap, FakeMmap);
  sys::ScopedSyscall unmapping(&sys::g.munmap, FakeMunmap);
  IHeap* heap = new_MemoryHeap(0);
  auto* p = static_cast<unsigned char*>(heap->Alloc((size_t{1} << 31) + 4096));
  ASSERT_NE(p, nullptr);
  ASSERT_NE(g_fake, nullptr);
  for (size_t i = 0; i < 64; ++i) p[i] = static_cast<unsigned char>(i + 1);
  auto* q = static_cast<unsigned char*>(heap->Realloc(p, 64));
  EXPECT_EQ(g_fake, nullptr);  // the big block was given back
  EXPECT_EQ(heap->GetSize(q), 64);
  for (size_t i = 0; i < 64; ++i) EXPECT_EQ(q[i], static_cast<unsigned char>(i + 1)) << i;
  heap->Release();
}

}  // namespace
