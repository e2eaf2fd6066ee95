// The document storage: progress polling and cancel (after reads, before
// typed writes), the root shared by sub-storages, and what a document
// stream answers.
#include "zr/docstorage.h"

#include <gtest/gtest.h>

#include "storage_test_util.h"
#include "streams/stream_test_util.h"

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

}  // namespace
