// pal/ole/sectortable.h - the FAT and the mini FAT: one 32-bit link per
// sector (regular or mini), stored as whole sectors of links.
//
// A chain starts at a sector named by a directory entry or the header and
// follows links until kEndOfChain. Walks are bounded by the table's length:
// a chain longer than the table has a loop. Every link must be a sector
// inside the table or kEndOfChain; anything else (a free or special value, a
// sector past the end) makes the file corrupt.
#pragma once

#include <cstdint>
#include <vector>

#include "pal/ole/header.h"

namespace zrpal::ole {

class SectorTable {
 public:
  std::vector<std::uint32_t>& Links() { return m_links; }
  const std::vector<std::uint32_t>& Links() const { return m_links; }
  std::uint32_t Size() const { return static_cast<std::uint32_t>(m_links.size()); }
  std::uint32_t& operator[](std::uint32_t i) { return m_links[i]; }
  std::uint32_t operator[](std::uint32_t i) const { return m_links[i]; }

  // The sectors of the chain from `start`, at most `limit` of them (a longer
  // chain is corrupt). kEndOfChain as start is the empty chain.
  // STG_E_DOCFILECORRUPT for a loop, a link out of the table or to a special
  // value.
  HRESULT Walk(std::uint32_t start, std::uint32_t limit, std::vector<std::uint32_t>* chain) const;

  // Reads the links of one table sector / writes one (sectorSize bytes).
  void LoadSector(const BYTE* bytes, std::uint32_t sectorSize);
  void StoreSector(std::uint32_t index, BYTE* bytes, std::uint32_t sectorSize) const;

 private:
  std::vector<std::uint32_t> m_links;
};

}  // namespace zrpal::ole
