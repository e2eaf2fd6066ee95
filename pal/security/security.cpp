// pal/security/security.cpp - descriptors, tokens, access checks and account
// names (see security.h). Reading identities from the OS is in
// posix/security.inc.
#include "pal/security/security.h"

#include <cstddef>
#include <cstring>
#include <new>

#include "pal/error.h"
#include "pal/files/file.h"
#include "pal/handle.h"
#include "pal/internal/os_path.h"

namespace zrpal {

namespace {

// S-1-22-<kind>-<id>: the identifier authority 22 and two sub-authorities.
struct UnixSid {
  BYTE Revision;           // 1
  BYTE SubAuthorityCount;  // 2
  BYTE IdentifierAuthority[6];
  DWORD SubAuthority[2];  // kind (1 user, 2 group), then the id
};
static_assert(sizeof(UnixSid) == 16);

constexpr BYTE kSidRevision = 1;
constexpr BYTE kUnixAuthority = 22;
constexpr DWORD kUserKind = 1;
constexpr DWORD kGroupKind = 2;

constexpr WORD kSelfRelative = 0x8000;  // SE_SELF_RELATIVE
constexpr WORD kDaclPresent = 0x0004;   // SE_DACL_PRESENT

// A self-relative descriptor: the Windows header, the two SIDs, and the
// permission bits where the access-control list would be.
struct SecurityRecord {
  BYTE Revision;
  BYTE Sbz1;
  WORD Control;
  DWORD OffsetOwner;
  DWORD OffsetGroup;
  DWORD OffsetSacl;
  DWORD OffsetDacl;
  UnixSid Owner;
  UnixSid Group;
  DWORD Mode;  // st_mode's permission bits
};
static_assert(offsetof(SecurityRecord, Owner) == 20, "the header of SECURITY_DESCRIPTOR_RELATIVE");

struct FileIds {
  std::uint32_t uid;
  std::uint32_t gid;
  std::uint32_t mode;
};

// The identities a token carries. Invariant: `groups` (from the C library's
// allocator) holds `groupCount` supplementary groups.
struct TokenObject final : HandleObject {
  TokenObject() : HandleObject(HandleKind::Token) {}
  ~TokenObject() override;  // posix/security.inc
  std::uint32_t uid = 0;
  std::uint32_t gid = 0;
  std::uint32_t* groups = nullptr;
  std::size_t groupCount = 0;
  bool impersonation = false;
};

// posix/security.inc
BOOL IdsOfPath(const OsPath& path, FileIds* ids);
BOOL IdsOfHandle(HANDLE handle, FileIds* ids);
BOOL ReadProcessIdentity(TokenObject* token);
BOOL CopyIdentity(const TokenObject& from, TokenObject* to);
// The name of a user or group into `out` (UTF-8); FALSE when there is none.
BOOL AccountName(bool group, std::uint32_t id, char* out, std::size_t size);
BOOL HostName(char* out, std::size_t size);
void* AllocateRecord();

constexpr std::size_t kNameBytes = 1024;

UnixSid MakeSid(DWORD kind, std::uint32_t id) {
  return UnixSid{kSidRevision, 2, {0, 0, 0, 0, 0, kUnixAuthority}, {kind, id}};
}

void FillRecord(const FileIds& ids, SECURITY_INFORMATION requested, SecurityRecord* r) {
  std::memset(r, 0, sizeof *r);
  r->Revision = 1;
  r->Control = kSelfRelative;
  if (requested & OWNER_SECURITY_INFORMATION) r->OffsetOwner = offsetof(SecurityRecord, Owner);
  if (requested & GROUP_SECURITY_INFORMATION) r->OffsetGroup = offsetof(SecurityRecord, Group);
  if (requested & DACL_SECURITY_INFORMATION) r->Control |= kDaclPresent;
  r->Owner = MakeSid(kUserKind, ids.uid);
  r->Group = MakeSid(kGroupKind, ids.gid);
  r->Mode = ids.mode & 0777;
}

bool IsUnixSid(const void* sid, DWORD* kind, std::uint32_t* id) {
  if (!sid) return false;
  UnixSid s;
  std::memcpy(&s, sid, sizeof s);
  static constexpr BYTE kAuthority[6] = {0, 0, 0, 0, 0, kUnixAuthority};
  if (s.Revision != kSidRevision || s.SubAuthorityCount != 2 ||
      std::memcmp(s.IdentifierAuthority, kAuthority, sizeof kAuthority) != 0 ||
      (s.SubAuthority[0] != kUserKind && s.SubAuthority[0] != kGroupKind))
    return false;
  *kind = s.SubAuthority[0];
  *id = s.SubAuthority[1];
  return true;
}

// The permission bits (r = 4, w = 2, x = 1) the token gets on the file.
unsigned PermissionsFor(const TokenObject& t, const SecurityRecord& r) {
  if (t.uid == 0) return 7;  // the superuser reads and writes anything
  if (t.uid == r.Owner.SubAuthority[1]) return (r.Mode >> 6) & 7;
  bool member = t.gid == r.Group.SubAuthority[1];
  for (std::size_t i = 0; !member && i < t.groupCount; ++i)
    member = t.groups[i] == r.Group.SubAuthority[1];
  return member ? (r.Mode >> 3) & 7 : r.Mode & 7;
}

// Copies UTF-8 `text` as UTF-16 by the LookupAccountSidW buffer rules;
// false when it did not fit (*length then holds the size needed).
bool PutName(const char* text, LPWSTR out, DWORD* length, bool fits) {
  const std::size_t units = OsTextToWide(text, std::strlen(text), nullptr, 0);
  if (!fits || !out || units + 1 > *length) {
    *length = static_cast<DWORD>(units + 1);
    return false;
  }
  OsTextToWide(text, std::strlen(text), out, *length);
  *length = static_cast<DWORD>(units);
  return true;
}

}  // namespace

BOOL GetFileSecurityW(LPCWSTR fileName, SECURITY_INFORMATION requested,
                      PSECURITY_DESCRIPTOR descriptor, DWORD length, DWORD* needed) {
  constexpr SECURITY_INFORMATION kKnown =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  if ((requested & ~kKnown) || !needed) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  OsPath path;
  FileIds ids;
  if (!ToOsPath(fileName, &path) || !IdsOfPath(path, &ids)) return FALSE;
  *needed = sizeof(SecurityRecord);
  if (!descriptor || length < sizeof(SecurityRecord)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  SecurityRecord record;
  FillRecord(ids, requested, &record);
  std::memcpy(descriptor, &record, sizeof record);
  return TRUE;
}

DWORD GetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE type, SECURITY_INFORMATION requested,
                      PSID* owner, PSID* group, void** dacl, void** sacl,
                      PSECURITY_DESCRIPTOR* descriptor) {
  if (type != SE_FILE_OBJECT ||
      (requested & ~(OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION)) || dacl || sacl ||
      !descriptor)
    return ERROR_INVALID_PARAMETER;
  FileIds ids;
  if (!IdsOfHandle(handle, &ids)) return GetLastError();
  auto* record = static_cast<SecurityRecord*>(AllocateRecord());
  if (!record) return ERROR_NOT_ENOUGH_MEMORY;
  FillRecord(ids, requested, record);
  if (owner) *owner = (requested & OWNER_SECURITY_INFORMATION) ? &record->Owner : nullptr;
  if (group) *group = (requested & GROUP_SECURITY_INFORMATION) ? &record->Group : nullptr;
  *descriptor = record;
  return ERROR_SUCCESS;
}

BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, HANDLE* token) {
  if (process != GetCurrentProcess() || !token) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto* t = new (std::nothrow) TokenObject;
  if (!t) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  if (!ReadProcessIdentity(t)) {
    const DWORD error = GetLastError();
    t->Release();
    SetLastError(error);
    return FALSE;
  }
  *token = InsertHandle(t);
  return *token != nullptr;
}

