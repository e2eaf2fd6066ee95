// pal/ole/propset_header.cpp - the property set stream header, and the
// stream as a header and its sections (see propset_format.h).
#include "pal/ole/propset_format.h"

namespace zrpal::ole::ps {

HRESULT SetHeader::Parse(const BYTE* data, std::size_t size, SetHeader* out) {
  if (size < kHeaderSize || Le16(data) != kByteOrderMark) return STG_E_INVALIDHEADER;
  out->version = Le16(data + 2);
  if (out->version > kMaxFormatVersion) return STG_E_INVALIDHEADER;
  out->osVersion = Le32(data + 4);
  out->clsid = GuidAt(data + 8);
  const std::uint32_t count = Le32(data + 24);
  if (count < 1 || count > kMaxSections) return STG_E_INVALIDHEADER;
  if (size < kHeaderSize + count * kSectionPairSize) return STG_E_INVALIDHEADER;
  out->sections.clear();
  for (std::uint32_t i = 0; i < count; ++i) {
    const BYTE* p = data + kHeaderSize + i * kSectionPairSize;
    const DWORD offset = Le32(p + 16);
    if (offset < kHeaderSize + count * kSectionPairSize || offset >= size) return STG_E_INVALIDHEADER;
    out->sections.push_back({GuidAt(p), offset});
  }
  return S_OK;
}

void SetHeader::Write(Bytes& out) const {
  out.resize(out.size() + 8);
  BYTE* p = &out[out.size() - 8];
  PutLe16(p, kByteOrderMark);
  PutLe16(p + 2, version);
  PutLe32(p + 4, osVersion);
  PutGuid(out, clsid);
  PutU32(out, static_cast<std::uint32_t>(sections.size()));
  for (const Pair& s : sections) {
    PutGuid(out, s.fmtid);
    PutU32(out, s.offset);
  }
}

HRESULT SetStream::Parse(const BYTE* data, std::size_t size, SetStream* out) {
  HRESULT hr = SetHeader::Parse(data, size, &out->header);
  if (FAILED(hr)) return hr;
  out->fmtids.clear();
  out->sections.clear();
  for (const SetHeader::Pair& pair : out->header.sections) {
    Section s;
    if (FAILED(hr = Section::Parse(data + pair.offset, size - pair.offset, &s))) return hr;
    out->fmtids.push_back(pair.fmtid);
    out->sections.push_back(std::move(s));
  }
  return S_OK;
}

Bytes SetStream::Write() const {
  SetHeader h = header;
  h.sections.clear();
  for (const FMTID& f : fmtids) h.sections.push_back({f, 0});
  Bytes body;
  std::size_t at = h.Size();
  for (std::size_t i = 0; i < sections.size(); ++i) {
    h.sections[i].offset = static_cast<DWORD>(at + body.size());
    sections[i].Write(body);
  }
  Bytes out;
  out.reserve(at + body.size());
  h.Write(out);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

int SetStream::IndexOf(REFFMTID fmtid) const {
  for (std::size_t i = 0; i < fmtids.size(); ++i)
    if (fmtids[i] == fmtid) return static_cast<int>(i);
  return -1;
}

}  // namespace zrpal::ole::ps
