// Object persistence: the persisted object record, reading it back through
// the class registry (classes of this program and of a plugin module),
// proxies for classes that cannot be created, skipping, and damaged records.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "test_plugin.h"
#include "tests/storage/stream_test_util.h"
#include "zr/exception.h"
#include "zr/persist.h"
#include "zr/registry.h"
#include "zr/xstream.h"

namespace {

using zrtest::Bytes;
using zrtest::Cat;
using zrtest::Content;
using zrtest::LE32;
using zrtest::Ref;
using zrtest::Text;

// A class name and its terminator.
Bytes Name(const std::string& s) { return Bytes(s.c_str(), s.c_str() + s.size() + 1); }

template <class T>
T* Query(IZRUnknown* object) {
  void* out = nullptr;
  return object && object->QueryInterface(typeid(T), &out) ? static_cast<T*>(out) : nullptr;
}

// An object that saves fixed bytes under a chosen class name; it is never
// registered, so it reads back as a proxy. `rewind` makes its Save move the
// stream back before its data.
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

// A registered class of this program: a text and an optional child object,
// saved as the text with its terminator and the child's nested record.
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

}  // namespace

// The factories of this program's classes, found by the registry among the
// program's exports.
extern "C" __attribute__((visibility("default"))) int ZrPersistTestNote(IZRUnknown* outer,
                                                                       const std::type_info& type,
                                                                       void** out) {
  if (outer) return 0;
  ++g_notesCreated;
  auto* note = new CNote;
  const int result = note->QueryInterface(type, out);
  note->Release();
  return result;
}

// Gives objects without a persistence interface.
extern "C" __attribute__((visibility("default"))) int ZrPersistTestPlain(IZRUnknown* outer,
                                                                        const std::type_info& type,
                                                                        void** out) {
  auto* plain = new CZRUnknownImpl<IZRUnknown>;
  const int result = plain->QueryInterface(type, out);
  plain->Release();
  return result;
}

namespace {

HINSTANCE ThisProgram() {
  Dl_info info{};
  return ::dladdr(reinterpret_cast<const void*>(&ZrPersistTestNote), &info)
             ? static_cast<HINSTANCE>(info.dli_fbase)
             : nullptr;
}

class Persist : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RegisterObject(kNoteClass, ThisProgram()), 1);
    ASSERT_EQ(RegisterObject(kPlainClass, ThisProgram()), 1);
    ASSERT_EQ(RegisterObject(kTestWidgetClass, ZR_TEST_WIDGET_PLUGIN), 1);
    ASSERT_EQ(RegisterObject(kTestThrowingClass, ZR_TEST_WIDGET_PLUGIN), 1);
    ASSERT_EQ(RegisterObject("ZrPersistTestNoExport", ZR_TEST_NOEXPORT_PLUGIN), 1);
  }
  void TearDown() override {
    for (const char* name :
         {kNoteClass, kPlainClass, kTestWidgetClass, kTestThrowingClass, "ZrPersistTestNoExport"})
      UnregisterObject(name);
  }
};

// Reads one record; the object read (null for the null object).
IZRUnknown* ReadOne(IXStream* s, int expectedResult = 1) {
  IZRUnknown* out = reinterpret_cast<IZRUnknown*>(&out);  // must be cleared
  EXPECT_EQ(ReadObjectFromXStream(s, &out), expectedResult);
  return out;
}

TEST_F(Persist, TheRecordIsNameLengthData) {
  // 58 00 03 00 00 00 and the three bytes, wherever the record starts (the
  // length is patched at its own place).
  CRaw x("X", Text("abc"));
  IXStream* s = new_StreamOnMemory();
  s->Write("pre", 3);
  EXPECT_EQ(WriteObjectToXStream(s, &x), 1);
  EXPECT_EQ(Content(s), (Bytes{'p', 'r', 'e', 0x58, 0x00, 0x03, 0x00, 0x00, 0x00, 'a', 'b', 'c'}));
  EXPECT_EQ(s->GetPosition(), 12u);
  EXPECT_EQ(SizeOfObject(&x), 9u);
  s->Release();
}

