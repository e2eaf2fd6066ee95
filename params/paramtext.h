// params/paramtext.h - the parameter text (library internal): the item
// reader CInputBuffer, the tree reader and the tree writer.
//
// The text is lines of items separated by "|": comments (";" to the end of
// the line), directives ("#include name"), section headers ("[\a\b]"),
// values ("name=" and a value text, params/valuetext.h) and flags (an item
// without "=": the integer 0). The writer puts a section's header and all
// its values on one line: "\r\n[" path "]\t", then "\t| " name "=" value
// text for each value.
//
// Reentrant: every buffer belongs to one call (the line buffer to its item
// reader, the item buffer to the tree reader's call).
#pragma once

#include <memory>

#include "params/textsource.h"
#include "zr/param.h"

namespace zr {

// Splits the lines of a source into items.
//
// Lines longer than the line buffer arrive in pieces (IXFile::ReadLine
// stops after kLineMax bytes). An item that a piece boundary cuts is joined
// with its rest from the next piece, and a comment hides the rest of its
// whole line; only an item longer than the buffer itself is cut, into items
// of kLineMax bytes (see docs/deviations.md: Windows treats every piece as a
// line of its own).
//
// In a double-byte multibyte code page (_getmbcp() != 0: 932, 936, 949,
// 950) the byte after a lead byte is a trail byte and never a bar: the
// Windows run-time's multibyte routines, which the reader's rules come
// from, step over whole characters, so a character whose trail byte is
// 0x7C ("|") stays inside its item. In single-byte mode every byte is a
// character.
class CInputBuffer {
 public:
  // Lines are read in pieces of at most this many bytes; an item is never
  // longer.
  static constexpr int kLineMax = 65536;

  // Reads `source`, which must outlive the reader.
  explicit CInputBuffer(CParamTextSource& source);
  // Reads `source` and owns it (an included file).
  explicit CInputBuffer(std::unique_ptr<CParamTextSource> source);

  // The next item into `out` (room for kLineMax + 1 bytes), zero-terminated;
  // its length, or 0 when the source has no more items. A line that reads
  // as 0 bytes (an empty line without a carriage return, or the end of the
  // data) ends the source.
  int NextItem(char* out);

  CParamTextSource& Source() { return *m_source; }
  // The number of the line (from 1) the last item came from.
  int Line() const { return m_line; }

 private:
  // Reads the next piece of the current line after the `kept` bytes at the
  // start of the buffer; false when the line had no more bytes.
  bool ReadPiece(int kept);

  std::unique_ptr<CParamTextSource> m_owned;
  CParamTextSource* m_source;
  std::unique_ptr<char[]> m_buffer;
  // The rest of the current piece is m_buffer[m_position, m_end); when the
  // piece ends its line, m_end excludes the white space and bars at the
  // line's end. m_cut: the line goes on in the next piece. m_skip: a
  // comment hides the rest of the line.
  int m_position = 0;
  int m_end = 0;
  bool m_cut = false;
  bool m_skip = false;
  bool m_doubleByte;
  int m_line = 0;
};

// Bounds of the tree reader against hostile text (see docs/deviations.md):
// an include nested deeper than this, one that would read a file the
// reader is already inside, and includes beyond the second bound per call
// are ignored as if their file did not open.
inline constexpr int kMaxIncludeDepth = 16;
inline constexpr int kMaxIncludedFiles = 1024;
// Section headers and value or flag names with more path components than
// this are ignored: a tree as deep as a long line allows would be too deep
// for the recursive walks over it.
inline constexpr int kMaxPathComponents = 256;

// What the tree reader passes over (besides comments and one-character
// items, which the text itself leaves out).
enum class ParamTextSkip {
  kBeforeSection,   // an item before the first section header
  kBadValue,        // a value text whose tag has no row or whose row refuses it
  kDirective,       // a directive other than #include, or one without a name
  kIncludeMissing,  // an included file that opens under neither candidate name
  kIncludeBounded,  // an include beyond the bounds above
  kTooDeep,         // a header or name with more than kMaxPathComponents components
};

// Told about every item the reader passes over, with the file it stands in
// (as the file answers GetFileName) and its line; for tools that explain a
// text (zrtool params).
class CParamTextReport {
 public:
  virtual void Skipped(ParamTextSkip why, const WCHAR* file, int line, const char* item) = 0;

 protected:
  ~CParamTextReport() = default;
};

// Reads the text of `input` into the tree `root` (merging: nothing is
// emptied). Included files are opened through `opener`; without one every
// include is ignored. 1, or 0 for a null root. Exceptions of the tree pass
// to the caller.
int ReadParamText(CParamTextSource& input, IParam* root, CParamIncludeOpener* opener,
                  CParamTextReport* report = nullptr);

// Writes `node` and its sub-parameters; `path` is the node's path, null for
// the root (written as "\").
void WriteParamText(IParam* node, CParamTextSink& out, const char* path);

}  // namespace zr
