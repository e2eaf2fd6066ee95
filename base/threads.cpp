// base/threads.cpp - critical sections, events, threads with a start-up
// handshake, object names, and the global section mutex.
//
// The global section mutex: a named platform mutex, created by the first
// live CCritSect and closed by the release of the last, so every process
// that uses the library shares it while it has sections alive. Enter takes
// it before the section's own lock and Leave gives it back after, so every
// thread takes the two in the same order; the mutex is recursive, so a
// thread may hold several sections.
//
// Invariants (under g_stateLock): g_sectionMutex is non-null only while
// g_liveSections > 0 (it is null also when creating the mutex failed; the
// sections then run on their own locks). g_sectionMutex does not change
// while any section is alive, so Enter and Leave read it without the lock.
// The lock only makes the first creation and the last release safe against
// each other; Enter, Leave and Wait_All never take it.
//
// g_heldSectionMutex is the mutex object behind g_sectionMutex, held by a
// reference for the same span (set after the handle is made, let go before
// it is closed). Enter and Leave wait and release through it: a lookup in
// the handle table per call (a lock and two counted references) cost more
// than the mutex itself. The handle stays the contract's: SectionMutex,
// Wait_All and Wait_Release answer and use it.
#include "zr/threads.h"

#include <atomic>
#include <cstddef>
#include <cstring>
#include <new>

#include "base/sections.h"
#include "pal/handle.h"
#include "pal/sync.h"
#include "pal/threads/event.h"
#include "pal/threads/mutex.h"
#include "pal/threads/thread.h"
#include "zr/exception.h"

namespace zr {

namespace {

constexpr zrpal::DWORD kStartupTimeoutMs = 1000;
constexpr std::size_t kThreadNameBytes = 312;
constexpr std::size_t kMaxDecimalChars = 11;  // "-2147483648"
constexpr char kNullText[] = "(null)";

// Wait_All and IEvent::Wait results.
constexpr int kWaitSignalled = 1;
constexpr int kWaitTimedOut = 2;
constexpr int kWaitAbandoned = 3;

constinit zrpal::CRITICAL_SECTION g_stateLock{};
constinit ULONG g_liveSections = 0;
constinit std::atomic<HANDLE> g_sectionMutex{nullptr};
constinit std::atomic<zrpal::HeldMutex*> g_heldSectionMutex{nullptr};

void TakeSectionMutexShare() {
  zrpal::CCriticalSectionGuard guard(&g_stateLock);
  if (g_liveSections == 0) {
    HANDLE mutex = zrpal::CreateMutexA(nullptr, 0, kSectionMutexName);
    g_heldSectionMutex.store(mutex ? zrpal::HoldMutex(mutex) : nullptr, std::memory_order_release);
    g_sectionMutex.store(mutex, std::memory_order_release);
  }
  ++g_liveSections;
}

void GiveUpSectionMutexShare() {
  zrpal::CCriticalSectionGuard guard(&g_stateLock);
  if (--g_liveSections == 0) {
    zrpal::LetGoOfMutex(g_heldSectionMutex.exchange(nullptr, std::memory_order_acq_rel));
    if (HANDLE mutex = g_sectionMutex.exchange(nullptr, std::memory_order_acq_rel)) zrpal::CloseHandle(mutex);
  }
}

HANDLE CurrentSectionMutex() { return g_sectionMutex.load(std::memory_order_acquire); }

zrpal::HeldMutex* HeldSectionMutex() { return g_heldSectionMutex.load(std::memory_order_acquire); }

int WaitResult(zrpal::DWORD result) {
  switch (result) {
    case zrpal::WAIT_TIMEOUT: return kWaitTimedOut;
    case zrpal::WAIT_ABANDONED: return kWaitAbandoned;
    default: return kWaitSignalled;  // signalled, or the wait failed
  }
}

// Writes `value` as a signed decimal number at `out`; returns the end.
char* WriteSigned(char* out, int value) {
  char digits[kMaxDecimalChars];
  std::size_t count = 0;
  // In unsigned arithmetic, so that the most negative value has a magnitude.
  unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *out++ = '-';
  while (count > 0) *out++ = digits[--count];
  return out;
}

}  // namespace

ULONG LiveSectionCount() {
  zrpal::CCriticalSectionGuard guard(&g_stateLock);
  return g_liveSections;
}

HANDLE SectionMutex() { return CurrentSectionMutex(); }

}  // namespace zr

// ---- CCritSect ----

namespace {

static_assert(sizeof(ZR_CRITICAL_SECTION) == sizeof(zrpal::CRITICAL_SECTION) &&
              alignof(ZR_CRITICAL_SECTION) == alignof(zrpal::CRITICAL_SECTION));

zrpal::CRITICAL_SECTION* SectionIn(ZR_CRITICAL_SECTION* storage) {
  return std::launder(reinterpret_cast<zrpal::CRITICAL_SECTION*>(storage->opaque));
}

}  // namespace

CCritSect::CCritSect() : m_initialised(0), m_cRef(1) {
  zrpal::InitializeCriticalSection(new (m_cs.opaque) zrpal::CRITICAL_SECTION{});
  m_initialised = 1;
}

