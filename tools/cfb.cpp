// zrtool cfb - compound files through the library's own engine.
//
//   zrtool cfb ls FILE             the tree with sizes, CLSIDs and times
//                                  (ls and cat also take ftp:// names)
//   zrtool cfb cat FILE PATH       a stream's bytes to standard output
//   zrtool cfb put FILE PATH SRC   a stream from file SRC (the file and the
//                                  storages on PATH are made as needed)
//   zrtool cfb rm FILE PATH        removes an element
//   zrtool cfb check FILE          validates every structure, naming what is
//                                  wrong and where (sector numbers)
//   zrtool cfb dump FILE           header, DIFAT, FAT and directory
//   zrtool cfb meta FILE [NAME=VALUE...]  document properties (cfb_meta.cpp)
//
// PATH separates storages with '/'. Errors name the file, the element and
// the STG_E code.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "pal/ole/image.h"
#include "tools/remote_copy.h"
#include "pal/ole/storage.h"
#include "tools/commands.h"

using namespace zrpal;

namespace {

constexpr DWORD kRead = STGM_READ | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kRw = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

std::u16string Wide(const std::string& s) {
  std::u16string out;
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = s[i];
    std::uint32_t cp = c;
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (extra) cp = c & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < s.size(); ++k) cp = cp << 6 | (s[i + k] & 0x3F);
    i += 1 + extra;
    if (cp >= 0x10000) {
      out += char16_t(0xD800 + ((cp - 0x10000) >> 10));
      out += char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += char16_t(cp);
    }
  }
  return out;
}

std::string Narrow(std::u16string_view s) {
  std::string out;
  for (char16_t c : s) {
    if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    } else if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += {char(0xC0 | c >> 6), char(0x80 | (c & 0x3F))};
    } else {
      out += {char(0xE0 | c >> 12), char(0x80 | ((c >> 6) & 0x3F)), char(0x80 | (c & 0x3F))};
    }
  }
  return out;
}

std::string Clsid(const CLSID& c) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", c.Data1,
                c.Data2, c.Data3, c.Data4[0], c.Data4[1], c.Data4[2], c.Data4[3], c.Data4[4],
                c.Data4[5], c.Data4[6], c.Data4[7]);
  return buf;
}

std::string Time(std::uint64_t ft) {
  if (ft == 0) return "-";
  const std::int64_t unix = static_cast<std::int64_t>(ft / 10000000ull) - 11644473600ll;
  const std::time_t t = static_cast<std::time_t>(unix);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

int Fail(const std::string& file, const std::string& where, HRESULT hr) {
  std::fprintf(stderr, "zrtool cfb: %s: %s: error 0x%08X\n", file.c_str(), where.c_str(),
               static_cast<unsigned>(hr));
  return 1;
}

std::vector<std::u16string> SplitPath(const std::string& path) {
  std::vector<std::u16string> parts;
  std::string cur;
  for (char c : path + "/") {
    if (c == '/') {
      if (!cur.empty()) parts.push_back(Wide(cur));
      cur.clear();
    } else {
      cur += c;
    }
  }
  return parts;
}

// Opens (or with `create`, makes) the storages on `parts` but the last;
// the caller releases the result.
HRESULT Descend(IStorage* root, const std::vector<std::u16string>& parts, bool create, DWORD mode,
                IStorage** out) {
  IStorage* cur = root;
  cur->AddRef();
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    IStorage* next = nullptr;
    HRESULT hr = cur->OpenStorage(parts[i].c_str(), nullptr, mode, nullptr, 0, &next);
    if (hr == STG_E_FILENOTFOUND && create)
      hr = cur->CreateStorage(parts[i].c_str(), mode, 0, 0, &next);
    cur->Release();
    if (FAILED(hr)) return hr;
    cur = next;
  }
  *out = cur;
  return S_OK;
}

