// files/fileinfo.h - the FioFileInfo record of a found file, for the disk
// and the remote file functions alike (library internal).
#pragma once

#include "pal/files/file.h"
#include "pal/files/find.h"
#include "zr/fileops.h"

namespace zr {

// Fills `info` from what a find call (local or remote) gave: the low 32
// bits of the size and the last-write time's calendar fields.
inline void FillFileInfo(const zrpal::WIN32_FIND_DATAW& found, FioFileInfo* info) {
  zrpal::SYSTEMTIME t{};
  zrpal::FileTimeToSystemTime(&found.ftLastWriteTime, &t);
  info->size = found.nFileSizeLow;
  info->second = t.wSecond;
  info->minute = t.wMinute;
  info->hour = t.wHour;
  info->day = t.wDay;
  info->dayOfWeek = t.wDayOfWeek;
  info->month = t.wMonth;
  info->year = t.wYear;
}

}  // namespace zr