// The records other modules read: table pointer, then the fields in their
// order. The checks name private fields, so they sit in the friends. The
// classes are not standard-layout, where offsetof is conditionally
// supported; GCC and clang give the Itanium ABI's offsets.
ICritSect* CriticalSection_New() {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
  static_assert(offsetof(CCritSect, m_cs) == 8 && offsetof(CCritSect, m_initialised) == 32 &&
                offsetof(CCritSect, m_cRef) == 36 && sizeof(CCritSect) == 40);
#pragma GCC diagnostic pop
  void* memory = ::operator new(sizeof(CCritSect), std::nothrow);
  if (!memory) return nullptr;
  auto* section = new (memory) CCritSect();
  zr::TakeSectionMutexShare();
  return section;
}

ICritSect* _CriticalSection_New_For_Core(void* memory, int* size) {
  if (!memory) {
    if (size) *size = static_cast<int>(sizeof(CCritSect));
    return nullptr;
  }
  auto* section = new (memory) CCritSect();
  zr::TakeSectionMutexShare();
  return section;
}

ULONG CCritSect::AddRef() { return ++m_cRef; }

ULONG CCritSect::Release() {
  if (--m_cRef != 0) return m_cRef;
  zrpal::DeleteCriticalSection(SectionIn(&m_cs));
  SectionIn(&m_cs)->~CRITICAL_SECTION();
  m_initialised = 0;
  zr::GiveUpSectionMutexShare();
  this->CCritSect::~CCritSect();
  ::operator delete(this);
  return 0;
}

int CCritSect::QueryInterface(const std::type_info&, void**) { return 0; }

void CCritSect::Enter() {
  if (zrpal::HeldMutex* mutex = zr::HeldSectionMutex()) zrpal::WaitForHeldMutex(mutex, zrpal::INFINITE);
  zrpal::EnterCriticalSection(SectionIn(&m_cs));
}

void CCritSect::Leave() {
  zrpal::LeaveCriticalSection(SectionIn(&m_cs));
  if (zrpal::HeldMutex* mutex = zr::HeldSectionMutex()) zrpal::ReleaseHeldMutex(mutex);
}

// ---- CEvent ----

CEvent::CEvent() : m_hEvent(nullptr), m_created(0), m_cRef(1) {}

IEvent* Event_New(int initialState) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
  static_assert(offsetof(CEvent, m_hEvent) == 8 && offsetof(CEvent, m_created) == 16 &&
                offsetof(CEvent, m_cRef) == 20 && sizeof(CEvent) == 24);
#pragma GCC diagnostic pop
  void* memory = ::operator new(sizeof(CEvent), std::nothrow);
  if (!memory) return nullptr;
  auto* event = new (memory) CEvent();
  event->m_hEvent = zrpal::CreateEventA(nullptr, 0, initialState != 0, nullptr);
  if (!event->m_hEvent) {
    event->CEvent::~CEvent();
    ::operator delete(memory);
    throw CXBadAlloc();
  }
  event->m_created = 1;
  return event;
}

ULONG CEvent::AddRef() { return ++m_cRef; }

ULONG CEvent::Release() {
  if (--m_cRef != 0) return m_cRef;
  zrpal::CloseHandle(m_hEvent);
  this->CEvent::~CEvent();
  ::operator delete(this);
  return 0;
}

int CEvent::QueryInterface(const std::type_info&, void**) { return 0; }
int CEvent::Set() { return zrpal::SetEvent(m_hEvent); }
int CEvent::Reset() { return zrpal::ResetEvent(m_hEvent); }
int CEvent::Wait(ULONG timeout) { return zr::WaitResult(zrpal::WaitForSingleObject(m_hEvent, timeout)); }

// ---- names, threads, the global section mutex ----

void ZRCreateObjName(const char* prefix, char* buffer, ULONG threadId) {
  const char* text = prefix ? prefix : zr::kNullText;
  const std::size_t length = std::strlen(text);
  std::memcpy(buffer, text, length);
  char* out = buffer + length;
  out = zr::WriteSigned(out, static_cast<int>(zrpal::GetCurrentProcessId()));
  out = zr::WriteSigned(out, static_cast<int>(threadId ? threadId : zrpal::GetCurrentThreadId()));
  *out = 0;
}

// Deviation: a prefix too long for the 312-byte name buffer is refused (no
// thread, null, no wait); Windows writes past the buffer.
HANDLE ZRCreateThread(const char* prefix, PFNZRTHREADSTART start, void* argument, ULONG* threadId) {
  const std::size_t prefixLength = std::strlen(prefix ? prefix : zr::kNullText);
  if (prefixLength + 2 * zr::kMaxDecimalChars + 1 > zr::kThreadNameBytes) return nullptr;
  unsigned id = 0;
  HANDLE thread = reinterpret_cast<HANDLE>(
      zrpal::_beginthreadex(nullptr, 0, start, argument, zrpal::CREATE_SUSPENDED, &id));
  if (!thread) id = 0;  // the name then carries the calling thread's id
  char name[zr::kThreadNameBytes];
  ZRCreateObjName(prefix, name, id);
  HANDLE started = zrpal::CreateEventA(nullptr, 1, 0, name);
  if (thread) zrpal::ResumeThread(thread);
  zrpal::WaitForSingleObject(started, zr::kStartupTimeoutMs);
  if (started) zrpal::CloseHandle(started);
  if (threadId) *threadId = id;
  return thread;
}

int Wait_All(int timeout) {
  HANDLE mutex = zr::CurrentSectionMutex();
  if (!mutex) return zr::kWaitSignalled;
  return zr::WaitResult(zrpal::WaitForSingleObject(mutex, static_cast<zrpal::DWORD>(timeout)));
}

void Wait_Release() {
  if (HANDLE mutex = zr::CurrentSectionMutex()) zrpal::ReleaseMutex(mutex);
}
