// CHeap Alloc+Free against the C library's malloc+free and calloc+free, in
// the same run, single thread, 16 B to 4 KiB. CHeap blocks are zero-filled,
// so calloc+free is the like-for-like peer and malloc+free the bar.
//
// The *_OtherThreadAlive variants run after the single-threaded ones: they
// start an idle thread first, after which the process counts as
// multi-threaded for the rest of the run (a lock, where one is taken, then
// needs locked instructions). The *_8Threads variants run last: eight
// threads at once, each allocating and freeing its own blocks, on the
// default heap against glibc's malloc (per-thread arenas and caches).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "zr/heap.h"

namespace {

void Sizes(benchmark::internal::Benchmark* b) {
  for (int size : {16, 64, 256, 1024, 4096}) b->Arg(size);
}

void BM_Malloc_Free(benchmark::State& state) {
  const size_t size = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    void* p = std::malloc(size);
    benchmark::DoNotOptimize(p);
    std::free(p);
  }
}
BENCHMARK(BM_Malloc_Free)->Apply(Sizes);

void BM_Calloc_Free(benchmark::State& state) {
  const size_t size = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    void* p = std::calloc(1, size);
    benchmark::DoNotOptimize(p);
    std::free(p);
  }
}
BENCHMARK(BM_Calloc_Free)->Apply(Sizes);

void RunHeap(benchmark::State& state, IHeap* heap) {
  const size_t size = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    void* p = heap->Alloc(size);
    benchmark::DoNotOptimize(p);
    heap->Free(p);
  }
}

void BM_DefaultHeap_AllocFree(benchmark::State& state) { RunHeap(state, Mem_DefaultHeap(0)); }
BENCHMARK(BM_DefaultHeap_AllocFree)->Apply(Sizes);

void BM_PrivateHeap_AllocFree(benchmark::State& state) {
  IHeap* heap = new_MemoryHeap(0);
  RunHeap(state, heap);
  heap->Release();
}
BENCHMARK(BM_PrivateHeap_AllocFree)->Apply(Sizes);

// An idle thread that lives until the program ends.
void StartIdleThread() {
  static std::once_flag once;
  std::call_once(once, [] {
    std::thread([] {
      for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
    }).detach();
  });
}

void BM_Malloc_Free_OtherThreadAlive(benchmark::State& state) {
  StartIdleThread();
  BM_Malloc_Free(state);
}
BENCHMARK(BM_Malloc_Free_OtherThreadAlive)->Apply(Sizes);

void BM_DefaultHeap_AllocFree_OtherThreadAlive(benchmark::State& state) {
  StartIdleThread();
  RunHeap(state, Mem_DefaultHeap(0));
}
BENCHMARK(BM_DefaultHeap_AllocFree_OtherThreadAlive)->Apply(Sizes);

void BM_Malloc_Free_8Threads(benchmark::State& state) { BM_Malloc_Free(state); }
BENCHMARK(BM_Malloc_Free_8Threads)->Apply(Sizes)->Threads(8);

void BM_DefaultHeap_AllocFree_8Threads(benchmark::State& state) { RunHeap(state, Mem_DefaultHeap(0)); }
BENCHMARK(BM_DefaultHeap_AllocFree_8Threads)->Apply(Sizes)->Threads(8);

}  // namespace
