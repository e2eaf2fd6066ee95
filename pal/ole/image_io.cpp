// pal/ole/image_io.cpp - stream data: chains, sector allocation, copy on
// write, reads and writes through the FAT and the mini stream.
#include <algorithm>
#include <cstring>

#include "pal/ole/image.h"

namespace zrpal::ole {

namespace {

// Calls piece(at, done, len) for each run of a mini stream's bytes
// [offset, offset + n) that lies in one mini sector: `at` is the run's
// offset in the mini stream (the root's chain), `done` how many bytes came
// before it. `chain` is the stream's mini chain, long enough for the range.
template <class Piece>
HRESULT ForEachMiniRun(const std::vector<std::uint32_t>& chain, std::uint64_t offset,
                       std::size_t n, Piece piece) {
  for (std::size_t done = 0; done < n;) {
    const std::uint64_t pos = offset + done;
    const std::size_t idx = pos >> kMiniSectorShift;
    const std::uint32_t inner = static_cast<std::uint32_t>(pos & (kMiniSectorSize - 1));
    const std::size_t len = std::min<std::size_t>(n - done, kMiniSectorSize - inner);
    const std::uint64_t at = (std::uint64_t{chain[idx]} << kMiniSectorShift) + inner;
    if (const HRESULT hr = piece(at, done, len); FAILED(hr)) return hr;
    done += len;
  }
  return S_OK;
}
constexpr std::size_t kZeroChunk = 64 * 1024;
}

HRESULT Image::ReadRun(std::uint32_t first, std::uint32_t sectors, std::uint32_t offset,
                       BYTE* buffer, std::size_t count) {
  if (!m_transacted) return ReadFile(SectorOffset(first) + offset, buffer, count);
  // Transacted: protected sectors are read from the file, sectors written
  // since the last commit from the scratch, other sectors allocated since
  // then read as zero; each in runs of its kind.
  std::size_t done = 0;
  std::uint32_t inner = offset;
  std::uint32_t k = 0;
  while (k < sectors && done < count) {
    const std::uint32_t s = first + k;
    const bool fromFile = IsProtected(s);
    BYTE* p = nullptr;
    std::uint32_t m = 1;
    if (fromFile) {
      while (k + m < sectors && IsProtected(s + m)) ++m;
    } else {
      m = m_scratch.Span(s, sectors - k, &p);
      if (!p) {  // absent sectors: up to the next protected one
        std::uint32_t j = 1;
        while (j < m && !IsProtected(s + j)) ++j;
        m = j;
      }
    }
    const std::size_t len =
        std::min<std::size_t>(count - done, (std::size_t{m} << m_shift) - inner);
    if (fromFile) {
      const HRESULT hr = ReadFile(SectorOffset(s) + inner, buffer + done, len);
      if (FAILED(hr)) return hr;
    } else if (p) {
      std::memcpy(buffer + done, p + inner, len);
    } else {
      std::memset(buffer + done, 0, len);
    }
    done += len;
    inner = 0;
    k += m;
  }
  return S_OK;
}

HRESULT Image::WriteRun(std::uint32_t first, std::uint32_t sectors, std::uint32_t offset,
                        const BYTE* buffer, std::size_t count) {
  if (!m_transacted) return WriteFile(SectorOffset(first) + offset, buffer, count);
  const std::uint32_t ss = SectorSize();
  std::size_t done = 0;
  std::uint32_t inner = offset;
  std::uint32_t k = 0;
  while (k < sectors && done < count) {
    // A sector written in part keeps the rest of its bytes (zero when it
    // is new); sectors written whole need no zeroing first.
    const bool partial = inner != 0 || count - done < ss;
    const std::uint32_t want = partial ? 1
                                       : static_cast<std::uint32_t>(std::min<std::size_t>(
                                             sectors - k, (count - done) >> m_shift));
    BYTE* p = nullptr;
    const std::uint32_t m = m_scratch.Make(first + k, want, partial, &p);
    const std::size_t len =
        std::min<std::size_t>(count - done, (std::size_t{m} << m_shift) - inner);
    std::memcpy(p + inner, buffer + done, len);
    done += len;
    inner = 0;
    k += m;
  }
  return S_OK;
}

HRESULT Image::Chain(std::uint32_t sid, std::vector<std::uint32_t>** chain) {
  const auto it = m_chains.find(sid);
  if (it != m_chains.end()) {
    *chain = &it->second;
    return S_OK;
  }
  const DirEntry& d = m_dir[sid].d;
  const bool mini = IsMini(sid, d.size);
  const SectorTable& table = mini ? m_miniFat : m_fat;
  const std::uint32_t unitShift = mini ? kMiniSectorShift : m_shift;
  const std::uint64_t need = (d.size + (1u << unitShift) - 1) >> unitShift;
  std::vector<std::uint32_t> c;
  HRESULT hr = table.Walk(d.start, table.Size(), &c);
  if (FAILED(hr)) return hr;
  // A size beyond what the chain holds (and so beyond the file) is corrupt.
  if (c.size() < need) return STG_E_DOCFILECORRUPT;
  *chain = &m_chains.emplace(sid, std::move(c)).first->second;
  return S_OK;
}

HRESULT Image::CheckStream(std::uint32_t sid) {
  std::vector<std::uint32_t>* c;
  return Chain(sid, &c);
}

std::uint32_t Image::AllocSector(std::uint32_t link) {
  std::vector<std::uint32_t>& fat = m_fat.Links();
  std::uint32_t s = m_freeHint;
  while (s < fat.size() && (fat[s] != kFreeSect || IsProtected(s) || IsReserved(s))) ++s;
  if (s == fat.size()) {
    // Appending: the places of protected and reserved sectors past the
    // table's end (a table trimmed at commit) are skipped.
    while (IsProtected(static_cast<std::uint32_t>(fat.size())) ||
           IsReserved(static_cast<std::uint32_t>(fat.size())))
      fat.push_back(kFreeSect);
    s = static_cast<std::uint32_t>(fat.size());
    fat.push_back(kFreeSect);
  }
  fat[s] = link;
  m_freeHint = s + 1;
  return s;
}

std::uint32_t Image::AllocMiniSector() {
  std::vector<std::uint32_t>& links = m_miniFat.Links();
  std::uint32_t m = m_miniFreeHint;
  while (m < links.size() && (links[m] != kFreeSect || IsMiniReserved(m))) ++m;
  if (m == links.size()) {
    while (IsMiniReserved(static_cast<std::uint32_t>(links.size()))) links.push_back(kFreeSect);
    links.push_back(kFreeSect);
    m = static_cast<std::uint32_t>(links.size() - 1);
  }
  links[m] = kEndOfChain;
  m_miniFreeHint = m + 1;
  return m;
}

HRESULT Image::ResizeRegular(std::uint32_t sid, std::uint64_t size) {
  std::vector<std::uint32_t>* c;
  HRESULT hr = Chain(sid, &c);
  if (FAILED(hr)) return hr;
  const std::uint64_t need = (size + SectorSize() - 1) >> m_shift;
  if (need > kMaxRegSect) return STG_E_MEDIUMFULL;
  DirEntry& d = m_dir[sid].d;
  if (c->size() > need) {
    if (need == 0)
      d.start = kEndOfChain;
    else
      m_fat[(*c)[need - 1]] = kEndOfChain;
    for (std::size_t i = need; i < c->size(); ++i) {
      const std::uint32_t s = (*c)[i];
      m_fat[s] = kFreeSect;
      if (!IsProtected(s)) m_scratch.Erase(s);
      m_freeHint = std::min(m_freeHint, s);
    }
    c->resize(need);
  }
  while (c->size() < need) {
    const std::uint32_t s = AllocSector(kEndOfChain);
    if (c->empty())
      d.start = s;
    else
      m_fat[c->back()] = s;
    c->push_back(s);
  }
  d.size = size;
  return S_OK;
}

HRESULT Image::ResizeMini(std::uint32_t sid, std::uint64_t size) {
  std::vector<std::uint32_t>* c;
  HRESULT hr = Chain(sid, &c);
  if (FAILED(hr)) return hr;
  const std::uint64_t need = (size + kMiniSectorSize - 1) >> kMiniSectorShift;
  DirEntry& d = m_dir[sid].d;
  if (c->size() > need) {
    if (need == 0)
      d.start = kEndOfChain;
    else
      m_miniFat[(*c)[need - 1]] = kEndOfChain;
    for (std::size_t i = need; i < c->size(); ++i) {
      m_miniFat[(*c)[i]] = kFreeSect;
      m_miniFreeHint = std::min(m_miniFreeHint, (*c)[i]);
    }
    c->resize(need);
  }
  while (c->size() < need) {
    const std::uint32_t m = AllocMiniSector();
    // The mini stream grows to hold the new mini sector.
    const std::uint64_t end = (std::uint64_t{m} + 1) << kMiniSectorShift;
    if (m_dir[kRoot].d.size < end) {
      if (FAILED(hr = ResizeRegular(kRoot, end))) return hr;
      if (FAILED(hr = Chain(sid, &c))) return hr;  // the cache may have rehashed
    }
    if (c->empty())
      d.start = m;
    else
      m_miniFat[c->back()] = m;
    c->push_back(m);
  }
  d.size = size;
  return S_OK;
}

HRESULT Image::FreeChainOf(std::uint32_t sid) {
  std::vector<std::uint32_t>* c;
  const HRESULT hr = Chain(sid, &c);
  if (FAILED(hr)) return hr;
  DirEntry& d = m_dir[sid].d;
  if (IsMini(sid, d.size)) {
    for (std::uint32_t m : *c) {
      m_miniFat[m] = kFreeSect;
      m_miniFreeHint = std::min(m_miniFreeHint, m);
    }
  } else {
    for (std::uint32_t s : *c) {
      m_fat[s] = kFreeSect;
      if (!IsProtected(s)) m_scratch.Erase(s);
      m_freeHint = std::min(m_freeHint, s);
    }
  }
  d.start = kEndOfChain;
  d.size = 0;
  m_chains[sid].clear();
  return S_OK;
}

HRESULT Image::ReadRegular(std::uint32_t sid, std::uint64_t offset, BYTE* buffer,
                           std::size_t count) {
  std::vector<std::uint32_t>* c;
  HRESULT hr = Chain(sid, &c);
  if (FAILED(hr)) return hr;
  const std::uint32_t ss = SectorSize();
  std::size_t done = 0;
  while (done < count) {
    const std::uint64_t pos = offset + done;
    const std::size_t idx = pos >> m_shift;
    const std::uint32_t inner = static_cast<std::uint32_t>(pos & (ss - 1));
    if (idx >= c->size()) return STG_E_DOCFILECORRUPT;
    const std::uint32_t first = (*c)[idx];
    std::uint32_t n = 1;
    std::size_t len = std::min<std::size_t>(count - done, ss - inner);
    while (done + len < count && idx + n < c->size() && (*c)[idx + n] == first + n) {
      len += std::min<std::size_t>(count - done - len, ss);
      ++n;
    }
    if (FAILED(hr = ReadRun(first, n, inner, buffer + done, len))) return hr;
    done += len;
  }
  return S_OK;
}

HRESULT Image::WriteRegular(std::uint32_t sid, std::uint64_t offset, const BYTE* buffer,
                            std::size_t count) {
  std::vector<std::uint32_t>* c;
  HRESULT hr = Chain(sid, &c);
  if (FAILED(hr)) return hr;
  const std::uint32_t ss = SectorSize();
  const std::size_t firstIdx = offset >> m_shift;
  const std::size_t lastIdx = (offset + count - 1) >> m_shift;
  if (lastIdx >= c->size()) return STG_E_DOCFILECORRUPT;
  if (m_transacted) {
    // Copy on write: a sector of the committed state is replaced by a new
    // one in the chain before it is written; a partial write keeps the rest
    // of the old sector's bytes.
    for (std::size_t idx = firstIdx; idx <= lastIdx; ++idx) {
      const std::uint32_t old = (*c)[idx];
      if (!IsProtected(old)) continue;
      const std::uint32_t fresh = AllocSector(m_fat[old]);
      if (idx == 0)
        m_dir[sid].d.start = fresh;
      else
        m_fat[(*c)[idx - 1]] = fresh;
      m_fat[old] = kFreeSect;
      (*c)[idx] = fresh;
      const std::uint64_t from = std::uint64_t{idx} << m_shift;
      const bool whole = offset <= from && offset + count >= from + ss;
      if (!whole) {
        BYTE* p = nullptr;
        m_scratch.Make(fresh, 1, false, &p);
        if (FAILED(hr = ReadFile(SectorOffset(old), p, ss))) return hr;
      }
    }
  }
  std::size_t done = 0;
  while (done < count) {
    const std::uint64_t pos = offset + done;
    const std::size_t idx = pos >> m_shift;
    const std::uint32_t inner = static_cast<std::uint32_t>(pos & (ss - 1));
    const std::uint32_t first = (*c)[idx];
    std::uint32_t n = 1;
    std::size_t len = std::min<std::size_t>(count - done, ss - inner);
    while (done + len < count && idx + n < c->size() && (*c)[idx + n] == first + n) {
      len += std::min<std::size_t>(count - done - len, ss);
      ++n;
    }
    if (FAILED(hr = WriteRun(first, n, inner, buffer + done, len))) return hr;
    done += len;
  }
  return S_OK;
}

HRESULT Image::ReadStream(std::uint32_t sid, std::uint64_t offset, void* buffer, ULONG count,
                          ULONG* read) {
  *read = 0;
  const std::uint64_t size = m_dir[sid].d.size;
  if (offset >= size || count == 0) return S_OK;
  const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, size - offset));
  BYTE* out = static_cast<BYTE*>(buffer);
  HRESULT hr;
  if (!IsMini(sid, size)) {
    if (FAILED(hr = ReadRegular(sid, offset, out, n))) return hr;
  } else {
    std::vector<std::uint32_t>* c;
    if (FAILED(hr = Chain(sid, &c))) return hr;
    hr = ForEachMiniRun(*c, offset, n, [&](std::uint64_t at, std::size_t done, std::size_t len) {
      return ReadRegular(kRoot, at, out + done, len);
    });
    if (FAILED(hr)) return hr;
  }
  *read = static_cast<ULONG>(n);
  return S_OK;
}

