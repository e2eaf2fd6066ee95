// The document storage: forwarding, progress polling and cancel (before
// typed writes, after reads), the root shared by sub-storages, and the
// interfaces a document stream answers.
#include "zr/docstorage.h"

#include <gtest/gtest.h>

#include "storage_test_util.h"

using namespace storage_test;

namespace {

// Cancels once `budget` polls have been answered (never with -1).
class CountingProgress final : public CZRUnknownImpl<ZRIFC::IProgress> {
 public:
  explicit CountingProgress(int budget) : m_budget(budget) {}
  int CheckCancel() override {
    ++polls;
    return m_budget >= 0 && polls > m_budget;
  }
  void SetPos(int) override {}
  void OffsetPos(int) override {}
  void SetRange(int low, int high) override { range = {low, high}; }
  int polls = 0;
  std::pair<int, int> range{-1, -1};

 private:
  int m_budget;
};

struct DocFixture {
  explicit DocFixture(int budget) : progress(new CountingProgress(budget)) {
    plain = new_Storage(nullptr, 0);
    new_CIXDocStorage(plain, progress, &doc, 7);
  }
  ~DocFixture() {
    doc->Release();
    plain->Release();
    progress->Release();
  }
  CountingProgress* progress;
  IXStorage* plain = nullptr;
  IXStorage* doc = nullptr;
};

TEST(DocStorage, ForwardsAndPollsWithoutChangingResults) {
  DocFixture f(-1);
  EXPECT_EQ(f.progress->range, (std::pair<int, int>{0, 100}));
  IXStream* stream = f.doc->CreateStream("s");
  stream->WriteDword(5);
  stream->WriteString("text");
  EXPECT_EQ(stream->GetSize(), 9u);
  EXPECT_EQ(stream->Seek(0, ZRSEEK_SET), 0u);
  EXPECT_EQ(stream->ReadDword(), 5u);
  EXPECT_EQ(f.progress->polls, 4);  // two writes, a seek, a read; GetSize polls not
  stream->Release();
  EXPECT_EQ(Get(f.plain, "s").size(), 9u);  // the bytes are the wrapped storage's
  EXPECT_EQ(f.doc->OpenStream("missing"), nullptr);
  EXPECT_EQ(Names(f.doc->EnumStreams()), std::set<std::string>{"s"});
  EXPECT_EQ(f.doc->GetName(), f.plain->GetName());
}

TEST(DocStorage, CancelStopsReadsAfterAndTypedWritesBefore) {
  DocFixture f(1);
  IXStream* stream = f.doc->CreateStream("s");
  stream->WriteDword(1);  // poll 1 answers 0
  try {
    stream->WriteDword(2);
    ADD_FAILURE() << "not cancelled";
  } catch (const CXException& e) {
    EXPECT_EQ(e.GetCause(), static_cast<DWORD>(ZRCAUSE_CANCELLED));
  }
  EXPECT_EQ(stream->GetSize(), 4u);  // the second value was not written
  EXPECT_EQ(stream->GetPosition(), 4u);
  try {
    stream->Seek(0, ZRSEEK_SET);
  } catch (const CXException&) {
  }
  char byte;
  EXPECT_THROW(stream->Read(&byte, 1), CXException);
  EXPECT_EQ(stream->GetPosition(), 1u);  // the read happened
  stream->Release();
}

// A long copy through a document stream stops at the cancel.
TEST(DocStorage, CancelStopsALongCopy) {
  DocFixture f(1000);
  IXStream* stream = f.doc->CreateStream("big");
  int written = 0;
  try {
    for (; written < 100000; ++written) stream->WriteDword(static_cast<DWORD>(written));
  } catch (const CXException& e) {
    EXPECT_EQ(e.GetCause(), static_cast<DWORD>(ZRCAUSE_CANCELLED));
  }
  EXPECT_EQ(written, 1000);
  EXPECT_EQ(stream->GetSize(), 4000u);
  stream->Release();
}

TEST(DocStorage, SubStoragesShareTheRootAndStreamsLeadBack) {
  DocFixture f(-1);
  f.doc->CreateStorage("sub")->Release();
  IXStorage* sub = f.doc->OpenStorage("sub");
  IXStream* stream = sub->CreateStream("s");
  IDocStrorageInfo* info = nullptr;
  ASSERT_EQ(stream->QueryInterface(typeid(IDocStrorageInfo), reinterpret_cast<void**>(&info)), 1);
  IXStorage* root = nullptr;
  EXPECT_EQ(info->GetDocStorage(&root), 1);
  EXPECT_EQ(root, f.doc);
  root->Release();
  IXStorage* wrapped = nullptr;
  EXPECT_EQ(info->GetStorage(&wrapped), 1);
  EXPECT_EQ(wrapped, f.plain);
  wrapped->Release();
  EXPECT_EQ(info->GetFlags(), 7u);
  EXPECT_EQ(info->Reserved4() + info->Reserved6() + info->Reserved8(), 0);
  ZRIFC::IProgress* progress = nullptr;
  EXPECT_EQ(stream->QueryInterface(typeid(ZRIFC::IProgress), reinterpret_cast<void**>(&progress)),
            1);
  EXPECT_EQ(progress, f.progress);
  progress->Release();
  stream->WriteByte(1);
  EXPECT_EQ(f.progress->polls, 1);  // the root's progress object
  info->Release();
  stream->Release();
  sub->Release();
}

TEST(DocStorage, RegisteredInterfacesAnswerQueries) {
  DocFixture f(-1);
  IXStream* stream = f.doc->CreateStream("s");
  IRegisterIface* reg = nullptr;
  ASSERT_EQ(stream->QueryInterface(typeid(IRegisterIface), reinterpret_cast<void**>(&reg)), 1);
  IXStream* extra = new_StreamOnMemory();
  EXPECT_EQ(reg->RegisterInterface(extra, typeid(IMemBlock), 1), 1);
  void* answer = nullptr;
  EXPECT_EQ(stream->QueryInterface(typeid(IMemBlock), &answer), 1);
  EXPECT_EQ(answer, extra);
  static_cast<IZRUnknown*>(answer)->Release();
  EXPECT_EQ(reg->RegisterInterface(nullptr, typeid(IMemBlock), 0), 1);
  EXPECT_EQ(stream->QueryInterface(typeid(IMemBlock), &answer), 0);
  extra->Release();
  reg->Release();
  // A stream over a storage that is not a document storage polls nothing.
  IXStream* loose = nullptr;
  EXPECT_EQ(new_CIXDocStream(f.plain, stream, &loose, 0), 1);
  loose->WriteDword(1);
  EXPECT_EQ(loose->QueryInterface(typeid(ZRIFC::IProgress), &answer), 0);
  loose->Release();
  stream->Release();
}

}  // namespace
