// Handle table: typed handles, each refused by the close functions of other
// families, stale after closing, alive while referenced.
#include <gtest/gtest.h>

#include <vector>

#include "pal/handle.h"
#include "pal/posix/syscalls.h"
#include "tests/pal/last_error.h"

namespace zrpal {
namespace {

struct Probe : HandleObject {
  Probe(HandleKind kind, int* destroyed) : HandleObject(kind), destroyed(destroyed) {}
  ~Probe() override { ++*destroyed; }
  int* destroyed;
};

TEST(HandleTable, EachFamilyClosesOnlyItsOwnKinds) {
  const struct { HandleKind kind; HandleFamily family; } cases[] = {
      {HandleKind::File, HandleFamily::Kernel},   {HandleKind::FileMapping, HandleFamily::Kernel},
      {HandleKind::Mutex, HandleFamily::Kernel},  {HandleKind::Event, HandleFamily::Kernel},
      {HandleKind::Thread, HandleFamily::Kernel}, {HandleKind::Find, HandleFamily::Find},
      {HandleKind::RegistryKey, HandleFamily::RegistryKey}, {HandleKind::Internet, HandleFamily::Internet},
      {HandleKind::Token, HandleFamily::Kernel}};
  const HandleFamily families[] = {HandleFamily::Kernel, HandleFamily::Find,
                                   HandleFamily::RegistryKey, HandleFamily::Internet};
  for (const auto& c : cases) {
    int destroyed = 0;
    HANDLE h = InsertHandle(new Probe(c.kind, &destroyed));
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(h) % 4, 0u);
    for (HandleFamily other : families) {
      if (other != c.family) {
        EXPECT_EQ(CloseTableHandle(h, other), ERROR_INVALID_HANDLE);
      }
    }
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(CloseTableHandle(h, c.family), ERROR_SUCCESS);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(CloseTableHandle(h, c.family), ERROR_INVALID_HANDLE) << "closed twice";
  }
}

TEST(HandleTable, LookupChecksKindAndLiveness) {
  int destroyed = 0;
  const std::size_t before = LiveHandleCount();
  HANDLE h = InsertHandle(new Probe(HandleKind::Event, &destroyed));
  EXPECT_EQ(LiveHandleCount(), before + 1);
  {
    auto ref = ReferenceHandle<Probe>(h, KindBit(HandleKind::Mutex) | KindBit(HandleKind::Event));
    ASSERT_TRUE(ref);
    EXPECT_EQ(ref->Kind(), HandleKind::Event);
    EXPECT_FAILS_WITH(ReferenceHandle<Probe>(h, KindBit(HandleKind::File)), ERROR_INVALID_HANDLE);
    // Closing while a call holds a reference: the object outlives the handle.
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(destroyed, 0);
    EXPECT_FAILS_WITH(ReferenceHandle<Probe>(h, ~0u), ERROR_INVALID_HANDLE);
  }
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(LiveHandleCount(), before);
  // A reused slot gets a new value; the old one stays refused.
  HANDLE again = InsertHandle(new Probe(HandleKind::Event, &destroyed));
  EXPECT_NE(again, h);
  EXPECT_FAILS_WITH(CloseHandle(h), ERROR_INVALID_HANDLE);
  EXPECT_TRUE(CloseHandle(again));
}

TEST(HandleTable, AChunkThatCannotBeAllocatedFailsTheInsertAndReleasesTheObject) {
  int destroyed = 0;
  std::vector<HANDLE> held;
  sys::ScopedSyscall<decltype(sys::g.malloc)> failing(
      &sys::g.malloc, [](size_t) -> void* { return nullptr; });
  for (;;) {
    HANDLE h = InsertHandle(new Probe(HandleKind::File, &destroyed));
    if (!h) break;
    held.push_back(h);
    ASSERT_LT(held.size(), 4096u) << "the table never asked for memory";
  }
  EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(destroyed, 1);
  for (HANDLE h : held) EXPECT_TRUE(CloseHandle(h));
}

}  // namespace
}  // namespace zrpal