TEST_F(Persist, TheNullObjectIsOneZeroByte) {
  IXStream* s = new_StreamOnMemory();
  EXPECT_EQ(WriteObjectToXStream(s, nullptr), 1);
  s->WriteByte(0xEE);
  EXPECT_EQ(Content(s), (Bytes{0, 0xEE}));
  EXPECT_EQ(SizeOfObject(nullptr), 1u);
  s->Seek(0, ZRSEEK_SET);
  EXPECT_EQ(ReadOne(s, 0), nullptr);
  EXPECT_EQ(s->GetPosition(), 1u);
  s->Seek(0, ZRSEEK_SET);
  EXPECT_EQ(SkipObjectToXStream(s), 0u);
  EXPECT_EQ(s->GetPosition(), 1u);
  s->Release();
}

TEST_F(Persist, RegisteredClassesReadBackWithTheirNestedObjects) {
  auto* inner = new CNote;
  inner->text = "inner";
  CNote outer;
  outer.text = "outer";
  outer.child = inner;
  IXStream* s = new_StreamOnMemory();
  WriteObjectToXStream(s, &outer);
  const Bytes innerRecord = Cat({Name(kNoteClass), LE32(7), Name("inner"), {0}});
  const Bytes expected = Cat({Name(kNoteClass), LE32(static_cast<ULONG>(6 + innerRecord.size())), Name("outer"), innerRecord});
  EXPECT_EQ(Content(s), expected);
  EXPECT_EQ(SizeOfObject(&outer), expected.size());

  s->Seek(0, ZRSEEK_SET);
  const int created = g_notesCreated;
  IZRUnknown* read = ReadOne(s);
  EXPECT_EQ(g_notesCreated, created + 2);
  EXPECT_EQ(s->GetPosition(), expected.size());
  IPersistXStream* persist = Query<IPersistXStream>(read);
  ASSERT_NE(persist, nullptr);
  auto* note = static_cast<CNote*>(persist);
  EXPECT_EQ(note->text, "outer");
  ASSERT_NE(note->child, nullptr);
  EXPECT_EQ(static_cast<CNote*>(note->child)->text, "inner");
  EXPECT_EQ(static_cast<CNote*>(note->child)->child, nullptr);
  // And it writes the same record again.
  IXStream* again = new_StreamOnMemory();
  WriteObjectToXStream(again, persist);
  EXPECT_EQ(Content(again), expected);
  again->Release();
  persist->Release();
  EXPECT_EQ(read->Release(), 0u);
  s->Release();
}

TEST_F(Persist, AClassOfAPluginModuleReadsBack) {
  IZRUnknown* created = nullptr;
  ASSERT_EQ(CreateObject(kTestWidgetClass, nullptr, typeid(IPersistXStream), &created), 1);
  auto* widget = reinterpret_cast<IPersistXStream*>(created);  // the interface asked for
  ITestWidget* control = Query<ITestWidget>(widget);
  ASSERT_NE(control, nullptr);
  control->SetValue(0xA1B2C3D4);
  IXStream* s = new_StreamOnMemory();
  WriteObjectToXStream(s, widget);
  EXPECT_EQ(Content(s), Cat({Name(kTestWidgetClass), LE32(kWidgetSavedBytes), LE32(0xA1B2C3D4)}));
  s->Seek(0, ZRSEEK_SET);
  IZRUnknown* read = ReadOne(s);
  ITestWidget* readWidget = Query<ITestWidget>(read);
  ASSERT_NE(readWidget, nullptr);
  EXPECT_EQ(readWidget->GetValue(), 0xA1B2C3D4u);
  EXPECT_NE(readWidget, control);
  readWidget->Release();
  read->Release();
  control->Release();
  widget->Release();
  s->Release();
}

