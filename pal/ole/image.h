// pal/ole/image.h - one compound file: its tables and directory in memory,
// its sectors in an ILockBytes, and the commit that writes them back.
//
// The image is the engine under the IStorage/IStream objects. It keeps the
// working state - the FAT, the mini FAT and the directory as it is now - and
// reads and writes stream data through it. Directory entries are identified
// by their index (SID); each storage keeps its children ordered by the
// format's name order, and the on-disk red-black links are rebuilt from that
// order at each commit.
//
// Two modes:
//   direct      sector writes go to the file in place; Commit writes the
//               tables and the header.
//   transacted  the sectors of the last committed state are protected: a
//               write to one copies it to a new sector first (copy on write),
//               and every sector written since the last commit is kept in
//               memory (the scratch) until Commit, so nothing reaches the
//               file before Commit. Revert restores the committed state.
//
// Invariants:
//   - a stream whose size is below the cutoff (4096) lives in the mini
//     stream (except the root entry, which holds the mini stream itself);
//     SetStreamSize moves a stream across the cutoff in both directions;
//   - every chain of a live entry covers its size; m_chains caches chains
//     and is updated by every operation that changes a link;
//   - in transacted mode a protected sector is never written and never
//     handed out by the allocator; a sector in the scratch is not protected;
//   - no two chains share a sector (files whose chains cross are refused),
//     and the allocator never hands out a free sector that a broken chain
//     of the file runs into (a reserved sector);
//   - a directory entry that is not reachable from the root is Unused.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "pal/ole/direntry.h"
#include "pal/ole/header.h"
#include "pal/ole/objidl.h"
#include "pal/ole/scratch.h"
#include "pal/ole/sectortable.h"

namespace zrpal::ole {

// Orders names as the format does (see CompareNames).
struct NameLess {
  bool operator()(const std::u16string& a, const std::u16string& b) const {
    return CompareNames(a, b) < 0;
  }
};

// One directory entry of the working state.
struct Entry {
  DirEntry d;  // the fields as stored; links are rebuilt at commit
  std::uint32_t parent = kNoStream;
  std::map<std::u16string, std::uint32_t, NameLess> children;  // storages
  std::uint32_t generation = 0;                                // changes when the SID is freed
  std::uint32_t openCount = 0;                                 // open IStorage/IStream instances
};

class Image {
 public:
  ~Image();
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  // Reads the compound file in `bytes` (one reference is kept). Results:
  // STG_E_FILEALREADYEXISTS when it is not a compound file at all,
  // STG_E_INVALIDHEADER, STG_E_DOCFILECORRUPT, read errors.
  // `why`, when given, receives a description of a refusal that names the
  // sectors at fault (for checking tools; so far for crossed chains).
  static HRESULT Load(ILockBytes* bytes, bool writable, bool transacted,
                      std::unique_ptr<Image>* image, std::string* why = nullptr);
  // Writes a new, empty compound file of `majorVersion` (3 or 4) into
  // `bytes`, replacing what it held.
  static HRESULT Create(ILockBytes* bytes, unsigned majorVersion, bool transacted,
                        std::unique_ptr<Image>* image);

  bool Writable() const { return m_writable; }
  bool Transacted() const { return m_transacted; }
  const Header& GetHeader() const { return m_header; }
  ILockBytes* Bytes() const { return m_bytes; }

  // Directory.
  static constexpr std::uint32_t kRoot = 0;
  Entry& At(std::uint32_t sid) { return m_dir[sid]; }
  const Entry& At(std::uint32_t sid) const { return m_dir[sid]; }
  std::uint32_t EntryCount() const { return static_cast<std::uint32_t>(m_dir.size()); }
  bool IsLive(std::uint32_t sid, std::uint32_t generation) const {
    return sid < m_dir.size() && m_dir[sid].generation == generation &&
           m_dir[sid].d.type != ObjectType::Unused;
  }
  // The child of storage `parent` named `name`, or kNoStream.
  std::uint32_t Find(std::uint32_t parent, std::u16string_view name) const;
  // Adds an empty storage or stream under `parent`. The name must be valid
  // and free.
  HRESULT Add(std::uint32_t parent, std::u16string_view name, ObjectType type, std::uint32_t* sid);
  // Removes an element and everything below it, freeing its sectors.
  HRESULT Remove(std::uint32_t sid);
  // Gives an element a new name under the same parent (which must be free).
  HRESULT Rename(std::uint32_t sid, std::u16string_view name);

  // Stream data. Reads stop at the end of the stream; writes grow it.
  HRESULT ReadStream(std::uint32_t sid, std::uint64_t offset, void* buffer, ULONG count,
                     ULONG* read);
  HRESULT WriteStream(std::uint32_t sid, std::uint64_t offset, const void* buffer, ULONG count);
  // New size; the bytes between the old and the new end read as zero.
  HRESULT SetStreamSize(std::uint32_t sid, std::uint64_t size);
  // Checks that the stream's chain is sound and covers its size (done when a
  // stream is opened, so reads never meet a short chain).
  HRESULT CheckStream(std::uint32_t sid);

  // Writes the working state (see the commit protocol in image_commit.cpp).
  HRESULT Commit();
  // Transacted mode: returns to the last committed state.
  void Revert();
  // Changes with every Revert, so objects opened before it can tell.
  std::uint64_t Epoch() const { return m_epoch; }

