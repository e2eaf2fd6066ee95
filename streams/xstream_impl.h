// streams/xstream_impl.h - CXStreamImpl, the base of the library's streams
// (library internal; other modules implement IXStream themselves).
//
// It defines the typed operations of IXStream (zr/xstream.h has their
// contract) once over Read and Write, so that every stream of the library
// writes and reads the same bytes. A stream derived from it supplies Read,
// Write, Seek, GetPosition, GetSize and GetName.
#pragma once

#include "zr/xstream.h"

namespace zr {

class CXStreamImpl : public CZRUnknownImpl<IXStream> {
 public:
  BYTE ReadByte() override;
  WORD ReadWord() override;
  DWORD ReadDword() override;
  double ReadDouble() override;
  int ReadLineW(WCHAR* buffer, int max) override;
  int ReadLine(char* buffer, int max) override;
  int ReadVariant(tagZRVARIANT* var) override;
  void WriteVariant(const tagZRVARIANT* var) override;
  void WriteByte(BYTE value) override;
  void WriteWord(WORD value) override;
  void WriteDword(DWORD value) override;
  void WriteDouble(double value) override;
  void WriteStringW(const WCHAR* text) override;
  void WriteString(const char* text) override;

 protected:
  // Reads exactly n bytes, calling Read until they are in; CXEofException
  // when a Read delivers nothing first.
  void ReadExact(void* buffer, ULONG n);
  // Writes n bytes in as many Write calls as int counts need.
  void WriteAll(const void* buffer, ULONG n);
  // The bytes left between the position and the end (0 when the position
  // lies beyond the end).
  ULONG Remaining();
  // Throws CXFileException(cause, GetName(), operation).
  [[noreturn]] void ThrowStreamError(DWORD cause, DWORD operation);
};

}  // namespace zr
