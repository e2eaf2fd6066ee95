// tools/remote_copy.h - the local file behind a name a command was given:
// a remote name (ftp://...) is downloaded into a temporary file that is
// deleted again when the copy goes; any other name is used as it is.
#pragma once

#include <string>

class RemoteCopy {
 public:
  // Downloads `name` when it is a URL; on failure prints why on standard
  // error and Ok() is false.
  explicit RemoteCopy(const char* name);
  ~RemoteCopy();
  RemoteCopy(const RemoteCopy&) = delete;
  RemoteCopy& operator=(const RemoteCopy&) = delete;

  bool Ok() const { return m_ok; }
  // The local file to open (UTF-8).
  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
  std::u16string m_temp;  // the downloaded copy, empty for a local name
  bool m_ok = true;
};
