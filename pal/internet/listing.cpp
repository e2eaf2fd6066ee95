// pal/internet/listing.cpp - the LIST line parser (see listing.h).
//
// The parser walks the line with a cursor that never passes `end`; every
// field is checked for its form before it is used, and numbers are bounded
// as they are read, so any text gives an answer and no overflow.
#include "pal/internet/listing.h"

#include <cstdint>
#include <cstring>
#include <string_view>

#include "pal/internal/os_path.h"

namespace zrpal::internet {

namespace {

constexpr std::uint64_t kUnitsPerSecond = 10000000;    // FILETIME: 100 ns
constexpr std::int64_t kDaysFrom1601To1970 = 134774;   // 1601-01-01 .. 1970-01-01
constexpr std::uint64_t kMaxSize = 0xFFFFFFFFFFFFULL;  // bound while reading digits
constexpr std::int64_t kSecondsPerDay = 86400;
constexpr int kPivotYear = 70;  // two-digit DOS years below it are 20xx
constexpr std::size_t kNameUnits = sizeof(WIN32_FIND_DATAW::cFileName) / sizeof(WCHAR);

constexpr const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                   "jul", "aug", "sep", "oct", "nov", "dec"};

class Cursor {
 public:
  Cursor(const char* p, const char* end) : m_p(p), m_end(end) {}

  void SkipBlanks() {
    while (m_p < m_end && (*m_p == ' ' || *m_p == '\t')) ++m_p;
  }
  // The next run of non-blank characters (empty at the end).
  std::string_view Word() {
    SkipBlanks();
    const char* start = m_p;
    while (m_p < m_end && *m_p != ' ' && *m_p != '\t') ++m_p;
    return {start, static_cast<std::size_t>(m_p - start)};
  }
  // The rest after one run of blanks: the name (may hold blanks).
  std::string_view Rest() {
    SkipBlanks();
    return {m_p, static_cast<std::size_t>(m_end - m_p)};
  }

 private:
  const char* m_p;
  const char* m_end;
};

bool Number(std::string_view text, std::uint64_t limit, std::uint64_t* out) {
  if (text.empty()) return false;
  std::uint64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + static_cast<unsigned>(c - '0');
    if (n > limit) return false;
  }
  *out = n;
  return true;
}

int MonthOf(std::string_view word) {
  if (word.size() != 3) return 0;
  for (int i = 0; i < 12; ++i) {
    bool same = true;
    for (int k = 0; k < 3; ++k)
      if ((word[static_cast<std::size_t>(k)] | 0x20) != kMonths[i][k]) same = false;
    if (same) return i + 1;
  }
  return 0;
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's
// days_from_civil).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::uint64_t ToUnits(std::int64_t year, unsigned month, unsigned day, unsigned hour,
                      unsigned minute) {
  const std::int64_t days = DaysFromCivil(year, month, day) + kDaysFrom1601To1970;
  const std::int64_t seconds = days * kSecondsPerDay + hour * 3600 + minute * 60;
  return seconds < 0 ? 0 : static_cast<std::uint64_t>(seconds) * kUnitsPerSecond;
}

FILETIME ToFileTime(std::uint64_t units) {
  return FILETIME{static_cast<DWORD>(units), static_cast<DWORD>(units >> 32)};
}