TEST_F(Persist, ClassesThatCannotBeCreatedComeBackAsProxies) {
  // Unregistered, registered without a persistence interface, registered in
  // a module that lacks the factory; a nested record inside; the longest
  // name; no data at all.
  const std::string longest(259, 'n');
  const Bytes records[] = {
      Cat({Name("Mystery"), LE32(9), Text("payload"), {0, 0}}),
      Cat({Name(kPlainClass), LE32(3), Text("xyz")}),
      Cat({Name("ZrPersistTestNoExport"), LE32(2), Text("ok")}),
      Cat({Name("Outer"), LE32(12), Name("Inner"), LE32(2), Text("hi")}),
      Cat({Name(longest), LE32(1), {9}}),
      Cat({Name("Nothing"), LE32(0)}),
  };
  for (const Bytes& record : records) {
    const std::string name(reinterpret_cast<const char*>(record.data()));
    SCOPED_TRACE(name);
    IXStream* s = zrtest::MemStreamOf(Cat({record, Text("next")}));
    IZRUnknown* read = ReadOne(s);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(s->GetPosition(), record.size());
    IPersistXStream* proxy = Query<IPersistXStream>(read);
    IPersistX* root = Query<IPersistX>(read);
    ASSERT_NE(proxy, nullptr);
    EXPECT_EQ(static_cast<void*>(root), static_cast<void*>(proxy));
    EXPECT_STREQ(proxy->GetClassName(), name.c_str());
    EXPECT_EQ(proxy->GetSize(), record.size() - name.size() - 5);
    EXPECT_EQ(SizeOfObject(proxy), record.size());
    IXStream* out = new_StreamOnMemory();
    WriteObjectToXStream(out, proxy);
    EXPECT_EQ(Content(out), record);  // byte for byte
    out->Release();
    root->Release();
    proxy->Release();
    EXPECT_EQ(read->Release(), 0u);
    s->Release();
  }
}

TEST_F(Persist, AFactorysExceptionPassesThrough) {
  IXStream* s = zrtest::MemStreamOf(Cat({Name(kTestThrowingClass), LE32(4), LE32(1)}));
  IZRUnknown* out = reinterpret_cast<IZRUnknown*>(&out);
  try {
    ReadObjectFromXStream(s, &out);
    ADD_FAILURE() << "no exception";
  } catch (const CXException& e) {
    EXPECT_EQ(e.GetCause(), static_cast<DWORD>(ZRCAUSE_INVALIDARG));
  }
  EXPECT_EQ(out, nullptr);
  s->Release();
}

TEST_F(Persist, TheProxysSlotsAreInContractOrder) {
  using zrtest::Slot;
  Ref<IXStream> in(zrtest::MemStreamOf(Cat({Name("Slots"), LE32(2), Text("xy")})));
  Ref<IZRUnknown> read(ReadOne(in.get()));
  Ref<IPersistXStream> proxy(Query<IPersistXStream>(read.get()));
  ASSERT_NE(proxy.get(), nullptr);
  void* self = proxy.get();
  EXPECT_STREQ(Slot<const char* (*)(void*)>(self, 3)(self), "Slots");
  EXPECT_EQ(Slot<ULONG (*)(void*)>(self, 4)(self), 2u);
  Ref<IXStream> other(zrtest::MemStreamOf(Text("pq")));
  Slot<void (*)(void*, IXStream*)>(self, 5)(self, other.get());  // Load
  EXPECT_EQ(other->GetPosition(), 2u);
  Ref<IXStream> out(new_StreamOnMemory());
  Slot<void (*)(void*, IXStream*)>(self, 6)(self, out.get());  // Save
  EXPECT_EQ(Content(out.get()), Text("pq"));
}

// A damaged record: what reading and skipping it throw, and where the stream
// is left.
struct BadRecord {
  const char* what;
  Bytes bytes;
  DWORD cause;  // ZRCAUSE_EOF from CXEofException, ZRCAUSE_BADFORMAT from CXFileException
  ULONG position;
};

