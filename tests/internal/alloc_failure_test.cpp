// Allocation failure of the global operator new, made real by replacing it
// in this program: the library reports its one allocation failure and
// leaves containers as they were; the platform layer's Win32 functions
// answer their failure with ERROR_NOT_ENOUGH_MEMORY and never throw.
#include <gtest/gtest.h>

// ThreadSanitizer's run-time owns the global operator new and delete, so a
// program cannot replace them there; its build leaves this file out.
#ifndef ZR_TSAN

#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>

#include "pal/codepage.h"
#include "pal/error.h"
#include "pal/internal/codepage_table.h"
#include "pal/module.h"
#include "pal/user/message.h"
#include "zr/tenum.h"
#include "zr/tlist.h"
#include "zr/tmap.h"
#include "zr/variant.h"
#include "zr/xstring.h"

namespace {

constinit std::atomic<bool> g_failNew{false};

// While one lives, every allocation of the global operator new fails.
struct FailingNew {
  FailingNew() { g_failNew = true; }
  ~FailingNew() { g_failNew = false; }
};

}  // namespace

// The program's global operator new and delete, every form a sanitizer
// runtime would otherwise supply (its own would not pair with these).
#if defined(__GNUC__) && !defined(__clang__)
// GCC pairs the inlined malloc of this operator new with delete-expressions.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
static void* Take(std::size_t size) noexcept {
  return g_failNew.load(std::memory_order_relaxed) ? nullptr : std::malloc(size ? size : 1);
}
static void* TakeOrThrow(std::size_t size) {
  if (void* p = Take(size)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t size) { return TakeOrThrow(size); }
void* operator new[](std::size_t size) { return TakeOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Take(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Take(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

TEST(AllocationFailure, LibraryOperationsThrowTheirOneFailure) {
  CTMap<const char*, int> map;
  CTPList<const char*> list;
  CXString left("left");
  const struct { const char* what; std::function<void()> op; } cases[] = {
      {"CXString", [] { CXString s("some text"); }},
      {"CXStringW", [] { CXStringW s(u"some text"); }},
      {"operator+", [&] { CXString s = left + "right"; }},
      {"CTMap::Set", [&] { map.Set("key", 1); }},
      {"CTPList::AddTail", [&] { list.AddTail("item"); }},
      {"string enumerator", [] { _CZeroDelimitedStringsEnum<char> e("a\0b\0", nullptr); }},
      {"CZRVariant", [] { CZRVariant v("text"); }},
  };
  for (const auto& c : cases) {
    EXPECT_THROW({ FailingNew failing; c.op(); }, CXBadAlloc) << c.what;
  }
  EXPECT_EQ(map.GetCount(), 0u);
  EXPECT_EQ(list.GetCount(), 0u);
  EXPECT_EQ(map.Set("key", 1), 1);  // usable once memory is back
}

TEST(AllocationFailure, Win32FunctionsAnswerWithoutThrowing) {
  char buffer[512];
  const HMODULE libc = zrpal::GetModuleHandleW(u"libc.so.6");
  ASSERT_NE(libc, nullptr);
  zrpal::ReleaseCodePageTables();  // the next conversion builds its table
  WCHAR wide[4] = {};
  const struct { const char* what; std::function<bool()> failed; } cases[] = {
      {"SearchPathA",
       [&] { return zrpal::SearchPathA(nullptr, "libc.so.6", nullptr, 512, buffer, 0) == 0; }},
      {"LoadLibraryA", [] { return zrpal::LoadLibraryA("libc.so.6") == nullptr; }},
      {"GetModuleHandleW",
       [] { return zrpal::GetModuleHandleW(u"a-module-name-beyond-short-strings.so") == nullptr; }},
      {"GetModuleFileNameA", [&] { return zrpal::GetModuleFileNameA(nullptr, buffer, 512) == 0; }},
      {"GetProcAddress", [&] { return zrpal::GetProcAddress(libc, "malloc") == nullptr; }},
      {"FormatMessageA",
       [&] {
         return zrpal::FormatMessageA(zrpal::FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 2, 0, buffer, 512,
                                      nullptr) == 0;
       }},
      {"MultiByteToWideChar",
       [&] { return zrpal::MultiByteToWideChar(1252, 0, "abc", 3, wide, 4) == 0; }},
  };
  for (const auto& c : cases) {
    zrpal::SetLastError(0);
    bool failed = false;
    { FailingNew failing; failed = c.failed(); }
    EXPECT_TRUE(failed) << c.what;
    EXPECT_EQ(zrpal::GetLastError(), zrpal::ERROR_NOT_ENOUGH_MEMORY) << c.what;
  }
  // The table that could not be built is not taken for an unavailable one.
  EXPECT_EQ(zrpal::MultiByteToWideChar(1252, 0, "abc", 3, wide, 4), 3);
}

}  // namespace

#endif  // ZR_TSAN
