// pal/image/pe.h - the import tables of a PE32+ image mapped in memory.
//
// A mapped image is laid out at its section addresses (relative virtual
// addresses, RVAs, are offsets from its base). The walker checks the
// headers, the import directory and each name before use, against the
// extent it is given; an image whose headers or tables do not fit, whose
// names have no terminator, or whose tables exceed the bounds below is
// refused, never read past. Layout (little-endian):
//
//   IMAGE_DOS_HEADER   "MZ" ... e_lfanew at offset 60: the NT headers
//   IMAGE_NT_HEADERS64 "PE\0\0", IMAGE_FILE_HEADER (20 bytes),
//                      IMAGE_OPTIONAL_HEADER64 (240 bytes, magic 0x20B),
//                      whose data directory 1 is the import directory
//   IMAGE_IMPORT_DESCRIPTOR[] (20 bytes each) up to one with Name 0
//   per descriptor: the import lookup table (OriginalFirstThunk) and the
//   import address table (FirstThunk), 64-bit entries up to a zero entry;
//   a lookup entry with bit 63 set is an ordinal, else the RVA of an
//   IMAGE_IMPORT_BY_NAME (WORD hint, name).
#pragma once

#include <cstddef>
#include <cstdint>

#include "pal/types.h"

namespace zrpal::pe {

inline constexpr WORD kDosMagic = 0x5A4D;                   // "MZ"
inline constexpr DWORD kNtSignature = 0x00004550;           // "PE\0\0"
inline constexpr WORD kOptionalMagic64 = 0x20B;
inline constexpr WORD kOptionalHeaderSize64 = 240;
inline constexpr std::size_t kLfanewOffset = 60;
inline constexpr DWORD kImportDirectory = 1;
inline constexpr DWORD kDirectoryCount = 16;
inline constexpr ULONGLONG kOrdinalFlag64 = 1ull << 63;
// Bounds of the walks: far beyond any real image.
inline constexpr std::size_t kMaxDescriptors = 4096;
inline constexpr std::size_t kMaxThunks = 1u << 16;
inline constexpr std::size_t kMaxNameLength = 4096;

struct IMAGE_DOS_HEADER {
  WORD e_magic;
  BYTE e_reserved[58];
  LONG e_lfanew;
};
static_assert(sizeof(IMAGE_DOS_HEADER) == 64);

struct IMAGE_FILE_HEADER {
  WORD Machine;
  WORD NumberOfSections;
  DWORD TimeDateStamp;
  DWORD PointerToSymbolTable;
  DWORD NumberOfSymbols;
  WORD SizeOfOptionalHeader;
  WORD Characteristics;
};
static_assert(sizeof(IMAGE_FILE_HEADER) == 20);

struct IMAGE_DATA_DIRECTORY {
  DWORD VirtualAddress;
  DWORD Size;
};

struct IMAGE_OPTIONAL_HEADER64 {
  WORD Magic;
  BYTE MajorLinkerVersion;
  BYTE MinorLinkerVersion;
  DWORD SizeOfCode;
  DWORD SizeOfInitializedData;
  DWORD SizeOfUninitializedData;
  DWORD AddressOfEntryPoint;
  DWORD BaseOfCode;
  ULONGLONG ImageBase;
  DWORD SectionAlignment;
  DWORD FileAlignment;
  WORD MajorOperatingSystemVersion;
  WORD MinorOperatingSystemVersion;
  WORD MajorImageVersion;
  WORD MinorImageVersion;
  WORD MajorSubsystemVersion;
  WORD MinorSubsystemVersion;
  DWORD Win32VersionValue;
  DWORD SizeOfImage;
  DWORD SizeOfHeaders;
  DWORD CheckSum;
  WORD Subsystem;
  WORD DllCharacteristics;
  ULONGLONG SizeOfStackReserve;
  ULONGLONG SizeOfStackCommit;
  ULONGLONG SizeOfHeapReserve;
  ULONGLONG SizeOfHeapCommit;
  DWORD LoaderFlags;
  DWORD NumberOfRvaAndSizes;
  IMAGE_DATA_DIRECTORY DataDirectory[kDirectoryCount];
};
static_assert(sizeof(IMAGE_OPTIONAL_HEADER64) == kOptionalHeaderSize64);

struct IMAGE_NT_HEADERS64 {
  DWORD Signature;
  IMAGE_FILE_HEADER FileHeader;
  IMAGE_OPTIONAL_HEADER64 OptionalHeader;
};
static_assert(sizeof(IMAGE_NT_HEADERS64) == 264);

struct IMAGE_SECTION_HEADER {
  BYTE Name[8];
  DWORD VirtualSize;
  DWORD VirtualAddress;
  DWORD SizeOfRawData;
  DWORD PointerToRawData;
  DWORD PointerToRelocations;
  DWORD PointerToLinenumbers;
  WORD NumberOfRelocations;
  WORD NumberOfLinenumbers;
  DWORD Characteristics;
};
static_assert(sizeof(IMAGE_SECTION_HEADER) == 40);

struct IMAGE_IMPORT_DESCRIPTOR {
  DWORD OriginalFirstThunk;
  DWORD TimeDateStamp;
  DWORD ForwarderChain;
  DWORD Name;
  DWORD FirstThunk;
};
static_assert(sizeof(IMAGE_IMPORT_DESCRIPTOR) == 20);

enum class Status {
  kOk,
  kNotPe,          // no "MZ" / "PE\0\0", or headers that do not fit
  kNot64,          // a PE image, but not PE32+ (optional header size or magic)
  kBadDirectory,   // the import directory lies outside the image
  kBadTable,       // a descriptor's tables or name lie outside the image
  kUnterminated,   // a table or a name without its terminator
};

// One import: the descriptor's library name, the import's name (null for
// an import by ordinal) or its ordinal, and its address-table slot.
struct Import {
  const char* library;
  const char* name;
  WORD ordinal;
  ULONGLONG* slot;
};

class ImportWalker {
 public:
  // Checks the headers of the image mapped at `base`, of `size` bytes
  // readable. The size the headers declare (SizeOfImage) further bounds every
  // RVA when it is smaller.
  static Status Open(BYTE* base, std::size_t size, ImportWalker* out);

