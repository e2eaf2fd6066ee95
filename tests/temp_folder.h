// temp_folder.h - a folder of a test's own under the temporary folder,
// removed with everything in it at the end.
#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>

namespace zrtest {

class TempFolder {
 public:
  TempFolder() {
    static std::atomic<int> serial{0};
    m_path = std::filesystem::temp_directory_path() /
             ("zr-test-" + std::to_string(::getpid()) + "-" + std::to_string(++serial));
    std::filesystem::create_directories(m_path);
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  // Makes folder `name` (and its parents) in the folder.
  std::string Dir(const std::string& name) const {
    std::filesystem::create_directories(m_path / name);
    return (m_path / name).string();
  }
  // Replaces file `name` by a new copy of `from` (as an installer would).
  std::string Put(const char* from, const std::string& name) const {
    const std::string path = (m_path / name).string();
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::filesystem::copy_file(from, path + ".new", std::filesystem::copy_options::overwrite_existing);
    std::filesystem::rename(path + ".new", path);
    return path;
  }
  std::string Path() const { return m_path.string(); }

 private:
  std::filesystem::path m_path;
};

inline void Touch(const std::string& path, const std::string& text = "x") {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

}  // namespace zrtest
