// A scratch folder for tests that work on real files, removed with its
// content; and whole-file reads and writes.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tests/common/temp_dir.h"

namespace zrtest {

// The file's bytes, or "<none>" when it cannot be read.
inline std::string ReadFileOrNone(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return in ? all.str() : "<none>";
}

// A test fixture with a fresh folder m_dir and a file name m_file in it.
class ScratchDir : public ::testing::Test {
 protected:
  void Put(const std::string& content) const { WriteText(m_file, content); }
  std::string Content() const { return ReadFileOrNone(m_file); }

  TempDir m_temp;
  const std::string m_dir = m_temp.Path();
  std::string m_file = m_dir + "/t.ini";
};

}  // namespace zrtest