  // The image's own size, for callers that map it (SizeOfImage).
  std::size_t ImageSize() const { return m_size; }
  const IMAGE_NT_HEADERS64& Headers() const { return *m_nt; }

  // Calls f(const Import&) for every import of every descriptor, in table
  // order, until f returns false. Every descriptor, table and name is
  // checked before f sees it: on a fault the walk stops with its status
  // (f may have seen the imports before it).
  template <class F>
  Status ForEach(F f) const;

  // Imports are named by the lookup table (OriginalFirstThunk); an image
  // without one (as old linkers wrote) gives unnamed imports.
 private:
  // A terminated string of at most kMaxNameLength at `rva`; null when none.
  const char* NameAt(DWORD rva) const;
  bool Fits(DWORD rva, std::size_t bytes) const {
    return rva <= m_size && bytes <= m_size - rva;
  }

  BYTE* m_base = nullptr;
  std::size_t m_size = 0;
  const IMAGE_NT_HEADERS64* m_nt = nullptr;
  IMAGE_DATA_DIRECTORY m_imports{};
};

template <class F>
Status ImportWalker::ForEach(F f) const {
  if (m_imports.VirtualAddress == 0 || m_imports.Size == 0) return Status::kOk;  // no imports
  const std::size_t room = m_imports.Size / sizeof(IMAGE_IMPORT_DESCRIPTOR);
  for (std::size_t d = 0;; ++d) {
    // The directory ends at its terminating descriptor; one whose declared
    // size holds none is read on up to the image's end, as loaders do.
    const std::uint64_t at64 = m_imports.VirtualAddress + std::uint64_t{d} * sizeof(IMAGE_IMPORT_DESCRIPTOR);
    const bool fits = at64 <= 0xFFFFFFFFu && Fits(static_cast<DWORD>(at64), sizeof(IMAGE_IMPORT_DESCRIPTOR));
    if (d >= kMaxDescriptors || (d >= room && !fits)) return Status::kUnterminated;
    if (!fits) return Status::kBadDirectory;
    const DWORD at = static_cast<DWORD>(at64);
    IMAGE_IMPORT_DESCRIPTOR desc;
    __builtin_memcpy(&desc, m_base + at, sizeof desc);
    if (desc.Name == 0) return Status::kOk;
    const char* library = NameAt(desc.Name);
    if (!library) return Status::kUnterminated;
    const DWORD lookup = desc.OriginalFirstThunk ? desc.OriginalFirstThunk : desc.FirstThunk;
    for (std::size_t t = 0;; ++t) {
      if (t >= kMaxThunks) return Status::kUnterminated;
      const std::uint64_t off = static_cast<std::uint64_t>(t) * sizeof(ULONGLONG);
      if (off + desc.FirstThunk > 0xFFFFFFFFu || off + lookup > 0xFFFFFFFFu) return Status::kBadTable;
      const DWORD slotRva = static_cast<DWORD>(desc.FirstThunk + off);
      const DWORD lookupRva = static_cast<DWORD>(lookup + off);
      if (!Fits(slotRva, sizeof(ULONGLONG)) || !Fits(lookupRva, sizeof(ULONGLONG)))
        return Status::kUnterminated;
      ULONGLONG entry, value;
      __builtin_memcpy(&entry, m_base + lookupRva, sizeof entry);
      __builtin_memcpy(&value, m_base + slotRva, sizeof value);
      if (entry == 0 || value == 0) break;
      Import import{library, nullptr, 0, reinterpret_cast<ULONGLONG*>(m_base + slotRva)};
      if (entry & kOrdinalFlag64) {
        import.ordinal = static_cast<WORD>(entry & 0xFFFF);
      } else if (desc.OriginalFirstThunk) {
        // Past the 16-bit hint.
        if (entry > 0xFFFFFFFFu - sizeof(WORD)) return Status::kBadTable;
        import.name = NameAt(static_cast<DWORD>(entry + sizeof(WORD)));
        if (!import.name) return Status::kUnterminated;
      }
      if (!f(import)) return Status::kOk;
    }
  }
}

}  // namespace zrpal::pe