HRESULT Image::ZeroRange(std::uint32_t sid, std::uint64_t from, std::uint64_t to) {
  static const BYTE kZeros[kZeroChunk] = {};
  while (from < to) {
    const ULONG n = static_cast<ULONG>(std::min<std::uint64_t>(to - from, kZeroChunk));
    const HRESULT hr = WriteStream(sid, from, kZeros, n);
    if (FAILED(hr)) return hr;
    from += n;
  }
  return S_OK;
}

HRESULT Image::SetStreamSize(std::uint32_t sid, std::uint64_t size) {
  DirEntry& d = m_dir[sid].d;
  const std::uint64_t old = d.size;
  if (size == old) return S_OK;
  HRESULT hr;
  const bool wasMini = IsMini(sid, old);
  const bool nowMini = IsMini(sid, size);
  if (wasMini != nowMini) {
    // Crossing the cutoff moves the stream between the mini stream and
    // regular sectors; at most cutoff - 1 bytes are carried over.
    const std::size_t keep = static_cast<std::size_t>(std::min(old, size));
    std::vector<BYTE> data(keep);
    ULONG got = 0;
    if (FAILED(hr = ReadStream(sid, 0, data.data(), static_cast<ULONG>(keep), &got))) return hr;
    if (FAILED(hr = FreeChainOf(sid))) return hr;
    if (FAILED(hr = nowMini ? ResizeMini(sid, size) : ResizeRegular(sid, size))) return hr;
    if (keep > 0) {
      if (FAILED(hr = WriteStream(sid, 0, data.data(), static_cast<ULONG>(keep)))) return hr;
    }
  } else if (FAILED(hr = nowMini ? ResizeMini(sid, size) : ResizeRegular(sid, size))) {
    return hr;
  }
  if (size > old) return ZeroRange(sid, old, size);
  return S_OK;
}

