// pal/sync.cpp - interlocked operations (the locks are in posix/sync.inc).
#include "pal/sync.h"

namespace zrpal {

LONG InterlockedIncrement(volatile LONG* target) {
  return __atomic_add_fetch(target, 1, __ATOMIC_SEQ_CST);
}

LONG InterlockedDecrement(volatile LONG* target) {
  return __atomic_sub_fetch(target, 1, __ATOMIC_SEQ_CST);
}

LONGLONG InterlockedExchangeAdd64(volatile LONGLONG* target, LONGLONG value) {
  return __atomic_fetch_add(target, value, __ATOMIC_SEQ_CST);
}

}  // namespace zrpal

#include "pal/posix/sync.inc"
