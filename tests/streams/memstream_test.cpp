// The memory stream through its two interfaces, and cancellation through a
// progress object.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <numeric>

#include "tests/streams/stream_test_util.h"
#include "zr/variant.h"

namespace {

using namespace zrtest;

TEST(MemStream, ReadsWritesAndSeeksWithinTheStream) {
  Ref<IXStream> s(new_StreamOnMemory());
  char buffer[10] = {};
  EXPECT_EQ(s->Read(buffer, 4), 0u);  // new: empty
  EXPECT_EQ(Ref<IMemBlock>(MemBlockOf(s.get()))->GetData(), nullptr);
  s->Write("abc", 3);
  EXPECT_EQ(s->Seek(1, ZRSEEK_SET), 1u);
  EXPECT_EQ(s->Read(buffer, 10), 2u);  // clipped at the end
  EXPECT_STREQ(buffer, "bc");
  // Overwriting, then extending; the size is the highest position reached.
  s->Seek(1, ZRSEEK_SET);
  s->Write("XYZ", 3);
  s->Seek(0, ZRSEEK_SET);
  s->Write("1", 1);
  EXPECT_EQ(Content(s.get()), Text("1XYZ"));
  const struct { ULONG from; int offset; unsigned origin; ULONG expected; } cases[] = {
      {4, -5, ZRSEEK_SET, 0}, {4, 100, ZRSEEK_END, 10},     {4, -3, ZRSEEK_END, 7},     {4, 3, ZRSEEK_CUR, 7},
      {4, -9, ZRSEEK_CUR, 0}, {4, INT_MAX, ZRSEEK_CUR, 10}, {4, INT_MIN, ZRSEEK_END, 0}};
  s->Write("123456789", 9);
  for (const auto& c : cases) {
    s->Seek(static_cast<int>(c.from), ZRSEEK_SET);
    EXPECT_EQ(s->Seek(c.offset, c.origin), c.expected) << c.from << " " << c.offset << " " << c.origin;
    EXPECT_EQ(s->GetSize(), 10u);
  }
  // An unknown origin names the stream and the seek, and moves nothing.
  s->Seek(6, ZRSEEK_SET);
  EXPECT_TRUE(ThrowsFileError([&] { s->Seek(0, 3); }, ZRCAUSE_INVALIDARG, ZRSTREAMOP_SEEK, u"Memory stream"));
  EXPECT_EQ(s->GetPosition(), 6u);
  EXPECT_EQ(CauseOf([&] { s->Write("x", -1); }), ZRCAUSE_INVALIDARG);  // bad arguments
  EXPECT_EQ(CauseOf([&] { s->Read(nullptr, 1); }), ZRCAUSE_INVALIDARG);
  EXPECT_EQ(CauseOf([&] { s->ReadVariant(nullptr); }), ZRCAUSE_INVALIDARG);
}

TEST(MemStream, SetDataReplacesTheBufferAndWritesMayComeFromIt) {
  Bytes p(20);
  std::iota(p.begin(), p.end(), BYTE{100});
  Ref<IXStream> s(new_StreamOnMemory());
  Ref<IMemBlock> block(MemBlockOf(s.get()));
  s->Write("abcdefgh", 8);
  s->Seek(5, ZRSEEK_SET);
  block->SetData(p.data(), 20);
  EXPECT_EQ(s->GetPosition(), 5u);  // kept
  EXPECT_EQ(Content(s.get()), p);
  // From the stream's own bytes, and shorter than the position: the
  // position comes back to the new end.
  s->Seek(0, ZRSEEK_END);
  block->SetData(static_cast<BYTE*>(block->GetData()) + 2, 4);
  EXPECT_EQ(Content(s.get()), Bytes(p.begin() + 2, p.begin() + 6));
  EXPECT_EQ(s->GetPosition(), 4u);
  block->SetData(p.data(), 0);  // no buffer left
  EXPECT_EQ(block->GetData(), nullptr);
  // Growing moves the buffer; bytes written from it must move along.
  Bytes twice(4096);
  std::iota(twice.begin(), twice.end(), BYTE{0});
  s->Write(twice.data(), 4096);
  s->Write(block->GetData(), 4096);
  twice.insert(twice.end(), twice.begin(), twice.end());
  EXPECT_EQ(Content(s.get()), twice);
  s->Seek(1, ZRSEEK_SET);  // overlapping without growth
  s->Write(block->GetData(), 100);
  std::copy_backward(twice.begin(), twice.begin() + 100, twice.begin() + 101);
  EXPECT_EQ(Content(s.get()), twice);
}

// Asks to cancel from poll number `cancelAt` on (0: never).
class CProgress : public CZRUnknownImpl<ZRIFC::IProgress> {
 public:
  int CheckCancel() override { return ++polls, cancelAt > 0 && polls >= cancelAt; }
  void SetPos(int) override {}
  void OffsetPos(int) override {}
  void SetRange(int, int) override {}
  ULONG Count() const { return m_cRef; }
  int polls = 0, cancelAt = 0;
};

TEST(MemStream, ProgressIsPolledAndCanCancel) {
  CProgress progress;
  IXStream* s = new_StreamOnMemory(&progress);
  EXPECT_EQ(progress.Count(), 2u);  // the stream holds a reference
  s->Write("abcd", 4);
  s->WriteDword(7);
  EXPECT_EQ(progress.polls, 2);
  // Cancelling: the data is moved, then the exception comes.
  progress.cancelAt = progress.polls + 1;
  EXPECT_EQ(CauseOf([&] { s->Write("ef", 2); }), ZRCAUSE_CANCELLED);
  EXPECT_EQ(s->GetSize(), 10u);
  s->Seek(0, ZRSEEK_SET);
  char buffer[4];
  EXPECT_EQ(CauseOf([&] { s->Read(buffer, 4); }), ZRCAUSE_CANCELLED);
  EXPECT_EQ(s->GetPosition(), 4u);
  // Usable again once the caller stops cancelling; a read at the end reads
  // nothing and does not poll.
  progress.cancelAt = 0;
  EXPECT_EQ(s->ReadDword(), 7u);
  s->Seek(0, ZRSEEK_END);
  const int polls = progress.polls;
  EXPECT_EQ(s->Read(buffer, 4), 0u);
  EXPECT_EQ(progress.polls, polls);
  s->Release();
  EXPECT_EQ(progress.Count(), 1u);  // released with the stream
}

}  // namespace
