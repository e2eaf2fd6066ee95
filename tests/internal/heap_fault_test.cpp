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

#include "core/memmgr.h"
#include "pal/fault.h"
#include "pal/sync.h"
#include "zr/exception.h"
#include "zr/heap.h"

namespace {

bool g_sinkInstalled = false;

struct Activity {
  std::uint64_t bytes = 0;
  ULONG operations = 0;
  bool operator==(const Activity&) const = default;
};
void PrintTo(const Activity& a, std::ostream* os) { *os << a.bytes << " bytes, " << a.operations << " operations"; }

Activity Now() {
  Activity a;
  Get_CoreActivity(&a.bytes, &a.operations);
  return a;
}

class FaultGuard {
 public:
  FaultGuard() { zrpal::ClearFaults(); }
  ~FaultGuard() { zrpal::ClearFaults(); }
};

TEST(HeapWithoutSink, FailedAllocationThrowsAtOnceAndLeavesNoTrace) {
  ASSERT_FALSE(g_sinkInstalled);
  FaultGuard faults;
  IHeap* heap = new_MemoryHeap(0);
  const Activity before = Now();
  // Two failures armed: without a sink only the first is used.
  zrpal::InjectFault(zrpal::Fault::HeapAlloc, 1, 2);
  EXPECT_THROW(heap->Alloc(64), CXMemException);
  EXPECT_EQ(Now(), before);
  // The second armed failure is still there: nothing retried.
  EXPECT_THROW(heap->Alloc(64), CXMemException);
  void* p = heap->Alloc(64);
  ASSERT_NE(p, nullptr);
  heap->Free(p);
  heap->Release();
}

TEST(HeapWithoutSink, FailedReallocLeavesTheBlockAlone) {
  ASSERT_FALSE(g_sinkInstalled);
  FaultGuard faults;
  IHeap* heap = Mem_DefaultHeap(0);
  auto* p = static_cast<char*>(heap->Alloc(16));
  std::memcpy(p, "fifteen chars..", 16);
  const Activity before = Now();
  zrpal::InjectFault(zrpal::Fault::HeapAlloc, 1);
  EXPECT_THROW(heap->Realloc(p, 4000), CXMemException);
  EXPECT_EQ(Now(), before);
  EXPECT_STREQ(p, "fifteen chars..");
  EXPECT_EQ(heap->GetSize(p), 16);
  heap->Free(p);
}

TEST(HeapWithoutSink, FailedHeapCreationLinksNothing) {
  ASSERT_FALSE(g_sinkInstalled);
  FaultGuard faults;
  const ULONG heaps = zr::LiveHeapCount();
  const Activity before = Now();
  zrpal::InjectFault(zrpal::Fault::HeapCreate, 1);
  try {
    new_MemoryHeap(300);
    ADD_FAILURE() << "heap created";
  } catch (const CXMemException& e) {
    EXPECT_EQ(e.GetCause(), static_cast<DWORD>(ZRCAUSE_NOMEMORY));
  }
  EXPECT_EQ(zr::LiveHeapCount(), heaps);
  // The attempt is counted all the same: its size and one operation.
  EXPECT_EQ(Now(), (Activity{before.bytes + 300, before.operations + 1}));
}

// The sink of this process. Each test sets its script: the answers to give
// in order (0 after the script runs out). It records what it saw.
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
    const size_t i = attempts.size() - 1;
    return i < script.size() ? script[i] : 0;
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

// An allocation or a heap creation that fails `failures` times in a row,
// with a sink answering `script`: the sink is asked after each failure until
// it gives up or the operation succeeds; only a success counts.
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
    try {
      if (alloc)
        block = heap->Alloc(100);
      else
        heap = new_MemoryHeap(0);
      EXPECT_TRUE(c.succeeds);
    } catch (const CXMemException&) {
      EXPECT_FALSE(c.succeeds);
    }
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
