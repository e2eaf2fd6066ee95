// The memory stream through its two interfaces, the empty stream, and
// cancellation through a progress object.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <numeric>
#include <string>

#include "tests/streams/stream_test_util.h"
#include "zr/persist.h"
#include "zr/variant.h"

namespace {

using namespace zrtest;

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

// An object that would notice being saved into the empty stream.
class CNoisy : public CZRUnknownImpl<IPersistXStream> {
 public:
  const char* GetClassName() override { return "Noisy"; }
  ULONG GetSize() override { return 0; }
  void Load(IXStream*) override {}
  void Save(IXStream*) override { ++saves; }
  int saves = 0;
};

TEST(MemStream, ReadsWritesAndSeeksWithinTheStream) {
  Ref<IXStream> s(new_StreamOnMemory());
  char buffer[10] = {};
  EXPECT_EQ(s->Read(buffer, 4), 0u);  // new: empty
  EXPECT_THROW(s->ReadByte(), CXEofException);
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
  EXPECT_EQ(s->GetPosition(), 1u);
  EXPECT_EQ(Content(s.get()), Text("1XYZ"));

  const struct { ULONG from; int offset; unsigned origin; ULONG expected; } cases[] = {
      {4, -5, ZRSEEK_SET, 0}, {4, 100, ZRSEEK_END, 10},     {4, -3, ZRSEEK_END, 7},     {4, 3, ZRSEEK_CUR, 7},
      {4, -9, ZRSEEK_CUR, 0}, {4, INT_MAX, ZRSEEK_CUR, 10}, {4, INT_MIN, ZRSEEK_END, 0}, {10, 0, ZRSEEK_CUR, 10},
  };
  s->Write("123456789", 9);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.from << " " << c.offset << " " << c.origin);
    s->Seek(static_cast<int>(c.from), ZRSEEK_SET);
    EXPECT_EQ(s->Seek(c.offset, c.origin), c.expected);
    EXPECT_EQ(s->GetPosition(), c.expected);
    EXPECT_EQ(s->GetSize(), 10u);
  }
  // An unknown origin names the stream and the seek, and moves nothing.
  s->Seek(6, ZRSEEK_SET);
  for (unsigned origin : {3u, 0xFFFFFFFFu}) {
    EXPECT_TRUE(ThrowsFileError([&] { s->Seek(0, origin); }, ZRCAUSE_INVALIDARG, ZRSTREAMOP_SEEK, u"Memory stream"));
    EXPECT_EQ(s->GetPosition(), 6u);
  }
}

TEST(MemStream, BothInterfacesAreOneObject) {
  IXStream* s = new_StreamOnMemory();
  void *block = nullptr, *unknown = nullptr, *stream = nullptr, *viaStream = nullptr, *other = &other;
  ASSERT_EQ(s->QueryInterface(typeid(IMemBlock), &block), 1);
  auto* memBlock = static_cast<IMemBlock*>(block);
  ASSERT_EQ(memBlock->QueryInterface(typeid(IZRUnknown), &unknown), 1);
  ASSERT_EQ(memBlock->QueryInterface(typeid(IXStream), &stream), 1);
  EXPECT_EQ(stream, static_cast<void*>(s));
  ASSERT_EQ(s->QueryInterface(typeid(IZRUnknown), &viaStream), 1);
  EXPECT_EQ(viaStream, unknown);
  EXPECT_EQ(s->QueryInterface(typeid(ZRIFC::IProgress), &other), 0);
  EXPECT_EQ(other, nullptr);
  // Five references (creation and four answers) on one count.
  EXPECT_EQ(memBlock->AddRef(), 6u);
  for (ULONG left = 5; left > 0; --left) EXPECT_EQ(s->Release(), left);
  EXPECT_EQ(memBlock->Release(), 0u);
}

