// pal/user/resfile.cpp - checking and searching resource images in place.
#include "pal/user/resfile.h"

#include <bit>
#include <cassert>
#include <cstring>

#include "pal/wstr.h"

namespace zrpal::res {

static_assert(std::endian::native == std::endian::little,
              "resource images are little-endian and read in place");

namespace {

WORD Read16(const BYTE* p) {
  WORD v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

DWORD Read32(const BYTE* p) {
  DWORD v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

std::size_t AlignUp(std::size_t n) { return (n + kAlignment - 1) & ~(kAlignment - 1); }

// The ordinal a "#123" name stands for; false for other names.
bool ParseNumericName(const WCHAR* name, WORD* ordinal) {
  if (name[0] != u'#' || name[1] == 0) return false;
  DWORD value = 0;
  for (const WCHAR* p = name + 1; *p; ++p) {
    if (*p < u'0' || *p > u'9') return false;
    value = value * 10 + (*p - u'0');
    if (value > 0xFFFF) return false;
  }
  *ordinal = static_cast<WORD>(value);
  return true;
}

}  // namespace

ResourceKey::ResourceKey(const WCHAR* id) {
  const auto bits = reinterpret_cast<std::uintptr_t>(id);
  if ((bits >> 16) == 0) {
    ordinal_ = static_cast<WORD>(bits);
  } else if (!ParseNumericName(id, &ordinal_)) {
    name_ = id;
  }
}

bool ResourceId::Parse(const BYTE* p, const BYTE* end, ResourceId* out, const BYTE** next) {
  if (end - p < 2) return false;
  *out = ResourceId{};
  if (Read16(p) == kOrdinalMarker) {
    if (end - p < 4) return false;
    out->ordinal_ = Read16(p + 2);
    *next = p + 4;
    return true;
  }
  for (const BYTE* q = p; end - q >= 2; q += 2) {
    if (Read16(q) == 0) {
      out->text_ = p;
      out->length_ = static_cast<std::size_t>(q - p) / 2;
      *next = q + 2;
      return true;
    }
  }
  return false;
}

bool ResourceId::Matches(const ResourceKey& key) const {
  if (key.IsOrdinal()) return IsOrdinal() && ordinal_ == key.Ordinal();
  if (IsOrdinal()) return false;
  const WCHAR* name = key.Name();
  for (std::size_t i = 0; i < length_; ++i) {
    if (name[i] == 0 || towupper(name[i]) != towupper(Read16(text_ + 2 * i))) return false;
  }
  return name[length_] == 0;
}

ResourceTrailer ResourceTrailer::Read(const BYTE* p) {
  return ResourceTrailer{Read32(p), Read16(p + 4), Read16(p + 6), Read32(p + 8), Read32(p + 12)};
}

Status ResourceRecord::Parse(const BYTE* image, std::size_t size, std::size_t offset,
                             ResourceRecord* out, std::size_t* next) {
  assert(offset % kAlignment == 0 && offset <= size);
  const std::size_t remaining = size - offset;
  if (remaining < kMinHeaderSize) return Status::kCorrupt;
  const BYTE* p = image + offset;
  const DWORD dataSize = Read32(p);
  const DWORD headerSize = Read32(p + 4);
  if (headerSize < kMinHeaderSize || headerSize % kAlignment != 0 || headerSize > remaining ||
      dataSize > remaining - headerSize)
    return Status::kCorrupt;

  // The identifiers lie between the prefix and the trailer, which ends the
  // header after padding to a DWORD.
  const BYTE* idsEnd = p + headerSize - kTrailerSize;
  ResourceRecord record;
  const BYTE* q = p + kPrefixSize;
  if (!ResourceId::Parse(q, idsEnd, &record.type_, &q)) return Status::kCorrupt;
  if (!ResourceId::Parse(q, idsEnd, &record.name_, &q)) return Status::kCorrupt;
  const std::size_t trailerOffset = AlignUp(static_cast<std::size_t>(q - p));
  if (trailerOffset + kTrailerSize > headerSize) return Status::kCorrupt;

  record.start_ = p;
  record.trailer_ = ResourceTrailer::Read(p + trailerOffset);
  record.data_ = p + headerSize;
  record.dataSize_ = dataSize;
  *out = record;
  // The padding after the last record's data may be missing.
  const std::size_t end = offset + headerSize + dataSize;
  *next = AlignUp(end) < size ? AlignUp(end) : size;
  return Status::kOk;
}

Status ResourceImage::Open(const void* data, std::size_t size, ResourceImage* out) {
  *out = ResourceImage{};
  if (size == 0) return Status::kOk;
  if (!data || size > kMaxImageSize || reinterpret_cast<std::uintptr_t>(data) % kAlignment != 0)
    return Status::kCorrupt;
  const auto* image = static_cast<const BYTE*>(data);
  std::size_t offset = 0;
  std::size_t records = 0;
  while (offset < size) {
    if (++records > kMaxRecords) return Status::kCorrupt;
    ResourceRecord record;
    std::size_t next = 0;
    if (ResourceRecord::Parse(image, size, offset, &record, &next) != Status::kOk)
      return Status::kCorrupt;
    assert(next > offset);  // every header is at least kMinHeaderSize bytes
    offset = next;
  }
  out->data_ = image;
  out->size_ = size;
  out->records_ = records;
  return Status::kOk;
}

bool ResourceImage::Find(const ResourceKey& type, const ResourceKey& name, WORD language,
                         ResourceRecord* out, FindError* error) const {
  // The languages to try, best first, without repeats.
  WORD order[8];
  std::size_t count = 0;
  auto add = [&](WORD lang) {
    for (std::size_t i = 0; i < count; ++i)
      if (order[i] == lang) return;
    assert(count < sizeof order / sizeof order[0]);
    order[count++] = lang;
  };
  add(language);
  add(MakeLanguage(PrimaryLanguage(language), 0));
  add(kLangNeutral);
  const bool neutral = PrimaryLanguage(language) == PrimaryLanguage(kLangNeutral);
  if (neutral) {
    if (SubLanguage(language) != kSublangSysDefault) {
      add(kDefaultLanguage);  // the user's language
      add(MakeLanguage(PrimaryLanguage(kDefaultLanguage), 0));
    }
    add(kDefaultLanguage);  // the system's language
    add(MakeLanguage(PrimaryLanguage(kDefaultLanguage), 0));
    add(kLangEnglishUs);
  }

  bool sawType = false, sawName = false;
  std::size_t bestRank = count;
  ResourceRecord best, lowest;
  bool haveLowest = false;
  ForEach([&](const ResourceRecord& record) {
    if (!record.Type().Matches(type)) return true;
    sawType = true;
    if (!record.Name().Matches(name)) return true;
    sawName = true;
    for (std::size_t rank = 0; rank < bestRank; ++rank) {
      if (order[rank] == record.Language()) {
        bestRank = rank;
        best = record;
        break;
      }
    }
    if (!haveLowest || record.Language() < lowest.Language()) {
      lowest = record;
      haveLowest = true;
    }
    return bestRank != 0;
  });

  if (bestRank < count) {
    *out = best;
  } else if (neutral && haveLowest) {
    *out = lowest;
  } else {
    *error = !sawType ? FindError::kType : !sawName ? FindError::kName : FindError::kLanguage;
    return false;
  }
  *error = FindError::kNone;
  return true;
}

bool ResourceImage::RecordAt(const void* start, ResourceRecord* out) const {
  const auto at = reinterpret_cast<std::uintptr_t>(start);
  const auto base = reinterpret_cast<std::uintptr_t>(data_);
  if (at < base || at - base >= size_) return false;
  bool found = false;
  ForEach([&](const ResourceRecord& record) {
    if (record.Start() != static_cast<const BYTE*>(start)) return true;
    *out = record;
    found = true;
    return false;
  });
  return found;
}

bool FindStringInBlock(const BYTE* data, std::size_t size, unsigned index, StringEntry* out) {
  assert(index < kStringsPerBlock);
  assert(reinterpret_cast<std::uintptr_t>(data) % alignof(WCHAR) == 0);
  std::size_t offset = 0;
  for (unsigned i = 0;; ++i) {
    if (size - offset < 2) return false;
    const WORD length = Read16(data + offset);
    const std::size_t bytes = std::size_t{length} * 2;
    if (size - offset - 2 < bytes) return false;
    if (i == index) {
      *out = StringEntry{reinterpret_cast<const WCHAR*>(data + offset + 2), length};
      return true;
    }
    offset += 2 + bytes;
  }
}

}  // namespace zrpal::res
