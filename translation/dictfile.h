// translation/dictfile.h - the text rules of dictionary files: which lines
// count, the text of a counted line, escapes, pairing and the language
// identifier.
//
// A dictionary is 8-bit text read line by line (IXFile::ReadLine, 8192
// bytes at a time; a longer line arrives as several pieces, each read as a
// line of its own). The rules, in order:
//  - a line whose very first byte is ';' is a comment;
//  - white space is trimmed at both ends, whole characters at a time (a
//    lead byte and the byte after it are one character);
//  - a line counts when it is then at least two characters long and begins
//    with '"'; its text is everything between its first and its last
//    character (the last is dropped whatever it is);
//  - counted lines pair up in order, source then translation; a source left
//    without a translation at the end of the file is dropped (the choice
//    this library makes where Windows pairs it with the previous
//    translation);
//  - escapes (EscapeText) are applied to both texts;
//  - the pair whose source is "ZR_WLD_LANG_ID" names the dictionary's
//    language as a decimal Windows locale identifier.
//
// The code page of the lead bytes: a file is read in the ANSI code page of
// its own language when its language identifier is a supported locale with
// an ANSI code page, else in the code page the caller gives (the table's).
// Deviation: on Windows the lead bytes are the run-time's multibyte code
// page and the language takes effect only after the file (see
// docs/deviations.md); which bytes are lead bytes cannot depend on the line
// that names the language, since that line is plain ASCII, so the file is
// scanned once for its language before its texts are read.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "zr/xfile.h"
#include "zr/zrtypes.h"

namespace zr {

// The size of the line reader's buffer.
inline constexpr int kDictionaryLineBytes = 8192;

// The source text whose translation is the language identifier.
inline constexpr char kLanguageIdSource[] = "ZR_WLD_LANG_ID";

// Which bytes are lead bytes in a code page (CP_ACP and the like resolved);
// none for single-byte pages and for pages that cannot be converted.
class CLeadBytes {
 public:
  explicit CLeadBytes(UINT codePage);
  bool IsLead(unsigned char byte) const { return m_lead[byte]; }
  // The byte length of the character at `p` within [p, end): 2 for a lead
  // byte followed by a non-zero byte, else 1.
  std::size_t CharBytes(const char* p, const char* end) const {
    return IsLead(static_cast<unsigned char>(*p)) && p + 1 < end && p[1] != 0 ? 2 : 1;
  }

 private:
  bool m_lead[256];
};

// The text of a counted line (a view into `line`), or false when the line
// does not count. `line` is one piece as the line reader gives it (with its
// newline, without the terminator).
bool CountedLineText(std::string_view line, const CLeadBytes& lead, std::string_view* text);

// What escape processing met: escapes that keep their backslash (a
// backslash before a character other than n, r, t or a backslash) and a
// backslash dropped at the very end.
struct EscapeReport {
  int kept = 0;
  int droppedAtEnd = 0;
};

// Escape processing: backslash + n, r, t gives 10, 13, 9; a backslash
// before a backslash is dropped and the escape stays open for the next
// character; a backslash before any other character stays with it; a
// backslash at the very end is dropped. A double-byte character (even one
// whose trail byte is '\\', 'n', 'r' or 't') is copied whole: it is one
// "other character" and never starts or ends an escape.
std::string EscapeText(std::string_view text, const CLeadBytes& lead,
                       EscapeReport* report = nullptr);

// The language identifier of a translation text: leading blanks skipped, an
// optional sign, decimal digits up to the first other character (0 without
// digits), in 32-bit arithmetic as the run-time's atoi wraps.
long LanguageIdOf(std::string_view text);

// The ANSI code page of a locale identifier when the platform supports the
// locale (IsValidLocale with LCID_SUPPORTED); false otherwise. Unicode-only
// locales give code page 0.
bool LocaleCodePage(long localeId, UINT* codePage);

// One pair of a dictionary: the two texts after escape processing, and the
// numbers (from 1) of the lines they came from.
struct DictionaryPair {
  std::string source;
  std::string translation;
  int sourceLine = 0;
  int translationLine = 0;
  EscapeReport escapes;  // of both texts
};

// A dictionary file read and split into pairs.
struct DictionaryText {
  std::vector<DictionaryPair> pairs;
  bool hasLanguageId = false;  // a "ZR_WLD_LANG_ID" pair was seen
  long languageId = 0;         // the last one's identifier
  UINT codePage = 0;           // the code page the texts were read in
  int unpairedLine = 0;        // line number of a dropped source, or 0
  bool readFailed = false;     // the file failed part-way; pairs hold what came before
};

// One piece of a line as the line reader gives it (8192 bytes at most,
// newline included when it was read), and the number (from 1) of the line
// it belongs to.
struct DictionaryLine {
  std::string text;
  int number = 0;
};

// The raw lines of a file. A CXFileException while reading ends the list
// and sets `failed`; other exceptions pass.
std::vector<DictionaryLine> ReadDictionaryLines(IXFile* file, bool* failed);

// Splits raw lines into pairs. `fallbackCodePage` is the code page used
// when the file names no supported language (the table's code page; 0 is
// the process's ANSI code page).
DictionaryText ParseDictionary(const std::vector<DictionaryLine>& lines, UINT fallbackCodePage);

}  // namespace zr
