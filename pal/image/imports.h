// pal/image/imports.h - rewriting the import slots of a loaded module.
//
// Two kinds of image hold the addresses a module calls other modules
// through:
//  - a PE32+ image (mapped in the process): the import address table of
//    every import descriptor (pal/image/pe.h);
//  - an ELF object loaded by the dynamic loader: the GOT entries that its
//    .rela.plt and .rela.dyn relocations (JUMP_SLOT, GLOB_DAT, 64) filled,
//    found through dl_iterate_phdr and PT_DYNAMIC.
// In both, every slot that holds `from` gets `to`: a slot's page is made
// writable (VirtualProtect, PAGE_READWRITE), written, given its previous
// protection back, and the instruction cache is flushed for its 8 bytes.
// Restoring is the same call with `from` and `to` exchanged.
//
// Images are outside data: every table and name is checked against the
// image before use and every walk is bounded (pe.h; kMaxRelocations), so a
// damaged image is refused, not followed. Patching a module while another
// thread calls through its slots is the caller's concern, as on Windows.
#pragma once

#include <cstddef>

#include "pal/types.h"

namespace zrpal {

enum class ImportPatch {
  kDone,        // the walk finished (*changed slots were rewritten)
  kNotPe,       // PatchPeImports: not a PE32+ image (a 32-bit one included)
  kNotElf,      // PatchElfImports: no loaded ELF object at that base
  kBadImage,    // a table or name failed its check (slots before it may be rewritten)
  kProtectFailed,  // VirtualProtect refused; last error set
};

// Bound of the ELF relocation walk (each table's count is its size divided
// by the entry size; larger tables are refused).
inline constexpr std::size_t kMaxRelocations = 1u << 20;

// `module` is the base of a PE32+ image mapped in the process, of which the
// first `mappedSize` bytes are readable (0: the size its headers give,
// SizeOfImage, once they are found to be a PE32+ image's).
ImportPatch PatchPeImports(HMODULE module, std::size_t mappedSize, const void* from, const void* to,
                           std::size_t* changed);

// `module` is a module handle of an ELF object loaded in the process.
ImportPatch PatchElfImports(HMODULE module, const void* from, const void* to, std::size_t* changed);

// Whether the image at `module` begins as an ELF object does (its first
// four bytes), so a caller can tell which walk applies without reading the
// PE header offset out of an ELF header.
bool IsElfImage(HMODULE module);

}  // namespace zrpal
