// The profile functions on fuzzer bytes used as an INI file: the section
// and key lists are read whole and into small buffers, every listed value is
// read, then a key is set, read back, deleted, and a section deleted. Besides
// the sanitizers' findings, a list that does not end in two zeros, a cut that
// is not the one Windows makes, a written value that does not read back, or
// a write that disturbs the other sections stops the run.
//
// The files live in one folder per process (on tmpfs when there is one);
// fsync is switched off through the OS seam, since it only costs time here.
#include "pal/profile/profile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/check.h"
#include "pal/posix/syscalls.h"

namespace {

using zrpal::DWORD;

constexpr DWORD kBig = 64000;
constexpr int kMaxNames = 8;

char g_dir[64];  // the process's folder, removed at exit

const std::string& FilePath() {
  static const std::string path = [] {
    std::strcpy(g_dir, "/dev/shm/zr-fuzz-profile-XXXXXX");
    if (!mkdtemp(g_dir)) {  // no tmpfs
      std::strcpy(g_dir, "/tmp/zr-fuzz-profile-XXXXXX");
      Check(mkdtemp(g_dir) != nullptr);
    }
    std::atexit([] { std::filesystem::remove_all(g_dir); });
    zrpal::sys::g.fsync = [](int) { return 0; };
    return std::string(g_dir) + "/f.ini";
  }();
  return path;
}

// The names of a zero-delimited list.
std::vector<std::string> Split(const char* list, DWORD length) {
  std::vector<std::string> names;
  for (DWORD at = 0; at < length; at += static_cast<DWORD>(std::strlen(list + at)) + 1)
    names.emplace_back(list + at);
  return names;
}

// A list read whole and into a buffer of `small` characters: both end in
// two zeros, the small one is the whole list's first small - 2 characters.
std::vector<std::string> ReadList(const char* section, DWORD small, const char* file) {
  std::vector<char> whole(kBig, '#');
  const DWORD n = zrpal::GetPrivateProfileStringA(section, nullptr, "", whole.data(), kBig, file);
  Check(n + 2 <= kBig && whole[n] == 0 && (n == 0 || whole[n - 1] == 0));
  std::vector<char> part(small, '#');
  const DWORD m = zrpal::GetPrivateProfileStringA(section, nullptr, "", part.data(), small, file);
  if (n + 2 <= small) {
    Check(m == n && std::memcmp(part.data(), whole.data(), n) == 0);
  } else if (small >= 2 && n > 0) {
    Check(m == small - 2 && part[m] == 0 && part[m + 1] == 0);
    Check(std::memcmp(part.data(), whole.data(), m) == 0);
  }
  return Split(whole.data(), n);
}

std::string ReadValue(const char* section, const char* key, const char* file) {
  std::vector<char> value(kBig);
  const DWORD n = zrpal::GetPrivateProfileStringA(section, key, "", value.data(), kBig, file);
  return std::string(value.data(), n);  // zero bytes of the file included
}

bool IsFz(const std::string& key) {
  return key.size() == 2 && (key[0] | 0x20) == 'f' && (key[1] | 0x20) == 'z';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& path = FilePath();
  const char* file = path.c_str();
  const int fd = open(file, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  Check(fd >= 0);
  Check(write(fd, data, size) == static_cast<ssize_t>(size));
  close(fd);
  const DWORD small = size ? data[0] % 24 : 1;
  // Zero bytes cut names in the lists: the checks on whole lists need none.
  const bool exact = std::memchr(data, 0, size) == nullptr;
  bool fzExisted = false;
  const std::vector<std::string> sections = ReadList(nullptr, small + 1, file);
  for (std::size_t s = 0; s < sections.size() && s < kMaxNames; ++s) {
    const char* section = sections[s].c_str();
    const std::vector<std::string> keys = ReadList(section, small + 1, file);
    if (s == 0) fzExisted = std::any_of(keys.begin(), keys.end(), IsFz);
    for (std::size_t k = 0; k < keys.size() && k < kMaxNames; ++k) {
      const std::string value = ReadValue(section, keys[k].c_str(), file);
      char cut[8];
      const DWORD n =
          zrpal::GetPrivateProfileStringA(section, keys[k].c_str(), "", cut, small % 8 + 1, file);
      Check(n == std::min<std::size_t>(value.size(), small % 8) &&
            value.compare(0, n, cut, n) == 0 && cut[n] == 0);
    }
  }

  // A key set in the first section (or a new one) reads back and leaves the
  // other sections as they were; deleting it leaves the default.
  const std::string target = sections.empty() || !exact ? "fuzz" : sections[0];
  std::string value = "v";
  for (std::size_t i = 0; i < size && i < 16; ++i) value += "0123456789abcdef"[data[i] & 15];
  Check(zrpal::WritePrivateProfileStringA(target.c_str(), "fz", value.c_str(), file));
  Check(ReadValue(target.c_str(), "fz", file) == value);
  std::vector<std::string> after = ReadList(nullptr, kBig, file);
  if (exact) Check(after == (sections.empty() ? std::vector<std::string>{"fuzz"} : sections));
  Check(zrpal::WritePrivateProfileStringA(target.c_str(), "fz", nullptr, file));
  // A second "fz" of the file comes to light when the first goes.
  if (exact && !fzExisted) Check(ReadValue(target.c_str(), "fz", file).empty());
  // Deleting the first section removes its first occurrence only.
  Check(zrpal::WritePrivateProfileStringA(target.c_str(), nullptr, nullptr, file));
  after = ReadList(nullptr, kBig, file);
  std::vector<std::string> expected = sections;
  if (!expected.empty()) expected.erase(expected.begin());
  if (exact) Check(after == expected);
  // Any text at all, line breaks included, is written without harm.
  const std::string raw(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 64));
  zrpal::WritePrivateProfileStringA(raw.c_str(), raw.c_str(), raw.c_str(), file);
  return 0;
}
