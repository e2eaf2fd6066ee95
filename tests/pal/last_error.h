// tests/pal/last_error.h - checking a platform call's failure and the last
// error it leaves.
#pragma once

#include <gtest/gtest.h>

#include "pal/error.h"

// Expects `call` to fail (return 0, FALSE or null) with last error `error`.
// The last error is cleared first, so a stale value cannot pass.
#define EXPECT_FAILS_WITH(call, error)                       \
  do {                                                       \
    ::zrpal::SetLastError(0);                                \
    EXPECT_FALSE(call) << #call;                             \
    EXPECT_EQ(::zrpal::GetLastError(), (error)) << #call;    \
  } while (0)
