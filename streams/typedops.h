// streams/typedops.h - the fixed-width typed operations of the streams,
// written once over a stream type's Read and Write (library internal).
//
// CXStreamImpl instantiates them over itself, so they reach Read and Write
// through the table; a final stream class may instantiate them over itself
// as well, so that the calls are direct and can be inlined. Either way the
// bytes are the ones these templates make.
#pragma once

#include <climits>

#include "streams/byteorder.h"
#include "zr/exception.h"
#include "zr/xstream.h"

namespace zr {

// Reads exactly n bytes, calling Read until they are in; CXEofException when
// a Read delivers nothing first (the bytes that were there are consumed).
template <class Stream>
void ReadExact(Stream& s, void* buffer, ULONG n) {
  if (n > 0 && !buffer) throw CXException(ZRCAUSE_INVALIDARG);
  BYTE* p = static_cast<BYTE*>(buffer);
  while (n > 0) {
    const int chunk = n > static_cast<ULONG>(INT_MAX) ? INT_MAX : static_cast<int>(n);
    ULONG got = s.Read(p, chunk);
    if (got == 0) throw CXEofException();
    // A Read never delivers more than it was asked for; a stream that says
    // so is not believed beyond the chunk.
    if (got > static_cast<ULONG>(chunk)) got = static_cast<ULONG>(chunk);
    p += got;
    n -= got;
  }
}

template <class Stream>
BYTE ReadByteOf(Stream& s) {
  BYTE b;
  ReadExact(s, &b, 1);
  return b;
}

template <class Stream>
WORD ReadWordOf(Stream& s) {
  BYTE b[2];
  ReadExact(s, b, sizeof b);
  return LoadLE16(b);
}

template <class Stream>
DWORD ReadDwordOf(Stream& s) {
  BYTE b[4];
  ReadExact(s, b, sizeof b);
  return LoadLE32(b);
}

template <class Stream>
double ReadDoubleOf(Stream& s) {
  BYTE b[8];
  ReadExact(s, b, sizeof b);
  return LoadLEDouble(b);
}

template <class Stream>
void WriteByteTo(Stream& s, BYTE value) {
  s.Write(&value, 1);
}

template <class Stream>
void WriteWordTo(Stream& s, WORD value) {
  BYTE b[2];
  StoreLE16(b, value);
  s.Write(b, sizeof b);
}

template <class Stream>
void WriteDwordTo(Stream& s, DWORD value) {
  BYTE b[4];
  StoreLE32(b, value);
  s.Write(b, sizeof b);
}

template <class Stream>
void WriteDoubleTo(Stream& s, double value) {
  BYTE b[8];
  StoreLEDouble(b, value);
  s.Write(b, sizeof b);
}

}  // namespace zr
