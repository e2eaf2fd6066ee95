// Reads variant records, persisted objects and lines from fuzzer bytes held
// in a memory stream. The first byte picks the reader; the rest is the
// stream. Besides never reading out of bounds, allocating without bound or
// leaking, the readers must agree with the writers:
//  - a variant read and written again is a fixed point: writing it, reading
//    that back and writing again gives the same bytes;
//  - an object record read (as a proxy: no class is registered here) writes
//    back as exactly the bytes it was read from;
//  - skipping moves over exactly the bytes reading consumes.
// Every failure must be an exception of the library's family.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "zr/exception.h"
#include "zr/persist.h"
#include "zr/variant.h"
#include "zr/xstream.h"

namespace {

using Bytes = std::vector<BYTE>;

void Check(bool ok) {
  if (!ok) std::abort();
}

IXStream* StreamOver(const BYTE* data, std::size_t size) {
  IXStream* s = new_StreamOnMemory();
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

void ReadVariants(IXStream* in) {
  CZRVariant v;
  for (;;) {
    const ULONG start = in->GetPosition();
    if (!in->ReadVariant(&v) && v.vt != ZRVT_UNKNOWN) break;
    Check(in->GetPosition() > start);
    const Bytes once = Written(WriteVariantTo, &v);
    if (v.vt == ZRVT_UNKNOWN && v.punkVal) Check(once == Slice(in, start, in->GetPosition()));
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
    // Skipping the same record ends at the same place.
    in->Seek(static_cast<int>(start), ZRSEEK_SET);
    Check(SkipObjectToXStream(in) == start);
    Check(in->GetPosition() == end);
    if (object) {
      Check(Written(WriteObjectTo, object) == Slice(in, start, end));
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
    if (wide)
      Check(units[static_cast<std::size_t>(n)] == 0);
    else
      Check(narrow[static_cast<std::size_t>(n)] == 0);
    if (max == 0) break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const BYTE mode = data[0];
  IXStream* in = StreamOver(data + 1, size - 1);
  try {
    switch (mode % 4) {
      case 0:
        ReadVariants(in);
        break;
      case 1:
        ReadObjects(in);
        break;
      default:
        ReadLines(in, (mode >> 2) % 64, mode % 4 == 3);
        break;
    }
  } catch (const CXException&) {
    // The end of the data, a bad record: the readers' contract.
  }
  in->Release();
  return 0;
}
