// Reads variant records, persisted objects and lines from fuzzer bytes held
// in a stream. The first byte picks the reader and the stream; the rest is
// the stream's content. Besides never reading out of bounds, allocating
// without bound or leaking, the readers must agree with the writers:
//  - a variant read and written again is a fixed point: writing it, reading
//    that back and writing again gives the same bytes (an object of an
//    unknown class writes exactly the bytes it was read from);
//  - an object record read writes back as exactly the bytes it was read
//    from (a proxy, for an unknown class) or as a fixed point (a class of
//    fuzz/registered_classes.h, registered here, whose Load reads nested
//    variants and objects);
//  - skipping moves over exactly the bytes reading consumes;
//  - a stream whose Read delivers fewer bytes than asked (as a pipe or file
//    may) reads the same values as the memory stream;
//  - a progress object that cancels stops reading with ZRCAUSE_CANCELLED,
//    and the stream stays usable;
//  - values made from the bytes (not read back) write and read back equal.
// Every failure must be an exception of the library's family.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/registered_classes.h"
#include "streams/xstream_impl.h"
#include "zr/exception.h"
#include "zr/persist.h"
#include "zr/variant.h"
#include "zr/xstream.h"

namespace {

using Bytes = std::vector<BYTE>;

IXStream* StreamOver(const BYTE* data, std::size_t size, ZRIFC::IProgress* progress = nullptr) {
  IXStream* s = new_StreamOnMemory(progress);
  IMemBlock* block = nullptr;
  Check(s->QueryInterface(typeid(IMemBlock), reinterpret_cast<void**>(&block)) == 1);
  block->SetData(data, static_cast<unsigned>(size));
  block->Release();
  return s;
}

Bytes Slice(IXStream* s, ULONG from, ULONG to) {
  const ULONG position = s->GetPosition();
  Bytes out(to - from);
  s->Seek(static_cast<int>(from), ZRSEEK_SET);
  if (!out.empty()) Check(s->Read(out.data(), static_cast<int>(out.size())) == out.size());
  s->Seek(static_cast<int>(position), ZRSEEK_SET);
  return out;
}

Bytes Written(void (*write)(IXStream*, const void*), const void* what) {
  IXStream* s = new_StreamOnMemory();
  write(s, what);
  Bytes out = Slice(s, 0, s->GetSize());
  s->Release();
  return out;
}

void WriteVariantTo(IXStream* s, const void* v) { s->WriteVariant(static_cast<const tagZRVARIANT*>(v)); }

void WriteObjectTo(IXStream* s, const void* object) {
  IPersistXStream* persist = nullptr;
  auto* unknown = static_cast<IZRUnknown*>(const_cast<void*>(object));
  Check(unknown->QueryInterface(typeid(IPersistXStream), reinterpret_cast<void**>(&persist)) == 1);
  WriteObjectToXStream(s, persist);
  persist->Release();
}

// A stream over a memory stream whose Read delivers at most `step` bytes a
// call (the typed readers of the library's base loop until they have all).
class CShortReads final : public zr::CXStreamImpl {
 public:
  CShortReads(IXStream* inner, int step) : m_inner(inner), m_step(step) { inner->AddRef(); }
  ~CShortReads() override { m_inner->Release(); }
  ULONG Read(void* buffer, int count) override {
    return m_inner->Read(buffer, std::min(count, m_step));
  }
  void Write(const void* buffer, int count) override { m_inner->Write(buffer, count); }
  ULONG Seek(int offset, unsigned int origin) override { return m_inner->Seek(offset, origin); }
  ULONG GetPosition() override { return m_inner->GetPosition(); }
  ULONG GetSize() override { return m_inner->GetSize(); }
  const char* GetName() override { return "Short reads"; }

 private:
  IXStream* m_inner;
  int m_step;
};

// Asks to cancel at its n-th poll.
class CCancelAt final : public CZRUnknownImpl<ZRIFC::IProgress> {
 public:
  explicit CCancelAt(int n) : m_left(n) {}
  int CheckCancel() override { return --m_left == 0; }
  void SetPos(int) override {}
  void OffsetPos(int) override {}
  void SetRange(int, int) override {}
  bool Cancelled() const { return m_left <= 0; }

