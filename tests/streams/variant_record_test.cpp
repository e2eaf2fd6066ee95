// The variant stream record: its exact bytes for every type, reading it
// back, and records that are damaged or cut short.
#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <vector>

#include "test_plugin.h"
#include "tests/streams/stream_test_util.h"
#include "zr/persist.h"
#include "zr/registry.h"
#include "zr/variant.h"

namespace {

using namespace zrtest;

Bytes Zeros(std::size_t n) { return Bytes(n, 0); }

struct RecordCase { const char* what; CZRVariant value; Bytes bytes; CZRVariant readsBack; };

// A record that reads back as the value written.
RecordCase Case(const char* what, const CZRVariant& value, Bytes bytes) {
  return {what, value, std::move(bytes), value};
}

// Every ordinary type with its record, built from the format's description.
std::vector<RecordCase> OrdinaryCases() {
  const BYTE blobData[] = {1, 2, 3};
  return {
      Case("empty", CZRVariant(), Cat({LE16(0), Zeros(4)})),
      Case("bool", CZRVariant(5, ZRVT_BOOL), Cat({LE16(1), LE32(1)})),
      Case("ui1", CZRVariant(static_cast<unsigned char>(0xAB)), Cat({LE16(2), {0xAB}})),
      Case("ulong", CZRVariant(0xFFFFFFFEul), Cat({LE16(4), LE32(0xFFFFFFFEu)})),
      Case("int", CZRVariant(-2), Cat({LE16(5), LE32(0xFFFFFFFEu)})),
      Case("double", CZRVariant(-2.5e-300), Cat({LE16(8), LEDouble(-2.5e-300)})),
      Case("float", CZRVariant(1.5f), Cat({LE16(9), LE32(std::bit_cast<std::uint32_t>(1.5f))})),
      Case("str", CZRVariant("hi"), Cat({LE16(10), LE32(3), Text(std::string("hi", 3))})),
      Case("size", CZRVariant(tagSIZE{3, -4}), Cat({LE16(11), LE32(3), LE32(0xFFFFFFFCu)})),
      Case("rsize", CZRVariant(tagRSIZE{0.5, -8.0}), Cat({LE16(12), LEDouble(0.5), LEDouble(-8.0)})),
      Case("point", CZRVariant(tagPOINT{-1, 65536}), Cat({LE16(13), LE32(0xFFFFFFFFu), LE32(65536)})),
      Case("rect", CZRVariant(tagRECT{1, 2, 30, 40}), Cat({LE16(15), LE32(1), LE32(2), LE32(30), LE32(40)})),
      Case("rrect", CZRVariant(tagRRECT{0.25, 1, 2, 3}),
           Cat({LE16(16), LEDouble(0.25), LEDouble(1), LEDouble(2), LEDouble(3)})),
      Case("blob", CZRVariant(tagZRBLOB{3, const_cast<BYTE*>(blobData)}), Cat({LE16(17), LE32(3), {1, 2, 3}})),
      Case("empty blob", CZRVariant(tagZRBLOB{0, nullptr}), Cat({LE16(17), LE32(0)})),
      Case("wstr", CZRVariant(u"ab"), Cat({LE16(19), LE32(6), LE16(u'a'), LE16(u'b'), LE16(0)})),
      // Missing texts and data are written whole.
      {"null str", CZRVariant(static_cast<const char*>(nullptr)), Cat({LE16(10), LE32(1), {0}}), CZRVariant("")},
      {"null wstr", CZRVariant(static_cast<const WCHAR*>(nullptr)), Cat({LE16(19), LE32(2), LE16(0)}),
       CZRVariant(u"")},
      {"blob without data", CZRVariant(tagZRBLOB{5, nullptr}), Cat({LE16(17), LE32(5), Zeros(5)}),
       CZRVariant(tagZRBLOB{5, Zeros(5).data()})},
  };
}

TEST(VariantRecord, EveryTypeHasItsBytesAndReadsBack) {
  for (const RecordCase& c : OrdinaryCases()) {
    SCOPED_TRACE(c.what);
    Ref<IXStream> memory(new_StreamOnMemory());
    memory->WriteVariant(&c.value);
    EXPECT_EQ(Content(memory.get()), c.bytes);
    memory->Seek(0, ZRSEEK_SET);
    CZRVariant back("something to clear first");
    EXPECT_EQ(memory->ReadVariant(&back), 1);
    EXPECT_EQ(back, c.readsBack);
    EXPECT_EQ(memory->GetPosition(), c.bytes.size());
    EXPECT_EQ(memory->ReadVariant(&back), 0);  // the end before a record
    EXPECT_EQ(back.vt, ZRVT_EMPTY);
  }
}

TEST(VariantRecord, UnknownCodesCarryNoValueAndAreRefusedOnReading) {
  for (unsigned short code : std::initializer_list<unsigned short>{20, ZRVT_UNKNOWN_BORROWED, 0xFFFF}) {
    SCOPED_TRACE(code);
    tagZRVARIANT record{};
    record.vt = code, record.ulVal = 0x12345678;
    Ref<IXStream> s(new_StreamOnMemory());
    s->WriteVariant(&record);
    EXPECT_EQ(Content(s.get()), LE16(code));
    s->WriteDword(0xCAFE);  // what follows stays unread
    s->Seek(0, ZRSEEK_SET);
    CZRVariant back(u"owned text, freed by the read");
    EXPECT_TRUE(ThrowsFileError([&] { s->ReadVariant(&back); }, ZRCAUSE_BADFORMAT, ZRSTREAMOP_READ,
                                        u"Memory stream"));
    EXPECT_EQ(back.vt, code);
    EXPECT_EQ(back.ulVal, 0u);
    EXPECT_EQ(s->GetPosition(), 2u);
  }
}

TEST(VariantRecord, CountsBeyondTheStreamFailBeforeReading) {
  // Nothing of the announced size is made, and the bytes after the count
  // are not consumed; exactly the rest of the stream is fine.
  for (unsigned short type : {ZRVT_STR, ZRVT_WSTR, ZRVT_BLOB}) {
    for (ULONG count : {10u, 11u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
      SCOPED_TRACE(testing::Message() << type << " " << count);
      Ref<IXStream> s(MemStreamOf(Cat({LE16(type), LE32(count), Text("0123456789")})));
      CZRVariant back;
      if (count == 10) {
        EXPECT_EQ(s->ReadVariant(&back), 1);
      } else {
        EXPECT_THROW(s->ReadVariant(&back), CXEofException);
        EXPECT_EQ(back.vt, type);
      }
      EXPECT_EQ(s->GetPosition(), count == 10 ? 16u : 6u);
    }
  }
}

class VariantObjectRecord : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(RegisterObject(kTestWidgetClass, ZR_TEST_WIDGET_PLUGIN), 1); }
  void TearDown() override { UnregisterObject(kTestWidgetClass); }
};

