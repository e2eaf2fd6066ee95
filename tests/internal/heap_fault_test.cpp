// Heap failures, made real with the platform layer's fault points: the
// memory exception, the low-memory sink's retries, and the state left behind.
//
// Only one low-memory sink can ever be installed in a process. The tests
// without a sink come first in this file (and CTest runs each test in a
// process of its own); g_sinkInstalled records when the sink went in.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "core/heap_activity.h"
#include "base/memmgr.h"
#include "pal/internal/fault.h"
#include "pal/sync.h"
#include "streams/stream_test_util.h"
#include "zr/exception.h"
#include "zr/heap.h"

namespace {

bool g_sinkInstalled = false;

using zrtest::Activity;
using zrtest::Now;

class FaultGuard {
 public:
  FaultGuard() { zrpal::ClearFaults(); }
  ~FaultGuard() { zrpal::ClearFaults(); }
};

TEST(HeapWithoutSink, FailuresThrowAtOnceAndLeaveNoTrace) {
  ASSERT_FALSE(g_sinkInstalled);
  FaultGuard faults;
  IHeap* heap = Mem_DefaultHeap(0);
  auto* p = static_cast<char*>(heap->Alloc(16));
  std::memcpy(p, "fifteen chars..", 16);
  const Activity before = Now();
  // Two failures armed: the first Alloc uses one, nothing is retried.
  zrpal::InjectFault(zrpal::Fault::HeapAlloc, 1, 2);
  EXPECT_THROW(heap->Alloc(64), CXMemException);
  EXPECT_THROW(heap->Realloc(p, 4000), CXMemException);
  EXPECT_EQ(Now(), before);
  EXPECT_STREQ(p, "fifteen chars..");  // the block is left alone
  EXPECT_EQ(heap->GetSize(p), 16);
  heap->Free(p);

  const ULONG heaps = zr::LiveHeapCount();
  zrpal::InjectFault(zrpal::Fault::HeapCreate, 1);
  EXPECT_EQ(zrtest::CauseOf([] { new_MemoryHeap(300); }), static_cast<DWORD>(ZRCAUSE_NOMEMORY));
  EXPECT_EQ(zr::LiveHeapCount(), heaps);
  // The attempt is counted all the same: its size and one operation.
  EXPECT_EQ(Now(), (Activity{before.bytes + 300, before.operations + 2}));
}

// The sink of this process: answers its script in order (then 0), and
// records what it saw.
class ScriptedSink : public ILowMemoryNotifySink {
 public:
  int OnLowMemory(ULONG attempt) override {
    attempts.push_back(attempt);
    lockHeld.push_back(zrpal::CriticalSectionIsOwned(zr::HeapLock()) != 0);
    threads.push_back(std::this_thread::get_id());
    // Another thread cannot take the heap lock while the sink runs.
    bool otherGotLock = true;
    std::thread other([&] {
      otherGotLock = zrpal::TryEnterCriticalSection(zr::HeapLock()) != 0;
      if (otherGotLock) zrpal::LeaveCriticalSection(zr::HeapLock());
    });
    other.join();
    lockedOut.push_back(!otherGotLock);
    return attempts.size() <= script.size() ? script[attempts.size() - 1] : 0;
  }

  std::vector<int> script;
  std::vector<ULONG> attempts;
  std::vector<bool> lockHeld;
  std::vector<bool> lockedOut;
  std::vector<std::thread::id> threads;
};

// The installed sink, with a new script and nothing recorded.
ScriptedSink& Sink(std::vector<int> script) {
  static ScriptedSink sink;
  if (!g_sinkInstalled) {
    Mem_SetLowMemoryNotifySink(&sink);
    g_sinkInstalled = true;
  }
  sink = ScriptedSink();
  sink.script = std::move(script);
  return sink;
}

// An allocation or heap creation failing `failures` times in a row: the sink
// is asked after each failure until it gives up or the operation succeeds;
// only a success counts.
TEST(HeapWithSink, RetriesWhileTheSinkAsks) {
  struct Case {
    zrpal::Fault fault;
    unsigned failures;
    std::vector<int> script;
    std::vector<ULONG> attempts;
    bool succeeds;
  } cases[] = {
      {zrpal::Fault::HeapAlloc, 10, {1, 1, 0}, {0, 1, 2}, false},  // two retries, then it gives up
      {zrpal::Fault::HeapAlloc, 2, {1, 1, 1, 1}, {0, 1}, true},    // memory is back on the third try
      {zrpal::Fault::HeapCreate, 2, {1, 1}, {0, 1}, true},
      {zrpal::Fault::HeapCreate, 5, {0}, {0}, false},  // gives up at once
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    FaultGuard faults;
    ScriptedSink& sink = Sink(c.script);
    const ULONG heaps = zr::LiveHeapCount();
    const bool alloc = c.fault == zrpal::Fault::HeapAlloc;
    IHeap* heap = alloc ? new_MemoryHeap(0) : nullptr;
    const Activity before = Now();
    zrpal::InjectFault(c.fault, 1, c.failures);
    void* block = nullptr;
    const DWORD cause = zrtest::CauseOf([&] {
      if (alloc) block = heap->Alloc(100);
      else heap = new_MemoryHeap(0);
    });
    EXPECT_EQ(cause, c.succeeds ? 0u : DWORD{ZRCAUSE_NOMEMORY});
    zrpal::ClearFaults();
    EXPECT_EQ(sink.attempts, c.attempts);
    EXPECT_EQ(sink.lockHeld, std::vector<bool>(c.attempts.size(), true));
    if (alloc) {
      EXPECT_EQ(Now(), (c.succeeds ? Activity{before.bytes + 108, before.operations + 1} : before));
      if (block) heap->Free(block);
    } else {
      EXPECT_EQ(zr::LiveHeapCount(), heaps + (c.succeeds ? 1 : 0));
    }
    if (heap) heap->Release();
    EXPECT_EQ(zr::LiveHeapCount(), heaps);
  }
}

TEST(HeapWithSink, SinkRunsUnderTheHeapLockOnTheFailingThread) {
  FaultGuard faults;
  ScriptedSink& sink = Sink({1});
  std::thread::id allocator;
  std::thread worker([&] {
    allocator = std::this_thread::get_id();
    zrpal::InjectFault(zrpal::Fault::HeapAlloc, 1);
    void* p = Mem_DefaultHeap(0)->Alloc(8);
    Mem_DefaultHeap(0)->Free(p);
  });
  worker.join();
  ASSERT_EQ(sink.attempts.size(), 1u);
  EXPECT_TRUE(sink.lockHeld[0]);
  EXPECT_TRUE(sink.lockedOut[0]);
  EXPECT_EQ(sink.threads[0], allocator);
  EXPECT_FALSE(zrpal::CriticalSectionIsOwned(zr::HeapLock()));
}

}  // namespace