TEST_F(Persist, DamagedRecordsAreRefused) {
  const std::string unterminated(260, 'A');
  const BadRecord cases[] = {
      {"empty stream", {}, ZRCAUSE_EOF, 0},
      {"cut in the name", Text("Myst"), ZRCAUSE_EOF, 4},
      {"cut in the length", Cat({Name("Mystery"), {5, 0}}), ZRCAUSE_EOF, 10},
      {"length beyond the stream", Cat({Name("Mystery"), LE32(100), Text("short")}), ZRCAUSE_RECORDTOOLONG, 12},
      {"length one too many", Cat({Name("Mystery"), LE32(6), Text("short")}), ZRCAUSE_RECORDTOOLONG, 12},
      {"negative as a signed length", Cat({Name("Mystery"), LE32(0x80000000u), Text("x")}), ZRCAUSE_RECORDTOOLONG, 12},
      {"largest length", Cat({Name("Mystery"), LE32(0xFFFFFFFFu), Text("x")}), ZRCAUSE_RECORDTOOLONG, 12},
      {"name of 260 characters", Cat({Text(unterminated), {0}, LE32(0)}), ZRCAUSE_BADFORMAT, 261},
      {"name ended by a line feed", Cat({Text("Mys\n"), LE32(0)}), ZRCAUSE_BADFORMAT, 4},
      {"longest name ended by a line feed", Cat({Text(std::string(259, 'L')), Text("\n"), LE32(0)}),
       ZRCAUSE_BADFORMAT, 260},
  };
  for (const BadRecord& c : cases) {
    SCOPED_TRACE(c.what);
    for (bool skip : {false, true}) {
      Ref<IXStream> s(zrtest::MemStreamOf(c.bytes));
      IZRUnknown* out = reinterpret_cast<IZRUnknown*>(&out);
      DWORD operation = 0;
      std::u16string name;
      const auto run = [&] {
        if (skip)
          SkipObjectToXStream(s.get());
        else
          ReadObjectFromXStream(s.get(), &out);
      };
      const DWORD cause = zrtest::CauseOf(run, &operation, &name);
      EXPECT_EQ(cause, c.cause) << (skip ? "skip" : "read");
      if (c.cause == ZRCAUSE_BADFORMAT) {
        EXPECT_EQ(operation, ZRSTREAMOP_READ);
        EXPECT_EQ(name, u"Memory stream");
      }
      if (!skip) {
        EXPECT_EQ(out, nullptr);
      }
      EXPECT_EQ(s->GetPosition(), c.position);
    }
  }
}

// A read-only stream of 4 GiB - 1 bytes: zeros, then `tail` at its very end.
// It keeps no other bytes.
class CFarStream : public CXStreamImpl {
 public:
  static constexpr ULONG kSize = 0xFFFFFFFFu;

  explicit CFarStream(Bytes tail) : m_tail(std::move(tail)) {}
  ULONG Read(void* buffer, int count) override {
    const ULONG tailStart = kSize - static_cast<ULONG>(m_tail.size());
    auto* out = static_cast<BYTE*>(buffer);
    ULONG n = 0;
    for (; n < static_cast<ULONG>(count) && m_position < kSize; ++n, ++m_position)
      out[n] = m_position >= tailStart ? m_tail[m_position - tailStart] : 0;
    return n;
  }
  void Write(const void*, int) override { ADD_FAILURE() << "read only"; }
  ULONG Seek(int offset, unsigned int origin) override {
    const std::int64_t base = origin == ZRSEEK_SET ? 0 : origin == ZRSEEK_CUR ? m_position : kSize;
    m_position = static_cast<ULONG>(std::clamp<std::int64_t>(base + offset, 0, kSize));
    return m_position;
  }
  ULONG GetPosition() override { return m_position; }
  ULONG GetSize() override { return kSize; }
  const char* GetName() override { return "far stream"; }

