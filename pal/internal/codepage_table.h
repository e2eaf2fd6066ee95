// pal/internal/codepage_table.h - the supported code pages and their conversion tables.
//
// Every supported code page except UTF-8 is converted through a table built
// once per process from the C library's iconv: each byte (and, for the
// double-byte pages, each lead/trail pair) is decoded on its own, and each
// UTF-16 unit is encoded on its own. Converting character by character gives
// the Windows semantics that iconv's stream conversion lacks: one default
// character per unmappable UTF-16 unit, no composition of combining marks
// (glibc's CP1255 and CP1258 compose on decoding, Windows does not), and no
// best-fit substitutes (glibc encodes some characters to look-alikes that do
// not decode back). Where the Windows table of a page differs from glibc's in
// ways that are known and small (single bytes glibc leaves out, the pair
// Windows encodes a twice-mapped character to), the registry below says so
// and CodePageTable::Complete applies it. Built tables are immutable, so they
// are shared by every thread without a lock; iconv descriptors are used only
// while a table is built, under the registry's lock.
#pragma once

#include <cstddef>
#include <memory>
#include <span>

#include "pal/types.h"

namespace zrpal {

enum class CodePageKind : BYTE { kUtf8, kSingleByte, kDoubleByte };

// A byte that a code page's Windows table maps although glibc's does not.
struct ExtraMapping {
  BYTE byte;
  WCHAR unit;
};

// Where two byte pairs of a page decode to one character, the pair Windows
// encodes that character to (glibc's encoder picks the other).
struct PreferredEncoding {
  WCHAR unit;
  WORD bytes;  // lead * 256 + trail
};

// One supported code page. Invariants: kDoubleByte pages have at least one
// lead range, the others none; extras name bytes that are not lead bytes;
// preferred encodings name a lead byte and a trail byte (RegistryIsConsistent)
// that decode to their unit (checked when the table is built).
struct CodePageInfo {
  UINT number;
  const char* iconvName;  // null for UTF-8, which needs no table
  CodePageKind kind;
  // Lead-byte ranges (inclusive; unused ranges are {0, 0}), as Windows
  // reports them for the page.
  BYTE leadRanges[2][2];
  // What bytes without a character decode to when the caller did not ask
  // for errors: the page's Unicode default character in its Windows table
  // (U+30FB for 932, U+003F for 936, 949 and 950); U+FFFD for the
  // single-byte pages, whose Windows tables map every byte, so that only
  // bytes glibc lacks (listed as a deviation) get here.
  WCHAR unicodeDefault;
  // 0x80-0x9F bytes that glibc leaves undefined decode to the C1 control of
  // the same value, as the Windows tables of these pages have them.
  bool fillC1;
  std::span<const ExtraMapping> extras;
  std::span<const PreferredEncoding> preferred;
};

inline constexpr WCHAR kReplacementChar = 0xFFFD;

// Single bytes that Windows maps and glibc's converters do not. The
// private-use ones decode only without MB_ERR_INVALID_CHARS (see
// IsPrivateUse); every one encodes back to its byte.
inline constexpr ExtraMapping kCp932Extras[] = {
    {0x80, 0x0080}, {0xA0, 0xF8F0}, {0xFD, 0xF8F1}, {0xFE, 0xF8F2}, {0xFF, 0xF8F3}};
inline constexpr ExtraMapping kCp936Extras[] = {{0xFF, 0xF8F5}};
inline constexpr ExtraMapping kCp949Extras[] = {{0x80, 0x0080}, {0xFF, 0xF8F7}};
inline constexpr ExtraMapping kCp950Extras[] = {{0xFF, 0xF8F8}};

// Box-drawing characters that Big5 has twice (A2A4 and F9F9, ...).
inline constexpr PreferredEncoding kCp950Preferred[] = {
    {0x2550, 0xF9F9}, {0x255E, 0xF9E9}, {0x2561, 0xF9EB}, {0x256A, 0xF9EA}};

inline constexpr bool kFillC1 = true;

constexpr CodePageInfo SingleBytePage(UINT number, const char* iconvName, bool fillC1 = false) {
  return {number, iconvName, CodePageKind::kSingleByte, {}, kReplacementChar, fillC1, {}, {}};
}

constexpr CodePageInfo DoubleBytePage(UINT number, const char* iconvName,
                                      const BYTE (&leadRanges)[2][2], WCHAR unicodeDefault,
                                      std::span<const ExtraMapping> extras,
                                      std::span<const PreferredEncoding> preferred = {}) {
  CodePageInfo info{number, iconvName, CodePageKind::kDoubleByte, {}, unicodeDefault,
                    false,  extras,    preferred};
  for (int r = 0; r < 2; ++r)
    for (int k = 0; k < 2; ++k) info.leadRanges[r][k] = leadRanges[r][k];
  return info;
}

// The registry. 28602 does not exist (there is no ISO 8859-12).
inline constexpr CodePageInfo kCodePages[] = {
    SingleBytePage(437, "IBM437"),
    SingleBytePage(850, "IBM850"),
    SingleBytePage(874, "CP874", kFillC1),
    DoubleBytePage(932, "CP932", {{0x81, 0x9F}, {0xE0, 0xFC}}, 0x30FB, kCp932Extras),
    DoubleBytePage(936, "CP936", {{0x81, 0xFE}}, u'?', kCp936Extras),
    DoubleBytePage(949, "CP949", {{0x81, 0xFE}}, u'?', kCp949Extras),
    DoubleBytePage(950, "CP950", {{0x81, 0xFE}}, u'?', kCp950Extras, kCp950Preferred),
    SingleBytePage(1250, "CP1250", kFillC1),
    SingleBytePage(1251, "CP1251", kFillC1),
    SingleBytePage(1252, "CP1252", kFillC1),
    SingleBytePage(1253, "CP1253", kFillC1),
    SingleBytePage(1254, "CP1254", kFillC1),
    SingleBytePage(1255, "CP1255", kFillC1),
    SingleBytePage(1256, "CP1256", kFillC1),
    SingleBytePage(1257, "CP1257", kFillC1),
    SingleBytePage(1258, "CP1258", kFillC1),
    SingleBytePage(20127, "US-ASCII"),
    SingleBytePage(28591, "ISO-8859-1"),
    SingleBytePage(28592, "ISO-8859-2"),
    SingleBytePage(28593, "ISO-8859-3"),
    SingleBytePage(28594, "ISO-8859-4"),
    SingleBytePage(28595, "ISO-8859-5"),
    SingleBytePage(28596, "ISO-8859-6"),
    SingleBytePage(28597, "ISO-8859-7"),
    SingleBytePage(28598, "ISO-8859-8"),
    SingleBytePage(28599, "ISO-8859-9"),
    SingleBytePage(28600, "ISO-8859-10"),
    SingleBytePage(28601, "ISO-8859-11"),
    SingleBytePage(28603, "ISO-8859-13"),
    SingleBytePage(28604, "ISO-8859-14"),
    SingleBytePage(28605, "ISO-8859-15"),
    {65001, nullptr, CodePageKind::kUtf8, {}, kReplacementChar, false, {}, {}},
};

inline constexpr std::size_t kCodePageCount = sizeof kCodePages / sizeof kCodePages[0];

constexpr bool IsLeadByteOf(const CodePageInfo& info, unsigned b) {
  for (const auto& range : info.leadRanges)
    if (range[0] != 0 && b >= range[0] && b <= range[1]) return true;
  return false;
}

// The invariants of CodePageInfo, over the whole registry.
constexpr bool RegistryIsConsistent() {
  for (const CodePageInfo& info : kCodePages) {
    const bool hasLeads = info.leadRanges[0][0] != 0;
    if (hasLeads != (info.kind == CodePageKind::kDoubleByte)) return false;
    for (const ExtraMapping& extra : info.extras)
      if (IsLeadByteOf(info, extra.byte)) return false;
    for (const PreferredEncoding& p : info.preferred)
      if (!IsLeadByteOf(info, p.bytes >> 8) || (p.bytes & 0xFF) == 0) return false;
  }
  return true;
}
static_assert(RegistryIsConsistent());

// The registry entry of a code-page number (no pseudo code pages such as
// CP_ACP), or null. Builds nothing.
constexpr const CodePageInfo* FindCodePage(UINT number) {
  for (const CodePageInfo& info : kCodePages)
    if (info.number == number) return &info;
  return nullptr;
}

// Whether `unit` is in the Private Use Area (U+E000-U+F8FF). A single byte
// that decodes there is refused by MB_ERR_INVALID_CHARS and converted
// without it, as Windows does: its tables park single bytes that have no
// character there (932's A0 and FD-FF, the 0xFF of 936, 949 and 950). Byte
// pairs of the user-defined areas decode there and are valid.
constexpr bool IsPrivateUse(WCHAR unit) { return unit >= 0xE000 && unit <= 0xF8FF; }

// The conversion table of one single- or double-byte code page.
class CodePageTable {
 public:
  // Marks "no character" in the decoding tables. U+FFFF is a noncharacter
  // that no code page maps.
  static constexpr WCHAR kNone = 0xFFFF;
  // What a byte sequence that has no character decodes to, when the caller
  // did not ask for errors (CodePageInfo::unicodeDefault).
  WCHAR UnicodeDefault() const { return info_->unicodeDefault; }
  // The code page's own default character (what unmappable UTF-16 becomes).
  static constexpr BYTE kDefaultChar = '?';

