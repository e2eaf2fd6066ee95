// pal/files/file.h - file handles: opening with Windows share modes, reading,
// writing, the file pointer, the end of file, flushing and file times.
//
// A file handle (HandleKind::File) owns one descriptor of the file and, while
// the file's share-mode records are usable, one descriptor of its companion
// lock file (pal/files/share.cpp says how share modes hold between
// processes). CloseHandle closes both; a process that dies closes them too,
// so nothing it held stays held.
//
// Paths: "\\" and "/" both separate; the text is UTF-16 and reaches the OS as
// UTF-8 (pal/internal/os_path.h).
//
// The read-only attribute is a file with no write permission bit at all
// (mode & 0222 == 0). Opening such a file for writing fails with
// ERROR_ACCESS_DENIED even for the superuser, as Windows refuses it to
// administrators.
//
// Thread-safe: each call works on its own descriptors; the file pointer is
// the descriptor's, shared by the calls on one handle as on Windows.
#pragma once

#include "pal/types.h"

namespace zrpal {

// Access rights (dwDesiredAccess). FILE_READ_ATTRIBUTES and 0 open for
// queries only.
inline constexpr DWORD GENERIC_READ = 0x80000000;
inline constexpr DWORD GENERIC_WRITE = 0x40000000;
inline constexpr DWORD DELETE = 0x00010000;
inline constexpr DWORD FILE_READ_ATTRIBUTES = 0x00000080;

// Share modes.
inline constexpr DWORD FILE_SHARE_READ = 0x00000001;
inline constexpr DWORD FILE_SHARE_WRITE = 0x00000002;
inline constexpr DWORD FILE_SHARE_DELETE = 0x00000004;

// Creation dispositions.
inline constexpr DWORD CREATE_NEW = 1;
inline constexpr DWORD CREATE_ALWAYS = 2;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD OPEN_ALWAYS = 4;
inline constexpr DWORD TRUNCATE_EXISTING = 5;

// Attributes (of CreateFileW, GetFileAttributesW and the find functions).
inline constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x00000001;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010;
inline constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x00000020;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
inline constexpr DWORD FILE_ATTRIBUTE_TEMPORARY = 0x00000100;
inline constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

// Flags of CreateFileW.
inline constexpr DWORD FILE_FLAG_WRITE_THROUGH = 0x80000000;
inline constexpr DWORD FILE_FLAG_NO_BUFFERING = 0x20000000;
inline constexpr DWORD FILE_FLAG_RANDOM_ACCESS = 0x10000000;
inline constexpr DWORD FILE_FLAG_SEQUENTIAL_SCAN = 0x08000000;
inline constexpr DWORD FILE_FLAG_DELETE_ON_CLOSE = 0x04000000;

// Move methods of SetFilePointer(Ex).
inline constexpr DWORD FILE_BEGIN = 0;
inline constexpr DWORD FILE_CURRENT = 1;
inline constexpr DWORD FILE_END = 2;

inline constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFF;
inline constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFF;


// FILETIME is in pal/types.h (the registry keeps them too).

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;      // 1 to 12
  WORD wDayOfWeek;  // 0 = Sunday
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};

struct SECURITY_ATTRIBUTES;

// Opens or creates a file. Accepted: the access rights, share modes,
// dispositions, attributes and flags above; anything else, a non-null
// security record or template, fails with ERROR_INVALID_PARAMETER, as does
// TRUNCATE_EXISTING without GENERIC_WRITE. Behaviour as on Windows:
//  - an access that a handle already open on the file does not share, or a
//    share mode that refuses an access such a handle already has, fails with
//    ERROR_SHARING_VIOLATION (between processes too); the file is then not
//    created, emptied or changed; a handle without read, write or delete
//    access (attributes only) takes no part in share modes;
//  - CREATE_ALWAYS and OPEN_ALWAYS on an existing file succeed with the last
//    error ERROR_ALREADY_EXISTS, otherwise success leaves ERROR_SUCCESS;
//  - a directory fails with ERROR_ACCESS_DENIED; a missing file with
//    ERROR_FILE_NOT_FOUND, a missing directory on the way with
//    ERROR_PATH_NOT_FOUND;
//  - FILE_FLAG_DELETE_ON_CLOSE counts as DELETE access; the file is deleted
//    when this handle is closed. Deviation: when the process dies instead,
//    the file stays (Windows deletes it).
//  - FILE_ATTRIBUTE_READONLY gives a new file no write permission (the handle
//    itself may still write, as on Windows). ARCHIVE, NORMAL, TEMPORARY and
//    FILE_FLAG_NO_BUFFERING are accepted and change nothing (deviation: no
//    archive bit; no alignment rule for unbuffered handles); the random and
//    sequential hints are given to the OS; FILE_FLAG_WRITE_THROUGH makes
//    each write reach the disk.
// Failure: INVALID_HANDLE_VALUE.
HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   SECURITY_ATTRIBUTES* security, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);

// Reads up to `toRead` bytes at the file pointer; TRUE with *read 0 at the
// end of the file. ERROR_ACCESS_DENIED without read access. Overlapped I/O
// is refused (ERROR_INVALID_PARAMETER).
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, DWORD* read, void* overlapped);

// Writes all `toWrite` bytes at the file pointer, or fails with the error of
// the write that stopped (ERROR_DISK_FULL, ...); *written counts what was
// written either way.
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, DWORD* written, void* overlapped);

// Moves the file pointer. A negative result position fails with
// ERROR_NEGATIVE_SEEK. SetFilePointer returns the low half of the new
// position (and stores the high half through `distanceHigh` when given);
// INVALID_SET_FILE_POINTER with a last error other than ERROR_SUCCESS is a
// failure.
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD moveMethod);
BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, LARGE_INTEGER* newPosition,
                      DWORD moveMethod);

// Makes the file end at the file pointer (cutting or extending it); needs
// write access. Deviation: Windows refuses to cut a file below a mapped
// view (ERROR_USER_MAPPED_FILE); here the cut happens and the view's pages
// past the new end fault (see pal/files/mapping.h).
BOOL SetEndOfFile(HANDLE file);

// The size: low half as the result (high half through `high`), or
// INVALID_FILE_SIZE with a last error other than ERROR_SUCCESS.
DWORD GetFileSize(HANDLE file, DWORD* high);
BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size);

// Writes the file's data and metadata to the disk; ERROR_ACCESS_DENIED
// without write access, as on Windows.
BOOL FlushFileBuffers(HANDLE file);

// Creation, last access and last write times; any pointer may be null.
// Deviation: the creation time is the time of the last status change
// (Linux file systems do not all record a creation time).
BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite);

// UTC calendar fields of a file time; FALSE with ERROR_INVALID_PARAMETER
// for times of 2^63 and beyond, as on Windows.
BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime);

}  // namespace zrpal