 private:
  Bytes m_tail;
  ULONG m_position = 0;
};

TEST_F(Persist, ARecordEndingAtTheLastPositionLeavesTheStreamThere) {
  // Reading and skipping measure the rest of the stream and come back to
  // their position, which here takes more than one int offset.
  const Bytes record = Cat({Name("FarAway"), LE32(0)});
  const ULONG start = CFarStream::kSize - static_cast<ULONG>(record.size());
  for (bool skip : {false, true}) {
    SCOPED_TRACE(skip ? "skip" : "read");
    CFarStream s(record);
    s.Seek(INT_MAX, ZRSEEK_SET);
    ASSERT_EQ(s.Seek(static_cast<int>(start - INT_MAX), ZRSEEK_CUR), start);
    if (skip) {
      EXPECT_EQ(SkipObjectToXStream(&s), start);
    } else {
      IZRUnknown* read = ReadOne(&s);
      IPersistXStream* proxy = Query<IPersistXStream>(read);
      ASSERT_NE(proxy, nullptr);
      EXPECT_STREQ(proxy->GetClassName(), "FarAway");
      EXPECT_EQ(proxy->GetSize(), 0u);
      proxy->Release();
      read->Release();
    }
    EXPECT_EQ(s.GetPosition(), CFarStream::kSize);
  }
}

TEST_F(Persist, SkippingLeavesTheStreamAtTheNextRecord) {
  CRaw a("Alpha", Text("0123456789"));
  CRaw empty("Beta", {});
  IXStream* s = new_StreamOnMemory();
  std::vector<ULONG> starts;
  for (IPersistXStream* object : {static_cast<IPersistXStream*>(&a), static_cast<IPersistXStream*>(nullptr),
                                  static_cast<IPersistXStream*>(&empty), static_cast<IPersistXStream*>(&a)}) {
    starts.push_back(s->GetPosition());
    WriteObjectToXStream(s, object);
  }
  s->Seek(0, ZRSEEK_SET);
  for (ULONG start : starts) EXPECT_EQ(SkipObjectToXStream(s), start);
  EXPECT_EQ(s->GetPosition(), s->GetSize());
  EXPECT_THROW(SkipObjectToXStream(s), CXEofException);
  s->Release();
}

TEST_F(Persist, BadArgumentsAndMisbehavingObjectsAreRefused) {
  auto causeOf = [](auto f) { return zrtest::CauseOf(f); };
  IXStream* s = new_StreamOnMemory();
  // Names that could not be read back are not written.
  const std::string tooLong(260, 'n');
  for (const char* name : {static_cast<const char*>(nullptr), "", tooLong.c_str(), "two\nlines"}) {
    CRaw object(name, Text("data"));
    EXPECT_EQ(causeOf([&] { WriteObjectToXStream(s, &object); }), ZRCAUSE_INVALIDARG);
    EXPECT_EQ(s->GetSize(), 0u);
  }
  // A Save that moves the stream before its data.
  CRaw object("Rewinder", Text("abc"));
  object.rewind = true;
  IZRUnknown* out = nullptr;
  EXPECT_EQ(causeOf([&] { WriteObjectToXStream(s, &object); }), ZRCAUSE_INVALIDARG);
  EXPECT_EQ(causeOf([&] { WriteObjectToXStream(nullptr, &object); }), ZRCAUSE_INVALIDARG);
  EXPECT_EQ(causeOf([&] { ReadObjectFromXStream(nullptr, &out); }), ZRCAUSE_INVALIDARG);
  EXPECT_EQ(causeOf([&] { ReadObjectFromXStream(s, nullptr); }), ZRCAUSE_INVALIDARG);
  EXPECT_EQ(causeOf([&] { SkipObjectToXStream(nullptr); }), ZRCAUSE_INVALIDARG);
  s->Release();
}

}  // namespace
