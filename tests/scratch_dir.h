// A scratch folder for tests that work on real files, removed with its
// content; and whole-file reads and writes.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
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
  void SetUp() override {
    char pattern[] = "/tmp/zr-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_dir = pattern;
    m_file = m_dir + "/t.ini";
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }
  void Put(const std::string& content) const { WriteText(m_file, content); }
  std::string Content() const { return ReadFileOrNone(m_file); }

  std::string m_dir, m_file;
};

}  // namespace zrtest
