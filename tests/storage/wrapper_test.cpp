// The storages and streams that wrap others: the document storage, and the
// adapters to and from the engine's platform objects.
#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "pal/ole/objidl.h"
#include "storage_test_util.h"
#include "streams/stream_test_util.h"
#include "zr/docstorage.h"
#include "zr/variant.h"

using namespace storage_test;

namespace {

// Cancels once `budget` polls have been answered (never with -1).
struct CountingProgress final : CZRUnknownImpl<ZRIFC::IProgress> {
  explicit CountingProgress(int b) : budget(b) {}
  int CheckCancel() override { return ++polls > budget && budget >= 0; }
  void SetPos(int) override {}
  void OffsetPos(int) override {}
  void SetRange(int low, int high) override { range = high - low; }
  int budget, polls = 0, range = 0;
};

struct Doc {
  explicit Doc(int budget)
      : progress(new CountingProgress(budget)), plain(new_Storage(nullptr, 0)) {
    new_CIXDocStorage(plain, progress, &doc, 7);
  }
  ~Doc() {
    doc->Release();
    plain->Release();
    progress->Release();
  }
  CountingProgress* progress;
  IXStorage* plain;
  IXStorage* doc = nullptr;
};

// A long copy stops at the cancel: typed writes poll before writing, reads
// and seeks after moving.
TEST(DocStorage, CancelStopsALongCopy) {
  Doc d(1000);
  EXPECT_EQ(d.progress->range, 100);
  IXStream* stream = d.doc->CreateStream("s");
  int written = 0;
  try {
    for (; written < 100000; ++written) stream->WriteDword(static_cast<DWORD>(written));
  } catch (const CXException& e) {
    EXPECT_EQ(e.GetCause(), DWORD{ZRCAUSE_CANCELLED});
  }
  EXPECT_EQ(written, 1000);
  EXPECT_EQ(stream->GetSize(), 4000u);  // the cancelled value was not written
  EXPECT_EQ(zrtest::CauseOf([&] { stream->Seek(0, ZRSEEK_SET); }), DWORD{ZRCAUSE_CANCELLED});
  EXPECT_EQ(zrtest::CauseOf([&] { stream->ReadByte(); }), DWORD{ZRCAUSE_CANCELLED});
  EXPECT_EQ(stream->GetPosition(), 1u);  // the seek and the read happened
  stream->Release();
  EXPECT_EQ(Get(d.plain, "s").size(), 4000u);  // the bytes are the wrapped storage's
  EXPECT_EQ(d.doc->OpenStream("missing"), nullptr);
}

TEST(DocStorage, StreamsLeadBackToTheRootAndAnswerRegisteredInterfaces) {
  Doc d(-1);
  d.doc->CreateStorage("sub")->Release();
  IXStorage* sub = d.doc->OpenStorage("sub");
  IXStream* stream = sub->CreateStream("s");
  IDocStrorageInfo* info = nullptr;
  ASSERT_EQ(stream->QueryInterface(typeid(IDocStrorageInfo), reinterpret_cast<void**>(&info)), 1);
  IXStorage *root = nullptr, *wrapped = nullptr;
  EXPECT_EQ(info->GetDocStorage(&root) + info->GetStorage(&wrapped), 2);
  EXPECT_EQ(root, d.doc);
  EXPECT_EQ(wrapped, d.plain);
  EXPECT_EQ(info->GetFlags(), 7u);
  root->Release(), wrapped->Release(), info->Release();
  void* answer = nullptr;
  EXPECT_EQ(stream->QueryInterface(typeid(ZRIFC::IProgress), &answer), 1);
  EXPECT_EQ(answer, d.progress);
  d.progress->Release();
  IRegisterIface* reg = nullptr;
  ASSERT_EQ(stream->QueryInterface(typeid(IRegisterIface), reinterpret_cast<void**>(&reg)), 1);
  IXStream* extra = new_StreamOnMemory();
  EXPECT_EQ(reg->RegisterInterface(extra, typeid(IMemBlock), 1), 1);
  EXPECT_EQ(stream->QueryInterface(typeid(IMemBlock), &answer), 1);
  EXPECT_EQ(answer, extra);
  extra->Release(), extra->Release();
  EXPECT_EQ(reg->RegisterInterface(nullptr, typeid(IMemBlock), 0),
            1);  // the registry's reference goes
  EXPECT_EQ(stream->QueryInterface(typeid(IMemBlock), &answer), 0);
  reg->Release();
  stream->WriteByte(1);
  EXPECT_EQ(d.progress->polls, 1);  // the root's progress object
  stream->Release();
  sub->Release();
}

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