void ListTree(IStorage* stg, int depth) {
  IEnumSTATSTG* e = nullptr;
  if (FAILED(stg->EnumElements(0, nullptr, 0, &e))) return;
  STATSTG st;
  while (e->Next(1, &st, nullptr) == S_OK) {
    const bool stream = st.type == STGTY_STREAM;
    std::printf(
        "%*s%s%s  %" PRIu64 "  %s  created %s  modified %s\n", depth * 2, "",
        Narrow(st.pwcsName).c_str(), stream ? "" : "/", stream ? st.cbSize.QuadPart : 0,
        Clsid(st.clsid).c_str(),
        Time(st.ctime.dwLowDateTime | std::uint64_t{st.ctime.dwHighDateTime} << 32).c_str(),
        Time(st.mtime.dwLowDateTime | std::uint64_t{st.mtime.dwHighDateTime} << 32).c_str());
    if (!stream) {
      IStorage* child = nullptr;
      if (SUCCEEDED(stg->OpenStorage(st.pwcsName, nullptr, kRead, nullptr, 0, &child))) {
        ListTree(child, depth + 1);
        child->Release();
      }
    }
    CoTaskMemFree(st.pwcsName);
  }
  e->Release();
}

std::unique_ptr<ole::Image> LoadImage(const std::string& file, HRESULT* hr,
                                      std::string* why = nullptr) {
  ILockBytes* lb = nullptr;
  std::unique_ptr<ole::Image> image;
  if (FAILED(*hr = ole::OpenFileLockBytes(Wide(file).c_str(), false, false, false, &lb)))
    return nullptr;
  *hr = ole::Image::Load(lb, false, false, &image, why);
  lb->Release();
  return image;
}

// Checks what loading does not: every stream's chain (loading refuses
// crossed chains and says where; a chain broken on its own is found when
// its stream is opened). Prints each fault; returns their number.
int CheckImage(ole::Image& img, const std::string& file) {
  int faults = 0;
  for (std::uint32_t sid = 0; sid < img.EntryCount(); ++sid) {
    const ole::DirEntry& d = img.At(sid).d;
    if (d.type != ole::ObjectType::Stream && d.type != ole::ObjectType::Root) continue;
    if (FAILED(img.CheckStream(sid))) {
      std::printf("%s: entry %u \"%s\": chain from sector %u does not hold its %" PRIu64 " bytes\n",
                  file.c_str(), sid, Narrow(d.name).c_str(), d.start, d.size);
      ++faults;
    }
  }
  return faults;
}

int Dump(ole::Image& img) {
  const ole::Header& h = img.GetHeader();
  std::printf(
      "header: version %u.%u, sector size %u, %u FAT sectors, first directory sector %u,\n"
      "        first mini FAT sector %u (%u sectors), first DIFAT sector %u (%u sectors),\n"
      "        transaction signature %u, %" PRIu64 " sectors in the file\n",
      h.majorVersion, h.minorVersion, h.SectorSize(), h.fatSectorCount, h.firstDirSector,
      h.firstMiniFatSector, h.miniFatSectorCount, h.firstDifatSector, h.difatSectorCount,
      h.transactionSignature, img.FileSectorCount());
  std::printf("DIFAT (FAT sectors):");
  for (std::uint32_t s : img.FatSectors()) std::printf(" %u", s);
  std::printf("\nDIFAT sectors:");
  for (std::uint32_t s : img.DifatSectors()) std::printf(" %u", s);
  std::printf("\nFAT:\n");
  auto name = [](std::uint32_t v) -> std::string {
    switch (v) {
      case ole::kFreeSect:
        return "free";
      case ole::kEndOfChain:
        return "end";
      case ole::kFatSect:
        return "FAT";
      case ole::kDifSect:
        return "DIFAT";
      default:
        return std::to_string(v);
    }
  };
  for (std::uint32_t i = 0; i < img.Fat().Size(); ++i)
    if (img.Fat()[i] != ole::kFreeSect) std::printf("  %u -> %s\n", i, name(img.Fat()[i]).c_str());
  std::printf("directory:\n");
  for (std::uint32_t sid = 0; sid < img.EntryCount(); ++sid) {
    const ole::DirEntry& d = img.At(sid).d;
    if (d.type == ole::ObjectType::Unused) continue;
    std::printf("  %u \"%s\" type %u start %s size %" PRIu64 " parent %u clsid %s bits %08X\n", sid,
                Narrow(d.name).c_str(), static_cast<unsigned>(d.type), name(d.start).c_str(),
                d.size, img.At(sid).parent, Clsid(d.clsid).c_str(), d.stateBits);
  }
  return 0;
}

void Usage() {
  std::fprintf(stderr,
               "usage: zrtool cfb ls FILE | cat FILE PATH | put FILE PATH SRC | rm FILE PATH | "
               "check FILE | dump FILE | meta FILE [NAME=VALUE...]\n");
}

}  // namespace

