// tests/alloc_failure.h - the check that an operation fails with the
// library's allocation failure, for every test program.
#pragma once

#include <gtest/gtest.h>

#include <new>

#include "zr/exception.h"

namespace zrtest {

// Whether `op` throws the library's allocation failure: one exception that a
// handler of CXMemException (with cause 2) and a handler of std::bad_alloc
// both catch.
template <class F>
testing::AssertionResult ThrowsBadAlloc(F op) {
  try {
    op();
  } catch (const CXMemException& e) {
    if (e.GetCause() != ZRCAUSE_NOMEMORY) return testing::AssertionFailure() << "cause " << e.GetCause();
    try {
      throw;
    } catch (const std::bad_alloc&) {
      return testing::AssertionSuccess();
    } catch (...) {
    }
    return testing::AssertionFailure() << "a CXMemException that is no std::bad_alloc";
  } catch (const std::bad_alloc&) {
    return testing::AssertionFailure() << "a std::bad_alloc that is no CXMemException";
  } catch (...) {
    return testing::AssertionFailure() << "another exception";
  }
  return testing::AssertionFailure() << "nothing thrown";
}

}  // namespace zrtest
