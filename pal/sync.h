// pal/sync.h - critical sections and interlocked counters.
#pragma once

#include "pal/types.h"

namespace zrpal {

// A recursive lock: the owning thread may enter it again and must leave it
// as many times. The storage is opaque and large enough for the POSIX
// mutex behind it; a CRITICAL_SECTION must not be copied or moved once
// initialised.
struct CRITICAL_SECTION {
  alignas(8) unsigned char opaque[48];
};

void InitializeCriticalSection(CRITICAL_SECTION* cs);
void DeleteCriticalSection(CRITICAL_SECTION* cs);
void EnterCriticalSection(CRITICAL_SECTION* cs);
BOOL TryEnterCriticalSection(CRITICAL_SECTION* cs);
void LeaveCriticalSection(CRITICAL_SECTION* cs);

LONG InterlockedIncrement(volatile LONG* target);
LONG InterlockedDecrement(volatile LONG* target);
LONGLONG InterlockedExchangeAdd64(volatile LONGLONG* target, LONGLONG value);

}  // namespace zrpal
