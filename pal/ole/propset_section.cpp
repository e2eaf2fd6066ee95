// pal/ole/propset_section.cpp - one section of a property set: its size,
// the property identifier/offset table and each property's bytes.
//
// A property's bytes run from its offset to the next larger offset of the
// table, or to the section's end: the format stores no length beside the
// value, and this span is what a writer gave the property (its value and
// padding), so it is kept as it was. Offsets count from the section's start
// and must lie after the table with room for a type word.
#include <algorithm>

#include "pal/ole/propset_format.h"

namespace zrpal::ole::ps {

HRESULT Section::Parse(const BYTE* data, std::size_t size, Section* out) {
  if (size < kHeaderSize) return STG_E_INVALIDHEADER;
  const std::uint32_t sectionSize = Le32(data);
  const std::uint32_t count = Le32(data + 4);
  if (sectionSize < kHeaderSize || sectionSize > size) return STG_E_INVALIDHEADER;
  if (count > (sectionSize - kHeaderSize) / kEntrySize) return STG_E_INVALIDHEADER;
  const std::size_t tableEnd = kHeaderSize + std::size_t{count} * kEntrySize;
  std::vector<std::uint32_t> offsets;
  offsets.reserve(count);
  out->props.clear();
  out->props.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    const BYTE* e = data + kHeaderSize + i * kEntrySize;
    const std::uint32_t offset = Le32(e + 4);
    if (offset < tableEnd || std::size_t{offset} + 4 > sectionSize) return STG_E_INVALIDHEADER;
    offsets.push_back(offset);
  }
  std::vector<std::uint32_t> sorted = offsets;
  std::sort(sorted.begin(), sorted.end());
  std::vector<PROPID> ids;
  ids.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) ids.push_back(Le32(data + kHeaderSize + i * kEntrySize));
  std::sort(ids.begin(), ids.end());
  if (std::adjacent_find(ids.begin(), ids.end()) != ids.end()) return STG_E_INVALIDHEADER;  // one identifier, two values
  for (std::uint32_t i = 0; i < count; ++i) {
    const PROPID id = Le32(data + kHeaderSize + i * kEntrySize);
    const auto next = std::upper_bound(sorted.begin(), sorted.end(), offsets[i]);
    const std::uint32_t end = next == sorted.end() ? sectionSize : *next;
    out->props.push_back({id, Bytes(data + offsets[i], data + end)});
  }
  return S_OK;
}

void Section::Write(Bytes& out) const {
  const std::size_t start = out.size();
  const std::size_t tableEnd = kHeaderSize + props.size() * kEntrySize;
  out.resize(start + tableEnd, 0);
  std::size_t at = tableEnd;
  for (std::size_t i = 0; i < props.size(); ++i) {
    PutLe32(&out[start + kHeaderSize + i * kEntrySize], props[i].id);
    PutLe32(&out[start + kHeaderSize + i * kEntrySize + 4], static_cast<std::uint32_t>(at));
    out.insert(out.end(), props[i].raw.begin(), props[i].raw.end());
    out.resize(start + Pad4(out.size() - start), 0);
    at = out.size() - start;
  }
  PutLe32(&out[start], static_cast<std::uint32_t>(at));
  PutLe32(&out[start + 4], static_cast<std::uint32_t>(props.size()));
}

const Section::Property* Section::Find(PROPID id) const {
  for (const Property& p : props)
    if (p.id == id) return &p;
  return nullptr;
}

}  // namespace zrpal::ole::ps
