// pal/ole/image_commit.cpp - writing the working state back to the file.
//
// The commit protocol. A process killed at any point of it leaves the file
// with either the old or the new content, because the file's one root of
// trust is the header, and the header is written last, after everything it
// points to is on stable storage:
//
//   0. Transacted mode: take the commit lock (LockRegion LOCK_ONLYONCE on
//      kCommitLockOffset; lock bytes without locks, such as memory, go on
//      without it). A priority reader or another committer holding it
//      answers STG_E_LOCKVIOLATION. Under the lock, the header on disk must
//      be the one this image last read or wrote: otherwise another opener
//      has committed since, its state is not this one's base, and the
//      commit fails with STG_E_NOTCURRENT (this image's view of the free
//      sectors is stale, so writing would overwrite the other's data). A
//      direct-mode writer holds the lock from open to release.
//   1. Link: rebuild every storage's red-black tree from its ordered
//      children (a balanced tree: black, with the deepest level red when the
//      tree is not perfect).
//   2. Release the old tables: the sectors of the old FAT, DIFAT, mini FAT
//      and directory become free in the working FAT. In transacted mode
//      they stay protected, so nothing below overwrites them.
//   3. Place the new tables in sectors that are free and unprotected: the
//      directory chain, the mini FAT chain, then FAT and DIFAT sectors until
//      the FAT covers every sector including its own.
//   4. Write the data: the scratch sectors (transacted mode) go to their
//      places, none of which belongs to the committed state.
//   5. Write the new mini FAT, directory, DIFAT and FAT sectors.
//   6. Make the file at least as long as the new state and flush it
//      (ILockBytes::Flush: fdatasync for a file).
//   7. Write the header (one 512-byte write at offset 0), flush again.
//   8. Only now trim the file to the new state and forget the old one: the
//      new state's sectors become the protected set, the scratch empties.
//
// Until step 7 completes, the header on disk names the old tables, which
// name only old sectors, none of which steps 4-6 touched. After step 7 the
// header names the new tables, all of which step 6 made durable. A failure
// before step 7 (a write error, a full disk) undoes steps 2-3 in memory and
// leaves the file's content as it was, with the scratch still held; a
// failing flush after the header puts the old header back.
//
// Direct mode runs the same steps; nothing is protected there, so the new
// tables may reuse the old tables' sectors and a crash can leave a mix, as
// Windows' direct mode can.
#include <algorithm>
#include <cstring>

#include "pal/ole/image.h"
#include "pal/ole/le.h"
#include "pal/ole/storage.h"

