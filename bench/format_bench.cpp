// CXString::Format("%d %s %f") against the C library's snprintf into a
// stack buffer, in the same run. Format estimates the size, prepares the
// string's buffer and prints with the library's own formatter; snprintf
// only prints. Target: Format at most 1.5x the cost of snprintf.
//
// Variants: Format into a string that keeps its buffer (the steady state of
// a reused string), into a fresh string each time (one allocation and one
// release more), a wide string, and an integer-only format.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "zr/xstring.h"

namespace {

void BM_Snprintf_IntTextFloat(benchmark::State& state) {
  char buffer[256];
  int i = 0;
  for (auto _ : state) {
    std::snprintf(buffer, sizeof buffer, "%d %s %f", i, "text", 3.25 + i);
    ++i;
    benchmark::DoNotOptimize(buffer);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Snprintf_IntTextFloat);

void BM_Format_IntTextFloat(benchmark::State& state) {
  CXString s;
  int i = 0;
  for (auto _ : state) {
    s.Format("%d %s %f", i, "text", 3.25 + i);
    ++i;
    benchmark::DoNotOptimize(static_cast<const char*>(s));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Format_IntTextFloat);

void BM_Format_IntTextFloat_FreshString(benchmark::State& state) {
  int i = 0;
  for (auto _ : state) {
    CXString s;
    s.Format("%d %s %f", i, "text", 3.25 + i);
    ++i;
    benchmark::DoNotOptimize(static_cast<const char*>(s));
  }
}
BENCHMARK(BM_Format_IntTextFloat_FreshString);

void BM_FormatW_IntTextFloat(benchmark::State& state) {
  CXStringW s;
  int i = 0;
  for (auto _ : state) {
    s.Format(u"%d %s %f", i, u"text", 3.25 + i);
    ++i;
    benchmark::DoNotOptimize(static_cast<const WCHAR*>(s));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FormatW_IntTextFloat);

void BM_Snprintf_Ints(benchmark::State& state) {
  char buffer[256];
  int i = 0;
  for (auto _ : state) {
    std::snprintf(buffer, sizeof buffer, "%d/%08x/%5u", i, i * 7, i + 3);
    ++i;
    benchmark::DoNotOptimize(buffer);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Snprintf_Ints);

void BM_Format_Ints(benchmark::State& state) {
  CXString s;
  int i = 0;
  for (auto _ : state) {
    s.Format("%d/%08x/%5u", i, i * 7, i + 3);
    ++i;
    benchmark::DoNotOptimize(static_cast<const char*>(s));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Format_Ints);

}  // namespace
