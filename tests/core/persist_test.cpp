// Object persistence: the persisted object record, reading it back through
// the class registry (classes of this program and of a plugin module),
// proxies for classes that cannot be created, skipping, and damaged records.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "test_plugin.h"
#include "tests/streams/stream_test_util.h"
#include "zr/exception.h"
#include "zr/persist.h"
#include "zr/registry.h"
#include "zr/xstream.h"

namespace {

using zrtest::Bytes;
using zrtest::Cat;
using zrtest::Content;
using zrtest::LE32;
using zrtest::MemStreamOf;
using zrtest::Ref;
using zrtest::Slot;
using zrtest::Text;

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

constexpr char kNoteClass[] = "ZrPersistTestNote";
constexpr char kPlainClass[] = "ZrPersistTestPlain";
int g_notesCreated = 0;

// A registered class of this program: a text and an optional child object.
class CNote : public CZRUnknownImpl<IPersistXStream> {
 public:
  ~CNote() override {
    if (child) child->Release();
  }
  const char* GetClassName() override { return kNoteClass; }
  ULONG GetSize() override { return static_cast<ULONG>(text.size() + 1) + SizeOfObject(child); }
  void Load(IXStream* s) override {
    char buffer[256];
    s->ReadLine(buffer, 255);
    text = buffer;
    IZRUnknown* read = nullptr;
    ReadObjectFromXStream(s, &read);
    if (child) child->Release();
    child = Query<IPersistXStream>(read);
    if (read) read->Release();
  }
  void Save(IXStream* s) override {
    s->WriteString(text.c_str());
    WriteObjectToXStream(s, child);
  }

  std::string text;
  IPersistXStream* child = nullptr;  // one reference
};

template <class T>
int Create(IZRUnknown* outer, const std::type_info& type, void** out) {
  if (outer) return 0;
  auto* object = new T;
  const int result = object->QueryInterface(type, out);
  object->Release();
  return result;
}

}  // namespace

// This program's factories; the second gives objects without persistence.
extern "C" __attribute__((visibility("default"))) int ZrPersistTestNote(IZRUnknown* outer,
                                                                       const std::type_info& type, void** out) {
  ++g_notesCreated;
  return Create<CNote>(outer, type, out);
}
extern "C" __attribute__((visibility("default"))) int ZrPersistTestPlain(IZRUnknown* outer,
                                                                        const std::type_info& type, void** out) {
  return Create<CZRUnknownImpl<IZRUnknown>>(outer, type, out);
}

