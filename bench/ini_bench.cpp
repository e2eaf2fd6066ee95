// The INI-file back-end against its peers in the same run, on a file of
// 10 000 keys in the root section ("[\]", kN=iN):
//  - GetValue of 10 000 different keys in turn, against reading and parsing
//    the file on every call (what the profile functions do on Windows) and
//    against GLib's GKeyFile looking the same keys up in its parsed file;
//  - stat(2) of the file alone: the check each call made before change
//    notices, and still makes on paths that cannot be watched;
//  - FIONREAD on an inotify instance watching the file: the check a call
//    makes on a watched path, the floor under GetValue there;
//  - writing one key into that file (read, edit, write, fsync, rename),
//    against GKeyFile setting it and saving the file (g_file_set_contents
//    also writes a new file, fsyncs and renames).
#include <benchmark/benchmark.h>
#include <glib.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "zr/iniparam.h"
#include "zr/variant.h"

namespace {

constexpr int kKeys = 10000;

struct IniFile {
  std::string path;
  std::vector<std::string> keys;

  IniFile() {
    path = (std::filesystem::temp_directory_path() / "zr-ini-bench.ini").string();
    std::string text = "[\\]\r\n@=e\r\n";
    for (int i = 0; i < kKeys; ++i) {
      keys.push_back("k" + std::to_string(i));
      text += keys.back() + "=i" + std::to_string(i) + "\r\n";
    }
    std::ofstream(path, std::ios::binary) << text;
  }
  ~IniFile() {
    std::filesystem::remove(path);
    std::filesystem::remove(path + ".lock");  // the profile functions' companion
  }
};

const IniFile& TheFile() {
  static const IniFile file;
  return file;
}

IParam* OpenTree(const std::string& path) {
  const std::u16string wide(path.begin(), path.end());
  return new_IParamIniFile(wide.c_str());
}

void BM_IniGetValue(benchmark::State& state) {
  const IniFile& f = TheFile();
  IParam* root = OpenTree(f.path);
  std::size_t i = 0;
  for (auto _ : state) {
    CZRVariant v;
    benchmark::DoNotOptimize(root->GetValue(f.keys[i].c_str(), &v));
    if (++i == f.keys.size()) i = 0;
  }
  root->Release();
}
BENCHMARK(BM_IniGetValue);

// The peer that parses on every call: the whole file read, split into
// (section, key, value) entries, the entry searched without regard to case.
bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (g_ascii_tolower(a[i]) != g_ascii_tolower(b[i])) return false;
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && g_ascii_isspace(s.front())) s.remove_prefix(1);
  while (!s.empty() && g_ascii_isspace(s.back())) s.remove_suffix(1);
  return s;
}

std::string ReparseLookup(const std::string& path, std::string_view section, std::string_view key) {
  std::string text;
  if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
    char chunk[65536];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, n);
    std::fclose(file);
  }
  struct Entry {
    std::string_view section, key, value;
  };
  std::vector<Entry> entries;
  std::string_view current, rest(text);
  while (!rest.empty()) {
    const std::size_t nl = rest.find('\n');
    const std::string_view line = Trim(rest.substr(0, nl));
    rest.remove_prefix(nl == std::string_view::npos ? rest.size() : nl + 1);
    if (line.empty() || line[0] == ';') continue;
    const std::size_t close = line.rfind(']');
    if (line[0] == '[' && close != std::string_view::npos) {
      current = Trim(line.substr(1, close - 1));
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq != std::string_view::npos)
      entries.push_back({current, Trim(line.substr(0, eq)), Trim(line.substr(eq + 1))});
  }
  for (const Entry& e : entries)
    if (SameNoCase(e.section, section) && SameNoCase(e.key, key)) return std::string(e.value);
  return std::string();
}

void BM_ReparsePerCall(benchmark::State& state) {
  const IniFile& f = TheFile();
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ReparseLookup(f.path, "\\", f.keys[i]));
    if (++i == f.keys.size()) i = 0;
  }
}
BENCHMARK(BM_ReparsePerCall);

void BM_GKeyFileGetString(benchmark::State& state) {
  const IniFile& f = TheFile();
  GKeyFile* file = g_key_file_new();
  if (!g_key_file_load_from_file(file, f.path.c_str(), G_KEY_FILE_NONE, nullptr)) {
    state.SkipWithError("GKeyFile cannot load the file");
    g_key_file_free(file);
    return;
  }
  std::size_t i = 0;
  for (auto _ : state) {
    gchar* value = g_key_file_get_string(file, "\\", f.keys[i].c_str(), nullptr);
    benchmark::DoNotOptimize(value);
    g_free(value);
    if (++i == f.keys.size()) i = 0;
  }
  g_key_file_free(file);
}
BENCHMARK(BM_GKeyFileGetString);

void BM_StatOfTheFile(benchmark::State& state) {
  const IniFile& f = TheFile();
  struct stat st;
  for (auto _ : state) benchmark::DoNotOptimize(stat(f.path.c_str(), &st));
}
BENCHMARK(BM_StatOfTheFile);

void BM_NoticeQueueCheck(benchmark::State& state) {
  const IniFile& f = TheFile();
  const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0 || inotify_add_watch(fd, f.path.c_str(), IN_MODIFY | IN_ATTRIB) < 0) {
    state.SkipWithError("no inotify");
    if (fd >= 0) close(fd);
    return;
  }
  int queued = 0;
  for (auto _ : state) benchmark::DoNotOptimize(ioctl(fd, FIONREAD, &queued));
  close(fd);
}
BENCHMARK(BM_NoticeQueueCheck);

void BM_IniSetValue(benchmark::State& state) {
  const IniFile& f = TheFile();
  IParam* root = OpenTree(f.path);
  int n = 0;
  for (auto _ : state) {
    const CZRVariant v(++n);  // a new text each time: every call writes
    root->SetValue("k5000", &v);
  }
  root->Release();
}
BENCHMARK(BM_IniSetValue)->Unit(benchmark::kMillisecond);

void BM_GKeyFileSetAndSave(benchmark::State& state) {
  const IniFile& f = TheFile();
  GKeyFile* file = g_key_file_new();
  g_key_file_load_from_file(file, f.path.c_str(), G_KEY_FILE_KEEP_COMMENTS, nullptr);
  int n = 0;
  for (auto _ : state) {
    g_key_file_set_string(file, "\\", "k5000", ("i" + std::to_string(++n)).c_str());
    if (!g_key_file_save_to_file(file, f.path.c_str(), nullptr)) state.SkipWithError("save failed");
  }
  g_key_file_free(file);
}
BENCHMARK(BM_GKeyFileSetAndSave)->Unit(benchmark::kMillisecond);

}  // namespace
