// files/forward.h - the file operations that a wrapping file hands on to the
// file it wraps (library internal): the committing writer and both remote
// files forward every operation from Read to GetSize, in the interface's
// slot order, and answer GetFileName and the rest themselves.
#pragma once

// Defines Class's Read ... GetSize as calls on `inner`, an expression naming
// the wrapped IXFile (it may throw, as Inner() does once a writer has
// committed).
#define ZR_FORWARD_FILE_OPERATIONS(Class, inner)                                            \
  ULONG Class::Read(void* buffer, int count) { return inner.Read(buffer, count); }          \
  void Class::Write(const void* buffer, int count) { inner.Write(buffer, count); }          \
  ULONG Class::Seek(int offset, unsigned int origin) { return inner.Seek(offset, origin); } \
  ULONG Class::GetPosition() { return inner.GetPosition(); }                                \
  int Class::Flush() { return inner.Flush(); }                                              \
  BYTE Class::ReadByte() { return inner.ReadByte(); }                                       \
  WORD Class::ReadWord() { return inner.ReadWord(); }                                       \
  DWORD Class::ReadDword() { return inner.ReadDword(); }                                    \
  double Class::ReadDouble() { return inner.ReadDouble(); }                                 \
  void Class::WriteByte(BYTE value) { inner.WriteByte(value); }                             \
  void Class::WriteWord(WORD value) { inner.WriteWord(value); }                             \
  void Class::WriteDword(DWORD value) { inner.WriteDword(value); }                          \
  void Class::WriteDouble(double value) { inner.WriteDouble(value); }                       \
  void Class::WriteStringW(const WCHAR* text) { inner.WriteStringW(text); }                 \
  void Class::WriteString(const char* text) { inner.WriteString(text); }                    \
  int Class::ReadLineW(WCHAR* buffer, int max) { return inner.ReadLineW(buffer, max); }     \
  int Class::ReadLine(char* buffer, int max) { return inner.ReadLine(buffer, max); }        \
  ULONG Class::GetSize() { return inner.GetSize(); }
