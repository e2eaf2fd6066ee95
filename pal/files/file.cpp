// pal/files/file.cpp - file handles (see file.h): the argument rules of
// CreateFileW, what an open asks of the share-mode records, and calendar
// fields of file times. The OS work is in posix/file.inc.
#include "pal/files/file.h"

#include "pal/error.h"
#include "pal/internal/file_object.h"
#include "pal/internal/os_path.h"

namespace zrpal {

namespace {

constexpr DWORD kKnownAccess = GENERIC_READ | GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES;
constexpr DWORD kKnownShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kKnownAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE |
                                   FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY;
constexpr DWORD kKnownFlags = FILE_FLAG_WRITE_THROUGH | FILE_FLAG_NO_BUFFERING |
                              FILE_FLAG_RANDOM_ACCESS | FILE_FLAG_SEQUENTIAL_SCAN |
                              FILE_FLAG_DELETE_ON_CLOSE;

enum class AccessHint { None, Random, Sequential };

// A CreateFileW call, checked and put in the share records' terms.
struct OpenRequest {
  DWORD rights;  // kShareKind bits this handle will use
  DWORD deny;    // kShareKind bits it refuses to others
  DWORD disposition;
  bool readOnlyAttribute;
  bool deleteOnClose;
  bool writeThrough;
  AccessHint hint;
};

// posix/file.inc
HANDLE OpenFile(const OsPath& path, const OpenRequest& request);

BOOL ParseOpen(DWORD access, DWORD share, SECURITY_ATTRIBUTES* security, DWORD disposition,
               DWORD flagsAndAttributes, HANDLE templateFile, OpenRequest* out) {
  const bool known = !(access & ~kKnownAccess) && !(share & ~kKnownShare) &&
                     !(flagsAndAttributes & ~(kKnownAttributes | kKnownFlags)) && !security &&
                     !templateFile && disposition >= CREATE_NEW &&
                     disposition <= TRUNCATE_EXISTING &&
                     !(disposition == TRUNCATE_EXISTING && !(access & GENERIC_WRITE));
  if (!known) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  out->deleteOnClose = (flagsAndAttributes & FILE_FLAG_DELETE_ON_CLOSE) != 0;
  out->rights = ((access & GENERIC_READ) ? kShareKindRead : 0) |
                ((access & GENERIC_WRITE) ? kShareKindWrite : 0) |
                ((access & DELETE) || out->deleteOnClose ? kShareKindDelete : 0);
  out->deny = kShareKindAll & ~(((share & FILE_SHARE_READ) ? kShareKindRead : 0) |
                                ((share & FILE_SHARE_WRITE) ? kShareKindWrite : 0) |
                                ((share & FILE_SHARE_DELETE) ? kShareKindDelete : 0));
  // A handle without read, write or delete access (attributes only) takes
  // no part in share modes, as on Windows.
  if (out->rights == 0) out->deny = 0;
  out->disposition = disposition;
  out->readOnlyAttribute = (flagsAndAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  out->writeThrough = (flagsAndAttributes & FILE_FLAG_WRITE_THROUGH) != 0;
  out->hint = (flagsAndAttributes & FILE_FLAG_RANDOM_ACCESS)     ? AccessHint::Random
              : (flagsAndAttributes & FILE_FLAG_SEQUENTIAL_SCAN) ? AccessHint::Sequential
                                                                 : AccessHint::None;
  return TRUE;
}

// Days since 1970-01-01 to a proleptic Gregorian date (H. Hinnant's
// civil_from_days).
void CivilFromDays(std::int64_t days, std::int64_t* year, unsigned* month, unsigned* day) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned mp = (5 * dayOfYear + 2) / 153;
  *day = dayOfYear - (153 * mp + 2) / 5 + 1;
  *month = mp < 10 ? mp + 3 : mp - 9;
  *year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (*month <= 2 ? 1 : 0);
}

}  // namespace

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   SECURITY_ATTRIBUTES* security, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile) {
  OpenRequest request;
  if (!ParseOpen(desiredAccess, shareMode, security, creationDisposition, flagsAndAttributes,
                 templateFile, &request))
    return INVALID_HANDLE_VALUE;
  OsPath path;
  if (!ToOsPath(fileName, &path)) return INVALID_HANDLE_VALUE;
  return OpenFile(path, request);
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime) {
  const std::uint64_t ticks =
      (std::uint64_t{fileTime->dwHighDateTime} << 32) | fileTime->dwLowDateTime;
  if (ticks >> 63) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  constexpr std::uint64_t kTicksPerMillisecond = 10000;
  constexpr std::uint64_t kMillisecondsPerDay = 86400000;
  constexpr std::int64_t kDaysFrom1601To1970 = 134774;
  const std::uint64_t milliseconds = ticks / kTicksPerMillisecond;
  const auto days = static_cast<std::int64_t>(milliseconds / kMillisecondsPerDay);
  auto inDay = static_cast<unsigned>(milliseconds % kMillisecondsPerDay);
  std::int64_t year;
  unsigned month, day;
  CivilFromDays(days - kDaysFrom1601To1970, &year, &month, &day);
  systemTime->wYear = static_cast<WORD>(year);
  systemTime->wMonth = static_cast<WORD>(month);
  systemTime->wDay = static_cast<WORD>(day);
  systemTime->wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
  systemTime->wMilliseconds = static_cast<WORD>(inDay % 1000);
  inDay /= 1000;
  systemTime->wSecond = static_cast<WORD>(inDay % 60);
  systemTime->wMinute = static_cast<WORD>(inDay / 60 % 60);
  systemTime->wHour = static_cast<WORD>(inDay / 3600);
  return TRUE;
}

}  // namespace zrpal

#include "pal/files/posix/file.inc"
