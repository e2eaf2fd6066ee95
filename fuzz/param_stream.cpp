// Loads a parameter tree from fuzzer bytes held in a memory stream. Besides
// never reading out of bounds, recursing without bound, allocating beyond
// what the stream announces or leaking, loading must agree with saving:
// a loaded tree saved, loaded again and saved again gives the same bytes,
// as long as its names are ones the format can carry (no line feed,
// shorter than 1022 bytes; longer ones are read in pieces).
// Every failure must be an exception of the library's family.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/check.h"
#include "zr/exception.h"
#include "zr/param.h"
#include "zr/xstream.h"

namespace {

using Bytes = std::vector<BYTE>;

IXStream* StreamOver(const BYTE* data, std::size_t size) {
  IXStream* s = new_StreamOnMemory();
  IMemBlock* block = nullptr;
  Check(s->QueryInterface(typeid(IMemBlock), reinterpret_cast<void**>(&block)) == 1);
  block->SetData(data, static_cast<unsigned>(size));
  block->Release();
  return s;
}

Bytes Saved(IParam* tree) {
  IXStream* s = new_StreamOnMemory();
  Check(SaveParamToXStream(s, tree) == 1);
  IMemBlock* block = nullptr;
  Check(s->QueryInterface(typeid(IMemBlock), reinterpret_cast<void**>(&block)) == 1);
  const BYTE* data = static_cast<const BYTE*>(block->GetData());
  Bytes out(data, data + block->GetSize());
  block->Release();
  s->Release();
  return out;
}

// Whether every name of the tree reads back as it is written.
bool Representable(IParam* node) {
  for (const bool children : {false, true}) {
    CTEnum<const char*>* e = children ? node->EnumParams() : node->EnumValues();
    const char* name = nullptr;
    bool ok = true;
    while (ok && e->Next(1, &name, nullptr)) {
      ok = !std::strchr(name, '\n') && std::strlen(name) < 1022;
      if (ok && children) {
        IParam* child = node->OpenParam(name, 0);
        ok = !child || Representable(child);
        if (child) child->Release();
      }
    }
    e->Release();
    if (!ok) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  IXStream* input = StreamOver(data, size);
  IParam* tree = new_MemParam();
  try {
    LoadParamFromXStream(input, tree);
    if (Representable(tree)) {
      const Bytes first = Saved(tree);
      IXStream* again = StreamOver(first.data(), first.size());
      IParam* copy = new_MemParam();
      Check(LoadParamFromXStream(again, copy) == 1);
      Check(Saved(copy) == first);
      copy->Release();
      again->Release();
    }
  } catch (const CXException&) {
    // Damaged records that the stream reports by exception (persisted
    // objects) end here.
  }
  tree->Release();
  input->Release();
  return 0;
}
