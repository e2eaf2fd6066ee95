// pal/user/dlgtemplate.h - dialog templates (DLGTEMPLATE, DLGTEMPLATEEX):
// parsing into an editable form and writing that form back.
//
// A template is outside data (a module's resource, or a caller's block), so
// ParseDialogTemplate validates every field against the block's end before it
// is read and refuses a template that does not fit; the form it produces is
// self-contained (texts and creation data are copied), so it can be edited
// and written with WriteDialogTemplate, which is how translation rewrites
// templates. Layout, little-endian, offsets from the template's start:
//
//   standard form                       extended form
//   DLGTEMPLATE (18 bytes)              DLGTEMPLATEEX (26 bytes)
//   menu, class, title (sz_Or_Ord)      menu, class, title
//   [DS_SETFONT: WORD point size,       [DS_SETFONT|DS_SHELLFONT: WORD point
//    face]                               size, WORD weight, BYTE italic,
//                                        BYTE charset, face]
//   items, each on a DWORD boundary:    items, each on a DWORD boundary:
//   DLGITEMTEMPLATE (18 bytes)          DLGITEMTEMPLATEEX (24 bytes)
//   class, title (sz_Or_Ord)            class, title
//   WORD n, then n bytes of creation    WORD n, then n bytes of creation
//   data                                data
//
// sz_Or_Ord: 0x0000 (none; menu and class only), 0xFFFF + WORD ordinal, or a
// zero-terminated UTF-16 string, each WORD-aligned. The creation-data count
// does not include its own word (Windows' dialog manager skips the count and
// then that many bytes, for both forms).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "pal/types.h"

namespace zrpal {

inline constexpr DWORD DS_SETFONT = 0x40;
inline constexpr DWORD DS_FIXEDSYS = 0x0008;
inline constexpr DWORD DS_SHELLFONT = DS_SETFONT | DS_FIXEDSYS;

namespace dlg {

inline constexpr WORD kOrdinalMarker = 0xFFFF;
inline constexpr WORD kExtendedSignature = 0xFFFF;
inline constexpr WORD kExtendedVersion = 1;
inline constexpr std::size_t kItemAlignment = 4;
// Windows keeps the item count in a WORD; a bound for the parse all the same.
inline constexpr std::size_t kMaxItems = 0xFFFF;
// The dialog functions that take a template without its size read at most
// this many bytes of it.
inline constexpr std::size_t kMaxIndirectTemplateSize = 1u << 20;

// The fixed headers, one type per on-disk structure. The 16-bit fields make
// the natural layout the packed one only where noted; the parser reads each
// field by offset, these are the field lists and sizes.
#pragma pack(push, 2)
struct DLGTEMPLATE {
  DWORD style;
  DWORD dwExtendedStyle;
  WORD cdit;
  short x, y, cx, cy;
};
struct DLGITEMTEMPLATE {
  DWORD style;
  DWORD dwExtendedStyle;
  short x, y, cx, cy;
  WORD id;
};
struct DLGTEMPLATEEX {
  WORD dlgVer;
  WORD signature;
  DWORD helpID;
  DWORD exStyle;
  DWORD style;
  WORD cDlgItems;
  short x, y, cx, cy;
};
struct DLGITEMTEMPLATEEX {
  DWORD helpID;
  DWORD exStyle;
  DWORD style;
  short x, y, cx, cy;
  DWORD id;
};
#pragma pack(pop)
static_assert(sizeof(DLGTEMPLATE) == 18);
static_assert(sizeof(DLGITEMTEMPLATE) == 18);
static_assert(sizeof(DLGTEMPLATEEX) == 26);
static_assert(sizeof(DLGITEMTEMPLATEEX) == 24);

// A sz_Or_Ord field: absent, an ordinal, or a text.
struct NameOrOrdinal {
  enum class Kind { kNone, kOrdinal, kText };
  Kind kind = Kind::kNone;
  WORD ordinal = 0;
  std::u16string text;

  bool IsOrdinal() const { return kind == Kind::kOrdinal; }
  bool IsText() const { return kind == Kind::kText; }
  static NameOrOrdinal Ordinal(WORD value) { return {Kind::kOrdinal, value, {}}; }
  static NameOrOrdinal Text(std::u16string value) { return {Kind::kText, 0, std::move(value)}; }
  bool operator==(const NameOrOrdinal&) const = default;
};

// Predefined control classes, as class ordinals.
inline constexpr WORD kClassButton = 0x80;
inline constexpr WORD kClassEdit = 0x81;
inline constexpr WORD kClassStatic = 0x82;
inline constexpr WORD kClassListBox = 0x83;
inline constexpr WORD kClassScrollBar = 0x84;
inline constexpr WORD kClassComboBox = 0x85;

struct DialogItem {
  DWORD helpId = 0;  // extended form only
  DWORD exStyle = 0;
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  DWORD id = 0;  // 16 bits in the standard form
  NameOrOrdinal windowClass;
  NameOrOrdinal title;
  std::vector<BYTE> creationData;
  bool operator==(const DialogItem&) const = default;
};

struct DialogForm {
  bool extended = false;
  DWORD helpId = 0;  // extended form only
  DWORD exStyle = 0;
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  NameOrOrdinal menu;
  NameOrOrdinal windowClass;
  NameOrOrdinal title;
  // Present when style has DS_SETFONT. weight, italic and charset are
  // written in the extended form only.
  WORD pointSize = 0;
  WORD weight = 0;
  BYTE italic = 0;
  BYTE charset = 0;
  std::u16string face;
  std::vector<DialogItem> items;

  bool HasFont() const { return (style & DS_SETFONT) != 0; }
  bool operator==(const DialogForm&) const = default;
};

enum class ParseResult { kOk, kTruncated, kBadField, kNoMemory };

// Parses the template in [data, data + size). `data` needs no alignment;
// field alignment is taken relative to `data`, as the dialog manager does.
// On failure *out is unspecified. Never reads outside the block.
ParseResult ParseDialogTemplate(const void* data, std::size_t size, DialogForm* out);

// Writes `form` in its form (standard or extended). The item count is the
// number of items; a standard form's item identifiers keep their low 16
// bits. False only when memory runs out.
bool WriteDialogTemplate(const DialogForm& form, std::vector<BYTE>* out);

}  // namespace dlg
}  // namespace zrpal
