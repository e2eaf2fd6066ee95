// pal/internal/codepage_table.h - the supported code pages and their conversion tables.
//
// Every supported code page except UTF-8 is converted through a table built
// once per process from the C library's iconv: each byte (and, for the
// double-byte pages, each lead/trail pair) is decoded on its own, and each
// UTF-16 unit is encoded on its own. Converting character by character gives
// the Windows semantics that iconv's stream conversion lacks: one default
// character per unmappable character, no composition of combining marks
// (glibc's CP1255 and CP1258 compose on decoding, Windows does not), and no
// best-fit substitutes (glibc encodes some characters to look-alikes that do
// not decode back). Built tables are immutable, so they are shared by every
// thread without a lock; iconv descriptors are used only while a table is
// built, under the registry's lock.
#pragma once

#include <cstddef>
#include <memory>

#include "pal/types.h"

namespace zrpal {

enum class CodePageKind : BYTE { kUtf8, kSingleByte, kDoubleByte };

// A byte that a code page's decoding table maps although glibc's does not.
struct ExtraMapping {
  BYTE byte;
  WCHAR unit;
};

// One supported code page. Invariant: kDoubleByte pages have at least one
// lead range; the others have none.
struct CodePageInfo {
  UINT number;
  const char* iconvName;  // null for UTF-8, which needs no table
  CodePageKind kind;
  // Lead-byte ranges (inclusive; unused ranges are {0, 0}), as Windows
  // reports them for the page.
  BYTE leadRanges[2][2];
  // 0x80-0x9F bytes that glibc leaves undefined decode to the C1 control of
  // the same value, as the Windows tables of these pages have them.
  bool fillC1;
  const ExtraMapping* extras;
  std::size_t extraCount;
};

// Bytes that Windows code page 932 maps and glibc's CP932 does not.
inline constexpr ExtraMapping kCp932Extras[] = {
    {0x80, 0x0080}, {0xA0, 0xF8F0}, {0xFD, 0xF8F1}, {0xFE, 0xF8F2}, {0xFF, 0xF8F3}};

// The registry. 28602 does not exist (there is no ISO 8859-12).
inline constexpr CodePageInfo kCodePages[] = {
    {874, "CP874", CodePageKind::kSingleByte, {}, true, nullptr, 0},
    {932, "CP932", CodePageKind::kDoubleByte, {{0x81, 0x9F}, {0xE0, 0xFC}}, false, kCp932Extras,
     sizeof kCp932Extras / sizeof kCp932Extras[0]},
    {936, "CP936", CodePageKind::kDoubleByte, {{0x81, 0xFE}, {0, 0}}, false, nullptr, 0},
    {949, "CP949", CodePageKind::kDoubleByte, {{0x81, 0xFE}, {0, 0}}, false, nullptr, 0},
    {950, "CP950", CodePageKind::kDoubleByte, {{0x81, 0xFE}, {0, 0}}, false, nullptr, 0},
    {1250, "CP1250", CodePageKind::kSingleByte, {}, true, nullptr, 0},
    {1251, "CP1251", CodePageKind::kSingleByte, {}, true, nullptr, 0},
    {1252, "CP1252", CodePageKind::kSingleByte, {}, true, nullptr, 0},
    {1253, "CP1253", CodePageKind::kSingleByte, {}, true, nullptr, 0},
    {1254, "CP1254", CodePageKind::kSingleByte, {}, true, nullptr, 0},
    {1255, "CP1255", CodePageKind::kSingleByte, {}, true, nullptr, 0},
    {1256, "CP1256", CodePageKind::kSingleByte, {}, true, nullptr, 0},
    {1257, "CP1257", CodePageKind::kSingleByte, {}, true, nullptr, 0},
    {1258, "CP1258", CodePageKind::kSingleByte, {}, true, nullptr, 0},
    {20127, "US-ASCII", CodePageKind::kSingleByte, {}, false, nullptr, 0},
    {28591, "ISO-8859-1", CodePageKind::kSingleByte, {}, false, nullptr, 0},
    {28592, "ISO-8859-2", CodePageKind::kSingleByte, {}, false, nullptr, 0},
    {28593, "ISO-8859-3", CodePageKind::kSingleByte, {}, false, nullptr, 0},
    {28594, "ISO-8859-4", CodePageKind::kSingleByte, {}, false, nullptr, 0},
    {28595, "ISO-8859-5", CodePageKind::kSingleByte, {}, false, nullptr, 0},
    {28596, "ISO-8859-6", CodePageKind::kSingleByte, {}, false, nullptr, 0},
    {28597, "ISO-8859-7", CodePageKind::kSingleByte, {}, false, nullptr, 0},
    {28598, "ISO-8859-8", CodePageKind::kSingleByte, {}, false, nullptr, 0},
    {28599, "ISO-8859-9", CodePageKind::kSingleByte, {}, false, nullptr, 0},
    {28600, "ISO-8859-10", CodePageKind::kSingleByte, {}, false, nullptr, 0},
    {28601, "ISO-8859-11", CodePageKind::kSingleByte, {}, false, nullptr, 0},
    {28603, "ISO-8859-13", CodePageKind::kSingleByte, {}, false, nullptr, 0},
    {28604, "ISO-8859-14", CodePageKind::kSingleByte, {}, false, nullptr, 0},
    {28605, "ISO-8859-15", CodePageKind::kSingleByte, {}, false, nullptr, 0},
    {65001, nullptr, CodePageKind::kUtf8, {}, false, nullptr, 0},
};

inline constexpr std::size_t kCodePageCount = sizeof kCodePages / sizeof kCodePages[0];

// The registry entry of a code-page number (no pseudo code pages such as
// CP_ACP), or null. Builds nothing.
constexpr const CodePageInfo* FindCodePage(UINT number) {
  for (const CodePageInfo& info : kCodePages)
    if (info.number == number) return &info;
  return nullptr;
}

constexpr bool IsLeadByteOf(const CodePageInfo& info, unsigned b) {
  for (const auto& range : info.leadRanges)
    if (range[0] != 0 && b >= range[0] && b <= range[1]) return true;
  return false;
}

// The conversion table of one single- or double-byte code page.
class CodePageTable {
 public:
  // Marks "no character" in the decoding tables. U+FFFF is a noncharacter
  // that no code page maps.
  static constexpr WCHAR kNone = 0xFFFF;
  // What a byte sequence that has no character decodes to, when the caller
  // did not ask for errors: U+30FB (KATAKANA MIDDLE DOT) for the double-byte
  // pages, as Windows has it; U+FFFD for the single-byte pages (whose Windows
  // tables map every byte, so only the bytes glibc lacks reach this).
  WCHAR UnicodeDefault() const { return unicodeDefault_; }
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
  // Fills the encoding of every decodable sequence that has none yet.
  void AddReverseMappings();

 private:
  const CodePageInfo* info_;
  WCHAR unicodeDefault_;
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
