// persist.h - objects that write themselves into streams, and the persisted
// object record.
//
// The persisted object record (integers little-endian):
//   class name   the 8-bit characters of GetClassName, 1 to 259 of them
//   terminator   one 0 byte
//   data length  32-bit N: the bytes of data that follow
//   data         N bytes: what the object's Save wrote
// A null object is the empty class name alone: a single 0 byte, no length
// and no data. Records nest: an object's Save may write further records.
//
// Reading creates an object of the record's class through the class
// registry (zr/registry.h) and lets its Load read the data; a record whose
// class cannot be created, or whose factory cannot give IPersistXStream,
// comes back as a proxy object that keeps the data as raw bytes and writes
// the same record again, byte for byte. So a module can read and write
// documents holding classes it does not know.
//
// Positions are handled as 32-bit values: records beyond 4 GiB into a
// stream, and objects whose data reaches 2 GiB, are not supported.
#pragma once

#include "zr/unknown.h"
#include "zr/xstream.h"

// The root of the persistence interfaces: what an object is called.
// Objects answer queries for IPersistX and IPersistXStream with the same
// pointer; callers go through IPersistXStream.
class ZR_API IPersistX : public IZRUnknown {
 public:
  // Slot 3: the class name under which the object's factory is registered.
  virtual const char* GetClassName() = 0;

 protected:
  ~IPersistX() = default;
};

// An object that saves itself into a stream and loads itself back.
class ZR_API IPersistXStream : public IPersistX {
 public:
  // Slot 4: the number of bytes Save writes (only SizeOfObject uses it).
  virtual ULONG GetSize() = 0;
  // Slot 5: reads the object's data from the stream: exactly the bytes Save
  // wrote, since the stream is not repositioned after Load.
  virtual void Load(IXStream* stream) = 0;
  // Slot 6: writes the object's data into the stream.
  virtual void Save(IXStream* stream) = 0;

 protected:
  ~IPersistXStream() = default;
};

// The reference-counting base of persistent objects (tail slots after
// slot 6).
extern template class ZR_API CZRUnknownImpl<IPersistXStream>;

// Writes the record of `object` at the stream's position and returns 1. The
// length is written as 0 first and patched once Save has written the data,
// so objects need not know their size in advance. A null object writes the
// single 0 byte.
//
// The class name must read back as written: a null or empty name, one
// longer than 259 characters, and one holding a line feed throw CXException
// with ZRCAUSE_INVALIDARG before anything is written. A Save that leaves
// the stream before the start of its data, or writes 2 GiB or more, throws
// the same. A null stream throws it too; the stream's own failures pass
// through.
ZR_API int WriteObjectToXStream(IXStream* stream, IPersistXStream* object);

// Reads one record at the stream's position. *out is set to null first.
// The null object gives 0 with *out null; otherwise *out receives the
// IZRUnknown of the object, created by class name (no outer) or, when the
// class cannot give IPersistXStream, a proxy holding the N bytes; the result
// is that query's (1). The object's Load reads its data.
//
// Errors: a record cut inside the name or the length throws CXEofException;
// a name without a terminator within its 259 characters, or ended by a line
// feed, throws CXFileException with ZRCAUSE_BADFORMAT and ZRSTREAMOP_READ; a
// proxy whose N exceeds the rest of the stream throws CXException with
// ZRCAUSE_RECORDTOOLONG, leaving the stream after the length. Exceptions of
// a factory and of Load pass through; nothing is left in *out. A null
// stream or out pointer throws CXException with ZRCAUSE_INVALIDARG.
//
// Nesting bound: records read while an object's Load runs (directly, or as
// ZRVT_UNKNOWN variant records) nest, and at most 256 object records may be
// open at once on a thread. A record that would be the 257th throws the
// malformed record's CXFileException (ZRCAUSE_BADFORMAT, ZRSTREAMOP_READ)
// after its length is read, before any object is made; ReadVariant passes
// it through. The null object is not counted.
ZR_API int ReadObjectFromXStream(IXStream* stream, IZRUnknown** out);

// The exact size of the record WriteObjectToXStream writes for `object`:
// 1 for null, else the name's length + 5 + GetSize() (modulo 2^32).
ZR_API ULONG SizeOfObject(IPersistXStream* object);

// Moves the stream past the record at its position and returns the position
// where the record began. Reads the name as ReadObjectFromXStream does (and
// fails the same), then the length N, and seeks N bytes forward from there
// (Seek with ZRSEEK_CUR; a length of 2 GiB or more in several steps, never
// backwards). A length beyond the rest of the stream is the stream's to
// handle: a memory stream stops at its end. A null stream throws
// CXException with ZRCAUSE_INVALIDARG.
ZR_API ULONG SkipObjectToXStream(IXStream* stream);
