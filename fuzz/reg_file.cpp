// A registry export file from fuzzer bytes, imported by zrtool's reader
// into a temporary hive (UTF-8, UTF-16LE, continuations, escapes, hex
// data, deletions). Nothing may crash, read out of bounds, hang or leak.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

// The reader is zrtool's own: its file is compiled into this target.
#include "tools/reg_cmd.cpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = [] {
    char pattern[] = "/tmp/zr-fuzz-reg-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    static std::string s_dir = dir;
    std::atexit([] { std::filesystem::remove_all(s_dir); });
    setenv("ZR_REGISTRY_USER", (dir + "/user.db").c_str(), 1);
    setenv("ZR_REGISTRY_MACHINE", (dir + "/machine.db").c_str(), 1);
    // The reader reports each bad line; the reports are not what is tested.
    g_importReports = std::fopen("/dev/null", "w");
    if (!g_importReports) std::abort();
    return dir + "/input.reg";
  }();
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  Import(path.c_str());
  return 0;
}
