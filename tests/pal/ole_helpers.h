// tests/pal/ole_helpers.h - streams written and read whole, temporary
// files, listing compound files the way tests/data/ole_dump.py lists them
// with python3-olefile, and running the independent tools.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "pal/codepage.h"
#include "pal/ole/storage.h"

namespace ole_test {

using namespace zrpal;

constexpr DWORD kRw = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kRead = STGM_READ | STGM_SHARE_EXCLUSIVE;

inline std::string DataDir() {
  const char* dir = std::getenv("ZR_TEST_DATA");
  return dir ? dir : "tests/data";
}

// A file of this process under /tmp.
inline std::string TempPath(const std::string& name) {
  return "/tmp/zr_ole_" + std::to_string(getpid()) + "_" + name;
}

inline std::string Utf8(std::u16string_view s) {
  std::string out(3 * s.size(), '\0');
  const int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(),
                                    static_cast<int>(out.size()), nullptr, nullptr);
  out.resize(static_cast<std::size_t>(n));
  return out;
}

inline std::string ClsidText(const CLSID& c) {
  if (c == CLSID_NULL) return "";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", c.Data1,
                c.Data2, c.Data3, c.Data4[0], c.Data4[1], c.Data4[2], c.Data4[3], c.Data4[4],
                c.Data4[5], c.Data4[6], c.Data4[7]);
  return buf;
}

inline std::uint64_t Time(const FILETIME& t) {
  return t.dwLowDateTime | std::uint64_t{t.dwHighDateTime} << 32;
}

inline std::string Fnv(const std::string& data) {
  std::uint64_t h = 0xCBF29CE484222325ull;
  for (unsigned char b : data) h = (h ^ b) * 0x100000001B3ull;
  char buf[20];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
  return buf;
}

inline std::string ReadAll(IStream* s) {
  std::string out;
  char buf[65536];
  ULONG got = 0;
  while (SUCCEEDED(s->Read(buf, sizeof buf, &got)) && got > 0) out.append(buf, got);
  return out;
}

// Writes stream `name` of `stg` whole, replacing one of that name.
inline void Put(IStorage* stg, const char16_t* name, const std::string& data) {
  IStream* s = nullptr;
  ASSERT_EQ(stg->CreateStream(name, STGM_CREATE | kRw, 0, 0, &s), S_OK);
  ASSERT_EQ(s->Write(data.data(), static_cast<ULONG>(data.size()), nullptr), S_OK);
  s->Release();
}

// The bytes of stream `name`, or "<missing>" when it does not open.
inline std::string Get(IStorage* stg, const char16_t* name) {
  IStream* s = nullptr;
  if (FAILED(stg->OpenStream(name, nullptr, kRead, 0, &s))) return "<missing>";
  std::string out = ReadAll(s);
  s->Release();
  return out;
}

inline std::string Line(const std::string& path, const STATSTG& st, const char* kind,
                        const std::string& data) {
  char buf[200];
  std::snprintf(buf, sizeof buf, "|%s|%llu|%s|%08x|%llu|%llu|", kind,
                static_cast<unsigned long long>(st.type == STGTY_STREAM ? st.cbSize.QuadPart : 0),
                ClsidText(st.clsid).c_str(), st.grfStateBits,
                static_cast<unsigned long long>(Time(st.ctime)),
                static_cast<unsigned long long>(Time(st.mtime)));
  return path + buf + Fnv(data);
}

// The listing of `storage` and everything below it, as ole_dump.py prints.
inline void List(IStorage* storage, const std::string& prefix, std::vector<std::string>* out) {
  IEnumSTATSTG* e = nullptr;
  if (FAILED(storage->EnumElements(0, nullptr, 0, &e))) {
    out->push_back(prefix + "<enum failed>");
    return;
  }
  STATSTG st;
  while (e->Next(1, &st, nullptr) == S_OK) {
    const std::string path = prefix + Utf8(st.pwcsName);
    if (st.type == STGTY_STREAM) {
      IStream* s = nullptr;
      if (SUCCEEDED(
              storage->OpenStream(st.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &s))) {
        out->push_back(Line(path, st, "stream", ReadAll(s)));
        s->Release();
      } else {
        out->push_back(path + "<open failed>");
      }
    } else {
      out->push_back(Line(path, st, "storage", ""));
      IStorage* child = nullptr;
      if (SUCCEEDED(storage->OpenStorage(st.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE,
                                         nullptr, 0, &child))) {
        List(child, path + "/", out);
        child->Release();
      }
    }
    CoTaskMemFree(st.pwcsName);
  }
  e->Release();
}

inline std::string Listing(IStorage* root) {
  std::vector<std::string> lines;
  STATSTG st;
  root->Stat(&st, STATFLAG_NONAME);
  lines.push_back(Line("", st, "root", ""));
  List(root, "", &lines);
  std::sort(lines.begin(), lines.end());
  std::string out;
  for (const auto& l : lines) out += l + "\n";
  return out;
}

// Standard output of a shell command, or "<failed>" when it exits non-zero.
inline std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return "<failed>";
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  return pclose(p) == 0 ? out : "<failed>\n" + out;
}

// The listing tests/data/ole_dump.py prints with python3-olefile.
inline std::string OleDump(const std::string& file) {
  return RunCommand("/usr/bin/python3 " + DataDir() + "/ole_dump.py '" + file + "'");
}

inline std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

}  // namespace ole_test