namespace zrpal::ole {

void Image::LinkTree(std::uint32_t storage) {
  std::vector<std::uint32_t> sorted;
  sorted.reserve(m_dir[storage].children.size());
  for (const auto& [name, sid] : m_dir[storage].children) sorted.push_back(sid);
  const std::size_t n = sorted.size();
  int height = 0;
  while ((std::size_t{1} << height) - 1 < n) ++height;
  const bool perfect = (std::size_t{1} << height) - 1 == n;
  // Median splits put every leaf on the last two levels; colouring the last
  // level red (when it is not full) gives every path the same black count.
  auto build = [&](auto& self, std::ptrdiff_t lo, std::ptrdiff_t hi, int depth) -> std::uint32_t {
    if (lo > hi) return kNoStream;
    const std::ptrdiff_t mid = lo + (hi - lo) / 2;
    DirEntry& d = m_dir[sorted[mid]].d;
    d.left = self(self, lo, mid - 1, depth + 1);
    d.right = self(self, mid + 1, hi, depth + 1);
    d.color = (!perfect && depth == height - 1) ? Color::Red : Color::Black;
    return sorted[mid];
  };
  m_dir[storage].d.child = build(build, 0, static_cast<std::ptrdiff_t>(n) - 1, 0);
}

HRESULT Image::FlushScratch() {
  return m_scratch.ForEachRun([this](std::uint32_t first, const BYTE* bytes, std::uint32_t n) {
    return WriteFile(SectorOffset(first), bytes, std::size_t{n} << m_shift);
  });
}

namespace {
// Writes `data` (sectors.size() sectors) to the given sectors, one write per
// run of consecutive sectors.
template <class WriteFn>
HRESULT WriteSectors(const std::vector<std::uint32_t>& sectors, const BYTE* data,
                     std::uint32_t shift, WriteFn write) {
  std::size_t i = 0;
  while (i < sectors.size()) {
    std::size_t n = 1;
    while (i + n < sectors.size() && sectors[i + n] == sectors[i] + n) ++n;
    const HRESULT hr =
        write((std::uint64_t{sectors[i]} + 1) << shift, data + (i << shift), n << shift);
    if (FAILED(hr)) return hr;
    i += n;
  }
  return S_OK;
}
}  // namespace

HRESULT Image::WriteTables() {
  const std::uint32_t ss = SectorSize();
  const std::uint32_t perSector = ss / 4;
  HRESULT hr;

  // 1. Link the trees; the directory ends after its last used entry.
  for (std::uint32_t sid = 0; sid < EntryCount(); ++sid) {
    DirEntry& d = m_dir[sid].d;
    if (d.type == ObjectType::Storage || d.type == ObjectType::Root)
      LinkTree(sid);
    else if (d.type == ObjectType::Stream)
      d.child = kNoStream;
    if (d.type == ObjectType::Root) d.color = Color::Black;
  }
  std::uint32_t dirCount = EntryCount();
  while (dirCount > 1 && m_dir[dirCount - 1].d.type == ObjectType::Unused) --dirCount;
  const std::uint32_t perDirSector = ss / kDirEntrySize;
  const std::uint32_t dirSectors = (dirCount + perDirSector - 1) / perDirSector;
  // The mini FAT ends after its last used link.
  std::vector<std::uint32_t>& miniLinks = m_miniFat.Links();
  while (!miniLinks.empty() && miniLinks.back() == kFreeSect) miniLinks.pop_back();
  m_miniFreeHint = std::min<std::uint32_t>(m_miniFreeHint, m_miniFat.Size());
  const std::uint32_t miniFatSectors = (m_miniFat.Size() + perSector - 1) / perSector;

  // 2. Release the old tables.
  std::vector<std::uint32_t>& fat = m_fat.Links();
  for (const auto* list : {&m_dirChain, &m_miniFatChain, &m_fatSectors, &m_difatSectors})
    for (std::uint32_t s : *list)
      if (s < fat.size()) fat[s] = kFreeSect;
  while (!fat.empty() && fat.back() == kFreeSect) fat.pop_back();
  m_freeHint = 0;

  // 3. Place the new tables.
  auto placeChain = [&](std::uint32_t count) {
    std::vector<std::uint32_t> chain;
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint32_t s = AllocSector(kEndOfChain);
      if (!chain.empty()) fat[chain.back()] = s;
      chain.push_back(s);
    }
    return chain;
  };
  std::vector<std::uint32_t> dirChain = placeChain(dirSectors);
  std::vector<std::uint32_t> miniFatChain = placeChain(miniFatSectors);
  std::vector<std::uint32_t> fatSectors, difatSectors;
  for (;;) {
    const std::size_t need = (fat.size() + perSector - 1) / perSector;
    const std::size_t needDifat =
        need > kHeaderDifatEntries ? (need - kHeaderDifatEntries + perSector - 2) / (perSector - 1)
                                   : 0;
    if (fatSectors.size() >= need && difatSectors.size() >= needDifat) break;
    if (fatSectors.size() < need)
      fatSectors.push_back(AllocSector(kFatSect));
    else
      difatSectors.push_back(AllocSector(kDifSect));
  }
  if (fat.size() > kMaxRegSect) return STG_E_MEDIUMFULL;

  // 4. The data.
  if (FAILED(hr = FlushScratch())) return hr;

  // 5. The tables.
  auto write = [this](std::uint64_t at, const BYTE* p, std::size_t n) {
    return WriteFile(at, p, n);
  };
  std::vector<BYTE> buf(std::size_t{miniFatSectors} * ss);
  for (std::uint32_t i = 0; i < miniFatSectors; ++i) m_miniFat.StoreSector(i, &buf[i * ss], ss);
  if (FAILED(hr = WriteSectors(miniFatChain, buf.data(), m_shift, write))) return hr;

  buf.assign(std::size_t{dirSectors} * ss, 0);
  for (std::uint32_t i = 0; i < dirSectors * perDirSector; ++i) {
    if (i < dirCount)
      m_dir[i].d.Serialize(&buf[std::size_t{i} * kDirEntrySize]);
    else
      DirEntry{}.Serialize(&buf[std::size_t{i} * kDirEntrySize]);
  }
  if (FAILED(hr = WriteSectors(dirChain, buf.data(), m_shift, write))) return hr;

  buf.assign(difatSectors.size() * ss, 0);
  for (std::size_t k = 0; k < difatSectors.size(); ++k) {
    BYTE* p = &buf[k * ss];
    for (std::uint32_t i = 0; i + 1 < perSector; ++i) {
      const std::size_t at = kHeaderDifatEntries + k * (perSector - 1) + i;
      PutLe32(p + 4 * i, at < fatSectors.size() ? fatSectors[at] : kFreeSect);
    }
    PutLe32(p + ss - 4, k + 1 < difatSectors.size() ? difatSectors[k + 1] : kEndOfChain);
  }
  if (FAILED(hr = WriteSectors(difatSectors, buf.data(), m_shift, write))) return hr;

  buf.assign(fatSectors.size() * ss, 0);
  for (std::size_t i = 0; i < fatSectors.size(); ++i)
    m_fat.StoreSector(static_cast<std::uint32_t>(i), &buf[i * ss], ss);
  if (FAILED(hr = WriteSectors(fatSectors, buf.data(), m_shift, write))) return hr;

