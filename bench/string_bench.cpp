// CXString against std::string: copying a 1 KiB string (a count increment
// against an allocation and a copy) and searching a text in it.
#include <benchmark/benchmark.h>

#include <string>

#include "zr/xstring.h"

namespace {

constexpr std::size_t kSize = 1024;

std::string Haystack() {
  std::string text;
  while (text.size() < kSize - 8) text += "lorem ipsum dolor sit amet ";
  text.resize(kSize - 8);
  return text + "needle!";
}

void BM_CopyCXString(benchmark::State& state) {
  const CXString source(std::string(kSize, 'x').c_str());
  for (auto _ : state) {
    CXString copy(source);
    benchmark::DoNotOptimize(static_cast<const char*>(copy));
  }
}
BENCHMARK(BM_CopyCXString);

void BM_CopyStdString(benchmark::State& state) {
  const std::string source(kSize, 'x');
  for (auto _ : state) {
    std::string copy(source);
    benchmark::DoNotOptimize(copy.data());
  }
}
BENCHMARK(BM_CopyStdString);

void BM_FindCXString(benchmark::State& state) {
  const CXString hay(Haystack().c_str());
  for (auto _ : state) benchmark::DoNotOptimize(hay.Find("needle"));
}
BENCHMARK(BM_FindCXString);

void BM_FindStdString(benchmark::State& state) {
  const std::string hay = Haystack();
  for (auto _ : state) benchmark::DoNotOptimize(hay.find("needle"));
}
BENCHMARK(BM_FindStdString);

// The same with the text known only at run time, as CXString::Find always
// has it: the peer then measures the text with strlen too.
void BM_FindStdStringRunTimeText(benchmark::State& state) {
  const std::string hay = Haystack();
  const char* text = "needle";
  for (auto _ : state) {
    benchmark::DoNotOptimize(text);
    benchmark::DoNotOptimize(hay.find(text));
  }
}
BENCHMARK(BM_FindStdStringRunTimeText);

void BM_FindCXStringW(benchmark::State& state) {
  const std::string narrow = Haystack();
  const CXStringW hay(std::u16string(narrow.begin(), narrow.end()).c_str());
  for (auto _ : state) benchmark::DoNotOptimize(hay.Find(u"needle"));
}
BENCHMARK(BM_FindCXStringW);

void BM_FindStdU16String(benchmark::State& state) {
  const std::string narrow = Haystack();
  const std::u16string hay(narrow.begin(), narrow.end());
  for (auto _ : state) benchmark::DoNotOptimize(hay.find(u"needle"));
}
BENCHMARK(BM_FindStdU16String);

}  // namespace
