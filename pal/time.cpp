// pal/time.cpp - GetTickCount and GetSystemTimeAsFileTime (see time.h).
#include "pal/time.h"

#include <cstdint>

namespace zrpal {

namespace {

constexpr std::uint64_t kFileTimeUnitsPerSecond = 10000000;  // 100 ns units
constexpr std::uint64_t kSecondsFrom1601To1970 = 11644473600ULL;

}  // namespace

}  // namespace zrpal

#include "pal/posix/time.inc"
