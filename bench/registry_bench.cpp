// Registry parameters against SQLite in the same run: SetValue and GetValue
// of a ZRVT_INT value through IParam (CRegistryParam over a key of the
// current user's hive), against the registry store's own two statements
// run on a connection of SQLite's own to the same hive file, with the
// names already folded and the data already built.
//
// The hive is a temporary file (ZR_REGISTRY_USER); both sides write in WAL
// mode with synchronous = NORMAL, as the store does. This program links the
// static twin to reach the store's statements (pal/registry/store.h).
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "pal/registry/fold.h"
#include "pal/registry/registry.h"
#include "pal/registry/store.h"
#include "zr/regparam.h"
#include "zr/variant.h"

namespace {

constexpr int kNames = 64;
constexpr const WCHAR* kKeyPath = u"Software\\Bench";

struct Hive {
  std::string dir;
  IParam* node = nullptr;
  sqlite3* raw = nullptr;
  sqlite3_stmt* set = nullptr;
  sqlite3_stmt* get = nullptr;
  std::int64_t keyId = 0;
  std::vector<std::string> names;
  std::vector<std::u16string> wideNames;
  std::vector<std::string> folds;
  std::vector<BYTE> payload;  // ZRVT_INT 7 as the back-end writes it

  Hive() {
    char pattern[] = "/tmp/zr-regbench-XXXXXX";
    dir = mkdtemp(pattern);
    setenv("ZR_REGISTRY_USER", (dir + "/user.db").c_str(), 1);
    zrpal::registry::CloseHives();
    HKEY key = nullptr;
    zrpal::RegCreateKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, 0, zrpal::KEY_ALL_ACCESS,
                           nullptr, &key, nullptr);
    zrpal::RegCloseKey(key);
    node = new_IParamCUReg(kKeyPath);
    const std::u16string_view path[] = {u"Software", u"Bench"};
    zrpal::registry::OpenKey(zrpal::registry::HiveOf(zrpal::registry::HiveKind::CurrentUser),
                             zrpal::registry::kRootKey, path, &keyId);
    for (int i = 0; i < kNames; ++i) {
      names.push_back("value" + std::to_string(i));
      wideNames.emplace_back(names.back().begin(), names.back().end());
      folds.emplace_back();
      zrpal::registry::FoldKey(wideNames.back(), &folds.back());
    }
    payload = {5, 0, 0, 0, 7, 0, 0, 0};
    sqlite3_open_v2((dir + "/user.db").c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_exec(raw, "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr);
    sqlite3_busy_timeout(raw, 10000);
    sqlite3_prepare_v3(raw, zrpal::registry::SetValueSql(), -1, SQLITE_PREPARE_PERSISTENT, &set,
                       nullptr);
    sqlite3_prepare_v3(raw, zrpal::registry::QueryValueSql(), -1, SQLITE_PREPARE_PERSISTENT, &get,
                       nullptr);
    // Every name exists before any run, so both sides replace and read.
    const CZRVariant seven(7);
    for (const std::string& name : names) node->SetValue(name.c_str(), &seven);
  }
  ~Hive() {
    sqlite3_finalize(set);
    sqlite3_finalize(get);
    sqlite3_close(raw);
    node->Release();
    zrpal::registry::CloseHives();
    std::filesystem::remove_all(dir);
  }
};

Hive& TheHive() {
  static Hive hive;
  return hive;
}

void BM_SetValue_IParam(benchmark::State& state) {
  Hive& h = TheHive();
  const CZRVariant seven(7);
  int i = 0;
  for (auto _ : state) h.node->SetValue(h.names[i++ % kNames].c_str(), &seven);
}
BENCHMARK(BM_SetValue_IParam);

void BM_SetValue_RawSqlite(benchmark::State& state) {
  Hive& h = TheHive();
  int i = 0;
  for (auto _ : state) {
    const int n = i++ % kNames;
    sqlite3_bind_int64(h.set, 1, h.keyId);
    sqlite3_bind_blob(h.set, 2, h.wideNames[n].data(), static_cast<int>(h.wideNames[n].size() * 2),
                      SQLITE_STATIC);
    sqlite3_bind_blob(h.set, 3, h.folds[n].data(), static_cast<int>(h.folds[n].size()),
                      SQLITE_STATIC);
    sqlite3_bind_int64(h.set, 4, zrpal::REG_BINARY);
    sqlite3_bind_blob(h.set, 5, h.payload.data(), static_cast<int>(h.payload.size()),
                      SQLITE_STATIC);
    if (sqlite3_step(h.set) != SQLITE_DONE) state.SkipWithError("step failed");
    sqlite3_reset(h.set);
  }
}
BENCHMARK(BM_SetValue_RawSqlite);

void BM_GetValue_IParam(benchmark::State& state) {
  Hive& h = TheHive();
  CZRVariant value;
  int i = 0;
  for (auto _ : state) {
    if (!h.node->GetValue(h.names[i++ % kNames].c_str(), &value)) state.SkipWithError("not found");
    benchmark::DoNotOptimize(value.intVal);
  }
}
BENCHMARK(BM_GetValue_IParam);

void BM_GetValue_RawSqlite(benchmark::State& state) {
  Hive& h = TheHive();
  std::vector<BYTE> data;
  int i = 0;
  for (auto _ : state) {
    const int n = i++ % kNames;
    sqlite3_bind_int64(h.get, 1, h.keyId);
    sqlite3_bind_blob(h.get, 3, h.folds[n].data(), static_cast<int>(h.folds[n].size()),
                      SQLITE_STATIC);
    if (sqlite3_step(h.get) != SQLITE_ROW) state.SkipWithError("not found");
    const auto* p = static_cast<const BYTE*>(sqlite3_column_blob(h.get, 1));
    data.assign(p, p + sqlite3_column_bytes(h.get, 1));
    benchmark::DoNotOptimize(sqlite3_column_int(h.get, 0));
    benchmark::DoNotOptimize(data.data());
    sqlite3_reset(h.get);
  }
}
BENCHMARK(BM_GetValue_RawSqlite);

}  // namespace
