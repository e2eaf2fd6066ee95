// pal/ole/propset_format.h - the on-disk structures of a property set
// stream ([MS-OLEPS] 2.21-2.20), one type each:
//   SetHeader   the stream header: byte order mark 0xFFFE, format version
//               (0 or 1), the writer's system identifier, a CLSID and the
//               (format identifier, offset) pair of each section (1 or 2);
//   Section     one section: its size, the property identifier/offset
//               table and each property's bytes (propset_section.cpp);
//   Dictionary  property 0 of a section: identifiers and names
//               (propset_dictionary.cpp);
//   the typed values themselves are in propset_value.h.
//
// Parsing validates at this boundary: every offset, count and length is
// checked against the bytes that hold it before anything is taken, and a
// violation answers STG_E_INVALIDHEADER; no count allocates more than the
// bytes it came from can describe. A property keeps its bytes (its type word
// and value, up to the next property or the section's end) exactly as read,
// so a section written back carries every property that was not changed
// byte for byte, whatever its type.
#pragma once

#include <string>
#include <vector>

#include "pal/ole/le.h"
#include "pal/ole/propidl.h"

namespace zrpal::ole::ps {

using Bytes = std::vector<BYTE>;

inline constexpr WORD kByteOrderMark = 0xFFFE;
inline constexpr std::size_t kHeaderSize = 28;       // byte order .. section count
inline constexpr std::size_t kSectionPairSize = 20;  // FMTID + offset
inline constexpr std::size_t kMaxSections = 2;       // [MS-OLEPS]: 1, or 2 for the user-defined set
inline constexpr DWORD kMaxFormatVersion = 1;
// The system identifier written in new sets: Windows NT 6.1 on a Win32
// platform (high word 2), as current Windows writes it.
inline constexpr DWORD kOsVersion = 0x00020601;

inline std::size_t Pad4(std::size_t n) { return (n + 3) & ~std::size_t{3}; }
inline void PadTo4(Bytes& b) { b.resize(Pad4(b.size()), 0); }

inline GUID GuidAt(const BYTE* p) {
  GUID g;
  g.Data1 = Le32(p);
  g.Data2 = Le16(p + 4);
  g.Data3 = Le16(p + 6);
  for (int i = 0; i < 8; ++i) g.Data4[i] = p[8 + i];
  return g;
}
inline void PutGuid(Bytes& out, const GUID& g) {
  const std::size_t at = out.size();
  out.resize(at + 16);
  PutLe32(&out[at], g.Data1);
  PutLe16(&out[at + 4], g.Data2);
  PutLe16(&out[at + 6], g.Data3);
  for (int i = 0; i < 8; ++i) out[at + 8 + i] = g.Data4[i];
}
inline void PutU32(Bytes& out, std::uint32_t v) {
  const std::size_t at = out.size();
  out.resize(at + 4);
  PutLe32(&out[at], v);
}

// The header of the stream and the pairs that follow it.
struct SetHeader {
  struct Pair {
    FMTID fmtid;
    DWORD offset;
  };
  WORD version = 0;
  DWORD osVersion = kOsVersion;
  CLSID clsid = CLSID_NULL;
  std::vector<Pair> sections;

  // The header of `data`; every section offset lies inside `size`.
  static HRESULT Parse(const BYTE* data, std::size_t size, SetHeader* out);
  // Header and pairs as written (offsets as they are in `sections`).
  std::size_t Size() const { return kHeaderSize + kSectionPairSize * sections.size(); }
  void Write(Bytes& out) const;
};

// One section. `props` holds the property table in file order; each
// property's `raw` bytes start with its type word (the dictionary, which has
// none, starts with its entry count).
struct Section {
  struct Property {
    PROPID id;
    Bytes raw;
  };
  static constexpr std::size_t kHeaderSize = 8;  // size, property count
  static constexpr std::size_t kEntrySize = 8;   // identifier, offset

  std::vector<Property> props;

  // The section at `data` (`size` bytes to the stream's end).
  static HRESULT Parse(const BYTE* data, std::size_t size, Section* out);
  // Writes the section, each property padded to 4 bytes.
  void Write(Bytes& out) const;
  const Property* Find(PROPID id) const;
};

// Property 0: identifier -> name. Names are held as UTF-16; the set's code
// page says how they are stored (1200: UTF-16, each entry padded to 4
// bytes; any other: that page's bytes).
struct Dictionary {
  struct Entry {
    PROPID id;
    std::u16string name;
  };
  std::vector<Entry> entries;

  static HRESULT Parse(const BYTE* data, std::size_t size, UINT codePage, Dictionary* out);
  void Write(UINT codePage, Bytes& out) const;
};

// The whole stream: a header and its sections, in order.
struct SetStream {
  SetHeader header;
  std::vector<FMTID> fmtids;
  std::vector<Section> sections;

  static HRESULT Parse(const BYTE* data, std::size_t size, SetStream* out);
  Bytes Write() const;
  int IndexOf(REFFMTID fmtid) const;
};

}  // namespace zrpal::ole::ps
