// xstream.h - the stream interface IXStream, the base that gives every stream
// the same typed operations, the memory-block interface of the memory stream,
// the caller's progress interface, and the stream factories.
//
// Byte order: every multi-byte value the typed operations read or write is
// little-endian, on every host. Positions, sizes and counts are 32-bit;
// offsets passed to Seek are signed 32-bit, so a stream longer than 4 GiB is
// not supported.
//
// Failures are thrown by value: CXEofException when data ends inside a
// value, CXFileException for a bad seek origin or a bad variant record (with
// the stream's GetName as the file name), CXException with
// ZRCAUSE_CANCELLED when a progress object asks to cancel, CXMemException
// when memory runs out. A stream serves one thread at a time.
#pragma once

#include "zr/unknown.h"

struct tagZRVARIANT;

// Operation codes a stream puts into the CXFileException it throws.
enum : DWORD {
  ZRSTREAMOP_READ = 1,
  ZRSTREAMOP_WRITE = 2,
  ZRSTREAMOP_SEEK = 3,
};

// Seek origins.
enum : unsigned int {
  ZRSEEK_SET = 0,  // from the start
  ZRSEEK_CUR = 1,  // from the current position
  ZRSEEK_END = 2,  // from the end
};

// The sequential and seekable byte stream. The operations are declared in
// table-slot order; every stream of the library implements all of them and
// reads and writes the typed values alike (the empty stream, a sink, aside):
//
// Fixed-width values (ReadByte ... WriteDouble) are little-endian. A reader
// reads until it has all its bytes; when a Read delivers nothing first it
// throws CXEofException (the bytes that were there are consumed), so a value
// cut by the end of the data is never returned half-filled.
//
// ReadLine(buffer, max) reads one character per Read and stops after a line
// feed (10) or a NUL, which stay in the buffer, or after max characters.
// With i the index where it stopped (the index of the line feed or NUL, or
// max), it stores a NUL at buffer[i] and returns i when i >= max - 1 (a line
// feed read into the last slot is overwritten), else a NUL at buffer[i + 1]
// and returns i + 1. The buffer holds max + 1 characters; a max of 0 or less
// stores a NUL at buffer[0] and returns 0. The data ending before a
// terminator throws CXEofException. ReadLineW is the same over 16-bit units.
//
// The variant stream record: the 16-bit type code, then the value:
//   ZRVT_EMPTY, ZRVT_BOOL, the 32-bit integers, ZRVT_FLOAT   4 bytes (empty:
//                                                             4 zero bytes)
//   ZRVT_UI1 1 byte; ZRVT_UI2 2 bytes
//   ZRVT_DOUBLE, ZRVT_SIZE, ZRVT_POINT                        8 bytes
//   ZRVT_RSIZE, ZRVT_RPOINT, ZRVT_RECT 16 bytes; ZRVT_RRECT  32 bytes
//   ZRVT_STR    32-bit byte count n = length + 1, then the n bytes with the
//               NUL (a null text is written as "")
//   ZRVT_WSTR   32-bit byte count n = (length + 1) x 2, then the n bytes
//               of 16-bit units with the terminator (null written as "")
//   ZRVT_BLOB   32-bit size, then the data (a blob with a size but no data
//               is written as that many zero bytes)
//   ZRVT_UNKNOWN  the persisted object record (zr/persist.h) of the
//               object's IPersistXStream interface; an object that is null
//               or lacks the interface is written as the null object
//   codes above ZRVT_LASTORDINARY  nothing after the type
//
// ReadVariant clears the variant, reads the type into it and then the value.
// It returns 1 for a whole record (a blob of size 0 too: no data follows its
// size, and the variant holds size 0 and a null pointer), and 0 with an
// empty variant when the stream is at its end before the record starts (so
// a loop can read records until 0). For ZRVT_UNKNOWN the result is
// ReadObjectFromXStream's: 0 for the null object. A code above
// ZRVT_LASTORDINARY throws CXFileException with
// ZRCAUSE_BADFORMAT and ZRSTREAMOP_READ; the variant keeps that code and no
// value. A record cut after its first byte throws CXEofException. Reading is
// stricter than writing in one place: a text or blob record announcing more
// bytes than the stream still holds (GetSize() - GetPosition()) throws
// CXEofException before anything is allocated. After an exception the
// variant holds the type read so far with a zero value, and owns nothing.
// A text with a NUL inside reads back as the text before it.
//
// A null buffer with a positive count, a negative count, and a null variant
// pointer throw CXException with ZRCAUSE_INVALIDARG.
class ZR_API IXStream : public IZRUnknown {
 public:
  // Slot 3: up to `count` bytes into `buffer`; the number read, 0 at or
  // after the end (and for a count of 0).
  virtual ULONG Read(void* buffer, int count) = 0;
  // Slot 4: `count` bytes from `buffer`, extending the stream as needed.
  virtual void Write(const void* buffer, int count) = 0;
  // Slot 5: moves to base + offset, base being 0, the position or the size
  // for origin ZRSEEK_SET, ZRSEEK_CUR, ZRSEEK_END; the new position.
  virtual ULONG Seek(int offset, unsigned int origin) = 0;
  // Slot 6.
  virtual ULONG GetPosition() = 0;
  // Slots 7-10: 1, 2, 4 and 8 little-endian bytes.
  virtual BYTE ReadByte() = 0;
  virtual WORD ReadWord() = 0;
  virtual DWORD ReadDword() = 0;
  virtual double ReadDouble() = 0;
  // Slots 11, 12: a line of 16-bit or 8-bit characters (see above);
  // the buffer holds max + 1 characters. The number of characters stored.
  virtual int ReadLineW(WCHAR* buffer, int max) = 0;
  virtual int ReadLine(char* buffer, int max) = 0;
  // Slots 13, 14: the variant stream record (see above).
  virtual int ReadVariant(tagZRVARIANT* var) = 0;
  virtual void WriteVariant(const tagZRVARIANT* var) = 0;
  // Slots 15-18: 1, 2, 4 and 8 little-endian bytes.
  virtual void WriteByte(BYTE value) = 0;
  virtual void WriteWord(WORD value) = 0;
  virtual void WriteDword(DWORD value) = 0;
  virtual void WriteDouble(double value) = 0;
  // Slots 19, 20: the text and its terminator; null writes the terminator
  // alone.
  virtual void WriteStringW(const WCHAR* text) = 0;
  virtual void WriteString(const char* text) = 0;
  // Slot 21: the length in bytes.
  virtual ULONG GetSize() = 0;
  // Slot 22: a name for messages; never null.
  virtual const char* GetName() = 0;

