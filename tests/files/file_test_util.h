// Shared helpers of the file tests: holding a reference, and checking the
// CXFileException an action throws.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "common/temp_dir.h"
#include "streams/stream_test_util.h"
#include "zr/exception.h"
#include "zr/xfile.h"

namespace zrtest {

// Holds one reference and gives it back.
template <class T>
class FileRef {
 public:
  explicit FileRef(T* p = nullptr) : m_p(p) {}
  ~FileRef() { reset(); }
  FileRef(const FileRef&) = delete;
  FileRef& operator=(const FileRef&) = delete;
  T* get() const { return m_p; }
  T* operator->() const { return m_p; }
  void reset(T* p = nullptr) {
    if (m_p) m_p->Release();
    m_p = p;
  }
  T* release() {
    T* p = m_p;
    m_p = nullptr;
    return p;
  }

 private:
  T* m_p;
};

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
