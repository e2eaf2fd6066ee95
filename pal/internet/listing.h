// pal/internet/listing.h - one line of an FTP server's LIST reply turned
// into the platform's find-data record.
//
// Two layouts are understood, the ones servers send in practice:
//  - Unix "ls -l": type and permissions, links, owner, group, size, month
//    name, day, then "HH:MM" (a date within the past year, of the year that
//    puts it no later than a day after `now`) or a four-digit year, then the
//    name ("name -> target" for a link keeps the name);
//  - DOS/IIS: "MM-DD-YY  HH:MMAM" (or PM), then "<DIR>" or the size, then
//    the name (years below 70 are 20xx).
// Attributes: FILE_ATTRIBUTE_DIRECTORY for a folder; for a file
// FILE_ATTRIBUTE_READONLY when the owner may not write (Unix), otherwise
// FILE_ATTRIBUTE_NORMAL. Times are taken as UTC; all three times are the
// listed one. Names are UTF-8 (ill-formed bytes become U+FFFD) and at most
// 259 characters.
//
// The line is outside data: anything that does not fit a layout ("total
// 12", a blank line, a name too long) answers false and is passed over.
#pragma once

#include <cstddef>

#include "pal/files/find.h"
#include "pal/types.h"

namespace zrpal::internet {

bool ParseListLine(const char* line, std::size_t length, const FILETIME& now,
                   WIN32_FIND_DATAW* entry);

}  // namespace zrpal::internet
