// The compound-file engine's contract: modes, element operations,
// transactions, the red-black directory, malformed files, and the
// transacted image's scratch sectors.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ole_helpers.h"
#include "pal/ole/direntry.h"
#include "pal/ole/header.h"
#include "pal/ole/le.h"
#include "pal/ole/scratch.h"

using namespace ole_test;

namespace {

struct Mem {
  ILockBytes* lb = nullptr;
  Mem() { CreateILockBytesOnHGlobal(nullptr, TRUE, &lb); }
  ~Mem() { lb->Release(); }
  std::vector<BYTE> Bytes() const {
    STATSTG st;
    lb->Stat(&st, STATFLAG_NONAME);
    std::vector<BYTE> out(st.cbSize.QuadPart);
    ULONG got;
    lb->ReadAt(ULARGE_INTEGER{0}, out.data(), static_cast<ULONG>(out.size()), &got);
    return out;
  }
  void Set(const std::vector<BYTE>& b) {
    lb->SetSize(ULARGE_INTEGER{0});
    ULONG n;
    lb->WriteAt(ULARGE_INTEGER{0}, b.data(), static_cast<ULONG>(b.size()), &n);
  }
};

HRESULT Open(Mem& m, DWORD mode, IStorage** stg) {
  return StgOpenStorageOnILockBytes(m.lb, nullptr, mode, nullptr, 0, stg);
}

TEST(OleModes, ChecksModesAsWindowsDoes) {
  struct Case {
    DWORD mode;
    HRESULT create;
    HRESULT open;
  } const cases[] = {
      {kRw, S_OK, S_OK},
      {kRw | STGM_TRANSACTED, S_OK, S_OK},
      {STGM_READWRITE | STGM_TRANSACTED, S_OK, S_OK},  // share 0 only when transacted
      {STGM_READWRITE, STG_E_INVALIDFLAG, STG_E_INVALIDFLAG},
      {STGM_READ | STGM_SHARE_EXCLUSIVE, STG_E_INVALIDFLAG, S_OK},  // creating needs write access
      {STGM_READ | STGM_SHARE_DENY_WRITE, STG_E_INVALIDFLAG, S_OK},
      {STGM_READ | STGM_SHARE_DENY_NONE, STG_E_INVALIDFLAG, STG_E_INVALIDFLAG},
      {STGM_READWRITE | STGM_SHARE_DENY_WRITE, STG_E_INVALIDFLAG, STG_E_INVALIDFLAG},
      {kRw | STGM_CREATE | STGM_CONVERT, STG_E_INVALIDFLAG, STG_E_INVALIDFLAG},
      {kRw | STGM_NOSCRATCH, STG_E_INVALIDFLAG, STG_E_INVALIDFLAG},
      {kRw | STGM_TRANSACTED | STGM_SIMPLE, STG_E_INVALIDFLAG, STG_E_INVALIDFLAG},
      {kRw | STGM_TRANSACTED | STGM_NOSNAPSHOT, STG_E_INVALIDFLAG, STG_E_INVALIDFLAG},
      {kRw | STGM_PRIORITY, STG_E_INVALIDFLAG, STG_E_INVALIDFLAG},  // priority reads only
      {STGM_PRIORITY, STG_E_INVALIDFLAG, STG_E_INVALIDFUNCTION},    // not on lock bytes
      {kRw | STGM_DELETEONRELEASE, S_OK, STG_E_INVALIDFUNCTION},
      {kRw | STGM_CREATE, S_OK, STG_E_INVALIDFLAG},
      {3 | STGM_SHARE_EXCLUSIVE, STG_E_INVALIDFLAG, STG_E_INVALIDFLAG},  // no such access
      {kRw | 0x80, STG_E_INVALIDFLAG, STG_E_INVALIDFLAG},                // no such share mode
      {kRw | 0x800000, STG_E_INVALIDFLAG, STG_E_INVALIDFLAG},            // unknown bit
  };
  Mem base;
  IStorage* stg = nullptr;
  ASSERT_EQ(StgCreateDocfileOnILockBytes(base.lb, STGM_CREATE | kRw, 0, &stg), S_OK);
  stg->Release();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    Mem m;
    stg = nullptr;
    EXPECT_EQ(StgCreateDocfileOnILockBytes(m.lb, c.mode, 0, &stg), c.create);
    if (stg) stg->Release();
    stg = nullptr;
    EXPECT_EQ(Open(base, c.mode, &stg), c.open);
    if (stg) stg->Release();
  }
}

