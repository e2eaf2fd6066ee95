// Compound files against independent peers in the same run.
//
// Throughput: 256 MiB in 64 streams of 4 MiB, spread over nested storages
// (4 storages of 4 storages of 4 streams), written in 64 KiB pieces, then
// read back whole, for version 3 (512-byte sectors) and version 4 (4096):
//   - write: the engine (direct and transacted; the time includes the
//     commit and its flushes) against libgsf's MSOLE writer on a stdio file
//     followed by fdatasync, and against a dd-like loop (1 MiB write()s of
//     the same bytes into a plain file, then fdatasync, as
//     `dd bs=1M conv=fdatasync` does) in the same directory;
//   - read: the engine and libgsf read the same file (written by the
//     engine), warm (in the page cache) and cold (dropped from the cache
//     with posix_fadvise DONTNEED before the run).
// Listing: open + walk of every element of a 10,000-element file (100
// storages of 99 small streams) against python3-olefile, whose own run
// (OleFileIO + listdir, timed inside python, so without the interpreter's
// start-up) is started from here and reported as its median.
//
// Files go to $ZR_BENCH_DIR (default: the temporary directory). The
// throughput benchmarks run once per repetition; the README's figures come
// from --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
// (medians).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/cfb_bench_peers.h"
#include "pal/ole/storage.h"

using namespace zrpal;

using namespace cfb_bench;

namespace {

constexpr int kListStorages = 100;
constexpr int kListStreamsEach = 99;
constexpr DWORD kRw = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kRead = STGM_READ | STGM_SHARE_EXCLUSIVE;

std::string Dir() {
  const char* d = std::getenv("ZR_BENCH_DIR");
  return d && *d ? d : std::filesystem::temp_directory_path().string();
}
std::string PathOf(const char* name) { return Dir() + "/" + name; }
std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// ---- the engine ----

HRESULT CreateEngineFile(const std::string& path, unsigned version, bool transacted,
                         IStorage** root) {
  STGOPTIONS options{1, 0, version == 4 ? 4096u : 512u, nullptr};
  const DWORD mode = STGM_CREATE | kRw | (transacted ? STGM_TRANSACTED : 0);
  return StgCreateStorageEx(Wide(path).c_str(), mode, STGFMT_DOCFILE, 0, &options, nullptr,
                            IID_IStorage, reinterpret_cast<void**>(root));
}

bool EngineWrite(const std::string& path, unsigned version, bool transacted) {
  IStorage* root = nullptr;
  if (FAILED(CreateEngineFile(path, version, transacted, &root))) return false;
  const std::vector<char>& data = Pattern();
  bool ok = true;
  for (int a = 0; a < kFanOut && ok; ++a) {
    IStorage* da = nullptr;
    ok = SUCCEEDED(root->CreateStorage(Wide(Name('d', a)).c_str(), kRw, 0, 0, &da));
    for (int b = 0; b < kFanOut && ok; ++b) {
      IStorage* db = nullptr;
      ok = SUCCEEDED(da->CreateStorage(Wide(Name('e', b)).c_str(), kRw, 0, 0, &db));
      for (int c = 0; c < kFanOut && ok; ++c) {
        IStream* s = nullptr;
        ok = SUCCEEDED(db->CreateStream(Wide(Name('s', c)).c_str(), kRw, 0, 0, &s));
        for (std::size_t at = 0; at < kStreamBytes && ok; at += kPiece)
          ok = SUCCEEDED(s->Write(data.data() + at % kDdBlock, kPiece, nullptr));
        if (s) s->Release();
      }
      if (db) db->Release();
    }
    if (da) da->Release();
  }
  ok = ok && SUCCEEDED(root->Commit(STGC_DEFAULT));
  root->Release();
  return ok;
}

// Reads every stream below `stg`; answers the bytes read.
std::size_t EngineReadAll(IStorage* stg, std::vector<char>& buf) {
  std::size_t total = 0;
  IEnumSTATSTG* e = nullptr;
  if (FAILED(stg->EnumElements(0, nullptr, 0, &e))) return 0;
  STATSTG st;
  while (e->Next(1, &st, nullptr) == S_OK) {
    if (st.type == STGTY_STORAGE) {
      IStorage* child = nullptr;
      if (SUCCEEDED(stg->OpenStorage(st.pwcsName, nullptr, kRead, nullptr, 0, &child))) {
        total += EngineReadAll(child, buf);
        child->Release();
      }
    } else {
      IStream* s = nullptr;
      if (SUCCEEDED(stg->OpenStream(st.pwcsName, nullptr, kRead, 0, &s))) {
        ULONG got = 0;
        while (SUCCEEDED(s->Read(buf.data(), static_cast<ULONG>(buf.size()), &got)) && got)
          total += got;
        s->Release();
      }
    }
    CoTaskMemFree(st.pwcsName);
  }
  e->Release();
  return total;
}

std::size_t EngineRead(const std::string& path) {
  IStorage* root = nullptr;
  if (FAILED(StgOpenStorage(Wide(path).c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr,
                            0, &root)))
    return 0;
  std::vector<char> buf(kPiece);
  const std::size_t total = EngineReadAll(root, buf);
  root->Release();
  return total;
}

// Counts the elements below `stg` (the listing a caller makes: names,
// kinds and sizes of everything).
std::size_t EngineList(IStorage* stg) {
  std::size_t count = 0;
  IEnumSTATSTG* e = nullptr;
  if (FAILED(stg->EnumElements(0, nullptr, 0, &e))) return 0;
  STATSTG st;
  while (e->Next(1, &st, nullptr) == S_OK) {
    ++count;
    if (st.type == STGTY_STORAGE) {
      IStorage* child = nullptr;
      if (SUCCEEDED(stg->OpenStorage(st.pwcsName, nullptr, kRead, nullptr, 0, &child))) {
        count += EngineList(child);
        child->Release();
      }
    }
    CoTaskMemFree(st.pwcsName);
  }
  e->Release();
  return count;
}

// ---- benchmarks ----

void Finish(benchmark::State& state, bool ok, const char* what) {
  if (!ok) state.SkipWithError(what);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kTotalBytes));
}

