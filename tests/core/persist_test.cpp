// Object persistence: the persisted object record, reading it back through
// the class registry, proxies for classes that cannot be created, skipping,
// and damaged records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "test_plugin.h"
#include "tests/streams/stream_test_util.h"
#include "zr/exception.h"
#include "zr/persist.h"
#include "zr/registry.h"
#include "zr/variant.h"
#include "zr/xstream.h"

namespace {

using namespace zrtest;

// A class name and its terminator.
Bytes Name(const std::string& s) { return Bytes(s.c_str(), s.c_str() + s.size() + 1); }

template <class T>
T* Query(IZRUnknown* object) {
  void* out = nullptr;
  return object && object->QueryInterface(typeid(T), &out) ? static_cast<T*>(out) : nullptr;
}

// Saves fixed bytes under a chosen, unregistered class name; `rewind` makes
// its Save move the stream back before its data.
class CRaw : public CZRUnknownImpl<IPersistXStream> {
 public:
  CRaw(const char* name, Bytes bytes) : m_name(name), m_bytes(std::move(bytes)) {}
  const char* GetClassName() override { return m_name; }
  ULONG GetSize() override { return static_cast<ULONG>(m_bytes.size()); }
  void Load(IXStream*) override { ADD_FAILURE() << "not registered: never loaded"; }
  void Save(IXStream* s) override {
    if (!m_bytes.empty()) s->Write(m_bytes.data(), static_cast<int>(m_bytes.size()));
    if (rewind) s->Seek(-static_cast<int>(m_bytes.size()) - 1, ZRSEEK_CUR);
  }
  bool rewind = false;

 private:
  const char* m_name;
  Bytes m_bytes;
};

class Persist : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(RegisterObject(kTestThrowingClass, ZR_TEST_WIDGET_PLUGIN), 1); }
  void TearDown() override { UnregisterObject(kTestThrowingClass); }
};

// Reads one record; the object read (null for the null object).
IZRUnknown* ReadOne(IXStream* s, int expectedResult = 1) {
  IZRUnknown* out = reinterpret_cast<IZRUnknown*>(&out);  // must be cleared
  EXPECT_EQ(ReadObjectFromXStream(s, &out), expectedResult);
  return out;
}

TEST_F(Persist, TheRecordIsNameLengthDataAndTheNullObjectOneZeroByte) {
  // The length is patched at its own place, wherever the record starts.
  CRaw x("X", Text("abc"));
  Ref<IXStream> s(new_StreamOnMemory());
  s->Write("pre", 3);
  EXPECT_EQ(WriteObjectToXStream(s.get(), &x), 1);
  EXPECT_EQ(s->GetPosition(), 12u);
  EXPECT_EQ(WriteObjectToXStream(s.get(), nullptr), 1);
  EXPECT_EQ(Content(s.get()), (Bytes{'p', 'r', 'e', 0x58, 0x00, 0x03, 0x00, 0x00, 0x00, 'a', 'b', 'c', 0}));
  EXPECT_EQ(SizeOfObject(&x), 9u);
  EXPECT_EQ(SizeOfObject(nullptr), 1u);
  s->Seek(12, ZRSEEK_SET);
  EXPECT_EQ(ReadOne(s.get(), 0), nullptr);
  EXPECT_EQ(s->GetPosition(), 13u);
  // A factory's exception passes through; nothing is handed out.
  Ref<IXStream> throwing(MemStreamOf(Cat({Name(kTestThrowingClass), LE32(4), LE32(1)})));
  IZRUnknown* none = reinterpret_cast<IZRUnknown*>(&none);
  EXPECT_EQ(CauseOf([&] { ReadObjectFromXStream(throwing.get(), &none); }), ZRCAUSE_INVALIDARG);
  EXPECT_EQ(none, nullptr);
}