BOOL DuplicateToken(HANDLE existing, SECURITY_IMPERSONATION_LEVEL level, HANDLE* duplicate) {
  if (level < SecurityAnonymous || level > SecurityDelegation || !duplicate) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto from = ReferenceHandle<TokenObject>(existing, KindBit(HandleKind::Token));
  if (!from) return FALSE;
  auto* t = new (std::nothrow) TokenObject;
  if (!t) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  if (!CopyIdentity(*from.get(), t)) {
    t->Release();
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  t->impersonation = true;
  *duplicate = InsertHandle(t);
  return *duplicate != nullptr;
}

void MapGenericMask(DWORD* mask, const GENERIC_MAPPING* mapping) {
  constexpr DWORD kGenericAll = 0x10000000, kGenericExecute = 0x20000000;
  DWORD m = *mask;
  if (m & GENERIC_READ) m |= mapping->GenericRead;
  if (m & GENERIC_WRITE) m |= mapping->GenericWrite;
  if (m & kGenericExecute) m |= mapping->GenericExecute;
  if (m & kGenericAll) m |= mapping->GenericAll;
  *mask = m & ~(GENERIC_READ | GENERIC_WRITE | kGenericExecute | kGenericAll);
}

BOOL AccessCheck(PSECURITY_DESCRIPTOR descriptor, HANDLE token, DWORD desired,
                 const GENERIC_MAPPING* mapping, PRIVILEGE_SET* privileges, DWORD* privilegesLength,
                 DWORD* granted, BOOL* status) {
  if (!descriptor || !mapping || !privilegesLength || !granted || !status) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto t = ReferenceHandle<TokenObject>(token, KindBit(HandleKind::Token));
  if (!t) return FALSE;
  if (!t->impersonation) {
    SetLastError(ERROR_NO_IMPERSONATION_TOKEN);
    return FALSE;
  }
  if (desired & 0xF0000000) {
    SetLastError(ERROR_GENERIC_NOT_MAPPED);
    return FALSE;
  }
  if (!privileges || *privilegesLength < sizeof(PRIVILEGE_SET)) {
    *privilegesLength = sizeof(PRIVILEGE_SET);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  privileges->PrivilegeCount = 0;
  SecurityRecord record;
  std::memcpy(&record, descriptor, sizeof record);
  const unsigned bits = PermissionsFor(*t.get(), record);
  const DWORD allowed = ((bits & 4) ? mapping->GenericRead : 0) |
                        ((bits & 2) ? mapping->GenericWrite : 0) |
                        ((bits & 1) ? mapping->GenericExecute : 0);
  const DWORD wanted = desired & ~MAXIMUM_ALLOWED;
  if ((wanted & ~allowed) == 0 && (allowed || wanted)) {
    *granted = (desired & MAXIMUM_ALLOWED) ? allowed : wanted;
    *status = TRUE;
  } else {
    *granted = 0;
    *status = FALSE;
    SetLastError(ERROR_ACCESS_DENIED);
  }
  return TRUE;
}

BOOL LookupAccountSidW(LPCWSTR systemName, PSID sid, LPWSTR name, DWORD* nameLength, LPWSTR domain,
                       DWORD* domainLength, SID_NAME_USE* use) {
  DWORD kind;
  std::uint32_t id;
  if (systemName || !nameLength || !domainLength || !use) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  char account[kNameBytes], host[kNameBytes];
  if (!IsUnixSid(sid, &kind, &id) ||
      !AccountName(kind == kGroupKind, id, account, sizeof account)) {
    SetLastError(ERROR_NONE_MAPPED);
    return FALSE;
  }
  if (!HostName(host, sizeof host)) return FALSE;
  const bool nameFits =
      name && OsTextToWide(account, std::strlen(account), nullptr, 0) + 1 <= *nameLength;
  const bool domainFits =
      domain && OsTextToWide(host, std::strlen(host), nullptr, 0) + 1 <= *domainLength;
  const bool fits = nameFits && domainFits;
  PutName(account, name, nameLength, fits);
  PutName(host, domain, domainLength, fits);
  if (!fits) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  *use = kind == kGroupKind ? SidTypeGroup : SidTypeUser;
  return TRUE;
}

}  // namespace zrpal

#include "pal/security/posix/security.inc"
