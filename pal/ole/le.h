// pal/ole/le.h - little-endian fields of the compound file structures, read
// and written byte by byte (no alignment or host order assumed).
#pragma once

#include <cstdint>

#include "pal/types.h"

namespace zrpal::ole {

inline WORD Le16(const BYTE* p) { return static_cast<WORD>(p[0] | p[1] << 8); }
inline std::uint32_t Le32(const BYTE* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}
inline std::uint64_t Le64(const BYTE* p) { return Le32(p) | std::uint64_t{Le32(p + 4)} << 32; }

inline void PutLe16(BYTE* p, WORD v) {
  p[0] = static_cast<BYTE>(v);
  p[1] = static_cast<BYTE>(v >> 8);
}
inline void PutLe32(BYTE* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<BYTE>(v >> (8 * i));
}
inline void PutLe64(BYTE* p, std::uint64_t v) {
  PutLe32(p, static_cast<std::uint32_t>(v));
  PutLe32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

}  // namespace zrpal::ole
