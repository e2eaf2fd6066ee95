// The typed operations of the streams: their bytes, the same on the memory
// stream and on a stream of the tests' own, the line readers' terminator
// rules, and the end of the data inside a value.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "tests/storage/stream_test_util.h"
#include "zr/variant.h"

namespace {

using zrtest::Bytes;
using zrtest::Cat;
using zrtest::CVectorStream;
using zrtest::LE16;
using zrtest::LE32;
using zrtest::LEDouble;
using zrtest::Ref;
using zrtest::Text;

struct WriteCase {
  const char* what;
  std::function<void(IXStream*)> write;
  Bytes expected;
};

TEST(StreamTypedOps, WritersGiveLittleEndianBytesOnEveryStream) {
  const WriteCase cases[] = {
      {"byte", [](IXStream* s) { s->WriteByte(0xA5); }, {0xA5}},
      {"word", [](IXStream* s) { s->WriteWord(0x1234); }, LE16(0x1234)},
      {"dword", [](IXStream* s) { s->WriteDword(0x89ABCDEFu); }, LE32(0x89ABCDEFu)},
      {"double", [](IXStream* s) { s->WriteDouble(-1.5e300); }, LEDouble(-1.5e300)},
      {"string", [](IXStream* s) { s->WriteString("abc"); }, Text(std::string("abc", 4))},
      {"null string", [](IXStream* s) { s->WriteString(nullptr); }, {0}},
      {"wide string", [](IXStream* s) { s->WriteStringW(u"a\u00e9\u4e2d"); },
       Cat({LE16(u'a'), LE16(0x00E9), LE16(0x4E2D), LE16(0)})},
      {"null wide string", [](IXStream* s) { s->WriteStringW(nullptr); }, {0, 0}},
      {"raw", [](IXStream* s) { s->Write("xyz", 3); }, Text("xyz")},
  };
  Ref<IXStream> memory(new_StreamOnMemory());
  CVectorStream own;
  Bytes expected;
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes before = zrtest::Content(memory.get());
    c.write(memory.get());
    c.write(&own);
    const Bytes after = zrtest::Content(memory.get());
    EXPECT_EQ(Bytes(after.begin() + before.size(), after.end()), c.expected);
    expected.insert(expected.end(), c.expected.begin(), c.expected.end());
  }
  EXPECT_EQ(zrtest::Content(memory.get()), expected);
  EXPECT_EQ(own.data, expected);
}

TEST(StreamTypedOps, ReadersUndoTheWriters) {
  const Bytes bytes = Cat({{0x7F}, LE16(0xBEEF), LE32(0xDEADBEEFu), LEDouble(3.25), LEDouble(-0.0)});
  // The stream of our own hands out one byte per Read: the readers must
  // collect their values from several calls.
  Ref<IXStream> memory(zrtest::MemStreamOf(bytes));
  CVectorStream trickle(bytes, 1);
  for (IXStream* s : {memory.get(), static_cast<IXStream*>(&trickle)}) {
    EXPECT_EQ(s->ReadByte(), 0x7F);
    EXPECT_EQ(s->ReadWord(), 0xBEEF);
    EXPECT_EQ(s->ReadDword(), 0xDEADBEEFu);
    EXPECT_EQ(s->ReadDouble(), 3.25);
    const double negativeZero = s->ReadDouble();
    EXPECT_TRUE(negativeZero == 0.0 && std::signbit(negativeZero));
    EXPECT_THROW(s->ReadByte(), CXEofException);
  }
  EXPECT_GT(trickle.reads, static_cast<int>(bytes.size()));
}

TEST(StreamTypedOps, AValueCutByTheEndThrowsAndConsumesWhatWasThere) {
  for (int have = 0; have < 8; ++have) {
    SCOPED_TRACE(have);
    const Bytes bytes(have, 0x11);
    Ref<IXStream> s(zrtest::MemStreamOf(bytes));
    if (have < 2) {
      EXPECT_THROW(s->ReadWord(), CXEofException);
    } else if (have < 4) {
      EXPECT_THROW(s->ReadDword(), CXEofException);
    } else {
      EXPECT_THROW(s->ReadDouble(), CXEofException);
    }
    EXPECT_EQ(s->GetPosition(), static_cast<ULONG>(have));
  }
}