std::uint64_t UnitsOf(const FILETIME& t) {
  return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

// The year of 1601-based `units` (for year-less Unix dates).
std::int64_t YearOf(std::uint64_t units) {
  const std::int64_t days =
      static_cast<std::int64_t>(units / kUnitsPerSecond / kSecondsPerDay) - kDaysFrom1601To1970;
  // civil_from_days, year only.
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  return static_cast<std::int64_t>(yoe) + era * 400 + (mp >= 10 ? 1 : 0);
}

bool TimeOfDay(std::string_view text, unsigned* hour, unsigned* minute) {
  const std::size_t colon = text.find(':');
  std::uint64_t h = 0, m = 0;
  if (colon == std::string_view::npos || !Number(text.substr(0, colon), 23, &h) ||
      !Number(text.substr(colon + 1), 59, &m))
    return false;
  *hour = static_cast<unsigned>(h);
  *minute = static_cast<unsigned>(m);
  return true;
}

bool SetName(std::string_view name, WIN32_FIND_DATAW* entry) {
  if (name.empty()) return false;
  const std::size_t units = OsTextToWide(name.data(), name.size(), entry->cFileName, kNameUnits);
  return units < kNameUnits;
}

void SetTimes(std::uint64_t units, WIN32_FIND_DATAW* entry) {
  entry->ftCreationTime = entry->ftLastAccessTime = entry->ftLastWriteTime = ToFileTime(units);
}

void SetSize(std::uint64_t size, WIN32_FIND_DATAW* entry) {
  entry->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  entry->nFileSizeLow = static_cast<DWORD>(size);
}

bool ParseUnix(Cursor c, const FILETIME& now, WIN32_FIND_DATAW* entry) {
  const std::string_view mode = c.Word();
  if (mode.size() < 10 || std::strchr("-dlcbps", mode[0]) == nullptr) return false;
  const bool folder = mode[0] == 'd';
  const bool ownerWrites = mode[2] == 'w';
  std::uint64_t links = 0, size = 0;
  if (!Number(c.Word(), kMaxSize, &links)) return false;
  // Owner and group; some servers leave out the group, so the size is the
  // first number followed by a month name.
  std::string_view words[3] = {c.Word(), c.Word(), c.Word()};
  std::string_view monthWord;
  if (Number(words[2], kMaxSize, &size)) {
    monthWord = c.Word();
  } else if (Number(words[1], kMaxSize, &size) && MonthOf(words[2])) {
    monthWord = words[2];
  } else {
    return false;
  }
  const int month = MonthOf(monthWord);
  std::uint64_t day = 0;
  if (!month || !Number(c.Word(), 31, &day) || day == 0) return false;
  const std::string_view yearOrTime = c.Word();
  unsigned hour = 0, minute = 0;
  std::uint64_t year = 0;
  std::uint64_t units;
  if (TimeOfDay(yearOrTime, &hour, &minute)) {
    // Within the past year: this year, unless that is more than a day
    // ahead of now (then last year).
    const std::int64_t thisYear = YearOf(UnitsOf(now));
    units =
        ToUnits(thisYear, static_cast<unsigned>(month), static_cast<unsigned>(day), hour, minute);
    if (units > UnitsOf(now) + kSecondsPerDay * kUnitsPerSecond)
      units = ToUnits(thisYear - 1, static_cast<unsigned>(month), static_cast<unsigned>(day), hour,
                      minute);
  } else if (yearOrTime.size() == 4 && Number(yearOrTime, 9999, &year) && year >= 1601) {
    units = ToUnits(static_cast<std::int64_t>(year), static_cast<unsigned>(month),
                    static_cast<unsigned>(day), 0, 0);
  } else {
    return false;
  }
  std::string_view name = c.Rest();
  if (mode[0] == 'l') {
    const std::size_t arrow = name.find(" -> ");
    if (arrow != std::string_view::npos) name = name.substr(0, arrow);
  }
  if (!SetName(name, entry)) return false;
  entry->dwFileAttributes = folder        ? FILE_ATTRIBUTE_DIRECTORY
                            : ownerWrites ? FILE_ATTRIBUTE_NORMAL
                                          : FILE_ATTRIBUTE_READONLY;
  SetSize(folder ? 0 : size, entry);
  SetTimes(units, entry);
  return true;
}

bool ParseDos(Cursor c, WIN32_FIND_DATAW* entry) {
  const std::string_view date = c.Word();
  std::uint64_t month = 0, day = 0, year = 0;
  if (date.size() != 8 && date.size() != 10) return false;
  if (date[2] != '-' || date[5] != '-' || !Number(date.substr(0, 2), 12, &month) ||
      !Number(date.substr(3, 2), 31, &day) || !Number(date.substr(6), 9999, &year) || month == 0 ||
      day == 0)
    return false;
  if (date.size() == 8) year += year < kPivotYear ? 2000 : 1900;
  std::string_view clock = c.Word();
  if (clock.size() < 3) return false;
  const std::string_view half = clock.substr(clock.size() - 2);
  const bool pm = half == "PM" || half == "pm";
  if (!pm && half != "AM" && half != "am") return false;
  unsigned hour = 0, minute = 0;
  if (!TimeOfDay(clock.substr(0, clock.size() - 2), &hour, &minute) || hour > 12) return false;
  hour = hour % 12 + (pm ? 12 : 0);
  const std::string_view sizeOrDir = c.Word();
  std::uint64_t size = 0;
  const bool folder = sizeOrDir == "<DIR>";
  if (!folder && !Number(sizeOrDir, kMaxSize, &size)) return false;
  if (!SetName(c.Rest(), entry)) return false;
  entry->dwFileAttributes = folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  SetSize(size, entry);
  SetTimes(ToUnits(static_cast<std::int64_t>(year), static_cast<unsigned>(month),
                   static_cast<unsigned>(day), hour, minute),
           entry);
  return true;
}

}  // namespace

bool ParseListLine(const char* line, std::size_t length, const FILETIME& now,
                   WIN32_FIND_DATAW* entry) {
  while (length > 0 && (line[length - 1] == '\r' || line[length - 1] == '\n')) --length;
  if (length == 0) return false;
  *entry = WIN32_FIND_DATAW{};
  const Cursor c(line, line + length);
  const bool dos = line[0] >= '0' && line[0] <= '9';
  return dos ? ParseDos(c, entry) : ParseUnix(c, now, entry);
}

}  // namespace zrpal::internet