namespace {

constexpr const char* kNoExportClass = "ZrPersistTestNoExport";

class Persist : public testing::Test {
 protected:
  void SetUp() override {
    Dl_info self{};
    ASSERT_NE(::dladdr(reinterpret_cast<const void*>(&ZrPersistTestNote), &self), 0);
    const auto program = static_cast<HINSTANCE>(self.dli_fbase);
    ASSERT_EQ(RegisterObject(kNoteClass, program), 1);
    ASSERT_EQ(RegisterObject(kPlainClass, program), 1);
    ASSERT_EQ(RegisterObject(kTestWidgetClass, ZR_TEST_WIDGET_PLUGIN), 1);
    ASSERT_EQ(RegisterObject(kTestThrowingClass, ZR_TEST_WIDGET_PLUGIN), 1);
    ASSERT_EQ(RegisterObject(kNoExportClass, ZR_TEST_NOEXPORT_PLUGIN), 1);
  }
  void TearDown() override {
    for (const char* name : {kNoteClass, kPlainClass, kTestWidgetClass, kTestThrowingClass, kNoExportClass})
      UnregisterObject(name);
  }
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
}

TEST_F(Persist, RegisteredClassesReadBackWithTheirNestedObjects) {
  // A note holding a note that holds a widget of the plugin.
  IZRUnknown* created = nullptr;
  ASSERT_EQ(CreateObject(kTestWidgetClass, nullptr, typeid(IPersistXStream), &created), 1);
  Ref<ITestWidget>(Query<ITestWidget>(created))->SetValue(0xA1B2C3D4);
  auto* inner = new CNote;
  inner->text = "inner";
  inner->child = reinterpret_cast<IPersistXStream*>(created);  // the interface asked for
  CNote outer;
  outer.text = "outer";
  outer.child = inner;
  Ref<IXStream> s(new_StreamOnMemory());
  WriteObjectToXStream(s.get(), &outer);
  const Bytes widgetRecord = Cat({Name(kTestWidgetClass), LE32(kWidgetSavedBytes), LE32(0xA1B2C3D4)});
  const Bytes innerRecord = Cat({Name(kNoteClass), LE32(6 + widgetRecord.size()), Name("inner"), widgetRecord});
  const Bytes expected = Cat({Name(kNoteClass), LE32(6 + innerRecord.size()), Name("outer"), innerRecord});
  EXPECT_EQ(Content(s.get()), expected);
  EXPECT_EQ(SizeOfObject(&outer), expected.size());

  s->Seek(0, ZRSEEK_SET);
  const int notes = g_notesCreated;
  Ref<IZRUnknown> read(ReadOne(s.get()));
  EXPECT_EQ(g_notesCreated, notes + 2);
  EXPECT_EQ(s->GetPosition(), expected.size());
  Ref<IPersistXStream> persist(Query<IPersistXStream>(read.get()));
  ASSERT_NE(persist.get(), nullptr);
  EXPECT_EQ(static_cast<CNote*>(persist.get())->text, "outer");
  auto* innerRead = static_cast<CNote*>(static_cast<CNote*>(persist.get())->child);
  ASSERT_NE(innerRead, nullptr);
  EXPECT_EQ(innerRead->text, "inner");
  Ref<ITestWidget> widgetRead(Query<ITestWidget>(innerRead->child));
  ASSERT_NE(widgetRead.get(), nullptr);
  EXPECT_EQ(widgetRead->GetValue(), 0xA1B2C3D4u);
  Ref<IXStream> again(new_StreamOnMemory());
  WriteObjectToXStream(again.get(), persist.get());
  EXPECT_EQ(Content(again.get()), expected);
}

TEST_F(Persist, ClassesThatCannotBeCreatedComeBackAsProxies) {
  // Unregistered, without persistence, without the factory's export; a
  // nested record inside; the longest name; no data at all.
  const Bytes records[] = {
      Cat({Name("Mystery"), LE32(9), Text("payload"), {0, 0}}),
      Cat({Name(kPlainClass), LE32(3), Text("xyz")}),
      Cat({Name(kNoExportClass), LE32(2), Text("ok")}),
      Cat({Name("Outer"), LE32(12), Name("Inner"), LE32(2), Text("hi")}),
      Cat({Name(std::string(259, 'n')), LE32(1), {9}}),
      Cat({Name("Nothing"), LE32(0)}),
  };
  for (const Bytes& record : records) {
    const std::string name(reinterpret_cast<const char*>(record.data()));
    SCOPED_TRACE(name);
    Ref<IXStream> s(MemStreamOf(Cat({record, Text("next")})));
    Ref<IZRUnknown> read(ReadOne(s.get()));
    ASSERT_NE(read.get(), nullptr);
    EXPECT_EQ(s->GetPosition(), record.size());
    Ref<IPersistXStream> proxy(Query<IPersistXStream>(read.get()));
    Ref<IPersistX> root(Query<IPersistX>(read.get()));
    ASSERT_NE(proxy.get(), nullptr);
    EXPECT_EQ(static_cast<void*>(root.get()), static_cast<void*>(proxy.get()));
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

TEST_F(Persist, AFactorysExceptionPassesThrough) {
  Ref<IXStream> s(MemStreamOf(Cat({Name(kTestThrowingClass), LE32(4), LE32(1)})));
  IZRUnknown* out = reinterpret_cast<IZRUnknown*>(&out);
  EXPECT_EQ(zrtest::CauseOf([&] { ReadObjectFromXStream(s.get(), &out); }), ZRCAUSE_INVALIDARG);
  EXPECT_EQ(out, nullptr);
}

TEST_F(Persist, DamagedRecordsAreRefused) {
  // What reading and skipping throw, and where the stream is left (a length
  // too long only fails reading).
  const struct {
    const char* what;
    Bytes bytes;
    DWORD cause;
    ULONG position;
  } cases[] = {
      {"empty stream", {}, ZRCAUSE_EOF, 0},
      {"cut in the name", Text("Myst"), ZRCAUSE_EOF, 4},
      {"cut in the length", Cat({Name("Mystery"), {5, 0}}), ZRCAUSE_EOF, 10},
      {"length one too many", Cat({Name("Mystery"), LE32(6), Text("short")}), ZRCAUSE_RECORDTOOLONG, 12},
      {"negative as a signed length", Cat({Name("Mystery"), LE32(0x80000000u), Text("x")}), ZRCAUSE_RECORDTOOLONG, 12},
      {"name of 260 characters", Cat({Name(std::string(260, 'A')), LE32(0)}), ZRCAUSE_BADFORMAT, 261},
      {"name ended by a line feed", Cat({Text("Mys\n"), LE32(0)}), ZRCAUSE_BADFORMAT, 4},
      {"longest name ended by a line feed", Cat({Text(std::string(259, 'L') + "\n"), LE32(0)}), ZRCAUSE_BADFORMAT,
       260},
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
        EXPECT_TRUE(zrtest::ThrowsFileError(run, c.cause, ZRSTREAMOP_READ, u"Memory stream"));
      } else {
        EXPECT_EQ(zrtest::CauseOf(run), c.cause);
      }
      EXPECT_EQ(out, skip ? reinterpret_cast<IZRUnknown*>(&out) : nullptr);
      EXPECT_EQ(s->GetPosition(), c.position);
    }
  }
}

TEST_F(Persist, SkippingLeavesTheStreamAtTheNextRecord) {
  CRaw a("Alpha", Text("0123456789"));
  CRaw empty("Beta", {});
  Ref<IXStream> s(new_StreamOnMemory());
  std::vector<ULONG> starts;
  for (IPersistXStream* object : {static_cast<IPersistXStream*>(&a), static_cast<IPersistXStream*>(nullptr),
                                  static_cast<IPersistXStream*>(&empty), static_cast<IPersistXStream*>(&a)}) {
    starts.push_back(s->GetPosition());
    WriteObjectToXStream(s.get(), object);
  }
  s->Seek(0, ZRSEEK_SET);
  for (ULONG start : starts) EXPECT_EQ(SkipObjectToXStream(s.get()), start);
  EXPECT_EQ(s->GetPosition(), s->GetSize());
  EXPECT_THROW(SkipObjectToXStream(s.get()), CXEofException);
}

TEST_F(Persist, BadArgumentsAndMisbehavingObjectsAreRefused) {
  using zrtest::CauseOf;
  Ref<IXStream> s(new_StreamOnMemory());
  // Names that could not be read back are not written.
  const std::string tooLong(260, 'n');
  for (const char* name : {static_cast<const char*>(nullptr), "", tooLong.c_str(), "two\nlines"}) {
    CRaw object(name, Text("data"));
    EXPECT_EQ(CauseOf([&] { WriteObjectToXStream(s.get(), &object); }), ZRCAUSE_INVALIDARG);
    EXPECT_EQ(s->GetSize(), 0u);
  }
  // A Save that moves the stream before its data.
  CRaw object("Rewinder", Text("abc"));
  object.rewind = true;
  IZRUnknown* out = nullptr;
  EXPECT_EQ(CauseOf([&] { WriteObjectToXStream(s.get(), &object); }), ZRCAUSE_INVALIDARG);
  EXPECT_EQ(CauseOf([&] { WriteObjectToXStream(nullptr, &object); }), ZRCAUSE_INVALIDARG);
  EXPECT_EQ(CauseOf([&] { ReadObjectFromXStream(nullptr, &out); }), ZRCAUSE_INVALIDARG);
  EXPECT_EQ(CauseOf([&] { ReadObjectFromXStream(s.get(), nullptr); }), ZRCAUSE_INVALIDARG);
  EXPECT_EQ(CauseOf([&] { SkipObjectToXStream(nullptr); }), ZRCAUSE_INVALIDARG);
}

}  // namespace
