// CStorage and CStream over the compound-file engine: the factories, the
// element operations, the flags' effect on the file, names at the format's
// limit, and files other software reads and wrote.
#include <dirent.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "child/child_process.h"
#include "common/temp_dir.h"
#include "storage_test_util.h"

using namespace storage_test;

namespace {

std::string Utf8(const WCHAR* text) {
  return std::string(text, text + std::char_traits<WCHAR>::length(text));
}

std::string Run(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return "<failed>";
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  return pclose(p) == 0 ? out : "<failed>\n" + out;
}

std::string OleDump(const std::string& file) {
  return Run("/usr/bin/python3 " + std::string(std::getenv("ZR_TEST_DATA")) + "/ole_dump.py '" +
             file + "'");
}

// A file with stream "a", sub-storage "s" holding stream "b".
void WriteSample(const std::u16string& path) {
  IXStorage* root = new_Storage(path.c_str(), 0);
  Put(root, "a", "alpha");
  IXStorage* sub = root->CreateStorage("s");
  Put(sub, "b", std::string(5000, 'b'));
  sub->Release();
  root->Release();
}

TEST(Storage, InMemoryStorageKeepsStreamsUntilReleased) {
  IXStorage* storage = new_Storage(nullptr, 0);
  ASSERT_NE(storage, nullptr);
  EXPECT_EQ(Utf8(storage->GetName()), "");
  Put(storage, "a", "one");
  Put(storage, "b", "two");
  storage->CreateStorage("s")->Release();
  EXPECT_EQ(Get(storage, "a"), "one");
  EXPECT_EQ(Names(storage->EnumStreams()), (std::set<std::string>{"a", "b"}));
  EXPECT_EQ(Names(storage->EnumStorages()), (std::set<std::string>{"s"}));
  EXPECT_EQ(storage->GetParentStorage(), nullptr);
  IXStorage* sub = storage->OpenStorage("s");
  IXStorage* parent = sub->GetParentStorage();
  EXPECT_EQ(parent, storage);
  parent->Release();
  EXPECT_GE(storage->DestroyStream("a"), 0);
  EXPECT_EQ(storage->OpenStream("a"), nullptr);
  EXPECT_EQ(FileError([&] { storage->DestroyStream("a"); }),
            (std::pair<DWORD, DWORD>{ZRCAUSE_FILENOTFOUND, ZRSTORAGEOP_DESTROY}));
  storage->Release();  // the sub-storage keeps it alive
  EXPECT_EQ(Names(sub->EnumStreams()), std::set<std::string>{});
  sub->Release();
}

TEST(Storage, TemporaryFileIsNamedAndDeletedOnRelease) {
  IXStorage* kept = new_Storage(u"ignored", ZRSTORAGE_TEMPORARY);
  const std::string keptPath = Utf8(kept->GetName());
  // GetTempFileNameW keeps the prefix's first three characters, as on Windows.
  EXPECT_NE(keptPath.find("/ZRP"), std::string::npos) << keptPath;
  kept->Release();
  EXPECT_TRUE(zrtest::Exists(keptPath));
  std::remove(keptPath.c_str());

  IXStorage* gone = new_Storage(nullptr, ZRSTORAGE_TEMPORARY | ZRSTORAGE_DELETEONRELEASE);
  const std::string gonePath = Utf8(gone->GetName());
  Put(gone, "x", "data");
  EXPECT_TRUE(zrtest::Exists(gonePath));
  gone->Release();
  EXPECT_FALSE(zrtest::Exists(gonePath));
}

TEST(Storage, FailuresCarryTheTranslatedCause) {
  zrtest::TempDir dir;
  using Error = std::pair<DWORD, DWORD>;
  EXPECT_EQ(FileError([&] { open_Storage(dir.WPath("missing").c_str(), 1); }),
            (Error{ZRCAUSE_FILENOTFOUND, ZRSTORAGEOP_OPEN}));
  EXPECT_EQ(FileError([&] { open_Storage(u"ftp://host/file.stg", 1); }),
            (Error{ZRCAUSE_FILENOTFOUND, ZRSTORAGEOP_OPEN}));
  zrtest::WriteText(dir.Path("plain"), std::string(600, 'x'));
  EXPECT_EQ(FileError([&] { open_Storage(dir.WPath("plain").c_str(), 1); }).second,
            ZRSTORAGEOP_OPEN);
  // The folders of a new file are made first.
  new_Storage(dir.WPath("deep/er/file.stg").c_str(), 0)->Release();
  EXPECT_TRUE(zrtest::Exists(dir.Path("deep/er/file.stg")));

  IXStorage* storage = new_Storage(nullptr, 0);
  EXPECT_EQ(storage->OpenStream("none"), nullptr);
  EXPECT_EQ(FileError([&] { storage->OpenStorage("none"); }),
            (Error{ZRCAUSE_FILENOTFOUND, ZRSTORAGEOP_OPEN}));
  IXStream* stream = storage->CreateStream("s");
  EXPECT_EQ(FileError([&] { stream->Seek(0, 3); }), (Error{ZRCAUSE_INVALIDARG, ZRSTORAGEOP_SEEK}));
  stream->Release();
  storage->Release();
}

TEST(Storage, ElementNamesAtTheFormatsLimit) {
  IXStorage* storage = new_Storage(nullptr, 0);
  const std::string longest(31, 'n');
  const std::string tooLong(32, 'n');
  IXStream* stream = storage->CreateStream(longest.c_str());
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(std::string(stream->GetName()), longest);  // the 63-byte cut never bites
  stream->Release();
  storage->CreateStorage(("s" + longest.substr(1)).c_str())->Release();
  EXPECT_EQ(storage->CreateStream(tooLong.c_str()), nullptr);
  EXPECT_EQ(storage->OpenStream(tooLong.c_str()), nullptr);
  EXPECT_EQ(FileError([&] { storage->CreateStorage(tooLong.c_str()); }),
            (std::pair<DWORD, DWORD>{ZRCAUSE_BADPATH, ZRSTORAGEOP_OPEN}));
  EXPECT_EQ(Names(storage->EnumStreams()), std::set<std::string>{longest});
  storage->Release();
}

TEST(Storage, ReadOnlyLeavesTheFileByteForByte) {
  zrtest::TempDir dir;
  WriteSample(dir.WPath("f.stg"));
  const std::string before = zrtest::ReadText(dir.Path("f.stg"));
  IXStorage* storage = open_Storage(dir.WPath("f.stg").c_str(), 1);
  EXPECT_EQ(dynamic_cast<CStorage*>(storage)->GetFlags(), ZRSTORAGE_READONLY);
  EXPECT_EQ(Get(storage, "a"), "alpha");
  EXPECT_EQ(storage->CreateStream("new"), nullptr);
  IXStorage* sub = storage->OpenStorage("s");
  EXPECT_EQ(Get(sub, "b"), std::string(5000, 'b'));
  sub->Commit();
  storage->Commit();
  sub->Release();
  storage->Release();
  EXPECT_TRUE(zrtest::ReadText(dir.Path("f.stg")) == before);
}

TEST(Storage, TransactedChangesReachTheFileOnCommitOrLastRelease) {
  zrtest::TempDir dir;
  const std::u16string path = dir.WPath("f.stg");
  WriteSample(path);
  const std::string original = zrtest::ReadText(dir.Path("f.stg"));

  IXStorage* storage = open_Storage(path.c_str(), 0);
  EXPECT_EQ(dynamic_cast<CStorage*>(storage)->GetFlags(), ZRSTORAGE_TRANSACTED);
  Put(storage, "a", "changed");
  IXStorage* sub = storage->OpenStorage("s");
  Put(sub, "c", "new");
  sub->Release();
  EXPECT_TRUE(zrtest::ReadText(dir.Path("f.stg")) == original);
  dynamic_cast<CStorage*>(storage)->Revert();
  EXPECT_EQ(Get(storage, "a"), "alpha");
  storage->Release();  // commits what is left after the revert: nothing new
  storage = open_Storage(path.c_str(), 1);
  EXPECT_EQ(Get(storage, "a"), "alpha");
  sub = storage->OpenStorage("s");
  EXPECT_EQ(Names(sub->EnumStreams()), std::set<std::string>{"b"});
  sub->Release();
  storage->Release();

  storage = open_Storage(path.c_str(), 0);
  Put(storage, "a", "committed");
  storage->Commit();
  EXPECT_FALSE(zrtest::ReadText(dir.Path("f.stg")) == original);
  Put(storage, "z", "at release");
  storage->Release();
  storage = open_Storage(path.c_str(), 1);
  EXPECT_EQ(Get(storage, "a"), "committed");
  EXPECT_EQ(Get(storage, "z"), "at release");
  storage->Release();
}

TEST(Storage, AProcessKilledBeforeCommitLeavesTheFileAsItWas) {
  zrtest::TempDir dir;
  WriteSample(dir.WPath("f.stg"));
  const std::string original = zrtest::ReadText(dir.Path("f.stg"));
  zrtest::ChildProcess child({"storage-write", dir.Path("f.stg")});
  ASSERT_EQ(child.ReadLine(), "written");
  child.Kill();
  child.Wait();
  EXPECT_TRUE(zrtest::ReadText(dir.Path("f.stg")) == original);
  IXStorage* storage = open_Storage(dir.WPath("f.stg").c_str(), 1);
  EXPECT_EQ(Get(storage, "a"), "alpha");
  storage->Release();
}

TEST(Storage, OlefileReadsAFileWrittenThroughTheInterface) {
  zrtest::TempDir dir;
  WriteSample(dir.WPath("f.stg"));
  const std::string listing = "\n" + OleDump(dir.Path("f.stg"));
  // path|type|size|..., with the FNV-1a hash of the bytes last.
  EXPECT_NE(listing.find("\na|stream|5|"), std::string::npos) << listing;
  EXPECT_NE(listing.find("\ns|storage|0|"), std::string::npos) << listing;
  EXPECT_NE(listing.find("\ns/b|stream|5000|"), std::string::npos) << listing;
  // FNV-1a 64 of "alpha".
  EXPECT_NE(listing.find("|8ac625bb85ed202b\n"), std::string::npos) << listing;
}

// Compound files written by Windows Office and other software open through
// open_Storage and list the same top-level elements as olefile.
TEST(Storage, FilesOtherSoftwareWroteOpenAndList) {
  DIR* folder = opendir(ZR_CFB_SAMPLES);
  ASSERT_NE(folder, nullptr);
  int opened = 0;
  while (dirent* entry = readdir(folder)) {
    if (entry->d_name[0] == '.') continue;
    const std::string path = std::string(ZR_CFB_SAMPLES) + "/" + entry->d_name;
    std::set<std::string> expected;
    const std::string listing = OleDump(path);
    for (std::size_t at = 0; at < listing.size();) {
      const std::size_t end = listing.find('\n', at);
      const std::string line = listing.substr(at, end - at);
      at = end + 1;
      const std::string name = line.substr(0, line.find('|'));
      if (!name.empty() && name.find('/') == std::string::npos)
        expected.insert(name + (line.find("|storage|") != std::string::npos ? "/" : ""));
    }
    IXStorage* storage = open_Storage(std::u16string(path.begin(), path.end()).c_str(), 1);
    std::set<std::string> listed = Names(storage->EnumStreams());
    for (const std::string& name : Names(storage->EnumStorages())) listed.insert(name + "/");
    storage->Release();
    EXPECT_EQ(listed, expected) << path;
    ++opened;
  }
  closedir(folder);
  EXPECT_GE(opened, 3);
}

}  // namespace
