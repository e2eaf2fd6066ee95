// Shared helpers of the file tests: the CXFileException an action throws
// (and, through the stream helpers, Ref and CauseOf).
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "common/temp_dir.h"
#include "streams/stream_test_util.h"
#include "zr/exception.h"
#include "zr/xfile.h"

namespace zrtest {

struct FileError {
  DWORD cause;
  DWORD operation;
  std::u16string name;
};

// The CXFileException `action` throws; a failure of the test when it throws
// none (cause and operation then ~0u).
inline FileError ThrownBy(const std::function<void()>& action) {
  try {
    action();
  } catch (const CXFileException& e) {
    return {e.GetCause(), e.GetOperation(), e.GetFileName()};
  }
  ADD_FAILURE() << "no CXFileException";
  return {~0u, ~0u, u""};
}

}  // namespace zrtest
