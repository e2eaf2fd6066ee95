// Reads the parameter text from fuzzer bytes held in memory, then writes
// the tree back as text, as the string form and as a parameter stream.
// Nothing may read out of bounds, recurse without bound, hang or leak; a
// tree read from text always writes.
#include <cstdint>
#include <cstdlib>

#include "params/paramtext.h"
#include "zr/exception.h"
#include "zr/param.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  IParam* tree = new_MemParam();
  zr::CMemTextSource source(reinterpret_cast<const char*>(data), size, zr::kMemFileName);
  Check(zr::ReadParamText(source, tree, nullptr) == 1);
  zr::CMemTextBuffer text(1024);
  zr::WriteParamText(tree, text, nullptr);
  IParam* back = new_MemParam();
  zr::CMemTextSource written(text.Data(), text.Size(), zr::kMemFileName);
  Check(zr::ReadParamText(written, back, nullptr) == 1);
  CXString form;
  Check(Param_Param2String(back, form) == 1);
  IXStream* stream = new_StreamOnMemory();
  Check(SaveParamToXStream(stream, tree) == 1);
  stream->Release();
  back->Release();
  tree->Release();
  return 0;
}
