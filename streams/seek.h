// streams/seek.h - the seek rule of the streams that keep their own
// position (library internal).
#pragma once

#include <cstdint>

#include "zr/xstream.h"

namespace zr {

// The position Seek(offset, origin) moves to: base + offset, base being 0,
// `position` or `size` for origin ZRSEEK_SET, ZRSEEK_CUR, ZRSEEK_END,
// clamped to 0 ... size, so a stream is never positioned beyond its end.
// False for any other origin.
inline bool SeekTarget(int offset, unsigned int origin, ULONG position, ULONG size, ULONG* target) {
  std::int64_t base;
  switch (origin) {
    case ZRSEEK_SET:
      base = 0;
      break;
    case ZRSEEK_CUR:
      base = position;
      break;
    case ZRSEEK_END:
      base = size;
      break;
    default:
      return false;
  }
  std::int64_t t = base + offset;
  if (t < 0) t = 0;
  if (t > size) t = size;
  *target = static_cast<ULONG>(t);
  return true;
}

}  // namespace zr
