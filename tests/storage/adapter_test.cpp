// The adapters between the library's streams and storages and the engine's
// platform objects: Read's whole-or-nothing answer, positioning, the string
// readers, the variant record, and the flags taken from a platform mode.
#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "pal/ole/objidl.h"
#include "storage_test_util.h"
#include "zr/variant.h"

using namespace storage_test;

namespace {

// A platform stream of `data` (positioned at its end) in a storage in
// memory, which lives as long as the stream is used.
struct PlatformStream {
  explicit PlatformStream(const std::string& data) : storage(new_Storage(nullptr, 0)) {
    IXStream* stream = storage->CreateStream("s");
    stream->Write(data.data(), static_cast<int>(data.size()));
    platform = static_cast<zrpal::IStream*>(Stream_GetOLEStream(stream));
    stream->Release();
  }
  ~PlatformStream() {
    platform->Release();
    storage->Release();
  }
  IXStorage* storage;
  zrpal::IStream* platform;
};

TEST(OleAdapter, ReadAnswersWholeOrNothingFromTheStart) {
  PlatformStream p("abcd");
  IXStream* stream = new_StreamByOleStream(p.platform);  // positioned at its start
  char buffer[10] = {};
  EXPECT_EQ(stream->Read(buffer, 4), 1u);
  EXPECT_EQ(std::string(buffer, 4), "abcd");
  stream->Seek(0, ZRSEEK_SET);
  EXPECT_EQ(stream->Read(buffer, 10), 0u);
  EXPECT_EQ(stream->GetPosition(), 0u);
  EXPECT_EQ(stream->GetSize(), 0u);
  EXPECT_STREQ(stream->GetName(), "");
  stream->Release();
}

TEST(OleAdapter, SeekAndStringsAndVariants) {
  PlatformStream p("0123456789");
  IXStream* stream = new_StreamByOleStream(p.platform);
  EXPECT_EQ(stream->Seek(-2, ZRSEEK_END), 8u);
  stream->Seek(0, ZRSEEK_SET);
  stream->WriteString("ab");
  stream->WriteStringW(u"w\n");
  stream->WriteDword(0x01020304);
  const CZRVariant wide(u"wide text");
  stream->WriteVariant(&wide);
  stream->Seek(0, ZRSEEK_SET);
  char line[80];
  EXPECT_EQ(stream->ReadLine(line, 80), 3);  // a, b and the NUL
  EXPECT_STREQ(line, "ab");
  WCHAR wline[80];
  EXPECT_EQ(stream->ReadLineW(wline, 80), 3);  // an LF does not end it
  EXPECT_EQ(std::u16string(wline), u"w\n");
  EXPECT_EQ(stream->ReadDword(), 0x01020304u);
  CZRVariant back;
  EXPECT_EQ(stream->ReadVariant(&back), 1);
  EXPECT_EQ(std::u16string(back.pwszVal), u"wide text");
  stream->Seek(0, ZRSEEK_SET);
  EXPECT_EQ(stream->ReadLine(line, 1), 1);  // max units, no terminator
  EXPECT_EQ(stream->ReadLine(line, 0), 0);
  stream->Release();
}

TEST(OleAdapter, PlatformStorageRoundTripAndFlags) {
  IXStorage* storage = new_Storage(nullptr, 0);
  auto* platform = static_cast<zrpal::IStorage*>(Storage_GetOLEStorage(storage));
  ASSERT_NE(platform, nullptr);
  IXStorage* wrapped = new_StorageByOleStorage(platform);
  auto* again = static_cast<zrpal::IStorage*>(Storage_GetOLEStorage(wrapped));
  EXPECT_EQ(again, platform);
  EXPECT_EQ(dynamic_cast<CStorage*>(wrapped)->GetFlags(), 0u);
  EXPECT_EQ(std::u16string(wrapped->GetName()), u"");
  Put(wrapped, "x", "shared");
  EXPECT_EQ(Get(storage, "x"), "shared");
  // One reference each for `again` and `platform`, one for each CStorage.
  again->Release();
  EXPECT_EQ(platform->AddRef(), 4u);
  platform->Release();
  wrapped->Release();
  platform->Release();
  storage->Release();
}

TEST(OleAdapter, ReadOnlyPlatformStorageGivesReadOnlyFlags) {
  zrtest::TempDir dir;
  IXStorage* sample = new_Storage(dir.WPath("f.stg").c_str(), 0);
  Put(sample, "a", "kept");
  sample->Release();
  IXStorage* readOnly = open_Storage(dir.WPath("f.stg").c_str(), 1);
  auto* platform = static_cast<zrpal::IStorage*>(Storage_GetOLEStorage(readOnly));
  IXStorage* wrapped = new_StorageByOleStorage(platform);
  EXPECT_EQ(dynamic_cast<CStorage*>(wrapped)->GetFlags(), ZRSTORAGE_READONLY);
  wrapped->Release();
  platform->Release();
  readOnly->Release();
}

}  // namespace
