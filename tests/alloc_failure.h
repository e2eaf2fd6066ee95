// tests/alloc_failure.h - the check that an operation fails with the
// library's allocation failure, for every test program.
#pragma once

#include <gtest/gtest.h>

#include <new>

#include "zr/exception.h"

namespace zrtest {

// Whether `op` throws one exception that a handler of CXMemException (with
// cause 2) and a handler of std::bad_alloc both catch.
template <class F>
testing::AssertionResult ThrowsBadAlloc(F op) {
  try {
    op();
  } catch (const CXMemException& e) {
    try {
      throw;
    } catch (const std::bad_alloc&) {
      if (e.GetCause() == ZRCAUSE_NOMEMORY) return testing::AssertionSuccess();
    } catch (...) {
    }
    return testing::AssertionFailure() << "not a std::bad_alloc with cause 2";
  } catch (...) {
    return testing::AssertionFailure() << "not a CXMemException";
  }
  return testing::AssertionFailure() << "nothing thrown";
}

}  // namespace zrtest
