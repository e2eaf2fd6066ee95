// xfile.h - the file interfaces IXFile and IXOutFile, the opening functions,
// the disk file CXFile and the committing writer CXOutFile.
//
// Every file the library or its callers read or write goes through these
// two reference-counted interfaces. The path decides the implementation: a
// name that begins with "fmem::" (any case) is a memory file (zr/memfile.h),
// a URL (Fio_PathIsURL) a remote file, anything else a disk file.
//
// Positions, sizes and counts are unsigned 32-bit: a file holds at most
// 4 GiB - 1 bytes, and sizes are the low 32 bits of the file's size. Typed
// values are little-endian. File names have at most 511 characters.
//
// Failures of real work throw CXFileException (cause from the table of
// Windows errors to causes, the file's name, an operation code below);
// CXException where a function says so. Deviation: a negative count, or a
// null buffer with a positive count, throws CXException cause 10 in every
// file's Read and Write (the contract leaves them undefined).
#pragma once

#include "zr/unknown.h"

// Opening modes (the `int` of Fio_Open and Fio_OpenOut), bit by bit.
enum : int {
  // Read and write access; without it the file is opened for reading only.
  ZRFILE_WRITE = 0x0001,
  // With write access: open the existing file with its content (without it
  // the file is created or emptied). For reading: the first view covers the
  // whole file. For Fio_OpenOut: keep the target's content and append.
  ZRFILE_EXISTING = 0x0002,
  // Random-access hint for the OS (without it: sequential access).
  ZRFILE_RANDOM = 0x0100,
  // With write access: a temporary file, deleted when it is closed.
  ZRFILE_TEMPORARY = 0x8000,
};

// Operation codes carried by CXFileException.
enum : DWORD {
  ZRFILEOP_OPEN = 0,     // the committing writer's check, a remote open
  ZRFILEOP_READ = 1,     // read (a disk file's failures carry its access kind:
  ZRFILEOP_WRITE = 2,    //   1 read, 2 write)
  ZRFILEOP_LOCK = 5,     // lock conflict
  ZRFILEOP_DELETE = 7,   // delete a file
  ZRFILEOP_COPY = 8,     // copy a file
  ZRFILEOP_RENAME = 9,   // rename a file
  ZRFILEOP_MKDIR = 10,   // create a directory
  ZRFILEOP_RMDIR = 11,   // delete a directory
  ZRFILEOP_REMOTE = 12,  // a remote-file operation
  ZRFILEOP_INFO = 13,    // read file information
  ZRFILEOP_CHDIR = 14,   // change the current directory
};

// Seek origins of IXFile::Seek.
enum : unsigned int {
  ZRFILE_SEEK_SET = 0,
  ZRFILE_SEEK_CUR = 1,
  ZRFILE_SEEK_END = 2,
};

// A file. Operations in table-slot order.
class ZR_API IXFile : public IZRUnknown {
 public:
  // Slot 3: up to `count` bytes; the number read, fewer at the end.
  virtual ULONG Read(void* buffer, int count) = 0;
  // Slot 4: `count` bytes; failures are thrown.
  virtual void Write(const void* buffer, int count) = 0;
  // Slot 5: origin 0 from the start, 1 from the position, 2 from the end;
  // the new position.
  virtual ULONG Seek(int offset, unsigned int origin) = 0;
  // Slot 6: Seek of 0 from the current position.
  virtual ULONG GetPosition() = 0;
  // Slot 7: non-zero on success.
  virtual int Flush() = 0;
  // Slots 8-11: Read of 1, 2, 4, 8 bytes; fewer throw CXFileException
  // cause 4 (end of file), operation 1, with the file's name.
  virtual BYTE ReadByte() = 0;
  virtual WORD ReadWord() = 0;
  virtual DWORD ReadDword() = 0;
  virtual double ReadDouble() = 0;
  // Slots 12-15: one Write of the value's bytes.
  virtual void WriteByte(BYTE value) = 0;
  virtual void WriteWord(WORD value) = 0;
  virtual void WriteDword(DWORD value) = 0;
  virtual void WriteDouble(double value) = 0;
  // Slot 16: the characters and the terminator, 2 x (length + 1) bytes (a
  // null text writes the terminator alone).
  virtual void WriteStringW(const WCHAR* text) = 0;
  // Slot 17: length + 1 bytes, terminator included (null: the terminator).
  virtual void WriteString(const char* text) = 0;
  // Slots 18, 19: one unit per Read until `max` units are stored, Read
  // gives nothing, or the unit read is a newline (10). The result counts the
  // units stored before the newline. A zero unit ends the text: after the
  // newline when it was read below index max - 1 (the newline stays), in
  // its place when it was read at max - 1, after the last unit when the
  // data ended, and at index max when max units came without a newline
  // (the buffer holds max + 1 units).
  virtual int ReadLineW(WCHAR* buffer, int max) = 0;
  virtual int ReadLine(char* buffer, int max) = 0;
  // Slot 20: the size in bytes.
  virtual ULONG GetSize() = 0;
  // Slot 21: the name the file was opened with.
  virtual const WCHAR* GetFileName() = 0;