  // 6. Length and flush.
  std::uint32_t used = static_cast<std::uint32_t>(fat.size());
  while (used > 0 && fat[used - 1] == kFreeSect) --used;
  const std::uint64_t length = (std::uint64_t{used} + 1) << m_shift;
  STATSTG st{};
  if (FAILED(hr = m_bytes->Stat(&st, STATFLAG_NONAME))) return hr;
  if (st.cbSize.QuadPart < length && FAILED(hr = m_bytes->SetSize(ULARGE_INTEGER{length})))
    return hr;
  if (FAILED(hr = m_bytes->Flush())) return hr;

  // 7. The header.
  Header h = m_header;
  h.fatSectorCount = static_cast<std::uint32_t>(fatSectors.size());
  for (std::uint32_t i = 0; i < kHeaderDifatEntries; ++i)
    h.difat[i] = i < fatSectors.size() ? fatSectors[i] : kFreeSect;
  h.firstDifatSector = difatSectors.empty() ? kEndOfChain : difatSectors[0];
  h.difatSectorCount = static_cast<std::uint32_t>(difatSectors.size());
  h.firstDirSector = dirChain[0];
  h.dirSectorCount = h.majorVersion == 4 ? dirSectors : 0;
  h.firstMiniFatSector = miniFatChain.empty() ? kEndOfChain : miniFatChain[0];
  h.miniFatSectorCount = miniFatSectors;
  if (m_transacted) ++h.transactionSignature;
  BYTE raw[kHeaderSize];
  h.Serialize(raw);
  if (FAILED(hr = WriteFile(0, raw, kHeaderSize))) return hr;
  if (FAILED(hr = m_bytes->Flush())) {
    // The new header may or may not be durable: put the old one back (the
    // old tables are untouched), so that the failed commit leaves the old
    // state on disk as every other failure does.
    m_header.Serialize(raw);
    if (SUCCEEDED(WriteFile(0, raw, kHeaderSize))) m_bytes->Flush();
    m_diskHeader.assign(raw, raw + kHeaderSize);
    return hr;
  }
  m_diskHeader.assign(raw, raw + kHeaderSize);

  // 8. The new state is the file's.
  m_header = h;
  m_dirChain = std::move(dirChain);
  m_miniFatChain = std::move(miniFatChain);
  m_fatSectors = std::move(fatSectors);
  m_difatSectors = std::move(difatSectors);
  m_fileSectors = used;
  if (st.cbSize.QuadPart > length) m_bytes->SetSize(ULARGE_INTEGER{length});  // only trims
  return S_OK;
}

HRESULT Image::CheckCurrent() {
  if (m_diskHeader.empty()) return S_OK;  // the first commit of a new file
  BYTE raw[kHeaderSize];
  ULONG got = 0;
  const HRESULT hr = m_bytes->ReadAt(ULARGE_INTEGER{0}, raw, kHeaderSize, &got);
  if (FAILED(hr)) return hr;
  return got == kHeaderSize && std::memcmp(raw, m_diskHeader.data(), kHeaderSize) == 0
             ? S_OK
             : STG_E_NOTCURRENT;
}

HRESULT Image::Commit() {
  if (!m_writable) return STG_E_ACCESSDENIED;
  // Step 0.
  bool locked = false;
  if (m_transacted) {
    const HRESULT lock = m_bytes->LockRegion(ULARGE_INTEGER{kCommitLockOffset}, ULARGE_INTEGER{1},
                                             LOCK_ONLYONCE);
    if (lock == STG_E_LOCKVIOLATION) return lock;
    locked = SUCCEEDED(lock);
    const HRESULT current = CheckCurrent();
    if (FAILED(current)) {
      if (locked)
        m_bytes->UnlockRegion(ULARGE_INTEGER{kCommitLockOffset}, ULARGE_INTEGER{1}, LOCK_ONLYONCE);
      return current;
    }
  }
  // What steps 2-3 change, to undo them when a write fails.
  const std::vector<std::uint32_t> fat = m_fat.Links();
  const std::vector<std::uint32_t> miniFat = m_miniFat.Links();
  const std::uint32_t freeHint = m_freeHint;
  const HRESULT hr = WriteTables();
  if (locked)
    m_bytes->UnlockRegion(ULARGE_INTEGER{kCommitLockOffset}, ULARGE_INTEGER{1}, LOCK_ONLYONCE);
  if (FAILED(hr)) {
    m_fat.Links() = fat;
    m_miniFat.Links() = miniFat;
    m_freeHint = freeHint;
    return hr;
  }
  if (m_transacted) {
    m_scratch.Clear();
    m_protected.assign(m_fat.Size(), false);
    for (std::uint32_t i = 0; i < m_fat.Size(); ++i) m_protected[i] = m_fat[i] != kFreeSect;
    m_committed = std::make_unique<State>(Snapshot());
  }
  return S_OK;
}

}  // namespace zrpal::ole
