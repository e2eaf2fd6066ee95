// pal/internal/fault.h - fault injection at the platform layer's failure points.
//
// Tests make the n-th future call through a point fail, so that the library's
// out-of-memory, short-write and full-disk paths run for real. A point that
// is armed fails exactly as the OS would: the call returns its failure value
// and sets the last error. Disarmed points cost one relaxed load.
#pragma once

#include <atomic>

#include "pal/types.h"

namespace zrpal {

enum class Fault : unsigned {
  HeapCreate,  // HeapCreate returns null, ERROR_NOT_ENOUGH_MEMORY
  HeapAlloc,   // HeapAlloc/HeapReAlloc return null, ERROR_NOT_ENOUGH_MEMORY
  kCount
};

// Arms `point`: counting from the next call, calls nth, nth+1, ...,
// nth+times-1 fail (nth is 1-based). nth == 0 disarms the point.
void InjectFault(Fault point, unsigned nth, unsigned times = 1);

// Disarms every point.
void ClearFaults();

// Called by the platform layer at a failure point: true when this call must
// fail. Thread-safe; each call counts once. Inline so that a disarmed point
// costs one relaxed load on the paths it guards.
inline bool FaultShouldFail(Fault point);

namespace fault_detail {
extern constinit std::atomic<bool> g_anyArmed;
bool ShouldFailArmed(Fault point);
}  // namespace fault_detail

// True while some point is armed (one relaxed load): paths that would skip
// a failure point take the path that has it instead.
inline bool AnyFaultArmed() { return fault_detail::g_anyArmed.load(std::memory_order_relaxed); }

inline bool FaultShouldFail(Fault point) {
  return fault_detail::g_anyArmed.load(std::memory_order_relaxed) && fault_detail::ShouldFailArmed(point);
}

}  // namespace zrpal