TEST(MemStream, SetDataReplacesTheBuffer) {
  Bytes p(20);
  std::iota(p.begin(), p.end(), BYTE{100});
  Ref<IXStream> s(new_StreamOnMemory());
  Ref<IMemBlock> block(MemBlockOf(s.get()));
  s->Write("abcdefgh", 8);
  s->Seek(5, ZRSEEK_SET);
  block->SetData(p.data(), 20);
  EXPECT_EQ(s->GetSize(), 20u);
  EXPECT_EQ(s->GetPosition(), 5u);  // kept
  EXPECT_EQ(Content(s.get()), p);
  // From the stream's own bytes, and shorter than the position: the
  // position comes back to the new end.
  s->Seek(0, ZRSEEK_END);
  block->SetData(static_cast<BYTE*>(block->GetData()) + 2, 4);
  EXPECT_EQ(Content(s.get()), Bytes(p.begin() + 2, p.begin() + 6));
  EXPECT_EQ(s->GetPosition(), 4u);
  block->SetData(nullptr, 3);
  EXPECT_EQ(Content(s.get()), Bytes(3, 0));
  // Length 0 leaves no buffer; the stream still grows when written.
  block->SetData(p.data(), 0);
  EXPECT_EQ(block->GetData(), nullptr);
  EXPECT_EQ(s->GetPosition(), 0u);
  s->Write("xy", 2);
  EXPECT_EQ(Content(s.get()), Text("xy"));
}

TEST(MemStream, WritesFromItsOwnBuffer) {
  // Growing moves the buffer; bytes written from it must move along.
  Ref<IXStream> s(new_StreamOnMemory());
  Bytes twice(4096);
  std::iota(twice.begin(), twice.end(), BYTE{0});
  s->Write(twice.data(), 4096);
  Ref<IMemBlock> block(MemBlockOf(s.get()));
  s->Write(block->GetData(), 4096);
  twice.resize(8192);
  std::copy_n(twice.begin(), 4096, twice.begin() + 4096);
  EXPECT_EQ(Content(s.get()), twice);
  // Overlapping without growth, short and long.
  for (int n : {3, 100}) {
    s->Seek(1, ZRSEEK_SET);
    s->Write(block->GetData(), n);
    std::copy_backward(twice.begin(), twice.begin() + n, twice.begin() + 1 + n);
    EXPECT_EQ(Content(s.get()), twice);
  }
}

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
  EXPECT_EQ(std::memcmp(buffer, "abcd", 4), 0);
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

// A sink of size 1 that reads zeros, never moves and takes every write.
TEST(EmptyStream, ReadsZerosTakesEveryWriteAndSeeksWithinItsOneByte) {
  Ref<IXStream> s(new_EmptyStream());
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(s->Read(buffer, 6), 1u);
  EXPECT_EQ(std::string(buffer, 8), std::string("\0\0\0\0\0\0xx", 8));
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(s->ReadByte(), 0);
    EXPECT_EQ(s->ReadWord(), 0);
    EXPECT_EQ(s->ReadDword(), 0u);
    EXPECT_EQ(s->ReadDouble(), 0.0);
  }
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(s->ReadLine(buffer, 5), 1);
  EXPECT_EQ(std::string(buffer, 2), std::string("\0x", 2));
  WCHAR wide[2] = {u'x', u'x'};
  EXPECT_EQ(s->ReadLineW(wide, 3), 1);
  EXPECT_EQ(std::u16string(wide, 2), std::u16string(u"\0x", 2));
  CZRVariant v(u"freed by the read");
  EXPECT_EQ(s->ReadVariant(&v), 1);
  EXPECT_EQ(v.vt, ZRVT_EMPTY);
  void* out = &out;
  EXPECT_EQ(s->QueryInterface(typeid(IMemBlock), &out), 0);
  EXPECT_EQ(out, nullptr);

  CNoisy noisy;
  CZRVariant object(static_cast<IZRUnknown*>(&noisy));
  s->Write("abc", 3);
  s->WriteByte(1), s->WriteWord(2), s->WriteDword(3), s->WriteDouble(4.0);
  s->WriteString("text"), s->WriteStringW(u"text");
  s->WriteVariant(&object);
  EXPECT_EQ(noisy.saves, 0);
  EXPECT_EQ(s->GetSize(), 1u);
  EXPECT_EQ(s->GetPosition(), 0u);
  object.Clear();
  const struct { int offset; unsigned origin; ULONG expected; } cases[] = {
      {5, ZRSEEK_SET, 1}, {-1, ZRSEEK_CUR, 0}, {0, ZRSEEK_END, 1}, {-7, ZRSEEK_END, 0}, {1, ZRSEEK_CUR, 1}};
  for (const auto& c : cases) {
    EXPECT_EQ(s->Seek(c.offset, c.origin), c.expected);
    EXPECT_EQ(s->GetPosition(), c.expected);
  }
  EXPECT_TRUE(ThrowsFileError([&] { s->Seek(0, 7); }, ZRCAUSE_INVALIDARG, ZRSTREAMOP_SEEK, u"Empty stream"));
}

}  // namespace
