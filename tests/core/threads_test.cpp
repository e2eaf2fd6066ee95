// Critical sections, events, object names, threads with a start-up
// handshake, and the global section mutex, within this process and against
// other processes (tests/child/sync_child).
#include "zr/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "child/child_process.h"
#include "zr/exception.h"

namespace {

[[maybe_unused]] const bool kOwnNamespace = (zrtest::UseOwnObjectNamespace("core"), true);

// Platform values the library passes through.
constexpr ULONG kForever = 0xFFFFFFFF;

TEST(CritSect, CountsAndAnswersNoInterface) {
  ICritSect* section = CriticalSection_New();
  ASSERT_NE(section, nullptr);
  void* out = &out;
  EXPECT_EQ(section->QueryInterface(typeid(IZRUnknown), &out), 0);
  EXPECT_EQ(section->QueryInterface(typeid(ICritSect), &out), 0);
  EXPECT_EQ(out, &out) << "the out pointer is left alone";
  EXPECT_EQ(section->AddRef(), 2u);
  EXPECT_EQ(section->Release(), 1u);
  section->Enter();
  section->Enter();  // recursive for its owner
  section->Leave();
  section->Leave();
  EXPECT_EQ(section->Release(), 0u);
}

// A thread inside any section holds the global section mutex; Wait_All on
// another thread times out until it leaves.
TEST(WaitAll, TimesOutWhileAnotherThreadIsInsideASection) {
  EXPECT_EQ(Wait_All(0), 1) << "no section, no mutex: at once";
  Wait_Release();  // nothing to release: harmless
  ICritSect* mine = CriticalSection_New();
  ICritSect* theirs = CriticalSection_New();
  std::atomic<int> stage{0};
  std::thread inside([&] {
    theirs->Enter();
    stage = 1;
    while (stage != 2) std::this_thread::yield();
    theirs->Leave();
    stage = 3;
  });
  while (stage != 1) std::this_thread::yield();
  EXPECT_EQ(Wait_All(0), 2);
  EXPECT_EQ(Wait_All(20), 2);
  stage = 2;
  while (stage != 3) std::this_thread::yield();
  EXPECT_EQ(Wait_All(0), 1);
  mine->Enter();  // the mutex is recursive: Wait_All's hold and a section together
  mine->Leave();
  Wait_Release();
  inside.join();
  mine->Release();
  theirs->Release();
}

TEST(Event, AutoResetAndNoInterface) {
  IEvent* event = Event_New(1);
  ASSERT_NE(event, nullptr);
  void* out = &out;
  EXPECT_EQ(event->QueryInterface(typeid(IZRUnknown), &out), 0);
  EXPECT_EQ(out, &out);
  EXPECT_EQ(event->Wait(0), 1);
  EXPECT_EQ(event->Wait(0), 2) << "the first wait reset it";
  EXPECT_NE(event->Set(), 0);
  EXPECT_NE(event->Reset(), 0);
  EXPECT_EQ(event->Wait(10), 2);
  EXPECT_NE(event->Set(), 0);
  EXPECT_EQ(event->Wait(kForever), 1);
  EXPECT_EQ(event->AddRef(), 2u);
  EXPECT_EQ(event->Release(), 1u);
  EXPECT_EQ(event->Release(), 0u);
}

TEST(ObjName, PrefixProcessAndThread) {
  char name[64], again[64], other[64], given[64], none[64];
  ZRCreateObjName("Pre", name, 0);
  ZRCreateObjName("Pre", again, 0);
  EXPECT_STREQ(name, again);
  std::thread([&] { ZRCreateObjName("Pre", other, 0); }).join();
  EXPECT_STRNE(name, other);
  ZRCreateObjName("Pre", given, 4294967295u);  // a thread id as a signed number
  EXPECT_EQ(std::string(given), "Pre" + std::to_string(::getpid()) + "-1");
  ZRCreateObjName(nullptr, none, 7);
  EXPECT_EQ(std::string(none), "(null)" + std::to_string(::getpid()) + "7");
  EXPECT_EQ(std::string(name), "Pre" + std::to_string(::getpid()) + std::to_string(::gettid()));
}

// ---- against other processes ----

// A child holding the mutex through Wait_All blocks Enter here until its
// Wait_Release.
TEST(SectionMutexAcrossProcesses, AHolderElsewhereBlocksEnter) {
  ICritSect* section = CriticalSection_New();
  zrtest::ChildProcess child({"hold"});
  ASSERT_EQ(child.ReadLine(), "held 1");
  EXPECT_EQ(Wait_All(0), 2);
  std::atomic<pid_t> tid{0};
  std::atomic<bool> entered{false};
  std::thread enter([&] {
    tid = ::gettid();
    section->Enter();
    entered = true;
    section->Leave();
  });
  while (tid == 0) std::this_thread::yield();
  ASSERT_TRUE(zrtest::WaitUntilSleeping(::getpid(), tid));
  EXPECT_FALSE(entered);
  child.Tell();
  EXPECT_EQ(child.ReadLine(), "released");
  enter.join();
  EXPECT_TRUE(entered);
  EXPECT_EQ(child.Wait(), 0);
  section->Release();
}

// A child that takes the mutex and is killed holding it.
void KillAHolder() {
  zrtest::ChildProcess child({"hold"});
  ASSERT_EQ(child.ReadLine(), "held 1");
  child.Kill();
  EXPECT_EQ(child.Wait(), -1);
}

// A holder that dies abandons the mutex: while this process still holds
// the mutex object the next wait says so (3), and owns it; once given back
// it serves as before.
TEST(SectionMutexAcrossProcesses, AKilledHolderAbandonsIt) {
  ICritSect* section = CriticalSection_New();
  KillAHolder();
  EXPECT_EQ(Wait_All(kForever), 3);
  Wait_Release();
  EXPECT_EQ(Wait_All(0), 1);
  Wait_Release();
  section->Enter();
  section->Leave();
  section->Release();
}

// When nobody else holds the mutex object any longer, the next section
// starts a fresh mutex: no abandonment shows.
TEST(SectionMutexAcrossProcesses, NobodyLeftMeansAFreshMutex) {
  KillAHolder();
  ICritSect* section = CriticalSection_New();
  ASSERT_EQ(Wait_All(0), 1);
  zrtest::ChildProcess probe({"race"});  // a working mutex: held here, busy there
  probe.Tell();
  EXPECT_EQ(probe.ReadLine(), "ready");
  probe.Tell();
  EXPECT_EQ(probe.ReadLine(), "probe 2");
  Wait_Release();
  probe.Tell();
  EXPECT_EQ(probe.Wait(), 0);
  section->Release();  // the last holder: the name goes
}

// Processes that create their first section at the same moment all end up
// on one mutex: once this process holds it, every one of them times out.
TEST(SectionMutexAcrossProcesses, RacingCreatorsShareOneMutex) {
  constexpr int kChildren = 6;
  std::vector<std::unique_ptr<zrtest::ChildProcess>> children;
  for (int i = 0; i < kChildren; ++i) children.push_back(std::make_unique<zrtest::ChildProcess>(std::vector<std::string>{"race"}));
  for (auto& child : children) child->Tell();  // all create at once
  for (auto& child : children) ASSERT_EQ(child->ReadLine(), "ready");
  ICritSect* section = CriticalSection_New();
  ASSERT_EQ(Wait_All(kForever), 1);
  for (auto& child : children) child->Tell();
  for (auto& child : children) EXPECT_EQ(child->ReadLine(), "probe 2");
  Wait_Release();
  for (auto& child : children) {
    child->Tell();
    EXPECT_EQ(child->Wait(), 0);
  }
  section->Release();
}

}  // namespace
