// The global section mutex's lifetime, and ZRCreateThread's start-up
// handshake, whose thread side needs the platform's named events.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>

#include "base/sections.h"
#include "child/child_process.h"
#include "pal/handle.h"
#include "pal/posix/syscalls.h"
#include "pal/threads/event.h"
#include "pal/threads/mutex.h"
#include "pal/threads/thread.h"
#include "zr/threads.h"

namespace {

[[maybe_unused]] const bool kOwnNamespace = (zrtest::UseOwnObjectNamespace("internal"), true);

TEST(SectionMutexLifetime, LivesFromTheFirstSectionToTheLast) {
  int size = 0;
  EXPECT_EQ(_CriticalSection_New_For_Core(nullptr, &size), nullptr);
  EXPECT_EQ(zr::LiveSectionCount(), 0u) << "measuring makes no section";
  EXPECT_EQ(zr::SectionMutex(), nullptr);
  ICritSect* first = CriticalSection_New();
  HANDLE mutex = zr::SectionMutex();
  ASSERT_NE(mutex, nullptr);
  ICritSect* second = _CriticalSection_New_For_Core(::operator new(size), &size);
  EXPECT_EQ(zr::LiveSectionCount(), 2u);
  EXPECT_EQ(zr::SectionMutex(), mutex) << "one mutex for every section";
  first->Release();
  EXPECT_EQ(zr::SectionMutex(), mutex);
  const std::size_t handles = zrpal::LiveHandleCount();
  second->Release();
  EXPECT_EQ(zr::LiveSectionCount(), 0u);
  EXPECT_EQ(zr::SectionMutex(), nullptr);
  EXPECT_EQ(zrpal::LiveHandleCount(), handles - 1) << "the mutex handle is closed";
  ICritSect* third = CriticalSection_New();
  EXPECT_NE(zr::SectionMutex(), nullptr);
  EXPECT_EQ(zrpal::WaitForSingleObject(zr::SectionMutex(), 0), zrpal::WAIT_OBJECT_0) << "a working mutex";
  zrpal::ReleaseMutex(zr::SectionMutex());
  third->Release();
}

struct Started {
  const char* prefix;
  bool handshake;
  std::atomic<ULONG> id{0};
  std::atomic<bool> opened{false};
};

unsigned StartedThread(void* argument) {
  auto* started = static_cast<Started*>(argument);
  started->id = static_cast<ULONG>(::gettid());
  if (started->handshake) {
    char name[312];
    ZRCreateObjName(started->prefix, name, 0);
    HANDLE event = zrpal::OpenEventA(zrpal::EVENT_MODIFY_STATE, 0, name);
    started->opened = event != nullptr;
    zrpal::SetEvent(event);
    zrpal::CloseHandle(event);
  }
  return 42;
}

using Clock = std::chrono::steady_clock;

// The creator waits for the thread's signal, or 1000 ms without one. The
// time is the contract here: a signalled handshake ends before the time-out
// could have, an unsignalled one not before it.
TEST(ZRCreateThread, HandshakeAndTimeOut) {
  for (const bool handshake : {true, false}) {
    Started started{"ZRTest", handshake};
    ULONG id = 0;
    const auto begin = Clock::now();
    HANDLE thread = ZRCreateThread(started.prefix, StartedThread, &started, &id);
    const auto waited = Clock::now() - begin;
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(zrpal::WaitForSingleObject(thread, zrpal::INFINITE), zrpal::WAIT_OBJECT_0);
    EXPECT_EQ(id, started.id.load()) << "the thread id out is the thread's own";
    DWORD code = 0;
    EXPECT_TRUE(zrpal::GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 42u) << "the handle is the thread's";
    EXPECT_EQ(started.opened.load(), handshake) << "the thread found the start-up event";
    if (handshake)
      EXPECT_LT(waited, std::chrono::milliseconds(1000));
    else
      EXPECT_GE(waited, std::chrono::milliseconds(1000));
    zrpal::CloseHandle(thread);
  }
}

// A thread the platform cannot start: a null handle, the id 0, after the
// full wait for a handshake that cannot come.
TEST(ZRCreateThread, AFailedStartIsANullHandleAfterTheWait) {
  zrpal::sys::ScopedSyscall noThreads(&zrpal::sys::g.thread_create,
                                      +[](pthread_t*, zrpal::sys::ThreadStart, void*, size_t) { return EAGAIN; });
  Started started{"ZRTest", true};
  ULONG id = 7;
  const auto begin = Clock::now();
  EXPECT_EQ(ZRCreateThread(started.prefix, StartedThread, &started, &id), nullptr);
  EXPECT_GE(Clock::now() - begin, std::chrono::milliseconds(1000));
  EXPECT_EQ(id, 0u);
}

TEST(ZRCreateThread, APrefixTooLongIsRefused) {
  const std::string prefix(312 - 2 * 11 - 1 + 1, 'p');
  Started started{prefix.c_str(), false};
  ULONG id = 7;
  EXPECT_EQ(ZRCreateThread(prefix.c_str(), StartedThread, &started, &id), nullptr);
  EXPECT_EQ(started.id.load(), 0u) << "no thread";
  EXPECT_EQ(id, 7u);
}

}  // namespace