 private:
  int m_left;
};

// Whether `object` is of a class of fuzz/registered_classes.h (created and
// loaded; it writes its own normal form, not the bytes it was read from).
bool IsRegistered(IZRUnknown* object) {
  IPersistXStream* persist = nullptr;
  if (!object || !object->QueryInterface(typeid(IPersistXStream), reinterpret_cast<void**>(&persist))) return false;
  const bool registered = std::strncmp(persist->GetClassName(), "ZrFuzz", 6) == 0;
  persist->Release();
  return registered;
}

void ReadVariants(IXStream* in) {
  CZRVariant v;
  for (;;) {
    const ULONG start = in->GetPosition();
    if (!in->ReadVariant(&v) && v.vt != ZRVT_UNKNOWN) break;
    Check(in->GetPosition() > start);
    const Bytes once = Written(WriteVariantTo, &v);
    if (v.vt == ZRVT_UNKNOWN && v.punkVal && !IsRegistered(v.punkVal))
      Check(once == Slice(in, start, in->GetPosition()));
    IXStream* again = StreamOver(once.data(), once.size());
    CZRVariant back;
    again->ReadVariant(&back);
    Check(again->GetPosition() == once.size());
    again->Release();
    Check(Written(WriteVariantTo, &back) == once);
  }
}

void ReadObjects(IXStream* in) {
  for (;;) {
    const ULONG start = in->GetPosition();
    IZRUnknown* object = nullptr;
    const int result = ReadObjectFromXStream(in, &object);
    const ULONG end = in->GetPosition();
    Check(end > start);
    Check((result != 0) == (object != nullptr));
    const bool registered = IsRegistered(object);
    // Skipping the same record ends at the same place, unless a registered
    // class's Load read other than the record's length says.
    in->Seek(static_cast<int>(start), ZRSEEK_SET);
    Check(SkipObjectToXStream(in) == start);
    Check(registered || in->GetPosition() == end);
    in->Seek(static_cast<int>(end), ZRSEEK_SET);
    if (object) {
      const Bytes written = Written(WriteObjectTo, object);
      if (registered) {
        // Created and loaded: what it writes reads back and writes the same.
        IXStream* again = StreamOver(written.data(), written.size());
        IZRUnknown* back = nullptr;
        Check(ReadObjectFromXStream(again, &back) == 1 && again->GetPosition() == written.size());
        again->Release();
        Check(Written(WriteObjectTo, back) == written);
        back->Release();
      } else {
        Check(written == Slice(in, start, end));
      }
      object->Release();
    } else {
      Check(end - start == 1);
    }
  }
}

void ReadLines(IXStream* in, int max, bool wide) {
  std::vector<char> narrow(static_cast<std::size_t>(max) + 1);
  std::vector<WCHAR> units(static_cast<std::size_t>(max) + 1);
  for (int i = 0; i < 4096; ++i) {
    const int n = wide ? in->ReadLineW(units.data(), max) : in->ReadLine(narrow.data(), max);
    Check(n >= 0 && n <= max);
    Check((wide ? units[static_cast<std::size_t>(n)] : narrow[static_cast<std::size_t>(n)]) == 0);
    if (max == 0) break;
  }
}

// Every variant record through a stream of short reads and through the
// memory stream: the same values, the same positions, the same failure.
void ReadVariantsInSteps(const std::uint8_t* data, std::size_t size, int step) {
  IXStream* plain = StreamOver(data, size);
  IXStream* inner = StreamOver(data, size);
  IXStream* shortReads = new CShortReads(inner, step);
  inner->Release();
  for (int i = 0; i < 256; ++i) {
    CZRVariant a, b;
    int ra = -1, rb = -1;
    DWORD ca = 0, cb = 0;
    try { ra = plain->ReadVariant(&a); } catch (const CXException& e) { ca = e.GetCause() + 1; }
    try { rb = shortReads->ReadVariant(&b); } catch (const CXException& e) { cb = e.GetCause() + 1; }
    Check(ra == rb && ca == cb && plain->GetPosition() == shortReads->GetPosition());
    if (ca || ra == 0) break;
    Check(Written(WriteVariantTo, &a) == Written(WriteVariantTo, &b));
  }
  plain->Release();
  shortReads->Release();
}

// Reading with a progress object that cancels at its n-th poll.
void ReadCancelled(const std::uint8_t* data, std::size_t size, int n) {
  auto* progress = new CCancelAt(n);
  IXStream* s = StreamOver(data, size, progress);
  bool cancelled = false;
  try {
    CZRVariant v;
    for (int i = 0; i < 256 && s->ReadVariant(&v); ++i) {
    }
  } catch (const CXException& e) {
    cancelled = e.GetCause() == ZRCAUSE_CANCELLED;
    Check(!cancelled || progress->Cancelled());
  }
  // Usable afterwards: a write and a read back where it went.
  const ULONG at = s->GetPosition();
  try {
    s->WriteDword(0x01020304);
  } catch (const CXException& e) {
    Check(e.GetCause() == ZRCAUSE_CANCELLED);
  }
  s->Seek(static_cast<int>(at), ZRSEEK_SET);
  try {
    Check(s->ReadDword() == 0x01020304);
  } catch (const CXException& e) {
    Check(e.GetCause() == ZRCAUSE_CANCELLED && !cancelled);
  }
  s->Release();
  progress->Release();
}

// Values made from the bytes, not read: written, read back equal, and
// written again the same.
void WriteMadeValues(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  std::vector<CZRVariant> values;
  while (values.size() < 16 && in.remaining_bytes()) values.push_back(fuzzclasses::NewVariant(in, 0));
  IXStream* s = new_StreamOnMemory();
  for (const CZRVariant& v : values) s->WriteVariant(&v);
  const Bytes first = Slice(s, 0, s->GetSize());
  s->Seek(0, ZRSEEK_SET);
  IXStream* again = new_StreamOnMemory();
  for (const CZRVariant& v : values) {
    CZRVariant back;
    Check(s->ReadVariant(&back) == (v.vt == ZRVT_UNKNOWN && !v.punkVal ? 0 : 1));
    if (v.vt != ZRVT_UNKNOWN) Check(back == v);
    again->WriteVariant(&back);
  }
  Check(s->GetPosition() == s->GetSize());
  Check(Slice(again, 0, again->GetSize()) == first);
  again->Release();
  s->Release();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  fuzzclasses::RegisterFuzzClasses();
  const BYTE mode = data[0];
  switch (mode % 8) {
    case 4:
      ReadVariantsInSteps(data + 1, size - 1, 1 + (mode >> 3) % 7);
      return 0;
    case 5:
      ReadCancelled(data + 1, size - 1, 1 + (mode >> 3));
      return 0;
    case 6:
      WriteMadeValues(data + 1, size - 1);
      return 0;
    default:
      break;
  }
  IXStream* in = StreamOver(data + 1, size - 1);
  try {
    switch (mode % 8) {
      case 0:
        ReadVariants(in);
        break;
      case 1:
      case 7:
        ReadObjects(in);
        break;
      default:
        ReadLines(in, (mode >> 3) % 64, mode % 8 == 3);
        break;
    }
  } catch (const CXException&) {
    // The end of the data, a bad record: the readers' contract.
  }
  in->Release();
  return 0;
}
