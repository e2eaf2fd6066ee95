// pal/fault.cpp - fault injection counters.
#include "pal/internal/fault.h"

#include <atomic>

namespace zrpal {

namespace {
struct FaultState {
  // Calls still to pass before the first failure, and failures left after it.
  std::atomic<unsigned> skip{0};
  std::atomic<unsigned> fail{0};
};
constinit FaultState g_faults[static_cast<unsigned>(Fault::kCount)];
}  // namespace

namespace fault_detail {
constinit std::atomic<bool> g_anyArmed{false};
}  // namespace fault_detail

using fault_detail::g_anyArmed;

void InjectFault(Fault point, unsigned nth, unsigned times) {
  FaultState& s = g_faults[static_cast<unsigned>(point)];
  if (nth == 0 || times == 0) {
    s.fail.store(0);
    s.skip.store(0);
    return;
  }
  s.skip.store(nth - 1);
  s.fail.store(times);
  g_anyArmed.store(true);
}

void ClearFaults() {
  for (FaultState& s : g_faults) {
    s.fail.store(0);
    s.skip.store(0);
  }
  g_anyArmed.store(false);
}

bool fault_detail::ShouldFailArmed(Fault point) {
  FaultState& s = g_faults[static_cast<unsigned>(point)];
  if (s.fail.load() == 0) return false;
  unsigned skip = s.skip.load();
  while (skip > 0) {
    if (s.skip.compare_exchange_weak(skip, skip - 1)) return false;
  }
  unsigned fail = s.fail.load();
  while (fail > 0) {
    if (s.fail.compare_exchange_weak(fail, fail - 1)) return true;
  }
  return false;
}

}  // namespace zrpal
