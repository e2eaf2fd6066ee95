// threads.h - critical sections and events as reference-counted objects,
// threads started with a start-up handshake, kernel object names unique per
// process and thread, and the global section mutex.
//
// Every critical section the library hands out is tied to one named mutex,
// the global section mutex: Enter takes the mutex, then the section's own
// lock; Leave gives them back in the opposite order. While any thread holds
// any section, no other thread of any process of the same user that uses
// the library can enter one. Wait_All and Wait_Release hold the mutex
// directly, which stops every section at once. The mutex exists while at
// least one critical section does.
//
// Reference counts are plain counters: an object is used by one thread at
// a time (Enter and Leave of one section from several threads is what a
// section is for; AddRef and Release are not).
#pragma once

#include "zr/unknown.h"

// ---- interfaces ----

class ZR_API ICritSect : public IZRUnknown {
 public:
  // Slot 3: waits for the global section mutex (when it exists), then for
  // the section. Recursive for the owning thread.
  virtual void Enter() = 0;
  // Slot 4: leaves the section, then releases the global section mutex.
  virtual void Leave() = 0;

 protected:
  ~ICritSect() = default;
};

class ZR_API IEvent : public IZRUnknown {
 public:
  // Slot 3: signals the event; the platform's result (non-zero on success).
  virtual int Set() = 0;
  // Slot 4: resets the event; the platform's result.
  virtual int Reset() = 0;
  // Slot 5: waits at most `timeout` milliseconds (0xFFFFFFFF: for ever).
  // 1 signalled, 2 timed out, 3 abandoned; a failed wait also answers 1.
  virtual int Wait(ULONG timeout) = 0;

 protected:
  ~IEvent() = default;
};

// ---- factories and functions ----

// A new critical section with one reference, or null when it cannot be
// allocated. The first live section creates the global section mutex.
ZR_API ICritSect* CriticalSection_New();

// With null memory: stores in *size the bytes a critical section needs and
// returns null. Otherwise builds one in `memory` (at least *size bytes from
// the general allocator, operator new, which its last Release gives the
// memory back to) and returns it with one reference.
ZR_API ICritSect* _CriticalSection_New_For_Core(void* memory, int* size);

// A new auto-reset event in the state `initialState` (non-zero: signalled),
// with one reference. Null when the object cannot be allocated; throws
// CXMemException when the platform cannot create the event.
ZR_API IEvent* Event_New(int initialState);

// Writes `prefix`, the process id and the thread id (0: the calling
// thread's), the ids as signed decimal numbers, into `buffer`, which must
// hold them and the terminating zero. A null prefix is written "(null)", as
// the run-time's printing writes a null string.
ZR_API void ZRCreateObjName(const char* prefix, char* buffer, ULONG threadId);

// A thread's start routine: the argument in, the exit code out.
using PFNZRTHREADSTART = unsigned (*)(void* argument);

// Starts `start(argument)` on a new thread and waits, at most 1000
// milliseconds, for the thread to signal that it runs: the thread builds
// ZRCreateObjName(prefix, name, 0), opens the event of that name
// (OpenEventA in the platform's terms) and sets it. Returns the thread
// handle (null when no thread could be made; the wait still happens) and
// stores the thread id through `threadId` when it is not null. A prefix
// whose name would not fit the 312-byte name buffer is refused: no thread,
// null, no wait.
ZR_API HANDLE ZRCreateThread(const char* prefix, PFNZRTHREADSTART start, void* argument, ULONG* threadId);

// Waits at most `timeout` milliseconds for the global section mutex: 1
// acquired (or the wait failed), 2 timed out, 3 acquired after its owner
// ended without releasing it; 1 at once when no critical section exists.
// After 1 or 3 the caller holds the mutex until Wait_Release.
ZR_API int Wait_All(int timeout);

// Releases the global section mutex, if it exists.
ZR_API void Wait_Release();

// ---- implementation classes ----

// Room for the platform's critical section inside CCritSect (its size and
// alignment are checked where the section is built). Deviation: 24 bytes,
// where Windows' CRITICAL_SECTION has 40, so CCritSect is 40 bytes, not 56.
struct ZR_CRITICAL_SECTION {
  alignas(8) BYTE opaque[24];
};

class ZR_API CCritSect : public ICritSect {
 public:
  // Adds a reference; the new count.
  ULONG AddRef() override;
  // Drops a reference; at 0 deletes the section, gives up the object's
  // share of the global section mutex and frees the object (operator
  // delete). The new count.
  ULONG Release() override;
  // Answers 0 for every type, IZRUnknown included; *out is not touched.
  int QueryInterface(const std::type_info& type, void** out) override;
  void Enter() override;
  void Leave() override;

 private:
  CCritSect();
  ~CCritSect() = default;
  friend ICritSect* CriticalSection_New();
  friend ICritSect* _CriticalSection_New_For_Core(void* memory, int* size);

  ZR_CRITICAL_SECTION m_cs;  // the platform's critical section
  DWORD m_initialised;       // 1 once m_cs is initialised
  ULONG m_cRef;              // 1 at construction
};

class ZR_API CEvent : public IEvent {
 public:
  ULONG AddRef() override;
  // At 0 closes the event and frees the object.
  ULONG Release() override;
  // Answers 0 for every type; *out is not touched.
  int QueryInterface(const std::type_info& type, void** out) override;
  int Set() override;
  int Reset() override;
  int Wait(ULONG timeout) override;

 private:
  CEvent();
  ~CEvent() = default;
  friend IEvent* Event_New(int initialState);

  HANDLE m_hEvent;  // the platform's event
  DWORD m_created;  // 1 once the event exists
  ULONG m_cRef;     // 1 at construction
};