// Times `write` (which makes the file at `path`) after an untimed run of
// it whose file is removed, so that every writer starts from the same page
// cache: pages just freed by a file of the same size. (On this virtual
// machine, pages the guest has not touched for a while are slower to fill
// the first time, which otherwise favours whichever writer runs second.)
template <class WriteFn>
void WriteBench(benchmark::State& state, const std::string& path, WriteFn write) {
  bool ok = true;
  for (auto _ : state) {
    state.PauseTiming();
    std::remove(path.c_str());
    ok = write() && ok;
    std::remove(path.c_str());
    state.ResumeTiming();
    ok = write() && ok;
  }
  std::remove(path.c_str());
  Finish(state, ok, "write failed");
}

void BM_Write_Engine(benchmark::State& state) {
  const unsigned version = static_cast<unsigned>(state.range(0));
  const bool transacted = state.range(1) != 0;
  const std::string path = PathOf("zr_bench_write.cfb");
  WriteBench(state, path, [&] { return EngineWrite(path, version, transacted); });
}
BENCHMARK(BM_Write_Engine)
    ->ArgNames({"v", "transacted"})
    ->Args({3, 0})
    ->Args({3, 1})
    ->Args({4, 0})
    ->Args({4, 1})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_Write_Gsf(benchmark::State& state) {
  const unsigned version = static_cast<unsigned>(state.range(0));
  const std::string path = PathOf("zr_bench_write_gsf.cfb");
  WriteBench(state, path, [&] { return GsfWrite(path, version); });
}
BENCHMARK(BM_Write_Gsf)
    ->ArgName("v")
    ->Arg(3)
    ->Arg(4)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_Write_Dd(benchmark::State& state) {
  const std::string path = PathOf("zr_bench_write.dd");
  WriteBench(state, path, [&] { return DdWrite(path); });
}
BENCHMARK(BM_Write_Dd)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// The file both readers read, written once per version by the engine.
const std::string& ReadFile(unsigned version) {
  static std::string paths[5];
  std::string& p = paths[version];
  if (p.empty()) {
    p = PathOf(version == 4 ? "zr_bench_read4.cfb" : "zr_bench_read3.cfb");
    if (!EngineWrite(p, version, false)) p.clear();
  }
  return p;
}

template <class ReadFn>
void ReadBench(benchmark::State& state, ReadFn readAll) {
  const unsigned version = static_cast<unsigned>(state.range(0));
  const bool cold = state.range(1) != 0;
  const std::string& path = ReadFile(version);
  bool ok = !path.empty();
  for (auto _ : state) {
    state.PauseTiming();
    if (cold)
      DropFromCache(path);
    else
      WarmUp(path);
    state.ResumeTiming();
    ok = readAll(path) == kTotalBytes && ok;
  }
  Finish(state, ok, "read failed or short");
}