HRESULT Image::WriteStream(std::uint32_t sid, std::uint64_t offset, const void* buffer,
                           ULONG count) {
  if (count == 0) return S_OK;
  const BYTE* in = static_cast<const BYTE*>(buffer);
  const std::uint64_t end = offset + count;
  HRESULT hr;
  const std::uint64_t old = m_dir[sid].d.size;
  if (end > old) {
    // Grow without zeroing what this write covers; only a gap before it is
    // zeroed.
    if (IsMini(sid, old) != IsMini(sid, end)) {
      const std::size_t keep = static_cast<std::size_t>(old);
      std::vector<BYTE> data(keep);
      ULONG got = 0;
      if (FAILED(hr = ReadStream(sid, 0, data.data(), static_cast<ULONG>(keep), &got))) return hr;
      if (FAILED(hr = FreeChainOf(sid))) return hr;
      if (FAILED(hr = ResizeRegular(sid, end))) return hr;
      if (keep > 0 && FAILED(hr = WriteRegular(sid, 0, data.data(), keep))) return hr;
    } else if (FAILED(hr = IsMini(sid, end) ? ResizeMini(sid, end) : ResizeRegular(sid, end))) {
      return hr;
    }
    if (offset > old && FAILED(hr = ZeroRange(sid, old, offset))) return hr;
  }
  if (!IsMini(sid, m_dir[sid].d.size)) return WriteRegular(sid, offset, in, count);
  std::vector<std::uint32_t>* c;
  if (FAILED(hr = Chain(sid, &c))) return hr;
  // Writing the mini stream may copy sectors of the root chain, never the
  // mini chain itself; the chain stays valid across the runs.
  return ForEachMiniRun(*c, offset, count, [&](std::uint64_t at, std::size_t done, std::size_t len) {
    return WriteRegular(kRoot, at, in + done, len);
  });
}

}  // namespace zrpal::ole