 protected:
  ~IXStream() = default;
};

// The reference-counting base of every stream (tail slots after slot 22).
extern template class ZR_API CZRUnknownImpl<IXStream>;

namespace ZRIFC {

// A progress object, implemented by callers. Streams poll CheckCancel
// around their operations; a document storage calls SetRange once. The
// library never calls SetPos or OffsetPos: they are there for the caller's
// own use.
class ZR_API IProgress : public IZRUnknown {
 public:
  // Slot 3: non-zero asks the running operation to stop; the stream then
  // throws CXException with ZRCAUSE_CANCELLED.
  virtual int CheckCancel() = 0;
  // Slot 4: moves the progress to `position` within the range.
  virtual void SetPos(int position) = 0;
  // Slot 5: moves the progress by `delta`.
  virtual void OffsetPos(int delta) = 0;
  // Slot 6: the range the positions run in.
  virtual void SetRange(int low, int high) = 0;

 protected:
  ~IProgress() = default;
};

}  // namespace ZRIFC

// The memory stream's view of its buffer.
class ZR_API IMemBlock : public IZRUnknown {
 public:
  // Slot 3: the stream's size in bytes.
  virtual ULONG GetSize() = 0;
  // Slot 4: the buffer (the stream's bytes, then capacity - size unused
  // ones), or null when there is none or its capacity is 0. Valid until the
  // next write that grows the stream, or SetData.
  virtual void* GetData() = 0;
  // Slot 5: replaces the buffer with `length` bytes, a copy of `data` (zero
  // bytes when data is null); size, capacity and grow step all become
  // length (the grow step 4096 when length is 0). The position is kept, or
  // moved back to the new end when it lay beyond it. `data` may point into
  // the old buffer. CXMemException when memory runs out, the stream
  // unchanged.
  virtual void SetData(const void* data, unsigned int length) = 0;

 protected:
  ~IMemBlock() = default;
};

// A new, empty memory stream ("Memory stream"): its interface query answers
// IZRUnknown, IXStream and IMemBlock. Its buffer grows when a write needs
// more than the capacity: the capacity becomes
//   (needed / grow step + 1) x grow step + old capacity
// (at least doubling, so sequential writing reallocates a logarithmic number
// of times; capped at 4 GiB - 1), and is never shrunk except by SetData.
// Writing past 4 GiB - 1 throws CXFileException with ZRCAUSE_VOLUMEFULL and
// ZRSTREAMOP_WRITE. Seek clamps to 0 ... size, so the stream has no holes;
// an unknown origin throws CXFileException with ZRCAUSE_INVALIDARG and
// ZRSTREAMOP_SEEK.
//
// With a progress object the stream holds a reference to it and calls its
// CheckCancel after each Write, and after each Read that was not at the end;
// a non-zero answer throws CXException with ZRCAUSE_CANCELLED after the
// data was moved, and the stream stays usable.
//
// One reference for the caller; null when memory cannot be allocated.
ZR_API IXStream* new_StreamOnMemory();
ZR_API IXStream* new_StreamOnMemory(ZRIFC::IProgress* progress);

// A new empty stream ("Empty stream"): a sink of size 1 that never fails.
// Read fills the buffer with zeros and returns 1; the typed readers return 0
// (0.0); ReadLine and ReadLineW store a single NUL and return 1;
// ReadVariant empties the variant and returns 1; every write does nothing;
// Seek and GetPosition work within 0 ... 1 (an unknown origin throws as for
// the memory stream). One reference for the caller; null when memory cannot
// be allocated.
ZR_API IXStream* new_EmptyStream();
