// fuzz/check.h - how a fuzz target stops at a property that does not hold:
// it names the property (when given) and aborts, which the fuzzer reports
// as a crash with the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>

inline void Check(bool ok, const char* what = nullptr) {
  if (ok) return;
  if (what) std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}
