// pal/files/filesystem.h - operations on names: copying, moving, deleting,
// folders, attributes, the current folder, temporary names, the error mode.
//
// Share modes (pal/files/share.cpp) hold here too: deleting or moving a file
// that an open handle does not share for deleting fails with
// ERROR_SHARING_VIOLATION, in any process.
//
// Thread-safe, except that the current folder is the process's.
#pragma once

#include "pal/types.h"

namespace zrpal {

inline constexpr DWORD MAX_PATH = 260;

inline constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
inline constexpr DWORD MOVEFILE_COPY_ALLOWED = 0x2;
inline constexpr DWORD MOVEFILE_WRITE_THROUGH = 0x8;

inline constexpr UINT SEM_FAILCRITICALERRORS = 0x0001;
inline constexpr UINT SEM_NOGPFAULTERRORBOX = 0x0002;
inline constexpr UINT SEM_NOALIGNMENTFAULTEXCEPT = 0x0004;
inline constexpr UINT SEM_NOOPENFILEERRORBOX = 0x8000;

struct SECURITY_ATTRIBUTES;

// Copies the content, the read-only attribute and the last-write time of
// `existing` to `newName`. With failIfExists an existing target fails with
// ERROR_FILE_EXISTS; otherwise it is replaced (a read-only one fails with
// ERROR_ACCESS_DENIED). The source is opened for reading sharing reading,
// the target for writing sharing nothing, so share modes of other handles
// hold. A copy that fails after the target was made removes the target.
BOOL CopyFileW(LPCWSTR existing, LPCWSTR newName, BOOL failIfExists);

// Renames a file or folder. An existing target fails with
// ERROR_ALREADY_EXISTS unless MOVEFILE_REPLACE_EXISTING (files only). With
// MOVEFILE_COPY_ALLOWED a file moves to another volume by copy and delete;
// without it that fails with ERROR_NOT_SAME_DEVICE. MOVEFILE_WRITE_THROUGH
// makes the file's data and the new name reach the disk before the call
// returns. Other flags: ERROR_INVALID_PARAMETER. MoveFileW is
// MoveFileExW with MOVEFILE_COPY_ALLOWED, as on Windows.
BOOL MoveFileExW(LPCWSTR existing, LPCWSTR newName, DWORD flags);
BOOL MoveFileW(LPCWSTR existing, LPCWSTR newName);

// Deletes a file. A folder or a read-only file fails with
// ERROR_ACCESS_DENIED, as on Windows.
BOOL DeleteFileW(LPCWSTR fileName);

// Makes one folder (its parent must exist: ERROR_PATH_NOT_FOUND); an
// existing name fails with ERROR_ALREADY_EXISTS. A security record is
// refused with ERROR_INVALID_PARAMETER.
BOOL CreateDirectoryW(LPCWSTR pathName, SECURITY_ATTRIBUTES* security);

// Removes an empty folder: ERROR_DIR_NOT_EMPTY, ERROR_DIRECTORY for a file.
BOOL RemoveDirectoryW(LPCWSTR pathName);

// The attributes of a file or folder (see pal/files/file.h), or
// INVALID_FILE_ATTRIBUTES with ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND.
DWORD GetFileAttributesW(LPCWSTR fileName);

// Buffer rules as on Windows: the length without the terminator when the
// text fits `size` units, else the size needed with the terminator (the
// buffer untouched).
DWORD GetCurrentDirectoryW(DWORD size, LPWSTR buffer);
BOOL SetCurrentDirectoryW(LPCWSTR pathName);

// The folder for temporary files with a final "/": $TMPDIR when set and not
// empty, else /tmp (Windows reads TMP, TEMP and USERPROFILE). Buffer rules
// as for GetCurrentDirectoryW.
DWORD GetTempPathW(DWORD size, LPWSTR buffer);

// `pathName`, a separator, the first three characters of `prefix`, the
// unique number in upper-case hexadecimal (1 to 4 digits) and ".tmp", into a
// buffer of MAX_PATH characters. With `unique` 0 a number is chosen that
// names no file yet, and the file is created empty; otherwise only the name
// is made (from the low 16 bits of `unique`). The result is the number
// used, or 0 on failure: a folder over MAX_PATH - 14 characters gives
// ERROR_BUFFER_OVERFLOW, a missing folder ERROR_DIRECTORY, a folder with
// every number taken ERROR_FILE_EXISTS.
UINT GetTempFileNameW(LPCWSTR pathName, LPCWSTR prefix, UINT unique, LPWSTR tempFileName);

// Stores the process's error mode and returns the one before. The modes
// change nothing here: there are no error boxes to switch off.
UINT SetErrorMode(UINT mode);

}  // namespace zrpal
