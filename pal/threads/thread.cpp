// pal/threads/thread.cpp - threads started as the C run-time's
// _beginthreadex starts them, with a suspended start.
//
// POSIX threads cannot be created suspended, so every thread starts in a
// trampoline (Run) that first publishes its kernel thread id, then sleeps
// while its suspend count is above 0, then calls the routine. The creator
// waits only for the id, which _beginthreadex must hand out before it
// returns. The thread object is the handle's object; the running thread
// holds a reference of its own, so closing the handle early is harmless.
//
// The end of a thread. On Windows a thread handle is signalled once the
// thread has ended, after its thread-local cleanup and after the mutexes it
// still owned were abandoned. The routine's return is a manual-reset event
// state (m_returned); a wait that sees it then joins the POSIX thread, which
// returns once the kernel has let the thread go (the robust mutexes it held
// are marked abandoned by then). The first waiter joins, under m_joinLock;
// a thread nobody waited for is detached when its object goes.
//
// Invariants: m_tid is 0 until the thread published it, then fixed;
// m_suspendCount only goes down after creation; m_exitCode is STILL_ACTIVE
// until m_returned is set; m_joined only goes from false to true.
#include "pal/threads/thread.h"

#include <climits>
#include <new>

#include "pal/error.h"
#include "pal/internal/kobject.h"
#include "pal/sync.h"

namespace zrpal {

namespace {

thread_local DWORD t_threadId = 0;

constexpr unsigned kKnownFlags = CREATE_SUSPENDED | STACK_SIZE_PARAM_IS_A_RESERVATION;

// posix/thread.inc. The POSIX thread is kept as an integer.
int StartOsThread(std::uintptr_t* thread, void* (*run)(void*), void* argument, std::size_t stackSize);  // 0 or an error number
void JoinOsThread(std::uintptr_t thread);
void DetachOsThread(std::uintptr_t thread);
DWORD ThreadIdFromOs();
DWORD ProcessIdFromOs();

class ThreadObject final : public kobj::Waitable {
 public:
  ThreadObject(ThreadStartRoutine start, void* argument, bool suspended)
      : Waitable(HandleKind::Thread), m_start(start), m_argument(argument), m_suspendCount(suspended ? 1 : 0) {
    kobj::InitEventState(&m_returned, true, false);
  }
  ~ThreadObject() override {
    // Here also when the last reference is the thread's own, on the thread.
    if (m_started && !m_joined) DetachOsThread(m_osThread);
  }

  bool Start(std::size_t stackSize, int* error) {
    *error = StartOsThread(&m_osThread, &ThreadObject::Run, this, stackSize);
    m_started = *error == 0;
    return m_started;
  }

  DWORD Wait(DWORD milliseconds) override {
    const DWORD result = kobj::WaitEventState(&m_returned, false, milliseconds);
    if (result != WAIT_OBJECT_0) return result;
    CCriticalSectionGuard guard(&m_joinLock);
    if (!m_joined) {
      JoinOsThread(m_osThread);  // the routine returned: the thread is ending
      m_joined = true;
    }
    return WAIT_OBJECT_0;
  }

  static void* Run(void* self) {
    auto* thread = static_cast<ThreadObject*>(self);
    thread->m_tid.store(static_cast<int>(GetCurrentThreadId()), std::memory_order_release);
    kobj::WakeWord(&thread->m_tid, false, INT_MAX);
    for (int count; (count = thread->m_suspendCount.load(std::memory_order_acquire)) > 0;)
      kobj::WaitOnWordUntil(&thread->m_suspendCount, count, false, kobj::kForever);
    thread->Finish(thread->m_start(thread->m_argument));
    return nullptr;
  }

  // The creator's wait for the new thread's id.
  DWORD AwaitId() {
    int tid;
    while ((tid = m_tid.load(std::memory_order_acquire)) == 0)
      kobj::WaitOnWordUntil(&m_tid, 0, false, kobj::kForever);
    return static_cast<DWORD>(tid);
  }

  DWORD Resume() {
    int count = m_suspendCount.load(std::memory_order_relaxed);
    while (count > 0 && !m_suspendCount.compare_exchange_weak(count, count - 1, std::memory_order_release)) {
    }
    if (count == 1) kobj::WakeWord(&m_suspendCount, false, 1);
    return static_cast<DWORD>(count > 0 ? count : 0);
  }

  DWORD ExitCode() const { return m_exitCode.load(std::memory_order_acquire); }

 private:
  void Finish(unsigned exitCode) {
    m_exitCode.store(exitCode, std::memory_order_release);
    kobj::SetEventState(&m_returned, false);
    Release();  // the running thread's reference
  }

  const ThreadStartRoutine m_start;
  void* const m_argument;
  std::atomic<int> m_tid{0};
  std::atomic<int> m_suspendCount;
  std::atomic<DWORD> m_exitCode{STILL_ACTIVE};
  kobj::EventState m_returned{};
  std::uintptr_t m_osThread = 0;
  bool m_started = false;
  CRITICAL_SECTION m_joinLock{};
  bool m_joined = false;  // under m_joinLock
};

HandleRef<ThreadObject> ReferenceThread(HANDLE handle) {
  return ReferenceHandle<ThreadObject>(handle, KindBit(HandleKind::Thread));
}

}  // namespace

std::uintptr_t _beginthreadex(LPSECURITY_ATTRIBUTES security, unsigned stackSize,
                              ThreadStartRoutine start, void* argument, unsigned initFlag,
                              unsigned* threadId) {
  if (!start || (initFlag & ~kKnownFlags) != 0 || !kobj::DefaultSecurity(security)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  auto* thread = new (std::nothrow) ThreadObject(start, argument, (initFlag & CREATE_SUSPENDED) != 0);
  if (!thread) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  thread->AddRef();  // the running thread's reference, given back by Finish
  HANDLE handle = InsertHandle(thread);
  if (!handle) {
    thread->Release();
    return 0;
  }
  if (int rc; !thread->Start(stackSize, &rc)) {
    thread->Release();
    CloseHandle(handle);
    // The table says ERROR_LOCK_VIOLATION for EAGAIN; a thread that cannot
    // be made is out of resources, as CreateThread reports it.
    if (rc == EAGAIN)
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    else
      SetLastErrorFromErrno(rc);
    return 0;
  }
  const DWORD tid = thread->AwaitId();
  if (threadId) *threadId = tid;
  return reinterpret_cast<std::uintptr_t>(handle);
}

DWORD ResumeThread(HANDLE handle) {
  HandleRef<ThreadObject> thread = ReferenceThread(handle);
  if (!thread) return static_cast<DWORD>(-1);
  return thread->Resume();
}

BOOL GetExitCodeThread(HANDLE handle, DWORD* exitCode) {
  HandleRef<ThreadObject> thread = ReferenceThread(handle);
  if (!thread) return FALSE;
  if (!exitCode) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  *exitCode = thread->ExitCode();
  return TRUE;
}

// Cached per thread: mutexes note their owner on every acquisition.
// posix/thread.inc forgets the id in a child made by fork(), whose thread
// has an id of its own.
DWORD GetCurrentThreadId() {
  if (t_threadId == 0) t_threadId = ThreadIdFromOs();
  return t_threadId;
}

DWORD GetCurrentProcessId() { return ProcessIdFromOs(); }

}  // namespace zrpal

#include "pal/threads/posix/thread.inc"