TEST(StreamTypedOps, BadArgumentsAreRefused) {
  Ref<IXStream> memory(new_StreamOnMemory());
  memory->Write(nullptr, 0);  // nothing to write: accepted
  EXPECT_EQ(zrtest::CauseOf([&] { memory->Write(nullptr, 1); }), ZRCAUSE_INVALIDARG);
  EXPECT_EQ(zrtest::CauseOf([&] { memory->Write("x", -1); }), ZRCAUSE_INVALIDARG);
  EXPECT_EQ(zrtest::CauseOf([&] { memory->Read(nullptr, 1); }), ZRCAUSE_INVALIDARG);
  char c;
  EXPECT_EQ(zrtest::CauseOf([&] { memory->Read(&c, -1); }), ZRCAUSE_INVALIDARG);
  EXPECT_EQ(zrtest::CauseOf([&] { memory->ReadLine(nullptr, 4); }), ZRCAUSE_INVALIDARG);
  EXPECT_EQ(zrtest::CauseOf([&] { memory->ReadVariant(nullptr); }), ZRCAUSE_INVALIDARG);
  EXPECT_EQ(zrtest::CauseOf([&] { memory->WriteVariant(nullptr); }), ZRCAUSE_INVALIDARG);
  EXPECT_EQ(memory->GetSize(), 0u);
}

// One ReadLine call: the bytes it meets, its max, what it stores and returns
// (or that it throws), and where it leaves the stream.
struct LineCase {
  std::string input;
  int max;
  std::string stored;  // up to and including the stored terminator
  int result;          // -1: CXEofException
  ULONG position;
};

TEST(StreamReadLine, TerminatorRules) {
  using namespace std::string_literals;
  const LineCase cases[] = {
      {"ab\ncd", 80, "ab\n\0"s, 3, 3},
      {"cd", 80, "", -1, 2},              // ends before an LF or NUL
      {"ab\n", 3, "ab\0"s, 2, 3},         // an LF in the last slot is overwritten
      {"abc", 2, "ab\0"s, 2, 2},          // max characters, c is not read
      {"abc", 3, "abc\0"s, 3, 3},
      {"ab\0cd"s, 80, "ab\0\0"s, 3, 3},   // a NUL ends the line and is kept
      {"\0"s, 80, "\0\0"s, 1, 1},
      {"\n", 1, "\0"s, 0, 1},
      {"\n", 2, "\n\0"s, 1, 1},
      {"abc", 0, "\0"s, 0, 0},            // nothing is read
      {"abc", -5, "\0"s, 0, 0},
      {"", 4, "", -1, 0},
      {"a\nb", 4, "a\n\0"s, 2, 2},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(testing::Message() << '"' << c.input << "\" max " << c.max);
    const Bytes bytes(c.input.begin(), c.input.end());
    Ref<IXStream> memory(zrtest::MemStreamOf(bytes));
    CVectorStream trickle(bytes, 1);
    for (IXStream* s : {memory.get(), static_cast<IXStream*>(&trickle)}) {
      std::string buffer(90, '#');
      if (c.result < 0) {
        EXPECT_THROW(s->ReadLine(buffer.data(), c.max), CXEofException);
      } else {
        EXPECT_EQ(s->ReadLine(buffer.data(), c.max), c.result);
        EXPECT_EQ(buffer.substr(0, c.stored.size()), c.stored);
        EXPECT_EQ(buffer[c.stored.size()], '#');  // nothing stored beyond
      }
      EXPECT_EQ(s->GetPosition(), c.position);
    }
  }
}

TEST(StreamReadLine, WideLinesFollowTheSameRules) {
  const Bytes bytes = Cat({LE16(u'x'), LE16(0x20AC), LE16(u'\n'), LE16(u'y'), LE16(0), LE16(u'z')});
  Ref<IXStream> s(zrtest::MemStreamOf(bytes));
  WCHAR buffer[16];
  EXPECT_EQ(s->ReadLineW(buffer, 10), 3);
  EXPECT_EQ(std::u16string(buffer, 4), std::u16string(u"x\u20ac\n\0", 4));
  EXPECT_EQ(s->ReadLineW(buffer, 10), 2);
  EXPECT_EQ(std::u16string(buffer, 3), std::u16string(u"y\0\0", 3));
  EXPECT_THROW(s->ReadLineW(buffer, 10), CXEofException);
  // Half a unit at the end of the data is the end of the data.
  Ref<IXStream> odd(zrtest::MemStreamOf(Cat({LE16(u'a'), {0x62}})));
  EXPECT_THROW(odd->ReadLineW(buffer, 10), CXEofException);
  EXPECT_EQ(odd->GetPosition(), 3u);
  Ref<IXStream> capped(zrtest::MemStreamOf(Cat({LE16(u'a'), LE16(u'b'), LE16(u'\n')})));
  EXPECT_EQ(capped->ReadLineW(buffer, 3), 2);
  EXPECT_EQ(std::u16string(buffer, 3), std::u16string(u"ab\0", 3));
}

