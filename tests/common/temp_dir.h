// tests/common/temp_dir.h - a fresh folder per test, removed with everything
// in it afterwards, and the plain file helpers the file tests share.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace zrtest {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zrfiles-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) ADD_FAILURE() << "mkdtemp failed";
    m_path = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    // Read-only files and folders of a test must not keep it from going.
    for (auto& e : std::filesystem::recursive_directory_iterator(m_path, ignored))
      std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(m_path, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The path of `name` inside the folder, as text of both widths.
  std::string Path(const std::string& name = "") const {
    return name.empty() ? m_path : m_path + "/" + name;
  }
  std::u16string WPath(const std::string& name = "") const { return Wide(Path(name)); }
  // Makes folder `name` (and its parents) in the folder; its path.
  std::string Dir(const std::string& name) const {
    std::filesystem::create_directories(Path(name));
    return Path(name);
  }
  // How many entries the folder holds (to see what a writer leaves behind).
  std::size_t Count() const {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(m_path)) ++n;
    return n;
  }

  static std::u16string Wide(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
  }

 private:
  std::string m_path;
};

inline void WriteText(const std::string& path, const std::string& text = "x") {
  std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline bool Exists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(path, ignored);
}

}  // namespace zrtest
