// Translation dictionary lookups against GNU gettext in the same run, over
// the same 20 000 pairs:
//  - 1 000 000 lookups cycling through every source: the wide lookup (what
//    the resource functions do), the 8-bit lookup (converted to wide text in
//    the dictionary's code page first), and dgettext after bindtextdomain
//    on a .mo file that msgfmt compiles from the same pairs at start-up;
//  - loading: reading the 20 000-entry dictionary into a fresh table,
//    against gettext's first lookup in a domain not loaded yet (it maps and
//    checks the .mo file).
// The bench links the static twin, to load fresh tables of its own.
#include <benchmark/benchmark.h>
#include <libintl.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "translation/lookup.h"
#include "translation/table.h"

namespace {

constexpr int kPairs = 20000;
constexpr int kLookups = 1000000;
constexpr int kLoads = 200;     // first lookups per run
constexpr int kDomains = 2000;  // distinct gettext domains: ten runs of kLoads

struct Pairs {
  std::filesystem::path dir;
  std::string wld;
  std::vector<std::string> sources;
  std::vector<std::u16string> wideSources;
  std::vector<std::string> translations;
  bool ready = false;

  Pairs() {
    dir = std::filesystem::temp_directory_path() / ("zr-dict-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "de" / "LC_MESSAGES");
    std::string dict = "\"ZR_WLD_LANG_ID\"\n\"1031\"\n";
    std::string po = "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";
    for (int i = 0; i < kPairs; ++i) {
      sources.push_back("Source text " + std::to_string(i) + " of a dialog");
      wideSources.emplace_back(sources.back().begin(), sources.back().end());
      translations.push_back("Quelltext " + std::to_string(i) + " eines Dialogs");
      dict += "\"" + sources.back() + "\"\n\"" + translations.back() + "\"\n";
      po += "msgid \"" + sources.back() + "\"\nmsgstr \"" + translations.back() + "\"\n\n";
    }
    wld = (dir / "bench.wld").string();
    std::ofstream(wld, std::ios::binary) << dict;
    std::ofstream(dir / "bench.po", std::ios::binary) << po;
    const std::filesystem::path mo = dir / "de" / "LC_MESSAGES" / "zrbench.mo";
    const std::string cmd = "msgfmt -o '" + mo.string() + "' '" + (dir / "bench.po").string() + "'";
    if (std::system(cmd.c_str()) != 0) return;
    for (int i = 0; i < kLoads; ++i)
      std::filesystem::copy_file(
          mo, dir / "de" / "LC_MESSAGES" / ("zrload" + std::to_string(i) + ".mo"));
    // gettext translates only outside the C locale.
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) return;
    bindtextdomain("zrbench", dir.c_str());
    ready = std::string(dgettext("zrbench", sources[7].c_str())) == translations[7];
  }
  ~Pairs() {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
};

const Pairs& ThePairs() {
  static const Pairs pairs;
  return pairs;
}

zr::CTranslationTable& TheTable() {
  static zr::CTranslationTable table;
  static const bool loaded = [] {
    const std::u16string path(ThePairs().wld.begin(), ThePairs().wld.end());
    return table.Load(path.c_str()) == 1;
  }();
  (void)loaded;
  return table;
}

void BM_ZrLookupW(benchmark::State& state) {
  const Pairs& p = ThePairs();
  zr::CTranslationTable& table = TheTable();
  if (table.GetEntryCount() < kPairs) return state.SkipWithError("dictionary not loaded");
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(zr::LookupW(&table, p.wideSources[i].c_str(), false));
    if (++i == p.wideSources.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ZrLookupW)->Iterations(kLookups);

void BM_ZrLookupA(benchmark::State& state) {
  const Pairs& p = ThePairs();
  zr::CTranslationTable& table = TheTable();
  if (table.GetEntryCount() < kPairs) return state.SkipWithError("dictionary not loaded");
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(zr::LookupA(&table, p.sources[i].c_str(), false));
    if (++i == p.sources.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ZrLookupA)->Iterations(kLookups);

void BM_GettextLookup(benchmark::State& state) {
  const Pairs& p = ThePairs();
  if (!p.ready) return state.SkipWithError("gettext catalog not ready (msgfmt, de_DE.UTF-8)");
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(dgettext("zrbench", p.sources[i].c_str()));
    if (++i == p.sources.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GettextLookup)->Iterations(kLookups);

void BM_ZrLoad(benchmark::State& state) {
  const Pairs& p = ThePairs();
  const std::u16string path(p.wld.begin(), p.wld.end());
  for (auto _ : state) {
    zr::CTranslationTable table;
    if (table.Load(path.c_str()) != 1) return state.SkipWithError("load failed");
    benchmark::DoNotOptimize(table.GetEntryCount());
  }
}
BENCHMARK(BM_ZrLoad)->Iterations(20)->Unit(benchmark::kMillisecond);

void BM_GettextFirstLookup(benchmark::State& state) {
  const Pairs& p = ThePairs();
  if (!p.ready) return state.SkipWithError("gettext catalog not ready (msgfmt, de_DE.UTF-8)");
  static int domain = 0;  // never reused across repetitions
  for (auto _ : state) {
    if (domain == kDomains) return state.SkipWithError("out of fresh domains");
    const std::string name = "zrload" + std::to_string(domain);
    bindtextdomain(name.c_str(), p.dir.c_str());
    benchmark::DoNotOptimize(dgettext(name.c_str(), p.sources[domain].c_str()));
    ++domain;
  }
}
BENCHMARK(BM_GettextFirstLookup)->Iterations(kLoads)->Unit(benchmark::kMillisecond);

}  // namespace
