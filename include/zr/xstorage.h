// xstorage.h - the storage interface IXStorage, the compound-file storage
// CStorage and its factories, and the adapters between the library's
// streams and storages and the platform's structured-storage objects.
//
// A storage is a hierarchy of named sub-storages and named streams kept in
// one compound file (or in memory). Element names are 8-bit strings in the
// system code page; the compound-file format keeps at most 31 UTF-16
// characters of a name, and a longer name is refused by the file
// (CreateStream, OpenStream: null; CreateStorage, OpenStorage: an
// exception with ZRCAUSE_BADPATH).
//
// Ownership follows the object model: every storage, stream and enumerator
// an operation returns carries one reference for the caller. A sub-storage
// holds its parent, so a root lives while any of its descendants lives.
//
// Failures: creating or opening a root or a sub-storage, destroying an
// element and stream I/O throw CXFileException with the cause translated
// from the compound-file result (table in storage/storage_errors.cpp) and
// the operation code below; CreateStream and OpenStream answer null; a
// failing enumeration throws CXException with the translated cause.
//
// A storage and the objects it hands out serve one thread at a time.
#pragma once

#include "zr/tenum.h"
#include "zr/unknown.h"
#include "zr/xstream.h"
#include "zr/xstring.h"

// Storage flags (argument of new_Storage, kept by every CStorage; a
// sub-storage takes its parent's).
enum : unsigned int {
  ZRSTORAGE_READONLY = 1,         // opened for reading; never committed
  ZRSTORAGE_TRANSACTED = 2,       // changes reach the file only on Commit
  ZRSTORAGE_TEMPORARY = 4,        // a new file in the temporary folder
  ZRSTORAGE_DELETEONRELEASE = 8,  // the file goes with the storage
};

// Operation codes of the CXFileException a storage or its streams throw.
enum : DWORD {
  ZRSTORAGEOP_OPEN = 0,     // creating or opening a storage
  ZRSTORAGEOP_IO = 1,       // stream read or write
  ZRSTORAGEOP_SEEK = 3,     // stream seek
  ZRSTORAGEOP_DESTROY = 4,  // destroying an element
};

// The hierarchical container. The operations are declared in table-slot
// order (slots 3 to 13 after IZRUnknown's three), which is fixed.
class ZR_API IXStorage : public IZRUnknown {
 public:
  // Slot 3: a new sub-storage, replacing an element of that name.
  virtual IXStorage* CreateStorage(const char* name) = 0;
  // Slot 4: an existing sub-storage.
  virtual IXStorage* OpenStorage(const char* name) = 0;
  // Slot 5: removes a sub-storage and what it holds; the platform result
  // (not negative on success).
  virtual LONG DestroyStorage(const char* name) = 0;
  // Slot 6: the parent with a reference added, or null for a root.
  virtual IXStorage* GetParentStorage() = 0;
  // Slot 7: the names of the sub-storages.
  virtual CTEnum<const char*>* EnumStorages() = 0;
  // Slot 8: a new stream, replacing an element of that name; null on failure.
  virtual IXStream* CreateStream(const char* name) = 0;
  // Slot 9: an existing stream; null on failure.
  virtual IXStream* OpenStream(const char* name) = 0;
  // Slot 10: removes a stream; the platform result.
  virtual LONG DestroyStream(const char* name) = 0;
  // Slot 11: makes the changes durable (nothing for a read-only storage).
  virtual void Commit() = 0;
  // Slot 12: the names of the streams.
  virtual CTEnum<const char*>* EnumStreams() = 0;
  // Slot 13: the path of the file behind the storage (its root's for a
  // sub-storage; empty in memory).
  virtual const WCHAR* GetName() = 0;

 protected:
  ~IXStorage() = default;
};

// The reference-counting base of the storages (tail slots after slot 13).
extern template class ZR_API CZRUnknownImpl<IXStorage>;

// The compound-file storage ("CStorage"). Besides IXStorage it has two
// operations of its own after the implementation template's tail:
// Revert, which drops the uncommitted changes of a transacted storage (and
// does nothing otherwise), and Reserved, which answers 0.
//
// QueryInterface answers IZRUnknown and IXStorage with the storage itself, and
// IZRProperty with a new summary-information object over the file (zr/property.h).
// Its last Release commits (unless the flags are exactly
// ZRSTORAGE_READONLY), then releases the platform storage and the parent.
class ZR_API CStorage : public CZRUnknownImpl<IXStorage> {
 public:
  // Takes over one reference of `platformStorage` (the platform's IStorage)
  // and adds one to `parent`. `name` is the root's path.
  CStorage(void* platformStorage, const WCHAR* name, unsigned int flags, IXStorage* parent);
  ~CStorage() override;
  CStorage(const CStorage&) = delete;
  CStorage& operator=(const CStorage&) = delete;

