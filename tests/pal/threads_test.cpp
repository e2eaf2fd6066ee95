// Critical sections, mutexes, events and threads of the platform layer:
// Windows' rules within the process, names and their lifetime, and events
// across processes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/wait.h>

#include <atomic>
#include <climits>
#include <string>
#include <thread>
#include <vector>

#include "child/child_process.h"
#include "last_error.h"
#include "pal/handle.h"
#include "pal/posix/syscalls.h"
#include "pal/sync.h"
#include "pal/threads/event.h"
#include "pal/threads/mutex.h"
#include "pal/threads/thread.h"

namespace zrpal {
namespace {

[[maybe_unused]] const bool kOwnNamespace = (zrtest::UseOwnObjectNamespace("pal"), true);

// Long enough for anything that is going to happen; a broken wait fails the
// test instead of hanging it.
constexpr DWORD kLongWait = 10000;

// Runs `body` on a thread of this layer and waits for it; its result.
template <class F>
DWORD OnThread(F body) {
  struct Call {
    static unsigned Run(void* f) { return (*static_cast<F*>(f))(); }
  };
  const auto handle = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &Call::Run, &body, 0, nullptr));
  EXPECT_NE(handle, nullptr);
  EXPECT_EQ(WaitForSingleObject(handle, kLongWait), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeThread(handle, &code);
  CloseHandle(handle);
  return code;
}

// Another thread's look at `mutex`: the wait's result (a mutex it got is
// given back).
DWORD TryOnOtherThread(HANDLE mutex) {
  return OnThread([&] {
    const DWORD result = WaitForSingleObject(mutex, 0);
    if (result != WAIT_TIMEOUT) ReleaseMutex(mutex);
    return result;
  });
}

TEST(Mutex, RecursiveOwnedAndAbandoned) {
  HANDLE mutex = CreateMutexA(nullptr, TRUE, nullptr);
  ASSERT_NE(mutex, nullptr);
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);  // owner again
  EXPECT_EQ(OnThread([&] { return WaitForSingleObject(mutex, 30); }), WAIT_TIMEOUT);
  EXPECT_EQ(TryOnOtherThread(mutex), WAIT_TIMEOUT);
  EXPECT_EQ(OnThread([&] {
              SetLastError(0);
              return ReleaseMutex(mutex) ? 0 : GetLastError();
            }),
            ERROR_NOT_OWNER);
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_FAILS_WITH(ReleaseMutex(mutex), ERROR_NOT_OWNER);
  // A thread that ends owning it abandons it to the next waiter.
  EXPECT_EQ(OnThread([&] { return WaitForSingleObject(mutex, INFINITE); }), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_ABANDONED);
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_EQ(TryOnOtherThread(mutex), WAIT_OBJECT_0);
  EXPECT_TRUE(CloseHandle(mutex));
  EXPECT_FAILS_WITH(ReleaseMutex(mutex), ERROR_INVALID_HANDLE);
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(NamedObjects, OneObjectPerNameAndKind) {
  SetLastError(0);
  HANDLE first = CreateMutexA(nullptr, TRUE, "zr-test-mutex");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  HANDLE second = CreateMutexA(nullptr, FALSE, "zr-test-mutex");
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  HANDLE opened = OpenMutexA(SYNCHRONIZE, FALSE, "zr-test-mutex");
  ASSERT_TRUE(second && opened && second != first);
  // Every handle names the one mutex the first one owns.
  EXPECT_EQ(TryOnOtherThread(opened), WAIT_TIMEOUT);
  EXPECT_TRUE(ReleaseMutex(second));
  EXPECT_EQ(TryOnOtherThread(second), WAIT_OBJECT_0);
  EXPECT_FAILS_WITH(CreateEventA(nullptr, TRUE, FALSE, "zr-test-mutex"), ERROR_INVALID_HANDLE);
  EXPECT_FAILS_WITH(OpenEventA(SYNCHRONIZE, FALSE, "zr-test-mutex"), ERROR_INVALID_HANDLE);
  HANDLE local = CreateMutexA(nullptr, FALSE, "Local\\zr-test-mutex");
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS) << "Local\\ is the default namespace";
  for (HANDLE h : {first, second, opened, local}) CloseHandle(h);
  // Gone with its last handle.
  EXPECT_FAILS_WITH(OpenMutexA(SYNCHRONIZE, FALSE, "zr-test-mutex"), ERROR_FILE_NOT_FOUND);
}

// The shared-memory object of the unprefixed name `name` (letters only).
std::string SharedMemoryName(const char* name) {
  return "/zr-" + std::to_string(::geteuid()) + "-" + ::getenv("ZR_OBJECT_NAMESPACE") + "-l-" + name;
}

