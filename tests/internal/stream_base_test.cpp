// The library's stream base (streams/xstream_impl.h) under streams other than
// the memory stream: the typed readers over a stream that hands out one byte
// per Read, and object records at the 4 GiB end of a stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "streams/xstream_impl.h"
#include "tests/streams/stream_test_util.h"
#include "zr/persist.h"
#include "zr/variant.h"

namespace {

using namespace zrtest;

// A read-only stream of `size` bytes: zeros, then `tail` at its very end,
// where it starts. Read delivers at most `chunk` bytes per call.
class CReadOnlyStream : public zr::CXStreamImpl {
 public:
  CReadOnlyStream(Bytes tail, ULONG size, ULONG chunk)
      : m_tail(std::move(tail)), m_size(size), m_chunk(chunk),
        m_position(m_size - static_cast<ULONG>(m_tail.size())) {}
  ULONG Read(void* buffer, int count) override {
    ULONG n = 0;
    for (; n < static_cast<ULONG>(count) && n < m_chunk && m_position < m_size; ++n, ++m_position) {
      const ULONG fromEnd = m_size - m_position;
      static_cast<BYTE*>(buffer)[n] =
          fromEnd <= m_tail.size() ? m_tail[m_tail.size() - fromEnd] : 0;
    }
    return n;
  }
  void Write(const void*, int) override { ADD_FAILURE() << "read only"; }
  ULONG Seek(int offset, unsigned int origin) override {
    const std::int64_t base = origin == ZRSEEK_SET ? 0 : origin == ZRSEEK_CUR ? m_position : m_size;
    return m_position = static_cast<ULONG>(std::clamp<std::int64_t>(base + offset, 0, m_size));
  }
  ULONG GetPosition() override { return m_position; }
  ULONG GetSize() override { return m_size; }
  const char* GetName() override { return "read-only stream"; }

 private:
  Bytes m_tail;
  ULONG m_size;
  ULONG m_chunk;
  ULONG m_position;
};

TEST(StreamBase, ReadersCollectValuesFromOneByteReads) {
  const Bytes bytes = Cat({Text("ab\n"), {0x7F}, LE16(0xBEEF), LE32(0xDEADBEEFu), LEDouble(3.25),
                           LE16(ZRVT_INT), LE32(7), {0x11}});
  CReadOnlyStream s(bytes, static_cast<ULONG>(bytes.size()), 1);
  char line[8];
  EXPECT_EQ(s.ReadLine(line, 7), 3);
  EXPECT_STREQ(line, "ab\n");
  EXPECT_EQ(s.ReadByte(), 0x7F);
  EXPECT_EQ(s.ReadWord(), 0xBEEF);
  EXPECT_EQ(s.ReadDword(), 0xDEADBEEFu);
  EXPECT_EQ(s.ReadDouble(), 3.25);
  CZRVariant back;
  EXPECT_EQ(s.ReadVariant(&back), 1);
  EXPECT_EQ(back, CZRVariant(7));
  // A value cut by the end: the byte that was there is consumed.
  EXPECT_THROW(s.ReadWord(), CXEofException);
  EXPECT_EQ(s.GetPosition(), s.GetSize());
}

TEST(StreamBase, ARecordEndingAtTheLastPositionLeavesTheStreamThere) {
  // Measuring the rest of the stream and coming back takes more than one
  // int offset here.
  constexpr ULONG kSize = 0xFFFFFFFFu;
  const Bytes record = Cat({Text(std::string("FarAway", 8)), LE32(0)});
  const ULONG start = kSize - static_cast<ULONG>(record.size());
  for (bool skip : {false, true}) {
    SCOPED_TRACE(skip ? "skip" : "read");
    CReadOnlyStream s(record, kSize, 0x7FFFFFFF);
    if (skip) {
      EXPECT_EQ(SkipObjectToXStream(&s), start);
    } else {
      IZRUnknown* read = nullptr;
      ASSERT_EQ(ReadObjectFromXStream(&s, &read), 1);
      IPersistXStream* proxy = nullptr;
      ASSERT_EQ(read->QueryInterface(typeid(IPersistXStream), reinterpret_cast<void**>(&proxy)), 1);
      EXPECT_STREQ(proxy->GetClassName(), "FarAway");
      EXPECT_EQ(proxy->GetSize(), 0u);
      proxy->Release();
      read->Release();
    }
    EXPECT_EQ(s.GetPosition(), kSize);
  }
}

}  // namespace