void BM_Read_Engine(benchmark::State& state) { ReadBench(state, EngineRead); }
BENCHMARK(BM_Read_Engine)
    ->ArgNames({"v", "cold"})
    ->Args({3, 0})
    ->Args({3, 1})
    ->Args({4, 0})
    ->Args({4, 1})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_Read_Gsf(benchmark::State& state) { ReadBench(state, GsfRead); }
BENCHMARK(BM_Read_Gsf)
    ->ArgNames({"v", "cold"})
    ->Args({3, 0})
    ->Args({3, 1})
    ->Args({4, 0})
    ->Args({4, 1})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The 10,000-element file, written once per version.
const std::string& ListFile(unsigned version) {
  static std::string paths[5];
  std::string& p = paths[version];
  if (!p.empty()) return p;
  const std::string path = PathOf(version == 4 ? "zr_bench_list4.cfb" : "zr_bench_list3.cfb");
  IStorage* root = nullptr;
  if (FAILED(CreateEngineFile(path, version, false, &root))) return p;
  const std::string text(100, 'x');
  for (int a = 0; a < kListStorages; ++a) {
    IStorage* g = nullptr;
    if (FAILED(root->CreateStorage(Wide(Name('g', a)).c_str(), kRw, 0, 0, &g))) break;
    for (int b = 0; b < kListStreamsEach; ++b) {
      IStream* s = nullptr;
      if (FAILED(g->CreateStream(Wide(Name('s', b)).c_str(), kRw, 0, 0, &s))) break;
      s->Write(text.data(), static_cast<ULONG>(text.size() - b % 50), nullptr);
      s->Release();
    }
    g->Release();
  }
  if (SUCCEEDED(root->Commit(STGC_DEFAULT))) p = path;
  root->Release();
  return p;
}

void BM_List10k_Engine(benchmark::State& state) {
  const std::string& path = ListFile(static_cast<unsigned>(state.range(0)));
  const std::u16string wide = Wide(path);
  bool ok = !path.empty();
  for (auto _ : state) {
    IStorage* root = nullptr;
    ok = SUCCEEDED(StgOpenStorage(wide.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr,
                                  0, &root)) &&
         ok;
    if (!root) break;
    ok = EngineList(root) == kListStorages * (kListStreamsEach + 1) && ok;
    root->Release();
  }
  if (!ok) state.SkipWithError("listing failed");
  state.SetItemsProcessed(state.iterations() * kListStorages * (kListStreamsEach + 1));
}
BENCHMARK(BM_List10k_Engine)
    ->ArgName("v")
    ->Arg(3)
    ->Arg(4)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// python3-olefile opens and lists the same file `runs` times and prints the
// median of its own timings (seconds) and the number of elements listed.
constexpr const char* kOlefileScript =
    "import sys, time, olefile\n"
    "p, n = sys.argv[1], int(sys.argv[2])\n"
    "ts = []\n"
    "for _ in range(n):\n"
    "    t = time.perf_counter()\n"
    "    o = olefile.OleFileIO(p)\n"
    "    names = o.listdir(streams=True, storages=True)\n"
    "    o.close()\n"
    "    ts.append(time.perf_counter() - t)\n"
    "ts.sort()\n"
    "print(ts[len(ts) // 2], len(names))\n";

void BM_List10k_Olefile(benchmark::State& state) {
  const std::string& path = ListFile(static_cast<unsigned>(state.range(0)));
  bool ok = !path.empty();
  for (auto _ : state) {
    const std::string command =
        "/usr/bin/python3 -c '" + std::string(kOlefileScript) + "' '" + path + "' 5";
    FILE* p = popen(command.c_str(), "r");
    double seconds = 0;
    long listed = 0;
    ok = p && std::fscanf(p, "%lf %ld", &seconds, &listed) == 2 && ok;
    if (p) ok = pclose(p) == 0 && ok;
    // olefile lists streams and storages (not the root): every element.
    ok = listed == kListStorages * (kListStreamsEach + 1) && ok;
    state.SetIterationTime(seconds);
  }
  if (!ok) state.SkipWithError("olefile run failed");
  state.SetItemsProcessed(state.iterations() * kListStorages * (kListStreamsEach + 1));
}
BENCHMARK(BM_List10k_Olefile)
    ->ArgName("v")
    ->Arg(3)
    ->Arg(4)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
