// pal/ole/direntry.cpp - directory entries and the order of names.
#include "pal/ole/direntry.h"

#include <cstring>

#include "pal/ole/le.h"

namespace zrpal::ole {

namespace {
constexpr std::size_t kNameBytes = 64;
}

HRESULT DirEntry::Parse(const BYTE* p, bool version3) {
  const BYTE rawType = p[66];
  if (rawType != 0 && rawType != 1 && rawType != 2 && rawType != 5) return STG_E_DOCFILECORRUPT;
  type = static_cast<ObjectType>(rawType);
  color = p[67] == 0 ? Color::Red : Color::Black;
  left = Le32(p + 68);
  right = Le32(p + 72);
  child = Le32(p + 76);
  std::memcpy(&clsid.Data1, p + 80, 4);
  clsid.Data1 = Le32(p + 80);
  clsid.Data2 = Le16(p + 84);
  clsid.Data3 = Le16(p + 86);
  std::memcpy(clsid.Data4, p + 88, 8);
  stateBits = Le32(p + 96);
  created = Le64(p + 100);
  modified = Le64(p + 108);
  start = Le32(p + 116);
  size = version3 ? Le32(p + 120) : Le64(p + 120);
  name.clear();
  if (type == ObjectType::Unused) return S_OK;
  const WORD nameBytes = Le16(p + 64);
  if (nameBytes < 2 || nameBytes > kNameBytes || nameBytes % 2) return STG_E_DOCFILECORRUPT;
  const std::size_t units = nameBytes / 2 - 1;
  if (Le16(p + 2 * units) != 0) return STG_E_DOCFILECORRUPT;
  name.resize(units);
  for (std::size_t i = 0; i < units; ++i) name[i] = static_cast<char16_t>(Le16(p + 2 * i));
  return S_OK;
}

void DirEntry::Serialize(BYTE* p) const {
  std::memset(p, 0, kDirEntrySize);
  for (std::size_t i = 0; i < name.size(); ++i) PutLe16(p + 2 * i, name[i]);
  PutLe16(p + 64, static_cast<WORD>(type == ObjectType::Unused ? 0 : 2 * (name.size() + 1)));
  p[66] = static_cast<BYTE>(type);
  p[67] = static_cast<BYTE>(color);
  PutLe32(p + 68, left);
  PutLe32(p + 72, right);
  PutLe32(p + 76, child);
  PutLe32(p + 80, clsid.Data1);
  PutLe16(p + 84, clsid.Data2);
  PutLe16(p + 86, clsid.Data3);
  std::memcpy(p + 88, clsid.Data4, 8);
  PutLe32(p + 96, stateBits);
  PutLe64(p + 100, created);
  PutLe64(p + 108, modified);
  PutLe32(p + 116, start);
  PutLe64(p + 120, size);
}

char16_t UpcaseUnit(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F) {
    // Latin Extended-A pairs: upper even, lower odd, except the two runs
    // where the pairs start on an odd unit.
    const bool oddPairs = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    if (oddPairs) return (c % 2 == 0) ? static_cast<char16_t>(c - 1) : c;
    return (c % 2 == 1) ? static_cast<char16_t>(c - 1) : c;
  }
  if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  return c;
}

int CompareNames(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const char16_t x = UpcaseUnit(a[i]);
    const char16_t y = UpcaseUnit(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

bool IsValidElementName(std::u16string_view name) {
  if (name.empty() || name.size() > kMaxNameChars) return false;
  for (char16_t c : name)
    if (c == u'/' || c == u'\\' || c == u':' || c == u'!') return false;
  return true;
}

}  // namespace zrpal::ole