TEST_F(Persist, ClassesThatCannotBeCreatedComeBackAsProxies) {
  // Unregistered, with a nested record; the longest name, without data.
  const Bytes records[] = {Cat({Name("Outer"), LE32(12), Name("Inner"), LE32(2), Text("hi")}),
                           Cat({Name(std::string(259, 'n')), LE32(0)})};
  for (const Bytes& record : records) {
    const std::string name(reinterpret_cast<const char*>(record.data()));
    SCOPED_TRACE(name);
    Ref<IXStream> s(MemStreamOf(Cat({record, Text("next")})));
    Ref<IZRUnknown> read(ReadOne(s.get()));
    EXPECT_EQ(s->GetPosition(), record.size());
    Ref<IPersistXStream> proxy(Query<IPersistXStream>(read.get()));
    ASSERT_NE(proxy.get(), nullptr);
    EXPECT_EQ(SizeOfObject(proxy.get()), record.size());
    Ref<IXStream> out(new_StreamOnMemory());
    WriteObjectToXStream(out.get(), proxy.get());
    EXPECT_EQ(Content(out.get()), record);  // byte for byte
    // Through the table: the name, the size, Load of other data, Save.
    void* self = proxy.get();
    EXPECT_STREQ(Slot<const char* (*)(void*)>(self, 3)(self), name.c_str());
    EXPECT_EQ(Slot<ULONG (*)(void*)>(self, 4)(self), record.size() - name.size() - 5);
    const Bytes reversed(record.rbegin(), record.rend() - static_cast<std::ptrdiff_t>(name.size()) - 5);
    Ref<IXStream> other(MemStreamOf(Cat({reversed, Text("next")})));
    Slot<void (*)(void*, IXStream*)>(self, 5)(self, other.get());
    EXPECT_EQ(other->GetPosition(), reversed.size());
    Ref<IXStream> saved(new_StreamOnMemory());
    Slot<void (*)(void*, IXStream*)>(self, 6)(self, saved.get());
    EXPECT_EQ(Content(saved.get()), reversed);
  }
}

TEST_F(Persist, DamagedRecordsAreRefused) {
  // What reading and skipping throw, and where the stream is left (a length
  // too long only fails reading).
  const struct { const char* what; Bytes bytes; DWORD cause; ULONG position; } cases[] = {
      {"empty stream", {}, ZRCAUSE_EOF, 0},
      {"cut in the length", Cat({Name("Mystery"), {5, 0}}), ZRCAUSE_EOF, 10},
      {"length one too many", Cat({Name("Mystery"), LE32(6), Text("short")}), ZRCAUSE_RECORDTOOLONG, 12},
      {"negative as a signed length", Cat({Name("Mystery"), LE32(0x80000000u), Text("x")}), ZRCAUSE_RECORDTOOLONG, 12},
      {"name of 260 characters", Cat({Name(std::string(260, 'A')), LE32(0)}), ZRCAUSE_BADFORMAT, 261},
  };
  for (const auto& c : cases) {
    for (bool skip : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.what << (skip ? ", skip" : ", read"));
      Ref<IXStream> s(MemStreamOf(c.bytes));
      IZRUnknown* out = reinterpret_cast<IZRUnknown*>(&out);
      if (skip && c.cause == ZRCAUSE_RECORDTOOLONG) {
        // Skipping seeks by the length: the memory stream stops at its end.
        EXPECT_EQ(SkipObjectToXStream(s.get()), 0u);
        EXPECT_EQ(s->GetPosition(), s->GetSize());
        continue;
      }
      const auto run = [&] { skip ? (void)SkipObjectToXStream(s.get()) : (void)ReadObjectFromXStream(s.get(), &out); };
      if (c.cause == ZRCAUSE_BADFORMAT) {
        EXPECT_TRUE(ThrowsFileError(run, c.cause, ZRSTREAMOP_READ, u"Memory stream"));
      } else {
        EXPECT_EQ(CauseOf(run), c.cause);
      }
      EXPECT_EQ(out, skip ? reinterpret_cast<IZRUnknown*>(&out) : nullptr);
      EXPECT_EQ(s->GetPosition(), c.position);
    }
  }
}

