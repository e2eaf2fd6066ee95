// params/textsource.h - where the parameter text comes from and goes to
// (library internal).
//
// The tree reader reads lines from a CParamTextSource and opens included
// files through a CParamIncludeOpener; the tree writer writes into a
// CParamTextSink. The library's own sources, sink and opener are the
// adapters over IXFile and Fio_Open (params/textfile.h); tests and fuzz
// targets may put other files behind the same seam.
#pragma once

#include <cstddef>
#include <memory>

#include "zr/xstring.h"
#include "zr/zrtypes.h"

namespace zr {

// One input of the tree reader.
class CParamTextSource {
 public:
  virtual ~CParamTextSource() = default;

  // A line as IXFile::ReadLine reads it: units up to a line feed, the end
  // of the data, or `max` units, whichever comes first; the result counts
  // the units stored before the line feed (zero bytes count like any
  // other). A zero follows the stored units: after the line feed when it
  // was stored below index max - 1, in its place at max - 1, at index max
  // after max units without one. `buffer` holds max + 1 units.
  virtual int ReadLine(char* buffer, int max) = 0;

  // The name the input was opened with (IXFile::GetFileName): the base of
  // the folders included files are looked for in.
  virtual const WCHAR* GetFileName() = 0;
};

// Opens the file an include directive names.
class CParamIncludeOpener {
 public:
  // The source over the file `path`, or null when it does not open.
  virtual std::unique_ptr<CParamTextSource> Open(const CXStringW& path) = 0;

 protected:
  ~CParamIncludeOpener() = default;
};

// Where the tree writer puts its text.
class CParamTextSink {
 public:
  virtual void Write(const char* data, std::size_t n) = 0;

 protected:
  ~CParamTextSink() = default;
};

}  // namespace zr
