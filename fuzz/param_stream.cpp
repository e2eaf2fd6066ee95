// Loads a parameter tree from fuzzer bytes held in a memory stream. Besides
// never reading out of bounds, recursing without bound, allocating beyond
// what the stream announces or leaking, loading must agree with saving:
// a loaded tree saved, loaded again and saved again gives the same bytes,
// as long as its names are ones the format can carry (no line feed,
// shorter than 1022 bytes; longer ones are read in pieces).
// Every failure must be an exception of the library's family.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "zr/exception.h"
#include "zr/param.h"
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

bool Names(CTEnum<const char*>* e, IParam* node, bool children, int depth);

// Whether every name of the tree reads back as it is written.
bool Representable(IParam* node, int depth = 0) {
  return Names(node->EnumValues(), node, false, depth) &&
         Names(node->EnumParams(), node, true, depth);
}

bool Names(CTEnum<const char*>* e, IParam* node, bool children, int depth) {
  bool ok = true;
  const char* name = nullptr;
  while (ok && e->Next(1, &name, nullptr)) {
    const std::string text(name);
    ok = text.find('\n') == std::string::npos && text.size() < 1022;
    if (ok && children) {
      IParam* child = node->OpenParam(name, 0);
      ok = !child || Representable(child, depth + 1);
      if (child) child->Release();
    }
  }
  e->Release();
  return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  IXStream* input = StreamOver(data, size);
  IParam* tree = new_MemParam();
  try {
    LoadParamFromXStream(input, tree);
    if (!Representable(tree)) {
      tree->Release();
      input->Release();
      return 0;
    }
    const Bytes first = Saved(tree);
    IXStream* again = StreamOver(first.data(), first.size());
    IParam* copy = new_MemParam();
    Check(LoadParamFromXStream(again, copy) == 1);
    Check(Saved(copy) == first);
    copy->Release();
    again->Release();
  } catch (const CXException&) {
    // Damaged records that the stream reports by exception (persisted
    // objects) end here.
  }
  tree->Release();
  input->Release();
  return 0;
}
