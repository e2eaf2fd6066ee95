// pal/ole/propset_dictionary.cpp - property 0 of a section: the names of
// its named properties.
//
// Layout: an entry count, then per entry the identifier, the name's length
// in characters with its terminator, and the name: UTF-16 units padded to 4
// bytes per entry when the set's code page is 1200, else the code page's
// bytes with no padding between entries. Names are held as UTF-16 and
// converted through the library's code pages (double-byte ones included).
#include "pal/codepage.h"
#include "pal/ole/propset_format.h"

namespace zrpal::ole::ps {

namespace {

constexpr std::size_t kEntryHeader = 8;  // identifier, length
// Windows limits a name to 255 characters (with its terminator, version 1).
constexpr std::uint32_t kMaxNameLength = 256;

}  // namespace

HRESULT Dictionary::Parse(const BYTE* data, std::size_t size, UINT codePage, Dictionary* out) {
  if (size < 4) return STG_E_INVALIDHEADER;
  const std::uint32_t count = Le32(data);
  if (count > (size - 4) / kEntryHeader) return STG_E_INVALIDHEADER;
  out->entries.clear();
  out->entries.reserve(count);
  std::size_t at = 4;
  const bool unicode = codePage == CP_WINUNICODE;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (size - at < kEntryHeader) return STG_E_INVALIDHEADER;
    const PROPID id = Le32(data + at);
    const std::uint32_t length = Le32(data + at + 4);
    at += kEntryHeader;
    if (length == 0 || length > kMaxNameLength) return STG_E_INVALIDHEADER;
    const std::size_t bytes = unicode ? std::size_t{length} * 2 : length;
    if (size - at < bytes) return STG_E_INVALIDHEADER;
    std::u16string name;
    if (unicode) {
      for (std::uint32_t k = 0; k < length; ++k) name.push_back(static_cast<char16_t>(Le16(data + at + 2 * k)));
    } else {
      const auto* text = reinterpret_cast<const char*>(data + at);
      if (length > 1) {
        const int n = MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), nullptr, 0);
        if (n <= 0) return STG_E_INVALIDHEADER;
        name.resize(static_cast<std::size_t>(n));
        MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), name.data(), n);
      }
    }
    const std::size_t nul = name.find(u'\0');
    if (nul != std::u16string::npos) name.resize(nul);
    at += unicode ? Pad4(bytes) : bytes;
    if (at > size) at = size;  // the last entry's padding may be the section's end
    out->entries.push_back({id, std::move(name)});
  }
  return S_OK;
}

void Dictionary::Write(UINT codePage, Bytes& out) const {
  const std::size_t start = out.size();
  PutU32(out, static_cast<std::uint32_t>(entries.size()));
  for (const Entry& e : entries) {
    PutU32(out, e.id);
    if (codePage == CP_WINUNICODE) {
      PutU32(out, static_cast<std::uint32_t>(e.name.size() + 1));
      for (char16_t c : e.name) out.insert(out.end(), {BYTE(c & 0xFF), BYTE(c >> 8)});
      out.insert(out.end(), {0, 0});
      out.resize(start + Pad4(out.size() - start), 0);
    } else {
      std::string text;
      if (!e.name.empty()) {
        const int n = WideCharToMultiByte(codePage, 0, e.name.data(), static_cast<int>(e.name.size()),
                                          nullptr, 0, nullptr, nullptr);
        text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        if (n > 0)
          WideCharToMultiByte(codePage, 0, e.name.data(), static_cast<int>(e.name.size()), text.data(), n,
                              nullptr, nullptr);
      }
      PutU32(out, static_cast<std::uint32_t>(text.size() + 1));
      out.insert(out.end(), text.begin(), text.end());
      out.push_back(0);
    }
  }
  out.resize(start + Pad4(out.size() - start), 0);
}

}  // namespace zrpal::ole::ps