  explicit CodePageTable(const CodePageInfo& info);

  const CodePageInfo& Info() const { return *info_; }
  bool IsLead(BYTE b) const { return rowOf_[b] != 0; }
  // The character of a byte that is not a lead byte, or kNone.
  WCHAR Single(BYTE b) const { return single_[b]; }
  // The character of a lead byte followed by `trail`, or kNone.
  WCHAR Pair(BYTE lead, BYTE trail) const {
    return rowOf_[lead] ? pairs_[(rowOf_[lead] - 1) * 256u + trail] : kNone;
  }
  // The bytes of `unit`: 0 when it has none (U+0000 itself is the byte 0,
  // which callers handle before asking), a value up to 0xFF for one byte,
  // else lead * 256 + trail.
  WORD Encode(WCHAR unit) const {
    const WORD* row = encodeRows_[unit >> 8].get();
    return row ? row[unit & 0xFF] : 0;
  }

  // Used while building.
  void SetSingle(BYTE b, WCHAR unit) { single_[b] = unit; }
  void SetPair(BYTE lead, BYTE trail, WCHAR unit) {
    pairs_[(rowOf_[lead] - 1) * 256u + trail] = unit;
  }
  void SetEncode(WCHAR unit, WORD bytes);
  // Called once the C library's converters have filled the table: adds what
  // the page's Windows table maps beyond them (the registry's extras, the C1
  // fill, the preferred encodings), then gives every decodable sequence that
  // has no encoding yet its own bytes.
  void Complete();

 private:
  const CodePageInfo* info_;
  WCHAR single_[256];
  // Row r - 1 of pairs_ holds the trails of the lead byte b with
  // rowOf_[b] == r; 0 marks a byte that is not a lead byte.
  BYTE rowOf_[256];
  std::unique_ptr<WCHAR[]> pairs_;
  // Two-level map: the high byte of a unit selects a row of 256 encodings.
  std::unique_ptr<WORD[]> encodeRows_[256];
};

// The table of a single- or double-byte code page, built on first use. Null
// (and the last error ERROR_INVALID_PARAMETER) when the page is not supported
// or the C library cannot convert it; a failed build is remembered until
// ReleaseCodePageTables. Thread-safe.
const CodePageTable* CodePageTableFor(const CodePageInfo& info);

// Frees every built table. Only at shutdown or in tests: no other thread may
// be converting, and pointers handed out before become invalid.
void ReleaseCodePageTables();

// Builds the table of `info` from the C library's converters; null when they
// are missing (OS-specific, posix/codepage_table.inc).
std::unique_ptr<CodePageTable> BuildCodePageTable(const CodePageInfo& info);

}  // namespace zrpal