int CfbMain(int argc, char** argv) {
  if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
    Usage();
    return argc < 2 ? 2 : 0;
  }
  const std::string cmd = argv[1];
  if (cmd == "meta") return argc < 3 ? (Usage(), 2) : CfbMeta(argc - 1, argv + 1);
  if (argc < 3) return Usage(), 2;
  const std::string file = argv[2];
  const std::u16string wfile = Wide(file);
  HRESULT hr;
  if (cmd == "check" || cmd == "dump") {
    std::string why;
    std::unique_ptr<ole::Image> img = LoadImage(file, &hr, &why);
    if (!img && !why.empty()) std::printf("%s: %s\n", file.c_str(), why.c_str());
    if (!img) return Fail(file, "opening", hr);
    if (cmd == "dump") return Dump(*img);
    const int faults = CheckImage(*img, file);
    if (faults == 0) std::printf("%s: sound\n", file.c_str());
    return faults ? 1 : 0;
  }
  IStorage* root = nullptr;
  if (cmd == "ls" || cmd == "cat") {
    if (cmd == "cat" && argc != 4) return Usage(), 2;
    const RemoteCopy local(file.c_str());  // an ftp:// name is read from a copy
    if (!local.Ok()) return 1;
    if (FAILED(hr = StgOpenStorage(Wide(local.Path()).c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE,
                                   nullptr, 0, &root)))
      return Fail(file, "opening", hr);
    int rc = 0;
    if (cmd == "ls") {
      ListTree(root, 0);
    } else {
      const auto parts = SplitPath(argv[3]);
      IStorage* parent = nullptr;
      IStream* s = nullptr;
      if (parts.empty() || FAILED(hr = Descend(root, parts, false, kRead, &parent)) ||
          FAILED(hr = parent->OpenStream(parts.back().c_str(), nullptr, kRead, 0, &s))) {
        rc = Fail(file, argv[3], parts.empty() ? STG_E_INVALIDNAME : hr);
      } else {
        char buf[65536];
        ULONG got = 0;
        while (SUCCEEDED(hr = s->Read(buf, sizeof buf, &got)) && got)
          std::fwrite(buf, 1, got, stdout);
        if (FAILED(hr)) rc = Fail(file, argv[3], hr);
        s->Release();
      }
      if (parent) parent->Release();
    }
    root->Release();
    return rc;
  }
  if ((cmd == "put" && argc != 5) || (cmd == "rm" && argc != 4) || (cmd != "put" && cmd != "rm"))
    return Usage(), 2;
  hr = StgOpenStorage(wfile.c_str(), nullptr, kRw | STGM_TRANSACTED, nullptr, 0, &root);
  if (hr == STG_E_FILENOTFOUND && cmd == "put")
    hr = StgCreateDocfile(wfile.c_str(), STGM_CREATE | kRw | STGM_TRANSACTED, 0, &root);
  if (FAILED(hr)) return Fail(file, "opening", hr);
  const auto parts = SplitPath(argv[3]);
  IStorage* parent = nullptr;
  if (parts.empty() || FAILED(hr = Descend(root, parts, cmd == "put", kRw, &parent))) {
    root->Release();
    return Fail(file, argv[3], parts.empty() ? STG_E_INVALIDNAME : hr);
  }
  if (cmd == "rm") {
    hr = parent->DestroyElement(parts.back().c_str());
  } else {
    std::FILE* src = std::fopen(argv[4], "rb");
    IStream* s = nullptr;
    if (!src) {
      hr = STG_E_FILENOTFOUND;
    } else if (SUCCEEDED(
                   hr = parent->CreateStream(parts.back().c_str(), STGM_CREATE | kRw, 0, 0, &s))) {
      char buf[65536];
      std::size_t n;
      while (SUCCEEDED(hr) && (n = std::fread(buf, 1, sizeof buf, src)) > 0)
        hr = s->Write(buf, static_cast<ULONG>(n), nullptr);
      s->Release();
    }
    if (src) std::fclose(src);
  }
  parent->Release();
  if (SUCCEEDED(hr)) hr = root->Commit(STGC_DEFAULT);
  root->Release();
  return FAILED(hr) ? Fail(file, argv[3], hr) : 0;
}
