// params/valuetext.h - the value text of the text back-ends (library
// internal): a one-character type tag followed at once by the value's text,
// as the parameter text and the INI files keep a variant.
//
// The table has one row per type code 0 (ZRVT_EMPTY) to 17 (ZRVT_BLOB), in
// that order, ended by a row with tag 0 and type ZRVT_UNKNOWN; ZRVT_UNKNOWN
// and ZRVT_WSTR have no row. Numbers are read and written in the "C" locale
// whatever the process locale (variant/numtext.h); nothing here calls
// setlocale.
#pragma once

#include <string>

#include "zr/variant.h"

namespace zr {

struct CValueTextRow {
  char tag;
  unsigned short type;
  // The text after the tag into `out` (its content replaced): 1, or 0 when
  // the text is refused (`out` unchanged).
  int (*parse)(const char* text, tagZRVARIANT* out);
  // Appends the text of `value` (of the row's type) after the tag.
  void (*format)(const tagZRVARIANT& value, std::string& out);
};

// The rows, the end row included.
extern const CValueTextRow kValueTextRows[];

// The row whose tag is `tag` (rows scanned until the end row); null when
// none is (the end row's tag 0 included).
const CValueTextRow* FindValueTextByTag(char tag);

// The row of type code `type`; null for ZRVT_UNKNOWN, ZRVT_WSTR and codes
// outside the table.
const CValueTextRow* FindValueTextByType(unsigned short type);

// The whole value text "tag + text" read into `out`: 1, or 0 when the tag
// has no row or its row refuses the text.
int ParseValueText(const char* valueText, tagZRVARIANT* out);

// The blob hex format leaves a blob empty from this many text bytes on
// (twice the size, 65536): the text would not fit the buffers the other
// back-ends read value texts into.
inline constexpr std::size_t kMaxBlobTextBytes = 65536;

}  // namespace zr
