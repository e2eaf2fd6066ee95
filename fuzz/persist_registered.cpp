// Fuzzes persisted objects of registered classes that nest objects and
// variants inside each other: the classes of fuzz/registered_classes.h are
// exported by this program and registered by name, so reading creates them
// and runs their Load, which reads further variant and object records.
//
// Input: byte 0 picks the mode; the rest is
//  - mode 0: a stream of object records, read until the end;
//  - mode 1: a prefix repeated (byte 1) x 4 times before the rest, so that
//    records nest deeper than the bound without long inputs;
//  - mode 2: a recipe for a tree of objects and variants that is built,
//    written and read back.
// Properties: what was read writes, reads back and writes again as the same
// bytes; SizeOfObject is the size written; skipping a written record ends
// where reading it does; nesting past the bound throws the malformed record's
// exception, never exhausts the stack; every failure is of the library's
// exception family and leaks nothing.
#include <algorithm>
#include <cstdint>

#include "fuzz/registered_classes.h"

namespace {

using namespace fuzzclasses;

void WriteObject(IXStream* s, IZRUnknown* object) {
  IPersistXStream* persist = nullptr;
  Check(object->QueryInterface(typeid(IPersistXStream), reinterpret_cast<void**>(&persist)) == 1);
  const ULONG start = s->GetPosition();
  WriteObjectToXStream(s, persist);
  Check(SizeOfObject(persist) == s->GetPosition() - start);
  persist->Release();
}

// Writes, reads back and writes again: the same bytes both times, and
// skipping the records ends where reading them did.
void CheckFixedPoint(IZRUnknown* object) {
  IXStream* once = new_StreamOnMemory();
  WriteObject(once, object);
  const Bytes first = Content(once);
  once->Seek(0, ZRSEEK_SET);
  Check(SkipObjectToXStream(once) == 0 && once->GetPosition() == first.size());
  once->Seek(0, ZRSEEK_SET);
  IZRUnknown* back = nullptr;
  Check(ReadObjectFromXStream(once, &back) == 1 && back);
  Check(once->GetPosition() == first.size());
  once->Release();
  IXStream* twice = new_StreamOnMemory();
  WriteObject(twice, back);
  Check(Content(twice) == first);
  twice->Release();
  back->Release();
}

void ReadAll(const Bytes& bytes) {
  IXStream* in = StreamOver(bytes);
  try {
    for (int i = 0; i < 64; ++i) {
      const ULONG start = in->GetPosition();
      IZRUnknown* object = nullptr;
      const int result = ReadObjectFromXStream(in, &object);
      const ULONG end = in->GetPosition();
      Check(end > start && (result != 0) == (object != nullptr));
      // Skipping trusts the record's length, reading a registered class its
      // Load: they agree on records that were written, not on damaged ones.
      in->Seek(static_cast<int>(start), ZRSEEK_SET);
      Check(SkipObjectToXStream(in) == start);
      in->Seek(static_cast<int>(end), ZRSEEK_SET);
      if (object) {
        CheckFixedPoint(object);
        object->Release();
      }
    }
  } catch (const CXException&) {
    // A damaged record, a short one, or one nested too deep.
  }
  in->Release();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  RegisterFuzzClasses();
  if (size < 2) return 0;
  const Bytes rest(data + 2, data + size);
  switch (data[0] % 3) {
    case 0:
      ReadAll(Bytes(data + 1, data + size));
      break;
    case 1: {
      // The prefix is up to 32 bytes, repeated up to 1020 times.
      const std::size_t prefix = std::min<std::size_t>(rest.size(), 1 + data[1] % 32);
      const std::size_t times = std::size_t{data[1]} * 4;
      Bytes built;
      for (std::size_t i = 0; i < times; ++i) built.insert(built.end(), rest.begin(), rest.begin() + prefix);
      built.insert(built.end(), rest.begin() + prefix, rest.end());
      ReadAll(built);
      break;
    }
    default: {
      FuzzedDataProvider in(data + 1, size - 1);
      IZRUnknown* object = NewObject(in, 0);
      if (object) {
        CheckFixedPoint(object);
        object->Release();
      }
      break;
    }
  }
  return 0;
}
