// Fuzzes the names the file layer reads from outside: memory-file names,
// paths on their way to the OS, temporary-name prefixes, the URL test, find
// patterns and file times. Each is checked against a plain model of the
// documented rule; a memory file is only read when the model says its name
// points into this target's own block.
#include <fuzzer/FuzzedDataProvider.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "fuzz/check.h"
#include "pal/error.h"
#include "pal/files/file.h"
#include "pal/files/filesystem.h"
#include "pal/files/find.h"
#include "pal/files/url.h"
#include "pal/internal/os_path.h"
#include "zr/exception.h"
#include "zr/fileops.h"
#include "zr/memfile.h"
#include "zr/xfile.h"

namespace {

using U16 = std::u16string;

U16 WideText(FuzzedDataProvider& in, std::size_t max) {
  U16 s;
  const std::size_t n = in.ConsumeIntegralInRange<std::size_t>(0, max);
  for (std::size_t i = 0; i < n && in.remaining_bytes() >= 2; ++i) {
    const auto c = in.ConsumeIntegral<std::uint16_t>();
    if (c) s.push_back(static_cast<char16_t>(c));
  }
  return s;
}

// --- models ----------------------------------------------------------------

bool IsSpace(char16_t c) {
  return (c >= 9 && c <= 13) || c == 32 || c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) ||
         c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// _wtoi over 64 bits, saturating.
std::int64_t Number(const U16& t) {
  std::size_t i = 0;
  while (i < t.size() && IsSpace(t[i])) ++i;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
  __int128 v = 0;
  for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) {
    v = v * 10 + (t[i] - '0');
    if (v > (__int128{1} << 63)) v = __int128{1} << 63;
  }
  if (negative) v = -v;
  if (v > INT64_MAX) v = INT64_MAX;
  return static_cast<std::int64_t>(v);
}

void MemFileName(FuzzedDataProvider& in) {
  static const char kBlock[64] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ!";
  U16 name = in.ConsumeBool() ? u"fmem::" : u"FmEm::";
  if (in.ConsumeBool()) {
    const std::string a = std::to_string(reinterpret_cast<std::uintptr_t>(kBlock));
    name += U16(a.begin(), a.end());
  }
  name += WideText(in, 40);
  if (name.size() > 511) return;
  // The model: tokens between runs of "," and ".", the first two read.
  std::int64_t numbers[2] = {0, 0};
  int found = 0;
  for (std::size_t i = 6; i < name.size() && found < 2;) {
    while (i < name.size() && (name[i] == ',' || name[i] == '.')) ++i;
    if (i == name.size()) break;
    const std::size_t start = i;
    while (i < name.size() && name[i] != ',' && name[i] != '.') ++i;
    numbers[found++] = Number(name.substr(start, i - start));
  }
  const bool empty = found < 2 || numbers[0] == 0 || numbers[1] < 0 || numbers[1] > 0xFFFFFFFFll;
  const ULONG size = empty ? 0 : static_cast<ULONG>(numbers[1]);
  Check(Fio_IsMemFile(name.c_str()) == 1, "memory name");
  IXFile* f = Fio_Open(name.c_str(), 0);
  Check(f && f->GetSize() == size, "memory file size");
  Check(U16(f->GetFileName()) == name, "memory file name");
  FioFileInfo info{};
  Fio_GetFileInfo(name.c_str(), &info);
  Check(info.size == size, "file info size");
  const bool ours = numbers[0] == static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(kBlock));
  if (!empty && ours && size <= sizeof kBlock) {
    char got[sizeof kBlock];
    Check(f->Read(got, sizeof got) == size && std::memcmp(got, kBlock, size) == 0, "memory file content");
  }
  f->Release();
}

void OsPathRoundTrip(FuzzedDataProvider& in) {
  const U16 path = WideText(in, 300);
  zrpal::OsPath os;
  if (!zrpal::ToOsPath(path.c_str(), &os)) {
    const DWORD e = zrpal::GetLastError();
    Check(path.empty() ? e == zrpal::ERROR_PATH_NOT_FOUND : e == zrpal::ERROR_INVALID_NAME || e == zrpal::ERROR_FILENAME_EXCED_RANGE,
          "path refusal");
    return;
  }
  Check(std::strlen(os.text) == os.length && !std::strchr(os.text, '\\'), "os path form");
  std::u16string back(os.length + 1, u'\0');
  const std::size_t n = zrpal::OsTextToWide(os.text, os.length, back.data(), back.size());
  back.resize(n);
  U16 expected = path;
  for (char16_t& c : expected)
    if (c == '\\') c = '/';
  Check(back == expected, "path round trip");
}