TEST(OleModes, ElementModesAndNames) {
  Mem m;
  IStorage* stg = nullptr;
  ASSERT_EQ(StgCreateDocfileOnILockBytes(m.lb, STGM_CREATE | kRw, 0, &stg), S_OK);
  IStream* s = nullptr;
  EXPECT_EQ(stg->CreateStream(u"a", STGM_READWRITE, 0, 0, &s), STG_E_INVALIDFLAG);
  EXPECT_EQ(stg->CreateStream(u"a", STGM_READWRITE | STGM_SHARE_DENY_NONE, 0, 0, &s),
            STG_E_INVALIDFLAG);
  EXPECT_EQ(stg->CreateStream(u"a", kRw | STGM_TRANSACTED, 0, 0, &s), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(stg->CreateStream(u"a", kRw | STGM_DELETEONRELEASE, 0, 0, &s), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(stg->CreateStream(u"a", kRw, 1, 0, &s), STG_E_INVALIDPARAMETER);
  EXPECT_EQ(stg->CreateStream(nullptr, kRw, 0, 0, &s), STG_E_INVALIDNAME);
  const std::u16string name31(31, u'x'), name32(32, u'x');
  EXPECT_EQ(stg->CreateStream(name32.c_str(), kRw, 0, 0, &s), STG_E_INVALIDNAME);
  EXPECT_EQ(stg->CreateStream(u"a/b", kRw, 0, 0, &s), STG_E_INVALIDNAME);
  ASSERT_EQ(stg->CreateStream(name31.c_str(), kRw, 0, 0, &s), S_OK);
  IStream* again = nullptr;
  EXPECT_EQ(stg->OpenStream(name31.c_str(), nullptr, kRw, 0, &again),
            STG_E_ACCESSDENIED);  // open already
  EXPECT_EQ(stg->CreateStream(name31.c_str(), kRw, 0, 0, &again), STG_E_FILEALREADYEXISTS);
  ASSERT_EQ(stg->CreateStream(name31.c_str(), STGM_CREATE | kRw, 0, 0, &again), S_OK);
  EXPECT_EQ(s->Seek(LARGE_INTEGER{0}, STREAM_SEEK_SET, nullptr), STG_E_REVERTED);  // replaced
  EXPECT_EQ(again->Seek(LARGE_INTEGER{-1}, STREAM_SEEK_SET, nullptr), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(again->Seek(LARGE_INTEGER{0}, 3, nullptr), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(again->LockRegion(ULARGE_INTEGER{0}, ULARGE_INTEGER{1}, LOCK_WRITE),
            STG_E_INVALIDFUNCTION);
  s->Release();
  again->Release();
  EXPECT_EQ(stg->OpenStream(u"missing", nullptr, kRw, 0, &s), STG_E_FILENOTFOUND);
  stg->Release();
  stg = nullptr;
  ASSERT_EQ(Open(m, STGM_READ | STGM_SHARE_DENY_WRITE, &stg), S_OK);
  EXPECT_EQ(stg->OpenStream(name31.c_str(), nullptr, kRw, 0, &s),
            STG_E_INVALIDFLAG);  // more than the storage
  EXPECT_EQ(stg->CreateStream(u"b", STGM_CREATE | kRw, 0, 0, &s), STG_E_ACCESSDENIED);
  stg->Release();
}

TEST(OleStreams, SizesAcrossTheCutoffKeepTheirBytes) {
  for (unsigned version : {3u, 4u}) {
    Mem m;
    IStorage* stg = nullptr;
    ASSERT_EQ(ole::CreateDocfileOnLockBytes(m.lb, STGM_CREATE | kRw, version, &stg), S_OK);
    IStream* s = nullptr;
    ASSERT_EQ(stg->CreateStream(u"grow", kRw, 0, 0, &s), S_OK);
    std::string model;
    const std::uint64_t steps[] = {10, 4095, 4096, 70000, 4000, 5000, 0, 130, 9000};
    for (std::uint64_t size : steps) {
      ASSERT_EQ(s->SetSize(ULARGE_INTEGER{size}), S_OK);
      model.resize(size, '\0');
      const std::string mark = "m" + std::to_string(size);
      if (size >= mark.size()) {
        ASSERT_EQ(s->Seek(LARGE_INTEGER{static_cast<LONGLONG>(size - mark.size())}, STREAM_SEEK_SET,
                          nullptr),
                  S_OK);
        ASSERT_EQ(s->Write(mark.data(), static_cast<ULONG>(mark.size()), nullptr), S_OK);
        model.replace(size - mark.size(), mark.size(), mark);
      }
      s->Seek(LARGE_INTEGER{0}, STREAM_SEEK_SET, nullptr);
      EXPECT_EQ(ReadAll(s), model) << "size " << size;
    }
    // A write of no bytes past the end makes no fill bytes (Windows' rule).
    ASSERT_EQ(s->Seek(LARGE_INTEGER{50000}, STREAM_SEEK_SET, nullptr), S_OK);
    ASSERT_EQ(s->Write("", 0, nullptr), S_OK);
    STATSTG st{};
    ASSERT_EQ(s->Stat(&st, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(st.cbSize.QuadPart, model.size());
    s->Release();
    ASSERT_EQ(stg->Commit(STGC_DEFAULT), S_OK);
    stg->Release();
    ASSERT_EQ(Open(m, kRw, &stg), S_OK);
    EXPECT_EQ(Get(stg, u"grow"), model);
    stg->Release();
  }
}

TEST(OleTransactions, NothingReachesTheBytesBeforeCommitAndRevertDropsChanges) {
  Mem m;
  IStorage* stg = nullptr;
  ASSERT_EQ(StgCreateDocfileOnILockBytes(m.lb, STGM_CREATE | kRw | STGM_TRANSACTED, 0, &stg), S_OK);
  Put(stg, u"keep", std::string(5000, 'k'));
  ASSERT_EQ(stg->Commit(STGC_DEFAULT), S_OK);
  const std::vector<BYTE> committed = m.Bytes();
  Put(stg, u"keep", std::string(7000, 'K'));
  Put(stg, u"new", "n");
  EXPECT_EQ(m.Bytes(), committed);  // not one byte written before Commit
  ASSERT_EQ(stg->Revert(), S_OK);
  EXPECT_EQ(Get(stg, u"keep"), std::string(5000, 'k'));
  EXPECT_EQ(Get(stg, u"new"), "<missing>");
  Put(stg, u"new", "n2");
  stg->Release();  // released without Commit: dropped
  EXPECT_EQ(m.Bytes(), committed);
  ASSERT_EQ(Open(m, kRw | STGM_TRANSACTED, &stg), S_OK);
  EXPECT_EQ(Get(stg, u"new"), "<missing>");
  stg->Release();
}

TEST(OleTransactions, TransactedSubStorageCommitsIntoItsParent) {
  Mem m;
  IStorage* root = nullptr;
  ASSERT_EQ(StgCreateDocfileOnILockBytes(m.lb, STGM_CREATE | kRw, 0, &root), S_OK);
  IStorage* sub = nullptr;
  ASSERT_EQ(root->CreateStorage(u"sub", kRw, 0, 0, &sub), S_OK);
  Put(sub, u"a", "old");
  sub->Release();
  ASSERT_EQ(root->OpenStorage(u"sub", nullptr, kRw | STGM_TRANSACTED, nullptr, 0, &sub), S_OK);
  Put(sub, u"a", "new");
  IStorage* peek = nullptr;
  EXPECT_EQ(root->OpenStorage(u"sub", nullptr, kRw, nullptr, 0, &peek),
            STG_E_ACCESSDENIED);  // open already
  ASSERT_EQ(sub->Revert(), S_OK);
  EXPECT_EQ(Get(sub, u"a"), "old");
  Put(sub, u"a", "new");
  Put(sub, u"b", std::string(6000, 'b'));
  const CLSID cls = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  ASSERT_EQ(sub->SetClass(cls), S_OK);
  ASSERT_EQ(sub->Commit(STGC_DEFAULT), S_OK);
  sub->Release();
  ASSERT_EQ(root->OpenStorage(u"sub", nullptr, kRw, nullptr, 0, &sub), S_OK);
  EXPECT_EQ(Get(sub, u"a"), "new");
  EXPECT_EQ(Get(sub, u"b"), std::string(6000, 'b'));
  STATSTG st;
  ASSERT_EQ(sub->Stat(&st, STATFLAG_NONAME), S_OK);
  EXPECT_TRUE(st.clsid == cls);
  sub->Release();
  root->Release();
}

TEST(OleElements, EnumerateRenameDestroyMove) {
  Mem m;
  IStorage* root = nullptr;
  ASSERT_EQ(StgCreateDocfileOnILockBytes(m.lb, STGM_CREATE | kRw, 0, &root), S_OK);
  for (const char16_t* n : {u"bb", u"a", u"C", u"ab"}) Put(root, n, "x");
  IStorage* sub = nullptr;
  ASSERT_EQ(root->CreateStorage(u"dir", kRw, 0, 0, &sub), S_OK);
  IEnumSTATSTG* e = nullptr;
  ASSERT_EQ(root->EnumElements(0, nullptr, 0, &e), S_OK);
  std::vector<std::string> names;
  STATSTG st;
  while (e->Next(1, &st, nullptr) == S_OK) {
    names.push_back(Utf8(st.pwcsName));
    CoTaskMemFree(st.pwcsName);
  }
  e->Release();
  // The format's order: shorter first, then case-blind.
  EXPECT_EQ(names, (std::vector<std::string>{"a", "C", "ab", "bb", "dir"}));
  EXPECT_EQ(root->RenameElement(u"a", u"bb"), STG_E_ACCESSDENIED);
  EXPECT_EQ(root->RenameElement(u"a", u"zz"), S_OK);
  EXPECT_EQ(root->DestroyElement(u"a"), STG_E_FILENOTFOUND);
  EXPECT_EQ(root->MoveElementTo(u"zz", sub, u"moved", STGMOVE_MOVE), S_OK);
  EXPECT_EQ(root->MoveElementTo(u"C", sub, u"copied", STGMOVE_COPY), S_OK);
  EXPECT_EQ(Get(sub, u"moved"), "x");
  EXPECT_EQ(Get(sub, u"copied"), "x");
  EXPECT_EQ(Get(root, u"zz"), "<missing>");
  EXPECT_EQ(Get(root, u"C"), "x");
  EXPECT_EQ(root->CopyTo(0, nullptr, nullptr, sub), STG_E_ACCESSDENIED);  // into itself
  EXPECT_EQ(root->DestroyElement(u"dir"), S_OK);
  EXPECT_EQ(sub->Stat(&st, STATFLAG_NONAME), STG_E_REVERTED);
  sub->Release();
  root->Release();
}

// Every storage's tree in a written file is a red-black tree in the
// format's order.
TEST(OleDirectory, WrittenTreesAreRedBlackInFormatOrder) {
  for (int count : {1, 2, 3, 7, 8, 20, 100}) {
    Mem m;
    IStorage* root = nullptr;
    ASSERT_EQ(StgCreateDocfileOnILockBytes(m.lb, STGM_CREATE | kRw, 0, &root), S_OK);
    for (int i = 0; i < count; ++i) Put(root, Wide("n" + std::to_string(i * 37 % 101)).c_str(), "");
    root->Release();
    const std::vector<BYTE> b = m.Bytes();
    const std::uint32_t dirSector = ole::Le32(&b[48]);
    const BYTE* dir = &b[(dirSector + 1) * 512];  // small directories are contiguous here
    struct Node {
      std::uint32_t left, right;
      bool red;
      std::u16string name;
    };
    auto node = [&](std::uint32_t sid) {
      const BYTE* p = dir + sid * 128;
      std::u16string name;
      for (int i = 0; i < ole::Le16(p + 64) / 2 - 1; ++i) name += char16_t(ole::Le16(p + 2 * i));
      return Node{ole::Le32(p + 68), ole::Le32(p + 72), p[67] == 0, name};
    };
    int seen = 0;
    std::function<int(std::uint32_t, bool, const std::u16string*, const std::u16string*)> check =
        [&](std::uint32_t sid, bool parentRed, const std::u16string* lo, const std::u16string* hi) {
          if (sid == 0xFFFFFFFF) return 1;
          const Node n = node(sid);
          ++seen;
          EXPECT_FALSE(parentRed && n.red) << "red child of a red node";
          if (lo) {
            EXPECT_LT(ole::CompareNames(*lo, n.name), 0);
          }
          if (hi) {
            EXPECT_GT(ole::CompareNames(*hi, n.name), 0);
          }
          const int l = check(n.left, n.red, lo, &n.name);
          const int r = check(n.right, n.red, &n.name, hi);
          EXPECT_EQ(l, r) << "black heights differ";
          return l + (n.red ? 0 : 1);
        };
    const std::uint32_t top = ole::Le32(dir + 76);
    EXPECT_FALSE(node(top).red);
    check(top, false, nullptr, nullptr);
    EXPECT_EQ(seen, count);
  }
}

// Malformed files: every kind of broken structure is an STG_E error, found
// when opening or when reading, never a crash or a hang.
TEST(OleMalformed, BrokenStructuresAreStorageErrors) {
  Mem good;
  IStorage* stg = nullptr;
  ASSERT_EQ(StgCreateDocfileOnILockBytes(good.lb, STGM_CREATE | kRw, 0, &stg), S_OK);
  Put(stg, u"big", std::string(20000, 'b'));
  Put(stg, u"small", std::string(300, 's'));
  IStorage* sub = nullptr;
  ASSERT_EQ(stg->CreateStorage(u"sub", kRw, 0, 0, &sub), S_OK);
  sub->Release();
  stg->Release();
  const std::vector<BYTE> base = good.Bytes();
  const std::uint32_t fat0 = ole::Le32(&base[76]);
  const std::uint32_t dir0 = ole::Le32(&base[48]);
  using Bytes = std::vector<BYTE>;
  auto fatEntry = [&](Bytes& b, std::uint32_t s) { return &b[(fat0 + 1) * 512 + 4 * s]; };
  auto dirEntry = [&](Bytes& b, std::uint32_t sid) { return &b[(dir0 + 1) * 512 + 128 * sid]; };
  // The first directory entry of the given name length (in bytes) and first
  // character: "big" is {8, 'b'}, "small" {12, 's'}.
  auto entry = [&](Bytes& b, int nameBytes, char first) {
    for (std::uint32_t sid = 1; sid < 4; ++sid)
      if (ole::Le16(dirEntry(b, sid) + 64) == nameBytes && ole::Le16(dirEntry(b, sid)) == first)
        return dirEntry(b, sid);
    return static_cast<BYTE*>(nullptr);
  };
  auto bigStart = [&](Bytes& b) { return ole::Le32(entry(b, 8, 'b') + 116); };
  struct Case {
    const char* what;
    std::function<void(Bytes&)> damage;
    HRESULT expected;
    bool atOpen = false;  // refused by the open itself, not at a stream
  };
  constexpr HRESULT kCorrupt = STG_E_DOCFILECORRUPT;
  // clang-format off
  const Case cases[] = {
      {"signature", [](auto& b) { b[0] = 0; }, STG_E_FILEALREADYEXISTS},
      {"short file", [](auto& b) { b.resize(300); }, STG_E_FILEALREADYEXISTS},
      {"byte order", [](auto& b) { b[28] = 0; }, STG_E_INVALIDHEADER},
      {"version and sector size", [](auto& b) { b[30] = 12; }, STG_E_INVALIDHEADER},
      {"FAT sector count beyond the file", [](auto& b) { ole::PutLe32(&b[44], 0x10000000); }, kCorrupt},
      {"FAT sector past the end", [](auto& b) { ole::PutLe32(&b[76], 9999); }, kCorrupt},
      {"DIFAT chain that never ends", [](auto& b) { ole::PutLe32(&b[72], 3); ole::PutLe32(&b[68], 0); ole::PutLe32(&b[44], 200); }, kCorrupt},
      {"directory chain loop", [&](auto& b) { ole::PutLe32(fatEntry(b, dir0), dir0); }, kCorrupt},
      {"sibling loop", [&](auto& b) { ole::PutLe32(dirEntry(b, 1) + 68, 1); }, kCorrupt},
      {"child cycle", [&](auto& b) { dirEntry(b, 3)[66] = 1; ole::PutLe32(dirEntry(b, 3) + 76, 0); }, kCorrupt},
      {"root not a root", [&](auto& b) { dirEntry(b, 0)[66] = 1; }, kCorrupt},
      {"FAT loop in a stream", [&](auto& b) { ole::PutLe32(fatEntry(b, bigStart(b) + 2), bigStart(b)); }, kCorrupt},
      {"stream size beyond the file", [&](auto& b) { ole::PutLe32(entry(b, 8, 'b') + 120, 0x7FFFFFF0); }, kCorrupt},
      {"mini stream pointer into nowhere", [&](auto& b) { ole::PutLe32(entry(b, 12, 's') + 116, 5000); }, kCorrupt},
      // Crossed chains: a commit would free one structure's sectors under
      // the other, so the file is refused whole.
      {"mini FAT crossing the mini stream", [&](auto& b) { ole::PutLe32(&b[60], ole::Le32(dirEntry(b, 0) + 116)); ole::PutLe32(&b[64], 1); }, kCorrupt, true},
      {"stream crossing the directory", [&](auto& b) { ole::PutLe32(entry(b, 8, 'b') + 116, dir0); }, kCorrupt, true},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<BYTE> bytes = base;
    c.damage(bytes);
    Mem m;
    m.Set(bytes);
    stg = nullptr;
    HRESULT hr = Open(m, STGM_READ | STGM_SHARE_DENY_WRITE, &stg);
    if (c.atOpen) {
      EXPECT_EQ(hr, c.expected);
      if (stg) stg->Release();
      continue;
    }
    if (SUCCEEDED(hr)) {
      // Damage inside a stream shows when the stream is opened.
      std::vector<std::string> lines;
      List(stg, "", &lines);
      stg->Release();
      std::string all;
      for (auto& l : lines) all += l;
      EXPECT_TRUE(all.find("<open failed>") != std::string::npos ||
                  all.find("<enum failed>") != std::string::npos)
          << all;
      hr = STG_E_DOCFILECORRUPT;  // the failure was at the stream (checked above)
    }
    EXPECT_EQ(hr, c.expected);
  }
}

// A stream whose chain leads past the end of the file stays unreadable,
// and the sectors the file grows into never join it: a transacted edit
// commits a file that opens again.
TEST(OleMalformed, NewSectorsNeverJoinABrokenChain) {
  Mem m;
  IStorage* stg = nullptr;
  ASSERT_EQ(StgCreateDocfileOnILockBytes(m.lb, STGM_CREATE | kRw, 0, &stg), S_OK);
  Put(stg, u"big", std::string(20000, 'b'));
  stg->Release();
  std::vector<BYTE> bytes = m.Bytes();
  const std::uint32_t dir0 = ole::Le32(&bytes[48]);
  BYTE* big = &bytes[(dir0 + 1) * 512 + 128];  // entry 1
  ASSERT_EQ(ole::Le16(big), 'b');
  const std::uint32_t past = static_cast<std::uint32_t>(bytes.size() / 512) + 3;
  ole::PutLe32(big + 116, past);
  m.Set(bytes);
  ASSERT_EQ(Open(m, kRw | STGM_TRANSACTED, &stg), S_OK);
  EXPECT_EQ(Get(stg, u"big"), "<missing>");   // fails to open
  Put(stg, u"new", std::string(40000, 'n'));  // grows the file well past `past`
  ASSERT_EQ(stg->Commit(STGC_DEFAULT), S_OK);
  stg->Release();
  ASSERT_EQ(Open(m, STGM_READ | STGM_SHARE_DENY_WRITE, &stg), S_OK);
  EXPECT_EQ(Get(stg, u"new"), std::string(40000, 'n'));
  EXPECT_EQ(Get(stg, u"big"), "<missing>");
  stg->Release();
}

struct Piece {
  std::uint32_t first, count;
  BYTE fill;  // the first byte of the run
  bool operator==(const Piece&) const = default;
};

std::vector<Piece> Runs(const ole::Scratch& s) {
  std::vector<Piece> runs;
  s.ForEachRun([&](std::uint32_t first, const BYTE* bytes, std::uint32_t n) {
    runs.push_back({first, n, bytes[0]});
    return zrpal::S_OK;
  });
  return runs;
}

TEST(OleScratch, RunsStopAtChunkBordersAndNewSectorsReadAsZero) {
  for (std::uint32_t shift : {9u, 12u}) {
    SCOPED_TRACE(shift);
    const std::uint32_t ss = 1u << shift, perChunk = ole::Scratch::kChunkBytes >> shift;
    ole::Scratch s;
    s.SetShift(shift);
    BYTE* p = nullptr;
    // An absent span reaches the chunk's end, never past it.
    EXPECT_EQ(s.Span(perChunk - 2, 100, &p), 2u);
    EXPECT_EQ(p, nullptr);
    // Written whole across a border: two pieces, the first up to the border.
    ASSERT_EQ(s.Make(perChunk - 2, 5, false, &p), 2u);
    std::memset(p, 0xA1, 2 * ss);
    ASSERT_EQ(s.Make(perChunk, 3, false, &p), 3u);
    std::memset(p, 0xB2, 3 * ss);
    // A sector made present for a partial write is zeroed.
    ASSERT_EQ(s.Make(perChunk + 5, 1, true, &p), 1u);
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[ss - 1], 0);
    // Present and absent runs alternate inside a chunk.
    EXPECT_EQ(s.Span(perChunk, 100, &p), 3u);
    EXPECT_EQ(p[0], 0xB2);
    EXPECT_EQ(s.Span(perChunk + 3, 100, &p), 2u);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(Runs(s), (std::vector<Piece>{
                           {perChunk - 2, 2, 0xA1}, {perChunk, 3, 0xB2}, {perChunk + 5, 1, 0}}));
    // An erased sector splits its run and comes back zeroed.
    s.Erase(perChunk + 1);
    EXPECT_EQ(Runs(s), (std::vector<Piece>{{perChunk - 2, 2, 0xA1},
                                           {perChunk, 1, 0xB2},
                                           {perChunk + 2, 1, 0xB2},
                                           {perChunk + 5, 1, 0}}));
    ASSERT_EQ(s.Make(perChunk + 1, 1, true, &p), 1u);
    EXPECT_EQ(p[0], 0);
    // A chunk that empties is dropped; Clear forgets everything.
    s.Erase(perChunk - 2);
    s.Erase(perChunk - 1);
    EXPECT_EQ(s.Span(perChunk - 2, 2, &p), 2u);
    EXPECT_EQ(p, nullptr);
    EXPECT_FALSE(s.Empty());
    s.Clear();
    EXPECT_TRUE(s.Empty());
    EXPECT_TRUE(Runs(s).empty());
  }
}

}  // namespace