 protected:
  ~IXFile() = default;
};

// A file whose content replaces its target only when committed. It is used
// as an IXFile through this pointer (its operations begin with IXFile's); its
// interface query answers IXOutFile, not IXFile.
class ZR_API IXOutFile : public IXFile {
 public:
  // Slot 22: makes the written content the target's content and closes.
  virtual void Commit() = 0;

 protected:
  ~IXOutFile() = default;
};

extern template class ZR_API CZRUnknownImpl<IXFile>;
extern template class ZR_API CZRUnknownImpl<IXOutFile>;

// Opens a file for reading, or for writing with ZRFILE_WRITE. One reference
// for the caller; null when the object cannot be allocated. A null path is
// a new temporary file ("ZRPR....tmp" in the temporary folder). A URL opens
// a remote file (Fio_UrlOpen, zr/urlfile.h).
ZR_API IXFile* Fio_Open(const WCHAR* path, int mode);

// Opens a committing writer on `path`: the content is written to a
// temporary file "ZRPR....tmp" beside the target and replaces the target on
// Commit; a URL goes to Fio_UrlOpenOut (zr/urlfile.h). CXException cause 9
// when the target exists and is not writable;
// CXException with the cause of the Windows error when the temporary file
// cannot be made (network 13, access 9, bad path 7, else 2). Null when the
// object cannot be allocated. When the writer cannot be made the temporary
// file is deleted again (the contract leaves it).
ZR_API IXOutFile* Fio_OpenOut(const WCHAR* path, int mode);

// The disk file: reads and writes through a window onto a mapping of the
// file, twice the allocation granularity long (128 KiB) and starting at a
// multiple of its own length, so that small values never call the OS
// except when the window moves. A file open for writing grows on disk a
// window at a time and is cut to its logical size when it is closed.
//
// Share modes: for reading, others may read and write; for writing, nothing
// is shared. Construction sets aside this process's lock handle on the file
// (Fio_ChangeNELock, zr/filelock.h) and throws with operation 5 when the
// file carries an NE lock; destruction takes the lock handle back.
//
// A fault while copying through the window (a device error, the file cut by
// another process) is thrown as cause 12 with the access kind. Writing to a
// file opened for reading throws cause 9 (access denied) and writes nothing.
// Positions are 32-bit: a write that would pass 4 GiB - 1 throws cause 3
// (volume full), a seek there cause 5 (the contract's 32-bit positions wrap).
// The last Release closes the file; a failure to unmap, close the mapping or
// cut the file throws cause 2 after everything was released.
class ZR_API CXFile final : public CZRUnknownImpl<IXFile> {
 public:
  CXFile(const WCHAR* path, int mode);
  ~CXFile() override;

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

  static constexpr unsigned kNameChars = 512;

 private:
  void Open();
  void MoveView(ULONG position);
  // Writes whole views at the position with the file's own write call.
  void WriteThrough(const BYTE* in, ULONG bytes);
  ULONG ViewLength() const;
  // Unmaps, closes the mapping and cuts a written file: false when one of
  // them failed. The file handle stays open.
  bool CloseMapping();
  [[noreturn]] void ThrowLastError();
  // The typed values' fast path: N bytes straight from or into the window
  // when they lie inside it (a single move), through Read or Write
  // otherwise. Hidden: only the library calls them, directly.
  template <unsigned N>
  [[gnu::visibility("hidden")]] void ReadFixed(BYTE* out);
  template <unsigned N>
  [[gnu::visibility("hidden")]] void WriteFixed(const BYTE* in);

  friend struct CXFileLayout;  // the layout checks
  HANDLE m_hFile;
  HANDLE m_hMapping;
  ULONG m_position;
  ULONG m_size;  // the logical size
  BYTE* m_pView;
  ULONG m_viewOffset;
  ULONG m_viewSize;
  int m_mode;
  int m_access;  // 1 read, 2 write
  ULONG m_cOwnRef;
  WCHAR m_name[kNameChars];
};

// The committing writer: every operation from Read to GetSize goes to the
// inner file on the temporary file; GetFileName gives the target's name.
// While it is open, an existing target carries a plain lock (zr/filelock.h),
// so other processes can read it but not change it. Commit closes the inner
// file, flushes it to the disk, deletes the target and renames the
// temporary file into its place; destroying the writer without Commit
// deletes the temporary file and leaves the target unchanged. After Commit
// the file operations throw CXException cause 10.
class ZR_API CXOutFile final : public CZRUnknownImpl<IXOutFile> {
 public:
  CXOutFile(const WCHAR* target, const WCHAR* tempName, int mode);
  ~CXOutFile() override;

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
  IXFile& Inner();
  // Releases the inner file, drops the target's lock and deletes the
  // temporary file; never throws.
  void Discard();

  friend struct CXOutFileLayout;  // the layout checks
  IXFile* m_pInner;
  WCHAR m_target[CXFile::kNameChars];
  WCHAR m_temp[CXFile::kNameChars];
  bool m_locked;  // the target carries this writer's plain lock
};