TEST(StreamTable, SlotsAreInContractOrder) {
  // Every operation called through the raw table by its slot number, as
  // other modules call them.
  using zrtest::Slot;
  Ref<IXStream> stream(new_StreamOnMemory());
  void* s = stream.get();
  const CZRVariant seven(7);
  Slot<void (*)(void*, const void*, int)>(s, 4)(s, "ab", 2);  // Write
  Slot<void (*)(void*, const tagZRVARIANT*)>(s, 14)(s, &seven);
  Slot<void (*)(void*, BYTE)>(s, 15)(s, 0x11);
  Slot<void (*)(void*, WORD)>(s, 16)(s, 0x2233);
  Slot<void (*)(void*, DWORD)>(s, 17)(s, 0x44556677u);
  Slot<void (*)(void*, double)>(s, 18)(s, 1.5);
  Slot<void (*)(void*, const WCHAR*)>(s, 19)(s, u"w");
  Slot<void (*)(void*, const char*)>(s, 20)(s, "n");
  const Bytes expected = Cat({Text("ab"), LE16(ZRVT_INT), LE32(7), {0x11}, LE16(0x2233), LE32(0x44556677u),
                              LEDouble(1.5), LE16(u'w'), LE16(0), Text(std::string("n", 2))});
  EXPECT_EQ(zrtest::Content(stream.get()), expected);
  EXPECT_EQ(Slot<ULONG (*)(void*)>(s, 21)(s), expected.size());  // GetSize
  EXPECT_STREQ(Slot<const char* (*)(void*)>(s, 22)(s), "Memory stream");

  EXPECT_EQ(Slot<ULONG (*)(void*, int, unsigned)>(s, 5)(s, 1, ZRSEEK_SET), 1u);  // Seek
  EXPECT_EQ(Slot<ULONG (*)(void*)>(s, 6)(s), 1u);                                // GetPosition
  char c = 0;
  EXPECT_EQ(Slot<ULONG (*)(void*, void*, int)>(s, 3)(s, &c, 1), 1u);  // Read
  EXPECT_EQ(c, 'b');
  CZRVariant back;
  EXPECT_EQ(Slot<int (*)(void*, tagZRVARIANT*)>(s, 13)(s, &back), 1);
  EXPECT_EQ(back, seven);
  EXPECT_EQ(Slot<BYTE (*)(void*)>(s, 7)(s), 0x11);
  EXPECT_EQ(Slot<WORD (*)(void*)>(s, 8)(s), 0x2233);
  EXPECT_EQ(Slot<DWORD (*)(void*)>(s, 9)(s), 0x44556677u);
  EXPECT_EQ(Slot<double (*)(void*)>(s, 10)(s), 1.5);
  WCHAR wide[4];
  EXPECT_EQ(Slot<int (*)(void*, WCHAR*, int)>(s, 11)(s, wide, 3), 2);  // ReadLineW
  EXPECT_EQ(wide[0], u'w');
  char narrow[4];
  EXPECT_EQ(Slot<int (*)(void*, char*, int)>(s, 12)(s, narrow, 3), 2);  // ReadLine
  EXPECT_EQ(narrow[0], 'n');

  // The memory block's own three operations.
  Ref<IMemBlock> block(zrtest::MemBlockOf(stream.get()));
  void* b = block.get();
  EXPECT_EQ(Slot<ULONG (*)(void*)>(b, 3)(b), expected.size());  // GetSize
  EXPECT_EQ(Slot<void* (*)(void*)>(b, 4)(b), block->GetData());
  Slot<void (*)(void*, const void*, unsigned)>(b, 5)(b, "xyz", 3);  // SetData
  EXPECT_EQ(zrtest::Content(stream.get()), Text("xyz"));
}

}  // namespace
