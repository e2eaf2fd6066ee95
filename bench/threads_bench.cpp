// Enter+Leave of an uncontended CCritSect (which also takes and gives back
// the global section mutex) against lock+unlock of std::mutex and of a
// process-shared, robust, recursive pthread_mutex_t in shared memory (the
// kind of mutex under the global section mutex), in the same run, single
// thread.
#include <benchmark/benchmark.h>
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <string>

#include "zr/threads.h"

namespace {

void BM_StdMutex_LockUnlock(benchmark::State& state) {
  std::mutex mutex;
  for (auto _ : state) {
    mutex.lock();
    mutex.unlock();
  }
}
BENCHMARK(BM_StdMutex_LockUnlock);

void BM_RobustSharedMutex_LockUnlock(benchmark::State& state) {
  void* memory = mmap(nullptr, sizeof(pthread_mutex_t), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  auto* mutex = static_cast<pthread_mutex_t*>(memory);
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
  pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
  pthread_mutex_init(mutex, &attr);
  pthread_mutexattr_destroy(&attr);
  for (auto _ : state) {
    pthread_mutex_lock(mutex);
    pthread_mutex_unlock(mutex);
  }
  pthread_mutex_destroy(mutex);
  munmap(memory, sizeof(pthread_mutex_t));
}
BENCHMARK(BM_RobustSharedMutex_LockUnlock);

void BM_CCritSect_EnterLeave(benchmark::State& state) {
  // A namespace of the run's own: no other process shares its mutex.
  setenv("ZR_OBJECT_NAMESPACE", ("bench." + std::to_string(getpid())).c_str(), 1);
  ICritSect* section = CriticalSection_New();
  for (auto _ : state) {
    section->Enter();
    section->Leave();
  }
  section->Release();
}
BENCHMARK(BM_CCritSect_EnterLeave);

}  // namespace
