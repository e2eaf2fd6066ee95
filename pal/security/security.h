// pal/security/security.h - the slice of Windows security the library
// uses: a file's security descriptor and owner, the process token, access
// checks against a descriptor, and account names.
//
// Identities are POSIX users and groups, named by the security identifiers
// Samba gives them: S-1-22-1-<uid> for a user, S-1-22-2-<gid> for a group
// ("Unix User" and "Unix Group"). An account name is the user's or group's
// name from the system's databases; its domain is the host name.
//
// A file's descriptor is self-relative, in the Windows layout (a 20-byte
// header with offsets to the owner and group SIDs), and carries the file's
// permission bits where Windows has an access-control list. AccessCheck
// judges them as POSIX does: the superuser may read and write anything; the
// owner gets the owner bits, a member of the file's group (effective or
// supplementary) the group bits, everyone else the other bits; read grants
// the mapping's generic read rights, write its generic write rights,
// execute its generic execute rights. Deviation (docs/deviations.md): POSIX
// access-control lists and capabilities other than the superuser's are not
// read, and a read-only mount is not part of the descriptor (as it is not
// on Windows).
//
// Thread-safe.
#pragma once

#include "pal/types.h"

namespace zrpal {

using PSID = void*;
using PSECURITY_DESCRIPTOR = void*;
using SECURITY_INFORMATION = DWORD;
using HLOCAL = void*;

inline constexpr SECURITY_INFORMATION OWNER_SECURITY_INFORMATION = 0x1;
inline constexpr SECURITY_INFORMATION GROUP_SECURITY_INFORMATION = 0x2;
inline constexpr SECURITY_INFORMATION DACL_SECURITY_INFORMATION = 0x4;

inline constexpr DWORD TOKEN_DUPLICATE = 0x0002;
inline constexpr DWORD TOKEN_IMPERSONATE = 0x0004;
inline constexpr DWORD TOKEN_QUERY = 0x0008;
inline constexpr DWORD STANDARD_RIGHTS_READ = 0x00020000;
inline constexpr DWORD MAXIMUM_ALLOWED = 0x02000000;

inline constexpr DWORD ERROR_NO_IMPERSONATION_TOKEN = 1309;
inline constexpr DWORD ERROR_NONE_MAPPED = 1332;
inline constexpr DWORD ERROR_GENERIC_NOT_MAPPED = 1360;

enum SECURITY_IMPERSONATION_LEVEL {
  SecurityAnonymous,
  SecurityIdentification,
  SecurityImpersonation,
  SecurityDelegation
};

enum SE_OBJECT_TYPE { SE_UNKNOWN_OBJECT_TYPE = 0, SE_FILE_OBJECT = 1 };

enum SID_NAME_USE { SidTypeUser = 1, SidTypeGroup = 2 };

struct GENERIC_MAPPING {
  DWORD GenericRead;
  DWORD GenericWrite;
  DWORD GenericExecute;
  DWORD GenericAll;
};

struct LUID_AND_ATTRIBUTES {
  DWORD LowPart;
  LONG HighPart;
  DWORD Attributes;
};

struct PRIVILEGE_SET {
  DWORD PrivilegeCount;
  DWORD Control;
  LUID_AND_ATTRIBUTES Privilege[1];
};

// The descriptor of the file or folder `fileName` with the parts asked for
// (owner, group, DACL; others: ERROR_INVALID_PARAMETER). *needed is set to
// the size; a smaller `length` fails with ERROR_INSUFFICIENT_BUFFER.
BOOL GetFileSecurityW(LPCWSTR fileName, SECURITY_INFORMATION requested,
                      PSECURITY_DESCRIPTOR descriptor, DWORD length, DWORD* needed);

// The owner of an open file's handle (SE_FILE_OBJECT only): *owner points
// into *descriptor, which the caller frees with LocalFree. The result is an
// error code (ERROR_SUCCESS), as on Windows.
DWORD GetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE type, SECURITY_INFORMATION requested,
                      PSID* owner, PSID* group, void** dacl, void** sacl,
                      PSECURITY_DESCRIPTOR* descriptor);

// Local memory: fixed blocks only (LMEM_FIXED, with LMEM_ZEROINIT to clear
// them); a handle is the block's address. Other flags (movable blocks,
// discardable ones) fail with ERROR_INVALID_PARAMETER. LocalFree releases a
// block of LocalAlloc and of the functions that say so.
inline constexpr UINT LMEM_FIXED = 0x0000;
inline constexpr UINT LMEM_ZEROINIT = 0x0040;
inline constexpr UINT LPTR = LMEM_FIXED | LMEM_ZEROINIT;
HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
HLOCAL LocalFree(HLOCAL memory);

// The process's token (GetCurrentProcess() only), holding its effective
// user, group and supplementary groups. A primary token; close it with
// CloseHandle.
BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, HANDLE* token);

// An impersonation token with the same identities.
BOOL DuplicateToken(HANDLE existing, SECURITY_IMPERSONATION_LEVEL level, HANDLE* duplicate);

// Replaces the generic bits of *mask by the rights `mapping` gives them.
void MapGenericMask(DWORD* mask, const GENERIC_MAPPING* mapping);

// The rules above. TRUE when the check ran: *status then tells whether
// `desired` (or, with MAXIMUM_ALLOWED, whatever is allowed) is granted, and
// *granted what was. The token must be an impersonation token
// (ERROR_NO_IMPERSONATION_TOKEN), generic rights must be mapped first
// (ERROR_GENERIC_NOT_MAPPED), the privilege set must have room for one
// privilege (ERROR_INSUFFICIENT_BUFFER).
BOOL AccessCheck(PSECURITY_DESCRIPTOR descriptor, HANDLE token, DWORD desired,
                 const GENERIC_MAPPING* mapping, PRIVILEGE_SET* privileges, DWORD* privilegesLength,
                 DWORD* granted, BOOL* status);

// The account and domain names of a user or group SID. Buffer rules as on
// Windows: when either buffer is too small, both sizes needed (terminator
// included) are stored and the call fails with ERROR_INSUFFICIENT_BUFFER;
// otherwise the lengths without terminators. An unknown SID fails with
// ERROR_NONE_MAPPED. Deviation: a named system (a remote lookup) is
// refused with ERROR_INVALID_PARAMETER.
BOOL LookupAccountSidW(LPCWSTR systemName, PSID sid, LPWSTR name, DWORD* nameLength, LPWSTR domain,
                       DWORD* domainLength, SID_NAME_USE* use);

}  // namespace zrpal