// `depth` records of the nesting class, each holding the next as a
// ZRVT_UNKNOWN variant record; the innermost holds an empty variant.
Bytes NestedRecords(int depth) {
  Bytes inner = Cat({LE16(ZRVT_EMPTY), LE32(0)});
  for (int i = 0; i < depth; ++i) {
    const Bytes record = Cat({Name(kTestNestClass), LE32(static_cast<std::uint32_t>(inner.size())), inner});
    inner = Cat({LE16(ZRVT_UNKNOWN), record});
  }
  return Bytes(inner.begin() + 2, inner.end());  // the outermost as an object record
}

TEST(PersistNesting, RecordsNestUpTo256DeepAndNoDeeper) {
  ASSERT_EQ(RegisterObject(kTestNestClass, ZR_TEST_WIDGET_PLUGIN), 1);
  for (int depth : {1, 255, 256, 257, 1000}) {
    SCOPED_TRACE(depth);
    const Bytes records = NestedRecords(depth);
    Ref<IXStream> s(MemStreamOf(records));
    IZRUnknown* out = nullptr;
    if (depth <= 256) {
      ASSERT_EQ(ReadObjectFromXStream(s.get(), &out), 1);
      Ref<IZRUnknown> object(out);
      EXPECT_EQ(s->GetPosition(), records.size());
      Ref<IPersistXStream> persist(Query<IPersistXStream>(object.get()));
      ASSERT_NE(persist.get(), nullptr);
      Ref<IXStream> written(new_StreamOnMemory());
      WriteObjectToXStream(written.get(), persist.get());
      EXPECT_EQ(Content(written.get()), records);
    } else {
      // The 257th record is refused after its length, as a malformed one.
      EXPECT_TRUE(ThrowsFileError([&] { ReadObjectFromXStream(s.get(), &out); }, ZRCAUSE_BADFORMAT,
                                  ZRSTREAMOP_READ, u"Memory stream"));
      EXPECT_EQ(out, nullptr);
      const std::size_t recordHead = sizeof kTestNestClass + 4 + 2;  // name, length, variant type
      EXPECT_EQ(s->GetPosition(), 257 * recordHead - 2);
    }
  }
  // The bound counts open records only: the thread reads again afterwards.
  Ref<IXStream> again(MemStreamOf(NestedRecords(256)));
  IZRUnknown* out = nullptr;
  EXPECT_EQ(ReadObjectFromXStream(again.get(), &out), 1);
  Ref<IZRUnknown> object(out);
  UnregisterObject(kTestNestClass);
}

TEST_F(Persist, SkippingLeavesTheStreamAtTheNextRecordAndBadArgumentsAreRefused) {
  CRaw a("Alpha", Text("0123456789"));
  CRaw empty("Beta", {});
  Ref<IXStream> s(new_StreamOnMemory());
  std::vector<ULONG> starts;
  for (IPersistXStream* object : {static_cast<IPersistXStream*>(&a), static_cast<IPersistXStream*>(nullptr),
                                  static_cast<IPersistXStream*>(&empty)}) {
    starts.push_back(s->GetPosition());
    WriteObjectToXStream(s.get(), object);
  }
  s->Seek(0, ZRSEEK_SET);
  for (ULONG start : starts) EXPECT_EQ(SkipObjectToXStream(s.get()), start);
  EXPECT_EQ(s->GetPosition(), s->GetSize());
  EXPECT_THROW(SkipObjectToXStream(s.get()), CXEofException);
  // Names that could not be read back are not written, nor a Save that
  // moves the stream before its data.
  const ULONG size = s->GetSize();
  const std::string tooLong(260, 'n');
  for (const char* name : {static_cast<const char*>(nullptr), "", tooLong.c_str(), "two\nlines", "Rewinder"}) {
    CRaw object(name, Text("data"));
    object.rewind = name && name[0] == 'R';
    EXPECT_EQ(CauseOf([&] { WriteObjectToXStream(s.get(), &object); }), ZRCAUSE_INVALIDARG);
    if (!object.rewind) {
      EXPECT_EQ(s->GetSize(), size);
    }
  }
  EXPECT_EQ(CauseOf([&] { ReadObjectFromXStream(s.get(), nullptr); }), ZRCAUSE_INVALIDARG);
  EXPECT_EQ(CauseOf([&] { SkipObjectToXStream(nullptr); }), ZRCAUSE_INVALIDARG);
}

}  // namespace