  IXStorage* CreateStorage(const char* name) override;
  IXStorage* OpenStorage(const char* name) override;
  LONG DestroyStorage(const char* name) override;
  IXStorage* GetParentStorage() override;
  CTEnum<const char*>* EnumStorages() override;
  IXStream* CreateStream(const char* name) override;
  IXStream* OpenStream(const char* name) override;
  LONG DestroyStream(const char* name) override;
  void Commit() override;
  CTEnum<const char*>* EnumStreams() override;
  const WCHAR* GetName() override;

  int InternalQueryInterface(const std::type_info& type, void** out) override;

  // Tail + 5: with ZRSTORAGE_TRANSACTED, reverts the platform storage.
  virtual void Revert();
  // Tail + 6: 0.
  virtual int Reserved();

  unsigned int GetFlags() const { return m_flags; }
  // The platform storage, borrowed.
  void* GetPlatformStorage() const { return m_pStorage; }

 protected:
  CXStringW m_name;
  unsigned int m_flags;
  void* m_pStorage;  // the platform's IStorage, one reference
  IXStorage* m_pParent;
};

// A new compound file `name` (an existing one is replaced; the folders of
// the path are made first). ZRSTORAGE_TEMPORARY ignores `name` and makes a
// "ZRPR....tmp" file in the temporary folder; a null or empty name without
// it makes the storage in memory (GetName empty). Failure: CXFileException
// (translated cause, ZRSTORAGEOP_OPEN, the name).
ZR_API IXStorage* new_Storage(const WCHAR* name, int flags);

// Opens the compound file `name`: read-only (flags ZRSTORAGE_READONLY) when
// readOnly is non-zero, else read-write and transacted (committed on Commit
// and on the last Release). A URL (Fio_PathIsURL) opens through
// open_UrlStorage with a temporary local copy. Failure: CXFileException
// (translated cause, ZRSTORAGEOP_OPEN, the name).
ZR_API IXStorage* open_Storage(const WCHAR* name, int readOnly);

// A compound file named by a URL ("CUrlStorage"): downloaded (Fio_DownloadToFile)
// to `localName`, or to a new temporary file when it is null or empty, and
// opened there as open_Storage opens a file. Every operation, QueryInterface
// included, is the local storage's; GetName answers the URL. Commits reach
// the local copy only: nothing is uploaded back. The last Release releases
// the local storage and deletes the copy. A failed download throws
// CXFileException(ZRCAUSE_NETWORK, an empty name, ZRSTORAGEOP_OPEN).
ZR_API IXStorage* open_UrlStorage(const WCHAR* url, const WCHAR* localName, int readOnly);

// --- Platform adapters ----------------------------------------------------
// Platform objects cross this boundary untyped: a platform stream is the
// compound-file engine's IStream, a platform storage its IStorage.

// An IXStream over a platform stream, which is positioned at its start and
// gets one reference. Read answers 1 when exactly `count` bytes came, else
// 0; GetPosition and GetSize answer 0, GetName ""; the typed readers do not
// detect the end; the line readers read back a NUL-terminated string (an LF
// does not end it); the last Release commits the platform stream. Null for
// a null platform stream and when memory runs out.
ZR_API IXStream* new_StreamByOleStream(void* platformStream);

// The platform stream behind a compound-file stream, with a reference for
// the caller; null for any other stream.
ZR_API void* Stream_GetOLEStream(IXStream* stream);

// The platform storage behind a CStorage, with a reference for the caller;
// null for any other storage.
ZR_API void* Storage_GetOLEStorage(IXStorage* storage);

// A CStorage over a platform storage (one reference added), with an empty
// name and no parent; its flags come from the storage's access mode
// (transacted: ZRSTORAGE_TRANSACTED; neither write nor read-write:
// ZRSTORAGE_READONLY). Null for a null platform storage; CXFileException
// when the platform storage cannot report its mode.
ZR_API IXStorage* new_StorageByOleStorage(void* platformStorage);