  // For checking and dumping tools: the committed tables as loaded.
  const SectorTable& Fat() const { return m_fat; }
  const SectorTable& MiniFat() const { return m_miniFat; }
  const std::vector<std::uint32_t>& FatSectors() const { return m_fatSectors; }
  const std::vector<std::uint32_t>& DifatSectors() const { return m_difatSectors; }
  std::uint64_t FileSectorCount() const { return m_fileSectors; }

 private:
  Image(ILockBytes* bytes, bool writable, bool transacted);

  // A snapshot of everything Commit writes, for Revert and for undoing a
  // failed commit.
  struct State {
    Header header;
    SectorTable fat, miniFat;
    std::vector<Entry> dir;
    std::vector<std::uint32_t> fatSectors, difatSectors, dirChain, miniFatChain;
  };
  State Snapshot() const;
  void Restore(State&& state);

  HRESULT LoadAll(std::string* why);
  HRESULT LoadDirectory(const std::vector<std::uint32_t>& dirChain);
  HRESULT BuildTree();
  HRESULT CheckOwners(std::string* why);

  std::uint32_t SectorSize() const { return 1u << m_shift; }
  std::uint64_t SectorOffset(std::uint32_t sector) const {
    return (std::uint64_t{sector} + 1) << m_shift;
  }
  bool IsMini(std::uint32_t sid, std::uint64_t size) const {
    return sid != kRoot && size < kMiniStreamCutoff;
  }
  bool IsProtected(std::uint32_t sector) const {
    return sector < m_protected.size() && m_protected[sector];
  }
  // Sectors and mini sectors that a broken stream chain of the file as
  // loaded runs into (a free sector, or a link past the table's end): never
  // handed out, so that no new chain joins it.
  bool IsReserved(std::uint32_t sector) const {
    return !m_reserved.empty() && std::binary_search(m_reserved.begin(), m_reserved.end(), sector);
  }
  bool IsMiniReserved(std::uint32_t m) const {
    return !m_miniReserved.empty() &&
           std::binary_search(m_miniReserved.begin(), m_miniReserved.end(), m);
  }

  // Raw sector access (scratch in transacted mode, else the file).
  HRESULT ReadRaw(std::uint32_t sector, std::uint32_t offset, BYTE* buffer, std::uint32_t count);
  HRESULT ReadRun(std::uint32_t first, std::uint32_t sectors, std::uint32_t offset, BYTE* buffer,
                  std::size_t count);
  HRESULT WriteRun(std::uint32_t first, std::uint32_t sectors, std::uint32_t offset,
                   const BYTE* buffer, std::size_t count);
  HRESULT ReadFile(std::uint64_t offset, BYTE* buffer, std::size_t count);
  HRESULT WriteFile(std::uint64_t offset, const BYTE* buffer, std::size_t count);

  // Chains.
  HRESULT Chain(std::uint32_t sid, std::vector<std::uint32_t>** chain);
  std::uint32_t AllocSector(std::uint32_t link);
  std::uint32_t AllocMiniSector();
  HRESULT ResizeRegular(std::uint32_t sid, std::uint64_t size);
  HRESULT ResizeMini(std::uint32_t sid, std::uint64_t size);
  HRESULT FreeChainOf(std::uint32_t sid);
  HRESULT ReadRegular(std::uint32_t sid, std::uint64_t offset, BYTE* buffer, std::size_t count);
  HRESULT WriteRegular(std::uint32_t sid, std::uint64_t offset, const BYTE* buffer,
                       std::size_t count);
  HRESULT ZeroRange(std::uint32_t sid, std::uint64_t from, std::uint64_t to);
  std::uint32_t NewEntrySlot();

  // Commit steps (image_commit.cpp).
  HRESULT WriteTables();
  HRESULT CheckCurrent();
  HRESULT FlushScratch();
  void LinkTree(std::uint32_t storage);

  ILockBytes* m_bytes;
  bool m_writable;
  bool m_transacted;
  std::uint32_t m_shift = kSectorShiftV3;
  Header m_header;
  SectorTable m_fat;
  SectorTable m_miniFat;
  std::vector<Entry> m_dir;
  // Where the tables of the current state live (freed and rewritten at
  // commit).
  std::vector<std::uint32_t> m_fatSectors, m_difatSectors, m_dirChain, m_miniFatChain;
  std::uint64_t m_fileSectors = 0;  // whole or partial sectors after the header
  std::vector<bool> m_protected;
  std::vector<std::uint32_t> m_reserved, m_miniReserved;  // sorted
  std::uint32_t m_freeHint = 0;
  std::uint32_t m_miniFreeHint = 0;
  Scratch m_scratch;  // transacted mode
  std::unordered_map<std::uint32_t, std::vector<std::uint32_t>, SectorHash> m_chains;
  std::unique_ptr<State> m_committed;  // transacted mode
  // The header bytes this image last read from or wrote to the file, to
  // tell at commit whether another opener has committed since (empty until
  // the file holds a header of this image's).
  std::vector<BYTE> m_diskHeader;
  std::uint64_t m_epoch = 0;
};

// A FILETIME of now.
std::uint64_t FileTimeNow();

}  // namespace zrpal::ole
