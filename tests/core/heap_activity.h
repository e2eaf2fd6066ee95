// tests/core/heap_activity.h - the library's heap activity counters as one
// comparable value, for tests that check what an operation counted.
#pragma once

#include <cstdint>
#include <ostream>

#include "zr/heap.h"

namespace zrtest {

struct Activity {
  std::uint64_t bytes = 0;
  ULONG operations = 0;
  bool operator==(const Activity&) const = default;
};

inline void PrintTo(const Activity& a, std::ostream* os) {
  *os << a.bytes << " bytes, " << a.operations << " operations";
}

inline Activity Now() {
  Activity a;
  Get_CoreActivity(&a.bytes, &a.operations);
  return a;
}

}  // namespace zrtest
