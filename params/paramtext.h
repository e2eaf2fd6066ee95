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
class CInputBuffer {
 public:
  // Lines are read in pieces of at most this many bytes, each piece
  // treated as a line; an item is never longer.
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

 private:
  std::unique_ptr<CParamTextSource> m_owned;
  CParamTextSource* m_source;
  std::unique_ptr<char[]> m_line;
  // The rest of the current line is m_line[m_position, m_end); m_end is the
  // line's length less the white space and bars at its end.
  int m_position = 0;
  int m_end = 0;
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

// Reads the text of `input` into the tree `root` (merging: nothing is
// emptied). Included files are opened through `opener`; without one every
// include is ignored. 1, or 0 for a null root. Exceptions of the tree pass
// to the caller.
int ReadParamText(CParamTextSource& input, IParam* root, CParamIncludeOpener* opener);

// Writes `node` and its sub-parameters; `path` is the node's path, null for
// the root (written as "\").
void WriteParamText(IParam* node, CParamTextSink& out, const char* path);

}  // namespace zr
