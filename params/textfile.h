// params/textfile.h - the files the parameter text goes through (library
// internal): CMemFile, the in-memory IXFile of the string conversions, and
// the adapters that put any IXFile behind the reader's and the writer's
// seam (params/textsource.h), with the include opener over Fio_Open.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "params/textsource.h"
#include "zr/heap.h"
#include "zr/xfile.h"

namespace zr {

// An IXFile whose content lives in a private heap of its own.
//
// Writing past the size raises the size by whole growth steps until the
// write fits; the bytes between the text and the size are zero, so the text
// written is followed by zeros up to the grown size (the item reader sees
// them at the end of the last line). Seek clamps the position to 0 ... size;
// an unknown origin throws CXFileException cause 10, operation 1. Read of a
// null buffer gives 0; Write of a null buffer does nothing; a negative count
// throws CXException cause 10 as every IXFile of the library does. Typed
// reads that come back short throw CXFileException cause 4 (operation 1,
// the name "MemFile"). The size stops at 4 GiB - 1: a write that would
// pass it throws cause 3 (volume full), as the memory stream does.
//
// Invariants: m_size is a multiple of m_step and at most m_capacity;
// m_position <= m_size; the bytes from the end of the last write to
// m_capacity were never written and are zero (heap blocks are zero-filled).
// The logical size grows by steps while the block grows at least by
// doubling, so writing n bytes in small pieces copies O(n) bytes, not
// O(n^2 / step).
class CMemFile final : public CZRUnknownImpl<IXFile> {
 public:
  // The name every memory file answers, and the step of the string
  // conversions.
  static constexpr const WCHAR* kName = u"MemFile";
  static constexpr ULONG kTextStep = 1024;

  // A step of 0 throws CXException cause 10; a heap that cannot be made
  // throws CXBadAlloc (a CXMemException, cause 2).
  explicit CMemFile(ULONG growthStep);
  ~CMemFile() override;  // releases the heap with the data

  ULONG Read(void* buffer, int count) override;
  void Write(const void* buffer, int count) override;
  ULONG Seek(int offset, unsigned int origin) override;
  ULONG GetPosition() override { return m_position; }
  int Flush() override { return 1; }
  BYTE ReadByte() override;
  WORD ReadWord() override;
  DWORD ReadDword() override;
  double ReadDouble() override;
  void WriteByte(BYTE value) override { Write(&value, 1); }
  void WriteWord(WORD value) override;
  void WriteDword(DWORD value) override;
  void WriteDouble(double value) override;
  void WriteStringW(const WCHAR* text) override;
  void WriteString(const char* text) override;
  int ReadLineW(WCHAR* buffer, int max) override;
  // The IXFile line rule with one search for the line feed.
  int ReadLine(char* buffer, int max) override;
  ULONG GetSize() override { return m_size; }
  const WCHAR* GetFileName() override { return kName; }

 private:
  // Raises the size by whole steps to at least `end` (> m_size).
  void Grow(std::uint64_t end);

  IHeap* m_heap;
  BYTE* m_data = nullptr;
  ULONG m_size = 0;
  ULONG m_position = 0;
  ULONG m_step;
  std::size_t m_capacity = 0;  // bytes of m_data's block
};

// The reader's source over an IXFile; it holds one reference on the file.
class CXFileTextSource final : public CParamTextSource {
 public:
  // Takes over one reference of `file` (not null).
  explicit CXFileTextSource(IXFile* file) : m_file(file) {}
  ~CXFileTextSource() override { m_file->Release(); }
  CXFileTextSource(const CXFileTextSource&) = delete;
  CXFileTextSource& operator=(const CXFileTextSource&) = delete;

  int ReadLine(char* buffer, int max) override { return m_file->ReadLine(buffer, max); }
  const WCHAR* GetFileName() override { return m_file->GetFileName(); }

 private:
  IXFile* m_file;
};

// The writer's sink over an IXFile (borrowed): each piece in one Write, or
// in several when it is longer than a Write's int count.
class CXFileTextSink final : public CParamTextSink {
 public:
  explicit CXFileTextSink(IXFile& file) : m_file(file) {}
  void Write(const char* data, std::size_t n) override;

 private:
  IXFile& m_file;
};

// Opens included files with Fio_Open (mode 0); a CXFileException means the
// file does not open. Memory-file names ("fmem::") are not opened: a text
// that names an address and a size would read whatever memory they name
// (see docs/deviations.md).
class CFioIncludeOpener final : public CParamIncludeOpener {
 public:
  std::unique_ptr<CParamTextSource> Open(const CXStringW& path) override;
};

}  // namespace zr
