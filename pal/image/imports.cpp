// pal/image/imports.cpp - rewriting import slots: the PE32+ walk and the
// slot write shared with the ELF walk (posix/imports.inc).
#include "pal/image/imports.h"

#include <cstring>

#include "pal/handle.h"
#include "pal/image/pe.h"
#include "pal/memory.h"

namespace zrpal {

namespace {

constexpr BYTE kElfMagic[4] = {0x7F, 'E', 'L', 'F'};

// Import slots are the loader's memory, not objects of this program: they
// are read and written as plain words, outside the address sanitizer's view
// (an ELF object's relocation may name a word the sanitizer keeps as a
// global's red zone). Slots need no alignment in a PE image.
struct __attribute__((packed, may_alias)) SlotWord {
  const void* value;
};

__attribute__((no_sanitize("address"))) const void* ReadSlot(const void* slot) {
  return static_cast<const volatile SlotWord*>(slot)->value;
}

// Rewrites one 8-byte slot that holds `from`.
__attribute__((no_sanitize("address"))) ImportPatch WriteSlot(void* slot, const void* to) {
  DWORD old = 0;
  if (!VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old)) return ImportPatch::kProtectFailed;
  static_cast<volatile SlotWord*>(slot)->value = to;
  DWORD ignored;
  VirtualProtect(slot, sizeof(void*), old, &ignored);
  FlushInstructionCache(GetCurrentProcess(), slot, sizeof(void*));
  return ImportPatch::kDone;
}

}  // namespace

bool IsElfImage(HMODULE module) {
  return module && std::memcmp(module, kElfMagic, sizeof kElfMagic) == 0;
}

ImportPatch PatchPeImports(HMODULE module, std::size_t mappedSize, const void* from, const void* to,
                           std::size_t* changed) {
  *changed = 0;
  if (!module) return ImportPatch::kNotPe;
  BYTE* base = reinterpret_cast<BYTE*>(module);
  if (mappedSize == 0) {
    // A loaded image: its headers lie in its first page, which is mapped
    // whenever the module is; SizeOfImage then bounds the rest.
    constexpr std::size_t kHeaderPage = 4096;
    pe::ImportWalker probe;
    const pe::Status headers = pe::ImportWalker::Open(base, kHeaderPage, &probe);
    if (headers != pe::Status::kOk) return ImportPatch::kNotPe;
    mappedSize = probe.Headers().OptionalHeader.SizeOfImage;
  }
  pe::ImportWalker walker;
  switch (pe::ImportWalker::Open(base, mappedSize, &walker)) {
    case pe::Status::kOk: break;
    case pe::Status::kNotPe:
    case pe::Status::kNot64: return ImportPatch::kNotPe;
    default: return ImportPatch::kBadImage;
  }
  ImportPatch result = ImportPatch::kDone;
  const ULONGLONG wanted = reinterpret_cast<ULONGLONG>(from);
  const pe::Status walked = walker.ForEach([&](const pe::Import& import) {
    const ULONGLONG value = reinterpret_cast<ULONGLONG>(ReadSlot(import.slot));
    if (value != wanted) return true;
    result = WriteSlot(import.slot, to);
    if (result != ImportPatch::kDone) return false;
    ++*changed;
    return true;
  });
  if (result != ImportPatch::kDone) return result;
  return walked == pe::Status::kOk ? ImportPatch::kDone : ImportPatch::kBadImage;
}

}  // namespace zrpal

#include "pal/image/posix/imports.inc"