TEST_F(VariantObjectRecord, AnObjectIsItsPersistedRecordAndGoesOutUnchanged) {
  // A class of the plugin module is created anew; an unknown class is kept
  // as it was read.
  const struct { Bytes record; bool widget; } cases[] = {
      {Cat({LE16(18), Text(kTestWidgetClass), {0}, LE32(kWidgetSavedBytes), LE32(0x01020304)}), true},
      {Cat({LE16(18), Text("NoSuchClassAnywhere"), {0}, LE32(5), Text("hello")}), false},
  };
  for (const auto& c : cases) {
    Ref<IXStream> in(MemStreamOf(c.record));
    CZRVariant back;
    EXPECT_EQ(in->ReadVariant(&back), 1);
    ASSERT_EQ(back.vt, ZRVT_UNKNOWN);
    ASSERT_NE(back.punkVal, nullptr);
    Ref<IXStream> out(new_StreamOnMemory());
    out->WriteVariant(&back);
    EXPECT_EQ(Content(out.get()), c.record);
    void* widget = nullptr;
    ASSERT_EQ(back.punkVal->QueryInterface(typeid(ITestWidget), &widget), c.widget ? 1 : 0);
    if (widget) {
      EXPECT_EQ(Ref<ITestWidget>(static_cast<ITestWidget*>(widget))->GetValue(), 0x01020304u);
    }
  }
}

}  // namespace
