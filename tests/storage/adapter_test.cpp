// The adapters between the library's streams and storages and the engine's
// platform objects.
#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "pal/ole/objidl.h"
#include "storage_test_util.h"
#include "zr/variant.h"

using namespace storage_test;

namespace {

TEST(OleAdapter, StreamReadsWholeOrNothingAndReadsBackStrings) {
  IXStorage* storage = new_Storage(nullptr, 0);
  IXStream* owner = storage->CreateStream("s");
  owner->Write("0123456789", 10);  // positioned at the end
  auto* platform = static_cast<zrpal::IStream*>(Stream_GetOLEStream(owner));
  IXStream* stream = new_StreamByOleStream(platform);  // at the start again
  char buffer[80] = {};
  EXPECT_EQ(stream->Read(buffer, 4), 1u);
  EXPECT_EQ(std::string(buffer), "0123");
  EXPECT_EQ(stream->Read(buffer, 10), 0u);  // 6 bytes left
  EXPECT_EQ(stream->Seek(-2, ZRSEEK_END), 8u);
  EXPECT_EQ(stream->GetPosition() + stream->GetSize(), 0u);
  stream->Seek(0, ZRSEEK_SET);
  stream->WriteString("ab");
  stream->WriteStringW(u"w\n");
  const CZRVariant wide(u"wide text");
  stream->WriteVariant(&wide);
  stream->Seek(0, ZRSEEK_SET);
  EXPECT_EQ(stream->ReadLine(buffer, 80), 3);  // a, b and the NUL
  WCHAR units[80];
  EXPECT_EQ(stream->ReadLineW(units, 80), 3);  // an LF does not end it
  CZRVariant back;
  EXPECT_EQ(stream->ReadVariant(&back), 1);
  EXPECT_EQ(std::u16string(back.pwszVal), u"wide text");
  stream->Release();
  platform->Release();
  owner->Release();
  storage->Release();
}

TEST(OleAdapter, StorageRoundTripAndFlagsFromTheMode) {
  zrtest::TempDir dir;
  IXStorage* storage = new_Storage(dir.WPath("f.stg").c_str(), 0);
  auto* platform = static_cast<zrpal::IStorage*>(Storage_GetOLEStorage(storage));
  IXStorage* wrapped = new_StorageByOleStorage(platform);
  void* again = Storage_GetOLEStorage(wrapped);
  EXPECT_EQ(again, platform);
  EXPECT_EQ(dynamic_cast<CStorage*>(wrapped)->GetFlags(), 0u);
  Put(wrapped, "x", "shared");
  EXPECT_EQ(Get(storage, "x"), "shared");
  EXPECT_EQ(platform->AddRef(), 5u);  // `platform`, `again`, each CStorage and this call
  platform->Release(), platform->Release(), platform->Release();
  wrapped->Release();
  storage->Release();
  IXStorage* readOnly = open_Storage(dir.WPath("f.stg").c_str(), 1);
  platform = static_cast<zrpal::IStorage*>(Storage_GetOLEStorage(readOnly));
  wrapped = new_StorageByOleStorage(platform);
  EXPECT_EQ(dynamic_cast<CStorage*>(wrapped)->GetFlags(), ZRSTORAGE_READONLY);
  wrapped->Release();
  platform->Release();
  readOnly->Release();
}

}  // namespace
