// pal/ole/scratch.cpp - the transacted image's sectors in memory (see
// scratch.h).
#include "pal/ole/scratch.h"

#include <algorithm>
#include <cstring>

namespace zrpal::ole {

void Scratch::SetShift(std::uint32_t shift) {
  m_shift = shift;
  m_perChunkShift = 16 - shift;
  Clear();
}

Scratch::Chunk* Scratch::Lookup(std::uint32_t key, bool create) {
  if (m_last && m_lastKey == key) return m_last;
  auto it = m_chunks.find(key);
  if (it == m_chunks.end()) {
    if (!create) return nullptr;
    Chunk c;
    // Not zeroed: a sector's bytes are zeroed or written whole when it
    // becomes present (Make).
    c.bytes.reset(new BYTE[kChunkBytes]);
    it = m_chunks.emplace(key, std::move(c)).first;
  }
  m_lastKey = key;
  m_last = &it->second;  // element addresses survive rehashing
  return m_last;
}

std::uint32_t Scratch::Span(std::uint32_t sector, std::uint32_t count, BYTE** bytes) {
  const std::uint32_t perChunk = 1u << m_perChunkShift;
  const std::uint32_t i = sector & (perChunk - 1);
  const std::uint32_t limit = std::min(count, perChunk - i);
  Chunk* c = Lookup(sector >> m_perChunkShift, false);
  if (!c) {
    *bytes = nullptr;
    return limit;
  }
  const bool has = c->Has(i);
  std::uint32_t n = 1;
  while (n < limit && c->Has(i + n) == has) ++n;
  *bytes = has ? c->bytes.get() + (std::size_t{i} << m_shift) : nullptr;
  return n;
}

std::uint32_t Scratch::Make(std::uint32_t sector, std::uint32_t count, bool zero, BYTE** bytes) {
  const std::uint32_t perChunk = 1u << m_perChunkShift;
  const std::uint32_t i = sector & (perChunk - 1);
  const std::uint32_t n = std::min(count, perChunk - i);
  Chunk* c = Lookup(sector >> m_perChunkShift, true);
  BYTE* first = c->bytes.get() + (std::size_t{i} << m_shift);
  for (std::uint32_t k = 0; k < n; ++k) {
    if (c->Has(i + k)) continue;
    c->Set(i + k);
    if (zero) std::memset(first + (std::size_t{k} << m_shift), 0, std::size_t{1} << m_shift);
  }
  *bytes = first;
  return n;
}

void Scratch::Erase(std::uint32_t sector) {
  const std::uint32_t key = sector >> m_perChunkShift;
  Chunk* c = Lookup(key, false);
  if (!c) return;
  c->Reset(sector & ((1u << m_perChunkShift) - 1));
  if (c->None()) {
    m_chunks.erase(key);
    m_last = nullptr;
  }
}

std::vector<std::uint32_t> Scratch::SortedKeys() const {
  std::vector<std::uint32_t> keys;
  keys.reserve(m_chunks.size());
  for (const auto& [key, chunk] : m_chunks) keys.push_back(key);
  std::sort(keys.begin(), keys.end());
  return keys;
}

}  // namespace zrpal::ole
