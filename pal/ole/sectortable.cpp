// pal/ole/sectortable.cpp - chains of the FAT and the mini FAT.
#include "pal/ole/sectortable.h"

#include <algorithm>

#include "pal/ole/le.h"

namespace zrpal::ole {

HRESULT SectorTable::Walk(std::uint32_t start, std::uint32_t limit,
                          std::vector<std::uint32_t>* chain) const {
  chain->clear();
  const std::uint32_t bound = std::min(limit, Size());
  std::uint32_t s = start;
  while (s != kEndOfChain) {
    if (s >= Size() || chain->size() >= bound) return STG_E_DOCFILECORRUPT;
    chain->push_back(s);
    s = m_links[s];
  }
  return S_OK;
}

void SectorTable::LoadSector(const BYTE* bytes, std::uint32_t sectorSize) {
  for (std::uint32_t off = 0; off < sectorSize; off += 4) m_links.push_back(Le32(bytes + off));
}

void SectorTable::StoreSector(std::uint32_t index, BYTE* bytes, std::uint32_t sectorSize) const {
  const std::uint32_t perSector = sectorSize / 4;
  for (std::uint32_t i = 0; i < perSector; ++i) {
    const std::uint64_t at = std::uint64_t{index} * perSector + i;
    PutLe32(bytes + 4 * i, at < m_links.size() ? m_links[at] : kFreeSect);
  }
}

}  // namespace zrpal::ole
