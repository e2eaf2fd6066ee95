// Fuzzes the PE32+ import walker on the input taken as a mapped image: the
// walk and the patching of every slot that holds one value, and back, must
// stay inside the image; a walk that wrote nothing leaves it as it was.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/check.h"
#include "pal/image/imports.h"
#include "pal/image/pe.h"

using namespace zrpal;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The walker reads the headers in place: give them the alignment a mapped
  // image has.
  std::vector<std::uint64_t> aligned(size / 8 + 1);
  std::memcpy(aligned.data(), data, size);
  BYTE* image = reinterpret_cast<BYTE*>(aligned.data());
  pe::ImportWalker walker;
  if (pe::ImportWalker::Open(image, size, &walker) != pe::Status::kOk) return 0;
  Check(walker.ImageSize() <= size);
  ULONGLONG first = 0;
  walker.ForEach([&](const pe::Import& import) {
    const BYTE* slot = reinterpret_cast<const BYTE*>(import.slot);
    Check(slot >= image && slot + sizeof(ULONGLONG) <= image + walker.ImageSize());
    Check(import.library != nullptr);
    if (import.name) Check(std::strlen(import.name) <= pe::kMaxNameLength);
    if (!first) std::memcpy(&first, slot, sizeof first);
    return true;
  });
  if (!first) return 0;
  const std::vector<std::uint64_t> before = aligned;
  const void* from = reinterpret_cast<const void*>(first);
  static const int kMarker = 0;
  std::size_t there = 0, back = 0;
  const ImportPatch out =
      PatchPeImports(reinterpret_cast<HMODULE>(image), size, from, &kMarker, &there);
  if (out != ImportPatch::kDone) return 0;
  // The way back need not find what the first walk wrote: a slot may
  // overlap a descriptor, a table, a name or another slot (tables need no
  // alignment), which nothing in a damaged image prevents. It must stay in
  // the image all the same; a walk that wrote nothing changed nothing.
  PatchPeImports(reinterpret_cast<HMODULE>(image), size, &kMarker, from, &back);
  if (there == 0) Check(aligned == before);
  return 0;
}
