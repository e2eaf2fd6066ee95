// fileops.h - file-system functions: copy, rename, delete, folders, file
// information, existence, writability, owner, current folder, temporary
// names, and the URL test.
//
// Failures are thrown as CXFileException with the function's operation code
// (zr/xfile.h), the path and the cause of the Windows error. The queries
// (Fio_IsFileExist, Fio_IsWritableDir, Fio_GetSecurityInfo) answer 0
// instead. Memory-file names (zr/memfile.h) are passed over where nothing
// can be done with them; URLs go to the remote functions of zr/urlfile.h
// (delete, create a folder, file information).
#pragma once

#include "zr/xfile.h"
#include "zr/xstring.h"

// The file information record: the size (low 32 bits) and the last-write
// time in UTC.
struct FioFileInfo {
  DWORD size;
  DWORD second;
  DWORD minute;
  DWORD hour;
  DWORD day;        // of the month
  DWORD dayOfWeek;  // 0 = Sunday
  DWORD month;      // 1 to 12
  DWORD year;       // four digits
};

// Operation 8, the source's name. failIfExists 0 replaces the destination.
ZR_API void Fio_CopyFile(const WCHAR* source, const WCHAR* destination, int failIfExists);
// Operation 9, the source's name. Never replaces an existing destination.
ZR_API void Fio_RenameFile(const WCHAR* source, const WCHAR* destination);
// Operation 7. Nothing for a memory file; Fio_UrlDeleteFile for a URL
// (its result is not reported).
ZR_API void Fio_DeleteFile(const WCHAR* path);
// Operation 11. The folder must be empty.
ZR_API void Fio_DeleteDirectory(const WCHAR* path);
// Creates every missing level of `path` (operation 10, the level that
// failed). Nothing for a null, empty or existing path or a memory file.
// Levels that end with a colon (drives) and empty levels (a path that
// begins with a separator) are passed over; a level another process made
// meanwhile is taken as made.
ZR_API void Fio_CreateDirectory(const WCHAR* path);
// GetCurrentDirectoryW into `buffer` of `size` characters; nothing is
// reported.
ZR_API void Fio_GetCurrentDirectory(WCHAR* buffer, int size);
// Operation 14.
ZR_API void Fio_SetCurrentDirectory(const WCHAR* path);
// Fills `info` from the file's directory entry (operation 13). For a memory
// file only the size is set, to the size in its name. A null `info` throws
// CXException cause 10.
ZR_API void Fio_GetFileInfo(const WCHAR* path, FioFileInfo* info);
// 1 when Fio_GetFileInfo succeeds, 0 when it throws any CXException.
ZR_API int Fio_IsFileExist(const WCHAR* path);
// 1 when this process may read and write the object named by `path`,
// judged by its owner, group and permission bits against the process's
// effective user and groups; 0 otherwise.
ZR_API int Fio_IsWritableDir(const WCHAR* path);
// The owner of the file as its account name, a blank and the host name
// (standing in for the Windows domain); 1, or 0 with `owner` unchanged.
ZR_API int Fio_GetSecurityInfo(const WCHAR* path, CXStringW& owner);
// A new empty file "ZRPR....tmp" in the temporary folder; the name lives in
// a process-wide buffer that the next call overwrites (empty when the
// platform failed). Not thread-safe.
ZR_API const WCHAR* Fio_GetTempFileName();
// 1 for a URL: a scheme of two or more letters, digits, "+", "-" or "."
// followed by ":".
ZR_API int Fio_PathIsURL(const WCHAR* path);
