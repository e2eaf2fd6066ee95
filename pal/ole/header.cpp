// pal/ole/header.cpp - parsing and writing the compound file header.
#include "pal/ole/header.h"

#include <algorithm>
#include <iterator>

#include "pal/ole/le.h"

namespace zrpal::ole {

namespace {
constexpr WORD kByteOrderMark = 0xFFFE;
constexpr std::size_t kDifatOffset = 76;
static_assert(kDifatOffset + 4 * kHeaderDifatEntries == kHeaderSize);
}  // namespace

Header::Header() { std::fill(std::begin(difat), std::end(difat), kFreeSect); }

Header Header::ForVersion(unsigned majorVersion) {
  Header h;
  h.majorVersion = static_cast<WORD>(majorVersion);
  h.sectorShift = static_cast<WORD>(majorVersion == 4 ? kSectorShiftV4 : kSectorShiftV3);
  return h;
}

bool Header::HasSignature(const BYTE* bytes, std::size_t length) {
  return length >= sizeof kSignature && std::equal(std::begin(kSignature), std::end(kSignature), bytes);
}

HRESULT Header::Parse(const BYTE* p) {
  minorVersion = Le16(p + 24);
  majorVersion = Le16(p + 26);
  sectorShift = Le16(p + 30);
  // The version decides the sector size; a mismatch, another byte order, a
  // mini sector other than 64 bytes or another cutoff is no file of the
  // format (Windows refuses them the same way).
  if (Le16(p + 28) != kByteOrderMark) return STG_E_INVALIDHEADER;
  if (!(majorVersion == 3 && sectorShift == kSectorShiftV3) &&
      !(majorVersion == 4 && sectorShift == kSectorShiftV4))
    return STG_E_INVALIDHEADER;
  if (Le16(p + 32) != kMiniSectorShift) return STG_E_INVALIDHEADER;
  if (Le32(p + 56) != kMiniStreamCutoff) return STG_E_INVALIDHEADER;
  // Version 3 files keep no directory sector count (writers leave it 0 or
  // garbage); the directory chain is walked instead.
  dirSectorCount = majorVersion == 4 ? Le32(p + 40) : 0;
  fatSectorCount = Le32(p + 44);
  firstDirSector = Le32(p + 48);
  transactionSignature = Le32(p + 52);
  firstMiniFatSector = Le32(p + 60);
  miniFatSectorCount = Le32(p + 64);
  firstDifatSector = Le32(p + 68);
  difatSectorCount = Le32(p + 72);
  for (std::uint32_t i = 0; i < kHeaderDifatEntries; ++i) difat[i] = Le32(p + kDifatOffset + 4 * i);
  return S_OK;
}

void Header::Serialize(BYTE* p) const {
  std::fill(p, p + kHeaderSize, BYTE{0});
  std::copy(std::begin(kSignature), std::end(kSignature), p);
  PutLe16(p + 24, minorVersion);
  PutLe16(p + 26, majorVersion);
  PutLe16(p + 28, kByteOrderMark);
  PutLe16(p + 30, sectorShift);
  PutLe16(p + 32, kMiniSectorShift);
  PutLe32(p + 40, majorVersion == 4 ? dirSectorCount : 0);
  PutLe32(p + 44, fatSectorCount);
  PutLe32(p + 48, firstDirSector);
  PutLe32(p + 52, transactionSignature);
  PutLe32(p + 56, kMiniStreamCutoff);
  PutLe32(p + 60, firstMiniFatSector);
  PutLe32(p + 64, miniFatSectorCount);
  PutLe32(p + 68, firstDifatSector);
  PutLe32(p + 72, difatSectorCount);
  for (std::uint32_t i = 0; i < kHeaderDifatEntries; ++i) PutLe32(p + kDifatOffset + 4 * i, difat[i]);
}

}  // namespace zrpal::ole
