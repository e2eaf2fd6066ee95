// pal/profile/profile.h - the profile functions: INI files read and written
// by section and key, with Windows' semantics.
//
// What callers of these functions rely on, and what Windows gives:
//  - section and key names compare without regard to case; white space is
//    trimmed around names (the caller's and the file's) and values;
//  - one pair of matching quotes ("..." or '...') around a value is removed
//    on reading;
//  - a null section reads the section names, a null key the key names of a
//    section, as zero-delimited lists ending in an extra zero;
//  - a buffer too small for a value receives size - 1 characters and a zero
//    and the call returns size - 1; one too small for a list receives the
//    list cut to size - 2 characters and two zeros and the call returns
//    size - 2 (a list needs two spare characters: an exact fit counts as too
//    small, as on Windows);
//  - duplicate sections are not merged (the first is read and written), the
//    first of duplicate keys wins;
//  - a null text deletes a key, a null key a whole section;
//  - a missing file reads as empty and is created by the first write;
//  - comment lines and unknown lines survive a rewrite; a file keeps its line
//    endings, a new file gets "\r\n".
// The file syntax is told in initext.h.
//
// Beyond Windows:
//  - Each file is parsed once and kept in a process-wide cache; every call
//    still checks the file (device, inode, size, modification and change
//    time in nanoseconds), so a change made by another process is seen at
//    the next call. A file changed too recently to trust its time stamps
//    (see profile.cpp) is read again and compared.
//  - A write replaces the file atomically (a new file in the same folder,
//    fsync, rename) under an advisory lock on the companion file NAME.lock,
//    so a crash leaves the old or the new file and concurrent writers in
//    several processes never lose each other's keys.
//
// The A functions take text in the ANSI code page (CP_ACP); the W functions
// convert to it and call them. File names are converted to UTF-8 with "/"
// separators at the OS boundary. Deviations: a relative file name is
// relative to the current folder (Windows looks for a bare name in the
// Windows folder, and takes a null name for win.ini); files larger than
// IniText::kMaxBytes read as empty and are not written. Thread-safe.
#pragma once

#include "pal/types.h"

namespace zrpal {

// Reads a value, or the key names of `section` (key null), or the section
// names (section null), into `buffer` of `size` characters; returns the
// characters stored without the terminating zero(s). A key that is missing,
// or a section without keys, gives `defaultText` (null: ""; trailing blanks
// and one pair of quotes removed), with ERROR_FILE_NOT_FOUND as the last
// error, as Windows does; otherwise the last error is ERROR_SUCCESS. A null
// buffer or a size of 0 stores nothing and returns 0; a null file name
// fails with ERROR_INVALID_PARAMETER (an empty buffer, 0).
DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultText, LPSTR buffer,
                               DWORD size, LPCSTR fileName);
DWORD GetPrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR defaultText, LPWSTR buffer,
                               DWORD size, LPCWSTR fileName);

// Sets key `key` of `section` to `text` (leading blanks dropped), deletes the
// key (text null) or the whole section (key null). Deleting what is not
// there succeeds and leaves the file alone. All three null: the cached copy
// of the file is dropped and the result is FALSE, as Windows' "flush" call
// gives. FALSE with the last error when the file cannot be written:
// ERROR_ACCESS_DENIED for a file that is read-only (no write permission bit)
// or that the caller may not write, ERROR_PATH_NOT_FOUND for a missing
// folder, ERROR_INVALID_PARAMETER for a null file name or section, or a
// section name that is empty after trimming (deviation: Windows writes such
// keys without a section header, where no read finds them).
BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR text, LPCSTR fileName);
BOOL WritePrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR text, LPCWSTR fileName);

// Start-up and shutdown of the parse cache (steps of module/startup.cpp).
// Before start-up and after shutdown every call parses the file itself.
void ProfileStartup();
void ProfileShutdown();

}  // namespace zrpal
