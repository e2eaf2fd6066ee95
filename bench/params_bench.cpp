// Parameter trees against their peers in the same run:
//  - reading a parameter text of about 10 MB (50 000 values in 2 000
//    sections) into a memory tree, from memory (Param_String2Param) and
//    from a file (Param_IniFile2Param), against inih tokenising the
//    equivalent INI text (from memory, and from a file with ini_parse) and
//    against inih filling a std::unordered_map;
//  - GetValue by path in that tree, against std::unordered_map lookups of
//    the same keys (the value copied out in both);
//  - writing the tree back: the string form, the parameter stream and the
//    text file (Param_Param2IniFile, committed), against writing the INI
//    text from standard containers.
// Files live in $TMPDIR (else /tmp).
#include <benchmark/benchmark.h>
#include <ini.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "zr/param.h"
#include "zr/variant.h"

namespace {

constexpr int kSections = 2000;
constexpr int kValuesPerSection = 25;
// Lines stay below inih's 200-byte line limit.
constexpr int kValueLength = 180;

struct Corpus {
  std::string paramText;           // [\secN] headers, keyM=s... values, one item per line
  std::string iniText;             // [secN] headers, keyM=... values
  std::vector<std::string> paths;  // secN\keyM, shuffled
  std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> sections;

  Corpus() {
    std::mt19937 random(12345);
    for (int s = 0; s < kSections; ++s) {
      const std::string section = "sec" + std::to_string(s);
      paramText += "[\\" + section + "]\r\n";
      iniText += "[" + section + "]\n";
      sections.emplace_back(section, std::vector<std::pair<std::string, std::string>>());
      for (int v = 0; v < kValuesPerSection; ++v) {
        const std::string key = "key" + std::to_string(v);
        std::string value(kValueLength, 'a');
        for (char& c : value) c = static_cast<char>('a' + random() % 26);
        paramText += key + "=s" + value + "\r\n";
        iniText += key + "=" + value + "\n";
        paths.push_back(section + "\\" + key);
        sections.back().second.emplace_back(key, value);
      }
    }
    std::shuffle(paths.begin(), paths.end(), random);
  }
};

const Corpus& TheCorpus() {
  static const Corpus corpus;
  return corpus;
}

std::string TempPath(const char* name) {
  const char* t = std::getenv("TMPDIR");
  return std::string(t && *t ? t : "/tmp") + "/zr-params-bench-" + name;
}

std::u16string Wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// The corpus's parameter text and INI text as files, written once.
struct CorpusFiles {
  std::string param = TempPath("param.txt");
  std::string ini = TempPath("param.ini");
  CorpusFiles() {
    std::ofstream(param, std::ios::binary) << TheCorpus().paramText;
    std::ofstream(ini, std::ios::binary) << TheCorpus().iniText;
  }
  ~CorpusFiles() {
    std::remove(param.c_str());
    std::remove(ini.c_str());
  }
};

const CorpusFiles& TheFiles() {
  static const CorpusFiles files;
  return files;
}

IParam* ReadTree(const CXString& text) {
  IParam* tree = new_MemParam();
  CXString input(text);
  Param_String2Param(input, tree);
  return tree;
}

void BM_ReadParamText(benchmark::State& state) {
  const CXString text(TheCorpus().paramText.c_str());
  for (auto _ : state) {
    IParam* tree = ReadTree(text);
    benchmark::DoNotOptimize(tree);
    // Releasing the tree is not part of reading it.
    state.PauseTiming();
    tree->Release();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * text.GetSize());
}
BENCHMARK(BM_ReadParamText)->Unit(benchmark::kMillisecond);

void BM_ReadParamTextFile(benchmark::State& state) {
  const std::u16string path = Wide(TheFiles().param);
  for (auto _ : state) {
    IParam* tree = new_MemParam();
    Param_IniFile2Param(path.c_str(), tree);
    benchmark::DoNotOptimize(tree);
    state.PauseTiming();
    tree->Release();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          TheCorpus().paramText.size());
}
BENCHMARK(BM_ReadParamTextFile)->Unit(benchmark::kMillisecond);

int CountValue(void* user, const char*, const char*, const char*) {
  ++*static_cast<long*>(user);
  return 1;
}

void BM_InihTokenise(benchmark::State& state) {
  const std::string& text = TheCorpus().iniText;
  for (auto _ : state) {
    long count = 0;
    ini_parse_string(text.c_str(), CountValue, &count);
    benchmark::DoNotOptimize(count);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * text.size());
}
BENCHMARK(BM_InihTokenise)->Unit(benchmark::kMillisecond);

void BM_InihTokeniseFile(benchmark::State& state) {
  const std::string& path = TheFiles().ini;
  for (auto _ : state) {
    long count = 0;
    ini_parse(path.c_str(), CountValue, &count);
    benchmark::DoNotOptimize(count);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          TheCorpus().iniText.size());
}
BENCHMARK(BM_InihTokeniseFile)->Unit(benchmark::kMillisecond);

using FlatMap = std::unordered_map<std::string, std::string>;

int StoreValue(void* user, const char* section, const char* name, const char* value) {
  (*static_cast<FlatMap*>(user))[std::string(section) + "\\" + name] = value;
  return 1;
}

void BM_InihIntoUnorderedMap(benchmark::State& state) {
  const std::string& text = TheCorpus().iniText;
  for (auto _ : state) {
    auto* map = new FlatMap();
    ini_parse_string(text.c_str(), StoreValue, map);
    benchmark::DoNotOptimize(map->size());
    state.PauseTiming();
    delete map;
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * text.size());
}
BENCHMARK(BM_InihIntoUnorderedMap)->Unit(benchmark::kMillisecond);

void BM_GetValueByPath(benchmark::State& state) {
  const Corpus& c = TheCorpus();
  IParam* tree = ReadTree(CXString(c.paramText.c_str()));
  std::size_t i = 0;
  CZRVariant value;
  for (auto _ : state) {
    tree->GetValue(c.paths[i].c_str(), &value);
    benchmark::DoNotOptimize(value.pszVal);
    if (++i == c.paths.size()) i = 0;
  }
  tree->Release();
}
BENCHMARK(BM_GetValueByPath);

void BM_UnorderedMapFind(benchmark::State& state) {
  const Corpus& c = TheCorpus();
  FlatMap map;
  ini_parse_string(c.iniText.c_str(), StoreValue, &map);
  std::size_t i = 0;
  std::string value;
  for (auto _ : state) {
    const auto it = map.find(c.paths[i]);
    if (it != map.end()) value = it->second;
    benchmark::DoNotOptimize(value.data());
    if (++i == c.paths.size()) i = 0;
  }
}
BENCHMARK(BM_UnorderedMapFind);

void BM_WriteStringForm(benchmark::State& state) {
  IParam* tree = ReadTree(CXString(TheCorpus().paramText.c_str()));
  for (auto _ : state) {
    CXString out;
    Param_Param2String(tree, out);
    benchmark::DoNotOptimize(out.GetSize());
  }
  tree->Release();
}
BENCHMARK(BM_WriteStringForm)->Unit(benchmark::kMillisecond);

void BM_WriteParamStream(benchmark::State& state) {
  IParam* tree = ReadTree(CXString(TheCorpus().paramText.c_str()));
  for (auto _ : state) {
    IXStream* stream = new_StreamOnMemory();
    SaveParamToXStream(stream, tree);
    benchmark::DoNotOptimize(stream->GetSize());
    stream->Release();
  }
  tree->Release();
}
BENCHMARK(BM_WriteParamStream)->Unit(benchmark::kMillisecond);

void BM_WriteParamTextFile(benchmark::State& state) {
  IParam* tree = ReadTree(CXString(TheCorpus().paramText.c_str()));
  const std::string path = TempPath("written.txt");
  for (auto _ : state) Param_Param2IniFile(tree, Wide(path).c_str());
  std::remove(path.c_str());
  tree->Release();
}
BENCHMARK(BM_WriteParamTextFile)->Unit(benchmark::kMillisecond);

void BM_WriteIniFromContainers(benchmark::State& state) {
  const Corpus& c = TheCorpus();
  for (auto _ : state) {
    std::string out;
    for (const auto& [section, values] : c.sections) {
      out += "[" + section + "]\n";
      for (const auto& [key, value] : values) {
        out += key;
        out += '=';
        out += value;
        out += '\n';
      }
    }
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_WriteIniFromContainers)->Unit(benchmark::kMillisecond);

}  // namespace