void TempName(FuzzedDataProvider& in) {
  const U16 prefix = WideText(in, 6);
  const UINT unique = in.ConsumeIntegralInRange<UINT>(1, 0xFFFFFFFF);
  zrpal::WCHAR name[zrpal::MAX_PATH];
  Check(zrpal::GetTempFileNameW(u"/nonexistent/dir", prefix.c_str(), unique, name) == unique, "temp number");
  U16 expected = u"/nonexistent/dir/" + prefix.substr(0, 3);
  char hex[16];
  std::snprintf(hex, sizeof hex, "%X", unique & 0xFFFF);
  expected += U16(hex, hex + std::strlen(hex)) + u".tmp";
  Check(U16(name) == expected, "temp name");
}

void Url(FuzzedDataProvider& in) {
  const U16 path = WideText(in, 12);
  std::size_t n = 0;
  auto scheme = [](char16_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' ||
           c == '.';
  };
  while (n < path.size() && scheme(path[n])) ++n;
  const bool url = n >= 2 && n < path.size() && path[n] == ':';
  Check((zrpal::PathIsURLW(path.c_str()) != 0) == url, "url");
  Check(Fio_PathIsURL(path.c_str()) == (url ? 1 : 0), "Fio_PathIsURL");
}

bool ModelMatch(const char16_t* p, const char16_t* s) {
  auto fold = [](char16_t c) { return c >= 'A' && c <= 'Z' ? static_cast<char16_t>(c + 32) : c; };
  if (!*p) return !*s;
  if (*p == '*') return ModelMatch(p + 1, s) || (*s && ModelMatch(p, s + 1));
  return *s && (*p == '?' || fold(*p) == fold(*s)) && ModelMatch(p + 1, s + 1);
}

void Pattern(FuzzedDataProvider& in) {
  static const char16_t kUnits[] = u"*?aAbB.";
  U16 pattern, name;
  const std::size_t np = in.ConsumeIntegralInRange<std::size_t>(0, 8), nn = in.ConsumeIntegralInRange<std::size_t>(0, 10);
  for (std::size_t i = 0; i < np; ++i) pattern += kUnits[in.ConsumeIntegralInRange(0, 6)];
  for (std::size_t i = 0; i < nn; ++i) name += kUnits[in.ConsumeIntegralInRange(2, 6)];
  const bool expected = pattern == u"*.*" || ModelMatch(pattern.c_str(), name.c_str());
  Check(zrpal::MatchesFindPattern(pattern.c_str(), name.c_str()) == expected, "find pattern");
}

void Time(FuzzedDataProvider& in) {
  const std::uint64_t ticks = in.ConsumeIntegral<std::uint64_t>() >> 1;  // below 2^63
  const zrpal::FILETIME ft{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  zrpal::SYSTEMTIME st;
  Check(zrpal::FileTimeToSystemTime(&ft, &st), "file time");
  using namespace std::chrono;
  const auto days = sys_days(year{1601} / January / 1) + std::chrono::days(static_cast<int>(ticks / 864000000000ull));
  const year_month_day ymd(days);
  const weekday wd(days);
  Check(int(ymd.year()) == st.wYear && unsigned(ymd.month()) == st.wMonth && unsigned(ymd.day()) == st.wDay &&
            wd.c_encoding() == st.wDayOfWeek,
        "calendar date");
  const std::uint64_t ms = ticks / 10000 % 86400000;
  Check(st.wHour == ms / 3600000 && st.wMinute == ms / 60000 % 60 && st.wSecond == ms / 1000 % 60 &&
            st.wMilliseconds == ms % 1000,
        "time of day");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  switch (in.ConsumeIntegralInRange(0, 5)) {
    case 0: MemFileName(in); break;
    case 1: OsPathRoundTrip(in); break;
    case 2: TempName(in); break;
    case 3: Url(in); break;
    case 4: Pattern(in); break;
    default: Time(in); break;
  }
  return 0;
}
