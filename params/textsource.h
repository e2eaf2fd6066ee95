// params/textsource.h - where the parameter text comes from and goes to
// (library internal).
//
// The tree reader reads lines from a CParamTextSource and opens included
// files through a CParamIncludeOpener; the tree writer writes into a
// CParamTextSink. Text in memory has its source, sink and buffer here; a
// source over an IXFile (Param_IniFile2Param) and an opener over Fio_Open
// are the same interfaces over the file layer.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

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

// The text of an in-memory file: written at a position, grown by whole
// steps, the new bytes zero, so the text is followed by zeros up to the
// grown size (the memory file of the string conversions, step 1024).
class CMemTextBuffer final : public CParamTextSink {
 public:
  // A step of 0 throws CXException (ZRCAUSE_INVALIDARG).
  explicit CMemTextBuffer(std::size_t step);

  void Write(const char* data, std::size_t n) override;

  const char* Data() const { return m_data.data(); }
  // The grown size: the text and the zeros after it.
  std::size_t Size() const { return m_data.size(); }

 private:
  // Invariants: m_position <= m_data.size(); the size is a multiple of
  // m_step; bytes past the last write are zero.
  std::vector<char> m_data;
  std::size_t m_position = 0;
  std::size_t m_step;
};

// A source over bytes in memory (not copied: they must outlive it). With a
// padded size above the text's size the source reads as the text followed
// by zeros up to that size: a memory file's content without the copy.
class CMemTextSource final : public CParamTextSource {
 public:
  CMemTextSource(const char* data, std::size_t size, const WCHAR* name)
      : m_data(data), m_textSize(size), m_size(size), m_name(name) {}
  CMemTextSource(const char* data, std::size_t size, std::size_t paddedSize, const WCHAR* name)
      : m_data(data),
        m_textSize(size),
        m_size(paddedSize > size ? paddedSize : size),
        m_name(name) {}

  int ReadLine(char* buffer, int max) override;
  const WCHAR* GetFileName() override { return m_name; }

 private:
  // Invariant: m_position <= m_size; bytes from m_textSize on read as 0.
  const char* m_data;
  std::size_t m_textSize;
  std::size_t m_size;
  std::size_t m_position = 0;
  const WCHAR* m_name;
};

// The name the in-memory file of the string conversions answers, and the
// step its size grows by.
inline constexpr const WCHAR* kMemFileName = u"MemFile";
inline constexpr std::size_t kMemFileStep = 1024;

// The size a memory file grown in kMemFileStep steps has after `n` bytes
// were written to it.
inline constexpr std::size_t MemFileSize(std::size_t n) {
  return (n + kMemFileStep - 1) / kMemFileStep * kMemFileStep;
}

}  // namespace zr
