// memfile.h - memory files: a block of the caller's memory named as a file.
//
// A caller that holds data in memory names the block
//   "fmem::" <address> ("," or ".") <size>
// with both numbers in decimal (the prefix in any case; empty tokens between
// separators are skipped, tokens after the size ignored), and Fio_Open or
// Fio_OpenOut of that name give an IXFile that reads the block in place.
// The caller keeps the block alive and unchanged while the file is open.
//
// Numbers are read as the run-time's _wtoi reads them (white space, a sign,
// digits, up to the first other character), in 64 bits: every name the
// 32-bit reading accepts names the same block, and blocks may lie anywhere.
// A size that is missing, negative or beyond 4 GiB - 1, and a missing or
// zero address, give an empty file that reads nothing.
#pragma once

#include "zr/xfile.h"

// 1 if `path` begins with "fmem::" in any mix of case; 0 otherwise and for
// null.
ZR_API int Fio_IsMemFile(const WCHAR* path);

// A read-only file over a caller's block. Write does nothing; Seek limits
// the position to the size in every mode (cause 5, operation 1 beyond it or
// for an unknown origin); Flush returns 1; Commit does nothing. The last
// Release destroys the object and leaves the block alone. Deviation: a bad
// address is not caught (the contract turns the access fault into cause
// 12); the name promises a readable block.
class ZR_API CXMemFile final : public CZRUnknownImpl<IXOutFile> {
 public:
  // CXFileException cause 7, operation 0, for a name over 511 characters.
  explicit CXMemFile(const WCHAR* name);
  ~CXMemFile() override;

  ULONG Release() override;
  ULONG AddRef() override;

  ULONG Read(void* buffer, int count) override;
  void Write(const void* buffer, int count) override;
  ULONG Seek(int offset, unsigned int origin) override;
  ULONG GetPosition() override;
  int Flush() override;
  BYTE ReadByte() override;
  WORD ReadWord() override;
  DWORD ReadDword() override;
  double ReadDouble() override;
  void WriteByte(BYTE value) override;
  void WriteWord(WORD value) override;
  void WriteDword(DWORD value) override;
  void WriteDouble(double value) override;
  void WriteStringW(const WCHAR* text) override;
  void WriteString(const char* text) override;
  int ReadLineW(WCHAR* buffer, int max) override;
  int ReadLine(char* buffer, int max) override;
  ULONG GetSize() override;
  const WCHAR* GetFileName() override;
  void Commit() override;

 private:
  friend struct CXMemFileLayout;  // the layout checks
  ULONG m_position;
  ULONG m_size;
  const BYTE* m_pData;
  ULONG m_cOwnRef;
  WCHAR m_name[CXFile::kNameChars];
};
