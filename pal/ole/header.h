// pal/ole/header.h - the compound file header: the first 512 bytes of a
// compound file (version 3: 512-byte sectors; version 4: 4096-byte sectors,
// the rest of the first sector is zero).
//
// Layout (little-endian, offsets in bytes):
//   0 signature D0 CF 11 E0 A1 B1 1A E1   8 CLSID (zero)
//  24 minor version (0x3E)                26 major version (3 or 4)
//  28 byte order FFFE                     30 sector shift (9 or 12)
//  32 mini sector shift (6)               34 six reserved bytes
//  40 directory sector count (v4 only)    44 FAT sector count
//  48 first directory sector              52 transaction signature
//  56 mini stream cutoff (4096)           60 first mini FAT sector
//  64 mini FAT sector count               68 first DIFAT sector
//  72 DIFAT sector count                  76 DIFAT[109]: the first FAT sectors
#pragma once

#include <cstdint>

#include "pal/ole/objidl.h"

namespace zrpal::ole {

// Special sector numbers (MS-CFB 2.1).
inline constexpr std::uint32_t kMaxRegSect = 0xFFFFFFFA;
inline constexpr std::uint32_t kDifSect = 0xFFFFFFFC;
inline constexpr std::uint32_t kFatSect = 0xFFFFFFFD;
inline constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
inline constexpr std::uint32_t kFreeSect = 0xFFFFFFFF;

inline constexpr std::uint32_t kHeaderSize = 512;
inline constexpr std::uint32_t kHeaderDifatEntries = 109;
inline constexpr std::uint32_t kMiniSectorShift = 6;
inline constexpr std::uint32_t kMiniSectorSize = 1u << kMiniSectorShift;
inline constexpr std::uint32_t kMiniStreamCutoff = 4096;
inline constexpr std::uint32_t kSectorShiftV3 = 9;
inline constexpr std::uint32_t kSectorShiftV4 = 12;
inline constexpr BYTE kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

struct Header {
  WORD minorVersion = 0x003E;
  WORD majorVersion = 3;
  WORD sectorShift = kSectorShiftV3;
  std::uint32_t dirSectorCount = 0;
  std::uint32_t fatSectorCount = 0;
  std::uint32_t firstDirSector = kEndOfChain;
  std::uint32_t transactionSignature = 0;
  std::uint32_t firstMiniFatSector = kEndOfChain;
  std::uint32_t miniFatSectorCount = 0;
  std::uint32_t firstDifatSector = kEndOfChain;
  std::uint32_t difatSectorCount = 0;
  std::uint32_t difat[kHeaderDifatEntries];

  Header();
  // A fresh header of the given version (3 or 4).
  static Header ForVersion(unsigned majorVersion);

  std::uint32_t SectorSize() const { return 1u << sectorShift; }

  // True when the first 8 bytes are the compound file signature.
  static bool HasSignature(const BYTE* bytes, std::size_t length);
  // Reads and checks the 512 bytes: S_OK, or STG_E_INVALIDHEADER for a
  // byte order, version, sector shift or cutoff no compound file has.
  // The caller checks the signature first.
  HRESULT Parse(const BYTE* bytes);
  // Writes the 512 bytes.
  void Serialize(BYTE* bytes) const;
};

}  // namespace zrpal::ole
