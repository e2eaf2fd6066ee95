// Variants against the standard library's equivalents in the same run:
// copying a variant that holds a 64-byte string (ZRVariantCopy against
// copying a std::variant holding a std::string), and converting a double to
// text and text to an integer (ZRVariantChangeType against std::to_chars /
// std::from_chars building the same results).
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdint>
#include <string>
#include <variant>

#include "zr/variant.h"

namespace {

// The peer of tagZRVARIANT for these operations: a few value types and an
// owned string.
using StdValue = std::variant<std::monostate, std::int32_t, double, std::string>;

const std::string kText64(64, 'x');

void BM_CopyString_ZRVariantCopy(benchmark::State& state) {
  const CZRVariant source(kText64.c_str());
  CZRVariant dest;
  for (auto _ : state) {
    ZRVariantCopy(&dest, &source);
    benchmark::DoNotOptimize(dest.pszVal);
  }
}
BENCHMARK(BM_CopyString_ZRVariantCopy);

void BM_CopyString_StdVariant(benchmark::State& state) {
  const StdValue source(kText64);
  StdValue dest;
  for (auto _ : state) {
    // Assigning a fresh copy, as ZRVariantCopy clears and copies: the
    // destination's buffer is not reused.
    dest = StdValue();
    dest = source;
    benchmark::DoNotOptimize(std::get<std::string>(dest).data());
  }
}
BENCHMARK(BM_CopyString_StdVariant);

void BM_DoubleToText_ChangeType(benchmark::State& state) {
  const CZRVariant source(3.14159265358979);
  CZRVariant dest;
  for (auto _ : state) {
    ZRVariantChangeType(&dest, &source, ZRVT_STR);
    benchmark::DoNotOptimize(dest.pszVal);
  }
}
BENCHMARK(BM_DoubleToText_ChangeType);

void BM_DoubleToText_ToChars(benchmark::State& state) {
  const StdValue source(3.14159265358979);
  StdValue dest;
  for (auto _ : state) {
    char buf[32];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, std::get<double>(source), std::chars_format::general, 6);
    dest = StdValue();
    dest = std::string(buf, end);
    benchmark::DoNotOptimize(std::get<std::string>(dest).data());
  }
}
BENCHMARK(BM_DoubleToText_ToChars);

void BM_TextToInt_ChangeType(benchmark::State& state) {
  const CZRVariant source("  -1234567");
  CZRVariant dest;
  for (auto _ : state) {
    ZRVariantChangeType(&dest, &source, ZRVT_INT);
    benchmark::DoNotOptimize(dest.intVal);
  }
}
BENCHMARK(BM_TextToInt_ChangeType);

void BM_TextToInt_FromChars(benchmark::State& state) {
  const StdValue source(std::string("  -1234567"));
  StdValue dest;
  for (auto _ : state) {
    // The same work: skip the leading space, then read the number.
    const std::string& text = std::get<std::string>(source);
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end && *p == ' ') ++p;
    std::int32_t value = 0;
    std::from_chars(p, end, value);
    dest = value;
    benchmark::DoNotOptimize(std::get<std::int32_t>(dest));
  }
}
BENCHMARK(BM_TextToInt_FromChars);

}  // namespace
