// filelock.h - file locking: keeping files this process works on from being
// changed by others, without keeping them from being read.
//
// A locked file is held open through one lock handle with read and write
// access that shares reading only, so other processes (on this machine) can
// open it for reading but not for writing or deleting. Locks are counted
// per path, in two kinds chosen by the `ne` argument: plain locks (false)
// and NE locks (true). The library's own file objects set a path's lock
// handle aside while they open the file and take it back afterwards; a path
// with an NE lock refuses that, so it cannot be opened through the library
// either.
//
// The table is process-wide and unguarded: one thread at a time. Paths are
// compared without regard to case and are not normalised, so two texts that
// name one file make two entries. A path over 511 characters is never
// locked (the table does not cut paths).
#pragma once

#include "zr/xstring.h"

// Adds a lock of the kind. A new entry needs the lock handle, except a plain
// lock on a missing file; a lock that cannot be taken is silently not
// taken. With the locking flag at 0, memory-file names are passed over.
ZR_API void Fio_LockFile(const WCHAR* path, bool ne);
// Drops a lock of the kind; the entry and its handle go with the last lock.
ZR_API void Fio_UnlockFile(const WCHAR* path, bool ne);
// The count of the kind for `path`; 0 without an entry.
ZR_API int Fio_LockCount(const WCHAR* path, bool ne);
// setAside true: closes the path's lock handle, keeping its counts; throws
// CXFileException operation 5 (the cause from the thread's last Windows
// error) when the path has NE locks. setAside false: opens the handle again
// when the file exists. Nothing for a path without an entry.
ZR_API void Fio_ChangeNELock(const WCHAR* path, bool setAside);
// Stores the locking flag (it starts at 1) and returns the previous one.
ZR_API int Fio_EnableLocking(int value);
// 1 for a memory file and for a missing file; 0 for a read-only file;
// otherwise 1 exactly when the file can be opened for reading and writing
// with no sharing (this process's lock handle set aside meanwhile, so an NE
// lock throws as Fio_ChangeNELock does). For a URL, Fio_UrlIsWritableFile
// (zr/urlfile.h).
ZR_API int Fio_IsWritableFile(const WCHAR* path);
// The same answer; `text` is left unchanged.
ZR_API int Fio_IsWritableFile(const WCHAR* path, CXStringW& text);
