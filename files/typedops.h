// files/typedops.h - the operations every IXFile defines the same way over
// its Read and Write (library internal). Each file class instantiates them
// over itself; its classes are final, so the calls are direct.
#pragma once

#include <cstdint>

#include "files/errors.h"
#include "streams/byteorder.h"
#include "zr/exception.h"
#include "zr/xfile.h"

namespace zr {

// Where Seek(offset, origin) lands before a file's own bounds: the position
// the origin names (ZRFILE_SEEK_SET, _CUR, _END) plus the offset, never
// below 0. False for an unknown origin.
inline bool SeekTarget(int offset, unsigned int origin, std::int64_t position, std::int64_t size,
                       std::int64_t* target) {
  std::int64_t base;
  switch (origin) {
    case ZRFILE_SEEK_SET: base = 0; break;
    case ZRFILE_SEEK_CUR: base = position; break;
    case ZRFILE_SEEK_END: base = size; break;
    default: return false;
  }
  *target = base + offset < 0 ? 0 : base + offset;
  return true;
}

// Exactly n bytes through one Read, or CXFileException cause 4 (end of
// file), operation 1, with the file's name.
template <class File>
void ReadValue(File& f, BYTE* bytes, int n) {
  if (static_cast<int>(f.Read(bytes, n)) != n)
    ThrowFileError(ZRCAUSE_EOF, f.GetFileName(), ZRFILEOP_READ);
}

template <class File>
BYTE FileReadByte(File& f) {
  BYTE b;
  ReadValue(f, &b, 1);
  return b;
}

template <class File>
WORD FileReadWord(File& f) {
  BYTE b[2];
  ReadValue(f, b, 2);
  return LoadLE16(b);
}

template <class File>
DWORD FileReadDword(File& f) {
  BYTE b[4];
  ReadValue(f, b, 4);
  return LoadLE32(b);
}

template <class File>
double FileReadDouble(File& f) {
  BYTE b[8];
  ReadValue(f, b, 8);
  return LoadLEDouble(b);
}

template <class File>
void FileWriteWord(File& f, WORD value) {
  BYTE b[2];
  StoreLE16(b, value);
  f.Write(b, 2);
}

template <class File>
void FileWriteDword(File& f, DWORD value) {
  BYTE b[4];
  StoreLE32(b, value);
  f.Write(b, 4);
}

template <class File>
void FileWriteDouble(File& f, double value) {
  BYTE b[8];
  StoreLEDouble(b, value);
  f.Write(b, 8);
}

// The text and its terminator in one Write (a null text: the terminator).
template <class File, class Unit>
void FileWriteText(File& f, const Unit* text) {
  static const Unit kEmpty[1] = {};
  if (!text) text = kEmpty;
  std::size_t n = 0;
  while (text[n]) ++n;
  const std::size_t bytes = (n + 1) * sizeof(Unit);
  if (bytes > 0x7FFFFFFF) throw CXException(ZRCAUSE_INVALIDARG);
  if constexpr (sizeof(Unit) == 2) {
    // Little-endian units: the host's on every platform this builds for.
    static_assert(std::endian::native == std::endian::little);
  }
  f.Write(text, static_cast<int>(bytes));
}

// The line reader of IXFile (zr/xfile.h, slots 18 and 19).
template <class File, class Unit>
int FileReadLine(File& f, Unit* buffer, int max) {
  constexpr Unit kNewline = 10;
  if (!buffer) throw CXException(ZRCAUSE_INVALIDARG);
  if (max < 0) max = 0;
  for (int i = 0; i < max; ++i) {
    Unit c;
    if (f.Read(&c, sizeof c) != sizeof c) {
      buffer[i] = 0;  // the data ended
      return i;
    }
    buffer[i] = c;
    if (c == kNewline) {
      buffer[i < max - 1 ? i + 1 : i] = 0;  // the newline stays unless it took the last place
      return i;
    }
  }
  buffer[max] = 0;
  return max;
}

// A negative count or a null buffer with a positive count.
inline void CheckBuffer(const void* buffer, int count) {
  if (count < 0 || (count > 0 && !buffer)) throw CXException(ZRCAUSE_INVALIDARG);
}

}  // namespace zr
