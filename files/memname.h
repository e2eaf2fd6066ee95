// files/memname.h - reading memory-file names (library internal; the rules
// are in zr/memfile.h).
#pragma once

#include "zr/zrtypes.h"

namespace zr {

struct MemFileName {
  const BYTE* address;  // null for an empty file
  ULONG size;           // 0 with a null address
};

// The block a name that begins with "fmem::" (checked by the caller) names.
MemFileName ParseMemFileName(const WCHAR* name);

}  // namespace zr
