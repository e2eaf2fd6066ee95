// The empty stream: a sink of size 1 that reads zeros and takes every write.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/storage/stream_test_util.h"
#include "zr/persist.h"
#include "zr/variant.h"

namespace {

using zrtest::Ref;

// An object that would notice being saved into the sink.
class CNoisy : public CZRUnknownImpl<IPersistXStream> {
 public:
  const char* GetClassName() override { return "Noisy"; }
  ULONG GetSize() override { return 0; }
  void Load(IXStream*) override {}
  void Save(IXStream*) override { ++saves; }
  int saves = 0;
};

TEST(EmptyStream, ReadsZerosAndNeverEnds) {
  Ref<IXStream> s(new_EmptyStream());
  ASSERT_NE(s.get(), nullptr);
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(s->Read(buffer, 6), 1u);
  EXPECT_EQ(std::string(buffer, 8), std::string("\0\0\0\0\0\0xx", 8));
  for (int i = 0; i < 2; ++i) {  // reading never moves it nor runs out
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
  EXPECT_EQ(s->GetPosition(), 0u);
  void* out = &out;
  EXPECT_EQ(s->QueryInterface(typeid(IMemBlock), &out), 0);
  EXPECT_EQ(out, nullptr);
}

TEST(EmptyStream, TakesEveryWriteAndSeeksWithinItsOneByte) {
  Ref<IXStream> s(new_EmptyStream());
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

  const struct {
    int offset;
    unsigned origin;
    ULONG expected;
  } cases[] = {{5, ZRSEEK_SET, 1}, {-1, ZRSEEK_CUR, 0}, {0, ZRSEEK_END, 1}, {-7, ZRSEEK_END, 0}, {1, ZRSEEK_CUR, 1}};
  for (const auto& c : cases) {
    EXPECT_EQ(s->Seek(c.offset, c.origin), c.expected);
    EXPECT_EQ(s->GetPosition(), c.expected);
  }
  EXPECT_TRUE(zrtest::ThrowsFileError([&] { s->Seek(0, 7); }, ZRCAUSE_INVALIDARG, ZRSTREAMOP_SEEK, u"Empty stream"));
}

}  // namespace
