// streams/byteorder.h - little-endian loads and stores of the stream formats
// (library internal). They assemble values byte by byte, so they give the
// same bytes on hosts of either byte order; compilers turn them into plain
// moves on little-endian hosts.
#pragma once

#include <bit>
#include <cstdint>

#include "zr/zrtypes.h"

namespace zr {

inline void StoreLE16(BYTE* p, std::uint16_t v) {
  p[0] = static_cast<BYTE>(v);
  p[1] = static_cast<BYTE>(v >> 8);
}

inline void StoreLE32(BYTE* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<BYTE>(v >> (8 * i));
}

inline void StoreLE64(BYTE* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<BYTE>(v >> (8 * i));
}

inline std::uint16_t LoadLE16(const BYTE* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t LoadLE32(const BYTE* p) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

inline std::uint64_t LoadLE64(const BYTE* p) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

inline void StoreLEFloat(BYTE* p, float v) { StoreLE32(p, std::bit_cast<std::uint32_t>(v)); }
inline void StoreLEDouble(BYTE* p, double v) { StoreLE64(p, std::bit_cast<std::uint64_t>(v)); }
inline std::int32_t LoadLEInt32(const BYTE* p) { return static_cast<std::int32_t>(LoadLE32(p)); }
inline float LoadLEFloat(const BYTE* p) { return std::bit_cast<float>(LoadLE32(p)); }
inline double LoadLEDouble(const BYTE* p) { return std::bit_cast<double>(LoadLE64(p)); }

// 16-bit text units between host order and little-endian order, in place:
// nothing to do on little-endian hosts.
inline void UnitsFromLE(WCHAR* units, std::size_t n) {
  if constexpr (std::endian::native != std::endian::little) {
    for (std::size_t i = 0; i < n; ++i) units[i] = static_cast<WCHAR>((units[i] >> 8) | (units[i] << 8));
  }
  (void)units;
  (void)n;
}

}  // namespace zr
