// Memory streams against the standard library in the same run: 64 MiB of
// sequential WriteDword into a new memory stream (through the IXStream
// interface, as callers use it) against std::vector<uint32_t>::push_back
// into a new vector, both growing from empty; and the variant stream record,
// writing then reading back one million ZRVT_INT and short ZRVT_STR records
// (items per second = records written and read back).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "zr/exception.h"
#include "zr/variant.h"
#include "zr/xstream.h"

namespace {

constexpr std::uint32_t kDwords = (64u << 20) / sizeof(std::uint32_t);
constexpr int kRecords = 1000000;

void BM_WriteDword64MiB_MemStream(benchmark::State& state) {
  for (auto _ : state) {
    IXStream* stream = new_StreamOnMemory();
    for (std::uint32_t i = 0; i < kDwords; ++i) stream->WriteDword(i);
    benchmark::DoNotOptimize(stream->GetSize());
    stream->Release();
  }
  state.SetBytesProcessed(state.iterations() * std::int64_t{kDwords} * 4);
}
BENCHMARK(BM_WriteDword64MiB_MemStream)->Unit(benchmark::kMillisecond);

void BM_WriteDword64MiB_VectorPushBack(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<std::uint32_t> v;
    for (std::uint32_t i = 0; i < kDwords; ++i) v.push_back(i);
    benchmark::DoNotOptimize(v.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * std::int64_t{kDwords} * 4);
}
BENCHMARK(BM_WriteDword64MiB_VectorPushBack)->Unit(benchmark::kMillisecond);

// Writes kRecords records made by `make`, seeks back, reads them all.
template <class Make>
void WriteThenRead(benchmark::State& state, Make make) {
  for (auto _ : state) {
    IXStream* stream = new_StreamOnMemory();
    for (int i = 0; i < kRecords; ++i) {
      const CZRVariant v = make(i);
      stream->WriteVariant(&v);
    }
    stream->Seek(0, ZRSEEK_SET);
    CZRVariant back;
    int read = 0;
    while (stream->ReadVariant(&back)) ++read;
    if (read != kRecords) state.SkipWithError("records lost");
    stream->Release();
  }
  state.SetItemsProcessed(state.iterations() * std::int64_t{kRecords});
}

void BM_VariantRecords_Int(benchmark::State& state) {
  WriteThenRead(state, [](int i) { return CZRVariant(i); });
}
BENCHMARK(BM_VariantRecords_Int)->Unit(benchmark::kMillisecond);

void BM_VariantRecords_ShortStr(benchmark::State& state) {
  static const char* const kTexts[] = {"a", "name", "short text", "Memory stream"};
  WriteThenRead(state, [](int i) { return CZRVariant(kTexts[i & 3]); });
}
BENCHMARK(BM_VariantRecords_ShortStr)->Unit(benchmark::kMillisecond);

}  // namespace
