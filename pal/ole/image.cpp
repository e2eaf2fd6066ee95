// pal/ole/image.cpp - loading a compound file and editing its directory.
//
// Loading reads the header, the DIFAT, the FAT, the directory and the mini
// FAT into memory, then builds each storage's ordered children from the
// red-black links. Every walk is bounded and every index checked before use:
//   - the FAT holds at most as many sectors as the file (each FAT sector
//     must lie inside the file), so no table is larger than the file;
//   - the DIFAT chain is followed for at most the header's count of sectors
//     and never past the file;
//   - chains are walked by SectorTable::Walk (bounded by the table);
//   - the tree walk visits each entry once (a second visit is a cycle);
//   - CheckOwners claims each sector for one structure as it walks, so its
//     walks take at most one step per sector and refuse crossed chains.
// A stream chain that is broken on its own fails when the stream is opened
// (CheckStream); the rest of the file stays readable.
#include "pal/ole/image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "pal/ole/le.h"

namespace zrpal::ole {

Image::Image(ILockBytes* bytes, bool writable, bool transacted)
    : m_bytes(bytes), m_writable(writable), m_transacted(transacted) {
  m_bytes->AddRef();
}

Image::~Image() { m_bytes->Release(); }

HRESULT Image::ReadFile(std::uint64_t offset, BYTE* buffer, std::size_t count) {
  while (count > 0) {
    const ULONG chunk = static_cast<ULONG>(std::min<std::size_t>(count, 1u << 30));
    ULONG got = 0;
    const HRESULT hr = m_bytes->ReadAt(ULARGE_INTEGER{offset}, buffer, chunk, &got);
    if (FAILED(hr)) return hr;
    if (got < chunk) {
      // The last sector of a file may be cut short; what is missing reads
      // as zero (sectors wholly past the end are refused by the callers).
      std::memset(buffer + got, 0, count - got);
      return S_OK;
    }
    offset += got;
    buffer += got;
    count -= got;
  }
  return S_OK;
}

HRESULT Image::WriteFile(std::uint64_t offset, const BYTE* buffer, std::size_t count) {
  while (count > 0) {
    const ULONG chunk = static_cast<ULONG>(std::min<std::size_t>(count, 1u << 30));
    ULONG written = 0;
    const HRESULT hr = m_bytes->WriteAt(ULARGE_INTEGER{offset}, buffer, chunk, &written);
    if (FAILED(hr)) return hr;
    if (written == 0) return STG_E_WRITEFAULT;
    offset += written;
    buffer += written;
    count -= written;
  }
  return S_OK;
}

HRESULT Image::Load(ILockBytes* bytes, bool writable, bool transacted, std::unique_ptr<Image>* out,
                    std::string* why) {
  std::unique_ptr<Image> image(new Image(bytes, writable, transacted));
  const HRESULT hr = image->LoadAll(why);
  if (FAILED(hr)) return hr;
  if (transacted) image->m_committed = std::make_unique<State>(image->Snapshot());
  *out = std::move(image);
  return S_OK;
}

HRESULT Image::LoadAll(std::string* why) {
  STATSTG st{};
  HRESULT hr = m_bytes->Stat(&st, STATFLAG_NONAME);
  if (FAILED(hr)) return hr;
  const std::uint64_t fileSize = st.cbSize.QuadPart;
  BYTE raw[kHeaderSize];
  if (fileSize < kHeaderSize) return STG_E_FILEALREADYEXISTS;
  if (FAILED(hr = ReadFile(0, raw, kHeaderSize))) return hr;
  if (!Header::HasSignature(raw, kHeaderSize)) return STG_E_FILEALREADYEXISTS;
  if (FAILED(hr = m_header.Parse(raw))) return hr;
  m_diskHeader.assign(raw, raw + kHeaderSize);
  m_shift = m_header.sectorShift;
  m_scratch.SetShift(m_shift);
  const std::uint32_t ss = SectorSize();
  if (fileSize <= ss) return STG_E_DOCFILECORRUPT;  // not even one sector
  m_fileSectors = (fileSize - ss + ss - 1) / ss;
  if (m_fileSectors > kMaxRegSect) return STG_E_DOCFILECORRUPT;
  const std::uint32_t fileSectors = static_cast<std::uint32_t>(m_fileSectors);
  if (m_header.fatSectorCount > fileSectors || m_header.difatSectorCount > fileSectors)
    return STG_E_DOCFILECORRUPT;

  // DIFAT: the first 109 FAT sectors in the header, the rest in a chain of
  // DIFAT sectors whose last link names the next one.
  const std::uint32_t fatCount = m_header.fatSectorCount;
  m_fatSectors.clear();
  for (std::uint32_t i = 0; i < kHeaderDifatEntries && m_fatSectors.size() < fatCount; ++i)
    m_fatSectors.push_back(m_header.difat[i]);
  std::vector<BYTE> sector(ss);
  std::vector<bool> seen(fileSectors, false);
  std::uint32_t next = m_header.firstDifatSector;
  for (std::uint32_t n = 0; n < m_header.difatSectorCount && m_fatSectors.size() < fatCount; ++n) {
    if (next >= fileSectors || seen[next]) return STG_E_DOCFILECORRUPT;
    seen[next] = true;
    m_difatSectors.push_back(next);
    if (FAILED(hr = ReadFile(SectorOffset(next), sector.data(), ss))) return hr;
    for (std::uint32_t i = 0; i + 1 < ss / 4 && m_fatSectors.size() < fatCount; ++i)
      m_fatSectors.push_back(Le32(&sector[4 * i]));
    next = Le32(&sector[ss - 4]);
  }
  if (m_fatSectors.size() < fatCount) return STG_E_DOCFILECORRUPT;

  // FAT.
  m_fat.Links().reserve(std::size_t{fatCount} * (ss / 4));
  for (std::uint32_t s : m_fatSectors) {
    if (s >= fileSectors) return STG_E_DOCFILECORRUPT;
    if (FAILED(hr = ReadFile(SectorOffset(s), sector.data(), ss))) return hr;
    m_fat.LoadSector(sector.data(), ss);
  }
  // Links past the file's last sector are unusable: treat the table as
  // ending there, so that a chain into them fails its walk.
  if (m_fat.Size() > fileSectors) m_fat.Links().resize(fileSectors);

  // Directory.
  if (FAILED(hr = m_fat.Walk(m_header.firstDirSector, m_fat.Size(), &m_dirChain))) return hr;
  if (m_dirChain.empty()) return STG_E_DOCFILECORRUPT;
  if (FAILED(hr = LoadDirectory(m_dirChain))) return hr;

  // Mini FAT.
  if (m_header.firstMiniFatSector != kEndOfChain || m_header.miniFatSectorCount != 0) {
    if (FAILED(hr = m_fat.Walk(m_header.firstMiniFatSector, m_fat.Size(), &m_miniFatChain)))
      return hr;
    for (std::uint32_t s : m_miniFatChain) {
      if (FAILED(hr = ReadFile(SectorOffset(s), sector.data(), ss))) return hr;
      m_miniFat.LoadSector(sector.data(), ss);
    }
  }
  if (FAILED(hr = BuildTree())) return hr;
  // The mini stream must be sound before any small stream is read from it.
  if (FAILED(hr = CheckStream(kRoot))) return hr;
  // Mini sectors past the end of the mini stream are unusable.
  const std::uint64_t miniSectors = m_dir[kRoot].d.size / kMiniSectorSize;
  if (m_miniFat.Size() > miniSectors) m_miniFat.Links().resize(miniSectors);
  if (FAILED(hr = CheckOwners(why))) return hr;

  if (m_transacted) {
    m_protected.assign(m_fat.Size(), false);
    for (std::uint32_t i = 0; i < m_fat.Size(); ++i) m_protected[i] = m_fat[i] != kFreeSect;
    // Table sectors are in use whatever the FAT says about them.
    for (auto* list : {&m_fatSectors, &m_difatSectors})
      for (std::uint32_t s : *list)
        if (s < m_protected.size()) m_protected[s] = true;
  }
  return S_OK;
}

namespace {

// Owners of sectors: 0 is none, sid + 1 a stream (1 the mini stream), the
// tables count down from the top.
constexpr std::uint32_t kUnclaimed = 0;
constexpr std::uint32_t kDifatOwner = 0xFFFFFFFF;
constexpr std::uint32_t kFatOwner = 0xFFFFFFFE;
constexpr std::uint32_t kDirOwner = 0xFFFFFFFD;
constexpr std::uint32_t kMiniFatOwner = 0xFFFFFFFC;

// A number in decimal (std::to_string would export its digit table from
// the shared library).
std::string Decimal(std::uint32_t v) {
  char buf[12];
  std::snprintf(buf, sizeof buf, "%u", v);
  return buf;
}

std::string OwnerName(std::uint32_t owner) {
  switch (owner) {
    case kDifatOwner:
      return "the DIFAT";
    case kFatOwner:
      return "the FAT";
    case kDirOwner:
      return "the directory";
    case kMiniFatOwner:
      return "the mini FAT";
    case 1:
      return "the mini stream";
    default:
      return "entry " + Decimal(owner - 1);
  }
}

enum class Claim { Whole, Broken, Crossed };

// Claims the chain from `start` (which must cover `need` sectors) for
// `owner`. A chain that runs into a sector of another owner is Crossed
// (*at: that sector). A chain that breaks on its own (a link out of the
// table, a loop back into itself, too short) is Broken; *at is then a
// sector that a later allocation could hand out and so join to it (a free
// sector it reached, or a link past the table's end), or kFreeSect. Each
// step claims a new sector or ends the walk, so all the walks of a load
// together take at most one step per sector and one per chain.
Claim ClaimChain(const SectorTable& table, std::uint32_t start, std::uint64_t need,
                 std::uint32_t owner, std::vector<std::uint32_t>& owners, std::uint32_t* at) {
  std::uint64_t count = 0;
  std::uint32_t last = kFreeSect;
  for (std::uint32_t s = start; s != kEndOfChain; last = s, s = table[s]) {
    if (s >= table.Size() || s >= owners.size()) {
      if (s <= kMaxRegSect)
        *at = s;  // a sector the table may grow to
      else
        *at = last != kFreeSect && table[last] == kFreeSect ? last : kFreeSect;
      return Claim::Broken;
    }
    if (owners[s] == owner) {
      *at = kFreeSect;
      return Claim::Broken;
    }
    if (owners[s] != kUnclaimed) {
      *at = s;
      return Claim::Crossed;
    }
    owners[s] = owner;
    ++count;
  }
  *at = kFreeSect;
  return count < need ? Claim::Broken : Claim::Whole;
}

}  // namespace

// Every sector belongs to one structure at most: the DIFAT, the FAT, the
// directory, the mini FAT, the mini stream, or one stream; every mini
// sector to one small stream. A file whose chains cross is refused whole:
// editing one of two crossed chains (the old tables are freed at each
// commit, a destroyed stream frees its sectors) would break the other,
// and a commit must leave a file that opens. A stream whose chain is broken
// on its own stays in the tree and fails when it is opened (CheckStream);
// a sector it runs into that the allocator could hand out later (free, or
// past the table's end) is reserved instead.
HRESULT Image::CheckOwners(std::string* why) {
  std::vector<std::uint32_t> owners(static_cast<std::size_t>(m_fileSectors), kUnclaimed);
  auto crossed = [&](const char* unit, std::uint32_t at, std::uint32_t first,
                     std::uint32_t second) {
    if (why)
      *why = std::string(unit) + " " + Decimal(at) + " belongs to " + OwnerName(first) +
             " and to " + OwnerName(second);
    return STG_E_DOCFILECORRUPT;
  };
  const std::pair<const std::vector<std::uint32_t>*, std::uint32_t> tables[] = {
      {&m_difatSectors, kDifatOwner},
      {&m_fatSectors, kFatOwner},
      {&m_dirChain, kDirOwner},
      {&m_miniFatChain, kMiniFatOwner}};
  for (const auto& [list, owner] : tables) {
    for (std::uint32_t s : *list) {
      if (s >= owners.size()) return STG_E_DOCFILECORRUPT;  // refused by the load already
      if (owners[s] != kUnclaimed) return crossed("sector", s, owners[s], owner);
      owners[s] = owner;
    }
  }
  std::vector<std::uint32_t> miniOwners(m_miniFat.Size(), kUnclaimed);
  for (std::uint32_t sid = 0; sid < EntryCount(); ++sid) {
    const DirEntry& d = m_dir[sid].d;
    if (d.type != ObjectType::Root && d.type != ObjectType::Stream) continue;
    const bool mini = IsMini(sid, d.size);
    const std::uint32_t unitShift = mini ? kMiniSectorShift : m_shift;
    const std::uint64_t need = (d.size + (1u << unitShift) - 1) >> unitShift;
    std::vector<std::uint32_t>& claims = mini ? miniOwners : owners;
    std::uint32_t at = kFreeSect;
    const Claim claim = ClaimChain(mini ? m_miniFat : m_fat, d.start, need, sid + 1, claims, &at);
    if (claim == Claim::Crossed)
      return crossed(mini ? "mini sector" : "sector", at, claims[at], sid + 1);
    if (claim == Claim::Broken && at != kFreeSect)
      (mini ? m_miniReserved : m_reserved).push_back(at);
  }
  for (auto* list : {&m_reserved, &m_miniReserved}) {
    std::sort(list->begin(), list->end());
    list->erase(std::unique(list->begin(), list->end()), list->end());
  }
  return S_OK;
}

HRESULT Image::LoadDirectory(const std::vector<std::uint32_t>& dirChain) {
  const std::uint32_t ss = SectorSize();
  const std::uint32_t perSector = ss / kDirEntrySize;
  std::vector<BYTE> sector(ss);
  m_dir.resize(dirChain.size() * perSector);
  const bool version3 = m_header.majorVersion == 3;
  for (std::size_t i = 0; i < dirChain.size(); ++i) {
    const HRESULT hr = ReadFile(SectorOffset(dirChain[i]), sector.data(), ss);
    if (FAILED(hr)) return hr;
    for (std::uint32_t k = 0; k < perSector; ++k) {
      Entry& e = m_dir[i * perSector + k];
      if (FAILED(e.d.Parse(&sector[k * kDirEntrySize], version3))) {
        // An entry that cannot be read is corrupt only if the tree uses it;
        // BuildTree refuses unused entries it reaches.
        e.d = DirEntry{};
      }
    }
  }
  if (m_dir[kRoot].d.type != ObjectType::Root) return STG_E_DOCFILECORRUPT;
  return S_OK;
}

HRESULT Image::BuildTree() {
  const std::uint32_t count = EntryCount();
  std::vector<bool> reached(count, false);
  reached[kRoot] = true;
  // (storage, subtree root) pairs still to walk; each entry is pushed at
  // most once, so the work is bounded by the directory's size.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> todo;
  if (m_dir[kRoot].d.child != kNoStream) todo.push_back({kRoot, m_dir[kRoot].d.child});
  while (!todo.empty()) {
    const auto [storage, sid] = todo.back();
    todo.pop_back();
    if (sid >= count || reached[sid]) return STG_E_DOCFILECORRUPT;
    reached[sid] = true;
    Entry& e = m_dir[sid];
    if (e.d.type != ObjectType::Storage && e.d.type != ObjectType::Stream)
      return STG_E_DOCFILECORRUPT;
    e.parent = storage;
    // Two elements with one name are refused by the format's order; keep
    // the first, as readers that search the tree find one of them.
    m_dir[storage].children.emplace(e.d.name, sid);
    if (e.d.left != kNoStream) todo.push_back({storage, e.d.left});
    if (e.d.right != kNoStream) todo.push_back({storage, e.d.right});
    if (e.d.type == ObjectType::Storage && e.d.child != kNoStream) todo.push_back({sid, e.d.child});
  }
  for (std::uint32_t sid = 0; sid < count; ++sid) {
    Entry& e = m_dir[sid];
    if (!reached[sid]) {
      e.d = DirEntry{};  // not in the tree: free for reuse
      continue;
    }
    if (e.d.type == ObjectType::Storage) e.d.size = 0;
    if (e.d.size == 0) e.d.start = kEndOfChain;
  }
  return S_OK;
}

HRESULT Image::Create(ILockBytes* bytes, unsigned majorVersion, bool transacted,
                      std::unique_ptr<Image>* out) {
  std::unique_ptr<Image> image(new Image(bytes, true, transacted));
  image->m_header = Header::ForVersion(majorVersion);
  image->m_shift = image->m_header.sectorShift;
  image->m_scratch.SetShift(image->m_shift);
  Entry root;
  root.d.name = u"Root Entry";
  root.d.type = ObjectType::Root;
  root.d.start = kEndOfChain;
  image->m_dir.push_back(std::move(root));
  HRESULT hr = bytes->SetSize(ULARGE_INTEGER{0});
  if (FAILED(hr)) return hr;
  // The whole first sector: a version 4 header is followed by zeros.
  std::vector<BYTE> first(image->SectorSize(), 0);
  if (FAILED(hr = image->WriteFile(0, first.data(), first.size()))) return hr;
  image->m_committed = transacted ? std::make_unique<State>(image->Snapshot()) : nullptr;
  if (FAILED(hr = image->Commit())) return hr;
  *out = std::move(image);
  return S_OK;
}

Image::State Image::Snapshot() const {
  return State{m_header,     m_fat,          m_miniFat,  m_dir,
               m_fatSectors, m_difatSectors, m_dirChain, m_miniFatChain};
}

void Image::Restore(State&& s) {
  m_header = s.header;
  m_fat = std::move(s.fat);
  m_miniFat = std::move(s.miniFat);
  // Entries keep their generation counters moving forward, so that objects
  // opened on an entry that the restore removes see it gone.
  std::vector<std::uint32_t> generations(std::max(m_dir.size(), s.dir.size()), 0);
  for (std::size_t i = 0; i < m_dir.size(); ++i) generations[i] = m_dir[i].generation;
  m_dir = std::move(s.dir);
  for (std::size_t i = 0; i < m_dir.size(); ++i) {
    m_dir[i].generation = generations[i] + 1;
    m_dir[i].openCount = 0;
  }
  m_fatSectors = std::move(s.fatSectors);
  m_difatSectors = std::move(s.difatSectors);
  m_dirChain = std::move(s.dirChain);
  m_miniFatChain = std::move(s.miniFatChain);
  m_chains.clear();
  m_freeHint = 0;
  m_miniFreeHint = 0;
}

void Image::Revert() {
  if (!m_transacted || !m_committed) return;
  State copy = *m_committed;
  Restore(std::move(copy));
  m_scratch.Clear();
  ++m_epoch;
}

std::uint32_t Image::Find(std::uint32_t parent, std::u16string_view name) const {
  const auto& children = m_dir[parent].children;
  const auto it = children.find(std::u16string(name));
  return it == children.end() ? kNoStream : it->second;
}

std::uint32_t Image::NewEntrySlot() {
  for (std::uint32_t sid = 1; sid < m_dir.size(); ++sid)
    if (m_dir[sid].d.type == ObjectType::Unused) return sid;
  m_dir.emplace_back();
  return static_cast<std::uint32_t>(m_dir.size() - 1);
}

HRESULT Image::Add(std::uint32_t parent, std::u16string_view name, ObjectType type,
                   std::uint32_t* sid) {
  if (!IsValidElementName(name)) return STG_E_INVALIDNAME;
  if (Find(parent, name) != kNoStream) return STG_E_FILEALREADYEXISTS;
  const std::uint32_t slot = NewEntrySlot();
  Entry& e = m_dir[slot];
  const std::uint32_t generation = e.generation + 1;
  e = Entry{};
  e.generation = generation;
  e.d.name = std::u16string(name);
  e.d.type = type;
  e.d.start = kEndOfChain;
  if (type == ObjectType::Storage) e.d.created = e.d.modified = FileTimeNow();
  e.parent = parent;
  m_dir[parent].children.emplace(e.d.name, slot);
  *sid = slot;
  return S_OK;
}

HRESULT Image::Remove(std::uint32_t sid) {
  // Depth-first over the subtree; the tree has no cycles (BuildTree), so
  // the walk ends.
  std::vector<std::uint32_t> todo{sid};
  std::vector<std::uint32_t> order;
  while (!todo.empty()) {
    const std::uint32_t s = todo.back();
    todo.pop_back();
    order.push_back(s);
    for (const auto& [name, child] : m_dir[s].children) todo.push_back(child);
  }
  for (std::uint32_t s : order) {
    if (m_dir[s].d.type == ObjectType::Stream) {
      const HRESULT hr = FreeChainOf(s);
      if (FAILED(hr)) return hr;
    }
  }
  Entry& e = m_dir[sid];
  m_dir[e.parent].children.erase(e.d.name);
  for (std::uint32_t s : order) {
    const std::uint32_t generation = m_dir[s].generation + 1;
    m_dir[s] = Entry{};
    m_dir[s].generation = generation;
  }
  return S_OK;
}

HRESULT Image::Rename(std::uint32_t sid, std::u16string_view name) {
  if (!IsValidElementName(name)) return STG_E_INVALIDNAME;
  Entry& e = m_dir[sid];
  if (Find(e.parent, name) != kNoStream) return STG_E_FILEALREADYEXISTS;
  auto& siblings = m_dir[e.parent].children;
  siblings.erase(e.d.name);
  e.d.name = std::u16string(name);
  siblings.emplace(e.d.name, sid);
  return S_OK;
}

}  // namespace zrpal::ole

#include "pal/ole/posix/image.inc"