// A child made by fork() shares the parent's hold on a named object:
// closing its handles must not end the object for the parent.
TEST(NamedObjects, AForkedChildClosingItsHandleLeavesTheObject) {
  HANDLE mutex = CreateMutexA(nullptr, FALSE, "zrTestForked");
  ASSERT_NE(mutex, nullptr);
  const pid_t child = ::fork();
  if (child == 0) _exit(CloseHandle(mutex) ? 0 : 1);
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(status, 0);
  // This process finds the name in its own list; the name in /dev/shm is
  // what the other processes find.
  const int fd = ::shm_open(SharedMemoryName("zrTestForked").c_str(), O_RDONLY, 0);
  EXPECT_GE(fd, 0) << "the name is still there";
  ::close(fd);
  CloseHandle(mutex);
}

TEST(NamedObjects, RefusedNamesAndAttributes) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  EXPECT_FAILS_WITH(CreateMutexA(&inherit, FALSE, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_FAILS_WITH(CreateEventA(&inherit, FALSE, FALSE, "x"), ERROR_INVALID_PARAMETER);
  EXPECT_FAILS_WITH(OpenMutexA(SYNCHRONIZE, TRUE, "x"), ERROR_INVALID_PARAMETER);
  EXPECT_FAILS_WITH(OpenEventA(0x40000000, FALSE, "x"), ERROR_INVALID_PARAMETER);
  EXPECT_FAILS_WITH(OpenEventA(SYNCHRONIZE, FALSE, "no such event"), ERROR_FILE_NOT_FOUND);
  EXPECT_FAILS_WITH(CreateMutexA(nullptr, FALSE, "dir\\name"), ERROR_PATH_NOT_FOUND);
  EXPECT_FAILS_WITH(CreateMutexA(nullptr, FALSE, std::string(261, 'n').c_str()), ERROR_FILENAME_EXCED_RANGE);
  // 200 characters fit Windows' limit, but not once each is escaped.
  EXPECT_FAILS_WITH(CreateMutexA(nullptr, FALSE, std::string(200, '*').c_str()), ERROR_FILENAME_EXCED_RANGE);
}

// An object whose processes are all gone is built afresh (or, opened, is not
// there): here its file is left behind with garbage in it.
TEST(NamedObjects, LeftOverObjectsAreNotReused) {
  const std::string file = SharedMemoryName("left");
  for (const bool create : {false, true}) {
    const int fd = ::shm_open(file.c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "garbage garbage garbage garbage", 31), 31);
    ::close(fd);
    if (!create) {
      EXPECT_FAILS_WITH(OpenEventA(SYNCHRONIZE, FALSE, "left"), ERROR_FILE_NOT_FOUND);
      EXPECT_LT(::shm_open(file.c_str(), O_RDONLY, 0), 0) << "the stale name is removed";
      continue;
    }
    SetLastError(ERROR_ALREADY_EXISTS);
    HANDLE event = CreateEventA(nullptr, FALSE, TRUE, "left");
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS) << "a new object";
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    CloseHandle(event);
  }
}

// Waits until a thread of this layer sleeps; its handle is returned.
HANDLE StartSleeper(unsigned (*run)(void*), void* argument) {
  unsigned tid = 0;
  const auto thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, run, argument, 0, &tid));
  EXPECT_TRUE(zrtest::WaitUntilSleeping(::getpid(), static_cast<pid_t>(tid)));
  return thread;
}

unsigned WaitForEvent(void* event) { return WaitForSingleObject(static_cast<HANDLE>(event), INFINITE); }

TEST(Event, AutoResetReleasesOneWaiterPerSet) {
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HANDLE a = StartSleeper(WaitForEvent, event);
  HANDLE b = StartSleeper(WaitForEvent, event);
  EXPECT_TRUE(SetEvent(event));
  EXPECT_TRUE(SetEvent(event));  // before either woke: a second release
  EXPECT_EQ(WaitForSingleObject(a, kLongWait), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(b, kLongWait), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT) << "each Set went to a waiter";
  for (HANDLE h : {a, b, event}) CloseHandle(h);
}

// Set's wake-up can be held back, so that waiters surely run only after a
// Reset that follows it. The seam entry is replaced before the waiters
// start and restored after they end (no thread may be inside while it
// changes).
struct HeldBackWakeUp {
  static inline std::atomic<bool> s_holding{false};
  static inline int* s_word = nullptr;
  static inline int s_op = 0;
  static long Futex(int* word, int op, int count) {
    if (count != INT_MAX || !s_holding) return sys::Defaults().futex(word, op, count);
    s_word = word, s_op = op;
    return 0;
  }
  static void Deliver() {
    s_holding = false;
    if (s_word) sys::Defaults().futex(s_word, s_op, INT_MAX);
  }
};

