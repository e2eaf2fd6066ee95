// docstorage.h - the document storage: any IXStorage wrapped so that long
// document operations report progress and can be cancelled.
//
// Every stream reached through a document storage polls the caller's
// progress object (ZRIFC::IProgress, zr/xstream.h) with CheckCancel: after
// the operation for Read, Write, Seek, the typed readers, the line readers
// and ReadVariant; before it for WriteVariant, the typed writers and the
// string writers; never for GetPosition, GetSize and GetName. A non-zero
// answer throws CXException with ZRCAUSE_CANCELLED (so a read or Write has
// happened, a typed write has not). Without a progress object nothing is
// polled. Element names, contents and commits go unchanged to the wrapped
// storage, and its errors pass through unchanged.
//
// Each document stream also answers IDocStrorageInfo (the name is spelled
// so), which leads back to the storages and the stream it wraps, and
// IRegisterIface, through which callers attach further interfaces to it.
#pragma once

#include "zr/unknown.h"
#include "zr/xstorage.h"
#include "zr/xstream.h"

// What a document stream wraps. The operations are declared in table-slot
// order (slots 3 to 9 after IZRUnknown's three), which is fixed.
class ZR_API IDocStrorageInfo : public IZRUnknown {
 public:
  // Slot 3: the storage the root document storage wraps, with a reference
  // added; 1 (0 and null for a stream made without a document storage).
  virtual int GetStorage(IXStorage** storage) = 0;
  // Slot 4: 0.
  virtual int Reserved4() = 0;
  // Slot 5: the root document storage, with a reference added; 1 (0 and
  // null without one).
  virtual int GetDocStorage(IXStorage** storage) = 0;
  // Slot 6: 0.
  virtual int Reserved6() = 0;
  // Slot 7: the wrapped stream, with a reference added; 1.
  virtual int GetStream(IXStream** stream) = 0;
  // Slot 8: 0.
  virtual int Reserved8() = 0;
  // Slot 9: the flags word given when the document storage was made.
  virtual DWORD GetFlags() = 0;

 protected:
  ~IDocStrorageInfo() = default;
};

// A root document storage over `storage`, which it holds; the progress
// object (may be null) is held too and told SetRange(0, 100). *result gets
// the new storage with one reference (null when memory runs out); 1. A null
// storage gives null and 0.
// Sub-storages created or opened through it are document storages with the
// same progress object and flags; their streams are document streams.
ZR_API int new_CIXDocStorage(IXStorage* storage, ZRIFC::IProgress* progress, IXStorage** result,
                             int flags);

// A document stream over `stream` (held), polling the progress object of
// the root of `docStorage` when that is a document storage (a run-time type
// check; any other storage gives a stream that polls nothing). *result gets
// the stream with one reference (null when memory runs out); 1. A null
// stream gives null and 0.
ZR_API int new_CIXDocStream(IXStorage* docStorage, IXStream* stream, IXStream** result, int flags);
