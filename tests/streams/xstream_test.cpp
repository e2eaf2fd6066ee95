// The typed operations of the streams, called through their table slots as
// other modules call them: their bytes, the line readers' terminator rules,
// values cut by the end. (tests/internal/stream_base_test.cpp runs them over
// a stream that reads one byte at a time.)
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "tests/streams/stream_test_util.h"
#include "zr/variant.h"

namespace {

using namespace zrtest;

TEST(StreamTypedOps, WritersGiveLittleEndianBytes) {
  const CZRVariant seven(7);
  const struct { const char* what; std::function<void(IXStream*)> write; Bytes expected; } cases[] = {
      {"raw", [](IXStream* s) { Call(s, 4, static_cast<const void*>("xyz"), 3); }, Text("xyz")},
      {"variant", [&](IXStream* s) { Call(s, 14, static_cast<const tagZRVARIANT*>(&seven)); },
       Cat({LE16(ZRVT_INT), LE32(7)})},
      {"byte", [](IXStream* s) { Call(s, 15, BYTE{0xA5}); }, {0xA5}},
      {"word", [](IXStream* s) { Call(s, 16, WORD{0x1234}); }, LE16(0x1234)},
      {"dword", [](IXStream* s) { Call(s, 17, DWORD{0x89ABCDEFu}); }, LE32(0x89ABCDEFu)},
      {"double", [](IXStream* s) { Call(s, 18, -1.5e300); }, LEDouble(-1.5e300)},
      {"wide string", [](IXStream* s) { Call(s, 19, static_cast<const WCHAR*>(u"a\u00e9\u4e2d")); },
       Cat({LE16(u'a'), LE16(0x00E9), LE16(0x4E2D), LE16(0)})},
      {"null wide string", [](IXStream* s) { Call(s, 19, static_cast<const WCHAR*>(nullptr)); }, {0, 0}},
      {"string", [](IXStream* s) { Call(s, 20, static_cast<const char*>("abc")); }, Text(std::string("abc", 4))},
      {"null string", [](IXStream* s) { Call(s, 20, static_cast<const char*>(nullptr)); }, {0}},
  };
  Ref<IXStream> memory(new_StreamOnMemory());
  Bytes expected;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    c.write(memory.get());
    expected.insert(expected.end(), c.expected.begin(), c.expected.end());
    EXPECT_EQ(Content(memory.get()), expected);
    EXPECT_EQ(Call<ULONG>(memory.get(), 21), expected.size());  // GetSize
  }
  EXPECT_STREQ(Call<const char*>(memory.get(), 22), "Memory stream");
}

TEST(StreamTypedOps, ReadersUndoTheWriters) {
  const Bytes bytes = Cat({Text("ab"), {0x7F}, LE16(0xBEEF), LE32(0xDEADBEEFu), LEDouble(3.25), LEDouble(-0.0),
                           LE16(ZRVT_INT), LE32(7)});
  Ref<IXStream> memory(MemStreamOf(bytes));
  IXStream* s = memory.get();
  EXPECT_EQ(Call<ULONG>(s, 5, 1, ZRSEEK_SET), 1u);  // Seek
  EXPECT_EQ(Call<ULONG>(s, 6), 1u);                 // GetPosition
  char c = 0;
  EXPECT_EQ(Call<ULONG>(s, 3, static_cast<void*>(&c), 1), 1u);  // Read
  EXPECT_EQ(c, 'b');
  EXPECT_EQ(Call<BYTE>(s, 7), 0x7F);
  EXPECT_EQ(Call<WORD>(s, 8), 0xBEEF);
  EXPECT_EQ(Call<DWORD>(s, 9), 0xDEADBEEFu);
  EXPECT_EQ(Call<double>(s, 10), 3.25);
  const double negativeZero = Call<double>(s, 10);
  EXPECT_TRUE(negativeZero == 0.0 && std::signbit(negativeZero));
  CZRVariant back;
  EXPECT_EQ(Call<int>(s, 13, static_cast<tagZRVARIANT*>(&back)), 1);  // ReadVariant
  EXPECT_EQ(back, CZRVariant(7));
  EXPECT_THROW(s->ReadByte(), CXEofException);
}

TEST(StreamReadLine, TerminatorRules) {
  using namespace std::string_literals;
  // What is stored up to the stored terminator, the result (-1:
  // CXEofException), and where the stream is left.
  const struct { std::string input; int max; std::string stored; int result; ULONG position; } cases[] = {
      {"ab\ncd", 80, "ab\n\0"s, 3, 3},   {"cd", 80, "", -1, 2},  // ends before an LF or NUL
      {"ab\n", 3, "ab\0"s, 2, 3},        // an LF in the last slot is overwritten
      {"abc", 2, "ab\0"s, 2, 2},         // max characters, c is not read
      {"ab\0cd"s, 80, "ab\0\0"s, 3, 3},  // a NUL ends the line and is kept
      {"\n", 1, "\0"s, 0, 1},            {"\n", 2, "\n\0"s, 1, 1},
      {"abc", 0, "\0"s, 0, 0},           {"abc", -5, "\0"s, 0, 0},  {"", 4, "", -1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << '"' << c.input << "\" max " << c.max);
    const Bytes bytes(c.input.begin(), c.input.end());
    Ref<IXStream> memory(MemStreamOf(bytes));
    IXStream* s = memory.get();
    std::string buffer(90, '#');
    if (c.result < 0) {
      EXPECT_THROW(s->ReadLine(buffer.data(), c.max), CXEofException);
    } else {
      EXPECT_EQ(Call<int>(s, 12, buffer.data(), c.max), c.result);
      EXPECT_EQ(buffer.substr(0, c.stored.size()), c.stored);
      EXPECT_EQ(buffer[c.stored.size()], '#');  // nothing stored beyond
    }
    EXPECT_EQ(s->GetPosition(), c.position);
  }
}

TEST(StreamTable, TheMemoryBlocksSlotsAreInContractOrder) {
  Ref<IXStream> stream(MemStreamOf(Text("abcd")));
  Ref<IMemBlock> block(MemBlockOf(stream.get()));
  EXPECT_EQ(Call<ULONG>(block.get(), 3), 4u);  // GetSize
  EXPECT_EQ(Call<void*>(block.get(), 4), block->GetData());
  Call(block.get(), 5, static_cast<const void*>("xyz"), 3u);  // SetData
  EXPECT_EQ(Content(stream.get()), Text("xyz"));
}

}  // namespace
