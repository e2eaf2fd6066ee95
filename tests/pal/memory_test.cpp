// Page protection: VirtualProtect's old-protection answer, its refusals,
// and mprotect failures through the seam.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>

#include "pal/last_error.h"
#include "pal/memory.h"
#include "pal/posix/syscalls.h"

namespace {

using namespace zrpal;

constexpr std::size_t kPage = 4096;

struct Page {
  Page() : p(static_cast<char*>(std::aligned_alloc(kPage, 2 * kPage))) {}
  ~Page() {
    DWORD old;
    VirtualProtect(p, 2 * kPage, PAGE_READWRITE, &old);
    std::free(p);
  }
  char* p;
};

TEST(VirtualProtect, ReportsThePreviousProtectionOfTheFirstPage) {
  Page page;
  DWORD old = 0;
  // Each step: the new protection, then the one reported as previous.
  const DWORD steps[][2] = {{PAGE_READONLY, PAGE_READWRITE},
                            {PAGE_EXECUTE_READ, PAGE_READONLY},
                            {PAGE_WRITECOPY, PAGE_EXECUTE_READ},
                            {PAGE_READWRITE, PAGE_READWRITE}};
  for (const auto& step : steps) {
    ASSERT_TRUE(VirtualProtect(page.p + 10, 8, step[0], &old)) << step[0];
    EXPECT_EQ(old, step[1]) << step[0];
  }
  // A range over two pages changes both.
  ASSERT_TRUE(VirtualProtect(page.p + kPage - 4, 8, PAGE_READONLY, &old));
  ASSERT_TRUE(VirtualProtect(page.p + kPage, 1, PAGE_READWRITE, &old));
  EXPECT_EQ(old, PAGE_READONLY);
  page.p[kPage] = 1;  // writable again
}

TEST(VirtualProtect, RefusesFlagsAndAddressesItCannotServe) {
  Page page;
  DWORD old;
  const DWORD kGuard = 0x100;
  EXPECT_FAILS_WITH(VirtualProtect(page.p, 8, PAGE_READWRITE | kGuard, &old), ERROR_INVALID_PARAMETER);
  EXPECT_FAILS_WITH(VirtualProtect(page.p, 8, PAGE_READONLY | PAGE_READWRITE, &old), ERROR_INVALID_PARAMETER);
  EXPECT_FAILS_WITH(VirtualProtect(page.p, 0, PAGE_READWRITE, &old), ERROR_INVALID_PARAMETER);
  EXPECT_FAILS_WITH(VirtualProtect(page.p, 8, PAGE_READWRITE, nullptr), ERROR_INVALID_PARAMETER);
  // The first page of the address space is never mapped.
  EXPECT_FAILS_WITH(VirtualProtect(reinterpret_cast<void*>(kPage), 8, PAGE_READWRITE, &old),
                    ERROR_INVALID_ADDRESS);
  {
    sys::ScopedSyscall<decltype(sys::g.mprotect)> denied(
        &sys::g.mprotect, +[](void*, size_t, int) {
          errno = EACCES;
          return -1;
        });
    EXPECT_FAILS_WITH(VirtualProtect(page.p, 8, PAGE_READONLY, &old), ERROR_ACCESS_DENIED);
  }
  EXPECT_TRUE(FlushInstructionCache(nullptr, page.p, 8));
}

}  // namespace