TEST(Event, ManualResetReleasesEveryWaiterOfTheMoment) {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  {
    sys::ScopedSyscall heldBack(&sys::g.futex, &HeldBackWakeUp::Futex);
    std::vector<HANDLE> waiters;
    for (int i = 0; i < 3; ++i) waiters.push_back(StartSleeper(WaitForEvent, event));
    HeldBackWakeUp::s_holding = true;
    EXPECT_TRUE(SetEvent(event));
    EXPECT_TRUE(ResetEvent(event));
    ASSERT_NE(HeldBackWakeUp::s_word, nullptr);
    HeldBackWakeUp::Deliver();  // they run now, and are released all the same
    for (HANDLE w : waiters) {
      EXPECT_EQ(WaitForSingleObject(w, kLongWait), WAIT_OBJECT_0);
      CloseHandle(w);
    }
  }
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(SetEvent(event));
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0) << "stays signalled";
  HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
  EXPECT_FAILS_WITH(SetEvent(mutex), ERROR_INVALID_HANDLE);
  CloseHandle(mutex);
  CloseHandle(event);
}

TEST(Event, NamedAcrossProcesses) {
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, "zr-test-event");
  ASSERT_NE(event, nullptr);
  zrtest::ChildProcess child({"wait-event", "zr-test-event"});
  ASSERT_EQ(child.ReadLine(), "waiting");
  ASSERT_TRUE(zrtest::WaitUntilSleeping(child.Pid(), child.Pid()));
  EXPECT_TRUE(SetEvent(event));
  EXPECT_EQ(child.ReadLine(), "signalled");
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT) << "auto-reset: the child's wait took it";
  CloseHandle(event);
}

unsigned NoteRun(void* flag) {
  static_cast<std::atomic<bool>*>(flag)->store(true);
  return 7;
}

TEST(Thread, SuspendedStartIdsAndExitCode) {
  std::atomic<bool> ran{false};
  unsigned tid = 0;
  const auto thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, NoteRun, &ran, CREATE_SUSPENDED, &tid));
  ASSERT_NE(thread, nullptr);
  ASSERT_TRUE(zrtest::WaitUntilSleeping(::getpid(), static_cast<pid_t>(tid))) << "the id is the kernel's";
  EXPECT_FALSE(ran);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);
  EXPECT_EQ(ResumeThread(thread), 1u);
  EXPECT_EQ(WaitForSingleObject(thread, kLongWait), WAIT_OBJECT_0);
  EXPECT_TRUE(ran);
  EXPECT_EQ(ResumeThread(thread), 0u) << "not suspended";
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 7u);
  EXPECT_TRUE(CloseHandle(thread));
  EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(::getpid()));
  EXPECT_EQ(_beginthreadex(nullptr, 0, NoteRun, &ran, 0x2, nullptr), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(_beginthreadex(nullptr, 0, nullptr, nullptr, 0, nullptr), 0u);
  EXPECT_FAILS_WITH(ResumeThread(nullptr) + 1, ERROR_INVALID_HANDLE);
}

// A zero-filled section needs no initialisation. Another thread failing to
// enter also shows that thread tokens differ between threads.
TEST(CriticalSection, IsRecursiveAndOwnedByOneThread) {
  static constinit CRITICAL_SECTION cs{};
  EXPECT_FALSE(CriticalSectionIsOwned(&cs));
  EnterCriticalSection(&cs);
  EnterCriticalSection(&cs);
  EXPECT_TRUE(TryEnterCriticalSection(&cs));
  EXPECT_TRUE(CriticalSectionIsOwned(&cs));
  EXPECT_EQ(cs.RecursionCount, 3);
  bool otherEntered = true, otherOwns = true;
  std::thread([&] { otherEntered = TryEnterCriticalSection(&cs), otherOwns = CriticalSectionIsOwned(&cs); }).join();
  EXPECT_FALSE(otherEntered);
  EXPECT_FALSE(otherOwns);
  LeaveCriticalSection(&cs);
  LeaveCriticalSection(&cs);
  EXPECT_TRUE(CriticalSectionIsOwned(&cs));
  LeaveCriticalSection(&cs);
  EXPECT_FALSE(CriticalSectionIsOwned(&cs));
  std::thread([&] {
    if ((otherEntered = TryEnterCriticalSection(&cs))) LeaveCriticalSection(&cs);
  }).join();
  EXPECT_TRUE(otherEntered);
}

}  // namespace
}  // namespace zrpal
